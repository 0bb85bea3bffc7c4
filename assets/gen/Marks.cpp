// Notebook marks, 14 x 14 on the green key: cross, circle and the two
// triangles on which the notebook writes a digit.
#include "Art.h"
#include "Common.h"

#include <QPainterPath>

namespace gen {
namespace {

QImage Cross()
{
    QImage art = NewArt(14, 14);
    QPainter p(&art);
    SetupPainter(p);
    p.setPen(QPen(QColor(0x5a, 0x08, 0x0c), 4.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3, 3), QPointF(11, 11));
    p.drawLine(QPointF(11, 3), QPointF(3, 11));
    p.setPen(QPen(QColor(0xd8, 0x20, 0x28), 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3, 3), QPointF(11, 11));
    p.drawLine(QPointF(11, 3), QPointF(3, 11));
    p.end();
    return Keyed(art, QColor(0x5a, 0x08, 0x0c));
}

QImage Circle()
{
    QImage art = NewArt(14, 14);
    QPainter p(&art);
    SetupPainter(p);
    p.setPen(QPen(QColor(0x0c, 0x24, 0x5a), 4.2));
    p.drawEllipse(QPointF(7, 7), 4.8, 4.8);
    p.setPen(QPen(QColor(0x28, 0x6c, 0xd8), 2.2));
    p.drawEllipse(QPointF(7, 7), 4.8, 4.8);
    p.end();
    return Keyed(art, QColor(0x0c, 0x24, 0x5a));
}

QImage Triangle(bool down)
{
    QImage art = NewArt(14, 14);
    QPainter p(&art);
    SetupPainter(p);
    QPolygonF t;
    if (down)
        t << QPointF(0.8, 1) << QPointF(13.2, 1) << QPointF(7, 13);
    else
        t << QPointF(7, 1) << QPointF(13.2, 13) << QPointF(0.8, 13);
    const QColor edge = down ? QColor(0x1a, 0x4a, 0x8a) : QColor(0x9a, 0x5a, 0x08);
    p.setPen(QPen(edge, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(down ? QColor(0xb8, 0xd8, 0xf8) : QColor(0xfc, 0xe2, 0x8a));
    p.drawPolygon(t);
    p.end();
    return Keyed(art, edge);
}

}  // namespace

void MakeMarks(const std::string& out)
{
    const std::string dir = out + "/res/bitmaps/";
    SaveBmp(dir + "BATSU.bmp", Cross());
    SaveBmp(dir + "MARU.bmp", Circle());
    SaveBmp(dir + "SANKAKU.bmp", Triangle(false));
    SaveBmp(dir + "SANKAKU2.bmp", Triangle(true));
}

}  // namespace gen
