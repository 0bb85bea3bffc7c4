// Player pieces, weapon pieces, die faces and the steps-left display.
#include "Art.h"
#include "Common.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <functional>

namespace gen {

void DrawWeapon(QPainter& p, int w, const QRectF& r)
{
    p.save();
    p.translate(r.topLeft());
    p.scale(r.width() / 100.0, r.height() / 100.0);
    const QPen outline(pal::Ink, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    auto metal = [](double x1, double y1, double x2, double y2) {
        QLinearGradient g(x1, y1, x2, y2);
        g.setColorAt(0, QColor(0xf4, 0xf6, 0xfa));
        g.setColorAt(0.5, QColor(0xb0, 0xb8, 0xc6));
        g.setColorAt(1, QColor(0x6a, 0x72, 0x82));
        return g;
    };
    p.setPen(outline);
    switch (w) {
    case 0: {  // dagger, point up-right
        p.translate(50, 50);
        p.rotate(-45);
        QPainterPath blade;
        blade.moveTo(-9, -8);
        blade.lineTo(0, -46);
        blade.lineTo(9, -8);
        blade.closeSubpath();
        p.setBrush(metal(-9, 0, 9, 0));
        p.drawPath(blade);
        p.setBrush(pal::Gold);
        p.drawRoundedRect(QRectF(-20, -10, 40, 8), 3, 3);
        p.setBrush(QColor(0x6a, 0x2a, 0x1a));
        p.drawRoundedRect(QRectF(-6, -2, 12, 30), 4, 4);
        p.setBrush(pal::Gold);
        p.drawEllipse(QPointF(0, 33), 7, 7);
        break;
    }
    case 1: {  // candlestick
        p.setBrush(QColor(0xf8, 0xf0, 0xdc));
        p.drawRect(QRectF(42, 14, 16, 30));
        QRadialGradient flame(QPointF(50, 6), 10);
        flame.setColorAt(0, QColor(0xff, 0xf4, 0xa0));
        flame.setColorAt(1, QColor(0xf0, 0x8a, 0x20));
        p.setBrush(flame);
        QPainterPath f;
        f.moveTo(50, -4);
        f.cubicTo(58, 6, 56, 13, 50, 13);
        f.cubicTo(44, 13, 42, 6, 50, -4);
        p.drawPath(f);
        QLinearGradient brass(30, 0, 70, 0);
        brass.setColorAt(0, QColor(0xff, 0xe0, 0x8a));
        brass.setColorAt(1, QColor(0x9a, 0x6c, 0x20));
        p.setBrush(brass);
        p.drawRoundedRect(QRectF(32, 42, 36, 8), 3, 3);
        p.drawRect(QRectF(45, 50, 10, 30));
        p.drawEllipse(QPointF(50, 64), 9, 6);
        p.drawRoundedRect(QRectF(24, 80, 52, 12), 5, 5);
        break;
    }
    case 2: {  // pistol
        p.setBrush(metal(0, 30, 0, 50));
        p.drawRoundedRect(QRectF(8, 30, 70, 16), 4, 4);
        p.setBrush(pal::Ink);
        p.drawRect(QRectF(8, 35, 6, 6));
        p.setBrush(QColor(0x7a, 0x4a, 0x26));
        QPainterPath grip;
        grip.moveTo(58, 44);
        grip.lineTo(90, 44);
        grip.lineTo(94, 84);
        grip.lineTo(74, 88);
        grip.closeSubpath();
        p.drawPath(grip);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(44, 40, 20, 22), 180 * 16, 180 * 16);
        p.setBrush(metal(0, 20, 0, 30));
        p.drawRoundedRect(QRectF(72, 22, 12, 12), 2, 2);
        break;
    }
    case 3: {  // coiled rope
        p.setBrush(Qt::NoBrush);
        const QColor rope(0xc8, 0xa0, 0x62);
        for (int i = 0; i < 4; ++i) {
            const double rx = 34 - i * 7, ry = 24 - i * 4.5;
            p.setPen(QPen(pal::Ink, 13, Qt::SolidLine, Qt::RoundCap));
            p.drawEllipse(QPointF(50, 54), rx, ry);
            p.setPen(QPen(rope, 8, Qt::SolidLine, Qt::RoundCap));
            p.drawEllipse(QPointF(50, 54), rx, ry);
            p.setPen(QPen(QColor(0x8a, 0x62, 0x2a), 2, Qt::DotLine));
            p.drawEllipse(QPointF(50, 54), rx, ry);
        }
        QPainterPath end;
        end.moveTo(80, 50);
        end.cubicTo(96, 30, 80, 14, 66, 10);
        p.setPen(QPen(pal::Ink, 13, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(end);
        p.setPen(QPen(rope, 8, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(end);
        break;
    }
    case 4: {  // lead pipe
        p.translate(50, 50);
        p.rotate(-35);
        QLinearGradient lead(0, -9, 0, 9);
        lead.setColorAt(0, QColor(0xb8, 0xbc, 0xc4));
        lead.setColorAt(0.4, QColor(0x80, 0x86, 0x92));
        lead.setColorAt(1, QColor(0x44, 0x48, 0x54));
        p.setBrush(lead);
        p.drawRoundedRect(QRectF(-44, -8, 88, 16), 3, 3);
        p.drawRoundedRect(QRectF(-46, -11, 12, 22), 3, 3);
        p.drawRoundedRect(QRectF(34, -11, 12, 22), 3, 3);
        break;
    }
    default: {  // spanner
        p.translate(50, 50);
        p.rotate(40);
        p.setBrush(metal(-8, 0, 8, 0));
        QPainterPath s;
        s.addRoundedRect(QRectF(-7, -30, 14, 60), 5, 5);
        s.addEllipse(QPointF(0, -34), 16, 16);
        s.addEllipse(QPointF(0, 36), 14, 14);
        s.setFillRule(Qt::WindingFill);
        QPainterPath jaw;
        jaw.addRect(QRectF(-7, -54, 14, 22));
        QPainterPath ring;
        ring.addEllipse(QPointF(0, 36), 6, 6);
        p.drawPath(s.simplified().subtracted(jaw).subtracted(ring));
        break;
    }
    }
    p.restore();
}

namespace {

// A pawn in the seat colour, 16 x 24.
QImage Pawn(int seat)
{
    QImage art = NewArt(16, 24);
    QPainter p(&art);
    SetupPainter(p);
    const QColor c = SeatColour(seat);
    QLinearGradient g(0, 0, 16, 0);
    g.setColorAt(0, c.lighter(150));
    g.setColorAt(0.45, c);
    g.setColorAt(1, c.darker(seat == 2 ? 150 : 190));
    p.setPen(QPen(pal::Ink, 1.2));
    p.setBrush(g);
    QPainterPath body;
    body.moveTo(3.5, 21);
    body.cubicTo(4, 15, 6, 12, 6.5, 10);
    body.lineTo(9.5, 10);
    body.cubicTo(10, 12, 12, 15, 12.5, 21);
    body.closeSubpath();
    p.drawPath(body);
    p.drawRoundedRect(QRectF(1.5, 19.5, 13, 3.5), 1.5, 1.5);
    p.drawEllipse(QPointF(8, 6.5), 4.6, 4.6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawEllipse(QPointF(6.5, 5), 1.5, 1.5);
    p.end();
    return Keyed(art);
}

// A brass token carrying the weapon, 16 x 16.
QImage WeaponToken(int weapon)
{
    QImage art = NewArt(16, 16);
    QPainter p(&art);
    SetupPainter(p);
    QRadialGradient g(QPointF(6, 5), 12);
    g.setColorAt(0, QColor(0xfb, 0xf3, 0xdc));
    g.setColorAt(1, QColor(0xd8, 0xc4, 0x96));
    p.setPen(QPen(QColor(0x7a, 0x56, 0x1a), 1.4));
    p.setBrush(g);
    p.drawEllipse(QRectF(0.7, 0.7, 14.6, 14.6));
    DrawWeapon(p, weapon, QRectF(2, 2, 12, 12));
    p.end();
    return Keyed(art, QColor(0x7a, 0x56, 0x1a));
}

// A 40 x 48 panel of the die display: rounded navy plate, gold label on
// top, `content` drawn below it.
QImage PanelPicture(const QString& label, const std::function<void(QPainter&)>& content)
{
    QImage img(40, 48, QImage::Format_ARGB32_Premultiplied);
    img.fill(QColor(0x10, 0x12, 0x20));
    QPainter p(&img);
    SetupPainter(p);
    QLinearGradient g(0, 0, 0, 48);
    g.setColorAt(0, QColor(0x2c, 0x34, 0x58));
    g.setColorAt(1, QColor(0x14, 0x18, 0x2c));
    p.setPen(QPen(pal::Gold, 1.5));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1, 1, 38, 46), 5, 5);
    DrawText(p, QRectF(0, 2, 40, 11), label, JpFont(10, true), pal::Gold);
    content(p);
    p.end();
    return img.convertToFormat(QImage::Format_RGB32);
}

QImage DieFace(int n)
{
    return PanelPicture(QString::fromUtf8("出目"), [n](QPainter& p) {
        const QRectF die(6, 14, 28, 28);
        QLinearGradient g(die.topLeft(), die.bottomRight());
        g.setColorAt(0, QColor(0xff, 0xfd, 0xf6));
        g.setColorAt(1, QColor(0xd8, 0xd0, 0xc0));
        p.setPen(QPen(pal::Ink, 1.2));
        p.setBrush(g);
        p.drawRoundedRect(die, 5, 5);
        if (n == 0) {
            DrawText(p, die, QStringLiteral("?"), JpFont(20, true), QColor(0x80, 0x78, 0x70));
            return;
        }
        static const int pips[7][6][2] = {
            {}, {{1, 1}}, {{0, 0}, {2, 2}}, {{0, 0}, {1, 1}, {2, 2}},
            {{0, 0}, {2, 0}, {0, 2}, {2, 2}}, {{0, 0}, {2, 0}, {1, 1}, {0, 2}, {2, 2}},
            {{0, 0}, {2, 0}, {0, 1}, {2, 1}, {0, 2}, {2, 2}}};
        p.setPen(Qt::NoPen);
        p.setBrush(n == 1 ? QColor(0xc0, 0x18, 0x20) : pal::Ink);
        const double rad = n == 1 ? 4.5 : 3;
        for (int i = 0; i < n; ++i)
            p.drawEllipse(QPointF(die.left() + 6 + pips[n][i][0] * 8, die.top() + 6 + pips[n][i][1] * 8),
                          rad, rad);
    });
}

QImage StepsLeft(int n)
{
    return PanelPicture(QString::fromUtf8("残り"), [n](QPainter& p) {
        const QColor digit = n == 0 ? QColor(0x8a, 0x86, 0x90) : QColor(0xff, 0xe4, 0x9a);
        DrawText(p, QRectF(0, 13, 40, 32), QString::number(n), JpFont(28, true), digit, pal::Ink, 3);
    });
}

}  // namespace

void MakePieces(const std::string& out)
{
    const std::string dir = out + "/res/bitmaps/";
    for (int i = 0; i < 6; ++i) {
        SaveBmp(dir + "KOMA" + std::to_string(i) + ".bmp", Pawn(i));
        SaveBmp(dir + "BKOMA" + std::to_string(i) + ".bmp", WeaponToken(i));
    }
    for (int n = 0; n <= 6; ++n) {
        SaveBmp(dir + "SAI" + std::to_string(n) + ".bmp", DieFace(n));
        SaveBmp(dir + "REST" + std::to_string(n) + ".bmp", StepsLeft(n));
    }
}

}  // namespace gen
