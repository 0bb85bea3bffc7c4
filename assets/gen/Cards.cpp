// Card frames (64 x 96), the weapon and room pictures drawn into them
// (56 x 72, at (4, 4)) and the card back.
#include "Art.h"
#include "Common.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

namespace gen {
namespace {

constexpr int CardW = 64, CardH = 96;
const QColor WeaponColour(0x44, 0x52, 0x70);
const QColor RoomColour(0x2c, 0x56, 0x38);

// Frame shared by every face-up card: coloured border, gold inner line, a
// window for the picture and a category band at the bottom.
QImage Frame(QColor colour, const QString& category, bool personBand, int seat)
{
    QImage img(CardW, CardH, QImage::Format_ARGB32_Premultiplied);
    img.fill(pal::Parchment);
    QPainter p(&img);
    SetupPainter(p);
    QLinearGradient g(0, 0, CardW, CardH);
    g.setColorAt(0, colour.lighter(seat == 2 ? 100 : 135));
    g.setColorAt(1, colour.darker(seat == 2 ? 130 : 150));
    p.fillRect(img.rect(), g);
    p.setPen(QPen(pal::Ink, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, CardW - 1, CardH - 1));
    p.setPen(QPen(pal::Gold, 1));
    p.drawRect(QRectF(2.5, 2.5, CardW - 5, CardH - 5));
    // picture window
    QRadialGradient w(QPointF(32, 30), 40);
    w.setColorAt(0, QColor(0xfb, 0xf5, 0xe4));
    w.setColorAt(1, QColor(0xd8, 0xc8, 0xa4));
    p.setPen(Qt::NoPen);
    p.setBrush(w);
    p.drawRect(QRectF(4, 4, 56, personBand ? 56 : 72));
    if (personBand) {
        // seat ribbon under the face
        p.setBrush(QColor(0x24, 0x20, 0x2c));
        p.drawRect(QRectF(4, 60, 56, 16));
        p.setBrush(SeatColour(seat));
        p.setPen(QPen(pal::Ink, 1));
        p.drawEllipse(QPointF(14, 68), 4.5, 4.5);
        DrawText(p, QRectF(20, 60, 40, 16), QStringLiteral("No.%1").arg(seat + 1), JpFont(11, true),
                 pal::Parchment);
    }
    DrawText(p, QRectF(4, 77, 56, 15), category, JpFont(12, true), pal::Parchment, pal::Ink, 2.5);
    p.end();
    return img.convertToFormat(QImage::Format_RGB32);
}

// Name strip under a weapon or room picture.
void NameStrip(QPainter& p, const QString& name)
{
    p.fillRect(QRectF(0, 56, 56, 16), QColor(0x24, 0x20, 0x2c));
    p.fillRect(QRectF(0, 56, 56, 1), pal::Gold);
    const int size = FitFontSize(name, 54, 12, true);
    DrawText(p, QRectF(0, 56, 56, 16), name, JpFont(size, true), pal::Parchment);
}

QImage WeaponPicture(int w)
{
    QImage img(56, 72, QImage::Format_ARGB32_Premultiplied);
    QRadialGradient bg(QPointF(28, 26), 40);
    bg.setColorAt(0, QColor(0xf6, 0xf0, 0xe0));
    bg.setColorAt(1, QColor(0xb8, 0xc0, 0xcc));
    QPainter p(&img);
    SetupPainter(p);
    p.fillRect(img.rect(), bg);
    DrawWeapon(p, w, QRectF(5, 5, 46, 46));
    NameStrip(p, WeaponName(w));
    p.end();
    return img.convertToFormat(QImage::Format_RGB32);
}

QImage RoomPicture(int room)
{
    const QImage scene = RoomScene(room);
    // The middle of the scene, square, shrunk into the picture window.
    const QImage square = scene.copy(QRect((scene.width() - 280) / 2, 0, 280, 280))
                              .scaled(56, 56, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage img(56, 72, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    SetupPainter(p);
    p.drawImage(0, 0, square);
    NameStrip(p, RoomName(room));
    p.end();
    return img.convertToFormat(QImage::Format_RGB32);
}

QImage Back()
{
    QImage img(CardW, CardH, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    SetupPainter(p);
    QLinearGradient g(0, 0, 0, CardH);
    g.setColorAt(0, QColor(0x2a, 0x32, 0x5a));
    g.setColorAt(1, QColor(0x14, 0x18, 0x30));
    p.fillRect(img.rect(), g);
    p.save();
    p.setClipRect(QRectF(5, 5, CardW - 10, CardH - 10));
    p.setPen(QPen(QColor(0x44, 0x4e, 0x80), 1));
    for (int i = -CardH; i < CardW + CardH; i += 8) {
        p.drawLine(QPointF(i, 0), QPointF(i + CardH, CardH));
        p.drawLine(QPointF(i, CardH), QPointF(i + CardH, 0));
    }
    p.restore();
    p.setPen(QPen(pal::Ink, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, CardW - 1, CardH - 1));
    p.setPen(QPen(pal::Gold, 1.5));
    p.drawRoundedRect(QRectF(3.5, 3.5, CardW - 7, CardH - 7), 3, 3);
    // emblem: a magnifying glass over a medallion
    p.setBrush(QColor(0x1a, 0x1e, 0x36));
    p.setPen(QPen(pal::Gold, 1.5));
    p.drawEllipse(QPointF(32, 48), 20, 20);
    p.setPen(QPen(pal::Gold, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(36, 52), QPointF(44, 60));
    p.setPen(QPen(pal::Gold, 2));
    p.setBrush(QColor(0x8a, 0xa8, 0xd8, 120));
    p.drawEllipse(QPointF(30, 45), 8, 8);
    DrawText(p, QRectF(0, 76, CardW, 14), QStringLiteral("VELMORA"), JpFont(9, true), pal::Gold);
    p.end();
    return img.convertToFormat(QImage::Format_RGB32);
}

}  // namespace

void MakeCards(const std::string& out)
{
    const std::string dir = out + "/res/bitmaps/";
    for (int s = 0; s < 6; ++s)
        SaveBmp(dir + "PERSON" + std::to_string(s + 1) + ".bmp",
                Frame(SeatColour(s), QString::fromUtf8("容疑者"), true, s));
    SaveBmp(dir + "CKYOUKI.bmp", Frame(WeaponColour, QString::fromUtf8("凶器"), false, -1));
    SaveBmp(dir + "PLACE.bmp", Frame(RoomColour, QString::fromUtf8("現場"), false, -1));
    SaveBmp(dir + "CARDURA.bmp", Back());
    for (int w = 0; w < 6; ++w)
        SaveBmp(dir + "CKYOUKI" + std::to_string(w + 1) + ".bmp", WeaponPicture(w));
    for (int r = 0; r < 9; ++r)
        SaveBmp(dir + "PLACE" + std::to_string(r + 1) + ".bmp", RoomPicture(r));
}

}  // namespace gen
