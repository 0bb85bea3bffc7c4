// velmora: the game client.
#include <QApplication>
#include <QFont>
#include <QSocketNotifier>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <exception>

#include "ClientApp.h"
#include "Music.h"
#include "TestControl.h"
#include "MessageBox.h"
#include "SocketConnection.h"
#include "TextCodec.h"
#include "WaveSound.h"

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 1;
  [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &c, 1);
}

// SIGTERM and SIGINT close the main window as its close box does: the
// settings are saved and the connection closed before the program ends.
void CloseOnSignals(QWidget* main) {
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, main);
  QObject::connect(notifier, &QSocketNotifier::activated, main, [main] {
    char buf[16];
    while (::read(signalPipe[0], buf, sizeof buf) > 0) {
    }
    main->close();
  });
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &sa, nullptr);
  ::sigaction(SIGINT, &sa, nullptr);
}

}  // namespace

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
    CloseOnSignals(&forms.Main());
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
