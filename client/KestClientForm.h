// The client's main window: lobby, board, player rows and all line handling.
#pragma once

#include <QMainWindow>
#include <QImage>
#include <QWidget>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ClientConnection.h"
#include "CommandDispatcher.h"
#include "Faces.h"
#include "GameRules.h"
#include "Kestclasses.h"
#include "LineQueue.h"
#include "Music.h"
#include "Settings.h"
#include "WaveSound.h"

class QAction;
class QDialog;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace client {

class TChatWin;
class TLoginDialog;
class TKestCardForm;
class TCardSelForm;
class TCardShowForm;
class TCheckForm;
class TKekkaForm;
class TKestCardImage;
class TNpcSetDlg;

// An image that keeps what is drawn on it until drawn over.
class TKestCanvas : public QWidget {
 public:
  TKestCanvas(QWidget* parent, int w, int h);
  QImage& Image() { return image_; }
  void Changed() { update(); }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QImage image_;
};

// The other windows, created once in order at start-up.
struct TClientForms {
  TNpcSetDlg* npcSetDlg = nullptr;
  TChatWin* chatWin = nullptr;
  TLoginDialog* loginDialog = nullptr;
  TKestCardForm* cardForm = nullptr;
  TCardSelForm* cardSelForm = nullptr;
  TCardShowForm* cardShowForm = nullptr;
  TCheckForm* checkForm = nullptr;
  TKekkaForm* kekkaForm = nullptr;
  QDialog* optForm = nullptr;
  QDialog* kestAbout = nullptr;
};

class TKestClientForm : public QMainWindow, public TClientLineHandler {
 public:
  struct Devices {
    std::unique_ptr<TClientConnection> connection;
    std::unique_ptr<TMusicPlayer> music;        // silent when absent
    std::unique_ptr<plat::TWaveSound> sound;    // silent when absent
  };

  explicit TKestClientForm(Devices devices);
  ~TKestClientForm() override;

  void SetForms(const TClientForms& forms) { forms_ = forms; }
  const TClientForms& Forms() const { return forms_; }

  // Shows modal dialogs; tests replace it. Returns the dialog's result.
  std::function<int(QDialog&)> RunModal;
  // Exit code for the program when the main window closes.
  int ExitCode() const { return exitCode_; }

  // ---- Lines ----
  void LineClientSocket1LineArrived(const std::string& line);
  bool SendLine(int id, const std::string& text);

  // ---- Start-up, resources ----
  void LoadFaces();
  const TFaceSet& Faces() const { return faces_; }
  void DrawBoardBackground();
  void DrawTitle();
  void DrawDie(int index, int flags);
  void HideCaptionPanels();
  void FreeCardPictures();
  void ClearPlayerRows();
  void DrawPlayerRow(int seat, const std::string& face, const std::string& name);
  void SetPlayerStatus(int seat, const std::string& text, int line);
  const QImage& FaceGraphic(const std::string& face) const;
  void PlayMusic(int index);
  void PlaySound(const char* name);
  void ResetBoard();

  void ArrowButtonClick(QToolButton* button);

  // ---- Connection and login ----
  void ShowConnectDialog();
  static bool IsDottedAddress(const std::string& text);

  // ---- Buttons and menus ----
  void Exit1Click();
  void ChatWindow1Click();
  void NPCN1Click();
  void InButtonClick();
  void RoomViewSelectItem(QTreeWidgetItem* item);
  void OutButtonClick();
  void StartButtonClick();

  // ---- Line handlers ----
  void HandleLogin(int id, int idAgain) override;
  void HandleErr(int id, const std::string& text) override;
  void HandleChroom(int id, int room, const std::string& name) override;
  void HandleRoom(int id, int room, int playing, int count) override;
  void HandleAddUser(int id, const std::string& name, int room, const std::string& face,
                     int userNo, int kind) override;
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

  // ---- Game ----
  void MoveButtonClick();
  void SuiriButtonClick();
  void KokusoButtonClick();
  void CardSpdButtonClick();
  void CheckSpdButtonClick();
  void S2Click();
  void KestTimerTimer();  // one tick of the running animation
  void SendSuiri(int id, int room, int weapon, int person);
  void SendShow(int id, int code, const kest::TCard& card);
  void SendKokuso(int id, int room, int weapon, int person);
  void SendClearNpc();
  void SaveButtonStates();
  void RestoreButtonStates();
  void ShowMessageLine(const std::string& text);
  void ShowRoomPictures(int room, int seat, int other);
  void DrawBoard();
  void CreatePieces();
  void FreePieces();
  void ShowPieces(bool flag);
  void PlacePiece(int i, int px, int py);
  void SpreadPieces(int x, int y);
  void ShowSecondExits(int room);
  void ShowPassageButton(int room);
  void UpdateMoveButtons(int seat, int steps);
  void SetTurnCursor(int seat);
  void FreeCursor();
  // Script events of computer players: hooks that the computer-player host fills.
  virtual void RaiseScriptEvent(int seat, const char* event, const std::vector<int>& args) {
    (void)seat, (void)event, (void)args;
  }
  // The seat of the host's computer player with user number id, else -1.
  int ComputerSeatOf(int id) const;
  QLabel* Piece(int i) const { return pieces_[i]; }
  QLabel* CursorImage() const { return cursor_; }
  TKestCardImage* ShownCardImage() const { return shownCardImage_; }
  bool RunningAnimation() const;

  // ---- State (public for the other windows and for tests) ----
  TClientSettings Settings;
  int CpuCountSetting = 0;
  bool KokusoMode = true, SuiriMode = false;
  kest::TKestUser LocalUser;
  std::array<kest::TKestUser, 6> Seats;
  int MyUserId = -1;
  uint8_t GameState = 0;
  bool Connecting = false;
  bool Closing = false;
  int ScriptRunningMask = 0;
  int PlayerCount = 0;
  int MySeat = 0;
  int ExpectedPlayers = 0;
  bool RuserPending = false;
  bool ComputersAdded = false;
  bool AccuseAnywhere = true, MoveSuspect = false;
  std::string ServerAddressText;
  int TurnSeat = 0;
  bool ViewShown = false;
  TWalk Walk;  // own piece's walk: marks, WayBack, SecondDoor
  int LastSuiriRoom = 0, LastSuiriSeat = 0;
  kest::TCard ShownCard;
  int KokusoRoom = 0, KokusoPerson = 0, KokusoWeapon = 0;
  uint8_t Verdict = 0;
  int PendingShowCheck = -1;
  TDieAnim Die;
  int RollValue = 0, AnimTick = 0, AnimStep = 0;
  std::string MessageLine;  // the text last written on the board's message line

  // Components.
  TKestCanvas* KestCanvas = nullptr;
  QTreeWidget* RoomView = nullptr;
  QPushButton* InButton = nullptr;
  QListWidget* UserBox = nullptr;
  QPushButton *SuiriButton = nullptr, *KokusoButton = nullptr, *MoveButton = nullptr;
  QPushButton *StartButton = nullptr, *OutButton = nullptr;
  QToolButton *UpSpdButton = nullptr, *DownSpdButton = nullptr, *LeftSpdButton = nullptr,
              *RightSpdButton = nullptr, *Up2SpdButton = nullptr, *Down2SpdButton = nullptr;
  QToolButton *CardSpdButton = nullptr, *CheckSpdButton = nullptr, *ChatSpdButton = nullptr;
  TKestCanvas* SaiImage = nullptr;
  QLabel *RoomPanel = nullptr, *HumanPanel = nullptr, *WeaponPanel = nullptr, *CheckPanel = nullptr;
  QPlainTextEdit *Memo1 = nullptr, *Memo2 = nullptr;
  QTimer *KestTimer = nullptr, *ScriptTimer = nullptr;
  QAction *Exit1 = nullptr, *S2 = nullptr, *NPCN1 = nullptr, *D1 = nullptr, *ChatWindow1 = nullptr,
          *S1 = nullptr, *KestA1 = nullptr;

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void FormCreate();
  void FormActivate();
  void FormClose();
  void BuildComponents();
  void BuildMenu();
  void LoadSettings();
  void SaveSettings();
  void LineClientSocket1Connect();
  void LineClientSocket1Error(const std::string& what);
  void ConnectionLost(const std::string& logLine, const std::string& message);
  void ResetToLoggedOut();
  void QueueConnectDialog();
  void FailAutoLogin(const std::string& why);
  // A refused login: the message box, then the dialog again (exitCode 0) or the end.
  void Refused(const std::string& why, const char* message, int exitCode);
  void CloseMainWindow(int exitCode);
  void Log(const std::string& sjisLine);
  void SetOutButtonCaption(const char* sjis);
  void LoadMusicFiles();
  // Runs fn, reporting an escaping exception instead of letting it reach Qt.
  void Guarded(const char* where, const std::function<void()>& fn);

  Devices dev_;
  TClientForms forms_;
  TLineArrival arrival_;
  TFaceSet faces_;
  QImage titleBitmap_;
  std::array<QImage, 7> dieBitmaps_, restBitmaps_;
  bool inConnectDialog_ = false;
  bool connectDialogQueued_ = false;
  bool autoLogin_ = false;         // VELMORA_AUTOLOGIN=1: accept the dialog once, unasked
  bool autoLoginPending_ = false;  // that login has not been accepted yet
  int exitCode_ = 0;
  // Computer players asked for and not yet answered, in the order sent.
  struct PendingAdd {
    std::string word;  // ADDCOM or ADDCOM2
    int seat;
    std::string display, raw;
    int retries;
  };
  std::deque<PendingAdd> pendingAdds_;
  std::array<QLabel*, 12> pieces_{};
  QLabel* cursor_ = nullptr;
  TKestCardImage* shownCardImage_ = nullptr;
  std::array<TKestCardImage*, 3> kokusoCards_{};
  std::array<int, 3> kokusoTargets_{};
  std::array<bool, 9> savedStates_{};
  bool footToggle_ = false;
  bool cardStripFlag_ = false;
  void EndOfGame(bool won, int seat, int person, int weapon, int room);
  void CloseGameDialogs();
  void SetArrows(bool enabled);
  void StartCaptions(int room, int person, int weapon, uint8_t state);
  void ClearView();
  void CancelView(int id, int seat, const char* status, const char* word);
  bool Bad(bool condition, const char* word);
  std::string SeatName(int seat) const;
  QImage LoadPortrait(int seat) const;
  void SendAddCom(const PendingAdd& add);
};

// Seat colours (RGB) of the player rows and the setup slots.
QColor SeatColour(int seat);

}  // namespace client
