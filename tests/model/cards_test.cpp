#include <gtest/gtest.h>

#include <cstdlib>

#include "Kestclasses.h"
#include "Random.h"

using namespace kest;

namespace {

void ExpectThrowsWith(const std::function<void()>& f, const char* message) {
  try {
    f();
    ADD_FAILURE() << "no exception";
  } catch (const EKestError& e) {
    EXPECT_STREQ(e.what(), message);
  }
}

}  // namespace

TEST(Random, SequenceForFixedSeed) {
  RandSeed(1);
  const int expected[] = {346, 130, 10982, 1090, 11656};
  for (int v : expected) EXPECT_EQ(Rand(), v);
}

TEST(Random, StateWrapsAt32Bits) {
  RandSeed(0xFFFFFFFFu);
  EXPECT_EQ(Rand(), 32421);
  EXPECT_EQ(Rand(), 561);
  EXPECT_EQ(Rand(), 22046);
  EXPECT_EQ(RandState(), 1444857250u);
}

TEST(Random, FixedSeedHookSeedsOnceThenLeavesTheGenerator) {
  ::setenv("VELMORA_SEED", "1", 1);
  RandSeedFromTime();
  EXPECT_EQ(Rand(), 346);
  RandSeedFromTime();  // a later seeding keeps the sequence going
  EXPECT_EQ(Rand(), 130);
  TDeck deck;  // so does building a deck
  EXPECT_EQ(Rand(), 10982);
  ::unsetenv("VELMORA_SEED");
}

TEST(Card, MessagesAreShiftJisBytes) {
  EXPECT_STREQ(kMsgBadMark, "\x83\x7d\x81\x5b\x83\x4e\x82\xaa\x96\xb3\x8c\xf8\x82\xc5\x82\xb7\x2e");
  EXPECT_STREQ(kMsgNoCard, "\x83\x4a\x81\x5b\x83\x68\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x2e");
}

TEST(Card, MakeCardChecksMarkThenIndex) {
  EXPECT_EQ(TCard::MakeCard(3, 8).WireCode(), 38);
  EXPECT_EQ(TCard::MakeCard(1, 5).WireCode(), 15);
  ExpectThrowsWith([] { TCard::MakeCard(1, 6); }, kMsgBadIndex);
  ExpectThrowsWith([] { TCard::MakeCard(2, 8); }, kMsgBadIndex);
  ExpectThrowsWith([] { TCard::MakeCard(0, 0); }, kMsgBadMark);
  // A failed SetIndex leaves the card as it was.
  TCard c = TCard::MakeCard(3, 7);
  c.SetMark(1);
  ExpectThrowsWith([&] { c.SetIndex(7); }, kMsgBadIndex);
  EXPECT_EQ(c.Index(), 7);
  // Other marks than 1-3 are stored unchanged.
  c.SetMark(9);
  EXPECT_EQ(c.Mark(), 9);
}

TEST(CardList, AppendContainsSortClear) {
  TCardList hand;
  for (int code : {32, 21, 10, 35, 24, 13, 32, 21, 10})
    EXPECT_TRUE(hand.Append(TCard::MakeCard(uint8_t(code / 10), uint16_t(code % 10))));
  EXPECT_FALSE(hand.Append(TCard::MakeCard(1, 0)));
  EXPECT_EQ(hand.CardCount(), 9);
  EXPECT_TRUE(hand.ContainsCard(TCard::MakeCard(3, 2)));
  EXPECT_FALSE(hand.ContainsCard(TCard::MakeCard(3, 8)));
  hand.SortCards();
  const int sorted[] = {10, 10, 13, 21, 21, 24, 32, 32, 35};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(hand.CardAt(i).WireCode(), sorted[i]) << i;
  hand.ClearList();
  EXPECT_EQ(hand.CardCount(), 0);
  EXPECT_FALSE(hand.ContainsCard(TCard()));
}

TEST(Deck, UnshuffledDeckDrawsInCardOrder) {
  TDeck deck;
  EXPECT_EQ(deck.DrawCard().WireCode(), 10);
  EXPECT_EQ(deck.DrawCardOfMark(2).WireCode(), 20);
  EXPECT_EQ(deck.DrawCardOfMark(3).WireCode(), 30);
  EXPECT_EQ(deck.CardsLeft(), 18);
  // Taking from the middle keeps the order of the rest.
  EXPECT_EQ(deck.DrawCard().WireCode(), 11);
  EXPECT_EQ(deck.DrawCardOfMark(2).WireCode(), 21);
  EXPECT_EQ(deck.DrawCard().WireCode(), 12);
}

TEST(Deck, DrawOfMissingMarkLeavesDeck) {
  TDeck deck;
  for (int i = 0; i < 6; ++i) EXPECT_EQ(deck.DrawCard().Mark(), mkPerson);
  EXPECT_EQ(deck.DrawCardOfMark(1), TCard());
  EXPECT_EQ(deck.CardsLeft(), 15);
  EXPECT_EQ(deck.DrawCardOfMark(7), TCard());
}

TEST(Deck, EmptyDeckRaises) {
  TDeck deck;
  for (int i = 0; i < 21; ++i) deck.DrawCard();
  ExpectThrowsWith([&] { deck.DrawCard(); }, kMsgNoCard);
  ExpectThrowsWith([&] { deck.DrawCardOfMark(1); }, kMsgNoCard);
  EXPECT_EQ(deck.CardsLeft(), 0);
}

TEST(Deck, ShuffleKeepsEveryCardOnce) {
  TDeck deck;
  RandSeed(42);
  deck.ShuffleCards();
  int seen[40] = {};
  while (deck.CardsLeft() > 0) ++seen[deck.DrawCard().WireCode()];
  for (int code = 0; code < 40; ++code) {
    const bool valid = (code >= 10 && code <= 15) || (code >= 20 && code <= 25) || (code >= 30 && code <= 38);
    EXPECT_EQ(seen[code], valid ? 1 : 0) << code;
  }
}

TEST(Dice, StartsAtOneAndRollsWithinSides) {
  TDice die;
  EXPECT_EQ(die.Value(), 1);
  RandSeed(1);
  EXPECT_EQ(die.RollDie(6), 346 % 6 + 1);
  bool seen[8] = {};
  for (int i = 0; i < 1000; ++i) {
    const int v = die.RollDie(6);
    ASSERT_GE(v, 1);
    ASSERT_LE(v, 6);
    seen[v] = true;
  }
  for (int v = 1; v <= 6; ++v) EXPECT_TRUE(seen[v]) << v;
}
