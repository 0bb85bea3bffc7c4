// The options dialog: the two game modes the host sends with START.
#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

namespace client {

// The options dialog.
class TOptForm : public QDialog {
 public:
  explicit TOptForm(QWidget* parent);
  QCheckBox *DokoKokuBox, *SuiriYobiBox;
  QPushButton *OkBnt, *CancelBtn;
  void FormShow();
  void CancelBtnClick();

 protected:
  void showEvent(QShowEvent* e) override;
  void reject() override;

 private:
  bool savedDoko_ = true, savedSuiri_ = false;
};

}  // namespace client
