#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Kestclasses.h"
#include "Protocol.h"

using namespace kest;
using namespace kest::proto;

namespace {

#define BS "\x08"

TEST(Protocol, WordTableInLookupOrder) {
  const char* expected[] = {"LOGIN", "CHAT", "CHROOM", "START", "RUSER", "SAIKORO", "MOVE",
                            "TURNEND", "WARP", "SUIRI", "SHOWCHECK", "SHOW", "KOKUSO",
                            "KOKUSOEND", "INROOM", "OUTROOM", "SUIRISTART", "KOKUSOSTART",
                            "SUIRICANCEL", "KOKUSOCANCEL", "ROOMLOCK", "ROOMUNLOCK", "ADDCOM",
                            "ENDGAME", "TURNEND2", "CONFIRM", "CLEARNPC", "ADDCOM2"};
  ASSERT_EQ(std::size(expected), size_t(kCommandCount));
  for (int i = 0; i < kCommandCount; ++i) EXPECT_EQ(LookupCommandWord(expected[i]), i) << expected[i];
  EXPECT_EQ(LookupCommandWord("login"), -1);
  EXPECT_EQ(LookupCommandWord(""), -1);
  EXPECT_EQ(LookupCommandWord("TURNEND3"), -1);
}

TEST(Protocol, ArgumentCounts) {
  struct Case {
    int cmd, count;
    bool fits;
  } cases[] = {
      {cmLogin, 2, true},    {cmLogin, 1, false},    {cmLogin, 3, false},  {cmChat, 2, true},
      {cmChat, 3, false},    {cmChroom, 1, true},    {cmChroom, 0, false}, {cmRuser, 2, false},
      {cmMove, 3, true},     {cmMove, 4, false},     {cmKokuso, 2, false}, {cmKokuso, 3, true},
      {cmKokuso, 5, true},   {cmKokusoEnd, 0, false}, {cmKokusoEnd, 2, true}, {cmStart, 0, true},
      {cmStart, 9, true},    {cmShow, 0, true},      {cmAddCom2, 7, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CountFits(c.cmd, c.count), c.fits) << kCommandWords[c.cmd].word << " " << c.count;
}

TEST(Protocol, LineBuilders) {
  TKestUser u;
  u.SetName("Al, :ice");
  u.SetFace("face");
  u.SetRoom(3);
  u.UserNo = 7;
  u.SetFlags(ufComputer | ufNonParticipant);
  TCardList hand;
  hand.Append(TCard::MakeCard(1, 2));
  hand.Append(TCard::MakeCard(3, 8));
  const TCard sol[3] = {TCard::MakeCard(1, 4), TCard::MakeCard(2, 0), TCard::MakeCard(3, 5)};
  struct Case {
    std::string got, want;
  } cases[] = {
      {LineAddUser(u), "ADDUSER " BS "Al, :ice" BS ",3," BS "face" BS ",7,2"},
      {LineAddUser2(u), "ADDUSER2 " BS "Al, :ice" BS ",3," BS "face" BS},
      {LinePrintChat("Bob", "hi, there"), "PRINT " BS "[Bob] hi, there" BS},
      {LineCard(hand), "CARD 2,12,38"},
      {LineCard(TCardList()), "CARD 0"},
      {LineStart({}), "START "},
      {LineStart({"1", "0"}), "START 1,0"},
      {LineSuiri(2, 4, 1, 5), "SUIRI 2,4," BS "1" BS ",5"},
      {LineShowSel(nullptr, 0), "SHOWSEL 0"},
      {LineShowCExist(3), "SHOWC EXIST,3"},
      {LineShowCNotExist(0), "SHOWC NOTEXIST,0"},
      {LineShowCNo(1), "SHOWC NO,1"},
      {LineKokuso(sol, 1), "KOKUSO 14,20,35,1"},
      {LineWin(2, sol), "WIN 2,14,20,35"},
      {LineEnd(0, sol), "END 0,14,20,35"},
      {LineRoomStatus(4, 1, 3), "ROOM 4,1,3"},
      {LineErrLocked(), "ERR LOCKED\r"},
      {ClientLine(CmdChat(1, "x"), 5), "CHAT 1," BS "x" BS ":5\r"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

// The logout text goes on the wire as Shift-JIS bytes.
TEST(Protocol, LogoutTextIsShiftJis) {
  EXPECT_EQ(LinePrintLogout("Bob"),
            "PRINT " BS "Bob\x82\xaa\x83\x8d\x83\x4f\x83\x41\x83\x45\x83\x67\x82\xb5\x82\xdc\x82\xb5\x82\xbd" BS);
}

// A name holding "," or ":" survives the trip through the tokenizer.
TEST(Protocol, QuotedNameSurvivesSplitting) {
  std::string line = Addressed(LineBye("a,b:c d"), 4);
  char* tokens[kMaxTokens];
  int id = 0;
  ASSERT_EQ(SplitLine(line.data(), tokens, kMaxTokens, id), 1);
  EXPECT_STREQ(tokens[1], "a,b:c d");
  EXPECT_EQ(id, 4);

  // A START relayed without arguments carries no user number a receiver can find.
  std::string start = Addressed(LineStart({}), 2);
  EXPECT_EQ(SplitLine(start.data(), tokens, kMaxTokens, id), 1);
  EXPECT_EQ(id, -1);
}

}  // namespace

// A text that fits stays as it is, bytes and all; a longer one is cut
// between characters, a two-byte character never split.
TEST(Protocol, CutTextKeepsWholeCharacters) {
  const struct {
    std::string text;
    size_t max;
    std::string kept;
  } cases[] = {
      {"abc\x82", 4, "abc\x82"},                 // fits, a lone lead byte and all
      {"a\x82\xa0" "b", 2, "a"},                 // the pair would be split
      {"a\x82\xa0" "b", 3, "a\x82\xa0"},
      {"\xb1\xb2\xb3", 2, "\xb1\xb2"},           // half-width kana are one byte each
      {"\x83\x5c\x83\x5c", 3, "\x83\x5c"},       // a trail byte that looks like a backslash
      {"abc\x82", 3, "abc"},
  };
  for (const auto& c : cases) EXPECT_EQ(std::string(kest::proto::CutText(c.text, c.max)), c.kept) << c.max;
}
