#include "KekkaForm.h"

#include <QPushButton>

#include "KestClientForm.h"
#include "NpcNames.h"
#include "Resources.h"

namespace client {

// ---------------------------------------------------------------- result

TKekkaForm::TKekkaForm(TKestClientForm* main) : TFixedWindow(main, true), main_(main) {
  setWindowTitle(Q("\x8c\x8b\x89\xca"));  // 結果
  setFixedSize(392, 221);
  MsgLabel = new QLabel(this);
  MsgLabel->move(0, 16);
  OKButton = new QPushButton(Q("\x83\x51\x81\x5b\x83\x80\x8f\x49\x97\xb9"), this);  // ゲーム終了
  OKButton->setGeometry(0, 186, 100, 26);
  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
}

void TKekkaForm::ShowResult(bool won, int seat, int person, int weapon, int room) {
  std::string msg;
  if (won) {
    msg = (seat >= 0 && seat < 6 ? TrimName(main_->Game.Seats()[seat].GetName()) : std::string()) +
          "\x82\xaa\x8d\x90\x91\x69\x82\xc9\x90\xac\x8c\xf7\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49";  // が告訴に成功しました！
  } else {
    // 全員が告訴に失敗しました！ゲームオーバー☆
    msg = "\x91\x53\x88\xf5\x82\xaa\x8d\x90\x91\x69\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49"
          "\x83\x51\x81\x5b\x83\x80\x83\x49\x81\x5b\x83\x6f\x81\x5b\x81\x99";
  }
  MsgLabel->setText(Q(msg));
  MsgLabel->adjustSize();
  for (auto* p : Pictures) delete p;
  for (auto* l : Labels) delete l;
  Pictures.clear();
  Labels.clear();
  const int kinds[3] = {3, 1, 2};
  const int codes[3] = {room, person, weapon};
  for (int i = 0; i < 3; ++i) {
    auto* card = new TKestCardImage(this);
    card->Kind = kinds[i];
    card->Number = ((codes[i] % 10) + 10) % 10;
    card->PaintCard();
    std::string name = TrimName(CardName(card->Kind, card->Number));
    card->setToolTip(Q(name));
    card->move(100 + 100 * i - card->width() / 2, 48);
    auto* label = new QLabel(Q(name), this);
    label->adjustSize();
    label->move(100 + 100 * i - label->width() / 2, card->height() + 56);
    Pictures.push_back(card);
    Labels.push_back(label);
  }
  for (auto* p : Pictures) p->show();
  for (auto* l : Labels) l->show();
  CentreX(MsgLabel, width());
  CentreX(OKButton, width());
  show();
  raise();
}

void TKekkaForm::OKButtonClick() {
  if (!isVisible()) return;
  Finish();
  main_->KekkaOk();
}

void TKekkaForm::Abandon() { Finish(); }

}  // namespace client
