#include "Settings.h"

#include <algorithm>

#include "IniFile.h"

namespace client {

TClientSettings LoadSettings(const std::string& path) {
  plat::TIniFile ini(path);
  TClientSettings s;
  s.address = ini.ReadString("Server", "IPADDR", s.address);
  s.port = ini.ReadString("Server", "PORT", s.port);
  s.name = ini.ReadString("User", "NAME", "");
  s.face = ini.ReadString("User", "FACE", "");
  s.kokusoMode = ini.ReadBool("Option", "KOKUSOMODE", true);
  s.suiriMode = ini.ReadBool("Option", "SUIRIMODE", false);
  s.cpuCount = std::clamp(ini.ReadInteger("Option", "CPUCOUNT", 0), 0, 5);
  return s;
}

bool SaveSettings(const std::string& path, const TClientSettings& s,
                  const std::array<std::string, 5>& npcRawNames, std::string* error) {
  plat::TIniFile ini(path);
  ini.WriteString("Server", "IPADDR", s.address);
  ini.WriteString("Server", "PORT", s.port);
  ini.WriteString("User", "NAME", s.name);
  ini.WriteString("User", "FACE", s.face);
  ini.WriteBool("Option", "KOKUSOMODE", s.kokusoMode);
  ini.WriteBool("Option", "SUIRIMODE", s.suiriMode);
  ini.WriteInteger("Option", "CPUCOUNT", std::clamp(s.cpuCount, 0, 5));
  for (int i = 0; i < 5; ++i)
    ini.WriteString("NPC", "NPC" + std::to_string(i + 1), npcRawNames[i]);
  return ini.UpdateFile(error);
}

}  // namespace client
