// The client (in this process, over its real socket connection) against a
// server that stands in for the real one on the same event loop: it answers
// the client's lines with lines chosen by the test and drops the connection
// when the test says so.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <fstream>
#include <memory>

#include "CardSelForm.h"
#include "ClientApp.h"
#include "ClientTestUtil.h"
#include "EventLoop.h"
#include "LoginDialog.h"
#include "MessageBox.h"
#include "ScriptHost.h"
#include "SocketComponents.h"
#include "SocketConnection.h"

namespace {

using plat::TCustomWinSocket;
using plat::TObject;

const std::string BS = "\x08";

// Each connection's lines as received (the empty line after each command
// left out); a reply is sent on the connection a line came on.
class StandInServer {
 public:
  // Called for each line that arrives: connection number (0 the first), line.
  std::function<void(int, const std::string&)> onLine;

  StandInServer() {
    socket_.Port = 0;
    socket_.OnClientConnect = [this](TObject*, TCustomWinSocket* s) {
      peers_.push_back(s);
      received.emplace_back();
      open.push_back(true);
    };
    socket_.OnClientDisconnect = [this](TObject*, TCustomWinSocket* s) {
      int i = Index(s);
      if (i >= 0) open[size_t(i)] = false, peers_[size_t(i)] = nullptr;
    };
    socket_.OnClientError = [](TObject*, TCustomWinSocket*, plat::TErrorEvent, int& code) { code = 0; };
    socket_.OnLineArrived = [this](TObject*, TCustomWinSocket* s, const std::string& line) {
      int i = Index(s);
      if (i < 0 || line.empty()) return;
      received[size_t(i)].push_back(line);
      if (onLine) onLine(i, line);
    };
    socket_.SetActive(true);
  }
  int Port() const { return socket_.LocalPort(); }
  void Send(int conn, const std::string& line) {
    if (TCustomWinSocket* s = peers_[size_t(conn)]) socket_.Send(s, line);
  }
  // The server closes the connection from its side.
  void Drop(int conn) {
    if (TCustomWinSocket* s = peers_[size_t(conn)]) s->Close();
  }
  int Connections() const { return int(peers_.size()); }

  std::vector<std::vector<std::string>> received;
  std::vector<bool> open;

 private:
  int Index(TCustomWinSocket* s) const {
    auto it = std::find(peers_.begin(), peers_.end(), s);
    return it == peers_.end() ? -1 : int(it - peers_.begin());
  }
  kest::TLineServerSocket socket_;
  std::vector<TCustomWinSocket*> peers_;
};

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

class StandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    clienttest::App();
    plat::SetMessageBoxHandler([this](const plat::TMessageBoxRequest& r) {
      boxes.push_back(r.text);
      return plat::idOK;
    });
    home = std::make_unique<clienttest::HomeDir>("standin");
    home->Face("face_a");
    home->Face("unknown", qRgb(90, 90, 90));
    home->Ini("[Server]\nIPADDR=127.0.0.1\nPORT=" + std::to_string(server.Port()) + "\n[User]\nNAME=anna\n");
  }
  void TearDown() override {
    app.reset();
    plat::SetMessageBoxHandler(nullptr);
  }
  // The computer players' script (every seat's).
  void Script(const std::string& body) {
    std::ofstream(home->path / "npc" / "default.sc")
        << "#include game\nint gMyIndex;\nint gMyUserId;\nvoid OnTurn() { }\n"
           "void OnOtherSuiriCheck(int a, int b, int c) { }\n"
        << body
        << "\nexport gMyIndex;\nexport gMyUserId;\nexport OnTurn;\nexport OnOtherSuiriCheck;\n";
  }
  void NewApp() {
    client::TKestClientForm::Devices d;
    d.connection = client::CreateSocketConnection();
    app = std::make_unique<client::TClientApp>(std::move(d));
    Main().RunModal = [this](QDialog& dlg) {
      if (!dynamic_cast<client::TLoginDialog*>(&dlg)) return 2;
      ++dialogs;
      if (onDialog) onDialog();
      return 1;
    };
  }
  client::TKestClientForm& Main() { return app->Main(); }
  // The login and the room: the server's usual answers, for user number id.
  void Answer(int conn, const std::string& line, int id) {
    if (StartsWith(line, "LOGIN ")) server.Send(conn, "LOGIN:" + std::to_string(id));
    if (line == "CHROOM 1:" + std::to_string(id)) {
      server.Send(conn, "CHROOM 1," + BS + "anna" + BS + ":" + std::to_string(id));
      server.Send(conn, "ADDUSER " + BS + "anna" + BS + ",1," + BS + "face_a" + BS + "," + std::to_string(id) +
                            ",0:" + std::to_string(id));
    }
  }
  // What the test saw, for a failure's message.
  std::string Trace() const {
    std::string t = "dialogs " + std::to_string(dialogs) + ", boxes " + std::to_string(boxes.size());
    for (size_t c = 0; c < server.received.size(); ++c) {
      t += "\nconnection " + std::to_string(c) + (server.open[c] ? " open:" : " closed:");
      for (const std::string& l : server.received[c]) t += " [" + l + "]";
    }
    return t;
  }
  bool WaitFor(const std::function<bool()>& pred) { return testloop::WaitUntil(pred, 20000); }

  StandInServer server;
  std::unique_ptr<clienttest::HomeDir> home;
  std::unique_ptr<client::TClientApp> app;
  std::vector<std::string> boxes;
  int dialogs = 0;
  std::function<void()> onDialog;
};

// The connection drops while a computer player's script holds the old
// session's lines back (its refusal of a name, a BYE, the own room change):
// none of them may act on the next login. Login again sends LOGIN, and the
// new session works.
TEST_F(StandIn, ALostSessionsLinesAndScriptsDoNotReachTheNextLogin) {
  Script("void OnInit() { chat(\"ready\"); wait(150); }\nexport OnInit;");
  NewApp();
  bool scriptsAtDialog = false;
  onDialog = [&] { scriptsAtDialog = scriptsAtDialog || Main().ScriptHost()->RunningMask() != 0; };
  server.onLine = [&](int conn, const std::string& line) {
    if (conn == 0) {
      Answer(0, line, 5);
      if (line == "CHROOM 1:5") {
        // A computer player in seat 1, a game, and its cards: its script waits.
        server.Send(0, "ADDUSER " + BS + "cpu" + BS + ",1," + BS + "f" + BS + ",6,1:5");
        server.Send(0, "START 1,0:5");
        server.Send(0, "CARD 3,12,21,35:5");
        server.Send(0, "CARD 3,13,22,36:6");
      }
      if (StartsWith(line, "CHAT ")) {  // the script runs and holds what follows
        server.Send(0, "ERR SAMENAME");
        server.Send(0, "BYE " + BS + "cpu" + BS + ":5");
        server.Send(0, "CHROOM 0," + BS + "anna" + BS + ":5");
        server.Drop(0);
      }
    } else {
      Answer(conn, line, 9);
    }
  };
  Main().ShowConnectDialog();
  ASSERT_TRUE(WaitFor([&] { return server.Connections() == 1 && !server.open[0]; }));
  ASSERT_TRUE(WaitFor([&] {
    return Main().Game.MyUserId() == 9 && Main().Game.LocalUser().GetRoom() == 1 && Main().Game.PlayerCount() == 1;
  })) << Trace();
  EXPECT_FALSE(scriptsAtDialog);  // the dialog opened after the wait for scripts
  EXPECT_EQ(Main().ScriptHost()->RunningMask(), 0);
  EXPECT_EQ(dialogs, 2);
  EXPECT_TRUE(boxes.empty()) << boxes.front();
  ASSERT_EQ(server.Connections(), 2);
  EXPECT_TRUE(server.open[1]);
  ASSERT_FALSE(server.received[1].empty());
  EXPECT_TRUE(StartsWith(server.received[1][0], "LOGIN " + BS + "anna" + BS)) << server.received[1][0];
  EXPECT_EQ(Main().Game.State(), client::gsNoGame);
  EXPECT_FALSE(Main().StartButton->isHidden());  // the host of the new table
}

// A server that answers the own suggestion with the shown card and no
// SUIRIEND: the secret passage taken after it gives 推理 no second use in
// the turn.
TEST_F(StandIn, NoSecondSuggestionAfterThePassage) {
  NewApp();
  server.onLine = [&](int conn, const std::string& line) {
    Answer(conn, line, 5);
    if (line == "CHROOM 1:5") {
      server.Send(0, "ADDUSER " + BS + "bob" + BS + ",1," + BS + "f" + BS + ",6,0:5");
      for (const char* l : {"START 1,0:5", "CARD 3,12,21,35:5", "TURN 0:5", "INROOM 0,1,0:5", "TURN 1:5", "TURN 0:5"})
        server.Send(0, l);
    }
    if (StartsWith(line, "SUIRISTART ")) server.Send(0, "SUIRISTART 0,1:5");
    if (StartsWith(line, "SUIRI ")) {
      server.Send(0, "SUIRI 0,1,2,3:5");
      server.Send(0, "SHOWC 1,22:5");
    }
    if (StartsWith(line, "INROOM 5,0")) server.Send(0, "INROOM 0,5,0:5");
  };
  Main().ShowConnectDialog();
  ASSERT_TRUE(WaitFor([&] { return Main().SuiriButton->isEnabled() && Main().Game.Walk().place == 2; })) << Trace();
  Main().SuiriButton->click();
  client::TCardSelForm* picker = Main().Forms().cardSelForm;
  ASSERT_TRUE(WaitFor([&] { return picker->isVisible(); })) << Trace();
  picker->OkBtn->click();
  // The shown card gives the buttons back: the passage, not 推理.
  ASSERT_TRUE(WaitFor([&] { return Main().OutButton->isEnabled() && Main().StartButton->isEnabled(); })) << Trace();
  EXPECT_FALSE(Main().SuiriButton->isEnabled());
  Main().StartButton->click();
  ASSERT_TRUE(WaitFor([&] { return Main().Game.Seats()[0].GetPlace() == 6; })) << Trace();
  EXPECT_FALSE(Main().SuiriButton->isEnabled());
  Main().SuiriButton->click();
  testloop::Drain();
  const std::vector<std::string>& got = server.received[0];
  EXPECT_EQ(std::count_if(got.begin(), got.end(), [](const std::string& l) { return StartsWith(l, "SUIRISTART"); }),
            1)
      << Trace();
}

}  // namespace
