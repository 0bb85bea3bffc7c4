// Whole seeded games through the server core. The expected deal and dice
// come from an independent replay of the generator and the dealing rules
// (three shuffle passes, solution person/weapon/room from the top, the rest
// round the players' seats), so the transcripts are not recorded output.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "DealReplay.h"
#include "FakeServer.h"
#include "Random.h"

using namespace kest;
using namespace kest::proto;
using namespace velmora;
using namespace velmora::test;

using velmora::test::Deal;
using velmora::test::Lcg;
using velmora::test::ReplayDeal;

namespace {

#define BS "\x08"

std::string CardLine(const std::vector<int>& hand) {
  std::string s = "CARD " + std::to_string(hand.size());
  for (int c : hand) s += "," + std::to_string(c);
  return s;
}

std::string Codes(const char* word, int seat, const std::array<int, 3>& s) {
  return std::string(word) + " " + std::to_string(seat) + "," + std::to_string(s[0]) + "," +
         std::to_string(s[1]) + "," + std::to_string(s[2]);
}

// room, person, weapon numbers of a triple of codes given in any order.
struct Triple {
  int room, person, weapon;
  std::string Args() const {
    return std::to_string(room) + "," + std::to_string(person) + "," + std::to_string(weapon);
  }
};
Triple FromCodes(const std::array<int, 3>& codes) {
  Triple t{};
  for (int c : codes) (c / 10 == 1 ? t.person : c / 10 == 2 ? t.weapon : t.room) = c % 10;
  return t;
}
// The solution with the card of the same kind replaced by `card`.
Triple WithCard(const std::array<int, 3>& solution, int card) {
  Triple t = FromCodes(solution);
  (card / 10 == 1 ? t.person : card / 10 == 2 ? t.weapon : t.room) = card % 10;
  return t;
}

class Game : public ServerFixture {
 protected:
  static constexpr uint32_t kSeed = 20261209;
  // Alice (0, host on A) and her computer player Cpu (2, on A), Bob (1, on
  // B), and a seat filler (3, on A), seated in that order: Alice, Bob, Cpu,
  // filler.
  void SetUp() override {
    a_ = Connect("A");
    b_ = Connect("B");
    ASSERT_EQ(Login(a_, "Alice"), 0);
    ASSERT_EQ(Login(b_, "Bob"), 1);
    ASSERT_EQ(AddCom(a_, 0, "Cpu"), 2);
    ASSERT_EQ(AddCom(a_, 0, "Fill", cmAddCom2), 3);
    Cmd(a_, "CHROOM 1", 0);
    Cmd(b_, "CHROOM 1", 1);
    Cmd(a_, "CHROOM 1", 2);
    Cmd(a_, "CHROOM 1", 3);
    Skip();
    RandSeed(kSeed);
  }
  // The room's copies: Alice, Bob and Cpu in user-number order (never the filler).
  const std::vector<std::pair<std::string, int>> room_{{"A", 0}, {"B", 1}, {"A", 2}};
  TFakeConn* a_ = nullptr;
  TFakeConn* b_ = nullptr;
};

TEST_F(Game, SeededGameToWin) {
  Lcg rng(kSeed);
  const Deal deal = ReplayDeal(rng, 3);
  ASSERT_EQ(deal.hands[0].size(), 6u);

  Cmd(a_, "START 1,0", 0);
  TExpect start;
  start.Each(room_, "START 1,0")
      .To("A", CardLine(deal.hands[0]), 0)
      .To("B", CardLine(deal.hands[1]), 1)
      .To("A", CardLine(deal.hands[2]), 2)
      .To("A", "CARD 0", 3)
      .Each(room_, "USER 0," BS "Alice" BS)
      .Each(room_, "USER 1," BS "Bob" BS)
      .Each(room_, "USER 2," BS "Cpu" BS)
      .Each(room_, "TURN 0");
  EXPECT_EQ(Take(), start.lines);

  // Alice rolls, walks, enters a room and suggests the solution itself:
  // Bob, then Cpu, have nothing; the suggestion ends at her seat.
  Cmd(a_, "SAIKORO", 0);
  const int die = rng.Next() % 6 + 1;
  Cmd(a_, "MOVE 5,6,2", 0);
  Cmd(a_, "INROOM 3,0", 0);
  Cmd(a_, "SUIRISTART 3", 0);
  const Triple sol = FromCodes(deal.solution);
  Cmd(a_, "SUIRI " + sol.Args(), 0);
  EXPECT_EQ(Take(), TExpect()
                        .Each(room_, "SAIKORO " + std::to_string(die))
                        .Each(room_, "MOVE 0,5,6,2")
                        .Each(room_, "INROOM 0,3,0")
                        .Each(room_, "SUIRISTART 0,3")
                        .Each(room_, "SUIRI 0," + std::to_string(sol.room) + "," BS + std::to_string(sol.person) +
                                         BS "," + std::to_string(sol.weapon))
                        .Each(room_, "SHOWWAIT 1")
                        .lines);
  Cmd(b_, "SHOWCHECK", 1);
  Cmd(b_, "SHOW NO", 1);
  Cmd(a_, "SHOWCHECK", 2);
  Cmd(a_, "SHOW NO", 2);
  EXPECT_EQ(Take(), TExpect()
                        .To("B", "SHOWSEL 0", 1)
                        .To("A", "SHOWC NO,1", 0)
                        .To("B", "SHOWC NOTEXIST,1", 1)
                        .To("A", "SHOWC NOTEXIST,1", 2)
                        .Each(room_, "SHOWWAIT 2")
                        .To("A", "SHOWSEL 0", 2)
                        .To("A", "SHOWC NO,2", 0)
                        .To("B", "SHOWC NOTEXIST,2", 1)
                        .To("A", "SHOWC NOTEXIST,2", 2)
                        .To("A", "SUIRIEND", 0)
                        .lines);

  // Turn end with the handshake: Bob is the other human.
  Cmd(a_, "TURNEND2", 0);
  EXPECT_EQ(Take(), TExpect().To("B", "TURNEND2", 1).lines);
  Cmd(b_, "CONFIRM", 1);
  EXPECT_EQ(Take(), TExpect().Each(room_, "TURN 1").lines);

  // Bob suggests one of Cpu's cards with the rest of the solution: Cpu, the
  // first to answer, shows it.
  const int cpuCard = deal.hands[2][0];
  Cmd(b_, "SUIRI " + WithCard(deal.solution, cpuCard).Args(), 1);
  Take();
  Cmd(a_, "SHOWCHECK", 2);
  Cmd(a_, "SHOW " + std::to_string(cpuCard), 2);
  EXPECT_EQ(Take(), TExpect()
                        .To("A", "SHOWSEL 1," + std::to_string(cpuCard), 2)
                        .To("B", "SHOWC 2," + std::to_string(cpuCard), 1)
                        .To("A", "SHOWC EXIST,2", 0)
                        .To("A", "SHOWC EXIST,2", 2)
                        .To("B", "SUIRIEND", 1)
                        .lines);
  Cmd(b_, "TURNEND", 1);
  EXPECT_EQ(Take(), TExpect().Each(room_, "TURN 2").lines);

  // Cpu accuses wrongly and then claims to be right: the server's own
  // verdict stands and Cpu is out.
  const Triple wrong = WithCard(deal.solution, cpuCard);
  Cmd(a_, "KOKUSOSTART 3", 2);
  Cmd(a_, "KOKUSO " + wrong.Args(), 2);
  Cmd(a_, "KOKUSOEND 1", 2);
  EXPECT_EQ(Take(), TExpect()
                        .Each(room_, "KOKUSOSTART 2,3")
                        .To("A", "KOKUSOCHECK 2", 0)
                        .To("B", "KOKUSOCHECK 2", 1)
                        .To("A", Codes("KOKUSO", deal.solution[0], {deal.solution[1], deal.solution[2], 0}), 2)
                        .Each(room_, "LOSE 2")
                        .lines);
  EXPECT_TRUE(core_.Room(1).IsOut(2));
  // A second KOKUSOEND has no accusation behind it.
  Cmd(a_, "KOKUSOEND 1", 2);
  EXPECT_TRUE(Take().empty());

  // Cpu's turn over: Alice, then Cpu's seat is skipped on the way round.
  Cmd(a_, "TURNEND", 2);
  EXPECT_EQ(Take(), TExpect().Each(room_, "TURN 0").lines);
  Cmd(a_, "TURNEND", 0);
  Cmd(b_, "TURNEND", 1);
  EXPECT_EQ(Take(), TExpect().Each(room_, "TURN 1").Each(room_, "TURN 0").lines);

  // Alice accuses rightly.
  Cmd(a_, "KOKUSO " + sol.Args(), 0);
  Cmd(a_, "KOKUSOEND 1", 0);
  EXPECT_EQ(Take(), TExpect()
                        .To("B", "KOKUSOCHECK 0", 1)
                        .To("A", "KOKUSOCHECK 0", 2)
                        .To("A", Codes("KOKUSO", deal.solution[0], {deal.solution[1], deal.solution[2], 1}), 0)
                        .Each(room_, Codes("WIN", 0, deal.solution))
                        .lines);
  EXPECT_FALSE(core_.Room(1).IsPlaying());
}

// Two players accuse wrongly one after the other: LOSE, LOSE and END.
TEST_F(Game, AllWrongAccusationsEndTheGame) {
  Cmd(a_, "CLEARNPC", 0);  // Alice and Bob alone
  Skip();
  RandSeed(kSeed);
  Lcg rng(kSeed);
  const Deal deal = ReplayDeal(rng, 2);
  Cmd(a_, "START", 0);
  const std::vector<std::pair<std::string, int>> room{{"A", 0}, {"B", 1}};
  EXPECT_EQ(Take(), TExpect()
                        .Each(room, "START ")
                        .To("A", CardLine(deal.hands[0]), 0)
                        .To("B", CardLine(deal.hands[1]), 1)
                        .Each(room, "USER 0," BS "Alice" BS)
                        .Each(room, "USER 1," BS "Bob" BS)
                        .Each(room, "TURN 0")
                        .lines);
  ASSERT_EQ(deal.hands[0].size(), 9u);

  const Triple wrongA = WithCard(deal.solution, deal.hands[0][0]);
  const Triple wrongB = WithCard(deal.solution, deal.hands[1][0]);
  Cmd(a_, "KOKUSO " + wrongA.Args(), 0);
  Cmd(a_, "KOKUSOEND 0", 0);
  Cmd(a_, "TURNEND", 0);
  Cmd(b_, "KOKUSO " + wrongB.Args(), 1);
  Cmd(b_, "KOKUSOEND 0", 1);
  const auto sol = deal.solution;
  EXPECT_EQ(Take(), TExpect()
                        .To("B", "KOKUSOCHECK 0", 1)
                        .To("A", Codes("KOKUSO", sol[0], {sol[1], sol[2], 0}), 0)
                        .Each(room, "LOSE 0")
                        .Each(room, "TURN 1")
                        .To("A", "KOKUSOCHECK 1", 0)
                        .To("B", Codes("KOKUSO", sol[0], {sol[1], sol[2], 0}), 1)
                        .Each(room, "LOSE 1")
                        .Each(room, Codes("END", 1, sol))
                        .lines);
  EXPECT_FALSE(core_.Room(1).IsPlaying());
  // With everyone out, a turn end names nobody.
  Cmd(b_, "TURNEND", 1);
  EXPECT_TRUE(Take().empty());
}

// A right accusation cannot be carried into another room and closed there.
TEST_F(Game, VerdictStaysInItsRoom) {
  TFakeConn* c = Connect("C");
  ASSERT_EQ(Login(c, "Carol"), 4);
  Cmd(c, "CHROOM 2", 4);
  Cmd(a_, "START 0,0", 0);
  TCard s[3];
  core_.Room(1).GetSolution(s);
  const Triple sol = FromCodes({s[0].WireCode(), s[1].WireCode(), s[2].WireCode()});
  Cmd(a_, "KOKUSO " + sol.Args(), 0);
  Cmd(a_, "CHROOM 0", 0);
  Cmd(a_, "CHROOM 2", 0);
  Skip();
  Cmd(a_, "KOKUSOEND 1", 0);
  EXPECT_TRUE(Take().empty());
}

// Only the host ends a running game.
TEST_F(Game, EndGameWord) {
  Cmd(a_, "ENDGAME", 0);  // no game yet
  Cmd(a_, "START 0,1", 0);
  Skip();
  Cmd(b_, "ENDGAME", 1);
  EXPECT_TRUE(Take().empty());
  TCard s[3];
  core_.Room(1).GetSolution(s);
  Cmd(a_, "ENDGAME", 0);
  EXPECT_EQ(Take(), TExpect()
                        .Each(room_, Codes("END", 0, {s[0].WireCode(), s[1].WireCode(), s[2].WireCode()}))
                        .lines);
  EXPECT_FALSE(core_.Room(1).IsPlaying());
}

// Only the humans other than the sender confirm a turn end, each once.
TEST_F(Game, TurnEndHandshake) {
  TFakeConn* c = Connect("C");
  ASSERT_EQ(Login(c, "Carol"), 4);
  Cmd(c, "CHROOM 1", 4);  // seat 4, after the filler
  Cmd(a_, "CLEARNPC", 0);  // Cpu and the filler leave: Alice, Bob, Carol
  Cmd(a_, "START 0,0", 0);
  Skip();
  Cmd(a_, "TURNEND2", 0);
  EXPECT_EQ(Take(), TExpect().To("B", "TURNEND2", 1).To("C", "TURNEND2", 4).lines);
  Cmd(b_, "CONFIRM", 1);
  Cmd(b_, "CONFIRM", 1);  // counts once
  Cmd(a_, "CONFIRM", 0);  // not asked
  EXPECT_TRUE(Take().empty());
  Cmd(c, "CONFIRM", 4);
  const std::vector<std::pair<std::string, int>> room{{"A", 0}, {"B", 1}, {"C", 4}};
  EXPECT_EQ(Take(), TExpect().Each(room, "TURN 1").lines);
  Cmd(c, "CONFIRM", 4);  // one too many
  EXPECT_TRUE(Take().empty());
  // A turn end without the handshake cancels one still open.
  Cmd(b_, "TURNEND2", 1);
  Cmd(b_, "TURNEND", 1);
  Skip();
  Cmd(a_, "CONFIRM", 0);
  Cmd(c, "CONFIRM", 4);
  EXPECT_TRUE(Take().empty());
}

TEST_F(Game, SoleHumanTurnEndNeedsNoConfirm) {
  core_.ClientDisconnect(b_);  // Alice stays with her computer player and filler
  Cmd(a_, "START 0,0", 0);      // Alice and Cpu play
  Skip();
  Cmd(a_, "TURNEND2", 0);
  EXPECT_EQ(Take(), TExpect().To("A", "TURN 1", 0).To("A", "TURN 1", 2).lines);
}

// In a room of four a suggestion by seat 2 asks seats 3, 0 and 1.
TEST_F(Game, ResponderOrderInRoomOfFour) {
  TFakeConn* c = Connect("C");
  TFakeConn* d = Connect("D");
  Cmd(a_, "CLEARNPC", 0);
  ASSERT_EQ(Login(c, "Carol"), 2);
  ASSERT_EQ(Login(d, "Dave"), 3);
  Cmd(c, "CHROOM 1", 2);
  Cmd(d, "CHROOM 1", 3);
  Cmd(a_, "START 0,0", 0);
  Cmd(a_, "TURNEND", 0);
  Cmd(b_, "TURNEND", 1);
  TCard s[3];
  core_.Room(1).GetSolution(s);
  Skip();
  const Triple sol = FromCodes({s[0].WireCode(), s[1].WireCode(), s[2].WireCode()});
  Cmd(c, "SUIRI " + sol.Args(), 2);
  const std::vector<std::pair<std::string, int>> room{{"A", 0}, {"B", 1}, {"C", 2}, {"D", 3}};
  TExpect e;
  e.Each(room, "SUIRI 2," + std::to_string(sol.room) + "," BS + std::to_string(sol.person) + BS "," +
                   std::to_string(sol.weapon))
      .Each(room, "SHOWWAIT 3");
  const std::pair<TFakeConn*, int> answerers[] = {{d, 3}, {a_, 0}, {b_, 1}};
  for (size_t i = 0; i < 3; ++i) {
    const auto [conn, seat] = answerers[i];
    Cmd(conn, "SHOWCHECK", seat);
    Cmd(conn, "SHOW NO", seat);
    e.To(conn->Name(), "SHOWSEL 0", seat).To("C", "SHOWC NO," + std::to_string(seat), 2);
    for (const auto& [cn, u] : room)
      if (u != 2) e.To(cn, "SHOWC NOTEXIST," + std::to_string(seat), u);
    if (i < 2)
      e.Each(room, "SHOWWAIT " + std::to_string(answerers[i + 1].second));
    else
      e.To("C", "SUIRIEND", 2);
  }
  EXPECT_EQ(Take(), e.lines);
}

// Lines with numbers the server would index with, out of range or missing,
// are ignored whole: nothing is relayed before the check.
TEST_F(Game, InvalidGameLinesAreIgnored) {
  Cmd(a_, "START 0,0", 0);
  Skip();
  const char* lines[] = {"SUIRI 9,0,0", "SUIRI 0,6,0", "SUIRI 0,0,-1", "SUIRI 1,2", "KOKUSO 0,0,6",
                         "KOKUSO -1,0,0", "KOKUSO 65539,0,0", "WARP 25", "WARP -1", "MOVE 1,2", "SHOW",
                         "INROOM 3", "SUIRISTART", "KOKUSOEND"};
  for (const char* line : lines) {
    Cmd(a_, line, 0);
    EXPECT_TRUE(Take().empty()) << line;
  }
  // Relays stay relays: any numbers pass.
  Cmd(a_, "OUTROOM 1283,-4", 0);
  EXPECT_EQ(Take(), TExpect().Each(room_, "OUTROOM 0,1283,-4").lines);
  Cmd(a_, "WARP 1", 0);
  EXPECT_EQ(Take(), TExpect().Each(room_, "ROOM 0,1").lines);
}

// Leaving a running game by a room change ends it as a logout does: the
// room hears BYE (on which the clients end the game), the computer players
// there go, and the seats are never renumbered under a game.
TEST_F(Game, LeavingARunningGameStopsIt) {
  Cmd(a_, "START 0,0", 0);
  Cmd(a_, "CLEARNPC", 0);  // not during a game
  EXPECT_EQ(core_.Room(1).MemberCount(), 4);
  Skip();
  Cmd(b_, "CHROOM 0", 1);
  EXPECT_EQ(Take(), TExpect()
                        .To("B", "CHROOM 0," BS "Bob" BS, 1)
                        .To("A", "BYE " BS "Bob" BS, 0)
                        .To("A", "BYE " BS "Bob" BS, 2)
                        .To("B", "ADDUSER " BS "Bob" BS ",0," BS "f" BS ",1,0", 1)
                        .To("B", "ROOM 1,0,3", 1)
                        .To("B", "ROOM 0,0,1", 1)
                        .lines);
  // Bob added no computer players; Alice's stay with her.
  EXPECT_FALSE(core_.Room(1).IsPlaying());
  EXPECT_EQ(core_.Room(1).MemberCount(), 3);
  EXPECT_NE(core_.UserOf(2), nullptr);

  // When Alice leaves, hers go first, as CLEARNPC takes them.
  Skip();
  Cmd(a_, "CHROOM 0", 0);
  EXPECT_EQ(Take(), TExpect()
                        .To("A", "BYE " BS "Cpu" BS, 0)
                        .To("A", "BYE " BS "Fill" BS, 0)
                        .To("A", "CHROOM 0," BS "Alice" BS, 0)
                        .To("A", "ADDUSER " BS "Alice" BS ",0," BS "f" BS ",0,0", 0)
                        .To("A", "ADDUSER " BS "Bob" BS ",0," BS "f" BS ",1,0", 0)
                        .To("B", "ADDUSER " BS "Alice" BS ",0," BS "f" BS ",0,0", 1)
                        .Each({{"A", 0}, {"B", 1}}, "ROOM 1,0,0")
                        .Each({{"A", 0}, {"B", 1}}, "ROOM 0,0,2")
                        .lines);
  EXPECT_EQ(core_.Room(1).MemberCount(), 0);
  EXPECT_EQ(core_.UserOf(2), nullptr);
  EXPECT_EQ(core_.UserOf(3), nullptr);
}

// A seat filler that joined before a person keeps its seat number, but the
// deal, the turns and the responders go round the players only.
TEST_F(Game, FillerBeforeAPersonIsPassedOver) {
  Cmd(b_, "CHROOM 0", 1);
  Cmd(a_, "CLEARNPC", 0);
  const int fill = AddCom(a_, 0, "Fill2", cmAddCom2);
  Cmd(a_, "CHROOM 1", fill);  // seat 1
  Cmd(b_, "CHROOM 1", 1);     // seat 2
  Skip();
  RandSeed(kSeed);
  Lcg rng(kSeed);
  const Deal deal = ReplayDeal(rng, 2);
  Cmd(a_, "START 0,0", 0);
  const std::vector<std::pair<std::string, int>> room{{"A", 0}, {"B", 1}};
  EXPECT_EQ(Take(), TExpect()
                        .Each(room, "START 0,0")
                        .To("A", CardLine(deal.hands[0]), 0)
                        .To("B", CardLine(deal.hands[1]), 1)
                        .To("A", "CARD 0", fill)
                        .Each(room, "USER 0," BS "Alice" BS)
                        .Each(room, "USER 2," BS "Bob" BS)
                        .Each(room, "TURN 0")
                        .lines);
  Cmd(a_, "TURNEND", 0);
  EXPECT_EQ(Take(), TExpect().Each(room, "TURN 2").lines);
  Cmd(b_, "SUIRI " + FromCodes(deal.solution).Args(), 1);
  const auto sent = Take();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back(), (TSent{"B", "SHOWWAIT 0:1"}));
}

// Accusations belong to a running game; a player out, or one whose verdict
// is still open, accuses no more.
TEST_F(Game, AccusationRules) {
  const char* outside[] = {"KOKUSOSTART 1", "KOKUSO 0,0,0", "KOKUSOEND 1", "KOKUSOCANCEL"};
  for (const char* line : outside) {
    Cmd(a_, line, 0);
    EXPECT_TRUE(Take().empty()) << line << " before the game";
  }
  Lcg rng(kSeed);
  const Deal deal = ReplayDeal(rng, 3);
  Cmd(a_, "START 0,0", 0);
  Skip();
  const Triple wrong = WithCard(deal.solution, deal.hands[0][0]);
  const Triple right = FromCodes(deal.solution);
  const auto sol = deal.solution;
  Cmd(a_, "KOKUSO " + wrong.Args(), 0);
  EXPECT_EQ(Take(), TExpect()
                        .To("B", "KOKUSOCHECK 0", 1)
                        .To("A", "KOKUSOCHECK 0", 2)
                        .To("A", Codes("KOKUSO", sol[0], {sol[1], sol[2], 0}), 0)
                        .lines);
  // Knowing the solution now, the same player accuses again: ignored, and
  // the verdict that closes stays the first one.
  Cmd(a_, "KOKUSO " + right.Args(), 0);
  EXPECT_TRUE(Take().empty());
  Cmd(a_, "KOKUSOEND 1", 0);
  EXPECT_EQ(Take(), TExpect().Each(room_, "LOSE 0").lines);
  Cmd(a_, "KOKUSO " + right.Args(), 0);  // out
  EXPECT_TRUE(Take().empty());
  Cmd(a_, "TURNEND", 0);  // a player out still ends the turn
  EXPECT_EQ(Take(), TExpect().Each(room_, "TURN 1").lines);
  EXPECT_TRUE(core_.Room(1).IsPlaying());
}

// Only the seat named in SHOWWAIT looks at its cards (once) and answers;
// an answer the rules do not allow is replaced by the one they demand.
TEST_F(Game, OnlyTheAskedSeatAnswers) {
  Lcg rng(kSeed);
  const Deal deal = ReplayDeal(rng, 3);
  Cmd(a_, "START 0,0", 0);
  const auto& bob = deal.hands[1];
  const int match = bob[0];
  // A card of Bob's of another kind than match, so it cannot match.
  int other = -1;
  for (int c : bob)
    if (c / 10 != match / 10) other = c;
  ASSERT_GE(other, 0);
  const Triple withMatch = WithCard(deal.solution, match);
  const Triple none = FromCodes(deal.solution);
  const std::string m = std::to_string(match);
  const struct {
    const Triple* suggestion;
    std::string answer;
    std::string shown;  // what Alice hears
  } cases[] = {
      {&withMatch, "SHOW " + m, "SHOWC 1," + m},
      {&withMatch, "SHOW 99", "SHOWC 1," + m},
      {&withMatch, "SHOW NO", "SHOWC 1," + m},
      {&withMatch, "SHOW " + std::to_string(other), "SHOWC 1," + m},
      {&none, "SHOW NO", "SHOWC NO,1"},
      {&none, "SHOW " + std::to_string(other), "SHOWC NO,1"},
  };
  // One suggestion a turn: each case waits for Alice's next turn.
  auto nextAliceTurn = [&] {
    Cmd(a_, "TURNEND", 0);
    Cmd(b_, "TURNEND", 1);
    Cmd(a_, "TURNEND", 2);
    Skip();
  };
  for (const auto& c : cases) {
    Cmd(a_, "SUIRI " + c.suggestion->Args(), 0);
    Skip();
    // Bystanders, the suggester and the computer player on the asker's own
    // connection get nothing.
    for (const auto& [conn, user] : std::vector<std::pair<TFakeConn*, int>>{{a_, 0}, {a_, 2}}) {
      Cmd(conn, "SHOWCHECK", user);
      Cmd(conn, "SHOW 99", user);
    }
    EXPECT_TRUE(Take().empty()) << c.answer;
    // The responder seat moves on when the seat asked looks at its cards.
    EXPECT_EQ(core_.Room(1).ResponderSeat(), 1) << c.answer;
    Cmd(b_, "SHOWCHECK", 1);
    EXPECT_EQ(core_.Room(1).ResponderSeat(), 2) << c.answer;
    const bool holds = c.suggestion == &withMatch;
    EXPECT_EQ(Take(), TExpect().To("B", holds ? "SHOWSEL 1," + m : "SHOWSEL 0", 1).lines) << c.answer;
    Cmd(b_, "SHOWCHECK", 1);  // once
    EXPECT_TRUE(Take().empty()) << c.answer;
    Cmd(b_, c.answer, 1);
    const auto sent = Take();
    ASSERT_FALSE(sent.empty()) << c.answer;
    EXPECT_EQ(sent[0], (TSent{"A", Addressed(c.shown, 0)})) << c.answer;
    Cmd(b_, c.answer, 1);  // answered already
    EXPECT_TRUE(Take().empty()) << c.answer;
    nextAliceTurn();
  }
  // An answer without SHOWCHECK is judged all the same.
  Cmd(a_, "SUIRI " + withMatch.Args(), 0);
  Skip();
  Cmd(b_, "SHOW NO", 1);
  const auto sent = Take();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0], (TSent{"A", Addressed("SHOWC 1," + m, 0)}));
}

// The words of a turn come from the turn seat's user only; START from the
// host of a waiting table, MOVE within the board.
TEST_F(Game, OutOfTurnWordsAreIgnored) {
  Cmd(b_, "START 0,0", 1);  // not the host
  EXPECT_TRUE(Take().empty());
  EXPECT_FALSE(core_.Room(1).IsPlaying());
  Cmd(a_, "START 0,0", 0);
  Skip();
  const char* words[] = {"SAIKORO", "MOVE 1,1,1", "INROOM 1,0", "OUTROOM 1,0", "SUIRISTART 1", "SUIRI 0,0,0",
                         "KOKUSOSTART 1", "KOKUSO 0,0,0", "TURNEND", "TURNEND2", "SUIRICANCEL", "KOKUSOCANCEL"};
  for (const char* w : words) {
    Cmd(b_, w, 1);  // another person
    Cmd(a_, w, 2);  // a computer player on the turn holder's own connection
    EXPECT_TRUE(Take().empty()) << w;
  }
  Cmd(a_, "START 1,1", 0);  // no new deal during a game
  Cmd(b_, "START 1,1", 1);
  EXPECT_TRUE(Take().empty());
  const struct {
    const char* line;
    bool relayed;
  } moves[] = {{"MOVE 99,-5,3", false}, {"MOVE 24,0,3", false}, {"MOVE 0,25,3", false},
               {"MOVE -1,3,3", false},  {"MOVE 23,24,3", true},  {"MOVE 0,0,0", true}};
  for (const auto& mv : moves) {
    Cmd(a_, mv.line, 0);
    EXPECT_EQ(Take().empty(), !mv.relayed) << mv.line;
  }
}

// Chat goes to the sender's own room or the lobby; CLEARNPC takes the
// sender's own computer players only; WARP names game rooms only.
TEST_F(Game, SmallerLineRules) {
  TFakeConn* c = Connect("C");
  ASSERT_EQ(Login(c, "Carol"), 4);
  Skip();
  Cmd(c, CmdChat(1, "into the game"), 4);
  EXPECT_TRUE(Take().empty());
  Cmd(a_, CmdChat(2, "next door"), 0);
  EXPECT_TRUE(Take().empty());
  Cmd(a_, CmdChat(0, "hello lobby"), 0);
  EXPECT_EQ(Take(), TExpect().To("C", "PRINT " BS "[Alice] hello lobby" BS, 4).lines);
  Cmd(a_, CmdChat(1, "hello table"), 0);
  EXPECT_EQ(Take(), TExpect()
                        .To("A", "PRINT " BS "[Alice] hello table" BS, 0)
                        .To("B", "PRINT " BS "[Alice] hello table" BS, 1)
                        .lines);

  Cmd(b_, "CLEARNPC", 1);  // Alice's computer players, not Bob's
  EXPECT_TRUE(Take().empty());
  EXPECT_EQ(core_.Room(1).MemberCount(), 4);

  Cmd(a_, "WARP 0", 0);
  EXPECT_TRUE(Take().empty());
  Cmd(c, "CHROOM 24", 4);
  Skip();
  Cmd(a_, "WARP 24", 0);
  EXPECT_EQ(Take(), TExpect().To("C", "ROOM 0,24", 4).lines);

  Cmd(a_, "CLEARNPC", 0);
  EXPECT_EQ(core_.Room(1).MemberCount(), 2);
}

// A logout in a game room ends the game for everyone.
TEST_F(Game, LogoutStopsTheGame) {
  Cmd(a_, "START 0,0", 0);
  ASSERT_TRUE(core_.Room(1).IsPlaying());
  core_.ClientDisconnect(b_);
  EXPECT_FALSE(core_.Room(1).IsPlaying());
  // Alice and her computer players: a logout takes only the leaver's own.
  EXPECT_EQ(core_.Room(1).MemberCount(), 3);
}

// START echoes its arguments as far as they fit in one line.
TEST_F(Game, StartEchoesWhatFits) {
  const std::string big(kMaxLineText, '9');
  Cmd(a_, "START 0,1," + big + ",2", 0);
  const std::vector<TSent> sent = Take();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0], TExpect().To("A", "START 0,1", 0).lines[0]);
  for (const TSent& l : sent) EXPECT_LE(l.line.size() + 2, size_t(kMaxLineSize));
  EXPECT_TRUE(core_.Room(1).IsPlaying());
}

}  // namespace
