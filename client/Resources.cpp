#include "Resources.h"

#include <QEvent>
#include <QFile>
#include <QScreen>
#include <QWidget>

#include "ResourcePaths.h"
#include "TextCodec.h"
#include "WindowManager.h"

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

namespace {

// Centres its window on the main window's screen each time it is shown,
// before the window manager maps it.
class TCentreOnShow : public QObject {
 public:
  TCentreOnShow(QWidget* w, const QWidget* main) : QObject(w), w_(w), main_(main) { w->installEventFilter(this); }

 protected:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (o == w_ && e->type() == QEvent::Show)
      plat::CentreOn(w_, (main_->screen() ? main_->screen() : w_->screen())->availableGeometry(), main_);
    return false;
  }

 private:
  QWidget* w_;
  const QWidget* main_;
};

}  // namespace

void CentreWhenShown(QWidget* w, const QWidget* main) { new TCentreOnShow(w, main); }

}  // namespace client
