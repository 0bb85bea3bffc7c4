// A computer player's turn on its host, through the core's operations: whose
// turn it plays, when it may end it, the host taking a failed turn over, and
// the card it is asked to show.
#include "CoreFixture.h"

namespace {

using namespace client;
using coretest::Core;

// alice (user 3) hosts computer players c2-c5 (users 10-13) in seats 2-5.
class Computers : public Core {
 protected:
  void Turn(int s) {
    Line("TURN " + std::to_string(s));
    for (int id = 10; id <= 13; ++id) LineTo("TURN " + std::to_string(s), id);
    sender.lines.clear();
  }
  void Place(int s, int place, int steps, bool rolled) {
    kest::TKestUser& u = TCoreTestAccess::Seat(core, s);
    u.SetPlace(int16_t(place));
    u.SetSteps(int16_t(steps));
    if (rolled) {
      u.SetFlags(kest::ufDiceDone);
    } else {
      u.ClearFlags(kest::ufDiceDone);
    }
  }
};

TEST_F(Computers, TheTurnIsTheSeatsFromItsTurnUntilItEnds) {
  Started(0, 1);
  EXPECT_EQ(core.ComputerTurnSeat(), -1);  // no turn yet
  Turn(1);
  EXPECT_EQ(core.ComputerTurnSeat(), -1);  // bob's is no computer player's
  Turn(2);
  EXPECT_EQ(core.ComputerTurnSeat(), 2);
  EXPECT_EQ(core.EndTurnFor(3, false), -1);  // not seat 3's turn
  Turn(1);  // the server moved on: seat 2 can end nothing any more
  EXPECT_EQ(core.ComputerTurnSeat(), -1);
  Place(2, 5, 0, true);
  EXPECT_EQ(core.EndTurnFor(2, false), -1);
  EXPECT_TRUE(sender.lines.empty());
  Turn(3);
  EXPECT_EQ(core.ComputerTurnSeat(), 3);
  TCoreTestAccess::SetState(core, gsNoGame);
  EXPECT_EQ(core.ComputerTurnSeat(), -1);
  EXPECT_EQ(core.EndTurnFor(3, false), -1);
  EXPECT_TRUE(sender.lines.empty());
}

struct EndCase {
  const char* name;
  int place, steps;
  bool rolled, out, confirm;
  int result;
  const char* sent;  // "" nothing
};

class EndTurn : public Computers, public ::testing::WithParamInterface<EndCase> {};

TEST_P(EndTurn, EndsOnlyWhenTheWalkIsOverAndOnce) {
  const EndCase& c = GetParam();
  Started(0, 1);
  Turn(2);
  if (c.out) LineTo("LOSE 2", 3);
  Place(2, c.place, c.steps, c.rolled);
  EXPECT_EQ(core.EndTurnFor(2, c.confirm), c.result);
  if (*c.sent) {
    EXPECT_EQ(sender.lines, std::vector<std::string>{Sent(c.sent, 10)});
    // A second end would end the next player's turn.
    EXPECT_EQ(core.ComputerTurnSeat(), -1);
    EXPECT_EQ(core.EndTurnFor(2, c.confirm), -1);
    EXPECT_EQ(sender.lines.size(), 1u);
  } else {
    EXPECT_TRUE(sender.lines.empty());
    EXPECT_EQ(core.ComputerTurnSeat(), 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, EndTurn,
                         ::testing::Values(EndCase{"BeforeRolling", 0, 0, false, false, false, 0, ""},
                                           EndCase{"StepsLeft", 0, 2, true, false, false, 3, ""},
                                           EndCase{"AfterTheLastStep", 0, 0, true, false, false, 0, "TURNEND"},
                                           EndCase{"InARoomAtOnce", 5, 0, false, false, false, 0, "TURNEND"},
                                           EndCase{"InARoomWithSteps", 5, 4, true, false, true, 0, "TURNEND2"},
                                           EndCase{"OutOfTheGame", 0, 3, true, true, false, 0, "TURNEND"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct TakeOverCase {
  const char* name;
  bool suggest, accuse;
  std::vector<std::string> answers;  // lines to user 10 (and the own copy) after the takeover
  std::vector<std::string> sent;     // lines under user 10 after the takeover
  std::vector<std::string> events;   // events raised after the takeover
};

class TakeOver : public Computers, public ::testing::WithParamInterface<TakeOverCase> {};

// The host ends a failed turn at once, or when its suggestion or accusation
// has been answered; the script hears nothing more of that turn.
TEST_P(TakeOver, EndsTheTurnWhenNothingIsOpen) {
  const TakeOverCase& c = GetParam();
  Started(0, 1);
  Turn(2);
  Place(2, 5, 0, true);
  if (c.suggest) {
    EXPECT_TRUE(core.SuggestFor(2, 1, 2));
  }
  if (c.accuse) {
    EXPECT_TRUE(core.AccuseFor(2, 1, 2, 3));
  }
  sender.lines.clear();
  scripts.events.clear();
  bool open = c.suggest || c.accuse;
  EXPECT_EQ(core.TakeOverTurn(2), !open);
  EXPECT_TRUE(core.TurnTakenOver(2) == open);
  for (const auto& l : c.answers) {
    Line(l);
    LineTo(l, 10);
  }
  std::vector<std::string> want;
  for (const auto& l : c.sent) want.push_back(Sent(l, 10));
  EXPECT_EQ(sender.lines, want);
  EXPECT_EQ(scripts.events, c.events);
  EXPECT_EQ(core.ComputerTurnSeat(), -1);
  EXPECT_FALSE(core.TakeOverTurn(2));  // never twice
  EXPECT_EQ(sender.lines, want);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TakeOver,
    ::testing::Values(TakeOverCase{"NothingOpen", false, false, {}, {"TURNEND"}, {}},
                      TakeOverCase{"ASuggestionAnswered", true, false, {"SUIRISTART 2,4", "SUIRIEND"}, {"TURNEND2"}, {}},
                      TakeOverCase{"AWrongAccusation", false, true, {"KOKUSOSTART 2,4", "LOSE 2"}, {"TURNEND2"}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Computers, ATurnNotTakenOverLetsTheScriptHearItsAnswers) {
  Started(0, 1);
  Turn(2);
  Place(2, 5, 0, true);
  EXPECT_FALSE(core.TakeOverTurn(3));  // not its turn
  EXPECT_TRUE(core.SuggestFor(2, 1, 2));
  scripts.events.clear();
  LineTo("SUIRIEND", 10);
  EXPECT_EQ(scripts.events, std::vector<std::string>{"2:OnSuiriEnd"});
  EXPECT_EQ(core.ComputerTurnSeat(), 2);
}

struct ShowCase {
  const char* name;
  const char* showsel;  // to user 11 (seat 3)
  int code;             // what the seat shows
  bool shown;
  const char* answer;   // the host's answer after it, "" none
};

class ShowFor : public Computers, public ::testing::WithParamInterface<ShowCase> {};

// A card asked of the seat and only one of them; NO only when it holds none.
// The host answers with the first card asked when the seat has not.
TEST_P(ShowFor, ShowsOnlyACardAskedAndOnce) {
  const ShowCase& c = GetParam();
  Started(0, 1);
  Turn(2);
  EXPECT_FALSE(core.ShowFor(3, 13));  // nothing asked
  EXPECT_EQ(core.AnswerFor(3), "");
  LineTo(c.showsel, 11);
  EXPECT_TRUE(core.CardAsked(3));
  EXPECT_EQ(core.ShowFor(3, c.code), c.shown);
  std::vector<std::string> want;
  if (c.shown) want.push_back(Sent(c.code < 0 ? "SHOW NO" : "SHOW " + std::to_string(c.code), 11));
  EXPECT_EQ(sender.lines, want);
  EXPECT_EQ(core.AnswerFor(3), c.answer);
  if (*c.answer) want.push_back(Sent(c.answer, 11));
  EXPECT_EQ(sender.lines, want);
  EXPECT_FALSE(core.CardAsked(3));
  EXPECT_FALSE(core.ShowFor(3, 13));  // answered once
  EXPECT_EQ(sender.lines, want);
}

INSTANTIATE_TEST_SUITE_P(Cases, ShowFor,
                         ::testing::Values(ShowCase{"NoWhenItHoldsNone", "SHOWSEL 0", -1, true, ""},
                                           ShowCase{"ACardAsked", "SHOWSEL 2,36,13", 13, true, ""},
                                           ShowCase{"NoWhileItHoldsOne", "SHOWSEL 2,36,13", -1, false, "SHOW 36"},
                                           ShowCase{"ACardNotAsked", "SHOWSEL 2,36,13", 22, false, "SHOW 36"},
                                           ShowCase{"TheHostForASeatHoldingNone", "SHOWSEL 0", 13, false, "SHOW NO"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
