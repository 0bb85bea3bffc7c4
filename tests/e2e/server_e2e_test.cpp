// The real server program, headless, against TCP clients: a seeded game
// with three players, a client that drops, the limit on the length of a
// line, the line client tool, and a port that cannot be opened.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DealReplay.h"
#include "Protocol.h"
#include "ServerE2E.h"
#include "WireClient.h"

extern char** environ;

using velmora::test::Deal;
using velmora::test::Lcg;
using velmora::test::ReplayDeal;
using velmora::test::ServerE2E;
using velmora::test::FreePort;
using velmora::test::TServerProcess;
using velmora::tools::TWireClient;
using velmora::tools::TWireLine;

namespace {

#define BS "\x08"
#define LOGGED_OUT "\x82\xaa\x83\x8d\x83\x4f\x83\x41\x83\x45\x83\x67\x82\xb5\x82\xdc\x82\xb5\x82\xbd"

std::string Codes(const char* word, int a, const std::array<int, 3>& s, int user, int extra = -1) {
  std::string t = std::string(word) + " " + std::to_string(a);
  for (int c : s) t += "," + std::to_string(c);
  if (extra >= 0) t += "," + std::to_string(extra);
  return t + ":" + std::to_string(user);
}

TEST_F(ServerE2E, SeededGameThenADroppedClient) {
  int ua = -1, ub = -1, uc = -1;
  auto alice = Client("Alice", &ua);
  auto bob = Client("Bob", &ub);
  auto carol = Client("Carol", &uc);
  ASSERT_EQ(ua, 0);
  ASSERT_EQ(ub, 1);
  ASSERT_EQ(uc, 2);
  for (auto [c, u] : {std::pair{alice.get(), ua}, {bob.get(), ub}, {carol.get(), uc}}) {
    c->SendCommand("CHROOM 1", u);
    EXPECT_EQ(Next(*c, "CHROOM", u).substr(0, 8), "CHROOM 1");
  }

  Lcg rng(kSeed);
  const Deal deal = ReplayDeal(rng, 3);
  alice->SendCommand("START 1,1", ua);
  const std::pair<TWireClient*, int> seats[] = {{alice.get(), ua}, {bob.get(), ub}, {carol.get(), uc}};
  for (int s = 0; s < 3; ++s) {
    auto [c, u] = seats[s];
    std::string card = "CARD 6";
    for (int code : deal.hands[size_t(s)]) card += "," + std::to_string(code);
    EXPECT_EQ(Next(*c, "START", u), "START 1,1:" + std::to_string(u));
    EXPECT_EQ(Next(*c, "CARD", u), card + ":" + std::to_string(u));
    EXPECT_EQ(Next(*c, "TURN", u), "TURN 0:" + std::to_string(u));
  }

  // Alice rolls and suggests the solution; Bob and Carol have nothing.
  alice->SendCommand("SAIKORO", ua);
  EXPECT_EQ(Next(*alice, "SAIKORO", ua), "SAIKORO " + std::to_string(rng.Next() % 6 + 1) + ":0");
  const auto& sol = deal.solution;
  const std::string triple =
      std::to_string(sol[2] % 10) + "," + std::to_string(sol[0] % 10) + "," + std::to_string(sol[1] % 10);
  alice->SendCommand("SUIRI " + triple, ua);
  for (auto [c, u] : {std::pair{bob.get(), ub}, {carol.get(), uc}}) {
    const int seat = u;  // users 0-2 sit in seats 0-2
    const std::string wait = "SHOWWAIT " + std::to_string(seat) + ":" + std::to_string(u);
    EXPECT_TRUE(c->WaitFor([&](const TWireLine& l) { return l.text == wait; }, kWaitMs)) << wait;
    c->SendCommand("SHOWCHECK", u);
    EXPECT_EQ(Next(*c, "SHOWSEL", u), "SHOWSEL 0:" + std::to_string(u));
    c->SendCommand("SHOW NO", u);
    EXPECT_EQ(Next(*alice, "SHOWC", ua), "SHOWC NO," + std::to_string(seat) + ":0");
  }
  EXPECT_EQ(Next(*alice, "SUIRIEND", ua), "SUIRIEND:0");

  // The turn-end handshake: both other humans confirm.
  alice->SendCommand("TURNEND2", ua);
  for (auto [c, u] : {std::pair{bob.get(), ub}, {carol.get(), uc}}) {
    EXPECT_EQ(Next(*c, "TURNEND2", u), "TURNEND2:" + std::to_string(u));
    c->SendCommand("CONFIRM", u);
  }
  EXPECT_EQ(Next(*bob, "TURN", ub), "TURN 1:1");

  // Bob accuses wrongly (one of his own cards), Carol rightly.
  const int own = deal.hands[1][0];
  std::array<int, 3> wrong = sol;
  for (int& c : wrong)
    if (c / 10 == own / 10) c = own;
  bob->SendCommand("KOKUSO " + std::to_string(wrong[2] % 10) + "," + std::to_string(wrong[0] % 10) + "," +
                       std::to_string(wrong[1] % 10),
                   ub);
  EXPECT_EQ(Next(*bob, "KOKUSO", ub), Codes("KOKUSO", sol[0], {sol[1], sol[2], 0}, ub));
  bob->SendCommand("KOKUSOEND 0", ub);
  EXPECT_EQ(Next(*carol, "LOSE", uc), "LOSE 1:2");
  bob->SendCommand("TURNEND", ub);
  EXPECT_EQ(Next(*carol, "TURN", uc), "TURN 2:2");
  carol->SendCommand("KOKUSO " + triple, uc);
  EXPECT_EQ(Next(*carol, "KOKUSO", uc), Codes("KOKUSO", sol[0], {sol[1], sol[2], 1}, uc));
  carol->SendCommand("KOKUSOEND 1", uc);
  EXPECT_EQ(Next(*alice, "WIN", ua), Codes("WIN", 2, sol, ua));

  // Bob's client goes away: the others hear BYE and the logout text.
  bob->Close();
  for (auto [c, u] : {std::pair{alice.get(), ua}, {carol.get(), uc}}) {
    EXPECT_EQ(Next(*c, "BYE", u), "BYE " BS "Bob" BS ":" + std::to_string(u));
    EXPECT_EQ(Next(*c, "PRINT", u), "PRINT " BS "Bob" LOGGED_OUT BS ":" + std::to_string(u));
  }
}

// A line past 64 KiB closes the connection, whether its end has arrived or
// not; a burst of many complete short lines does not.
TEST_F(ServerE2E, LongLineClosesTheConnection) {
  TWireClient burst;
  ASSERT_TRUE(burst.Connect("127.0.0.1", port_, kWaitMs));
  std::string lines;
  while (lines.size() < 300 * 1024) lines += "RUSER 0:7\r\r\n";
  ASSERT_TRUE(burst.SendRaw(lines));
  burst.SendCommand(kest::proto::CmdLogin("Burst", "f"), 0);
  EXPECT_TRUE(burst.WaitWord("LOGIN", 0, 10000).has_value());

  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"unterminated", std::string(70 * 1024, 'x')},
      {"complete", std::string(2 * 1024 * 1024, 'x') + "\r\n"},
      {"a long word with arguments", "CHAT 0,\x08" + std::string(65 * 1024, 'y') + "\x08:1\r\r\n"},
  };
  for (const auto& c : cases) {
    TWireClient flood;
    ASSERT_TRUE(flood.Connect("127.0.0.1", port_, kWaitMs));
    flood.SendCommand(kest::proto::CmdLogin("Flood", "f"), 0);
    ASSERT_TRUE(flood.WaitWord("LOGIN", 1, kWaitMs).has_value()) << c.name;
    flood.SendRaw(c.bytes);
    // The server closes: reads end within the wait.
    auto line = flood.WaitFor([](const TWireLine&) { return false; }, 10000);
    EXPECT_FALSE(line.has_value()) << c.name;
    EXPECT_TRUE(flood.PeerClosed()) << c.name;
    // And the flood's user is gone: the other client hears it leave the
    // lobby, and nothing of the long line before that.
    std::vector<std::string> before;
    EXPECT_TRUE(burst.WaitFor([](const TWireLine& l) { return l.word == "BYE"; }, kWaitMs, &before)) << c.name;
    for (const auto& l : before) EXPECT_LT(l.size(), 1000u) << c.name;
  }
}

TEST_F(ServerE2E, LineClientTalksToTheServer) {
  const std::string cmd = "printf 'LOGIN \\\\bDan\\\\b,\\\\bface\\\\b:0\\n' | " VELMORA_LINECLI_PATH " --port " +
                          std::to_string(port_) + " --wait 1500";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof(buf), p)) > 0;) out.append(buf, n);
  EXPECT_EQ(::pclose(p), 0);
  EXPECT_NE(out.find("LOGIN:0\n"), std::string::npos) << out;
  EXPECT_NE(out.find("ADDUSER \\bDan\\b,0,\\bface\\b,0,0:0\n"), std::string::npos) << out;
  EXPECT_NE(out.find("ROOM 10,0,0:0\n"), std::string::npos) << out;
}

// The refusal of a name in use goes out as it stands: no user number, no LF.
TEST_F(ServerE2E, SameNameRefusalIsRaw) {
  int ua = -1;
  auto alice = Client("Alice", &ua);
  TWireClient again;
  ASSERT_TRUE(again.Connect("127.0.0.1", port_, kWaitMs));
  again.SendCommand(kest::proto::CmdLogin("Alice", "f"), 0);
  std::string got;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (got.size() < 13 && std::chrono::steady_clock::now() < end) {
    pollfd p{again.Fd(), POLLIN, 0};
    if (::poll(&p, 1, 100) != 1) continue;
    char buf[64];
    const ssize_t n = ::recv(again.Fd(), buf, sizeof(buf), 0);
    if (n <= 0) break;
    got.append(buf, size_t(n));
  }
  // Nothing follows it.
  pollfd p{again.Fd(), POLLIN, 0};
  if (::poll(&p, 1, 300) == 1) {
    char buf[64];
    const ssize_t n = ::recv(again.Fd(), buf, sizeof(buf), 0);
    if (n > 0) got.append(buf, size_t(n));
  }
  EXPECT_EQ(got, "ERR SAMENAME\r");
}

TEST_F(ServerE2E, PortInUseEndsTheProgram) {
  TServerProcess second(port_, SeedEnv());
  EXPECT_EQ(second.WaitExit(10000), 1);
}

}  // namespace
