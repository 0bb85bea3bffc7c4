#include <gtest/gtest.h>

#include <stdexcept>

#include "LineQueue.h"
#include "LoopGuard.h"

namespace {

using client::TLineArrival;
using client::TLineQueue;

// Past its bound in bytes the queue lets chat go, oldest first; a game line
// always stays, even past the bound.
TEST(LineQueue, BoundedByBytesDropsOnlyChat) {
  const std::string hello = "PRINT \x08hello\x08:3\r", again = "PRINT \x08again\x08:3\r";
  const std::string turn = "TURN 2:3\r", wait = "SHOWWAIT 1:3\r", move = "MOVE 1,2,3,4:3\r";
  TLineQueue q(hello.size() + turn.size() + wait.size());
  EXPECT_FALSE(q.Pop());
  EXPECT_TRUE(q.Push(hello).empty());
  EXPECT_TRUE(q.Push(turn).empty());
  EXPECT_TRUE(q.Push(wait).empty());  // exactly at the bound
  EXPECT_EQ(q.Push(again), std::vector<std::string>{hello});
  EXPECT_EQ(q.Push(move), std::vector<std::string>{again});
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(q.Push(move).empty());  // game lines past the bound
  EXPECT_EQ(q.Bytes(), turn.size() + wait.size() + 5 * move.size());
  EXPECT_EQ(*q.Pop(), turn);
  EXPECT_EQ(*q.Pop(), wait);
  EXPECT_EQ(q.Count(), 5);
}

// An arrival harness: scripts "run" while scriptsLeft > 0; each pump takes
// one step off and may deliver a line from the socket (nested arrival).
struct Harness {
  std::vector<std::string> dispatched;
  std::vector<std::string> log;
  int scriptsLeft = 0;
  bool closing = false;
  int pumps = 0;
  std::vector<std::string> arriveDuringPump;
  std::function<void(const std::string&)> onDispatch;
  std::function<void()> onPump;  // after each pump's line
  std::unique_ptr<TLineArrival> arrival;

  Harness() {
    arrival = std::make_unique<TLineArrival>(TLineArrival::Hooks{
        [this](const std::string& l) {
          dispatched.push_back(l);
          if (onDispatch) onDispatch(l);
        },
        [this] { return scriptsLeft > 0; },
        [this] { return closing; },
        [this] {
          ++pumps;
          if (!arriveDuringPump.empty()) {
            std::string l = arriveDuringPump.front();
            arriveDuringPump.erase(arriveDuringPump.begin());
            arrival->LineArrived(l);
          }
          if (onPump) onPump();
          if (scriptsLeft > 0) --scriptsLeft;
        },
        [this](const std::string& m) { log.push_back(m); }});
  }
};

TEST(LineArrival, NoScriptDispatchesAtOnce) {
  Harness h;
  h.arrival->LineArrived("A:1");
  EXPECT_EQ(h.dispatched, std::vector<std::string>{"A:1"});
  EXPECT_EQ(h.pumps, 0);
}

TEST(LineArrival, LinesWaitForScriptsAndKeepOrder) {
  Harness h;
  h.scriptsLeft = 3;
  h.arriveDuringPump = {"B", "C"};
  h.arrival->LineArrived("A");
  EXPECT_EQ(h.dispatched, (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(h.pumps, 3);  // only the outer arrival pumped
}

// A burst of chat while a script waits costs chat only: every game line
// behind it is dispatched, in order, and each dropped chat line is logged.
TEST(LineArrival, ABurstOfChatNeverDropsAGameLine) {
  Harness h;
  h.scriptsLeft = 1000;
  std::string chat = "PRINT \x08" + std::string(60000, 'x') + "\x08:3\r";
  for (int i = 0; i < 300; ++i) h.arriveDuringPump.push_back(i % 50 == 49 ? "TURN " + std::to_string(i) : chat);
  h.arrival->LineArrived("first");
  std::vector<std::string> game;
  for (const auto& l : h.dispatched)
    if (l.rfind("PRINT", 0) != 0) game.push_back(l);
  EXPECT_EQ(game, (std::vector<std::string>{"first", "TURN 49", "TURN 99", "TURN 149", "TURN 199", "TURN 249",
                                            "TURN 299"}));
  EXPECT_LT(h.dispatched.size(), 300u);  // chat went
  ASSERT_FALSE(h.log.empty());
  EXPECT_EQ(h.log.size() + h.dispatched.size(), 301u);
  EXPECT_EQ(h.log.front().rfind("line queue full, chat dropped: PRINT", 0), 0u) << h.log.front().substr(0, 60);
}

// A handler that closes the connection makes the socket deliver its last
// line from inside the handler: the nested arrival must queue it and return,
// the outer call then dispatches it next.
TEST(LineArrival, LineArrivingInsideHandlerIsDispatchedNextWithoutHanging) {
  Harness h;
  h.onDispatch = [&h](const std::string& l) {
    if (l == "ERR LOCKED") h.arrival->LineArrived(":5");
  };
  h.arrival->LineArrived("ERR LOCKED");
  h.arrival->LineArrived("NEXT");
  EXPECT_EQ(h.dispatched, (std::vector<std::string>{"ERR LOCKED", ":5", "NEXT"}));
  EXPECT_FALSE(h.arrival->Dispatching());
}

// A line arriving while a handler runs a script and pumps is queued too and
// does not wait on the script itself.
TEST(LineArrival, NestedArrivalWhileScriptsRunNeverPumps) {
  Harness h;
  h.onDispatch = [&h](const std::string& l) {
    if (l == "START") {
      h.scriptsLeft = 2;
      h.arrival->LineArrived("TURN 0");  // arrives while the handler pumps
    }
  };
  h.arrival->LineArrived("START");
  EXPECT_EQ(h.dispatched, (std::vector<std::string>{"START", "TURN 0"}));
  EXPECT_EQ(h.pumps, 0);
}

TEST(LineArrival, HandlerExceptionIsReportedAndNextLineHandled) {
  Harness h;
  std::vector<std::string> reported;
  plat::SetErrorReporter([&](const std::string& m) { reported.push_back(m); });
  h.onDispatch = [](const std::string& l) {
    if (l == "BAD") throw std::runtime_error("boom");
  };
  h.arrival->LineArrived("BAD");
  h.arrival->LineArrived("GOOD");
  plat::SetErrorReporter(nullptr);
  EXPECT_EQ(h.dispatched, (std::vector<std::string>{"BAD", "GOOD"}));
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_NE(reported[0].find("boom"), std::string::npos);
  EXPECT_FALSE(h.arrival->Dispatching());
}

// Once the window begins closing, the waiting lines stay where they are,
// the first one and the one that arrived while the scripts ran.
TEST(LineArrival, AfterCloseWaitingLinesAreNotDispatched) {
  Harness h;
  h.scriptsLeft = 1000;
  h.arriveDuringPump = {"B"};
  h.onPump = [&h] { h.closing = true; };
  h.arrival->LineArrived("A");
  EXPECT_TRUE(h.arriveDuringPump.empty());  // B has arrived
  EXPECT_TRUE(h.dispatched.empty());
  EXPECT_EQ(h.pumps, 1);
  EXPECT_EQ(h.arrival->Queue().Count(), 2);
}

// A lost connection discards the lines that wait for the scripts: none of
// them is dispatched, the wait ends at once although the scripts still run,
// and the next connection's lines are dispatched as they arrive.
TEST(LineArrival, DiscardedLinesAreNeverDispatchedAndTheWaitEnds) {
  Harness h;
  h.scriptsLeft = 1000;
  h.arriveDuringPump = {"ERR SAMENAME", "BYE"};
  h.onPump = [&h] {
    if (h.pumps == 2) {
      EXPECT_TRUE(h.arrival->Busy());
      h.arrival->Discard();
    }
  };
  h.arrival->LineArrived("TURN 1");
  EXPECT_TRUE(h.dispatched.empty());
  EXPECT_EQ(h.pumps, 2);
  EXPECT_FALSE(h.arrival->Busy());
  EXPECT_TRUE(h.arrival->Queue().Empty());
  h.scriptsLeft = 0;
  h.arrival->LineArrived("LOGIN:9");
  EXPECT_EQ(h.dispatched, std::vector<std::string>{"LOGIN:9"});
}

}  // namespace
