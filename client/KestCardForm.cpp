#include "KestCardForm.h"

#include "NpcNames.h"
#include "Resources.h"
#include "Kestclasses.h"

namespace client {

// ---------------------------------------------------------------- card strip

TKestCardForm::TKestCardForm(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setWindowTitle(Q("\x83\x41\x83\x8a\x83\x6f\x83\x43"));  // アリバイ
  resize(586, 96);
}

void TKestCardForm::AddCard(int kind, int number) {
  if (cards_.size() >= size_t(kest::TCardList::kMaxCards)) return;
  auto* card = new TKestCardImage(this);
  card->Kind = kind;
  card->Number = number;
  card->PaintCard();
  card->setToolTip(Q(TrimName(CardName(kind, number))));
  card->move(int(cards_.size()) * 64, 0);
  card->show();
  cards_.push_back(card);
  resize(int(cards_.size()) * 64, 96);
}

void TKestCardForm::ClearCards() {
  for (auto* c : cards_) delete c;
  cards_.clear();
}

}  // namespace client
