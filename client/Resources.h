// Built-in bitmaps and wave sounds (Qt resources of the client_res library)
// and text conversion for widgets. A missing resource loads as an empty
// picture or sound, so the program runs without them.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <string>

namespace client {

// ":/res/bitmaps/<name>.bmp"; a null image when absent.
QImage LoadBitmapResource(const char* name);
// The same with the colour 0x00FF00 made transparent.
QImage LoadTransparentBitmap(const char* name);
QImage MakeGreenTransparent(const QImage& img);
// ":/res/sounds/<name>.wav"; empty when absent.
QByteArray LoadSoundResource(const char* name);

// Shift-JIS bytes to a widget text and back.
QString Q(const std::string& sjis);
inline QString Q(const char* sjis) { return Q(std::string(sjis)); }
std::string S(const QString& text);

}  // namespace client
