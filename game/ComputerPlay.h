// The host's computer players in a game: whose turn one of them plays here,
// the host taking a failed turn over, each one's suggestion and accusation in
// its turn, the card it is asked to show, and its moves the server has not
// copied back yet. The core sends; this decides.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace client {

class TComputerPlay {
 public:
  // A new game or none: no turn, nothing open, nothing asked, no move out.
  void NewGame() { *this = TComputerPlay(); }

  // ---- The turn ----
  // A copy of TURN for seat; itsOwn: the copy for that seat's computer player
  // here, whose turn then begins. Another seat's turn ends any turn before.
  void Turn(int seat, bool itsOwn);
  // The seat whose turn its computer player plays here, -1 none.
  int TurnSeat() const { return turn_; }
  // The turn has been ended, by the seat or for it.
  void TurnEnded() { turn_ = -1, takenOver_ = false; }
  // The seat's script failed in its turn: the host plays the rest of it.
  void TakeOver() { takenOver_ = turn_ >= 0; }
  bool TakenOver(int seat) const { return seat >= 0 && seat == turn_ && takenOver_; }

  // ---- Suggestion and accusation ----
  // Once a turn, and not while its accusation waits for its verdict.
  bool MaySuggest(int seat) const { return Valid(seat) && !Of(seat).suggested && !Of(seat).kokusoOpen; }
  void Suggested(int seat) { Of(seat).suggested = Of(seat).suiriOpen = true; }
  // Not while a suggestion or accusation of it is open.
  bool MayAccuse(int seat) const { return Valid(seat) && !Of(seat).suiriOpen && !Of(seat).kokusoOpen; }
  // open: the accusation waits for its verdict (not when it was cancelled).
  void Accused(int seat, bool open) { Of(seat).kokusoOpen = open; }
  void SuggestionAnswered(int seat) { Of(seat).suiriOpen = false; }
  void VerdictCame(int seat) { Of(seat).kokusoOpen = false; }
  bool SuggestionOpen(int seat) const { return Valid(seat) && Of(seat).suiriOpen; }
  bool AccusationOpen(int seat) const { return Valid(seat) && Of(seat).kokusoOpen; }

  // ---- A card asked ----
  // SHOWSEL: the seat may show one of codes (none: only "SHOW NO").
  void Ask(int seat, std::vector<int> codes);
  bool Asked(int seat) const { return Valid(seat) && asked_[size_t(seat)].open; }
  // The seat answers with code (below 0: "SHOW NO"): true when it may, and
  // the question is answered.
  bool Answer(int seat, int code);
  // The answer the host gives for it: the first card asked, -1 "SHOW NO".
  int HostsAnswer(int seat) const;

  // ---- Moves sent ahead of their copies ----
  void MoveSent(int seat) { ++seats_[size_t(seat)].movesInFlight; }
  // A copy of a move of the seat has come back: true once every move sent
  // for it has (its record here is then no newer than the line).
  bool MoveCopied(int seat);

 private:
  struct TSeat {
    bool suggested = false, suiriOpen = false, kokusoOpen = false;
    int movesInFlight = 0;
  };
  struct TAsked {
    bool open = false;
    std::vector<int> codes;
  };
  static bool Valid(int seat) { return seat >= 0 && seat < 6; }
  TSeat& Of(int seat) { return seats_[size_t(seat)]; }
  const TSeat& Of(int seat) const { return seats_[size_t(seat)]; }

  int turn_ = -1;
  bool takenOver_ = false;
  std::array<TSeat, 6> seats_{};
  std::array<TAsked, 6> asked_{};
};

}  // namespace client
