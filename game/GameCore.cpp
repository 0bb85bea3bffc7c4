#include "GameCore.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "NpcNames.h"
#include "Number.h"
#include "Protocol.h"
#include "StartCells.h"

namespace client {

using namespace kest::proto;

namespace {

// Texts the game writes on the board (Shift-JIS).
const char kMoving[] = "\x88\xda\x93\xae\x92\x86";                                  // 移動中
const char kSuggesting[] = "\x90\x84\x97\x9d\x92\x86\x81\x63\x81\x63";              // 推理中……
const char kWillSuggest[] = "\x82\xaa\x90\x84\x97\x9d\x82\xb5\x82\xdc\x82\xb7";     // が推理します
const char kAsking[] = "\x83\x41\x83\x8a\x83\x6f\x83\x43\x92\xb2\x8d\xb8\x92\x86";  // アリバイ調査中
const char kThatAlibi[] = "\x82\xbb\x82\xcc\x83\x41\x83\x8a\x83\x6f\x83\x43\x82\xcd";  // そのアリバイは
const char kHasIt[] = "\x82\xaa\x8e\x9d\x82\xc1\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81\x42";  // が持っています。
// は、そのアリバイを持っていません。
const char kHasNot[] =
    "\x82\xcd\x81\x41\x82\xbb\x82\xcc\x83\x41\x83\x8a\x83\x6f\x83\x43\x82\xf0\x8e\x9d\x82\xc1\x82\xc4\x82\xa2\x82\xdc"
    "\x82\xb9\x82\xf1\x81\x42";
const char kFound[] = "\x82\xa0\x82\xe8\x82\xdc\x82\xb5\x82\xbd";                  // ありました
const char kNotFound[] = "\x8e\x9d\x82\xc1\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1";  // 持っていません
const char kAccusing[] = "\x8d\x90\x91\x69\x92\x86\x81\x49";                         // 告訴中！
const char kWillAccuse[] = "\x82\xaa\x8d\x90\x91\x69\x82\xb5\x82\xdc\x82\xb7";      // が告訴します
const char kVerdictText[] = "\x8d\x90\x91\x69\x8c\x8b\x89\xca\x81\x63\x81\x63";      // 告訴結果……
const char kSuiriCancelled[] = "\x90\x84\x97\x9d\x82\xf0\x92\x86\x8e\x7e\x82\xb5\x82\xdc\x82\xb5\x82\xbd";  // 推理を中止しました
const char kKokusoCancelled[] = "\x8d\x90\x91\x69\x82\xf0\x92\x86\x8e\x7e\x82\xb5\x82\xdc\x82\xb5\x82\xbd";  // 告訴を中止しました
const char kLost[] = "\x8d\x90\x91\x69\x8e\xb8\x94\x73\x81\x49";                    // 告訴失敗！
const char kYouLost[] = "\x8d\x90\x91\x69\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49";  // 告訴に失敗しました！
const char kOtherLost[] = "\x82\xaa\x8d\x90\x91\x69\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49";
const char kWon[] = "\x8d\x90\x91\x69\x90\xac\x8c\xf7\x81\x49";  // 告訴成功！
// おめでとう！告訴に成功しました！
const char kYouWon[] = "\x82\xa8\x82\xdf\x82\xc5\x82\xc6\x82\xa4\x81\x49\x8d\x90\x91\x69\x82\xc9\x90\xac\x8c\xf7\x82\xb5"
                       "\x82\xdc\x82\xb5\x82\xbd\x81\x49";
const char kOtherWon[] = "\x82\xaa\x8d\x90\x91\x69\x82\xc9\x90\xac\x8c\xf7\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x49";
const char kIdeSpace[] = "\x81\x40";  // 　
const char kDe[] = "\x82\xc5";          // で
const char kGa[] = "\x82\xaa";          // が
const char kWoTsukatta[] = "\x82\xf0\x8e\x67\x82\xc1\x82\xbd";  // を使った

int Distance(int a, int b) {
  int dx = a % BoardWidth - b % BoardWidth, dy = a / BoardWidth - b / BoardWidth;
  return IntSqrt(dx * dx + dy * dy);
}

// Of the door cells of room (0-8, 9 the accusation spot), the one nearest to
// cell, the first in row order on a tie; -1 none.
int NearestDoor(int room, int cell) {
  int best = -1, bestDistance = 0;
  for (int i = 0; i < BoardWidth * BoardHeight; ++i) {
    if (BoardMap[i] <= 1 || client::DoorRoom(BoardMap[i]) != room) continue;
    int d = Distance(i, cell);
    if (best < 0 || d < bestDistance) best = i, bestDistance = d;
  }
  return best;
}

kest::TKestUser EmptySeat() {
  kest::TKestUser s;
  s.UserNo = -1;
  return s;
}

}  // namespace

TGameCore::TGameCore(TLineSender& sender, TGameView& view) : sender_(sender), view_(view) {
  localUser_.SetFace("0");
  localUser_.SetRoom(0);
  localUser_.SetPlace(0);
  localUser_.ClearUnused();
  localUser_.MarkLoggedIn();
  for (auto& s : seats_) s = EmptySeat();
  controls_.Start.enabled = controls_.Out.enabled = true;
  for (int w = 0; w < 6; ++w) weaponCells_[w] = kWeaponStartCells[w];
}

// ---------------------------------------------------------------- lookups

int TGameCore::SlotOfUser(int userId) const {
  if (userId < 0) return -1;
  for (int s = 0; s < 6; ++s)
    if (seats_[s].UserNo == userId) return s;
  return -1;
}

int TGameCore::ComputerSeatOf(int id) const {
  if (mySeat_ != 0 || id < 0 || id == myUserId_) return -1;
  int s = SlotOfUser(id);
  return s >= 0 && seats_[s].HasFlags(kest::ufComputer) ? s : -1;
}

std::string TGameCore::SeatName(int seat) const {
  return ValidSeat(seat) ? TrimName(seats_[seat].GetName()) : std::string();
}

bool TGameCore::Bad(bool condition, const char* word) {
  if (condition) {
    std::fprintf(stderr, "velmora: %s line out of range, ignored\n", word);
    view_.Log(std::string(word) + " line out of range, ignored");
  }
  return condition;
}

void TGameCore::RaiseScriptEvent(int seat, const char* event, const std::vector<int>& args) {
  if (scripts_) scripts_->RaiseScriptEvent(seat, event, args);
}

bool TGameCore::OwnCopy() {
  if (walk_.inFlight <= 0) return false;
  --walk_.inFlight;
  return true;
}

void TGameCore::SeatMoved(int seat) {
  if (scripts_) scripts_->SeatMoved(seat);
}

// ---------------------------------------------------------------- controls

TControls TGameCore::Controls() const {
  TControls c = controls_;
  // A new game starts from a table the cleared computer players have left.
  if (state_ == gsNoGame && ComputersLeaving()) c.Start.enabled = false;
  if (!verdict_.OwnOpen()) return c;
  c.Suiri.enabled = c.Kokuso.enabled = c.Move.enabled = c.Start.enabled = c.Out.enabled = false;
  c.Arrows.fill(false);
  return c;
}

void TGameCore::SetTableOptions(bool kokusoMode, bool suiriMode, int cpuCount) {
  kokusoMode_ = kokusoMode;
  suiriMode_ = suiriMode;
  cpuCount_ = cpuCount;
}

bool TGameCore::RollFor(int seat) {
  if (!ValidSeat(seat) || outcome_.Out(seat) || seats_[seat].HasFlags(kest::ufDiceDone)) return false;
  seats_[seat].SetFlags(kest::ufDiceDone);
  SendLine(seats_[seat].UserNo, CmdWord(cmSaikoro));
  return true;
}

void TGameCore::SetArrows(bool enabled) { controls_.Arrows.fill(enabled); }

void TGameCore::DisableGameButtons() {
  controls_.Suiri.enabled = controls_.Kokuso.enabled = controls_.Move.enabled = false;
  for (int a = kUp; a <= kRight; ++a) controls_.Arrows[a] = false;
}

// The buttons of a table without a game: 終了 to leave, 開始 for the host.
void TGameCore::EndLobbyButtons() {
  controls_.Out.enabled = true;
  controls_.OutCaption = ocEnd;
  controls_.PassageTarget = -1;
  controls_.Start.enabled = true;
  controls_.Start.visible = mySeat_ == 0;
}

// The nine buttons whose states a suggestion or accusation saves.
std::array<bool*, 9> TGameCore::SavedButtons() {
  return {&controls_.Suiri.enabled,  &controls_.Kokuso.enabled, &controls_.Move.enabled,
          &controls_.Arrows[kUp],    &controls_.Arrows[kDown],  &controls_.Arrows[kLeft],
          &controls_.Arrows[kRight], &controls_.Start.enabled,  &controls_.Out.enabled};
}

void TGameCore::SaveButtonStates() {
  std::array<bool*, 9> w = SavedButtons();
  for (size_t i = 0; i < w.size(); ++i) {
    savedStates_[i] = *w[i];
    *w[i] = false;
  }
}

void TGameCore::RestoreButtonStates() {
  std::array<bool*, 9> w = SavedButtons();
  for (size_t i = 0; i < w.size(); ++i) *w[i] = savedStates_[i];
}

void TGameCore::ShowSecondExits(int room) { controls_.SecondExitRoom = room == 0 || room == 4 ? room : -1; }

void TGameCore::ShowPassageButton(int room) {
  int target = room >= 0 && room < 9 ? RoomTable[room][32] : -1;
  if (target < 0 || target > 8) {
    controls_.Start.visible = false;
    return;
  }
  controls_.PassageTarget = target;
  controls_.Start.enabled = false;
  controls_.Start.visible = true;
}

void TGameCore::HidePassageButton() {
  controls_.Start.visible = false;
  controls_.Start.enabled = false;
  controls_.PassageTarget = -1;
}

void TGameCore::UpdateMoveButtons(int seat, int steps) {
  if (seat == mySeat_) {
    SetArrows(true);
    // The own walk runs ahead of the server's copies: its steps are the truth.
    steps = walk_.steps;
  }
  view_.DrawDie(steps >= 0 && steps <= 6 ? steps : 0, 2);
  controls_.Out.enabled = turnSeat_ == mySeat_ && steps == 0;
}

// The verdict's pause is over: the timer stops and the verdict goes back.
void TGameCore::SendVerdictAfterPause() {
  animTick_ = 0;
  StopTimer();
  SendLine(verdict_.VerdictUser(), CmdKokusoEnd(verdict_.Value()));
  verdict_.Sent();
}

void TGameCore::StopTimer() {
  timer_.active = false;
  timer_.interval = 33;
}

void TGameCore::StartTimer(int interval) {
  timer_.interval = interval;
  timer_.active = true;
}

// ---------------------------------------------------------------- login

void TGameCore::SendLogin(const std::string& name, const std::string& face) {
  if (state_ != gsOffline) return;
  loginName_ = name;
  loginFace_ = face;
  SendLine(0, CmdLogin(name, face));
}

void TGameCore::ResetToLoggedOut() {
  CloseGameDialogs();
  view_.CloseResult();
  StopTimer();
  state_ = gsOffline;
  myUserId_ = -1;
  playerCount_ = 0;
  mySeat_ = 0;
  turnSeat_ = 0;
  expectedPlayers_ = 0;
  computersAdded_ = false;
  lobby_.RoomAnswered();
  viewShown_ = false;
  pendingShowCheck_ = -1;
  computers_.NewGame();
  adds_.Clear();
  clearingComputers_ = false;
  startBack_ = false;
  verdict_.Close();
  for (auto& s : seats_) s = EmptySeat();
  localUser_.SetRoom(0);
  localUser_.hand.ClearList();
  walk_ = TWalk();
  // The screen as before the first login: no table, no game, nothing to press.
  controls_ = TControls();
  controls_.Start.enabled = controls_.Out.enabled = true;
  lobby_.ClearUsers();
  view_.UserListChanged();
  view_.FreePieces();
  view_.FreeTurnCursor();
  view_.FreeCardPictures();
  view_.HideCaptionPanels();
  view_.HideCheckPanel();
  view_.ShowDie(false);
  view_.ClearCardStrip();
  view_.ClearNotebook();
  view_.CloseNotebook();
  view_.DrawBoardBackground();
  view_.DrawTitle();
}

void TGameCore::HandleLogin(int id, int) {
  if (myUserId_ == -1) {
    myUserId_ = id;
    state_ = gsNoGame;
    localUser_.SetName(loginName_);
    localUser_.SetFace(loginFace_);
    localUser_.SetRoom(0);
    view_.LoggedIn();
    SendLine(myUserId_, CmdChroom(1));
  } else if (!adds_.LoggedIn(id)) {
    SendLine(id, CmdChroom(TableRoom()));
  } else {
    // A computer player the host has just added joins the host's table, in
    // its slot's turn: a name asked for again logs in after later slots.
    EnterTable();
  }
}

int TGameCore::TableRoom() const { return localUser_.GetRoom() > 0 ? localUser_.GetRoom() : 1; }

void TGameCore::EnterTable() {
  for (int id : adds_.TakeEntering()) SendLine(id, CmdChroom(TableRoom()));
}

// A computer player asked for is seated or refused. A refusal leaves the
// table short: it does not start by itself, and once every computer player
// asked for is answered the host gets Start back.
void TGameCore::AddAnswered() {
  if (adds_.Answered() > 0 || !startBack_) return;
  startBack_ = false;
  if (state_ == gsNoGame && mySeat_ == 0) controls_.Start = {true, true};
}

void TGameCore::AddFailed(const std::string& why, const std::string& name) {
  EnterTable();
  view_.Log(why + name);
  if (expectedPlayers_ > 0) {
    expectedPlayers_ = 0;
    startBack_ = true;
  }
  AddAnswered();
}

void TGameCore::HandleErr(int, const std::string& text) {
  if (text == "SAMENAME") {
    if (myUserId_ == -1) {
      view_.LoginRefused(rfSameName);
      return;
    }
    // A computer player's name is taken: ask again under another tag.
    std::string dropped;
    std::string line = adds_.Retry(&dropped);
    if (!line.empty()) {
      SendLine(myUserId_, line);
    } else if (!dropped.empty()) {
      AddFailed("computer player not added: ", dropped);
    }
  } else if (text == "LOCKED") {
    // Seated at a table, the refused room change is a computer player's: the
    // server logs that player out again.
    if (myUserId_ != -1 && localUser_.GetRoom() > 0) {
      AddFailed("table closed, computer player not added", "");
      return;
    }
    view_.LoginRefused(rfLocked);
  } else if (text == "OVERUSER") {
    if (myUserId_ != -1) {  // no slot left for a computer player
      AddFailed("server full, computer player not added: ", adds_.Refused());
      return;
    }
    view_.LoginRefused(rfOverUser);
  }
}

// ---------------------------------------------------------------- lobby

void TGameCore::HandleChroom(int, int room, const std::string& name) {
  if (name == localUser_.GetName()) {
    playerCount_ = 0;
    localUser_.SetRoom(int16_t(room));
    lobby_.ClearUsers();
    controls_.Start.visible = false;
    if (room == 0) {
      controls_.Lobby = true;
      controls_.Out.visible = false;
      view_.HideCaptionPanels();
      view_.FreeCardPictures();
      view_.FreePieces();
      view_.FreeTurnCursor();
      controls_.CardSpd = controls_.CheckSpd = false;
      view_.ClearNotebook();
      view_.CloseNotebook();
      view_.DrawBoardBackground();
    } else {
      controls_.Lobby = false;
      controls_.Out.visible = true;
      controls_.OutCaption = ocEnd;
      for (int seat = 0; seat < 6; ++seat) view_.DrawPlayerRow(seat, "", "");
    }
    view_.OwnRoomChanged(room);
  } else if (localUser_.GetRoom() != 0 && room != localUser_.GetRoom()) {
    lobby_.RemoveUser(name);
  }
  view_.UserListChanged();
}

void TGameCore::HandleRoom(int, int room, int playing, int count) {
  if (room < 0 || room > 10) return;
  lobby_.SetRow(room, playing != 0, count);
  view_.RoomRowChanged(room);
}

void TGameCore::SendStart() { SendLine(myUserId_, CmdStart(kokusoMode_, suiriMode_)); }

void TGameCore::HandleAddUser(int id, const std::string& name, int room, const std::string& face, int userNo,
                              int kind) {
  if (id != myUserId_) return;
  if (room != 0) {
    if (playerCount_ >= 6) return;  // a seventh member has no seat
    if (name == localUser_.GetName()) {
      mySeat_ = playerCount_;
      if (mySeat_ == 0) controls_.Start.visible = true;
    }
    kest::TKestUser& s = seats_[playerCount_];
    s.SetName(name);
    s.SetRoom(int16_t(room));
    s.SetFace(face);
    s.UserNo = int16_t(userNo);
    if (kind != 0) {
      s.SetFlags(kest::ufComputer);
      if (kind == 2) {
        s.SetFlags(kest::ufNonParticipant);
      } else {
        s.ClearFlags(kest::ufNonParticipant);
      }
    } else {
      s.ClearFlags(kest::ufComputer | kest::ufNonParticipant);
    }
  }
  lobby_.AddUser(name);
  view_.UserListChanged();
  if (room != 0) view_.DrawPlayerRow(playerCount_, face, name);
  if (room != 0 && kind != 0) AddAnswered();
  ++playerCount_;
  if (playerCount_ == expectedPlayers_) {
    SendStart();
    expectedPlayers_ = 0;
    controls_.Start.visible = false;
  }
}

void TGameCore::HandleAddUser2(int, const std::string& name, int, const std::string&) {
  lobby_.AddUser(name);
  view_.UserListChanged();
}

void TGameCore::HandleRuserEnd(int) { lobby_.RoomAnswered(); }

void TGameCore::HandleUser(int id, int seat, const std::string& name) {
  if (id != myUserId_ || localUser_.GetRoom() != 0) return;
  lobby_.InsertUser(seat, name);
  view_.UserListChanged();
}

void TGameCore::HandleRemoveUser(int, const std::string& name) {
  lobby_.RemoveUser(name);
  view_.UserListChanged();
  if (localUser_.GetRoom() == 0) return;
  for (int j = 0; j < playerCount_ && j < 6; ++j) {
    if (seats_[j].GetName() == name) {
      for (int k = j; k < 5; ++k) seats_[k] = seats_[k + 1];
      seats_[5] = EmptySeat();
      --playerCount_;
      break;
    }
  }
  for (int k = 0; k < 6; ++k) {
    if (k < playerCount_) {
      if (seats_[k].GetName() == localUser_.GetName()) mySeat_ = k;
      view_.DrawPlayerRow(k, seats_[k].GetFace(), seats_[k].GetName());
    } else {
      view_.DrawPlayerRow(k, "", "");
    }
  }
  controls_.Start.visible = mySeat_ == 0;
  if (!ComputersLeaving()) clearingComputers_ = false;  // all gone
  if (state_ != gsNoGame) ResetBoard();
}

void TGameCore::HandleBye(int id, const std::string& name) {
  TGameState s = state_;
  HandleRemoveUser(id, name);
  if (s == gsNoGame) return;
  verdict_.Close();
  CloseGameDialogs();
  view_.FreeTurnCursor();
  StopTimer();
  computersAdded_ = false;
  controls_.Suiri.enabled = controls_.Kokuso.enabled = controls_.Move.enabled = false;
  SetArrows(false);
  EndLobbyButtons();
  state_ = gsNoGame;
}

void TGameCore::HandlePrint(int id, const std::string& text) {
  if (id == myUserId_) view_.AppendChat(text);
}

void TGameCore::HandleCpuType(int id, int type) {
  int s = SlotOfUser(id);
  if (s < 0) return;
  seats_[s].SetFlags(kest::ufComputer);
  seats_[s].CpuType = int16_t(type);
}

void TGameCore::InButtonClick(int room) {
  if (room < 0 || room > 10 || room == localUser_.GetRoom()) return;
  if (lobby_.Full(room)) return;
  SendLine(myUserId_, CmdChroom(room));
}

void TGameCore::RoomViewSelectItem(int room) {
  if (room < 0 || myUserId_ < 0 || !lobby_.AskRoom()) return;
  view_.UserListChanged();
  SendLine(myUserId_, CmdRuser(room));
}

void TGameCore::SendChat(const std::string& text) { SendLine(myUserId_, CmdChat(localUser_.GetRoom(), text)); }

// ---------------------------------------------------------------- buttons

void TGameCore::OutButtonClick() {
  if (state_ != gsNoGame && !Controls().Out.enabled) return;
  view_.HideCheckPanel();
  if (state_ == gsNoGame) {
    view_.CloseMainWindow();
  } else if (state_ == gsConfirm) {
    controls_.Out.enabled = false;
    controls_.OutCaption = ocTurnEnd;
    state_ = gsIdle;
    SendLine(myUserId_, CmdWord(cmConfirm));
  } else if (state_ != gsOffline) {
    controls_.Out.enabled = false;
    SendLine(myUserId_, CmdWord(viewShown_ ? cmTurnEnd2 : cmTurnEnd));
  }
}

void TGameCore::AddComputer(int command, int seat) {
  SendLine(myUserId_, adds_.Ask(command, seat, npc_->GetNpcName(seat - 1, true), npc_->GetNpcName(seat - 1, false)));
}

void TGameCore::StartButtonClick() {
  if (state_ != gsNoGame && state_ != gsOffline) {
    // In a game the button is the secret passage of the own room.
    int target = controls_.PassageTarget;
    if (target < 0 || target > 8 || walk_.place < 1 || walk_.place > 9) return;
    controls_.Move.enabled = false;
    controls_.Start.enabled = false;
    walk_.MarkRoomDoors(walk_.place - 1, 0);
    walk_.place = target + 1;
    localUser_.SetPlace(int16_t(target + 1));
    ++walk_.inFlight;
    SendLine(myUserId_, CmdInRoom(target, 0));
    return;
  }
  if (state_ != gsNoGame || !npc_ || !Controls().Start.enabled) return;
  std::array<std::string, 6> humans;
  for (int k = 0; k < playerCount_ && k < 6; ++k)
    if (!seats_[k].HasFlags(kest::ufComputer)) humans[k] = seats_[k].GetName();
  npc_->MakeUniqueNames(humans, playerCount_);

  if (cpuCount_ == 0 || computersAdded_) {
    if (playerCount_ < 2) {
      view_.WarnTwoPlayers();
      return;
    }
    // Pressed once: a second press would ask for the same seats again.
    controls_.Start.enabled = false;
    if (playerCount_ >= 6) {  // a full table of humans starts at once
      SendStart();
      controls_.Start.visible = false;
      return;
    }
    expectedPlayers_ = 6;
    for (int seat = playerCount_; seat <= 5; ++seat) AddComputer(cmAddCom2, seat);
    return;
  }
  controls_.Start = {false, false};
  computersAdded_ = true;
  int n = std::min(playerCount_ + cpuCount_, 6) - playerCount_;
  for (int seat = playerCount_; seat < playerCount_ + n; ++seat) AddComputer(cmAddCom, seat);
  expectedPlayers_ = 6;
  for (int seat = playerCount_ + n; seat <= 5; ++seat) AddComputer(cmAddCom2, seat);
  if (playerCount_ >= 6) {
    SendStart();
    expectedPlayers_ = 0;
  }
}

// ---------------------------------------------------------------- start, cards, turns

void TGameCore::HandleCard(int id, const TArgs& args) {
  int k = kest::ReadDecimal(args.empty() ? std::string() : args[0]);
  if (Bad(k < 0 || k > kest::TCardList::kMaxCards || int(args.size()) < k + 1, "CARD")) return;
  std::vector<int> codes;
  for (int i = 1; i <= k; ++i) {
    int c = kest::ReadDecimal(args[i]);
    if (Bad(!ValidCardCode(c), "CARD")) return;
    codes.push_back(c);
  }
  static const int passes[3] = {3, 1, 2};
  if (id == myUserId_) {
    if (!ValidSeat(mySeat_)) return;
    localUser_.hand.ClearList();
    seats_[mySeat_].hand.ClearList();
    view_.ClearCardStrip();
    for (int kind : passes)
      for (int c : codes) {
        if (c / 10 != kind) continue;
        kest::TCard card = kest::TCard::MakeCard(uint8_t(kind), uint16_t(c % 10));
        localUser_.hand.Append(card);
        seats_[mySeat_].hand.Append(card);
        view_.AddCardToStrip(kind, c % 10);
        view_.PutMark(kind == 3 ? 0 : kind == 1 ? 1 : 2, c % 10, 1, mySeat_);
      }
    view_.PlaceCardStrip(k);
    controls_.CardSpd = true;
    return;
  }
  int seat = ComputerSeatOf(id);
  if (seat < 0) return;
  seats_[seat].hand.ClearList();
  for (int kind : passes)
    for (int c : codes)
      if (c / 10 == kind) seats_[seat].hand.Append(kest::TCard::MakeCard(uint8_t(kind), uint16_t(c % 10)));
  RaiseScriptEvent(seat, "OnInit", codes);
}

void TGameCore::StartGame(int id, const TArgs& args) {
  if (id != myUserId_) return;
  CloseGameDialogs();
  // A result dialog still open from the previous game is only closed: its
  // button's actions belong to the end of that game.
  view_.CloseResult();
  timer_.active = false;  // the interval carries over from the last animation
  verdict_.Close();
  view_.DrawBoard();
  view_.DrawDie(0, 3);
  for (int w = 0; w < 6; ++w) weaponCells_[w] = kWeaponStartCells[w];
  view_.CreatePieces();
  view_.ShowDie(true);
  accuseAnywhere_ = kest::ReadDecimal(args.size() > 0 ? args[0] : std::string()) != 0;
  moveSuspect_ = kest::ReadDecimal(args.size() > 1 ? args[1] : std::string()) != 0;
  controls_.OutCaption = ocTurnEnd;
  controls_.Out.enabled = false;
  controls_.Suiri.enabled = controls_.Kokuso.enabled = false;
  localUser_.SetPlace(0);
  state_ = gsIdle;
  viewShown_ = false;
  pendingShowCheck_ = -1;
  view_.HideCaptionPanels();
  view_.FreeCardPictures();
  for (int seat = playerCount_; seat < 6; ++seat) {
    std::string raw = npc_ ? npc_->GetNpcName(seat - 1, false) : "";
    seats_[seat].SetName(raw);
    seats_[seat].SetFace(raw);
  }
  for (int seat = 0; seat < 6; ++seat) {
    seats_[seat].SetPlace(0);
    view_.SetPersonCard(seat);
    view_.DrawPlayerRow(seat, seats_[seat].GetFace(), seats_[seat].GetName());
    seats_[seat].SetPosition(int16_t(kPlayerStartCells[seat].x), int16_t(kPlayerStartCells[seat].y));
  }
  outcome_.NewGame();
  computers_.NewGame();
  walk_ = TWalk();
  walk_.accuseAnywhere = accuseAnywhere_;
  if (ValidSeat(mySeat_)) walk_.x = kPlayerStartCells[mySeat_].x, walk_.y = kPlayerStartCells[mySeat_].y;
  if (scripts_ && !scripts_->SetUpScripts()) {
    view_.CloseMainWindow();
    return;
  }
  view_.CreateTurnCursor();
  view_.SetTurnCursor(0);
  view_.ClearNotebook();
  controls_.CheckSpd = true;
}

void TGameCore::HandleTurn(int id, int s) {
  if (!InGame() || Bad(!ValidSeat(s), "TURN")) return;
  int cseat = ComputerSeatOf(id);
  if (id != myUserId_ && cseat < 0) return;
  computers_.Turn(s, cseat >= 0 && cseat == s);
  if (id == myUserId_) {
    // A slow client may still be rolling the previous turn's die. That roll is
    // over: show its result now, without the end actions that belong to the
    // turn that has passed (they would take the new turn's roll away).
    if (state_ == gsRolling) {
      die_.Finish();
      StopTimer();
      timer_.interval = die_.interval;
      view_.DrawDie(rollValue_, 3);
      state_ = gsIdle;
    }
    turnSeat_ = s;
    walk_.wayBack = -1;
    if (viewShown_) ClearView();
    for (int k = 0; k < playerCount_ && k < 6; ++k)
      if (!seats_[k].HasFlags(kest::ufNonParticipant)) view_.SetPlayerStatus(k, "");
    view_.SetTurnCursor(s);
    seats_[s].SetSteps(0);
    view_.PlayMusic(muMain);
  }
  if (s != mySeat_) {
    if (id == myUserId_) {
      SetArrows(false);
      controls_.Suiri.enabled = controls_.Move.enabled = controls_.Kokuso.enabled = false;
      controls_.Start.enabled = false;
    }
    if (cseat >= 0 && cseat == s) {
      seats_[s].ClearFlags(kest::ufDiceDone);
      seats_[s].SetSteps(0);
      RaiseScriptEvent(s, "OnTurn");
    }
    return;
  }
  if (id != myUserId_) return;
  view_.DrawDie(0, 2);
  seats_[mySeat_].ClearFlags(kest::ufDiceDone);
  localUser_.ClearFlags(kest::ufDiceDone);
  SetArrows(false);
  // A new walk: nothing of an earlier turn's steps and path counts.
  walk_.ClearMarks();
  walk_.steps = 0;
  walk_.inFlight = 0;  // the server copied every earlier step before this TURN
  if (OutOfGame()) {  // out after a wrong accusation: it can only end its turn
    controls_.Move.enabled = controls_.Kokuso.enabled = controls_.Suiri.enabled = controls_.Start.enabled = false;
    controls_.Out.enabled = true;
    return;
  }
  view_.ShowCheckPanel(false);
  view_.PlaySound("CHECKSND");
  controls_.Move.enabled = true;
  controls_.Kokuso.enabled = accuseAnywhere_;
  int place = walk_.place;
  if (place != 0) {
    ShowPassageButton(place - 1);
    controls_.Start.enabled = controls_.Start.visible;
    controls_.Suiri.enabled = true;
    ShowSecondExits(place - 1);
  } else {
    ShowSecondExits(-1);
  }
}

void TGameCore::HandleTurnEnd2(int) {
  if (state_ < gsIdle) return;
  state_ = gsConfirm;
  view_.PlaySound("CHECKSND2");
  view_.ShowCheckPanel(true);
  controls_.OutCaption = ocConfirm;
  controls_.Out.enabled = true;
}

// ---------------------------------------------------------------- die

void TGameCore::MoveButtonClick() {
  if (!MyTurn() || !Controls().Move.enabled) return;
  view_.HideCheckPanel();
  if (!RollFor(mySeat_)) return;
  localUser_.SetFlags(kest::ufDiceDone);
  controls_.Move.enabled = false;
  controls_.Start.enabled = false;
}

void TGameCore::HandleSaikoro(int id, int n) {
  if (id != myUserId_ || !InGame()) return;  // one animation per client, driven by its own copy
  if (Bad(n < 1 || n > 6, "SAIKORO")) return;
  view_.PlaySound("SAISND");
  rollValue_ = n;
  if (turnSeat_ == mySeat_) {
    seats_[mySeat_].SetSteps(int16_t(n));
    walk_.steps = n;
  }
  state_ = gsRolling;
  die_.Start(n);
  timer_.active = true;
  view_.DrawDie(0, 3);
}

void TGameCore::KestTimerTimer() {
  switch (state_) {
    case gsRolling: {
      die_.interval = timer_.interval;
      int shown = 1;
      bool going = die_.Tick(&shown);
      view_.DrawDie(shown, 1);
      timer_.interval = die_.interval;
      if (going) return;
      timer_.active = false;
      view_.DrawDie(rollValue_, 3);
      state_ = gsIdle;
      walk_.ClearMarks();
      if (turnSeat_ == mySeat_) {
        SetArrows(true);
        walk_.steps = rollValue_;
        localUser_.SetSteps(int16_t(rollValue_));
        walk_.SeedMarks();
      } else if (mySeat_ == 0 && ValidSeat(turnSeat_) && seats_[turnSeat_].HasFlags(kest::ufComputer)) {
        seats_[turnSeat_].SetSteps(int16_t(rollValue_));
        RaiseScriptEvent(turnSeat_, "OnMove");
      }
      if (ValidSeat(turnSeat_)) view_.SetPlayerStatus(turnSeat_, kMoving);
      controls_.Move.enabled = false;
      return;
    }
    case gsSuiriCaptions:
    case gsKokusoCaptions: {
      if (animStep_ < 3)
        view_.SetCaptionWidth(animStep_, CaptionWidth(int(captionTexts_[animStep_].size()), animTick_));
      if (++animTick_ >= 11) {
        animTick_ = 0;
        ++animStep_;
      }
      if (animStep_ < 3) return;
      StopTimer();
      if (state_ == gsSuiriCaptions) {
        state_ = gsIdle;
        if (pendingShowCheck_ >= 0) {
          SendLine(pendingShowCheck_, CmdWord(cmShowCheck));
          pendingShowCheck_ = -1;
        }
      } else {
        state_ = gsKokusoCards;
        view_.ShowKokusoCards();
        animTick_ = 0;
        StartTimer(50);
      }
      return;
    }
    case gsKokusoCards: {
      view_.SlideKokusoCards(animTick_);
      if (++animTick_ < 11) return;
      SendVerdictAfterPause();
      return;
    }
    case gsComputerVerdict: {
      if (++animTick_ < 21) return;
      SendVerdictAfterPause();
      return;
    }
    default:
      timer_.active = false;
  }
}

// ---------------------------------------------------------------- walking

void TGameCore::ArrowButtonClick(int arrow) {
  if (arrow < kUp || arrow > kDown2) return;
  if (state_ < gsIdle || turnSeat_ != mySeat_ || !controls_.Arrows[arrow]) return;
  bool second = arrow == kUp2 || arrow == kDown2;
  int tag = arrow == kUp2 ? arUp : arrow == kDown2 ? arDown : arrow;
  bool wasCorridor = walk_.place == 0;
  TWalkResult r = ArrowStep(walk_, tag, second);
  if (r.kind == TWalkResult::None) return;
  if (r.leftSpot) controls_.Kokuso.enabled = accuseAnywhere_;
  if (r.onSpot) controls_.Kokuso.enabled = true;
  if (r.kind == TWalkResult::OutRoom) {
    localUser_.SetPlace(0);
    localUser_.SetPosition(int16_t(walk_.x), int16_t(walk_.y));
  }
  ++walk_.inFlight;
  SendLine(myUserId_, r.line);
  if (wasCorridor)
    for (int a = kUp; a <= kRight; ++a) controls_.Arrows[a] = false;
}

void TGameCore::HandleMove(int id, int seat, int x, int y, int steps) {
  if (Bad(!ValidSeat(seat) || !OnBoard(x, y) || steps < 0 || steps > 6, "MOVE")) return;
  if (id == myUserId_) {
    view_.PlaySound(footToggle_ ? "FOOTSND2" : "FOOTSND1");
    footToggle_ = !footToggle_;
    if (computers_.MoveCopied(seat)) {
      seats_[seat].SetPosition(int16_t(x), int16_t(y));
      seats_[seat].SetSteps(int16_t(steps));
      SeatMoved(seat);
    }
    if (seat == mySeat_ && !OwnCopy()) walk_.x = x, walk_.y = y;
    view_.PiecesMoved();
    UpdateMoveButtons(seat, steps);
    return;
  }
  int cseat = ComputerSeatOf(id);
  if (cseat >= 0 && cseat == turnSeat_ && cseat == seat) RaiseScriptEvent(cseat, steps > 0 ? "OnMove" : "OnMoveEnd");
}

void TGameCore::MovePieceToRoom(int seat, int room) {
  seats_[seat].SetPlace(int16_t(room + 1));
  seats_[seat].SetPosition(int16_t(RoomTable[room][8 + 2 * seat]), int16_t(RoomTable[room][9 + 2 * seat]));
}

void TGameCore::HandleInRoom(int id, int seat, int room, int steps) {
  if (Bad(!ValidSeat(seat) || room < 0 || room > 8 || steps < 0 || steps > 6, "INROOM")) return;
  if (id == myUserId_ && computers_.MoveCopied(seat)) {
    MovePieceToRoom(seat, room);
    SeatMoved(seat);
  }
  if (id == myUserId_) {
    view_.PlaySound("DOORSND1");
    view_.PiecesMoved();
    if (seat == mySeat_) {
      if (!OwnCopy()) walk_.place = room + 1;
      localUser_.SetPlace(int16_t(room + 1));
    }
    UpdateMoveButtons(seat, steps);
    // The room's buttons, unless the walk has already left it again.
    if (turnSeat_ == mySeat_ && seat == mySeat_ && walk_.place == room + 1) {
      controls_.Suiri.enabled = true;
      controls_.Out.enabled = true;
      ShowPassageButton(room);
      ShowSecondExits(room);
    }
    return;
  }
  int cseat = ComputerSeatOf(id);
  if (cseat >= 0 && cseat == seat) RaiseScriptEvent(cseat, "OnInRoom", {room});
}

void TGameCore::HandleOutRoom(int id, int seat, int v, int steps) {
  int room = v & 0xF, dir = (v >> 8) & 0xF;
  bool second = (v & 0x1000) != 0;
  int x, y;
  if (Bad(!ValidSeat(seat) || steps < 0 || steps > 6 || !ExitCell(room, dir, second, x, y), "OUTROOM")) return;
  if (id != myUserId_) return;
  if (seat == mySeat_) OwnCopy();
  if (computers_.MoveCopied(seat)) {
    seats_[seat].SetPlace(0);
    seats_[seat].SetPosition(int16_t(x), int16_t(y));
    SeatMoved(seat);
  }
  view_.PiecesMoved();
  UpdateMoveButtons(seat, steps);
  if (turnSeat_ == mySeat_ && seat == mySeat_) {
    view_.PlaySound("FOOTSND1");
    ShowSecondExits(-1);
    controls_.Suiri.enabled = false;
    controls_.Out.enabled = walk_.steps == 0;
    HidePassageButton();
  }
}

// The computer player in seat walks one step toward room (its own record runs
// ahead of the server's copies, counted by computers_). It chooses the
// arrow the way leads; the step is then the arrow step of the own player's
// walk, on a walk of its own without path marks or way back (only its
// OUTROOM differs: it carries no second-exit flag).
int TGameCore::MoveSeatToward(int t, int room) {
  if (!ValidSeat(t) || room < 0 || room > kSpotRoom) return -1;
  kest::TKestUser& u = seats_[size_t(t)];
  if (outcome_.Out(t) || u.GetSteps() <= 0) return -1;
  int x = u.X(), y = u.Y(), place = u.GetPlace();
  if (!OnBoard(x, y)) return -1;
  int cell = CellIndex(x, y);
  int tag = -1;
  bool second = false;
  if (place == 10) {
    // On the accusation spot: the one way off it leads back where it is entered from.
    if (room == kSpotRoom) return 1;
    for (int dir = 0; dir < 4; ++dir) {
      int nx = x - kDx[dir], ny = y - kDy[dir];
      if ((BoardMap[cell] & ArrowBit(dir)) != 0 && OnBoard(nx, ny) && BoardMap[CellIndex(nx, ny)] == 0) {
        tag = OppositeArrow(dir);
        break;
      }
    }
  } else if (place == 0) {
    uint16_t dir = RouteTable()[size_t(room)][size_t(cell)];
    if (dir > 3) return 1;
    tag = dir;
  } else {
    int s = place - 1;
    if (s > 8) return -1;
    // Out through the door of its room nearest the target room's door nearest to it.
    int target = NearestDoor(room, cell);
    int exitDoor = target < 0 ? -1 : NearestDoor(s, target);
    if (exitDoor < 0) return -1;
    int ex = exitDoor % BoardWidth, ey = exitDoor / BoardWidth;
    for (int d = 0; d < 4; ++d) {
      int nx = ex + kDx[d], ny = ey + kDy[d];
      if (OnBoard(nx, ny) && BoardMap[CellIndex(nx, ny)] == 0 && RoomTable[s][2 * d] >= 0) tag = d;
    }
    if (tag < 0) return -1;
    // The exit that leads onto the cell beside that door: the plain one, or
    // the second exit of rooms 0 and 4.
    int nx = ex + kDx[tag], ny = ey + kDy[tag], px, py;
    if (ExitCell(s, tag, true, px, py) && px == nx && py == ny) {
      second = true;
    } else if (!ExitCell(s, tag, false, px, py) || px != nx || py != ny) {
      return -1;
    }
  }
  if (tag < 0) return -1;
  TWalk walk;
  walk.x = x, walk.y = y, walk.place = place == 10 ? 0 : place, walk.steps = u.GetSteps();
  TWalkResult r = ArrowStep(walk, tag, second);
  if (r.kind == TWalkResult::None) return -1;
  u.SetSteps(int16_t(walk.steps));
  u.SetPosition(int16_t(walk.x), int16_t(walk.y));
  u.SetPlace(int16_t(r.kind == TWalkResult::InRoom ? r.room + 1 : r.onSpot ? 10 : 0));
  if (r.kind == TWalkResult::OutRoom) {
    // The game function names the direction and the room only, for a second
    // exit too; the others place the piece on the exit cell by the MOVE
    // that follows.
    SendMoveFor(t, CmdOutRoom((tag << 8) | r.room, walk.steps));
    SendMoveFor(t, CmdMove(walk.x, walk.y, walk.steps));
  } else {
    SendMoveFor(t, r.line);
  }
  SeatMoved(t);
  return 0;
}

void TGameCore::SendMoveFor(int seat, const std::string& text) {
  computers_.MoveSent(seat);
  SendLine(seats_[size_t(seat)].UserNo, text);
}

// ---------------------------------------------------------------- suggestion and accusation

bool TGameCore::SuggestFor(int seat, int person, int weapon) {
  if (!computers_.MaySuggest(seat)) return false;
  int place = seats_[size_t(seat)].GetPlace();
  if (place < 1 || place > 9 || outcome_.Out(seat)) return false;
  int room = place - 1, id = seats_[size_t(seat)].UserNo;
  SendLine(id, CmdSuiriStart(room));
  SendSuiri(id, room, weapon, person);
  computers_.Suggested(seat);
  return true;
}

bool TGameCore::AccuseFor(int seat, int room, int person, int weapon) {
  if (!computers_.MayAccuse(seat) || outcome_.Out(seat)) return false;
  int place = seats_[size_t(seat)].GetPlace();
  if (!accuseAnywhere_ && place != 10) return false;
  int id = seats_[size_t(seat)].UserNo;
  SendLine(id, CmdKokusoStart(place == 0 ? 0 : place - 1));
  SendKokuso(id, room, weapon, person);
  computers_.Accused(seat, room >= 0);
  return true;
}

// ---------------------------------------------------------------- a computer player's turn

int TGameCore::EndTurnFor(int seat, bool confirm) {
  if (seat < 0 || seat != ComputerTurnSeat()) return -1;
  const kest::TKestUser& u = seats_[size_t(seat)];
  bool rolled = u.HasFlags(kest::ufDiceDone);
  int steps = u.GetSteps();
  if ((steps == 0 && rolled) || u.GetPlace() != 0 || outcome_.Out(seat)) {
    EndComputerTurn(seat, confirm);
    return 0;
  }
  return steps + (rolled ? 1 : 0);
}

bool TGameCore::TakeOverTurn(int seat) {
  if (seat < 0 || seat != ComputerTurnSeat()) return false;
  computers_.TakeOver();
  return FinishTakenOverTurn(seat);
}

bool TGameCore::FinishTakenOverTurn(int seat) {
  if (!TurnTakenOver(seat) || SuggestionOpen(seat) || AccusationOpen(seat)) return false;
  EndComputerTurn(seat, viewShown_);
  if (scripts_) scripts_->TurnEndedForScript(seat);
  return true;
}

bool TGameCore::AnsweredForHost(int seat) {
  if (!TurnTakenOver(seat)) return false;
  FinishTakenOverTurn(seat);
  return true;
}

void TGameCore::EndComputerTurn(int seat, bool confirm) {
  computers_.TurnEnded();
  SendLine(seats_[size_t(seat)].UserNo, CmdWord(confirm ? cmTurnEnd2 : cmTurnEnd));
}

bool TGameCore::ShowFor(int seat, int code) {
  if (!computers_.Answer(seat, code)) return false;
  SendLine(seats_[size_t(seat)].UserNo, code < 0 ? CmdShowNo() : CmdShow(code));
  return true;
}

std::string TGameCore::AnswerFor(int seat) {
  if (!CardAsked(seat)) return "";
  int code = computers_.HostsAnswer(seat);
  ShowFor(seat, code);
  return code < 0 ? CmdShowNo() : CmdShow(code);
}

void TGameCore::SuiriButtonClick() {
  if (walk_.place < 1 || walk_.place > 9 || !Controls().Suiri.enabled) return;
  view_.HideCheckPanel();
  int room = walk_.place - 1;
  SendLine(myUserId_, CmdSuiriStart(room));
  SaveButtonStates();
  controls_.Suiri.enabled = false;
  controls_.Start.enabled = false;
  view_.OpenPicker(true, room);
}

void TGameCore::KokusoButtonClick() {
  if (!MyTurn() || OutOfGame() || !controls_.Kokuso.enabled) return;
  view_.HideCheckPanel();
  int room = walk_.place >= 1 && walk_.place <= 9 ? walk_.place - 1 : 9;
  SendLine(myUserId_, CmdKokusoStart(room));
  SaveButtonStates();
  view_.OpenPicker(false, -1);
}

void TGameCore::SendSuiri(int id, int room, int weapon, int person) {
  if (room < 0) {
    SendLine(id, CmdWord(cmSuiriCancel));
    return;
  }
  if (id == myUserId_) {
    controls_.Move.enabled = false;
    SetArrows(false);
  }
  SendLine(id, CmdSuiri(room, person, weapon));
}

void TGameCore::SendShow(int id, int code, const kest::TCard& card) {
  if (code < 0) {
    SendLine(id, CmdShowNo());
    return;
  }
  shownCard_ = card;
  SendLine(id, CmdShow(card.WireCode()));
}

void TGameCore::SendKokuso(int id, int room, int weapon, int person) {
  if (int s = ComputerSeatOf(id); s >= 0) seats_[size_t(s)].SetFlags(kest::ufDiceDone);  // no roll after it
  if (room < 0) {
    if (id == myUserId_) RestoreButtonStates();
    SendLine(id, CmdWord(cmKokusoCancel));
    return;
  }
  if (id == myUserId_) {
    if (OutOfGame()) return;
    // Nothing to press from the accusation until its verdict has come.
    SaveButtonStates();
    verdict_.OwnAccused(room, person, weapon);
    SetArrows(false);
  }
  SendLine(id, CmdKokuso(room, person, weapon));
}

// The host drops its computer players between games, never during one.
void TGameCore::SendClearNpc() {
  if (mySeat_ != 0 || state_ != gsNoGame) return;
  SendLine(myUserId_, CmdWord(cmClearNpc));
  clearingComputers_ = true;
}

bool TGameCore::ComputersLeaving() const {
  if (!clearingComputers_) return false;
  for (int k = 0; k < playerCount_ && k < 6; ++k)
    if (seats_[size_t(k)].HasFlags(kest::ufComputer)) return true;
  return false;
}

void TGameCore::HandleSuiriStart(int id, int seat, int room) {
  if (id != myUserId_ || Bad(!ValidSeat(seat) || room < 0 || room > 8, "SUIRISTART")) return;
  viewShown_ = true;
  view_.ShowPieces(false);
  view_.ShowDie(false);
  view_.SetPlayerStatus(seat, kSuggesting);
  view_.ShowRoomPictures(room, seat, -1);
  messageLine_ = SeatName(seat) + kWillSuggest;
  view_.ShowMessageLine(messageLine_);
  view_.PlayMusic(muSuiri);
}

void TGameCore::StartCaptions(int room, int person, int weapon, TGameState state) {
  captionTexts_ = {std::string(kIdeSpace) + kRoomNames[room] + kDe, std::string(kIdeSpace) + SeatName(person) + kGa,
                  std::string(kIdeSpace) + kWeaponNames[weapon] + kWoTsukatta};
  view_.SetCaptions(captionTexts_);
  animTick_ = animStep_ = 0;
  state_ = state;
  StartTimer(50);
}

void TGameCore::HandleSuiri(int id, int seat, int room, int person, int weapon) {
  person %= 10;
  if (Bad(!ValidSeat(seat) || room < 0 || room > 8 || person < 0 || person > 5 || weapon < 0 || weapon > 5,
          "SUIRI"))
    return;
  lastSuiriRoom_ = room;
  lastSuiriSeat_ = seat;
  if (id != myUserId_) {
    int cseat = ComputerSeatOf(id);
    if (cseat >= 0) RaiseScriptEvent(cseat, "OnOtherSuiri", {seat, room, person, weapon});
    return;
  }
  if (moveSuspect_) {
    MovePieceToRoom(person, room);
    SeatMoved(person);
    if (person == mySeat_) {
      walk_.place = room + 1;
      walk_.x = seats_[person].X(), walk_.y = seats_[person].Y();
      localUser_.SetPlace(int16_t(room + 1));
      ShowPassageButton(room);
    }
  }
  weaponCells_[weapon] = {RoomTable[room][20 + 2 * weapon], RoomTable[room][21 + 2 * weapon]};
  view_.PiecesMoved();
  StartCaptions(room, person, weapon, gsSuiriCaptions);
}

void TGameCore::HandleShowWait(int id, int seat) {
  if (Bad(!ValidSeat(seat), "SHOWWAIT")) return;
  bool set = false;
  if (id == myUserId_) {
    view_.SetPlayerStatus(seat, kAsking);
    if (seat == mySeat_) pendingShowCheck_ = myUserId_, set = true;
  } else {
    int cseat = ComputerSeatOf(id);
    if (cseat >= 0 && cseat == seat) pendingShowCheck_ = id, set = true;
  }
  if (set && !timer_.active) {
    SendLine(pendingShowCheck_, CmdWord(cmShowCheck));
    pendingShowCheck_ = -1;
  }
}

void TGameCore::HandleShowSel(int id, const TArgs& args) {
  int k = kest::ReadDecimal(args.empty() ? std::string() : args[0]);
  if (Bad(k < 0 || k > 3 || int(args.size()) < k + 1, "SHOWSEL")) return;
  kest::TCard cards[3];
  std::vector<int> codes{-1, -1, -1};
  for (int i = 0; i < k; ++i) {
    int c = kest::ReadDecimal(args[i + 1]);
    if (Bad(!ValidCardCode(c), "SHOWSEL")) return;
    cards[i] = kest::TCard::MakeCard(uint8_t(c / 10), uint16_t(c % 10));
    codes[i] = c;
  }
  if (id == myUserId_) {
    view_.OpenCardShow(k, cards);
    return;
  }
  int cseat = ComputerSeatOf(id);
  if (cseat < 0) return;
  computers_.Ask(cseat, std::vector<int>(codes.begin(), codes.begin() + k));
  RaiseScriptEvent(cseat, "OnOtherSuiriCheck", codes);
}

void TGameCore::HandleShowC(int id, const TArgs& args) {
  std::string kind = args.empty() ? std::string() : args[0];
  bool word = kind == "EXIST" || kind == "NOTEXIST" || kind == "NO";
  int seat = kest::ReadDecimal(word ? (args.size() > 1 ? args[1] : std::string()) : kind);
  int code = word ? 0 : kest::ReadDecimal(args.size() > 1 ? args[1] : std::string());
  if (Bad(!ValidSeat(seat) || (!word && !ValidCardCode(code)), "SHOWC")) return;
  if (id != myUserId_) {
    int cseat = ComputerSeatOf(id);
    if (cseat < 0 || cseat != turnSeat_) return;
    if (kind == "NO" && seat == (turnSeat_ + 5) % 6) RaiseScriptEvent(cseat, "OnSuiriResult", {-1});
    if (!word) RaiseScriptEvent(cseat, "OnSuiriResult", {code});
    return;
  }
  view_.ShowRoomPictures(lastSuiriRoom_, lastSuiriSeat_, seat);
  view_.FreeCardPictures();
  if (kind == "NOTEXIST" || kind == "NO") {
    messageLine_ = SeatName(seat) + kHasNot;
    view_.ShowMessageLine(messageLine_);
    view_.SetPlayerStatus(seat, kNotFound);
    return;
  }
  messageLine_ = std::string(kThatAlibi) + SeatName(seat) + kHasIt;
  view_.ShowMessageLine(messageLine_);
  view_.SetPlayerStatus(seat, kFound);
  if (kind == "EXIST") {
    if (seat == mySeat_) {
      view_.ShowCardPicture(shownCard_.Mark(), shownCard_.Index());
    } else {
      view_.ShowCardPicture(0, 0);
    }
    return;
  }
  view_.ShowCardPicture(code / 10, code % 10);
  RestoreButtonStates();
  controls_.Suiri.enabled = false;
  controls_.Kokuso.enabled = accuseAnywhere_;
  controls_.Move.enabled = false;
  controls_.Out.enabled = true;
}

void TGameCore::HandleSuiriEnd(int id) {
  if (id != myUserId_) {
    int cseat = ComputerSeatOf(id);
    if (cseat < 0 || cseat != turnSeat_) return;
    computers_.SuggestionAnswered(cseat);
    if (!AnsweredForHost(cseat)) RaiseScriptEvent(cseat, "OnSuiriEnd");
    return;
  }
  RestoreButtonStates();
  controls_.Out.enabled = true;
  controls_.Move.enabled = controls_.Kokuso.enabled = controls_.Suiri.enabled = controls_.Start.enabled = false;
  SetArrows(false);
}

void TGameCore::HandleKokusoStart(int id, int seat, int room) {
  if (id != myUserId_ || Bad(!ValidSeat(seat) || room < 0 || room > 9, "KOKUSOSTART")) return;
  view_.ShowPieces(false);
  view_.ShowDie(false);
  view_.SetPlayerStatus(seat, kAccusing);
  view_.ShowRoomPictures(room, seat, -1);
  messageLine_ = SeatName(seat) + kWillAccuse;
  view_.ShowMessageLine(messageLine_);
  viewShown_ = true;
  view_.PlayMusic(muKokuso);
}

void TGameCore::HandleKokuso(int id, int person, int weapon, int room, bool right) {
  if (Bad(!ValidSolution(person, weapon, room), "KOKUSO")) return;
  if (id != myUserId_ && ComputerSeatOf(id) < 0) return;
  verdict_.Came(id, right);
  if (id != myUserId_) {
    state_ = gsComputerVerdict;
    animTick_ = 0;
    StartTimer(50);
    return;
  }
  messageLine_ = kVerdictText;
  view_.ShowMessageLine(messageLine_);
  view_.CreateKokusoCards({3, 1, 2}, {room % 10, person % 10, weapon % 10});
  StartCaptions(verdict_.CaptionRoom(), verdict_.CaptionPerson(), verdict_.CaptionWeapon(), gsKokusoCaptions);
}

void TGameCore::ClearView() {
  view_.FreeCardPictures();
  view_.DrawBoard();
  view_.ShowDie(true);
  view_.ShowPieces(true);
  view_.HideCaptionPanels();
  viewShown_ = false;
}

void TGameCore::HandleSuiriCancel(int id, int seat) { CancelView(id, seat, kSuiriCancelled, "SUIRICANCEL"); }

void TGameCore::HandleKokusoCancel(int id, int seat) { CancelView(id, seat, kKokusoCancelled, "KOKUSOCANCEL"); }

void TGameCore::CancelView(int id, int seat, const char* status, const char* word) {
  if (id != myUserId_ || Bad(!ValidSeat(seat), word)) return;
  ClearView();
  if (turnSeat_ == mySeat_) RestoreButtonStates();
  view_.SetPlayerStatus(seat, status);
  view_.PlayMusic(muMain);
}

// ---------------------------------------------------------------- game end

void TGameCore::CloseGameDialogs() {
  view_.ClosePicker();
  view_.CloseCardShow();
}

void TGameCore::HandleLose(int id, int seat) {
  if (Bad(!ValidSeat(seat), "LOSE")) return;
  if (id == myUserId_) outcome_.Lose(seat);
  if (id != myUserId_) {
    int cseat = ComputerSeatOf(id);
    if (cseat < 0 || cseat != seat) return;
    computers_.VerdictCame(cseat);
    if (!AnsweredForHost(cseat)) RaiseScriptEvent(cseat, "OnLose");
    return;
  }
  view_.SetPlayerStatus(seat, kLost);
  if (seat == mySeat_) {
    verdict_.Close();
    view_.ClosePicker();
    messageLine_ = kYouLost;
    DisableGameButtons();
    controls_.Out.enabled = true;
    view_.PlayMusic(muLose);
  } else {
    messageLine_ = SeatName(seat) + kOtherLost;
  }
  view_.ShowMessageLine(messageLine_);
}

void TGameCore::EndOfGame(bool won, int seat, int person, int weapon, int room) {
  verdict_.Close();
  CloseGameDialogs();
  DisableGameButtons();
  view_.FreeTurnCursor();
  EndLobbyButtons();
  state_ = gsNoGame;
  if (won) {
    if (seat == mySeat_) {
      view_.PlayMusic(muWin);
      messageLine_ = kYouWon;
    } else {
      view_.PlayMusic(muLose);
      messageLine_ = SeatName(seat) + kOtherWon;
    }
    view_.ShowMessageLine(messageLine_);
  }
  SaveButtonStates();
  view_.ShowResult(won, seat, person, weapon, room);
}

void TGameCore::HandleWin(int id, int seat, int person, int weapon, int room) {
  if (Bad(!ValidSeat(seat) || !ValidSolution(person, weapon, room), "WIN")) return;
  if (id != myUserId_) {
    int cseat = ComputerSeatOf(id);
    if (cseat < 0 || cseat != seat) return;
    computers_.VerdictCame(cseat);
    if (!AnsweredForHost(cseat)) RaiseScriptEvent(cseat, "OnWin");
    return;
  }
  outcome_.Win(seat);
  view_.SetPlayerStatus(seat, kWon);
  EndOfGame(true, seat, person, weapon, room);
}

void TGameCore::HandleEnd(int id, int seat, int person, int weapon, int room) {
  if (id != myUserId_) return;
  if (Bad(!ValidSeat(seat) || !ValidSolution(person, weapon, room), "END")) return;
  outcome_.EndWithoutWinner();
  EndOfGame(false, seat, person, weapon, room);
}

void TGameCore::KekkaOk() {
  if (state_ != gsNoGame) return;
  SendClearNpc();
  RestoreButtonStates();
  ResetBoard();
}

void TGameCore::ResetBoard() {
  view_.PlayMusic(muOpening);
  computersAdded_ = false;
  view_.DrawTitle();
  view_.FreeCardPictures();
  for (int seat = playerCount_; seat < 6; ++seat) view_.DrawPlayerRow(seat, "", "");
  view_.HideCaptionPanels();
  view_.ShowDie(false);
  view_.HideCheckPanel();
  view_.ShowPieces(false);
}

}  // namespace client
