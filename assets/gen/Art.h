// The asset groups the generator draws; each writes its files below `out`.
#pragma once

#include <QImage>
#include <QPainter>
#include <QString>

#include <string>

namespace gen {

// Colours by which the board picture marks each cell class at the cell's
// centre pixel (16x + 8, 16y + 8); every other cell (code 1) avoids them.
constexpr QRgb CorridorEven = 0xFFD8C49A;  // corridor, x + y even
constexpr QRgb CorridorOdd = 0xFFCDB68B;   // corridor, x + y odd
constexpr QRgb DoorColour = 0xFF8E4A2B;    // door cells
constexpr QRgb SpotColour = 0xFFB0202A;    // the accusation spot

// Names of rooms 0-8 and weapons 0-5, as the cards show them.
QString RoomName(int room);
QString WeaponName(int weapon);

void MakeBoard(const std::string& out);     // BACKPTN, MAP, TITLE, CURSOR
void MakePieces(const std::string& out);    // KOMA*, BKOMA*, SAI*, REST*
void MakeCards(const std::string& out);     // card frames, pictures, back
void MakeMarks(const std::string& out);     // notebook marks
void MakePeople(const std::string& out);    // faces/ and bustup/
void MakeRooms(const std::string& out);     // bg/room0-9.jpg
void MakeSounds(const std::string& out);    // wave sounds

// Small weapon drawing shared by the pieces and the weapon cards: weapon w
// drawn to fill `r`.
void DrawWeapon(QPainter& p, int w, const QRectF& r);

// The scene of room 0-8, or 9 the grand staircase, 384 x 296 (the room
// backgrounds; the room cards show a part of it).
QImage RoomScene(int room);

}  // namespace gen
