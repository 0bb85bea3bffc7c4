#include <gtest/gtest.h>

#include "NpcNames.h"

namespace {

using client::kNpcDefaultNames;
using client::kNpcTags;
using client::TNpcNames;

const std::string A = "\x83\x41";  // ア
const std::string B = "\x83\x43";  // イ

struct Case {
  const char* what;
  std::array<std::string, 5> raw;
  std::array<std::string, 6> humans;
  int count;
  std::array<std::string, 5> display;
};

TEST(MakeUniqueNames, Table) {
  const Case cases[] = {
      {"no clashes", {A, B, "c", "d", "e"}, {"h"}, 1, {A, B, "c", "d", "e"}},
      {"two equal: higher slot tagged", {A, A, "c", "d", "e"}, {"h"}, 1,
       {A, A + kNpcTags[1], "c", "d", "e"}},
      {"three equal", {A, A, A, "d", "e"}, {"h"}, 1,
       {A, A + kNpcTags[1], A + kNpcTags[2], "d", "e"}},
      {"equal to a human: own tag", {A, B, "c", "d", "e"}, {"h", "c"}, 2,
       {A, B, "c" + std::string(kNpcTags[2]), "d", "e"}},
      {"tagged and equal to a human: second tag", {A, "c", "c", "d", "e"}, {"h", "c(\x97\xce)"}, 1,
       {A, "c", "c" + std::string(kNpcTags[2]) + "2", "d", "e"}},
      {"slots out of play are left alone", {A, A, "c", "h", "e"}, {"h", "x", "y"}, 3,
       {A, A, "c", "h" + std::string(kNpcTags[3]), "e"}},
      {"names compared trimmed", {" c", "c ", "x", "y", "z"}, {"h"}, 1,
       {" c", "c " + std::string(kNpcTags[1]), "x", "y", "z"}},
      {"full table: nothing in play", {A, A, A, A, A}, {"1", "2", "3", "4", "5", "6"}, 6,
       {A, A, A, A, A}},
  };
  for (const Case& c : cases) {
    TNpcNames n;
    for (int i = 0; i < 5; ++i) n.StoreNpc(i, c.raw[i]);
    n.MakeUniqueNames(c.humans, c.count);
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(n.GetNpcName(i, true), c.display[i]) << c.what << " slot " << i;
      EXPECT_EQ(n.GetNpcName(i, false), c.raw[i]) << c.what << " slot " << i;
    }
  }
}

TEST(MakeUniqueNames, RepeatedCallsDoNotPileUpTags) {
  TNpcNames n;
  n.StoreNpc(1, kNpcDefaultNames[0]);
  n.MakeUniqueNames({"h"}, 1);
  n.MakeUniqueNames({"h"}, 1);
  EXPECT_EQ(n.GetNpcName(1, true), std::string(kNpcDefaultNames[0]) + kNpcTags[1]);
}

}  // namespace
