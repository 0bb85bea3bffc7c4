// The server window with real sockets on the Qt event loop: listening,
// the toggle, a bad port, closing, and the window's texts.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QToolButton>
#include <chrono>
#include <functional>

#include "EventLoop.h"
#include "KestServerForm.h"
#include "Protocol.h"
#include "WireClient.h"

using velmora::TKestServerForm;
using velmora::tools::TWireClient;

namespace {

class ServerForm : public ::testing::Test {
 protected:

  // Connects and logs in; the form's loop runs while waiting.
  std::unique_ptr<TWireClient> Login(TKestServerForm& form, const std::string& name) {
    auto c = std::make_unique<TWireClient>();
    EXPECT_TRUE(c->Connect("127.0.0.1", form.ListeningPort(), 2000));
    c->SendCommand(kest::proto::CmdLogin(name, "f"), 0);
    const int before = form.Core().LoggedInCount();
    EXPECT_TRUE(testloop::WaitUntil([&] { return form.Core().LoggedInCount() == before + 1; }));
    return c;
  }

  // Everything the client received until the server closed it.
  static std::vector<std::string> ReadUntilClosed(TWireClient& c) {
    std::vector<std::string> lines;
    testloop::WaitUntil([&] {
      while (auto l = c.ReadLine(0)) lines.push_back(*l);
      return c.PeerClosed();
    });
    return lines;
  }

  static QToolButton* Toggle(TKestServerForm& f) { return f.findChild<QToolButton*>("SpeedButton1"); }
  static QLineEdit* Port(TKestServerForm& f) { return f.findChild<QLineEdit*>("PortNum"); }
  static QAction* ListenItem(TKestServerForm& f) { return f.findChild<QAction*>("FileListenItem"); }

};

TEST_F(ServerForm, ListensAtOnceAndTogglesOffWithoutALine) {
  TKestServerForm form(0);
  ASSERT_TRUE(form.Listening());
  EXPECT_GT(form.ListeningPort(), 0);
  EXPECT_EQ(form.StatusText(), "Listening...");
  EXPECT_FALSE(Port(form)->isEnabled());

  auto a = Login(form, "Alice");
  auto b = Login(form, "Bob");
  for (auto* c : {a.get(), b.get()})
    while (c->ReadLine(200)) {
    }

  Toggle(form)->click();
  EXPECT_FALSE(form.Listening());
  EXPECT_EQ(form.StatusText(), "Server Stop");
  EXPECT_TRUE(Port(form)->isEnabled());
  EXPECT_EQ(form.Core().LoggedInCount(), 0);
  for (auto* c : {a.get(), b.get()}) EXPECT_TRUE(ReadUntilClosed(*c).empty());

  Toggle(form)->click();
  EXPECT_TRUE(form.Listening());
  EXPECT_EQ(form.StatusText(), "Listening...");
}

// The toggle button and the menu item both show whether the server
// listens, whichever of them switched it.
TEST_F(ServerForm, ListenStateShowsOnButtonAndMenuItem) {
  TKestServerForm form(0);
  QAction* item = ListenItem(form);
  ASSERT_NE(item, nullptr);
  EXPECT_TRUE(item->isCheckable());
  auto shows = [&](bool on) {
    EXPECT_EQ(form.Listening(), on);
    EXPECT_EQ(Toggle(form)->isChecked(), on);
    EXPECT_EQ(item->isChecked(), on);
  };
  shows(true);
  item->trigger();
  shows(false);
  item->trigger();
  shows(true);
  Toggle(form)->click();
  shows(false);
  // A start that fails leaves both unchecked.
  Port(form)->setText("x");
  item->trigger();
  shows(false);
}

TEST_F(ServerForm, BadPortTextLeavesTheServerOff) {
  TKestServerForm form(0);
  Toggle(form)->click();
  Port(form)->setText("abc");
  Toggle(form)->click();
  EXPECT_FALSE(form.Listening());
  EXPECT_FALSE(Toggle(form)->isChecked());
  EXPECT_TRUE(form.StatusText().contains("abc"));
  EXPECT_NE(form.StartError().find("abc"), std::string::npos);
}

TEST_F(ServerForm, ClosingLogsEveryoneOutSilently) {
  TKestServerForm form(0);
  auto a = Login(form, "Alice");
  auto b = Login(form, "Bob");
  for (auto* c : {a.get(), b.get()})
    while (c->ReadLine(200)) {
    }
  form.close();
  EXPECT_EQ(form.Core().LoggedInCount(), 0);
  EXPECT_FALSE(form.Listening());
  for (auto* c : {a.get(), b.get()}) EXPECT_TRUE(ReadUntilClosed(*c).empty());
}

TEST_F(ServerForm, DisconnectLogsOutOverTheLoop) {
  TKestServerForm form(0);
  auto a = Login(form, "Alice");
  auto b = Login(form, "Bob");
  while (a->ReadLine(200)) {
  }
  b->Close();
  ASSERT_TRUE(testloop::WaitUntil([&] { return form.Core().LoggedInCount() == 1; }));
  std::vector<std::string> got;
  testloop::WaitUntil([&] {
    while (auto l = a->ReadLine(0)) got.push_back(*l);
    return got.size() >= 2;
  });
  ASSERT_GE(got.size(), 2u);
  EXPECT_EQ(got[0], "BYE \x08" "Bob\x08:0");
}

// More than 64 KiB without a line end closes the connection; the remainder
// never reaches the dispatcher.
TEST_F(ServerForm, UnterminatedRemainderIsLimited) {
  TKestServerForm form(0);
  auto a = Login(form, "Alice");
  a->SendRaw(std::string(70 * 1024, 'x'));
  ASSERT_TRUE(testloop::WaitUntil([&] { return form.Core().LoggedInCount() == 0; }));
  bool closedLogged = false;
  for (const std::string& l : form.Core().Log()) {
    EXPECT_LT(l.size(), 1024u);
    closedLogged |= l.find("bytes without a line end") != std::string::npos;
  }
  EXPECT_TRUE(closedLogged);
}

TEST_F(ServerForm, WindowTexts) {
  TKestServerForm form(0);
  EXPECT_TRUE(form.windowTitle().endsWith("Server"));
  EXPECT_EQ(form.width(), 323);
  const auto menus = form.menuBar()->actions();
  ASSERT_EQ(menus.size(), 1);
  EXPECT_EQ(menus[0]->text(), QString::fromUtf8("ファイル(&F)"));
  const auto items = menus[0]->menu()->actions();
  ASSERT_EQ(items.size(), 3);
  EXPECT_EQ(items[0]->text(), QString::fromUtf8("接続切り替え(&C)"));
  EXPECT_TRUE(items[1]->isSeparator());
  EXPECT_EQ(items[2]->text(), QString::fromUtf8("終了(&X)"));
  EXPECT_EQ(Port(form)->text(), "0");
}

}  // namespace
