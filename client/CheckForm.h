// The detective notebook "探偵メモ": a mark per card and seat, set by hand.
#pragma once

#include <QImage>
#include <QLabel>
#include <QTabWidget>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

class QMenu;

namespace client {

class TKestClientForm;

// The notebook's page control: it lays out its sheets when it is shown,
// inside the showing of its window, before the window is placed, and says so.
class TCheckPage : public QTabWidget {
 public:
  using QTabWidget::QTabWidget;
  std::function<void()> onLaidOut;

 protected:
  void showEvent(QShowEvent* e) override;
};

// The detective notebook.
class TCheckForm : public QWidget {
 public:
  explicit TCheckForm(TKestClientForm* main);
  void PutMark(int group, int row, int code, int column);
  void ClearMarks();
  void DrawSheets();
  void DrawCell(int group, int row, int column);
  // Mouse on a grid of group at (x, y): left opens the menu, others cycle.
  void GridMouseDown(int group, int x, int y, bool left);
  void PopMenuClick(int code);
  void CheckPageChange(int group);
  uint8_t Cell(int row21, int column) const { return cells_[row21 * 6 + column]; }
  // The picture of mark code 1-22.
  const QImage& MarkPicture(int code) const { return marks_[size_t(code - 1)]; }

 public:
  TCheckPage* CheckPage;
  std::array<QLabel*, 3> Images{};
  QMenu* PopupMenu1;
  std::function<void(QMenu&, const QPoint&)> PopupHook;  // tests answer the menu
  int MenuGroup = -1, MenuRow = -1, MenuColumn = -1;

 private:
  TKestClientForm* main_;
  std::array<uint8_t, 126> cells_{};
  std::array<QImage, 22> marks_;
  std::array<QImage, 3> pages_;
};

}  // namespace client
