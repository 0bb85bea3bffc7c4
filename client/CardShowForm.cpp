#include "CardShowForm.h"

#include <QPushButton>

#include "KestClientForm.h"
#include "NpcNames.h"
#include "Resources.h"

namespace client {

// ---------------------------------------------------------------- card show

TCardShowForm::TCardShowForm(TKestClientForm* main) : TFixedWindow(main, true), main_(main) {
  InfoMsg = new QLabel(this);
  InfoMsg->setAlignment(Qt::AlignCenter);
  InfoMsg2 = new QLabel(this);
  InfoMsg2->setAlignment(Qt::AlignCenter);
  Waku = new QWidget(this);
  Waku->setFixedSize(72, 104);
  Waku->setStyleSheet("border: 4px solid #ff0000; background: transparent;");
  Waku->setAttribute(Qt::WA_StyledBackground);
  OkButton = new QPushButton(this);
  OkButton->resize(90, 26);
  connect(OkButton, &QPushButton::clicked, this, [this] { OkButtonClick(); });
}

void TCardShowForm::ShowCards(int count, const kest::TCard* cards) {
  for (auto* p : Pictures) delete p;
  for (auto* l : Labels) delete l;
  Pictures.clear();
  Labels.clear();
  if (count < 0) count = 0;
  if (count > 3) count = 3;
  if (count >= 1) {
    setWindowTitle(Q("\x83\x4a\x81\x5b\x83\x68\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb5\x82\xbd"));  // カードがありました
    setFixedSize(360, 240);
    // n枚のカードがありました
    InfoMsg->setText(Q(std::to_string(count) + "\x96\x87\x82\xcc\x83\x4a\x81\x5b\x83\x68\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb5\x82\xbd"));
    InfoMsg->setGeometry(0, 12, 360, 20);
    InfoMsg2->setText(count == 1 ? Q("\x82\xb1\x82\xcc\x83\x4a\x81\x5b\x83\x68\x82\xf0\x8c\xa9\x82\xb9\x82\xdc\x82\xb7")  // このカードを見せます
                                 // 見せるカードを選択してください
                                 : Q("\x8c\xa9\x82\xb9\x82\xe9\x83\x4a\x81\x5b\x83\x68\x82\xf0\x91\x49\x91\xf0\x82\xb5"
                                     "\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2"));
    InfoMsg2->setGeometry(0, 40, 360, 20);
    InfoMsg2->show();
    ChosenRow = count - 1;
    ChosenIndex = 0;
    static const int lefts[3][3] = {{140}, {60, 212}, {20, 136, 252}};
    for (int i = 0; i < count; ++i) {
      auto* card = new TKestCardImage(this);
      card->Kind = cards[i].Mark();
      card->Number = cards[i].Index();
      card->PaintCard();
      std::string name = TrimName(CardName(card->Kind, card->Number));
      card->setToolTip(Q(name));
      int left = lefts[count - 1][i];
      card->move(left, 80);
      card->OnClick = [this, i] { CardClick(i); };
      card->show();
      Pictures.push_back(card);
      auto* label = new QLabel(Q(name), this);
      label->setFont(GothicFont(10));
      label->setStyleSheet("color: #000000;");
      label->adjustSize();
      label->move(left + 32 - label->width() / 2, 184);
      label->show();
      Labels.push_back(label);
    }
    Waku->move(lefts[count - 1][0] - 4, 76);
    Waku->show();
    Waku->raise();
    OkButton->setText(Q("\x8c\x88\x92\xe8"));  // 決定
    OkButton->move(0, 200);
    CentreX(OkButton, 360);
  } else {
    ChosenRow = -1;
    ChosenIndex = 0;
    setWindowTitle(Q("\x83\x4a\x81\x5b\x83\x68\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd"));  // カードはありませんでした
    InfoMsg2->hide();
    Waku->hide();
    setFixedSize(337, 135);
    // 推理されたカードはありませんでした
    InfoMsg->setText(Q("\x90\x84\x97\x9d\x82\xb3\x82\xea\x82\xbd\x83\x4a\x81\x5b\x83\x68\x82\xcd\x82\xa0\x82\xe8\x82\xdc"
                       "\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd"));
    InfoMsg->setGeometry(0, 32, 337, 20);
    OkButton->setText(Q("\x8e\x9f\x82\xcc\x90\x6c\x82\xd6"));  // 次の人へ
    OkButton->move(0, 88);
    CentreX(OkButton, 337);
  }
  show();
  raise();
}

void TCardShowForm::CardClick(int i) {
  if (i < 0 || i >= int(Pictures.size())) return;
  Waku->move(Pictures[i]->x() - 4, 76);
  ChosenIndex = i;
}

void TCardShowForm::OkButtonClick() {
  if (!isVisible()) return;
  Finish();
  if (ChosenRow < 0) {
    main_->SendShow(main_->Game.MyUserId(), -1, kest::TCard());
  } else {
    TKestCardImage* c = Pictures[ChosenIndex];
    main_->SendShow(main_->Game.MyUserId(), ChosenRow, kest::TCard::MakeCard(uint8_t(c->Kind), uint16_t(c->Number)));
  }
}

void TCardShowForm::Abandon() { Finish(); }

}  // namespace client
