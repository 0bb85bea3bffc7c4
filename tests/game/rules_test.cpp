// The board's rules without a window: tables, routing, walking, the die and
// the animation steps.
#include <gtest/gtest.h>

#include <set>

#include "Die.h"
#include "GameRules.h"
#include "StartCells.h"

namespace {

using namespace client;

uint16_t Code(int x, int y) { return BoardMap[CellIndex(x, y)]; }

TEST(BoardTables, DoorsAndSpotDecode) {
  int doors = 0, spots = 0, corridor = 0;
  std::set<int> rooms;
  for (int y = 0; y < BoardHeight; ++y)
    for (int x = 0; x < BoardWidth; ++x) {
      uint16_t c = Code(x, y);
      if (c == 0) ++corridor;
      if (c <= 1) continue;
      int room = DoorRoom(c);
      int bits = c & 0xF0;
      EXPECT_TRUE(bits == 0x10 || bits == 0x20 || bits == 0x40 || bits == 0x80) << x << "," << y;
      if (room == kSpotRoom) {
        ++spots;
        EXPECT_EQ(x, 12);
        EXPECT_EQ(y, 16);
        EXPECT_EQ(bits, ArrowBit(arUp));
      } else {
        ASSERT_LE(room, 8);
        rooms.insert(room);
        ++doors;
      }
    }
  EXPECT_EQ(doors, 17);
  EXPECT_EQ(spots, 1);
  EXPECT_EQ(corridor, 188);
  EXPECT_EQ(rooms.size(), 9u);
}

// Every exit (and second exit) is the corridor cell in front of one of the
// room's doors: a step from it by the opposite arrow enters that door.
TEST(BoardTables, ExitsNextToTheirDoors) {
  for (int room = 0; room < 9; ++room)
    for (int dir = 0; dir < 4; ++dir)
      for (bool second : {false, true}) {
        int x, y;
        if (!ExitCell(room, dir, second, x, y)) continue;
        EXPECT_EQ(Code(x, y), 0) << room << " " << dir;
        int back = OppositeArrow(dir);
        int dx = back == arLeft ? -1 : back == arRight ? 1 : 0;
        int dy = back == arUp ? -1 : back == arDown ? 1 : 0;
        uint16_t door = Code(x + dx, y + dy);
        EXPECT_EQ(DoorRoom(door), room) << room << " " << dir << " " << second;
        EXPECT_TRUE(door & ArrowBit(back)) << room << " " << dir;
      }
  int x, y;
  EXPECT_TRUE(ExitCell(0, arUp, true, x, y));
  EXPECT_EQ(x, 12);
  EXPECT_TRUE(ExitCell(4, arDown, true, x, y));
  EXPECT_EQ(x, 14);
  EXPECT_FALSE(ExitCell(1, arDown, false, x, y));
  EXPECT_FALSE(ExitCell(1, arUp, true, x, y));
  for (const TCell& c : kPlayerStartCells) EXPECT_EQ(Code(c.x, c.y), 0);
}

// From every corridor cell each target is reached by following the table:
// each step one cell nearer, never onto a wall, doors only by their arrow.
TEST(RouteTable, LeadsEveryCorridorCellToEveryTarget) {
  const TRouteTable& t = RouteTable();
  for (int target = 0; target < 10; ++target) {
    for (int start = 0; start < 600; ++start) {
      if (BoardMap[start] != 0) {
        EXPECT_EQ(t[target][start], BoardMap[start]);
        continue;
      }
      int x = start % BoardWidth, y = start / BoardWidth;
      int steps = 0;
      for (;;) {
        uint16_t d = t[target][CellIndex(x, y)];
        ASSERT_LE(d, 3) << "target " << target << " at " << x << "," << y;
        int nx = x + (d == arLeft ? -1 : d == arRight ? 1 : 0);
        int ny = y + (d == arUp ? -1 : d == arDown ? 1 : 0);
        ASSERT_TRUE(OnBoard(nx, ny));
        uint16_t code = Code(nx, ny);
        ASSERT_NE(code, 1) << "wall at " << nx << "," << ny;
        ++steps;
        ASSERT_LT(steps, 200);
        x = nx, y = ny;
        if (code != 0) {
          EXPECT_EQ(DoorRoom(code), target);
          EXPECT_TRUE(code & ArrowBit(d));
          break;
        }
      }
    }
  }
}

// One table of walks: a start, arrows pressed in turn, and what the last
// press sends ("" when nothing happens).
struct WalkCase {
  const char* name;
  int x, y, place, steps, wayBack;
  std::vector<std::pair<int, bool>> arrows;
  std::string lastLine;
  int endSteps;
};

class Walking : public ::testing::TestWithParam<WalkCase> {};

TEST_P(Walking, Case) {
  const WalkCase& c = GetParam();
  TWalk w;
  w.x = c.x, w.y = c.y, w.place = c.place, w.steps = c.steps, w.wayBack = c.wayBack;
  w.SeedMarks();
  TWalkResult r;
  for (auto [tag, second] : c.arrows) r = ArrowStep(w, tag, second);
  EXPECT_EQ(r.line, c.lastLine);
  EXPECT_EQ(w.steps, c.endSteps);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Walking,
    ::testing::Values(
        WalkCase{"CorridorStep", 7, 24, 0, 3, -1, {{arUp, false}}, "MOVE 7,23,2", 2},
        WalkCase{"IntoWall", 7, 24, 0, 3, -1, {{arLeft, false}}, "", 3},
        WalkCase{"OffBoard", 7, 24, 0, 3, -1, {{arDown, false}}, "", 3},
        WalkCase{"NoStepsLeft", 7, 24, 0, 0, -1, {{arUp, false}}, "", 0},
        WalkCase{"TakeBackGivesStep", 7, 24, 0, 1, -1, {{arUp, false}, {arDown, false}}, "MOVE 7,24,1", 1},
        WalkCase{"OlderPathCellRefused", 7, 22, 0, 4, -1,
                 {{arDown, false}, {arRight, false}, {arUp, false}, {arLeft, false}}, "", 1},
        WalkCase{"FromADoorCellIntoTheWall", 7, 12, 0, 2, -1, {{arLeft, false}}, "", 2},
        WalkCase{"DoorEntered", 8, 12, 0, 2, -1, {{arLeft, false}}, "INROOM 2,1", 1},
        WalkCase{"DoorFromWrongSide", 16, 21, 0, 2, -1, {{arRight, false}}, "", 2},
        WalkCase{"SpotFromBelow", 12, 17, 0, 2, -1, {{arUp, false}}, "MOVE 12,16,1", 1},
        WalkCase{"SpotNotFromSide", 11, 16, 0, 2, -1, {{arRight, false}}, "", 2},
        WalkCase{"LeaveRoom", 0, 0, 3, 2, -1, {{arRight, false}}, "OUTROOM 770,1", 1},
        WalkCase{"LeaveNoExitThatWay", 0, 0, 3, 2, -1, {{arUp, false}}, "", 2},
        WalkCase{"LeaveBySecondExit", 0, 0, 1, 2, -1, {{arUp, true}}, "OUTROOM 4096,1", 1},
        WalkCase{"LeaveRoom4SecondDown", 0, 0, 5, 2, -1, {{arDown, true}}, "OUTROOM 4356,1", 1},
        WalkCase{"WayBackOnly", 0, 0, 3, 2, arDown, {{arRight, false}}, "", 2},
        WalkCase{"WayBackAllows", 0, 0, 3, 2, arDown, {{arDown, false}}, "OUTROOM 258,1", 1},
        WalkCase{"WayBackSecondOnly", 0, 0, 1, 2, arUp + kSecondExit, {{arUp, false}}, "", 2},
        WalkCase{"SecondClickWalksOn", 0, 0, 3, 3, -1, {{arRight, false}, {arDown, false}}, "MOVE 8,13,1", 1},
        WalkCase{"OutAndBackIn", 0, 0, 3, 2, -1, {{arRight, false}, {arLeft, false}}, "INROOM 2,2", 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Walking, EnteringSetsWayBackAndMarksDoors) {
  TWalk w;
  w.x = 11, w.y = 17, w.steps = 3;
  w.SeedMarks();
  TWalkResult r = ArrowStep(w, arDown, false);
  EXPECT_EQ(r.kind, TWalkResult::InRoom);
  EXPECT_EQ(w.wayBack, arUp);
  EXPECT_FALSE(w.secondDoor);
  EXPECT_EQ(w.marks[CellIndex(11, 18)], 1);
  EXPECT_EQ(w.marks[CellIndex(12, 18)], 1);
  EXPECT_EQ(w.marks[CellIndex(14, 20)], 1);
  EXPECT_EQ(w.marks[CellIndex(11, 17)], 2);

  TWalk v;
  v.x = 12, v.y = 17, v.steps = 3;
  v.SeedMarks();
  ArrowStep(v, arDown, false);
  EXPECT_TRUE(v.secondDoor);
  EXPECT_EQ(v.wayBack, arUp + kSecondExit);

  // Leaving the spot is reported, reaching it too.
  TWalk s;
  s.x = 12, s.y = 17, s.steps = 3;
  s.SeedMarks();
  EXPECT_TRUE(ArrowStep(s, arUp, false).onSpot);
  EXPECT_TRUE(ArrowStep(s, arDown, false).leftSpot);
}

TEST(Die, EveryRollFromEveryFace) {
  for (int start = 0; start < 6; ++start)
    for (int roll = 1; roll <= 6; ++roll) {
      TAnimTimer timer;
      timer.Stop();  // 33 ms, as every later roll starts
      TDie d(timer, start);
      d.Start(roll);
      EXPECT_TRUE(timer.Active());
      std::vector<int> shown;
      int s;
      while (d.Tick(&s)) {
        shown.push_back(s);
        ASSERT_LT(shown.size(), 30u);
      }
      shown.push_back(s);
      EXPECT_GE(shown.size(), 10u);
      EXPECT_LE(shown.size(), 15u);
      EXPECT_EQ(shown.back(), roll) << "start " << start;
      EXPECT_EQ(d.Face(), roll - 1);
      EXPECT_EQ(timer.Interval(), 33);
      EXPECT_FALSE(timer.Active());
      for (size_t i = 1; i < shown.size(); ++i) EXPECT_EQ(shown[i], shown[i - 1] % 6 + 1);
    }
}

TEST(Die, SlowsDownUpToTwoSeconds) {
  TAnimTimer timer;
  timer.Start(1995);
  TDie d(timer);
  d.Start(3);
  int s;
  d.Tick(&s);
  EXPECT_EQ(timer.Interval(), 2005);
  d.Tick(&s);
  EXPECT_EQ(timer.Interval(), 2005);
}

TEST(Animations, CaptionWidthAndCardSlide) {
  EXPECT_EQ(CaptionWidth(12, 10), 12 * 8 + 32);
  EXPECT_EQ(CaptionWidth(12, 0), 0);
  EXPECT_EQ(CaptionWidth(12, 5), 64);
  EXPECT_EQ(SlideLeft(64, 108, 0), 176);
  EXPECT_EQ(SlideLeft(64, 108, 10), 108);
  EXPECT_EQ(SlideLeft(64, 260, 5), 218);
}

}  // namespace
