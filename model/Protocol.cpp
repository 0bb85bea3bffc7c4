#include "Protocol.h"

#include <algorithm>
#include <array>

namespace kest::proto {

namespace {
constexpr TCountRule E = TCountRule::Exact, L = TCountRule::AtLeast, A = TCountRule::Any;
}  // namespace

const TCommandWord kCommandWords[kCommandCount] = {
    {"LOGIN", E, 2, 2},        {"CHAT", E, 2, 2},         {"CHROOM", E, 1, 1},
    {"START", A, 0, 0},        {"RUSER", E, 1, 1},        {"SAIKORO", A, 0, 0},
    {"MOVE", E, 3, 3},         {"TURNEND", A, 0, 0},      {"WARP", A, 0, 1},
    {"SUIRI", A, 0, 3},        {"SHOWCHECK", A, 0, 0},    {"SHOW", A, 0, 1},
    {"KOKUSO", L, 3, 3},       {"KOKUSOEND", L, 1, 1},    {"INROOM", A, 0, 2},
    {"OUTROOM", A, 0, 2},      {"SUIRISTART", A, 0, 1},   {"KOKUSOSTART", A, 0, 1},
    {"SUIRICANCEL", A, 0, 0},  {"KOKUSOCANCEL", A, 0, 0}, {"ROOMLOCK", A, 0, 0},
    {"ROOMUNLOCK", A, 0, 0},   {"ADDCOM", A, 0, 3},       {"ENDGAME", A, 0, 0},
    {"TURNEND2", A, 0, 0},     {"CONFIRM", A, 0, 0},      {"CLEARNPC", A, 0, 0},
    // The cpu type of a seat filler is not used.
    {"ADDCOM2", A, 0, 2},
};

const TReplyWord kReplyWords[kReplyCount] = {
    {"LOGIN", kAnyCount},        {"ADDUSER", 5},              {"ADDUSER2", 3},
    {"PRINT", 1},                {"USER", 2},                 {"CHROOM", 2},
    {"ROOM", 3},                 {"ERR", 1},                  {"CARD", kAnyCount},
    {"REMOVEUSER", 1},           {"RUSEREND", kAnyCount},     {"START", kAnyCount},
    {"TURN", kAnyCount},         {"SAIKORO", kAnyCount},      {"SUIRI", kAnyCount},
    {"SHOWWAIT", kAnyCount},     {"SHOWSEL", kAnyCount},      {"SHOWC", kAnyCount},
    {"SUIRIEND", kAnyCount},     {"KOKUSOCHECK", kAnyCount},  {"KOKUSO", kAnyCount},
    {"MOVE", kAnyCount},         {"INROOM", kAnyCount},       {"OUTROOM", kAnyCount},
    {"SUIRISTART", kAnyCount},   {"KOKUSOSTART", kAnyCount},  {"WIN", kAnyCount},
    {"LOSE", kAnyCount},         {"END", kAnyCount},          {"SUIRICANCEL", kAnyCount},
    {"KOKUSOCANCEL", kAnyCount}, {"CPUTYPE", kAnyCount},      {"BYE", kAnyCount},
    {"TURNEND2", kAnyCount},
};

int LookupReplyWord(std::string_view word) {
  for (int i = 0; i < kReplyCount; ++i)
    if (word == kReplyWords[i].word) return i;
  return -1;
}

int LookupCommandWord(std::string_view word) {
  // The words as views, measured once: every received line is looked up.
  static const auto views = [] {
    std::array<std::string_view, kCommandCount> v;
    for (int i = 0; i < kCommandCount; ++i) v[size_t(i)] = kCommandWords[i].word;
    return v;
  }();
  for (int i = 0; i < kCommandCount; ++i)
    if (word == views[size_t(i)]) return i;
  return -1;
}

bool CountFits(int command, int count) {
  if (command < 0 || command >= kCommandCount) return false;
  const TCommandWord& w = kCommandWords[command];
  switch (w.rule) {
    case TCountRule::Exact: return count == w.count;
    case TCountRule::AtLeast: return count >= w.count;
    case TCountRule::Any: return true;
  }
  return false;
}

namespace {

template <class Range>
std::string Join(std::string_view word, const Range& args) {
  std::string line(word);
  bool first = true;
  for (const TArg& a : args) {
    line += first ? ' ' : ',';
    line += a.Text();
    first = false;
  }
  return line;
}

std::string CardLine(std::string_view word, const TCard* cards, int count) {
  std::vector<TArg> args{count};
  for (int i = 0; i < count; ++i) args.emplace_back(cards[i].WireCode());
  return MakeLine(word, args);
}

std::string SolutionLine(std::string_view word, int seat, const TCard s[3]) {
  return MakeLine(word, {seat, s[0].WireCode(), s[1].WireCode(), s[2].WireCode()});
}

}  // namespace

std::string MakeLine(std::string_view word, std::initializer_list<TArg> args) { return Join(word, args); }
std::string MakeLine(std::string_view word, const std::vector<TArg>& args) { return Join(word, args); }

std::string Addressed(std::string_view text, int userNo) {
  return std::string(text) + ':' + std::to_string(userNo);
}

std::string ClientLine(std::string_view text, int userNo) { return Addressed(text, userNo) + '\r'; }

int UserKind(const TKestUser& u) {
  if (!u.HasFlags(ufComputer)) return ukHuman;
  return u.HasFlags(ufNonParticipant) ? ukFiller : ukComputer;
}

std::string LineLogin() { return "LOGIN"; }

std::string LineAddUser(const TKestUser& u) {
  return MakeLine("ADDUSER", {TArg::Quoted(u.GetName()), u.GetRoom(), TArg::Quoted(u.GetFace()),
                              u.UserNo, UserKind(u)});
}

std::string LineAddUser2(const TKestUser& u) {
  return MakeLine("ADDUSER2", {TArg::Quoted(u.GetName()), u.GetRoom(), TArg::Quoted(u.GetFace())});
}

std::string_view CutText(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return text;  // a text that fits stays as it is
  size_t end = 0;
  while (end < text.size()) {
    const size_t next = end + (IsSjisLeadByte(static_cast<unsigned char>(text[end])) ? 2 : 1);
    if (next > maxBytes || next > text.size()) break;
    end = next;
  }
  return text.substr(0, end);
}

std::string LinePrintChat(std::string_view name, std::string_view text) {
  const std::string head = "[" + std::string(name) + "] ";
  const size_t frame = MakeLine("PRINT", {TArg::Quoted(head)}).size();
  const size_t room = kMaxLineText > frame ? kMaxLineText - frame : 0;
  return MakeLine("PRINT", {TArg::Quoted(head + std::string(CutText(text, room)))});
}

std::string LinePrintLogout(std::string_view name) {
  return MakeLine("PRINT", {TArg::Quoted(std::string(name) + kLoggedOutText)});
}

std::string LineUser(int seat, std::string_view name) { return MakeLine("USER", {seat, TArg::Quoted(name)}); }
std::string LineChroom(int room, std::string_view name) { return MakeLine("CHROOM", {room, TArg::Quoted(name)}); }
std::string LineRoomStatus(int room, int playing, int count) { return MakeLine("ROOM", {room, playing, count}); }
std::string LineRoomWarp(int turnSeat, int room) { return MakeLine("ROOM", {turnSeat, room}); }
std::string LineErrLocked() { return "ERR LOCKED\r"; }
std::string LineCard(const TCardList& hand) {
  TCard cards[TCardList::kMaxCards];
  for (int i = 0; i < hand.CardCount(); ++i) cards[i] = hand.CardAt(i);
  return CardLine("CARD", cards, hand.CardCount());
}
std::string LineRemoveUser(std::string_view name) { return MakeLine("REMOVEUSER", {TArg::Quoted(name)}); }
std::string LineRuserEnd() { return "RUSEREND"; }

namespace {

// Digits with at most a "-" before them: a text no reader splits otherwise.
bool PlainDecimal(std::string_view s) {
  if (!s.empty() && s[0] == '-') s.remove_prefix(1);
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string LineStart(const std::vector<std::string>& args) {
  // Always a blank after the word, also when nothing follows it.
  std::string line = "START ";
  for (size_t i = 0; i < args.size(); ++i) {
    if (!PlainDecimal(args[i]) || line.size() + (i ? 1 : 0) + args[i].size() > kMaxLineText) break;
    line += (i ? "," : "") + args[i];
  }
  return line;
}

std::string LineTurn(int seat) { return MakeLine("TURN", {seat}); }
std::string LineSaikoro(int n) { return MakeLine("SAIKORO", {n}); }
std::string LineSuiri(int seat, int room, int person, int weapon) {
  return MakeLine("SUIRI", {seat, room, TArg::Quoted(std::to_string(person)), weapon});
}
std::string LineShowWait(int seat) { return MakeLine("SHOWWAIT", {seat}); }
std::string LineShowSel(const TCard* cards, int count) { return CardLine("SHOWSEL", cards, count); }
std::string LineShowC(int seat, int code) { return MakeLine("SHOWC", {seat, code}); }
std::string LineShowCExist(int seat) { return MakeLine("SHOWC", {TArg::Plain("EXIST"), seat}); }
std::string LineShowCNo(int seat) { return MakeLine("SHOWC", {TArg::Plain("NO"), seat}); }
std::string LineShowCNotExist(int seat) { return MakeLine("SHOWC", {TArg::Plain("NOTEXIST"), seat}); }
std::string LineSuiriEnd() { return "SUIRIEND"; }
std::string LineKokusoCheck(int seat) { return MakeLine("KOKUSOCHECK", {seat}); }
std::string LineKokuso(const TCard s[3], int verdict) {
  return MakeLine("KOKUSO", {s[0].WireCode(), s[1].WireCode(), s[2].WireCode(), verdict});
}
std::string LineMove(int seat, int x, int y, int steps) { return MakeLine("MOVE", {seat, x, y, steps}); }
std::string LineInRoom(int seat, int a, int b) { return MakeLine("INROOM", {seat, a, b}); }
std::string LineOutRoom(int seat, int a, int b) { return MakeLine("OUTROOM", {seat, a, b}); }
std::string LineSuiriStart(int seat, int room) { return MakeLine("SUIRISTART", {seat, room}); }
std::string LineKokusoStart(int seat, int room) { return MakeLine("KOKUSOSTART", {seat, room}); }
std::string LineWin(int seat, const TCard s[3]) { return SolutionLine("WIN", seat, s); }
std::string LineLose(int seat) { return MakeLine("LOSE", {seat}); }
std::string LineEnd(int seat, const TCard s[3]) { return SolutionLine("END", seat, s); }
std::string LineSuiriCancel(int seat) { return MakeLine("SUIRICANCEL", {seat}); }
std::string LineKokusoCancel(int seat) { return MakeLine("KOKUSOCANCEL", {seat}); }
std::string LineCpuType(int type) { return MakeLine("CPUTYPE", {type}); }
std::string LineBye(std::string_view name) { return MakeLine("BYE", {TArg::Quoted(name)}); }
std::string LineTurnEnd2() { return "TURNEND2"; }

std::string CmdLogin(std::string_view name, std::string_view face) {
  return MakeLine("LOGIN", {TArg::Quoted(name), TArg::Quoted(face)});
}

std::string CmdAddCom(int command, std::string_view name, std::string_view face, int cpuType) {
  return MakeLine(kCommandWords[command].word, {TArg::Quoted(name), TArg::Quoted(face), cpuType});
}

std::string CmdChat(int room, std::string_view text) { return MakeLine("CHAT", {room, TArg::Quoted(text)}); }

std::string CmdWord(int command) { return kCommandWords[command].word; }
std::string CmdChroom(int room) { return MakeLine("CHROOM", {room}); }
std::string CmdStart(bool accuseAnywhere, bool moveSuspect) {
  return MakeLine("START", {accuseAnywhere ? 1 : 0, moveSuspect ? 1 : 0});
}
std::string CmdRuser(int room) { return MakeLine("RUSER", {room}); }
std::string CmdMove(int x, int y, int steps) { return MakeLine("MOVE", {x, y, steps}); }
std::string CmdWarp(int room) { return MakeLine("WARP", {room}); }
std::string CmdSuiri(int room, int person, int weapon) { return MakeLine("SUIRI", {room, person, weapon}); }
std::string CmdShow(int code) { return MakeLine("SHOW", {code}); }
std::string CmdShowNo() { return MakeLine("SHOW", {TArg::Plain("NO")}); }
std::string CmdKokuso(int room, int person, int weapon) { return MakeLine("KOKUSO", {room, person, weapon}); }
std::string CmdKokusoEnd(int verdict) { return MakeLine("KOKUSOEND", {verdict}); }
std::string CmdInRoom(int room, int steps) { return MakeLine("INROOM", {room, steps}); }
std::string CmdOutRoom(int v, int steps) { return MakeLine("OUTROOM", {v, steps}); }
std::string CmdSuiriStart(int room) { return MakeLine("SUIRISTART", {room}); }
std::string CmdKokusoStart(int room) { return MakeLine("KOKUSOSTART", {room}); }

}  // namespace kest::proto
