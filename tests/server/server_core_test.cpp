// Login, lobby, room changes, chat, logout and the connection rules of the
// server core, driven through in-process connections.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "FakeServer.h"

using namespace kest;
using namespace kest::proto;
using namespace velmora;
using namespace velmora::test;

namespace {

#define BS "\x08"
#define LOGGED_OUT "\x82\xaa\x83\x8d\x83\x4f\x83\x41\x83\x45\x83\x67\x82\xb5\x82\xdc\x82\xb5\x82\xbd"

// The room status lines of a login: rooms 0-10, each to every lobby user in
// user-number order.
void RoomStatusOfLogin(TExpect& e, const std::vector<std::pair<std::string, int>>& lobby, int lobbyCount,
                       const std::vector<int>& gameCounts = {}) {
  for (int r = 0; r <= 10; ++r) {
    const int count = r == 0 ? lobbyCount : (size_t(r) < gameCounts.size() ? gameCounts[size_t(r)] : 0);
    e.Each(lobby, "ROOM " + std::to_string(r) + ",0," + std::to_string(count));
  }
}

class Lobby : public ServerFixture {};

TEST_F(Lobby, LoginRoomChangeChatLogoutTranscript) {
  TFakeConn* a = Connect("A");
  TFakeConn* b = Connect("B");

  // Alice logs in: LOGIN, the lobby's users (herself), nobody else to tell,
  // then the status of rooms 0-10.
  Cmd(a, CmdLogin("Alice", "fa"), 0);
  TExpect e1;
  e1.To("A", "LOGIN", 0).To("A", "ADDUSER " BS "Alice" BS ",0," BS "fa" BS ",0,0", 0);
  RoomStatusOfLogin(e1, {{"A", 0}}, 1);
  EXPECT_EQ(Take(), e1.lines);

  Cmd(b, CmdLogin("Bob", "fb"), 0);
  TExpect e2;
  e2.To("B", "LOGIN", 1)
      .To("B", "ADDUSER " BS "Alice" BS ",0," BS "fa" BS ",0,0", 1)
      .To("B", "ADDUSER " BS "Bob" BS ",0," BS "fb" BS ",1,0", 1)
      .To("A", "ADDUSER " BS "Bob" BS ",0," BS "fb" BS ",1,0", 0);
  RoomStatusOfLogin(e2, {{"A", 0}, {"B", 1}}, 2);
  EXPECT_EQ(Take(), e2.lines);

  // Alice enters room 1.
  Cmd(a, "CHROOM 1", 0);
  EXPECT_EQ(Take(), TExpect()
                        .To("A", "CHROOM 1," BS "Alice" BS, 0)
                        .To("B", "REMOVEUSER " BS "Alice" BS, 1)
                        .To("A", "ADDUSER " BS "Alice" BS ",1," BS "fa" BS ",0,0", 0)
                        .To("B", "ROOM 0,0,1", 1)
                        .To("B", "ROOM 1,0,1", 1)
                        .lines);

  // Bob follows: he learns both seats, Alice learns of him.
  Cmd(b, "CHROOM 1", 1);
  EXPECT_EQ(Take(), TExpect()
                        .To("B", "CHROOM 1," BS "Bob" BS, 1)
                        .To("B", "ADDUSER " BS "Alice" BS ",1," BS "fa" BS ",0,0", 1)
                        .To("B", "ADDUSER " BS "Bob" BS ",1," BS "fb" BS ",1,0", 1)
                        .To("A", "ADDUSER " BS "Bob" BS ",1," BS "fb" BS ",1,0", 0)
                        .lines);

  // Chat goes to the room named in the line.
  Cmd(a, CmdChat(1, "hello, world: 1"), 0);
  EXPECT_EQ(Take(), TExpect()
                        .To("A", "PRINT " BS "[Alice] hello, world: 1" BS, 0)
                        .To("B", "PRINT " BS "[Alice] hello, world: 1" BS, 1)
                        .lines);

  // Bob's connection closes: the room hears BYE and the logout text.
  core_.ClientDisconnect(b);
  EXPECT_EQ(Take(), TExpect()
                        .To("A", "BYE " BS "Bob" BS, 0)
                        .To("A", "PRINT " BS "Bob" LOGGED_OUT BS, 0)
                        .lines);
  EXPECT_EQ(core_.UserOf(1), nullptr);
  EXPECT_EQ(core_.Room(1).MemberCount(), 1);

  // Alice back to the lobby, now empty but for her.
  Cmd(a, "CHROOM 0", 0);
  EXPECT_EQ(Take(), TExpect()
                        .To("A", "CHROOM 0," BS "Alice" BS, 0)
                        .To("A", "ADDUSER " BS "Alice" BS ",0," BS "fa" BS ",0,0", 0)
                        .To("A", "ROOM 1,0,0", 0)
                        .To("A", "ROOM 0,0,1", 0)
                        .lines);
}

TEST_F(Lobby, RefusalsAndSlotReuse) {
  TFakeConn* a = Connect("A");
  TFakeConn* b = Connect("B");
  ASSERT_EQ(Login(a, "Alice"), 0);
  Skip();

  // Same name: the raw line and no slot.
  Cmd(b, CmdLogin("Alice", "x"), 0);
  EXPECT_EQ(Take(), TExpect().Raw("B", "ERR SAMENAME\r").lines);
  EXPECT_TRUE(LogHas("Error! Samename User"));
  // ADDCOM under a name in use adds nobody and marks nobody.
  Cmd(a, CmdAddCom(cmAddCom, "Alice", "cf", 3), 0);
  EXPECT_EQ(Take(), TExpect().Raw("A", "ERR SAMENAME\r").lines);
  EXPECT_FALSE(core_.UserOf(0)->HasFlags(ufComputer));
  EXPECT_EQ(core_.LoggedInCount(), 1);

  // Names that could not tell their users apart are refused as a name in
  // use is: 64 bytes or more (the record would keep an empty name), or
  // nothing but blanks and control bytes.
  const std::string names[] = {std::string(64, 'x'), std::string(300, 'y'), "", "   ", "\t \x01 "};
  for (const std::string& name : names) {
    Cmd(b, CmdLogin(name, "f"), 0);
    EXPECT_EQ(Take(), TExpect().Raw("B", "ERR SAMENAME\r").lines) << name.size();
  }
  Cmd(a, CmdAddCom(cmAddCom, std::string(64, 'z'), "cf", 3), 0);
  EXPECT_EQ(Take(), TExpect().Raw("A", "ERR SAMENAME\r").lines);
  EXPECT_EQ(core_.LoggedInCount(), 1);
  // A face goes out in every ADDUSER line and is held to a name's length.
  Cmd(b, CmdLogin("Bea", std::string(64, 'f')), 0);
  EXPECT_EQ(Take(), TExpect().Raw("B", "ERR SAMENAME\r").lines);
  for (const int command : {cmAddCom, cmAddCom2}) {
    Cmd(a, CmdAddCom(command, "Npc", std::string(65520, 'f'), 3), 0);
    EXPECT_EQ(Take(), TExpect().Raw("A", "ERR SAMENAME\r").lines);
  }
  EXPECT_EQ(core_.LoggedInCount(), 1);
  EXPECT_EQ(Login(b, std::string(63, 'x'), std::string(63, 'f')), 1);
  EXPECT_EQ(Login(Connect("b2"), " x "), 2);

  // Fill every slot, one person per connection; the 101st login is refused.
  for (int i = 3; i < 100; ++i) ASSERT_EQ(Login(Connect("u"), "u" + std::to_string(i)), i);
  Skip();
  Cmd(Connect("late"), CmdLogin("late", "f"), 0);
  EXPECT_EQ(Take(), TExpect().Raw("late", "ERR OVERUSER\r").lines);
  EXPECT_TRUE(LogHas("Error! Over User"));

  // After a logout the lowest free number is taken again.
  core_.ClientDisconnect(a);
  TFakeConn* c = Connect("C");
  EXPECT_EQ(Login(c, "Carol"), 0);
}

TEST_F(Lobby, ChangeRoomRefusals) {
  TFakeConn* a = Connect("A");
  TFakeConn* b = Connect("B");
  const int al = Login(a, "Alice"), bo = Login(b, "Bob");
  Skip();

  Cmd(a, "CHROOM 0", al);  // the room one is in
  EXPECT_EQ(Take(), TExpect().To("A", "ERR LOCKED\r", al).lines);

  Cmd(a, "CHROOM 2", al);
  Cmd(a, "ROOMLOCK", al);
  Skip();
  Cmd(b, "CHROOM 2", bo);
  EXPECT_EQ(Take(), TExpect().To("B", "ERR LOCKED\r", bo).lines);
  Cmd(a, "ROOMUNLOCK", al);
  Cmd(b, "CHROOM 2", bo);
  EXPECT_EQ(core_.Room(2).MemberCount(), 2);

  // A playing room and a full one refuse newcomers.
  Cmd(a, "START 0,0", al);
  TFakeConn* c = Connect("C");
  const int ca = Login(c, "Carol");
  Skip();
  Cmd(c, "CHROOM 2", ca);
  EXPECT_EQ(Take(), TExpect().To("C", "ERR LOCKED\r", ca).lines);

  TFakeConn* d = Connect("D");
  const int da = Login(d, "Dave");
  Cmd(d, "CHROOM 3", da);
  for (int i = 0; i < 5; ++i) {
    const int n = AddCom(d, da, "npc" + std::to_string(i));
    Cmd(d, "CHROOM 3", n);
  }
  ASSERT_EQ(core_.Room(3).MemberCount(), 6);
  Skip();
  Cmd(c, "CHROOM 3", ca);
  EXPECT_EQ(Take(), TExpect().To("C", "ERR LOCKED\r", ca).lines);
}

// A lock ends when the room empties, however its last member leaves.
TEST_F(Lobby, RoomLockEndsWhenTheRoomEmpties) {
  TFakeConn* b = Connect("B");
  const int bo = Login(b, "Bob");
  int room = 2;
  const struct {
    const char* how;
    bool withComputer;
    std::function<void(TFakeConn*, int)> leave;
  } cases[] = {
      {"the locker moves out", false, [&](TFakeConn* c, int u) { Cmd(c, "CHROOM 0", u); }},
      {"the locker's connection closes", false, [&](TFakeConn* c, int) { core_.ClientDisconnect(c); }},
      {"the locker moves out, its computer player with it", true,
       [&](TFakeConn* c, int u) { Cmd(c, "CHROOM 0", u); }},
  };
  for (const auto& k : cases) {
    TFakeConn* a = Connect("A");
    const int al = Login(a, "Alice" + std::to_string(room));
    const std::string to = "CHROOM " + std::to_string(room);
    Cmd(a, to, al);
    if (k.withComputer) Cmd(a, to, AddCom(a, al, "Cpu" + std::to_string(room)));
    Cmd(a, "ROOMLOCK", al);
    Cmd(b, to, bo);
    EXPECT_NE(core_.UserOf(bo)->GetRoom(), room) << k.how;
    k.leave(a, al);
    EXPECT_FALSE(core_.Room(room).IsLocked()) << k.how;
    Cmd(b, to, bo);
    EXPECT_EQ(core_.UserOf(bo)->GetRoom(), room) << k.how;
    Cmd(b, "CHROOM 0", bo);
    ++room;
  }
}

// One connection holds one person and the computer players and seat
// fillers of one table; computer players come from a person of that
// connection, under the person's own number.
TEST_F(Lobby, OneConnectionHoldsOneTable) {
  TFakeConn* a = Connect("A");
  TFakeConn* b = Connect("B");
  const int al = Login(a, "Alice");
  Skip();
  Cmd(a, CmdLogin("Alice2", "f"), 0);
  EXPECT_EQ(Take(), TExpect().Raw("A", "ERR OVERUSER\r").lines);
  for (int i = 0; i < TKestServerCore::kMaxUsersPerConnection - 1; ++i)
    ASSERT_GE(AddCom(a, al, "npc" + std::to_string(i), i % 2 ? cmAddCom2 : cmAddCom), 0) << i;
  Skip();
  Cmd(a, CmdAddCom(cmAddCom2, "one too many", "cf", 0), al);
  EXPECT_EQ(Take(), TExpect().Raw("A", "ERR OVERUSER\r").lines);
  EXPECT_EQ(core_.LoggedInCount(), TKestServerCore::kMaxUsersPerConnection);

  // Without a person on the connection, under another connection's person,
  // or under a computer player's number: nothing.
  const int cpu = 1;
  ASSERT_TRUE(core_.UserOf(cpu)->HasFlags(ufComputer));
  Cmd(b, CmdAddCom(cmAddCom, "Early", "cf", 1), 0);
  Cmd(b, CmdAddCom(cmAddCom2, "Spoof", "cf", 1), al);
  const int bo = Login(b, "Bob");
  Skip();
  Cmd(b, CmdAddCom(cmAddCom, "Spoof2", "cf", 1), al);
  EXPECT_TRUE(Take().empty());
  TFakeConn* c = Connect("C");
  const int ca = Login(c, "Carol");
  const int ccpu = AddCom(c, ca, "CarolCpu");
  ASSERT_GE(ccpu, 0);
  Skip();
  Cmd(c, CmdAddCom(cmAddCom, "ByCpu", "cf", 1), ccpu);
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(core_.LoggedInCount(), TKestServerCore::kMaxUsersPerConnection + 3);
  (void)bo;
}

// A computer player whose room change is refused does not linger in the
// lobby on its host's connection.
TEST_F(Lobby, ComputerPlayerRefusedASeatIsLoggedOut) {
  TFakeConn* a = Connect("A");
  TFakeConn* b = Connect("B");
  const int al = Login(a, "Alice"), bo = Login(b, "Bob");
  Cmd(b, "CHROOM 1", bo);
  Cmd(b, "ROOMLOCK", bo);
  const int cpu = AddCom(a, al, "Cpu");
  Skip();
  Cmd(a, "CHROOM 1", cpu);
  EXPECT_EQ(Take(), TExpect()
                        .To("A", "ERR LOCKED\r", cpu)
                        .To("A", "BYE " BS "Cpu" BS, al)
                        .To("A", "ROOM 0,0,1", al)
                        .lines);
  EXPECT_EQ(core_.UserOf(cpu), nullptr);
  // A person refused stays.
  Cmd(a, "CHROOM 1", al);
  EXPECT_NE(core_.UserOf(al), nullptr);
}

// A connection that has not logged in within the time is closed; one
// with a user stays.
TEST_F(Lobby, ConnectionsThatDoNotLogInAreClosed) {
  int64_t now = 1000;
  core_.SetClock([&] { return now; });
  TFakeConn* idle = Connect("I");
  TFakeConn* user = Connect("U");
  Login(user, "Uma");
  now += TKestServerCore::kLoginTimeoutMs - 1;
  TFakeConn* later = Connect("L");
  core_.SocketCheck();
  EXPECT_FALSE(idle->closed);
  now += 1;
  core_.SocketCheck();
  EXPECT_TRUE(idle->closed);
  EXPECT_FALSE(core_.HasData(idle));
  EXPECT_FALSE(user->closed);
  EXPECT_FALSE(later->closed);
  EXPECT_EQ(core_.LoggedInCount(), 1);
  // A refused login does not count as one.
  Cmd(later, CmdLogin("Uma", "f"), 0);
  now += TKestServerCore::kLoginTimeoutMs;
  core_.SocketCheck();
  EXPECT_TRUE(later->closed);
  EXPECT_FALSE(user->closed);
}

// Computer players: their own login carries kind 0; a room change sends
// each computer member its CPUTYPE again and names the true kinds.
TEST_F(Lobby, ComputerPlayersAndFillers) {
  TFakeConn* a = Connect("A");
  TFakeConn* b = Connect("B");
  const int al = Login(a, "Alice");
  Cmd(a, "CHROOM 1", al);
  Skip();
  Cmd(a, CmdAddCom(cmAddCom, "Cpu", "cf", 7), al);
  TExpect e;
  e.To("A", "LOGIN", 1).To("A", "ADDUSER " BS "Cpu" BS ",0," BS "cf" BS ",1,0", 1);
  RoomStatusOfLogin(e, {{"A", 1}}, 1, {0, 1});
  EXPECT_EQ(Take(), e.lines);
  Cmd(a, "CHROOM 1", 1);
  const int fill = AddCom(a, al, "Fill", cmAddCom2);
  ASSERT_EQ(fill, 2);
  Cmd(a, "CHROOM 1", fill);
  Skip();

  const int bo = Login(b, "Bob");
  Skip();
  Cmd(b, "CHROOM 1", bo);
  EXPECT_EQ(Take(), TExpect()
                        .To("B", "CHROOM 1," BS "Bob" BS, bo)
                        .To("B", "ADDUSER " BS "Alice" BS ",1," BS "f" BS ",0,0", bo)
                        .To("B", "ADDUSER " BS "Cpu" BS ",1," BS "cf" BS ",1,1", bo)
                        .To("A", "CPUTYPE 7", 1)
                        .To("B", "ADDUSER " BS "Fill" BS ",1," BS "cf" BS ",2,2", bo)
                        .To("A", "CPUTYPE 0", 2)
                        .To("B", "ADDUSER " BS "Bob" BS ",1," BS "f" BS ",3,0", bo)
                        .To("A", "ADDUSER " BS "Bob" BS ",1," BS "f" BS ",3,0", al)
                        .To("A", "ADDUSER " BS "Bob" BS ",1," BS "f" BS ",3,0", 1)
                        .To("A", "ADDUSER " BS "Bob" BS ",1," BS "f" BS ",3,0", 2)
                        .lines);  // nobody left in the lobby to hear of rooms 0 and 1

  // RUSER lists the seats; chat skips computer players and fillers; a
  // room-wide line never reaches a filler.
  Cmd(b, "RUSER 1", bo);
  EXPECT_EQ(Take(), TExpect()
                        .To("B", "ADDUSER2 " BS "Alice" BS ",1," BS "f" BS, bo)
                        .To("B", "ADDUSER2 " BS "Cpu" BS ",1," BS "cf" BS, bo)
                        .To("B", "ADDUSER2 " BS "Fill" BS ",1," BS "cf" BS, bo)
                        .To("B", "ADDUSER2 " BS "Bob" BS ",1," BS "f" BS, bo)
                        .To("B", "RUSEREND", bo)
                        .lines);
  Cmd(b, CmdChat(1, "hi"), bo);
  EXPECT_EQ(Take(), TExpect()
                        .To("A", "PRINT " BS "[Bob] hi" BS, al)
                        .To("B", "PRINT " BS "[Bob] hi" BS, bo)
                        .lines);
  core_.SendLine("X", al, smToRoom | smExcept, 1);
  EXPECT_EQ(Take(), TExpect().To("A", "X", 1).To("B", "X", bo).lines);

  // CLEARNPC drops the room's computer players with a BYE each.
  Cmd(a, "CLEARNPC", al);
  EXPECT_EQ(Take(), TExpect()
                        .To("A", "BYE " BS "Cpu" BS, al)
                        .To("B", "BYE " BS "Cpu" BS, bo)
                        .To("A", "BYE " BS "Fill" BS, al)
                        .To("B", "BYE " BS "Fill" BS, bo)
                        .lines);
  EXPECT_EQ(core_.Room(1).MemberCount(), 2);
  EXPECT_EQ(core_.UserOf(1), nullptr);
}

// Closing a host's connection logs out the host and, with him, the computer
// players of his room; the room's game stops.
TEST_F(Lobby, HostDisconnectLogsOutItsComputers) {
  TFakeConn* a = Connect("A");
  TFakeConn* b = Connect("B");
  const int bo = Login(b, "Bob");
  const int al = Login(a, "Alice");
  const int cpu = AddCom(a, al, "Cpu");
  Cmd(b, "CHROOM 1", bo);
  Cmd(a, "CHROOM 1", al);
  Cmd(a, "CHROOM 1", cpu);
  Cmd(b, "START 0,0", bo);  // Bob came first: he is the host
  ASSERT_TRUE(core_.Room(1).IsPlaying());
  Skip();

  core_.ClientDisconnect(a);
  EXPECT_EQ(Take(), TExpect()
                        .To("B", "BYE " BS "Alice" BS, bo)
                        .To("B", "PRINT " BS "Alice" LOGGED_OUT BS, bo)
                        .To("B", "BYE " BS "Cpu" BS, bo)
                        .lines);
  EXPECT_FALSE(core_.Room(1).IsPlaying());
  EXPECT_EQ(core_.Room(1).MemberCount(), 1);
  EXPECT_EQ(core_.UserOf(al), nullptr);
  EXPECT_EQ(core_.UserOf(cpu), nullptr);
  EXPECT_TRUE(LogHas(">Disconnect ok" + std::to_string(al)));
  EXPECT_FALSE(LogHas(">Disconnect ok" + std::to_string(cpu)));  // gone with its room
}

TEST_F(Lobby, SweepLogsOutDeadConnections) {
  TFakeConn* a = Connect("A");
  TFakeConn* b = Connect("B");
  const int al = Login(a, "Alice");
  const int cpu = AddCom(a, al, "Cpu");
  Cmd(a, "CHROOM 2", al);  // the host at a table, its computer player still in the lobby
  const int bo = Login(b, "Bob");
  Skip();
  a->connected = false;
  core_.SocketCheck();
  EXPECT_EQ(core_.UserOf(al), nullptr);
  EXPECT_EQ(core_.UserOf(cpu), nullptr);
  EXPECT_NE(core_.UserOf(bo), nullptr);
  EXPECT_TRUE(LogHas(">Disconnect ok" + std::to_string(cpu)));
  const auto sent = Take();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[0], (TSent{"B", Addressed("ROOM 2,0,0", bo)}));
  EXPECT_EQ(sent[1], (TSent{"B", Addressed("BYE " BS "Cpu" BS, bo)}));
}

// ---- Lines act only for users of their own connection ----

TEST_F(Lobby, LinesForOtherConnectionsUsersAreIgnored) {
  TFakeConn* a = Connect("A");
  TFakeConn* b = Connect("B");
  const int al = Login(a, "Alice");
  const int cpu = AddCom(a, al, "Cpu");
  const int bo = Login(b, "Bob");
  Skip();

  const struct {
    const char* line;
    int user;
  } cases[] = {
      {"CHROOM 1", al},  // Alice's number from Bob's connection
      {"CHROOM 1", cpu},  // Alice's computer player
      {"CHROOM 1", 42},  // a free slot
      {"CHROOM 1", 100},  // no such slot
      {"CHROOM 1", -1},
      {"CLEARNPC", al},
  };
  for (const auto& c : cases) {
    Cmd(b, c.line, c.user);
    EXPECT_TRUE(Take().empty()) << c.line << ":" << c.user;
  }
  EXPECT_TRUE(LogHas("Ignored: user " + std::to_string(al) + " is not on this connection"));
  EXPECT_EQ(core_.UserOf(al)->GetRoom(), 0);
  EXPECT_NE(core_.UserOf(cpu), nullptr);

  // The host acts for its computer player; Bob acts for himself.
  Cmd(a, "CHROOM 1", al);
  Cmd(a, "CHROOM 1", cpu);
  ASSERT_NE(core_.UserOf(cpu), nullptr);
  EXPECT_EQ(core_.UserOf(cpu)->GetRoom(), 1);
  Cmd(b, "CHROOM 1", bo);
  EXPECT_EQ(core_.UserOf(bo)->GetRoom(), 1);
}

// ---- Numbers the server indexes with are checked ----

TEST_F(Lobby, OutOfRangeNumbersAreIgnored) {
  TFakeConn* a = Connect("A");
  const int al = Login(a, "Alice");
  Skip();
  const char* lines[] = {"CHROOM 25", "CHROOM -1", "RUSER 25", "RUSER -3", "CHAT 25," BS "x" BS,
                         "CHAT -1," BS "x" BS, "CHROOM", "CHAT 1", "START 1,1" /* from the lobby */,
                         "SAIKORO", "TURNEND", "SUIRI 1,1,1", "KOKUSO 1,1,1", "SHOW 12"};
  for (const char* line : lines) {
    Cmd(a, line, al);
    EXPECT_TRUE(Take().empty()) << line;
  }
  EXPECT_EQ(core_.UserOf(al)->GetRoom(), 0);
}

// ---- A send error never frees records under a running handler ----

TEST_F(Lobby, SendErrorLogsOutAfterTheHandler) {
  TFakeConn* a = Connect("A");
  TFakeConn* b = Connect("B");
  TFakeConn* c = Connect("C");
  const int al = Login(a, "Alice"), bo = Login(b, "Bob"), ca = Login(c, "Carol");
  for (int u : {al, bo, ca}) Cmd(conns_[size_t(u)].get(), "CHROOM 1", u);
  Skip();

  // Bob's connection fails on the chat copy; Carol still gets hers, and
  // then Bob is logged out.
  b->failSends = true;
  Cmd(a, CmdChat(1, "x"), al);
  EXPECT_EQ(Take(), TExpect()
                        .To("A", "PRINT " BS "[Alice] x" BS, al)
                        .To("C", "PRINT " BS "[Alice] x" BS, ca)
                        .To("A", "BYE " BS "Bob" BS, al)
                        .To("C", "BYE " BS "Bob" BS, ca)
                        .To("A", "PRINT " BS "Bob" LOGGED_OUT BS, al)
                        .To("C", "PRINT " BS "Bob" LOGGED_OUT BS, ca)
                        .lines);
  EXPECT_EQ(core_.UserOf(bo), nullptr);

  // A transport that reports the disconnect from inside the send.
  c->onSend = [&](const std::string&) {
    c->connected = false;
    core_.ClientDisconnect(c);
  };
  Cmd(a, "START 0,0", al);  // the handler goes on using Carol's record after the failed send
  EXPECT_EQ(core_.UserOf(ca), nullptr);
  EXPECT_FALSE(core_.Room(1).IsPlaying());  // her logout stopped the game
  core_.ClientDisconnect(c);  // the transport's own event later changes nothing
  EXPECT_NE(core_.UserOf(al), nullptr);
}

// A send from outside any line (as the window's code may make) while a
// transport reports another connection's disconnect inside the send.
TEST_F(Lobby, DisconnectInsideADirectSend) {
  TFakeConn* a = Connect("A");
  TFakeConn* b = Connect("B");
  const int al = Login(a, "Alice"), bo = Login(b, "Bob");
  Skip();
  a->onSend = [&](const std::string&) {
    core_.ClientDisconnect(b);
  };
  core_.SendLine("X", 0, smToRoom, 0);
  EXPECT_EQ(core_.UserOf(bo), nullptr);
  EXPECT_EQ(Take(), TExpect()
                        .To("A", "X", al)
                        .To("A", "BYE " BS "Bob" BS, al)
                        .To("A", "PRINT " BS "Bob" LOGGED_OUT BS, al)
                        .To("A", "ROOM 0,0,1", al)
                        .lines);
}

// An exception out of a send (as a stream that cannot grow raised) leaves
// the core as it was: a disconnect afterwards logs out at once, so no
// record keeps a connection the window has freed.
TEST_F(Lobby, ExceptionOutOfASendLeavesLogoutsRunning) {
  TFakeConn* a = Connect("A");
  TFakeConn* b = Connect("B");
  TFakeConn* c = Connect("C");
  const int al = Login(a, "Alice"), bo = Login(b, "Bob"), ca = Login(c, "Carol");
  Skip();
  const auto raise = [](const std::string&) { throw std::length_error("buffer would exceed 2 GiB"); };
  a->onSend = raise;
  EXPECT_THROW(core_.SendLine("X", al, smToUser), std::length_error);  // a send from outside a line
  core_.ClientDisconnect(b);
  EXPECT_EQ(core_.UserOf(bo), nullptr);
  a->onSend = raise;
  Cmd(a, "RUSER 0", al);  // a send inside a line
  c->connected = false;
  core_.SocketCheck();
  EXPECT_EQ(core_.UserOf(ca), nullptr);
  EXPECT_NE(core_.UserOf(al), nullptr);
}

// An exception inside a handler ends that line only.
TEST_F(Lobby, ExceptionInHandlerIsContained) {
  TFakeConn* a = Connect("A");
  const int al = Login(a, "Alice");
  Skip();
  a->onSend = [](const std::string&) { throw EKestError(kMsgNoCard); };
  Cmd(a, "CHROOM 1", al);
  EXPECT_TRUE(LogHas(std::string("Error in CHROOM: ") + kMsgNoCard));
  Cmd(a, "RUSER 0", al);
  const auto sent = Take();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back(), (TSent{"A", "RUSEREND:0"}));
}

TEST_F(Lobby, DropAllConnectionsSendsNothing) {
  TFakeConn* a = Connect("A");
  TFakeConn* b = Connect("B");
  const int al = Login(a, "Alice");
  AddCom(a, al, "Cpu");
  const int bo = Login(b, "Bob");
  Cmd(a, "CHROOM 1", al);
  Cmd(b, "CHROOM 1", bo);
  Cmd(a, "START 0,0", al);
  Skip();
  core_.DropAllConnections();
  EXPECT_TRUE(Take().empty());
  for (int n = 0; n < TKestServerCore::kUserSlots; ++n) EXPECT_EQ(core_.UserOf(n), nullptr);
  EXPECT_EQ(core_.Room(1).MemberCount(), 0);
  EXPECT_FALSE(core_.Room(1).IsPlaying());
  EXPECT_FALSE(core_.HasData(a));
  // Lines still buffered for a dropped connection change nothing.
  Cmd(a, CmdLogin("Again", "f"), 0);
  EXPECT_TRUE(Take().empty());
}

TEST_F(Lobby, LogIsBounded) {
  core_.SetLogLimit(10);
  TFakeConn* a = Connect("A");
  for (int i = 0; i < 30; ++i) core_.LineArrived(a, "NOPE " + std::to_string(i));
  ASSERT_EQ(core_.Log().size(), 10u);
  EXPECT_EQ(core_.Log().back(), "NOPE 29");
  EXPECT_EQ(core_.Log().front(), "NOPE 20");

  // Long lines are kept within a number of bytes as well.
  core_.SetLogLimit(TKestServerCore::kDefaultLogLimit);
  for (int i = 0; i < 100; ++i) core_.LineArrived(a, std::string(60000, 'x') + std::to_string(i));
  size_t bytes = 0;
  for (const auto& l : core_.Log()) bytes += l.size();
  EXPECT_LE(bytes, TKestServerCore::kDefaultLogBytes);
  EXPECT_EQ(core_.Log().back(), std::string(60000, 'x') + "99");
}

}  // namespace
