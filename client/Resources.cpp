#include "Resources.h"

#include <QFile>
#include <QScreen>
#include <QWidget>

#include "ResourcePaths.h"
#include "TextCodec.h"

namespace client {

QImage LoadBitmapResource(const char* name) {
  QImage img(QString::fromStdString(assets::BitmapResourcePath(name)));
  return img;
}

QImage MakeGreenTransparent(const QImage& src) {
  if (src.isNull()) return src;
  QImage img = src.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < img.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x)
      if ((row[x] & 0x00FFFFFF) == 0x0000FF00) row[x] = 0;
  }
  return img;
}

QImage LoadTransparentBitmap(const char* name) { return MakeGreenTransparent(LoadBitmapResource(name)); }

QByteArray LoadSoundResource(const char* name) {
  QFile f(QString::fromStdString(assets::SoundResourcePath(name)));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

QString Q(const std::string& sjis) { return QString::fromStdString(plat::SjisToUtf8(sjis)); }

std::string S(const QString& text) { return plat::Utf8ToSjis(text.toStdString()); }

QFont GothicFont(int px, bool bold) {
  QFont f(QStringLiteral("IPAGothic"));
  f.setPixelSize(px);
  f.setBold(bold);
  return f;
}

void CentreX(QWidget* w, int width) { w->move((width - w->width()) / 2, w->y()); }

void BringToFront(QWidget* w) {
  w->show();
  w->raise();
  w->activateWindow();
}

void CentreOnScreen(QWidget* w) {
  QRect screen = w->screen()->availableGeometry();
  QRect frame = w->frameGeometry();
  w->move(screen.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

}  // namespace client
