// The game on the main window: start, cards and turns, the board and its
// pieces, the die and the animations, suggestions, showing, accusations
// and the end of a game.
#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

#include "GameDialogs.h"
#include "JpegImage.h"
#include "KestClientForm.h"
#include "NpcNames.h"
#include "NpcSetDlg.h"
#include "Number.h"
#include "Paths.h"
#include "Resources.h"
#include "StartCells.h"
#include "TextCodec.h"

namespace client {

namespace {

const char kTurnEnd[] = "\x83\x5e\x81\x5b\x83\x93\x8f\x49\x97\xb9";  // ターン終了
const char kEnd[] = "\x8f\x49\x97\xb9";                              // 終了
const char kStart[] = "\x8a\x4a\x8e\x6e";                            // 開始
const char kConfirm[] = "\x8a\x6d\x94\x46";                          // 確認
const char kYourTurn[] = "\x82\xa0\x82\xc8\x82\xbd\x82\xcc\x83\x5e\x81\x5b\x83\x93\x82\xc5\x82\xb7";  // あなたのターンです
// 確認ボタンを押してください
const char kPressConfirm[] = "\x8a\x6d\x94\x46\x83\x7b\x83\x5e\x83\x93\x82\xf0\x89\x9f\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2";
const char kMoving[] = "\x88\xda\x93\xae\x92\x86";                                  // 移動中
const char kSuggesting[] = "\x90\x84\x97\x9d\x92\x86\x81\x63\x81\x63";              // 推理中……
const char kWillSuggest[] = "\x82\xaa\x90\x84\x97\x9d\x82\xb5\x82\xdc\x82\xb7";     // が推理します
const char kAsking[] = "\x83\x41\x83\x8a\x83\x6f\x83\x43\x92\xb2\x8d\xb8\x92\x86";  // アリバイ調査中
const char kThatAlibi[] = "\x82\xbb\x82\xcc\x83\x41\x83\x8a\x83\x6f\x83\x43\x82\xcd";  // そのアリバイは
const char kHasIt[] = "\x82\xaa\x8e\x9d\x82\xc1\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81\x42";  // が持っています。
// は、そのアリバイを持っていません。
const char kHasNot[] =
    "\x82\xcd\x81\x41\x82\xbb\x82\xcc\x83\x41\x83\x8a\x83\x6f\x83\x43\x82\xf0\x8e\x9d\x82\xc1\x82\xc4\x82\xa2\x82\xdc"
    "\x82\xb9\x82\xf1\x81\x42";
const char kFound[] = "\x82\xa0\x82\xe8\x82\xdc\x82\xb5\x82\xbd";                  // ありました
const char kNotFound[] = "\x8e\x9d\x82\xc1\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1";  // 持っていません
const char kAccusing[] = "\x8d\x90\x91\x69\x92\x86\x81\x49";                         // 告訴中！
const char kWillAccuse[] = "\x82\xaa\x8d\x90\x91\x69\x82\xb5\x82\xdc\x82\xb7";      // が告訴します
const char kVerdict[] = "\x8d\x90\x91\x69\x8c\x8b\x89\xca\x81\x63\x81\x63";          // 告訴結果……
const char kSuiriCancelled[] = "\x90\x84\x97\x9d\x82\xf0\x92\x86\x8e\x7e\x82\xb5\x82\xdc\x82\xb5\x82\xbd";  // 推理を中止しました
const char kKokusoCancelled[] = "\x8d\x90\x91\x69\x82\xf0\x92\x86\x8e\x7e\x82\xb5\x82\xdc\x82\xb5\x82\xbd";  // 告訴を中止しました
const char kLost[] = "\x8d\x90\x91\x69\x8e\xb8\x94\x73\x81\x49";                    // 告訴失敗！
const char kYouLost[] = "\x8d\x90\x91\x69\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49";  // 告訴に失敗しました！
const char kOtherLost[] = "\x82\xaa\x8d\x90\x91\x69\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49";
const char kWon[] = "\x8d\x90\x91\x69\x90\xac\x8c\xf7\x81\x49";  // 告訴成功！
// おめでとう！告訴に成功しました！
const char kYouWon[] = "\x82\xa8\x82\xdf\x82\xc5\x82\xc6\x82\xa4\x81\x49\x8d\x90\x91\x69\x82\xc9\x90\xac\x8c\xf7\x82\xb5"
                       "\x82\xdc\x82\xb5\x82\xbd\x81\x49";
const char kOtherWon[] = "\x82\xaa\x8d\x90\x91\x69\x82\xc9\x90\xac\x8c\xf7\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49";
const char kIdeSpace[] = "\x81\x40";  // 　
const char kDe[] = "\x82\xc5";          // で
const char kGa[] = "\x82\xaa";          // が
const char kWoTsukatta[] = "\x82\xf0\x8e\x67\x82\xc1\x82\xbd";  // を使った

// A face name that may stand in a file name.
bool PlainName(const std::string& s) {
  if (s.empty() || s.find('/') != std::string::npos || s.find('\\') != std::string::npos ||
      s.find("..") != std::string::npos || s.find('\0') != std::string::npos)
    return false;
  return true;
}

QFont Gothic(int px) {
  QFont f("IPAGothic");
  f.setPixelSize(px);
  return f;
}

}  // namespace

// ---------------------------------------------------------------- helpers

bool TKestClientForm::Bad(bool condition, const char* word) {
  if (condition) {
    std::fprintf(stderr, "velmora: %s line out of range, ignored\n", word);
    Log(std::string(word) + " line out of range, ignored");
  }
  return condition;
}

std::string TKestClientForm::SeatName(int seat) const {
  return ValidSeat(seat) ? TrimName(Seats[seat].GetName()) : std::string();
}

int TKestClientForm::ComputerSeatOf(int id) const {
  if (MySeat != 0 || id < 0 || id == MyUserId) return -1;
  for (int s = 0; s < 6; ++s)
    if (Seats[s].UserNo == id && Seats[s].HasFlags(kest::ufComputer)) return s;
  return -1;
}

bool TKestClientForm::RunningAnimation() const { return KestTimer->isActive(); }

void TKestClientForm::SetArrows(bool enabled) {
  for (QToolButton* b : {UpSpdButton, DownSpdButton, LeftSpdButton, RightSpdButton, Up2SpdButton, Down2SpdButton})
    b->setEnabled(enabled);
}

void TKestClientForm::SaveButtonStates() {
  QWidget* w[9] = {SuiriButton, KokusoButton, MoveButton, UpSpdButton, DownSpdButton,
                   LeftSpdButton, RightSpdButton, StartButton, OutButton};
  for (int i = 0; i < 9; ++i) {
    savedStates_[i] = w[i]->isEnabled();
    w[i]->setEnabled(false);
  }
}

void TKestClientForm::RestoreButtonStates() {
  QWidget* w[9] = {SuiriButton, KokusoButton, MoveButton, UpSpdButton, DownSpdButton,
                   LeftSpdButton, RightSpdButton, StartButton, OutButton};
  for (int i = 0; i < 9; ++i) w[i]->setEnabled(savedStates_[i]);
}

void TKestClientForm::ShowMessageLine(const std::string& text) {
  MessageLine = text;
  QPainter p(&KestCanvas->Image());
  p.fillRect(QRect(QPoint(8, 340), QPoint(391, 419)), Qt::black);
  p.setFont(Gothic(14));
  p.setPen(Qt::white);
  p.drawText(QRect(24, 348, 360, 66), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, Q(text));
  p.end();
  KestCanvas->Changed();
}

QImage TKestClientForm::LoadPortrait(int seat) const {
  QImage img;
  const std::string& face = Seats[seat].GetFace();
  if (PlainName(face))
    img = QImage(QString::fromStdString(plat::ProgramFile("bustup") + "/" + plat::SjisToUtf8(face) + ".bmp"));
  if (img.isNull())
    img = QImage(QString::fromStdString(plat::ProgramFile("bustup") + "/default" + std::to_string(seat) + ".bmp"));
  return img.isNull() ? img : MakeGreenTransparent(img.convertToFormat(QImage::Format_RGB32));
}

void TKestClientForm::ShowRoomPictures(int room, int seat, int other) {
  QPainter p(&KestCanvas->Image());
  p.fillRect(QRect(QPoint(8, 4), QPoint(391, 43)), Qt::black);
  QImage bg = LoadJpegFile(plat::ProgramFile("bg") + "/room" + std::to_string(room) + ".jpg");
  if (bg.isNull()) {
    p.fillRect(8, 44, 384, 296, QColor(40, 30, 20));
  } else {
    p.drawImage(8, 44, bg);
  }
  p.fillRect(QRect(QPoint(8, 340), QPoint(391, 419)), Qt::black);
  if (ValidSeat(seat)) {
    QImage a = LoadPortrait(seat);
    p.drawImage(392 - a.width(), 340 - a.height(), a);
  }
  if (ValidSeat(other)) {
    QImage b = LoadPortrait(other);
    p.drawImage(8, 340 - b.height(), b);
  }
  p.end();
  KestCanvas->Changed();
}

void TKestClientForm::DrawBoard() {
  QImage map = LoadBitmapResource("MAP");
  QPainter p(&KestCanvas->Image());
  if (map.isNull()) {
    p.fillRect(8, 4, 384, 416, QColor(200, 180, 140));
  } else {
    p.drawImage(8, 4, map);
  }
  p.end();
  KestCanvas->Changed();
}

// ---------------------------------------------------------------- pieces

void TKestClientForm::FreePieces() {
  for (auto& piece : pieces_) {
    delete piece;
    piece = nullptr;
  }
}

void TKestClientForm::CreatePieces() {
  FreePieces();
  for (int i = 0; i < 12; ++i) {
    std::string res = (i < 6 ? "KOMA" : "BKOMA") + std::to_string(i % 6);
    QImage img = LoadTransparentBitmap(res.c_str());
    if (img.isNull()) {
      img = QImage(16, i < 6 ? 24 : 16, QImage::Format_ARGB32);
      img.fill(i < 6 ? SeatColour(i) : QColor(180, 150, 60));
    }
    auto* l = new QLabel(centralWidget());
    l->setPixmap(QPixmap::fromImage(img));
    l->resize(img.size());
    l->setAttribute(Qt::WA_TransparentForMouseEvents);
    pieces_[i] = l;
    TCell c = i < 6 ? kPlayerStartCells[i] : kWeaponStartCells[i - 6];
    PlacePiece(i, 16 * c.x, 16 * c.y);
    l->show();
  }
}

void TKestClientForm::PlacePiece(int i, int px, int py) {
  if (i < 0 || i >= 12 || !pieces_[i]) return;
  QLabel* l = pieces_[i];
  int w = l->width(), h = l->height();
  int top = i < 6 ? py - h + 19 : py - h / 2 + 12;
  // The canvas sits 2 pixels below the top of the window's client area.
  l->move(px - w / 2 + 16, top + 2);
}

void TKestClientForm::ShowPieces(bool flag) {
  for (QLabel* l : pieces_)
    if (l) l->setVisible(flag);
}

void TKestClientForm::SpreadPieces(int x, int y) {
  int seats[6], n = 0;
  for (int s = 0; s < 6; ++s)
    if (Seats[s].X() == x && Seats[s].Y() == y) seats[n++] = s;
  for (int j = 0; j < n; ++j) PlacePiece(seats[j], 16 * x - 7 + (14 * (j + 1)) / (n + 1), 16 * y);
}

void TKestClientForm::SetTurnCursor(int seat) {
  if (cursor_ && ValidSeat(seat)) cursor_->move(393, seat * 68 + 8 + 2);
}

void TKestClientForm::FreeCursor() {
  delete cursor_;
  cursor_ = nullptr;
}

void TKestClientForm::ShowSecondExits(int room) {
  if (room == 0) {
    Up2SpdButton->move(684, Up2SpdButton->y());
    Up2SpdButton->show();
    UpSpdButton->move(644, UpSpdButton->y());
  } else if (room == 4) {
    Down2SpdButton->move(684, Down2SpdButton->y());
    Down2SpdButton->show();
    DownSpdButton->move(644, DownSpdButton->y());
  } else {
    Up2SpdButton->hide();
    Down2SpdButton->hide();
    UpSpdButton->move(664, UpSpdButton->y());
    DownSpdButton->move(664, DownSpdButton->y());
  }
}

void TKestClientForm::ShowPassageButton(int room) {
  int target = room >= 0 && room < 9 ? RoomTable[room][32] : -1;
  if (target < 0 || target > 8) {
    StartButton->hide();
    return;
  }
  StartButton->setText(Q(kRoomNames[target]));
  StartButton->setEnabled(false);
  StartButton->show();
  StartButton->setProperty("Tag", target);
}

void TKestClientForm::UpdateMoveButtons(int seat, int steps) {
  if (seat == MySeat) SetArrows(true);
  DrawDie(steps >= 0 && steps <= 6 ? steps : 0, 2);
  OutButton->setEnabled(TurnSeat == MySeat && steps == 0);
}

// ---------------------------------------------------------------- start, cards, turns

void TKestClientForm::HandleCard(int id, const TArgs& args) {
  int k = kest::ReadDecimal(args.empty() ? std::string() : args[0]);
  if (Bad(k < 0 || k > kest::TCardList::kMaxCards || int(args.size()) < k + 1, "CARD")) return;
  std::vector<int> codes;
  for (int i = 1; i <= k; ++i) {
    int c = kest::ReadDecimal(args[i]);
    if (Bad(!ValidCardCode(c), "CARD")) return;
    codes.push_back(c);
  }
  static const int passes[3] = {3, 1, 2};
  if (id == MyUserId) {
    if (!ValidSeat(MySeat)) return;
    LocalUser.hand.ClearList();
    Seats[MySeat].hand.ClearList();
    if (forms_.cardForm) forms_.cardForm->ClearCards();
    for (int kind : passes)
      for (int c : codes) {
        if (c / 10 != kind) continue;
        kest::TCard card = kest::TCard::MakeCard(uint8_t(kind), uint16_t(c % 10));
        LocalUser.hand.Append(card);
        Seats[MySeat].hand.Append(card);
        if (forms_.cardForm) forms_.cardForm->AddCard(kind, c % 10);
        if (forms_.checkForm) forms_.checkForm->PutMark(kind == 3 ? 0 : kind == 1 ? 1 : 2, c % 10, 1, MySeat);
      }
    if (forms_.cardForm) {
      int w = std::max(k, 1) * 64;
      forms_.cardForm->resize(w, 96);
      QRect g = geometry();
      forms_.cardForm->move(g.left() + g.width() / 2 - w / 2, g.top() + 292);
    }
    CardSpdButton->setEnabled(true);
    D1->setEnabled(true);
    return;
  }
  int seat = ComputerSeatOf(id);
  if (seat < 0) return;
  Seats[seat].hand.ClearList();
  for (int kind : passes)
    for (int c : codes)
      if (c / 10 == kind) Seats[seat].hand.Append(kest::TCard::MakeCard(uint8_t(kind), uint16_t(c % 10)));
  RaiseScriptEvent(seat, "OnInit", codes);
}

void TKestClientForm::StartGame(int id, const TArgs& args) {
  if (id != MyUserId) return;
  CloseGameDialogs();
  KestTimer->stop();
  DrawBoard();
  SaiImage->Image().fill(Qt::black);
  DrawDie(0, 3);
  CreatePieces();
  SaiImage->show();
  SaiImage->raise();
  AccuseAnywhere = kest::ReadDecimal(args.size() > 0 ? args[0] : std::string()) != 0;
  MoveSuspect = kest::ReadDecimal(args.size() > 1 ? args[1] : std::string()) != 0;
  OutButton->setText(Q(kTurnEnd));
  OutButton->setEnabled(false);
  SuiriButton->setEnabled(false);
  KokusoButton->setEnabled(false);
  LocalUser.SetPlace(0);
  GameState = 2;
  ViewShown = false;
  PendingShowCheck = -1;
  HideCaptionPanels();
  FreeCardPictures();
  for (int seat = PlayerCount; seat < 6; ++seat) {
    std::string raw = forms_.npcSetDlg ? forms_.npcSetDlg->Names().GetNpcName(seat - 1, false) : "";
    Seats[seat].SetName(raw);
    Seats[seat].SetFace(raw);
  }
  for (int seat = 0; seat < 6; ++seat) {
    Seats[seat].SetPlace(0);
    SetPersonPicture(seat, FaceGraphic(Seats[seat].GetFace()));
    SetPersonName(seat, TrimName(Seats[seat].GetName()));
    DrawPlayerRow(seat, Seats[seat].GetFace(), Seats[seat].GetName());
    Seats[seat].SetPosition(int16_t(kPlayerStartCells[seat].x), int16_t(kPlayerStartCells[seat].y));
    // Scripts of the seats are set up by the computer-player host.
  }
  Walk = TWalk();
  Walk.accuseAnywhere = AccuseAnywhere;
  if (ValidSeat(MySeat)) Walk.x = kPlayerStartCells[MySeat].x, Walk.y = kPlayerStartCells[MySeat].y;
  if (!cursor_) {
    cursor_ = new QLabel(centralWidget());
    QImage img = LoadTransparentBitmap("CURSOR");
    if (img.isNull()) {
      img = QImage(32, 56, QImage::Format_ARGB32);
      img.fill(QColor(220, 180, 40));
    }
    cursor_->setPixmap(QPixmap::fromImage(img));
    cursor_->resize(img.size());
    cursor_->show();
  }
  SetTurnCursor(0);
  if (forms_.checkForm) {
    forms_.checkForm->ClearMarks();
  }
  CheckSpdButton->setEnabled(true);
  S1->setEnabled(true);
}

void TKestClientForm::HandleTurn(int id, int s) {
  if (Bad(!ValidSeat(s), "TURN")) return;
  int cseat = ComputerSeatOf(id);
  if (id != MyUserId && cseat < 0) return;
  if (id == MyUserId) {
    // A slow client may still be rolling the previous turn's die. That roll is
    // over: show its result now, without the end actions that belong to the
    // turn that has passed (they would take the new turn's roll away).
    if (GameState == 3) {
      Die.Finish();
      KestTimer->stop();
      KestTimer->setInterval(Die.interval);
      DrawDie(RollValue, 3);
      GameState = 2;
    }
    TurnSeat = s;
    Walk.wayBack = -1;
    if (ViewShown) ClearView();
    for (int k = 0; k < PlayerCount && k < 6; ++k)
      if (!Seats[k].HasFlags(kest::ufNonParticipant)) SetPlayerStatus(k, "", 0);
    SetTurnCursor(s);
    Seats[s].SetSteps(0);
    PlayMusic(0);
  }
  if (s != MySeat) {
    if (id == MyUserId) {
      SetArrows(false);
      SuiriButton->setEnabled(false);
      MoveButton->setEnabled(false);
      KokusoButton->setEnabled(false);
      StartButton->setEnabled(false);
    }
    if (cseat >= 0 && cseat == s) {
      Seats[s].ClearFlags(kest::ufDiceDone);
      RaiseScriptEvent(s, "OnTurn", {});
    }
    return;
  }
  if (id != MyUserId) return;
  DrawDie(0, 2);
  Seats[MySeat].ClearFlags(kest::ufDiceDone);
  LocalUser.ClearFlags(kest::ufDiceDone);
  SetArrows(false);
  CheckPanel->move(CheckPanel->x(), 172);
  CheckPanel->setText(Q(kYourTurn));
  PlaySound("CHECKSND");
  CheckPanel->show();
  CheckPanel->raise();
  MoveButton->setEnabled(true);
  KokusoButton->setEnabled(AccuseAnywhere);
  int place = Walk.place;
  if (place != 0) {
    ShowPassageButton(place - 1);
    StartButton->setEnabled(!StartButton->isHidden());
    SuiriButton->setEnabled(true);
    ShowSecondExits(place - 1);
  } else {
    Up2SpdButton->hide();
    Down2SpdButton->hide();
    UpSpdButton->move(664, UpSpdButton->y());
    DownSpdButton->move(664, DownSpdButton->y());
  }
}

void TKestClientForm::HandleTurnEnd2(int) {
  if (GameState < 2) return;
  GameState = 10;
  PlaySound("CHECKSND2");
  CheckPanel->move(CheckPanel->x(), 368);
  CheckPanel->setText(Q(kPressConfirm));
  CheckPanel->show();
  CheckPanel->raise();
  OutButton->setText(Q(kConfirm));
  OutButton->setEnabled(true);
}

// ---------------------------------------------------------------- die

void TKestClientForm::MoveButtonClick() {
  CheckPanel->hide();
  SendLine(MyUserId, "SAIKORO");
  if (ValidSeat(MySeat)) Seats[MySeat].SetFlags(kest::ufDiceDone);
  LocalUser.SetFlags(kest::ufDiceDone);
  MoveButton->setEnabled(false);
  StartButton->setEnabled(false);
}

void TKestClientForm::HandleSaikoro(int id, int n) {
  if (id != MyUserId) return;  // one animation per client, driven by its own copy
  if (Bad(n < 1 || n > 6, "SAIKORO")) return;
  PlaySound("SAISND");
  RollValue = n;
  if (TurnSeat == MySeat) {
    Seats[MySeat].SetSteps(int16_t(n));
    Walk.steps = n;
  }
  GameState = 3;
  Die.Start(n);
  KestTimer->start();
  DrawDie(0, 3);
}

void TKestClientForm::KestTimerTimer() {
  switch (GameState) {
    case 3: {
      Die.interval = KestTimer->interval();
      int shown = 1;
      bool going = Die.Tick(&shown);
      DrawDie(shown, 1);
      KestTimer->setInterval(Die.interval);
      if (going) return;
      KestTimer->stop();
      DrawDie(RollValue, 3);
      GameState = 2;
      Walk.ClearMarks();
      if (TurnSeat == MySeat) {
        SetArrows(true);
        Walk.steps = RollValue;
        LocalUser.SetSteps(int16_t(RollValue));
        Walk.SeedMarks();
      } else if (MySeat == 0 && ValidSeat(TurnSeat) && Seats[TurnSeat].HasFlags(kest::ufComputer)) {
        Seats[TurnSeat].SetSteps(int16_t(RollValue));
        RaiseScriptEvent(TurnSeat, "OnMove", {});
      }
      if (ValidSeat(TurnSeat)) SetPlayerStatus(TurnSeat, kMoving, 0);
      MoveButton->setEnabled(false);
      return;
    }
    case 4:
    case 5: {
      QLabel* panels[3] = {RoomPanel, HumanPanel, WeaponPanel};
      if (AnimStep < 3) {
        QLabel* panel = panels[AnimStep];
        panel->resize(CaptionWidth(int(S(panel->text()).size()), AnimTick), panel->height());
      }
      if (++AnimTick >= 11) {
        AnimTick = 0;
        ++AnimStep;
      }
      if (AnimStep < 3) return;
      KestTimer->stop();
      KestTimer->setInterval(33);
      if (GameState == 4) {
        GameState = 2;
        if (PendingShowCheck >= 0) {
          SendLine(PendingShowCheck, "SHOWCHECK");
          PendingShowCheck = -1;
        }
      } else {
        GameState = 6;
        for (auto* c : kokusoCards_)
          if (c) c->show(), c->raise();
        AnimTick = 0;
        KestTimer->setInterval(50);
        KestTimer->start();
      }
      return;
    }
    case 6: {
      for (int i = 0; i < 3; ++i)
        if (kokusoCards_[i])
          kokusoCards_[i]->move(SlideLeft(kokusoCards_[i]->width(), kokusoTargets_[i], AnimTick),
                                kokusoCards_[i]->y());
      if (++AnimTick < 11) return;
      AnimTick = 0;
      KestTimer->stop();
      KestTimer->setInterval(33);
      SendLine(MyUserId, "KOKUSOEND " + std::to_string(Verdict));
      return;
    }
    case 9: {
      if (++AnimTick < 21) return;
      AnimTick = 0;
      KestTimer->stop();
      KestTimer->setInterval(33);
      SendLine(RollValue, "KOKUSOEND " + std::to_string(Verdict));
      RollValue = 0;
      return;
    }
    default:
      KestTimer->stop();
  }
}

// ---------------------------------------------------------------- walking

void TKestClientForm::ArrowButtonClick(QToolButton* button) {
  if (GameState < 2 || TurnSeat != MySeat || !button->isEnabled()) return;
  int tag = button->property("Tag").toInt();
  bool second = button == Up2SpdButton || button == Down2SpdButton;
  bool wasCorridor = Walk.place == 0;
  TWalkResult r = ArrowStep(Walk, tag, second);
  if (r.kind == TWalkResult::None) return;
  if (r.leftSpot) KokusoButton->setEnabled(AccuseAnywhere);
  if (r.onSpot) KokusoButton->setEnabled(true);
  if (r.kind == TWalkResult::OutRoom) {
    LocalUser.SetPlace(0);
    LocalUser.SetPosition(int16_t(Walk.x), int16_t(Walk.y));
  }
  SendLine(MyUserId, r.line);
  if (wasCorridor)
    for (QToolButton* b : {UpSpdButton, DownSpdButton, LeftSpdButton, RightSpdButton}) b->setEnabled(false);
}

void TKestClientForm::HandleMove(int id, int seat, int x, int y, int steps) {
  if (Bad(!ValidSeat(seat) || !OnBoard(x, y) || steps < 0 || steps > 6, "MOVE")) return;
  if (id == MyUserId) {
    PlaySound(footToggle_ ? "FOOTSND2" : "FOOTSND1");
    footToggle_ = !footToggle_;
    Seats[seat].SetPosition(int16_t(x), int16_t(y));
    Seats[seat].SetSteps(int16_t(steps));
    if (seat == MySeat) Walk.x = x, Walk.y = y;
    for (int s = 0; s < 6; ++s) SpreadPieces(Seats[s].X(), Seats[s].Y());
    // Pieces further down the board stand in front.
    std::vector<std::pair<int, int>> order;
    for (int s = 0; s < 6; ++s) order.push_back({CellIndex(Seats[s].X(), Seats[s].Y()), s});
    std::sort(order.begin(), order.end());
    for (auto& o : order)
      if (pieces_[o.second]) pieces_[o.second]->raise();
    UpdateMoveButtons(seat, steps);
    return;
  }
  int cseat = ComputerSeatOf(id);
  if (cseat >= 0 && cseat == TurnSeat) {
    Seats[seat].SetPosition(int16_t(x), int16_t(y));
    RaiseScriptEvent(cseat, steps > 0 ? "OnMove" : "OnMoveEnd", {});
  }
}

void TKestClientForm::HandleInRoom(int id, int seat, int room, int steps) {
  if (Bad(!ValidSeat(seat) || room < 0 || room > 8 || steps < 0 || steps > 6, "INROOM")) return;
  Seats[seat].SetPlace(int16_t(room + 1));
  Seats[seat].SetPosition(int16_t(RoomTable[room][8 + 2 * seat]), int16_t(RoomTable[room][9 + 2 * seat]));
  if (id == MyUserId) {
    PlaySound("DOORSND1");
    SpreadPieces(Seats[seat].X(), Seats[seat].Y());
    if (seat == MySeat) {
      Walk.place = room + 1;
      LocalUser.SetPlace(int16_t(room + 1));
    }
    UpdateMoveButtons(seat, steps);
    if (TurnSeat == MySeat && seat == MySeat) {
      SuiriButton->setEnabled(true);
      OutButton->setEnabled(true);
      ShowPassageButton(room);
      ShowSecondExits(room);
    }
    return;
  }
  int cseat = ComputerSeatOf(id);
  if (cseat >= 0 && cseat == seat) RaiseScriptEvent(cseat, "OnInRoom", {room});
}

void TKestClientForm::HandleOutRoom(int id, int seat, int v, int steps) {
  int room = v & 0xF, dir = (v >> 8) & 0xF;
  bool second = (v & 0x1000) != 0;
  int x, y;
  if (Bad(!ValidSeat(seat) || steps < 0 || steps > 6 || !ExitCell(room, dir, second, x, y), "OUTROOM")) return;
  Seats[seat].SetPlace(0);
  Seats[seat].SetPosition(int16_t(x), int16_t(y));
  if (id != MyUserId) return;
  SpreadPieces(x, y);
  UpdateMoveButtons(seat, steps);
  if (TurnSeat == MySeat && seat == MySeat) {
    PlaySound("FOOTSND1");
    Up2SpdButton->hide();
    Down2SpdButton->hide();
    UpSpdButton->move(664, UpSpdButton->y());
    DownSpdButton->move(664, DownSpdButton->y());
    SuiriButton->setEnabled(false);
    OutButton->setEnabled(steps == 0);
    StartButton->hide();
    StartButton->setEnabled(false);
    StartButton->setText(Q(kStart));
  }
}

// ---------------------------------------------------------------- suggestion and accusation

void TKestClientForm::SuiriButtonClick() {
  if (Walk.place < 1 || Walk.place > 9) return;
  CheckPanel->hide();
  int room = Walk.place - 1;
  SendLine(MyUserId, "SUIRISTART " + std::to_string(room));
  if (forms_.cardSelForm)
    for (int s = 0; s < 6; ++s) forms_.cardSelForm->SetHumanName(s, Seats[s].GetName());
  SaveButtonStates();
  SuiriButton->setEnabled(false);
  StartButton->setEnabled(false);
  if (forms_.cardSelForm) forms_.cardSelForm->StartSuiri(room);
}

void TKestClientForm::KokusoButtonClick() {
  CheckPanel->hide();
  int room = Walk.place >= 1 && Walk.place <= 9 ? Walk.place - 1 : 9;
  SendLine(MyUserId, "KOKUSOSTART " + std::to_string(room));
  if (forms_.cardSelForm)
    for (int s = 0; s < 6; ++s) forms_.cardSelForm->SetHumanName(s, Seats[s].GetName());
  SaveButtonStates();
  if (forms_.cardSelForm) forms_.cardSelForm->StartKokuso();
}

void TKestClientForm::SendSuiri(int id, int room, int weapon, int person) {
  if (room < 0) {
    SendLine(id, "SUIRICANCEL");
    return;
  }
  if (id == MyUserId) {
    MoveButton->setEnabled(false);
    SetArrows(false);
  }
  SendLine(id, "SUIRI " + std::to_string(room) + "," + std::to_string(person) + "," + std::to_string(weapon));
}

void TKestClientForm::SendShow(int id, int code, const kest::TCard& card) {
  if (code < 0) {
    SendLine(id, "SHOW NO");
    return;
  }
  ShownCard = card;
  SendLine(id, "SHOW " + std::to_string(card.WireCode()));
}

void TKestClientForm::SendKokuso(int id, int room, int weapon, int person) {
  if (id == MyUserId) RestoreButtonStates();
  if (room < 0) {
    SendLine(id, "KOKUSOCANCEL");
    return;
  }
  if (id == MyUserId) {
    StartButton->setEnabled(false);
    MoveButton->setEnabled(false);
    SetArrows(false);
    KokusoRoom = room, KokusoPerson = person, KokusoWeapon = weapon;
  }
  SendLine(id, "KOKUSO " + std::to_string(room) + "," + std::to_string(person) + "," + std::to_string(weapon));
}

void TKestClientForm::SendClearNpc() { SendLine(MyUserId, "CLEARNPC"); }

void TKestClientForm::HandleSuiriStart(int id, int seat, int room) {
  if (id != MyUserId || Bad(!ValidSeat(seat) || room < 0 || room > 8, "SUIRISTART")) return;
  ViewShown = true;
  ShowPieces(false);
  SaiImage->hide();
  SetPlayerStatus(seat, kSuggesting, 0);
  ShowRoomPictures(room, seat, -1);
  ShowMessageLine(SeatName(seat) + kWillSuggest);
  PlayMusic(1);
}

void TKestClientForm::StartCaptions(int room, int person, int weapon, uint8_t state) {
  RoomPanel->setText(Q(std::string(kIdeSpace) + kRoomNames[room] + kDe));
  HumanPanel->setText(Q(std::string(kIdeSpace) + SeatName(person) + kGa));
  WeaponPanel->setText(Q(std::string(kIdeSpace) + kWeaponNames[weapon] + kWoTsukatta));
  for (QLabel* l : {RoomPanel, HumanPanel, WeaponPanel}) {
    l->resize(1, l->height());
    l->show();
    l->raise();
  }
  AnimTick = AnimStep = 0;
  GameState = state;
  KestTimer->setInterval(50);
  KestTimer->start();
}

void TKestClientForm::HandleSuiri(int id, int seat, int room, int person, int weapon) {
  person %= 10;
  if (Bad(!ValidSeat(seat) || room < 0 || room > 8 || person < 0 || person > 5 || weapon < 0 || weapon > 5,
          "SUIRI"))
    return;
  LastSuiriRoom = room;
  LastSuiriSeat = seat;
  if (id != MyUserId) {
    int cseat = ComputerSeatOf(id);
    if (cseat >= 0) RaiseScriptEvent(cseat, "OnOtherSuiri", {seat, room, person, weapon});
    return;
  }
  if (MoveSuspect) {
    Seats[person].SetPlace(int16_t(room + 1));
    Seats[person].SetPosition(int16_t(RoomTable[room][8 + 2 * person]), int16_t(RoomTable[room][9 + 2 * person]));
    SpreadPieces(Seats[person].X(), Seats[person].Y());
    if (person == MySeat) {
      Walk.place = room + 1;
      Walk.x = Seats[person].X(), Walk.y = Seats[person].Y();
      LocalUser.SetPlace(int16_t(room + 1));
      ShowPassageButton(room);
    }
  }
  PlacePiece(6 + weapon, 16 * RoomTable[room][20 + 2 * weapon], 16 * RoomTable[room][21 + 2 * weapon]);
  StartCaptions(room, person, weapon, 4);
}

void TKestClientForm::HandleShowWait(int id, int seat) {
  if (Bad(!ValidSeat(seat), "SHOWWAIT")) return;
  bool set = false;
  if (id == MyUserId) {
    SetPlayerStatus(seat, kAsking, 0);
    if (seat == MySeat) PendingShowCheck = MyUserId, set = true;
  } else {
    int cseat = ComputerSeatOf(id);
    if (cseat >= 0 && cseat == seat) PendingShowCheck = id, set = true;
  }
  if (set && !KestTimer->isActive()) {
    SendLine(PendingShowCheck, "SHOWCHECK");
    PendingShowCheck = -1;
  }
}

void TKestClientForm::HandleShowSel(int id, const TArgs& args) {
  int k = kest::ReadDecimal(args.empty() ? std::string() : args[0]);
  if (Bad(k < 0 || k > 3 || int(args.size()) < k + 1, "SHOWSEL")) return;
  kest::TCard cards[3];
  std::vector<int> codes{-1, -1, -1};
  for (int i = 0; i < k; ++i) {
    int c = kest::ReadDecimal(args[i + 1]);
    if (Bad(!ValidCardCode(c), "SHOWSEL")) return;
    cards[i] = kest::TCard::MakeCard(uint8_t(c / 10), uint16_t(c % 10));
    codes[i] = c;
  }
  if (id == MyUserId) {
    if (forms_.cardShowForm) forms_.cardShowForm->ShowCards(k, cards);
    return;
  }
  int cseat = ComputerSeatOf(id);
  if (cseat >= 0) RaiseScriptEvent(cseat, "OnOtherSuiriCheck", codes);
}

void TKestClientForm::HandleShowC(int id, const TArgs& args) {
  std::string kind = args.empty() ? std::string() : args[0];
  bool word = kind == "EXIST" || kind == "NOTEXIST" || kind == "NO";
  int seat = kest::ReadDecimal(word ? (args.size() > 1 ? args[1] : std::string()) : kind);
  int code = word ? 0 : kest::ReadDecimal(args.size() > 1 ? args[1] : std::string());
  if (Bad(!ValidSeat(seat) || (!word && !ValidCardCode(code)), "SHOWC")) return;
  if (id != MyUserId) {
    int cseat = ComputerSeatOf(id);
    if (cseat < 0 || cseat != TurnSeat) return;
    if (kind == "NO" && seat == (TurnSeat + 5) % 6) RaiseScriptEvent(cseat, "OnSuiriResult", {-1});
    if (!word) RaiseScriptEvent(cseat, "OnSuiriResult", {code});
    return;
  }
  ShowRoomPictures(LastSuiriRoom, LastSuiriSeat, seat);
  delete shownCardImage_;
  shownCardImage_ = nullptr;
  auto showCard = [this](int cardKind, int number) {
    shownCardImage_ = new TKestCardImage(centralWidget());
    shownCardImage_->Kind = cardKind;
    shownCardImage_->Number = number;
    shownCardImage_->PaintCard();
    shownCardImage_->move(150, 240 + 2);
    shownCardImage_->show();
    shownCardImage_->raise();
  };
  if (kind == "EXIST") {
    ShowMessageLine(std::string(kThatAlibi) + SeatName(seat) + kHasIt);
    SetPlayerStatus(seat, kFound, 0);
    if (seat == MySeat) {
      showCard(ShownCard.Mark(), ShownCard.Index());
    } else {
      showCard(0, 0);
    }
  } else if (kind == "NOTEXIST" || kind == "NO") {
    ShowMessageLine(SeatName(seat) + kHasNot);
    SetPlayerStatus(seat, kNotFound, 0);
  } else {
    ShowMessageLine(std::string(kThatAlibi) + SeatName(seat) + kHasIt);
    SetPlayerStatus(seat, kFound, 0);
    showCard(code / 10, code % 10);
    RestoreButtonStates();
    SuiriButton->setEnabled(false);
    KokusoButton->setEnabled(AccuseAnywhere);
    MoveButton->setEnabled(false);
    OutButton->setEnabled(true);
  }
}

void TKestClientForm::HandleSuiriEnd(int id) {
  if (id != MyUserId) {
    int cseat = ComputerSeatOf(id);
    if (cseat >= 0 && cseat == TurnSeat) RaiseScriptEvent(cseat, "OnSuiriEnd", {});
    return;
  }
  RestoreButtonStates();
  OutButton->setEnabled(true);
  for (QWidget* w : std::initializer_list<QWidget*>{MoveButton, KokusoButton, SuiriButton, StartButton}) w->setEnabled(false);
  SetArrows(false);
}

void TKestClientForm::HandleKokusoStart(int id, int seat, int room) {
  if (id != MyUserId || Bad(!ValidSeat(seat) || room < 0 || room > 9, "KOKUSOSTART")) return;
  ShowPieces(false);
  SaiImage->hide();
  SetPlayerStatus(seat, kAccusing, 0);
  ShowRoomPictures(room, seat, -1);
  ShowMessageLine(SeatName(seat) + kWillAccuse);
  ViewShown = true;
  PlayMusic(2);
}

void TKestClientForm::HandleKokuso(int id, int person, int weapon, int room, bool right) {
  if (Bad(person < 10 || person > 15 || weapon < 20 || weapon > 25 || room < 30 || room > 38, "KOKUSO")) return;
  Verdict = right ? 1 : 0;
  if (id != MyUserId) {
    if (ComputerSeatOf(id) < 0) return;
    GameState = 9;
    AnimTick = 0;
    RollValue = id;
    KestTimer->setInterval(50);
    KestTimer->start();
    return;
  }
  ShowMessageLine(kVerdict);
  for (auto*& c : kokusoCards_) {
    delete c;
    c = nullptr;
  }
  const int kinds[3] = {3, 1, 2};
  const int numbers[3] = {room % 10, person % 10, weapon % 10};
  for (int i = 0; i < 3; ++i) {
    auto* c = new TKestCardImage(centralWidget());
    c->Kind = kinds[i];
    c->Number = numbers[i];
    c->PaintCard();
    c->setToolTip(Q(TrimName(CardName(kinds[i], numbers[i]))));
    c->move(208 - c->width() / 2, 230 + 2);
    kokusoTargets_[i] = i * 76 - c->width() / 2 + 140;
    kokusoCards_[i] = c;
  }
  int r = KokusoRoom >= 0 && KokusoRoom < 9 ? KokusoRoom : 0;
  StartCaptions(r, ValidSeat(KokusoPerson) ? KokusoPerson : 0, KokusoWeapon >= 0 && KokusoWeapon < 6 ? KokusoWeapon : 0, 5);
}

void TKestClientForm::ClearView() {
  FreeCardPictures();
  DrawBoard();
  SaiImage->show();
  ShowPieces(true);
  HideCaptionPanels();
  ViewShown = false;
}

void TKestClientForm::FreeCardPictures() {
  delete shownCardImage_;
  shownCardImage_ = nullptr;
  for (auto*& c : kokusoCards_) {
    delete c;
    c = nullptr;
  }
}

void TKestClientForm::HandleSuiriCancel(int id, int seat) { CancelView(id, seat, kSuiriCancelled, "SUIRICANCEL"); }

void TKestClientForm::HandleKokusoCancel(int id, int seat) { CancelView(id, seat, kKokusoCancelled, "KOKUSOCANCEL"); }

void TKestClientForm::CancelView(int id, int seat, const char* status, const char* word) {
  if (id != MyUserId || Bad(!ValidSeat(seat), word)) return;
  ClearView();
  if (TurnSeat == MySeat) RestoreButtonStates();
  SetPlayerStatus(seat, status, 0);
  PlayMusic(0);
}

// ---------------------------------------------------------------- game end

void TKestClientForm::CloseGameDialogs() {
  if (forms_.cardSelForm) forms_.cardSelForm->Abandon();
  if (forms_.cardShowForm) forms_.cardShowForm->Abandon();
}

void TKestClientForm::HandleLose(int id, int seat) {
  if (Bad(!ValidSeat(seat), "LOSE")) return;
  if (id != MyUserId) {
    int cseat = ComputerSeatOf(id);
    if (cseat >= 0 && cseat == seat) RaiseScriptEvent(cseat, "OnLose", {});
    return;
  }
  SetPlayerStatus(seat, kLost, 0);
  if (seat == MySeat) {
    ShowMessageLine(kYouLost);
    for (QWidget* w : std::initializer_list<QWidget*>{SuiriButton, KokusoButton, MoveButton, UpSpdButton,
                                                      DownSpdButton, LeftSpdButton, RightSpdButton})
      w->setEnabled(false);
    OutButton->setEnabled(true);
    PlayMusic(5);
  } else {
    ShowMessageLine(SeatName(seat) + kOtherLost);
  }
}

void TKestClientForm::EndOfGame(bool won, int seat, int person, int weapon, int room) {
  CloseGameDialogs();
  for (QWidget* w : std::initializer_list<QWidget*>{SuiriButton, KokusoButton, MoveButton, UpSpdButton,
                                                    DownSpdButton, LeftSpdButton, RightSpdButton})
    w->setEnabled(false);
  OutButton->setEnabled(true);
  OutButton->setText(Q(kEnd));
  FreeCursor();
  StartButton->setText(Q(kStart));
  StartButton->setEnabled(true);
  StartButton->setVisible(MySeat == 0);
  GameState = 1;
  if (won) {
    if (seat == MySeat) {
      PlayMusic(4);
      ShowMessageLine(kYouWon);
    } else {
      PlayMusic(5);
      ShowMessageLine(SeatName(seat) + kOtherWon);
    }
  }
  SaveButtonStates();
  if (forms_.kekkaForm) forms_.kekkaForm->ShowResult(won, seat, person, weapon, room);
}

void TKestClientForm::HandleWin(int id, int seat, int person, int weapon, int room) {
  if (Bad(!ValidSeat(seat) || !ValidCardCode(person) || !ValidCardCode(weapon) || !ValidCardCode(room), "WIN")) return;
  if (id != MyUserId) {
    int cseat = ComputerSeatOf(id);
    if (cseat >= 0 && cseat == seat) RaiseScriptEvent(cseat, "OnWin", {});
    return;
  }
  SetPlayerStatus(seat, kWon, 0);
  EndOfGame(true, seat, person, weapon, room);
}

void TKestClientForm::HandleEnd(int id, int seat, int person, int weapon, int room) {
  if (id != MyUserId) return;
  if (Bad(!ValidSeat(seat) || !ValidCardCode(person) || !ValidCardCode(weapon) || !ValidCardCode(room), "END")) return;
  EndOfGame(false, seat, person, weapon, room);
}

void TKestClientForm::ResetBoard() {
  PlayMusic(3);
  ComputersAdded = false;
  DrawTitle();
  FreeCardPictures();
  for (int seat = PlayerCount; seat < 6; ++seat) DrawPlayerRow(seat, "", "");
  HideCaptionPanels();
  SaiImage->hide();
  CheckPanel->hide();
  ShowPieces(false);
}

// ---------------------------------------------------------------- tool buttons

void TKestClientForm::CardSpdButtonClick() {
  if (forms_.cardForm) forms_.cardForm->show();
  cardStripFlag_ = true;
}

void TKestClientForm::CheckSpdButtonClick() {
  if (cardStripFlag_ && forms_.cardForm) {
    forms_.cardForm->show();
    cardStripFlag_ = false;
  }
  if (forms_.checkForm) forms_.checkForm->show();
}

void TKestClientForm::S2Click() {
  auto* opt = dynamic_cast<TOptForm*>(forms_.optForm);
  if (!opt) return;
  opt->DokoKokuBox->setChecked(KokusoMode);
  opt->SuiriYobiBox->setChecked(SuiriMode);
  if (RunModal(*opt) != 0) {
    KokusoMode = opt->DokoKokuBox->isChecked();
    SuiriMode = opt->SuiriYobiBox->isChecked();
  }
}

}  // namespace client
