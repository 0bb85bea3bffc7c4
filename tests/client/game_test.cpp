// The game on the main window, driven by lines and its own controls
// (offscreen, with a connection that records what is sent).
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <set>

#include "CardSelForm.h"
#include "CardShowForm.h"
#include "ChatWin.h"
#include "CheckForm.h"
#include "AppFixture.h"
#include "EventLoop.h"
#include "KekkaForm.h"
#include "KestAbout.h"
#include "KestCardForm.h"
#include "KestCardImage.h"
#include "LoginDialog.h"
#include "LoopGuard.h"
#include "MessageBox.h"
#include "OptForm.h"
#include "Resources.h"

namespace {

using clienttest::FakeConnection;
using client::TKestClientForm;

const std::string BS = "\x08";

class Game : public clienttest::AppTest {
 protected:
  void SetUp() override {
    SetUpHome({"alice_face"});
    MakeApp();
  }
  void MakeApp() {
    NewApp();
    form().RunModal = [](QDialog& dlg) {
      if (auto* login = dynamic_cast<client::TLoginDialog*>(&dlg)) {
        login->NameEdit->setText("alice");
        return 1;
      }
      return 2;
    };
  }
  void Line(const std::string& l) { fake->Deliver(l + ":" + std::to_string(me)); }
  void LineTo(const std::string& l, int id) { fake->Deliver(l + ":" + std::to_string(id)); }
  std::string Sent(const std::string& cmd, int id = -1) { return cmd + ":" + std::to_string(id < 0 ? me : id) + "\r"; }
  // The own player (seat mySeat) with bob, and computer players or fillers after them.
  void Seated(int mySeat = 0, int computerKind = 2) {
    form().ShowConnectDialog();
    fake->Connect();
    Line("LOGIN");
    fake->Deliver("CHROOM 1," + BS + "alice" + BS + ":3");
    const char* names[2] = {"alice", "bob"};
    int ids[2] = {3, 4};
    if (mySeat == 1) std::swap(names[0], names[1]), std::swap(ids[0], ids[1]);
    for (int s = 0; s < 2; ++s)
      Line("ADDUSER " + BS + names[s] + BS + ",1," + BS + "f" + BS + "," + std::to_string(ids[s]) + ",0");
    for (int s = 2; s < 6; ++s)
      Line("ADDUSER " + BS + "c" + std::to_string(s) + BS + ",1," + BS + "c" + BS + "," + std::to_string(8 + s) +
           "," + std::to_string(computerKind));
    fake->sent.clear();
  }
  void Started(int mySeat = 0, bool moveSuspect = false) {
    Seated(mySeat);
    Line(std::string("START 1,") + (moveSuspect ? "1" : "0"));
    Line("CARD 3,12,21,35");
    Line("USER 0," + BS + "alice" + BS);
    fake->sent.clear();
  }
  // Ticks the animation until it stops (bounded).
  void RunTimer() {
    for (int i = 0; i < 200 && form().KestTimer->isActive(); ++i) form().KestTimerTimer();
    ASSERT_FALSE(form().KestTimer->isActive());
  }
  void Roll(int n) {
    Line("SAIKORO " + std::to_string(n));
    RunTimer();
  }

  const int me = 3;
};

TEST_F(Game, StartCardsAndTurns) {
  Seated();
  LineTo("START 1,0", 4);  // a copy for another number changes nothing
  EXPECT_EQ(form().Game.State(), client::gsNoGame);
  Line("START 1,0");
  EXPECT_EQ(form().Game.State(), client::gsIdle);
  EXPECT_TRUE(form().Game.AccuseAnywhere());
  EXPECT_FALSE(form().Game.MoveSuspect());
  ASSERT_NE(form().CursorImage(), nullptr);
  EXPECT_TRUE(!form().Piece(0)->isHidden());
  Line("CARD 3,12,21,35");
  auto* strip = form().Forms().cardForm;
  ASSERT_EQ(strip->Count(), 3);
  EXPECT_EQ(strip->Cards()[0]->Kind, 3);  // rooms first, then suspects, weapons
  EXPECT_EQ(strip->Cards()[1]->Kind, 1);
  EXPECT_EQ(strip->Cards()[2]->Kind, 2);
  EXPECT_EQ(strip->width(), 192);
  EXPECT_EQ(form().Game.LocalUser().hand.CardCount(), 3);
  EXPECT_EQ(form().Forms().checkForm->Cell(5, 0), 1);       // room 5
  EXPECT_EQ(form().Forms().checkForm->Cell(9 + 2, 0), 1);   // suspect 2
  EXPECT_EQ(form().Forms().checkForm->Cell(15 + 1, 0), 1);  // weapon 1
  EXPECT_TRUE(form().CardSpdButton->isEnabled());

  Line("TURN 0");
  EXPECT_TRUE(form().MoveButton->isEnabled());
  EXPECT_TRUE(form().KokusoButton->isEnabled());
  EXPECT_FALSE(form().SuiriButton->isEnabled());
  EXPECT_TRUE(!form().CheckPanel->isHidden());
  EXPECT_EQ(form().CursorImage()->y(), 8);
  Line("TURN 1");
  EXPECT_FALSE(form().MoveButton->isEnabled());
  EXPECT_FALSE(form().KokusoButton->isEnabled());
  EXPECT_EQ(form().CursorImage()->y(), 68 + 8);
}

TEST_F(Game, RollWalkAndEndTurn) {
  Started();
  Line("TURN 0");
  form().MoveButton->click();
  EXPECT_EQ(fake->sent.back(), Sent("SAIKORO"));
  Line("SAIKORO 2");
  EXPECT_EQ(form().Game.State(), client::gsRolling);
  RunTimer();
  EXPECT_EQ(form().Game.State(), client::gsIdle);
  EXPECT_EQ(form().KestTimer->interval(), 33);
  EXPECT_TRUE(form().UpSpdButton->isEnabled());
  form().UpSpdButton->click();
  EXPECT_EQ(fake->sent.back(), Sent("MOVE 7,23,1"));
  EXPECT_FALSE(form().UpSpdButton->isEnabled());  // until the echo
  Line("MOVE 0,7,23,1");
  EXPECT_TRUE(form().UpSpdButton->isEnabled());
  EXPECT_FALSE(form().OutButton->isEnabled());
  form().UpSpdButton->click();
  Line("MOVE 0,7,22,0");
  EXPECT_TRUE(form().OutButton->isEnabled());
  fake->sent.clear();
  form().UpSpdButton->click();  // no steps left
  EXPECT_TRUE(fake->sent.empty());
  form().OutButton->click();
  EXPECT_EQ(fake->sent.back(), Sent("TURNEND"));

  // The turn end of a suggestion asks the others to confirm.
  Line("TURNEND2");
  EXPECT_EQ(form().Game.State(), client::gsConfirm);
  EXPECT_EQ(client::S(form().OutButton->text()), "\x8a\x6d\x94\x46");
  form().OutButton->click();
  EXPECT_EQ(fake->sent.back(), Sent("CONFIRM"));
  EXPECT_EQ(form().Game.State(), client::gsIdle);
}

// A slow client can still be rolling bob's die when its own turn arrives; the
// stale roll must not take the new turn's die or give it bob's steps.
TEST_F(Game, OwnTurnArrivingDuringAnotherRollKeepsTheDie) {
  Started();
  Line("TURN 1");
  Line("SAIKORO 5");
  ASSERT_TRUE(form().KestTimer->isActive());
  Line("TURN 0");
  EXPECT_FALSE(form().KestTimer->isActive());
  EXPECT_EQ(form().Game.State(), client::gsIdle);
  EXPECT_TRUE(form().MoveButton->isEnabled());
  EXPECT_FALSE(form().UpSpdButton->isEnabled());
  EXPECT_EQ(form().Game.Walk().steps, 0);
  form().MoveButton->click();
  Line("SAIKORO 2");
  RunTimer();
  EXPECT_EQ(form().Game.Walk().steps, 2);
  EXPECT_TRUE(form().UpSpdButton->isEnabled());
}

TEST_F(Game, RoomsPassageAndWayBack) {
  Started();
  Line("TURN 0");
  Line("INROOM 0,1,0");  // own piece into the lounge
  EXPECT_EQ(form().Game.Seats()[0].GetPlace(), 2);
  EXPECT_TRUE(form().SuiriButton->isEnabled());
  EXPECT_TRUE(form().OutButton->isEnabled());
  EXPECT_TRUE(!form().StartButton->isHidden());
  EXPECT_EQ(form().StartButton->property("Tag").toInt(), 5);
  Line("TURN 1");
  Line("TURN 0");  // a new turn in a room: suggestion and passage without a roll
  EXPECT_TRUE(form().SuiriButton->isEnabled());
  EXPECT_TRUE(form().StartButton->isEnabled());
  form().StartButton->click();
  EXPECT_EQ(fake->sent.back(), Sent("INROOM 5,0"));
  Line("INROOM 0,5,0");
  Line("TURN 0");
  Roll(3);
  form().DownSpdButton->click();
  EXPECT_EQ(fake->sent.back(), Sent("OUTROOM 261,2"));  // Down (1 << 8) | room 5
  form().DownSpdButton->click();  // walks on from the exit cell
  EXPECT_EQ(fake->sent.back(), Sent("MOVE 18,6,1"));
  Line("OUTROOM 0,261,2");
  EXPECT_EQ(form().Game.Seats()[0].GetPlace(), 0);
  EXPECT_EQ(form().Game.Seats()[0].X(), 18);
  EXPECT_FALSE(!form().StartButton->isHidden());
}

TEST_F(Game, SuggestionFlowWithPickerAndShownCard) {
  Started();
  Line("TURN 0");
  Line("INROOM 0,4,0");
  form().SuiriButton->click();
  EXPECT_EQ(fake->sent.back(), Sent("SUIRISTART 4"));
  auto* picker = form().Forms().cardSelForm;
  ASSERT_TRUE(picker->isVisible());
  EXPECT_TRUE(picker->IsSuiri());
  EXPECT_FALSE(picker->PlaceBox->isEnabled());
  EXPECT_EQ(picker->PlaceBox->currentIndex(), 4);
  EXPECT_EQ(client::S(picker->HumanBox->itemText(1)), "bob");
  EXPECT_FALSE(picker->close());  // no close box
  EXPECT_TRUE(picker->isVisible());
  picker->HumanBox->setCurrentIndex(2);
  picker->WeaponBox->setCurrentIndex(5);
  EXPECT_EQ(picker->Previews[0]->Number, 2);
  EXPECT_EQ(picker->Previews[1]->Number, 5);
  picker->OkBtn->click();
  EXPECT_FALSE(picker->isVisible());
  EXPECT_EQ(fake->sent.back(), Sent("SUIRI 4,2,5"));  // room, person, weapon

  Line("SUIRISTART 0,4");
  EXPECT_TRUE(form().Game.ViewShown());
  EXPECT_FALSE(!form().Piece(0)->isHidden());
  Line("SUIRI 0,4," + BS + "2" + BS + ",5");
  EXPECT_EQ(form().Game.State(), client::gsSuiriCaptions);
  EXPECT_EQ(form().Game.Seats()[2].GetPlace(), 0);  // suspects stay without the mode
  fake->sent.clear();
  Line("SHOWWAIT 1");
  EXPECT_TRUE(fake->sent.empty());
  RunTimer();
  EXPECT_EQ(form().Game.State(), client::gsIdle);
  EXPECT_EQ(form().RoomPanel->width(), client::CaptionWidth(int(client::S(form().RoomPanel->text()).size()), 10));
  EXPECT_TRUE(fake->sent.empty());
  Line("SHOWC 1,25");
  ASSERT_NE(form().ShownCardImage(), nullptr);
  EXPECT_EQ(form().ShownCardImage()->Kind, 2);
  EXPECT_EQ(form().ShownCardImage()->Number, 5);
  EXPECT_TRUE(form().OutButton->isEnabled());
  EXPECT_EQ(form().Game.MessageLine(), std::string("\x82\xbb\x82\xcc\x83\x41\x83\x8a\x83\x6f\x83\x43\x82\xcd") + "bob" +
                                    "\x82\xaa\x8e\x9d\x82\xc1\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81\x42");
  Line("SUIRIEND");
  EXPECT_FALSE(form().MoveButton->isEnabled());
  form().OutButton->click();
  EXPECT_EQ(fake->sent.back(), Sent("TURNEND2"));
  Line("TURN 1");
  EXPECT_FALSE(form().Game.ViewShown());
  EXPECT_TRUE(!form().Piece(0)->isHidden());
}

TEST_F(Game, NamedSuspectMovesWithTheMode) {
  Started(1, true);  // own seat 1
  Line("TURN 0");
  Line("SUIRI 0,6," + BS + "1" + BS + ",3");
  EXPECT_EQ(form().Game.Seats()[1].GetPlace(), 7);
  EXPECT_EQ(form().Game.Walk().place, 7);
  EXPECT_EQ(form().Game.Seats()[1].X(), RoomTable[6][10]);
}

TEST_F(Game, ShowCheckWaitsForTheCaptions) {
  Started(1);
  Line("TURN 0");
  Line("SUIRI 0,2,1,1");
  Line("SHOWWAIT 1");
  EXPECT_TRUE(fake->sent.empty());
  RunTimer();
  ASSERT_EQ(fake->sent.size(), 1u);
  EXPECT_EQ(fake->sent[0], Sent("SHOWCHECK"));
  // Without captions running it goes out at once.
  fake->sent.clear();
  Line("SHOWWAIT 1");
  EXPECT_EQ(fake->sent.back(), Sent("SHOWCHECK"));
}

TEST_F(Game, ShowcFormsSeenByOthers) {
  Started(1);
  Line("TURN 0");
  Line("SUIRI 0,2,1,1");
  RunTimer();
  form().SendShow(me, 0, kest::TCard::MakeCard(1, 1));
  EXPECT_EQ(fake->sent.back(), Sent("SHOW 11"));
  Line("SHOWC EXIST,1");
  EXPECT_EQ(form().ShownCardImage()->Kind, 1);  // the own shown card, face up
  Line("SHOWC EXIST,2");
  EXPECT_EQ(form().ShownCardImage()->Kind, 0);  // another's: the back
  Line("SHOWC NOTEXIST,2");
  EXPECT_EQ(form().Game.MessageLine(), std::string("c2") +
                                    "\x82\xcd\x81\x41\x82\xbb\x82\xcc\x83\x41\x83\x8a\x83\x6f\x83\x43\x82\xf0\x8e\x9d"
                                    "\x82\xc1\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x42");
  Line("SHOWC NO,0");
  EXPECT_EQ(form().Game.MessageLine().substr(0, 3), "bob");
}

TEST_F(Game, CardShowDialogLayoutsAndAnswers) {
  Started(1);
  auto* dlg = form().Forms().cardShowForm;
  Line("SHOWSEL 2,12,33");
  ASSERT_TRUE(dlg->isVisible());
  ASSERT_EQ(dlg->Pictures.size(), 2u);
  EXPECT_EQ(dlg->Pictures[0]->x(), 60);
  EXPECT_EQ(dlg->Pictures[1]->x(), 212);
  EXPECT_EQ(dlg->Waku->x(), 56);
  EXPECT_EQ(dlg->size(), QSize(360, 240));
  EXPECT_FALSE(dlg->close());
  dlg->CardClick(1);
  EXPECT_EQ(dlg->Waku->x(), 208);
  dlg->OkButton->click();
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(fake->sent.back(), Sent("SHOW 33"));

  Line("SHOWSEL 3,12,21,33");
  EXPECT_EQ(dlg->Pictures[2]->x(), 252);
  EXPECT_EQ(dlg->ChosenIndex, 0);
  Line("SHOWSEL 1,21");  // replaces the cards while up
  EXPECT_EQ(dlg->Pictures[0]->x(), 140);
  dlg->OkButton->click();
  EXPECT_EQ(fake->sent.back(), Sent("SHOW 21"));

  Line("SHOWSEL 0");
  EXPECT_EQ(dlg->size(), QSize(337, 135));
  EXPECT_FALSE(dlg->Waku->isVisible());
  dlg->OkButton->click();
  EXPECT_EQ(fake->sent.back(), Sent("SHOW NO"));
}

TEST_F(Game, AccusationCancelWrongVerdictAndLose) {
  Started();
  Line("TURN 0");
  bool moveEnabled = form().MoveButton->isEnabled();
  form().KokusoButton->click();
  EXPECT_EQ(fake->sent.back(), Sent("KOKUSOSTART 9"));
  auto* picker = form().Forms().cardSelForm;
  EXPECT_FALSE(picker->IsSuiri());
  EXPECT_TRUE(picker->PlaceBox->isEnabled());
  EXPECT_FALSE(form().MoveButton->isEnabled());
  picker->Button1->click();
  EXPECT_EQ(fake->sent.back(), Sent("KOKUSOCANCEL"));
  EXPECT_EQ(form().MoveButton->isEnabled(), moveEnabled);
  Line("KOKUSOSTART 0,9");
  EXPECT_TRUE(form().Game.ViewShown());
  Line("KOKUSOCANCEL 0");
  EXPECT_FALSE(form().Game.ViewShown());

  form().KokusoButton->click();
  picker->PlaceBox->setCurrentIndex(7);
  picker->HumanBox->setCurrentIndex(1);
  picker->WeaponBox->setCurrentIndex(3);
  picker->OkBtn->click();
  EXPECT_EQ(fake->sent.back(), Sent("KOKUSO 7,1,3"));
  Line("KOKUSOSTART 0,9");
  Line("KOKUSO 10,20,30,0");
  EXPECT_EQ(form().Game.State(), client::gsKokusoCaptions);
  for (int i = 0; i < 33; ++i) form().KestTimerTimer();
  EXPECT_EQ(form().Game.State(), client::gsKokusoCards);
  fake->sent.clear();
  RunTimer();
  ASSERT_EQ(fake->sent.size(), 1u);
  EXPECT_EQ(fake->sent[0], Sent("KOKUSOEND 0"));
  Line("LOSE 0");
  EXPECT_FALSE(form().MoveButton->isEnabled());
  EXPECT_FALSE(form().KokusoButton->isEnabled());
  EXPECT_TRUE(form().OutButton->isEnabled());
  EXPECT_EQ(form().Game.MessageLine(), "\x8d\x90\x91\x69\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49");
}

// VELMORA_PACE=fast: the animations tick and the scripts get their slices
// as fast as the timers go, the same steps in the same order.
TEST_F(Game, FastPaceRunsTheTimersAtTheirShortest) {
  ::setenv("VELMORA_PACE", "fast", 1);
  MakeApp();
  ::unsetenv("VELMORA_PACE");
  Started();
  EXPECT_EQ(form().ScriptTimer->interval(), 1);
  Line("TURN 0");
  Line("SAIKORO 3");
  EXPECT_EQ(form().KestTimer->interval(), 1);
  RunTimer();
  EXPECT_EQ(form().Game.Walk().steps, 3);
  MakeApp();
  EXPECT_EQ(form().ScriptTimer->interval(), 33);
}

TEST_F(Game, ComputerVerdictAfterAPause) {
  Seated(0, 1);
  Line("START 1,0");
  LineTo("KOKUSO 10,20,30,1", 10);  // seat 2's computer player
  EXPECT_EQ(form().Game.State(), client::gsComputerVerdict);
  fake->sent.clear();
  for (int i = 0; i < 20; ++i) form().KestTimerTimer();
  EXPECT_TRUE(fake->sent.empty());
  form().KestTimerTimer();
  ASSERT_EQ(fake->sent.size(), 1u);
  EXPECT_EQ(fake->sent[0], Sent("KOKUSOEND 1", 10));
}

TEST_F(Game, WinShowsResultAndOkResetsTable) {
  Started();
  Line("TURN 1");
  fake->sent.clear();
  form().KokusoButton->click();  // disabled: nothing happens
  EXPECT_TRUE(fake->sent.empty());
  EXPECT_FALSE(form().Forms().cardSelForm->isVisible());
  Line("SHOWSEL 1,21");  // a dialog left open when the game ends is closed unsent
  Line("WIN 1,13,24,36");
  EXPECT_EQ(form().Game.State(), client::gsNoGame);
  EXPECT_FALSE(form().Forms().cardShowForm->isVisible());
  EXPECT_EQ(form().CursorImage(), nullptr);
  EXPECT_TRUE(!form().StartButton->isHidden());
  auto* kekka = form().Forms().kekkaForm;
  ASSERT_TRUE(kekka->isVisible());
  EXPECT_EQ(client::S(kekka->MsgLabel->text()),
            std::string("bob") + "\x82\xaa\x8d\x90\x91\x69\x82\xc9\x90\xac\x8c\xf7\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49");
  ASSERT_EQ(kekka->Pictures.size(), 3u);
  EXPECT_EQ(kekka->Pictures[0]->Kind, 3);
  EXPECT_EQ(kekka->Pictures[0]->Number, 6);
  EXPECT_EQ(client::S(kekka->Labels[0]->text()), "\x8c\xe2\x8a\x79\x8e\xba");
  EXPECT_EQ(kekka->Pictures[1]->Number, 3);
  EXPECT_EQ(client::S(kekka->Labels[2]->text()), "\x89\x94\x82\xcc\x83\x70\x83\x43\x83\x76");
  EXPECT_FALSE(kekka->close());
  fake->sent.clear();
  kekka->OKButton->click();
  EXPECT_EQ(fake->sent, std::vector<std::string>{Sent("CLEARNPC")});
  EXPECT_FALSE(kekka->isVisible());
  EXPECT_FALSE(!form().Piece(0)->isHidden());
}

TEST_F(Game, EndShowsEverybodyFailed) {
  Started(1);
  Line("END 0,10,20,30");
  EXPECT_EQ(form().Game.State(), client::gsNoGame);
  EXPECT_FALSE(!form().StartButton->isHidden());  // only the host
  EXPECT_EQ(client::S(form().Forms().kekkaForm->MsgLabel->text()),
            "\x91\x53\x88\xf5\x82\xaa\x8d\x90\x91\x69\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49"
            "\x83\x51\x81\x5b\x83\x80\x83\x49\x81\x5b\x83\x6f\x81\x5b\x81\x99");
}

TEST_F(Game, OutOfRangeLinesIgnored) {
  Started();
  Line("TURN 0");
  Line("TURN 7");
  EXPECT_EQ(form().Game.TurnSeat(), 0);
  Line("SAIKORO 9");
  EXPECT_EQ(form().Game.State(), client::gsIdle);
  Line("MOVE 0,30,2,1");
  Line("MOVE 7,3,2,1");
  EXPECT_EQ(form().Game.Seats()[0].X(), 7);
  EXPECT_EQ(form().Game.Seats()[0].Y(), 24);
  Line("INROOM 0,12,0");
  Line("OUTROOM 0,777,1");
  EXPECT_EQ(form().Game.Seats()[0].GetPlace(), 0);
  Line("CARD 2,12,99");
  Line("CARD 12,10,11,12,13,14,15,20,21,22,23,24,25");
  EXPECT_EQ(form().Forms().cardForm->Count(), 3);
  Line("SHOWSEL 4,10,11,12,13");
  Line("SHOWSEL 1,77");
  EXPECT_FALSE(form().Forms().cardShowForm->isVisible());
  Line("SUIRI 0,9,1,1");
  Line("SUIRI 0,1,1,6");
  EXPECT_EQ(form().Game.State(), client::gsIdle);
  Line("SHOWC 9,12");
  Line("WIN 8,10,20,30");
  Line("WIN 1,10,20,99");
  EXPECT_EQ(form().Game.State(), client::gsIdle);
}

TEST_F(Game, SendWrappersWireBytes) {
  Started();
  form().SendSuiri(me, 3, 4, 5);
  EXPECT_EQ(fake->sent.back(), "SUIRI 3,5,4:3\r");
  form().SendSuiri(me, -1, 0, 0);
  EXPECT_EQ(fake->sent.back(), "SUIRICANCEL:3\r");
  form().SendShow(11, 1, kest::TCard::MakeCard(3, 8));
  EXPECT_EQ(fake->sent.back(), "SHOW 38:11\r");
  form().SendShow(me, -1, kest::TCard());
  EXPECT_EQ(fake->sent.back(), "SHOW NO:3\r");
  form().SendKokuso(me, 8, 0, 2);
  EXPECT_EQ(fake->sent.back(), "KOKUSO 8,2,0:3\r");
  form().SendKokuso(me, -1, 0, 0);
  EXPECT_EQ(fake->sent.back(), "KOKUSOCANCEL:3\r");
}

TEST_F(Game, PickerStripNotebookAndOptions) {
  auto* picker = form().Forms().cardSelForm;
  picker->StartSuiri(4);
  EXPECT_EQ(client::S(picker->PlaceBox->currentText()), "\x91\xe5\x8d\x4c\x8a\xd4");
  EXPECT_EQ(picker->Previews[2]->x(), 32);
  EXPECT_EQ(picker->Previews[0]->x(), 200);
  EXPECT_EQ(picker->Previews[1]->x(), 372);
  picker->HumanBox->setCurrentIndex(2);
  picker->WeaponBox->setCurrentIndex(5);
  fake->sent.clear();
  picker->OkBtn->click();
  EXPECT_EQ(fake->sent.back(), "SUIRI 4,2,5:-1\r");

  auto* strip = form().Forms().cardForm;
  for (int i = 0; i < 10; ++i) strip->AddCard(2, i % 6);
  EXPECT_EQ(strip->Count(), 9);
  EXPECT_EQ(strip->width(), 576);
  EXPECT_EQ(strip->Cards()[8]->x(), 512);
  EXPECT_EQ(client::CardName(4, 0), "\x97\xa0\x96\xca");
  EXPECT_EQ(client::CardName(0, 0), "");

  auto* notes = form().Forms().checkForm;
  notes->GridMouseDown(0, 70, 20, false);  // x 70 still counts as column 0
  EXPECT_EQ(notes->Cell(0, 0), 1);
  notes->GridMouseDown(0, 70, 20, false);
  EXPECT_EQ(notes->Cell(0, 0), 2);
  notes->GridMouseDown(0, 70, 20, false);
  EXPECT_EQ(notes->Cell(0, 0), 0);
  notes->GridMouseDown(2, 80 + 16 * 6, 20, false);  // column 6: outside
  QMenu* shown = nullptr;
  notes->PopupHook = [&](QMenu& m, const QPoint&) { shown = &m; };
  notes->GridMouseDown(1, 144 + 16 * 3 + 5, 16 * 2 + 20, true);
  ASSERT_NE(shown, nullptr);
  QAction* third = nullptr;
  for (QAction* a : shown->actions())
    if (a->menu() && client::S(a->text()) == "\x8b\x74\x8e\x4f\x8a\x70") third = a->menu()->actions()[2];
  ASSERT_NE(third, nullptr);
  third->trigger();
  EXPECT_EQ(notes->Cell(9 + 2, 3), 14);
  notes->GridMouseDown(1, 144 + 16 * 3 + 5, 16 * 2 + 20, false);  // a triangle cycles to empty
  EXPECT_EQ(notes->Cell(9 + 2, 3), 0);
  notes->PutMark(1, 2, 7, 3);
  notes->PopMenuClick(0);
  EXPECT_EQ(notes->Cell(9 + 2, 3), 0);
  notes->PutMark(0, 1, 2, 4);
  notes->ClearMarks();
  EXPECT_EQ(notes->Cell(1, 4), 0);

  auto* opt = dynamic_cast<client::TOptForm*>(form().Forms().optForm);
  ASSERT_NE(opt, nullptr);
  form().Game.SetTableOptions(true, false, form().Game.CpuCount());
  form().RunModal = [](QDialog& d) {
    auto* o = static_cast<client::TOptForm*>(&d);
    o->FormShow();
    o->DokoKokuBox->setChecked(false);
    o->SuiriYobiBox->setChecked(true);
    o->CancelBtn->click();
    return o->result();
  };
  form().S2Click();
  EXPECT_TRUE(form().Game.KokusoMode());
  EXPECT_FALSE(form().Game.SuiriMode());
  form().RunModal = [](QDialog& d) {
    auto* o = static_cast<client::TOptForm*>(&d);
    o->FormShow();
    o->DokoKokuBox->setChecked(false);
    o->OkBnt->click();
    return o->result();
  };
  form().S2Click();
  EXPECT_FALSE(form().Game.KokusoMode());
}

// An error that reaches the event loop is shown from the loop afterwards,
// never inside the callback that failed.
TEST_F(Game, ErrorBoxOpensFromTheLoopAfterwards) {
  std::vector<std::string> boxes;
  plat::SetMessageBoxHandler([&](const plat::TMessageBoxRequest& r) {
    boxes.push_back(r.text);
    return plat::idOK;
  });
  plat::GuardedCall([] { throw std::runtime_error("boom"); });
  EXPECT_TRUE(boxes.empty());
  testloop::Drain();
  EXPECT_EQ(boxes, std::vector<std::string>{"boom"});
}

// ---------------------------------------------------------------- the windows

// Waits until w is the active window.
bool Active(QWidget* w) {
  return testloop::WaitUntil([w] { return QApplication::activeWindow() == w; }, 2000);
}

// The notebook shows every row of each of its three sheets.
TEST_F(Game, NotebookShowsEveryRow) {
  client::TCheckForm* notes = form().Forms().checkForm;
  notes->show();
  for (int g : {0, 1, 2, 0}) {
    notes->CheckPage->setCurrentIndex(g);
    testloop::Drain();
    QLabel* grid = notes->Images[size_t(g)];
    QRect inWindow(grid->mapTo(notes, QPoint(0, 0)), grid->size());
    EXPECT_TRUE(notes->rect().contains(inWindow)) << "sheet " << g << ": " << inWindow.bottom() << " below "
                                                  << notes->rect().bottom();
    QRect inSheet = grid->geometry();
    EXPECT_TRUE(notes->CheckPage->widget(g)->rect().contains(inSheet)) << "sheet " << g;
  }
}

// The main window stands in the middle of its screen, every button on it.
TEST_F(Game, MainWindowIsCentredOnItsScreen) {
  app->Show();
  testloop::Drain();
  QRect screen = form().screen()->availableGeometry();
  QRect frame = form().frameGeometry();
  EXPECT_LE(std::abs(frame.center().x() - screen.center().x()), 1) << frame.x();
  EXPECT_LE(std::abs(frame.center().y() - screen.center().y()), 1) << frame.y();
  for (QWidget* b : std::initializer_list<QWidget*>{form().CardSpdButton, form().CheckSpdButton, form().ChatSpdButton})
    EXPECT_TRUE(screen.contains(QRect(b->mapToGlobal(QPoint(0, 0)), b->size())));
}

// Asking for a window brings it to the front, active.
TEST_F(Game, ShowingAWindowRaisesAndActivatesIt) {
  Started();  // the card strip and the notebook can be opened
  app->Show();
  ASSERT_TRUE(Active(&form()));
  form().ChatWindow1Click();
  EXPECT_TRUE(Active(form().Forms().chatWin));
  form().activateWindow();
  ASSERT_TRUE(Active(&form()));
  form().ChatSpdButton->click();
  EXPECT_TRUE(Active(form().Forms().chatWin));

  form().activateWindow();
  ASSERT_TRUE(Active(&form()));
  form().CardSpdButton->click();
  EXPECT_TRUE(Active(form().Forms().cardForm));
  form().activateWindow();
  ASSERT_TRUE(Active(&form()));
  form().CheckSpdButton->click();
  EXPECT_TRUE(Active(form().Forms().checkForm));
}

// Everything on the board is placed from one origin, the window's client
// area, where the canvas, the caption panels and the die stand: the pieces,
// the turn cursor, the shown card and the solution's cards too.
TEST_F(Game, BoardPicturesShareTheWindowsOrigin) {
  auto expectAt = [&](const std::string& what, QWidget* w, QPoint at) {
    ASSERT_NE(w, nullptr) << what;
    EXPECT_EQ(w->parentWidget(), form().centralWidget()) << what;
    EXPECT_EQ(w->x(), at.x()) << what;
    EXPECT_EQ(w->y(), at.y()) << what;
  };
  Started();
  Line("TURN 1");
  expectAt("turn cursor", form().CursorImage(), {393, 68 + 8});
  for (int s = 0; s < 6; ++s) {
    QLabel* p = form().Piece(s);
    const auto& seat = form().Game.Seats()[size_t(s)];
    expectAt("piece of seat " + std::to_string(s), p,
             {16 * seat.X() - p->width() / 2 + 16, 16 * seat.Y() - p->height() + 19});
  }
  for (int w = 0; w < 6; ++w) {
    QLabel* p = form().Piece(6 + w);
    auto cell = form().Game.WeaponCells()[size_t(w)];
    expectAt("piece of weapon " + std::to_string(w), p,
             {16 * cell.x - p->width() / 2 + 16, 16 * cell.y - p->height() / 2 + 12});
  }
  Line("SUIRI 1,2,1,1");
  RunTimer();
  Line("SHOWC EXIST,0");
  expectAt("shown card", form().ShownCardImage(), {150, 240});
  expectAt("die", form().SaiImage, {168, 166});
  expectAt("room caption", form().RoomPanel, {24, 12});

  Line("TURN 0");
  form().KokusoButton->click();
  form().Forms().cardSelForm->OkBtn->click();
  Line("KOKUSOSTART 0,9");
  Line("KOKUSO 10,20,30,0");
  int solution = 0;
  for (QObject* o : form().centralWidget()->children())
    if (auto* c = dynamic_cast<client::TKestCardImage*>(o); c && c != form().ShownCardImage())
      expectAt("solution card", c, {208 - c->width() / 2, 230}), ++solution;
  EXPECT_EQ(solution, 3);
}

// The turn and confirmation texts stand in the middle of their black panel.
TEST_F(Game, CheckPanelTextIsCentred) {
  Started();
  for (const char* line : {"TURN 0", "TURNEND2"}) {
    SCOPED_TRACE(line);
    Line(line);
    QLabel* panel = form().CheckPanel;
    ASSERT_FALSE(panel->isHidden());
    QImage img = panel->grab().toImage();
    int left = img.width(), right = -1;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if (qRed(img.pixel(x, y)) > 128 && qGreen(img.pixel(x, y)) < 100)
          left = std::min(left, x), right = std::max(right, x);
    ASSERT_GE(right, left) << "no red text";
    EXPECT_LE(std::abs((left + right) / 2 - img.width() / 2), 2) << left << "-" << right << " of " << img.width();
  }
}

// The caption panels draw at the font their widths are computed for.
TEST_F(Game, CaptionPanelsUseTheFontTheirWidthsAssume) {
  for (QLabel* panel : {form().RoomPanel, form().HumanPanel, form().WeaponPanel}) {
    EXPECT_EQ(panel->font().pixelSize(), 16);
    EXPECT_TRUE(panel->alignment() & Qt::AlignLeft);
  }
}

// A pasted chat text is cut to a length the server's line limit takes.
TEST_F(Game, ChatInputIsCapped) {
  client::TChatWin* chat = form().Forms().chatWin;
  chat->ChatLine->setText(QString(5000, QChar(0x3042)));  // full-width: two bytes each
  EXPECT_EQ(chat->ChatLine->text().size(), 1000);
  chat->ChatLineEnter();
  ASSERT_FALSE(fake->sent.empty());
  EXPECT_LT(fake->sent.back().size(), 2100u);
}

// Every text of the about box is shown whole.
TEST_F(Game, AboutBoxTextsFit) {
  QWidget* about = form().Forms().kestAbout;
  about->show();
  testloop::Drain();
  for (QLabel* l : about->findChildren<QLabel*>()) {
    if (l->text().isEmpty()) continue;
    EXPECT_LE(l->sizeHint().width(), l->width()) << l->text().toStdString();
    EXPECT_LE(l->sizeHint().height(), l->height()) << l->text().toStdString();
    EXPECT_TRUE(about->rect().contains(l->geometry())) << l->text().toStdString();
  }
}

// The about box's link lights up while the mouse is over it, and only then.
TEST_F(Game, AboutLinkHighlightsUnderTheMouse) {
  auto* about = static_cast<client::TKestAbout*>(form().Forms().kestAbout);
  about->show();
  testloop::Drain();
  auto move = [](QWidget* w) {
    QPoint at(w->width() / 2, w->height() / 2);
    QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  };
  move(about->Label4);
  EXPECT_NE(about->Label4->styleSheet().indexOf("#0000ff"), -1) << about->Label4->styleSheet().toStdString();
  move(about);
  EXPECT_NE(about->Label4->styleSheet().indexOf("#000000"), -1) << about->Label4->styleSheet().toStdString();
}

// Every pixel of a numbered mark is either transparent (the key colour) or
// ink: a colour of the plain triangle, or the digit's white or black. A digit
// blended into the key colour would leave green fringes.
TEST_F(Game, NumberedMarksHaveNoFringes) {
  client::TCheckForm* notes = form().Forms().checkForm;
  auto colours = [](const QImage& img) {
    std::set<QRgb> out;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x)
        if (qAlpha(img.pixel(x, y)) != 0) out.insert(img.pixel(x, y));
    return out;
  };
  for (int code = 3; code <= 20; ++code) {
    std::set<QRgb> ink = colours(notes->MarkPicture(code <= 11 ? 21 : 22));
    ink.insert(qRgb(255, 255, 255));
    ink.insert(qRgb(0, 0, 0));
    const QImage& mark = notes->MarkPicture(code);
    int fringe = 0;
    for (int y = 0; y < mark.height(); ++y)
      for (int x = 0; x < mark.width(); ++x) {
        QRgb p = mark.pixel(x, y);
        fringe += qAlpha(p) != 0 && (qAlpha(p) != 255 || !ink.count(p));
      }
    EXPECT_EQ(fringe, 0) << "mark " << code;
    EXPECT_NE(mark, notes->MarkPicture(code <= 11 ? 21 : 22)) << "mark " << code << " has no digit";
  }
}

}  // namespace
