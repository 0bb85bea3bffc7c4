// The login dialog: player name, face, server address or name, and port.
// Result 1 = Login, 2 = Exit (also for the close box); Esc does nothing.
#pragma once

#include <QDialog>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace plat {
class TWindowManagerWatch;
}

namespace client {

class TKestClientForm;

class TLoginDialog : public QDialog {
 public:
  explicit TLoginDialog(TKestClientForm* main);
  ~TLoginDialog() override;

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
  void hideEvent(QHideEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void ComeToTheFront();

  TKestClientForm* main_;
  // While the dialog is open: the requests the window manager makes of the
  // program's other windows, which the dialog blocks.
  std::unique_ptr<plat::TWindowManagerWatch> watch_;
};

}  // namespace client
