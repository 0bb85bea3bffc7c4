#include "NpcTable.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "BoardTables.h"
#include "GameRules.h"
#include "TextCodec.h"

extern char** environ;

namespace npcbench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A child process with its own environment entries; killed when dropped.
class TProcess {
 public:
  TProcess(const std::string& path, std::vector<std::string> args, std::vector<std::string> env,
           const std::string& errorFile = "") {
    const size_t own = env.size();
    for (char** e = environ; *e; ++e) {
      std::string s = *e;
      bool replaced = false;
      for (size_t i = 0; i < own; ++i) replaced = replaced || s.rfind(env[i].substr(0, env[i].find('=') + 1), 0) == 0;
      if (!replaced) env.push_back(s);
    }
    std::vector<char*> envp, argv;
    for (auto& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string p = path;
    argv.push_back(p.data());
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!errorFile.empty())
      posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~TProcess() { Stop(); }
  TProcess(const TProcess&) = delete;
  TProcess& operator=(const TProcess&) = delete;
  bool Running() const { return pid_ > 0; }
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 250; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

bool PortOpen(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return up;
}

// The client's test control: one command, one answer line.
class TControl {
 public:
  ~TControl() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Connect(const std::string& path, double seconds) {
    auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
      int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_un a{};
      a.sun_family = AF_UNIX;
      std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
      if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        fd_ = fd;
        return true;
      }
      ::close(fd);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
  // The answer, or "" when the client does not answer within 20 seconds.
  std::string Ask(const std::string& command) {
    std::string line = command + "\n";
    if (fd_ < 0 || ::send(fd_, line.data(), line.size(), MSG_NOSIGNAL) != ssize_t(line.size())) return "";
    std::string answer;
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20000) <= 0) return "";
      char buf[512];
      ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n <= 0) return "";
      answer.append(buf, size_t(n));
      size_t end = answer.find('\n');
      if (end != std::string::npos) return answer.substr(0, end);
    }
  }

 private:
  int fd_ = -1;
};

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

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t len = sizeof(a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

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
  TProcess server(o.serverPath, {"--port", std::to_string(port)}, {"QT_QPA_PLATFORM=offscreen", seed},
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
    TProcess client(o.clientPath, {},
                    {"QT_QPA_PLATFORM=offscreen", "VELMORA_HOME=" + home.string(), "VELMORA_AUTOLOGIN=1",
                     "VELMORA_TEST_CONTROL=" + control, "VELMORA_MIDI=null", "VELMORA_SOUND=null",
                     "VELMORA_PACE=fast", seed},
                    clientLog.string());
    TControl c;
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
        r.lastState = c.Ask("state");
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
      c.Ask("click start");
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
        r.lastState = c.Ask("state");
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
          c.Ask(command);
        } else {
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
      }
      std::istringstream stats(c.Ask("scripts"));
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
