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
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

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

int Usage() {
  std::fprintf(stderr,
               "usage: velmora_loadgen [--host H] [--port N] [--users 100] [--table 5] [--games 5] [--seed 1]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
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
