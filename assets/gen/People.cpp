// The characters: face pictures (56 x 56) for the player rows and the
// setup dialogs, and portraits (160 x 240) for the room view. Both are cut
// from one drawing of each character, so they always agree.
#include "Art.h"
#include "Common.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <functional>
#include <vector>

namespace gen {
namespace {

enum class Hair { Short, Balding, Bun, Long, Slicked, Bob, Curly };
enum class Dress { Suit, Gown, Cassock, Coat, Tailcoat, Maid, Smock };
enum class Hat { None, Deerstalker, Fedora, Beret, Headband };

struct Character {
    const char* name;  // file name (UTF-8)
    QColor skin;
    QColor hair;
    Hair hairStyle;
    QColor clothes;
    Dress dress;
    QColor accent;  // tie, ribbon, scarf
    Hat hat = Hat::None;
    bool female = false;
    bool moustache = false;
    bool beard = false;
    bool glasses = false;
    bool monocle = false;
    bool necklace = false;
    bool aged = false;
    QColor eyes = QColor(0x3a, 0x2a, 0x1e);
};

const std::vector<Character>& Cast()
{
    static const std::vector<Character> cast = {
        // the five default computer players
        {"黄山忠助", QColor(0xf0, 0xc8, 0xa0), QColor(0x8a, 0x84, 0x7a), Hair::Balding, QColor(0xc8, 0xa0, 0x28),
         Dress::Suit, QColor(0x6a, 0x3a, 0x1a), Hat::None, false, true, false, false, false, false, true},
        {"白鳳院雛子", QColor(0xf8, 0xe0, 0xcc), QColor(0xe8, 0xe6, 0xf0), Hair::Bun, QColor(0xf4, 0xf2, 0xee),
         Dress::Gown, QColor(0xb0, 0x90, 0xc8), Hat::None, true, false, false, false, false, true, false,
         QColor(0x5a, 0x4a, 0x7a)},
        {"グリーン牧師", QColor(0xf2, 0xcc, 0xa8), QColor(0x6a, 0x4a, 0x2a), Hair::Short, QColor(0x2a, 0x6a, 0x34),
         Dress::Cassock, QColor(0xf8, 0xf8, 0xf4), Hat::None, false, false, false, true},
        {"水那祥子", QColor(0xf8, 0xdc, 0xc4), QColor(0x1e, 0x22, 0x3e), Hair::Long, QColor(0x3a, 0xb8, 0xc8),
         Dress::Gown, QColor(0x1a, 0x6a, 0x9a), Hat::None, true, false, false, false, false, false, false,
         QColor(0x1a, 0x4a, 0x6a)},
        {"紫条院隆典", QColor(0xee, 0xcc, 0xae), QColor(0x3a, 0x36, 0x3e), Hair::Slicked, QColor(0x6a, 0x2a, 0x7a),
         Dress::Coat, QColor(0xe8, 0xe0, 0xf0), Hat::None, false, true, false, false, true},
        // more faces for people to choose
        {"探偵", QColor(0xf2, 0xcc, 0xa8), QColor(0x5a, 0x3a, 0x22), Hair::Short, QColor(0x8a, 0x6a, 0x44),
         Dress::Coat, QColor(0x7a, 0x1e, 0x22), Hat::Deerstalker},
        {"警部", QColor(0xe8, 0xc0, 0x98), QColor(0x2a, 0x24, 0x20), Hair::Short, QColor(0x3a, 0x40, 0x5a),
         Dress::Coat, QColor(0x8a, 0x1a, 0x1a), Hat::Fedora, false, false, true},
        {"執事", QColor(0xf0, 0xd0, 0xb4), QColor(0xb8, 0xb8, 0xbc), Hair::Slicked, QColor(0x1e, 0x1e, 0x26),
         Dress::Tailcoat, QColor(0x10, 0x10, 0x14), Hat::None, false, true, false, false, false, false, true},
        {"メイド", QColor(0xfa, 0xe0, 0xcc), QColor(0x7a, 0x4a, 0x2a), Hair::Bob, QColor(0x22, 0x22, 0x2e),
         Dress::Maid, QColor(0xf8, 0xf8, 0xf8), Hat::Headband, true, false, false, false, false, false, false,
         QColor(0x6a, 0x3a, 0x1a)},
        {"画家", QColor(0xf0, 0xcc, 0xaa), QColor(0xa8, 0x5a, 0x2a), Hair::Curly, QColor(0xe4, 0xdc, 0xc4),
         Dress::Smock, QColor(0x2a, 0x6a, 0xa8), Hat::Beret, false, false, true},
    };
    return cast;
}

const QPen Line(QColor c = pal::Ink, double w = 2.2)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Everything below draws in a 160 x 240 space; the head is centred at (80, 84).
void Body(QPainter& p, const Character& c)
{
    QPainterPath body;
    body.moveTo(4, 260);
    body.lineTo(6, 240);
    body.cubicTo(8, 180, 24, 158, 58, 146);
    body.lineTo(102, 146);
    body.cubicTo(136, 158, 152, 180, 154, 240);
    body.lineTo(156, 260);
    body.closeSubpath();
    QLinearGradient g(0, 140, 160, 240);
    g.setColorAt(0, c.clothes.lighter(118));
    g.setColorAt(1, c.clothes.darker(c.clothes.lightness() > 200 ? 118 : 150));
    p.setPen(Line());
    p.setBrush(g);
    p.drawPath(body);
    // neck
    p.setBrush(c.skin.darker(108));
    p.drawRect(QRectF(68, 112, 24, 38));

    switch (c.dress) {
    case Dress::Suit:
    case Dress::Coat:
    case Dress::Tailcoat: {
        if (c.hat == Hat::Deerstalker) {
            // a short cape over the shoulders of the coat
            QPainterPath cape;
            cape.moveTo(8, 204);
            cape.cubicTo(12, 172, 30, 156, 58, 146);
            cape.lineTo(102, 146);
            cape.cubicTo(130, 156, 148, 172, 152, 204);
            cape.cubicTo(120, 194, 40, 194, 8, 204);
            p.setBrush(c.clothes.lighter(112));
            p.drawPath(cape);
        }
        // shirt, tie and lapels
        QPainterPath shirt;
        shirt.moveTo(60, 146);
        shirt.lineTo(80, 210);
        shirt.lineTo(100, 146);
        shirt.closeSubpath();
        p.setBrush(QColor(0xf8, 0xf6, 0xf0));
        p.drawPath(shirt);
        if (c.dress == Dress::Tailcoat) {
            QPainterPath bow;
            bow.moveTo(80, 154);
            bow.lineTo(66, 146);
            bow.lineTo(66, 162);
            bow.closeSubpath();
            bow.moveTo(80, 154);
            bow.lineTo(94, 146);
            bow.lineTo(94, 162);
            bow.closeSubpath();
            p.setBrush(c.accent);
            p.drawPath(bow);
        } else if (c.dress == Dress::Coat && c.accent.lightness() > 180) {
            // cravat
            p.setBrush(c.accent);
            p.drawEllipse(QRectF(70, 146, 20, 30));
        } else {
            QPainterPath tie;
            tie.moveTo(76, 148);
            tie.lineTo(84, 148);
            tie.lineTo(88, 196);
            tie.lineTo(80, 206);
            tie.lineTo(72, 196);
            tie.closeSubpath();
            p.setBrush(c.accent);
            p.drawPath(tie);
        }
        for (int side : {-1, 1}) {
            QPainterPath lapel;
            lapel.moveTo(80 + side * 22, 144);
            lapel.lineTo(80 + side * 2, 214);
            lapel.lineTo(80 + side * 30, 170);
            lapel.lineTo(80 + side * 26, 160);
            lapel.closeSubpath();
            p.setBrush(c.clothes.darker(125));
            p.drawPath(lapel);
        }
        break;
    }
    case Dress::Gown: {
        QPainterPath neckline;
        neckline.moveTo(52, 148);
        neckline.cubicTo(60, 184, 100, 184, 108, 148);
        neckline.closeSubpath();
        p.setBrush(c.skin.darker(104));
        p.drawPath(neckline);
        if (c.necklace) {
            p.setPen(Line(QColor(0x8a, 0x84, 0x90), 1));
            p.setBrush(QColor(0xfc, 0xfa, 0xf4));
            for (int i = 0; i < 9; ++i) {
                const double t = i / 8.0;
                p.drawEllipse(QPointF(58 + t * 44, 156 + 14 * std::sin(t * 3.14159)), 3, 3);
            }
        } else {
            // ribbon brooch
            p.setBrush(c.accent);
            p.drawEllipse(QPointF(80, 178), 6, 6);
        }
        break;
    }
    case Dress::Cassock: {
        p.setBrush(c.clothes.darker(115));
        p.drawRoundedRect(QRectF(58, 136, 44, 18), 6, 6);
        p.setBrush(c.accent);
        p.drawRect(QRectF(74, 138, 12, 12));
        p.setPen(Line(QColor(0xd8, 0xb1, 0x5a), 2));
        p.drawLine(QPointF(80, 176), QPointF(80, 206));
        p.drawLine(QPointF(70, 186), QPointF(90, 186));
        break;
    }
    case Dress::Maid: {
        p.setBrush(QColor(0xfa, 0xfa, 0xfa));
        QPainterPath bib;
        bib.moveTo(58, 178);
        bib.lineTo(102, 178);
        bib.lineTo(104, 260);
        bib.lineTo(56, 260);
        bib.closeSubpath();
        p.drawPath(bib);
        for (int side : {-1, 1}) {
            QPainterPath collar;
            collar.moveTo(80, 150);
            collar.cubicTo(80 + side * 12, 146, 80 + side * 26, 150, 80 + side * 24, 162);
            collar.cubicTo(80 + side * 12, 166, 80 + side * 4, 160, 80, 150);
            p.drawPath(collar);
        }
        p.setBrush(QColor(0x8a, 0x1a, 0x22));
        p.drawEllipse(QPointF(80, 154), 5, 4);
        break;
    }
    case Dress::Smock: {
        // a scarf round the neck
        p.setBrush(c.accent);
        p.drawRoundedRect(QRectF(56, 138, 48, 16), 8, 8);
        QPainterPath tail;
        tail.moveTo(90, 150);
        tail.lineTo(104, 200);
        tail.lineTo(92, 204);
        tail.lineTo(82, 152);
        tail.closeSubpath();
        p.drawPath(tail);
        // paint smudges
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xc8, 0x30, 0x30));
        p.drawEllipse(QPointF(40, 206), 4, 3);
        p.setBrush(QColor(0x30, 0x80, 0xc8));
        p.drawEllipse(QPointF(118, 214), 3, 4);
        break;
    }
    }
}

void BackHair(QPainter& p, const Character& c)
{
    p.setPen(Line());
    p.setBrush(c.hair);
    if (c.hairStyle == Hair::Long) {
        QPainterPath h;
        h.moveTo(44, 70);
        h.cubicTo(30, 120, 34, 160, 40, 176);
        h.lineTo(120, 176);
        h.cubicTo(126, 160, 130, 120, 116, 70);
        h.closeSubpath();
        p.drawPath(h);
    } else if (c.hairStyle == Hair::Bun) {
        p.drawEllipse(QPointF(80, 40), 20, 16);
    } else if (c.hairStyle == Hair::Bob) {
        p.drawRoundedRect(QRectF(44, 60, 72, 66), 20, 20);
    }
}

void Head(QPainter& p, const Character& c)
{
    // ears
    p.setPen(Line());
    p.setBrush(c.skin);
    p.drawEllipse(QPointF(49, 88), 6, 9);
    p.drawEllipse(QPointF(111, 88), 6, 9);
    QRadialGradient g(QPointF(72, 76), 46);
    g.setColorAt(0, c.skin.lighter(106));
    g.setColorAt(1, c.skin.darker(112));
    p.setBrush(g);
    QPainterPath face;
    face.moveTo(50, 70);
    face.cubicTo(50, 40, 110, 40, 110, 70);
    face.cubicTo(112, 100, 100, 120, 80, 124);
    face.cubicTo(60, 120, 48, 100, 50, 70);
    p.drawPath(face);

    // eyes
    for (int side : {-1, 1}) {
        const QPointF e(80 + side * 13, 86);
        p.setPen(Line(pal::Ink, 1.4));
        p.setBrush(Qt::white);
        p.drawEllipse(e, 6, c.female ? 5 : 4);
        p.setPen(Qt::NoPen);
        p.setBrush(c.eyes);
        p.drawEllipse(e + QPointF(0, 0.5), 3.4, 3.6);
        p.setBrush(pal::Ink);
        p.drawEllipse(e + QPointF(0, 0.5), 1.6, 1.8);
        p.setBrush(Qt::white);
        p.drawEllipse(e + QPointF(-1.2, -1), 1, 1);
        if (c.female) {
            p.setPen(Line(pal::Ink, 1.8));
            p.drawLine(e + QPointF(side * 5, -3), e + QPointF(side * 8, -6));
        }
        // brows
        p.setPen(Line(c.hair.lightness() > 160 ? c.hair.darker(170) : c.hair.darker(130), c.female ? 1.6 : 3));
        p.drawLine(e + QPointF(-6, c.female ? -9 : -8), e + QPointF(6, c.female ? -10 : -9 + side * 0));
        if (c.aged) {
            p.setPen(Line(c.skin.darker(135), 1));
            p.drawLine(e + QPointF(side * 8, 2), e + QPointF(side * 11, 5));
        }
    }
    // nose and mouth
    p.setPen(Line(c.skin.darker(150), 1.6));
    p.drawLine(QPointF(80, 92), QPointF(78, 101));
    p.drawLine(QPointF(78, 101), QPointF(82, 102));
    if (c.female) {
        p.setPen(Line(QColor(0xb8, 0x3a, 0x4a), 2.4));
        p.drawArc(QRectF(73, 104, 14, 7), 200 * 16, 140 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xf0, 0x90, 0x90, 90));
        p.drawEllipse(QPointF(64, 100), 6, 3.5);
        p.drawEllipse(QPointF(96, 100), 6, 3.5);
    } else {
        p.setPen(Line(QColor(0x7a, 0x3a, 0x2a), 1.8));
        p.drawArc(QRectF(72, 104, 16, 6), 210 * 16, 120 * 16);
    }
    if (c.moustache) {
        p.setPen(Line(pal::Ink, 1.2));
        p.setBrush(c.hair.darker(c.hair.lightness() > 160 ? 110 : 100));
        QPainterPath m;
        m.moveTo(80, 102);
        m.cubicTo(70, 98, 60, 104, 58, 110);
        m.cubicTo(66, 106, 72, 108, 80, 106);
        m.cubicTo(88, 108, 94, 106, 102, 110);
        m.cubicTo(100, 104, 90, 98, 80, 102);
        p.drawPath(m);
    }
    if (c.beard) {
        // stubble along the jaw
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x3a, 0x30, 0x2a, 70));
        QPainterPath s;
        s.moveTo(54, 96);
        s.cubicTo(58, 118, 70, 124, 80, 124);
        s.cubicTo(90, 124, 102, 118, 106, 96);
        s.cubicTo(100, 112, 60, 112, 54, 96);
        p.drawPath(s);
        if (c.hat == Hat::Beret) {
            p.setPen(Line());
            p.setBrush(c.hair);
            QPainterPath goatee;
            goatee.moveTo(72, 114);
            goatee.cubicTo(76, 130, 84, 130, 88, 114);
            goatee.cubicTo(84, 118, 76, 118, 72, 114);
            p.drawPath(goatee);
        }
    }
    if (c.glasses) {
        p.setPen(Line(QColor(0x3a, 0x2a, 0x1a), 1.8));
        p.setBrush(QColor(0xd8, 0xe8, 0xf8, 60));
        p.drawEllipse(QPointF(67, 86), 9, 8);
        p.drawEllipse(QPointF(93, 86), 9, 8);
        p.drawLine(QPointF(76, 85), QPointF(84, 85));
    }
    if (c.monocle) {
        p.setPen(Line(pal::Gold, 2));
        p.setBrush(QColor(0xd8, 0xe8, 0xf8, 70));
        p.drawEllipse(QPointF(93, 86), 9, 9);
        p.setPen(Line(pal::Gold, 1));
        p.drawLine(QPointF(100, 92), QPointF(108, 140));
    }
}

void FrontHair(QPainter& p, const Character& c)
{
    p.setPen(Line());
    p.setBrush(c.hair);
    QPainterPath h;
    switch (c.hairStyle) {
    case Hair::Short:
        h.moveTo(48, 82);
        h.cubicTo(40, 40, 80, 34, 100, 42);
        h.cubicTo(116, 48, 118, 70, 112, 82);
        h.cubicTo(106, 66, 96, 62, 84, 60);
        h.cubicTo(70, 66, 56, 64, 48, 82);
        break;
    case Hair::Balding:
        h.moveTo(47, 90);
        h.cubicTo(44, 74, 48, 64, 56, 60);
        h.cubicTo(54, 70, 54, 80, 52, 92);
        h.closeSubpath();
        h.moveTo(113, 90);
        h.cubicTo(116, 74, 112, 64, 104, 60);
        h.cubicTo(106, 70, 106, 80, 108, 92);
        h.closeSubpath();
        break;
    case Hair::Bun:
    case Hair::Slicked:
        h.moveTo(48, 80);
        h.cubicTo(44, 40, 116, 40, 112, 80);
        h.cubicTo(108, 62, 96, 56, 86, 56);
        h.cubicTo(72, 54, 56, 60, 48, 80);
        break;
    case Hair::Long:
        h.moveTo(44, 100);
        h.cubicTo(36, 44, 120, 36, 116, 100);
        h.cubicTo(112, 74, 104, 64, 92, 62);
        h.cubicTo(88, 70, 70, 70, 62, 62);
        h.cubicTo(52, 70, 48, 84, 44, 100);
        break;
    case Hair::Bob:
        h.moveTo(44, 110);
        h.cubicTo(36, 44, 124, 44, 116, 110);
        h.cubicTo(110, 90, 110, 72, 100, 66);
        h.lineTo(60, 66);
        h.cubicTo(50, 72, 50, 90, 44, 110);
        break;
    case Hair::Curly:
        for (int i = 0; i < 9; ++i) {
            const double a = 3.3 + i * 0.36;
            h.addEllipse(QPointF(80 + std::cos(a) * 32, 72 + std::sin(a) * 30), 9, 9);
        }
        h.setFillRule(Qt::WindingFill);
        h = h.simplified();
        break;
    }
    p.drawPath(h);
    if (c.hairStyle == Hair::Long) {
        // ribbon
        p.setBrush(c.accent);
        p.drawEllipse(QPointF(110, 56), 8, 5);
        p.drawEllipse(QPointF(118, 62), 5, 8);
    }
}

void HatOn(QPainter& p, const Character& c)
{
    p.setPen(Line());
    switch (c.hat) {
    case Hat::None:
        return;
    case Hat::Deerstalker: {
        QPainterPath crown;
        crown.moveTo(44, 70);
        crown.cubicTo(40, 26, 120, 26, 116, 70);
        crown.closeSubpath();
        p.setBrush(c.clothes);
        p.drawPath(crown);
        p.save();
        p.setClipPath(crown);
        p.setPen(QPen(c.clothes.darker(140), 1.5));
        for (int x = 30; x < 130; x += 8)
            p.drawLine(QPointF(x, 20), QPointF(x, 80));
        for (int y = 30; y < 80; y += 8)
            p.drawLine(QPointF(30, y), QPointF(130, y));
        p.restore();
        p.setBrush(c.clothes.darker(115));
        p.drawEllipse(QRectF(36, 62, 34, 12));
        p.drawEllipse(QRectF(90, 62, 34, 12));
        p.drawEllipse(QPointF(80, 32), 4, 4);
        break;
    }
    case Hat::Fedora: {
        p.setBrush(QColor(0x2e, 0x2a, 0x2a));
        p.drawEllipse(QRectF(26, 56, 108, 20));
        QPainterPath crown;
        crown.moveTo(46, 66);
        crown.cubicTo(44, 30, 116, 30, 114, 66);
        crown.closeSubpath();
        p.drawPath(crown);
        p.setBrush(c.accent);
        p.drawRect(QRectF(46, 56, 68, 8));
        break;
    }
    case Hat::Beret: {
        p.setBrush(QColor(0xb0, 0x22, 0x2a));
        p.drawEllipse(QRectF(36, 36, 92, 34));
        p.drawLine(QPointF(86, 36), QPointF(90, 28));
        break;
    }
    case Hat::Headband: {
        p.setBrush(QColor(0xfa, 0xfa, 0xfa));
        QPainterPath band;
        band.moveTo(50, 58);
        for (int i = 0; i <= 8; ++i)
            band.lineTo(50 + i * 7.5, (i & 1) ? 44 : 50);
        band.lineTo(110, 58);
        band.cubicTo(96, 52, 64, 52, 50, 58);
        p.drawPath(band);
        break;
    }
    }
}

void DrawCharacter(QPainter& p, const Character& c)
{
    BackHair(p, c);
    p.save();
    p.translate(0, -8);  // shoulders close under the chin
    Body(p, c);
    p.restore();
    Head(p, c);
    FrontHair(p, c);
    HatOn(p, c);
}

// A figure in shadow: the face of a seat nobody has chosen a face for.
void DrawStranger(QPainter& p, QColor rim)
{
    QPainterPath s;
    s.moveTo(4, 260);
    s.lineTo(6, 240);
    s.cubicTo(8, 180, 24, 158, 58, 146);
    s.lineTo(64, 122);
    s.cubicTo(44, 110, 44, 44, 80, 44);
    s.cubicTo(116, 44, 116, 110, 96, 122);
    s.lineTo(102, 146);
    s.cubicTo(136, 158, 152, 180, 154, 240);
    s.lineTo(156, 260);
    s.closeSubpath();
    QLinearGradient g(0, 40, 0, 240);
    g.setColorAt(0, QColor(0x4a, 0x4c, 0x5e));
    g.setColorAt(1, QColor(0x1e, 0x20, 0x2c));
    p.setPen(QPen(rim, 3));
    p.setBrush(g);
    p.drawPath(s);
    DrawText(p, QRectF(40, 54, 80, 64), QStringLiteral("?"), JpFont(52, true), pal::Parchment, pal::Ink, 4);
}

// Face: the head and shoulders, 56 x 56.
QImage Face(const std::function<void(QPainter&)>& draw)
{
    QImage art = NewArt(56, 56);
    QPainter p(&art);
    SetupPainter(p);
    const double s = 56.0 / 100.0;
    p.scale(s, s);
    p.translate(-30, -30);
    draw(p);
    p.end();
    return Keyed(art);
}

QImage Portrait(const std::function<void(QPainter&)>& draw)
{
    QImage art = NewArt(160, 240);
    QPainter p(&art);
    SetupPainter(p);
    // a little larger than the face drawing, standing on the bottom edge
    p.translate(80, 240);
    p.scale(1.1, 1.1);
    p.translate(-80, -240);
    draw(p);
    p.end();
    return Keyed(art);
}

}  // namespace

void MakePeople(const std::string& out)
{
    for (const Character& c : Cast()) {
        auto draw = [&c](QPainter& p) { DrawCharacter(p, c); };
        SaveBmp(out + "/faces/" + c.name + ".bmp", Face(draw));
        SaveBmp(out + "/bustup/" + c.name + ".bmp", Portrait(draw));
    }
    SaveBmp(out + "/faces/unknown.bmp",
            Face([](QPainter& p) { DrawStranger(p, QColor(0x8a, 0x8c, 0x9a)); }));
    for (int seat = 0; seat < 6; ++seat)
        SaveBmp(out + "/bustup/default" + std::to_string(seat) + ".bmp",
                Portrait([seat](QPainter& p) { DrawStranger(p, SeatColour(seat)); }));
}

}  // namespace gen
