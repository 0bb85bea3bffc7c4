// Clients (in this process, each with a program folder of its own) against
// the real server program.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <chrono>
#include <thread>

#include "ChatWin.h"
#include "ClientApp.h"
#include "ClientTestUtil.h"
#include "LoginDialog.h"
#include "MessageBox.h"
#include "NpcSetDlg.h"
#include "Resources.h"
#include "ServerProcess.h"
#include "SocketConnection.h"

namespace {

using client::TKestClientForm;

bool Accepting(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

using velmora::test::FreePort;
using velmora::test::TServerProcess;

// Waits until the server accepts connections (five seconds at most).
bool WaitListening(const TServerProcess& server, int port) {
  for (int i = 0; i < 250 && server.Running(); ++i) {
    if (Accepting(port)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// Handles events until pred holds or five seconds pass.
template <class Pred>
bool WaitFor(Pred pred) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > 5000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// One client with its own folder; its login dialog is answered by `answer`.
struct Client {
  std::unique_ptr<clienttest::HomeDir> home;
  std::unique_ptr<client::TClientApp> app;
  int dialogs = 0;
  std::function<int(client::TLoginDialog&)> answer;

  Client(const std::string& tag, const std::string& name, int port) {
    home = std::make_unique<clienttest::HomeDir>(tag);
    home->Face("face_" + tag);
    home->Face("unknown", qRgb(90, 90, 90));
    home->Ini("[Server]\nIPADDR=127.0.0.1\nPORT=" + std::to_string(port) + "\n[User]\nNAME=" + name + "\n");
    TKestClientForm::Devices d;
    d.connection = client::CreateSocketConnection();
    app = std::make_unique<client::TClientApp>(std::move(d));
    answer = [](client::TLoginDialog&) { return 1; };
    Main().RunModal = [this](QDialog& dlg) {
      ++dialogs;
      auto* login = dynamic_cast<client::TLoginDialog*>(&dlg);
      return login ? answer(*login) : 2;
    };
  }
  TKestClientForm& Main() { return app->Main(); }
  bool LogIn() {
    Main().ShowConnectDialog();
    return WaitFor([this] { return Main().PlayerCount > 0 && Main().LocalUser.GetRoom() == 1; });
  }
  std::string Chat() { return client::S(Main().Forms().chatWin->ChatMsg->toPlainText()); }
};

class ClientE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    clienttest::App();
    plat::SetMessageBoxHandler([this](const plat::TMessageBoxRequest& r) {
      boxes.push_back(r);
      return plat::idOK;
    });
    port = FreePort();
    server = std::make_unique<TServerProcess>(port);
    ASSERT_TRUE(WaitListening(*server, port));
  }
  void TearDown() override {
    clients.clear();
    server.reset();
    plat::SetMessageBoxHandler(nullptr);
  }
  Client& NewClient(const std::string& tag, const std::string& name) {
    clients.push_back(std::make_unique<Client>(tag, name, port));
    return *clients.back();
  }

  int port = 0;
  std::unique_ptr<TServerProcess> server;
  std::vector<std::unique_ptr<Client>> clients;
  std::vector<plat::TMessageBoxRequest> boxes;
};

TEST_F(ClientE2E, ThreeInOneRoomChatAndOneLeaves) {
  Client& a = NewClient("a3", "anna");
  ASSERT_TRUE(a.LogIn());
  EXPECT_GE(a.Main().MyUserId, 0);
  EXPECT_EQ(a.Main().GameState, 1);
  EXPECT_EQ(a.Main().MySeat, 0);
  EXPECT_FALSE(a.Main().StartButton->isHidden());
  Client& b = NewClient("b3", "ben");
  ASSERT_TRUE(b.LogIn());
  Client& c = NewClient("c3", "cleo");
  ASSERT_TRUE(c.LogIn());
  ASSERT_TRUE(WaitFor([&] { return a.Main().PlayerCount == 3; }));
  EXPECT_EQ(c.Main().PlayerCount, 3);
  EXPECT_EQ(c.Main().MySeat, 2);
  EXPECT_EQ(a.Main().Seats[2].GetName(), "cleo");
  EXPECT_EQ(a.Main().Seats[2].GetFace(), "face_c3");

  c.Main().Forms().chatWin->ChatLine->setText("hello all");
  c.Main().Forms().chatWin->ChatLineEnter();
  ASSERT_TRUE(WaitFor([&] { return a.Chat().find("hello all") != std::string::npos; }));
  EXPECT_NE(a.Chat().find("[cleo]"), std::string::npos) << a.Chat();
  ASSERT_TRUE(WaitFor([&] { return b.Chat().find("hello all") != std::string::npos; }));

  // Ben closes his window: the others' rows close up.
  b.Main().close();
  b.app.reset();
  ASSERT_TRUE(WaitFor([&] { return a.Main().PlayerCount == 2; }));
  EXPECT_EQ(a.Main().Seats[1].GetName(), "cleo");
  EXPECT_EQ(a.Main().Seats[2].GetName(), "");
  ASSERT_TRUE(WaitFor([&] { return c.Main().MySeat == 1; }));
}

TEST_F(ClientE2E, SameNameAsksForAnotherName) {
  Client& a = NewClient("a4", "dup");
  ASSERT_TRUE(a.LogIn());
  Client& b = NewClient("b4", "dup");
  b.answer = [&b](client::TLoginDialog& d) {
    if (b.dialogs == 2) d.NameEdit->setText("dup2");
    return 1;
  };
  ASSERT_TRUE(b.LogIn());
  EXPECT_EQ(b.dialogs, 2);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(b.Main().LocalUser.GetName(), "dup2");
}

TEST_F(ClientE2E, RefusedConnectionReopensDialog) {
  Client& a = NewClient("a5", "anna");
  int closedPort = FreePort();
  a.answer = [&](client::TLoginDialog& d) {
    d.PortEdit->setText(QString::number(a.dialogs == 1 ? closedPort : port));
    return 1;
  };
  ASSERT_TRUE(a.LogIn());
  EXPECT_EQ(a.dialogs, 2);
  EXPECT_NE(a.Main().Memo2->toPlainText().indexOf("Error connecting to:127.0.0.1"), -1);
}

TEST_F(ClientE2E, ReconnectsAfterServerDrops) {
  Client& a = NewClient("a6", "anna");
  ASSERT_TRUE(a.LogIn());
  a.answer = [this](client::TLoginDialog&) {
    server = std::make_unique<TServerProcess>(port);
    WaitListening(*server, port);
    return 1;
  };
  server->Stop();
  ASSERT_TRUE(WaitFor([&] { return a.dialogs == 1; }));
  ASSERT_TRUE(WaitFor([&] { return a.Main().MyUserId >= 0 && a.Main().LocalUser.GetRoom() == 1; }));
  EXPECT_EQ(a.Main().PlayerCount, 1);
  EXPECT_EQ(a.Main().GameState, 1);
}

TEST_F(ClientE2E, HostAddsComputerPlayersUntilStartThenLateLoginIsLocked) {
  Client& a = NewClient("a7", "anna");
  ASSERT_TRUE(a.LogIn());
  Client& b = NewClient("b7", "ben");
  ASSERT_TRUE(b.LogIn());
  ASSERT_TRUE(WaitFor([&] { return a.Main().PlayerCount == 2; }));
  a.Main().CpuCountSetting = 1;
  a.Main().StartButton->click();
  ASSERT_TRUE(WaitFor([&] { return a.Main().GameState == 2 && b.Main().GameState == 2; }));
  EXPECT_EQ(a.Main().PlayerCount, 6);
  EXPECT_EQ(a.Main().ExpectedPlayers, 0);
  EXPECT_TRUE(a.Main().Seats[2].HasFlags(kest::ufComputer));
  EXPECT_FALSE(a.Main().Seats[2].HasFlags(kest::ufNonParticipant));
  for (int s = 3; s < 6; ++s) EXPECT_TRUE(a.Main().Seats[s].HasFlags(kest::ufNonParticipant)) << s;
  EXPECT_EQ(b.Main().PlayerCount, 6);

  Client& c = NewClient("c7", "cleo");
  c.Main().ShowConnectDialog();
  ASSERT_TRUE(WaitFor([&] { return c.Main().Closing; }));
  EXPECT_NE(c.Main().ExitCode(), 0);
  ASSERT_FALSE(boxes.empty());
}

}  // namespace
