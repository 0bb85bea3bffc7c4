#include "GameDialogs.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>

#include "GameRules.h"
#include "KestClientForm.h"
#include "NpcNames.h"
#include "Resources.h"

namespace client {

namespace {

struct TCatalogue {
  std::array<QImage, 6> personFrames;
  QImage weaponFrame, roomFrame, back;
  std::array<QImage, 6> persons, weapons;
  std::array<QImage, 9> rooms;
  std::array<std::string, 6> personNames;
};

TCatalogue& Catalogue() {
  static TCatalogue c;
  return c;
}

const char kBackName[] = "\x97\xa0\x96\xca";  // 裏面

QFont GothicFont(int px, bool bold = false) {
  QFont f("IPAGothic");
  f.setPixelSize(px);
  f.setBold(bold);
  return f;
}

void CentreX(QWidget* w, int width) { w->move((width - w->width()) / 2, w->y()); }

}  // namespace

void LoadCardCatalogue() {
  TCatalogue& c = Catalogue();
  for (int i = 0; i < 6; ++i) {
    c.personFrames[i] = LoadBitmapResource(("PERSON" + std::to_string(i + 1)).c_str());
    c.weapons[i] = LoadBitmapResource(("CKYOUKI" + std::to_string(i + 1)).c_str());
    c.persons[i] = QImage(56, 56, QImage::Format_ARGB32);
    c.persons[i].fill(Qt::transparent);
  }
  for (int i = 0; i < 9; ++i) c.rooms[i] = LoadBitmapResource(("PLACE" + std::to_string(i + 1)).c_str());
  c.weaponFrame = LoadBitmapResource("CKYOUKI");
  c.roomFrame = LoadBitmapResource("PLACE");
  c.back = LoadBitmapResource("CARDURA");
}

void SetPersonName(int i, const std::string& name) {
  if (i >= 0 && i < 6) Catalogue().personNames[i] = name;
}

void SetPersonPicture(int i, const QImage& graphic) {
  if (i < 0 || i >= 6) return;
  QImage pic(56, 56, QImage::Format_ARGB32);
  pic.fill(Qt::transparent);
  QPainter p(&pic);
  p.drawImage(0, 0, graphic);
  p.end();
  Catalogue().persons[i] = MakeGreenTransparent(pic);
}

std::string CardName(int kind, int number) {
  switch (kind) {
    case 1: return number >= 0 && number < 6 ? Catalogue().personNames[number] : std::string();
    case 2: return number >= 0 && number < 6 ? kWeaponNames[number] : "";
    case 3: return number >= 0 && number < 9 ? kRoomNames[number] : "";
    case 4: return kBackName;
    default: return std::string();
  }
}

// ---------------------------------------------------------------- card picture

TKestCardImage::TKestCardImage(QWidget* owner) : QLabel(owner) {
  QImage red(64, 96, QImage::Format_RGB32);
  red.fill(QColor(255, 0, 0));
  setPixmap(QPixmap::fromImage(red));
  resize(64, 96);
  hide();
}

void TKestCardImage::PaintCard() {
  const TCatalogue& c = Catalogue();
  QImage pic(64, 96, QImage::Format_RGB32);
  pic.fill(QColor(255, 0, 0));
  QPainter p(&pic);
  auto valid = [this](int n) { return Number >= 0 && Number < n; };
  switch (Kind) {
    case 0: p.drawImage(0, 0, c.back); break;
    case 1:
      if (valid(6)) {
        p.drawImage(0, 0, c.personFrames[Number]);
        p.drawImage(4, 4, c.persons[Number]);
      }
      break;
    case 2:
      p.drawImage(0, 0, c.weaponFrame);
      if (valid(6)) p.drawImage(4, 4, c.weapons[Number]);
      break;
    case 3:
      p.drawImage(0, 0, c.roomFrame);
      if (valid(9)) p.drawImage(4, 4, c.rooms[Number]);
      break;
    default: break;
  }
  p.end();
  setPixmap(QPixmap::fromImage(pic));
}

void TKestCardImage::mousePressEvent(QMouseEvent*) {
  if (OnClick) OnClick();
}

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

// ---------------------------------------------------------------- card strip

TKestCardForm::TKestCardForm(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setWindowTitle(Q("\x83\x41\x83\x8a\x83\x6f\x83\x43"));  // アリバイ
  resize(586, 96);
}

void TKestCardForm::AddCard(int kind, int number) {
  if (cards_.size() >= size_t(kest::TCardList::kMaxCards)) return;
  auto* card = new TKestCardImage(this);
  card->Kind = kind;
  card->Number = number;
  card->PaintCard();
  card->setToolTip(Q(TrimName(CardName(kind, number))));
  card->move(int(cards_.size()) * 64, 0);
  card->show();
  cards_.push_back(card);
  resize(int(cards_.size()) * 64, 96);
}

void TKestCardForm::ClearCards() {
  for (auto* c : cards_) delete c;
  cards_.clear();
}

// ---------------------------------------------------------------- picker

TCardSelForm::TCardSelForm(TKestClientForm* main) : TFixedWindow(main, true), main_(main) {
  setFixedSize(475, 224);
  PlaceBox = new QComboBox(this);
  PlaceBox->setGeometry(16, 24, 120, 24);
  for (const char* n : kRoomNames) PlaceBox->addItem(Q(n));
  auto* de = new QLabel(Q("\x82\xc5"), this);  // で
  de->move(140, 28);
  HumanBox = new QComboBox(this);
  HumanBox->setGeometry(172, 24, 120, 24);
  for (int i = 0; i < 6; ++i) HumanBox->addItem(QStringLiteral(" "));
  auto* ga = new QLabel(Q("\x82\xaa"), this);  // が
  ga->move(296, 28);
  WeaponBox = new QComboBox(this);
  WeaponBox->setGeometry(328, 24, 120, 24);
  for (const char* n : kWeaponNames) WeaponBox->addItem(Q(n));
  OkBtn = new QPushButton(Q("\x8c\x88\x92\xe8"), this);  // 決定
  OkBtn->setGeometry(150, 186, 80, 26);
  OkBtn->setDefault(true);
  Button1 = new QPushButton(Q("\x83\x4c\x83\x83\x83\x93\x83\x5a\x83\x8b"), this);  // キャンセル
  Button1->setGeometry(245, 186, 80, 26);
  connect(PlaceBox, &QComboBox::currentIndexChanged, this, [this](int i) { ShowPreview(3, i); });
  connect(HumanBox, &QComboBox::currentIndexChanged, this, [this](int i) { ShowPreview(1, i); });
  connect(WeaponBox, &QComboBox::currentIndexChanged, this, [this](int i) { ShowPreview(2, i); });
  connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

bool TCardSelForm::IsSuiri() const { return windowTitle() == Q("\x90\x84\x97\x9d"); }

void TCardSelForm::SetHumanName(int seat, const std::string& name) {
  if (seat < 0 || seat > 5) return;
  HumanBox->setItemText(seat, Q(name));
  HumanBox->setCurrentIndex(0);
}

void TCardSelForm::StartSuiri(int room) {
  PlaceBox->setEnabled(false);
  PlaceBox->setCurrentIndex(room >= 0 && room < 9 ? room : 0);
  setWindowTitle(Q("\x90\x84\x97\x9d"));  // 推理
  Open();
}

void TCardSelForm::StartKokuso() {
  PlaceBox->setEnabled(true);
  PlaceBox->setCurrentIndex(0);
  setWindowTitle(Q("\x8d\x90\x91\x69"));  // 告訴
  Open();
}

void TCardSelForm::Open() {
  HumanBox->setCurrentIndex(0);
  WeaponBox->setCurrentIndex(0);
  ShowPreview(1, HumanBox->currentIndex());
  ShowPreview(2, WeaponBox->currentIndex());
  ShowPreview(3, PlaceBox->currentIndex());
  show();
  raise();
}

void TCardSelForm::ShowPreview(int slot, int index) {
  if (slot < 1 || slot > 3) return;
  delete Previews[slot - 1];
  auto* card = new TKestCardImage(this);
  card->Kind = slot;
  card->Number = index;
  card->PaintCard();
  card->setToolTip(Q(TrimName(CardName(slot, index))));
  static const int lefts[4] = {0, 200, 372, 32};
  card->move(lefts[slot], 80);
  card->show();
  Previews[slot - 1] = card;
}

void TCardSelForm::OkBtnClick() {
  if (!isVisible()) return;
  Finish();
  int room = PlaceBox->currentIndex(), person = HumanBox->currentIndex(), weapon = WeaponBox->currentIndex();
  if (IsSuiri()) {
    main_->SendSuiri(main_->MyUserId, room, weapon, person);
  } else {
    main_->SendKokuso(main_->MyUserId, room, weapon, person);
  }
}

void TCardSelForm::Button1Click() {
  if (!isVisible()) return;
  Finish();
  if (IsSuiri()) {
    main_->SendSuiri(main_->MyUserId, -1, 0, 0);
  } else {
    main_->SendKokuso(main_->MyUserId, -1, 0, 0);
  }
}

void TCardSelForm::Abandon() { Finish(); }

void TCardSelForm::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
    OkBtnClick();
    return;
  }
  TFixedWindow::keyPressEvent(e);
}

// ---------------------------------------------------------------- card show

TCardShowForm::TCardShowForm(TKestClientForm* main) : TFixedWindow(main, true), main_(main) {
  InfoMsg = new QLabel(this);
  InfoMsg->setAlignment(Qt::AlignCenter);
  InfoMsg2 = new QLabel(this);
  InfoMsg2->setAlignment(Qt::AlignCenter);
  Waku = new QWidget(this);
  Waku->setFixedSize(72, 104);
  Waku->setStyleSheet("border: 4px solid #ff0000; background: transparent;");
  Waku->setAttribute(Qt::WA_StyledBackground);
  OkButton = new QPushButton(this);
  OkButton->resize(90, 26);
  connect(OkButton, &QPushButton::clicked, this, [this] { OkButtonClick(); });
}

void TCardShowForm::ShowCards(int count, const kest::TCard* cards) {
  for (auto* p : Pictures) delete p;
  for (auto* l : Labels) delete l;
  Pictures.clear();
  Labels.clear();
  if (count < 0) count = 0;
  if (count > 3) count = 3;
  if (count >= 1) {
    setWindowTitle(Q("\x83\x4a\x81\x5b\x83\x68\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb5\x82\xbd"));  // カードがありました
    setFixedSize(360, 240);
    // n枚のカードがありました
    InfoMsg->setText(Q(std::to_string(count) + "\x96\x87\x82\xcc\x83\x4a\x81\x5b\x83\x68\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb5\x82\xbd"));
    InfoMsg->setGeometry(0, 12, 360, 20);
    InfoMsg2->setText(count == 1 ? Q("\x82\xb1\x82\xcc\x83\x4a\x81\x5b\x83\x68\x82\xf0\x8c\xa9\x82\xb9\x82\xdc\x82\xb7")  // このカードを見せます
                                 // 見せるカードを選択してください
                                 : Q("\x8c\xa9\x82\xb9\x82\xe9\x83\x4a\x81\x5b\x83\x68\x82\xf0\x91\x49\x91\xf0\x82\xb5"
                                     "\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2"));
    InfoMsg2->setGeometry(0, 40, 360, 20);
    InfoMsg2->show();
    ChosenRow = count - 1;
    ChosenIndex = 0;
    static const int lefts[3][3] = {{140}, {60, 212}, {20, 136, 252}};
    for (int i = 0; i < count; ++i) {
      auto* card = new TKestCardImage(this);
      card->Kind = cards[i].Mark();
      card->Number = cards[i].Index();
      card->PaintCard();
      std::string name = TrimName(CardName(card->Kind, card->Number));
      card->setToolTip(Q(name));
      int left = lefts[count - 1][i];
      card->move(left, 80);
      card->OnClick = [this, i] { CardClick(i); };
      card->show();
      Pictures.push_back(card);
      auto* label = new QLabel(Q(name), this);
      label->setFont(GothicFont(10));
      label->setStyleSheet("color: #000000;");
      label->adjustSize();
      label->move(left + 32 - label->width() / 2, 184);
      label->show();
      Labels.push_back(label);
    }
    Waku->move(lefts[count - 1][0] - 4, 76);
    Waku->show();
    Waku->raise();
    OkButton->setText(Q("\x8c\x88\x92\xe8"));  // 決定
    OkButton->move(0, 200);
    CentreX(OkButton, 360);
  } else {
    ChosenRow = -1;
    ChosenIndex = 0;
    setWindowTitle(Q("\x83\x4a\x81\x5b\x83\x68\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd"));  // カードはありませんでした
    InfoMsg2->hide();
    Waku->hide();
    setFixedSize(337, 135);
    // 推理されたカードはありませんでした
    InfoMsg->setText(Q("\x90\x84\x97\x9d\x82\xb3\x82\xea\x82\xbd\x83\x4a\x81\x5b\x83\x68\x82\xcd\x82\xa0\x82\xe8\x82\xdc"
                       "\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd"));
    InfoMsg->setGeometry(0, 32, 337, 20);
    OkButton->setText(Q("\x8e\x9f\x82\xcc\x90\x6c\x82\xd6"));  // 次の人へ
    OkButton->move(0, 88);
    CentreX(OkButton, 337);
  }
  show();
  raise();
}

void TCardShowForm::CardClick(int i) {
  if (i < 0 || i >= int(Pictures.size())) return;
  Waku->move(Pictures[i]->x() - 4, 76);
  ChosenIndex = i;
}

void TCardShowForm::OkButtonClick() {
  if (!isVisible()) return;
  Finish();
  if (ChosenRow < 0) {
    main_->SendShow(main_->MyUserId, -1, kest::TCard());
  } else {
    TKestCardImage* c = Pictures[ChosenIndex];
    main_->SendShow(main_->MyUserId, ChosenRow, kest::TCard::MakeCard(uint8_t(c->Kind), uint16_t(c->Number)));
  }
}

void TCardShowForm::Abandon() { Finish(); }

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
      QPainter p(&img);
      p.setFont(GothicFont(10, true));
      QString d = QString::number(digit);
      p.setPen(Qt::white);
      for (QPoint o : {QPoint(3, 2), QPoint(5, 2), QPoint(4, 1), QPoint(4, 3)}) p.drawText(o.x(), o.y() + 9, d);
      p.setPen(Qt::black);
      p.drawText(4, 2 + 9, d);
    }
    marks_[c - 1] = MakeGreenTransparent(img);
  }
  CheckPage = new QTabWidget(this);
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
      std::string name = g == 0 ? kRoomNames[r] : g == 2 ? kWeaponNames[r] : main_->Seats[r].GetName();
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

void TCheckForm::CheckPageChange(int group) {
  if (group < 0 || group > 2) return;
  QWidget* sheet = CheckPage->widget(group);
  int l = sheet->x() + 4, t = sheet->y() + 4;
  CheckPage->resize(2 * l + kPageSize[group].width(), t + kPageSize[group].height() + 4);
  setFixedSize(CheckPage->size());
}

// ---------------------------------------------------------------- result

TKekkaForm::TKekkaForm(TKestClientForm* main) : TFixedWindow(main, true), main_(main) {
  setWindowTitle(Q("\x8c\x8b\x89\xca"));  // 結果
  setFixedSize(392, 221);
  MsgLabel = new QLabel(this);
  MsgLabel->move(0, 16);
  OKButton = new QPushButton(Q("\x83\x51\x81\x5b\x83\x80\x8f\x49\x97\xb9"), this);  // ゲーム終了
  OKButton->setGeometry(0, 186, 100, 26);
  connect(OKButton, &QPushButton::clicked, this, [this] { OKButtonClick(); });
}

void TKekkaForm::ShowResult(bool won, int seat, int person, int weapon, int room) {
  std::string msg;
  if (won) {
    msg = (seat >= 0 && seat < 6 ? TrimName(main_->Seats[seat].GetName()) : std::string()) +
          "\x82\xaa\x8d\x90\x91\x69\x82\xc9\x90\xac\x8c\xf7\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49";  // が告訴に成功しました！
  } else {
    // 全員が告訴に失敗しました！ゲームオーバー☆
    msg = "\x91\x53\x88\xf5\x82\xaa\x8d\x90\x91\x69\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49"
          "\x83\x51\x81\x5b\x83\x80\x83\x49\x81\x5b\x83\x6f\x81\x5b\x81\x99";
  }
  MsgLabel->setText(Q(msg));
  MsgLabel->adjustSize();
  for (auto* p : Pictures) delete p;
  for (auto* l : Labels) delete l;
  Pictures.clear();
  Labels.clear();
  const int kinds[3] = {3, 1, 2};
  const int codes[3] = {room, person, weapon};
  for (int i = 0; i < 3; ++i) {
    auto* card = new TKestCardImage(this);
    card->Kind = kinds[i];
    card->Number = ((codes[i] % 10) + 10) % 10;
    card->PaintCard();
    std::string name = TrimName(CardName(card->Kind, card->Number));
    card->setToolTip(Q(name));
    card->move(100 + 100 * i - card->width() / 2, 48);
    auto* label = new QLabel(Q(name), this);
    label->adjustSize();
    label->move(100 + 100 * i - label->width() / 2, card->height() + 56);
    Pictures.push_back(card);
    Labels.push_back(label);
  }
  for (auto* p : Pictures) p->show();
  for (auto* l : Labels) l->show();
  CentreX(MsgLabel, width());
  CentreX(OKButton, width());
  show();
  raise();
}

void TKekkaForm::OKButtonClick() {
  if (!isVisible()) return;
  main_->SendClearNpc();
  Finish();
  main_->RestoreButtonStates();
  main_->ResetBoard();
}

// ---------------------------------------------------------------- options

TOptForm::TOptForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Q("\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93\x90\xdd\x92\xe8"));  // オプション設定
  setFixedSize(353, 139);
  auto* group = new QGroupBox(Q("\x83\x82\x81\x5b\x83\x68\x90\xdd\x92\xe8"), this);  // モード設定
  group->setGeometry(8, 8, 337, 80);
  // どこでも告訴できるようにする
  DokoKokuBox = new QCheckBox(Q("\x82\xc7\x82\xb1\x82\xc5\x82\xe0\x8d\x90\x91\x69\x82\xc5\x82\xab\x82\xe9\x82\xe6\x82\xa4"
                                "\x82\xc9\x82\xb7\x82\xe9"),
                              group);
  DokoKokuBox->setGeometry(12, 22, 320, 20);
  DokoKokuBox->setChecked(true);
  // 推理時指定された人物を部屋に呼ぶようにする
  SuiriYobiBox = new QCheckBox(Q("\x90\x84\x97\x9d\x8e\x9e\x8e\x77\x92\xe8\x82\xb3\x82\xea\x82\xbd\x90\x6c\x95\xa8\x82\xf0"
                                 "\x95\x94\x89\xae\x82\xc9\x8c\xc4\x82\xd4\x82\xe6\x82\xa4\x82\xc9\x82\xb7\x82\xe9"),
                               group);
  SuiriYobiBox->setGeometry(12, 48, 320, 20);
  OkBnt = new QPushButton(QStringLiteral("OK"), this);
  OkBnt->setGeometry(96, 100, 75, 25);
  OkBnt->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
  CancelBtn->setGeometry(182, 100, 75, 25);
  connect(OkBnt, &QPushButton::clicked, this, [this] { done(1); });
  connect(CancelBtn, &QPushButton::clicked, this, [this] { reject(); });
}

void TOptForm::showEvent(QShowEvent* e) {
  FormShow();
  QDialog::showEvent(e);
}

void TOptForm::FormShow() {
  savedDoko_ = DokoKokuBox->isChecked();
  savedSuiri_ = SuiriYobiBox->isChecked();
}

void TOptForm::CancelBtnClick() {
  DokoKokuBox->setChecked(savedDoko_);
  SuiriYobiBox->setChecked(savedSuiri_);
}

// Cancel, Esc and the window's close box all leave the boxes as they were.
void TOptForm::reject() {
  CancelBtnClick();
  done(2);
}

// ---------------------------------------------------------------- about

void TLinkLabel::mouseMoveEvent(QMouseEvent* e) {
  if (onHover) onHover();
  QLabel::mouseMoveEvent(e);
}

void TLinkLabel::mousePressEvent(QMouseEvent*) {
  if (onClick) onClick();
}

void TKestAbout::Label4MouseMove() { Label4->setStyleSheet("color: #0000ff; text-decoration: underline;"); }

void TKestAbout::FormMouseMove() { Label4->setStyleSheet("color: #000000; text-decoration: none;"); }

void TKestAbout::mouseMoveEvent(QMouseEvent* e) {
  FormMouseMove();
  QDialog::mouseMoveEvent(e);
}

TKestAbout::TKestAbout(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Velmora"));
  setFixedSize(320, 170);
  auto* title = new QLabel(QStringLiteral("Velmora"), this);
  QFont f = GothicFont(20, true);
  title->setFont(f);
  title->setGeometry(20, 16, 280, 28);
  auto* sub = new QLabel(Q("\x83\x94\x83\x46\x83\x8b\x83\x82\x83\x89\x8a\xd9\x82\xcc\x8e\x45\x90\x6c"), this);  // ヴェルモラ館の殺人
  sub->setGeometry(20, 50, 280, 20);
  auto* credits = new QLabel(QStringLiteral("A networked detective game for two to six players."), this);
  credits->setGeometry(20, 76, 290, 20);
  // The link lights up while the mouse is over it and opens the page when clicked.
  Label4 = new TLinkLabel(QStringLiteral("velmora.example.org"), this);
  Label4->setGeometry(20, 104, 280, 20);
  Label4->setMouseTracking(true);
  setMouseTracking(true);
  static_cast<TLinkLabel*>(Label4)->onClick = [] {
    QDesktopServices::openUrl(QUrl(QStringLiteral("https://velmora.example.org/")));
  };
  static_cast<TLinkLabel*>(Label4)->onHover = [this] { Label4MouseMove(); };
  FormMouseMove();
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(122, 134, 75, 25);
  connect(ok, &QPushButton::clicked, this, [this] { accept(); });
}

}  // namespace client
