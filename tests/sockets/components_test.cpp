// Line and packet components over loopback TCP, with the Qt event loop.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "SocketComponents.h"
#include "../plat/TestLoop.h"

using namespace kest;
using plat::TObject;
using testloop::PumpFor;
using plat_test::ReportedErrors;
using testloop::WaitUntil;

namespace {

using Lines = std::vector<std::string>;

// A line client that records what it sees, connected to a local port.
struct Client {
  explicit Client(int port, bool connect = true) {
    socket.Address = "127.0.0.1";
    socket.Port = port;
    socket.OnConnect = [this](TObject*, TCustomWinSocket*) {
      log.push_back("connect");
      connected = true;
    };
    socket.OnDisconnect = [this](TObject*, TCustomWinSocket*) {
      log.push_back("disconnect");
      connected = false;
    };
    socket.OnError = [this](TObject*, TCustomWinSocket*, plat::TErrorEvent, int& code) {
      log.push_back("error");
      code = 0;
    };
    socket.OnLineArrived = [this](TObject*, TCustomWinSocket*, const std::string& l) {
      lines.push_back(l);
      log.push_back("line " + l);
    };
    if (connect) socket.SetActive(true);
  }
  TLineClientSocket socket;
  Lines lines;
  Lines log;
  bool connected = false;
};

// A line server on a free port that records its events.
struct Server {
  Server() {
    socket.OnClientConnect = [this](TObject*, TCustomWinSocket* s) {
      log.push_back("connect");
      peers.push_back(s);
    };
    socket.OnClientDisconnect = [this](TObject*, TCustomWinSocket* s) {
      log.push_back("disconnect");
      std::erase(peers, s);
    };
    socket.OnClientError = [this](TObject*, TCustomWinSocket*, plat::TErrorEvent, int& code) {
      log.push_back("error");
      code = 0;
    };
    socket.OnLineArrived = [this](TObject*, TCustomWinSocket*, const std::string& l) {
      lines.push_back(l);
      log.push_back("line " + l);
    };
    socket.SetActive(true);
  }
  int Port() const { return socket.LocalPort(); }
  TLineServerSocket socket;
  std::vector<TCustomWinSocket*> peers;
  Lines lines;
  Lines log;
};

}  // namespace

TEST(LineComponents, EchoWithSeveralClients) {
  Server server;
  server.socket.OnLineArrived = [&](TObject*, TCustomWinSocket* s, const std::string& l) {
    server.socket.Send(s, "echo " + l);
  };
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < 4; ++i) clients.push_back(std::make_unique<Client>(server.Port()));
  ASSERT_TRUE(WaitUntil([&] {
    for (auto& c : clients)
      if (!c->connected) return false;
    return server.peers.size() == 4;
  }));
  Lines expected[4];
  for (int n = 0; n < 50; ++n)
    for (int i = 0; i < 4; ++i) {
      const std::string line = std::to_string(i) + ":" + std::to_string(n) + " \x83\x5c";
      clients[i]->socket.Send(line);
      expected[i].push_back("echo " + line);
    }
  ASSERT_TRUE(WaitUntil([&] {
    for (auto& c : clients)
      if (c->lines.size() < 50) return false;
    return true;
  }));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(clients[i]->lines, expected[i]);

  // Each connection is also a player-record connection.
  for (TCustomWinSocket* s : server.peers) {
    auto* record = dynamic_cast<TUserConnection*>(s);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(dynamic_cast<TCustomWinSocket*>(record), s);
  }
  server.socket.SendToAllExcept("all but 0", server.peers[0]);
  server.socket.SendToAll("all");
  ASSERT_TRUE(WaitUntil([&] { return clients[0]->lines.size() == 51 && clients[3]->lines.size() == 52; }));
}

TEST(LineComponents, SendInsideOnConnectArrives) {
  Server server;
  Client client(server.Port(), false);
  client.socket.OnConnect = [&](TObject*, TCustomWinSocket*) { client.socket.Send("LOGIN 0"); };
  client.socket.SetActive(true);
  ASSERT_TRUE(WaitUntil([&] { return !server.lines.empty(); }));
  EXPECT_EQ(server.lines, Lines{"LOGIN 0"});
}

TEST(LineComponents, LocalhostReachesIPv4Listener) {
  Server server;
  Client client(server.Port(), false);
  client.socket.Address.clear();
  client.socket.Host = "localhost";
  client.socket.SetActive(true);
  ASSERT_TRUE(WaitUntil([&] { return client.connected; }));
  EXPECT_EQ(client.socket.Socket()->RemoteAddress(), "127.0.0.1");
}

// The client's own handlers run before its engine acts; on the server the
// engine acts first, so the last unterminated line precedes the disconnect.
TEST(LineComponents, EventOrderAtDisconnect) {
  Server server;
  Client client(server.Port());
  ASSERT_TRUE(WaitUntil([&] { return client.connected && server.peers.size() == 1; }));
  client.socket.Socket()->SendText("last words");
  client.socket.Socket()->Close();
  ASSERT_TRUE(WaitUntil([&] { return server.peers.empty(); }));
  EXPECT_EQ(server.log, (Lines{"connect", "line last words", "disconnect"}));

  Client second(server.Port());
  ASSERT_TRUE(WaitUntil([&] { return second.connected && server.peers.size() == 1; }));
  server.peers[0]->SendText("partial");
  server.peers[0]->Close();
  ASSERT_TRUE(WaitUntil([&] { return !second.connected; }));
  EXPECT_EQ(second.log, (Lines{"connect", "disconnect", "line partial"}));
}

TEST(LineComponents, TenMegabytesThroughASmallSendBuffer) {
  Server server;
  Client client(server.Port(), false);
  const int kLines = 100000;
  client.socket.OnConnect = [&](TObject*, TCustomWinSocket* s) {
    const int small = 65536;  // the kernel doubles it; far below 10 MB
    setsockopt(s->SocketHandle(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    for (int i = 0; i < kLines; ++i) {
      std::string line = std::to_string(i);
      line.resize(98, '.');
      client.socket.Send(line);
    }
  };
  client.socket.SetActive(true);
  ASSERT_TRUE(WaitUntil([&] { return server.lines.size() == kLines; }, 60000));
  for (int i = 0; i < kLines; ++i) {
    std::string expected = std::to_string(i);
    expected.resize(98, '.');
    ASSERT_EQ(server.lines[i], expected);
  }
}

// A handler that pumps the loop receives the lines that arrive meanwhile
// (nested), each once and in order.
TEST(LineComponents, LinesArrivingWhileAHandlerPumps) {
  Server server;
  Client client(server.Port());
  ASSERT_TRUE(WaitUntil([&] { return client.connected && server.peers.size() == 1; }));
  Lines started;
  client.socket.OnLineArrived = [&](TObject*, TCustomWinSocket*, const std::string& l) {
    started.push_back(l);
    if (l == "1") {
      server.socket.Send(server.peers[0], "2");
      server.socket.Send(server.peers[0], "3");
      WaitUntil([&] { return started.size() >= 3; }, 3000);
    }
  };
  server.socket.Send(server.peers[0], "1");
  ASSERT_TRUE(WaitUntil([&] { return started.size() >= 3; }));
  server.socket.Send(server.peers[0], "4");
  ASSERT_TRUE(WaitUntil([&] { return started.size() >= 4; }));
  PumpFor(50);
  EXPECT_EQ(started, (Lines{"1", "2", "3", "4"}));
}

TEST(LineComponents, DestroyingServerCallsNoLineHandler) {
  auto server = std::make_unique<Server>();
  Client a(server->Port()), b(server->Port());
  ASSERT_TRUE(WaitUntil([&] { return a.connected && b.connected && server->peers.size() == 2; }));
  a.socket.Socket()->SendText("whole\r\npartial");
  b.socket.Socket()->SendText("partial too");
  ASSERT_TRUE(WaitUntil([&] { return server->lines.size() == 1; }));
  PumpFor(50);  // the unterminated rests now wait in the server's buffers
  Lines* lines = &server->lines;
  int linesAfter = 0;
  server->socket.OnLineArrived = [&](TObject*, TCustomWinSocket*, const std::string&) { ++linesAfter; };
  server.reset();
  (void)lines;
  EXPECT_EQ(linesAfter, 0);
  ASSERT_TRUE(WaitUntil([&] { return !a.connected && !b.connected; }));
}

TEST(LineComponents, SwitchingServerOffClosesEveryConnection) {
  Server server;
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < 3; ++i) clients.push_back(std::make_unique<Client>(server.Port()));
  ASSERT_TRUE(WaitUntil([&] { return server.peers.size() == 3; }));
  server.socket.SetActive(false);
  EXPECT_FALSE(server.socket.Active());
  EXPECT_EQ(std::count(server.log.begin(), server.log.end(), "disconnect"), 3);
  EXPECT_EQ(server.socket.ClientCount(), 0);
  ASSERT_TRUE(WaitUntil([&] {
    for (auto& c : clients)
      if (c->connected) return false;
    return true;
  }));
  // It can listen again.
  server.socket.Port = 0;
  server.socket.SetActive(true);
  Client again(server.Port());
  ASSERT_TRUE(WaitUntil([&] { return again.connected; }));
}

TEST(LineComponents, MaxRecvSizeAppliesToOpenAndLaterConnections) {
  ReportedErrors errors;
  Server server;
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < 3; ++i) clients.push_back(std::make_unique<Client>(server.Port()));
  ASSERT_TRUE(WaitUntil([&] { return server.peers.size() == 3; }));
  server.socket.SetMaxRecvSize(16);
  Client later(server.Port());
  ASSERT_TRUE(WaitUntil([&] { return server.peers.size() == 4; }));
  for (TCustomWinSocket* s : server.peers)
    EXPECT_EQ(dynamic_cast<TCustomPacketServerClientWinSocket*>(s)->MaxRecvSize(), 16);
  later.socket.Send(std::string(40, 'z'));
  ASSERT_TRUE(WaitUntil([&] { return !later.connected && server.peers.size() == 3; }));
  ASSERT_EQ(errors.messages.size(), 1u);
  EXPECT_NE(errors.messages[0].find("MaxRecvSize"), std::string::npos);
  EXPECT_TRUE(server.lines.empty());
}

// After a refused login the client closes and opens again from inside its
// line handler; only the new connection's lines arrive.
TEST(LineComponents, ClientReactivatedInsideItsLineHandler) {
  Server server;
  int greeted = 0;
  server.socket.OnClientConnect = [&](TObject*, TCustomWinSocket* s) {
    ++greeted;
    server.peers.push_back(s);
    const std::string n = std::to_string(greeted);
    server.socket.Send(s, "HELLO " + n);
    server.socket.Send(s, "MORE " + n);
  };
  Client client(server.Port(), false);
  client.socket.OnLineArrived = [&](TObject*, TCustomWinSocket*, const std::string& l) {
    client.lines.push_back(l);
    if (l == "HELLO 1") {
      client.socket.SetActive(false);
      client.socket.SetActive(true);
    }
  };
  client.socket.SetActive(true);
  ASSERT_TRUE(WaitUntil([&] { return client.lines.size() >= 3; }));
  PumpFor(50);
  EXPECT_EQ(client.lines, (Lines{"HELLO 1", "HELLO 2", "MORE 2"}));
}

TEST(LineComponents, RefusedConnectReportsLater) {
  // A port that was just free: listen, note it, close.
  int port;
  {
    Server probe;
    port = probe.Port();
  }
  Client client(port, false);
  client.socket.SetActive(true);
  EXPECT_TRUE(client.log.empty());  // nothing inside the call
  EXPECT_TRUE(client.socket.Active());
  ASSERT_TRUE(WaitUntil([&] { return client.log.size() >= 2; }));
  EXPECT_EQ(client.log, (Lines{"disconnect", "error"}));
  EXPECT_FALSE(client.socket.Active());

  // The error handler finds the connection closed and may try again.
  Server server;
  client.socket.OnError = [&](TObject*, TCustomWinSocket*, plat::TErrorEvent, int& code) {
    code = 0;
    client.log.push_back("error");
    client.socket.Port = server.Port();
    client.socket.SetActive(true);
  };
  client.socket.SetActive(true);
  ASSERT_TRUE(WaitUntil([&] { return client.connected; }));
  EXPECT_EQ(client.log, (Lines{"disconnect", "error", "disconnect", "error", "connect"}));
  client.socket.SetActive(false);
  client.socket.Port = port;

  // With the code left set, the error reaches the reporter.
  ReportedErrors errors;
  client.socket.OnError = nullptr;
  client.socket.SetActive(true);
  ASSERT_TRUE(WaitUntil([&] { return !errors.messages.empty(); }));
  EXPECT_NE(errors.messages[0].find("connect"), std::string::npos);
}

TEST(LineComponents, HandlerExceptionsGoToTheReporter) {
  ReportedErrors errors;
  Server server;
  server.socket.OnLineArrived = [&](TObject*, TCustomWinSocket*, const std::string& l) {
    server.lines.push_back(l);
    if (l == "boom") throw std::runtime_error("handler failed");
  };
  server.socket.OnAccept = [](TObject*, TCustomWinSocket*) { throw std::runtime_error("accept failed"); };
  Client client(server.Port());
  ASSERT_TRUE(WaitUntil([&] { return client.connected && server.peers.size() == 1; }));
  EXPECT_EQ(errors.messages, Lines{"accept failed"});
  errors.messages.clear();
  client.socket.Send("boom");
  client.socket.Send("after");
  ASSERT_TRUE(WaitUntil([&] { return server.lines.size() == 2; }));
  EXPECT_EQ(errors.messages, Lines{"handler failed"});
  EXPECT_EQ(server.lines, (Lines{"boom", "after"}));
}

TEST(LineComponents, SetActiveWhileConnectedDoesNothing) {
  Server server;
  Client client(server.Port());
  ASSERT_TRUE(WaitUntil([&] { return client.connected && server.peers.size() == 1; }));
  client.socket.SetActive(true);
  PumpFor(50);
  EXPECT_EQ(client.log, Lines{"connect"});
  client.socket.SetActive(false);
  EXPECT_EQ(client.log, (Lines{"connect", "disconnect"}));
  ASSERT_TRUE(WaitUntil([&] { return server.peers.empty(); }));
}

// --- host dialog through OnGetDialogForm --------------------------------------

namespace {

class FakeForm : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString Host MEMBER host)
  Q_PROPERTY(int Port MEMBER port)
 public:
  Q_INVOKABLE int exec() {
    ++shown;
    if (result == 1) port = newPort;
    return result;
  }
  QString host;
  int port = -1;
  int result = 2;
  int newPort = 0;
  int shown = 0;
};

}  // namespace

TEST(LineComponents, HostDialogWhenTheAddressIsIncomplete) {
  Server server;
  FakeForm form;
  Client client(0, false);
  client.socket.OnGetDialogForm = [&](TObject*, QObject*& f) { f = &form; };

  client.socket.SetActive(true);  // port 0: asks, Cancel
  EXPECT_EQ(form.shown, 1);
  EXPECT_EQ(form.port, 0);
  EXPECT_EQ(form.host, "");
  EXPECT_FALSE(client.socket.Active());

  form.result = 1;
  form.newPort = server.Port();
  client.socket.SetActive(true);
  EXPECT_EQ(client.socket.Port, server.Port());
  ASSERT_TRUE(WaitUntil([&] { return client.connected; }));

  // A complete address needs no dialog, unless always asked for.
  client.socket.SetActive(false);
  client.socket.SetActive(true);
  EXPECT_EQ(form.shown, 2);
  client.socket.SetActive(false);
  client.socket.AlwaysShowDialog = true;
  form.result = 2;
  client.socket.SetActive(true);
  EXPECT_EQ(form.shown, 3);
  EXPECT_FALSE(client.socket.Active());

  // No form at all: nothing happens.
  client.socket.OnGetDialogForm = [&](TObject*, QObject*& f) { f = nullptr; };
  client.socket.SetActive(true);
  EXPECT_FALSE(client.socket.Active());
}

// --- packet components --------------------------------------------------------

TEST(PacketComponents, RoundTrip) {
  TPacketServerSocket server;
  std::vector<std::string> atServer;
  server.OnPacketArrived = [&](TObject*, TCustomWinSocket* s, const void* d, int32_t n) {
    atServer.emplace_back(static_cast<const char*>(d), static_cast<size_t>(n));
    server.Send(s, d, n);
  };
  server.SetActive(true);
  TPacketClientSocket client;
  client.Address = "127.0.0.1";
  client.Port = server.LocalPort();
  std::vector<std::string> back;
  client.OnPacketArrived = [&](TObject*, TCustomWinSocket*, const void* d, int32_t n) {
    back.emplace_back(static_cast<const char*>(d), static_cast<size_t>(n));
  };
  client.OnConnect = [&](TObject*, TCustomWinSocket*) {
    client.Send("one", 3);
    client.Send(nullptr, 0);
    client.PacketBegin().Write("two", 3);
    client.PacketEnd();
  };
  client.SetActive(true);
  ASSERT_TRUE(WaitUntil([&] { return back.size() == 3; }));
  EXPECT_EQ(atServer, (std::vector<std::string>{"one", "", "two"}));
  EXPECT_EQ(back, atServer);
}

#include "components_test.moc"
