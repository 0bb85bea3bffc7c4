// The game functions as a computer player's script calls them: what each
// sends, for whom, and what it answers.
#include "HostFixture.h"
#include "VmSpace.h"

namespace {

using hosttest::Host;

struct MoveCase {
  const char* name;
  int x, y, place, steps;  // seat 2's piece
  int room;                // move_to's target
  int result;
  std::vector<std::string> sent;  // lines under user 10
  int x2, y2, place2, steps2;     // the record afterwards
};

class MoveTo : public Host, public ::testing::WithParamInterface<MoveCase> {};

// Bob's client at the same table (user 4, seat 1), which knows the computer
// players' moves only from the server's copies of their lines.
struct BobsClient {
  coretest::Sender sender;
  coretest::View view;
  coretest::Scripts scripts;
  client::TNpcNames npc;
  client::TGameCore core{sender, view};
  explicit BobsClient(const std::array<std::string, 6>& faces) {
    core.SetNpcNames(&npc);
    core.SetScriptEvents(&scripts);
    core.SendLogin("bob", "bob");
    Line("LOGIN");
    Line("CHROOM 1," + coretest::BS + "bob" + coretest::BS);
    const int ids[6] = {3, 4, 10, 11, 12, 13};
    const char* names[6] = {"alice", "bob", "c2", "c3", "c4", "c5"};
    for (int s = 0; s < 6; ++s)
      Line("ADDUSER " + coretest::BS + names[s] + coretest::BS + ",1," + coretest::BS + faces[size_t(s)] +
           coretest::BS + "," + std::to_string(ids[s]) + "," + (s < 2 ? "0" : "1"));
    Line("START 1,0");
    Line("CARD 3,14,23,37");
  }
  void Line(const std::string& l) { client::CommandDispatcher(core, l + ":4"); }
};

TEST_P(MoveTo, OneStep) {
  const MoveCase& c = GetParam();
  Dealt();
  Turn(2);
  BobsClient bob(faces);
  bob.Line("TURN 2");
  Place(2, c.x, c.y, c.place, c.steps, true);
  client::TCoreTestAccess::Seat(bob.core, 2).SetPosition(int16_t(c.x), int16_t(c.y));
  client::TCoreTestAccess::Seat(bob.core, 2).SetPlace(int16_t(c.place));
  EXPECT_EQ(Call(2, "go", c.room), c.result);
  std::vector<std::string> want;
  for (const auto& l : c.sent) want.push_back(Sent(l, 10));
  EXPECT_EQ(sender.lines, want);
  EXPECT_EQ(core.Seats()[2].X(), c.x2);
  EXPECT_EQ(core.Seats()[2].Y(), c.y2);
  EXPECT_EQ(core.Seats()[2].GetPlace(), c.place2);
  EXPECT_EQ(core.Seats()[2].GetSteps(), c.steps2);
  if (c.result == 0) {
    EXPECT_EQ(Global(2, "gX"), c.x2);
    EXPECT_EQ(Global(2, "gY"), c.y2);
  }
  // The other clients draw the piece where the host has it: in the room it
  // entered, or on its cell.
  for (const auto& l : c.sent) bob.Line(l.substr(0, l.find(' ')) + " 2," + l.substr(l.find(' ') + 1));
  if (c.place2 >= 1 && c.place2 <= 9) {
    EXPECT_EQ(bob.core.Seats()[2].GetPlace(), c.place2);
  } else {
    EXPECT_EQ(bob.core.Seats()[2].X(), c.x2);
    EXPECT_EQ(bob.core.Seats()[2].Y(), c.y2);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MoveTo,
    ::testing::Values(
        // The corridor: the route table's step; into a door by its arrow; onto the spot.
        MoveCase{"CorridorStep", 7, 20, 0, 3, 1, 0, {"MOVE 7,19,2"}, 7, 19, 0, 2},
        MoveCase{"IntoARoom", 6, 18, 0, 2, 1, 0, {"INROOM 1,1"}, 6, 19, 2, 1},
        MoveCase{"OntoTheSpot", 12, 17, 0, 1, 9, 0, {"MOVE 12,16,0"}, 12, 16, 10, 0},
        // Out of a room: OUTROOM (direction << 8 | room) and MOVE with the same
        // steps; the nearest doors decide the exit. A second exit is sent as
        // its direction, the MOVE that follows placing the piece on its cell.
        MoveCase{"OutOfRoom4Down", 12, 4, 5, 4, 0, 0, {"OUTROOM 260,3", "MOVE 9,8,3"}, 9, 8, 0, 3},
        MoveCase{"OutOfRoom4Right", 12, 4, 5, 4, 5, 0, {"OUTROOM 772,3", "MOVE 16,5,3"}, 16, 5, 0, 3},
        MoveCase{"OutOfRoom4SecondExit", 12, 4, 5, 4, 7, 0, {"OUTROOM 260,3", "MOVE 14,8,3"}, 14, 8, 0, 3},
        MoveCase{"OutOfRoom0SecondExit", 12, 20, 1, 2, 7, 0, {"OUTROOM 0,1", "MOVE 12,17,1"}, 12, 17, 0, 1},
        // The spot is left by its one way before any routing; toward it, it has arrived.
        MoveCase{"OffTheSpot", 12, 16, 10, 3, 0, 0, {"MOVE 12,17,2"}, 12, 17, 0, 2},
        MoveCase{"OnTheSpotTowardIt", 12, 16, 10, 3, 9, 1, {}, 12, 16, 10, 3},
        // No step left, or no such room (every room of the board has doors).
        MoveCase{"NoStepsLeft", 7, 20, 0, 0, 1, -1, {}, 7, 20, 0, 0},
        MoveCase{"NoSuchRoomAbove", 7, 20, 0, 3, 10, -1, {}, 7, 20, 0, 3},
        MoveCase{"NoSuchRoomBelow", 12, 4, 5, 3, -1, -1, {}, 12, 4, 5, 3}),
    [](const auto& info) { return std::string(info.param.name); });

// Turn functions act only for the turn seat's own script.
TEST_F(Host, TurnFunctionsActOnlyForTheTurnSeatsScript) {
  Dealt();
  Turn(2);
  Place(3, 7, 20, 0, 3, false);
  Place(2, 7, 20, 0, 3, false);
  // Seat 3's script during seat 2's turn: nothing is sent, nothing changes.
  EXPECT_EQ(Call(3, "roll"), 0);
  EXPECT_EQ(Call(3, "done"), 0);
  EXPECT_EQ(Call(3, "go", 1), -1);
  EXPECT_EQ(Call(3, "end1"), -1);
  EXPECT_EQ(Call(3, "here"), -1);
  EXPECT_EQ(Call(3, "accuse", 1, 1, 1), -1);
  EXPECT_TRUE(sender.lines.empty());
  EXPECT_FALSE(core.Seats()[3].HasFlags(kest::ufDiceDone));
  // Not turn-bound.
  EXPECT_EQ(Call(3, "anywhere"), 1);
  // Seat 2's own script rolls, once.
  EXPECT_EQ(Call(2, "roll"), 0);
  EXPECT_EQ(Call(2, "roll"), 0);
  EXPECT_EQ(sender.lines, std::vector<std::string>{Sent("SAIKORO", 10)});
  EXPECT_EQ(Call(2, "done"), 1);
  // After OnInit of the last seat set up, no seat is the turn seat yet.
  sender.lines.clear();
  Line("START 1,0");
  EXPECT_EQ(core.ComputerTurnSeat(), -1);
  EXPECT_EQ(Call(5, "roll"), 0);
  EXPECT_TRUE(sender.lines.empty());
}

// turn_end and turn_end2 are the core's end of a computer player's turn
// (its cases: tests/game/computer_turn_test.cpp), for the script's own seat.
TEST_F(Host, TurnEndEndsTheScriptsOwnTurn) {
  Dealt();
  Turn(2);
  Place(2, 7, 20, 0, 2, true);
  EXPECT_EQ(Call(2, "end1"), 3);  // steps left
  EXPECT_EQ(Call(3, "end1"), -1);  // not its turn
  Place(2, 12, 4, 5, 4, true);
  EXPECT_EQ(Call(2, "end2"), 0);
  EXPECT_EQ(sender.lines, std::vector<std::string>{Sent("TURNEND2", 10)});
  EXPECT_EQ(Call(2, "end1"), -1);  // ended once
  EXPECT_EQ(sender.lines.size(), 1u);
}

TEST_F(Host, TurnEndWithoutAGame) {
  Dealt();
  Turn(2);
  client::TCoreTestAccess::SetState(core, client::gsNoGame);
  Place(2, 12, 4, 5, 0, true);
  EXPECT_EQ(Call(2, "end1"), -1);
  EXPECT_TRUE(sender.lines.empty());
}

struct KokusoCase {
  const char* name;
  bool anywhere;
  int place, x, y;
  int room, person, weapon;
  int result;
  std::vector<std::string> sent;
};

class Kokuso : public Host, public ::testing::WithParamInterface<KokusoCase> {};

TEST_P(Kokuso, AccusesWhereAllowed) {
  const KokusoCase& c = GetParam();
  Dealt();
  Turn(2);
  client::TCoreTestAccess::SetAccuseAnywhere(core, c.anywhere);
  Place(2, c.x, c.y, c.place, 0, false);
  EXPECT_EQ(Call(2, "accuse", c.room, c.person, c.weapon), c.result);
  std::vector<std::string> want;
  for (const auto& l : c.sent) want.push_back(Sent(l, 10));
  EXPECT_EQ(sender.lines, want);
  EXPECT_EQ(core.Seats()[2].HasFlags(kest::ufDiceDone), c.result == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Kokuso,
    ::testing::Values(KokusoCase{"CorridorNotAnywhere", false, 0, 7, 20, 1, 2, 3, -1, {}},
                      KokusoCase{"CorridorAnywhere", true, 0, 7, 20, 1, 2, 3, 0, {"KOKUSOSTART 0", "KOKUSO 1,2,3"}},
                      KokusoCase{"SpotNotAnywhere", false, 10, 12, 16, 8, 0, 5, 0, {"KOKUSOSTART 9", "KOKUSO 8,0,5"}},
                      KokusoCase{"InARoomCancelled", true, 5, 12, 4, -1, 0, 0, 0, {"KOKUSOSTART 4", "KOKUSOCANCEL"}},
                      KokusoCase{"RoomOutOfRange", true, 0, 7, 20, 9, 0, 0, -1, {}},
                      KokusoCase{"PersonOutOfRange", true, 0, 7, 20, 1, 6, 0, -1, {}},
                      KokusoCase{"WeaponOutOfRange", true, 0, 7, 20, 1, 0, -1, -1, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Host, SuggestionsOnlyInARoomOnceATurnAndNeverOut) {
  Dealt();
  Turn(2);
  Place(2, 7, 20, 0, 0, true);
  EXPECT_EQ(Call(2, "suggest", 1, 2), -1);  // the corridor
  Place(2, 12, 16, 10, 0, true);
  EXPECT_EQ(Call(2, "suggest", 1, 2), -1);  // the accusation spot is no room
  Place(2, 12, 4, 5, 0, true);
  EXPECT_EQ(Call(2, "suggest", 6, 2), -1);
  EXPECT_TRUE(sender.lines.empty());
  EXPECT_EQ(Call(2, "here"), 4);
  EXPECT_EQ(Call(2, "suggest", 1, 2), 0);
  EXPECT_EQ(sender.lines, (std::vector<std::string>{Sent("SUIRISTART 4", 10), Sent("SUIRI 4,1,2", 10)}));
  EXPECT_EQ(Call(2, "suggest", 3, 3), -1);
  // The end of a turn with a suggestion asks the people to confirm.
  LineTo("SUIRIEND", 10);
  RunScripts();
  sender.lines.clear();
  EXPECT_EQ(Call(2, "end1"), 0);
  EXPECT_EQ(sender.lines, std::vector<std::string>{Sent("TURNEND", 10)});

  // Out after a wrong accusation: only ending its turn is left.
  Turn(3);
  Place(3, 12, 4, 5, 0, true);
  Line("LOSE 3");
  sender.lines.clear();
  EXPECT_EQ(Call(3, "suggest", 1, 2), -1);
  EXPECT_EQ(Call(3, "accuse", 1, 1, 1), -1);
  Place(3, 7, 20, 0, 3, true);
  EXPECT_EQ(Call(3, "go", 1), -1);
  EXPECT_TRUE(sender.lines.empty());
  EXPECT_EQ(Call(3, "end1"), 0);
  EXPECT_EQ(sender.lines, std::vector<std::string>{Sent("TURNEND", 11)});
}

struct ShowCase {
  const char* name;
  const char* showsel;  // the SHOWSEL line to user 11 (seat 3)
  int plan;             // what the script shows, -100 nothing
  int result;           // show_card's answer
  const char* sent;     // the script's answer, or the host's for it
};

class ShowCard : public Host, public ::testing::WithParamInterface<ShowCase> {};

// The script answers the card asked through the core (which answers it may
// give: tests/game/computer_turn_test.cpp); without a valid answer of its
// own, the host shows the first card it holds.
TEST_P(ShowCard, AnswersTheCardsAsked) {
  const ShowCase& c = GetParam();
  Dealt();
  Turn(2);
  EXPECT_EQ(Call(3, "show", 13), -1);  // nothing asked
  SetGlobal(3, "plan", c.plan);
  LineTo(c.showsel, 11);
  RunScripts();
  if (c.plan > -100) {
    EXPECT_EQ(Global(3, "planned"), c.result);
  }
  EXPECT_EQ(sender.lines, std::vector<std::string>{Sent(c.sent, 11)});
  EXPECT_EQ(Call(3, "show", 13), -1);  // answered once
}

INSTANTIATE_TEST_SUITE_P(Cases, ShowCard,
                         ::testing::Values(ShowCase{"ACardAsked", "SHOWSEL 2,36,13", 13, 0, "SHOW 13"},
                                           ShowCase{"ACardNotAsked", "SHOWSEL 2,36,13", 22, -1, "SHOW 36"},
                                           ShowCase{"NoAnswer", "SHOWSEL 1,22", -100, 0, "SHOW 22"},
                                           ShowCase{"NoAnswerHoldingNone", "SHOWSEL 0", -100, 0, "SHOW NO"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Host, ValuesTextsAndFormatting) {
  Dealt();
  Turn(2);
  EXPECT_EQ(Call(2, "cell", 12, 16), 0x19);
  EXPECT_EQ(Call(2, "cell", 0, 0), 1);
  EXPECT_EQ(Call(2, "cell", -1, 3), 1);
  EXPECT_EQ(Call(2, "cell", 3, 25), 1);
  EXPECT_EQ(Call(2, "random", 0), 0);
  EXPECT_EQ(Call(2, "random", -5), 0);
  for (int i = 0; i < 20; ++i) {
    int r = Call(2, "random", 3);
    EXPECT_TRUE(r >= 0 && r < 3) << r;
  }
  EXPECT_EQ(Call(2, "root", 17), 4);
  EXPECT_EQ(Call(2, "root", 16), 4);
  EXPECT_EQ(Call(2, "root", -4), 0);
  EXPECT_EQ(Call(2, "number", -7), '-');
  zedi::VmSpace& vm = zedi::VmSpace::Get();
  auto text = [&](int addr) { return std::string(reinterpret_cast<const char*>(vm.Ptr(uint32_t(addr)))); };
  EXPECT_EQ(text(Call(2, "name", 1)), "bob");
  EXPECT_EQ(text(Call(2, "name", 6)), "");
  EXPECT_EQ(text(Call(2, "name", -1)), "");
  // Formatting stops at the end of the block it writes into: "alice" has six bytes.
  int alice = Call(2, "name", 0);
  EXPECT_EQ(Call(2, "format", alice, 1234567), 15);
  EXPECT_EQ(text(alice), "<1234567|123456");
  EXPECT_EQ(scLast_Error, 0);
}

TEST_F(Host, ChatTextCannotLeaveItsField) {
  Dealt();
  Turn(2);
  const std::string BS = coretest::BS;
  // BS, CR, LF and NUL are removed, and a lead byte that loses its trail
  // byte so; a whole character stays.
  Call(3, "talk", 8, 13, 10);
  Call(3, "talk", 0x82, 8, 0);
  Call(3, "talk", 0x82, 0xa0, 'w');
  ASSERT_EQ(sender.lines.size(), 3u);
  EXPECT_EQ(sender.lines[0], Sent("CHAT 1," + BS + "xz!" + BS, 11));
  EXPECT_EQ(sender.lines[1], Sent("CHAT 1," + BS + "xz!" + BS, 11));
  EXPECT_EQ(sender.lines[2], Sent("CHAT 1," + BS + "x\x82\xa0zw!" + BS, 11));
  sender.lines.clear();
  // At most 1023 bytes, cut between characters.
  Call(3, "talklong", 1090, 'b');
  Call(3, "talklong", 1023, 0x82);
  ASSERT_EQ(sender.lines.size(), 2u);
  EXPECT_EQ(sender.lines[0], Sent("CHAT 1," + BS + std::string(1023, 'a') + BS, 11));
  EXPECT_EQ(sender.lines[1], Sent("CHAT 1," + BS + std::string(1022, 'a') + BS, 11));
}

// Two main windows in one process: each script acts for its own table.
TEST_F(Host, EachScriptActsForItsOwnHost) {
  coretest::Sender otherSender;
  coretest::View otherView;
  client::TGameCore other(otherSender, otherView);
  npc::TScriptHost otherHost(other, dir.string(), {});
  other.SetScriptEvents(&otherHost);
  Dealt();
  Turn(2);
  EXPECT_EQ(Call(2, "roll"), 0);
  EXPECT_EQ(sender.lines, std::vector<std::string>{Sent("SAIKORO", 10)});
  EXPECT_TRUE(otherSender.lines.empty());
  other.SetScriptEvents(nullptr);
}

TEST_F(Host, TheVerdictIsTheServersOnly) {
  Dealt();
  Turn(2);
  EXPECT_EQ(Call(2, "verdict", 1), -1);
  EXPECT_TRUE(sender.lines.empty());
}

}  // namespace
