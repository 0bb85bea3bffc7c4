// Time slices of the seats' events: waits, events of one seat in a row, lines
// held while a script runs, and scripts that fail or never return, for which
// the host makes the smallest legal move.
#include "HostFixture.h"
#include "LineQueue.h"

namespace {

using hosttest::Host;

std::string Player(const std::string& body) {
  return "#include game\nint gMyIndex;\nint gMyUserId;\nint n;\nint m;\nint log[4];\nint k;\n"
         "void Bad() { int *p; p = 0; *p = 1; }\n" +
         body +
         "\nexport gMyIndex;\nexport gMyUserId;\nexport n;\nexport m;\nexport log;\nexport k;\n"
         "export OnTurn;\nexport OnOtherSuiriCheck;\n";
}

std::string WithEvents(const std::string& body, const std::vector<std::string>& events) {
  std::string s = Player(body);
  for (const auto& e : events) s += "export " + e + ";\n";
  return s;
}

TEST_F(Host, WaitPausesTheCallingScriptForItsTicks) {
  Script("c2", WithEvents("void OnTurn() { n = 1; wait(3); n = 2; }\n"
                          "void OnOtherSuiriCheck(int a, int b, int c) { }\n"
                          "void OnOtherSuiri(int s, int r, int p, int w) { m = 1; wait(0); m = 2; wait(-1); m = 3; }\n",
                          {"OnOtherSuiri"}));
  Script("c3", WithEvents("void OnTurn() { }\nvoid OnOtherSuiriCheck(int a, int b, int c) { }\n"
                          "void OnOtherSuiri(int s, int r, int p, int w) { wait(2); m = 1; }\n",
                          {"OnOtherSuiri"}));
  Dealt();
  Line("TURN 2");
  LineTo("TURN 2", 10);
  EXPECT_TRUE(timerOn);
  for (int pass = 0; pass < 3; ++pass) {
    host->ScriptTimerTimer();
    EXPECT_EQ(Global(2, "n"), 1);
  }
  EXPECT_NE(host->RunningMask(), 0);
  host->ScriptTimerTimer();
  EXPECT_EQ(Global(2, "n"), 2);
  EXPECT_EQ(host->RunningMask(), 0);
  EXPECT_FALSE(timerOn);

  // A wait of no ticks does not pause; a wait by a seat that is not the turn
  // seat pauses that seat's own script.
  LineTo("SUIRI 2,1,12,2", 10);
  LineTo("SUIRI 2,1,12,2", 11);
  host->ScriptTimerTimer();
  EXPECT_EQ(Global(2, "m"), 3);
  EXPECT_EQ(scGet_Instance_Status(Inst(2)), scstatus_FREE);
  EXPECT_EQ(scGet_Instance_Status(Inst(3)), scstatus_PAUSED);
  EXPECT_EQ(host->ScriptWaitTicks[3], 1);
  RunScripts();
  EXPECT_EQ(Global(3, "m"), 1);

  // At the fast pace a wait lasts one tick.
  host->SetFastPace(true);
  Line("TURN 2");
  LineTo("TURN 2", 10);
  host->ScriptTimerTimer();
  EXPECT_EQ(Global(2, "n"), 1);
  host->ScriptTimerTimer();
  EXPECT_EQ(Global(2, "n"), 2);
  EXPECT_EQ(host->RunningMask(), 0);
}

// One wait pauses at most five seconds: a longer one is cut to that, and the
// cut is reported once per seat.
TEST_F(Host, ALongWaitIsCutToFiveSecondsAndReportedOncePerSeat) {
  Script("c2", WithEvents("void OnTurn() { }\nvoid OnOtherSuiriCheck(int a, int b, int c) { }\n"
                          "void OnOtherSuiri(int s, int r, int p, int w) { m = 1; wait(30000); m = 2; wait(9999); m = 3; }\n",
                          {"OnOtherSuiri"}));
  Script("c3", WithEvents("void OnTurn() { }\nvoid OnOtherSuiriCheck(int a, int b, int c) { }\n"
                          "void OnOtherSuiri(int s, int r, int p, int w) { m = 1; wait(150); m = 2; wait(151); m = 3; }\n",
                          {"OnOtherSuiri"}));
  Dealt();
  Turn(2);
  logs.clear();
  LineTo("SUIRI 2,1,12,2", 10);
  LineTo("SUIRI 2,1,12,2", 11);
  // Both seats go on at the same pass, each time: seat 2's waits last as long
  // as seat 3's wait(150).
  for (int want = 2; want <= 3; ++want) {
    int passes = 0;
    while (Global(3, "m") < want && passes < 1000) {
      EXPECT_LT(Global(2, "m"), want) << "pass " << passes;
      host->ScriptTimerTimer();
      ++passes;
    }
    EXPECT_EQ(Global(2, "m"), want) << "after " << passes << " passes";
    EXPECT_EQ(Global(3, "m"), want);
  }
  EXPECT_EQ(host->RunningMask(), 0);
  std::vector<std::string> cuts;
  for (const auto& l : logs)
    if (l.find("wait(") != std::string::npos) cuts.push_back(l);
  ASSERT_EQ(cuts.size(), 2u) << ::testing::PrintToString(logs);
  EXPECT_NE(cuts[0].find("seat 2"), std::string::npos) << cuts[0];
  EXPECT_NE(cuts[0].find("wait(30000)"), std::string::npos) << cuts[0];
  EXPECT_NE(cuts[1].find("seat 3"), std::string::npos) << cuts[1];
  EXPECT_NE(cuts[1].find("wait(151)"), std::string::npos) << cuts[1];
}

TEST_F(Host, ASecondEventOfASeatWaitsForTheFirstToReturn) {
  Script("c2", WithEvents("void OnTurn() { }\nvoid OnOtherSuiriCheck(int a, int b, int c) { }\n"
                          "void OnMove() { log[k] = 1; k = k + 1; wait(5); log[k] = 2; k = k + 1; }\n"
                          "void OnMoveEnd() { log[k] = 3; k = k + 1; }\n",
                          {"OnMove", "OnMoveEnd"}));
  Dealt();
  Turn(2);
  LineTo("MOVE 2,7,20,1", 10);
  host->ScriptTimerTimer();
  EXPECT_EQ(Global(2, "k"), 1);
  LineTo("MOVE 2,7,19,0", 10);
  EXPECT_EQ(Global(2, "k"), 2);  // the first has returned before the second starts
  RunScripts();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Global(2, "log", i), i + 1);
  EXPECT_EQ(host->Stats().failed, 0);
}

// Lines that arrive while a script runs wait, so that every script sees the
// game as it was when its event was raised.
TEST_F(Host, LinesWaitWhileAScriptRuns) {
  Script("c2", Player("void OnTurn() { }\nvoid OnOtherSuiriCheck(int a, int b, int c) { wait(2); show_card(a); }\n"));
  Script("c3", Player("void OnTurn() { }\nvoid OnOtherSuiriCheck(int a, int b, int c) { show_card(a); }\n"));
  Dealt();
  client::TLineArrival arrival(client::TLineArrival::Hooks{
      [this](const std::string& l) { client::CommandDispatcher(core, l); },
      [this] { return host->RunningMask() != 0; }, [] { return false; },
      [this] { host->ScriptTimerTimer(); }, [](const std::string&) {}});
  arrival.LineArrived("SHOWSEL 1,12:10");
  arrival.LineArrived("SHOWSEL 1,21:11");
  EXPECT_EQ(sender.lines, (std::vector<std::string>{Sent("SHOW 12", 10)}));
  RunScripts();
  EXPECT_EQ(sender.lines, (std::vector<std::string>{Sent("SHOW 12", 10), Sent("SHOW 21", 11)}));
}

struct FailCase {
  const char* name;
  std::string script;  // seat 2's
  int place, x, y;     // its piece at its turn
  std::vector<std::string> after;  // lines to user 10 (and the own copy) after the turn's events
  std::vector<std::string> sent;   // all lines under user 10
  bool stopped;                    // stopped for running too long, not failed otherwise
};

class Fails : public Host, public ::testing::WithParamInterface<FailCase> {};

// A script that fails or runs away cannot stall the table: the host ends the
// seat's turn, after its suggestion or accusation has been answered, and
// never twice.
TEST_P(Fails, TheHostMakesTheSmallestLegalMove) {
  const FailCase& c = GetParam();
  host->SetEventBudget(200000);
  Script("c2", c.script);
  Dealt();
  Place(2, c.x, c.y, c.place, 0, false);
  Line("TURN 2");
  LineTo("TURN 2", 10);
  RunScripts();
  for (const auto& l : c.after) {
    Line(l);
    LineTo(l, 10);
    RunScripts();
  }
  std::vector<std::string> want;
  for (const auto& l : c.sent) want.push_back(Sent(l, 10));
  EXPECT_EQ(sender.lines, want);
  EXPECT_EQ(host->Stats().failed, 1);
  EXPECT_EQ(host->Stats().stopped, c.stopped ? 1 : 0);
  bool logged = false;
  for (const auto& l : logs) logged = logged || l.find("c2.sc") != std::string::npos;
  EXPECT_TRUE(logged);
}

const std::string kLoop = "while (1) n = n + 1;";
const std::string kNoCheck = "void OnOtherSuiriCheck(int a, int b, int c) { }\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, Fails,
    ::testing::Values(
        FailCase{"AnErrorAfterRolling", Player("void OnTurn() { saikoro(); Bad(); }\n" + kNoCheck), 0, 7, 20, {},
                 {"SAIKORO", "TURNEND"}, false},
        FailCase{"ALoopAfterRolling", Player("void OnTurn() { saikoro(); " + kLoop + " }\n" + kNoCheck), 0, 7, 20,
                 {}, {"SAIKORO", "TURNEND"}, true},
        FailCase{"ALoopAfterEnding", Player("void OnTurn() { turn_end(); " + kLoop + " }\n" + kNoCheck), 5, 12, 4, {},
                 {"TURNEND"}, true},
        FailCase{"ALoopWithASuggestionOut",
                 Player("void OnTurn() { suiri(1, 2); " + kLoop + " }\n" + kNoCheck), 5, 12, 4,
                 {"SUIRISTART 2,4", "SUIRIEND"},
                 {"SUIRISTART 4", "SUIRI 4,1,2", "TURNEND2"}, true},
        FailCase{"ALoopAfterAWrongAccusation",
                 Player("void OnTurn() { kokuso(1, 2, 3); " + kLoop + " }\n" + kNoCheck), 0, 7, 20,
                 {"KOKUSOSTART 2,0", "LOSE 2"},
                 {"KOKUSOSTART 0", "KOKUSO 1,2,3", "TURNEND2"}, true},
        FailCase{"ALoopWhenAskedForACard",
                 Player("void OnTurn() { turn_end(); }\nvoid OnOtherSuiriCheck(int a, int b, int c) { " + kLoop +
                        " }\n"),
                 5, 12, 4, {"SHOWSEL 2,36,13"}, {"TURNEND", "SHOW 36"}, true},
        FailCase{"NotItsOwnScriptAnyMore",
                 WithEvents("void OnInit() { gMyIndex = 4; }\nvoid OnTurn() { saikoro(); }\n" + kNoCheck, {"OnInit"}),
                 0, 7, 20, {}, {"TURNEND"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
