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
#include "ComputerAdds.h"
#include "ComputerPlay.h"
#include "Die.h"
#include "GameRules.h"
#include "Kestclasses.h"
#include "Lobby.h"
#include "Outcome.h"
#include "StartCells.h"
#include "Turn.h"
#include "Verdict.h"

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

// The picker as the own player opened it, until it answers.
enum TPickerMode : uint8_t { pmClosed, pmSuiri, pmKokuso };

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
  // The game is gone with the connection (the server has logged its computer
  // players out): every seat's script ends and is freed.
  virtual void FreeScripts() {}
  // The seat's piece stands somewhere else now.
  virtual void SeatMoved(int seat) { (void)seat; }
  // The host has ended the seat's turn for its failed script.
  virtual void TurnEndedForScript(int seat) { (void)seat; }
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
  bool InGame() const { return state_ >= gsIdle; }
  bool MyTurn() const { return InGame() && turn_.Seat() == mySeat_; }
  // The own player's wrong accusation has put it out of this game.
  bool OutOfGame() const { return InGame() && outcome_.Out(mySeat_); }
  // Computer players asked for and neither seated nor refused yet.
  int PendingAdds() const { return adds_.Outstanding(); }

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

  // ---- What the windows, the scripts and the tests read ----
  const kest::TKestUser& LocalUser() const { return localUser_; }
  const std::array<kest::TKestUser, 6>& Seats() const { return seats_; }
  int MyUserId() const { return myUserId_; }
  TGameState State() const { return state_; }
  int PlayerCount() const { return playerCount_; }
  int MySeat() const { return mySeat_; }
  int TurnSeat() const { return turn_.Seat(); }
  // Members the table waits for before it sends START (0: none).
  int ExpectedPlayers() const { return expectedPlayers_; }
  bool RuserPending() const { return lobby_.Asking(); }
  bool ComputersAdded() const { return computersAdded_; }
  // The host's choices for the next game.
  bool KokusoMode() const { return kokusoMode_; }
  bool SuiriMode() const { return suiriMode_; }
  int CpuCount() const { return cpuCount_; }
  // The running game's modes.
  bool AccuseAnywhere() const { return accuseAnywhere_; }
  bool MoveSuspect() const { return moveSuspect_; }
  // The running or last game's outcome: the winner's seat (-1 none yet), the
  // game ended without one, the seats out after a wrong accusation.
  int Winner() const { return outcome_.Winner(); }
  bool Ended() const { return outcome_.EndedWithoutWinner(); }
  const std::array<bool, 6>& SeatsOut() const { return outcome_.SeatsOut(); }
  // A suggestion or accusation is shown on the board (the turn ends with TURNEND2).
  bool ViewShown() const { return viewShown_; }
  const TWalk& Walk() const { return walk_; }
  const std::array<TCell, 6>& WeaponCells() const { return weaponCells_; }
  // The text last written on the board's message line.
  const std::string& MessageLine() const { return messageLine_; }
  const std::vector<std::string>& UserList() const { return lobby_.Users(); }  // UserBox
  const std::array<TRoomRow, 11>& RoomRows() const { return lobby_.Rows(); }
  // The buttons as they show: nothing can be pressed while the own
  // accusation waits for its verdict.
  TControls Controls() const;
  const TAnimTimer& Timer() const { return timer_; }

  // ---- The host's options and the scripts' acts ----
  // The host's choices, sent with the next START.
  void SetTableOptions(bool kokusoMode, bool suiriMode, int cpuCount);
  void SetCpuCount(int cpuCount) { cpuCount_ = cpuCount; }
  // Seat's die for its turn: one roll a turn, none once out of the game; the
  // roll is sent for the seat's user. False when the seat may not roll.
  bool RollFor(int seat);
  // The computer player in seat walks one step of its rolled steps toward
  // room (0-8, 9 the accusation spot): 0 a step sent, 1 already there, -1
  // no step (none left, out of the game, no way).
  int MoveSeatToward(int seat, int room);
  // The computer player in seat suggests in its room: once a turn, in a room
  // (not on the spot), not out of the game, not while its accusation is open.
  bool SuggestFor(int seat, int person, int weapon);
  // The computer player in seat accuses (room -1: cancels at once): not out of
  // the game, not while a suggestion or accusation of it is open, and on the
  // spot unless the game lets it accuse anywhere.
  bool AccuseFor(int seat, int room, int person, int weapon);
  // Its suggestion waits for its answers; its accusation for its verdict.
  bool SuggestionOpen(int seat) const { return computers_.SuggestionOpen(seat); }
  bool AccusationOpen(int seat) const { return computers_.AccusationOpen(seat); }

  // ---- A computer player's turn and answers on its host ----
  // The seat whose turn its computer player plays here: from its TURN until
  // it, or the host for it, ends the turn; -1 none.
  int ComputerTurnSeat() const { return InGame() ? computers_.TurnSeat() : -1; }
  // The seat ends its turn (TURNEND2 with confirm) once it has walked all its
  // rolled steps, or at once in a room, on the spot or out of the game: 0.
  // Otherwise nothing is sent and the result is the steps left, plus 1 once
  // rolled (0 before rolling). -1: not the seat's turn here.
  int EndTurnFor(int seat, bool confirm);
  // The seat's script has failed in its turn: from now on the host plays the
  // turn, ending it at once, or once its open suggestion or accusation has
  // been answered, whose events its script then no longer gets (TURNEND2
  // when the table was shown one). True when the turn ended now.
  bool TakeOverTurn(int seat);
  bool TurnTakenOver(int seat) const { return InGame() && computers_.TakenOver(seat); }
  // A card asked of the seat (SHOWSEL), until it has answered.
  bool CardAsked(int seat) const { return computers_.Asked(seat); }
  // The seat answers the card asked: a card code it was asked for, or below 0
  // "SHOW NO" when it was asked for none. False, nothing sent, otherwise.
  bool ShowFor(int seat, int code);
  // The host answers for the seat: the first card asked, else "SHOW NO". The
  // line sent, "" when nothing was asked.
  std::string AnswerFor(int seat);

 private:
  // Tests place records and modes directly where no line can (tests/game/CoreFixture.h).
  friend struct TCoreTestAccess;

  // ---- Lookups and the scripts ----
  bool Bad(bool condition, const char* word);
  void RaiseScriptEvent(int seat, const char* event, const std::vector<int>& args = {});
  void SeatMoved(int seat);

  // ---- The table and its computer players ----
  int TableRoom() const;
  void EnterTable();
  void AddComputer(int command, int seat);
  void AddAnswered();
  // A computer player asked for was refused (name: its name, "" unknown).
  void AddFailed(const std::string& why, const std::string& name);
  // CLEARNPC is sent and a computer player still sits at the table.
  bool ComputersLeaving() const;
  void SendStart();

  // ---- The buttons ----
  std::array<bool*, 9> SavedButtons();
  void SaveButtonStates();
  void RestoreButtonStates();
  void SetArrows(bool enabled);
  void DisableGameButtons();
  void EndLobbyButtons();
  void ShowSecondExits(int room);
  void ShowPassageButton(int room);
  void HidePassageButton();
  void UpdateMoveButtons(int seat, int steps);

  // ---- Pieces, views and animations ----
  void MovePieceToRoom(int seat, int room);
  void StartCaptions(int room, int person, int weapon, TGameState state);
  void SendVerdictAfterPause();
  void ClearView();
  void CancelView(int id, int seat, const char* status, const char* word);
  void ResetBoard();

  // ---- The own dialogs ----
  void CloseGameDialogs();
  void ClosePicker();
  // The own answer from the picker in mode, or from the card-show dialog:
  // true once, while that dialog waits for it.
  bool PickerAnswered(TPickerMode mode);
  bool CardShowAnswered();
  void EndOfGame(bool won, int seat, int person, int weapon, int room);

  // ---- A computer player's turn on its host ----
  void SendMoveFor(int seat, const std::string& text);
  void EndComputerTurn(int seat, bool confirm);
  // Ends a taken-over turn when nothing of it is open any more.
  bool FinishTakenOverTurn(int seat);
  // An answer for a seat whose turn the host has taken over: true, the host
  // has dealt with it.
  bool AnsweredForHost(int seat);

  // ---- Where it sends and paints ----
  TLineSender& sender_;
  TGameView& view_;
  TScriptEvents* scripts_ = nullptr;
  TNpcNames* npc_ = nullptr;

  // ---- The own player, the lobby and the table ----
  kest::TKestUser localUser_;
  std::string loginName_, loginFace_;
  int myUserId_ = -1;
  TGameState state_ = gsOffline;
  TLobby lobby_;
  std::array<kest::TKestUser, 6> seats_;
  int playerCount_ = 0;
  int mySeat_ = 0;
  int expectedPlayers_ = 0;
  bool computersAdded_ = false;
  TComputerAdds adds_;
  bool startBack_ = false;          // a refusal: Start comes back once all are answered
  bool clearingComputers_ = false;  // CLEARNPC sent: the computer players are leaving
  bool kokusoMode_ = true, suiriMode_ = false;
  int cpuCount_ = 0;

  // ---- The game ----
  bool accuseAnywhere_ = true, moveSuspect_ = false;
  TOutcome outcome_;
  TTurn turn_;
  TWalk walk_;  // the own piece's walk
  std::array<TCell, 6> weaponCells_{};
  TComputerPlay computers_;  // the host's computer players in the game
  int lastSuiriRoom_ = 0, lastSuiriSeat_ = 0;
  kest::TCard shownCard_;
  TVerdict verdict_;
  int pendingShowCheck_ = -1;

  // ---- The screen ----
  TControls controls_;
  std::array<bool, 9> savedStates_{};
  TPickerMode picker_ = pmClosed;  // the own picker waits for its answer
  bool cardShowOpen_ = false;      // the own card-show dialog waits for its answer
  bool viewShown_ = false;
  std::string messageLine_;
  std::array<std::string, 3> captionTexts_;
  TAnimTimer timer_;
  TDie die_{timer_};
  int animTick_ = 0, animStep_ = 0;
  bool footToggle_ = false;
};

}  // namespace client
