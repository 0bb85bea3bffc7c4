// Generates every built-in picture and sound of the client and its data
// folders (faces, portraits, room backgrounds) into an assets folder.
// Usage: gen_assets <assets-folder>
#include "Art.h"
#include "Common.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <assets-folder>\n", argv[0]);
        return 2;
    }
    // No display is needed: everything is drawn into images.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (!gen::LoadFonts()) {
        std::fprintf(stderr, "gen_assets: the IPA Gothic font is missing (fonts-ipafont-gothic)\n");
        return 1;
    }
    const std::string out = argv[1];
    for (const char* sub : {"res/bitmaps", "res/sounds", "faces", "bustup", "bg"}) {
        if (!QDir().mkpath(QString::fromStdString(out + "/" + sub))) {
            std::fprintf(stderr, "gen_assets: cannot create %s/%s\n", out.c_str(), sub);
            return 1;
        }
    }
    try {
        gen::MakeBoard(out);
        gen::MakePieces(out);
        gen::MakeCards(out);
        gen::MakeMarks(out);
        gen::MakePeople(out);
        gen::MakeRooms(out);
        gen::MakeSounds(out);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gen_assets: %s\n", e.what());
        return 1;
    }
    return 0;
}
