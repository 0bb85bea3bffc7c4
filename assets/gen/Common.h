// Shared helpers of the asset generator: the palette, fonts, keyed (green
// background) pictures and the writers for BMP, JPEG and WAV files.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace gen {

// Transparent key colour of every picture drawn over something else.
constexpr QRgb KeyGreen = 0xFF00FF00;

// The palette all pictures share.
namespace pal {
const QColor Ink(0x1a, 0x1c, 0x2a);       // outlines, night sky
const QColor Navy(0x22, 0x2c, 0x4a);
const QColor Wine(0x6e, 0x1c, 0x2a);
const QColor Gold(0xd8, 0xb1, 0x5a);
const QColor GoldDark(0x9a, 0x74, 0x2c);
const QColor Parchment(0xf1, 0xe6, 0xc8);
const QColor Wood(0x6a, 0x44, 0x26);
const QColor WoodDark(0x3e, 0x27, 0x16);
const QColor Stone(0x4a, 0x48, 0x4e);
const QColor Skin(0xf2, 0xcf, 0xae);
const QColor SkinShade(0xd9, 0xa8, 0x86);
}  // namespace pal

// Seat colours 0-5: red, yellow, white, green, aqua, purple.
QColor SeatColour(int seat);

// Deterministic pseudo-random numbers (no global state, fixed sequence).
class Rng {
public:
    explicit Rng(uint32_t seed) : s_(seed ? seed : 1) {}
    uint32_t Next();
    double Unit();                       // [0, 1)
    int Range(int lo, int hi);           // [lo, hi]
private:
    uint32_t s_;
};

// IPA Gothic at a pixel size.
QFont JpFont(int pixelSize, bool bold = false);
// Registers the IPA Gothic font file; false when it is missing.
bool LoadFonts();

// A transparent ARGB canvas and a painter set up for antialiased drawing.
QImage NewArt(int w, int h);
void SetupPainter(QPainter& p);

// Turns a transparent drawing into an opaque picture on the green key: pixels
// at least half covered are blended over `matte` (the outline colour, so
// edges never fringe green), the rest become the key. No opaque pixel is left
// equal to the key.
QImage Keyed(const QImage& art, QColor matte = pal::Ink);
// An opaque copy (alpha blended over `under`).
QImage Opaque(const QImage& art, QColor under);

// Text centred in a rectangle, with an optional dark outline.
void DrawText(QPainter& p, const QRectF& r, const QString& text, const QFont& f,
              QColor fill, QColor outline = QColor(), double outlineWidth = 0,
              int flags = Qt::AlignCenter);
// The largest pixel size <= maxSize at which `text` fits in `width`.
int FitFontSize(const QString& text, double width, int maxSize, bool bold = false);

// File writers; they throw std::runtime_error on failure.
void SaveBmp(const std::string& path, const QImage& img);        // 24-bit
void SaveJpeg(const std::string& path, const QImage& img, int quality);
void SaveWav(const std::string& path, const std::vector<int16_t>& samples, int rate);

}  // namespace gen
