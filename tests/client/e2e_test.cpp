// Clients (in this process, each with a program folder of its own) against
// the real server program.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <thread>

#include "ChatWin.h"
#include "ClientApp.h"
#include "CardSelForm.h"
#include "CardShowForm.h"
#include "CheckForm.h"
#include "KekkaForm.h"
#include "KestAbout.h"
#include "KestCardForm.h"
#include "OptForm.h"
#include "GameRules.h"
#include "ClientTestUtil.h"
#include "EventLoop.h"
#include "LoginDialog.h"
#include "MessageBox.h"
#include "NpcSetDlg.h"
#include "Resources.h"
#include "ServerProcess.h"
#include "SocketConnection.h"
#include "TextCodec.h"

namespace {

using client::TKestClientForm;

using velmora::test::FreePort;
using velmora::test::TServerProcess;

// Waits until the server accepts connections (five seconds at most).
bool WaitListening(const TServerProcess& server, int port) {
  for (int i = 0; i < 250 && server.Running(); ++i) {
    if (velmora::proc::PortOpen(port)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// Runs on every round of WaitFor: answers that a test leaves to the clients.
std::function<void()> gEveryRound;

// Handles events until pred holds or limitMs pass (generous: sanitizer builds on
// a loaded machine are slow).
bool WaitFor(const std::function<bool()>& pred, int limitMs = 20000) {
  return testloop::WaitUntil(pred, limitMs, gEveryRound);
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
    return WaitFor([this] { return Main().Game.PlayerCount() > 0 && Main().Game.LocalUser().GetRoom() == 1; });
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
  EXPECT_GE(a.Main().Game.MyUserId(), 0);
  EXPECT_EQ(a.Main().Game.State(), client::gsNoGame);
  EXPECT_EQ(a.Main().Game.MySeat(), 0);
  EXPECT_FALSE(a.Main().StartButton->isHidden());
  Client& b = NewClient("b3", "ben");
  ASSERT_TRUE(b.LogIn());
  Client& c = NewClient("c3", "cleo");
  ASSERT_TRUE(c.LogIn());
  ASSERT_TRUE(WaitFor([&] { return a.Main().Game.PlayerCount() == 3; }));
  EXPECT_EQ(c.Main().Game.PlayerCount(), 3);
  EXPECT_EQ(c.Main().Game.MySeat(), 2);
  EXPECT_EQ(a.Main().Game.Seats()[2].GetName(), "cleo");
  EXPECT_EQ(a.Main().Game.Seats()[2].GetFace(), "face_c3");

  c.Main().Forms().chatWin->ChatLine->setText("hello all");
  c.Main().Forms().chatWin->ChatLineEnter();
  ASSERT_TRUE(WaitFor([&] { return a.Chat().find("hello all") != std::string::npos; }));
  EXPECT_NE(a.Chat().find("[cleo]"), std::string::npos) << a.Chat();
  ASSERT_TRUE(WaitFor([&] { return b.Chat().find("hello all") != std::string::npos; }));

  // Ben closes his window: the others' rows close up.
  b.Main().close();
  b.app.reset();
  ASSERT_TRUE(WaitFor([&] { return a.Main().Game.PlayerCount() == 2; }));
  EXPECT_EQ(a.Main().Game.Seats()[1].GetName(), "cleo");
  EXPECT_EQ(a.Main().Game.Seats()[2].GetName(), "");
  ASSERT_TRUE(WaitFor([&] { return c.Main().Game.MySeat() == 1; }));
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
  EXPECT_EQ(b.Main().Game.LocalUser().GetName(), "dup2");
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
  ASSERT_TRUE(WaitFor([&] { return a.Main().Game.MyUserId() >= 0 && a.Main().Game.LocalUser().GetRoom() == 1; }));
  EXPECT_EQ(a.Main().Game.PlayerCount(), 1);
  EXPECT_EQ(a.Main().Game.State(), client::gsNoGame);
}

TEST_F(ClientE2E, HostAddsComputerPlayersUntilStartThenLateLoginIsLocked) {
  Client& a = NewClient("a7", "anna");
  ASSERT_TRUE(a.LogIn());
  Client& b = NewClient("b7", "ben");
  ASSERT_TRUE(b.LogIn());
  ASSERT_TRUE(WaitFor([&] { return a.Main().Game.PlayerCount() == 2; }));
  a.Main().Game.SetCpuCount(1);
  a.Main().StartButton->click();
  ASSERT_TRUE(WaitFor([&] { return a.Main().Game.State() == client::gsIdle && b.Main().Game.State() == client::gsIdle; }));
  EXPECT_EQ(a.Main().Game.PlayerCount(), 6);
  EXPECT_EQ(a.Main().Game.ExpectedPlayers(), 0);
  EXPECT_TRUE(a.Main().Game.Seats()[2].HasFlags(kest::ufComputer));
  EXPECT_FALSE(a.Main().Game.Seats()[2].HasFlags(kest::ufNonParticipant));
  for (int s = 3; s < 6; ++s) EXPECT_TRUE(a.Main().Game.Seats()[s].HasFlags(kest::ufNonParticipant)) << s;
  EXPECT_EQ(b.Main().Game.PlayerCount(), 6);

  Client& c = NewClient("c7", "cleo");
  c.Main().ShowConnectDialog();
  ASSERT_TRUE(WaitFor([&] { return c.Main().Closing; }));
  EXPECT_NE(c.Main().ExitCode(), 0);
  ASSERT_FALSE(boxes.empty());
}

// A stand-in server on a loopback port: it accepts one client and sends it
// the bytes a test gives, as fast as the client reads them.
struct StandInServer {
  int listener = -1, conn = -1, port = 0;
  std::string out;
  StandInServer() {
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, 1);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
  }
  ~StandInServer() {
    if (conn >= 0) ::close(conn);
    ::close(listener);
  }
  // Accepts the client once it has connected, then sends what is left; true
  // once everything is sent.
  bool Pump() {
    if (conn < 0) conn = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK);
    if (conn < 0) return false;
    while (!out.empty()) {
      ssize_t n = ::send(conn, out.data(), out.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      out.erase(0, size_t(n));
    }
    return true;
  }
};

// A line longer than the client takes (65,536 bytes) closes the connection
// on the client's side; its log says that, not that the server closed it.
TEST(ClientReceiveLimit, ALineOverTheLimitIsLoggedAsSuch) {
  clienttest::App();
  plat::SetMessageBoxHandler([](const plat::TMessageBoxRequest&) { return plat::idOK; });
  StandInServer server;
  {
    Client a("limit", "anna", server.port);
    a.Main().ShowConnectDialog();
    ASSERT_TRUE(WaitFor([&] { return server.Pump(); }));
    server.out = std::string(65537, 'x') + "\r\n";
    ASSERT_TRUE(WaitFor([&] { return server.Pump() && a.dialogs == 2; }));
    std::string log = client::S(a.Main().Memo2->toPlainText());
    EXPECT_NE(log.find("Connection closed for a line over 65536 bytes from:127.0.0.1"), std::string::npos) << log;
    EXPECT_EQ(log.find("Connection closed by:"), std::string::npos) << log;
  }
  plat::SetMessageBoxHandler(nullptr);
}

}  // namespace

namespace {

// A whole game of three people through their own controls: one accuses
// wrongly and is out, one walks into a room and makes a suggestion that the
// others answer, and the third accuses rightly and wins.
class GameE2E : public ClientE2E {
 protected:
  void SetUp() override {
    clienttest::App();
    plat::SetMessageBoxHandler([](const plat::TMessageBoxRequest&) { return plat::idOK; });
    port = FreePort();
    server = std::make_unique<TServerProcess>(port, std::vector<std::string>{"VELMORA_SEED=4242"});
    ASSERT_TRUE(WaitListening(*server, port));
    // Every client confirms the turn ends and answers the card-show dialog.
    gEveryRound = [this] {
      for (auto& c : clients) {
        if (!c->app) continue;
        TKestClientForm& m = c->Main();
        if (m.Game.State() == client::gsConfirm && m.OutButton->isEnabled()) m.OutButton->click();
        auto* show = m.Forms().cardShowForm;
        if (show->isVisible()) {
          ++shown;
          show->OkButton->click();
        }
      }
    };
  }
  void TearDown() override {
    gEveryRound = nullptr;
    ClientE2E::TearDown();
  }
  static std::string Dump(TKestClientForm& m) {
    return "\n seat " + std::to_string(m.Game.MySeat()) + " state " + std::to_string(int(m.Game.State())) + " turn " +
           std::to_string(m.Game.TurnSeat()) + " move " + std::to_string(m.MoveButton->isEnabled()) + " out " +
           std::to_string(m.OutButton->isEnabled()) + " place " + std::to_string(m.Game.Walk().place) + " steps " +
           std::to_string(m.Game.Walk().steps) + " view " + std::to_string(m.Game.ViewShown()) + " msg " +
           plat::SjisToUtf8(m.Game.MessageLine());
  }
  static bool MyTurn(TKestClientForm& m) {
    return m.Game.State() == client::gsIdle && m.Game.TurnSeat() == m.Game.MySeat() && m.MoveButton->isEnabled();
  }
  // Rolls and walks toward target along the route table until the steps are
  // used up or a room is entered.
  static bool RollAndWalk(TKestClientForm& m, int target) {
    m.MoveButton->click();
    if (!WaitFor([&] { return m.Game.State() == client::gsIdle && m.UpSpdButton->isEnabled(); }, 60000)) return false;
    while (m.Game.Walk().steps > 0 && m.Game.Walk().place == 0) {
      int d = client::RouteTable()[target][client::CellIndex(m.Game.Walk().x, m.Game.Walk().y)];
      if (d > 3) return false;
      QToolButton* b[4] = {m.UpSpdButton, m.DownSpdButton, m.LeftSpdButton, m.RightSpdButton};
      b[d]->click();
      if (!WaitFor([&] { return b[d]->isEnabled(); })) return false;
    }
    return WaitFor([&] { return m.OutButton->isEnabled(); });
  }
  static void Accuse(TKestClientForm& m, int room, int person, int weapon) {
    m.KokusoButton->click();
    auto* picker = m.Forms().cardSelForm;
    picker->PlaceBox->setCurrentIndex(room);
    picker->HumanBox->setCurrentIndex(person);
    picker->WeaponBox->setCurrentIndex(weapon);
    picker->OkBtn->click();
  }
  int shown = 0;
};

TEST_F(GameE2E, ThreePlayWholeGameLoseAndWin) {
  Client& a = NewClient("ga", "anna");
  ASSERT_TRUE(a.LogIn());
  Client& b = NewClient("gb", "ben");
  ASSERT_TRUE(b.LogIn());
  Client& c = NewClient("gc", "cleo");
  ASSERT_TRUE(c.LogIn());
  ASSERT_TRUE(WaitFor([&] { return a.Main().Game.PlayerCount() == 3; }));
  a.Main().Game.SetCpuCount(0);
  a.Main().StartButton->click();  // seat fillers, then the game
  ASSERT_TRUE(WaitFor([&] {
    for (auto& cl : clients)
      if (cl->Main().Game.State() != client::gsIdle || cl->Main().Game.LocalUser().hand.CardCount() != 6) return false;
    return true;
  }));
  // The solution: the three cards nobody holds.
  bool held[40] = {};
  for (auto& cl : clients)
    for (int i = 0; i < 6; ++i) held[cl->Main().Game.LocalUser().hand.CardAt(i).WireCode()] = true;
  int solution[4] = {-1, -1, -1, -1};
  for (int code = 10; code < 39; ++code)
    if (client::ValidCardCode(code) && !held[code]) solution[code / 10] = code % 10;
  ASSERT_GE(solution[1], 0);
  ASSERT_GE(solution[2], 0);
  ASSERT_GE(solution[3], 0);

  // Anna accuses with a card of her own in it: wrong, she is out.
  TKestClientForm& am = a.Main();
  ASSERT_TRUE(WaitFor([&] { return MyTurn(am); }));
  kest::TCard own = am.Game.LocalUser().hand.CardAt(0);  // a room: the hand is sorted rooms first
  ASSERT_EQ(own.Mark(), 3);
  Accuse(am, own.Index(), solution[1], solution[2]);
  ASSERT_TRUE(WaitFor([&] { return am.OutButton->isEnabled() && !am.KokusoButton->isEnabled() &&
                                   am.Game.State() == client::gsKokusoCards && !am.KestTimer->isActive(); },
                      15000))
      << int(am.Game.State()) << " out " << am.OutButton->isEnabled() << " kokuso " << am.KokusoButton->isEnabled()
      << " timer " << am.KestTimer->isActive() << " msg " << plat::SjisToUtf8(am.Game.MessageLine());
  am.OutButton->click();  // TURNEND2: the others confirm

  // Ben walks to the dining room, cleo walks about, until ben is inside.
  TKestClientForm& bm = b.Main();
  TKestClientForm& cm = c.Main();
  for (int turn = 0; turn < 12 && bm.Game.Walk().place == 0; ++turn) {
    ASSERT_TRUE(WaitFor([&] { return MyTurn(bm) || MyTurn(cm); }, 60000)) << "turn " << turn << Dump(am) << Dump(bm) << Dump(cm);
    TKestClientForm& m = MyTurn(bm) ? bm : cm;
    ASSERT_TRUE(RollAndWalk(m, 2));
    if (&m == &bm && bm.Game.Walk().place != 0) break;
    m.OutButton->click();
  }
  ASSERT_EQ(bm.Game.Walk().place, 3);
  ASSERT_TRUE(WaitFor([&] { return bm.SuiriButton->isEnabled(); }));
  bm.SuiriButton->click();
  auto* picker = bm.Forms().cardSelForm;
  ASSERT_TRUE(picker->isVisible());
  picker->HumanBox->setCurrentIndex(solution[1]);
  picker->WeaponBox->setCurrentIndex(solution[2]);
  picker->OkBtn->click();
  ASSERT_TRUE(WaitFor([&] { return bm.OutButton->isEnabled() && bm.Game.State() == client::gsIdle; }, 60000));
  EXPECT_GE(shown, 1);
  EXPECT_TRUE(bm.Game.ViewShown());
  bm.OutButton->click();

  // Cleo accuses rightly and wins.
  ASSERT_TRUE(WaitFor([&] { return MyTurn(cm); }, 60000));
  Accuse(cm, solution[3], solution[1], solution[2]);
  ASSERT_TRUE(WaitFor([&] {
    for (auto& cl : clients)
      if (!cl->Main().Forms().kekkaForm->isVisible()) return false;
    return true;
  }, 60000));
  for (auto& cl : clients) {
    EXPECT_EQ(cl->Main().Game.State(), client::gsNoGame);
    auto* k = cl->Main().Forms().kekkaForm;
    EXPECT_EQ(client::S(k->MsgLabel->text()).substr(0, 4), "cleo");
    EXPECT_EQ(k->Pictures[0]->Number, solution[3]);
    k->OKButton->click();
    EXPECT_FALSE(k->isVisible());
  }
  EXPECT_FALSE(am.StartButton->isHidden());  // the host may start again
  EXPECT_TRUE(bm.StartButton->isHidden());
  // The table is back: the fillers are gone after CLEARNPC.
  ASSERT_TRUE(WaitFor([&] { return am.Game.PlayerCount() == 3; }));
}

}  // namespace
