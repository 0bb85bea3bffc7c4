// The running or last game's outcome as the own copies of the lines tell it:
// the seats a wrong accusation has put out, and the winner or the end
// without one.
#pragma once

#include <array>
#include <cstddef>

namespace client {

class TOutcome {
 public:
  // START: nobody out, nobody has won, the game runs.
  void NewGame() { *this = TOutcome(); }
  // LOSE: the seat is out of this game; it can only end its turns.
  void Lose(int seat) {
    if (seat >= 0 && seat < 6) out_[size_t(seat)] = true;
  }
  // WIN: the seat has won.
  void Win(int seat) { winner_ = seat; }
  // END: the game ended without a winner.
  void EndWithoutWinner() { ended_ = true; }

  // The winner's seat, -1 none yet.
  int Winner() const { return winner_; }
  bool EndedWithoutWinner() const { return ended_; }
  bool Out(int seat) const { return seat >= 0 && seat < 6 && out_[size_t(seat)]; }
  const std::array<bool, 6>& SeatsOut() const { return out_; }

 private:
  int winner_ = -1;
  bool ended_ = false;
  std::array<bool, 6> out_{};
};

}  // namespace client
