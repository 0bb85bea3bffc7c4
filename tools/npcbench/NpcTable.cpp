#include "NpcTable.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "BoardTables.h"
#include "ChildProcess.h"
#include "GameRules.h"
#include "TextCodec.h"

namespace npcbench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using velmora::proc::FreePort;
using velmora::proc::PortOpen;
using velmora::proc::TChildProcess;
using velmora::proc::TControlClient;

// How long the client may take to answer one control command.
constexpr int kAnswerMs = 20000;

namespace {

// The state line, read.
struct TState {
  bool ok = false;
  int game = 0, seat = 0, turn = 0, place = 0, x = 0, y = 0, steps = 0;
  std::set<std::string> enabled;
  bool picker = false, result = false;
  int cardShow = -1;  // the card-show dialog's cards, -1 not shown
  int winner = -1;
  bool ended = false;
  std::vector<int> out;
};

TState ReadState(const std::string& line) {
  TState s;
  std::istringstream in(line);
  std::string w;
  if (!(in >> w) || w != "STATE") return s;
  std::map<std::string, int*> numbers{{"seat", &s.seat},   {"turn", &s.turn}, {"place", &s.place},
                                      {"x", &s.x},         {"y", &s.y},       {"steps", &s.steps}};
  in >> s.game;
  enum { numbersPart, enabledPart, handPart, outPart } part = numbersPart;
  while (in >> w) {
    if (part == numbersPart && numbers.count(w)) {
      in >> *numbers[w];
    } else if (w == "enabled") {
      part = enabledPart;
    } else if (w == "hand") {
      part = handPart;
    } else if (part == enabledPart && w == "picker") {
      s.picker = true;
    } else if (part == enabledPart && w == "result") {
      s.result = true;
    } else if (part == enabledPart && w.rfind("cardshow:", 0) == 0) {
      s.cardShow = std::atoi(w.c_str() + 9);
    } else if (part == enabledPart) {
      s.enabled.insert(w);
    } else if (w == "winner") {
      in >> s.winner;
    } else if (w == "end") {
      s.ended = true;
    } else if (w == "out") {
      part = outPart;
    } else if (part == outPart) {
      s.out.push_back(std::atoi(w.c_str()));
    }
  }
  s.ok = true;
  return s;
}

const char* const kArrows[4] = {"up", "down", "left", "right"};

std::string ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

}  // namespace

TGameResult PlayTable(const TTableOptions& o) {
  TGameResult r;
  auto started = Clock::now();
  fs::path base = o.workDir.empty() ? fs::temp_directory_path() : fs::path(o.workDir);
  fs::path home = base / ("velmora_npctable_" + std::to_string(::getpid()) + "_" + std::to_string(o.seed));
  std::error_code ec;
  fs::remove_all(home, ec);
  fs::create_directories(home, ec);
  fs::copy(o.facesDir, home / "faces", fs::copy_options::recursive, ec);
  if (!ec) fs::copy(o.npcDir, home / "npc", fs::copy_options::recursive, ec);
  if (ec) {
    r.error = "cannot fill the client's folder: " + ec.message();
    return r;
  }
  int port = FreePort();
  std::string face = plat::Utf8ToSjis("\xe6\x8e\xa2\xe5\x81\xb5");  // 探偵
  std::ofstream(home / "velmora.ini", std::ios::binary)
      << "[Server]\r\nIPADDR=127.0.0.1\r\nPORT=" << port << "\r\n[User]\r\nNAME=person\r\nFACE=" << face
      << "\r\n[Option]\r\nKOKUSOMODE=" << (o.accuseAnywhere ? 1 : 0) << "\r\nCPUCOUNT=5\r\n";

  std::string seed = "VELMORA_SEED=" + std::to_string(o.seed);
  TChildProcess server(o.serverPath, {"--port", std::to_string(port)}, {"QT_QPA_PLATFORM=offscreen", seed},
                  (home / "server.log").string());
  for (int i = 0; i < 500 && !PortOpen(port); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (!PortOpen(port)) {
    r.error = "the server does not listen";
    return r;
  }
  std::string control = (home / "control").string();
  fs::path clientLog = home / "client.log";
  TGameResult* result = &r;
  auto finish = [&] {
    result->clientLog = ReadFile(clientLog);
    result->seconds = std::chrono::duration<double>(Clock::now() - started).count();
  };
  {
    TChildProcess client(o.clientPath, {},
                    {"QT_QPA_PLATFORM=offscreen", "VELMORA_HOME=" + home.string(), "VELMORA_AUTOLOGIN=1",
                     "VELMORA_TEST_CONTROL=" + control, "VELMORA_MIDI=null", "VELMORA_SOUND=null",
                     "VELMORA_PACE=fast", seed},
                    clientLog.string());
    TControlClient c;
    if (!c.Connect(control, 60)) {
      r.error = "the client's test control does not answer";
      client.Stop();
      finish();
      return r;
    }
    // Seated alone at table 1: Start adds the five computer players.
    auto wait = [&](auto pred, double seconds) {
      auto end = Clock::now() + std::chrono::duration<double>(seconds);
      while (Clock::now() < end) {
        r.lastState = c.Ask("state", kAnswerMs);
        if (r.lastState.empty()) return false;  // the client went away
        TState s = ReadState(r.lastState);
        if (pred(s)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      return false;
    };
    if (!wait([](const TState& s) { return s.ok && s.game == 1 && s.enabled.count("start"); }, 60)) {
      r.error = "the person is not seated with Start to press: " + r.lastState;
    } else {
      c.Ask("click start", kAnswerMs);
      if (!wait([](const TState& s) { return s.ok && s.game >= 2; }, 60)) {
        r.error = "the game does not start: " + r.lastState;
      }
    }
    if (!r.error.empty() && r.lastState.empty()) r.error = "the client stopped answering";
    if (r.error.empty()) {
      r.played = true;
      std::string progress;
      auto lastProgress = Clock::now();
      int target = 0;
      // A step the client refuses (onto a cell already walked this turn, or
      // where no way leads) leaves the state as it was: the next try turns
      // to another arrow instead of asking for the same step forever.
      std::string beforeStep;
      int turnAside = 0;
      for (;;) {
        r.lastState = c.Ask("state", kAnswerMs);
        TState s = ReadState(r.lastState);
        if (!s.ok) {
          r.error = "the client stopped answering";
          break;
        }
        r.out = s.out;
        if (s.winner >= 0 || s.ended) {
          r.winner = s.winner;
          r.ended = s.ended;
          break;
        }
        std::ostringstream sig;
        sig << s.game << ' ' << s.turn << ' ' << s.x << ' ' << s.y << ' ' << s.steps << ' ' << s.place << ' '
            << s.cardShow;
        if (sig.str() != progress) {
          progress = sig.str();
          lastProgress = Clock::now();
        } else if (std::chrono::duration<double>(Clock::now() - lastProgress).count() > o.stallSeconds) {
          r.stalled = true;
          break;
        }
        std::string command;
        bool mine = s.turn == s.seat && s.game == 2;
        if (s.cardShow >= 0) {
          command = "show 0";  // the first card, or NO when it holds none
        } else if (s.picker) {
          command = "pickcancel";
        } else if (s.game == 10 && s.enabled.count("out")) {
          command = "click out";  // confirms another's turn
        } else if (mine && s.enabled.count("die")) {
          if (r.rounds >= o.maxRounds) break;
          ++r.rounds;
          target = (target + 1) % 9;
          if (target == s.place - 1) target = (target + 1) % 9;
          command = "click die";
        } else if (mine && s.enabled.count("out") && (s.place > 0 || s.steps == 0)) {
          command = "click out";
        } else if (mine && s.steps > 0) {
          int dir = -1;
          if (s.place >= 1 && s.place <= 9) {
            for (int d = 0; d < 4 && dir < 0; ++d)
              if (RoomTable[s.place - 1][2 * d] >= 0) dir = d;
          } else if (client::OnBoard(s.x, s.y)) {
            int code = client::RouteTable()[size_t(target)][size_t(client::CellIndex(s.x, s.y))];
            if (code <= 3) dir = code;
          }
          if (r.lastState == beforeStep) {
            ++turnAside;
          } else {
            turnAside = 0;
          }
          if (dir < 0 || turnAside > 0) dir = std::max(dir, 0) + turnAside;
          for (int k = 0; k < 4 && dir >= 0; ++k, ++dir)
            if (s.enabled.count(kArrows[dir % 4])) {
              command = std::string("click ") + kArrows[dir % 4];
              beforeStep = r.lastState;
              break;
            }
        }
        if (!command.empty()) {
          c.Ask(command, kAnswerMs);
        } else {
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
      }
      std::istringstream stats(c.Ask("scripts", kAnswerMs));
      std::string w;
      while (stats >> w) {
        if (w == "events") stats >> r.events;
        if (w == "longest_us") stats >> r.longestEventUs;
        if (w == "failed") stats >> r.failedEvents;
        if (w == "stopped") stats >> r.stoppedEvents;
      }
    }
    client.Stop();
  }
  server.Stop();
  finish();
  fs::remove_all(home, ec);
  return r;
}

}  // namespace npcbench
