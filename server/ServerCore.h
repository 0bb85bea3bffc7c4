// The game server without its window: user slots, rooms, the send routine,
// the command dispatcher with every handler, logout and clean-up. The window
// (or a test) feeds it connection events and received lines.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <set>
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
};

class TKestServerCore : public kest::TUserLookup {
 public:
  static constexpr int kUserSlots = kest::proto::kUserSlots;
  static constexpr int kRoomCount = kest::proto::kRoomCount;
  static constexpr size_t kDefaultLogLimit = 5000;

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
  // The dead-connection sweep of the 1000 ms timer.
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
  bool HasData(const TServerConnection* conn) const { return attached_.count(conn) != 0; }

  // Log of every line in and out, newest kept; each entry also goes to the
  // sink (the window's hidden log box).
  const std::deque<std::string>& Log() const { return log_; }
  void SetLogLimit(size_t n);
  void SetLogSink(std::function<void(const std::string&)> sink) { logSink_ = std::move(sink); }
  void AddLog(const std::string& text);

 private:
  struct TArgs;  // a split line
  using THandler = void (TKestServerCore::*)(int id, const TArgs& a);

  // Runs fn as one entry from outside (a line, an event, the timer) and then
  // the logouts that sends failing inside it asked for.
  template <class Fn>
  void Entry(Fn&& fn);
  void RunPendingDrops();
  void DropConnection(TServerConnection* conn, bool logDisconnect);

  void CommandDispatcher(TServerConnection* conn, const std::string& line);
  bool BoundTo(int id, const TServerConnection* conn) const;
  kest::TKestUser* LiveUser(int id) const;
  bool ValidRoom(int r) const { return r >= 0 && r < kRoomCount; }

  int LoginUser(TServerConnection* conn, const std::string& name, const std::string& face);
  void ChangeRoom(int id, int target);
  void SendRoomStatus(int r);
  void ClearComputers(int r);
  void FreeSlot(int n);

  // Handlers: id is a live user bound to the connection (LOGIN, ADDCOM and
  // ADDCOM2 excepted), and the argument count fits.
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
  int SeatIn(int id) const;
  void NextTurn(int r);
  enum TEndKind { ekWin, ekEnd };
  void EndGame(int id, TEndKind kind);
  // Cards of room, person, weapon; false when one is not a valid card.
  static bool MakeTriple(const TArgs& a, kest::TCard out[3]);

  std::array<std::unique_ptr<kest::TKestUser>, kUserSlots> users_;
  std::vector<kest::TRoom> rooms_;
  // Verdict of each user's last accusation not yet closed by KOKUSOEND:
  // -1 none, 0 wrong, 1 right.
  std::array<int8_t, kUserSlots> verdict_{};
  // Connections that carry data (set at connect, cleared at disconnect or
  // when a send fails).
  std::set<const TServerConnection*> attached_;
  std::vector<TServerConnection*> pendingDrops_;
  int depth_ = 0;
  TServerConnection* current_ = nullptr;  // connection of the line being handled

  std::deque<std::string> log_;
  size_t logLimit_ = kDefaultLogLimit;
  std::function<void(const std::string&)> logSink_;
};

}  // namespace velmora
