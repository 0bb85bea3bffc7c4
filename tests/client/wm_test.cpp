// The client's windows on an X display with a window manager (run by
// under_wm.sh): where they stand, which is on top, which has the focus, and
// what real key presses do. The tests run one after another on one display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

#include "CardSelForm.h"
#include "CardShowForm.h"
#include "ChatWin.h"
#include "CheckForm.h"
#include "AppFixture.h"
#include "EventLoop.h"
#include "KekkaForm.h"
#include "KestCardForm.h"
#include "LoginDialog.h"
#include "MessageBox.h"
#include "OptForm.h"

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

// Real key presses, sent to the window that has the focus.
void Keys(const QStringList& keys) {
  QProcess p;
  p.start(QStringLiteral("xdotool"), QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("40")} + keys);
  // The events pumped between waits may reap the finished process, after
  // which waitForFinished answers false at once: wait on the state, and not
  // past a deadline.
  QElapsedTimer t;
  t.start();
  while (p.state() != QProcess::NotRunning && t.elapsed() < 10000) {
    p.waitForFinished(10);
    QCoreApplication::processEvents();
  }
  ASSERT_EQ(p.state(), QProcess::NotRunning) << "xdotool did not finish";
  testloop::PumpFor(150);
}

bool Framed(QWidget* w) {
  return testloop::WaitUntil([w] { return w->frameGeometry().size() != w->geometry().size(); }, 3000);
}

bool ActiveWindowIs(QWidget* w) {
  return testloop::WaitUntil([w] { return QApplication::activeWindow() == w; }, 3000);
}

// The output of a program.
QString Run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  p.waitForFinished(5000);
  return QString::fromLatin1(p.readAllStandardOutput());
}

// The window's frame as the window manager has placed it: the window's place
// on the root window and the frame's sides around it.
QRect Frame(QWidget* w) {
  const QString id = QString::number(w->winId());
  int v[4] = {0, 0, 0, 0};
  const char* keys[4] = {"Absolute upper-left X:", "Absolute upper-left Y:", "Width:", "Height:"};
  for (const QString& line : Run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id}).split('\n'))
    for (int i = 0; i < 4; ++i)
      if (line.trimmed().startsWith(QLatin1String(keys[i]))) v[i] = line.section(':', 1).trimmed().toInt();
  // "_NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom"
  QString ext = Run(QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("_NET_FRAME_EXTENTS")});
  QStringList sides = ext.section('=', 1).split(',', Qt::SkipEmptyParts);
  if (sides.size() != 4) return QRect(v[0], v[1], v[2], v[3]);
  int l = sides[0].trimmed().toInt(), r = sides[1].trimmed().toInt(), t = sides[2].trimmed().toInt(),
      b = sides[3].trimmed().toInt();
  return QRect(v[0] - l, v[1] - t, v[2] + l + r, v[3] + t + b);
}

// Whether the window, frame included, stands in the middle of the screen
// once the window manager has mapped it.
testing::AssertionResult Centred(QWidget* w, const char* what) {
  QRect frame;
  QPoint off;
  auto centred = [&] {
    frame = Frame(w);
    off = frame.center() - w->screen()->availableGeometry().center();
    return frame.size() != w->size() && std::abs(off.x()) <= 1 && std::abs(off.y()) <= 1;
  };
  if (testloop::WaitUntil(centred, 2000)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << what << " at " << frame.x() << "," << frame.y() << " " << frame.width()
                                     << "x" << frame.height() << ", centre off by " << off.x() << "," << off.y();
}

class Wm : public clienttest::AppTest {
 protected:
  void SetUp() override {
    SetUpHome({"alice_face"});
    NewApp();
    // The dialogs run modally as in the program; onModal looks at them and answers.
    form().RunModal = [this](QDialog& dlg) {
      QTimer::singleShot(0, &dlg, [this, &dlg] {
        int r = 1;
        if (auto* login = dynamic_cast<client::TLoginDialog*>(&dlg)) login->NameEdit->setText("alice");
        if (onModal) r = onModal(dlg);
        dlg.done(r);
      });
      return dlg.exec();
    };
  }
  // Shows the program's windows as at start and waits for the main window to
  // settle in the middle of the screen.
  void ShowAtStart() {
    app->Show();
    ASSERT_TRUE(ActiveWindowIs(&form()));
    ASSERT_TRUE(Framed(&form()));
    testloop::PumpFor(300);
  }

  std::function<int(QDialog&)> onModal;
};

// Return presses the button that has the focus; with the focus elsewhere it
// presses the default button 決定, which is the default only then.
TEST_F(Wm, PickerReturnPressesTheFocusedButton) {
  onModal = [](QDialog&) { return 1; };
  ShowAtStart();
  ASSERT_TRUE(testloop::WaitUntil([&] { return fake->opens == 1; }, 3000));
  fake->Connect();
  const std::string BS = "\x08";
  for (const std::string& l : {std::string("LOGIN"), "CHROOM 1," + BS + "alice" + BS, "ADDUSER " + BS + "alice" + BS + ",1," + BS +
                                   "f" + BS + ",3,0", "ADDUSER " + BS + "bob" + BS + ",1," + BS + "f" + BS + ",4,0"})
    fake->Deliver(l + ":3");
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
    // A new game each time, the own piece in room 4 at its turn, and the
    // picker opened by its button.
    for (const char* l : {"START 1,0:3", "TURN 0:3", "INROOM 0,4,0:3"}) fake->Deliver(l);
    (c.suiri ? form().SuiriButton : form().KokusoButton)->click();
    if (QApplication::activeWindow() != picker) picker->activateWindow();
    ASSERT_TRUE(ActiveWindowIs(picker));
    for (int i = 0; i < 8 && picker->focusWidget() != c.focus; ++i) Keys({QStringLiteral("Tab")});
    ASSERT_EQ(picker->focusWidget(), c.focus);
    EXPECT_EQ(picker->OkBtn->isDefault(), c.focus != picker->Button1);
    fake->sent.clear();
    Keys({QStringLiteral("Return")});
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
    // activated it, and a while after.
    loginActive = Framed(&dlg) && ActiveWindowIs(&dlg);
    testloop::PumpFor(500);
    chatAboveMain = Above(chat, &form());
    loginOnTop = Above(&dlg, chat) && Above(&dlg, &form());
    loginActive = loginActive && QApplication::activeWindow() == &dlg;
    loginFocused = dlg.isAncestorOf(QApplication::focusWidget());
    return 1;
  };
  ShowAtStart();
  ASSERT_TRUE(testloop::WaitUntil([&] { return logins == 1; }, 5000));
  EXPECT_TRUE(chatAboveMain);
  EXPECT_TRUE(loginOnTop);
  EXPECT_TRUE(loginActive);
  EXPECT_TRUE(loginFocused);
  EXPECT_TRUE(testloop::WaitUntil([&] { return Above(chat, &form()); }, 3000));
  EXPECT_TRUE(ActiveWindowIs(&form()));  // back where the dialog opened
  testloop::PumpFor(300);                 // and the chat window stays above
  EXPECT_TRUE(Above(chat, &form()));

  fake->Connect();
  fake->Deliver("LOGIN:3");
  EXPECT_TRUE(ActiveWindowIs(chat));
  EXPECT_TRUE(testloop::WaitUntil([&] { return Above(chat, &form()); }, 2000));
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
  ASSERT_TRUE(testloop::WaitUntil([&] { return Frame(&form()).topLeft() == QPoint(20, 30); }, 2000));
  ASSERT_TRUE(testloop::WaitUntil([&] { return fake->opens == 1; }, 3000));  // the login dialog, at start
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
      {"notebook", f.checkForm, [&] { form().S1->setEnabled(true), form().S1->trigger(); }},
      {"result dialog", f.kekkaForm, [&] { form().ShowResult(true, 0, 10, 20, 30); }},
  };
  for (const Window& w : windows) {
    w.open();
    EXPECT_TRUE(Centred(w.w, w.what));
    w.w->move(5, 5);
    testloop::PumpFor(200);
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
  ASSERT_TRUE(testloop::WaitUntil([&] { return Frame(&form()).topLeft() == QPoint(40, 50); }, 2000));
  client::TKestCardForm* strip = form().Forms().cardForm;
  form().PlaceCardStrip(3);
  strip->show();
  ASSERT_TRUE(Framed(strip));
  testloop::PumpFor(200);
  EXPECT_EQ(Frame(strip).top(), 50 + 292);
  EXPECT_EQ(Frame(strip).left(), 40 + form().width() / 2 - 3 * 64 / 2);
}

}  // namespace
