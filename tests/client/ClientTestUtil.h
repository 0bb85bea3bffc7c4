// Helpers for the client's window tests: an application object, a program
// folder with face pictures, and a connection that records what is sent.
#pragma once

#include <QApplication>
#include <QImage>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ClientConnection.h"

namespace clienttest {

// The application object of the test program's main.
inline QApplication& App() { return *qobject_cast<QApplication*>(QCoreApplication::instance()); }

class FakeConnection : public client::TClientConnection {
 public:
  void SetAddress(const std::string& a) override { address = a, host.clear(); }
  void SetHost(const std::string& h) override { host = h, address.clear(); }
  void SetPort(int p) override { port = p; }
  bool Open(std::string* error) override {
    ++opens;
    if (failOpen) {
      if (error) *error = "no route";
      return false;
    }
    active = true;
    return true;
  }
  void Close() override { active = false, ++closes; }
  bool Active() const override { return active; }
  void Send(const std::string& line) override { sent.push_back(line); }

  void Connect() { OnConnect(); }
  void Deliver(const std::string& line) { OnLineArrived(line); }

  std::string address, host;
  int port = -1;
  int opens = 0, closes = 0;
  bool active = false, failOpen = false;
  std::vector<std::string> sent;
};

// A 56 x 56 face picture: green background, a coloured square.
inline void WriteFace(const std::filesystem::path& file, QRgb colour) {
  QImage img(56, 56, QImage::Format_RGB32);
  img.fill(qRgb(0, 255, 0));
  for (int y = 10; y < 46; ++y)
    for (int x = 10; x < 46; ++x) img.setPixel(x, y, colour);
  img.save(QString::fromStdString(file.string()), "BMP");
}

// A program folder of its own, set as VELMORA_HOME.
struct HomeDir {
  std::filesystem::path path;
  explicit HomeDir(const std::string& tag) {
    path = std::filesystem::temp_directory_path() /
           ("velmora_home_" + std::to_string(::getpid()) + "_" + tag);
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path / "faces");
    // Computer players need a script: one that waits for its events.
    std::filesystem::create_directories(path / "npc");
    std::ofstream(path / "npc" / "default.sc")
        << "#include game\nint gMyIndex;\nint gMyUserId;\nvoid OnTurn() { }\n"
           "void OnOtherSuiriCheck(int a, int b, int c) { }\n"
           "export gMyIndex;\nexport gMyUserId;\nexport OnTurn;\nexport OnOtherSuiriCheck;\n";
    ::setenv("VELMORA_HOME", path.c_str(), 1);
  }
  ~HomeDir() {
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    std::filesystem::remove_all(path);
  }
  void Face(const std::string& utf8Name, QRgb colour = qRgb(200, 50, 50)) {
    WriteFace(path / "faces" / (utf8Name + ".bmp"), colour);
  }
  void Ini(const std::string& text) const {
    std::ofstream(path / "velmora.ini", std::ios::binary) << text;
  }
};

}  // namespace clienttest
