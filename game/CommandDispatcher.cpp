#include "CommandDispatcher.h"

#include <cstring>

#include "Kestclasses.h"
#include "Number.h"
#include "Protocol.h"

namespace client {

namespace {

struct Tokens {
  std::vector<std::string> args;
  std::string Text(size_t i) const { return i < args.size() ? args[i] : std::string(); }
  int Num(size_t i) const { return i < args.size() ? kest::ReadDecimal(args[i]) : 0; }
};

}  // namespace

void CommandDispatcher(TClientLineHandler& h, const std::string& line) {
  using namespace kest::proto;
  std::vector<char> buf(line.begin(), line.end());
  buf.push_back('\0');
  char* tokens[kMaxTokens] = {};
  int id = -1;
  int count = kest::SplitLine(buf.data(), tokens, kMaxTokens, id);
  if (count < 0 || !tokens[0]) return;
  int word = LookupReplyWord(tokens[0]);
  if (word < 0) return;
  if (kReplyWords[word].count != kAnyCount && kReplyWords[word].count != count) return;

  Tokens t;
  for (int i = 1; i <= count && i < kMaxTokens && tokens[i]; ++i) t.args.emplace_back(tokens[i]);

  switch (word) {
    case rpLogin: h.HandleLogin(id, id); break;
    case rpAddUser: h.HandleAddUser(id, t.Text(0), t.Num(1), t.Text(2), t.Num(3), t.Num(4)); break;
    case rpAddUser2: h.HandleAddUser2(id, t.Text(0), t.Num(1), t.Text(2)); break;
    case rpPrint: h.HandlePrint(id, t.Text(0)); break;
    case rpUser: h.HandleUser(id, t.Num(0), t.Text(1)); break;
    case rpChroom: h.HandleChroom(id, t.Num(0), t.Text(1)); break;
    case rpRoom: h.HandleRoom(id, t.Num(0), t.Num(1), t.Num(2)); break;
    case rpErr: h.HandleErr(id, t.Text(0)); break;
    case rpCard: h.HandleCard(id, t.args); break;
    case rpRemoveUser: h.HandleRemoveUser(id, t.Text(0)); break;
    case rpRuserEnd: h.HandleRuserEnd(id); break;
    case rpStart: h.StartGame(id, t.args); break;
    case rpTurn: h.HandleTurn(id, t.Num(0)); break;
    case rpSaikoro: h.HandleSaikoro(id, t.Num(0)); break;
    case rpSuiri: h.HandleSuiri(id, t.Num(0), t.Num(1), t.Num(2), t.Num(3)); break;
    case rpShowWait: h.HandleShowWait(id, t.Num(0)); break;
    case rpShowSel: h.HandleShowSel(id, t.args); break;
    case rpShowC: h.HandleShowC(id, t.args); break;
    case rpSuiriEnd: h.HandleSuiriEnd(id); break;
    case rpKokusoCheck: h.HandleKokusoCheck(id, t.Num(0)); break;
    case rpKokuso: h.HandleKokuso(id, t.Num(0), t.Num(1), t.Num(2), t.Num(3) != 0); break;
    case rpMove: h.HandleMove(id, t.Num(0), t.Num(1), t.Num(2), t.Num(3)); break;
    case rpInRoom: h.HandleInRoom(id, t.Num(0), t.Num(1), t.Num(2)); break;
    case rpOutRoom: h.HandleOutRoom(id, t.Num(0), t.Num(1), t.Num(2)); break;
    case rpSuiriStart: h.HandleSuiriStart(id, t.Num(0), t.Num(1)); break;
    case rpKokusoStart: h.HandleKokusoStart(id, t.Num(0), t.Num(1)); break;
    case rpWin: h.HandleWin(id, t.Num(0), t.Num(1), t.Num(2), t.Num(3)); break;
    case rpLose: h.HandleLose(id, t.Num(0)); break;
    case rpEnd: h.HandleEnd(id, t.Num(0), t.Num(1), t.Num(2), t.Num(3)); break;
    case rpSuiriCancel: h.HandleSuiriCancel(id, t.Num(0)); break;
    case rpKokusoCancel: h.HandleKokusoCancel(id, t.Num(0)); break;
    case rpCpuType: h.HandleCpuType(id, t.Num(0)); break;
    case rpBye: h.HandleBye(id, t.Text(0)); break;
    case rpTurnEnd2: h.HandleTurnEnd2(id); break;
  }
}

}  // namespace client
