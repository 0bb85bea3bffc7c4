#include "Common.h"

#include <QFontDatabase>
#include <QPainterPath>

#include <cstdio>
#include <jpeglib.h>
#include <stdexcept>

namespace gen {

QColor SeatColour(int seat)
{
    static const QColor colours[6] = {
        QColor(0xff, 0x00, 0x00), QColor(0xff, 0xff, 0x00), QColor(0xff, 0xff, 0xff),
        QColor(0x00, 0x80, 0x00), QColor(0x00, 0xff, 0xff), QColor(0x80, 0x00, 0x80)};
    return colours[seat % 6];
}

uint32_t Rng::Next()
{
    // xorshift32
    s_ ^= s_ << 13;
    s_ ^= s_ >> 17;
    s_ ^= s_ << 5;
    return s_;
}

double Rng::Unit() { return (Next() >> 8) / double(1u << 24); }

int Rng::Range(int lo, int hi) { return lo + int(Next() % uint32_t(hi - lo + 1)); }

static QString g_family;

bool LoadFonts()
{
    const int id = QFontDatabase::addApplicationFont(
        QStringLiteral("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"));
    if (id < 0)
        return false;
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty())
        return false;
    g_family = families.front();
    return true;
}

QFont JpFont(int pixelSize, bool bold)
{
    QFont f(g_family);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QImage NewArt(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void SetupPainter(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

QImage Keyed(const QImage& art, QColor matte)
{
    const QImage src = art.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(src.size(), QImage::Format_RGB32);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        QRgb* o = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            const int a = qAlpha(in[x]);
            if (a < 128) {
                o[x] = KeyGreen;
                continue;
            }
            const int r = qRed(in[x]) + matte.red() * (255 - a) / 255;
            const int g = qGreen(in[x]) + matte.green() * (255 - a) / 255;
            const int b = qBlue(in[x]) + matte.blue() * (255 - a) / 255;
            QRgb c = qRgb(qMin(r, 255), qMin(g, 255), qMin(b, 255));
            if (c == KeyGreen)
                c = qRgb(0, 0xfe, 0);
            o[x] = c;
        }
    }
    return out;
}

QImage Opaque(const QImage& art, QColor under)
{
    QImage out(art.size(), QImage::Format_RGB32);
    out.fill(under);
    QPainter p(&out);
    p.drawImage(0, 0, art);
    p.end();
    return out;
}

void DrawText(QPainter& p, const QRectF& r, const QString& text, const QFont& f, QColor fill,
              QColor outline, double outlineWidth, int flags)
{
    p.save();
    p.setFont(f);
    if (outline.isValid() && outlineWidth > 0) {
        // Lay the text out once as a path so the outline follows the glyphs.
        QFontMetricsF fm(f);
        const double w = fm.horizontalAdvance(text);
        double x = r.left();
        if (flags & Qt::AlignHCenter)
            x = r.center().x() - w / 2;
        else if (flags & Qt::AlignRight)
            x = r.right() - w;
        double baseline = r.top() + fm.ascent();
        if (flags & Qt::AlignVCenter)
            baseline = r.center().y() + (fm.ascent() - fm.descent()) / 2;
        else if (flags & Qt::AlignBottom)
            baseline = r.bottom() - fm.descent();
        QPainterPath path;
        path.addText(QPointF(x, baseline), f, text);
        p.setPen(QPen(outline, outlineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawPath(path);
    } else {
        p.setPen(fill);
        p.drawText(r, flags, text);
    }
    p.restore();
}

int FitFontSize(const QString& text, double width, int maxSize, bool bold)
{
    for (int size = maxSize; size > 6; --size) {
        QFontMetricsF fm(JpFont(size, bold));
        if (fm.horizontalAdvance(text) <= width)
            return size;
    }
    return 6;
}

namespace {

void Put16(std::string& s, uint32_t v)
{
    s.push_back(char(v & 0xff));
    s.push_back(char((v >> 8) & 0xff));
}

void Put32(std::string& s, uint32_t v)
{
    Put16(s, v & 0xffff);
    Put16(s, v >> 16);
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot write " + path);
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok)
        throw std::runtime_error("cannot write " + path);
}

}  // namespace

void SaveBmp(const std::string& path, const QImage& img)
{
    const QImage src = img.convertToFormat(QImage::Format_RGB32);
    const uint32_t w = uint32_t(src.width()), h = uint32_t(src.height());
    const uint32_t stride = (w * 3 + 3) & ~3u;
    const uint32_t dataSize = stride * h;
    std::string s;
    s.reserve(54 + dataSize);
    s += "BM";
    Put32(s, 54 + dataSize);
    Put32(s, 0);
    Put32(s, 54);
    Put32(s, 40);  // BITMAPINFOHEADER
    Put32(s, w);
    Put32(s, h);   // positive: rows bottom-up
    Put16(s, 1);
    Put16(s, 24);
    Put32(s, 0);   // uncompressed
    Put32(s, dataSize);
    Put32(s, 2835);  // 72 dpi
    Put32(s, 2835);
    Put32(s, 0);
    Put32(s, 0);
    for (int y = int(h) - 1; y >= 0; --y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        for (uint32_t x = 0; x < w; ++x) {
            s.push_back(char(qBlue(line[x])));
            s.push_back(char(qGreen(line[x])));
            s.push_back(char(qRed(line[x])));
        }
        for (uint32_t pad = w * 3; pad < stride; ++pad)
            s.push_back(0);
    }
    WriteFile(path, s);
}

void SaveJpeg(const std::string& path, const QImage& img, int quality)
{
    const QImage src = img.convertToFormat(QImage::Format_RGB888);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot write " + path);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = JDIMENSION(src.width());
    cinfo.image_height = JDIMENSION(src.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = TRUE;
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(src.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    if (std::fclose(f) != 0)
        throw std::runtime_error("cannot write " + path);
}

void SaveWav(const std::string& path, const std::vector<int16_t>& samples, int rate)
{
    const uint32_t dataSize = uint32_t(samples.size() * 2);
    std::string s;
    s += "RIFF";
    Put32(s, 36 + dataSize);
    s += "WAVEfmt ";
    Put32(s, 16);
    Put16(s, 1);  // PCM
    Put16(s, 1);  // mono
    Put32(s, uint32_t(rate));
    Put32(s, uint32_t(rate) * 2);
    Put16(s, 2);
    Put16(s, 16);
    s += "data";
    Put32(s, dataSize);
    for (int16_t v : samples)
        Put16(s, uint16_t(v));
    WriteFile(path, s);
}

}  // namespace gen
