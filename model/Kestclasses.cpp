#include "Kestclasses.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "Number.h"
#include "Random.h"

namespace kest {

// ---- TCard ----

TCard TCard::MakeCard(uint8_t mark, uint16_t index) {
  TCard c;
  c.SetMark(mark);
  c.SetIndex(index);
  return c;
}

void TCard::SetMark(uint8_t mark) {
  if (mark == 0) throw EKestError(kMsgBadMark);
  mark_ = mark;
}

void TCard::SetIndex(uint16_t index) {
  const uint16_t limit = mark_ == mkRoom ? 8 : 5;
  if (index > limit) throw EKestError(kMsgBadIndex);
  index_ = index;
}

// ---- TCardList ----

bool TCardList::Append(const TCard& card) {
  if (count_ >= kMaxCards) return false;
  cards_[count_++] = card;
  return true;
}

bool TCardList::ContainsCard(const TCard& card) const {
  return std::find(cards_, cards_ + count_, card) != cards_ + count_;
}

void TCardList::SortCards() {
  std::sort(cards_, cards_ + count_, [](const TCard& a, const TCard& b) {
    return a.Mark() != b.Mark() ? a.Mark() < b.Mark() : a.Index() < b.Index();
  });
}

void TCardList::ClearList() {
  for (TCard& c : cards_) c.ClearCard();
  count_ = 0;
}

// ---- TDeck ----

void TDeck::BuildDeck() {
  static const struct {
    uint8_t mark;
    uint16_t count;
  } kKinds[] = {{mkPerson, 6}, {mkWeapon, 6}, {mkRoom, 9}};
  int n = 0;
  for (const auto& kind : kKinds)
    for (uint16_t i = 0; i < kind.count; ++i) cards_[n++] = TCard::MakeCard(kind.mark, i);
  RandSeedFromTime();
  ResetOrder();
}

void TDeck::ResetOrder() {
  for (int i = 0; i < kDeckSize; ++i) order_[i] = int16_t(kDeckSize - 1 - i);
  count_ = kDeckSize;
}

void TDeck::ShuffleCards() {
  for (int32_t i = 0; i < count_; ++i) {
    const int32_t j = Rand() % count_;
    std::swap(order_[i], order_[j]);
  }
}

TCard TDeck::DrawCard() {
  if (count_ == 0) throw EKestError(kMsgNoCard);
  --count_;
  return cards_[order_[count_]];
}

TCard TDeck::DrawCardOfMark(uint8_t mark) {
  if (count_ == 0) throw EKestError(kMsgNoCard);
  for (int32_t p = count_ - 1; p >= 0; --p) {
    const TCard card = cards_[order_[p]];
    if (card.Mark() != mark) continue;
    std::memmove(&order_[p], &order_[p + 1], sizeof(order_[0]) * (kDeckSize - 1 - p));
    --count_;
    return card;
  }
  return TCard();
}

// ---- TDice ----

int16_t TDice::RollDie(int sides) {
  if (sides <= 0) return value_;
  value_ = int16_t(Rand() % sides + 1);
  return value_;
}

// ---- TKestUser ----

void TKestUser::SetName(const std::string& text) {
  std::memset(name_, 0, sizeof(name_));
  if (text.size() < sizeof(name_)) std::memcpy(name_, text.data(), text.size());
}

// ---- TRoom ----

namespace {

// The bits with the one of seat taken out and the later ones moved down.
uint8_t WithoutSeat(uint8_t bits, int seat) {
  const auto below = uint8_t(bits & ((1u << seat) - 1));
  return uint8_t(below | ((bits >> (seat + 1)) << seat));
}

// A seat index after the member in `gone` has left.
int32_t SeatAfterLeave(int32_t seat, int gone) { return seat > gone ? seat - 1 : seat; }

}  // namespace

bool TRoom::AddMember(int16_t user) {
  if (memberCount_ >= kMaxMembers) return false;
  members_[memberCount_++] = user;
  return true;
}

bool TRoom::RemoveMember(int16_t user) {
  const int seat = SeatOf(user);
  if (seat < 0) return false;
  for (int s = seat; s + 1 < memberCount_; ++s) members_[s] = members_[s + 1];
  members_[--memberCount_] = 0;
  CloseSeat(seat);
  if (memberCount_ == 0) StopPlaying();
  return true;
}

void TRoom::CloseSeat(int seat) {
  game_.playerSeats = WithoutSeat(game_.playerSeats, seat);
  game_.outSeats = WithoutSeat(game_.outSeats, seat);
  std::copy(game_.verdicts + seat + 1, game_.verdicts + kMaxMembers, game_.verdicts + seat);
  game_.verdicts[kMaxMembers - 1] = -1;
  turnPart_.unconfirmedSeats = WithoutSeat(turnPart_.unconfirmedSeats, seat);
  turn_ = SeatAfterLeave(turn_, seat);
  turnPart_.responder = SeatAfterLeave(turnPart_.responder, seat);
  turnPart_.asked = turnPart_.asked == seat ? -1 : SeatAfterLeave(turnPart_.asked, seat);
}

int TRoom::MemberAt(int seat) const {
  if (seat < 0 || seat >= memberCount_) return -1;
  return members_[seat];
}

int TRoom::SeatOf(int user) const {
  for (int s = 0; s < memberCount_; ++s)
    if (members_[s] == user) return s;
  return -1;
}

TKestUser* TRoom::UserAtSeat(int seat) const {
  const int user = MemberAt(seat);
  if (user < 0 || !users_) return nullptr;
  return users_->UserOf(user);
}

int32_t TRoom::NextSeat(int32_t seat) const {
  for (int k = 1; k <= kMaxMembers; ++k) {
    const int s = (seat + k + kMaxMembers) % kMaxMembers;
    if (IsPlayerSeat(s)) return s;
  }
  return 0;
}

int32_t TRoom::PlayersDealt() const { return std::popcount(game_.playerSeats); }

void TRoom::StopPlaying() {
  game_ = TWholeGame();
  turnPart_ = TTurn();
}

bool TRoom::DealCards() {
  uint8_t players = 0;
  for (int s = 0; s < memberCount_; ++s)
    if (TKestUser* u = UserAtSeat(s); u && !u->HasFlags(ufNonParticipant)) players |= uint8_t(1u << s);
  if (players == 0) return false;

  StopPlaying();
  game_.playing = 1;
  game_.playerSeats = players;
  deck_.ResetOrder();
  for (int pass = 0; pass < 3; ++pass) deck_.ShuffleCards();
  game_.solution[0] = deck_.DrawCardOfMark(mkPerson);
  game_.solution[1] = deck_.DrawCardOfMark(mkWeapon);
  game_.solution[2] = deck_.DrawCardOfMark(mkRoom);
  for (int s = 0; s < memberCount_; ++s)
    if (TKestUser* u = UserAtSeat(s)) u->hand.ClearList();
  // The cards go round the player seats, passing over seat fillers wherever
  // they sit, until the deck is empty; a full hand drops its card.
  const int32_t first = NextSeat(-1);
  for (int seat = first; deck_.CardsLeft() > 0; seat = NextSeat(seat)) {
    const TCard card = deck_.DrawCard();
    if (TKestUser* u = UserAtSeat(seat)) u->hand.Append(card);
  }
  for (int s = 0; s < memberCount_; ++s)
    if (TKestUser* u = UserAtSeat(s); u && IsPlayerSeat(s)) u->hand.SortCards();
  turn_ = first;
  return true;
}

int32_t TRoom::AdvanceTurn() {
  turn_ = NextSeat(turn_);
  return turn_;
}

int32_t TRoom::NextTurn() {
  turnPart_ = TTurn();
  for (int k = 0; k < kMaxMembers; ++k)
    if (!IsOut(AdvanceTurn()) && IsPlayerSeat(turn_)) return turn_;
  return -1;
}

void TRoom::PutOut(int seat) {
  if (IsPlayerSeat(seat)) game_.outSeats |= uint8_t(1u << seat);
}

int TRoom::Verdict(int seat) const { return seat >= 0 && seat < kMaxMembers ? game_.verdicts[seat] : -1; }

void TRoom::OpenVerdict(int seat, bool right) {
  if (seat >= 0 && seat < kMaxMembers) game_.verdicts[seat] = right ? 1 : 0;
}

int TRoom::TakeVerdict(int seat) {
  const int v = Verdict(seat);
  if (v >= 0) game_.verdicts[seat] = -1;
  return v;
}

void TRoom::SetSuggestion(int user, const TCard cards[3]) {
  const int seat = SeatOf(user);
  if (TKestUser* u = UserAtSeat(seat))
    for (int i = 0; i < 3; ++i) u->suggestion[i] = cards[i];
  turnPart_.responder = seat < 0 ? 0 : NextSeat(seat);
  turnPart_.suggested = true;
}

bool TRoom::NextResponder(TCard list[3], int& count) {
  count = 0;
  const TKestUser* r = UserAtSeat(turnPart_.responder);
  const TKestUser* t = UserAtSeat(turn_);
  if (r && t) {
    for (const TCard& card : t->suggestion)
      if (r->hand.ContainsCard(card)) list[count++] = card;
  }
  turnPart_.responder = NextSeat(turnPart_.responder);
  return count > 0;
}

int32_t TRoom::AskResponder() {
  turnPart_.asked = turnPart_.responder;
  turnPart_.looked = false;
  turnPart_.matches = 0;
  return turnPart_.asked;
}

void TRoom::LookAtAskedCards() {
  if (turnPart_.looked) return;
  turnPart_.looked = true;
  int count = 0;
  NextResponder(turnPart_.match, count);
  turnPart_.matches = count;
}

bool TRoom::AwaitConfirmations(uint8_t seats) {
  turnPart_.unconfirmedSeats = seats;
  return seats != 0;
}

bool TRoom::Confirm(int seat) {
  if (!SeatBit(turnPart_.unconfirmedSeats, seat)) return false;  // not asked, or already counted
  turnPart_.unconfirmedSeats &= uint8_t(~(1u << seat));
  return turnPart_.unconfirmedSeats == 0;
}

bool TRoom::CheckAccusation(const TCard cards[3]) const {
  for (const TCard& s : game_.solution)
    if (std::find(cards, cards + 3, s) == cards + 3) return false;
  return true;
}

void TRoom::GetSolution(TCard cards[3]) const {
  for (int i = 0; i < 3; ++i) cards[i] = game_.solution[i];
}

// ---- Line tokenizer ----

bool IsSjisLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF); }

bool PlainFileName(const std::string& sjis) {
  if (sjis.empty() || sjis.size() > 63) return false;
  bool dot = false;  // the character before was a "."
  for (size_t i = 0; i < sjis.size(); ++i) {
    auto c = static_cast<unsigned char>(sjis[i]);
    if (IsSjisLeadByte(c)) {
      if (i + 1 >= sjis.size() || sjis[i + 1] == 0) return false;
      ++i;
      dot = false;
      continue;
    }
    if (c == 0 || c == '/' || c == '\\' || (c == '.' && dot)) return false;
    dot = c == '.';
  }
  return true;
}

bool FieldReadsBack(std::string_view sjis) {
  for (size_t i = 0; i < sjis.size(); ++i) {
    const auto c = static_cast<unsigned char>(sjis[i]);
    if (c < 0x20) return false;
    if (IsSjisLeadByte(c)) {
      if (i + 1 == sjis.size() || static_cast<unsigned char>(sjis[i + 1]) < 0x20) return false;
      ++i;
    }
  }
  return true;
}

namespace {

constexpr unsigned char kBS = 0x08;

// Separators other than the terminating NUL.
bool IsSeparator(unsigned char c) {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == ',' || c == ':';
}

// One scan step: a lead byte takes its trail byte along, but never the NUL.
unsigned char* Step(unsigned char* p) { return p + ((IsSjisLeadByte(p[0]) && p[1] != 0) ? 2 : 1); }

}  // namespace

int SplitLine(char* line, char** tokens, int max, int& id) {
  id = -1;
  if (!line || !tokens || max <= 0) return -1;
  auto* p = reinterpret_cast<unsigned char*>(line);
  int idToken = -1;
  bool quoted = false;
  int stored = 0;
  for (int i = 0;;) {
    tokens[i] = reinterpret_cast<char*>(p);
    stored = i + 1;
    if (quoted) {
      while (*p != 0 && *p != kBS) p = Step(p);
      if (*p == kBS) *p++ = 0;
    }
    while (*p != 0 && !IsSeparator(*p)) p = Step(p);
    if (*p == ':') idToken = i + 1;
    while (IsSeparator(*p)) *p++ = 0;
    quoted = *p == kBS;
    if (quoted) ++p;
    if (*p == 0) break;
    if (++i >= max) break;
  }
  if (idToken < 0) return stored - 1;
  if (idToken < stored) id = ReadDecimal(tokens[idToken]);
  return stored - 2;
}

}  // namespace kest
