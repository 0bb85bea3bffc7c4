// The client's background music: the six files of the folder `music`, held
// in memory and played by index through one TMidiStream.
//
// The main window makes one at start-up, calls LoadFiles(program folder +
// "/music") and reports the names it returns, routes the player's error
// boxes to its message-box seam with
//   Player().SetMessageBoxHook([](const std::string& text, const std::string& caption) {...});
// (Shift-JIS text, shown with an OK button and no owner window) and calls
// PlayMusic where the game changes its music.
#pragma once

#include "midistrm.h"

#include <array>
#include <sstream>
#include <string>
#include <vector>

namespace midi {

class MusicPlayer {
 public:
  static constexpr int kMusicCount = 6;
  // Music index 0-5: main, suggestion, accusation, title, won, lost.
  static const std::array<const char*, kMusicCount> MusicFiles;

  // `driver` null: the process's MIDI output.
  explicit MusicPlayer(MidiDriver* driver = nullptr);

  // Reads the six files from `folder`; returns the names of those that
  // cannot be read (their index then plays nothing).
  std::vector<std::string> LoadFiles(const std::string& folder);

  // 0-3 loop, 4 and 5 play once; the index now playing is not restarted;
  // any other index stops the music.
  void PlayMusic(int index);
  // The index last started, -1 after a stop.
  int CurrentMusic() const { return current_; }

  TMidiStream& Player() { return player_; }

 private:
  TMidiStream player_;
  std::array<std::istringstream, kMusicCount> streams_;
  std::array<bool, kMusicCount> present_{};
  int current_ = -1;
};

}  // namespace midi
