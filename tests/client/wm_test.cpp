// The client's windows on an X display with a window manager (run by
// under_wm.sh): where they stand, which is on top, which has the focus, and
// what real key presses do. The tests run one after another on one display.
#include <gtest/gtest.h>

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

#include "CardSelForm.h"
#include "CardShowForm.h"
#include "ChatWin.h"
#include "CheckForm.h"
#include "DefaultConnectionForm.h"
#include "AppFixture.h"
#include "EventLoop.h"
#include "KekkaForm.h"
#include "KestCardForm.h"
#include "LoginDialog.h"
#include "MessageBox.h"
#include "OptForm.h"
#include "SocketComponents.h"

namespace {

using clienttest::FakeConnection;
using client::TKestClientForm;

// The client windows from the bottom of the stack to the top, as the window
// manager keeps them.
std::vector<WId> Stacking() {
  QProcess p;
  p.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
  p.waitForFinished(5000);
  std::vector<WId> ids;
  QString out = QString::fromLatin1(p.readAllStandardOutput());
  for (const QString& part : out.mid(out.indexOf('#') + 1).split(',', Qt::SkipEmptyParts))
    ids.push_back(WId(part.trimmed().toULongLong(nullptr, 16)));
  return ids;
}

// True when upper stands above lower in the window manager's stack.
bool Above(QWidget* upper, QWidget* lower) {
  std::vector<WId> s = Stacking();
  auto u = std::find(s.begin(), s.end(), upper->winId()), l = std::find(s.begin(), s.end(), lower->winId());
  return u != s.end() && l != s.end() && u > l;
}

// Runs xdotool and waits for it to end. The events pumped between waits may
// reap the finished process, after which waitForFinished answers false at
// once: wait on the state, and not past a deadline.
void Xdotool(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral("xdotool"), args);
  QElapsedTimer t;
  t.start();
  while (p.state() != QProcess::NotRunning && t.elapsed() < 10000) {
    p.waitForFinished(10);
    QCoreApplication::processEvents();
  }
  ASSERT_EQ(p.state(), QProcess::NotRunning) << "xdotool did not finish";
}

// Real key presses, sent to the window that has the focus. The caller waits
// for what they do.
void Keys(const QStringList& keys) {
  Xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("40")} + keys);
}

QString Id(QWidget* w) { return QString::number(w->winId()); }

// Deadline of every wait for the window manager: generous, for sanitizer
// builds on a loaded machine.
const int kWmDeadline = 15000;

bool ActiveWindowIs(QWidget* w) {
  return testloop::WaitUntil([w] { return QApplication::activeWindow() == w; }, kWmDeadline);
}

// The output of a program.
QString Run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  p.waitForFinished(5000);
  return QString::fromLatin1(p.readAllStandardOutput());
}

// The window's frame as the window manager has placed it: the window's place
// on the root window and the frame's sides around it. framed: the window is
// shown and the window manager has given it a frame.
QRect Frame(QWidget* w, bool* framed = nullptr) {
  const QString id = QString::number(w->winId());
  int v[4] = {0, 0, 0, 0};
  const char* keys[4] = {"Absolute upper-left X:", "Absolute upper-left Y:", "Width:", "Height:"};
  bool viewable = false;
  for (const QString& line : Run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id}).split('\n')) {
    for (int i = 0; i < 4; ++i)
      if (line.trimmed().startsWith(QLatin1String(keys[i]))) v[i] = line.section(':', 1).trimmed().toInt();
    viewable = viewable || line.contains(QLatin1String("IsViewable"));
  }
  if (framed) *framed = false;
  // "_NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom"
  QString ext = Run(QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("_NET_FRAME_EXTENTS")});
  QStringList sides = ext.section('=', 1).split(',', Qt::SkipEmptyParts);
  if (sides.size() != 4) return QRect(v[0], v[1], v[2], v[3]);
  int l = sides[0].trimmed().toInt(), r = sides[1].trimmed().toInt(), t = sides[2].trimmed().toInt(),
      b = sides[3].trimmed().toInt();
  if (framed) *framed = viewable && l + r + t + b > 0;
  return QRect(v[0] - l, v[1] - t, v[2] + l + r, v[3] + t + b);
}

// Waits until the window manager shows w in its frame. (Qt's own frame of a
// window can lag behind: it reads the frame's sides at a move of the window,
// which may come before the window manager has set them.)
bool Framed(QWidget* w) {
  bool framed = false;
  return testloop::WaitUntil([&] { return Frame(w, &framed), framed; }, kWmDeadline);
}

// The states the window manager has given the window (_NET_WM_STATE).
QStringList WmState(QWidget* w) {
  // "_NET_WM_STATE(ATOM) = _NET_WM_STATE_MODAL, _NET_WM_STATE_HIDDEN"
  QString out = Run(QStringLiteral("xprop"), {QStringLiteral("-id"), Id(w), QStringLiteral("_NET_WM_STATE")});
  QStringList states;
  for (const QString& s : out.section('=', 1).split(',', Qt::SkipEmptyParts)) states << s.trimmed();
  return states;
}

bool DemandsAttention(QWidget* w) { return WmState(w).contains(QStringLiteral("_NET_WM_STATE_DEMANDS_ATTENTION")); }

// The window the window manager holds active (_NET_ACTIVE_WINDOW).
WId WmActive() {
  QString out = Run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_ACTIVE_WINDOW")});
  return WId(out.section('#', 1).trimmed().toULongLong(nullptr, 16));
}

// The window manager and Qt both hold w active.
testing::AssertionResult Activated(QWidget* w) {
  if (testloop::WaitUntil([w] { return QApplication::activeWindow() == w && WmActive() == w->winId(); }, kWmDeadline))
    return testing::AssertionSuccess();
  QWidget* qt = QApplication::activeWindow();
  return testing::AssertionFailure() << "active: " << (qt ? qt->windowTitle().toStdString() : "none")
                                     << ", window manager: " << std::hex << WmActive() << " for " << w->winId();
}

// The player activates w through the window manager (a taskbar's click):
// asked by the program, the activation fails while another window of the
// main window's group has the focus (Qt then sets the X focus with a stale
// time).
testing::AssertionResult ActivatedByThePlayer(QWidget* w) {
  Xdotool({QStringLiteral("windowactivate"), Id(w)});
  return Activated(w);
}

// The dialog has been framed and activated.
testing::AssertionResult Opened(QWidget* dlg) {
  if (!Framed(dlg)) return testing::AssertionFailure() << "not framed, states: " << WmState(dlg).join(' ').toStdString();
  return Activated(dlg);
}

// Asks the window manager to close w, as its Alt+F4 or a taskbar's close
// does: it sends the window its close request.
void AskWindowManagerToClose(QWidget* w) {
  xcb_connection_t* c = qApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
  const char name[] = "_NET_CLOSE_WINDOW";
  xcb_intern_atom_reply_t* atom =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(sizeof name - 1), name), nullptr);
  ASSERT_NE(atom, nullptr);
  xcb_client_message_event_t ev;
  std::memset(&ev, 0, sizeof ev);
  ev.response_type = XCB_CLIENT_MESSAGE;
  ev.format = 32;
  ev.window = xcb_window_t(w->winId());
  ev.type = atom->atom;
  ev.data.data32[0] = XCB_CURRENT_TIME;
  ev.data.data32[1] = 2;  // asked for by the player, through a pager or taskbar
  std::free(atom);
  xcb_send_event(c, 0, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&ev));
  xcb_flush(c);
}

// The two rectangles have their centres within a pixel of each other.
bool SameCentre(const QRect& a, const QRect& b) {
  const QPoint off = a.center() - b.center();
  return std::abs(off.x()) <= 1 && std::abs(off.y()) <= 1;
}

// Whether the window, frame included, stands in the middle of the screen
// once the window manager has mapped it, and laidOut() holds then.
testing::AssertionResult Centred(QWidget* w, const char* what, const std::function<bool()>& laidOut = nullptr) {
  QRect frame;
  QPoint off;
  auto centred = [&] {
    frame = Frame(w);
    const QRect screen = w->screen()->availableGeometry();
    off = frame.center() - screen.center();
    return frame.size() != w->size() && SameCentre(frame, screen) && (!laidOut || laidOut());
  };
  if (testloop::WaitUntil(centred, kWmDeadline)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << what << " at " << frame.x() << "," << frame.y() << " " << frame.width()
                                     << "x" << frame.height() << ", centre off by " << off.x() << "," << off.y()
                                     << (laidOut && !laidOut() ? ", not laid out" : "");
}

// Counts the X server's reports that w was unmapped, as the window manager
// unmaps a window it minimises, however soon the window is back.
class TUnmaps : public QAbstractNativeEventFilter {
 public:
  explicit TUnmaps(QWidget* w) : id_(xcb_window_t(w->winId())) { qApp->installNativeEventFilter(this); }
  ~TUnmaps() override { qApp->removeNativeEventFilter(this); }
  TUnmaps(const TUnmaps&) = delete;
  TUnmaps& operator=(const TUnmaps&) = delete;

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    auto* ev = static_cast<xcb_generic_event_t*>(message);
    if (type == "xcb_generic_event_t" && (ev->response_type & 0x7f) == XCB_UNMAP_NOTIFY &&
        reinterpret_cast<xcb_unmap_notify_event_t*>(ev)->window == id_)
      ++count;
    return false;
  }

  int count = 0;

 private:
  xcb_window_t id_;
};

class Wm : public clienttest::AppTest {
 protected:
  void SetUp() override {
    SetUpHome({"alice_face"});
    NewApp();
    // The dialogs run modally as in the program; onModal looks at them and
    // answers, unless the dialog has closed itself meanwhile.
    form().RunModal = [this](QDialog& dlg) {
      QTimer::singleShot(0, &dlg, [this, &dlg] {
        int r = 1;
        if (auto* login = dynamic_cast<client::TLoginDialog*>(&dlg)) login->NameEdit->setText("alice");
        if (onModal) r = onModal(dlg);
        if (dlg.isVisible()) dlg.done(r);
      });
      return dlg.exec();
    };
  }
  void TearDown() override {
    AppTest::TearDown();
    // A main window that closed has asked the application to leave its event
    // loop, and from then on every dialog's loop would end at once. That
    // request is answered here by a loop of the application's own, which
    // takes it back when it ends.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
  }
  // Shows the program's windows as at start and waits until the window
  // manager has the main window in the middle of the screen and the chat
  // window above it.
  void ShowAtStart() {
    app->Show();
    client::TChatWin* chat = form().Forms().chatWin;
    ASSERT_TRUE(Centred(&form(), "main window"));
    ASSERT_TRUE(testloop::WaitUntil([&] { return RaisedAtStart() && Above(chat, &form()); }, kWmDeadline));
  }
  // The chat window has been raised above the main window once framed (and
  // the start no longer watches for the frame).
  bool RaisedAtStart() { return !form().Forms().chatWin->findChild<QTimer*>(QStringLiteral("raiseWhenFramed")); }
  // Logs in and starts a game of two people: the notebook can be opened.
  void StartGame() {
    fake->Connect();
    const std::string BS = "\x08";
    const std::string lines[] = {"LOGIN", "CHROOM 1," + BS + "alice" + BS,
                                 "ADDUSER " + BS + "alice" + BS + ",1," + BS + "f" + BS + ",3,0",
                                 "ADDUSER " + BS + "bob" + BS + ",1," + BS + "f" + BS + ",4,0", "START 1,0",
                                 "CARD 3,12,21,35"};
    for (const std::string& l : lines) fake->Deliver(l + ":3");
  }

  std::function<int(QDialog&)> onModal;
};

// Return presses the button that has the focus; with the focus elsewhere it
// presses the default button 決定, which is the default only then.
TEST_F(Wm, PickerReturnPressesTheFocusedButton) {
  onModal = [](QDialog&) { return 1; };
  ShowAtStart();
  client::TCardSelForm* picker = form().Forms().cardSelForm;
  struct Case {
    bool suiri;
    QWidget* focus;
    const char* sent;
  } cases[] = {
      {false, picker->Button1, "KOKUSOCANCEL"}, {false, picker->OkBtn, "KOKUSO 0,0,0"},
      {false, picker->WeaponBox, "KOKUSO 0,0,0"}, {true, picker->Button1, "SUIRICANCEL"},
      {true, picker->OkBtn, "SUIRI 4,0,0"},       {true, picker->HumanBox, "SUIRI 4,0,0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.suiri ? "suggestion, " : "accusation, ") + c.focus->metaObject()->className() +
                 " " + c.focus->objectName().toStdString() + " " + c.sent);
    form().OpenPicker(c.suiri, 4);
    if (QApplication::activeWindow() != picker) picker->activateWindow();
    ASSERT_TRUE(ActiveWindowIs(picker));
    for (int i = 0; i < 8 && picker->focusWidget() != c.focus; ++i) {
      QWidget* before = picker->focusWidget();
      Keys({QStringLiteral("Tab")});
      ASSERT_TRUE(testloop::WaitUntil([&] { return picker->focusWidget() != before; }, kWmDeadline));
    }
    ASSERT_EQ(picker->focusWidget(), c.focus);
    EXPECT_EQ(picker->OkBtn->isDefault(), c.focus != picker->Button1);
    fake->sent.clear();
    Keys({QStringLiteral("Return")});
    ASSERT_TRUE(testloop::WaitUntil([&] { return !fake->sent.empty(); }, kWmDeadline));
    ASSERT_EQ(fake->sent.size(), 1u);
    EXPECT_EQ(fake->sent[0].substr(0, fake->sent[0].find(':')), c.sent);
    EXPECT_FALSE(picker->isVisible());
  }
}

// At start the chat window stands above the main window, which keeps the
// activation (the login dialog opens on it); the login dialog, open and
// modal, stands above both with the activation and the focus. At login the
// chat window comes to the front with the typing in its input line.
TEST_F(Wm, ChatWindowAboveTheMainWindowAndInFrontAtLogin) {
  client::TChatWin* chat = form().Forms().chatWin;
  int logins = 0;
  bool chatAboveMain = false, loginOnTop = false, loginActive = false, loginFocused = false;
  onModal = [&](QDialog& dlg) {
    ++logins;
    // The dialog stays open until the window manager has mapped, raised and
    // activated it, and the chat window has been raised at start.
    testing::AssertionResult up = Opened(&dlg);
    if (!up) ADD_FAILURE() << up.message();
    loginActive = up;
    testloop::WaitUntil(
        [&] { return RaisedAtStart() && Above(chat, &form()) && Above(&dlg, chat) && Above(&dlg, &form()); },
        kWmDeadline);
    chatAboveMain = Above(chat, &form());
    loginOnTop = Above(&dlg, chat) && Above(&dlg, &form());
    loginActive = loginActive && QApplication::activeWindow() == &dlg;
    loginFocused = dlg.isAncestorOf(QApplication::focusWidget());
    return 1;
  };
  ShowAtStart();
  ASSERT_TRUE(testloop::WaitUntil([&] { return logins == 1; }, kWmDeadline));
  EXPECT_TRUE(chatAboveMain);
  EXPECT_TRUE(loginOnTop);
  EXPECT_TRUE(loginActive);
  EXPECT_TRUE(loginFocused);
  EXPECT_TRUE(Activated(&form()));  // back where the dialog opened, the chat window still above
  EXPECT_TRUE(Above(chat, &form()));

  fake->Connect();
  fake->Deliver("LOGIN:3");
  EXPECT_TRUE(ActiveWindowIs(chat));
  EXPECT_TRUE(testloop::WaitUntil([&] { return Above(chat, &form()); }, kWmDeadline));
  EXPECT_EQ(QApplication::focusWidget(), chat->ChatLine);
  EXPECT_EQ(chat->pos(), form().pos() + QPoint(48, 252));
}

// The dialogs stand in the middle of the screen of the main window whenever
// they are shown, wherever the main window is and wherever they were before.
TEST_F(Wm, DialogsCentredOnTheMainWindowsScreen) {
  std::vector<std::string> modalFaults;
  onModal = [&](QDialog& d) {
    testing::AssertionResult r = Centred(&d, d.metaObject()->className());
    if (!r) modalFaults.push_back(r.message());
    d.move(3, 3);
    return 1;
  };
  ShowAtStart();
  form().move(20, 30);
  ASSERT_TRUE(testloop::WaitUntil([&] { return Frame(&form()).topLeft() == QPoint(20, 30); }, kWmDeadline));
  ASSERT_TRUE(testloop::WaitUntil([&] { return fake->opens == 1; }, kWmDeadline));  // the login dialog, at start
  form().S2Click();                                                        // the options dialog
  form().S2Click();                                                        // once more, after a move
  EXPECT_TRUE(modalFaults.empty()) << testing::PrintToString(modalFaults);

  kest::TCard cards[1] = {kest::TCard::MakeCard(1, 2)};
  const auto& f = form().Forms();
  struct Window {
    const char* what;
    QWidget* w;
    std::function<void()> open;
  } windows[] = {
      {"picker", f.cardSelForm, [&] { form().OpenPicker(false, 0); }},
      {"card-show dialog", f.cardShowForm, [&] { form().OpenCardShow(1, cards); }},
      {"result dialog", f.kekkaForm, [&] { form().ShowResult(true, 0, 10, 20, 30); }},
  };
  for (const Window& w : windows) {
    w.open();
    EXPECT_TRUE(Centred(w.w, w.what));
    const QPoint centred = Frame(w.w).topLeft();
    w.w->move(5, 5);
    EXPECT_TRUE(testloop::WaitUntil([&] { return Frame(w.w).topLeft() != centred; }, kWmDeadline));
    w.w->hide();
    w.open();
    EXPECT_TRUE(Centred(w.w, w.what)) << " shown again";
    w.w->hide();
  }
}

// The card strip: main window top + 292, centred on the main window's width,
// both from the main window's outer edge.
TEST_F(Wm, CardStripPlacedFromTheMainWindowsFrame) {
  onModal = [](QDialog&) { return 1; };
  ShowAtStart();
  form().move(40, 50);
  ASSERT_TRUE(testloop::WaitUntil([&] { return Frame(&form()).topLeft() == QPoint(40, 50); }, kWmDeadline));
  client::TKestCardForm* strip = form().Forms().cardForm;
  form().PlaceCardStrip(3);
  strip->show();
  ASSERT_TRUE(Framed(strip));
  const QPoint corner(40 + form().width() / 2 - 3 * 64 / 2, 50 + 292);
  EXPECT_TRUE(testloop::WaitUntil([&] { return Frame(strip).topLeft() == corner; }, kWmDeadline))
      << Frame(strip).x() << "," << Frame(strip).y();
}

// The notebook opened as the player opens it, F3 or the menu in a game,
// stands in the middle of the screen from its first opening, all its rows
// shown.
TEST_F(Wm, NotebookCentredFromItsFirstOpening) {
  onModal = [](QDialog&) { return 1; };
  ShowAtStart();
  StartGame();
  client::TCheckForm* notes = form().Forms().checkForm;
  auto allRowsShown = [notes] {
    QLabel* grid = notes->Images[size_t(notes->CheckPage->currentIndex())];
    return notes->rect().contains(QRect(grid->mapTo(notes, QPoint(0, 0)), grid->size()));
  };
  struct Opening {
    const char* what;
    QStringList keys;
  } openings[] = {
      {"F3", {QStringLiteral("F3")}},
      {"the menu", {QStringLiteral("alt+w"), QStringLiteral("m")}},  // ウインドウ(&W), then 探偵メモ(&M)
      {"F3 again", {QStringLiteral("F3")}},
  };
  for (const Opening& o : openings) {
    SCOPED_TRACE(o.what);
    ASSERT_TRUE(ActivatedByThePlayer(&form()));
    for (const QString& key : o.keys) {
      // A key after the one that opens the menu goes to the menu once it is up.
      if (key != o.keys.front()) {
        ASSERT_TRUE(testloop::WaitUntil([] { return QApplication::activePopupWidget() != nullptr; }, kWmDeadline));
      }
      Keys({key});
    }
    ASSERT_TRUE(ActiveWindowIs(notes));
    EXPECT_TRUE(Centred(notes, "notebook", allRowsShown));
    notes->hide();
    ASSERT_TRUE(testloop::WaitUntil([&] { return WmActive() != notes->winId(); }, kWmDeadline));
  }
}

// A chat line asks for the player's attention on the chat window unless the
// chat window itself has the focus, and on the main window's taskbar entry
// while the main window does not have it; activating the chat window takes
// both marks back.
TEST_F(Wm, ChatLineMarksTheChatWindowWhileAnotherWindowIsActive) {
  onModal = [](QDialog&) { return 1; };
  ShowAtStart();
  client::TChatWin* chat = form().Forms().chatWin;
  fake->Connect();
  fake->Deliver("LOGIN:3");
  ASSERT_TRUE(Activated(chat));
  struct Case {
    const char* active;
    QWidget* w;
    bool mainMarked;
  } cases[] = {
      {"main window", &form(), false},
      {"notebook", form().Forms().checkForm, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.active);
    c.w->show();
    ASSERT_TRUE(ActivatedByThePlayer(c.w));
    fake->Deliver("PRINT \x08[bob] hello\x08:3");
    EXPECT_TRUE(testloop::WaitUntil([&] { return DemandsAttention(chat); }, kWmDeadline));
    EXPECT_EQ(DemandsAttention(&form()), c.mainMarked);
    ASSERT_TRUE(ActivatedByThePlayer(chat));
    EXPECT_TRUE(testloop::WaitUntil(
        [&] { return !DemandsAttention(chat) && !DemandsAttention(&form()) && !chat->Flashing(); }, kWmDeadline));
    if (c.w != &form()) c.w->hide();
  }
  // With the chat window active a line asks for nothing.
  fake->Deliver("PRINT \x08[bob] again\x08:3");
  EXPECT_FALSE(chat->Flashing());
  EXPECT_FALSE(DemandsAttention(chat));
}

// The login dialog, minimised, comes back to the front as soon as one of the
// program's windows is activated; the window manager's close of the main
// window (Alt+F4) while the dialog is open ends the program as Exit does.
TEST_F(Wm, MinimisedLoginDialogComesBackAndClosingTheMainWindowExits) {
  client::TChatWin* chat = form().Forms().chatWin;
  int logins = 0;
  bool closedByTheMainWindow = false;
  onModal = [&](QDialog& dlg) {
    ++logins;
    if (testing::AssertionResult up = Opened(&dlg); !up) {
      ADD_FAILURE() << up.message();
      return 1;
    }
    TUnmaps minimised(&dlg);
    for (QWidget* other : {static_cast<QWidget*>(&form()), static_cast<QWidget*>(chat)}) {
      SCOPED_TRACE(other->windowTitle().toStdString());
      const int before = minimised.count;
      Xdotool({QStringLiteral("windowminimize"), Id(&dlg)});
      EXPECT_TRUE(testloop::WaitUntil([&] { return minimised.count > before; }, kWmDeadline));
      Xdotool({QStringLiteral("windowactivate"), Id(other)});
      EXPECT_TRUE(testloop::WaitUntil(
          [&] {
            return !dlg.isMinimized() && !WmState(&dlg).contains(QStringLiteral("_NET_WM_STATE_HIDDEN")) &&
                   QApplication::activeWindow() == &dlg && WmActive() == dlg.winId();
          },
          kWmDeadline));
    }
    AskWindowManagerToClose(&form());
    closedByTheMainWindow = testloop::WaitUntil([&] { return !dlg.isVisible(); }, kWmDeadline);
    return 1;
  };
  app->Show();  // the dialog opens on the main window's activation
  ASSERT_TRUE(testloop::WaitUntil([&] { return logins == 1 && form().Closing; }, 4 * kWmDeadline));
  EXPECT_TRUE(closedByTheMainWindow);
  EXPECT_EQ(form().Forms().loginDialog->result(), 2);
  EXPECT_EQ(fake->opens, 0);
  EXPECT_EQ(form().ExitCode(), 0);
  EXPECT_FALSE(form().isVisible());
}

// Esc does nothing in the login dialog; its close box (Alt+F4) is Exit.
TEST_F(Wm, LoginDialogEscDoesNothingAndTheCloseBoxExits) {
  bool openAfterEsc = false, closedByItsCloseBox = false;
  onModal = [&](QDialog& dlg) {
    auto* login = static_cast<client::TLoginDialog*>(&dlg);
    if (testing::AssertionResult up = Opened(&dlg); !up) {
      ADD_FAILURE() << up.message();
      return 1;
    }
    login->NameEdit->setFocus();
    login->NameEdit->end(false);
    // The letter after Esc arrives after it: once it is in, Esc has been handled.
    Keys({QStringLiteral("Escape"), QStringLiteral("x")});
    openAfterEsc = testloop::WaitUntil([&] { return login->NameEdit->text() == "alicex"; }, kWmDeadline) &&
                   dlg.isVisible();
    Keys({QStringLiteral("alt+F4")});
    closedByItsCloseBox = testloop::WaitUntil([&] { return !dlg.isVisible(); }, kWmDeadline);
    return 1;
  };
  app->Show();
  ASSERT_TRUE(testloop::WaitUntil([&] { return form().Closing; }, 4 * kWmDeadline));
  EXPECT_TRUE(openAfterEsc);
  EXPECT_TRUE(closedByItsCloseBox);
  EXPECT_EQ(form().Forms().loginDialog->result(), 2);
  EXPECT_EQ(fake->opens, 0);
}

// The host dialog "サーバ情報の入力", asked for from the login dialog, stands
// in the middle of the main window wherever the main window is.
TEST_F(Wm, HostDialogCentredOnTheMainWindow) {
  QRect hostFrame, mainFrame;
  onModal = [&](QDialog& dlg) {
    if (testing::AssertionResult up = Opened(&dlg); !up) {
      ADD_FAILURE() << up.message();
      return 2;
    }
    form().move(30, 40);  // the login dialog stays in the middle of the screen
    if (!testloop::WaitUntil([&] { return (mainFrame = Frame(&form())).topLeft() == QPoint(30, 40); }, kWmDeadline))
      return 2;
    QTimer::singleShot(0, &dlg, [&] {
      auto* host = qobject_cast<kest::TFormDefaultConnection*>(QApplication::activeModalWidget());
      if (!host) return;
      if (Framed(host))
        testloop::WaitUntil([&] { return SameCentre(hostFrame = Frame(host), mainFrame); }, kWmDeadline);
      host->Button2->click();
    });
    kest::TLineClientSocket client;
    client.Address = "127.0.0.1";  // and port 0: the host dialog asks
    client.SetActive(true);
    return 2;
  };
  app->Show();
  ASSERT_TRUE(testloop::WaitUntil([&] { return form().Closing; }, 4 * kWmDeadline));
  EXPECT_TRUE(!hostFrame.isNull() && SameCentre(hostFrame, mainFrame))
      << hostFrame.x() << "," << hostFrame.y() << " " << hostFrame.width() << "x" << hostFrame.height()
      << " on the main window at " << mainFrame.x() << "," << mainFrame.y() << " " << mainFrame.width() << "x"
      << mainFrame.height();
}

}  // namespace
