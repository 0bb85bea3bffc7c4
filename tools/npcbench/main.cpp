// velmora_npcbench: the computer players' strength, headless. Plays N games
// of one passive person and five computer players, one seed each, and prints
// per game the winner, the rounds to the win, every wrong accusation, stalls
// and the longest time the client's window waited for scripts; then totals.
//   velmora_npcbench [--games N] [--seed FIRST] [--npc DIR] [--anywhere 0|1]
//                    [--max-rounds R]
// The programs, faces/ and npc/ are taken from beside this program.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "NpcTable.h"

namespace {

std::string ProgramDir() {
  char path[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string p(path, size_t(n));
  return p.substr(0, p.rfind('/'));
}

int Usage() {
  std::fprintf(stderr,
               "usage: velmora_npcbench [--games N] [--seed FIRST] [--npc DIR] [--anywhere 0|1] "
               "[--max-rounds R]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = ProgramDir();
  npcbench::TTableOptions o;
  o.serverPath = dir + "/velmora_server";
  o.clientPath = dir + "/velmora";
  o.facesDir = dir + "/faces";
  o.npcDir = dir + "/npc";
  int games = 20;
  uint32_t first = 1;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) return Usage();
    std::string v = argv[++i];
    if (a == "--games") {
      games = std::atoi(v.c_str());
    } else if (a == "--seed") {
      first = uint32_t(std::strtoul(v.c_str(), nullptr, 10));
    } else if (a == "--npc") {
      o.npcDir = v;
    } else if (a == "--anywhere") {
      o.accuseAnywhere = v != "0";
    } else if (a == "--max-rounds") {
      o.maxRounds = std::atoi(v.c_str());
    } else {
      return Usage();
    }
  }
  int wins = 0, wrong = 0, stalls = 0, roundsToWin = 0, failed = 0, stopped = 0;
  long long longest = 0;
  std::map<int, int> winsBySeat;
  for (int g = 0; g < games; ++g) {
    o.seed = first + uint32_t(g);
    npcbench::TGameResult r = npcbench::PlayTable(o);
    if (!r.error.empty()) {
      std::printf("seed %u: not played: %s\n", o.seed, r.error.c_str());
      std::fflush(stdout);
      continue;
    }
    std::string out;
    for (int s : r.out) out += " " + std::to_string(s);
    std::printf("seed %u: %s rounds %d wrong accusations%s%s longest event %.1f ms (%lld events) %.1f s\n", o.seed,
                r.winner >= 0 ? ("winner seat " + std::to_string(r.winner)).c_str()
                : r.ended     ? "ended without a winner"
                : r.stalled   ? "STALLED"
                              : "no winner within the rounds",
                r.rounds, out.empty() ? " none" : out.c_str(), r.stalled ? (" stalled at: " + r.lastState).c_str() : "",
                double(r.longestEventUs) / 1000.0, r.events, r.seconds);
    std::fflush(stdout);
    if (r.winner >= 0) {
      ++wins;
      roundsToWin += r.rounds;
      ++winsBySeat[r.winner];
    }
    wrong += int(r.out.size());
    stalls += r.stalled ? 1 : 0;
    failed += r.failedEvents;
    stopped += r.stoppedEvents;
    longest = std::max(longest, r.longestEventUs);
  }
  std::printf("games %d, won by a computer player %d", games, wins);
  if (wins) std::printf(" (mean rounds to the win %.1f)", double(roundsToWin) / wins);
  std::printf(", wrong accusations %d, stalls %d, failed script events %d (stopped %d), longest event %.1f ms\n",
              wrong, stalls, failed, stopped, double(longest) / 1000.0);
  for (auto [seat, n] : winsBySeat) std::printf("  seat %d won %d\n", seat, n);
  return stalls == 0 ? 0 : 1;
}
