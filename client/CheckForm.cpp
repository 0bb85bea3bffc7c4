#include "CheckForm.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QShowEvent>

#include "KestClientForm.h"
#include "Resources.h"

namespace client {

// ---------------------------------------------------------------- notebook

namespace {

const int kGridLeft[3] = {80, 144, 80};
const int kGridRows[3] = {9, 6, 6};
const int kRowOffset[3] = {0, 9, 15};
const QSize kPageSize[3] = {{176, 160}, {240, 112}, {176, 112}};
const QColor kHeaderColours[6] = {QColor(255, 0, 0), QColor(255, 255, 0), QColor(255, 255, 255),
                                  QColor(0, 255, 0),  QColor(0, 0, 255),   QColor(255, 0, 255)};

class TGridLabel : public QLabel {
 public:
  std::function<void(QMouseEvent*)> onPress;
  using QLabel::QLabel;

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (onPress) onPress(e);
  }
};

}  // namespace

TCheckForm::TCheckForm(TKestClientForm* main)
    : QWidget(main, Qt::Window | Qt::MSWindowsFixedSizeDialogHint), main_(main) {
  setWindowTitle(Q("\x92\x54\x92\xe3\x83\x81\x83\x82"));  // 探偵メモ
  for (int c = 1; c <= 22; ++c) {
    const char* res = c == 1 ? "BATSU" : c == 2 ? "MARU" : (c <= 11 || c == 21) ? "SANKAKU" : "SANKAKU2";
    QImage img = LoadBitmapResource(res).convertToFormat(QImage::Format_RGB32);
    if (img.isNull()) {
      img = QImage(14, 14, QImage::Format_RGB32);
      img.fill(QColor(0, 255, 0));
    }
    if (c >= 3 && c <= 20) {
      int digit = c <= 11 ? c - 2 : c - 11;
      // Drawn without anti-aliasing: a pixel blended with the key colour
      // around the digit would stay as a green fringe once the key is made
      // transparent.
      QPainter p(&img);
      p.setRenderHint(QPainter::TextAntialiasing, false);
      QFont font = GothicFont(10, true);
      font.setStyleStrategy(QFont::NoAntialias);
      p.setFont(font);
      QString d = QString::number(digit);
      p.setPen(Qt::white);
      for (QPoint o : {QPoint(3, 2), QPoint(5, 2), QPoint(4, 1), QPoint(4, 3)}) p.drawText(o.x(), o.y() + 9, d);
      p.setPen(Qt::black);
      p.drawText(4, 2 + 9, d);
    }
    marks_[c - 1] = MakeGreenTransparent(img);
  }
  CheckPage = new TCheckPage(this);
  // Sized to its sheet at each showing, before the window is placed on the
  // screen (the sheets stand in their places only from then on).
  CheckPage->onLaidOut = [this] { CheckPageChange(CheckPage->currentIndex()); };
  static const char* titles[3] = {"\x8e\x45\x90\x6c\x8c\xbb\x8f\xea", "\x97\x65\x8b\x5e\x8e\xd2",
                                  "\x8b\xa5\x8a\xed"};  // 殺人現場, 容疑者, 凶器
  for (int g = 0; g < 3; ++g) {
    auto* sheet = new QWidget;
    auto* img = new TGridLabel(sheet);
    img->setGeometry(4, 4, kPageSize[g].width(), kPageSize[g].height());
    img->onPress = [this, g](QMouseEvent* e) {
      GridMouseDown(g, int(e->position().x()), int(e->position().y()), e->button() == Qt::LeftButton);
    };
    Images[g] = img;
    CheckPage->addTab(sheet, Q(titles[g]));
  }
  PopupMenu1 = new QMenu(this);
  auto item = [this](QMenu* m, const std::string& text, int code) {
    QAction* a = m->addAction(Q(text));
    if (code > 0) a->setIcon(QIcon(QPixmap::fromImage(marks_[code - 1])));
    a->setData(code);
    connect(a, &QAction::triggered, this, [this, code] { PopMenuClick(code); });
  };
  item(PopupMenu1, "\x8f\xc1\x8b\x8e", 0);   // 消去
  item(PopupMenu1, "\x83\x6f\x83\x63", 1);   // バツ
  item(PopupMenu1, "\x83\x7d\x83\x8b", 2);   // マル
  QMenu* tri = PopupMenu1->addMenu(QIcon(QPixmap::fromImage(marks_[20])), Q("\x8e\x4f\x8a\x70"));  // 三角
  QMenu* inv = PopupMenu1->addMenu(QIcon(QPixmap::fromImage(marks_[21])), Q("\x8b\x74\x8e\x4f\x8a\x70"));  // 逆三角
  static const char* fullDigits[9] = {"\x82\x50", "\x82\x51", "\x82\x52", "\x82\x53", "\x82\x54",
                                      "\x82\x55", "\x82\x56", "\x82\x57", "\x82\x58"};  // １-９
  for (int d = 0; d < 9; ++d) {
    item(tri, std::string("\x8e\x4f\x8a\x70") + fullDigits[d], 3 + d);
    item(inv, std::string("\x8b\x74\x8e\x4f\x8a\x70") + fullDigits[d], 12 + d);
  }
  connect(CheckPage, &QTabWidget::currentChanged, this, [this](int g) { CheckPageChange(g); });
  DrawSheets();
  CheckPage->setCurrentIndex(0);
  CheckPageChange(0);
}

void TCheckForm::DrawSheets() {
  for (int g = 0; g < 3; ++g) {
    QImage img(kPageSize[g], QImage::Format_RGB32);
    img.fill(palette().color(QPalette::Button));
    QPainter p(&img);
    p.setFont(GothicFont(14));
    int left = kGridLeft[g];
    for (int r = 0; r < kGridRows[g]; ++r) {
      std::string name = g == 0 ? kRoomNames[r] : g == 2 ? kWeaponNames[r] : main_->Game.Seats()[r].GetName();
      p.setPen(Qt::black);
      p.drawText(0, 16 * r + 18 + 12, Q(name));
      p.drawLine(0, 16 * r + 16, img.width(), 16 * r + 16);
      p.setPen(Qt::white);
      p.drawLine(0, 16 * r + 17, img.width(), 16 * r + 17);
    }
    for (int i = 0; i <= 6; ++i) {
      p.setPen(Qt::black);
      p.drawLine(left + 16 * i, 0, left + 16 * i, img.height());
      p.setPen(Qt::white);
      p.drawLine(left + 16 * i + 1, 0, left + 16 * i + 1, img.height());
      if (i < 6) p.fillRect(QRect(QPoint(left + 16 * i + 2, 0), QPoint(left + 16 * i + 15, 15)), kHeaderColours[i]);
    }
    p.end();
    pages_[g] = img;
    for (int r = 0; r < kGridRows[g]; ++r)
      for (int c = 0; c < 6; ++c) DrawCell(g, r, c);
  }
}

void TCheckForm::DrawCell(int group, int row, int column) {
  if (group < 0 || group > 2 || row < 0 || row >= kGridRows[group] || column < 0 || column > 5) return;
  QImage& img = pages_[group];
  int x = kGridLeft[group] + 16 * column + 2, y = 16 * row + 18;
  {
    QPainter p(&img);
    p.fillRect(QRect(QPoint(x, y), QPoint(x + 13, y + 13)), palette().color(QPalette::Button));
    uint8_t code = cells_[(kRowOffset[group] + row) * 6 + column];
    if (code >= 1 && code <= 22) p.drawImage(x, y, marks_[code - 1]);
  }
  Images[group]->setPixmap(QPixmap::fromImage(img));
}

void TCheckForm::PutMark(int group, int row, int code, int column) {
  if (group < 0 || group > 2 || row < 0 || row >= kGridRows[group] || column < 0 || column > 5) return;
  if (code < 0 || code > 22) return;
  cells_[(kRowOffset[group] + row) * 6 + column] = uint8_t(code);
  DrawCell(group, row, column);
}

void TCheckForm::ClearMarks() {
  cells_.fill(0);
  DrawSheets();
}

void TCheckForm::GridMouseDown(int group, int x, int y, bool left) {
  if (group < 0 || group > 2) return;
  int column = (x - kGridLeft[group]) / 16, row = (y - 16) / 16;  // truncates toward zero
  if (column < 0 || column > 5 || row < 0 || row >= kGridRows[group]) return;
  if (left) {
    MenuGroup = group, MenuRow = kRowOffset[group] + row, MenuColumn = column;
    QPoint at = Images[group]->mapToGlobal(QPoint(x, y));
    if (PopupHook) {
      PopupHook(*PopupMenu1, at);
    } else {
      PopupMenu1->popup(at);
    }
    return;
  }
  uint8_t& cell = cells_[(kRowOffset[group] + row) * 6 + column];
  cell = cell == 0 ? 1 : cell == 1 ? 2 : 0;
  DrawCell(group, row, column);
}

void TCheckForm::PopMenuClick(int code) {
  if (MenuRow < 0 || MenuColumn < 0 || code < 0 || code > 20) return;
  cells_[MenuRow * 6 + MenuColumn] = uint8_t(code);
  DrawCell(MenuGroup, MenuRow - kRowOffset[MenuGroup], MenuColumn);
}

void TCheckPage::showEvent(QShowEvent* e) {
  QTabWidget::showEvent(e);
  if (onLaidOut) onLaidOut();
}

void TCheckForm::CheckPageChange(int group) {
  if (group < 0 || group > 2) return;
  QWidget* sheet = CheckPage->widget(group);
  // The sheet's place in the tab control (under the tabs, inside the frame).
  QPoint at = sheet->mapTo(CheckPage, QPoint(0, 0));
  int l = at.x() + 4, t = at.y() + 4;
  CheckPage->resize(2 * l + kPageSize[group].width(), t + kPageSize[group].height() + 4);
  setFixedSize(CheckPage->size());
}

}  // namespace client
