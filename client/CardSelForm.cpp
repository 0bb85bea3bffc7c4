#include "CardSelForm.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>

#include "GameRules.h"
#include "KestClientForm.h"
#include "NpcNames.h"
#include "Resources.h"

namespace client {

// ---------------------------------------------------------------- picker

TCardSelForm::TCardSelForm(TKestClientForm* main) : TFixedWindow(main, true), main_(main) {
  setFixedSize(475, 224);
  PlaceBox = new QComboBox(this);
  PlaceBox->setGeometry(16, 24, 120, 24);
  for (const char* n : kRoomNames) PlaceBox->addItem(Q(n));
  auto* de = new QLabel(Q("\x82\xc5"), this);  // で
  de->move(140, 28);
  HumanBox = new QComboBox(this);
  HumanBox->setGeometry(172, 24, 120, 24);
  for (int i = 0; i < 6; ++i) HumanBox->addItem(QStringLiteral(" "));
  auto* ga = new QLabel(Q("\x82\xaa"), this);  // が
  ga->move(296, 28);
  WeaponBox = new QComboBox(this);
  WeaponBox->setGeometry(328, 24, 120, 24);
  for (const char* n : kWeaponNames) WeaponBox->addItem(Q(n));
  OkBtn = new QPushButton(Q("\x8c\x88\x92\xe8"), this);  // 決定
  OkBtn->setGeometry(150, 186, 80, 26);
  OkBtn->setDefault(true);
  Button1 = new QPushButton(Q("\x83\x4c\x83\x83\x83\x93\x83\x5a\x83\x8b"), this);  // キャンセル
  Button1->setGeometry(245, 186, 80, 26);
  // As in a dialog: a focused キャンセル takes Return itself, and 決定 is the
  // default button only while キャンセル has no focus.
  Button1->setAutoDefault(true);
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (now && now->window() == this) OkBtn->setDefault(now != Button1);
  });
  connect(PlaceBox, &QComboBox::currentIndexChanged, this, [this](int i) { ShowPreview(3, i); });
  connect(HumanBox, &QComboBox::currentIndexChanged, this, [this](int i) { ShowPreview(1, i); });
  connect(WeaponBox, &QComboBox::currentIndexChanged, this, [this](int i) { ShowPreview(2, i); });
  connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

bool TCardSelForm::IsSuiri() const { return windowTitle() == Q("\x90\x84\x97\x9d"); }

void TCardSelForm::SetHumanName(int seat, const std::string& name) {
  if (seat < 0 || seat > 5) return;
  HumanBox->setItemText(seat, Q(name));
  HumanBox->setCurrentIndex(0);
}

void TCardSelForm::StartSuiri(int room) {
  PlaceBox->setEnabled(false);
  PlaceBox->setCurrentIndex(room >= 0 && room < 9 ? room : 0);
  setWindowTitle(Q("\x90\x84\x97\x9d"));  // 推理
  Open();
}

void TCardSelForm::StartKokuso() {
  PlaceBox->setEnabled(true);
  PlaceBox->setCurrentIndex(0);
  setWindowTitle(Q("\x8d\x90\x91\x69"));  // 告訴
  Open();
}

void TCardSelForm::Open() {
  HumanBox->setCurrentIndex(0);
  WeaponBox->setCurrentIndex(0);
  ShowPreview(1, HumanBox->currentIndex());
  ShowPreview(2, WeaponBox->currentIndex());
  ShowPreview(3, PlaceBox->currentIndex());
  show();
  raise();
}

void TCardSelForm::ShowPreview(int slot, int index) {
  if (slot < 1 || slot > 3) return;
  delete Previews[slot - 1];
  auto* card = new TKestCardImage(this);
  card->Kind = slot;
  card->Number = index;
  card->PaintCard();
  card->setToolTip(Q(TrimName(CardName(slot, index))));
  static const int lefts[4] = {0, 200, 372, 32};
  card->move(lefts[slot], 80);
  card->show();
  Previews[slot - 1] = card;
}

void TCardSelForm::OkBtnClick() {
  if (!isVisible()) return;
  Finish();
  int room = PlaceBox->currentIndex(), person = HumanBox->currentIndex(), weapon = WeaponBox->currentIndex();
  if (IsSuiri()) {
    main_->SendSuiri(main_->Game.MyUserId(), room, weapon, person);
  } else {
    main_->SendKokuso(main_->Game.MyUserId(), room, weapon, person);
  }
}

void TCardSelForm::Button1Click() {
  if (!isVisible()) return;
  Finish();
  if (IsSuiri()) {
    main_->SendSuiri(main_->Game.MyUserId(), -1, 0, 0);
  } else {
    main_->SendKokuso(main_->Game.MyUserId(), -1, 0, 0);
  }
}

void TCardSelForm::Abandon() { Finish(); }

void TCardSelForm::keyPressEvent(QKeyEvent* e) {
  // Return that no focused button took presses the default button.
  if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && OkBtn->isDefault()) {
    OkBtnClick();
    return;
  }
  TFixedWindow::keyPressEvent(e);
}

}  // namespace client
