#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CommandDispatcher.h"
#include "Kestclasses.h"
#include "Protocol.h"

namespace {

using client::CommandDispatcher;
using client::TArgs;
using ::testing::_;
using ::testing::ElementsAre;

// Records every handler call as one text.
struct Recorder : client::TClientLineHandler {
  std::vector<std::string> calls;
  void Add(std::string s) { calls.push_back(std::move(s)); }
  static std::string J(const TArgs& a) {
    std::string s;
    for (auto& x : a) s += "[" + x + "]";
    return s;
  }
  void HandleLogin(int id, int id2) override { Add("Login " + std::to_string(id) + " " + std::to_string(id2)); }
  void HandleAddUser(int id, const std::string& n, int r, const std::string& f, int u, int k) override {
    Add("AddUser " + std::to_string(id) + " " + n + " " + std::to_string(r) + " " + f + " " +
        std::to_string(u) + " " + std::to_string(k));
  }
  void HandleAddUser2(int id, const std::string& n, int r, const std::string& f) override {
    Add("AddUser2 " + std::to_string(id) + " " + n + " " + std::to_string(r) + " " + f);
  }
  void HandlePrint(int id, const std::string& t) override { Add("Print " + std::to_string(id) + " " + t); }
  void HandleUser(int id, int s, const std::string& n) override {
    Add("User " + std::to_string(id) + " " + std::to_string(s) + " " + n);
  }
  void HandleChroom(int id, int r, const std::string& n) override {
    Add("Chroom " + std::to_string(id) + " " + std::to_string(r) + " " + n);
  }
  void HandleRoom(int id, int r, int p, int c) override {
    Add("Room " + std::to_string(id) + " " + std::to_string(r) + " " + std::to_string(p) + " " +
        std::to_string(c));
  }
  void HandleErr(int id, const std::string& t) override { Add("Err " + std::to_string(id) + " " + t); }
  void HandleCard(int id, const TArgs& a) override { Add("Card " + std::to_string(id) + " " + J(a)); }
  void HandleRemoveUser(int id, const std::string& n) override { Add("RemoveUser " + std::to_string(id) + " " + n); }
  void HandleRuserEnd(int id) override { Add("RuserEnd " + std::to_string(id)); }
  void StartGame(int id, const TArgs& a) override { Add("Start " + std::to_string(id) + " " + J(a)); }
  void HandleTurn(int id, int s) override { Add("Turn " + std::to_string(id) + " " + std::to_string(s)); }
  void HandleKokuso(int id, int a, int b, int c, bool v) override {
    Add("Kokuso " + std::to_string(id) + " " + std::to_string(a) + " " + std::to_string(b) + " " +
        std::to_string(c) + " " + (v ? "true" : "false"));
  }
  void HandleMove(int id, int a, int b, int c, int d) override {
    Add("Move " + std::to_string(id) + " " + std::to_string(a) + " " + std::to_string(b) + " " +
        std::to_string(c) + " " + std::to_string(d));
  }
  void HandleSuiriEnd(int id) override { Add("SuiriEnd " + std::to_string(id)); }
  void HandleSaikoro(int id, int n) override { Add(N("Saikoro", id, {n})); }
  void HandleSuiri(int id, int a, int b, int c, int d) override { Add(N("Suiri", id, {a, b, c, d})); }
  void HandleShowWait(int id, int s) override { Add(N("ShowWait", id, {s})); }
  void HandleShowSel(int id, const TArgs& a) override { Add("ShowSel " + std::to_string(id) + " " + J(a)); }
  void HandleShowC(int id, const TArgs& a) override { Add("ShowC " + std::to_string(id) + " " + J(a)); }
  void HandleKokusoCheck(int id, int s) override { Add(N("KokusoCheck", id, {s})); }
  void HandleInRoom(int id, int a, int b, int c) override { Add(N("InRoom", id, {a, b, c})); }
  void HandleOutRoom(int id, int a, int b, int c) override { Add(N("OutRoom", id, {a, b, c})); }
  void HandleSuiriStart(int id, int a, int b) override { Add(N("SuiriStart", id, {a, b})); }
  void HandleKokusoStart(int id, int a, int b) override { Add(N("KokusoStart", id, {a, b})); }
  void HandleWin(int id, int a, int b, int c, int d) override { Add(N("Win", id, {a, b, c, d})); }
  void HandleLose(int id, int s) override { Add(N("Lose", id, {s})); }
  void HandleEnd(int id, int a, int b, int c, int d) override { Add(N("End", id, {a, b, c, d})); }
  void HandleSuiriCancel(int id, int s) override { Add(N("SuiriCancel", id, {s})); }
  void HandleKokusoCancel(int id, int s) override { Add(N("KokusoCancel", id, {s})); }
  static std::string N(const char* what, int id, std::initializer_list<int> v) {
    std::string s = std::string(what) + " " + std::to_string(id);
    for (int x : v) s += " " + std::to_string(x);
    return s;
  }
  void HandleCpuType(int id, int t) override { Add("CpuType " + std::to_string(id) + " " + std::to_string(t)); }
  void HandleBye(int id, const std::string& n) override { Add("Bye " + std::to_string(id) + " " + n); }
  void HandleTurnEnd2(int id) override { Add("TurnEnd2 " + std::to_string(id)); }
};

struct Case {
  const char* line;
  const char* call;  // "" when the line must be ignored
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.line; }

class DispatchTable : public ::testing::TestWithParam<Case> {};

TEST_P(DispatchTable, CallsHandlerWithArguments) {
  Recorder r;
  CommandDispatcher(r, GetParam().line);
  if (*GetParam().call == 0) {
    EXPECT_TRUE(r.calls.empty()) << r.calls.front();
  } else {
    EXPECT_THAT(r.calls, ElementsAre(GetParam().call));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Words, DispatchTable,
    ::testing::Values(
        Case{"LOGIN:7", "Login 7 7"},
        Case{"ADDUSER \x08" "a,b:c\x08,1,\x08" "face\x08,12,2:7", "AddUser 7 a,b:c 1 face 12 2"},
        Case{"ADDUSER \x08" "a\x08,1,\x08" "f\x08,12,2,9:7", ""},  // six arguments
        Case{"ADDUSER2 \x08n\x08,3,\x08" "f\x08:4", "AddUser2 4 n 3 f"},
        Case{"PRINT \x08[bob] hi, there\x08:9", "Print 9 [bob] hi, there"},
        Case{"USER 2,\x08n\x08:1", "User 1 2 n"},
        Case{"CHROOM 1,\x08n\x08:3", "Chroom 3 1 n"},
        Case{"ROOM 4,1,3:2", "Room 2 4 1 3"},
        Case{"ROOM 4,1:2", ""},  // needs three
        Case{"ERR SAMENAME\r", "Err -1 SAMENAME"},
        Case{"ERR LOCKED\r", "Err -1 LOCKED"},
        Case{":5", ""},          // the line after ERR LOCKED: empty word
        Case{"", ""},
        Case{"login :7", ""},    // case-sensitive
        Case{"NOSUCH 1:7", ""},
        Case{"LOGIN:", ""},      // ends at its ":"
        Case{"CARD 3,10,21,35:2", "Card 2 [3][10][21][35]"},
        Case{"REMOVEUSER \x08n\x08:2", "RemoveUser 2 n"},
        Case{"RUSEREND:2", "RuserEnd 2"},
        Case{"START 1,0:2", "Start 2 [1][0]"},
        Case{"START :2", "Start -1 [2]"},  // ":" after a blank carries no number
        Case{"TURN 3:2", "Turn 2 3"},
        Case{"TURN:2", "Turn 2 0"},       // missing argument reads 0
        Case{"KOKUSO 12,23,34,1:2", "Kokuso 2 12 23 34 true"},
        Case{"KOKUSO 12,23:2", "Kokuso 2 12 23 0 false"},
        Case{"MOVE 1,7,-3,x:2", "Move 2 1 7 -3 0"},
        Case{"SUIRIEND:2", "SuiriEnd 2"},
        Case{"CPUTYPE 1:11", "CpuType 11 1"},
        Case{"BYE \x08n\x08:2", "Bye 2 n"},
        Case{"TURNEND2:2", "TurnEnd2 2"}));

TEST(DispatchTable, HasThirtyFourWordsInOrder) {
  using namespace kest::proto;
  EXPECT_EQ(LookupReplyWord("LOGIN"), 0);
  EXPECT_EQ(LookupReplyWord("ERR"), 7);
  EXPECT_EQ(LookupReplyWord("CPUTYPE"), 31);
  EXPECT_EQ(LookupReplyWord("TURNEND2"), 33);
  EXPECT_EQ(LookupReplyWord("CHAT"), -1);
}

// Every line the server builds, addressed to user 6, reaches the client's
// handler with the values it was built from.
TEST(RoundTrip, ServerLinesReachTheClientsHandlers) {
  using namespace kest;
  using namespace kest::proto;
  TKestUser u;
  u.SetName("Al, :ice");
  u.SetFace("face");
  u.SetRoom(3);
  u.UserNo = 7;
  u.SetFlags(ufComputer);
  TCardList hand;
  hand.Append(TCard::MakeCard(1, 2));
  hand.Append(TCard::MakeCard(3, 8));
  const TCard sol[3] = {TCard::MakeCard(1, 4), TCard::MakeCard(2, 0), TCard::MakeCard(3, 5)};
  const TCard sel[2] = {TCard::MakeCard(2, 3), TCard::MakeCard(3, 1)};
  struct Case {
    std::string line;
    std::string call;
  } cases[] = {
      {LineLogin(), "Login 6 6"},
      {LineAddUser(u), "AddUser 6 Al, :ice 3 face 7 1"},
      {LineAddUser2(u), "AddUser2 6 Al, :ice 3 face"},
      {LinePrintChat("Bob", "hi, there"), "Print 6 [Bob] hi, there"},
      {LinePrintLogout("Bob"), std::string("Print 6 Bob") + kLoggedOutText},
      {LineUser(2, "n,m"), "User 6 2 n,m"},
      {LineChroom(4, "n:m"), "Chroom 6 4 n:m"},
      {LineRoomStatus(4, 1, 3), "Room 6 4 1 3"},
      {LineRoomWarp(2, 4), ""},  // the client reads ROOM with three values only
      {LineCard(hand), "Card 6 [2][12][38]"},
      {LineRemoveUser("a b"), "RemoveUser 6 a b"},
      {LineRuserEnd(), "RuserEnd 6"},
      {LineStart({"1", "0"}), "Start 6 [1][0]"},
      {LineTurn(5), "Turn 6 5"},
      {LineSaikoro(4), "Saikoro 6 4"},
      {LineSuiri(2, 4, 1, 5), "Suiri 6 2 4 1 5"},
      {LineShowWait(3), "ShowWait 6 3"},
      {LineShowSel(sel, 2), "ShowSel 6 [2][23][31]"},
      {LineShowC(1, 25), "ShowC 6 [1][25]"},
      {LineShowCExist(3), "ShowC 6 [EXIST][3]"},
      {LineShowCNo(1), "ShowC 6 [NO][1]"},
      {LineShowCNotExist(0), "ShowC 6 [NOTEXIST][0]"},
      {LineSuiriEnd(), "SuiriEnd 6"},
      {LineKokusoCheck(2), "KokusoCheck 6 2"},
      {LineKokuso(sol, 1), "Kokuso 6 14 20 35 true"},
      {LineMove(1, 7, 23, 2), "Move 6 1 7 23 2"},
      {LineInRoom(1, 4, 0), "InRoom 6 1 4 0"},
      {LineOutRoom(1, 261, 2), "OutRoom 6 1 261 2"},
      {LineSuiriStart(0, 4), "SuiriStart 6 0 4"},
      {LineKokusoStart(0, 9), "KokusoStart 6 0 9"},
      {LineWin(2, sol), "Win 6 2 14 20 35"},
      {LineLose(3), "Lose 6 3"},
      {LineEnd(0, sol), "End 6 0 14 20 35"},
      {LineSuiriCancel(1), "SuiriCancel 6 1"},
      {LineKokusoCancel(1), "KokusoCancel 6 1"},
      {LineCpuType(1), "CpuType 6 1"},
      {LineBye("a,b"), "Bye 6 a,b"},
      {LineTurnEnd2(), "TurnEnd2 6"},
  };
  for (const Case& c : cases) {
    Recorder r;
    CommandDispatcher(r, Addressed(c.line, 6));
    if (c.call.empty()) {
      EXPECT_TRUE(r.calls.empty()) << c.line;
    } else {
      EXPECT_THAT(r.calls, ElementsAre(c.call)) << c.line;
    }
  }
  // The raw refusals carry no user number.
  for (const char* raw : {kRawErrSameName, kRawErrOverUser, "ERR LOCKED\r"}) {
    Recorder r;
    CommandDispatcher(r, raw);
    ASSERT_EQ(r.calls.size(), 1u) << raw;
    EXPECT_EQ(r.calls[0].substr(0, 7), "Err -1 ") << raw;
  }
}

// Every line the client builds is found, counted and split by the server's
// reader as the word and the arguments it was built from.
TEST(RoundTrip, ClientLinesReachTheServersWords) {
  using namespace kest;
  using namespace kest::proto;
  struct Case {
    std::string line;
    int command;
    std::vector<std::string> args;
  } cases[] = {
      {CmdLogin("Al, :ice", "face"), cmLogin, {"Al, :ice", "face"}},
      {CmdChat(3, "hi, all: ok"), cmChat, {"3", "hi, all: ok"}},
      {CmdChroom(1), cmChroom, {"1"}},
      {CmdStart(true, false), cmStart, {"1", "0"}},
      {CmdRuser(4), cmRuser, {"4"}},
      {CmdWord(cmSaikoro), cmSaikoro, {}},
      {CmdMove(7, 23, 2), cmMove, {"7", "23", "2"}},
      {CmdWord(cmTurnEnd), cmTurnEnd, {}},
      {CmdWarp(2), cmWarp, {"2"}},
      {CmdSuiri(4, 2, 5), cmSuiri, {"4", "2", "5"}},
      {CmdWord(cmShowCheck), cmShowCheck, {}},
      {CmdShow(33), cmShow, {"33"}},
      {CmdShowNo(), cmShow, {"NO"}},
      {CmdKokuso(7, 1, 3), cmKokuso, {"7", "1", "3"}},
      {CmdKokusoEnd(1), cmKokusoEnd, {"1"}},
      {CmdInRoom(5, 0), cmInRoom, {"5", "0"}},
      {CmdOutRoom(261, 2), cmOutRoom, {"261", "2"}},
      {CmdSuiriStart(4), cmSuiriStart, {"4"}},
      {CmdKokusoStart(9), cmKokusoStart, {"9"}},
      {CmdWord(cmSuiriCancel), cmSuiriCancel, {}},
      {CmdWord(cmKokusoCancel), cmKokusoCancel, {}},
      {CmdWord(cmRoomLock), cmRoomLock, {}},
      {CmdWord(cmRoomUnlock), cmRoomUnlock, {}},
      {CmdAddCom(cmAddCom, "Bo b", "face", 1), cmAddCom, {"Bo b", "face", "1"}},
      {CmdWord(cmEndGame), cmEndGame, {}},
      {CmdWord(cmTurnEnd2), cmTurnEnd2, {}},
      {CmdWord(cmConfirm), cmConfirm, {}},
      {CmdWord(cmClearNpc), cmClearNpc, {}},
      {CmdAddCom(cmAddCom2, "c", "d", 0), cmAddCom2, {"c", "d", "0"}},
  };
  bool seen[kCommandCount] = {};
  for (const Case& c : cases) {
    // As it reaches the server: the line with its number, the CR the client adds
    // removed by the line reader as the terminator's first byte.
    std::string line = Addressed(c.line, 9);
    char* tokens[kMaxTokens];
    int id = 0;
    int count = SplitLine(line.data(), tokens, kMaxTokens, id);
    ASSERT_GE(count, 0) << c.line;
    int cmd = LookupCommandWord(tokens[0]);
    EXPECT_EQ(cmd, c.command) << c.line;
    EXPECT_TRUE(CountFits(cmd, count)) << c.line;
    EXPECT_GE(count, kCommandWords[c.command].reads) << c.line;
    EXPECT_EQ(id, 9) << c.line;
    std::vector<std::string> args(tokens + 1, tokens + 1 + count);
    EXPECT_EQ(args, c.args) << c.line;
    seen[c.command] = true;
  }
  for (int i = 0; i < kCommandCount; ++i) EXPECT_TRUE(seen[i]) << kCommandWords[i].word;
}

}  // namespace
