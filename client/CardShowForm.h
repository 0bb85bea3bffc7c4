// The card-show dialog: the asked player picks the card to show, or passes.
#pragma once

#include <QLabel>
#include <vector>

#include "FixedWindow.h"
#include "KestCardImage.h"
#include "Kestclasses.h"

class QPushButton;

namespace client {

class TKestClientForm;

// The card-show dialog.
class TCardShowForm : public TFixedWindow {
 public:
  explicit TCardShowForm(TKestClientForm* main);
  void ShowCards(int count, const kest::TCard* cards);
  void CardClick(int i);
  void OkButtonClick();
  void Abandon();
  QLabel *InfoMsg, *InfoMsg2;
  QWidget* Waku;
  QPushButton* OkButton;
  std::vector<TKestCardImage*> Pictures;
  std::vector<QLabel*> Labels;
  int ChosenRow = -1, ChosenIndex = 0;

 private:
  TKestClientForm* main_;
};

}  // namespace client
