// A whole game of one person and five computer players, headless: a server
// process and one client process whose person is played through the client's
// test control. The person never accuses; it rolls, walks to a room, ends its
// turns, confirms and shows a card when asked. Used by the players' benchmark
// and the end-to-end tests of the computer players.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace npcbench {

struct TTableOptions {
  std::string serverPath, clientPath;  // the two programs
  std::string facesDir;                // face pictures for the client's folder
  std::string npcDir;                  // the scripts the client's folder gets
  uint32_t seed = 1;                   // VELMORA_SEED of both programs
  bool accuseAnywhere = true;          // the host's accusation mode
  int maxRounds = 300;                 // the person's turns before the game is given up
  double stallSeconds = 60;            // no turn passes that long: a stall
  std::string workDir;                 // where the client's folder goes ("" the temp folder)
};

struct TGameResult {
  bool played = false;   // the game started
  int winner = -1;       // the winner's seat
  bool ended = false;    // ended without a winner
  int rounds = 0;        // the person's turns
  std::vector<int> out;  // seats out after a wrong accusation
  bool stalled = false;  // no turn passed within the stall time
  std::string lastState;
  // The client's script figures.
  long long events = 0, longestEventUs = 0;
  int failedEvents = 0, stoppedEvents = 0;
  double seconds = 0;
  std::string error;     // why the game could not be played
  std::string clientLog; // the client's standard error
};

TGameResult PlayTable(const TTableOptions& options);

}  // namespace npcbench
