// The own walk against the server's copies of its steps arriving late: a
// player who clicks ahead (leaving a room does not wait for the copy, and any
// copy enables the arrows again) must never be taken back to an older cell by
// a late copy, gain steps beyond the roll, or end up on a door while the
// client holds it in the corridor.
#include <deque>
#include <random>

#include "BoardTables.h"
#include "CoreFixture.h"
#include "GameRules.h"

namespace coretest {
using namespace client;

TEST_F(Core, ClicksAheadOfTheServersCopiesKeepTheWalkWhole) {
  Started();
  size_t seen = 0;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    std::mt19937 rng(seed);
    std::deque<std::string> copies;  // the server's copies of the own moves, not yet arrived
    std::string log, fault;
    int rolled = 0;
    // The lines the core sent since the last look: moves become copies to
    // deliver; true once the turn was ended.
    auto look = [&] {
      bool ended = false;
      for (; seen < sender.lines.size(); ++seen) {
        std::string l = sender.lines[seen].substr(0, sender.lines[seen].rfind(':'));
        log += "    sent " + l + "\n";
        size_t space = l.find(' ');
        std::string word = l.substr(0, space);
        if (word == "TURNEND") ended = true;
        if (word != "MOVE" && word != "INROOM" && word != "OUTROOM") continue;
        std::string args = l.substr(space + 1);
        copies.push_back(word + " 0," + args);
        if (std::stoi(args.substr(args.rfind(',') + 1)) > rolled) fault = "more steps than the roll: " + l;
      }
      return ended;
    };
    auto deliver = [&] {
      log += "  < " + copies.front() + "\n";
      Line(copies.front());
      copies.pop_front();
    };
    for (int turn = 0; turn < 30; ++turn) {
      Line("TURN 0");
      core.MoveButtonClick();
      rolled = 1 + int(rng() % 6);
      Roll(rolled);
      look();
      log += "turn " + std::to_string(turn) + " roll " + std::to_string(rolled) + "\n";
      bool ended = false;
      for (int a = 0; a < 60 && !ended; ++a) {
        int pick = int(rng() % 6);
        if (pick == 5 && !copies.empty()) {
          deliver();
        } else if (pick == 4 && core.Controls().Out.enabled) {
          core.OutButtonClick();
        } else if (pick < 4 && core.Controls().Arrows[pick]) {
          core.ArrowButtonClick(pick);
        }
        ended = look();
        ASSERT_TRUE(fault.empty()) << "seed " << seed << ": " << fault << "\n" << log;
      }
      while (!copies.empty()) deliver();
      if (!ended && core.Controls().Out.enabled) core.OutButtonClick();
      look();
      copies.clear();
      // Every copy in: the piece is where the walk is.
      if (core.Walk().place == 0) {
        uint16_t code = BoardMap[CellIndex(core.Walk().x, core.Walk().y)];
        ASSERT_TRUE(code == 0 || DoorRoom(code) == kSpotRoom)
            << "seed " << seed << ": in the corridor on a door " << core.Walk().x << "," << core.Walk().y << "\n" << log;
        ASSERT_EQ(core.Seats()[0].X(), core.Walk().x) << "seed " << seed << "\n" << log;
        ASSERT_EQ(core.Seats()[0].Y(), core.Walk().y) << "seed " << seed << "\n" << log;
      } else {
        ASSERT_EQ(core.Seats()[0].GetPlace(), core.Walk().place) << "seed " << seed << "\n" << log;
      }
      log.clear();
    }
  }
}

}  // namespace coretest
