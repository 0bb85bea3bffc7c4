#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CommandDispatcher.h"

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
  EXPECT_EQ(client::FindCommandWord("LOGIN"), 0);
  EXPECT_EQ(client::FindCommandWord("ERR"), 7);
  EXPECT_EQ(client::FindCommandWord("CPUTYPE"), 31);
  EXPECT_EQ(client::FindCommandWord("TURNEND2"), 33);
  EXPECT_EQ(client::FindCommandWord("CHAT"), -1);
}

}  // namespace
