// Test hook: with VELMORA_TEST_CONTROL=PATH the client listens on a local
// socket at PATH; each command line presses a control or makes a dialog
// choice through the same slots the widgets call, and is answered with one
// line holding the game state, seat, turn and the enabled controls.
//   state | click NAME | pick ROOM PERSON WEAPON | pickcancel | show INDEX |
//   result | confirm | scripts
// NAME: die suggest accuse out start up down left right up2 down2.
#pragma once

#include <QObject>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace client {

class TKestClientForm;

class TTestControl : public QObject {
 public:
  TTestControl(TKestClientForm* main, const std::string& path);
  ~TTestControl() override;
  bool Listening() const { return listenFd_ >= 0; }
  // Runs one command and returns the answer line (no line end).
  std::string Execute(const std::string& command);
  std::string StateLine() const;

 private:
  void Accept();
  void Read(int fd);
  void Drop(int fd);
  TKestClientForm* main_;
  std::string path_;
  int listenFd_ = -1;
  std::unique_ptr<QSocketNotifier> acceptNotifier_;
  struct Peer {
    int fd;
    std::string buffer;
    std::unique_ptr<QSocketNotifier> notifier;
  };
  std::vector<std::unique_ptr<Peer>> peers_;
};

// The hook when the variable is set, else nothing.
std::unique_ptr<TTestControl> StartTestControl(TKestClientForm* main);

}  // namespace client
