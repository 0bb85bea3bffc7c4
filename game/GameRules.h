// The rules of the board that need no window: card names, the routing
// table, walking with path marks and the animation steps.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "BoardTables.h"

namespace client {

// Card names (Shift-JIS) by kind: 1 suspect (set per game), 2 weapon, 3 room.
extern const char* const kWeaponNames[6];
extern const char* const kRoomNames[9];

// Arrow tags: Up 0, Down 1, Left 2, Right 3.
enum : int { arUp = 0, arDown = 1, arLeft = 2, arRight = 3 };
inline constexpr int kSecondExit = 0x8000;  // added to WayBack for a second exit
inline constexpr int kSpotRoom = 9;

// The cell one step away by arrow tag: x + kDx[tag], y + kDy[tag].
inline constexpr int kDx[4] = {0, 0, -1, 1};
inline constexpr int kDy[4] = {-1, 1, 0, 0};

inline int ArrowBit(int tag) { return 0x10 << tag; }
inline int OppositeArrow(int tag) { return tag ^ 1; }
inline int CellIndex(int x, int y) { return x + BoardWidth * y; }
inline bool OnBoard(int x, int y) { return x >= 0 && x < BoardWidth && y >= 0 && y < BoardHeight; }
// A door or the spot: its room (0-8, 9 the spot); else -1.
inline int DoorRoom(uint16_t code) { return code > 1 ? (code & 0x0F) : -1; }

// Per target (rooms 0-8, the spot 9) the direction of the next step toward
// it from each corridor cell (0-3; 1 where no way leads); walls 1, door cells
// their map code. Built once on first use.
using TRouteTable = std::array<std::array<uint16_t, 600>, 10>;
const TRouteTable& RouteTable();

// The local player's walk in the current turn.
struct TWalk {
  int x = 0, y = 0;   // the own piece's cell
  int place = 0;      // 0 corridor, room + 1
  int steps = 0;      // steps left
  int wayBack = -1;   // arrow tag (+kSecondExit) back out of the room entered this turn
  bool secondDoor = false;
  bool accuseAnywhere = true;
  std::array<uint8_t, 600> marks{};  // 0 none, 1 current cell, 2 the one before, ...
  // Own steps sent whose copies from the server have not come back. The walk
  // runs ahead of its copies, so a copy of an own step changes nothing in it.
  int inFlight = 0;

  // An own step has gone to the server.
  void Sent() { ++inFlight; }
  // A server copy of an own step: true when it copies a step the walk
  // already took (and counts it in), false for a move the walk has not seen.
  bool CopyArrived() {
    if (inFlight <= 0) return false;
    --inFlight;
    return true;
  }

  void ClearMarks() { marks.fill(0); }
  void MarkRoomDoors(int room, uint8_t value);
  // After a roll: doors of the own room, or the own cell, get mark 1.
  void SeedMarks();
};

struct TWalkResult {
  enum Kind { None, Move, InRoom, OutRoom } kind = None;
  std::string line;       // the command to send (without ":" id)
  bool leftSpot = false;  // the step left the accusation spot
  bool onSpot = false;    // the step ends on the accusation spot
  int room = -1;          // InRoom: the room entered; OutRoom: the room left
};

// One click of an arrow (tag 0-3; second: Up2/Down2). Updates w and says
// what to send; None changes nothing.
TWalkResult ArrowStep(TWalk& w, int tag, bool second);

// A computer player's next step toward room (0-8, 9 the accusation spot)
// from its piece at (x, y) in place (0 the corridor, room + 1, 10 the spot):
// the arrow tag (0-3) and whether it is the second exit of room 0 or 4. In a
// room it leaves by the door nearest to the target room's door nearest to it.
enum TStepChoice : uint8_t { stStep, stThere, stNoWay };
TStepChoice StepToward(int x, int y, int place, int room, int& tag, bool& second);

// The cell reached by leaving room through exit direction dir (second exit:
// +1 in room 0, +5 in room 4); false when there is none.
bool ExitCell(int room, int dir, bool second, int& x, int& y);

// The whole square root, rounded down (0 for n <= 0).
int IntSqrt(int n);

// Width of a caption panel at tick (0-10) for a caption of n bytes.
inline int CaptionWidth(int bytes, int tick) { return ((bytes * 16) / 2 + 32) * tick / 10; }
// Left of a sliding accusation card of width w at tick (0-10).
int SlideLeft(int w, int target, int tick);

// Checked values of the lines.
inline bool ValidSeat(int s) { return s >= 0 && s <= 5; }
inline bool ValidCardCode(int c) {
  return (c >= 10 && c <= 15) || (c >= 20 && c <= 25) || (c >= 30 && c <= 38);
}
// A solution: a suspect's, a weapon's and a room's card code, in this order.
inline bool ValidSolution(int person, int weapon, int room) {
  return person >= 10 && person <= 15 && weapon >= 20 && weapon <= 25 && room >= 30 && room <= 38;
}

}  // namespace client
