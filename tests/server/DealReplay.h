// An independent replay of the shared generator and of the dealing rules:
// three shuffle passes over the 21 cards, the solution's person, weapon and
// room taken from the top, the rest dealt round the players' seats.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace velmora::test {

class Lcg {
 public:
  explicit Lcg(uint32_t seed) : s_(seed) {}
  int Next() {
    s_ = s_ * 22695477u + 1u;
    return int((s_ >> 16) & 0x7FFF);
  }

 private:
  uint32_t s_;
};

struct Deal {
  std::array<int, 3> solution;  // person, weapon, room codes
  std::vector<std::vector<int>> hands;
};

inline Deal ReplayDeal(Lcg& rng, int players) {
  std::vector<int> cards;
  for (int i = 0; i < 6; ++i) cards.push_back(10 + i);
  for (int i = 0; i < 6; ++i) cards.push_back(20 + i);
  for (int i = 0; i < 9; ++i) cards.push_back(30 + i);
  std::vector<int> order;  // the top of the deck is the back
  for (int i = 0; i < 21; ++i) order.push_back(20 - i);
  for (int pass = 0; pass < 3; ++pass)
    for (size_t i = 0; i < order.size(); ++i) std::swap(order[i], order[size_t(rng.Next()) % order.size()]);
  Deal d;
  for (int mark = 1; mark <= 3; ++mark) {
    for (size_t p = order.size(); p-- > 0;) {
      if (cards[size_t(order[p])] / 10 != mark) continue;
      d.solution[size_t(mark - 1)] = cards[size_t(order[p])];
      order.erase(order.begin() + long(p));
      break;
    }
  }
  d.hands.resize(size_t(players));
  for (int seat = 0; !order.empty(); seat = (seat + 1) % players) {
    if (d.hands[size_t(seat)].size() < 9) d.hands[size_t(seat)].push_back(cards[size_t(order.back())]);
    order.pop_back();
  }
  for (auto& h : d.hands) std::sort(h.begin(), h.end());
  return d;
}

}  // namespace velmora::test
