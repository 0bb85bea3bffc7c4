// The game server without its window: user slots, rooms, the send routine,
// the command dispatcher with every handler, logout and clean-up. The window
// (or a test) feeds it connection events and received lines.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <unordered_map>
#include <string>
#include <vector>

#include "Kestclasses.h"
#include "Protocol.h"

namespace velmora {

// A client connection as the server core sees it. The socket glue and the
// tests' fake connections derive from it.
class TServerConnection : public kest::TUserConnection {
 public:
  // Sends one line; the transport adds CR LF. False when the connection
  // failed; the core then logs out its users once the current line is done.
  virtual bool SendLine(const std::string& text) = 0;
  // Sends bytes as they stand (no line end added).
  virtual bool SendRaw(const std::string& bytes) = 0;
  // Whether the peer is still connected (the timer sweep asks).
  virtual bool Connected() const = 0;
  // Closes the connection; its disconnect follows, possibly at once.
  virtual void Close() = 0;
};

class TKestServerCore : public kest::TUserLookup {
 public:
  static constexpr int kUserSlots = kest::proto::kUserSlots;
  static constexpr int kRoomCount = kest::proto::kRoomCount;
  static constexpr size_t kDefaultLogLimit = 5000;
  static constexpr size_t kDefaultLogBytes = 1024 * 1024;
  // One connection holds one person and the computer players and seat
  // fillers of one table.
  static constexpr int kMaxUsersPerConnection = kest::TRoom::kMaxMembers;
  // A connection without a logged-in user is closed this long after it came.
  static constexpr int64_t kLoginTimeoutMs = 60 * 1000;

  TKestServerCore();
  ~TKestServerCore() override;
  TKestServerCore(const TKestServerCore&) = delete;
  TKestServerCore& operator=(const TKestServerCore&) = delete;

  // ---- Connection events ----
  void ClientConnect(TServerConnection* conn);
  // Logs out every user of the connection; nothing is sent to it any more.
  // Safe to call from inside a send: the logout then waits until the line
  // being handled is done.
  void ClientDisconnect(TServerConnection* conn);
  void LineArrived(TServerConnection* conn, const std::string& line);
  // The sweep of the 1000 ms timer: dead connections, and connections that
  // did not log in in time.
  void SocketCheck();
  // Listening switched off or the window closing: every user of every
  // connection is logged out and nothing is sent.
  void DropAllConnections();

  // ---- Routines of the handlers ----
  void SendLine(const std::string& text, int number, int mode, int room = 0);
  void LogoutUser(int n);
  void FreeUserSlot(TServerConnection* conn);

  // ---- State, for the window and the tests ----
  kest::TKestUser* UserOf(int userNo) const override;
  kest::TRoom& Room(int r) { return rooms_[size_t(r)]; }
  const kest::TRoom& Room(int r) const { return rooms_[size_t(r)]; }
  int LoggedInCount() const;
  bool HasData(const TServerConnection* conn) const {
    return attached_.count(const_cast<TServerConnection*>(conn)) != 0;
  }
  // The clock of the login timeout, in milliseconds (tests set their own).
  void SetClock(std::function<int64_t()> nowMs) { clock_ = std::move(nowMs); }

  // Log of every line in and out, the newest kept within a number of lines
  // and of bytes; each entry also goes to the sink (the window's hidden log
  // box).
  const std::deque<std::string>& Log() const { return log_; }
  void SetLogLimit(size_t lines, size_t bytes = kDefaultLogBytes);
  void SetLogSink(std::function<void(const std::string&)> sink) { logSink_ = std::move(sink); }
  void AddLog(std::string text);

 private:
  struct TArgs;  // a split line
  using THandler = void (TKestServerCore::*)(int id, const TArgs& a);

  // Runs fn as one entry from outside (a line, an event, the timer) and then
  // the logouts that sends failing inside it asked for.
  template <class Fn>
  void Entry(Fn&& fn);
  void RunPendingDrops();
  // Sends nothing more to conn and logs its users out once the current
  // entry is done (once, however often it is asked).
  void QueueDrop(TServerConnection* conn);
  void DropConnection(TServerConnection* conn, bool logDisconnect);

  void CommandDispatcher(TServerConnection* conn, const std::string& line);
  bool BoundTo(int id, const TServerConnection* conn) const;
  kest::TKestUser* LiveUser(int id) const;
  bool ValidRoom(int r) const { return r >= 0 && r < kRoomCount; }
  // Users (live or not yet freed) bound to a connection; persons: without
  // ufComputer.
  int UsersOn(const TServerConnection* conn, bool personsOnly) const;
  // The live person (not a computer player) on a connection, or nullptr.
  const kest::TKestUser* PersonOn(const kest::TUserConnection* conn) const;

  int LoginUser(TServerConnection* conn, const std::string& name, const std::string& face, bool computer);
  int AddComputer(int id, const TArgs& a, uint32_t flags);
  void ChangeRoom(int id, int target);
  void SendRoomStatus(int r);
  // The computer players and fillers of room r on conn go, each with a BYE.
  void ClearComputers(int r, const kest::TUserConnection* conn);
  // A computer player or filler leaves: BYE to its room, its seat left (a
  // game running there ends), its slot freed at once, so that it no longer
  // counts against its connection's users.
  void ComputerLeaves(int n);
  // Takes n out of the seats of room r; an emptied room loses its lock.
  void LeaveSeat(int n, int r);
  void FreeSlot(int n);
  void CloseIdleConnections();

  // Handlers: id is a live user bound to the connection (LOGIN excepted),
  // the argument count fits, and for the words of a turn id has the turn.
  void HLogin(int id, const TArgs& a);
  void HChat(int id, const TArgs& a);
  void HChroom(int id, const TArgs& a);
  void HStart(int id, const TArgs& a);
  void HRuser(int id, const TArgs& a);
  void HSaikoro(int id, const TArgs& a);
  void HMove(int id, const TArgs& a);
  void HTurnEnd(int id, const TArgs& a);
  void HWarp(int id, const TArgs& a);
  void HSuiri(int id, const TArgs& a);
  void HShowCheck(int id, const TArgs& a);
  void HShow(int id, const TArgs& a);
  void HKokuso(int id, const TArgs& a);
  void HKokusoEnd(int id, const TArgs& a);
  void HInRoom(int id, const TArgs& a);
  void HOutRoom(int id, const TArgs& a);
  void HSuiriStart(int id, const TArgs& a);
  void HKokusoStart(int id, const TArgs& a);
  void HSuiriCancel(int id, const TArgs& a);
  void HKokusoCancel(int id, const TArgs& a);
  void HRoomLock(int id, const TArgs& a);
  void HRoomUnlock(int id, const TArgs& a);
  void HAddCom(int id, const TArgs& a);
  void HEndGame(int id, const TArgs& a);
  void HTurnEnd2(int id, const TArgs& a);
  void HConfirm(int id, const TArgs& a);
  void HClearNpc(int id, const TArgs& a);
  void HAddCom2(int id, const TArgs& a);
  static const THandler kHandlers[kest::proto::kCommandCount];

  // Game helpers: the room of a user in a game room, or -1.
  int GameRoomOf(int id) const;
  // The room of a user whose game room is playing, or -1.
  int PlayingRoomOf(int id) const;
  int SeatIn(int id) const;
  // Whether id is the member at the turn seat of a running game.
  bool HasTurn(int id) const;
  // Sends to id's running game the line build(seat) makes with id's seat.
  template <class Build>
  void Relay(int id, Build&& build);
  void NextTurn(int r);
  // Names the room's responder seat in SHOWWAIT.
  void AskResponder(int r, int id);
  void StopGame(int r);
  enum TEndKind { ekWin, ekEnd };
  void EndGame(int id, TEndKind kind);
  // Cards of room, person, weapon; false when one is not a valid card.
  static bool MakeTriple(const TArgs& a, kest::TCard out[3]);

  // Whether id's running game has had its suggestion this turn (logged).
  bool SuggestedThisTurn(int id);

  std::array<std::unique_ptr<kest::TKestUser>, kUserSlots> users_;
  std::vector<kest::TRoom> rooms_;
  // Connections that carry data, with the time each came (set at connect,
  // cleared at disconnect or when a send fails).
  std::unordered_map<TServerConnection*, int64_t> attached_;
  std::function<int64_t()> clock_;
  std::vector<TServerConnection*> pendingDrops_;
  int depth_ = 0;
  TServerConnection* current_ = nullptr;  // connection of the line being handled

  std::deque<std::string> log_;
  size_t logLimit_ = kDefaultLogLimit;
  size_t logByteLimit_ = kDefaultLogBytes;
  size_t logBytes_ = 0;
  // Drops the oldest entries past the limits (the newest always stays).
  void TrimLog();
  std::function<void(const std::string&)> logSink_;
};

}  // namespace velmora
