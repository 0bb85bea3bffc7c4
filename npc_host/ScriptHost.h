// The seats' scripts: at each game start one compiled script and one
// instance per seat, their globals, and on the host client the events of its
// computer players, scheduled in time slices, with the game functions the
// scripts call to play. Everything acts on the client's game core.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "Engine.h"
#include "GameCore.h"

struct scInstance;
class scVarArgs;

namespace npc {

// What the host needs from the program around it.
struct TScriptHostHooks {
  std::function<void(bool on)> scriptTimer;               // ScriptTimer on or off
  std::function<void(const std::string& utf8)> log;        // the log and standard error
  std::function<void(const std::string& utf8)> showProblem;  // shown to the player, never blocking
};

// Figures of the scripts' events, for the test hooks and the benchmark.
struct TScriptStats {
  long long events = 0;     // events launched
  long long longestUs = 0;  // the longest the window waited for scripts at once
  int failed = 0;           // events that ended in a runtime error
  int stopped = 0;          // of those, events stopped for running too long
};

class TScriptHost : public client::TScriptEvents {
 public:
  // Instructions one event may run, over all its time slices.
  static constexpr long long kEventBudget = 50'000'000;
  // Scheduler passes RunScriptToEnd makes before it stops an event that waits.
  static constexpr int kRunToEndPasses = 100'000;
  // The longest one wait() pauses, in ticks of ScriptTimer (5 s): while a
  // script is paused every arriving line waits, so a longer wait would hold
  // the whole table.
  static constexpr int kMaxWaitTicks = 150;

  // npcDir: the folder of the scripts (UTF-8 path, no trailing "/").
  TScriptHost(client::TGameCore& core, std::string npcDir, TScriptHostHooks hooks);
  ~TScriptHost() override;
  TScriptHost(const TScriptHost&) = delete;
  TScriptHost& operator=(const TScriptHost&) = delete;

  // Registers the game functions and the "game" header with the engine; the
  // first call does it, later ones do nothing.
  static void RegisterGameFunctions();

  // Waits of scripts last one tick of ScriptTimer.
  void SetFastPace(bool fast) { fast_ = fast; }
  // Instructions one event may run (kEventBudget unless set).
  void SetEventBudget(long long instructions) { eventBudget_ = instructions; }

  // ---- The core's calls ----
  bool SetUpScripts() override;
  void SeatMoved(int seat) override;
  void TurnEndedForScript(int seat) override;
  void RaiseScriptEvent(int seat, const char* event, const std::vector<int>& args) override;

  // ---- Scheduling ----
  // One tick of ScriptTimer: one scheduler pass.
  void ScriptTimerTimer();
  // Passes without waiting for the timer until the seat's event has ended.
  void RunScriptToEnd(int seat);
  // Launches the event function `name` of the seat with a parameter block
  // (its words zero-filled to the size the script declares).
  void CallScriptEventBlock(int seat, const char* name, int bytes, const void* block);
  void CallScriptEvent(int seat, const char* name, int value);

  // ---- Lookups ----
  // The seat whose instance runs now, -1 none.
  int CurrentScriptSlot() const;
  bool IsScriptForUser(int userId, int expectedSeat) const;
  scInstance* Instance(int seat) const { return ValidSeat(seat) ? seats_[size_t(seat)].inst : nullptr; }
  // The script file the seat's instance came from ("" none).
  const std::string& ScriptFile(int seat) const { return seats_[size_t(seat)].file; }
  const TScriptStats& Stats() const { return stats_; }
  // The seats whose event runs, one bit each.
  int RunningMask() const { return running_; }

  std::array<int, 6> ScriptWaitTicks{};

  // ---- The game functions (through the registered adapters) ----
  int IsSaikoroDone();
  void Saikoro();
  int MoveTo(int room);
  void Wait(int ticks);
  void Chat(const char* format, scVarArgs& args);
  int TurnEnd(bool confirm);
  int GetMyRoom();
  int Suiri(int person, int weapon);
  int ShowCard(int code);
  int Kokuso(int room, int person, int weapon);
  int KokusoEnd(int n);
  int IsDokodemoKokuso() const;
  char* GetName(int seat);

 private:
  struct TSeat {
    scScript image = nullptr;
    scInstance* inst = nullptr;
    std::string file;              // where the script came from
    char* name = nullptr;          // get_name's text in script memory
    std::string event;             // the event running, "" none
    scInstance* waiting = nullptr; // the instance wait() paused
    bool waitCutSaid = false;      // a wait cut to kMaxWaitTicks has been reported
  };
  struct TEventSpec;
  static const TEventSpec kEvents[];
  static bool ValidSeat(int s) { return s >= 0 && s < 6; }
  bool Computer(int seat) const;
  // Turn functions act for the turn seat only, called from its own script:
  // that seat, -1 for any other caller.
  int TurnCaller() const;
  void FreeScripts();
  bool SetUpSeat(int seat, std::vector<std::pair<std::string, std::vector<unsigned char>>>& compiled);
  scScript LoadScript(const std::string& path, std::string& why,
                      std::vector<std::pair<std::string, std::vector<unsigned char>>>& compiled);
  bool MissingExports(scInstance* inst, std::string& why) const;
  void Problem(int seat, const std::string& text);
  void WriteInt(int seat, const char* name, int value);
  void WriteCardGlobals(int seat);
  void WritePosition(int seat);
  void Pass();
  void EventEnded(int seat, bool failed, bool stopped, const std::string& error);
  void ActForSeat(int seat, const std::string& why);
  void SendFor(int seat, const std::string& text);
  void Measure(std::chrono::steady_clock::time_point since);

  client::TGameCore& core_;
  std::string npcDir_;
  TScriptHostHooks hooks_;
  std::array<TSeat, 6> seats_;
  char* emptyName_ = nullptr;
  bool fast_ = false;
  long long eventBudget_ = kEventBudget;
  bool timerOn_ = false;
  int running_ = 0;  // the seats whose event runs, one bit each
  std::set<std::string> shown_;  // problems shown once
  TScriptStats stats_;
};

}  // namespace npc
