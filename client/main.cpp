// velmora: the game client.
#include <QApplication>
#include <QFont>
#include <cstdio>
#include <exception>

#include "ClientApp.h"
#include "Music.h"
#include "TestControl.h"
#include "MessageBox.h"
#include "SocketConnection.h"
#include "TextCodec.h"
#include "WaveSound.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velmora"));
  // The window texts are drawn with a Japanese Gothic face.
  QFont::insertSubstitution(QString::fromUtf8("\xef\xbc\xad\xef\xbc\xb3 \xe3\x82\xb4\xe3\x82\xb7\xe3\x83\x83\xe3\x82\xaf"),
                            QStringLiteral("IPAGothic"));
  QFont font(QStringLiteral("IPAGothic"));
  font.setPixelSize(12);
  QApplication::setFont(font);
  try {
    client::TKestClientForm::Devices devices;
    devices.connection = client::CreateSocketConnection();
    devices.music = client::CreateMusicPlayer();
    std::string why;
    devices.sound = plat::CreateWaveSound(&why);
    if (devices.sound->IsNull() && !why.empty() && why != "VELMORA_SOUND=null")
      std::fprintf(stderr, "velmora: no sound: %s\n", why.c_str());
    client::TClientApp forms(std::move(devices));
    forms.Show();
    auto control = client::StartTestControl(&forms.Main());  // VELMORA_TEST_CONTROL only
    int rc = app.exec();
    int exitCode = forms.Main().ExitCode();
    return exitCode != 0 ? exitCode : rc;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmora: %s\n", plat::SjisToUtf8(e.what()).c_str());
    plat::MessageBox(nullptr, e.what(), "velmora", plat::mbOK, plat::miError);
    return 1;
  }
}
