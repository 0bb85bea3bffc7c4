// Background music as the main window asks for it: six files by index
// (0 main, 1 suggestion, 2 accusation, 3 title, 4 won, 5 lost). The MIDI
// library plays them; the null player keeps silence.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace client {

inline constexpr const char* kMusicFiles[6] = {"main.mid", "suiri.mid", "kokuso.mid",
                                               "op.mid",   "win.mid",   "lose.mid"};

class TMusicPlayer {
 public:
  virtual ~TMusicPlayer() = default;
  // Reads the six files of folder; returns the paths of those missing.
  virtual std::vector<std::string> LoadFiles(const std::string& folder) = 0;
  // 0-3 loop, 4 and 5 play once; the index now playing is not restarted;
  // any other index stops the music.
  virtual void PlayMusic(int index) = 0;
  virtual int CurrentMusic() const = 0;
};

// Plays nothing, but keeps the index as a player would.
class TNullMusicPlayer : public TMusicPlayer {
 public:
  std::vector<std::string> LoadFiles(const std::string& folder) override;
  void PlayMusic(int index) override { current_ = index >= 0 && index <= 5 ? index : -1; }
  int CurrentMusic() const override { return current_; }

 private:
  int current_ = -1;
};

// The MIDI library's player when it is part of the build, else the null one.
std::unique_ptr<TMusicPlayer> CreateMusicPlayer();

}  // namespace client
