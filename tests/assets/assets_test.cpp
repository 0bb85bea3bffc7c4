// The committed pictures and sounds: the board picture agrees with the board
// table cell by cell, every built-in resource loads with its size, and the
// data folders hold what the client looks up by name.
#include "BoardTables.h"
#include "ResourcePaths.h"

#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr QRgb CorridorEven = 0xFFD8C49A;
constexpr QRgb CorridorOdd = 0xFFCDB68B;
constexpr QRgb DoorColour = 0xFF8E4A2B;
constexpr QRgb SpotColour = 0xFFB0202A;
constexpr QRgb KeyGreen = 0xFF00FF00;

QImage Bitmap(const std::string& name)
{
    return QImage(QString::fromStdString(assets::BitmapResourcePath(name)));
}

bool IsDoor(uint16_t code) { return code != 0 && code != 1 && code != 0x19; }

TEST(BoardPicture, EveryCellShowsItsClassAtItsCentre)
{
    const QImage map = Bitmap("MAP");
    ASSERT_FALSE(map.isNull());
    ASSERT_EQ(map.size(), QSize(384, 416));
    int doors = 0;
    for (int y = 0; y < BoardHeight; ++y)
        for (int x = 0; x < BoardWidth; ++x) {
            const uint16_t code = BoardMap[x + BoardWidth * y];
            const QRgb c = map.pixel(16 * x + 8, 16 * y + 8) | 0xFF000000;
            SCOPED_TRACE("cell (" + std::to_string(x) + "," + std::to_string(y) + ")");
            if (code == 0)
                EXPECT_EQ(c, ((x + y) & 1) ? CorridorOdd : CorridorEven);
            else if (code == 0x19)
                EXPECT_EQ(c, SpotColour);
            else if (IsDoor(code)) {
                EXPECT_EQ(c, DoorColour);
                // The chevron sits on the corridor side: below for a door
                // entered Up, above for Down, right for Left, left for Right.
                const int side = (code & 0x10) ? 0 : (code & 0x20) ? 1 : (code & 0x40) ? 2 : 3;
                const int ox[4] = {0, 0, 5, -5}, oy[4] = {5, -5, 0, 0};
                const QRgb near = map.pixel(16 * x + 8 + ox[side], 16 * y + 8 + oy[side]);
                const QRgb far = map.pixel(16 * x + 8 - ox[side], 16 * y + 8 - oy[side]);
                EXPECT_GT(qGray(near), 180);
                EXPECT_LT(qGray(far), 140);
                ++doors;
            } else {
                EXPECT_NE(c, CorridorEven);
                EXPECT_NE(c, CorridorOdd);
                EXPECT_NE(c, DoorColour);
                EXPECT_NE(c, SpotColour);
            }
        }
    EXPECT_EQ(doors, 17);
}

// Each exit of a room leads from one of its doors, and stepping back in from
// that exit is the arrow the door carries.
TEST(BoardTables, ExitsLeaveThroughTheRoomsOwnDoors)
{
    const int dx[4] = {0, 0, -1, 1}, dy[4] = {-1, 1, 0, 0};
    const int opposite[4] = {1, 0, 3, 2};
    for (int room = 0; room < 9; ++room) {
        int exits = 0;
        for (int dir = 0; dir < 4; ++dir) {
            const int x = RoomTable[room][2 * dir], y = RoomTable[room][2 * dir + 1];
            if (x == -1)
                continue;
            ++exits;
            SCOPED_TRACE("room " + std::to_string(room) + " direction " + std::to_string(dir));
            EXPECT_EQ(BoardMap[x + BoardWidth * y], 0) << "an exit is a corridor cell";
            const int doorX = x - dx[dir], doorY = y - dy[dir];
            const uint16_t door = BoardMap[doorX + BoardWidth * doorY];
            EXPECT_EQ(door & 0x0F, room);
            EXPECT_EQ(door & 0xF0, 0x10 << opposite[dir]);
        }
        EXPECT_GE(exits, 1);
        const int passage = RoomTable[room][32];
        if (passage >= 0) {
            EXPECT_EQ(RoomTable[passage][32], room) << "passages run both ways";
        }
    }
    EXPECT_EQ(BoardMap[12 + BoardWidth * 16], 0x19);
    EXPECT_EQ(RoomTable[8][31], 25);  // the study's last weapon spot lies below the map
}

struct Resource {
    std::string name;
    int w, h;
    bool keyed;  // drawn over something else: the corner is the green key
};

TEST(BuiltInBitmaps, EachLoadsWithItsSize)
{
    std::vector<Resource> table = {
        {"BACKPTN", 64, 64, false}, {"MAP", 384, 416, false}, {"TITLE", 384, 416, false},
        {"CURSOR", 32, 56, true},   {"CKYOUKI", 64, 96, false}, {"PLACE", 64, 96, false},
        {"CARDURA", 64, 96, false}, {"BATSU", 14, 14, true},   {"MARU", 14, 14, true},
        {"SANKAKU", 14, 14, true},  {"SANKAKU2", 14, 14, true},
    };
    for (int i = 0; i < 6; ++i) {
        const std::string n = std::to_string(i), n1 = std::to_string(i + 1);
        table.push_back({"KOMA" + n, 16, 24, true});
        table.push_back({"BKOMA" + n, 16, 16, true});
        table.push_back({"PERSON" + n1, 64, 96, false});
        table.push_back({"CKYOUKI" + n1, 56, 72, false});
    }
    for (int n = 0; n <= 6; ++n) {
        table.push_back({"SAI" + std::to_string(n), 40, 48, false});
        table.push_back({"REST" + std::to_string(n), 40, 48, false});
    }
    for (int r = 1; r <= 9; ++r)
        table.push_back({"PLACE" + std::to_string(r), 56, 72, false});
    for (const Resource& r : table) {
        SCOPED_TRACE(r.name);
        const QImage img = Bitmap(r.name);
        ASSERT_FALSE(img.isNull());
        EXPECT_EQ(img.size(), QSize(r.w, r.h));
        EXPECT_EQ(img.pixel(0, 0) == KeyGreen, r.keyed);
    }
}

TEST(BuiltInSounds, EachIsSixteenBitMonoPcm)
{
    for (const char* name : {"CHECKSND", "CHECKSND2", "DOORSND1", "FOOTSND1", "FOOTSND2", "SAISND"}) {
        SCOPED_TRACE(name);
        QFile f(QString::fromStdString(assets::SoundResourcePath(name)));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray b = f.readAll();
        ASSERT_GE(b.size(), 44);
        auto u16 = [&](int at) { return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8); };
        auto u32 = [&](int at) { return uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16; };
        EXPECT_EQ(b.left(4), "RIFF");
        EXPECT_EQ(b.mid(8, 8), "WAVEfmt ");
        EXPECT_EQ(u16(20), 1);  // PCM
        EXPECT_EQ(u16(22), 1);  // mono
        EXPECT_EQ(u16(34), 16);
        EXPECT_EQ(b.mid(36, 4), "data");
        EXPECT_EQ(u32(40), uint32_t(b.size() - 44));
        EXPECT_GT(u32(40), 1000u);
    }
}

std::string DataPath(const std::string& rel) { return std::string(VELMORA_ASSETS_DIR) + "/" + rel; }

QImage DataBitmap(const std::string& rel) { return QImage(QString::fromStdString(DataPath(rel))); }

// Width and height from a JPEG's frame header.
bool JpegSize(const std::string& path, int& w, int& h)
{
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> d((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (d.size() < 4 || d[0] != 0xFF || d[1] != 0xD8)
        return false;
    size_t i = 2;
    while (i + 9 < d.size()) {
        if (d[i] != 0xFF)
            return false;
        const uint8_t marker = d[i + 1];
        const size_t len = size_t(d[i + 2]) << 8 | d[i + 3];
        if (marker >= 0xC0 && marker <= 0xC2) {
            h = d[i + 5] << 8 | d[i + 6];
            w = d[i + 7] << 8 | d[i + 8];
            return true;
        }
        i += 2 + len;
    }
    return false;
}

TEST(DataFolders, FacesAndPortraitsOfEveryNamedCharacter)
{
    // The five default computer players, and two faces offered to people.
    for (const char* name : {"黄山忠助", "白鳳院雛子", "グリーン牧師", "水那祥子", "紫条院隆典", "探偵", "メイド"}) {
        SCOPED_TRACE(name);
        const QImage face = DataBitmap(std::string("faces/") + name + ".bmp");
        ASSERT_FALSE(face.isNull());
        EXPECT_EQ(face.size(), QSize(56, 56));
        EXPECT_EQ(face.pixel(0, 0), KeyGreen);
        const QImage bust = DataBitmap(std::string("bustup/") + name + ".bmp");
        ASSERT_FALSE(bust.isNull());
        EXPECT_EQ(bust.size(), QSize(160, 240));
        EXPECT_EQ(bust.pixel(0, 0), KeyGreen);
        EXPECT_EQ(bust.depth(), 32);  // read from a 24-bit file
    }
    const QImage unknown = DataBitmap("faces/unknown.bmp");
    ASSERT_FALSE(unknown.isNull());
    EXPECT_EQ(unknown.size(), QSize(56, 56));
    for (int seat = 0; seat < 6; ++seat) {
        const QImage bust = DataBitmap("bustup/default" + std::to_string(seat) + ".bmp");
        ASSERT_FALSE(bust.isNull()) << seat;
        EXPECT_EQ(bust.size(), QSize(160, 240));
    }
}

TEST(DataFolders, RoomBackgroundsAreJpegsOfTheRoomViewSize)
{
    for (int room = 0; room <= 9; ++room) {
        int w = 0, h = 0;
        ASSERT_TRUE(JpegSize(DataPath("bg/room" + std::to_string(room) + ".jpg"), w, h)) << room;
        EXPECT_EQ(w, 384);
        EXPECT_EQ(h, 296);
    }
}

}  // namespace
