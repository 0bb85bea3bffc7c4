// Room backgrounds (384 x 296): each room of the mansion seen from its door,
// drawn in a simple one-point perspective, and the grand staircase where
// accusations are made.
#include "Art.h"
#include "Common.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <functional>

namespace gen {
namespace {

constexpr int W = 384, H = 296;

// World: X across (-128..128), Y up from the floor (0..160), Z depth
// (back wall at 256). The eye is at X 0, Y 90.
QPointF P(double x, double y, double z)
{
    return QPointF(192 + 256 * x / z, 110 + 256 * (90 - y) / z);
}

// A point on the back wall.
QPointF B(double x, double y) { return P(x, y, 256); }

QPolygonF Quad(QPointF a, QPointF b, QPointF c, QPointF d)
{
    QPolygonF q;
    q << a << b << c << d;
    return q;
}

void Fill(QPainter& p, const QPolygonF& q, const QBrush& b, QColor edge = QColor())
{
    p.setPen(edge.isValid() ? QPen(edge, 1) : QPen(Qt::NoPen));
    p.setBrush(b);
    p.drawPolygon(q);
}

// A box standing in the room; draws its visible faces with `c` lit from above.
void Box(QPainter& p, double x0, double x1, double y0, double y1, double z0, double z1, QColor c,
         QColor top = QColor())
{
    const QColor edge = c.darker(200);
    if (!top.isValid())
        top = c.lighter(125);
    if (x0 > 0)
        Fill(p, Quad(P(x0, y0, z0), P(x0, y1, z0), P(x0, y1, z1), P(x0, y0, z1)), c.darker(135), edge);
    if (x1 < 0)
        Fill(p, Quad(P(x1, y0, z0), P(x1, y1, z0), P(x1, y1, z1), P(x1, y0, z1)), c.darker(135), edge);
    if (y1 < 90)
        Fill(p, Quad(P(x0, y1, z0), P(x1, y1, z0), P(x1, y1, z1), P(x0, y1, z1)), top, edge);
    Fill(p, Quad(P(x0, y0, z0), P(x1, y0, z0), P(x1, y1, z0), P(x0, y1, z0)), c, edge);
}

struct Style {
    QColor wall, wallStripe, floorA, floorB, ceiling, trim;
    bool checkerFloor = false;
};

// Ceiling, walls and floor.
void Shell(QPainter& p, const Style& s)
{
    const double zf = 100;  // in front of the picture
    Fill(p, Quad(P(-128, 160, zf), P(128, 160, zf), B(128, 160), B(-128, 160)), s.ceiling);
    // side walls
    for (int side : {-1, 1}) {
        QLinearGradient g(P(side * 128, 80, zf), B(side * 128, 80));
        g.setColorAt(0, s.wall.darker(170));
        g.setColorAt(1, s.wall.darker(120));
        Fill(p, Quad(P(side * 128, 0, zf), P(side * 128, 160, zf), B(side * 128, 160), B(side * 128, 0)), g);
        p.setPen(QPen(s.wallStripe.darker(130), 1));
        for (double z = 120; z < 256; z += 16)
            p.drawLine(P(side * 128, 0, z), P(side * 128, 160, z));
    }
    // back wall with stripes
    p.fillRect(QRectF(B(-128, 160), B(128, 0)), s.wall);
    p.setPen(QPen(s.wallStripe, 2));
    for (double x = -120; x < 128; x += 16)
        p.drawLine(B(x, 0), B(x, 160));
    // floor
    const QPolygonF floor = Quad(P(-128, 0, 256), P(128, 0, 256), P(128, 0, zf), P(-128, 0, zf));
    Fill(p, floor, s.floorA);
    p.save();
    p.setClipRegion(QRegion(floor.toPolygon()));
    if (s.checkerFloor) {
        for (int i = 0; i < 8; ++i)
            for (double z = 96; z < 256; z += 32) {
                const double x0 = -128 + i * 32;
                if ((i + int(z / 32)) & 1)
                    Fill(p, Quad(P(x0, 0, z), P(x0 + 32, 0, z), P(x0 + 32, 0, z + 32), P(x0, 0, z + 32)), s.floorB);
            }
    } else {
        p.setPen(QPen(s.floorB, 1.2));
        for (double x = -128; x <= 128; x += 16)
            p.drawLine(P(x, 0, 256), P(x, 0, zf));
        for (double z = 100; z < 256; z += 24)
            p.drawLine(P(-128, 0, z), P(128, 0, z));
    }
    p.restore();
    // skirting and cornice
    p.fillRect(QRectF(B(-128, 8), B(128, 0)), s.trim);
    p.fillRect(QRectF(B(-128, 160), B(128, 154)), s.trim);
    for (int side : {-1, 1}) {
        Fill(p, Quad(P(side * 128, 0, zf), P(side * 128, 8, zf), B(side * 128, 8), B(side * 128, 0)), s.trim.darker(130));
    }
}

// A night window on the back wall, with curtains.
void Window(QPainter& p, double x, double y, double w, double h, QColor curtain, bool arched = false)
{
    const QRectF r(B(x, y + h), B(x + w, y));
    QPainterPath frame;
    if (arched) {
        frame.moveTo(r.bottomLeft());
        frame.lineTo(r.left(), r.top() + r.width() / 2);
        frame.arcTo(QRectF(r.left(), r.top(), r.width(), r.width()), 180, -180);
        frame.lineTo(r.bottomRight());
        frame.closeSubpath();
    } else {
        frame.addRect(r);
    }
    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, QColor(0x10, 0x16, 0x34));
    sky.setColorAt(1, QColor(0x2c, 0x36, 0x62));
    p.setPen(QPen(QColor(0xe8, 0xe0, 0xcc), 3));
    p.setBrush(sky);
    p.drawPath(frame);
    p.save();
    p.setClipPath(frame);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf4, 0xec, 0xcc));
    p.drawEllipse(QPointF(r.left() + r.width() * 0.7, r.top() + r.height() * 0.28), 5, 5);
    p.setPen(QPen(QColor(0xe8, 0xe0, 0xcc), 2));
    p.drawLine(QPointF(r.center().x(), r.top()), QPointF(r.center().x(), r.bottom()));
    p.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
    p.restore();
    // curtains
    QLinearGradient c(r.left() - 10, 0, r.left() + 8, 0);
    c.setColorAt(0, curtain.darker(160));
    c.setColorAt(0.5, curtain);
    c.setColorAt(1, curtain.darker(130));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    QPainterPath lc;
    lc.moveTo(r.left() - 10, r.top() - 6);
    lc.lineTo(r.left() + 10, r.top() - 6);
    lc.cubicTo(r.left() + 2, r.center().y(), r.left() + 6, r.bottom(), r.left() + 2, r.bottom() + 4);
    lc.lineTo(r.left() - 10, r.bottom() + 4);
    lc.closeSubpath();
    p.drawPath(lc);
    QTransform mirror;
    mirror.translate(r.center().x() * 2, 0);
    mirror.scale(-1, 1);
    p.drawPath(mirror.map(lc));
    p.fillRect(QRectF(r.left() - 14, r.top() - 9, r.width() + 28, 4), pal::GoldDark);
}

// A framed painting on the back wall.
void Painting(QPainter& p, double x, double y, double w, double h, int motif)
{
    const QRectF r(B(x, y + h), B(x + w, y));
    p.setPen(QPen(QColor(0x5a, 0x3a, 0x12), 1));
    p.setBrush(pal::Gold);
    p.drawRect(r.adjusted(-4, -4, 4, 4));
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, motif == 0 ? QColor(0x4a, 0x5a, 0x3a) : QColor(0x3a, 0x2a, 0x22));
    g.setColorAt(1, motif == 0 ? QColor(0x2a, 0x34, 0x22) : QColor(0x1a, 0x12, 0x10));
    p.setBrush(g);
    p.drawRect(r);
    p.setPen(Qt::NoPen);
    if (motif == 0) {  // landscape
        p.setBrush(QColor(0x6a, 0x7a, 0x4a));
        p.drawEllipse(QPointF(r.center().x(), r.bottom()), r.width() * 0.6, r.height() * 0.45);
    } else {  // portrait
        p.setBrush(QColor(0xc8, 0xa8, 0x88));
        p.drawEllipse(QPointF(r.center().x(), r.top() + r.height() * 0.38), r.width() * 0.18, r.height() * 0.2);
        p.setBrush(QColor(0x2a, 0x1a, 0x1a));
        p.drawEllipse(QPointF(r.center().x(), r.bottom()), r.width() * 0.36, r.height() * 0.3);
    }
}

void Chandelier(QPainter& p, QPointF at, double scale)
{
    QRadialGradient glow(at, 70 * scale);
    glow.setColorAt(0, QColor(0xff, 0xe0, 0x9a, 110));
    glow.setColorAt(1, QColor(0xff, 0xe0, 0x9a, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(at, 70 * scale, 70 * scale);
    p.setPen(QPen(pal::GoldDark, 1.5));
    p.drawLine(QPointF(at.x(), 0), at);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(pal::Gold, 2 * scale));
    p.drawArc(QRectF(at.x() - 26 * scale, at.y() - 10 * scale, 52 * scale, 20 * scale), 180 * 16, 180 * 16);
    for (int i = -2; i <= 2; ++i) {
        const QPointF c(at.x() + i * 12 * scale, at.y() + 8 * scale - std::abs(i) * 3 * scale);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xfa, 0xf2, 0xe0));
        p.drawRect(QRectF(c.x() - 1.5 * scale, c.y() - 8 * scale, 3 * scale, 8 * scale));
        p.setBrush(QColor(0xff, 0xd8, 0x6a));
        p.drawEllipse(QPointF(c.x(), c.y() - 11 * scale), 2 * scale, 3 * scale);
    }
}

void Plant(QPainter& p, QPointF base, double size)
{
    p.setPen(QPen(QColor(0x4a, 0x2a, 0x18), 1));
    p.setBrush(QColor(0x8a, 0x4a, 0x2a));
    QPolygonF pot;
    pot << QPointF(base.x() - size * 0.3, base.y() - size * 0.35) << QPointF(base.x() + size * 0.3, base.y() - size * 0.35)
        << QPointF(base.x() + size * 0.22, base.y()) << QPointF(base.x() - size * 0.22, base.y());
    p.drawPolygon(pot);
    Rng rng(uint32_t(base.x() * 7 + base.y() * 13));
    for (int i = 0; i < 9; ++i) {
        const double a = -2.6 + i * 0.65 + rng.Unit() * 0.2;
        const QPointF tip(base.x() + std::cos(a) * size * 0.8, base.y() - size * 0.35 + std::sin(a) * size * 0.9);
        QPainterPath leaf;
        const QPointF root(base.x(), base.y() - size * 0.35);
        leaf.moveTo(root);
        leaf.quadTo((root + tip) / 2 + QPointF(size * 0.12, -size * 0.12), tip);
        leaf.quadTo((root + tip) / 2 + QPointF(-size * 0.12, size * 0.12), root);
        p.setPen(QPen(QColor(0x14, 0x34, 0x18), 1));
        p.setBrush(i & 1 ? QColor(0x3a, 0x7a, 0x3a) : QColor(0x2c, 0x62, 0x30));
        p.drawPath(leaf);
    }
}

void Books(QPainter& p, const QRectF& shelf, uint32_t seed)
{
    Rng rng(seed);
    static const QColor spines[6] = {QColor(0x7a, 0x1e, 0x22), QColor(0x1e, 0x3a, 0x6a), QColor(0x2a, 0x5a, 0x2e),
                                     QColor(0x8a, 0x6a, 0x2a), QColor(0x4a, 0x2a, 0x5a), QColor(0x5a, 0x3a, 0x22)};
    double x = shelf.left() + 1;
    while (x < shelf.right() - 3) {
        const double w = 3 + rng.Unit() * 4;
        const double h = shelf.height() * (0.7 + rng.Unit() * 0.28);
        const QRectF b(x, shelf.bottom() - h, qMin(w, shelf.right() - x - 1), h);
        p.fillRect(b, spines[rng.Range(0, 5)]);
        p.fillRect(QRectF(b.left(), b.top() + h * 0.2, b.width(), 1), QColor(0xd8, 0xb1, 0x5a, 160));
        x += w + 0.6;
    }
}

// A bookcase on the back wall.
void Bookcase(QPainter& p, double x, double w, double h, uint32_t seed)
{
    const QRectF r(B(x, h), B(x + w, 0));
    p.fillRect(r, QColor(0x3a, 0x24, 0x14));
    const int shelves = int(h / 30);
    const double sh = (r.height() - 6) / shelves;
    for (int i = 0; i < shelves; ++i) {
        const QRectF s(r.left() + 4, r.top() + 4 + i * sh, r.width() - 8, sh - 4);
        p.fillRect(s, QColor(0x1e, 0x12, 0x0a));
        Books(p, s, seed + uint32_t(i) * 17);
    }
    p.setPen(QPen(QColor(0x1a, 0x0e, 0x06), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r);
}

void Light(QPainter& p, QPointF at, double radius, QColor c)
{
    QRadialGradient g(at, radius);
    c.setAlpha(120);
    g.setColorAt(0, c);
    c.setAlpha(0);
    g.setColorAt(1, c);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(at, radius, radius);
}

void Vignette(QPainter& p)
{
    QRadialGradient v(QPointF(W / 2.0, H / 2.0 - 20), 260);
    v.setColorAt(0.55, QColor(0, 0, 0, 0));
    v.setColorAt(1, QColor(0x05, 0x04, 0x10, 170));
    p.fillRect(QRect(0, 0, W, H), v);
}

void Hall(QPainter& p)
{
    Shell(p, {QColor(0x8a, 0x74, 0x5a), QColor(0x7e, 0x68, 0x50), QColor(0xe6, 0xe0, 0xd4), QColor(0x4a, 0x46, 0x50),
              QColor(0x5a, 0x48, 0x36), QColor(0x4a, 0x30, 0x1c), true});
    // great double door under a fanlight
    const QRectF d(B(-30, 110), B(30, 0));
    p.setPen(QPen(QColor(0x2a, 0x18, 0x0a), 2));
    p.setBrush(QColor(0x6a, 0x3e, 0x1e));
    p.drawRect(d);
    p.drawLine(QPointF(d.center().x(), d.top()), QPointF(d.center().x(), d.bottom()));
    for (double x : {d.left() + 6, d.center().x() + 6})
        for (double y : {d.top() + 8, d.top() + 58})
            p.drawRect(QRectF(x, y, 18, 40));
    p.setBrush(pal::Gold);
    p.drawEllipse(QPointF(d.center().x() - 5, d.center().y() + 10), 2.5, 2.5);
    p.drawEllipse(QPointF(d.center().x() + 5, d.center().y() + 10), 2.5, 2.5);
    Window(p, -30, 116, 60, 30, QColor(0x7a, 0x1e, 0x28), true);
    Window(p, -110, 40, 40, 80, QColor(0x7a, 0x1e, 0x28));
    Window(p, 70, 40, 40, 80, QColor(0x7a, 0x1e, 0x28));
    // red runner to the door
    Fill(p, Quad(P(-24, 0, 256), P(24, 0, 256), P(24, 0, 100), P(-24, 0, 100)), QColor(0x8a, 0x1c, 0x26));
    Plant(p, P(-90, 0, 200), 40);
    Plant(p, P(90, 0, 200), 40);
    Chandelier(p, QPointF(192, 40), 1.3);
}

void Lounge(QPainter& p)
{
    Shell(p, {QColor(0x6a, 0x2a, 0x30), QColor(0x5e, 0x22, 0x28), QColor(0x6a, 0x44, 0x26), QColor(0x4e, 0x30, 0x18),
              QColor(0x3a, 0x22, 0x18), QColor(0x3a, 0x22, 0x12)});
    // rug
    Fill(p, Quad(P(-80, 0, 230), P(80, 0, 230), P(80, 0, 140), P(-80, 0, 140)), QColor(0x8a, 0x5a, 0x2a),
         QColor(0x5a, 0x30, 0x10));
    // fireplace with fire
    Box(p, -44, 44, 0, 70, 244, 256, QColor(0xb8, 0xa8, 0x90));
    const QRectF hearth(P(-26, 48, 244), P(26, 0, 244));
    p.fillRect(hearth, QColor(0x14, 0x0c, 0x08));
    Light(p, hearth.center() + QPointF(0, 10), 90, QColor(0xff, 0x8a, 0x2a));
    QPainterPath fire;
    fire.moveTo(hearth.left() + 8, hearth.bottom());
    fire.cubicTo(hearth.left() + 10, hearth.top() + 20, hearth.center().x() - 4, hearth.top() + 24, hearth.center().x(), hearth.top() + 6);
    fire.cubicTo(hearth.center().x() + 6, hearth.top() + 24, hearth.right() - 8, hearth.top() + 16, hearth.right() - 8, hearth.bottom());
    QLinearGradient fg(0, hearth.top(), 0, hearth.bottom());
    fg.setColorAt(0, QColor(0xff, 0xe6, 0x7a));
    fg.setColorAt(1, QColor(0xe0, 0x4a, 0x10));
    p.setPen(Qt::NoPen);
    p.setBrush(fg);
    p.drawPath(fire);
    Painting(p, -28, 84, 56, 50, 1);
    Window(p, -116, 50, 36, 70, QColor(0x3a, 0x4a, 0x2a));
    Window(p, 80, 50, 36, 70, QColor(0x3a, 0x4a, 0x2a));
    // armchairs
    const QColor velvet(0x2a, 0x4a, 0x3a);
    Box(p, -118, -70, 0, 40, 170, 205, velvet);
    Box(p, -118, -70, 24, 62, 200, 208, velvet.darker(115));
    Box(p, 70, 118, 0, 40, 170, 205, velvet);
    Box(p, 70, 118, 24, 62, 200, 208, velvet.darker(115));
    // standing lamp
    p.setPen(QPen(pal::GoldDark, 2));
    p.drawLine(P(100, 0, 226), P(100, 96, 226));
    Light(p, P(100, 104, 226), 50, QColor(0xff, 0xd0, 0x80));
    Fill(p, Quad(P(90, 96, 226), P(110, 96, 226), P(104, 114, 226), P(96, 114, 226)), QColor(0xf0, 0xd8, 0xa0));
}

void Dining(QPainter& p)
{
    Shell(p, {QColor(0x3a, 0x50, 0x3a), QColor(0x34, 0x48, 0x34), QColor(0x8c, 0x5c, 0x30), QColor(0x6a, 0x44, 0x22),
              QColor(0x3a, 0x2a, 0x1a), QColor(0x4a, 0x30, 0x18)});
    Painting(p, -110, 70, 44, 56, 1);
    Painting(p, 66, 70, 44, 56, 0);
    Window(p, -24, 40, 48, 90, QColor(0x7a, 0x1e, 0x28), true);
    // chairs behind the table
    for (double x = -60; x <= 60; x += 40)
        Box(p, x - 10, x + 10, 0, 64, 236, 242, QColor(0x5a, 0x30, 0x18));
    // long table with a white cloth
    Box(p, -70, 70, 0, 40, 150, 230, QColor(0xe8, 0xe4, 0xda), QColor(0xf6, 0xf2, 0xea));
    // candelabra and plates
    for (double z : {170.0, 205.0}) {
        const QPointF c = P(0, 40, z);
        p.setPen(QPen(pal::GoldDark, 2));
        p.drawLine(c, c - QPointF(0, 22));
        p.drawLine(c - QPointF(10, 14), c - QPointF(-10, 14));
        for (double dx : {-10.0, 0.0, 10.0}) {
            p.fillRect(QRectF(c.x() + dx - 1.5, c.y() - (dx == 0 ? 30 : 22), 3, 8), QColor(0xfa, 0xf2, 0xe0));
            Light(p, QPointF(c.x() + dx, c.y() - (dx == 0 ? 33 : 25)), 18, QColor(0xff, 0xd0, 0x60));
        }
    }
    for (double x : {-50.0, 50.0})
        for (double z : {165.0, 195.0, 222.0}) {
            p.setPen(QPen(QColor(0xa8, 0xa0, 0x90), 1));
            p.setBrush(QColor(0xfc, 0xfa, 0xf4));
            const QPointF c = P(x, 40, z);
            p.drawEllipse(c, 9 * 200 / z, 3.5 * 200 / z);
        }
    Chandelier(p, QPointF(192, 30), 1.0);
}

void Kitchen(QPainter& p)
{
    Shell(p, {QColor(0xe8, 0xea, 0xe4), QColor(0xd0, 0xd4, 0xd0), QColor(0x6c, 0x8e, 0xb0), QColor(0xe4, 0xea, 0xee),
              QColor(0x5a, 0x4a, 0x3a), QColor(0x5a, 0x64, 0x70), true});
    // tiles on the back wall
    p.setPen(QPen(QColor(0xb8, 0xc0, 0xc4), 1));
    for (double y = 0; y < 150; y += 12)
        p.drawLine(B(-128, y), B(128, y));
    // range with a hood
    Box(p, -40, 40, 0, 46, 236, 256, QColor(0x2a, 0x2a, 0x30));
    p.setBrush(QColor(0x8a, 0x8a, 0x90));
    for (double x : {-24.0, 0.0, 24.0})
        p.drawEllipse(P(x, 46, 246), 8, 2.5);
    Fill(p, Quad(B(-46, 140), B(46, 140), B(36, 100), B(-36, 100)), QColor(0x9a, 0x9c, 0xa4), QColor(0x5a, 0x5c, 0x64));
    // a pot on the stove with steam
    Box(p, -30, -12, 46, 60, 242, 250, QColor(0xb0, 0x5a, 0x2a));
    p.setPen(QPen(QColor(255, 255, 255, 120), 3, Qt::SolidLine, Qt::RoundCap));
    QPainterPath steam;
    const QPointF s = P(-21, 62, 246);
    steam.moveTo(s);
    steam.cubicTo(s + QPointF(-8, -12), s + QPointF(8, -20), s + QPointF(0, -34));
    p.setBrush(Qt::NoBrush);
    p.drawPath(steam);
    // shelves with jars, hanging pans
    for (int side : {-1, 1}) {
        const double x0 = side < 0 ? -120 : 56;
        p.fillRect(QRectF(B(x0, 100), B(x0 + 64, 96)), QColor(0x6a, 0x44, 0x26));
        Rng rng(side < 0 ? 5 : 9);
        for (double x = x0 + 6; x < x0 + 60; x += 12) {
            const QColor jar = QColor::fromHsv(rng.Range(0, 359), 90, 200);
            p.setPen(QPen(jar.darker(160), 1));
            p.setBrush(jar);
            p.drawRoundedRect(QRectF(B(x, 116), B(x + 8, 100)), 2, 2);
        }
    }
    for (double x : {-100.0, -80.0, 80.0, 100.0}) {
        p.setPen(QPen(QColor(0x3a, 0x3a, 0x3a), 1));
        p.drawLine(B(x, 150), B(x, 136));
        p.setBrush(QColor(0xb8, 0x6a, 0x3a));
        p.drawEllipse(B(x, 130), 7, 7);
    }
    // work table
    Box(p, -110, -50, 0, 36, 150, 200, QColor(0x9a, 0x70, 0x44));
    Box(p, 50, 110, 0, 36, 150, 200, QColor(0x9a, 0x70, 0x44));
}

void Ballroom(QPainter& p)
{
    Shell(p, {QColor(0xd8, 0xcc, 0xa8), QColor(0xcc, 0xbe, 0x98), QColor(0xb8, 0x88, 0x4a), QColor(0x9a, 0x6e, 0x36),
              QColor(0x8a, 0x7a, 0x5a), QColor(0xa8, 0x84, 0x3a)});
    for (double x : {-106.0, -22.0, 62.0})
        Window(p, x, 30, 44, 110, QColor(0x8a, 0x1e, 0x2a), true);
    // pilasters
    for (double x : {-124.0, -52.0, 40.0, 112.0})
        p.fillRect(QRectF(B(x, 154), B(x + 12, 0)), QColor(0xe8, 0xde, 0xc0));
    // floor shine
    Light(p, P(0, 0, 170), 120, QColor(0xff, 0xf0, 0xc0));
    // an inlaid star in the middle of the dance floor
    QPolygonF star;
    for (int i = 0; i < 16; ++i) {
        const double a = i * 3.14159265 / 8, rad = (i & 1) ? 18 : 44;
        star << P(std::cos(a) * rad, 0, 190 + std::sin(a) * rad);
    }
    Fill(p, star, QColor(0x8a, 0x5a, 0x26), QColor(0x6a, 0x40, 0x18));
    QPolygonF ring;
    for (int i = 0; i < 48; ++i) {
        const double a = i * 3.14159265 / 24;
        ring << P(std::cos(a) * 50, 0, 190 + std::sin(a) * 50);
    }
    p.setPen(QPen(QColor(0x6a, 0x40, 0x18), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(ring);
    Chandelier(p, QPointF(120, 34), 1.1);
    Chandelier(p, QPointF(264, 34), 1.1);
}

void Conservatory(QPainter& p)
{
    Shell(p, {QColor(0x1a, 0x26, 0x3e), QColor(0xe0, 0xe4, 0xdc), QColor(0x7a, 0x9a, 0x6a), QColor(0x5a, 0x7a, 0x4e),
              QColor(0x1a, 0x22, 0x38), QColor(0xd8, 0xdc, 0xd4), true});
    // glass wall: night sky through panes
    const QRectF glass(B(-128, 154), B(128, 8));
    QLinearGradient sky(glass.topLeft(), glass.bottomLeft());
    sky.setColorAt(0, QColor(0x0c, 0x12, 0x2c));
    sky.setColorAt(1, QColor(0x2a, 0x3a, 0x5a));
    p.fillRect(glass, sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xfb, 0xf1, 0xd4));
    p.drawEllipse(B(70, 126), 10, 10);
    Rng rng(31);
    p.setBrush(QColor(255, 255, 240, 170));
    for (int i = 0; i < 30; ++i)
        p.drawEllipse(QPointF(glass.left() + rng.Unit() * glass.width(), glass.top() + rng.Unit() * 60), 0.8, 0.8);
    p.setPen(QPen(QColor(0xe0, 0xe4, 0xdc), 2));
    for (double x = -128; x <= 128; x += 32)
        p.drawLine(B(x, 8), B(x, 154));
    for (double y = 40; y < 154; y += 40)
        p.drawLine(B(-128, y), B(128, y));
    // plants everywhere
    Plant(p, P(-100, 0, 240), 60);
    Plant(p, P(96, 0, 236), 70);
    Plant(p, P(-40, 0, 250), 40);
    Plant(p, P(30, 0, 252), 36);
    Plant(p, P(-116, 0, 150), 60);
    Plant(p, P(116, 0, 160), 56);
    // bench
    Box(p, -40, 40, 0, 24, 170, 184, QColor(0xe8, 0xe4, 0xdc));
}

void Billiards(QPainter& p)
{
    Shell(p, {QColor(0x2a, 0x4a, 0x4a), QColor(0x24, 0x42, 0x42), QColor(0x1e, 0x5c, 0x5a), QColor(0x18, 0x4c, 0x4a),
              QColor(0x1a, 0x22, 0x22), QColor(0x4a, 0x2e, 0x18)});
    // cue rack and dartboard
    p.fillRect(QRectF(B(-112, 120), B(-72, 40)), QColor(0x5a, 0x36, 0x1a));
    p.setPen(QPen(QColor(0xd8, 0xc0, 0x90), 2));
    for (double x = -106; x < -74; x += 7)
        p.drawLine(B(x, 44), B(x, 118));
    const QPointF dart = B(90, 100);
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(pal::Ink, 1));
        p.setBrush(i & 1 ? QColor(0xe8, 0xdc, 0xb8) : QColor(0x1a, 0x1a, 0x1a));
        p.drawEllipse(dart, 20 - i * 5, 20 - i * 5);
    }
    p.setBrush(QColor(0xc0, 0x20, 0x20));
    p.drawEllipse(dart, 2.5, 2.5);
    // table: felt top, wooden rails
    Box(p, -80, 80, 0, 36, 140, 230, QColor(0x4a, 0x2a, 0x14), QColor(0x4a, 0x2a, 0x14));
    Fill(p, Quad(P(-72, 36.5, 148), P(72, 36.5, 148), P(72, 36.5, 222), P(-72, 36.5, 222)), QColor(0x1c, 0x7a, 0x3a));
    const QColor balls[6] = {QColor(0xf6, 0xf2, 0xe8), QColor(0xe0, 0xc0, 0x20), QColor(0x20, 0x40, 0xb0),
                             QColor(0xc0, 0x20, 0x20), QColor(0x5a, 0x20, 0x7a), QColor(0x10, 0x10, 0x10)};
    const double bx[6] = {-40, 10, 18, 14, 26, 22}, bz[6] = {180, 196, 200, 206, 204, 212};
    for (int i = 0; i < 6; ++i) {
        p.setPen(QPen(QColor(0, 0, 0, 120), 0.8));
        p.setBrush(balls[i]);
        p.drawEllipse(P(bx[i], 40, bz[i]), 3.6, 3.6);
    }
    p.setPen(QPen(QColor(0xd8, 0xb8, 0x80), 2));
    p.drawLine(P(-70, 40, 160), P(-30, 40, 186));
    // the lamp over the table lights the felt
    Light(p, P(0, 40, 185), 110, QColor(0xff, 0xf0, 0xb0));
    // lampshade
    Fill(p, Quad(QPointF(150, 56), QPointF(234, 56), QPointF(246, 74), QPointF(138, 74)), QColor(0x1e, 0x5a, 0x2a),
         QColor(0x0a, 0x2a, 0x10));
    p.setPen(QPen(QColor(0x2a, 0x2a, 0x2a), 1.5));
    p.drawLine(QPointF(192, 0), QPointF(192, 56));
}

void Library(QPainter& p)
{
    Shell(p, {QColor(0x4a, 0x30, 0x1c), QColor(0x44, 0x2c, 0x1a), QColor(0x5a, 0x3a, 0x22), QColor(0x46, 0x2c, 0x18),
              QColor(0x2a, 0x1a, 0x10), QColor(0x2a, 0x18, 0x0c)});
    Bookcase(p, -128, 80, 150, 11);
    Bookcase(p, -44, 88, 150, 23);
    Bookcase(p, 48, 80, 150, 37);
    // side walls lined with books
    for (int side : {-1, 1})
        for (double z = 130; z < 250; z += 40) {
            const QPolygonF q = Quad(P(side * 128, 150, z), P(side * 128, 150, z + 36), P(side * 128, 0, z + 36),
                                     P(side * 128, 0, z));
            Fill(p, q, QColor(0x30, 0x1c, 0x0e), QColor(0x1a, 0x0e, 0x06));
        }
    // ladder
    p.setPen(QPen(QColor(0x8a, 0x5a, 0x2a), 3));
    p.drawLine(B(60, 150), P(70, 0, 236));
    p.drawLine(B(80, 150), P(90, 0, 236));
    for (int i = 1; i < 8; ++i) {
        const double t = i / 8.0;
        p.drawLine(B(60, 150) * (1 - t) + P(70, 0, 236) * t, B(80, 150) * (1 - t) + P(90, 0, 236) * t);
    }
    // reading table with a globe and a lamp
    Box(p, -50, 30, 0, 38, 160, 200, QColor(0x6a, 0x40, 0x20));
    const QPointF g = P(-30, 56, 180);
    p.setPen(QPen(pal::GoldDark, 2));
    p.setBrush(QColor(0x3a, 0x6a, 0x8a));
    p.drawEllipse(g, 12, 12);
    p.setBrush(QColor(0x6a, 0x8a, 0x4a));
    p.drawEllipse(g + QPointF(-3, -2), 5, 6);
    p.drawLine(P(-30, 38, 180), P(-30, 44, 180));
    Light(p, P(14, 66, 180), 80, QColor(0xff, 0xd8, 0x80));
    Fill(p, Quad(P(6, 60, 180), P(22, 60, 180), P(18, 70, 180), P(10, 70, 180)), QColor(0x2a, 0x6a, 0x3a));
}

void Study(QPainter& p)
{
    Shell(p, {QColor(0x2e, 0x44, 0x34), QColor(0x28, 0x3e, 0x2e), QColor(0x2e, 0x4a, 0x32), QColor(0x24, 0x3c, 0x28),
              QColor(0x22, 0x1a, 0x12), QColor(0x3a, 0x24, 0x12)});
    Bookcase(p, -126, 60, 140, 41);
    Window(p, -30, 50, 60, 84, QColor(0x6a, 0x1a, 0x22));
    Painting(p, 74, 70, 44, 56, 1);
    // desk and chair
    Box(p, -8, 8, 0, 60, 232, 238, QColor(0x5a, 0x20, 0x20));
    Box(p, -64, 64, 0, 42, 170, 210, QColor(0x5a, 0x34, 0x18));
    // papers, a quill, a lamp
    p.setPen(QPen(QColor(0x9a, 0x90, 0x7a), 0.8));
    p.setBrush(QColor(0xf6, 0xf0, 0xdc));
    p.drawPolygon(Quad(P(-40, 42.5, 180), P(-12, 42.5, 180), P(-10, 42.5, 200), P(-38, 42.5, 200)));
    p.drawPolygon(Quad(P(-34, 43, 184), P(-6, 43, 182), P(-4, 43, 204), P(-32, 43, 206)));
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1.2));
    p.drawLine(P(4, 43, 186), P(22, 58, 196));
    Light(p, P(40, 60, 196), 110, QColor(0xff, 0xe0, 0x90));
    p.setPen(QPen(pal::GoldDark, 2));
    p.drawLine(P(40, 42, 196), P(40, 58, 196));
    Fill(p, Quad(P(28, 58, 196), P(52, 58, 196), P(48, 66, 196), P(32, 66, 196)), QColor(0x1e, 0x6a, 0x3a),
         QColor(0x0a, 0x30, 0x14));
}

void Staircase(QPainter& p)
{
    Shell(p, {QColor(0x4a, 0x1c, 0x24), QColor(0x42, 0x18, 0x20), QColor(0x3a, 0x26, 0x1a), QColor(0x2e, 0x1c, 0x12),
              QColor(0x1a, 0x10, 0x10), QColor(0x2a, 0x16, 0x0c)});
    // stairs rising to a landing at the back
    const int steps = 10;
    for (int i = steps - 1; i >= 0; --i) {
        const double z0 = 150 + i * 10, y = (i + 1) * 9;
        Box(p, -70, 70, 0, y, z0, z0 + 10, QColor(0x6a, 0x40, 0x24), QColor(0x7a, 0x4c, 0x2c));
        Fill(p, Quad(P(-30, y + 0.5, z0), P(30, y + 0.5, z0), P(30, y + 0.5, z0 + 10), P(-30, y + 0.5, z0 + 10)),
             QColor(0xa0, 0x1e, 0x2a));
        Fill(p, Quad(P(-30, y, z0), P(30, y, z0), P(30, y - 9, z0), P(-30, y - 9, z0)), QColor(0x86, 0x16, 0x22));
    }
    // banisters
    for (int side : {-1, 1}) {
        p.setPen(QPen(QColor(0x2a, 0x16, 0x08), 3));
        p.drawLine(P(side * 70, 40, 150), P(side * 70, 130, 250));
        p.setPen(QPen(QColor(0x5a, 0x36, 0x1a), 2));
        for (int i = 0; i < 10; ++i)
            p.drawLine(P(side * 70, i * 9, 150 + i * 10), P(side * 70, 40 + i * 9, 150 + i * 10));
    }
    // a portrait on the landing under a spotlight
    Painting(p, -26, 104, 52, 44, 1);
    Light(p, B(0, 120), 110, QColor(0xff, 0xe8, 0xc0));
    Light(p, P(0, 0, 140), 90, QColor(0xff, 0xf0, 0xd0));
}

}  // namespace

QImage RoomScene(int room)
{
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::black);
    QPainter p(&img);
    SetupPainter(p);
    static const std::function<void(QPainter&)> scenes[10] = {Hall,      Lounge,   Dining,       Kitchen,
                                                              Ballroom,  Conservatory, Billiards, Library,
                                                              Study,     Staircase};
    scenes[room](p);
    Vignette(p);
    p.end();
    return img.convertToFormat(QImage::Format_RGB32);
}

void MakeRooms(const std::string& out)
{
    for (int r = 0; r < 10; ++r)
        SaveJpeg(out + "/bg/room" + std::to_string(r) + ".jpg", RoomScene(r), 90);
}

}  // namespace gen
