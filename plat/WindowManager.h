// What the programs need of the window manager beyond what Qt offers: a
// window's place with the frame it will get, the attention mark of a window
// (its taskbar entry flashes), and the window manager's requests to windows
// that a modal dialog blocks, which Qt drops. The mark and the requests exist
// on X11 (Qt's xcb platform) only; elsewhere nothing is sent or reported.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QRect>
#include <functional>

class QWidget;

namespace plat {

// Moves the window w so that its frame stands in the middle of area. A window
// that has never been framed is taken to get a frame like model's (the
// window manager frames the program's windows alike).
void CentreOn(QWidget* w, const QRect& area, const QWidget* model);

// Asks the window manager to mark the shown window w as waiting for the
// player (on) or to take the mark back (off).
void SetDemandsAttention(QWidget* w, bool on);

// While it exists, reports what the window manager asks of the program's own
// windows, before Qt handles it: Qt gives a window that a modal dialog blocks
// neither its close requests nor the focus (it passes the focus on to the
// dialog, where it is lost while the dialog is minimised).
class TWindowManagerWatch : public QAbstractNativeEventFilter {
 public:
  TWindowManagerWatch();
  ~TWindowManagerWatch() override;
  TWindowManagerWatch(const TWindowManagerWatch&) = delete;
  TWindowManagerWatch& operator=(const TWindowManagerWatch&) = delete;

  // The window manager asks to close w (its close box, Alt+F4); true takes
  // the request, which Qt then does not see.
  std::function<bool(QWidget* w)> onCloseRequest;
  // w has received the focus.
  std::function<void(QWidget* w)> onFocusIn;

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
};

}  // namespace plat
