// The main window's board canvas, pieces, die, captions and card pictures,
// the game's buttons, and the windows the game opens: what the core decided,
// painted.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <vector>

#include "CardSelForm.h"
#include "CardShowForm.h"
#include "CheckForm.h"
#include "JpegImage.h"
#include "KekkaForm.h"
#include "KestCardForm.h"
#include "KestClientForm.h"
#include "NpcNames.h"
#include "OptForm.h"
#include "Paths.h"
#include "Resources.h"
#include "StartCells.h"
#include "TextCodec.h"

namespace client {

namespace {

const char kOpenSeat[] = "\x8e\x51\x89\xc1\x8e\xf3\x95\x74\x92\x86";  // 参加受付中
// "　参加していません"
const char kNotPlaying[] = "\x81\x40\x8e\x51\x89\xc1\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1";
const char kYourTurn[] = "\x82\xa0\x82\xc8\x82\xbd\x82\xcc\x83\x5e\x81\x5b\x83\x93\x82\xc5\x82\xb7";  // あなたのターンです
// 確認ボタンを押してください
const char kPressConfirm[] = "\x8a\x6d\x94\x46\x83\x7b\x83\x5e\x83\x93\x82\xf0\x89\x9f\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2";

}  // namespace

// ---------------------------------------------------------------- sound and pictures

void TKestClientForm::PlayMusic(int index) { dev_.music->PlayMusic(index); }

void TKestClientForm::PlaySound(const char* name) {
  QByteArray wav = LoadSoundResource(name);
  if (!wav.isEmpty())
    dev_.sound->Play(reinterpret_cast<const uint8_t*>(wav.constData()), size_t(wav.size()));
}

void TKestClientForm::LoadFaces() { faces_.LoadFaces(plat::ProgramFile("faces")); }

const QImage& TKestClientForm::FaceGraphic(const std::string& face) const {
  return faces_.Picture(faces_.Find(face));
}

// ---------------------------------------------------------------- the canvas

void TKestClientForm::DrawBoardBackground() {
  QImage tile = LoadBitmapResource("BACKPTN");
  QPainter p(&KestCanvas->Image());
  if (tile.isNull()) {
    p.fillRect(0, 0, 740, 416, QColor(32, 24, 16));
  } else {
    for (int y = 0; y < 416; y += 64)
      for (int x = 0; x < 740; x += 64) p.drawImage(x, y, tile);
  }
  KestCanvas->Changed();
}

void TKestClientForm::DrawTitle() {
  if (titleBitmap_.isNull()) titleBitmap_ = LoadBitmapResource("TITLE");
  if (titleBitmap_.isNull()) return;
  QPainter p(&KestCanvas->Image());
  p.drawImage(8, 4, titleBitmap_);
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

void TKestClientForm::ClearPlayerRows() {
  for (int seat = 0; seat < 6; ++seat) DrawPlayerRow(seat, "", "");
}

void TKestClientForm::DrawPlayerRow(int seat, const std::string& face, const std::string& name) {
  if (seat < 0 || seat > 5) return;
  int top = seat * 68;
  {
    QPainter p(&KestCanvas->Image());
    p.fillRect(QRect(QPoint(430, top + 12), QPoint(601, top + 69)), Qt::black);
    p.setPen(SeatColour(seat));
    for (int y = top + 8; y <= top + 63; ++y) p.drawLine(426, y, 481, y);
    p.drawImage(426, top + 8, FaceGraphic(face));
    p.setFont(GothicFont(12));
    p.setPen(Qt::white);
    p.drawText(QRect(484, top + 16, 118, 14), Qt::AlignLeft | Qt::AlignTop,
               Q(name.empty() ? std::string(kOpenSeat) : name));
  }
  if (!name.empty() && Game.State() != gsNoGame && Game.Seats()[seat].HasFlags(kest::ufNonParticipant))
    SetPlayerStatus(seat, kNotPlaying);
  KestCanvas->Changed();
}

void TKestClientForm::SetPlayerStatus(int seat, const std::string& text) {
  if (seat < 0 || seat > 5) return;
  int top = seat * 68;
  QPainter p(&KestCanvas->Image());
  p.fillRect(QRect(QPoint(484, top + 30), QPoint(601, top + 47)), Qt::black);
  p.setFont(GothicFont(12));
  p.setPen(Qt::white);
  p.drawText(QRect(484, top + 34, 118, 14), Qt::AlignLeft | Qt::AlignTop, Q(text));
  KestCanvas->Changed();
}

void TKestClientForm::ShowMessageLine(const std::string& text) {
  QPainter p(&KestCanvas->Image());
  p.fillRect(QRect(QPoint(8, 340), QPoint(391, 419)), Qt::black);
  p.setFont(GothicFont(14));
  p.setPen(Qt::white);
  p.drawText(QRect(24, 348, 360, 66), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, Q(text));
  p.end();
  KestCanvas->Changed();
}

QImage TKestClientForm::LoadPortrait(int seat) const {
  QImage img;
  const std::string& face = Game.Seats()[seat].GetFace();
  if (kest::PlainFileName(face))
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

void TKestClientForm::DrawDie(int index, int flags) {
  if (index < 0 || index > 6) return;
  QPainter p(&SaiImage->Image());
  if (flags & 1) p.drawImage(40, 0, dieBitmaps_[index]);
  if (flags & 2) p.drawImage(0, 0, restBitmaps_[index]);
  SaiImage->Changed();
}

void TKestClientForm::ShowDie(bool shown) {
  SaiImage->setVisible(shown);
  if (shown) SaiImage->raise();
}

// ---------------------------------------------------------------- pieces and cursor

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
  l->move(px - w / 2 + 16, i < 6 ? py - h + 19 : py - h / 2 + 12);
}

void TKestClientForm::ShowPieces(bool flag) {
  for (QLabel* l : pieces_)
    if (l) l->setVisible(flag);
}

void TKestClientForm::SpreadPieces(int x, int y) {
  int seats[6], n = 0;
  for (int s = 0; s < 6; ++s)
    if (Game.Seats()[s].X() == x && Game.Seats()[s].Y() == y) seats[n++] = s;
  for (int j = 0; j < n; ++j) PlacePiece(seats[j], 16 * x - 7 + (14 * (j + 1)) / (n + 1), 16 * y);
}

void TKestClientForm::PiecesMoved() {
  for (int s = 0; s < 6; ++s) SpreadPieces(Game.Seats()[s].X(), Game.Seats()[s].Y());
  for (int w = 0; w < 6; ++w) PlacePiece(6 + w, 16 * Game.WeaponCells()[w].x, 16 * Game.WeaponCells()[w].y);
  // Pieces further down the board stand in front.
  std::vector<std::pair<int, int>> order;
  for (int s = 0; s < 6; ++s) order.push_back({CellIndex(Game.Seats()[s].X(), Game.Seats()[s].Y()), s});
  std::sort(order.begin(), order.end());
  for (auto& o : order)
    if (pieces_[o.second]) pieces_[o.second]->raise();
}

void TKestClientForm::CreateTurnCursor() {
  if (cursor_) return;
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

void TKestClientForm::SetTurnCursor(int seat) {
  if (cursor_ && ValidSeat(seat)) cursor_->move(393, seat * 68 + 8);
}

void TKestClientForm::FreeTurnCursor() {
  delete cursor_;
  cursor_ = nullptr;
}

// ---------------------------------------------------------------- captions and card pictures

void TKestClientForm::SetCaptions(const std::array<std::string, 3>& texts) {
  QLabel* panels[3] = {RoomPanel, HumanPanel, WeaponPanel};
  for (int i = 0; i < 3; ++i) {
    panels[i]->setText(Q(texts[size_t(i)]));
    panels[i]->resize(1, panels[i]->height());
    panels[i]->show();
    panels[i]->raise();
  }
}

void TKestClientForm::SetCaptionWidth(int panel, int width) {
  QLabel* panels[3] = {RoomPanel, HumanPanel, WeaponPanel};
  if (panel >= 0 && panel < 3) panels[panel]->resize(width, panels[panel]->height());
}

void TKestClientForm::HideCaptionPanels() {
  RoomPanel->hide();
  HumanPanel->hide();
  WeaponPanel->hide();
}

void TKestClientForm::ShowCheckPanel(bool confirm) {
  CheckPanel->move(CheckPanel->x(), confirm ? 368 : 172);
  CheckPanel->setText(Q(confirm ? kPressConfirm : kYourTurn));
  CheckPanel->show();
  CheckPanel->raise();
}

void TKestClientForm::HideCheckPanel() { CheckPanel->hide(); }

void TKestClientForm::ShowCardPicture(int kind, int number) {
  delete shownCardImage_;
  shownCardImage_ = new TKestCardImage(centralWidget());
  shownCardImage_->Kind = kind;
  shownCardImage_->Number = number;
  shownCardImage_->PaintCard();
  shownCardImage_->move(150, 240);
  shownCardImage_->show();
  shownCardImage_->raise();
}

void TKestClientForm::CreateKokusoCards(const std::array<int, 3>& kinds, const std::array<int, 3>& numbers) {
  for (int i = 0; i < 3; ++i) {
    delete kokusoCards_[size_t(i)];
    auto* c = new TKestCardImage(centralWidget());
    c->Kind = kinds[size_t(i)];
    c->Number = numbers[size_t(i)];
    c->PaintCard();
    c->setToolTip(Q(TrimName(CardName(c->Kind, c->Number))));
    c->move(208 - c->width() / 2, 230);
    kokusoTargets_[size_t(i)] = i * 76 - c->width() / 2 + 140;
    kokusoCards_[size_t(i)] = c;
  }
}

void TKestClientForm::ShowKokusoCards() {
  for (auto* c : kokusoCards_)
    if (c) c->show(), c->raise();
}

void TKestClientForm::SlideKokusoCards(int tick) {
  for (size_t i = 0; i < 3; ++i)
    if (kokusoCards_[i])
      kokusoCards_[i]->move(SlideLeft(kokusoCards_[i]->width(), kokusoTargets_[i], tick), kokusoCards_[i]->y());
}

void TKestClientForm::FreeCardPictures() {
  delete shownCardImage_;
  shownCardImage_ = nullptr;
  for (auto*& c : kokusoCards_) {
    delete c;
    c = nullptr;
  }
}

void TKestClientForm::SetPersonCard(int seat) {
  SetPersonPicture(seat, FaceGraphic(Game.Seats()[seat].GetFace()));
  SetPersonName(seat, TrimName(Game.Seats()[seat].GetName()));
}

// ---------------------------------------------------------------- the game's buttons

void TKestClientForm::MoveButtonClick() {
  Entry([this] { Game.MoveButtonClick(); });
}

void TKestClientForm::SuiriButtonClick() {
  Entry([this] { Game.SuiriButtonClick(); });
}

void TKestClientForm::KokusoButtonClick() {
  Entry([this] { Game.KokusoButtonClick(); });
}

void TKestClientForm::ArrowButtonClick(QToolButton* button) {
  Entry([this, button] {
    QToolButton* arrows[6] = {UpSpdButton, DownSpdButton, LeftSpdButton, RightSpdButton, Up2SpdButton, Down2SpdButton};
    for (int a = 0; a < 6; ++a)
      if (arrows[a] == button) Game.ArrowButtonClick(a);
  });
}

void TKestClientForm::KestTimerTimer() {
  Entry([this] { Game.KestTimerTimer(); });
}

void TKestClientForm::SendSuiri(int id, int room, int weapon, int person) {
  Entry([=, this] { Game.SendSuiri(id, room, weapon, person); });
}

void TKestClientForm::SendShow(int id, int code, const kest::TCard& card) {
  Entry([=, this] { Game.SendShow(id, code, card); });
}

void TKestClientForm::SendKokuso(int id, int room, int weapon, int person) {
  Entry([=, this] { Game.SendKokuso(id, room, weapon, person); });
}

void TKestClientForm::KekkaOk() {
  Entry([this] { Game.KekkaOk(); });
}

void TKestClientForm::CardSpdButtonClick() {
  Entry([this] {
    if (forms_.cardForm) BringToFront(forms_.cardForm);
    cardStripFlag_ = true;
  });
}

void TKestClientForm::CheckSpdButtonClick() {
  Entry([this] {
    if (cardStripFlag_ && forms_.cardForm) {
      forms_.cardForm->show();
      cardStripFlag_ = false;
    }
    if (forms_.checkForm) BringToFront(forms_.checkForm);
  });
}

void TKestClientForm::S2Click() {
  Entry([this] {
    auto* opt = dynamic_cast<TOptForm*>(forms_.optForm);
    if (!opt) return;
    opt->DokoKokuBox->setChecked(Game.KokusoMode());
    opt->SuiriYobiBox->setChecked(Game.SuiriMode());
    if (RunModal(*opt) != 0) {
      Game.SetTableOptions(opt->DokoKokuBox->isChecked(), opt->SuiriYobiBox->isChecked(), Game.CpuCount());
    }
  });
}

// ---------------------------------------------------------------- the game's windows

void TKestClientForm::ClearCardStrip() {
  if (forms_.cardForm) forms_.cardForm->ClearCards();
}

void TKestClientForm::AddCardToStrip(int kind, int number) {
  if (forms_.cardForm) forms_.cardForm->AddCard(kind, number);
}

void TKestClientForm::PlaceCardStrip(int count) {
  if (!forms_.cardForm) return;
  int w = std::max(count, 1) * 64;
  forms_.cardForm->resize(w, 96);
  // Measured from the main window's outer corner (its position), not from its
  // inner area, which starts a title bar lower.
  forms_.cardForm->move(x() + width() / 2 - w / 2, y() + 292);
}

void TKestClientForm::PutMark(int group, int row, int code, int column) {
  if (forms_.checkForm) forms_.checkForm->PutMark(group, row, code, column);
}

void TKestClientForm::ClearNotebook() {
  if (forms_.checkForm) forms_.checkForm->ClearMarks();
}

void TKestClientForm::CloseNotebook() {
  if (forms_.checkForm) forms_.checkForm->hide();
}

void TKestClientForm::OpenPicker(bool suiri, int room) {
  TCardSelForm* picker = forms_.cardSelForm;
  if (!picker) return;
  for (int s = 0; s < 6; ++s) picker->SetHumanName(s, Game.Seats()[size_t(s)].GetName());
  if (suiri) {
    picker->StartSuiri(room);
  } else {
    picker->StartKokuso();
  }
}

void TKestClientForm::ClosePicker() {
  if (forms_.cardSelForm) forms_.cardSelForm->Abandon();
}

void TKestClientForm::OpenCardShow(int count, const kest::TCard* cards) {
  if (forms_.cardShowForm) forms_.cardShowForm->ShowCards(count, cards);
}

void TKestClientForm::CloseCardShow() {
  if (forms_.cardShowForm) forms_.cardShowForm->Abandon();
}

void TKestClientForm::ShowResult(bool won, int seat, int person, int weapon, int room) {
  if (forms_.kekkaForm) forms_.kekkaForm->ShowResult(won, seat, person, weapon, room);
}

void TKestClientForm::CloseResult() {
  if (forms_.kekkaForm) forms_.kekkaForm->Abandon();
}

}  // namespace client
