// velmora.ini: the server, the player, the game options and the names of
// the computer players.
#pragma once

#include <array>
#include <string>

namespace client {

inline constexpr const char kSettingsFileName[] = "velmora.ini";

struct TClientSettings {
  std::string address = "127.0.0.1";  // [Server] IPADDR
  std::string port = "3201";          // [Server] PORT
  std::string name;                   // [User] NAME
  std::string face;                   // [User] FACE
  bool kokusoMode = true;             // [Option] KOKUSOMODE: accusation anywhere
  bool suiriMode = false;             // [Option] SUIRIMODE: a suggestion moves the suspect
  int cpuCount = 0;                   // [Option] CPUCOUNT, 0-5
};

// Reads the [Server], [User] and [Option] values; missing or malformed
// values give the defaults, CPUCOUNT is clamped to 0-5.
TClientSettings LoadSettings(const std::string& path);

// Writes the settings and the raw names of the five computer-player slots
// ([NPC] NPC1-NPC5), keeping every other line of the file. Returns false and
// fills error when the file cannot be written.
bool SaveSettings(const std::string& path, const TClientSettings& s,
                  const std::array<std::string, 5>& npcRawNames, std::string* error);

}  // namespace client
