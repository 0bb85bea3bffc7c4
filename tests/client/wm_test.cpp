// The client's windows on an X display with a window manager (run by
// under_wm.sh): where they stand, which is on top, which has the focus, and
// what real key presses do. The tests run one after another on one display.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>

#include "CardSelForm.h"
#include "CardShowForm.h"
#include "ChatWin.h"
#include "CheckForm.h"
#include "ClientApp.h"
#include "ClientTestUtil.h"
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
  while (!p.waitForFinished(10)) QCoreApplication::processEvents();
  testloop::PumpFor(150);
}

bool Framed(QWidget* w) {
  return testloop::WaitUntil([w] { return w->frameGeometry().size() != w->geometry().size(); }, 3000);
}

bool ActiveWindowIs(QWidget* w) {
  return testloop::WaitUntil([w] { return QApplication::activeWindow() == w; }, 3000);
}

class Wm : public ::testing::Test {
 protected:
  void SetUp() override {
    clienttest::App();
    home = std::make_unique<clienttest::HomeDir>(
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    home->Face("alice_face");
    home->Face("unknown", qRgb(90, 90, 90));
    plat::SetMessageBoxHandler([](const plat::TMessageBoxRequest&) { return plat::idOK; });
    auto conn = std::make_unique<FakeConnection>();
    fake = conn.get();
    TKestClientForm::Devices d;
    d.connection = std::move(conn);
    app = std::make_unique<client::TClientApp>(std::move(d));
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
  void TearDown() override {
    app.reset();
    plat::SetMessageBoxHandler(nullptr);
    home.reset();
  }
  TKestClientForm& form() { return app->Main(); }
  // Shows the program's windows as at start and waits for the main window to
  // settle in the middle of the screen.
  void ShowAtStart() {
    app->Show();
    ASSERT_TRUE(ActiveWindowIs(&form()));
    ASSERT_TRUE(Framed(&form()));
    testloop::PumpFor(300);
  }

  std::unique_ptr<clienttest::HomeDir> home;
  std::unique_ptr<client::TClientApp> app;
  FakeConnection* fake = nullptr;
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
// activation (the login dialog opens on it); at login the chat window comes
// to the front with the typing in its input line.
TEST_F(Wm, ChatWindowAboveTheMainWindowAndInFrontAtLogin) {
  int logins = 0;
  onModal = [&](QDialog&) { return ++logins, 1; };
  ShowAtStart();
  client::TChatWin* chat = form().Forms().chatWin;
  ASSERT_TRUE(testloop::WaitUntil([&] { return logins == 1; }, 3000));
  EXPECT_TRUE(testloop::WaitUntil([&] { return Above(chat, &form()); }, 3000));
  EXPECT_EQ(QApplication::activeWindow(), &form());
  testloop::PumpFor(300);  // and it stays so
  EXPECT_TRUE(Above(chat, &form()));

  fake->Connect();
  fake->Deliver("LOGIN:3");
  EXPECT_TRUE(ActiveWindowIs(chat));
  EXPECT_TRUE(testloop::WaitUntil([&] { return Above(chat, &form()); }, 2000));
  EXPECT_EQ(QApplication::focusWidget(), chat->ChatLine);
  EXPECT_EQ(chat->pos(), form().pos() + QPoint(48, 252));
}

}  // namespace
