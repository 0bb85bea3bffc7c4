// Background music as the main window asks for it. The player proper comes
// with the MIDI library; until one is given, music is silent.
#pragma once

#include <cstdint>
#include <vector>

namespace client {

class TMusicPlayer {
 public:
  virtual ~TMusicPlayer() = default;
  // Plays a whole standard MIDI file image from its start.
  virtual void Play(const std::vector<uint8_t>& file, bool loop) = 0;
  virtual void Stop() = 0;
};

class TNullMusicPlayer : public TMusicPlayer {
 public:
  void Play(const std::vector<uint8_t>&, bool) override {}
  void Stop() override {}
};

}  // namespace client
