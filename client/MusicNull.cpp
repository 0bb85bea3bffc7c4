#include <filesystem>
#include <system_error>

#include "Music.h"

namespace client {

std::vector<std::string> TNullMusicPlayer::LoadFiles(const std::string& folder) {
  std::vector<std::string> missing;
  for (const char* f : kMusicFiles) {
    std::string path = folder + "/" + f;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) missing.push_back(path);
  }
  return missing;
}

}  // namespace client
