// The about box.
#pragma once

#include <QDialog>
#include <QLabel>
#include <functional>

namespace client {

// A label that reports the mouse moving over it and clicks.
class TLinkLabel : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> onHover, onClick;

 protected:
  void mouseMoveEvent(QMouseEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
};

// The about box.
class TKestAbout : public QDialog {
 public:
  explicit TKestAbout(QWidget* parent);
  QLabel* Label4;
  void Label4MouseMove();  // highlighted: blue, underlined
  void FormMouseMove();    // elsewhere: black, plain

 protected:
  void mouseMoveEvent(QMouseEvent* e) override;
};

}  // namespace client
