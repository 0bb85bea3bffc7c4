#include "CommandDispatcher.h"

#include <cstring>

#include "Kestclasses.h"
#include "Number.h"

namespace client {

const TCommandWord CommandWords[kCommandWordCount] = {
    {"LOGIN", kAnyCount},       {"ADDUSER", 5},           {"ADDUSER2", 3},
    {"PRINT", 1},               {"USER", 2},              {"CHROOM", 2},
    {"ROOM", 3},                {"ERR", 1},               {"CARD", kAnyCount},
    {"REMOVEUSER", 1},          {"RUSEREND", kAnyCount},  {"START", kAnyCount},
    {"TURN", kAnyCount},        {"SAIKORO", kAnyCount},   {"SUIRI", kAnyCount},
    {"SHOWWAIT", kAnyCount},    {"SHOWSEL", kAnyCount},   {"SHOWC", kAnyCount},
    {"SUIRIEND", kAnyCount},    {"KOKUSOCHECK", kAnyCount}, {"KOKUSO", kAnyCount},
    {"MOVE", kAnyCount},        {"INROOM", kAnyCount},    {"OUTROOM", kAnyCount},
    {"SUIRISTART", kAnyCount},  {"KOKUSOSTART", kAnyCount}, {"WIN", kAnyCount},
    {"LOSE", kAnyCount},        {"END", kAnyCount},       {"SUIRICANCEL", kAnyCount},
    {"KOKUSOCANCEL", kAnyCount}, {"CPUTYPE", kAnyCount},  {"BYE", kAnyCount},
    {"TURNEND2", kAnyCount},
};

int FindCommandWord(const std::string& word) {
  for (int i = 0; i < kCommandWordCount; ++i)
    if (word == CommandWords[i].word) return i;
  return -1;
}

namespace {

constexpr int kMaxTokens = 32;

struct Tokens {
  std::vector<std::string> args;
  std::string Text(size_t i) const { return i < args.size() ? args[i] : std::string(); }
  int Num(size_t i) const { return i < args.size() ? kest::ReadDecimal(args[i]) : 0; }
};

}  // namespace

void CommandDispatcher(TClientLineHandler& h, const std::string& line) {
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back('\0');
  char* tokens[kMaxTokens] = {};
  int id = -1;
  int count = kest::SplitLine(buf.data(), tokens, kMaxTokens, id);
  if (count < 0 || !tokens[0]) return;
  int word = FindCommandWord(tokens[0]);
  if (word < 0) return;
  if (CommandWords[word].count != kAnyCount && CommandWords[word].count != count) return;

  Tokens t;
  for (int i = 1; i <= count && i < kMaxTokens && tokens[i]; ++i) t.args.emplace_back(tokens[i]);

  switch (word) {
    case 0: h.HandleLogin(id, id); break;
    case 1: h.HandleAddUser(id, t.Text(0), t.Num(1), t.Text(2), t.Num(3), t.Num(4)); break;
    case 2: h.HandleAddUser2(id, t.Text(0), t.Num(1), t.Text(2)); break;
    case 3: h.HandlePrint(id, t.Text(0)); break;
    case 4: h.HandleUser(id, t.Num(0), t.Text(1)); break;
    case 5: h.HandleChroom(id, t.Num(0), t.Text(1)); break;
    case 6: h.HandleRoom(id, t.Num(0), t.Num(1), t.Num(2)); break;
    case 7: h.HandleErr(id, t.Text(0)); break;
    case 8: h.HandleCard(id, t.args); break;
    case 9: h.HandleRemoveUser(id, t.Text(0)); break;
    case 10: h.HandleRuserEnd(id); break;
    case 11: h.StartGame(id, t.args); break;
    case 12: h.HandleTurn(id, t.Num(0)); break;
    case 13: h.HandleSaikoro(id, t.Num(0)); break;
    case 14: h.HandleSuiri(id, t.Num(0), t.Num(1), t.Num(2), t.Num(3)); break;
    case 15: h.HandleShowWait(id, t.Num(0)); break;
    case 16: h.HandleShowSel(id, t.args); break;
    case 17: h.HandleShowC(id, t.args); break;
    case 18: h.HandleSuiriEnd(id); break;
    case 19: h.HandleKokusoCheck(id, t.Num(0)); break;
    case 20: h.HandleKokuso(id, t.Num(0), t.Num(1), t.Num(2), t.Num(3) != 0); break;
    case 21: h.HandleMove(id, t.Num(0), t.Num(1), t.Num(2), t.Num(3)); break;
    case 22: h.HandleInRoom(id, t.Num(0), t.Num(1), t.Num(2)); break;
    case 23: h.HandleOutRoom(id, t.Num(0), t.Num(1), t.Num(2)); break;
    case 24: h.HandleSuiriStart(id, t.Num(0), t.Num(1)); break;
    case 25: h.HandleKokusoStart(id, t.Num(0), t.Num(1)); break;
    case 26: h.HandleWin(id, t.Num(0), t.Num(1), t.Num(2), t.Num(3)); break;
    case 27: h.HandleLose(id, t.Num(0)); break;
    case 28: h.HandleEnd(id, t.Num(0), t.Num(1), t.Num(2), t.Num(3)); break;
    case 29: h.HandleSuiriCancel(id, t.Num(0)); break;
    case 30: h.HandleKokusoCancel(id, t.Num(0)); break;
    case 31: h.HandleCpuType(id, t.Num(0)); break;
    case 32: h.HandleBye(id, t.Text(0)); break;
    case 33: h.HandleTurnEnd2(id); break;
  }
}

}  // namespace client
