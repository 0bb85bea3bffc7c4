#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "Kestclasses.h"
#include "Random.h"

using namespace kest;

namespace {

class Users : public TUserLookup {
 public:
  TKestUser& Add(int no, uint32_t flags = 0) {
    TKestUser& u = users_[no];
    u.UserNo = int16_t(no);
    u.SetFlags(flags);
    return u;
  }
  TKestUser* UserOf(int no) const override {
    auto it = users_.find(no);
    return it == users_.end() ? nullptr : const_cast<TKestUser*>(&it->second);
  }

 private:
  std::map<int, TKestUser> users_;
};

std::vector<int> Codes(const TCardList& hand) {
  std::vector<int> v;
  for (int i = 0; i < hand.CardCount(); ++i) v.push_back(hand.CardAt(i).WireCode());
  return v;
}

std::vector<int> Solution(const TRoom& room) {
  TCard s[3];
  room.GetSolution(s);
  return {s[0].WireCode(), s[1].WireCode(), s[2].WireCode()};
}

TCard C(int code) { return TCard::MakeCard(uint8_t(code / 10), uint16_t(code % 10)); }

class RoomTest : public ::testing::Test {
 protected:
  // Seats users 10, 11, ... with the given flags and deals from `seed`.
  void Seat(const std::vector<uint32_t>& flags) {
    for (size_t s = 0; s < flags.size(); ++s) {
      users.Add(int(10 + s), flags[s]);
      ASSERT_TRUE(room.AddMember(int16_t(10 + s)));
    }
  }
  void Deal(uint32_t seed) {
    RandSeed(seed);
    room.DealCards();
  }
  const TCardList& Hand(int seat) { return users.UserOf(room.MemberAt(seat))->hand; }

  Users users;
  TRoom room{&users};
};

}  // namespace

TEST(KestUser, ConstructionAndFields) {
  TKestUser u;
  EXPECT_EQ(u.GetName(), "");
  EXPECT_EQ(u.GetRoom(), -1);
  EXPECT_EQ(u.Flags(), ufUnused);
  EXPECT_EQ(u.UserNo, 0);
  EXPECT_EQ(u.GetSteps(), 0);
  u.SetName(std::string(63, 'a'));
  EXPECT_EQ(u.GetName().size(), 63u);
  u.SetName(std::string(64, 'b'));
  EXPECT_EQ(u.GetName(), "");
  u.SetFlags(ufComputer | ufNonParticipant);
  EXPECT_TRUE(u.HasFlags(ufComputer | ufNonParticipant));
  u.ClearFlags(ufNonParticipant);
  EXPECT_FALSE(u.HasFlags(ufComputer | ufNonParticipant));
  u.ClearUnused();
  u.MarkLoggedIn();
  EXPECT_TRUE(u.IsLoggedIn());
  u.ClearLoggedIn();
  EXPECT_FALSE(u.IsLoggedIn());
}

TEST(KestUser, Steps) {
  TKestUser u;
  EXPECT_EQ(u.DecSteps(), 0);
  EXPECT_EQ(u.IncSteps(), 1);
  u.SetSteps(3);
  EXPECT_EQ(u.DecSteps(), 2);
}

TEST_F(RoomTest, MembersAndSeats) {
  Seat({0, 0, 0, 0, 0, 0});
  EXPECT_FALSE(room.AddMember(99));
  EXPECT_EQ(room.MemberCount(), 6);
  EXPECT_EQ(room.SeatOf(99), -1);
  EXPECT_EQ(room.MemberAt(6), -1);
  EXPECT_EQ(room.MemberAt(-1), -1);
  EXPECT_FALSE(room.RemoveMember(99));
  ASSERT_TRUE(room.RemoveMember(11));
  EXPECT_EQ(room.MemberAt(1), 12);
  EXPECT_EQ(room.MemberAt(2), 13);
  EXPECT_EQ(room.SeatOf(15), 4);
  EXPECT_EQ(room.LobbyCount(), 5);
}

TEST_F(RoomTest, LastMemberLeavingStopsPlay) {
  Seat({0, 0});
  Deal(5);
  EXPECT_TRUE(room.IsPlaying());
  room.RemoveMember(10);
  EXPECT_TRUE(room.IsPlaying());
  room.RemoveMember(11);
  EXPECT_FALSE(room.IsPlaying());
}

// Expected solutions and hands come from the generator's formula and the deal
// rule worked out by hand, not from this code.
TEST_F(RoomTest, SeededDealForThree) {
  Seat({0, ufComputer, 0});
  Deal(20261209);
  EXPECT_EQ(Solution(room), (std::vector<int>{14, 21, 30}));
  EXPECT_EQ(room.LobbyCount(), 3);
  EXPECT_EQ(Codes(Hand(0)), (std::vector<int>{20, 25, 33, 36, 37, 38}));
  EXPECT_EQ(Codes(Hand(1)), (std::vector<int>{10, 23, 24, 31, 32, 35}));
  EXPECT_EQ(Codes(Hand(2)), (std::vector<int>{11, 12, 13, 15, 22, 34}));
  EXPECT_EQ(room.TurnSeat(), 0);
}

TEST_F(RoomTest, SeededDealForSix) {
  Seat({0, 0, 0, 0, 0, 0});
  Deal(20261209);
  EXPECT_EQ(Solution(room), (std::vector<int>{14, 21, 30}));
  const std::vector<std::vector<int>> hands = {{33, 37, 38}, {23, 31, 35}, {15, 22, 34},
                                               {20, 25, 36}, {10, 24, 32}, {11, 12, 13}};
  for (int s = 0; s < 6; ++s) EXPECT_EQ(Codes(Hand(s)), hands[s]) << "seat " << s;
}

// A seat filler that joined before a person keeps its seat number but is
// passed over: the deal, the turns and the responders go round the players.
TEST_F(RoomTest, DealWithFillerSeat) {
  Seat({0, ufComputer | ufNonParticipant, 0});
  users.UserOf(11)->hand.Append(C(10));  // stale cards are cleared
  Deal(3);
  room.PutOut(2);  // a seat out in the last game plays the next
  Deal(7);
  EXPECT_EQ(room.LobbyCount(), 2);
  EXPECT_EQ(Solution(room), (std::vector<int>{12, 21, 38}));
  EXPECT_EQ(Codes(Hand(0)), (std::vector<int>{10, 11, 13, 15, 24, 25, 30, 32, 33}));
  EXPECT_EQ(Hand(1).CardCount(), 0);
  EXPECT_EQ(Codes(Hand(2)), (std::vector<int>{14, 20, 22, 23, 31, 34, 35, 36, 37}));
  EXPECT_FALSE(room.IsOut(2));
  EXPECT_TRUE(room.IsPlayerSeat(0));
  EXPECT_FALSE(room.IsPlayerSeat(1));
  EXPECT_TRUE(room.IsPlayerSeat(2));
}

TEST_F(RoomTest, TurnsAndRespondersPassOverFillers) {
  const uint32_t filler = ufComputer | ufNonParticipant;
  Seat({filler, 0, filler, 0, 0, filler});
  Deal(7);
  EXPECT_EQ(room.LobbyCount(), 3);
  std::vector<int> visited;
  room.ForPlayerSeats([&](int s, const TKestUser& u) {
    EXPECT_EQ(int(u.UserNo), room.MemberAt(s));
    visited.push_back(s);
  });
  EXPECT_EQ(visited, (std::vector<int>{1, 3, 4}));
  EXPECT_EQ(room.TurnSeat(), 1);  // the first player seat
  for (int s : {0, 2, 5}) EXPECT_EQ(Hand(s).CardCount(), 0) << s;
  for (int s : {1, 3, 4}) EXPECT_EQ(Hand(s).CardCount(), 6) << s;
  EXPECT_EQ(room.AdvanceTurn(), 3);
  EXPECT_EQ(room.AdvanceTurn(), 4);
  EXPECT_EQ(room.AdvanceTurn(), 1);
  const TCard s[3] = {C(30), C(10), C(20)};
  room.SetSuggestion(14, s);  // seat 4 suggests: seats 1 and 3 answer
  TCard list[3];
  int count = 0;
  for (int expected : {1, 3}) {
    EXPECT_EQ(room.ResponderSeat(), expected);
    room.NextResponder(list, count);
  }
  EXPECT_EQ(room.ResponderSeat(), 4);
}

TEST_F(RoomTest, DealToSinglePlayerKeepsNine) {
  Seat({0});
  Deal(99);
  EXPECT_EQ(Solution(room), (std::vector<int>{15, 22, 32}));
  EXPECT_EQ(Codes(Hand(0)), (std::vector<int>{21, 23, 24, 25, 33, 34, 36, 37, 38}));
}

// A table of seat fillers and seats without a record has nobody to deal
// to: the deal is refused and the room stays as it was.
TEST_F(RoomTest, DealWithoutAParticipantIsRefused) {
  Seat({ufComputer | ufNonParticipant, ufComputer | ufNonParticipant});
  room.AddMember(50);  // a seat whose user has no record
  users.UserOf(10)->hand.Append(C(10));
  RandSeed(3);
  EXPECT_FALSE(room.DealCards());
  EXPECT_FALSE(room.IsPlaying());
  EXPECT_EQ(room.LobbyCount(), 3);
  EXPECT_EQ(Codes(Hand(0)), std::vector<int>{10});
  EXPECT_EQ(room.NextTurn(), -1);
}

// When a member leaves during a game, the later members move up a seat and
// the game's record of those seats moves with them: who was dealt in, who
// is out, whose verdict is open and who is still to confirm.
TEST_F(RoomTest, SeatRecordsMoveUpWithTheMembers) {
  const uint32_t filler = ufComputer | ufNonParticipant;
  Seat({0, filler, 0, 0, 0});
  Deal(11);
  room.PutOut(3);
  room.OpenVerdict(4, true);
  room.AwaitConfirmations(uint8_t(1u << 2 | 1u << 4));
  ASSERT_TRUE(room.RemoveMember(10));  // seat 0: everybody moves up one
  EXPECT_TRUE(room.IsPlaying());
  EXPECT_EQ(room.LobbyCount(), 3);
  std::vector<int> players;
  room.ForPlayerSeats([&](int s, const TKestUser& u) { players.push_back(s * 100 + u.UserNo); });
  EXPECT_EQ(players, (std::vector<int>{112, 213, 314}));  // the filler, now seat 0, still passed over
  EXPECT_FALSE(room.IsOut(3));
  EXPECT_TRUE(room.IsOut(2));
  EXPECT_EQ(room.Verdict(3), 1);
  EXPECT_EQ(room.Verdict(4), -1);
  EXPECT_FALSE(room.Confirm(2));  // user 13, never asked
  EXPECT_FALSE(room.Confirm(1));  // user 12, now seat 1: user 14 is still awaited
  EXPECT_TRUE(room.Confirm(3));   // user 14, now seat 3: the last one awaited
  // Play goes on until the last member leaves.
  for (int user : {11, 12, 13}) room.RemoveMember(int16_t(user));
  EXPECT_TRUE(room.IsPlaying());
  room.RemoveMember(14);
  EXPECT_FALSE(room.IsPlaying());
}

TEST_F(RoomTest, AdvanceTurnWrapsAtPlayers) {
  Seat({0, 0, 0, ufNonParticipant});
  Deal(1);
  EXPECT_EQ(room.LobbyCount(), 3);
  EXPECT_EQ(room.AdvanceTurn(), 1);
  EXPECT_EQ(room.AdvanceTurn(), 2);
  EXPECT_EQ(room.AdvanceTurn(), 0);
}

TEST_F(RoomTest, ResponderOrderTwoSeats) {
  Seat({0, 0});
  Deal(1);
  room.AdvanceTurn();
  const TCard s[3] = {C(30), C(10), C(20)};
  room.SetSuggestion(11, s);
  EXPECT_EQ(room.ResponderSeat(), 0);
  TCard list[3];
  int count = -1;
  room.NextResponder(list, count);
  EXPECT_EQ(room.ResponderSeat(), 1);  // back at the suggester: the round is over
}

TEST_F(RoomTest, ResponderOrderFourSeatsAndMatches) {
  Seat({0, 0, 0, 0});
  Deal(1);
  room.AdvanceTurn();
  room.AdvanceTurn();  // seat 2 suggests
  // Give known hands after the deal.
  for (int seat = 0; seat < 4; ++seat) users.UserOf(room.MemberAt(seat))->hand.ClearList();
  users.UserOf(13)->hand.Append(C(20));
  users.UserOf(10)->hand.Append(C(10));
  users.UserOf(10)->hand.Append(C(33));
  users.UserOf(10)->hand.Append(C(20));
  room.PutOut(0);  // still answers
  const TCard s[3] = {C(33), C(10), C(20)};
  room.SetSuggestion(12, s);

  const int expectedSeat[] = {3, 0, 1};
  const std::vector<std::vector<int>> expectedCards = {{20}, {33, 10, 20}, {}};
  for (int step = 0; step < 3; ++step) {
    EXPECT_EQ(room.ResponderSeat(), expectedSeat[step]);
    TCard list[3];
    int count = -1;
    const bool found = room.NextResponder(list, count);
    std::vector<int> got;
    for (int i = 0; i < count; ++i) got.push_back(list[i].WireCode());
    EXPECT_EQ(got, expectedCards[step]) << step;
    EXPECT_EQ(found, !expectedCards[step].empty());
  }
  EXPECT_EQ(room.ResponderSeat(), 2);
}

// A member without a record is passed over like a seat filler.
TEST_F(RoomTest, SeatWithoutRecordIsPassedOver) {
  users.Add(10);
  users.Add(12);
  room.AddMember(10);
  room.AddMember(60);  // no record behind this member
  room.AddMember(12);
  Deal(1);
  EXPECT_EQ(room.LobbyCount(), 2);
  EXPECT_EQ(users.UserOf(10)->hand.CardCount(), 9);
  EXPECT_EQ(users.UserOf(12)->hand.CardCount(), 9);
  const TCard s[3] = {C(30), C(10), C(20)};
  room.SetSuggestion(10, s);
  EXPECT_EQ(room.ResponderSeat(), 2);
  TCard list[3];
  int count = -1;
  room.NextResponder(list, count);
  EXPECT_EQ(room.ResponderSeat(), 0);
}

TEST_F(RoomTest, AccusationInAnyOrder) {
  Seat({0, 0, 0});
  Deal(20261209);  // solution 14, 21, 30
  const TCard rightReordered[3] = {C(30), C(14), C(21)};
  const TCard oneWrong[3] = {C(30), C(14), C(22)};
  const TCard duplicated[3] = {C(30), C(30), C(14)};
  EXPECT_TRUE(room.CheckAccusation(rightReordered));
  EXPECT_FALSE(room.CheckAccusation(oneWrong));
  EXPECT_FALSE(room.CheckAccusation(duplicated));
}
