// The client's game without a window: the own player and the six seats, the
// turn, the walk, the die and the animations' steps, suggestions and
// accusations, the lobby lists, and every decision of the line handlers.
// It sends through a TLineSender and asks a TGameView to paint; the main
// window is both, and the computer players act on the same core.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "CommandDispatcher.h"
#include "GameRules.h"
#include "Kestclasses.h"
#include "StartCells.h"

namespace client {

class TNpcNames;

// The values of GameState.
enum TGameState : uint8_t {
  gsOffline = 0,          // not logged in
  gsNoGame = 1,           // logged in, no game running
  gsIdle = 2,             // in a game, no animation running
  gsRolling = 3,          // the die rolls
  gsSuiriCaptions = 4,    // a suggestion's captions slide in
  gsKokusoCaptions = 5,   // the own accusation's captions slide in
  gsKokusoCards = 6,      // the solution's cards slide
  gsComputerVerdict = 9,  // the pause before a computer player's verdict
  gsConfirm = 10,         // waiting for the own player's confirmation
};

// Background music by index of the six files.
enum TMusic : int { muStop = -1, muMain = 0, muSuiri, muKokuso, muOpening, muWin, muLose };

// Caption of OutButton.
enum TOutCaption : uint8_t { ocEnd, ocTurnEnd, ocConfirm };

// Why the server refused the own login.
enum TRefusal : uint8_t { rfSameName, rfLocked, rfOverUser };

// Arrow buttons by index in TControls::Arrows: the tag of the first four.
enum : int { kUp = 0, kDown = 1, kLeft = 2, kRight = 3, kUp2 = 4, kDown2 = 5 };

struct TControl {
  bool enabled = false;
  bool visible = true;
};

// The buttons as the game leaves them; the window shows them so.
struct TControls {
  TControl Suiri, Kokuso, Move;
  TControl Start{false, false};  // 開始 in the lobby state, the secret passage in a game
  TControl Out{false, false};
  std::array<bool, 6> Arrows{};  // enabled, by kUp ... kDown2
  bool CardSpd = false;          // with the menu item アリバイ
  bool CheckSpd = false;         // with the menu item 探偵メモ
  TOutCaption OutCaption = ocEnd;
  int PassageTarget = -1;   // Start is the passage to this room; -1: "開始"
  int SecondExitRoom = -1;  // 0 or 4: that room's second exit button shows
  bool Lobby = false;       // the room list, the user list and 入室 show
};

// One row of the lobby's room list.
struct TRoomRow {
  bool playing = false;
  int count = 0;
};

// KestTimer as the animations leave it.
struct TAnimTimer {
  bool active = false;
  int interval = 100;
};

class TLineSender {
 public:
  virtual ~TLineSender() = default;
  // Sends text for user number id (the own player's, a computer player's, 0 for LOGIN).
  virtual void SendLine(int id, const std::string& text) = 0;
};

// The seats' scripts: set up at each game start on every client, told of
// every move, and on the host given the events of its computer players.
class TScriptEvents {
 public:
  virtual ~TScriptEvents() = default;
  virtual void RaiseScriptEvent(int seat, const char* event, const std::vector<int>& args) = 0;
  // START: the seats are filled. False when a computer player of this host
  // is left without a script, which ends the program.
  virtual bool SetUpScripts() { return true; }
  // The seat's piece stands somewhere else now.
  virtual void SeatMoved(int seat) { (void)seat; }
  // The own copy of a MOVE, INROOM or OUTROOM of seat has arrived: false while
  // later moves that the host sent for the seat are still on their way (the
  // host's record of its computer player is newer than this line).
  virtual bool MoveEchoed(int seat) {
    (void)seat;
    return true;
  }
};

// What the core asks the window to show; every call does nothing by default.
class TGameView {
 public:
  virtual ~TGameView() = default;
  virtual void PlayMusic(int index) { (void)index; }
  virtual void PlaySound(const char* name) { (void)name; }
  virtual void Log(const std::string& line) { (void)line; }

  // The board canvas.
  virtual void DrawBoardBackground() {}
  virtual void DrawTitle() {}
  virtual void DrawBoard() {}
  virtual void DrawPlayerRow(int seat, const std::string& face, const std::string& name) {
    (void)seat, (void)face, (void)name;
  }
  virtual void SetPlayerStatus(int seat, const std::string& text) { (void)seat, (void)text; }
  virtual void ShowMessageLine(const std::string& text) { (void)text; }
  virtual void ShowRoomPictures(int room, int seat, int other) { (void)room, (void)seat, (void)other; }
  virtual void DrawDie(int index, int flags) { (void)index, (void)flags; }
  virtual void ShowDie(bool shown) { (void)shown; }
  // Pieces at the seats' cells and WeaponCells; the turn cursor.
  virtual void CreatePieces() {}
  virtual void FreePieces() {}
  virtual void ShowPieces(bool shown) { (void)shown; }
  virtual void PiecesMoved() {}
  virtual void CreateTurnCursor() {}
  virtual void SetTurnCursor(int seat) { (void)seat; }
  virtual void FreeTurnCursor() {}
  // The three caption panels: texts shown at width 1, then grown.
  virtual void SetCaptions(const std::array<std::string, 3>& texts) { (void)texts; }
  virtual void SetCaptionWidth(int panel, int width) { (void)panel, (void)width; }
  virtual void HideCaptionPanels() {}
  virtual void ShowCheckPanel(bool confirm) { (void)confirm; }
  virtual void HideCheckPanel() {}
  // Card pictures on the board: the shown card, the solution's three cards.
  virtual void ShowCardPicture(int kind, int number) { (void)kind, (void)number; }
  virtual void CreateKokusoCards(const std::array<int, 3>& kinds, const std::array<int, 3>& numbers) {
    (void)kinds, (void)numbers;
  }
  virtual void ShowKokusoCards() {}
  virtual void SlideKokusoCards(int tick) { (void)tick; }
  virtual void FreeCardPictures() {}
  // Suspect cards carry the seats' names and faces.
  virtual void SetPersonCard(int seat) { (void)seat; }

  // The other windows.
  virtual void LoggedIn() {}
  // The own player has entered room (0 the lobby).
  virtual void OwnRoomChanged(int room) { (void)room; }
  virtual void LoginRefused(TRefusal why) { (void)why; }
  virtual void CloseMainWindow() {}
  virtual void WarnTwoPlayers() {}
  virtual void UserListChanged() {}
  virtual void RoomRowChanged(int room) { (void)room; }
  virtual void AppendChat(const std::string& text) { (void)text; }
  virtual void ClearCardStrip() {}
  virtual void AddCardToStrip(int kind, int number) { (void)kind, (void)number; }
  virtual void PlaceCardStrip(int count) { (void)count; }
  virtual void PutMark(int group, int row, int code, int column) {
    (void)group, (void)row, (void)code, (void)column;
  }
  virtual void ClearNotebook() {}
  virtual void CloseNotebook() {}
  virtual void OpenPicker(bool suiri, int room) { (void)suiri, (void)room; }
  virtual void ClosePicker() {}
  virtual void OpenCardShow(int count, const kest::TCard* cards) { (void)count, (void)cards; }
  virtual void CloseCardShow() {}
  virtual void ShowResult(bool won, int seat, int person, int weapon, int room) {
    (void)won, (void)seat, (void)person, (void)weapon, (void)room;
  }
  virtual void CloseResult() {}
};

class TGameCore : public TClientLineHandler {
 public:
  TGameCore(TLineSender& sender, TGameView& view);

  void SetScriptEvents(TScriptEvents* events) { scripts_ = events; }
  void SetNpcNames(TNpcNames* names) { npc_ = names; }

  // ---- Lookups ----
  // The seat whose record carries userId, -1 none.
  int SlotOfUser(int userId) const;
  // The seat of the host's computer player with user number id, else -1.
  int ComputerSeatOf(int id) const;
  std::string SeatName(int seat) const;
  bool InGame() const { return GameState >= gsIdle; }
  bool MyTurn() const { return InGame() && TurnSeat == MySeat; }
  // The own player's wrong accusation has put it out of this game.
  bool OutOfGame() const { return outOfGame_; }
  // Computer players asked for and neither seated nor refused yet.
  int PendingAdds() const { return addsOutstanding_; }

  // ---- The window's controls and dialogs ----
  // Connected: LOGIN with name and face, only while not logged in.
  void SendLogin(const std::string& name, const std::string& face);
  // A lost connection: back to the state before login, the board cleared.
  void ResetToLoggedOut();
  void InButtonClick(int room);
  void RoomViewSelectItem(int room);
  void OutButtonClick();
  void StartButtonClick();
  void MoveButtonClick();
  void SuiriButtonClick();
  void KokusoButtonClick();
  // Arrow index kUp ... kDown2.
  void ArrowButtonClick(int arrow);
  void SendSuiri(int id, int room, int weapon, int person);
  void SendShow(int id, int code, const kest::TCard& card);
  void SendKokuso(int id, int room, int weapon, int person);
  void SendClearNpc();
  void SendChat(const std::string& text);
  // The result dialog's button; nothing once the next game has begun.
  void KekkaOk();
  // One tick of KestTimer.
  void KestTimerTimer();
  void SaveButtonStates();
  void RestoreButtonStates();
  void ResetBoard();
  void SendLine(int id, const std::string& text) { sender_.SendLine(id, text); }

  // ---- Line handlers ----
  void HandleLogin(int id, int idAgain) override;
  void HandleErr(int id, const std::string& text) override;
  void HandleChroom(int id, int room, const std::string& name) override;
  void HandleRoom(int id, int room, int playing, int count) override;
  void HandleAddUser(int id, const std::string& name, int room, const std::string& face, int userNo,
                     int kind) override;
  void HandleAddUser2(int id, const std::string& name, int room, const std::string& face) override;
  void HandleUser(int id, int seat, const std::string& name) override;
  void HandleRemoveUser(int id, const std::string& name) override;
  void HandleRuserEnd(int id) override;
  void HandleBye(int id, const std::string& name) override;
  void HandlePrint(int id, const std::string& text) override;
  void HandleCpuType(int id, int type) override;
  void StartGame(int id, const TArgs& args) override;
  void HandleCard(int id, const TArgs& args) override;
  void HandleTurn(int id, int seat) override;
  void HandleTurnEnd2(int id) override;
  void HandleSaikoro(int id, int n) override;
  void HandleMove(int id, int seat, int x, int y, int steps) override;
  void HandleInRoom(int id, int seat, int room, int steps) override;
  void HandleOutRoom(int id, int seat, int v, int steps) override;
  void HandleSuiriStart(int id, int seat, int room) override;
  void HandleSuiri(int id, int seat, int room, int person, int weapon) override;
  void HandleShowWait(int id, int seat) override;
  void HandleShowSel(int id, const TArgs& args) override;
  void HandleShowC(int id, const TArgs& args) override;
  void HandleSuiriEnd(int id) override;
  void HandleKokusoStart(int id, int seat, int room) override;
  void HandleKokuso(int id, int person, int weapon, int room, bool right) override;
  void HandleSuiriCancel(int id, int seat) override;
  void HandleKokusoCancel(int id, int seat) override;
  void HandleLose(int id, int seat) override;
  void HandleWin(int id, int seat, int person, int weapon, int room) override;
  void HandleEnd(int id, int seat, int person, int weapon, int room) override;

  // ---- State ----
  kest::TKestUser LocalUser;
  std::array<kest::TKestUser, 6> Seats;
  int MyUserId = -1;
  TGameState GameState = gsOffline;
  int PlayerCount = 0;
  int MySeat = 0;
  int TurnSeat = 0;
  int ExpectedPlayers = 0;
  bool RuserPending = false;
  bool ComputersAdded = false;
  bool KokusoMode = true, SuiriMode = false;  // the host's choice, sent in START
  int CpuCountSetting = 0;
  bool AccuseAnywhere = true, MoveSuspect = false;  // the running game's modes
  // The running or last game's outcome: the winner's seat (-1 none yet), the
  // game ended without one, the seats out after a wrong accusation.
  int Winner = -1;
  bool Ended = false;
  std::array<bool, 6> SeatsOut{};
  bool ViewShown = false;
  TWalk Walk;  // the own piece's walk
  int LastSuiriRoom = 0, LastSuiriSeat = 0;
  kest::TCard ShownCard;
  int KokusoRoom = 0, KokusoPerson = 0, KokusoWeapon = 0;
  uint8_t Verdict = 0;
  int VerdictUserId = -1;  // the computer player whose verdict the pause sends
  int PendingShowCheck = -1;
  TDieAnim Die;
  int RollValue = 0, AnimTick = 0, AnimStep = 0;
  std::array<TCell, 6> WeaponCells{};
  std::string MessageLine;  // the text last written on the board's message line
  std::array<std::string, 3> CaptionTexts;
  std::vector<std::string> UserList;  // UserBox
  std::array<TRoomRow, 11> RoomRows{};
  TControls Controls;
  TAnimTimer Timer;

 private:
  struct PendingAdd {
    int command;  // cmAddCom or cmAddCom2
    int seat;
    std::string display, raw;
    int retries;
  };
  void AddComputer(int command, int seat);
  void SendAddCom(const PendingAdd& add);
  void AddAnswered();
  void AddFailed(const std::string& why, bool pending);
  void SendStart();
  bool Bad(bool condition, const char* word);
  void RaiseScriptEvent(int seat, const char* event, const std::vector<int>& args = {});
  std::array<bool*, 9> SavedButtons();
  void SetArrows(bool enabled);
  void DisableGameButtons();
  void EndLobbyButtons();
  void ShowSecondExits(int room);
  void ShowPassageButton(int room);
  void HidePassageButton();
  void UpdateMoveButtons(int seat, int steps);
  void StartCaptions(int room, int person, int weapon, TGameState state);
  void StopTimer();
  void StartTimer(int interval);
  void ClearView();
  void CancelView(int id, int seat, const char* status, const char* word);
  void EndOfGame(bool won, int seat, int person, int weapon, int room);
  void CloseGameDialogs();
  void RemoveUserName(const std::string& name);
  void MovePieceToRoom(int seat, int room);
  // A server copy of an own step: true when it copies a step the walk
  // already took (and counts it in), false for a move the walk has not seen.
  bool OwnCopy();
  // The own copy of seat's move: true when it is to be applied to the record.
  bool MoveEchoed(int seat);
  void SeatMoved(int seat);

  TLineSender& sender_;
  TGameView& view_;
  TScriptEvents* scripts_ = nullptr;
  TNpcNames* npc_ = nullptr;
  std::string loginName_, loginFace_;
  std::deque<PendingAdd> pendingAdds_;  // asked for, not logged in yet
  int addsOutstanding_ = 0;             // asked for, not seated nor refused yet
  bool startBack_ = false;              // a refusal: Start comes back once all are answered
  std::array<bool, 9> savedStates_{};
  bool footToggle_ = false;
  bool outOfGame_ = false;
};

}  // namespace client
