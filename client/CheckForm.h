// The detective notebook "探偵メモ": a mark per card and seat, set by hand.
#pragma once

#include <QImage>
#include <QLabel>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

class QMenu;
class QTabWidget;

namespace client {

class TKestClientForm;

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

 protected:
  void showEvent(QShowEvent* e) override;

 public:
  QTabWidget* CheckPage;
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
