// The board background tile, the mansion map, the title picture and the turn
// cursor.
#include "Art.h"
#include "BoardTables.h"
#include "Common.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace gen {

QString RoomName(int room)
{
    static const char* names[9] = {"玄関ホール", "ラウンジ", "食堂",   "調理場", "大広間",
                                   "温室",       "娯楽室",   "図書室", "書斎"};
    return QString::fromUtf8(names[room]);
}

QString WeaponName(int weapon)
{
    static const char* names[6] = {"短剣", "燭台", "ピストル", "ロープ", "鉛のパイプ", "スパナ"};
    return QString::fromUtf8(names[weapon]);
}

namespace {

constexpr int Cell = 16;
constexpr int MapW = BoardWidth * Cell;  // 384
constexpr int MapRows = BoardHeight + 1; // the row below the map holds the lowest weapon spots
constexpr int MapH = MapRows * Cell;     // 416

struct CellRect {
    int x, y, w, h;
};

// Where each room and the central staircase lie, in cells (rows up to 25).
struct RoomShape {
    std::vector<CellRect> rects;
    CellRect label;
};

const RoomShape& Shape(int room)
{
    static const RoomShape shapes[10] = {
        {{{9, 18, 6, 8}}, {9, 24, 6, 2}},                  // 0 hall
        {{{0, 19, 7, 7}}, {0, 19, 6, 2}},                  // 1 lounge
        {{{0, 10, 8, 6}}, {0, 10, 7, 2}},                  // 2 dining room
        {{{0, 0, 6, 7}}, {0, 0, 6, 2}},                    // 3 kitchen
        {{{8, 2, 8, 6}, {10, 0, 4, 2}}, {10, 0, 4, 2}},    // 4 ballroom
        {{{18, 0, 6, 5}, {19, 5, 5, 1}}, {18, 0, 6, 2}},   // 5 conservatory
        {{{18, 8, 6, 5}}, {19, 8, 5, 2}},                  // 6 billiard room
        {{{18, 14, 6, 5}, {17, 15, 1, 3}}, {21, 14, 3, 2}},// 7 library
        {{{17, 21, 7, 5}}, {18, 21, 6, 1}},                // 8 study
        {{{10, 10, 5, 7}}, {10, 13, 5, 2}},                // 9 the staircase
    };
    return shapes[room];
}

// Room of a cell (0-9), or -1 for corridor, garden and the space outside.
int RoomAt(int x, int y)
{
    for (int r = 0; r < 10; ++r)
        for (const CellRect& c : Shape(r).rects)
            if (x >= c.x && x < c.x + c.w && y >= c.y && y < c.y + c.h)
                return r;
    return -1;
}

uint16_t Code(int x, int y)
{
    if (x < 0 || y < 0 || x >= BoardWidth || y >= BoardHeight)
        return 1;
    return BoardMap[x + BoardWidth * y];
}

bool IsDoor(uint16_t c) { return c != 0 && c != 1 && c != 0x19; }

// Direction from which a door is entered: the corridor lies on that side.
// 0 below (entered Up), 1 above (Down), 2 right (Left), 3 left (Right).
int EntrySide(uint16_t c)
{
    if (c & 0x10) return 0;
    if (c & 0x20) return 1;
    if (c & 0x40) return 2;
    return 3;
}

QRectF CellBox(int x, int y) { return QRectF(x * Cell, y * Cell, Cell, Cell); }

// Floors, one pattern per room, drawn over a single cell.
void Floor(QPainter& p, int room, int x, int y)
{
    const QRectF r = CellBox(x, y);
    const bool odd = (x + y) & 1;
    p.save();
    p.setClipRect(r);
    p.setBrush(Qt::NoBrush);
    switch (room) {
    case 0: {  // marble, diagonal checks
        p.fillRect(r, odd ? QColor(0xea, 0xe4, 0xda) : QColor(0x9e, 0x98, 0xa2));
        p.setPen(QPen(odd ? QColor(0xd6, 0xcc, 0xbe) : QColor(0x8c, 0x86, 0x92), 1));
        p.drawLine(QPointF(r.left() + 3, r.top() + 5), QPointF(r.left() + 11, r.top() + 12));
        break;
    }
    case 1: {  // wine carpet with a small lozenge
        p.fillRect(r, QColor(0x7a, 0x24, 0x30));
        QPainterPath d;
        d.moveTo(r.center().x(), r.top() + 4);
        d.lineTo(r.right() - 4, r.center().y());
        d.lineTo(r.center().x(), r.bottom() - 4);
        d.lineTo(r.left() + 4, r.center().y());
        d.closeSubpath();
        p.fillPath(d, QColor(0x93, 0x3a, 0x42));
        break;
    }
    case 2: {  // oak parquet
        const QColor a(0xa0, 0x6e, 0x3c), b(0x8c, 0x5c, 0x30);
        for (int i = 0; i < 4; ++i)
            p.fillRect(QRectF(r.left(), r.top() + i * 4, Cell, 4), ((i + x) & 1) ? a : b);
        p.setPen(QPen(QColor(0x6a, 0x44, 0x24), 1));
        p.drawLine(QPointF(r.left() + (odd ? 5.5 : 11.5), r.top()),
                   QPointF(r.left() + (odd ? 5.5 : 11.5), r.bottom()));
        break;
    }
    case 3: {  // blue and white kitchen tiles
        p.fillRect(r, odd ? QColor(0xe4, 0xea, 0xee) : QColor(0x6c, 0x8e, 0xb0));
        p.setPen(QPen(QColor(0x8a, 0x96, 0xa0), 1));
        p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
        break;
    }
    case 4: {  // golden herringbone
        p.fillRect(r, QColor(0xc2, 0x94, 0x52));
        p.setPen(QPen(QColor(0xa4, 0x76, 0x3c), 1.2));
        for (int i = -16; i < 16; i += 6)
            p.drawLine(QPointF(r.left() + i, r.bottom()), QPointF(r.left() + i + 16, r.top()));
        break;
    }
    case 5: {  // green stone with moss joints
        p.fillRect(r, odd ? QColor(0x7a, 0x9a, 0x6a) : QColor(0x6c, 0x8c, 0x5e));
        p.setPen(QPen(QColor(0x4c, 0x6a, 0x42), 1));
        p.drawRect(r.adjusted(1.5, 1.5, -1.5, -1.5));
        break;
    }
    case 6: {  // teal carpet
        p.fillRect(r, QColor(0x1e, 0x5c, 0x5a));
        p.fillRect(QRectF(r.left() + 7, r.top() + 7, 2, 2), QColor(0x3a, 0x80, 0x7a));
        break;
    }
    case 7: {  // dark walnut boards
        const QColor a(0x5a, 0x3a, 0x22), b(0x4e, 0x32, 0x1c);
        p.fillRect(QRectF(r.left(), r.top(), 8, Cell), (y & 1) ? a : b);
        p.fillRect(QRectF(r.left() + 8, r.top(), 8, Cell), (y & 1) ? b : a);
        break;
    }
    case 8: {  // green study carpet with gold dots
        p.fillRect(r, QColor(0x2e, 0x4a, 0x32));
        if (!odd)
            p.fillRect(QRectF(r.left() + 7, r.top() + 7, 2, 2), QColor(0xa8, 0x90, 0x4a));
        break;
    }
    case 9: {  // staircase: steps run up to the top
        const int step = y;  // one step per row
        const QColor tread = QColor(0x8a, 0x5c, 0x3a).lighter(100 + step * 3);
        p.fillRect(r, tread);
        p.fillRect(QRectF(r.left(), r.top(), Cell, 3), QColor(0x5a, 0x36, 0x20));
        // red runner down the middle
        if (x >= 11 && x <= 13)
            p.fillRect(QRectF(r.left(), r.top() + 3, Cell, 13), QColor(0xa0, 0x26, 0x30));
        if (x == 11)
            p.fillRect(QRectF(r.left(), r.top(), 2, Cell), QColor(0xd8, 0xb1, 0x5a));
        if (x == 13)
            p.fillRect(QRectF(r.right() - 2, r.top(), 2, Cell), QColor(0xd8, 0xb1, 0x5a));
        break;
    }
    default:
        break;
    }
    p.restore();
}

// Garden around and between the wings.
void Garden(QPainter& p, int x, int y)
{
    const QRectF r = CellBox(x, y);
    p.fillRect(r, QColor(0x24, 0x3c, 0x26));
    Rng rng(uint32_t(1000 + x * 131 + y * 977));
    for (int i = 0; i < 5; ++i) {
        const double cx = r.left() + 2 + rng.Unit() * 12, cy = r.top() + 2 + rng.Unit() * 12;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x35, 0x55, 0x34));
        p.drawEllipse(QPointF(cx, cy), 2.6, 2.6);
    }
}

void Corridor(QPainter& p, int x, int y)
{
    const QRectF r = CellBox(x, y);
    const bool even = ((x + y) & 1) == 0;
    p.fillRect(r, QColor::fromRgb(even ? CorridorEven : CorridorOdd));
    p.fillRect(QRectF(r.right() - 1, r.top(), 1, Cell), QColor(0xa8, 0x92, 0x6a));
    p.fillRect(QRectF(r.left(), r.bottom() - 1, Cell, 1), QColor(0xa8, 0x92, 0x6a));
}

void Door(QPainter& p, int x, int y, uint16_t code)
{
    const QRectF r = CellBox(x, y);
    p.setPen(QPen(QColor(0x4a, 0x26, 0x12), 1));
    p.setBrush(QColor::fromRgb(DoorColour));
    p.drawRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), 2, 2);
    // A light chevron on the corridor side, pointing into the room.
    const int side = EntrySide(code);
    const QPointF c = r.center();
    QPolygonF tri;
    switch (side) {
    case 0: tri << QPointF(c.x() - 4, c.y() + 6) << QPointF(c.x() + 4, c.y() + 6) << QPointF(c.x(), c.y() + 3); break;
    case 1: tri << QPointF(c.x() - 4, c.y() - 6) << QPointF(c.x() + 4, c.y() - 6) << QPointF(c.x(), c.y() - 3); break;
    case 2: tri << QPointF(c.x() + 6, c.y() - 4) << QPointF(c.x() + 6, c.y() + 4) << QPointF(c.x() + 3, c.y()); break;
    default: tri << QPointF(c.x() - 6, c.y() - 4) << QPointF(c.x() - 6, c.y() + 4) << QPointF(c.x() - 3, c.y()); break;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(pal::Parchment);
    p.drawPolygon(tri);
}

void Spot(QPainter& p, int x, int y)
{
    const QRectF r = CellBox(x, y);
    p.fillRect(r, QColor(0x5a, 0x16, 0x1c));
    p.setPen(QPen(pal::Gold, 1.5));
    p.setBrush(QColor::fromRgb(SpotColour));
    p.drawEllipse(r.adjusted(1.5, 1.5, -1.5, -1.5));
}

// Walls along every edge of a room that borders something else, leaving the
// door's corridor side open.
void Walls(QPainter& p)
{
    const QColor wall(0x2a, 0x1a, 0x10);
    p.setPen(Qt::NoPen);
    p.setBrush(wall);
    const int t = 3;
    for (int y = 0; y < MapRows; ++y)
        for (int x = 0; x < BoardWidth; ++x) {
            const int room = RoomAt(x, y);
            if (room < 0)
                continue;
            const uint16_t code = y < BoardHeight ? Code(x, y) : 1;
            const int open = (IsDoor(code) || code == 0x19) ? (code == 0x19 ? 0 : EntrySide(code)) : -1;
            const QRectF r = CellBox(x, y);
            const int nx[4] = {x, x, x + 1, x - 1}, ny[4] = {y + 1, y - 1, y, y};
            for (int side = 0; side < 4; ++side) {
                if (side == open)
                    continue;
                const bool inside = nx[side] >= 0 && nx[side] < BoardWidth && ny[side] >= 0 &&
                                    ny[side] < MapRows && RoomAt(nx[side], ny[side]) == room;
                if (inside)
                    continue;
                switch (side) {
                case 0: p.drawRect(QRectF(r.left(), r.bottom() - t, Cell, t)); break;
                case 1: p.drawRect(QRectF(r.left(), r.top(), Cell, t)); break;
                case 2: p.drawRect(QRectF(r.right() - t, r.top(), t, Cell)); break;
                default: p.drawRect(QRectF(r.left(), r.top(), t, Cell)); break;
                }
            }
        }
}

// A brass name plate.
void Plate(QPainter& p, const QRectF& box, const QString& text)
{
    const int size = FitFontSize(text, box.width() - 10, 13, true);
    QFontMetricsF fm(JpFont(size, true));
    const double w = fm.horizontalAdvance(text) + 10, h = size + 6;
    const QRectF plate(box.center().x() - w / 2, box.center().y() - h / 2, w, h);
    QLinearGradient g(plate.topLeft(), plate.bottomLeft());
    g.setColorAt(0, QColor(0xf0, 0xd4, 0x8a));
    g.setColorAt(1, QColor(0xb8, 0x8c, 0x3c));
    p.setPen(QPen(QColor(0x4a, 0x30, 0x12), 1));
    p.setBrush(g);
    p.drawRoundedRect(plate, 3, 3);
    DrawText(p, plate, text, JpFont(size, true), QColor(0x3a, 0x20, 0x0c));
}

// Furniture, kept flat and quiet so the pieces standing on it stay clear.
QRectF Cells(double x, double y, double w, double h) { return QRectF(x * Cell, y * Cell, w * Cell, h * Cell); }

void Shelf(QPainter& p, const QRectF& r, uint32_t seed)
{
    p.fillRect(r, QColor(0x2a, 0x18, 0x0c));
    Rng rng(seed);
    static const QColor spines[5] = {QColor(0x8a, 0x2a, 0x2a), QColor(0x2a, 0x4a, 0x7a), QColor(0x3a, 0x6a, 0x3a),
                                     QColor(0x9a, 0x7a, 0x3a), QColor(0x5a, 0x3a, 0x6a)};
    const bool across = r.width() > r.height();
    for (double t = 1; t < (across ? r.width() : r.height()) - 1; t += 2) {
        const QColor c = spines[rng.Range(0, 4)];
        if (across)
            p.fillRect(QRectF(r.left() + t, r.top() + 1, 1.5, r.height() - 2), c);
        else
            p.fillRect(QRectF(r.left() + 1, r.top() + t, r.width() - 2, 1.5), c);
    }
}

void Decor(QPainter& p)
{
    p.save();
    p.setPen(Qt::NoPen);
    // kitchen: a range along the left wall, shelves on the right
    p.fillRect(Cells(0, 2, 0.75, 5), QColor(0x3a, 0x3a, 0x42));
    p.setBrush(QColor(0x8a, 0x8a, 0x94));
    for (double y : {2.6, 3.6, 4.6, 5.6})
        p.drawEllipse(QPointF(0.4 * Cell, y * Cell), 3.5, 3.5);
    p.fillRect(Cells(5.4, 2, 0.45, 4.6), QColor(0x7a, 0x52, 0x2c));
    // ballroom: four columns
    for (QPointF c : {QPointF(8.6, 2.7), QPointF(15.4, 2.7), QPointF(8.6, 6.6), QPointF(15.4, 6.6)}) {
        p.setBrush(QColor(0xe8, 0xdc, 0xc0));
        p.setPen(QPen(QColor(0x8a, 0x6a, 0x3a), 1));
        p.drawEllipse(c * Cell, 5, 5);
    }
    p.setPen(Qt::NoPen);
    // conservatory: potted plants in the corners
    for (QPointF c : {QPointF(18.6, 2.5), QPointF(23.4, 2.5), QPointF(19.5, 5.4), QPointF(23.4, 5.4)}) {
        p.setBrush(QColor(0x2a, 0x5a, 0x2a));
        p.drawEllipse(c * Cell, 6.5, 6.5);
        p.setBrush(QColor(0x4a, 0x8a, 0x3a));
        p.drawEllipse(c * Cell + QPointF(-1.5, -1.5), 3.5, 3.5);
    }
    // billiard room: the table under the middle spots
    p.setPen(QPen(QColor(0x3a, 0x20, 0x0e), 2));
    p.setBrush(QColor(0x2a, 0x7a, 0x3a));
    p.drawRoundedRect(Cells(19.2, 10.1, 4.4, 1.8), 3, 3);
    p.setPen(Qt::NoPen);
    // library: shelves along the walls
    Shelf(p, Cells(18, 18.55, 6, 0.4).adjusted(0, -3, 0, -3), 7);
    Shelf(p, Cells(23.55, 15, 0.4, 3.5).adjusted(-3, 0, -3, 0), 8);
    // study: a desk with a green lamp
    p.setBrush(QColor(0x5a, 0x34, 0x18));
    p.setPen(QPen(QColor(0x2a, 0x16, 0x08), 1));
    p.drawRect(Cells(17.2, 23.1, 1.6, 1.6));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3a, 0xa0, 0x5a));
    p.drawEllipse(Cells(17.9, 23.2, 0.6, 0.6));
    p.fillRect(Cells(17.35, 23.9, 0.5, 0.6), QColor(0xf0, 0xe8, 0xd0));
    // dining room: the long table with its cloth
    p.setPen(QPen(QColor(0x7a, 0x6a, 0x50), 1));
    p.setBrush(QColor(0xf2, 0xee, 0xe2));
    p.drawRect(Cells(1.6, 12.75, 5.0, 1.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd8, 0xb1, 0x5a));
    for (double x : {2.4, 4.1, 5.8})
        p.drawEllipse(QPointF(x * Cell, 13.5 * Cell), 2, 2);
    // lounge: fireplace on the left wall, sofa on the right
    p.fillRect(Cells(0, 22, 0.8, 2), QColor(0x9a, 0x90, 0x84));
    QRadialGradient fire(Cells(0.25, 23, 0, 0).topLeft(), 9);
    fire.setColorAt(0, QColor(0xff, 0xc0, 0x40));
    fire.setColorAt(1, QColor(0xa0, 0x30, 0x10));
    p.setBrush(fire);
    p.drawRect(Cells(0.2, 22.5, 0.45, 1));
    p.setBrush(QColor(0x2a, 0x4a, 0x3a));
    p.setPen(QPen(QColor(0x14, 0x28, 0x1e), 1));
    p.drawRoundedRect(Cells(6.05, 21.2, 0.75, 3.2), 3, 3);
    p.setPen(Qt::NoPen);
    // hall: a red runner from the doors towards the front
    p.fillRect(Cells(11.15, 19, 1.7, 5), QColor(0x8a, 0x1c, 0x26));
    p.fillRect(Cells(11.15, 19, 0.12, 5), pal::Gold);
    p.fillRect(Cells(12.73, 19, 0.12, 5), pal::Gold);
    p.restore();
}

// The door cells of every room get their cell drawn last; a final pass puts
// the class colour on each cell's centre pixel so the picture reads back as
// the map.
QImage DrawMap()
{
    QImage img(MapW, MapH, QImage::Format_ARGB32_Premultiplied);
    img.fill(QColor(0x24, 0x3c, 0x26));
    QPainter p(&img);
    SetupPainter(p);
    for (int y = 0; y < MapRows; ++y)
        for (int x = 0; x < BoardWidth; ++x) {
            const int room = RoomAt(x, y);
            const uint16_t code = y < BoardHeight ? Code(x, y) : 1;
            if (code == 0)
                Corridor(p, x, y);
            else if (room >= 0)
                Floor(p, room, x, y);
            else
                Garden(p, x, y);
        }
    Decor(p);
    Walls(p);
    for (int y = 0; y < BoardHeight; ++y)
        for (int x = 0; x < BoardWidth; ++x) {
            const uint16_t code = Code(x, y);
            if (code == 0x19)
                Spot(p, x, y);
            else if (IsDoor(code))
                Door(p, x, y, code);
        }
    for (int room = 0; room < 10; ++room) {
        const CellRect& l = Shape(room).label;
        const QString name = room < 9 ? RoomName(room) : QString::fromUtf8("大階段");
        Plate(p, QRectF(l.x * Cell, l.y * Cell, l.w * Cell, l.h * Cell), name);
    }
    // Outer frame.
    p.setPen(QPen(QColor(0x14, 0x0c, 0x06), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1, 1, MapW - 2, MapH - 2));
    p.end();

    QImage out = img.convertToFormat(QImage::Format_RGB32);
    const QRgb reserved[4] = {CorridorEven, CorridorOdd, DoorColour, SpotColour};
    for (int y = 0; y < BoardHeight; ++y)
        for (int x = 0; x < BoardWidth; ++x) {
            const uint16_t code = Code(x, y);
            QRgb& c = reinterpret_cast<QRgb*>(out.scanLine(y * Cell + 8))[x * Cell + 8];
            if (code == 0)
                c = ((x + y) & 1) ? CorridorOdd : CorridorEven;
            else if (code == 0x19)
                c = SpotColour;
            else if (IsDoor(code))
                c = DoorColour;
            else
                for (QRgb rc : reserved)
                    if (c == rc)
                        c = (c & 0xFFFFFF00) | ((c + 1) & 0xFF);
        }
    return out;
}

// A seamless 64 x 64 wallpaper tile: navy damask with a gold lattice.
QImage DrawBackTile()
{
    QImage img(64, 64, QImage::Format_ARGB32_Premultiplied);
    img.fill(QColor(0x1c, 0x20, 0x34));
    QPainter p(&img);
    SetupPainter(p);
    for (int ox = -64; ox <= 64; ox += 64)
        for (int oy = -64; oy <= 64; oy += 64) {
            p.save();
            p.translate(ox, oy);
            p.setPen(QPen(QColor(0x2c, 0x32, 0x50), 2));
            p.drawLine(QPointF(0, 32), QPointF(32, 0));
            p.drawLine(QPointF(32, 0), QPointF(64, 32));
            p.drawLine(QPointF(64, 32), QPointF(32, 64));
            p.drawLine(QPointF(32, 64), QPointF(0, 32));
            // fleuron at the centre of each lozenge
            QPainterPath f;
            f.moveTo(32, 20);
            f.cubicTo(38, 26, 38, 30, 32, 44);
            f.cubicTo(26, 30, 26, 26, 32, 20);
            p.fillPath(f, QColor(0x2a, 0x30, 0x4c));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x5a, 0x4c, 0x36));
            p.drawEllipse(QPointF(32, 32), 2, 2);
            // studs where the lattice crosses
            p.setBrush(QColor(0x6a, 0x58, 0x3a));
            for (QPointF c : {QPointF(0, 32), QPointF(32, 0), QPointF(64, 32), QPointF(32, 64)})
                p.drawEllipse(c, 2.2, 2.2);
            p.restore();
        }
    p.end();
    return img.convertToFormat(QImage::Format_RGB32);
}

void Mansion(QPainter& p, double baseY)
{
    const QColor body(0x10, 0x12, 0x1e);
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    QPainterPath m;
    m.addRect(QRectF(56, baseY - 110, 272, 110));        // main block
    m.addRect(QRectF(30, baseY - 150, 58, 150));         // left tower
    m.addRect(QRectF(296, baseY - 140, 58, 140));        // right tower
    QPolygonF roof;
    roof << QPointF(50, baseY - 110) << QPointF(192, baseY - 176) << QPointF(334, baseY - 110);
    m.addPolygon(roof);
    QPolygonF lt;
    lt << QPointF(24, baseY - 150) << QPointF(59, baseY - 206) << QPointF(94, baseY - 150);
    m.addPolygon(lt);
    QPolygonF rt;
    rt << QPointF(290, baseY - 140) << QPointF(325, baseY - 190) << QPointF(360, baseY - 140);
    m.addPolygon(rt);
    m.addRect(QRectF(236, baseY - 170, 12, 40));          // chimney
    m.setFillRule(Qt::WindingFill);
    p.drawPath(m.simplified());
    // lit and dark windows
    Rng rng(77);
    auto window = [&](double x, double y, double w, double h) {
        const bool lit = rng.Unit() < 0.55;
        if (lit) {
            QRadialGradient glow(QPointF(x + w / 2, y + h / 2), w * 1.6);
            glow.setColorAt(0, QColor(0xff, 0xc8, 0x60, 90));
            glow.setColorAt(1, QColor(0xff, 0xc8, 0x60, 0));
            p.setBrush(glow);
            p.drawEllipse(QPointF(x + w / 2, y + h / 2), w * 1.6, w * 1.6);
        }
        p.setBrush(lit ? QColor(0xf6, 0xc8, 0x6a) : QColor(0x26, 0x2c, 0x44));
        p.drawRect(QRectF(x, y, w, h));
        p.setBrush(body);
        p.drawRect(QRectF(x + w / 2 - 0.75, y, 1.5, h));
        p.drawRect(QRectF(x, y + h / 2 - 0.75, w, 1.5));
    };
    for (int row = 0; row < 2; ++row)
        for (int i = 0; i < 7; ++i)
            window(80 + i * 36, baseY - 96 + row * 44, 14, 22);
    for (int row = 0; row < 3; ++row) {
        window(52, baseY - 136 + row * 44, 14, 22);
        window(318, baseY - 126 + row * 42, 14, 22);
    }
    window(184, baseY - 150, 16, 18);
    // the front door, open and lit
    QRadialGradient doorGlow(QPointF(192, baseY - 16), 40);
    doorGlow.setColorAt(0, QColor(0xff, 0xc8, 0x60, 110));
    doorGlow.setColorAt(1, QColor(0xff, 0xc8, 0x60, 0));
    p.setBrush(doorGlow);
    p.drawEllipse(QPointF(192, baseY - 16), 40, 40);
    QPainterPath door;
    door.moveTo(180, baseY);
    door.lineTo(180, baseY - 24);
    door.arcTo(QRectF(180, baseY - 36, 24, 24), 180, -180);
    door.lineTo(204, baseY);
    door.closeSubpath();
    p.setBrush(QColor(0xf6, 0xc8, 0x6a));
    p.drawPath(door);
    p.setBrush(QColor(0x4a, 0x2a, 0x12));
    p.drawRect(QRectF(180, baseY - 24, 5, 24));
    p.drawRect(QRectF(199, baseY - 24, 5, 24));
}

QImage DrawTitle()
{
    QImage img(MapW, MapH, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    SetupPainter(p);
    QLinearGradient sky(0, 0, 0, MapH);
    sky.setColorAt(0, QColor(0x0c, 0x0e, 0x22));
    sky.setColorAt(0.6, QColor(0x26, 0x2a, 0x52));
    sky.setColorAt(1, QColor(0x3a, 0x2c, 0x48));
    p.fillRect(img.rect(), sky);
    // stars
    Rng rng(4242);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 90; ++i) {
        const double x = rng.Unit() * MapW, y = rng.Unit() * 250;
        const int a = 80 + rng.Range(0, 150);
        p.setBrush(QColor(255, 250, 230, a));
        p.drawEllipse(QPointF(x, y), 0.8, 0.8);
    }
    // moon with a glow
    QRadialGradient glow(QPointF(300, 70), 90);
    glow.setColorAt(0, QColor(0xff, 0xf4, 0xd0, 120));
    glow.setColorAt(1, QColor(0xff, 0xf4, 0xd0, 0));
    p.setBrush(glow);
    p.drawEllipse(QPointF(300, 70), 90, 90);
    p.setBrush(QColor(0xfb, 0xf1, 0xd4));
    p.drawEllipse(QPointF(300, 70), 30, 30);
    p.setBrush(QColor(0xe8, 0xdc, 0xb8));
    p.drawEllipse(QPointF(290, 62), 6, 5);
    p.drawEllipse(QPointF(310, 80), 4, 4);

    // the mansion and its grounds
    const double ground = 340;
    Mansion(p, ground);
    QLinearGradient lawn(0, ground, 0, MapH);
    lawn.setColorAt(0, QColor(0x16, 0x24, 0x1a));
    lawn.setColorAt(1, QColor(0x08, 0x0c, 0x0a));
    p.setBrush(lawn);
    p.drawRect(QRectF(0, ground, MapW, MapH - ground));
    // path to the door
    QPolygonF path;
    path << QPointF(182, ground) << QPointF(202, ground) << QPointF(250, MapH) << QPointF(134, MapH);
    p.setBrush(QColor(0x3a, 0x34, 0x30));
    p.drawPolygon(path);
    // bare trees
    p.setPen(QPen(QColor(0x06, 0x08, 0x0c), 3, Qt::SolidLine, Qt::RoundCap));
    auto branch = [&](auto&& self, QPointF from, double angle, double len, int depth) -> void {
        if (depth == 0)
            return;
        const QPointF to = from + QPointF(std::cos(angle) * len, -std::sin(angle) * len);
        p.setPen(QPen(QColor(0x06, 0x08, 0x0c), depth * 0.9, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(from, to);
        self(self, to, angle + 0.45, len * 0.72, depth - 1);
        self(self, to, angle - 0.38, len * 0.7, depth - 1);
    };
    branch(branch, QPointF(12, ground + 30), 1.45, 60, 6);
    branch(branch, QPointF(372, ground + 36), 1.7, 54, 6);

    // title
    QFont big = JpFont(58, true);
    big.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    QLinearGradient goldText(0, 120, 0, 180);
    goldText.setColorAt(0, QColor(0xff, 0xe8, 0xa8));
    goldText.setColorAt(1, QColor(0xc0, 0x8a, 0x34));
    {
        QFontMetricsF fm(big);
        const QString t = QStringLiteral("VELMORA");
        const double w = fm.horizontalAdvance(t);
        QPainterPath tp;
        tp.addText(QPointF((MapW - w) / 2, 176), big, t);
        p.setPen(QPen(QColor(0x20, 0x10, 0x06), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tp);
        p.setPen(Qt::NoPen);
        p.setBrush(goldText);
        p.drawPath(tp);
    }
    DrawText(p, QRectF(0, 100, MapW, 24), QString::fromUtf8("― 洋館推理ゲーム ―"), JpFont(16, true),
             pal::Parchment, QColor(0x10, 0x0c, 0x20), 3);
    DrawText(p, QRectF(0, 186, MapW, 30), QString::fromUtf8("ヴェルモラ館の殺人"), JpFont(24, true),
             QColor(0xf4, 0xe8, 0xd0), QColor(0x3a, 0x0c, 0x14), 4);
    // a thin gold rule with a diamond
    p.setPen(QPen(pal::Gold, 1.2));
    p.drawLine(QPointF(92, 226), QPointF(180, 226));
    p.drawLine(QPointF(204, 226), QPointF(292, 226));
    p.setBrush(pal::Gold);
    QPolygonF dia;
    dia << QPointF(192, 220) << QPointF(198, 226) << QPointF(192, 232) << QPointF(186, 226);
    p.drawPolygon(dia);
    DrawText(p, QRectF(0, 388, MapW, 20), QString::fromUtf8("犯人・凶器・現場を推理せよ"), JpFont(13),
             QColor(0xe0, 0xd4, 0xb8), QColor(0, 0, 0), 2.5);
    p.setPen(QPen(pal::GoldDark, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(3, 3, MapW - 6, MapH - 6));
    p.setPen(QPen(pal::Gold, 1));
    p.drawRect(QRectF(6.5, 6.5, MapW - 13, MapH - 13));
    p.end();
    return img.convertToFormat(QImage::Format_RGB32);
}

// Gold arrow pointing at the row of the player whose turn it is.
QImage DrawCursor()
{
    QImage art = NewArt(32, 56);
    QPainter p(&art);
    SetupPainter(p);
    QPainterPath a;
    a.moveTo(3, 18);
    a.lineTo(15, 18);
    a.lineTo(15, 8);
    a.lineTo(30, 28);
    a.lineTo(15, 48);
    a.lineTo(15, 38);
    a.lineTo(3, 38);
    a.closeSubpath();
    QLinearGradient g(0, 8, 0, 48);
    g.setColorAt(0, QColor(0xff, 0xe6, 0x90));
    g.setColorAt(0.5, QColor(0xe0, 0xaa, 0x3a));
    g.setColorAt(1, QColor(0xa8, 0x70, 0x1c));
    p.setPen(QPen(pal::Ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(g);
    p.drawPath(a);
    p.setPen(QPen(QColor(0xff, 0xf4, 0xc8), 1.2));
    p.drawLine(QPointF(5, 21), QPointF(15.5, 21));
    p.end();
    return Keyed(art);
}

}  // namespace

void MakeBoard(const std::string& out)
{
    const std::string dir = out + "/res/bitmaps/";
    SaveBmp(dir + "BACKPTN.bmp", DrawBackTile());
    SaveBmp(dir + "MAP.bmp", DrawMap());
    SaveBmp(dir + "TITLE.bmp", DrawTitle());
    SaveBmp(dir + "CURSOR.bmp", DrawCursor());
}

}  // namespace gen
