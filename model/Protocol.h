// The wire protocol between client and server: the command words the server
// understands, the send modes, and builders for every line.
//
// A line is WORD, a blank and the arguments separated by "," (when there are
// any), then ":" and a user number. Names, faces and chat text stand between
// two BS bytes (0x08). Text is Shift-JIS bytes, passed through unchanged.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "Kestclasses.h"

namespace kest::proto {

inline constexpr char kBS = '\x08';
inline constexpr int kDefaultPort = 3201;
inline constexpr int kMaxTokens = 32;  // tokens the dispatchers split a line into
inline constexpr int kUserSlots = 100;
inline constexpr int kRoomCount = 25;  // room 0 is the lobby
// The longest line: what the server takes from a client before its line
// end, and what either side sends, its ":" user number and CR LF counted
// (the receive limit of the game's client).
inline constexpr int kMaxLineSize = 65536;

constexpr size_t DecimalDigits(int n) { return n < 10 ? 1 : 1 + DecimalDigits(n / 10); }
// What a server line's ":" and the highest user number take.
inline constexpr size_t kUserNoRoom = 1 + DecimalDigits(kUserSlots - 1);
// What is left for a line's text before ":", the user number and CR LF.
inline constexpr size_t kMaxLineText = size_t(kMaxLineSize) - kUserNoRoom - 2;
static_assert(DecimalDigits(9) == 1 && DecimalDigits(10) == 2 && DecimalDigits(99) == 2 && DecimalDigits(100) == 3,
              "a user number's digits");
static_assert(kMaxLineText > 0 && kMaxLineText + kUserNoRoom + 2 == size_t(kMaxLineSize));

// ---- Client to server: the command words, in lookup order ----

enum TCommand : int {
  cmLogin, cmChat, cmChroom, cmStart, cmRuser, cmSaikoro, cmMove, cmTurnEnd,
  cmWarp, cmSuiri, cmShowCheck, cmShow, cmKokuso, cmKokusoEnd, cmInRoom,
  cmOutRoom, cmSuiriStart, cmKokusoStart, cmSuiriCancel, cmKokusoCancel,
  cmRoomLock, cmRoomUnlock, cmAddCom, cmEndGame, cmTurnEnd2, cmConfirm,
  cmClearNpc, cmAddCom2,
  kCommandCount
};

enum class TCountRule : uint8_t { Exact, AtLeast, Any };

struct TCommandWord {
  const char* word;
  TCountRule rule;
  int8_t count;  // the count the rule compares with (Exact, AtLeast)
  int8_t reads;  // arguments the server's handler reads by position
};

// The 28 words with their argument rules, indexed by TCommand.
extern const TCommandWord kCommandWords[kCommandCount];

// Index of the word (exact, case-sensitive), -1 when unknown.
int LookupCommandWord(std::string_view word);
// Whether count arguments satisfy the word's rule.
bool CountFits(int command, int count);

// ---- Server to client: the words the client understands, in lookup order ----

enum TReply : int {
  rpLogin, rpAddUser, rpAddUser2, rpPrint, rpUser, rpChroom, rpRoom, rpErr, rpCard,
  rpRemoveUser, rpRuserEnd, rpStart, rpTurn, rpSaikoro, rpSuiri, rpShowWait, rpShowSel,
  rpShowC, rpSuiriEnd, rpKokusoCheck, rpKokuso, rpMove, rpInRoom, rpOutRoom, rpSuiriStart,
  rpKokusoStart, rpWin, rpLose, rpEnd, rpSuiriCancel, rpKokusoCancel, rpCpuType, rpBye,
  rpTurnEnd2,
  kReplyCount
};

inline constexpr int kAnyCount = -1;

struct TReplyWord {
  const char* word;
  int8_t count;  // the exact argument count the client requires, or kAnyCount
};

// The 34 words with the client's argument rules, indexed by TReply.
extern const TReplyWord kReplyWords[kReplyCount];

// Index of the word (exact, case-sensitive), -1 when unknown.
int LookupReplyWord(std::string_view word);

// ---- Server send modes ----

enum : int {
  smToUser = 1,
  smToAll = 2,
  smToRoom = 3,
  smExcept = 0x100,
  smNoComputer = 0x200,
};

// ---- Raw lines (sent as they stand: no user number, no line end added) ----

inline constexpr const char kRawErrSameName[] = "ERR SAMENAME\r";
inline constexpr const char kRawErrOverUser[] = "ERR OVERUSER\r";

// ---- Building lines ----

// One argument of a line: a decimal number, a BS-quoted text, or a token as
// it stands.
class TArg {
 public:
  TArg(int n) : text_(std::to_string(n)) {}                 // NOLINT: implicit on purpose
  static TArg Quoted(std::string_view s) { return TArg(std::string(1, kBS) + std::string(s) + kBS); }
  static TArg Plain(std::string_view s) { return TArg(std::string(s)); }
  const std::string& Text() const { return text_; }

 private:
  explicit TArg(std::string s) : text_(std::move(s)) {}
  std::string text_;
};

// WORD, and when there are arguments a blank and the arguments joined by ",".
std::string MakeLine(std::string_view word, std::initializer_list<TArg> args = {});
std::string MakeLine(std::string_view word, const std::vector<TArg>& args);
// text ":" userNo: the copy for one recipient, or a client line acting for userNo.
std::string Addressed(std::string_view text, int userNo);
// A client command as the client hands it to its socket (which adds CR LF):
// text ":" userNo CR.
std::string ClientLine(std::string_view text, int userNo);

// A Shift-JIS text that fits maxBytes as it is; a longer one cut to its
// longest start that fits and ends between characters.
std::string_view CutText(std::string_view text, size_t maxBytes);

// Kinds of user in ADDUSER lines.
enum : int { ukHuman = 0, ukComputer = 1, ukFiller = 2 };
int UserKind(const TKestUser& u);

// Server to client.
std::string LineLogin();
std::string LineAddUser(const TKestUser& u);  // name, room, face, number, kind
std::string LineAddUser2(const TKestUser& u); // name, room, face
// The text is cut, between characters, so that the line fits kMaxLineText.
std::string LinePrintChat(std::string_view name, std::string_view text);
std::string LinePrintLogout(std::string_view name);
std::string LineUser(int seat, std::string_view name);
std::string LineChroom(int room, std::string_view name);
std::string LineRoomStatus(int room, int playing, int count);
std::string LineRoomWarp(int turnSeat, int room);
std::string LineErrLocked();  // "ERR LOCKED\r", sent through the ordinary route
std::string LineCard(const TCardList& hand);
std::string LineRemoveUser(std::string_view name);
std::string LineRuserEnd();
// The arguments in order up to the first that is not a plain decimal number
// (a quoted one could carry a ":") or would not fit kMaxLineText.
std::string LineStart(const std::vector<std::string>& args);
std::string LineTurn(int seat);
std::string LineSaikoro(int n);
std::string LineSuiri(int seat, int room, int person, int weapon);
std::string LineShowWait(int seat);
std::string LineShowSel(const TCard* cards, int count);
std::string LineShowC(int seat, int code);
std::string LineShowCExist(int seat);
std::string LineShowCNo(int seat);
std::string LineShowCNotExist(int seat);
std::string LineSuiriEnd();
std::string LineKokusoCheck(int seat);
// solution: person, weapon, room.
std::string LineKokuso(const TCard solution[3], int verdict);
std::string LineMove(int seat, int x, int y, int steps);
std::string LineInRoom(int seat, int a, int b);
std::string LineOutRoom(int seat, int a, int b);
std::string LineSuiriStart(int seat, int room);
std::string LineKokusoStart(int seat, int room);
std::string LineWin(int seat, const TCard solution[3]);
std::string LineLose(int seat);
std::string LineEnd(int seat, const TCard solution[3]);
std::string LineSuiriCancel(int seat);
std::string LineKokusoCancel(int seat);
std::string LineCpuType(int type);
std::string LineBye(std::string_view name);
std::string LineTurnEnd2();

// Client to server (without the user number; see ClientLine).
std::string CmdLogin(std::string_view name, std::string_view face);
std::string CmdAddCom(int command, std::string_view name, std::string_view face, int cpuType);
std::string CmdChat(int room, std::string_view text);
// A word without arguments: SAIKORO, TURNEND, SHOWCHECK, SUIRICANCEL,
// KOKUSOCANCEL, ROOMLOCK, ROOMUNLOCK, ENDGAME, TURNEND2, CONFIRM, CLEARNPC.
std::string CmdWord(int command);
std::string CmdChroom(int room);
std::string CmdStart(bool accuseAnywhere, bool moveSuspect);
std::string CmdRuser(int room);
std::string CmdMove(int x, int y, int steps);
std::string CmdWarp(int room);
std::string CmdSuiri(int room, int person, int weapon);
std::string CmdShow(int code);
std::string CmdShowNo();
std::string CmdKokuso(int room, int person, int weapon);
std::string CmdKokusoEnd(int verdict);
std::string CmdInRoom(int room, int steps);
// v: direction << 8 | room (direction + 0x10 for a second exit).
std::string CmdOutRoom(int v, int steps);
std::string CmdSuiriStart(int room);
std::string CmdKokusoStart(int room);

// "がログアウトしました", appended to the leaver's name.
inline constexpr const char kLoggedOutText[] =
    "\x82\xaa\x83\x8d\x83\x4f\x83\x41\x83\x45\x83\x67\x82\xb5\x82\xdc\x82\xb5\x82\xbd";

}  // namespace kest::proto
