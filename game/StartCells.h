// Start cells of the twelve pieces: the players of seats 0-5, then weapons 0-5.
#pragma once

#include <cstdint>

namespace client {

struct TCell {
  int32_t x, y;
};

inline constexpr TCell kPlayerStartCells[6] = {{7, 24}, {0, 17}, {9, 0}, {14, 0}, {23, 6}, {23, 19}};
inline constexpr TCell kWeaponStartCells[6] = {{3, 22}, {2, 4}, {11, 5}, {20, 17}, {20, 4}, {11, 21}};

}  // namespace client
