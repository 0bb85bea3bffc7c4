// Faults met in play, each as the player met it, against the game core.
#include <algorithm>

#include "CoreFixture.h"

namespace {

using namespace client;
using coretest::BS;
using coretest::Core;

// A control the player can press: enabled and shown.
bool AnyEnabled(const TControls& c) {
  auto on = [](const TControl& t) { return t.enabled && t.visible; };
  return on(c.Suiri) || on(c.Kokuso) || on(c.Move) || on(c.Start) || on(c.Out) ||
         std::any_of(c.Arrows.begin(), c.Arrows.end(), [](bool a) { return a; });
}

// A wrong accusation must not be followed by a second one.
TEST_F(Core, AccuserKeepsNoButtonsUntilTheVerdictAndIsOutAfterIt) {
  Started();
  Line("TURN 0");
  core.MoveButtonClick();
  Roll(3);
  core.ArrowButtonClick(kUp);
  ASSERT_EQ(Last(), Sent("MOVE 7,23,2"));
  core.KokusoButtonClick();
  view.pickerOpen = false;  // the picker closes itself and answers
  core.SendKokuso(me, 7, 1, 3);
  EXPECT_EQ(Last(), Sent("KOKUSO 7,3,1"));
  EXPECT_FALSE(AnyEnabled(core.Controls()));
  // The late copy of the step before enables nothing, and no button sends,
  // though steps are left.
  Line("MOVE 0,7,23,2");
  EXPECT_FALSE(AnyEnabled(core.Controls()));
  size_t before = sender.lines.size();
  core.OutButtonClick();
  core.MoveButtonClick();
  for (int arrow = kUp; arrow <= kDown2; ++arrow) core.ArrowButtonClick(arrow);
  EXPECT_EQ(sender.lines.size(), before);
  Line("KOKUSOSTART 0,9");
  Line("KOKUSO 10,20,30,0");
  EXPECT_FALSE(AnyEnabled(core.Controls()));
  core.KokusoButtonClick();  // while the solution slides in
  EXPECT_FALSE(view.pickerOpen);
  RunTimer();
  EXPECT_EQ(Last(), Sent("KOKUSOEND 0"));
  EXPECT_FALSE(core.Controls().Kokuso.enabled);
  Line("LOSE 0");
  EXPECT_TRUE(core.OutOfGame());
  EXPECT_FALSE(core.Controls().Kokuso.enabled);
  EXPECT_TRUE(core.Controls().Out.enabled);
  size_t sent = sender.lines.size();
  core.SendKokuso(me, 1, 1, 1);  // an out player never accuses again
  core.KokusoButtonClick();
  EXPECT_EQ(sender.lines.size(), sent);
  // A later turn of the out player gives it no die and no accusation.
  Line("TURN 0");
  EXPECT_FALSE(core.Controls().Move.enabled);
  EXPECT_FALSE(core.Controls().Kokuso.enabled);
  // Out of that game only: the next one it plays in full.
  Line("WIN 1,13,24,36");
  EXPECT_EQ(core.Winner(), 1);
  EXPECT_TRUE(core.SeatsOut()[0]);  // kept until the next game starts
  Line("START 1,0");
  EXPECT_FALSE(core.OutOfGame());
  EXPECT_EQ(core.Winner(), -1);
  EXPECT_FALSE(core.SeatsOut()[0]);
  Line("TURN 0");
  EXPECT_TRUE(core.Controls().Move.enabled);
}

// A roll gives the secret passage up: the passage is not taken after it.
TEST_F(Core, NoPassageAfterTheRoll) {
  Started();
  Line("TURN 0");
  Line("INROOM 0,1,0");  // the lounge, whose passage leads to room 5
  Line("TURN 1");
  Line("TURN 0");
  ASSERT_TRUE(core.Controls().Start.enabled);
  ASSERT_EQ(core.Controls().PassageTarget, 5);
  core.MoveButtonClick();
  EXPECT_FALSE(core.Controls().Start.enabled);
  size_t sent = sender.lines.size();
  core.StartButtonClick();
  EXPECT_EQ(sender.lines.size(), sent) << Last();
  EXPECT_EQ(core.Walk().place, 2);
}

// The own player's answers from the picker and the card-show dialog count
// only while that dialog is open and unanswered, in its own mode.
enum TBefore { beNothing, beSuggestion, beAccusation, beCardAsked, beSuggested, beCardShown, beGameEnded };
enum TAnswer { anSuggest, anCancelSuggestion, anAccuse, anCancelAccusation, anShowCard, anShowNone };
struct AnswerCase {
  const char* name;
  TBefore before;    // the picker or dialog opened, answered, closed, or none
  TAnswer answer;
  std::string sends;  // the line sent, "" nothing
};
void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class Answers : public Core, public ::testing::WithParamInterface<AnswerCase> {
 protected:
  void Open(TBefore b) {
    if (b == beSuggestion || b == beSuggested || b == beGameEnded) core.SuiriButtonClick();
    if (b == beAccusation) core.KokusoButtonClick();
    if (b == beCardAsked || b == beCardShown) Line("SHOWSEL 1,21");
    if (b == beSuggested) Answer(anSuggest);
    if (b == beCardShown) Answer(anShowCard);
    if (b == beGameEnded) Line("END 0,10,20,30");
  }
  void Answer(TAnswer a) {
    switch (a) {
      case anSuggest: return core.SendSuiri(me, 4, 1, 2);
      case anCancelSuggestion: return core.SendSuiri(me, -1, 0, 0);
      case anAccuse: return core.SendKokuso(me, 7, 1, 3);
      case anCancelAccusation: return core.SendKokuso(me, -1, 0, 0);
      case anShowCard: return core.SendShow(me, 0, kest::TCard::MakeCard(2, 1));
      case anShowNone: return core.SendShow(me, -1, kest::TCard());
    }
  }
};

TEST_P(Answers, OnlyWhileTheDialogAwaitsThem) {
  Started();
  Line("TURN 0");
  Line("INROOM 0,4,0");
  Open(GetParam().before);
  size_t before = sender.lines.size();
  Answer(GetParam().answer);
  ASSERT_LE(sender.lines.size(), before + 1);
  EXPECT_EQ(sender.lines.size() == before ? std::string() : Last(), GetParam().sends);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Answers,
    ::testing::Values(AnswerCase{"Suggestion", beSuggestion, anSuggest, "SUIRI 4,2,1:3"},
                      AnswerCase{"SuggestionCancelled", beSuggestion, anCancelSuggestion, "SUIRICANCEL:3"},
                      AnswerCase{"Accusation", beAccusation, anAccuse, "KOKUSO 7,3,1:3"},
                      AnswerCase{"AccusationCancelled", beAccusation, anCancelAccusation, "KOKUSOCANCEL:3"},
                      AnswerCase{"CardShown", beCardAsked, anShowCard, "SHOW 21:3"},
                      AnswerCase{"NoCardShown", beCardAsked, anShowNone, "SHOW NO:3"},
                      AnswerCase{"SuggestionWithoutPicker", beNothing, anSuggest, ""},
                      AnswerCase{"SuggestionCancelWithoutPicker", beNothing, anCancelSuggestion, ""},
                      AnswerCase{"AccusationWithoutPicker", beNothing, anAccuse, ""},
                      AnswerCase{"AccusationCancelWithoutPicker", beNothing, anCancelAccusation, ""},
                      AnswerCase{"SuggestionFromTheAccusationPicker", beAccusation, anSuggest, ""},
                      AnswerCase{"AccusationFromTheSuggestionPicker", beSuggestion, anAccuse, ""},
                      AnswerCase{"SuggestionAnsweredTwice", beSuggested, anSuggest, ""},
                      AnswerCase{"CardWithoutDialog", beNothing, anShowCard, ""},
                      AnswerCase{"NoCardWithoutDialog", beNothing, anShowNone, ""},
                      AnswerCase{"CardShownTwice", beCardShown, anShowNone, ""},
                      AnswerCase{"SuggestionAfterTheGameEnded", beGameEnded, anSuggest, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// One suggestion a turn: once the own SUIRI has gone out, 推理 stays off
// until the next turn, also when the answer comes without SUIRIEND and the
// passage's INROOM copy follows. A cancelled picker is no suggestion.
TEST_F(Core, OneSuggestionATurn) {
  Started();
  Line("TURN 0");
  Line("INROOM 0,1,0");  // the lounge, whose passage leads to room 5
  Line("TURN 1");
  Line("TURN 0");
  core.SuiriButtonClick();
  core.SendSuiri(me, -1, 0, 0);
  Line("SUIRICANCEL 0");
  ASSERT_TRUE(core.Controls().Suiri.enabled);
  core.SuiriButtonClick();
  core.SendSuiri(me, 1, 2, 3);
  ASSERT_EQ(Last(), Sent("SUIRI 1,3,2"));
  Line("SUIRISTART 0,1");
  Line("SUIRI 0,1,3,2");
  RunTimer();
  Line("SHOWC 1,22");
  EXPECT_FALSE(core.Controls().Suiri.enabled);
  ASSERT_TRUE(core.Controls().Start.enabled);
  core.StartButtonClick();
  ASSERT_EQ(Last(), Sent("INROOM 5,0"));
  Line("INROOM 0,5,0");
  EXPECT_FALSE(core.Controls().Suiri.enabled);
  size_t sent = sender.lines.size();
  core.SuiriButtonClick();
  EXPECT_EQ(sender.lines.size(), sent) << Last();

  core.OutButtonClick();
  Line("TURN 1");
  Line("TURN 0");
  EXPECT_TRUE(core.Controls().Suiri.enabled);
  core.SuiriButtonClick();
  EXPECT_EQ(Last(), Sent("SUIRISTART 5"));
}

// The own suggestion's turn leaves a computer player's turn its suggestion.
TEST_F(Core, AComputerPlayerSuggestsAfterTheOwnSuggestion) {
  Started(0, 1);
  Line("TURN 0");
  Line("INROOM 0,4,0");
  core.SuiriButtonClick();
  core.SendSuiri(me, 4, 1, 2);
  ASSERT_EQ(Last(), Sent("SUIRI 4,2,1"));
  Line("TURN 2");
  LineTo("TURN 2", 10);
  TCoreTestAccess::Seat(core, 2).SetPlace(6);
  EXPECT_TRUE(core.SuggestFor(2, 1, 2));
  EXPECT_EQ(Last(), Sent("SUIRI 5,1,2", 10));
}

TEST_F(Core, LoseClosesAnOpenPicker) {
  Started();
  Line("TURN 0");
  core.KokusoButtonClick();
  ASSERT_TRUE(view.pickerOpen);
  Line("LOSE 0");
  EXPECT_FALSE(view.pickerOpen);
}

// 開始 after the result waits for the table's computer players to leave: the
// server's BYE lines may still be queued behind a running script.
TEST_F(Core, StartWaitsUntilTheClearedComputerPlayersHaveGone) {
  Started();
  Line("END 0,10,20,30");
  sender.lines.clear();
  core.KekkaOk();
  EXPECT_EQ(Last(), Sent("CLEARNPC"));
  for (int s = 2; s < 6; ++s) {
    EXPECT_FALSE(core.Controls().Start.enabled) << s;
    size_t sent = sender.lines.size();
    core.StartButtonClick();
    EXPECT_EQ(sender.lines.size(), sent);
    Line("BYE " + BS + "c" + std::to_string(s) + BS);
  }
  EXPECT_EQ(core.PlayerCount(), 2);
  EXPECT_TRUE(core.Controls().Start.enabled);
  EXPECT_TRUE(core.Controls().Start.visible);
}

// The previous game's result dialog, closed late, must not end the next game.
TEST_F(Core, ResultClosedByTheNextGameAndClearNpcOnlyFromTheHostBetweenGames) {
  Started();
  Line("WIN 1,13,24,36");
  EXPECT_TRUE(view.resultOpen);
  Line("START 1,0");
  EXPECT_FALSE(view.resultOpen);
  sender.lines.clear();
  core.KekkaOk();  // too late: the new game runs
  EXPECT_TRUE(sender.lines.empty());
  EXPECT_EQ(core.Controls().OutCaption, ocTurnEnd);
  EXPECT_FALSE(core.Controls().Out.enabled);

  Line("END 0,10,20,30");
  core.KekkaOk();
  EXPECT_EQ(Last(), Sent("CLEARNPC"));
}

TEST_F(Core, OnlyTheHostSendsClearNpc) {
  Started(1);
  Line("END 0,10,20,30");
  core.KekkaOk();
  EXPECT_TRUE(sender.lines.empty());
}

// Start pressed twice adds its computer players once; a computer player that
// the server refuses is not counted, and nothing of it ends the host.
TEST_F(Core, StartAddsOnceAndRefusedComputerPlayersGiveStartBack) {
  LogIn();
  AddUser("alice", 3, 0);
  AddUser("bob", 4, 0);
  sender.lines.clear();
  ASSERT_TRUE(core.Controls().Start.enabled);
  core.StartButtonClick();
  core.StartButtonClick();
  EXPECT_EQ(sender.lines.size(), 4u);
  EXPECT_FALSE(core.Controls().Start.enabled);
  for (int id : {10, 11}) {
    LineTo("LOGIN", id);
    AddUser("c" + std::to_string(id), id, 2);
  }
  // The other two are refused: the room is locked, the server is full.
  client::CommandDispatcher(core, "ERR LOCKED\r");
  client::CommandDispatcher(core, ":3");
  client::CommandDispatcher(core, "ERR OVERUSER\r");
  EXPECT_TRUE(view.refusals.empty());
  EXPECT_EQ(core.PendingAdds(), 0);
  EXPECT_EQ(core.PlayerCount(), 4);
  EXPECT_EQ(core.ExpectedPlayers(), 0);
  EXPECT_TRUE(core.Controls().Start.enabled);
  EXPECT_TRUE(core.Controls().Start.visible);
  sender.lines.clear();
  core.StartButtonClick();  // fills the two seats left
  EXPECT_EQ(sender.lines.size(), 2u);
}

TEST_F(Core, FiveNameRetriesThenTheComputerPlayerIsNotCounted) {
  LogIn();
  for (int s = 0; s < 5; ++s) AddUser(s == 0 ? "alice" : "h" + std::to_string(s), 3 + s, 0);
  sender.lines.clear();
  core.StartButtonClick();
  for (int i = 0; i < 6; ++i) client::CommandDispatcher(core, "ERR SAMENAME\r");
  EXPECT_EQ(sender.lines.size(), 6u);  // the first request and five retries
  EXPECT_EQ(core.PendingAdds(), 0);
  EXPECT_EQ(core.ExpectedPlayers(), 0);
  EXPECT_TRUE(core.Controls().Start.enabled);
  EXPECT_TRUE(view.refusals.empty());
}

// A computer player asked for again under another tag still takes its slot's
// seat: the players logged in after it enter the table after it.
TEST_F(Core, ARetriedNameKeepsTheSlotsInSeatOrder) {
  LogIn();
  AddUser("alice", 3, 0);
  AddUser("bob", 4, 0);
  core.StartButtonClick();  // seats 2-5
  client::CommandDispatcher(core, "ERR SAMENAME\r");  // seat 2's name is taken
  sender.lines.clear();
  for (int id : {10, 11, 12, 13}) LineTo("LOGIN", id);  // seats 3, 4, 5, then 2
  EXPECT_EQ(sender.lines, (std::vector<std::string>{Sent("CHROOM 1", 13), Sent("CHROOM 1", 10),
                                                     Sent("CHROOM 1", 11), Sent("CHROOM 1", 12)}));
}

TEST_F(Core, AThirdPersonJoiningWhileFillersAreAddedDoesNotEndTheHost) {
  LogIn();
  AddUser("alice", 3, 0);
  AddUser("bob", 4, 0);
  core.StartButtonClick();
  AddUser("carol", 5, 0);
  for (int id : {10, 11, 12}) {
    LineTo("LOGIN", id);
    AddUser("c" + std::to_string(id), id, 2);
  }
  EXPECT_EQ(Last(), Sent("START 1,0"));
  LineTo("LOGIN", 13);
  client::CommandDispatcher(core, "ERR LOCKED\r");
  EXPECT_TRUE(view.refusals.empty());
  EXPECT_EQ(core.PendingAdds(), 0);
  Line("START 1,0");
  EXPECT_EQ(core.State(), gsIdle);
}

// A LOCKED before the own player sits at a table is the own refusal.
TEST_F(Core, LockedBeforeSittingIsTheOwnRefusal) {
  core.SendLogin("alice", "f");
  Line("LOGIN");
  client::CommandDispatcher(core, "ERR LOCKED\r");
  EXPECT_EQ(view.refusals, std::vector<TRefusal>{rfLocked});
}

// Steps and path marks of an earlier turn are gone at the next own turn.
TEST_F(Core, SecretPassageGivesNoStepsOfAnEarlierTurn) {
  Started();
  Line("MOVE 0,4,8,0");  // the piece stands by the kitchen's door
  Line("TURN 0");
  core.MoveButtonClick();
  Roll(3);
  core.ArrowButtonClick(kUp);
  Line("MOVE 0,4,7,2");
  core.ArrowButtonClick(kUp);
  EXPECT_EQ(Last(), Sent("INROOM 3,1"));  // the kitchen with a step left
  Line("INROOM 0,3,1");
  core.OutButtonClick();
  Line("TURN 1");
  Line("TURN 0");
  ASSERT_TRUE(core.Controls().Start.enabled);
  ASSERT_EQ(core.Controls().PassageTarget, 8);
  core.StartButtonClick();
  EXPECT_EQ(Last(), Sent("INROOM 8,0"));
  Line("INROOM 0,8,0");
  size_t sent = sender.lines.size();
  for (int arrow = kUp; arrow <= kRight; ++arrow) core.ArrowButtonClick(arrow);
  EXPECT_EQ(sender.lines.size(), sent);
  EXPECT_EQ(core.Walk().steps, 0);
}

// A dropped connection leaves nothing of the old game to press.
TEST_F(Core, LoggedOutStateAfterTheConnectionDrops) {
  Started();
  Line("TURN 0");
  core.KokusoButtonClick();
  Line("SHOWSEL 1,21");
  core.ResetToLoggedOut();
  EXPECT_EQ(core.State(), gsOffline);
  EXPECT_EQ(scripts.freed, 1);  // the server has logged the computer players out
  EXPECT_FALSE(AnyEnabled(core.Controls()));
  EXPECT_FALSE(core.Controls().Start.visible);
  EXPECT_FALSE(core.Controls().Out.visible);
  EXPECT_FALSE(core.Controls().CheckSpd);
  EXPECT_FALSE(core.Timer().Active());
  EXPECT_FALSE(view.pickerOpen);
  EXPECT_FALSE(view.cardShowOpen);
  EXPECT_TRUE(view.Called("free pieces"));
  EXPECT_TRUE(view.Called("free cursor"));

  // Logged in again, the host can start a table again; game lines from before
  // are ignored.
  sender.lines.clear();
  LogIn();
  AddUser("alice", 3, 0);
  EXPECT_TRUE(core.Controls().Start.enabled);
  EXPECT_TRUE(core.Controls().Start.visible);
  Line("TURN 0");
  Line("SAIKORO 4");
  EXPECT_EQ(core.State(), gsNoGame);
  EXPECT_FALSE(core.Controls().Move.enabled);
  EXPECT_FALSE(core.Timer().Active());
  core.MoveButtonClick();
  core.KokusoButtonClick();
  EXPECT_EQ(sender.lines.size(), 2u);  // LOGIN and CHROOM only
}

// Each solution slot holds a card of its own category.
TEST_F(Core, WinAndEndWithACardOfAnotherCategoryAreIgnored) {
  Started();
  for (const char* line : {"WIN 1,33,24,16", "WIN 1,13,14,36", "END 0,10,20,25", "WIN 1,13,24,9"}) {
    Line(line);
    EXPECT_EQ(core.State(), gsIdle) << line;
    EXPECT_FALSE(view.resultOpen) << line;
  }
  Line("WIN 1,13,24,36");
  EXPECT_TRUE(view.resultOpen);
}


// The program's first roll starts at the design's 100 ms; later rolls, of this
// game or the next, start where the last animation left the interval (33 ms).
TEST_F(Core, OnlyTheFirstRollStartsAtAHundredMilliseconds) {
  EXPECT_EQ(core.Timer().Interval(), 100);
  Started();
  Line("TURN 0");
  Line("SAIKORO 3");
  EXPECT_TRUE(core.Timer().Active());
  EXPECT_EQ(core.Timer().Interval(), 100);
  RunTimer();
  EXPECT_EQ(core.Timer().Interval(), 33);
  Line("START 1,0");
  Line("TURN 0");
  Line("SAIKORO 2");
  EXPECT_EQ(core.Timer().Interval(), 33);
}

}  // namespace
