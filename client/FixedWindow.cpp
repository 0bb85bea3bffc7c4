#include "FixedWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>

namespace client {

// ---------------------------------------------------------------- fixed window

TFixedWindow::TFixedWindow(QWidget* parent, bool onTop)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          (onTop ? Qt::WindowStaysOnTopHint : Qt::Widget)) {}

void TFixedWindow::Finish() {
  finishing_ = true;
  close();
  finishing_ = false;
}

void TFixedWindow::closeEvent(QCloseEvent* e) {
  if (finishing_) {
    e->accept();
  } else {
    e->ignore();
  }
}

void TFixedWindow::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) return;
  QWidget::keyPressEvent(e);
}

}  // namespace client
