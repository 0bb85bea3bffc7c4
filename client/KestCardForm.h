// The own-card strip "アリバイ": the cards the player was dealt.
#pragma once

#include <QWidget>
#include <vector>

#include "KestCardImage.h"

namespace client {

// The own-card strip "アリバイ".
class TKestCardForm : public QWidget {
 public:
  explicit TKestCardForm(QWidget* parent);
  void AddCard(int kind, int number);
  void ClearCards();
  int Count() const { return int(cards_.size()); }
  const std::vector<TKestCardImage*>& Cards() const { return cards_; }

 private:
  std::vector<TKestCardImage*> cards_;
};

}  // namespace client
