#include "ComputerPlay.h"

#include <algorithm>

namespace client {

void TComputerPlay::Turn(int seat, bool itsOwn) {
  if (seat != turn_) TurnEnded();
  if (!itsOwn || !Valid(seat)) return;
  // The server copied every earlier move before this TURN.
  seats_[size_t(seat)] = TSeat();
  turn_ = seat;
}

void TComputerPlay::Ask(int seat, std::vector<int> codes) {
  if (Valid(seat)) asked_[size_t(seat)] = TAsked{true, std::move(codes)};
}

bool TComputerPlay::Answer(int seat, int code) {
  if (!Asked(seat)) return false;
  TAsked& a = asked_[size_t(seat)];
  bool held = std::find(a.codes.begin(), a.codes.end(), code) != a.codes.end();
  // "NO" only from a seat that holds none of the cards; a card only one of them.
  if (code < 0 ? !a.codes.empty() : !held) return false;
  a = TAsked();
  return true;
}

int TComputerPlay::HostsAnswer(int seat) const {
  if (!Asked(seat) || asked_[size_t(seat)].codes.empty()) return -1;
  return asked_[size_t(seat)].codes.front();
}

bool TComputerPlay::MoveCopied(int seat) {
  int& n = seats_[size_t(seat)].movesInFlight;
  if (n > 0) --n;
  return n == 0;
}

}  // namespace client
