// The result dialog: who won, or that everybody failed, and the solution.
#pragma once

#include <QLabel>
#include <vector>

#include "FixedWindow.h"
#include "KestCardImage.h"

class QPushButton;

namespace client {

class TKestClientForm;

// The result dialog.
class TKekkaForm : public TFixedWindow {
 public:
  explicit TKekkaForm(TKestClientForm* main);
  void ShowResult(bool won, int seat, int person, int weapon, int room);
  void OKButtonClick();
  // Hides the dialog without its button's actions (a new game began under it).
  void Abandon();
  QLabel* MsgLabel;
  QPushButton* OKButton;
  std::vector<TKestCardImage*> Pictures;
  std::vector<QLabel*> Labels;

 private:
  TKestClientForm* main_;
};

}  // namespace client
