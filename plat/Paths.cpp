#include "Paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace plat {

std::string ProgramDir() {
  if (const char* home = std::getenv("VELMORA_HOME"); home && *home) {
    std::string dir = home;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
  }
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path(ec).string();
  return exe.parent_path().string();
}

std::string ProgramFile(std::string_view relative) {
  std::string path = ProgramDir();
  path += '/';
  path += relative;
  return path;
}

}  // namespace plat
