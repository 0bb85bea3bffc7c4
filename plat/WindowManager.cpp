#include "WindowManager.h"

#include <QGuiApplication>
#include <QWidget>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace plat {

namespace {

bool Framed(const QWidget* w) { return w->frameGeometry().size() != w->geometry().size(); }

// The X connection, or null on another platform.
xcb_connection_t* Connection() {
  auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  static std::map<std::string, xcb_atom_t> atoms;  // one connection per program
  auto it = atoms.find(name);
  if (it != atoms.end()) return it->second;
  xcb_intern_atom_reply_t* reply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
  xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  std::free(reply);
  if (atom != XCB_ATOM_NONE) atoms[name] = atom;
  return atom;
}

// A request to the window manager about a window: a client message to the
// root window.
void AskWindowManager(xcb_connection_t* c, xcb_window_t window, const char* request,
                      const uint32_t (&data)[5]) {
  xcb_client_message_event_t ev;
  std::memset(&ev, 0, sizeof ev);
  ev.response_type = XCB_CLIENT_MESSAGE;
  ev.format = 32;
  ev.window = window;
  ev.type = Atom(c, request);
  std::memcpy(ev.data.data32, data, sizeof data);
  xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&ev));
  xcb_flush(c);
}

// The program's own window of an X window, if it is one.
QWidget* OwnWindow(xcb_window_t id) {
  QWidget* w = QWidget::find(WId(id));
  return w && w->isWindow() ? w : nullptr;
}

}  // namespace

void CentreOn(QWidget* w, const QRect& area, const QWidget* model) {
  const bool framed = Framed(w);
  const QWidget* f = framed || !model ? w : model;
  const QPoint inner = f->geometry().topLeft() - f->frameGeometry().topLeft();
  const QSize frame = w->size() + f->frameGeometry().size() - f->geometry().size();
  const QPoint corner = area.center() - QPoint(frame.width() / 2, frame.height() / 2);
  // Qt asks the window manager to put the frame's corner where a window not
  // yet created was moved to; a created window that has no frame yet stands
  // by its inner corner.
  const bool byInnerCorner = !framed && w->testAttribute(Qt::WA_WState_Created);
  w->move(byInnerCorner ? corner + inner : corner);
}

void SetDemandsAttention(QWidget* w, bool on) {
  xcb_connection_t* c = Connection();
  if (!c || !w || !w->isVisible()) return;
  const uint32_t add = 1, remove = 0, fromApplication = 1;
  AskWindowManager(c, xcb_window_t(w->winId()), "_NET_WM_STATE",
                   {on ? add : remove, Atom(c, "_NET_WM_STATE_DEMANDS_ATTENTION"), 0, fromApplication, 0});
}

TWindowManagerWatch::TWindowManagerWatch() {
  if (Connection()) qApp->installNativeEventFilter(this);
}

TWindowManagerWatch::~TWindowManagerWatch() {
  if (qApp) qApp->removeNativeEventFilter(this);
}

bool TWindowManagerWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t") return false;
  xcb_connection_t* c = Connection();
  auto* ev = static_cast<xcb_generic_event_t*>(message);
  switch (ev->response_type & 0x7f) {
    case XCB_CLIENT_MESSAGE: {
      auto* m = reinterpret_cast<xcb_client_message_event_t*>(ev);
      if (!onCloseRequest || m->format != 32 || m->type != Atom(c, "WM_PROTOCOLS") ||
          m->data.data32[0] != Atom(c, "WM_DELETE_WINDOW"))
        return false;
      QWidget* w = OwnWindow(m->window);
      return w && onCloseRequest(w);
    }
    case XCB_FOCUS_IN: {
      // As Qt does, a focus that only follows the pointer is none; neither
      // are the window manager's keyboard grabs (its key bindings).
      auto* f = reinterpret_cast<xcb_focus_in_event_t*>(ev);
      if (f->detail == XCB_NOTIFY_DETAIL_POINTER || f->mode == XCB_NOTIFY_MODE_GRAB ||
          f->mode == XCB_NOTIFY_MODE_UNGRAB)
        return false;
      if (QWidget* w = OwnWindow(f->event); w && onFocusIn) onFocusIn(w);
      return false;
    }
    default:
      return false;
  }
}

}  // namespace plat
