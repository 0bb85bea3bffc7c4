#include "ServerCore.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>

#include "Number.h"

namespace velmora {

using namespace kest;
using namespace kest::proto;

// A received line after splitting: the tokens as text, the word first.
struct TKestServerCore::TArgs {
  std::vector<std::string> tokens;
  int count = 0;

  const std::string& Str(int i) const { return tokens[size_t(i)]; }
  int Num(int i) const { return ReadDecimal(tokens[size_t(i)]); }
};

const TKestServerCore::THandler TKestServerCore::kHandlers[kCommandCount] = {
    &TKestServerCore::HLogin,        &TKestServerCore::HChat,
    &TKestServerCore::HChroom,       &TKestServerCore::HStart,
    &TKestServerCore::HRuser,        &TKestServerCore::HSaikoro,
    &TKestServerCore::HMove,         &TKestServerCore::HTurnEnd,
    &TKestServerCore::HWarp,         &TKestServerCore::HSuiri,
    &TKestServerCore::HShowCheck,    &TKestServerCore::HShow,
    &TKestServerCore::HKokuso,       &TKestServerCore::HKokusoEnd,
    &TKestServerCore::HInRoom,       &TKestServerCore::HOutRoom,
    &TKestServerCore::HSuiriStart,   &TKestServerCore::HKokusoStart,
    &TKestServerCore::HSuiriCancel,  &TKestServerCore::HKokusoCancel,
    &TKestServerCore::HRoomLock,     &TKestServerCore::HRoomUnlock,
    &TKestServerCore::HAddCom,       &TKestServerCore::HEndGame,
    &TKestServerCore::HTurnEnd2,     &TKestServerCore::HConfirm,
    &TKestServerCore::HClearNpc,     &TKestServerCore::HAddCom2,
};

namespace {

// Counts how deep the core is inside its entries and sends, also when an
// exception leaves them.
struct TDepthScope {
  explicit TDepthScope(int& n) : n_(n) { ++n_; }
  ~TDepthScope() { --n_; }
  int& n_;
};

// Words only the player whose turn it is may send.
bool IsTurnWord(int cmd) {
  switch (cmd) {
    case cmSaikoro: case cmMove: case cmInRoom: case cmOutRoom: case cmSuiriStart: case cmSuiri:
    case cmKokusoStart: case cmKokuso: case cmTurnEnd: case cmTurnEnd2: case cmSuiriCancel:
    case cmKokusoCancel:
      return true;
    default:
      return false;
  }
}

// A name or face goes out in ADDUSER lines to every peer: it must be
// shorter than the record holds a name, and read back as it was sent.
bool UsableField(const std::string& text) {
  return text.size() < size_t(TKestUser::kNameSize) && FieldReadsBack(text);
}

// A name a user can be told apart by: a usable field of more than blanks.
bool UsableName(const std::string& name) {
  return UsableField(name) &&
         std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) > 0x20; });
}

constexpr int kBoardWidth = 24, kBoardHeight = 25;

}  // namespace

TKestServerCore::TKestServerCore() {
  clock_ = [] {
    return int64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                       .count());
  };
  rooms_.reserve(kRoomCount);
  for (int r = 0; r < kRoomCount; ++r) rooms_.emplace_back(this);
}

TKestServerCore::~TKestServerCore() = default;

// ---------------------------------------------------------------- log

void TKestServerCore::AddLog(std::string text) {
  logBytes_ += text.size();
  log_.push_back(std::move(text));
  TrimLog();
  if (logSink_) logSink_(log_.back());
}

void TKestServerCore::SetLogLimit(size_t lines, size_t bytes) {
  logLimit_ = std::max<size_t>(lines, 1);
  logByteLimit_ = bytes;
  TrimLog();
}

void TKestServerCore::TrimLog() {
  while (log_.size() > 1 && (log_.size() > logLimit_ || logBytes_ > logByteLimit_)) {
    logBytes_ -= log_.front().size();
    log_.pop_front();
  }
}

// ---------------------------------------------------------------- users

TKestUser* TKestServerCore::UserOf(int userNo) const {
  if (userNo < 0 || userNo >= kUserSlots) return nullptr;
  return users_[size_t(userNo)].get();
}

TKestUser* TKestServerCore::LiveUser(int id) const {
  TKestUser* u = UserOf(id);
  return u && u->IsLoggedIn() ? u : nullptr;
}

int TKestServerCore::LoggedInCount() const {
  int n = 0;
  for (int i = 0; i < kUserSlots; ++i) n += LiveUser(i) != nullptr;
  return n;
}

bool TKestServerCore::BoundTo(int id, const TServerConnection* conn) const {
  const TKestUser* u = LiveUser(id);
  return u && u->socket == conn;
}

int TKestServerCore::UsersOn(const TServerConnection* conn, bool personsOnly) const {
  int n = 0;
  for (const auto& u : users_)
    if (u && u->socket == conn && !(personsOnly && u->HasFlags(ufComputer))) ++n;
  return n;
}

const TKestUser* TKestServerCore::PersonOn(const TUserConnection* conn) const {
  for (int n = 0; n < kUserSlots; ++n)
    if (const TKestUser* u = LiveUser(n); u && u->socket == conn && !u->HasFlags(ufComputer)) return u;
  return nullptr;
}

void TKestServerCore::FreeSlot(int n) { users_[size_t(n)].reset(); }

void TKestServerCore::FreeUserSlot(TServerConnection* conn) {
  for (int n = 0; n < kUserSlots; ++n)
    if (users_[size_t(n)] && users_[size_t(n)]->socket == conn) FreeSlot(n);
}

// ---------------------------------------------------------------- entries

template <class Fn>
void TKestServerCore::Entry(Fn&& fn) {
  {
    TDepthScope depth(depth_);
    try {
      fn();
    } catch (const std::exception& e) {
      AddLog(std::string("Error: ") + e.what());
    }
  }
  if (depth_ == 0) RunPendingDrops();
}

void TKestServerCore::RunPendingDrops() {
  TDepthScope depth(depth_);
  while (!pendingDrops_.empty()) {
    TServerConnection* conn = pendingDrops_.front();
    pendingDrops_.erase(pendingDrops_.begin());
    try {
      DropConnection(conn, true);
    } catch (const std::exception& e) {
      AddLog(std::string("Error: ") + e.what());
    }
  }
}

void TKestServerCore::DropConnection(TServerConnection* conn, bool logDisconnect) {
  attached_.erase(conn);
  for (int n = 0; n < kUserSlots; ++n) {
    const TKestUser* u = LiveUser(n);
    if (!u || u->socket != conn) continue;
    if (logDisconnect) AddLog(">Disconnect ok" + std::to_string(n));
    LogoutUser(n);
  }
  FreeUserSlot(conn);
}

void TKestServerCore::ClientConnect(TServerConnection* conn) { attached_.emplace(conn, clock_()); }

void TKestServerCore::QueueDrop(TServerConnection* conn) {
  attached_.erase(conn);
  if (std::find(pendingDrops_.begin(), pendingDrops_.end(), conn) == pendingDrops_.end())
    pendingDrops_.push_back(conn);
}

void TKestServerCore::ClientDisconnect(TServerConnection* conn) {
  AddLog(">Disconnect");
  QueueDrop(conn);
  if (depth_ == 0) RunPendingDrops();
}

void TKestServerCore::LineArrived(TServerConnection* conn, const std::string& line) {
  if (line.empty()) {  // the second half of every client command's ending
    AddLog(line);
    return;
  }
  Entry([&] { CommandDispatcher(conn, line); });
}

void TKestServerCore::SocketCheck() {
  Entry([&] {
    for (int n = 0; n < kUserSlots; ++n) {
      const TKestUser* u = UserOf(n);
      if (!u) continue;
      auto* conn = static_cast<TServerConnection*>(u->socket);
      if (conn->Connected()) continue;
      DropConnection(conn, true);
    }
    CloseIdleConnections();
  });
}

void TKestServerCore::CloseIdleConnections() {
  const int64_t now = clock_();
  std::vector<TServerConnection*> idle;
  for (const auto& [conn, since] : attached_)
    if (now - since >= kLoginTimeoutMs && UsersOn(conn, false) == 0) idle.push_back(conn);
  for (TServerConnection* conn : idle) {
    AddLog(">Closing a connection that did not log in");
    attached_.erase(conn);
    conn->Close();
  }
}

void TKestServerCore::DropAllConnections() {
  Entry([&] {
    attached_.clear();  // nothing is sent from here on
    for (int n = 0; n < kUserSlots; ++n)
      if (const TKestUser* u = UserOf(n)) DropConnection(static_cast<TServerConnection*>(u->socket), false);
    pendingDrops_.clear();
  });
}

// ---------------------------------------------------------------- sending

void TKestServerCore::SendLine(const std::string& text, int number, int mode, int room) {
  // The builders keep every line within the bound; one that is not would
  // cost its receivers their connections.
  if (text.size() > kMaxLineText) {
    AddLog("Not sent: a line of " + std::to_string(text.size()) + " bytes");
    return;
  }
  const int base = mode & 0xFF;
  std::array<int, kUserSlots> to;
  size_t count = 0;
  if (base == smToUser) {
    const TKestUser* u = LiveUser(number);
    if (u && HasData(static_cast<TServerConnection*>(u->socket)) &&
        !((mode & smNoComputer) && u->HasFlags(ufComputer)))
      to[count++] = number;
  } else if (base == smToAll || base == smToRoom) {
    for (int n = 0; n < kUserSlots; ++n) {
      const TKestUser* u = LiveUser(n);
      if (!u || !HasData(static_cast<TServerConnection*>(u->socket))) continue;
      if ((mode & smExcept) && n == number) continue;
      if (u->HasFlags(ufNonParticipant)) continue;
      if ((mode & smNoComputer) && u->HasFlags(ufComputer)) continue;
      if (base == smToRoom && u->GetRoom() != room) continue;
      to[count++] = n;
    }
  }
  {
    // A transport reporting its disconnect inside a send waits for the loop's
    // end, also when the send raised.
    TDepthScope depth(depth_);
    for (size_t i = 0; i < count; ++i) {
      const int n = to[i];
      const TKestUser* u = LiveUser(n);
      if (!u) continue;
      const std::string copy = Addressed(text, n);
      std::string entry = ">" + std::to_string(n);
      entry.reserve(entry.size() + 1 + copy.size());
      entry.append(1, ' ').append(copy);
      AddLog(std::move(entry));
      auto* conn = static_cast<TServerConnection*>(u->socket);
      if (!HasData(conn) || conn->SendLine(copy)) continue;
      // The connection failed: nothing more goes to it, and its users are
      // logged out once the line being handled is done with their records.
      AddLog(">Send error to " + std::to_string(n));
      QueueDrop(conn);
    }
  }
  if (depth_ == 0) RunPendingDrops();
}

// ---------------------------------------------------------------- dispatcher

void TKestServerCore::CommandDispatcher(TServerConnection* conn, const std::string& line) {
  AddLog(line);
  if (!HasData(conn)) return;  // a connection already given up

  // The line is split in place in a copy; a short one (nearly all) stays on
  // the stack.
  char small[256];
  std::vector<char> large;
  char* buf = small;
  if (line.size() >= sizeof small) {
    large.resize(line.size() + 1);
    buf = large.data();
  }
  std::memcpy(buf, line.data(), line.size());
  buf[line.size()] = '\0';
  char* tokens[kMaxTokens];
  int id = -1;
  const int count = SplitLine(buf, tokens, kMaxTokens, id);
  if (count < 0) return;
  const int cmd = LookupCommandWord(tokens[0]);
  if (cmd < 0 || !CountFits(cmd, count)) return;
  if (count < kCommandWords[cmd].reads) {
    AddLog("Ignored: missing argument");
    return;
  }
  // A line acts only for a user of its own connection; a login comes before
  // that.
  if (cmd != cmLogin && !BoundTo(id, conn)) {
    AddLog("Ignored: user " + std::to_string(id) + " is not on this connection");
    return;
  }
  if (IsTurnWord(cmd) && !HasTurn(id)) {
    AddLog(std::string("Ignored: ") + kCommandWords[cmd].word + " out of turn from user " + std::to_string(id));
    return;
  }

  TArgs a;
  a.count = count;
  a.tokens.reserve(size_t(count) + 1);
  for (int i = 0; i <= count; ++i) a.tokens.emplace_back(tokens[i]);
  current_ = conn;
  try {
    (this->*kHandlers[cmd])(id, a);
  } catch (const std::exception& e) {
    AddLog(std::string("Error in ") + kCommandWords[cmd].word + ": " + e.what());
  }
  current_ = nullptr;
}

// ---------------------------------------------------------------- login and lobby

int TKestServerCore::LoginUser(TServerConnection* conn, const std::string& name, const std::string& face,
                               bool computer) {
  AddLog("Login :" + name + "  Face : " + face);
  auto refuse = [&](const char* log, const char* raw) {
    AddLog(log);
    if (HasData(conn) && !conn->SendRaw(raw)) QueueDrop(conn);
    return -1;
  };
  // A name that would be stored empty, shows nothing or would not read
  // back is refused as a name in use is: it could not tell its user apart.
  if (!UsableName(name)) return refuse("Error! Unusable name", kRawErrSameName);
  if (!UsableField(face)) return refuse("Error! Unusable face", kRawErrSameName);
  for (int i = 0; i < kUserSlots; ++i)
    if (const TKestUser* u = LiveUser(i); u && u->GetName() == name)
      return refuse("Error! Samename User", kRawErrSameName);
  if (UsersOn(conn, false) >= kMaxUsersPerConnection || (!computer && UsersOn(conn, true) > 0))
    return refuse("Error! Over User on one connection", kRawErrOverUser);
  int n = 0;
  while (n < kUserSlots && users_[size_t(n)]) ++n;
  if (n == kUserSlots) return refuse("Error! Over User", kRawErrOverUser);

  auto u = std::make_unique<TKestUser>();
  u->SetName(name);
  u->SetFace(face);
  u->SetRoom(0);
  u->SetPlace(0);
  u->socket = conn;
  u->ClearUnused();
  u->MarkLoggedIn();
  u->UserNo = int16_t(n);
  users_[size_t(n)] = std::move(u);

  SendLine(LineLogin(), n, smToUser);
  for (int i = 0; i < kUserSlots; ++i)
    if (const TKestUser* v = LiveUser(i); v && v->GetRoom() == 0) SendLine(LineAddUser(*v), n, smToUser);
  SendLine(LineAddUser(*users_[size_t(n)]), n, smToRoom | smExcept, 0);
  for (int r = 0; r <= 10; ++r) SendRoomStatus(r);
  return n;
}

void TKestServerCore::HLogin(int, const TArgs& a) { LoginUser(current_, a.Str(1), a.Str(2), false); }

// A person adds a computer player or a seat filler under the person's own
// number, on the person's connection.
int TKestServerCore::AddComputer(int id, const TArgs& a, uint32_t flags) {
  const TKestUser* host = LiveUser(id);
  if (!host) return -1;
  if (host->HasFlags(ufComputer)) {
    AddLog("Ignored: a computer player adding another");
    return -1;
  }
  const int n = LoginUser(current_, a.Str(1), a.Str(2), true);
  if (n >= 0) users_[size_t(n)]->SetFlags(flags);
  return n;
}

void TKestServerCore::HAddCom(int id, const TArgs& a) {
  if (const int n = AddComputer(id, a, ufComputer); n >= 0) users_[size_t(n)]->CpuType = int16_t(a.Num(3));
}

void TKestServerCore::HAddCom2(int id, const TArgs& a) { AddComputer(id, a, ufNonParticipant | ufComputer); }

void TKestServerCore::SendRoomStatus(int r) {
  if (!ValidRoom(r)) return;
  int playing = 0, count = 0;
  if (r == 0) {
    for (int i = 0; i < kUserSlots; ++i)
      if (const TKestUser* u = LiveUser(i); u && u->GetRoom() == 0) ++count;
  } else {
    playing = rooms_[size_t(r)].IsPlaying() ? 1 : 0;
    count = rooms_[size_t(r)].LobbyCount();
  }
  SendLine(LineRoomStatus(r, playing, count), 0, smToRoom, 0);
}

namespace {

// The name without bytes up to 0x20 at either end.
std::string Trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  return s.substr(b, e - b);
}

}  // namespace

void TKestServerCore::HChat(int id, const TArgs& a) {
  const TKestUser* u = LiveUser(id);
  if (!u) return;
  // Chat goes to the sender's own room or to the lobby.
  const int r = a.Num(1);
  if (r != 0 && r != u->GetRoom()) {
    AddLog("Ignored: CHAT to another room");
    return;
  }
  SendLine(LinePrintChat(Trimmed(u->GetName()), a.Str(2)), id, smToRoom | smNoComputer, r);
}

void TKestServerCore::HChroom(int id, const TArgs& a) {
  const int target = a.Num(1);
  if (ValidRoom(target) && LiveUser(id)) ChangeRoom(id, target);
}

void TKestServerCore::ChangeRoom(int id, int target) {
  TKestUser& u = *LiveUser(id);
  TRoom& t = rooms_[size_t(target)];
  const bool computer = u.HasFlags(ufComputer);
  // A computer player goes only where the person who added it sits.
  const TKestUser* person = computer ? PersonOn(u.socket) : nullptr;
  const bool strays = computer && (!person || person->GetRoom() != target);
  if (strays || t.IsPlaying() || (target != 0 && t.MemberCount() >= TRoom::kMaxMembers) ||
      target == u.GetRoom() || t.IsLocked()) {
    SendLine(LineErrLocked(), id, smToUser);
    // One that strays, or found no seat and would only linger in the lobby,
    // is logged out.
    if (strays || (computer && u.GetRoom() == 0)) {
      const int r = u.GetRoom();
      ComputerLeaves(id);
      SendRoomStatus(r);
    }
    return;
  }
  const int old = u.GetRoom();
  const std::string name = u.GetName();
  // Leaving a running game ends it as a logout does, and the room hears it
  // the same way: the clients end a game on BYE.
  const bool leavesGame = old > 0 && ValidRoom(old) && rooms_[size_t(old)].IsPlaying();
  // A person's computer players and fillers leave the table first, as
  // CLEARNPC would take them, so that nobody is left to play them.
  if (old > 0 && !computer) ClearComputers(old, u.socket);
  SendLine(LineChroom(target, name), id, smToUser);
  SendLine(leavesGame ? LineBye(name) : LineRemoveUser(name), id, smToRoom | smExcept, old);
  LeaveSeat(id, old);
  if (target > 0) t.AddMember(int16_t(id));
  u.SetRoom(int16_t(target));
  if (leavesGame) StopGame(old);

  if (target > 0) {
    for (int s = 0; s < t.MemberCount(); ++s) {
      const TKestUser* m = UserOf(t.MemberAt(s));
      if (!m) continue;
      SendLine(LineAddUser(*m), id, smToUser);
      if (m->HasFlags(ufComputer)) SendLine(LineCpuType(m->CpuType), m->UserNo, smToUser);
    }
    for (int s = 0; s < t.MemberCount(); ++s)
      if (const int m = t.MemberAt(s); m != id && UserOf(m)) SendLine(LineAddUser(u), m, smToUser);
  } else {
    for (int n = 0; n < kUserSlots; ++n) {
      const TKestUser* v = LiveUser(n);
      if (!v || v->GetRoom() != 0) continue;
      SendLine(LineAddUser(*v), id, smToUser);
      if (n != id) SendLine(LineAddUser(u), n, smToUser);
    }
  }
  SendRoomStatus(old);
  SendRoomStatus(target);
}

void TKestServerCore::HRuser(int id, const TArgs& a) {
  const int r = a.Num(1);
  if (!ValidRoom(r)) return;
  if (r > 0) {
    const TRoom& room = rooms_[size_t(r)];
    for (int s = 0; s < room.MemberCount(); ++s)
      if (const TKestUser* m = UserOf(room.MemberAt(s))) SendLine(LineAddUser2(*m), id, smToUser);
  } else {
    for (int n = 0; n < kUserSlots; ++n)
      if (const TKestUser* v = LiveUser(n); v && v->GetRoom() == 0) SendLine(LineAddUser2(*v), id, smToUser);
  }
  SendLine(LineRuserEnd(), id, smToUser);
}

void TKestServerCore::HRoomLock(int id, const TArgs&) {
  if (const int r = GameRoomOf(id); r > 0) rooms_[size_t(r)].SetLocked(true);
}

void TKestServerCore::HRoomUnlock(int id, const TArgs&) {
  if (const int r = GameRoomOf(id); r > 0) rooms_[size_t(r)].SetLocked(false);
}

// The sender's own computer players leave its room; during a game that
// would renumber the seats, so it waits for the game's end.
void TKestServerCore::HClearNpc(int id, const TArgs&) {
  const TKestUser* u = LiveUser(id);
  if (!u) return;
  const int r = u->GetRoom();
  if (r > 0 && ValidRoom(r) && rooms_[size_t(r)].IsPlaying()) {
    AddLog("Ignored: CLEARNPC during a game");
    return;
  }
  ClearComputers(r, u->socket);
}

void TKestServerCore::ClearComputers(int r, const TUserConnection* conn) {
  if (!ValidRoom(r)) return;
  for (int n = 0; n < kUserSlots; ++n) {
    const TKestUser* u = LiveUser(n);
    if (u && u->HasFlags(ufComputer) && u->GetRoom() == r && u->socket == conn) ComputerLeaves(n);
  }
}

void TKestServerCore::ComputerLeaves(int n) {
  TKestUser* u = LiveUser(n);
  if (!u) return;
  const int r = u->GetRoom();
  SendLine(LineBye(u->GetName()), n, smToRoom | smExcept, r);
  LeaveSeat(n, r);
  u->MarkUnused();
  u->ClearLoggedIn();
  FreeSlot(n);
  if (r > 0 && ValidRoom(r) && rooms_[size_t(r)].IsPlaying()) StopGame(r);
}

void TKestServerCore::LeaveSeat(int n, int r) {
  if (r <= 0 || !ValidRoom(r)) return;
  TRoom& room = rooms_[size_t(r)];
  room.RemoveMember(int16_t(n));
  if (room.MemberCount() == 0) room.SetLocked(false);  // a lock lasts while somebody is there
}

void TKestServerCore::LogoutUser(int n) {
  TKestUser* u = LiveUser(n);
  if (!u) return;
  const int r = u->GetRoom();
  LeaveSeat(n, r);
  const std::string name = u->GetName();
  AddLog("BYE : " + name);
  SendLine(LineBye(name), n, smToRoom | smExcept, r);
  SendLine(LinePrintLogout(name), n, smToRoom | smExcept, r);
  u->MarkUnused();
  u->ClearLoggedIn();
  ClearComputers(r, u->socket);  // the leaver's own, in the lobby as at a table
  if (r > 0 && ValidRoom(r)) StopGame(r);
  SendRoomStatus(r);
}

// ---------------------------------------------------------------- game

int TKestServerCore::GameRoomOf(int id) const {
  const TKestUser* u = LiveUser(id);
  const int r = u ? u->GetRoom() : -1;
  return r >= 1 && r < kRoomCount ? r : -1;
}

int TKestServerCore::PlayingRoomOf(int id) const {
  const int r = GameRoomOf(id);
  return r > 0 && rooms_[size_t(r)].IsPlaying() ? r : -1;
}

int TKestServerCore::SeatIn(int id) const {
  const int r = GameRoomOf(id);
  return r < 0 ? -1 : rooms_[size_t(r)].SeatOf(id);
}

bool TKestServerCore::HasTurn(int id) const {
  const int r = PlayingRoomOf(id);
  return r > 0 && rooms_[size_t(r)].MemberAt(rooms_[size_t(r)].TurnSeat()) == id;
}

bool TKestServerCore::MakeTriple(const TArgs& a, TCard out[3]) {
  const int room = a.Num(1), person = a.Num(2), weapon = a.Num(3);
  if (room < 0 || room > 8 || person < 0 || person > 5 || weapon < 0 || weapon > 5) return false;
  out[0] = TCard::MakeCard(mkRoom, uint16_t(room));
  out[1] = TCard::MakeCard(mkPerson, uint16_t(person));
  out[2] = TCard::MakeCard(mkWeapon, uint16_t(weapon));
  return true;
}

template <class Build>
void TKestServerCore::Relay(int id, Build&& build) {
  const int r = PlayingRoomOf(id), seat = SeatIn(id);
  if (r > 0 && seat >= 0) SendLine(build(seat), id, smToRoom, r);
}

void TKestServerCore::StopGame(int r) { rooms_[size_t(r)].StopPlaying(); }

// The table's host (the first member) starts a game while none runs.
void TKestServerCore::HStart(int id, const TArgs& a) {
  const int r = GameRoomOf(id);
  if (r < 0) return;
  TRoom& room = rooms_[size_t(r)];
  if (room.MemberAt(0) != id || room.IsPlaying()) {
    AddLog("Ignored: START not from the host of a waiting table");
    return;
  }
  if (!room.DealCards()) {
    AddLog("Ignored: START without a player");
    return;
  }
  AddLog("START!");
  SendLine(LineStart(std::vector<std::string>(a.tokens.begin() + 1, a.tokens.end())), id, smToRoom, r);
  for (int n = 0; n < kUserSlots; ++n)
    if (const TKestUser* u = LiveUser(n); u && u->GetRoom() == r) SendLine(LineCard(u->hand), n, smToUser);
  room.ForPlayerSeats([&](int s, const TKestUser& m) { SendLine(LineUser(s, m.GetName()), id, smToRoom, r); });
  SendLine(LineTurn(room.TurnSeat()), id, smToRoom, r);
}

void TKestServerCore::HSaikoro(int id, const TArgs&) {
  const int r = PlayingRoomOf(id);
  if (r < 0) return;
  const int n = rooms_[size_t(r)].die.RollDie(6);
  SendLine(LineSaikoro(n), id, smToRoom, r);
}

void TKestServerCore::HMove(int id, const TArgs& a) {
  const int x = a.Num(1), y = a.Num(2);
  if (x < 0 || x >= kBoardWidth || y < 0 || y >= kBoardHeight) {
    AddLog("Ignored: MOVE off the board");
    return;
  }
  Relay(id, [&](int seat) { return LineMove(seat, x, y, a.Num(3)); });
}

void TKestServerCore::HInRoom(int id, const TArgs& a) {
  Relay(id, [&](int seat) { return LineInRoom(seat, a.Num(1), a.Num(2)); });
}

void TKestServerCore::HOutRoom(int id, const TArgs& a) {
  Relay(id, [&](int seat) { return LineOutRoom(seat, a.Num(1), a.Num(2)); });
}

void TKestServerCore::HSuiriStart(int id, const TArgs& a) {
  if (SuggestedThisTurn(id)) return;
  Relay(id, [&](int seat) { return LineSuiriStart(seat, a.Num(1)); });
}

bool TKestServerCore::SuggestedThisTurn(int id) {
  const int r = PlayingRoomOf(id);
  if (r < 0 || !rooms_[size_t(r)].Suggested()) return false;
  AddLog("Ignored: a second suggestion in the turn from user " + std::to_string(id));
  return true;
}

void TKestServerCore::HKokusoStart(int id, const TArgs& a) {
  Relay(id, [&](int seat) { return LineKokusoStart(seat, a.Num(1)); });
}

void TKestServerCore::HSuiriCancel(int id, const TArgs&) { Relay(id, LineSuiriCancel); }

void TKestServerCore::HKokusoCancel(int id, const TArgs&) { Relay(id, LineKokusoCancel); }

void TKestServerCore::NextTurn(int r) {
  // Seats put out are passed over; when every player is out, nobody gets
  // the turn.
  if (const int t = rooms_[size_t(r)].NextTurn(); t >= 0) SendLine(LineTurn(t), 0, smToRoom, r);
}

void TKestServerCore::HTurnEnd(int id, const TArgs&) {
  if (const int r = PlayingRoomOf(id); r > 0) NextTurn(r);
}

// The other humans of the table confirm, each once, before the next turn.
void TKestServerCore::HTurnEnd2(int id, const TArgs&) {
  const int r = PlayingRoomOf(id);
  if (r < 0) return;
  TRoom& room = rooms_[size_t(r)];
  uint8_t asked = 0;
  room.ForPlayerSeats([&](int s, const TKestUser& m) {
    if (m.HasFlags(ufComputer) || m.UserNo == id) return;
    asked |= uint8_t(1u << s);
    SendLine(LineTurnEnd2(), m.UserNo, smToUser);
  });
  if (!room.AwaitConfirmations(asked)) NextTurn(r);
}

void TKestServerCore::HConfirm(int id, const TArgs&) {
  const int r = PlayingRoomOf(id), seat = SeatIn(id);
  if (r >= 0 && seat >= 0 && rooms_[size_t(r)].Confirm(seat)) NextTurn(r);
}

void TKestServerCore::HWarp(int id, const TArgs& a) {
  const int r = GameRoomOf(id), n = a.Num(1);
  if (r < 0 || n < 1 || n >= kRoomCount) return;  // game rooms only: the lobby reads ROOM lines otherwise
  SendLine(LineRoomWarp(rooms_[size_t(r)].TurnSeat(), n), id, smToRoom, n);
}

void TKestServerCore::HSuiri(int id, const TArgs& a) {
  const int r = PlayingRoomOf(id), seat = SeatIn(id);
  TCard cards[3];
  if (r < 0 || seat < 0 || !MakeTriple(a, cards) || SuggestedThisTurn(id)) return;
  SendLine(LineSuiri(seat, a.Num(1), a.Num(2), a.Num(3)), id, smToRoom, r);
  rooms_[size_t(r)].SetSuggestion(id, cards);
  AskResponder(r, id);
}

void TKestServerCore::AskResponder(int r, int id) {
  SendLine(LineShowWait(rooms_[size_t(r)].AskResponder()), id, smToRoom, r);
}

// Only the seat asked may look at its matching cards, once.
void TKestServerCore::HShowCheck(int id, const TArgs&) {
  const int r = PlayingRoomOf(id);
  if (r < 0) return;
  TRoom& room = rooms_[size_t(r)];
  if (room.AskedSeat() < 0 || room.MemberAt(room.AskedSeat()) != id || room.AskedCardsLooked()) {
    AddLog("Ignored: SHOWCHECK from a seat not asked");
    return;
  }
  room.LookAtAskedCards();
  SendLine(LineShowSel(room.Matches(), room.MatchCount()), id, smToUser);
}

// Only the seat asked answers; an answer the rules do not allow is replaced
// by the one they demand, so that the game goes on and stays fair.
void TKestServerCore::HShow(int id, const TArgs& a) {
  const int r = PlayingRoomOf(id);
  if (r < 0) return;
  TRoom& room = rooms_[size_t(r)];
  const int seat = room.AskedSeat();
  if (seat < 0 || room.MemberAt(seat) != id) {
    AddLog("Ignored: SHOW from a seat not asked");
    return;
  }
  const int suggester = room.MemberAt(room.TurnSeat());
  if (!UserOf(suggester)) return;
  room.LookAtAskedCards();  // an answer without SHOWCHECK is judged all the same
  const TCard* match = room.Matches();
  const int matches = room.MatchCount();
  int code = a.Str(1) == "NO" ? -1 : a.Num(1);
  const bool valid = code < 0 ? matches == 0
                              : std::any_of(match, match + matches, [&](const TCard& c) { return c.WireCode() == code; });
  if (!valid) {
    code = matches > 0 ? match[0].WireCode() : -1;
    AddLog("Replaced: SHOW " + a.Str(1) + " by " + (code < 0 ? std::string("NO") : std::to_string(code)));
  }
  room.Answered();
  const bool shown = code >= 0;
  SendLine(shown ? LineShowC(seat, code) : LineShowCNo(seat), suggester, smToUser);
  const std::string others = shown ? LineShowCExist(seat) : LineShowCNotExist(seat);
  room.ForPlayerSeats([&](int s, const TKestUser& m) {
    if (s != room.TurnSeat()) SendLine(others, m.UserNo, smToUser);
  });
  if (shown || room.ResponderSeat() == room.TurnSeat())
    SendLine(LineSuiriEnd(), suggester, smToUser);
  else
    AskResponder(r, id);
}

// An accusation is made at one's turn, once per verdict, and not by a
// player already out.
void TKestServerCore::HKokuso(int id, const TArgs& a) {
  const int r = PlayingRoomOf(id), seat = SeatIn(id);
  TCard cards[3];
  if (r < 0 || seat < 0 || !MakeTriple(a, cards)) return;
  TRoom& room = rooms_[size_t(r)];
  if (room.IsOut(seat) || room.Verdict(seat) >= 0) {
    AddLog("Ignored: KOKUSO from a player out or with a verdict open");
    return;
  }
  SendLine(LineKokusoCheck(seat), id, smToRoom | smExcept, r);
  const bool right = room.CheckAccusation(cards);
  room.OpenVerdict(seat, right);
  TCard solution[3];
  room.GetSolution(solution);
  SendLine(LineKokuso(solution, right ? 1 : 0), id, smToUser);
}

void TKestServerCore::HKokusoEnd(int id, const TArgs&) {
  const int r = PlayingRoomOf(id), seat = SeatIn(id);
  if (r < 0 || seat < 0) return;
  // The verdict is the server's own, from this player's last accusation.
  TRoom& room = rooms_[size_t(r)];
  const int v = room.TakeVerdict(seat);
  if (v < 0) {
    AddLog("Ignored: KOKUSOEND without an accusation");
    return;
  }
  if (v) {
    EndGame(id, ekWin);
    return;
  }
  SendLine(LineLose(seat), id, smToRoom, r);
  room.PutOut(seat);
  if (!room.AnyPlayerIn()) EndGame(id, ekEnd);
}

// The host may end a running game.
void TKestServerCore::HEndGame(int id, const TArgs&) {
  const int r = PlayingRoomOf(id);
  if (r < 0 || rooms_[size_t(r)].MemberAt(0) != id) {
    AddLog("Ignored: ENDGAME not from the host of a running game");
    return;
  }
  EndGame(id, ekEnd);
}

void TKestServerCore::EndGame(int id, TEndKind kind) {
  const int r = GameRoomOf(id);
  if (r < 0) return;
  TRoom& room = rooms_[size_t(r)];
  TCard solution[3];
  room.GetSolution(solution);
  const int seat = SeatIn(id);
  SendLine(kind == ekWin ? LineWin(seat, solution) : LineEnd(seat, solution), id, smToRoom, r);
  StopGame(r);
}

}  // namespace velmora
