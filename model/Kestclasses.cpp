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
  if (memberCount_ == 0) playing_ = 0;
  return true;
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

int32_t TRoom::PlayersDealt() const { return std::popcount(playerSeats_); }

int32_t TRoom::AdvanceTurn() {
  turn_ = NextSeat(turn_);
  return turn_;
}

void TRoom::DealCards() {
  playing_ = 1;
  deck_.ResetOrder();
  for (int pass = 0; pass < 3; ++pass) deck_.ShuffleCards();
  solution_[0] = deck_.DrawCardOfMark(mkPerson);
  solution_[1] = deck_.DrawCardOfMark(mkWeapon);
  solution_[2] = deck_.DrawCardOfMark(mkRoom);

  playerSeats_ = 0;
  for (int s = 0; s < memberCount_; ++s)
    if (TKestUser* u = UserAtSeat(s); u && !u->HasFlags(ufNonParticipant)) playerSeats_ |= uint8_t(1u << s);
  for (int s = 0; s < memberCount_; ++s) {
    if (TKestUser* u = UserAtSeat(s)) {
      u->hand.ClearList();
      u->ClearFlags(ufEliminated);
    }
  }
  // The cards go round the player seats, passing over seat fillers wherever
  // they sit, until the deck is empty; a full hand drops its card.
  const int32_t first = NextSeat(-1);
  for (int seat = first; playerSeats_ != 0 && deck_.CardsLeft() > 0; seat = NextSeat(seat)) {
    const TCard card = deck_.DrawCard();
    if (TKestUser* u = UserAtSeat(seat)) u->hand.Append(card);
  }
  for (int s = 0; s < memberCount_; ++s)
    if (TKestUser* u = UserAtSeat(s); u && IsPlayerSeat(s)) u->hand.SortCards();
  turn_ = first;
}

void TRoom::SetSuggestion(int user, const TCard cards[3]) {
  const int seat = SeatOf(user);
  if (TKestUser* u = UserAtSeat(seat))
    for (int i = 0; i < 3; ++i) u->suggestion[i] = cards[i];
  responder_ = seat < 0 ? 0 : NextSeat(seat);
}

bool TRoom::NextResponder(TCard list[3], int& count) {
  count = 0;
  const TKestUser* r = UserAtSeat(responder_);
  const TKestUser* t = UserAtSeat(turn_);
  if (r && t) {
    for (const TCard& card : t->suggestion)
      if (r->hand.ContainsCard(card)) list[count++] = card;
  }
  responder_ = NextSeat(responder_);
  return count > 0;
}

bool TRoom::CheckAccusation(const TCard cards[3]) const {
  for (const TCard& s : solution_)
    if (std::find(cards, cards + 3, s) == cards + 3) return false;
  return true;
}

void TRoom::GetSolution(TCard cards[3]) const {
  for (int i = 0; i < 3; ++i) cards[i] = solution_[i];
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
