// The game core without a window: a sender and a view that record what the
// core asks for, and a table of the own player (user 3) with bob (user 4)
// and four computer players or seat fillers (users 10-13).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandDispatcher.h"
#include "GameCore.h"
#include "NpcNames.h"

namespace client {

// A record or mode put where a test needs it, when no line sets it so.
struct TCoreTestAccess {
  static kest::TKestUser& Seat(TGameCore& core, int s) { return core.seats_[size_t(s)]; }
  static void SetState(TGameCore& core, TGameState s) { core.state_ = s; }
  static void SetAccuseAnywhere(TGameCore& core, bool on) { core.accuseAnywhere_ = on; }
};

}  // namespace client

namespace coretest {

inline const std::string BS = "\x08";

struct Sender : client::TLineSender {
  std::vector<std::string> lines;  // text ":" id
  void SendLine(int id, const std::string& text) override { lines.push_back(text + ":" + std::to_string(id)); }
};

// Records the view calls the tests look at, one text each.
struct View : client::TGameView {
  std::vector<std::string> calls;
  std::vector<client::TRefusal> refusals;
  bool pickerOpen = false, cardShowOpen = false, resultOpen = false;
  void OpenPicker(bool suiri, int room) override {
    pickerOpen = true;
    calls.push_back(std::string(suiri ? "picker suiri " : "picker kokuso ") + std::to_string(room));
  }
  void ClosePicker() override { pickerOpen = false; }
  void OpenCardShow(int count, const kest::TCard*) override {
    cardShowOpen = true;
    calls.push_back("cardshow " + std::to_string(count));
  }
  void CloseCardShow() override { cardShowOpen = false; }
  void ShowResult(bool won, int seat, int, int, int) override {
    resultOpen = true;
    calls.push_back(std::string(won ? "result won " : "result none ") + std::to_string(seat));
  }
  void CloseResult() override { resultOpen = false; }
  void LoginRefused(client::TRefusal why) override { refusals.push_back(why); }
  void CloseMainWindow() override { calls.push_back("close"); }
  void FreePieces() override { calls.push_back("free pieces"); }
  void FreeTurnCursor() override { calls.push_back("free cursor"); }
  bool Called(const std::string& c) const {
    for (const auto& x : calls)
      if (x == c) return true;
    return false;
  }
};

struct Scripts : client::TScriptEvents {
  std::vector<std::string> events;  // seat ":" event
  int freed = 0;
  void RaiseScriptEvent(int seat, const char* event, const std::vector<int>&) override {
    events.push_back(std::to_string(seat) + ":" + event);
  }
  void FreeScripts() override { ++freed; }
};

class Core : public ::testing::Test {
 protected:
  Core() {
    core.SetNpcNames(&npc);
    core.SetScriptEvents(&scripts);
  }
  // A line addressed to the own player, or to id.
  void Line(const std::string& l) { client::CommandDispatcher(core, l + ":" + std::to_string(me)); }
  void LineTo(const std::string& l, int id) { client::CommandDispatcher(core, l + ":" + std::to_string(id)); }
  std::string Sent(const std::string& cmd, int id = -1) const { return cmd + ":" + std::to_string(id < 0 ? me : id); }
  std::string Last() const { return sender.lines.empty() ? std::string() : sender.lines.back(); }
  void LogIn() {
    core.SendLogin("alice", "alice_face");
    Line("LOGIN");
    Line("CHROOM 1," + BS + "alice" + BS);
  }
  void AddUser(const std::string& name, int userNo, int kind) {
    Line("ADDUSER " + BS + name + BS + ",1," + BS + "f" + BS + "," + std::to_string(userNo) + "," +
         std::to_string(kind));
  }
  // The own player in seat mySeat (0 or 1) with bob, then four members of kind computerKind.
  void Seated(int mySeat = 0, int computerKind = 2) {
    LogIn();
    const char* names[2] = {"alice", "bob"};
    int ids[2] = {3, 4};
    if (mySeat == 1) std::swap(names[0], names[1]), std::swap(ids[0], ids[1]);
    for (int s = 0; s < 2; ++s) AddUser(names[s], ids[s], 0);
    for (int s = 2; s < 6; ++s) AddUser("c" + std::to_string(s), 8 + s, computerKind);
    sender.lines.clear();
  }
  void Started(int mySeat = 0, int computerKind = 2) {
    Seated(mySeat, computerKind);
    Line("START 1,0");
    Line("CARD 3,12,21,35");
    sender.lines.clear();
  }
  // Ticks the running animation until it stops (bounded).
  void RunTimer() {
    for (int i = 0; i < 200 && core.Timer().Active(); ++i) core.KestTimerTimer();
    ASSERT_FALSE(core.Timer().Active());
  }
  void Roll(int n) {
    Line("SAIKORO " + std::to_string(n));
    RunTimer();
  }

  const int me = 3;
  Sender sender;
  View view;
  Scripts scripts;
  client::TNpcNames npc;
  client::TGameCore core{sender, view};
};

}  // namespace coretest
