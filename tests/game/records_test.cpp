#include <gtest/gtest.h>

#include "BoardTables.h"
#include "Kestclasses.h"
#include "StartCells.h"

namespace {

TEST(ClientRecord, StepsAndName) {
  kest::TKestUser u;
  EXPECT_EQ(u.GetRoom(), -1);
  EXPECT_TRUE(u.HasFlags(kest::ufUnused));
  EXPECT_EQ(u.DecSteps(), 0);  // stays at 0
  EXPECT_EQ(u.IncSteps(), 1);
  u.SetSteps(3);
  EXPECT_EQ(u.DecSteps(), 2);
  u.SetName(std::string(63, 'a'));
  EXPECT_EQ(u.GetName().size(), 63u);
  u.SetName(std::string(64, 'b'));
  EXPECT_EQ(u.GetName(), "");
  u.SetFlags(kest::ufDiceDone | kest::ufComputer);
  u.ClearFlags(kest::ufDiceDone);
  EXPECT_FALSE(u.HasFlags(kest::ufDiceDone));
  EXPECT_TRUE(u.HasFlags(kest::ufComputer));
}

// The twelve start cells: the players on corridor cells at the board's edge,
// the weapons inside rooms.
TEST(StartCells, TheTwelveCells) {
  const client::TCell players[6] = {{7, 24}, {0, 17}, {9, 0}, {14, 0}, {23, 6}, {23, 19}};
  const client::TCell weapons[6] = {{3, 22}, {2, 4}, {11, 5}, {20, 17}, {20, 4}, {11, 21}};
  for (int i = 0; i < 6; ++i) {
    client::TCell p = client::kPlayerStartCells[i];
    EXPECT_EQ(p.x, players[i].x) << "player " << i;
    EXPECT_EQ(p.y, players[i].y) << "player " << i;
    EXPECT_EQ(BoardMap[p.x + BoardWidth * p.y], 0) << "player " << i;
    client::TCell w = client::kWeaponStartCells[i];
    EXPECT_EQ(w.x, weapons[i].x) << "weapon " << i;
    EXPECT_EQ(w.y, weapons[i].y) << "weapon " << i;
    EXPECT_EQ(BoardMap[w.x + BoardWidth * w.y], 1) << "weapon " << i;
  }
}

}  // namespace
