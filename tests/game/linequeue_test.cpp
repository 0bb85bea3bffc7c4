#include <gtest/gtest.h>

#include <stdexcept>

#include "LineQueue.h"
#include "LoopGuard.h"

namespace {

using client::TLineArrival;
using client::TLineQueue;

TEST(LineQueue, RingHoldsCapacityMinusOne) {
  TLineQueue q(4);
  EXPECT_FALSE(q.Pop());
  EXPECT_TRUE(q.Push("a"));
  EXPECT_TRUE(q.Push("b"));
  EXPECT_TRUE(q.Push("c"));
  EXPECT_FALSE(q.Push("d"));
  EXPECT_EQ(*q.Pop(), "a");
  EXPECT_TRUE(q.Push("e"));  // wraps around
  EXPECT_EQ(*q.Pop(), "b");
  EXPECT_EQ(*q.Pop(), "c");
  EXPECT_EQ(*q.Pop(), "e");
  EXPECT_TRUE(q.Empty());
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

TEST(LineArrival, FullQueueDropsAndLogs) {
  Harness h;
  h.scriptsLeft = 1000;
  for (int i = 0; i < 256; ++i) h.arriveDuringPump.push_back("L" + std::to_string(i));
  h.arrival->LineArrived("first");
  // first + 254 more fit (255 waiting); the 256th waiting line is lost.
  ASSERT_EQ(h.dispatched.size(), 255u);
  EXPECT_EQ(h.dispatched.front(), "first");
  EXPECT_EQ(h.dispatched.back(), "L253");
  ASSERT_FALSE(h.log.empty());
  EXPECT_NE(h.log.front().find("L254"), std::string::npos);
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

TEST(LineArrival, AfterCloseWaitingLinesAreNotDispatched) {
  Harness h;
  h.scriptsLeft = 1000;
  int pumps = 0;
  h.arriveDuringPump = {"B"};
  // closing flips after the first pump
  h.arrival = std::make_unique<TLineArrival>(TLineArrival::Hooks{
      [&h](const std::string& l) { h.dispatched.push_back(l); },
      [&h] { return h.scriptsLeft > 0; },
      [&h] { return h.closing; },
      [&h, &pumps] {
        ++pumps;
        h.closing = true;
      },
      nullptr});
  h.arrival->LineArrived("A");
  EXPECT_TRUE(h.dispatched.empty());
  EXPECT_EQ(pumps, 1);
  EXPECT_EQ(h.arrival->Queue().Count(), 1);
}

}  // namespace
