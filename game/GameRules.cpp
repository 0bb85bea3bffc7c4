#include "GameRules.h"

#include <cmath>
#include <deque>

#include "Protocol.h"

namespace client {

int IntSqrt(int n) {
  if (n <= 0) return 0;
  auto r = static_cast<int>(std::sqrt(static_cast<double>(n)));
  while (r > 0 && static_cast<long long>(r) * r > n) --r;
  while (static_cast<long long>(r + 1) * (r + 1) <= n) ++r;
  return r;
}


// 短剣, 燭台, ピストル, ロープ, 鉛のパイプ, スパナ
const char* const kWeaponNames[6] = {
    "\x92\x5a\x8c\x95", "\x90\x43\x91\xe4", "\x83\x73\x83\x58\x83\x67\x83\x8b",
    "\x83\x8d\x81\x5b\x83\x76", "\x89\x94\x82\xcc\x83\x70\x83\x43\x83\x76", "\x83\x58\x83\x70\x83\x69"};
// 玄関ホール, ラウンジ, 食堂, 調理場, 大広間, 温室, 娯楽室, 図書室, 書斎
const char* const kRoomNames[9] = {
    "\x8c\xba\x8a\xd6\x83\x7a\x81\x5b\x83\x8b", "\x83\x89\x83\x45\x83\x93\x83\x57",
    "\x90\x48\x93\xb0", "\x92\xb2\x97\x9d\x8f\xea", "\x91\xe5\x8d\x4c\x8a\xd4", "\x89\xb7\x8e\xba",
    "\x8c\xe2\x8a\x79\x8e\xba", "\x90\x7d\x8f\x91\x8e\xba", "\x8f\x91\x8d\xd6"};

namespace {

TRouteTable BuildRouteTable() {
  TRouteTable t;
  for (int target = 0; target < 10; ++target) {
    auto& r = t[target];
    std::array<bool, 600> seen{};
    std::deque<int> queue;
    for (int i = 0; i < 600; ++i) {
      r[i] = BoardMap[i] == 0 ? 1 : BoardMap[i];
      if (DoorRoom(BoardMap[i]) == target) {
        seen[i] = true;
        queue.push_back(i);
      }
    }
    // Backwards from the target's doors: a corridor cell gets the arrow that
    // leads to an already reached cell, so each step brings it one nearer.
    while (!queue.empty()) {
      int n = queue.front();
      queue.pop_front();
      int nx = n % BoardWidth, ny = n / BoardWidth;
      for (int a = 0; a < 4; ++a) {
        if (BoardMap[n] != 0 && (BoardMap[n] & ArrowBit(a)) == 0) continue;  // a door: its arrow only
        int cx = nx - kDx[a], cy = ny - kDy[a];
        if (!OnBoard(cx, cy)) continue;
        int c = CellIndex(cx, cy);
        if (seen[c] || BoardMap[c] != 0) continue;
        seen[c] = true;
        r[c] = uint16_t(a);
        queue.push_back(c);
      }
    }
  }
  return t;
}

}  // namespace

const TRouteTable& RouteTable() {
  static const TRouteTable table = BuildRouteTable();
  return table;
}

void TWalk::MarkRoomDoors(int room, uint8_t value) {
  for (int i = 0; i < 600; ++i)
    if (BoardMap[i] > 1 && DoorRoom(BoardMap[i]) == room && room < 9) marks[i] = value;
}

void TWalk::SeedMarks() {
  if (place > 0 && place <= 9) {
    MarkRoomDoors(place - 1, 1);
  } else if (OnBoard(x, y)) {
    marks[CellIndex(x, y)] = 1;
  }
}

bool ExitCell(int room, int dir, bool second, int& x, int& y) {
  if (room < 0 || room > 8 || dir < 0 || dir > 3) return false;
  x = RoomTable[room][dir * 2];
  y = RoomTable[room][dir * 2 + 1];
  if (x < 0) return false;
  if (second) {
    if (room == 0 && dir == arUp) {
      x += 1;
    } else if (room == 4 && dir == arDown) {
      x += 5;
    } else {
      return false;
    }
  }
  return true;
}

namespace {

// Marks and steps for a step onto cell: false when it is not allowed.
bool MarkStep(TWalk& w, int cell, bool* takeBack) {
  uint8_t m = w.marks[cell];
  *takeBack = false;
  if (m == 1 || m == 2) {
    for (auto& v : w.marks)
      if (v) --v;
    ++w.steps;
    *takeBack = true;
    return true;
  }
  if (m != 0 || w.steps <= 0) return false;
  for (auto& v : w.marks)
    if (v && v < 255) ++v;
  w.marks[cell] = 1;
  --w.steps;
  return true;
}

}  // namespace

TWalkResult ArrowStep(TWalk& w, int tag, bool second) {
  TWalkResult res;
  if (tag < 0 || tag > 3) return res;
  if (w.place == 0) {
    if (second) return res;
    int nx = w.x + kDx[tag], ny = w.y + kDy[tag];
    if (!OnBoard(nx, ny) || !OnBoard(w.x, w.y)) return res;
    int cell = CellIndex(nx, ny);
    uint16_t code = BoardMap[cell];
    if (code == 1 || (code != 0 && (code & ArrowBit(tag)) == 0)) return res;
    bool takeBack;
    if (!MarkStep(w, cell, &takeBack)) return res;
    res.leftSpot = DoorRoom(BoardMap[CellIndex(w.x, w.y)]) == kSpotRoom;
    w.x = nx, w.y = ny;
    int room = DoorRoom(code);
    if (room < 0 || room == kSpotRoom) {
      res.kind = TWalkResult::Move;
      res.onSpot = room == kSpotRoom;
      res.line = kest::proto::CmdMove(nx, ny, w.steps);
    } else {
      w.MarkRoomDoors(room, 1);
      w.place = room + 1;
      w.secondDoor = (room == 0 && tag == arDown && nx != 11) || (room == 4 && tag == arUp && nx != 9);
      if (!takeBack) w.wayBack = OppositeArrow(tag) + (w.secondDoor ? kSecondExit : 0);
      res.kind = TWalkResult::InRoom;
      res.room = room;
      res.line = kest::proto::CmdInRoom(room, w.steps);
    }
    return res;
  }
  int room = w.place - 1;
  if (room < 0 || room > 8) return res;
  w.secondDoor = second;
  int ex, ey;
  if (!ExitCell(room, tag, second, ex, ey)) return res;
  if (w.wayBack != -1 && w.wayBack != tag + (second ? kSecondExit : 0)) return res;
  bool takeBack;
  if (!MarkStep(w, CellIndex(ex, ey), &takeBack)) return res;
  int v = ((tag | (second ? 0x10 : 0)) << 8) | room;
  // The piece stands on the exit cell from now on, so that a second click
  // walks on from there instead of leaving the room again.
  w.x = ex, w.y = ey, w.place = 0;
  res.kind = TWalkResult::OutRoom;
  res.room = room;
  res.line = kest::proto::CmdOutRoom(v, w.steps);
  return res;
}

namespace {

int Distance(int a, int b) {
  int dx = a % BoardWidth - b % BoardWidth, dy = a / BoardWidth - b / BoardWidth;
  return IntSqrt(dx * dx + dy * dy);
}

// Of the door cells of room (0-8, 9 the accusation spot), the one nearest to
// cell, the first in row order on a tie; -1 none.
int NearestDoor(int room, int cell) {
  int best = -1, bestDistance = 0;
  for (int i = 0; i < BoardWidth * BoardHeight; ++i) {
    if (BoardMap[i] <= 1 || DoorRoom(BoardMap[i]) != room) continue;
    int d = Distance(i, cell);
    if (best < 0 || d < bestDistance) best = i, bestDistance = d;
  }
  return best;
}

}  // namespace

TStepChoice StepToward(int x, int y, int place, int room, int& tag, bool& second) {
  tag = -1;
  second = false;
  if (!OnBoard(x, y) || room < 0 || room > kSpotRoom) return stNoWay;
  int cell = CellIndex(x, y);
  if (place == 10) {
    // On the accusation spot: the one way off it leads back where it is entered from.
    if (room == kSpotRoom) return stThere;
    for (int dir = 0; dir < 4; ++dir) {
      int nx = x - kDx[dir], ny = y - kDy[dir];
      if ((BoardMap[cell] & ArrowBit(dir)) != 0 && OnBoard(nx, ny) && BoardMap[CellIndex(nx, ny)] == 0) {
        tag = OppositeArrow(dir);
        return stStep;
      }
    }
    return stNoWay;
  }
  if (place == 0) {
    uint16_t dir = RouteTable()[size_t(room)][size_t(cell)];
    if (dir > 3) return stThere;
    tag = dir;
    return stStep;
  }
  int s = place - 1;
  if (s > 8) return stNoWay;
  int target = NearestDoor(room, cell);
  int exitDoor = target < 0 ? -1 : NearestDoor(s, target);
  if (exitDoor < 0) return stNoWay;
  int ex = exitDoor % BoardWidth, ey = exitDoor / BoardWidth;
  for (int d = 0; d < 4; ++d) {
    int nx = ex + kDx[d], ny = ey + kDy[d];
    if (OnBoard(nx, ny) && BoardMap[CellIndex(nx, ny)] == 0 && RoomTable[s][2 * d] >= 0) tag = d;
  }
  if (tag < 0) return stNoWay;
  // The exit that leads onto the cell beside that door: the plain one, or
  // the second exit of rooms 0 and 4.
  int nx = ex + kDx[tag], ny = ey + kDy[tag], px, py;
  if (ExitCell(s, tag, true, px, py) && px == nx && py == ny) {
    second = true;
  } else if (!ExitCell(s, tag, false, px, py) || px != nx || py != ny) {
    tag = -1;
    return stNoWay;
  }
  return stStep;
}

int SlideLeft(int w, int target, int tick) {
  double t = tick * 0.1;
  return int(std::trunc((208 - w / 2.0) * (1 - t) + target * t));
}

}  // namespace client
