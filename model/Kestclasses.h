// Game model shared by the server and the client: cards, hands, the deck,
// the die, the player and room records and the line tokenizer.
// All text is Shift-JIS bytes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kest {

// Misuse of a model value: the message is Shift-JIS text for the user.
class EKestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "マークが無効です."
inline constexpr const char kMsgBadMark[] =
    "\x83\x7d\x81\x5b\x83\x4e\x82\xaa\x96\xb3\x8c\xf8\x82\xc5\x82\xb7.";
// "インデックスが無効です."
inline constexpr const char kMsgBadIndex[] =
    "\x83\x43\x83\x93\x83\x66\x83\x62\x83\x4e\x83\x58\x82\xaa\x96\xb3\x8c\xf8"
    "\x82\xc5\x82\xb7.";
// "カードはありません."
inline constexpr const char kMsgNoCard[] =
    "\x83\x4a\x81\x5b\x83\x68\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1.";

enum : uint8_t { mkNone = 0, mkPerson = 1, mkWeapon = 2, mkRoom = 3 };

class TCard {
 public:
  TCard() = default;
  static TCard MakeCard(uint8_t mark, uint16_t index);

  uint8_t Mark() const { return mark_; }
  uint16_t Index() const { return index_; }
  void SetMark(uint8_t mark);
  void SetIndex(uint16_t index);
  void ClearCard() { mark_ = 0; index_ = 0; }

  // mark * 10 + index: persons 10-15, weapons 20-25, rooms 30-38.
  int WireCode() const { return mark_ * 10 + index_; }
  bool operator==(const TCard& o) const { return mark_ == o.mark_ && index_ == o.index_; }

 private:
  uint8_t mark_ = 0;
  uint16_t index_ = 0;
};

class TCardList {
 public:
  static constexpr int kMaxCards = 9;

  TCard CardAt(int i) const { return cards_[i]; }
  uint16_t CardCount() const { return count_; }
  bool Append(const TCard& card);
  bool ContainsCard(const TCard& card) const;
  void SortCards();
  void ClearList();

 private:
  TCard cards_[kMaxCards];
  uint16_t count_ = 0;
};

class TDeck {
 public:
  static constexpr int kDeckSize = 21;

  TDeck() { BuildDeck(); }
  void BuildDeck();
  int32_t CardsLeft() const { return count_; }
  void ResetOrder();
  void ShuffleCards();
  TCard DrawCard();
  TCard DrawCardOfMark(uint8_t mark);

 private:
  TCard cards_[kDeckSize];
  int16_t order_[kDeckSize] = {};
  int32_t count_ = 0;
};

class TDice {
 public:
  int16_t RollDie(int sides);
  int16_t Value() const { return value_; }

 private:
  int16_t value_ = 1;
};

// Player flag bits.
enum : uint32_t {
  ufUnused = 0x80000000u,
  ufLoggedIn = 0x40000000u,
  ufEliminated = 0x20000000u,
  ufNonParticipant = 0x02000000u,
  ufComputer = 0x01000000u,
  ufDiceDone = 0x00010000u,  // client only: rolled the die this turn
};

// The connection a user's lines travel on. The socket layers of both
// programs derive their connection types from it.
class TUserConnection {
 public:
  virtual ~TUserConnection() = default;
};

// One player record, with the fields of both programs (the client also
// keeps the steps left on the board and ufDiceDone).
class TKestUser {
 public:
  static constexpr int kNameSize = 64;

  void SetName(const std::string& text);
  std::string GetName() const { return name_; }
  void SetFace(const std::string& text) { face_ = text; }
  const std::string& GetFace() const { return face_; }
  void SetPosition(int16_t x, int16_t y) { x_ = x; y_ = y; }
  int16_t X() const { return x_; }
  int16_t Y() const { return y_; }
  void SetRoom(int16_t n) { room_ = n; }
  int16_t GetRoom() const { return room_; }
  void SetPlace(int16_t n) { place_ = n; }
  int16_t GetPlace() const { return place_; }

  void SetFlags(uint32_t bits) { flags_ |= bits; }
  void ClearFlags(uint32_t bits) { flags_ &= ~bits; }
  bool HasFlags(uint32_t bits) const { return (flags_ & bits) == bits; }
  uint32_t Flags() const { return flags_; }
  void MarkUnused() { SetFlags(ufUnused); }
  void ClearUnused() { ClearFlags(ufUnused); }
  void MarkLoggedIn() { SetFlags(ufLoggedIn); }
  void ClearLoggedIn() { ClearFlags(ufLoggedIn); }
  bool IsLoggedIn() const { return HasFlags(ufLoggedIn); }

  void SetSteps(int16_t n) { steps_ = n; }
  int16_t GetSteps() const { return steps_; }
  int16_t IncSteps() { return ++steps_; }
  int16_t DecSteps() {
    if (steps_ != 0) --steps_;
    return steps_;
  }

  int16_t UserNo = 0;
  int16_t CpuType = 0;
  TUserConnection* socket = nullptr;  // not owned
  TCardList hand;
  TCard suggestion[3];  // room, person, weapon

 private:
  char name_[kNameSize] = {};
  std::string face_;
  int16_t x_ = 0, y_ = 0;
  int16_t room_ = -1;
  int16_t place_ = 0;
  uint32_t flags_ = ufUnused;
  int16_t steps_ = 0;
};

// How a room reaches the records of its members (the server's user table).
class TUserLookup {
 public:
  virtual ~TUserLookup() = default;
  // The record of a user number, or nullptr for a free or invalid number.
  virtual TKestUser* UserOf(int userNo) const = 0;
};

// A room: its members in seat order, its lock, and the game that runs in it.
// The game is one record of two parts: what lasts the whole game (reset at
// the deal and when the game stops) and what lasts one turn (reset at the
// deal and at each turn). Seats are indexes into the members; when a member
// leaves, the later ones move up a seat and their parts of the record with
// them.
class TRoom {
 public:
  static constexpr int kMaxMembers = 6;

  explicit TRoom(const TUserLookup* users = nullptr) : users_(users) {}
  void SetUserLookup(const TUserLookup* users) { users_ = users; }

  bool AddMember(int16_t user);
  // Play goes on until the last member leaves.
  bool RemoveMember(int16_t user);
  int32_t MemberCount() const { return memberCount_; }
  int MemberAt(int seat) const;
  int SeatOf(int user) const;
  // The count the lobby is shown for the room: the players dealt in while a
  // game runs, otherwise the members.
  int32_t LobbyCount() const { return IsPlaying() ? PlayersDealt() : memberCount_; }

  bool IsLocked() const { return locked_ != 0; }
  void SetLocked(bool b) { locked_ = b ? 1 : 0; }

  TDice die;

  // ---- The whole game ----

  // Deals a new game to the members that are not seat fillers, and starts
  // its first turn; false, and nothing changes, when no member would play.
  bool DealCards();
  bool IsPlaying() const { return game_.playing != 0; }
  // Ends the game and forgets it.
  void StopPlaying();
  // Whether the member in a seat was dealt in at the last deal: people and
  // computer players, wherever seat fillers sit among them. The player
  // seats are the one record of who plays.
  bool IsPlayerSeat(int seat) const { return SeatBit(game_.playerSeats, seat); }
  // Calls fn(seat, record) for each player seat with a record, in seat
  // order; a filler's seat among them is passed over.
  template <class Fn>
  void ForPlayerSeats(Fn&& fn) const {
    for (int s = 0; s < memberCount_; ++s)
      if (TKestUser* u = IsPlayerSeat(s) ? UserAtSeat(s) : nullptr) fn(s, *u);
  }
  bool CheckAccusation(const TCard cards[3]) const;
  void GetSolution(TCard cards[3]) const;
  // A seat put out by a wrong accusation: passed over by the turns, it
  // still answers suggestions.
  bool IsOut(int seat) const { return SeatBit(game_.outSeats, seat); }
  void PutOut(int seat);
  // Whether a player seat is not out.
  bool AnyPlayerIn() const { return (game_.playerSeats & ~game_.outSeats) != 0; }
  // The verdict of a seat's accusation until its KOKUSOEND takes it: -1
  // none, 0 wrong, 1 right.
  int Verdict(int seat) const;
  void OpenVerdict(int seat, bool right);
  // The open verdict, which is closed; -1 when none was open.
  int TakeVerdict(int seat);

  // ---- The turn ----

  int32_t TurnSeat() const { return turn_; }
  // The next player seat, round the table (0 when nobody plays).
  int32_t AdvanceTurn();
  // Starts the next turn: the next player seat that is not out gets it and
  // the turn's part of the record starts afresh. -1, and nobody has the
  // turn, when every player is out.
  int32_t NextTurn();

  // The suggestion: stores the suggester's cards, names the seat after it
  // to answer first, and marks the turn's one suggestion as made.
  void SetSuggestion(int user, const TCard cards[3]);
  bool Suggested() const { return turnPart_.suggested; }
  int32_t ResponderSeat() const { return turnPart_.responder; }
  // Finds which of the suggester's cards the responder seat holds and
  // moves the responder seat on.
  bool NextResponder(TCard list[3], int& count);
  // Names the responder seat as the one asked to answer (returned).
  int32_t AskResponder();
  // The seat asked to answer, -1 when nobody is.
  int32_t AskedSeat() const { return turnPart_.asked; }
  // Whether the asked seat's cards were looked at; looks once, which moves
  // the responder seat on.
  bool AskedCardsLooked() const { return turnPart_.looked; }
  void LookAtAskedCards();
  // The asked seat's cards that match the suggestion, once looked at.
  const TCard* Matches() const { return turnPart_.match; }
  int32_t MatchCount() const { return turnPart_.matches; }
  // The asked seat has answered.
  void Answered() { turnPart_.asked = -1; }

  // The turn-end handshake: the seats asked to confirm; false when there
  // are none.
  bool AwaitConfirmations(uint8_t seats);
  // A seat's confirmation; true when it was the last one awaited.
  bool Confirm(int seat);

 private:
  struct TWholeGame {
    uint8_t playing = 0;
    uint8_t playerSeats = 0;  // bit s: seat s was dealt in
    uint8_t outSeats = 0;     // bit s: seat s made a wrong accusation
    TCard solution[3];        // person, weapon, room
    int8_t verdicts[kMaxMembers] = {-1, -1, -1, -1, -1, -1};
  };
  struct TTurn {
    int32_t responder = 0;  // the seat that answers the suggestion next
    int32_t asked = -1;     // the seat named in the last SHOWWAIT
    bool looked = false;
    TCard match[3];
    int32_t matches = 0;
    uint8_t unconfirmedSeats = 0;  // bit s: seat s was asked to confirm and has not
    bool suggested = false;
  };

  static bool SeatBit(uint8_t bits, int seat) { return seat >= 0 && seat < kMaxMembers && ((bits >> seat) & 1) != 0; }
  // The record of the member in a seat; nullptr for an empty seat.
  TKestUser* UserAtSeat(int seat) const;
  // The next player seat after seat, round the table; 0 when nobody plays.
  int32_t NextSeat(int32_t seat) const;
  int32_t PlayersDealt() const;
  // The record's seats after the member in seat has left.
  void CloseSeat(int seat);

  const TUserLookup* users_;
  int16_t members_[kMaxMembers] = {};
  int32_t memberCount_ = 0;
  uint8_t locked_ = 0;
  TDeck deck_;
  int32_t turn_ = 0;
  TWholeGame game_;
  TTurn turnPart_;
};

// Line tokenizer.
bool IsSjisLeadByte(unsigned char b);
// A Shift-JIS name that may stand as a file name in a data folder: not
// empty, at most 63 bytes, and, read character by character (a trail byte
// such as the 0x5C of "\x83\x5c" is part of its character), no "/", "\\",
// "..", NUL or lone lead byte.
bool PlainFileName(const std::string& sjis);
// Whether a BS-quoted field (a name, a face) reaches every peer as it was
// sent: no byte below 0x20 (a BS would end the field, the others are
// separators or not shown), and, read character by character from its start
// as SplitLine reads it, no character cut off by the field's end, whose lead
// byte would take the closing BS along.
bool FieldReadsBack(std::string_view sjis);
// Splits line in place into at most max tokens; returns the argument count
// (tokens after the command word, the user number not counted) and sets id to
// the user number after ":" or -1.
int SplitLine(char* line, char** tokens, int max, int& id);

}  // namespace kest
