// A window that only its own buttons close.
#pragma once

#include <QWidget>

namespace client {

// A window that only its own buttons close: Esc and the window manager's
// close box do nothing.
class TFixedWindow : public QWidget {
 public:
  TFixedWindow(QWidget* parent, bool onTop);
  void Finish();  // hides the window on behalf of its button

 protected:
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  bool finishing_ = false;
};

}  // namespace client
