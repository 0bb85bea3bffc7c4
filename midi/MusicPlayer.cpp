#include "MusicPlayer.h"

#include <fstream>
#include <iterator>

namespace midi {

const std::array<const char*, MusicPlayer::kMusicCount> MusicPlayer::MusicFiles = {
    "main.mid", "suiri.mid", "kokuso.mid", "op.mid", "win.mid", "lose.mid"};

MusicPlayer::MusicPlayer(MidiDriver* driver) : player_(nullptr, driver) {}

std::vector<std::string> MusicPlayer::LoadFiles(const std::string& folder) {
  std::vector<std::string> missing;
  for (int i = 0; i < kMusicCount; ++i) {
    std::ifstream in(folder + "/" + MusicFiles[i], std::ios::binary);
    std::string bytes;
    if (in.is_open())
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    present_[i] = in.is_open() && !in.bad();
    if (!present_[i]) missing.push_back(MusicFiles[i]);
    streams_[i].str(present_[i] ? bytes : std::string());
  }
  return missing;
}

void MusicPlayer::PlayMusic(int index) {
  if (index < 0 || index >= kMusicCount) {
    player_.Stop();
    current_ = -1;
    return;
  }
  if (index == current_) return;
  player_.Stop();
  current_ = index;
  if (!present_[index]) return;
  std::istringstream& stream = streams_[index];
  stream.clear();
  stream.seekg(0);
  player_.SetLoopMode(index <= 3);
  player_.LoadStream(stream);
  player_.Play();
}

}  // namespace midi
