// The dispatcher of received lines (the words: kReplyWords in Protocol.h):
// it splits a line and calls the word's handler with the addressee's user
// number (the number after ":", -1 when the line has none) and the arguments.
#pragma once

#include <string>
#include <vector>

namespace client {

using TArgs = std::vector<std::string>;

// Handlers of the received words; each does nothing unless overridden.
class TClientLineHandler {
 public:
  virtual ~TClientLineHandler() = default;
  virtual void HandleLogin(int id, int idAgain) { (void)id, (void)idAgain; }
  virtual void HandleAddUser(int id, const std::string& name, int room, const std::string& face,
                             int userNo, int kind) {
    (void)id, (void)name, (void)room, (void)face, (void)userNo, (void)kind;
  }
  virtual void HandleAddUser2(int id, const std::string& name, int room, const std::string& face) {
    (void)id, (void)name, (void)room, (void)face;
  }
  virtual void HandlePrint(int id, const std::string& text) { (void)id, (void)text; }
  virtual void HandleUser(int id, int seat, const std::string& name) { (void)id, (void)seat, (void)name; }
  virtual void HandleChroom(int id, int room, const std::string& name) { (void)id, (void)room, (void)name; }
  virtual void HandleRoom(int id, int room, int playing, int count) {
    (void)id, (void)room, (void)playing, (void)count;
  }
  virtual void HandleErr(int id, const std::string& text) { (void)id, (void)text; }
  virtual void HandleCard(int id, const TArgs& args) { (void)id, (void)args; }
  virtual void HandleRemoveUser(int id, const std::string& name) { (void)id, (void)name; }
  virtual void HandleRuserEnd(int id) { (void)id; }
  virtual void StartGame(int id, const TArgs& args) { (void)id, (void)args; }
  virtual void HandleTurn(int id, int seat) { (void)id, (void)seat; }
  virtual void HandleSaikoro(int id, int n) { (void)id, (void)n; }
  virtual void HandleSuiri(int id, int a, int b, int c, int d) { (void)id, (void)a, (void)b, (void)c, (void)d; }
  virtual void HandleShowWait(int id, int seat) { (void)id, (void)seat; }
  virtual void HandleShowSel(int id, const TArgs& args) { (void)id, (void)args; }
  virtual void HandleShowC(int id, const TArgs& args) { (void)id, (void)args; }
  virtual void HandleSuiriEnd(int id) { (void)id; }
  virtual void HandleKokusoCheck(int id, int seat) { (void)id, (void)seat; }
  virtual void HandleKokuso(int id, int person, int weapon, int room, bool right) {
    (void)id, (void)person, (void)weapon, (void)room, (void)right;
  }
  virtual void HandleMove(int id, int seat, int x, int y, int steps) {
    (void)id, (void)seat, (void)x, (void)y, (void)steps;
  }
  virtual void HandleInRoom(int id, int seat, int a, int b) { (void)id, (void)seat, (void)a, (void)b; }
  virtual void HandleOutRoom(int id, int seat, int a, int b) { (void)id, (void)seat, (void)a, (void)b; }
  virtual void HandleSuiriStart(int id, int seat, int room) { (void)id, (void)seat, (void)room; }
  virtual void HandleKokusoStart(int id, int seat, int room) { (void)id, (void)seat, (void)room; }
  virtual void HandleWin(int id, int seat, int person, int weapon, int room) {
    (void)id, (void)seat, (void)person, (void)weapon, (void)room;
  }
  virtual void HandleLose(int id, int seat) { (void)id, (void)seat; }
  virtual void HandleEnd(int id, int seat, int person, int weapon, int room) {
    (void)id, (void)seat, (void)person, (void)weapon, (void)room;
  }
  virtual void HandleSuiriCancel(int id, int seat) { (void)id, (void)seat; }
  virtual void HandleKokusoCancel(int id, int seat) { (void)id, (void)seat; }
  virtual void HandleCpuType(int id, int type) { (void)id, (void)type; }
  virtual void HandleBye(int id, const std::string& name) { (void)id, (void)name; }
  virtual void HandleTurnEnd2(int id) { (void)id; }
};

// Splits line and calls the handler of its word. Unknown words, a count
// other than the one a word requires, and a line ending at its ":" are
// ignored. Argument positions the line lacks read as empty text or 0.
void CommandDispatcher(TClientLineHandler& handler, const std::string& line);

}  // namespace client
