// The turn as the own client's copies of TURN give it: whose it is, and what
// the own player may do only once in it.
#pragma once

namespace client {

class TTurn {
 public:
  // Logged out: seat 0's, nothing done.
  void Reset() { *this = TTurn(); }
  // A new game: nothing done yet; the seat stays until the game's first TURN.
  void NewGame() { suggested_ = false; }
  // TURN for seat.
  void Begin(int seat) { seat_ = seat, suggested_ = false; }
  int Seat() const { return seat_; }
  // The own SUIRI has gone out: one suggestion a turn.
  void Suggested() { suggested_ = true; }
  bool MaySuggest() const { return !suggested_; }

 private:
  int seat_ = 0;
  bool suggested_ = false;
};

}  // namespace client
