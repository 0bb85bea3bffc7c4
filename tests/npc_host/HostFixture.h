// The seats' scripts on the game core, headless: a folder of scripts, a table
// of the own player alice (user 3, seat 0), bob (user 4, seat 1) and four
// computer players c2-c5 (users 10-13, seats 2-5, faces "c2"-"c5"), and a
// probe script that counts its events and lets the tests call every game
// function from inside a seat's script.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "CoreFixture.h"
#include "Instance.h"
#include "ScriptHost.h"

namespace hosttest {

namespace fs = std::filesystem;

// Events in the order of the probe's ev[] counters.
inline const char* const kEvents[] = {"OnInit",     "OnTurn",     "OnMove", "OnMoveEnd", "OnInRoom", "OnOtherSuiri",
                                      "OnOtherSuiriCheck", "OnSuiriResult", "OnSuiriEnd", "OnWin", "OnLose"};

// Counts each event in ev[], keeps its parameters in arg[], and wraps the
// game functions so that a test calls them as the seat's script.
inline const char kProbe[] = R"(#include game
int gMyIndex;
int gMyUserId;
int gX;
int gY;
int gCardCount;
int gMyCard[18];
int gKestCheck[180];
int ev[11];
int arg[4];
char text[1100];
void OnInit() { ev[0] = ev[0] + 1; }
void OnTurn() { ev[1] = ev[1] + 1; }
void OnMove() { ev[2] = ev[2] + 1; }
void OnMoveEnd() { ev[3] = ev[3] + 1; }
void OnInRoom(int room) { ev[4] = ev[4] + 1; arg[0] = room; }
void OnOtherSuiri(int seat, int room, int person, int weapon)
{
    ev[5] = ev[5] + 1; arg[0] = seat; arg[1] = room; arg[2] = person; arg[3] = weapon;
}
int plan = -100;
int planned = -100;
void OnOtherSuiriCheck(int a, int b, int c)
{
    ev[6] = ev[6] + 1; arg[0] = a; arg[1] = b; arg[2] = c;
    if (plan > -100) planned = show_card(plan);
}
void OnSuiriResult(int code) { ev[7] = ev[7] + 1; arg[0] = code; }
void OnSuiriEnd() { ev[8] = ev[8] + 1; }
void OnWin() { ev[9] = ev[9] + 1; }
void OnLose() { ev[10] = ev[10] + 1; }
int done() { return is_saikoro_done(); }
int roll() { saikoro(); return 0; }
int go(int room) { return move_to(room); }
int end1() { return turn_end(); }
int end2() { return turn_end2(); }
int here() { return get_myroom(); }
int suggest(int person, int weapon) { return suiri(person, weapon); }
int show(int code) { return show_card(code); }
int accuse(int room, int person, int weapon) { return kokuso(room, person, weapon); }
int verdict(int n) { return kokuso_end(n); }
int anywhere() { return is_dokodemo_kokuso(); }
int cell(int x, int y) { return get_map(x, y); }
int random(int n) { return rand(n); }
int root(int n) { return sqrt(n); }
char *name(int seat) { return get_name(seat); }
int number(int v) { itoa(v, text); return text[0]; }
int format(char *buf, int v) { return sprintf(buf, "<%d|%d|%d>", v, v, v); }
int talk(int a, int b, int c) { chat("x%c%cz%c!", a, b, c); return 0; }
int talklong(int n, int last)
{
    int i;
    for (i = 0; i < n; i = i + 1) text[i] = 97;
    text[n - 1] = last;
    text[n] = 0;
    chat("%s", text);
    return 0;
}
export gMyIndex;
export gMyUserId;
export gX;
export gY;
export gCardCount;
export gMyCard;
export gKestCheck;
export ev;
export arg;
export plan;
export planned;
export OnInit;
export OnTurn;
export OnMove;
export OnMoveEnd;
export OnInRoom;
export OnOtherSuiri;
export OnOtherSuiriCheck;
export OnSuiriResult;
export OnSuiriEnd;
export OnWin;
export OnLose;
export done;
export roll;
export go;
export end1;
export end2;
export here;
export suggest;
export show;
export accuse;
export verdict;
export anywhere;
export cell;
export random;
export root;
export name;
export number;
export format;
export talk;
export talklong;
)";

class Host : public coretest::Core {
 protected:
  Host() {
    dir = fs::temp_directory_path() / ("velmora_npchost_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    npc::TScriptHostHooks hooks;
    hooks.scriptTimer = [this](bool on) { timerOn = on; };
    hooks.log = [this](const std::string& t) { logs.push_back(t); };
    hooks.showProblem = [this](const std::string& t) { problems.push_back(t); };
    host = std::make_unique<npc::TScriptHost>(core, dir.string(), hooks);
    core.SetScriptEvents(host.get());
    Script("default", kProbe);
  }
  ~Host() override {
    core.SetScriptEvents(nullptr);
    host.reset();
    fs::remove_all(dir);
  }
  void Script(const std::string& name, const std::string& text) const {
    std::ofstream(dir / (name + ".sc"), std::ios::binary) << text;
  }
  // alice and bob, then the computer players c2-c5 (kind 1) or seat fillers (kind 2).
  void Table(int mySeat = 0, int kind = 1) {
    LogIn();
    const char* names[2] = {"alice", "bob"};
    int ids[2] = {3, 4};
    if (mySeat == 1) std::swap(names[0], names[1]), std::swap(ids[0], ids[1]);
    for (int s = 0; s < 2; ++s)
      Line("ADDUSER " + coretest::BS + names[s] + coretest::BS + ",1," + coretest::BS + faces[size_t(s)] +
           coretest::BS + "," + std::to_string(ids[s]) + ",0");
    for (int s = 2; s < 6; ++s) {
      std::string n = "c" + std::to_string(s);
      Line("ADDUSER " + coretest::BS + n + coretest::BS + ",1," + coretest::BS + faces[size_t(s)] + coretest::BS +
           "," + std::to_string(8 + s) + "," + std::to_string(kind));
    }
  }
  // The table started, each computer player dealt three cards.
  void Dealt() {
    Table();
    Line("START 1,0");
    Line("CARD 3,12,21,35");
    for (int id = 10; id <= 13; ++id) LineTo("CARD 3,13,22,36", id);
    RunScripts();
    sender.lines.clear();
  }
  // TURN for seat s: every copy the host gets.
  void Turn(int s) {
    Line("TURN " + std::to_string(s));
    for (int id = 10; id <= 13; ++id) LineTo("TURN " + std::to_string(s), id);
    RunScripts();
    sender.lines.clear();
  }
  // Scheduler passes until no script runs (bounded).
  void RunScripts() {
    for (int i = 0; i < 100000 && host->RunningMask() != 0; ++i) host->ScriptTimerTimer();
    ASSERT_EQ(host->RunningMask(), 0);
  }
  scInstance* Inst(int seat) const { return host->Instance(seat); }
  void SetGlobal(int seat, const char* name, int value) const {
    scInstance* inst = Inst(seat);
    if (void* p = scGet_Global(inst, scGet_Symbol(inst, name), 4)) std::memcpy(p, &value, 4);
  }
  int Global(int seat, const char* name, int index = 0) const {
    scInstance* inst = Inst(seat);
    int off = scGet_Symbol(inst, name);
    if (off < 0) return -99999;
    int v = 0;
    if (void* p = scGet_Global(inst, off + 4 * index, 4)) std::memcpy(&v, p, 4);
    return v;
  }
  int Events(int seat, const char* event) const {
    for (int i = 0; i < 11; ++i)
      if (std::strcmp(kEvents[i], event) == 0) return Global(seat, "ev", i);
    return -1;
  }
  // Calls an exported function of the seat's script, as that script.
  template <class... A>
  int Call(int seat, const char* fn, A... args) {
    return scCall_Instance(Inst(seat), scGet_Symbol(Inst(seat), fn), args...);
  }
  std::string Sent(const std::string& text, int id) const { return text + ":" + std::to_string(id); }
  // Seat s's record as a test puts it.
  void Place(int s, int x, int y, int place, int steps, bool rolled) {
    client::TCoreTestAccess::Seat(core, s).SetPosition(int16_t(x), int16_t(y));
    client::TCoreTestAccess::Seat(core, s).SetPlace(int16_t(place));
    client::TCoreTestAccess::Seat(core, s).SetSteps(int16_t(steps));
    if (rolled) {
      client::TCoreTestAccess::Seat(core, s).SetFlags(kest::ufDiceDone);
    } else {
      client::TCoreTestAccess::Seat(core, s).ClearFlags(kest::ufDiceDone);
    }
  }

  fs::path dir;
  std::array<std::string, 6> faces{"alice", "bob", "c2", "c3", "c4", "c5"};  // Shift-JIS
  std::unique_ptr<npc::TScriptHost> host;
  bool timerOn = false;
  std::vector<std::string> logs, problems;
};

}  // namespace hosttest
