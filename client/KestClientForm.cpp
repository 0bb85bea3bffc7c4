#include "KestClientForm.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>

#include "ChatWin.h"
#include "GameDialogs.h"
#include "LoginDialog.h"
#include "MessageBox.h"
#include "NpcSetDlg.h"
#include "Number.h"
#include "Paths.h"
#include "Random.h"
#include "Resources.h"
#include "TextCodec.h"

namespace client {

namespace {

constexpr char BS = '\x08';

// Texts of the window (Shift-JIS).
const char kHall[] = "\x83\x7a\x81\x5b\x83\x8b";                 // ホール
const char kHallState[] = "------";
const char kGameRoom[] = "\x8c\xe2\x8a\x79\x8e\xba";             // 娯楽室
const char kPlaying[] = "\x83\x51\x81\x5b\x83\x80\x92\x86";      // ゲーム中
const char kWaiting[] = "\x91\xd2\x8b\x40\x92\x86";              // 待機中
const char kEnd[] = "\x8f\x49\x97\xb9";                          // 終了
const char kTurnEnd[] = "\x83\x5e\x81\x5b\x83\x93\x8f\x49\x97\xb9";  // ターン終了
const char kStart[] = "\x8a\x4a\x8e\x6e";                        // 開始
const char kOpenSeat[] = "\x8e\x51\x89\xc1\x8e\xf3\x95\x74\x92\x86";  // 参加受付中
// "　参加していません"
const char kNotPlaying[] = "\x81\x40\x8e\x51\x89\xc1\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1";
// "同じ名前のプレイヤーがいます。変更してください。"
const char kMsgSameName[] =
    "\x93\xaf\x82\xb6\x96\xbc\x91\x4f\x82\xcc\x83\x76\x83\x8c\x83\x43\x83\x84\x81\x5b\x82\xaa"
    "\x82\xa2\x82\xdc\x82\xb7\x81\x42\x95\xcf\x8d\x58\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3"
    "\x82\xa2\x81\x42";
// "既にゲームが開始されているため、接続できません。\n終了します。"
const char kMsgLocked[] =
    "\x8a\xf9\x82\xc9\x83\x51\x81\x5b\x83\x80\x82\xaa\x8a\x4a\x8e\x6e\x82\xb3\x82\xea\x82\xc4"
    "\x82\xa2\x82\xe9\x82\xbd\x82\xdf\x81\x41\x90\xda\x91\xb1\x82\xc5\x82\xab\x82\xdc\x82\xb9"
    "\x82\xf1\x81\x42\n\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb7\x81\x42";
// "サーバーが満員のため、接続できません。"
const char kMsgOverUser[] =
    "\x83\x54\x81\x5b\x83\x6f\x81\x5b\x82\xaa\x96\x9e\x88\xf5\x82\xcc\x82\xbd\x82\xdf\x81\x41"
    "\x90\xda\x91\xb1\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81\x42";
// "サーバーとの接続が切れました。"
const char kMsgDisconnected[] =
    "\x83\x54\x81\x5b\x83\x6f\x81\x5b\x82\xc6\x82\xcc\x90\xda\x91\xb1\x82\xaa\x90\xd8\x82\xea"
    "\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// "このゲームには二人以上のプレイヤーが必要です"
const char kMsgTwoPlayers[] =
    "\x82\xb1\x82\xcc\x83\x51\x81\x5b\x83\x80\x82\xc9\x82\xcd\x93\xf1\x90\x6c\x88\xc8\x8f\xe3"
    "\x82\xcc\x83\x76\x83\x8c\x83\x43\x83\x84\x81\x5b\x82\xaa\x95\x4b\x97\x76\x82\xc5\x82\xb7";
const char kWarning[] = "\x8c\x78\x8d\x90";  // 警告


std::string Trimmed(const QString& s) { return TrimName(S(s)); }

QFont RowFont() {
  QFont f("IPAGothic");
  f.setPixelSize(12);
  return f;
}

}  // namespace

QColor SeatColour(int seat) {
  static const QColor colours[6] = {QColor(255, 0, 0),   QColor(255, 255, 0), QColor(255, 255, 255),
                                    QColor(0, 128, 0),   QColor(0, 255, 255), QColor(128, 0, 128)};
  return colours[seat < 0 || seat > 5 ? 0 : seat];
}

// ---------------------------------------------------------------- canvas

TKestCanvas::TKestCanvas(QWidget* parent, int w, int h)
    : QWidget(parent), image_(w, h, QImage::Format_RGB32) {
  image_.fill(Qt::black);
  resize(w, h);
}

void TKestCanvas::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, image_);
}

// ---------------------------------------------------------------- creation

TKestClientForm::TKestClientForm(Devices devices)
    : dev_(std::move(devices)),
      arrival_(TLineArrival::Hooks{
          [this](const std::string& l) { CommandDispatcher(*this, l); },
          [this] { return ScriptRunningMask != 0; },
          [this] { return Closing; },
          [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 50); },
          [this](const std::string& m) {
            std::fprintf(stderr, "velmora: %s\n", plat::SjisToUtf8(m).c_str());
            Log(m);
          }}) {
  if (!dev_.music) dev_.music = std::make_unique<TNullMusicPlayer>();
  if (!dev_.sound) dev_.sound = std::make_unique<plat::TNullWaveSound>();
  RunModal = [](QDialog& d) { return d.exec(); };
  const char* auto_ = std::getenv("VELMORA_AUTOLOGIN");
  autoLogin_ = auto_ && std::string(auto_) == "1";

  BuildComponents();
  BuildMenu();
  adjustSize();
  setFixedSize(size());
  FormCreate();

  // Field construction.
  for (auto& s : Seats) s = kest::TKestUser();
  kest::RandSeedFromTime();

  // Constructor body.
  LoadSettings();
  PlayerCount = 0;
  RuserPending = false;
  MyUserId = -1;
  ExpectedPlayers = 0;
  ScriptRunningMask = 0;
  DrawBoardBackground();
  faces_.Clear();
  titleBitmap_ = QImage();
  DrawTitle();
  for (int n = 0; n <= 6; ++n) {
    dieBitmaps_[n] = LoadBitmapResource(("SAI" + std::to_string(n)).c_str());
    restBitmaps_[n] = LoadBitmapResource(("REST" + std::to_string(n)).c_str());
  }
  client::LoadCardCatalogue();
  for (auto& s : Seats) s.UserNo = -1;
  connect(KestTimer, &QTimer::timeout, this, [this] { Guarded("timer", [this] { KestTimerTimer(); }); });
  connect(MoveButton, &QPushButton::clicked, this, [this] { Guarded("die", [this] { MoveButtonClick(); }); });
  connect(SuiriButton, &QPushButton::clicked, this, [this] { Guarded("suggest", [this] { SuiriButtonClick(); }); });
  connect(KokusoButton, &QPushButton::clicked, this, [this] { Guarded("accuse", [this] { KokusoButtonClick(); }); });
  connect(CardSpdButton, &QToolButton::clicked, this, [this] { Guarded("cards", [this] { CardSpdButtonClick(); }); });
  connect(CheckSpdButton, &QToolButton::clicked, this, [this] { Guarded("notes", [this] { CheckSpdButtonClick(); }); });
  connect(D1, &QAction::triggered, this, [this] { if (forms_.cardForm) forms_.cardForm->show(); });
  connect(S1, &QAction::triggered, this, [this] { if (forms_.checkForm) forms_.checkForm->show(); });
  connect(S2, &QAction::triggered, this, [this] { Guarded("options", [this] { S2Click(); }); });
  for (QToolButton* b : {UpSpdButton, DownSpdButton, LeftSpdButton, RightSpdButton, Up2SpdButton,
                         Down2SpdButton})
    connect(b, &QToolButton::clicked, this, [this, b] { Guarded("arrow", [this, b] { ArrowButtonClick(b); }); });
  SaiImage->move(168, 166);

  TClientConnection* c = dev_.connection.get();
  c->OnConnect = [this] { Guarded("connect", [this] { LineClientSocket1Connect(); }); };
  c->OnError = [this](const std::string& what) {
    Guarded("socket error", [this, what] { LineClientSocket1Error(what); });
  };
  c->OnDisconnect = [this] {
    Guarded("disconnect", [this] {
      ConnectionLost("Connection closed by:" + ServerAddressText, kMsgDisconnected);
    });
  };
  c->OnLineArrived = [this](const std::string& line) {
    Guarded("line", [this, line] { LineClientSocket1LineArrived(line); });
  };
}

TKestClientForm::~TKestClientForm() {
  TClientConnection* c = dev_.connection.get();
  c->OnConnect = nullptr;
  c->OnError = nullptr;
  c->OnDisconnect = nullptr;
  c->OnLineArrived = nullptr;
  c->Close();
  dev_.music->PlayMusic(-1);
}

void TKestClientForm::BuildComponents() {
  auto* central = new QWidget(this);
  central->setFixedSize(756, 427);
  setCentralWidget(central);
  setWindowTitle(QStringLiteral("Velmora"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);

  KestCanvas = new TKestCanvas(central, 609, 423);
  KestCanvas->move(0, 2);

  RoomView = new QTreeWidget(central);
  RoomView->setGeometry(-8, 4, 401, 309);
  RoomView->setColumnCount(3);
  RoomView->setHeaderLabels({Q("\x95\x94\x89\xae"), Q("\x8f\xf3\x91\xd4"), Q("\x90\x6c\x90\x94")});
  RoomView->setColumnWidth(0, 90);
  RoomView->setColumnWidth(1, 226 - 10);  // the 8 pixels hidden at the left come off here
  RoomView->setColumnWidth(2, 80);
  RoomView->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
  RoomView->setRootIsDecorated(false);
  // The list sits 8 pixels left of the canvas edge; keep its texts clear of it.
  RoomView->setStyleSheet(QStringLiteral("QTreeView { padding-left: 8px; }"));
  RoomView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  RoomView->setSelectionBehavior(QAbstractItemView::SelectRows);
  RoomView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  RoomView->hide();
  connect(RoomView, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    Guarded("room list", [this, item] { RoomViewSelectItem(item); });
  });

  auto button = [central](const char* caption, int x, int y, int w, int h) {
    auto* b = new QPushButton(Q(caption), central);
    b->setGeometry(x, y, w, h);
    return b;
  };
  InButton = button("\x93\xfc\x8e\xba", 316, 316, 75, 25);  // 入室
  InButton->hide();
  UserBox = new QListWidget(central);
  UserBox->setGeometry(416, 4, 181, 137);
  UserBox->hide();
  SuiriButton = button("\x90\x84\x97\x9d", 632, 16, 100, 30);  // 推理
  SuiriButton->setEnabled(false);
  KokusoButton = button("\x8d\x90\x91\x69", 632, 64, 100, 30);  // 告訴
  KokusoButton->setEnabled(false);
  MoveButton = button("\x83\x54\x83\x43\x83\x52\x83\x8d", 632, 136, 100, 30);  // サイコロ
  MoveButton->setEnabled(false);
  StartButton = button(kStart, 632, 304, 100, 30);
  StartButton->hide();
  OutButton = button(kEnd, 632, 348, 100, 30);
  OutButton->hide();

  auto speed = [central](int x, int y, int tag, const QString& text) {
    auto* b = new QToolButton(central);
    b->setGeometry(x, y, 32, 32);
    b->setProperty("Tag", tag);
    b->setText(text);
    b->setAutoRaise(true);
    return b;
  };
  UpSpdButton = speed(664, 176, 0, QStringLiteral("\u2191"));
  DownSpdButton = speed(664, 248, 1, QStringLiteral("\u2193"));
  LeftSpdButton = speed(624, 212, 2, QStringLiteral("\u2190"));
  RightSpdButton = speed(704, 212, 3, QStringLiteral("\u2192"));
  Up2SpdButton = speed(700, 176, 0, QStringLiteral("\u2191"));
  Down2SpdButton = speed(700, 248, 1, QStringLiteral("\u2193"));
  for (QToolButton* b : {UpSpdButton, DownSpdButton, LeftSpdButton, RightSpdButton, Up2SpdButton,
                         Down2SpdButton})
    b->setEnabled(false);
  Up2SpdButton->hide();
  Down2SpdButton->hide();
  CardSpdButton = speed(620, 380, 0, Q("\x83\x4a"));   // カ
  CheckSpdButton = speed(668, 380, 0, Q("\x83\x81"));  // メ
  ChatSpdButton = speed(708, 380, 0, Q("\x83\x60"));   // チ
  CardSpdButton->setEnabled(false);
  CheckSpdButton->setEnabled(false);
  connect(ChatSpdButton, &QToolButton::clicked, this,
          [this] { Guarded("chat", [this] { ChatWindow1Click(); }); });

  SaiImage = new TKestCanvas(central, 80, 48);
  SaiImage->hide();

  auto panel = [central](int x, int y, int w) {
    auto* l = new QLabel(central);
    l->setGeometry(x, y, w, 33);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    l->setAutoFillBackground(true);
    l->hide();
    return l;
  };
  RoomPanel = panel(24, 12, 281);
  HumanPanel = panel(24, 60, 281);
  WeaponPanel = panel(24, 108, 281);
  CheckPanel = panel(56, 144, 281);
  CheckPanel->setStyleSheet("background-color: #000000; color: #ff0000;");
  CheckPanel->setText(Q("\x82\xa0\x82\xc8\x82\xbd\x82\xcc\x83\x5e\x81\x5b\x83\x93\x82\xc5\x82\xb7"));

  Memo1 = new QPlainTextEdit(central);
  Memo1->setGeometry(616, 284, 121, 41);
  Memo1->hide();
  Memo2 = new QPlainTextEdit(central);
  Memo2->setGeometry(416, 156, 185, 121);
  Memo2->setReadOnly(true);
  Memo2->hide();

  KestTimer = new QTimer(this);
  KestTimer->setInterval(100);
  ScriptTimer = new QTimer(this);
  ScriptTimer->setInterval(33);

  connect(InButton, &QPushButton::clicked, this, [this] { Guarded("in", [this] { InButtonClick(); }); });
  connect(OutButton, &QPushButton::clicked, this, [this] { Guarded("out", [this] { OutButtonClick(); }); });
  connect(StartButton, &QPushButton::clicked, this,
          [this] { Guarded("start", [this] { StartButtonClick(); }); });
}

void TKestClientForm::BuildMenu() {
  QMenu* file = menuBar()->addMenu(Q("\x83\x74\x83\x40\x83\x43\x83\x8b(&F)"));  // ファイル
  QAction* connectItem = file->addAction(Q("\x90\xda\x91\xb1(&C)"));             // 接続
  QAction* startItem = file->addAction(Q("\x83\x51\x81\x5b\x83\x80\x8a\x4a\x8e\x6e(&S)"));
  QAction* disconnectItem = file->addAction(Q("\x90\xd8\x92\x66(&D)"));  // 切断
  QAction* sep1 = file->addSeparator();
  QAction* sep2 = file->addSeparator();
  for (QAction* a : {connectItem, startItem, disconnectItem, sep1, sep2}) a->setVisible(false);
  Exit1 = file->addAction(Q("\x8f\x49\x97\xb9(&X)"));  // 終了
  connect(Exit1, &QAction::triggered, this, [this] { Guarded("exit", [this] { Exit1Click(); }); });

  QMenu* option = menuBar()->addMenu(Q("\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93(&O)"));
  S2 = option->addAction(Q("\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93\x90\xdd\x92\xe8(&S)"));
  NPCN1 = option->addAction(Q("NPC\x90\xdd\x92\xe8(&N)"));
  connect(NPCN1, &QAction::triggered, this, [this] { Guarded("npc", [this] { NPCN1Click(); }); });

  QMenu* window = menuBar()->addMenu(Q("\x83\x45\x83\x43\x83\x93\x83\x68\x83\x45(&W)"));
  D1 = window->addAction(Q("\x83\x41\x83\x8a\x83\x6f\x83\x43(&A)"));  // アリバイ
  D1->setShortcut(Qt::Key_F1);
  D1->setEnabled(false);
  ChatWindow1 = window->addAction(Q("\x83\x60\x83\x83\x83\x62\x83\x67(&C)"));  // チャット
  ChatWindow1->setShortcut(Qt::Key_F2);
  connect(ChatWindow1, &QAction::triggered, this,
          [this] { Guarded("chat", [this] { ChatWindow1Click(); }); });
  S1 = window->addAction(Q("\x92\x54\x92\xe3\x83\x81\x83\x82(&M)"));  // 探偵メモ
  S1->setShortcut(Qt::Key_F3);
  S1->setEnabled(false);

  QMenu* help = menuBar()->addMenu(Q("\x83\x77\x83\x8b\x83\x76(&H)"));  // ヘルプ
  KestA1 = help->addAction(Q("\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\x8f\xee\x95\xf1(&A)"));
  connect(KestA1, &QAction::triggered, this, [this] {
    if (forms_.kestAbout) forms_.kestAbout->show();
  });
}

void TKestClientForm::FormCreate() {
  LoadMusicFiles();
  LocalUser = kest::TKestUser();
  LocalUser.SetFace("0");
  LocalUser.SetRoom(0);
  LocalUser.SetPlace(0);
  LocalUser.ClearUnused();
  LocalUser.MarkLoggedIn();
  GameState = 0;
  Connecting = false;
  Closing = false;
  RoomView->clear();
  for (int i = 0; i <= 10; ++i) {
    auto* item = new QTreeWidgetItem(RoomView);
    if (i == 0) {
      item->setText(0, Q(kHall));
      item->setText(1, Q(kHallState));
    } else {
      item->setText(0, Q(std::string(kGameRoom) + std::to_string(i)));
      item->setText(1, Q(kWaiting));
    }
    item->setText(2, QStringLiteral("0"));
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
  }
  // The script engine and its game functions are set up by the computer-player host.
  ComputersAdded = false;
}

void TKestClientForm::LoadMusicFiles() {
  std::string missing;
  for (const std::string& path : dev_.music->LoadFiles(plat::ProgramFile("music")))
    missing += (missing.empty() ? "" : ", ") + path;
  if (!missing.empty())
    std::fprintf(stderr, "velmora: music file not found, playing without it: %s\n", missing.c_str());
}

void TKestClientForm::LoadSettings() {
  Settings = client::LoadSettings(plat::ProgramFile(kSettingsFileName));
  KokusoMode = Settings.kokusoMode;
  SuiriMode = Settings.suiriMode;
  CpuCountSetting = Settings.cpuCount;
}

void TKestClientForm::SaveSettings() {
  TClientSettings s = Settings;
  if (forms_.loginDialog) {
    s.address = S(forms_.loginDialog->AddrEdit->text());
    s.port = S(forms_.loginDialog->PortEdit->text());
    s.name = Trimmed(forms_.loginDialog->NameEdit->text());
    int i = forms_.loginDialog->FaceSelBox->currentIndex();
    s.face = i >= 0 ? faces_.Name(i) : std::string();
  }
  s.kokusoMode = KokusoMode;
  s.suiriMode = SuiriMode;
  s.cpuCount = CpuCountSetting;
  std::array<std::string, 5> npc;
  for (int i = 0; i < 5; ++i)
    npc[i] = forms_.npcSetDlg ? forms_.npcSetDlg->Names().GetNpcName(i, false) : kNpcDefaultNames[i];
  std::string error;
  if (!client::SaveSettings(plat::ProgramFile(kSettingsFileName), s, npc, &error))
    std::fprintf(stderr, "velmora: settings not saved: %s\n", error.c_str());
}

void TKestClientForm::Guarded(const char* where, const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmora: error in %s: %s\n", where, plat::SjisToUtf8(e.what()).c_str());
  } catch (...) {
    std::fprintf(stderr, "velmora: error in %s\n", where);
  }
}

void TKestClientForm::Log(const std::string& sjisLine) {
  Memo2->appendPlainText(Q(sjisLine));
}

// ---------------------------------------------------------------- life cycle

bool TKestClientForm::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) Guarded("activate", [this] { FormActivate(); });
  return QMainWindow::event(e);
}

void TKestClientForm::FormActivate() {
  if (!Connecting) QueueConnectDialog();
}

void TKestClientForm::closeEvent(QCloseEvent* e) {
  if (!Closing) Guarded("close", [this] { FormClose(); });
  e->accept();
  // The main window ends the program even while other windows are open.
  QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(QCoreApplication::instance()->property("velmoraExit").toInt()); });
}

void TKestClientForm::FormClose() {
  KestTimer->stop();
  ScriptTimer->stop();
  if (forms_.chatWin) forms_.chatWin->StopFlashing();
  Closing = true;
  SaveSettings();
  if (dev_.connection->Active()) dev_.connection->Close();
  dev_.music->PlayMusic(-1);
}

void TKestClientForm::CloseMainWindow(int exitCode) {
  if (exitCode != 0) exitCode_ = exitCode;
  qApp->setProperty("velmoraExit", exitCode_);
  close();
}

void TKestClientForm::Exit1Click() {
  dev_.connection->Close();
  CloseMainWindow(0);
}

void TKestClientForm::ChatWindow1Click() {
  if (forms_.chatWin) forms_.chatWin->show();
}

void TKestClientForm::NPCN1Click() {
  if (!forms_.npcSetDlg) return;
  forms_.npcSetDlg->CpuCount->setCurrentIndex(CpuCountSetting);
  if (RunModal(*forms_.npcSetDlg) == 1) CpuCountSetting = forms_.npcSetDlg->CpuCount->currentIndex();
}

// ---------------------------------------------------------------- drawing

void TKestClientForm::LoadFaces() { faces_.LoadFaces(plat::ProgramFile("faces")); }

void TKestClientForm::DrawBoardBackground() {
  QImage tile = LoadBitmapResource("BACKPTN");
  QPainter p(&KestCanvas->Image());
  if (tile.isNull()) {
    p.fillRect(0, 0, 740, 416, QColor(32, 24, 16));
  } else {
    for (int y = 0; y < 416; y += 64)
      for (int x = 0; x < 740; x += 64) p.drawImage(x, y, tile);
  }
  KestCanvas->Changed();
}

void TKestClientForm::DrawTitle() {
  if (titleBitmap_.isNull()) titleBitmap_ = LoadBitmapResource("TITLE");
  if (titleBitmap_.isNull()) return;
  QPainter p(&KestCanvas->Image());
  p.drawImage(8, 4, titleBitmap_);
  KestCanvas->Changed();
}

void TKestClientForm::DrawDie(int index, int flags) {
  if (index < 0 || index > 6) return;
  QPainter p(&SaiImage->Image());
  if (flags & 1) p.drawImage(40, 0, dieBitmaps_[index]);
  if (flags & 2) p.drawImage(0, 0, restBitmaps_[index]);
  SaiImage->Changed();
}

void TKestClientForm::HideCaptionPanels() {
  RoomPanel->hide();
  HumanPanel->hide();
  WeaponPanel->hide();
}


void TKestClientForm::ClearPlayerRows() {
  for (int seat = 0; seat < 6; ++seat) DrawPlayerRow(seat, "", "");
}

const QImage& TKestClientForm::FaceGraphic(const std::string& face) const {
  return faces_.Picture(faces_.Find(face));
}

void TKestClientForm::DrawPlayerRow(int seat, const std::string& face, const std::string& name) {
  if (seat < 0 || seat > 5) return;
  int top = seat * 68;
  {
    QPainter p(&KestCanvas->Image());
    p.fillRect(QRect(QPoint(430, top + 12), QPoint(601, top + 69)), Qt::black);
    p.setPen(SeatColour(seat));
    for (int y = top + 8; y <= top + 63; ++y) p.drawLine(426, y, 481, y);
    p.drawImage(426, top + 8, FaceGraphic(face));
    p.setFont(RowFont());
    p.setPen(Qt::white);
    p.drawText(QRect(484, top + 16, 118, 14), Qt::AlignLeft | Qt::AlignTop,
               Q(name.empty() ? std::string(kOpenSeat) : name));
  }
  if (!name.empty() && GameState != 1 && Seats[seat].HasFlags(kest::ufNonParticipant))
    SetPlayerStatus(seat, kNotPlaying, 0);
  KestCanvas->Changed();
}

void TKestClientForm::SetPlayerStatus(int seat, const std::string& text, int line) {
  int top = seat * 68;
  QPainter p(&KestCanvas->Image());
  p.fillRect(QRect(QPoint(484, top + 30 + 18 * line), QPoint(601, top + 47 + 18 * line)), Qt::black);
  p.setFont(RowFont());
  p.setPen(Qt::white);
  p.drawText(QRect(484, top + 34 + 18 * line, 118, 14), Qt::AlignLeft | Qt::AlignTop, Q(text));
  KestCanvas->Changed();
}

void TKestClientForm::PlayMusic(int index) { dev_.music->PlayMusic(index); }

void TKestClientForm::PlaySound(const char* name) {
  QByteArray wav = LoadSoundResource(name);
  if (!wav.isEmpty())
    dev_.sound->Play(reinterpret_cast<const uint8_t*>(wav.constData()), size_t(wav.size()));
}




void TKestClientForm::SetOutButtonCaption(const char* sjis) { OutButton->setText(Q(sjis)); }

// ---------------------------------------------------------------- lines

void TKestClientForm::LineClientSocket1LineArrived(const std::string& line) {
  if (Memo2->document()->blockCount() > 5000) Memo2->clear();
  arrival_.LineArrived(line);
}

bool TKestClientForm::SendLine(int id, const std::string& text) {
  dev_.connection->Send(text + ":" + std::to_string(id) + "\r");
  return true;
}

// ---------------------------------------------------------------- connection and login

bool TKestClientForm::IsDottedAddress(const std::string& text) {
  for (unsigned char c : text)
    if (!((c >= '0' && c <= '9') || c == '.')) return false;
  return true;
}

void TKestClientForm::QueueConnectDialog() {
  if (connectDialogQueued_ || inConnectDialog_ || Closing) return;
  connectDialogQueued_ = true;
  QTimer::singleShot(0, this, [this] {
    connectDialogQueued_ = false;
    if (!Connecting && !Closing) Guarded("login dialog", [this] { ShowConnectDialog(); });
  });
}

void TKestClientForm::FailAutoLogin(const std::string& why) {
  std::fprintf(stderr, "velmora: login failed: %s\n", why.c_str());
  autoLoginPending_ = false;
  CloseMainWindow(2);
}

void TKestClientForm::ShowConnectDialog() {
  if (inConnectDialog_ || Closing || !forms_.loginDialog) return;
  inConnectDialog_ = true;
  struct Reset {
    bool& b;
    ~Reset() { b = false; }
  } reset{inConnectDialog_};

  TLoginDialog& dlg = *forms_.loginDialog;
  PlayMusic(3);
  for (;;) {
    int r;
    if (autoLogin_) {
      autoLogin_ = false;
      autoLoginPending_ = true;
      r = 1;
    } else if (autoLoginPending_) {
      FailAutoLogin("the login was not accepted");
      return;
    } else {
      r = RunModal(dlg);
    }
    if (Closing) return;
    if (r != 1) {
      if (r == 2) CloseMainWindow(0);
      return;
    }
    std::string name = Trimmed(dlg.NameEdit->text());
    std::string addr = S(dlg.AddrEdit->text());
    std::string portText = S(dlg.PortEdit->text());
    if (name.empty() || dlg.FaceSelBox->currentIndex() < 0 || addr.empty() || portText.empty()) {
      if (autoLoginPending_) {
        FailAutoLogin("name, face, address or port missing in velmora.ini");
        return;
      }
      continue;
    }
    bool ok = false;
    int port = QString::fromStdString(portText).trimmed().toInt(&ok);
    if (!ok || port < 0 || port > 65535) {
      std::string msg = "'" + portText + "' is not a valid port number.";
      if (autoLoginPending_) {
        FailAutoLogin(msg);
        return;
      }
      plat::MessageBox(this, msg, "Error", plat::mbOK, plat::miError);
      continue;
    }
    if (IsDottedAddress(addr)) {
      dev_.connection->SetAddress(addr);
    } else {
      dev_.connection->SetHost(addr);
    }
    ServerAddressText = addr;
    dev_.connection->SetPort(port);
    std::string error;
    if (!dev_.connection->Open(&error)) {
      if (autoLoginPending_) {
        FailAutoLogin(error.empty() ? "no server given" : error);
        return;
      }
      if (!error.empty()) {  // empty: the host dialog was cancelled
        Log("Error connecting to:" + ServerAddressText);
        Memo2->show();
        plat::MessageBox(this, error, "Error", plat::mbOK, plat::miError);
      }
      continue;
    }
    Connecting = true;
    return;
  }
}

void TKestClientForm::LineClientSocket1Connect() {
  if (GameState != 0 || !forms_.loginDialog) return;
  TLoginDialog& dlg = *forms_.loginDialog;
  int face = dlg.FaceSelBox->currentIndex();
  std::string line = std::string("LOGIN ") + BS + Trimmed(dlg.NameEdit->text()) + BS + "," + BS +
                     (face >= 0 ? faces_.Name(face) : std::string()) + BS;
  SendLine(0, line);
}

void TKestClientForm::LineClientSocket1Error(const std::string& what) {
  ConnectionLost("Error connecting to:" + ServerAddressText, what);
}

void TKestClientForm::ResetToLoggedOut() {
  dev_.connection->Close();
  Connecting = false;
  GameState = 0;
  MyUserId = -1;
  PlayerCount = 0;
  MySeat = 0;
  ExpectedPlayers = 0;
  ComputersAdded = false;
  RuserPending = false;
  pendingAdds_.clear();
  for (auto& s : Seats) {
    s = kest::TKestUser();
    s.UserNo = -1;
  }
  LocalUser.SetRoom(0);
}

void TKestClientForm::ConnectionLost(const std::string& logLine, const std::string& message) {
  if (!Connecting) return;  // already handled, or closed on purpose
  Log(logLine);
  if (!message.empty()) Log(message);
  Memo2->show();
  ResetToLoggedOut();
  if (autoLoginPending_) {
    FailAutoLogin(logLine + (message.empty() ? "" : ": " + plat::SjisToUtf8(message)));
    return;
  }
  QueueConnectDialog();
}

void TKestClientForm::HandleLogin(int id, int) {
  if (MyUserId == -1) {
    MyUserId = id;
    GameState = 1;
    Memo2->hide();
    if (forms_.loginDialog) {
      LocalUser.SetName(Trimmed(forms_.loginDialog->NameEdit->text()));
      int face = forms_.loginDialog->FaceSelBox->currentIndex();
      LocalUser.SetFace(face >= 0 ? faces_.Name(face) : std::string());
    }
    LocalUser.SetRoom(0);
    if (forms_.chatWin) {
      forms_.chatWin->move(x() + 48, y() + 252);
      forms_.chatWin->show();
    }
    SendLine(MyUserId, "CHROOM 1");
  } else {
    if (!pendingAdds_.empty()) pendingAdds_.pop_front();
    // A computer player the host has just added joins the host's table.
    int room = LocalUser.GetRoom() > 0 ? LocalUser.GetRoom() : 1;
    SendLine(id, "CHROOM " + std::to_string(room));
  }
}

void TKestClientForm::HandleErr(int, const std::string& text) {
  if (text == "SAMENAME") {
    if (MyUserId != -1) {
      // A computer player's name is taken: ask again under another tag.
      if (pendingAdds_.empty()) return;
      PendingAdd add = pendingAdds_.front();
      pendingAdds_.pop_front();
      if (++add.retries > 5) {
        Log("computer player not added: " + add.display);
        return;
      }
      const char* tag = kNpcTags[add.seat - 1];
      bool tagged = add.display.size() >= std::strlen(tag) &&
                    add.display.compare(add.display.size() - std::strlen(tag), std::string::npos, tag) == 0;
      add.display += tagged ? kNpcSecondTag : tag;
      SendAddCom(add);
      return;
    }
    dev_.connection->Close();
    ResetToLoggedOut();
    Refused("the server refused the name (ERR SAMENAME)", kMsgSameName, 0);
  } else if (text == "LOCKED") {
    dev_.connection->Close();
    Connecting = true;  // no dialog from here on: the program ends
    Refused("the game in room 1 has already started (ERR LOCKED)", kMsgLocked, 3);
  } else if (text == "OVERUSER") {
    if (MyUserId != -1) {  // no slot left for a computer player
      if (!pendingAdds_.empty()) {
        Log("server full, computer player not added: " + pendingAdds_.front().display);
        pendingAdds_.pop_front();
      }
      return;
    }
    if (!Connecting) return;
    Log(std::string("Server full:") + ServerAddressText);
    Memo2->show();
    ResetToLoggedOut();
    Refused("the server is full (ERR OVERUSER)", kMsgOverUser, 0);
  }
}

void TKestClientForm::Refused(const std::string& why, const char* message, int exitCode) {
  if (autoLoginPending_) {
    FailAutoLogin(why);
    return;
  }
  // The box opens from the event loop, never inside the line's socket callback.
  QTimer::singleShot(0, this, [this, message, exitCode] {
    Guarded("refusal", [this, message, exitCode] {
      plat::MessageBox(this, message, "Error", plat::mbOK, plat::miError);
      if (exitCode != 0) {
        CloseMainWindow(exitCode);
      } else {
        ShowConnectDialog();
      }
    });
  });
}

// ---------------------------------------------------------------- lobby

void TKestClientForm::HandleChroom(int, int room, const std::string& name) {
  if (name == LocalUser.GetName()) {
    autoLoginPending_ = false;  // logged in and seated: the automatic login is done
    PlayerCount = 0;
    LocalUser.SetRoom(int16_t(room));
    UserBox->clear();
    if (room == 0) {
      UserBox->show();
      InButton->show();
      RoomView->show();
      OutButton->hide();
      StartButton->hide();
      HideCaptionPanels();
      FreeCardPictures();
      FreePieces();
      FreeCursor();
      CardSpdButton->setEnabled(false);
      D1->setEnabled(false);
      CheckSpdButton->setEnabled(false);
      S1->setEnabled(false);
      if (forms_.checkForm) {
        forms_.checkForm->ClearMarks();
        forms_.checkForm->hide();
      }
      DrawBoardBackground();
    } else {
      UserBox->hide();
      InButton->hide();
      RoomView->hide();
      OutButton->show();
      SetOutButtonCaption(kEnd);
      StartButton->hide();
      ClearPlayerRows();
    }
  } else if (LocalUser.GetRoom() != 0 && room != LocalUser.GetRoom()) {
    auto found = UserBox->findItems(Q(name), Qt::MatchExactly);
    if (!found.isEmpty()) delete UserBox->takeItem(UserBox->row(found.front()));
  }
}

void TKestClientForm::HandleRoom(int, int room, int playing, int count) {
  if (room < 0 || room > 10) return;
  QTreeWidgetItem* item = RoomView->topLevelItem(room);
  if (!item) return;
  if (room == 0) {
    item->setText(0, Q(kHall));
    item->setText(1, Q(kHallState));
  } else {
    item->setText(0, Q(std::string(kGameRoom) + std::to_string(room)));
    item->setText(1, Q(playing ? kPlaying : kWaiting));
  }
  item->setText(2, QString::number(count));
}

void TKestClientForm::HandleAddUser(int id, const std::string& name, int room,
                                    const std::string& face, int userNo, int kind) {
  if (id != MyUserId) return;
  if (room != 0) {
    if (PlayerCount >= 6) return;  // a seventh member has no seat
    if (name == LocalUser.GetName()) {
      MySeat = PlayerCount;
      if (MySeat == 0) StartButton->show();
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
  UserBox->addItem(Q(name));
  if (room != 0) DrawPlayerRow(PlayerCount, face, name);
  ++PlayerCount;
  if (PlayerCount == ExpectedPlayers) {
    SendLine(MyUserId, std::string("START ") + (KokusoMode ? "1" : "0") + "," + (SuiriMode ? "1" : "0"));
    ExpectedPlayers = 0;
    StartButton->hide();
  }
}

void TKestClientForm::HandleAddUser2(int, const std::string& name, int, const std::string&) {
  UserBox->addItem(Q(name));
}

void TKestClientForm::HandleRuserEnd(int) { RuserPending = false; }

void TKestClientForm::HandleUser(int id, int seat, const std::string& name) {
  if (id != MyUserId || LocalUser.GetRoom() != 0) return;
  if (seat < 0 || seat > UserBox->count()) seat = UserBox->count();
  UserBox->insertItem(seat, Q(name));
}

void TKestClientForm::HandleRemoveUser(int, const std::string& name) {
  auto found = UserBox->findItems(Q(name), Qt::MatchExactly);
  if (!found.isEmpty()) delete UserBox->takeItem(UserBox->row(found.front()));
  if (LocalUser.GetRoom() == 0) return;
  for (int j = 0; j < 6; ++j) {
    if (j < PlayerCount && Seats[j].GetName() == name) {
      for (int k = j; k < 5; ++k) Seats[k] = Seats[k + 1];
      Seats[5] = kest::TKestUser();
      Seats[5].UserNo = -1;
      --PlayerCount;
      break;
    }
  }
  for (int k = 0; k < 6; ++k) {
    if (k < PlayerCount) {
      if (Seats[k].GetName() == LocalUser.GetName()) MySeat = k;
      DrawPlayerRow(k, Seats[k].GetFace(), Seats[k].GetName());
    } else {
      DrawPlayerRow(k, "", "");
    }
  }
  StartButton->setVisible(MySeat == 0);
  if (GameState != 1) ResetBoard();
}

void TKestClientForm::HandleBye(int id, const std::string& name) {
  uint8_t s = GameState;
  HandleRemoveUser(id, name);
  if (s != 1) {
    CloseGameDialogs();
    FreeCursor();
    KestTimer->stop();
    ComputersAdded = false;
    for (QWidget* w : std::initializer_list<QWidget*>{SuiriButton, KokusoButton, MoveButton, UpSpdButton,
                                                      DownSpdButton, LeftSpdButton, RightSpdButton,
                                                      Up2SpdButton, Down2SpdButton})
      w->setEnabled(false);
    OutButton->setEnabled(true);
    SetOutButtonCaption(kEnd);
    StartButton->setText(Q(kStart));
    StartButton->setEnabled(true);
    StartButton->setVisible(MySeat == 0);
    GameState = 1;
  }
}

void TKestClientForm::HandlePrint(int id, const std::string& text) {
  if (id != MyUserId || !forms_.chatWin) return;
  forms_.chatWin->AppendMessage(text);
  forms_.chatWin->FlashAlert();
}

void TKestClientForm::HandleCpuType(int id, int type) {
  for (auto& s : Seats) {
    if (s.UserNo == id && id >= 0) {
      s.SetFlags(kest::ufComputer);
      s.CpuType = int16_t(type);
      return;
    }
  }
}


// ---------------------------------------------------------------- buttons

void TKestClientForm::InButtonClick() {
  QTreeWidgetItem* item = RoomView->currentItem();
  if (!item) return;
  int room = RoomView->indexOfTopLevelItem(item);
  if (room < 0 || room == LocalUser.GetRoom()) return;
  if (kest::ReadDecimal(S(item->text(2))) > 4) return;
  SendLine(MyUserId, "CHROOM " + std::to_string(room));
}

void TKestClientForm::RoomViewSelectItem(QTreeWidgetItem* item) {
  if (!item || RuserPending || MyUserId < 0) return;
  int room = RoomView->indexOfTopLevelItem(item);
  if (room < 0) return;
  UserBox->clear();
  SendLine(MyUserId, "RUSER " + std::to_string(room));
  RuserPending = true;
}

void TKestClientForm::OutButtonClick() {
  CheckPanel->hide();
  if (GameState == 1) {
    CloseMainWindow(0);
  } else if (GameState == 10) {
    OutButton->setEnabled(false);
    SetOutButtonCaption(kTurnEnd);
    GameState = 2;
    SendLine(MyUserId, "CONFIRM");
  } else if (GameState != 0) {
    OutButton->setEnabled(false);
    SendLine(MyUserId, ViewShown ? "TURNEND2" : "TURNEND");
  }
}

void TKestClientForm::SendAddCom(const PendingAdd& add) {
  pendingAdds_.push_back(add);
  SendLine(MyUserId, add.word + " " + BS + add.display + BS + "," + BS + add.raw + BS + ",0");
}

void TKestClientForm::StartButtonClick() {
  if (GameState != 1 && GameState != 0) {
    // In a game the button is the secret passage of the own room.
    int target = StartButton->property("Tag").toInt();
    if (target < 0 || target > 8 || Walk.place < 1 || Walk.place > 9) return;
    MoveButton->setEnabled(false);
    StartButton->setEnabled(false);
    Walk.MarkRoomDoors(Walk.place - 1, 0);
    Walk.place = target + 1;
    LocalUser.SetPlace(int16_t(target + 1));
    SendLine(MyUserId, "INROOM " + std::to_string(target) + ",0");
    return;
  }
  if (GameState != 1 || !forms_.npcSetDlg) return;
  TNpcNames& npc = forms_.npcSetDlg->Names();
  std::array<std::string, 6> humans;
  for (int k = 0; k < PlayerCount && k < 6; ++k)
    if (!Seats[k].HasFlags(kest::ufComputer)) humans[k] = Seats[k].GetName();
  npc.MakeUniqueNames(humans, PlayerCount);

  auto add = [this, &npc](const char* word, int seat) {
    SendAddCom({word, seat, npc.GetNpcName(seat - 1, true), npc.GetNpcName(seat - 1, false), 0});
  };
  if (CpuCountSetting == 0 || ComputersAdded) {
    if (PlayerCount < 2) {
      plat::MessageBox(this, kMsgTwoPlayers, kWarning, plat::mbOK, plat::miWarning);
      return;
    }
    if (PlayerCount >= 6) {  // a full table of humans starts at once
      SendLine(MyUserId, std::string("START ") + (KokusoMode ? "1" : "0") + "," + (SuiriMode ? "1" : "0"));
      StartButton->hide();
      return;
    }
    ExpectedPlayers = 6;
    for (int seat = PlayerCount; seat <= 5; ++seat) add("ADDCOM2", seat);
    return;
  }
  StartButton->hide();
  ComputersAdded = true;
  int n = std::min(PlayerCount + CpuCountSetting, 6) - PlayerCount;
  for (int seat = PlayerCount; seat < PlayerCount + n; ++seat) add("ADDCOM", seat);
  ExpectedPlayers = 6;
  for (int seat = PlayerCount + n; seat <= 5; ++seat) add("ADDCOM2", seat);
  if (PlayerCount >= 6) {
    SendLine(MyUserId, std::string("START ") + (KokusoMode ? "1" : "0") + "," + (SuiriMode ? "1" : "0"));
    ExpectedPlayers = 0;
  }
}

}  // namespace client
