#include "KestCardImage.h"

#include <QPainter>
#include <array>

#include "GameRules.h"
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

}  // namespace client
