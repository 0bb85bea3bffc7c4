// velmora_loadgen: a load generator for velmora_server (a benchmark, not a
// test). It logs in up to 100 users over TCP, seats them at tables and plays
// games there as fast as the protocol allows, then prints the lines per
// second and the round-trip times of a command and its answer.
//
//   velmora_loadgen [--host H] [--port N] [--users 100] [--table 5]
//                   [--games 5] [--seed 1]
//
// Each table runs in its own thread with one connection per player. A turn:
// the die, a suggestion answered by the responders in turn, now and then an
// accusation, and the turn end. Games end with WIN, or END when every
// player has accused wrongly.
//
//   velmora_loadgen --pingpong [--host H] [--port N] [--echo-port E]
//                   [--users 1,100] [--seconds 5] [--threads 4] [--rounds 3]
//                   [--pid P] [--echo-pid P]
//
// Ping-pong: for each user count, every user keeps one "RUSER 24" in flight
// (an empty room: the answer is one RUSEREND line) and sends the next as soon
// as the answer is in. It prints round trips per second and the round trip
// (median, 99th percentile). With --echo-port it first runs the same against
// velmora_echo on that port (each line comes straight back) and prints the
// server's figures as a share of the echo server's. The two take turns,
// --rounds times, and the medians of the rounds are compared. Given their
// process ids, it also reads the processor time each program spent per
// round trip, which a busy machine shifts far less than the rates.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Protocol.h"
#include "WireClient.h"

using velmora::tools::TWireClient;
using velmora::tools::TWireLine;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kTimeoutMs = 10000;

struct TStats {
  std::mutex lock;
  std::vector<double> rttMs;
  long long lines = 0;
  int games = 0;
  std::vector<std::string> errors;
};

class TTable {
 public:
  TTable(int index, int players, int games, unsigned seed, TStats* stats)
      : index_(index), players_(players), games_(games), rng_(seed), stats_(stats) {}

  void Run(const std::string& host, int port) {
    try {
      Play(host, port);
    } catch (const std::exception& e) {
      std::lock_guard<std::mutex> g(stats_->lock);
      stats_->errors.push_back("table " + std::to_string(index_) + ": " + e.what());
    }
    std::lock_guard<std::mutex> g(stats_->lock);
    stats_->rttMs.insert(stats_->rttMs.end(), rtt_.begin(), rtt_.end());
    stats_->lines += lines_;
    stats_->games += played_;
  }

 private:
  struct TPlayer {
    TWireClient conn;
    int user = -1;
  };

  [[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

  void Send(int p, const std::string& text) {
    if (!players_v_[size_t(p)]->conn.SendCommand(text, players_v_[size_t(p)]->user)) Fail("send failed");
    lines_ += 2;  // the command and its empty line
  }

  // Reads player p's lines until one with word (and, if given, a first
  // argument) addressed to p arrives; other players' buffers are drained so
  // that nothing backs up.
  TWireLine Expect(int p, const char* word, const std::string* firstArg = nullptr) {
    TPlayer& pl = *players_v_[size_t(p)];
    auto line = pl.conn.WaitFor(
        [&](const TWireLine& l) {
          ++lines_;
          return l.word == word && l.user == pl.user && (!firstArg || (!l.args.empty() && l.args[0] == *firstArg));
        },
        kTimeoutMs);
    if (!line) Fail(std::string("no ") + word + " for player " + std::to_string(p));
    return *line;
  }

  // A command and the answer that shows the server handled it.
  TWireLine Request(int p, const std::string& text, int answerTo, const char* word) {
    const auto t0 = Clock::now();
    Send(p, text);
    TWireLine l = Expect(answerTo, word);
    rtt_.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    return l;
  }

  void Drain() {
    for (auto& pl : players_v_)
      while (pl->conn.ReadLine(0)) ++lines_;
  }

  void Play(const std::string& host, int port) {
    const int room = index_ + 1;
    for (int p = 0; p < players_; ++p) {
      players_v_.push_back(std::make_unique<TPlayer>());
      TPlayer& pl = *players_v_.back();
      std::string err;
      if (!pl.conn.Connect(host, port, kTimeoutMs, &err)) Fail("connect: " + err);
      pl.conn.SendCommand(kest::proto::CmdLogin("load" + std::to_string(index_) + "_" + std::to_string(p), "f"), 0);
      auto login = pl.conn.WaitFor([](const TWireLine& l) { return l.word == "LOGIN" || l.word == "ERR"; }, kTimeoutMs);
      if (!login || login->word != "LOGIN") Fail("login refused");
      pl.user = login->user;
      Request(p, "CHROOM " + std::to_string(room), p, "CHROOM");
    }
    Drain();
    for (int g = 0; g < games_; ++g) {
      PlayGame();
      ++played_;
      Drain();
    }
  }

  void PlayGame() {
    Send(0, "START 0,0");
    for (int p = 0; p < players_; ++p) Expect(p, "TURN");
    int turn = 0, turns = 0;
    std::vector<bool> out(size_t(players_), false);
    for (;;) {
      ++turns;
      Request(turn, "SAIKORO", turn, "SAIKORO");
      std::uniform_int_distribution<int> room(0, 8), six(0, 5);
      const int r = room(rng_), s = six(rng_), w = six(rng_);
      const std::string triple = std::to_string(r) + "," + std::to_string(s) + "," + std::to_string(w);
      TWireLine wait = Request(turn, "SUIRI " + triple, turn, "SHOWWAIT");
      for (;;) {
        const int responder = std::atoi(wait.args.at(0).c_str());
        TWireLine sel = Request(responder, "SHOWCHECK", responder, "SHOWSEL");
        const int k = std::atoi(sel.args.at(0).c_str());
        Send(responder, k > 0 ? "SHOW " + sel.args.at(1) : std::string("SHOW NO"));
        auto next = players_v_[size_t(turn)]->conn.WaitFor(
            [&](const TWireLine& l) {
              ++lines_;
              return (l.word == "SUIRIEND" || l.word == "SHOWWAIT") && l.user == players_v_[size_t(turn)]->user;
            },
            kTimeoutMs);
        if (!next) Fail("suggestion did not end");
        if (next->word == "SUIRIEND") break;
        wait = *next;
      }
      // After every player has had two turns, the turn player accuses.
      if (turns > 2 * players_) {
        TWireLine verdict = Request(turn, "KOKUSO " + triple, turn, "KOKUSO");
        const std::string v = verdict.args.at(3);
        Send(turn, "KOKUSOEND " + v);
        if (v != "0") {
          Expect(turn, "WIN");
          return;
        }
        Expect(turn, "LOSE");
        out[size_t(turn)] = true;
        if (std::all_of(out.begin(), out.end(), [](bool b) { return b; })) {
          Expect(turn, "END");
          return;
        }
      }
      TWireLine next = Request(turn, "TURNEND", turn, "TURN");
      turn = std::atoi(next.args.at(0).c_str());
      Drain();
    }
  }

  int index_, players_, games_;
  std::mt19937 rng_;
  TStats* stats_;
  std::vector<std::unique_ptr<TPlayer>> players_v_;
  std::vector<double> rtt_;
  long long lines_ = 0;
  int played_ = 0;
};

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, size_t(q * double(v.size() - 1) + 0.5))];
}

// ---- Ping-pong ----

struct TPingConn {
  std::unique_ptr<TWireClient> wire;
  std::string request, reply, in;
  Clock::time_point sent;
};

struct TPingFigures {
  double perSecond = 0, medianMs = 0, p99Ms = 0;
  double cpuUs = 0;  // the server's processor time per round trip, 0 when not measured
};

// One program the ping-pong talks to.
struct TPingTarget {
  const char* name;
  int port;
  int pid;    // for its processor time; 0 when not given
  bool game;  // the game server (log in, RUSEREND answers) or the echo server
};

// The processor time a process has used so far, in microseconds; -1 when
// it cannot be read.
double CpuMicroseconds(int pid) {
  if (pid <= 0) return -1;
  FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
  if (!f) return -1;
  char buf[1024] = {};
  const size_t n = std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  const char* p = std::strrchr(buf, ')');  // the name may hold blanks
  if (!p || n == 0) return -1;
  unsigned long long utime = 0, stime = 0;
  // After ")": state, then fields 4-13, then utime and stime.
  if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2) return -1;
  return double(utime + stime) * 1e6 / double(::sysconf(_SC_CLK_TCK));
}

// Connects users clients (logged in when talking to the game server) and
// lets the lines of the logins settle.
bool PingConnect(const std::string& host, int port, int users, bool game, std::vector<TPingConn>& out,
                 std::string& error) {
  for (int i = 0; i < users; ++i) {
    TPingConn c;
    c.wire = std::make_unique<TWireClient>();
    if (!c.wire->Connect(host, port, kTimeoutMs, &error)) return false;
    int user = i;
    if (game) {
      c.wire->SendCommand(kest::proto::CmdLogin("ping" + std::to_string(i), "f"), 0);
      auto login = c.wire->WaitFor([](const TWireLine& l) { return l.word == "LOGIN" || l.word == "ERR"; },
                                   kTimeoutMs);
      if (!login || login->word != "LOGIN") {
        error = "login refused";
        return false;
      }
      user = login->user;
    }
    c.request = kest::proto::ClientLine("RUSER 24", user) + "\r\n";
    c.reply = game ? kest::proto::Addressed("RUSEREND", user) : kest::proto::Addressed("RUSER 24", user);
    out.push_back(std::move(c));
  }
  // Drop what the logins sent (the lobby hears of every newcomer).
  for (auto quietSince = Clock::now(); Clock::now() - quietSince < std::chrono::milliseconds(200);) {
    bool any = false;
    for (auto& c : out)
      while (c.wire->ReadLine(0)) any = true;
    if (any)
      quietSince = Clock::now();
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// One thread's share of the connections: send, wait for the answer, send again.
void PingLoop(std::vector<TPingConn*> conns, Clock::time_point from, Clock::time_point until,
              std::vector<double>& rtt) {
  const int ep = ::epoll_create1(EPOLL_CLOEXEC);
  for (size_t i = 0; i < conns.size(); ++i) {
    const int fd = conns[i]->wire->Fd();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    epoll_event ev{EPOLLIN, {.u64 = i}};
    ::epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
  }
  auto send = [](TPingConn& c) {
    c.sent = Clock::now();
    ::send(c.wire->Fd(), c.request.data(), c.request.size(), MSG_NOSIGNAL);
  };
  for (TPingConn* c : conns) send(*c);
  epoll_event ready[128];
  char buf[16384];
  while (Clock::now() < until) {
    const int n = ::epoll_wait(ep, ready, 128, 20);
    for (int i = 0; i < n; ++i) {
      TPingConn& c = *conns[ready[i].data.u64];
      const ssize_t got = ::recv(c.wire->Fd(), buf, sizeof buf, 0);
      if (got <= 0) continue;
      c.in.append(buf, size_t(got));
      bool answered = false;
      size_t start = 0;
      for (size_t k = 0; k < c.in.size(); ++k) {
        if (c.in[k] != '\r' && c.in[k] != '\n') continue;
        answered = answered || c.in.compare(start, k - start, c.reply) == 0;
        start = k + 1;
      }
      c.in.erase(0, start);
      if (!answered) continue;
      const auto now = Clock::now();
      if (now >= from) rtt.push_back(std::chrono::duration<double, std::milli>(now - c.sent).count());
      send(c);
    }
  }
  ::close(ep);
}

bool PingPong(const std::string& host, const TPingTarget& target, int users, double seconds, int threads,
              TPingFigures& figures, std::string& error) {
  std::vector<TPingConn> conns;
  if (!PingConnect(host, target.port, users, target.game, conns, error)) return false;
  threads = std::clamp(threads, 1, users);
  const auto from = Clock::now() + std::chrono::milliseconds(1000);  // warm-up
  const auto until = from + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  std::vector<std::vector<double>> rtt(static_cast<size_t>(threads));
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t) {
    std::vector<TPingConn*> share;
    for (size_t i = size_t(t); i < conns.size(); i += size_t(threads)) share.push_back(&conns[i]);
    running.emplace_back(PingLoop, share, from, until, std::ref(rtt[size_t(t)]));
  }
  std::this_thread::sleep_until(from);
  const double cpu0 = CpuMicroseconds(target.pid);
  std::this_thread::sleep_until(until);
  const double cpu1 = CpuMicroseconds(target.pid);
  for (auto& th : running) th.join();
  std::vector<double> all;
  for (auto& r : rtt) all.insert(all.end(), r.begin(), r.end());
  if (all.empty()) {
    error = "no answers";
    return false;
  }
  figures.perSecond = double(all.size()) / seconds;
  figures.medianMs = Percentile(all, 0.5);
  figures.p99Ms = Percentile(all, 0.99);
  figures.cpuUs = cpu0 >= 0 && cpu1 >= 0 ? (cpu1 - cpu0) / double(all.size()) : 0;
  return true;
}

// Runs the echo server and the game server in turn, rounds times for each
// user count (a busy machine shifts single runs), and prints each round and
// the median of the rounds.
int RunPingPong(const std::string& host, const std::vector<TPingTarget>& targets, const std::vector<int>& counts,
                double seconds, int threads, int rounds) {
  auto show = [](const char* who, int users, const TPingFigures& f) {
    std::printf("%-6s %3d users: %9.0f round trips/s, round trip median %.1f us, 99th percentile %.1f us", who,
                users, f.perSecond, f.medianMs * 1000, f.p99Ms * 1000);
    if (f.cpuUs > 0) std::printf(", %.2f us of processor time each", f.cpuUs);
    std::printf("\n");
  };
  auto median = [](const std::vector<TPingFigures>& v) {
    TPingFigures m;
    for (double TPingFigures::*field :
         {&TPingFigures::perSecond, &TPingFigures::medianMs, &TPingFigures::p99Ms, &TPingFigures::cpuUs}) {
      std::vector<double> x;
      for (const auto& f : v) x.push_back(f.*field);
      m.*field = Percentile(x, 0.5);
    }
    return m;
  };
  for (int users : counts) {
    std::vector<std::vector<TPingFigures>> runs(targets.size());
    for (int r = 0; r < rounds; ++r) {
      for (size_t t = 0; t < targets.size(); ++t) {
        std::string error;
        TPingFigures f;
        if (!PingPong(host, targets[t], users, seconds, threads, f, error)) {
          std::fprintf(stderr, "velmora_loadgen: %s: %s\n", targets[t].name, error.c_str());
          return 1;
        }
        show(targets[t].name, users, f);
        runs[t].push_back(f);
      }
    }
    std::printf("median of %d rounds:\n", rounds);
    std::vector<TPingFigures> m;
    for (size_t t = 0; t < targets.size(); ++t) {
      m.push_back(median(runs[t]));
      show(targets[t].name, users, m.back());
    }
    if (targets.size() == 2) {
      std::printf("server/echo %3d users: %.0f%% of the round trips per second, %.2f times the median round trip",
                  users, 100.0 * m[1].perSecond / m[0].perSecond, m[1].medianMs / m[0].medianMs);
      if (m[0].cpuUs > 0 && m[1].cpuUs > 0)
        std::printf(", %.2f times the processor time", m[1].cpuUs / m[0].cpuUs);
      std::printf("\n");
    }
  }
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: velmora_loadgen [--host H] [--port N] [--users 100] [--table 5] [--games 5] [--seed 1]\n"
               "       velmora_loadgen --pingpong [--host H] [--port N] [--echo-port E] [--users 1,100]\n"
               "                       [--seconds 5] [--threads 4] [--rounds 3] [--pid P] [--echo-pid P]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--pingpong") {
    std::string host = "127.0.0.1";
    int port = 3201, echoPort = 0, pid = 0, echoPid = 0, threads = 4, rounds = 3;
    double seconds = 5;
    std::vector<int> counts{1, 100};
    for (int i = 2; i < argc; ++i) {
      const std::string a = argv[i];
      if (i + 1 >= argc) return Usage();
      const char* v = argv[++i];
      if (a == "--host") host = v;
      else if (a == "--port") port = std::atoi(v);
      else if (a == "--echo-port") echoPort = std::atoi(v);
      else if (a == "--pid") pid = std::atoi(v);
      else if (a == "--echo-pid") echoPid = std::atoi(v);
      else if (a == "--seconds") seconds = std::max(0.1, std::atof(v));
      else if (a == "--threads") threads = std::atoi(v);
      else if (a == "--rounds") rounds = std::max(1, std::atoi(v));
      else if (a == "--users") {
        counts.clear();
        for (const char* p = v; *p;) {
          counts.push_back(std::clamp(std::atoi(p), 1, kest::proto::kUserSlots));
          p += std::strcspn(p, ",");
          if (*p) ++p;
        }
      } else return Usage();
    }
    std::vector<TPingTarget> targets;
    if (echoPort > 0) targets.push_back({"echo", echoPort, echoPid, false});
    targets.push_back({"server", port, pid, true});
    return RunPingPong(host, targets, counts, seconds, threads, rounds);
  }

  std::string host = "127.0.0.1";
  int port = 3201, users = 100, table = 5, games = 5;
  unsigned seed = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return Usage();
    const char* v = argv[++i];
    if (a == "--host") host = v;
    else if (a == "--port") port = std::atoi(v);
    else if (a == "--users") users = std::atoi(v);
    else if (a == "--table") table = std::atoi(v);
    else if (a == "--games") games = std::atoi(v);
    else if (a == "--seed") seed = unsigned(std::strtoul(v, nullptr, 10));
    else return Usage();
  }
  users = std::clamp(users, 1, kest::proto::kUserSlots);
  table = std::clamp(table, 1, 6);
  const int tables = std::min(users / table, kest::proto::kRoomCount - 1);
  if (tables < 1) return Usage();

  TStats stats;
  std::vector<std::unique_ptr<TTable>> all;
  for (int t = 0; t < tables; ++t) all.push_back(std::make_unique<TTable>(t, table, games, seed + unsigned(t), &stats));
  const auto t0 = Clock::now();
  std::vector<std::thread> threads;
  for (auto& t : all) threads.emplace_back([&t, &host, port] { t->Run(host, port); });
  for (auto& th : threads) th.join();
  const double secs = std::chrono::duration<double>(Clock::now() - t0).count();

  for (const auto& e : stats.errors) std::fprintf(stderr, "velmora_loadgen: %s\n", e.c_str());
  std::printf("users %d at %d tables of %d, %d games in %.2f s\n", tables * table, tables, table, stats.games, secs);
  std::printf("lines %lld (in and out), %.0f lines/s\n", stats.lines, double(stats.lines) / secs);
  std::printf("round trip of %zu commands: median %.3f ms, 99th percentile %.3f ms\n", stats.rttMs.size(),
              Percentile(stats.rttMs, 0.5), Percentile(stats.rttMs, 0.99));
  return stats.errors.empty() ? 0 : 1;
}
