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

kest::TKestUser EmptySeat() {
  kest::TKestUser s;
  s.UserNo = -1;
  return s;
}

}  // namespace

TGameCore::TGameCore(TLineSender& sender, TGameView& view) : sender_(sender), view_(view) {
  LocalUser.SetFace("0");
  LocalUser.SetRoom(0);
  LocalUser.SetPlace(0);
  LocalUser.ClearUnused();
  LocalUser.MarkLoggedIn();
  for (auto& s : Seats) s = EmptySeat();
  Controls.Start.enabled = Controls.Out.enabled = true;
  for (int w = 0; w < 6; ++w) WeaponCells[w] = kWeaponStartCells[w];
}

// ---------------------------------------------------------------- lookups

int TGameCore::SlotOfUser(int userId) const {
  if (userId < 0) return -1;
  for (int s = 0; s < 6; ++s)
    if (Seats[s].UserNo == userId) return s;
  return -1;
}

int TGameCore::ComputerSeatOf(int id) const {
  if (MySeat != 0 || id < 0 || id == MyUserId) return -1;
  int s = SlotOfUser(id);
  return s >= 0 && Seats[s].HasFlags(kest::ufComputer) ? s : -1;
}

std::string TGameCore::SeatName(int seat) const {
  return ValidSeat(seat) ? TrimName(Seats[seat].GetName()) : std::string();
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
  if (Walk.inFlight <= 0) return false;
  --Walk.inFlight;
  return true;
}

bool TGameCore::MoveEchoed(int seat) { return !scripts_ || scripts_->MoveEchoed(seat); }

void TGameCore::SeatMoved(int seat) {
  if (scripts_) scripts_->SeatMoved(seat);
}

// ---------------------------------------------------------------- controls

void TGameCore::SetArrows(bool enabled) { Controls.Arrows.fill(enabled); }

void TGameCore::DisableGameButtons() {
  Controls.Suiri.enabled = Controls.Kokuso.enabled = Controls.Move.enabled = false;
  for (int a = kUp; a <= kRight; ++a) Controls.Arrows[a] = false;
}

// The buttons of a table without a game: 終了 to leave, 開始 for the host.
void TGameCore::EndLobbyButtons() {
  Controls.Out.enabled = true;
  Controls.OutCaption = ocEnd;
  Controls.PassageTarget = -1;
  Controls.Start.enabled = true;
  Controls.Start.visible = MySeat == 0;
}

// The nine buttons whose states a suggestion or accusation saves.
std::array<bool*, 9> TGameCore::SavedButtons() {
  return {&Controls.Suiri.enabled,  &Controls.Kokuso.enabled, &Controls.Move.enabled,
          &Controls.Arrows[kUp],    &Controls.Arrows[kDown],  &Controls.Arrows[kLeft],
          &Controls.Arrows[kRight], &Controls.Start.enabled,  &Controls.Out.enabled};
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

void TGameCore::ShowSecondExits(int room) { Controls.SecondExitRoom = room == 0 || room == 4 ? room : -1; }

void TGameCore::ShowPassageButton(int room) {
  int target = room >= 0 && room < 9 ? RoomTable[room][32] : -1;
  if (target < 0 || target > 8) {
    Controls.Start.visible = false;
    return;
  }
  Controls.PassageTarget = target;
  Controls.Start.enabled = false;
  Controls.Start.visible = true;
}

void TGameCore::HidePassageButton() {
  Controls.Start.visible = false;
  Controls.Start.enabled = false;
  Controls.PassageTarget = -1;
}

void TGameCore::UpdateMoveButtons(int seat, int steps) {
  if (seat == MySeat) {
    SetArrows(true);
    // The own walk runs ahead of the server's copies: its steps are the truth.
    steps = Walk.steps;
  }
  view_.DrawDie(steps >= 0 && steps <= 6 ? steps : 0, 2);
  Controls.Out.enabled = TurnSeat == MySeat && steps == 0;
}

void TGameCore::StopTimer() {
  Timer.active = false;
  Timer.interval = 33;
}

void TGameCore::StartTimer(int interval) {
  Timer.interval = interval;
  Timer.active = true;
}

// ---------------------------------------------------------------- login

void TGameCore::SendLogin(const std::string& name, const std::string& face) {
  if (GameState != gsOffline) return;
  loginName_ = name;
  loginFace_ = face;
  SendLine(0, CmdLogin(name, face));
}

void TGameCore::ResetToLoggedOut() {
  CloseGameDialogs();
  view_.CloseResult();
  StopTimer();
  GameState = gsOffline;
  MyUserId = -1;
  PlayerCount = 0;
  MySeat = 0;
  TurnSeat = 0;
  ExpectedPlayers = 0;
  ComputersAdded = false;
  RuserPending = false;
  ViewShown = false;
  PendingShowCheck = -1;
  pendingAdds_.clear();
  addsOutstanding_ = 0;
  startBack_ = false;
  outOfGame_ = false;
  for (auto& s : Seats) s = EmptySeat();
  LocalUser.SetRoom(0);
  LocalUser.hand.ClearList();
  Walk = TWalk();
  // The screen as before the first login: no table, no game, nothing to press.
  Controls = TControls();
  Controls.Start.enabled = Controls.Out.enabled = true;
  UserList.clear();
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
  if (MyUserId == -1) {
    MyUserId = id;
    GameState = gsNoGame;
    LocalUser.SetName(loginName_);
    LocalUser.SetFace(loginFace_);
    LocalUser.SetRoom(0);
    view_.LoggedIn();
    SendLine(MyUserId, CmdChroom(1));
  } else {
    if (!pendingAdds_.empty()) pendingAdds_.pop_front();
    // A computer player the host has just added joins the host's table.
    int room = LocalUser.GetRoom() > 0 ? LocalUser.GetRoom() : 1;
    SendLine(id, CmdChroom(room));
  }
}

// A computer player asked for is seated or refused. A refusal leaves the
// table short: it does not start by itself, and once every computer player
// asked for is answered the host gets Start back.
void TGameCore::AddAnswered() {
  if (addsOutstanding_ > 0) --addsOutstanding_;
  if (addsOutstanding_ > 0 || !startBack_) return;
  startBack_ = false;
  if (GameState == gsNoGame && MySeat == 0) Controls.Start = {true, true};
}

void TGameCore::AddFailed(const std::string& why, bool pending) {
  std::string name;
  if (pending && !pendingAdds_.empty()) {
    name = pendingAdds_.front().display;
    pendingAdds_.pop_front();
  }
  view_.Log(why + name);
  if (ExpectedPlayers > 0) {
    ExpectedPlayers = 0;
    startBack_ = true;
  }
  AddAnswered();
}

void TGameCore::HandleErr(int, const std::string& text) {
  if (text == "SAMENAME") {
    if (MyUserId == -1) {
      view_.LoginRefused(rfSameName);
      return;
    }
    // A computer player's name is taken: ask again under another tag.
    if (pendingAdds_.empty()) return;
    PendingAdd add = pendingAdds_.front();
    if (add.retries >= 5) {
      AddFailed("computer player not added: ", true);
      return;
    }
    pendingAdds_.pop_front();
    ++add.retries;
    const char* tag = kNpcTags[add.seat - 1];
    size_t n = std::strlen(tag);
    bool tagged = add.display.size() >= n && add.display.compare(add.display.size() - n, std::string::npos, tag) == 0;
    add.display += tagged ? kNpcSecondTag : tag;
    SendAddCom(add);
  } else if (text == "LOCKED") {
    // Seated at a table, the refused room change is a computer player's: the
    // server logs that player out again.
    if (MyUserId != -1 && LocalUser.GetRoom() > 0) {
      AddFailed("table closed, computer player not added", false);
      return;
    }
    view_.LoginRefused(rfLocked);
  } else if (text == "OVERUSER") {
    if (MyUserId != -1) {  // no slot left for a computer player
      AddFailed("server full, computer player not added: ", true);
      return;
    }
    view_.LoginRefused(rfOverUser);
  }
}

// ---------------------------------------------------------------- lobby

void TGameCore::RemoveUserName(const std::string& name) {
  auto it = std::find(UserList.begin(), UserList.end(), name);
  if (it != UserList.end()) UserList.erase(it);
}

void TGameCore::HandleChroom(int, int room, const std::string& name) {
  if (name == LocalUser.GetName()) {
    PlayerCount = 0;
    LocalUser.SetRoom(int16_t(room));
    UserList.clear();
    Controls.Start.visible = false;
    if (room == 0) {
      Controls.Lobby = true;
      Controls.Out.visible = false;
      view_.HideCaptionPanels();
      view_.FreeCardPictures();
      view_.FreePieces();
      view_.FreeTurnCursor();
      Controls.CardSpd = Controls.CheckSpd = false;
      view_.ClearNotebook();
      view_.CloseNotebook();
      view_.DrawBoardBackground();
    } else {
      Controls.Lobby = false;
      Controls.Out.visible = true;
      Controls.OutCaption = ocEnd;
      for (int seat = 0; seat < 6; ++seat) view_.DrawPlayerRow(seat, "", "");
    }
    view_.OwnRoomChanged(room);
  } else if (LocalUser.GetRoom() != 0 && room != LocalUser.GetRoom()) {
    RemoveUserName(name);
  }
  view_.UserListChanged();
}

void TGameCore::HandleRoom(int, int room, int playing, int count) {
  if (room < 0 || room > 10) return;
  RoomRows[room] = {playing != 0, count};
  view_.RoomRowChanged(room);
}

void TGameCore::SendStart() { SendLine(MyUserId, CmdStart(KokusoMode, SuiriMode)); }

void TGameCore::HandleAddUser(int id, const std::string& name, int room, const std::string& face, int userNo,
                              int kind) {
  if (id != MyUserId) return;
  if (room != 0) {
    if (PlayerCount >= 6) return;  // a seventh member has no seat
    if (name == LocalUser.GetName()) {
      MySeat = PlayerCount;
      if (MySeat == 0) Controls.Start.visible = true;
    }
    kest::TKestUser& s = Seats[PlayerCount];
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
  UserList.push_back(name);
  view_.UserListChanged();
  if (room != 0) view_.DrawPlayerRow(PlayerCount, face, name);
  if (room != 0 && kind != 0) AddAnswered();
  ++PlayerCount;
  if (PlayerCount == ExpectedPlayers) {
    SendStart();
    ExpectedPlayers = 0;
    Controls.Start.visible = false;
  }
}

void TGameCore::HandleAddUser2(int, const std::string& name, int, const std::string&) {
  UserList.push_back(name);
  view_.UserListChanged();
}

void TGameCore::HandleRuserEnd(int) { RuserPending = false; }

void TGameCore::HandleUser(int id, int seat, const std::string& name) {
  if (id != MyUserId || LocalUser.GetRoom() != 0) return;
  if (seat < 0 || seat > int(UserList.size())) seat = int(UserList.size());
  UserList.insert(UserList.begin() + seat, name);
  view_.UserListChanged();
}

void TGameCore::HandleRemoveUser(int, const std::string& name) {
  RemoveUserName(name);
  view_.UserListChanged();
  if (LocalUser.GetRoom() == 0) return;
  for (int j = 0; j < PlayerCount && j < 6; ++j) {
    if (Seats[j].GetName() == name) {
      for (int k = j; k < 5; ++k) Seats[k] = Seats[k + 1];
      Seats[5] = EmptySeat();
      --PlayerCount;
      break;
    }
  }
  for (int k = 0; k < 6; ++k) {
    if (k < PlayerCount) {
      if (Seats[k].GetName() == LocalUser.GetName()) MySeat = k;
      view_.DrawPlayerRow(k, Seats[k].GetFace(), Seats[k].GetName());
    } else {
      view_.DrawPlayerRow(k, "", "");
    }
  }
  Controls.Start.visible = MySeat == 0;
  if (GameState != gsNoGame) ResetBoard();
}

void TGameCore::HandleBye(int id, const std::string& name) {
  TGameState s = GameState;
  HandleRemoveUser(id, name);
  if (s == gsNoGame) return;
  CloseGameDialogs();
  view_.FreeTurnCursor();
  StopTimer();
  ComputersAdded = false;
  Controls.Suiri.enabled = Controls.Kokuso.enabled = Controls.Move.enabled = false;
  SetArrows(false);
  EndLobbyButtons();
  GameState = gsNoGame;
}

void TGameCore::HandlePrint(int id, const std::string& text) {
  if (id == MyUserId) view_.AppendChat(text);
}

void TGameCore::HandleCpuType(int id, int type) {
  int s = SlotOfUser(id);
  if (s < 0) return;
  Seats[s].SetFlags(kest::ufComputer);
  Seats[s].CpuType = int16_t(type);
}

void TGameCore::InButtonClick(int room) {
  if (room < 0 || room > 10 || room == LocalUser.GetRoom()) return;
  if (RoomRows[room].count > 4) return;
  SendLine(MyUserId, CmdChroom(room));
}

void TGameCore::RoomViewSelectItem(int room) {
  if (room < 0 || RuserPending || MyUserId < 0) return;
  UserList.clear();
  view_.UserListChanged();
  SendLine(MyUserId, CmdRuser(room));
  RuserPending = true;
}

void TGameCore::SendChat(const std::string& text) { SendLine(MyUserId, CmdChat(LocalUser.GetRoom(), text)); }

// ---------------------------------------------------------------- buttons

void TGameCore::OutButtonClick() {
  view_.HideCheckPanel();
  if (GameState == gsNoGame) {
    view_.CloseMainWindow();
  } else if (GameState == gsConfirm) {
    Controls.Out.enabled = false;
    Controls.OutCaption = ocTurnEnd;
    GameState = gsIdle;
    SendLine(MyUserId, CmdWord(cmConfirm));
  } else if (GameState != gsOffline) {
    Controls.Out.enabled = false;
    SendLine(MyUserId, CmdWord(ViewShown ? cmTurnEnd2 : cmTurnEnd));
  }
}

void TGameCore::AddComputer(int command, int seat) {
  ++addsOutstanding_;
  SendAddCom({command, seat, npc_->GetNpcName(seat - 1, true), npc_->GetNpcName(seat - 1, false), 0});
}

void TGameCore::SendAddCom(const PendingAdd& add) {
  pendingAdds_.push_back(add);
  SendLine(MyUserId, CmdAddCom(add.command, add.display, add.raw, 0));
}

void TGameCore::StartButtonClick() {
  if (GameState != gsNoGame && GameState != gsOffline) {
    // In a game the button is the secret passage of the own room.
    int target = Controls.PassageTarget;
    if (target < 0 || target > 8 || Walk.place < 1 || Walk.place > 9) return;
    Controls.Move.enabled = false;
    Controls.Start.enabled = false;
    Walk.MarkRoomDoors(Walk.place - 1, 0);
    Walk.place = target + 1;
    LocalUser.SetPlace(int16_t(target + 1));
    ++Walk.inFlight;
    SendLine(MyUserId, CmdInRoom(target, 0));
    return;
  }
  if (GameState != gsNoGame || !npc_ || !Controls.Start.enabled) return;
  std::array<std::string, 6> humans;
  for (int k = 0; k < PlayerCount && k < 6; ++k)
    if (!Seats[k].HasFlags(kest::ufComputer)) humans[k] = Seats[k].GetName();
  npc_->MakeUniqueNames(humans, PlayerCount);

  if (CpuCountSetting == 0 || ComputersAdded) {
    if (PlayerCount < 2) {
      view_.WarnTwoPlayers();
      return;
    }
    // Pressed once: a second press would ask for the same seats again.
    Controls.Start.enabled = false;
    if (PlayerCount >= 6) {  // a full table of humans starts at once
      SendStart();
      Controls.Start.visible = false;
      return;
    }
    ExpectedPlayers = 6;
    for (int seat = PlayerCount; seat <= 5; ++seat) AddComputer(cmAddCom2, seat);
    return;
  }
  Controls.Start = {false, false};
  ComputersAdded = true;
  int n = std::min(PlayerCount + CpuCountSetting, 6) - PlayerCount;
  for (int seat = PlayerCount; seat < PlayerCount + n; ++seat) AddComputer(cmAddCom, seat);
  ExpectedPlayers = 6;
  for (int seat = PlayerCount + n; seat <= 5; ++seat) AddComputer(cmAddCom2, seat);
  if (PlayerCount >= 6) {
    SendStart();
    ExpectedPlayers = 0;
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
  if (id == MyUserId) {
    if (!ValidSeat(MySeat)) return;
    LocalUser.hand.ClearList();
    Seats[MySeat].hand.ClearList();
    view_.ClearCardStrip();
    for (int kind : passes)
      for (int c : codes) {
        if (c / 10 != kind) continue;
        kest::TCard card = kest::TCard::MakeCard(uint8_t(kind), uint16_t(c % 10));
        LocalUser.hand.Append(card);
        Seats[MySeat].hand.Append(card);
        view_.AddCardToStrip(kind, c % 10);
        view_.PutMark(kind == 3 ? 0 : kind == 1 ? 1 : 2, c % 10, 1, MySeat);
      }
    view_.PlaceCardStrip(k);
    Controls.CardSpd = true;
    return;
  }
  int seat = ComputerSeatOf(id);
  if (seat < 0) return;
  Seats[seat].hand.ClearList();
  for (int kind : passes)
    for (int c : codes)
      if (c / 10 == kind) Seats[seat].hand.Append(kest::TCard::MakeCard(uint8_t(kind), uint16_t(c % 10)));
  RaiseScriptEvent(seat, "OnInit", codes);
}

void TGameCore::StartGame(int id, const TArgs& args) {
  if (id != MyUserId) return;
  CloseGameDialogs();
  // A result dialog still open from the previous game is only closed: its
  // button's actions belong to the end of that game.
  view_.CloseResult();
  StopTimer();
  outOfGame_ = false;
  view_.DrawBoard();
  view_.DrawDie(0, 3);
  for (int w = 0; w < 6; ++w) WeaponCells[w] = kWeaponStartCells[w];
  view_.CreatePieces();
  view_.ShowDie(true);
  AccuseAnywhere = kest::ReadDecimal(args.size() > 0 ? args[0] : std::string()) != 0;
  MoveSuspect = kest::ReadDecimal(args.size() > 1 ? args[1] : std::string()) != 0;
  Controls.OutCaption = ocTurnEnd;
  Controls.Out.enabled = false;
  Controls.Suiri.enabled = Controls.Kokuso.enabled = false;
  LocalUser.SetPlace(0);
  GameState = gsIdle;
  ViewShown = false;
  PendingShowCheck = -1;
  view_.HideCaptionPanels();
  view_.FreeCardPictures();
  for (int seat = PlayerCount; seat < 6; ++seat) {
    std::string raw = npc_ ? npc_->GetNpcName(seat - 1, false) : "";
    Seats[seat].SetName(raw);
    Seats[seat].SetFace(raw);
  }
  for (int seat = 0; seat < 6; ++seat) {
    Seats[seat].SetPlace(0);
    view_.SetPersonCard(seat);
    view_.DrawPlayerRow(seat, Seats[seat].GetFace(), Seats[seat].GetName());
    Seats[seat].SetPosition(int16_t(kPlayerStartCells[seat].x), int16_t(kPlayerStartCells[seat].y));
  }
  Winner = -1;
  Ended = false;
  SeatsOut.fill(false);
  Walk = TWalk();
  Walk.accuseAnywhere = AccuseAnywhere;
  if (ValidSeat(MySeat)) Walk.x = kPlayerStartCells[MySeat].x, Walk.y = kPlayerStartCells[MySeat].y;
  if (scripts_ && !scripts_->SetUpScripts()) {
    view_.CloseMainWindow();
    return;
  }
  view_.CreateTurnCursor();
  view_.SetTurnCursor(0);
  view_.ClearNotebook();
  Controls.CheckSpd = true;
}

void TGameCore::HandleTurn(int id, int s) {
  if (!InGame() || Bad(!ValidSeat(s), "TURN")) return;
  int cseat = ComputerSeatOf(id);
  if (id != MyUserId && cseat < 0) return;
  if (id == MyUserId) {
    // A slow client may still be rolling the previous turn's die. That roll is
    // over: show its result now, without the end actions that belong to the
    // turn that has passed (they would take the new turn's roll away).
    if (GameState == gsRolling) {
      Die.Finish();
      StopTimer();
      Timer.interval = Die.interval;
      view_.DrawDie(RollValue, 3);
      GameState = gsIdle;
    }
    TurnSeat = s;
    Walk.wayBack = -1;
    if (ViewShown) ClearView();
    for (int k = 0; k < PlayerCount && k < 6; ++k)
      if (!Seats[k].HasFlags(kest::ufNonParticipant)) view_.SetPlayerStatus(k, "");
    view_.SetTurnCursor(s);
    Seats[s].SetSteps(0);
    view_.PlayMusic(muMain);
  }
  if (s != MySeat) {
    if (id == MyUserId) {
      SetArrows(false);
      Controls.Suiri.enabled = Controls.Move.enabled = Controls.Kokuso.enabled = false;
      Controls.Start.enabled = false;
    }
    if (cseat >= 0 && cseat == s) {
      Seats[s].ClearFlags(kest::ufDiceDone);
      Seats[s].SetSteps(0);
      RaiseScriptEvent(s, "OnTurn");
    }
    return;
  }
  if (id != MyUserId) return;
  view_.DrawDie(0, 2);
  Seats[MySeat].ClearFlags(kest::ufDiceDone);
  LocalUser.ClearFlags(kest::ufDiceDone);
  SetArrows(false);
  // A new walk: nothing of an earlier turn's steps and path counts.
  Walk.ClearMarks();
  Walk.steps = 0;
  Walk.inFlight = 0;  // the server copied every earlier step before this TURN
  if (outOfGame_) {  // out after a wrong accusation: it can only end its turn
    Controls.Move.enabled = Controls.Kokuso.enabled = Controls.Suiri.enabled = Controls.Start.enabled = false;
    Controls.Out.enabled = true;
    return;
  }
  view_.ShowCheckPanel(false);
  view_.PlaySound("CHECKSND");
  Controls.Move.enabled = true;
  Controls.Kokuso.enabled = AccuseAnywhere;
  int place = Walk.place;
  if (place != 0) {
    ShowPassageButton(place - 1);
    Controls.Start.enabled = Controls.Start.visible;
    Controls.Suiri.enabled = true;
    ShowSecondExits(place - 1);
  } else {
    ShowSecondExits(-1);
  }
}

void TGameCore::HandleTurnEnd2(int) {
  if (GameState < gsIdle) return;
  GameState = gsConfirm;
  view_.PlaySound("CHECKSND2");
  view_.ShowCheckPanel(true);
  Controls.OutCaption = ocConfirm;
  Controls.Out.enabled = true;
}

// ---------------------------------------------------------------- die

void TGameCore::MoveButtonClick() {
  if (!MyTurn() || !Controls.Move.enabled) return;
  view_.HideCheckPanel();
  SendLine(MyUserId, CmdWord(cmSaikoro));
  if (ValidSeat(MySeat)) Seats[MySeat].SetFlags(kest::ufDiceDone);
  LocalUser.SetFlags(kest::ufDiceDone);
  Controls.Move.enabled = false;
  Controls.Start.enabled = false;
}

void TGameCore::HandleSaikoro(int id, int n) {
  if (id != MyUserId || !InGame()) return;  // one animation per client, driven by its own copy
  if (Bad(n < 1 || n > 6, "SAIKORO")) return;
  view_.PlaySound("SAISND");
  RollValue = n;
  if (TurnSeat == MySeat) {
    Seats[MySeat].SetSteps(int16_t(n));
    Walk.steps = n;
  }
  GameState = gsRolling;
  Die.Start(n);
  Timer.active = true;
  view_.DrawDie(0, 3);
}

void TGameCore::KestTimerTimer() {
  switch (GameState) {
    case gsRolling: {
      Die.interval = Timer.interval;
      int shown = 1;
      bool going = Die.Tick(&shown);
      view_.DrawDie(shown, 1);
      Timer.interval = Die.interval;
      if (going) return;
      Timer.active = false;
      view_.DrawDie(RollValue, 3);
      GameState = gsIdle;
      Walk.ClearMarks();
      if (TurnSeat == MySeat) {
        SetArrows(true);
        Walk.steps = RollValue;
        LocalUser.SetSteps(int16_t(RollValue));
        Walk.SeedMarks();
      } else if (MySeat == 0 && ValidSeat(TurnSeat) && Seats[TurnSeat].HasFlags(kest::ufComputer)) {
        Seats[TurnSeat].SetSteps(int16_t(RollValue));
        RaiseScriptEvent(TurnSeat, "OnMove");
      }
      if (ValidSeat(TurnSeat)) view_.SetPlayerStatus(TurnSeat, kMoving);
      Controls.Move.enabled = false;
      return;
    }
    case gsSuiriCaptions:
    case gsKokusoCaptions: {
      if (AnimStep < 3)
        view_.SetCaptionWidth(AnimStep, CaptionWidth(int(CaptionTexts[AnimStep].size()), AnimTick));
      if (++AnimTick >= 11) {
        AnimTick = 0;
        ++AnimStep;
      }
      if (AnimStep < 3) return;
      StopTimer();
      if (GameState == gsSuiriCaptions) {
        GameState = gsIdle;
        if (PendingShowCheck >= 0) {
          SendLine(PendingShowCheck, CmdWord(cmShowCheck));
          PendingShowCheck = -1;
        }
      } else {
        GameState = gsKokusoCards;
        view_.ShowKokusoCards();
        AnimTick = 0;
        StartTimer(50);
      }
      return;
    }
    case gsKokusoCards: {
      view_.SlideKokusoCards(AnimTick);
      if (++AnimTick < 11) return;
      AnimTick = 0;
      StopTimer();
      SendLine(MyUserId, CmdKokusoEnd(Verdict));
      return;
    }
    case gsComputerVerdict: {
      if (++AnimTick < 21) return;
      AnimTick = 0;
      StopTimer();
      SendLine(VerdictUserId, CmdKokusoEnd(Verdict));
      VerdictUserId = -1;
      return;
    }
    default:
      Timer.active = false;
  }
}

// ---------------------------------------------------------------- walking

void TGameCore::ArrowButtonClick(int arrow) {
  if (arrow < kUp || arrow > kDown2) return;
  if (GameState < gsIdle || TurnSeat != MySeat || !Controls.Arrows[arrow]) return;
  bool second = arrow == kUp2 || arrow == kDown2;
  int tag = arrow == kUp2 ? arUp : arrow == kDown2 ? arDown : arrow;
  bool wasCorridor = Walk.place == 0;
  TWalkResult r = ArrowStep(Walk, tag, second);
  if (r.kind == TWalkResult::None) return;
  if (r.leftSpot) Controls.Kokuso.enabled = AccuseAnywhere;
  if (r.onSpot) Controls.Kokuso.enabled = true;
  if (r.kind == TWalkResult::OutRoom) {
    LocalUser.SetPlace(0);
    LocalUser.SetPosition(int16_t(Walk.x), int16_t(Walk.y));
  }
  ++Walk.inFlight;
  SendLine(MyUserId, r.line);
  if (wasCorridor)
    for (int a = kUp; a <= kRight; ++a) Controls.Arrows[a] = false;
}

void TGameCore::HandleMove(int id, int seat, int x, int y, int steps) {
  if (Bad(!ValidSeat(seat) || !OnBoard(x, y) || steps < 0 || steps > 6, "MOVE")) return;
  if (id == MyUserId) {
    view_.PlaySound(footToggle_ ? "FOOTSND2" : "FOOTSND1");
    footToggle_ = !footToggle_;
    if (MoveEchoed(seat)) {
      Seats[seat].SetPosition(int16_t(x), int16_t(y));
      Seats[seat].SetSteps(int16_t(steps));
      SeatMoved(seat);
    }
    if (seat == MySeat && !OwnCopy()) Walk.x = x, Walk.y = y;
    view_.PiecesMoved();
    UpdateMoveButtons(seat, steps);
    return;
  }
  int cseat = ComputerSeatOf(id);
  if (cseat >= 0 && cseat == TurnSeat && cseat == seat) RaiseScriptEvent(cseat, steps > 0 ? "OnMove" : "OnMoveEnd");
}

void TGameCore::MovePieceToRoom(int seat, int room) {
  Seats[seat].SetPlace(int16_t(room + 1));
  Seats[seat].SetPosition(int16_t(RoomTable[room][8 + 2 * seat]), int16_t(RoomTable[room][9 + 2 * seat]));
}

void TGameCore::HandleInRoom(int id, int seat, int room, int steps) {
  if (Bad(!ValidSeat(seat) || room < 0 || room > 8 || steps < 0 || steps > 6, "INROOM")) return;
  if (id == MyUserId && MoveEchoed(seat)) {
    MovePieceToRoom(seat, room);
    SeatMoved(seat);
  }
  if (id == MyUserId) {
    view_.PlaySound("DOORSND1");
    view_.PiecesMoved();
    if (seat == MySeat) {
      if (!OwnCopy()) Walk.place = room + 1;
      LocalUser.SetPlace(int16_t(room + 1));
    }
    UpdateMoveButtons(seat, steps);
    // The room's buttons, unless the walk has already left it again.
    if (TurnSeat == MySeat && seat == MySeat && Walk.place == room + 1) {
      Controls.Suiri.enabled = true;
      Controls.Out.enabled = true;
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
  if (id != MyUserId) return;
  if (seat == MySeat) OwnCopy();
  if (MoveEchoed(seat)) {
    Seats[seat].SetPlace(0);
    Seats[seat].SetPosition(int16_t(x), int16_t(y));
    SeatMoved(seat);
  }
  view_.PiecesMoved();
  UpdateMoveButtons(seat, steps);
  if (TurnSeat == MySeat && seat == MySeat) {
    view_.PlaySound("FOOTSND1");
    ShowSecondExits(-1);
    Controls.Suiri.enabled = false;
    Controls.Out.enabled = Walk.steps == 0;
    HidePassageButton();
  }
}

// ---------------------------------------------------------------- suggestion and accusation

void TGameCore::SuiriButtonClick() {
  if (Walk.place < 1 || Walk.place > 9) return;
  view_.HideCheckPanel();
  int room = Walk.place - 1;
  SendLine(MyUserId, CmdSuiriStart(room));
  SaveButtonStates();
  Controls.Suiri.enabled = false;
  Controls.Start.enabled = false;
  view_.OpenPicker(true, room);
}

void TGameCore::KokusoButtonClick() {
  if (!MyTurn() || outOfGame_ || !Controls.Kokuso.enabled) return;
  view_.HideCheckPanel();
  int room = Walk.place >= 1 && Walk.place <= 9 ? Walk.place - 1 : 9;
  SendLine(MyUserId, CmdKokusoStart(room));
  SaveButtonStates();
  view_.OpenPicker(false, -1);
}

void TGameCore::SendSuiri(int id, int room, int weapon, int person) {
  if (room < 0) {
    SendLine(id, CmdWord(cmSuiriCancel));
    return;
  }
  if (id == MyUserId) {
    Controls.Move.enabled = false;
    SetArrows(false);
  }
  SendLine(id, CmdSuiri(room, person, weapon));
}

void TGameCore::SendShow(int id, int code, const kest::TCard& card) {
  if (code < 0) {
    SendLine(id, CmdShowNo());
    return;
  }
  ShownCard = card;
  SendLine(id, CmdShow(card.WireCode()));
}

void TGameCore::SendKokuso(int id, int room, int weapon, int person) {
  if (room < 0) {
    if (id == MyUserId) RestoreButtonStates();
    SendLine(id, CmdWord(cmKokusoCancel));
    return;
  }
  if (id == MyUserId) {
    if (outOfGame_) return;
    // Nothing to press from the accusation until its verdict has come.
    SaveButtonStates();
    SetArrows(false);
    KokusoRoom = room, KokusoPerson = person, KokusoWeapon = weapon;
  }
  SendLine(id, CmdKokuso(room, person, weapon));
}

// The host drops its computer players between games, never during one.
void TGameCore::SendClearNpc() {
  if (MySeat == 0 && GameState == gsNoGame) SendLine(MyUserId, CmdWord(cmClearNpc));
}

void TGameCore::HandleSuiriStart(int id, int seat, int room) {
  if (id != MyUserId || Bad(!ValidSeat(seat) || room < 0 || room > 8, "SUIRISTART")) return;
  ViewShown = true;
  view_.ShowPieces(false);
  view_.ShowDie(false);
  view_.SetPlayerStatus(seat, kSuggesting);
  view_.ShowRoomPictures(room, seat, -1);
  MessageLine = SeatName(seat) + kWillSuggest;
  view_.ShowMessageLine(MessageLine);
  view_.PlayMusic(muSuiri);
}

void TGameCore::StartCaptions(int room, int person, int weapon, TGameState state) {
  CaptionTexts = {std::string(kIdeSpace) + kRoomNames[room] + kDe, std::string(kIdeSpace) + SeatName(person) + kGa,
                  std::string(kIdeSpace) + kWeaponNames[weapon] + kWoTsukatta};
  view_.SetCaptions(CaptionTexts);
  AnimTick = AnimStep = 0;
  GameState = state;
  StartTimer(50);
}

void TGameCore::HandleSuiri(int id, int seat, int room, int person, int weapon) {
  person %= 10;
  if (Bad(!ValidSeat(seat) || room < 0 || room > 8 || person < 0 || person > 5 || weapon < 0 || weapon > 5,
          "SUIRI"))
    return;
  LastSuiriRoom = room;
  LastSuiriSeat = seat;
  if (id != MyUserId) {
    int cseat = ComputerSeatOf(id);
    if (cseat >= 0) RaiseScriptEvent(cseat, "OnOtherSuiri", {seat, room, person, weapon});
    return;
  }
  if (MoveSuspect) {
    MovePieceToRoom(person, room);
    SeatMoved(person);
    if (person == MySeat) {
      Walk.place = room + 1;
      Walk.x = Seats[person].X(), Walk.y = Seats[person].Y();
      LocalUser.SetPlace(int16_t(room + 1));
      ShowPassageButton(room);
    }
  }
  WeaponCells[weapon] = {RoomTable[room][20 + 2 * weapon], RoomTable[room][21 + 2 * weapon]};
  view_.PiecesMoved();
  StartCaptions(room, person, weapon, gsSuiriCaptions);
}

void TGameCore::HandleShowWait(int id, int seat) {
  if (Bad(!ValidSeat(seat), "SHOWWAIT")) return;
  bool set = false;
  if (id == MyUserId) {
    view_.SetPlayerStatus(seat, kAsking);
    if (seat == MySeat) PendingShowCheck = MyUserId, set = true;
  } else {
    int cseat = ComputerSeatOf(id);
    if (cseat >= 0 && cseat == seat) PendingShowCheck = id, set = true;
  }
  if (set && !Timer.active) {
    SendLine(PendingShowCheck, CmdWord(cmShowCheck));
    PendingShowCheck = -1;
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
  if (id == MyUserId) {
    view_.OpenCardShow(k, cards);
    return;
  }
  int cseat = ComputerSeatOf(id);
  if (cseat >= 0) RaiseScriptEvent(cseat, "OnOtherSuiriCheck", codes);
}

void TGameCore::HandleShowC(int id, const TArgs& args) {
  std::string kind = args.empty() ? std::string() : args[0];
  bool word = kind == "EXIST" || kind == "NOTEXIST" || kind == "NO";
  int seat = kest::ReadDecimal(word ? (args.size() > 1 ? args[1] : std::string()) : kind);
  int code = word ? 0 : kest::ReadDecimal(args.size() > 1 ? args[1] : std::string());
  if (Bad(!ValidSeat(seat) || (!word && !ValidCardCode(code)), "SHOWC")) return;
  if (id != MyUserId) {
    int cseat = ComputerSeatOf(id);
    if (cseat < 0 || cseat != TurnSeat) return;
    if (kind == "NO" && seat == (TurnSeat + 5) % 6) RaiseScriptEvent(cseat, "OnSuiriResult", {-1});
    if (!word) RaiseScriptEvent(cseat, "OnSuiriResult", {code});
    return;
  }
  view_.ShowRoomPictures(LastSuiriRoom, LastSuiriSeat, seat);
  view_.FreeCardPictures();
  if (kind == "NOTEXIST" || kind == "NO") {
    MessageLine = SeatName(seat) + kHasNot;
    view_.ShowMessageLine(MessageLine);
    view_.SetPlayerStatus(seat, kNotFound);
    return;
  }
  MessageLine = std::string(kThatAlibi) + SeatName(seat) + kHasIt;
  view_.ShowMessageLine(MessageLine);
  view_.SetPlayerStatus(seat, kFound);
  if (kind == "EXIST") {
    if (seat == MySeat) {
      view_.ShowCardPicture(ShownCard.Mark(), ShownCard.Index());
    } else {
      view_.ShowCardPicture(0, 0);
    }
    return;
  }
  view_.ShowCardPicture(code / 10, code % 10);
  RestoreButtonStates();
  Controls.Suiri.enabled = false;
  Controls.Kokuso.enabled = AccuseAnywhere;
  Controls.Move.enabled = false;
  Controls.Out.enabled = true;
}

void TGameCore::HandleSuiriEnd(int id) {
  if (id != MyUserId) {
    int cseat = ComputerSeatOf(id);
    if (cseat >= 0 && cseat == TurnSeat) RaiseScriptEvent(cseat, "OnSuiriEnd");
    return;
  }
  RestoreButtonStates();
  Controls.Out.enabled = true;
  Controls.Move.enabled = Controls.Kokuso.enabled = Controls.Suiri.enabled = Controls.Start.enabled = false;
  SetArrows(false);
}

void TGameCore::HandleKokusoStart(int id, int seat, int room) {
  if (id != MyUserId || Bad(!ValidSeat(seat) || room < 0 || room > 9, "KOKUSOSTART")) return;
  view_.ShowPieces(false);
  view_.ShowDie(false);
  view_.SetPlayerStatus(seat, kAccusing);
  view_.ShowRoomPictures(room, seat, -1);
  MessageLine = SeatName(seat) + kWillAccuse;
  view_.ShowMessageLine(MessageLine);
  ViewShown = true;
  view_.PlayMusic(muKokuso);
}

void TGameCore::HandleKokuso(int id, int person, int weapon, int room, bool right) {
  if (Bad(!ValidSolution(person, weapon, room), "KOKUSO")) return;
  Verdict = right ? 1 : 0;
  if (id != MyUserId) {
    if (ComputerSeatOf(id) < 0) return;
    GameState = gsComputerVerdict;
    AnimTick = 0;
    VerdictUserId = id;
    StartTimer(50);
    return;
  }
  MessageLine = kVerdictText;
  view_.ShowMessageLine(MessageLine);
  view_.CreateKokusoCards({3, 1, 2}, {room % 10, person % 10, weapon % 10});
  int r = KokusoRoom >= 0 && KokusoRoom < 9 ? KokusoRoom : 0;
  StartCaptions(r, ValidSeat(KokusoPerson) ? KokusoPerson : 0, KokusoWeapon >= 0 && KokusoWeapon < 6 ? KokusoWeapon : 0,
                gsKokusoCaptions);
}

void TGameCore::ClearView() {
  view_.FreeCardPictures();
  view_.DrawBoard();
  view_.ShowDie(true);
  view_.ShowPieces(true);
  view_.HideCaptionPanels();
  ViewShown = false;
}

void TGameCore::HandleSuiriCancel(int id, int seat) { CancelView(id, seat, kSuiriCancelled, "SUIRICANCEL"); }

void TGameCore::HandleKokusoCancel(int id, int seat) { CancelView(id, seat, kKokusoCancelled, "KOKUSOCANCEL"); }

void TGameCore::CancelView(int id, int seat, const char* status, const char* word) {
  if (id != MyUserId || Bad(!ValidSeat(seat), word)) return;
  ClearView();
  if (TurnSeat == MySeat) RestoreButtonStates();
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
  if (id == MyUserId) SeatsOut[seat] = true;
  if (id != MyUserId) {
    int cseat = ComputerSeatOf(id);
    if (cseat >= 0 && cseat == seat) RaiseScriptEvent(cseat, "OnLose");
    return;
  }
  view_.SetPlayerStatus(seat, kLost);
  if (seat == MySeat) {
    outOfGame_ = true;
    view_.ClosePicker();
    MessageLine = kYouLost;
    DisableGameButtons();
    Controls.Out.enabled = true;
    view_.PlayMusic(muLose);
  } else {
    MessageLine = SeatName(seat) + kOtherLost;
  }
  view_.ShowMessageLine(MessageLine);
}

void TGameCore::EndOfGame(bool won, int seat, int person, int weapon, int room) {
  CloseGameDialogs();
  DisableGameButtons();
  view_.FreeTurnCursor();
  EndLobbyButtons();
  GameState = gsNoGame;
  if (won) {
    if (seat == MySeat) {
      view_.PlayMusic(muWin);
      MessageLine = kYouWon;
    } else {
      view_.PlayMusic(muLose);
      MessageLine = SeatName(seat) + kOtherWon;
    }
    view_.ShowMessageLine(MessageLine);
  }
  SaveButtonStates();
  view_.ShowResult(won, seat, person, weapon, room);
}

void TGameCore::HandleWin(int id, int seat, int person, int weapon, int room) {
  if (Bad(!ValidSeat(seat) || !ValidSolution(person, weapon, room), "WIN")) return;
  if (id != MyUserId) {
    int cseat = ComputerSeatOf(id);
    if (cseat >= 0 && cseat == seat) RaiseScriptEvent(cseat, "OnWin");
    return;
  }
  Winner = seat;
  view_.SetPlayerStatus(seat, kWon);
  EndOfGame(true, seat, person, weapon, room);
}

void TGameCore::HandleEnd(int id, int seat, int person, int weapon, int room) {
  if (id != MyUserId) return;
  if (Bad(!ValidSeat(seat) || !ValidSolution(person, weapon, room), "END")) return;
  Ended = true;
  EndOfGame(false, seat, person, weapon, room);
}

void TGameCore::KekkaOk() {
  if (GameState != gsNoGame) return;
  SendClearNpc();
  RestoreButtonStates();
  ResetBoard();
}

void TGameCore::ResetBoard() {
  view_.PlayMusic(muOpening);
  ComputersAdded = false;
  view_.DrawTitle();
  view_.FreeCardPictures();
  for (int seat = PlayerCount; seat < 6; ++seat) view_.DrawPlayerRow(seat, "", "");
  view_.HideCaptionPanels();
  view_.ShowDie(false);
  view_.HideCheckPanel();
  view_.ShowPieces(false);
}

}  // namespace client
