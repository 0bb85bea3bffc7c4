// Which event each line raises on the host, for which seat, with which
// parameters: once per line and addressee, never for a person's seat.
#include "HostFixture.h"

namespace {

using hosttest::Host;
using hosttest::kEvents;

struct Step {
  const char* line;
  std::vector<int> to;  // addressees (3 is the own player)
  std::vector<std::pair<int, const char*>> raised;
  bool dieEnds = false;  // the die's animation runs to its end afterwards
  int argSeat = -1;      // the seat whose parameters arrived as args
  std::vector<int> args{};
};

const std::vector<int> kAll = {3, 10, 11, 12, 13};

TEST_F(Host, EachEventOnceForItsLineAndAddressee) {
  Table();
  Line("START 1,0");
  Line("CARD 3,12,21,35");
  const std::vector<Step> steps = {
      {"CARD 3,13,22,36", {10}, {{2, "OnInit"}}},
      {"TURN 1", {4}, {}},  // another person's copy never reaches this host's scripts
      {"TURN 3", kAll, {{3, "OnTurn"}}},
      {"SAIKORO 4", {3}, {{3, "OnMove"}}, true},
      {"MOVE 3,7,20,3", kAll, {{3, "OnMove"}}},
      {"MOVE 3,7,19,0", kAll, {{3, "OnMoveEnd"}}},
      {"INROOM 3,1,0", kAll, {{3, "OnInRoom"}}, false, 3, {1}},
      {"OUTROOM 3,1,0", kAll, {}},
      {"SUIRISTART 3,1", kAll, {}},
      {"SUIRI 3,1,12,2",
       kAll,
       {{2, "OnOtherSuiri"}, {3, "OnOtherSuiri"}, {4, "OnOtherSuiri"}, {5, "OnOtherSuiri"}},
       false,
       5,
       {3, 1, 2, 2}},
      {"SHOWWAIT 4", kAll, {}},
      {"SHOWSEL 1,31", {12}, {{4, "OnOtherSuiriCheck"}}, false, 4, {31, -1, -1}},
      {"SHOWC EXIST,4", {3, 10, 12, 13}, {}},
      {"SHOWC 4,31", {11}, {{3, "OnSuiriResult"}}, false, 3, {31}},
      {"SUIRIEND", {11}, {{3, "OnSuiriEnd"}}},
      {"SHOWC NO,2", {11}, {{3, "OnSuiriResult"}}, false, 3, {-1}},  // the last seat asked said no
      {"SHOWC NO,4", {11}, {}},
      {"TURNEND2", {3}, {}},
      {"LOSE 5", kAll, {{5, "OnLose"}}},
      {"WIN 4,10,20,30", kAll, {{4, "OnWin"}}},
  };
  int want[6][11] = {};
  for (const Step& st : steps) {
    for (int id : st.to) LineTo(st.line, id);
    if (st.dieEnds)
      for (int i = 0; i < 200 && core.Timer().Active(); ++i) core.KestTimerTimer();
    RunScripts();
    for (const auto& [seat, event] : st.raised)
      for (int e = 0; e < 11; ++e)
        if (std::string(kEvents[e]) == event) ++want[seat][e];
    for (int seat = 0; seat < 6; ++seat)
      for (int e = 0; e < 11; ++e) EXPECT_EQ(Global(seat, "ev", e), want[seat][e]) << st.line << " seat " << seat << " " << kEvents[e];
    for (size_t i = 0; i < st.args.size(); ++i) EXPECT_EQ(Global(st.argSeat, "arg", int(i)), st.args[i]) << st.line;
  }
  EXPECT_EQ(host->Stats().failed, 0);
}

// Parameter blocks are cut or zero-filled to what the script declares.
TEST_F(Host, ParametersAsTheScriptDeclaresThem) {
  Script("c2",
         "#include game\nint gMyIndex;\nint gMyUserId;\nint got[3];\n"
         "void OnInRoom(int room, int more, int most) { got[0] = room; got[1] = more; got[2] = most + 5; }\n"
         "void OnOtherSuiri() { got[0] = 77; }\n"
         "void OnTurn() { }\nvoid OnOtherSuiriCheck(int a, int b, int c) { }\n"
         "export gMyIndex;\nexport gMyUserId;\nexport got;\nexport OnInRoom;\nexport OnOtherSuiri;\nexport OnTurn;\n"
         "export OnOtherSuiriCheck;\n");
  Dealt();
  Turn(2);
  LineTo("INROOM 2,6,0", 10);
  RunScripts();
  EXPECT_EQ(Global(2, "got", 0), 6);
  EXPECT_EQ(Global(2, "got", 1), 0);
  EXPECT_EQ(Global(2, "got", 2), 5);
  LineTo("SUIRI 3,1,12,2", 10);
  RunScripts();
  EXPECT_EQ(Global(2, "got", 0), 77);
  EXPECT_EQ(host->Stats().failed, 0);
}

}  // namespace
