// Built-in bitmaps and wave sounds (Qt resources of the client_res library)
// and text conversion for widgets. A missing resource loads as an empty
// picture or sound, so the program runs without them.
#pragma once

#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QString>
#include <string>

class QWidget;

namespace client {

// ":/res/bitmaps/<name>.bmp"; a null image when absent.
QImage LoadBitmapResource(const char* name);
// The same with the colour 0x00FF00 made transparent.
QImage LoadTransparentBitmap(const char* name);
QImage MakeGreenTransparent(const QImage& img);
// ":/res/sounds/<name>.wav"; empty when absent.
QByteArray LoadSoundResource(const char* name);

// The Japanese Gothic face the windows draw their texts in, at px pixels.
QFont GothicFont(int px, bool bold = false);
// Centres w horizontally in a parent width pixels wide.
void CentreX(QWidget* w, int width);
// Shows a window in front of the others, active.
void BringToFront(QWidget* w);
// Moves a window, frame included, to the middle of the screen that holds it.
void CentreOnScreen(QWidget* w);
// From now on, each time w is shown it stands, frame included, in the middle
// of the screen that holds main.
void CentreWhenShown(QWidget* w, const QWidget* main);

// Shift-JIS bytes to a widget text and back.
QString Q(const std::string& sjis);
inline QString Q(const char* sjis) { return Q(std::string(sjis)); }
std::string S(const QString& text);

}  // namespace client
