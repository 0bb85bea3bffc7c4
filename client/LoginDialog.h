// The login dialog: player name, face, server address or name, and port.
// Result 1 = Login, 2 = Exit (also for the close box and Esc).
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace client {

class TKestClientForm;

class TLoginDialog : public QDialog {
 public:
  explicit TLoginDialog(TKestClientForm* main);

  QLineEdit* NameEdit = nullptr;
  QComboBox* FaceSelBox = nullptr;
  QLabel* FaceImage = nullptr;
  QLineEdit* AddrEdit = nullptr;
  QLineEdit* PortEdit = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;

  void FaceSelBoxChange();
  void reject() override { done(2); }

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  TKestClientForm* main_;
};

}  // namespace client
