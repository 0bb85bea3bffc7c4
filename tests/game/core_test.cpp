// The game core's decisions, without a window.
#include "CoreFixture.h"

namespace {

using namespace client;
using coretest::BS;
using coretest::Core;

TEST_F(Core, SeatsLookupsAndTheHostsComputerPlayers) {
  Seated(0, 1);
  EXPECT_EQ(core.MySeat(), 0);
  EXPECT_EQ(core.PlayerCount(), 6);
  EXPECT_EQ(core.SlotOfUser(4), 1);
  EXPECT_EQ(core.SlotOfUser(12), 4);
  EXPECT_EQ(core.SlotOfUser(99), -1);
  EXPECT_EQ(core.ComputerSeatOf(12), 4);
  EXPECT_EQ(core.ComputerSeatOf(4), -1);  // a human
  EXPECT_EQ(core.UserList(), (std::vector<std::string>{"alice", "bob", "c2", "c3", "c4", "c5"}));

  // Copies for the host's computer players raise their scripts' events.
  Line("START 1,0");
  LineTo("CARD 2,12,33", 10);
  LineTo("TURN 2", 10);
  LineTo("TURN 3", 10);  // not its turn
  LineTo("INROOM 2,4,0", 10);
  EXPECT_EQ(scripts.events, (std::vector<std::string>{"2:OnInit", "2:OnTurn", "2:OnInRoom"}));
  EXPECT_EQ(core.Seats()[2].hand.CardCount(), 2);
}

// Only the host (seat 0) runs the computer players.
TEST_F(Core, AnotherSeatRaisesNoScriptEvents) {
  Seated(1, 1);
  EXPECT_EQ(core.ComputerSeatOf(10), -1);
  Line("START 1,0");
  LineTo("TURN 2", 10);
  EXPECT_TRUE(scripts.events.empty());
}

TEST_F(Core, TurnRollAndWalk) {
  Started();
  Line("TURN 0");
  EXPECT_TRUE(core.Controls().Move.enabled);
  EXPECT_TRUE(core.Controls().Kokuso.enabled);
  EXPECT_FALSE(core.Controls().Arrows[kUp]);
  core.MoveButtonClick();
  EXPECT_EQ(Last(), Sent("SAIKORO"));
  EXPECT_FALSE(core.Controls().Move.enabled);
  Roll(2);
  EXPECT_EQ(core.State(), gsIdle);
  EXPECT_EQ(core.Walk().steps, 2);
  EXPECT_EQ(core.Timer().Interval(), 33);
  core.ArrowButtonClick(kUp);
  EXPECT_EQ(Last(), Sent("MOVE 7,23,1"));
  EXPECT_FALSE(core.Controls().Arrows[kUp]);  // until the server's echo
  Line("MOVE 0,7,23,1");
  EXPECT_TRUE(core.Controls().Arrows[kUp]);
  EXPECT_FALSE(core.Controls().Out.enabled);
  core.ArrowButtonClick(kUp);
  Line("MOVE 0,7,22,0");
  EXPECT_TRUE(core.Controls().Out.enabled);
  core.OutButtonClick();
  EXPECT_EQ(Last(), Sent("TURNEND"));

  Line("TURN 1");
  EXPECT_FALSE(core.Controls().Move.enabled);
  EXPECT_FALSE(core.Controls().Kokuso.enabled);
}

TEST_F(Core, LobbyListsAndRooms) {
  LogIn();
  EXPECT_EQ(core.State(), gsNoGame);
  EXPECT_EQ(sender.lines, (std::vector<std::string>{"LOGIN " + BS + "alice" + BS + "," + BS + "alice_face" + BS + ":0",
                                                    Sent("CHROOM 1")}));
  Line("ROOM 2,1,5");
  EXPECT_TRUE(core.RoomRows()[2].playing);
  Line("ROOM 3,0,4");
  core.InButtonClick(3);  // at a table the room list does not show
  EXPECT_EQ(Last(), Sent("CHROOM 1"));
  Line("CHROOM 0," + BS + "alice" + BS);
  EXPECT_TRUE(core.Controls().Lobby);
  core.InButtonClick(2);  // five members: full
  EXPECT_EQ(Last(), Sent("CHROOM 1"));
  core.InButtonClick(3);
  EXPECT_EQ(Last(), Sent("CHROOM 3"));
  core.RoomViewSelectItem(4);
  core.RoomViewSelectItem(5);  // one question at a time
  EXPECT_EQ(Last(), Sent("RUSER 4"));
  Line("ADDUSER2 " + BS + "zed" + BS + ",4," + BS + "f" + BS);
  Line("RUSEREND");
  EXPECT_EQ(core.UserList(), std::vector<std::string>{"zed"});
  core.RoomViewSelectItem(5);
  EXPECT_EQ(Last(), Sent("RUSER 5"));
}

}  // namespace
