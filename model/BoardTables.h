// The mansion board: cell codes of the 24 x 25 map and the nine rooms' exits,
// piece spots and secret passages. One copy shared by the client, its tests and
// the asset generator that draws the board picture.
#pragma once

#include <cstdint>

// Map size in cells; cell index = x + BoardWidth * y.
constexpr int BoardWidth = 24;
constexpr int BoardHeight = 25;

// Cell codes, row by row: 0 corridor, 1 wall or room interior, a door is the
// room number 0-8 in the low 4 bits plus the bit of the arrow that enters it
// from the corridor (0x10 Up, 0x20 Down, 0x40 Left, 0x80 Right), and 0x19 is
// the accusation spot (entered by Up).
extern const uint16_t BoardMap[600];

// Per room 0-8: [0-7] the corridor cell (x, y) reached by leaving Up, Down,
// Left, Right (x = -1: no exit that way); [8-19] the piece spot (x, y) of
// seats 0-5; [20-31] the spot (x, y) of weapons 0-5; [32] the room reached by
// the secret passage, -1 none.
extern const int32_t RoomTable[9][33];
