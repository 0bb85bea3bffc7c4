// The client's main window: it hands every line, button and tick to the game
// core and paints what the core decided (the lobby, the board, the player rows).
#pragma once

#include <QMainWindow>
#include <QImage>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ClientConnection.h"
#include "Faces.h"
#include "GameCore.h"
#include "GameRules.h"
#include "Kestclasses.h"
#include "LineQueue.h"
#include "LoginFlow.h"
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

namespace npc {
class TScriptHost;
}

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

// Lines go straight to the core (Game); the window paints what the core asks
// for through TGameView and shows the core's controls in Sync().
class TKestClientForm : public QMainWindow, public TLineSender, public TGameView {
 public:
  struct Devices {
    std::unique_ptr<TClientConnection> connection;
    std::unique_ptr<TMusicPlayer> music;        // silent when absent
    std::unique_ptr<plat::TWaveSound> sound;    // silent when absent
  };

  explicit TKestClientForm(Devices devices);
  ~TKestClientForm() override;

  void SetForms(const TClientForms& forms);
  const TClientForms& Forms() const { return forms_; }

  // Shows modal dialogs; tests replace it. Returns the dialog's result.
  std::function<int(QDialog&)> RunModal;
  // Exit code for the program when the main window closes.
  int ExitCode() const { return exitCode_; }
  // The seats' scripts.
  const npc::TScriptHost* ScriptHost() const { return scriptHost_.get(); }
  // VELMORA_PACE=fast: animations and script waits at their shortest.
  bool FastPace() const { return fastPace_; }

  // The game: the state and every decision.
  TGameCore Game;

  // ---- Lines ----
  void LineClientSocket1LineArrived(const std::string& line);
  void SendLine(int id, const std::string& text) override;

  // ---- Start-up, resources ----
  void LoadFaces();
  const TFaceSet& Faces() const { return faces_; }
  const QImage& FaceGraphic(const std::string& face) const;
  void ClearPlayerRows();
  // Shows the core's buttons, lists and timer on the widgets.
  void Sync();
  // Centres the window again once the window manager has given it its frame.
  void CentreWhenFramed();

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
  void MoveButtonClick();
  void SuiriButtonClick();
  void KokusoButtonClick();
  void ArrowButtonClick(QToolButton* button);
  void CardSpdButtonClick();
  void CheckSpdButtonClick();
  void S2Click();
  void KestTimerTimer();  // one tick of the running animation
  // The dialogs' answers.
  void SendSuiri(int id, int room, int weapon, int person);
  void SendShow(int id, int code, const kest::TCard& card);
  void SendKokuso(int id, int room, int weapon, int person);
  void KekkaOk();

  // ---- Painting what the core decided ----
  void PlayMusic(int index) override;
  void PlaySound(const char* name) override;
  void Log(const std::string& sjisLine) override;
  void DrawBoardBackground() override;
  void DrawTitle() override;
  void DrawBoard() override;
  void DrawPlayerRow(int seat, const std::string& face, const std::string& name) override;
  void SetPlayerStatus(int seat, const std::string& text) override;
  void ShowMessageLine(const std::string& text) override;
  void ShowRoomPictures(int room, int seat, int other) override;
  void DrawDie(int index, int flags) override;
  void ShowDie(bool shown) override;
  void CreatePieces() override;
  void FreePieces() override;
  void ShowPieces(bool flag) override;
  void PiecesMoved() override;
  void CreateTurnCursor() override;
  void SetTurnCursor(int seat) override;
  void FreeTurnCursor() override;
  void SetCaptions(const std::array<std::string, 3>& texts) override;
  void SetCaptionWidth(int panel, int width) override;
  void HideCaptionPanels() override;
  void ShowCheckPanel(bool confirm) override;
  void HideCheckPanel() override;
  void ShowCardPicture(int kind, int number) override;
  void CreateKokusoCards(const std::array<int, 3>& kinds, const std::array<int, 3>& numbers) override;
  void ShowKokusoCards() override;
  void SlideKokusoCards(int tick) override;
  void FreeCardPictures() override;
  void SetPersonCard(int seat) override;
  void LoggedIn() override;
  void OwnRoomChanged(int room) override;
  void LoginRefused(TRefusal why) override;
  void CloseMainWindow() override { CloseMainWindow(0); }
  void WarnTwoPlayers() override;
  void UserListChanged() override;
  void RoomRowChanged(int room) override;
  void AppendChat(const std::string& text) override;
  void ClearCardStrip() override;
  void AddCardToStrip(int kind, int number) override;
  void PlaceCardStrip(int count) override;
  void PutMark(int group, int row, int code, int column) override;
  void ClearNotebook() override;
  void CloseNotebook() override;
  void OpenPicker(bool suiri, int room) override;
  void ClosePicker() override;
  void OpenCardShow(int count, const kest::TCard* cards) override;
  void CloseCardShow() override;
  void ShowResult(bool won, int seat, int person, int weapon, int room) override;
  void CloseResult() override;

  void PlacePiece(int i, int px, int py);
  void SpreadPieces(int x, int y);
  QLabel* Piece(int i) const { return pieces_[i]; }
  QLabel* CursorImage() const { return cursor_; }
  TKestCardImage* ShownCardImage() const { return shownCardImage_; }

  // ---- The window's own state ----
  TClientSettings Settings;
  // A connection is open or opening.
  bool Connecting() const { return login_.Connecting(); }
  bool Closing = false;
  std::string ServerAddressText;

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
  void CreateScriptHost();
  void FormActivate();
  void FormClose();
  void BuildComponents();
  void BuildMenu();
  void LoadSettings();
  void SaveSettings();
  void LineClientSocket1Connect();
  void LineClientSocket1Error(const std::string& what);
  // The connection is gone (lost or refused): so is everything of its session.
  void EndSession();
  // The connection dropped or failed: the session ends, the dialog comes back.
  void ConnectionLost(const std::string& logLine, const std::string& message);
  void QueueConnectDialog();
  // A failed login attempt: false when the player may try again; true when it
  // ends the program (the automatic login), which says why.
  bool LoginFailed(const std::string& why);
  // A refused login: the message box, then the dialog again (exitCode 0) or the end.
  void Refused(const std::string& why, const char* message, int exitCode);
  void CloseMainWindow(int exitCode);
  void LoadMusicFiles();
  // Runs an entry from the event loop: errors go to the one guard, then the
  // widgets show what the core left.
  void Entry(const std::function<void()>& fn);
  QImage LoadPortrait(int seat) const;

  Devices dev_;
  TClientForms forms_;
  TLineArrival arrival_;
  TFaceSet faces_;
  QImage titleBitmap_;
  std::array<QImage, 7> dieBitmaps_, restBitmaps_;
  TLoginFlow login_;  // VELMORA_AUTOLOGIN=1 arms its automatic login
  bool connectDialogQueued_ = false;
  int exitCode_ = 0;
  std::array<QLabel*, 12> pieces_{};
  QLabel* cursor_ = nullptr;
  TKestCardImage* shownCardImage_ = nullptr;
  std::array<TKestCardImage*, 3> kokusoCards_{};
  std::array<int, 3> kokusoTargets_{};
  bool cardStripFlag_ = false;
  bool fastPace_ = false;
  std::unique_ptr<npc::TScriptHost> scriptHost_;
};

// Handles the events pending, or sleeps until the next one arrives (at most
// 50 ms): the wait for running scripts, between the script timer's ticks.
void WaitForEvents();

// Seat colours (RGB) of the player rows and the setup slots.
QColor SeatColour(int seat);

}  // namespace client
