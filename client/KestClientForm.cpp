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

#include "CardSelForm.h"
#include "CardShowForm.h"
#include "ChatWin.h"
#include "CheckForm.h"
#include "KekkaForm.h"
#include "KestCardForm.h"
#include "KestCardImage.h"
#include "LoginDialog.h"
#include "LoopGuard.h"
#include "MessageBox.h"
#include "NpcSetDlg.h"
#include "Number.h"
#include "Paths.h"
#include "Protocol.h"
#include "Random.h"
#include "Resources.h"
#include "ScriptHost.h"
#include "TextCodec.h"

namespace client {

namespace {

// Texts of the window (Shift-JIS).
const char kHall[] = "\x83\x7a\x81\x5b\x83\x8b";                 // ホール
const char kHallState[] = "------";
const char kGameRoom[] = "\x8c\xe2\x8a\x79\x8e\xba";             // 娯楽室
const char kPlaying[] = "\x83\x51\x81\x5b\x83\x80\x92\x86";      // ゲーム中
const char kWaiting[] = "\x91\xd2\x8b\x40\x92\x86";              // 待機中
const char kEnd[] = "\x8f\x49\x97\xb9";                          // 終了
const char kTurnEnd[] = "\x83\x5e\x81\x5b\x83\x93\x8f\x49\x97\xb9";  // ターン終了
const char kStart[] = "\x8a\x4a\x8e\x6e";                        // 開始
const char kConfirm[] = "\x8a\x6d\x94\x46";                      // 確認
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

void WaitForEvents() {
  // The timed processEvents never waits; the untimed one waits for the next
  // event, here at the latest the guard's.
  QTimer guard;
  guard.setSingleShot(true);
  guard.start(50);
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
}

TKestClientForm::TKestClientForm(Devices devices)
    : Game(*this, *this),
      dev_(std::move(devices)),
      arrival_(TLineArrival::Hooks{
          [this](const std::string& l) { CommandDispatcher(Game, l); },
          [this] { return scriptHost_ && scriptHost_->RunningMask() != 0; },
          [this] { return Closing; },
          [] { WaitForEvents(); },
          [this](const std::string& m) {
            std::fprintf(stderr, "velmora: %s\n", plat::SjisToUtf8(m).c_str());
            Log(m);
          }}) {
  if (!dev_.music) dev_.music = std::make_unique<TNullMusicPlayer>();
  if (!dev_.sound) dev_.sound = std::make_unique<plat::TNullWaveSound>();
  RunModal = [](QDialog& d) { return d.exec(); };
  const char* auto_ = std::getenv("VELMORA_AUTOLOGIN");
  login_ = TLoginFlow(auto_ && std::string(auto_) == "1");
  const char* pace = std::getenv("VELMORA_PACE");
  fastPace_ = pace && std::string(pace) == "fast";

  BuildComponents();
  BuildMenu();
  adjustSize();
  setFixedSize(size());
  FormCreate();
  kest::RandSeedFromTime();

  // Constructor body.
  LoadSettings();
  DrawBoardBackground();
  faces_.Clear();
  titleBitmap_ = QImage();
  DrawTitle();
  for (int n = 0; n <= 6; ++n) {
    dieBitmaps_[n] = LoadBitmapResource(("SAI" + std::to_string(n)).c_str());
    restBitmaps_[n] = LoadBitmapResource(("REST" + std::to_string(n)).c_str());
  }
  client::LoadCardCatalogue();
  connect(KestTimer, &QTimer::timeout, this, [this] { Entry([this] { Game.KestTimerTimer(); }); });
  connect(MoveButton, &QPushButton::clicked, this, [this] { MoveButtonClick(); });
  connect(SuiriButton, &QPushButton::clicked, this, [this] { SuiriButtonClick(); });
  connect(KokusoButton, &QPushButton::clicked, this, [this] { KokusoButtonClick(); });
  connect(CardSpdButton, &QToolButton::clicked, this, [this] { CardSpdButtonClick(); });
  connect(CheckSpdButton, &QToolButton::clicked, this, [this] { CheckSpdButtonClick(); });
  connect(D1, &QAction::triggered, this, [this] { if (forms_.cardForm) BringToFront(forms_.cardForm); });
  connect(S1, &QAction::triggered, this, [this] { if (forms_.checkForm) BringToFront(forms_.checkForm); });
  connect(S2, &QAction::triggered, this, [this] { S2Click(); });
  for (QToolButton* b : {UpSpdButton, DownSpdButton, LeftSpdButton, RightSpdButton, Up2SpdButton,
                         Down2SpdButton})
    connect(b, &QToolButton::clicked, this, [this, b] { ArrowButtonClick(b); });
  SaiImage->move(168, 166);

  TClientConnection* c = dev_.connection.get();
  c->OnConnect = [this] { Entry([this] { LineClientSocket1Connect(); }); };
  c->OnError = [this](const std::string& what) { Entry([this, what] { LineClientSocket1Error(what); }); };
  c->OnDisconnect = [this] {
    Entry([this] { ConnectionLost("Connection closed by:" + ServerAddressText, kMsgDisconnected); });
  };
  c->OnLineTooLong = [this] {
    Entry([this] {
      ConnectionLost("Connection closed for a line over " + std::to_string(kest::proto::kMaxLineSize) +
                         " bytes from:" + ServerAddressText,
                     "");
    });
  };
  c->OnLineArrived = [this](const std::string& line) { Entry([this, line] { LineClientSocket1LineArrived(line); }); };
  Sync();
}

TKestClientForm::~TKestClientForm() {
  // The scripts go with the window: instances first, then their images.
  Game.SetScriptEvents(nullptr);
  scriptHost_.reset();
  TClientConnection* c = dev_.connection.get();
  c->OnConnect = nullptr;
  c->OnError = nullptr;
  c->OnDisconnect = nullptr;
  c->OnLineTooLong = nullptr;
  c->OnLineArrived = nullptr;
  c->Close();
  dev_.music->PlayMusic(muStop);
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
  connect(RoomView, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) { RoomViewSelectItem(item); });

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
          [this] { ChatWindow1Click(); });

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
  // The captions grow to widths computed for this font (CaptionWidth).
  for (QLabel* l : {RoomPanel, HumanPanel, WeaponPanel}) l->setFont(GothicFont(16));
  CheckPanel = panel(56, 144, 281);
  CheckPanel->setAlignment(Qt::AlignCenter);
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

  connect(InButton, &QPushButton::clicked, this, [this] { InButtonClick(); });
  connect(OutButton, &QPushButton::clicked, this, [this] { OutButtonClick(); });
  connect(StartButton, &QPushButton::clicked, this,
          [this] { StartButtonClick(); });
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
  connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });

  QMenu* option = menuBar()->addMenu(Q("\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93(&O)"));
  S2 = option->addAction(Q("\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93\x90\xdd\x92\xe8(&S)"));
  NPCN1 = option->addAction(Q("NPC\x90\xdd\x92\xe8(&N)"));
  connect(NPCN1, &QAction::triggered, this, [this] { NPCN1Click(); });

  QMenu* window = menuBar()->addMenu(Q("\x83\x45\x83\x43\x83\x93\x83\x68\x83\x45(&W)"));
  D1 = window->addAction(Q("\x83\x41\x83\x8a\x83\x6f\x83\x43(&A)"));  // アリバイ
  D1->setShortcut(Qt::Key_F1);
  D1->setEnabled(false);
  ChatWindow1 = window->addAction(Q("\x83\x60\x83\x83\x83\x62\x83\x67(&C)"));  // チャット
  ChatWindow1->setShortcut(Qt::Key_F2);
  connect(ChatWindow1, &QAction::triggered, this,
          [this] { ChatWindow1Click(); });
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
  Closing = false;
  RoomView->clear();
  for (int i = 0; i <= 10; ++i) {
    auto* item = new QTreeWidgetItem(RoomView);
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
  }
  for (int i = 0; i <= 10; ++i) RoomRowChanged(i);
  CreateScriptHost();
}

void TKestClientForm::CreateScriptHost() {
  npc::TScriptHostHooks hooks;
  hooks.scriptTimer = [this](bool on) {
    if (on) {
      ScriptTimer->start();
    } else {
      ScriptTimer->stop();
    }
  };
  hooks.log = [this](const std::string& text) {
    std::fprintf(stderr, "velmora: %s\n", text.c_str());
    Log(plat::Utf8ToSjis(text));
  };
  hooks.showProblem = [this](const std::string& text) {
    plat::MessageBoxModeless(this, plat::Utf8ToSjis(text), "velmora", plat::miWarning);
  };
  scriptHost_ = std::make_unique<npc::TScriptHost>(Game, plat::ProgramFile("npc"), std::move(hooks));
  scriptHost_->SetFastPace(fastPace_);
  Game.SetScriptEvents(scriptHost_.get());
  if (fastPace_) ScriptTimer->setInterval(1);
  connect(ScriptTimer, &QTimer::timeout, this, [this] { Entry([this] { scriptHost_->ScriptTimerTimer(); }); });
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
  Game.SetTableOptions(Settings.kokusoMode, Settings.suiriMode, Settings.cpuCount);
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
  s.kokusoMode = Game.KokusoMode();
  s.suiriMode = Game.SuiriMode();
  s.cpuCount = Game.CpuCount();
  std::array<std::string, 5> npc;
  for (int i = 0; i < 5; ++i)
    npc[i] = forms_.npcSetDlg ? forms_.npcSetDlg->Names().GetNpcName(i, false) : kNpcDefaultNames[i];
  std::string error;
  if (!client::SaveSettings(plat::ProgramFile(kSettingsFileName), s, npc, &error)) {
    std::fprintf(stderr, "velmora: settings not saved: %s\n", error.c_str());
    Log("settings not saved: " + error);
  }
}

void TKestClientForm::Log(const std::string& sjisLine) { Memo2->appendPlainText(Q(sjisLine)); }

void TKestClientForm::Entry(const std::function<void()>& fn) {
  plat::GuardedCall(fn);
  plat::GuardedCall([this] { Sync(); });
}

// ---------------------------------------------------------------- life cycle

bool TKestClientForm::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) Entry([this] { FormActivate(); });
  return QMainWindow::event(e);
}

void TKestClientForm::FormActivate() {
  if (login_.MayOpenDialog()) QueueConnectDialog();
}

void TKestClientForm::closeEvent(QCloseEvent* e) {
  if (!Closing) plat::GuardedCall([this] { FormClose(); });
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
  dev_.music->PlayMusic(muStop);
}

void TKestClientForm::CloseMainWindow(int exitCode) {
  if (exitCode != 0) exitCode_ = exitCode;
  qApp->setProperty("velmoraExit", exitCode_);
  close();
}

void TKestClientForm::Exit1Click() {
  Entry([this] {
    dev_.connection->Close();
    CloseMainWindow(0);
  });
}

void TKestClientForm::ChatWindow1Click() {
  Entry([this] {
    if (forms_.chatWin) BringToFront(forms_.chatWin);
  });
}

void TKestClientForm::NPCN1Click() {
  Entry([this] {
    if (!forms_.npcSetDlg) return;
    forms_.npcSetDlg->CpuCount->setCurrentIndex(Game.CpuCount());
    if (RunModal(*forms_.npcSetDlg) == 1) Game.SetCpuCount(forms_.npcSetDlg->CpuCount->currentIndex());
  });
}

void TKestClientForm::CentreWhenFramed() {
  // The window manager frames the window some time after it shows, and says
  // nothing when it has: look for the frame for a few seconds.
  auto* watch = new QTimer(this);
  auto tries = std::make_shared<int>(0);
  connect(watch, &QTimer::timeout, this, [this, watch, tries] {
    bool framed = frameGeometry().size() != geometry().size();
    if (framed) CentreOnScreen(this);
    if (!framed && ++*tries < 60) return;
    watch->stop();
    watch->deleteLater();
  });
  watch->start(50);
}

void TKestClientForm::SetForms(const TClientForms& forms) {
  forms_ = forms;
  for (QWidget* w : std::initializer_list<QWidget*>{forms_.loginDialog, forms_.cardSelForm, forms_.cardShowForm,
                                                    forms_.checkForm, forms_.kekkaForm, forms_.optForm})
    if (w) CentreWhenShown(w, this);
  Game.SetNpcNames(forms_.npcSetDlg ? &forms_.npcSetDlg->Names() : nullptr);
}

// ---------------------------------------------------------------- widgets

void TKestClientForm::Sync() {
  const TControls& c = Game.Controls();
  auto apply = [](QWidget* w, const TControl& t) {
    w->setEnabled(t.enabled);
    if (w->isHidden() == t.visible) w->setVisible(t.visible);
  };
  apply(SuiriButton, c.Suiri);
  apply(KokusoButton, c.Kokuso);
  apply(MoveButton, c.Move);
  apply(StartButton, c.Start);
  apply(OutButton, c.Out);
  StartButton->setText(Q(c.PassageTarget >= 0 && c.PassageTarget < 9 ? kRoomNames[c.PassageTarget] : kStart));
  StartButton->setProperty("Tag", c.PassageTarget);
  static const char* const outCaptions[3] = {kEnd, kTurnEnd, kConfirm};
  OutButton->setText(Q(outCaptions[c.OutCaption]));
  QToolButton* arrows[6] = {UpSpdButton, DownSpdButton, LeftSpdButton, RightSpdButton, Up2SpdButton, Down2SpdButton};
  for (int a = 0; a < 6; ++a) arrows[a]->setEnabled(c.Arrows[a]);
  // A room's second exit stands beside its first one.
  bool up2 = c.SecondExitRoom == 0, down2 = c.SecondExitRoom == 4;
  Up2SpdButton->move(up2 ? 684 : 700, Up2SpdButton->y());
  Down2SpdButton->move(down2 ? 684 : 700, Down2SpdButton->y());
  Up2SpdButton->setVisible(up2);
  Down2SpdButton->setVisible(down2);
  UpSpdButton->move(up2 ? 644 : 664, UpSpdButton->y());
  DownSpdButton->move(down2 ? 644 : 664, DownSpdButton->y());
  CardSpdButton->setEnabled(c.CardSpd);
  D1->setEnabled(c.CardSpd);
  CheckSpdButton->setEnabled(c.CheckSpd);
  S1->setEnabled(c.CheckSpd);
  for (QWidget* w : std::initializer_list<QWidget*>{RoomView, UserBox, InButton})
    if (w->isHidden() == c.Lobby) w->setVisible(c.Lobby);
  const TAnimTimer& t = Game.Timer();
  int interval = fastPace_ ? 1 : t.interval;
  if (KestTimer->interval() != interval) KestTimer->setInterval(interval);
  if (KestTimer->isActive() != t.active) {
    if (t.active) {
      KestTimer->start();
    } else {
      KestTimer->stop();
    }
  }
}

void TKestClientForm::UserListChanged() {
  UserBox->clear();
  for (const std::string& name : Game.UserList()) UserBox->addItem(Q(name));
}

void TKestClientForm::RoomRowChanged(int room) {
  QTreeWidgetItem* item = RoomView->topLevelItem(room);
  if (!item) return;
  const TRoomRow& r = Game.RoomRows()[size_t(room)];
  if (room == 0) {
    item->setText(0, Q(kHall));
    item->setText(1, Q(kHallState));
  } else {
    item->setText(0, Q(std::string(kGameRoom) + std::to_string(room)));
    item->setText(1, Q(r.playing ? kPlaying : kWaiting));
  }
  item->setText(2, QString::number(r.count));
}

void TKestClientForm::AppendChat(const std::string& text) {
  if (!forms_.chatWin) return;
  forms_.chatWin->AppendMessage(text);
  forms_.chatWin->FlashAlert();
}

void TKestClientForm::WarnTwoPlayers() {
  plat::MessageBox(this, kMsgTwoPlayers, kWarning, plat::mbOK, plat::miWarning);
}

// ---------------------------------------------------------------- lines

void TKestClientForm::LineClientSocket1LineArrived(const std::string& line) {
  if (Memo2->document()->blockCount() > 5000) Memo2->clear();
  arrival_.LineArrived(line);
}

void TKestClientForm::SendLine(int id, const std::string& text) {
  dev_.connection->Send(kest::proto::ClientLine(text, id));
}

// ---------------------------------------------------------------- connection and login

bool TKestClientForm::IsDottedAddress(const std::string& text) {
  for (unsigned char c : text)
    if (!((c >= '0' && c <= '9') || c == '.')) return false;
  return true;
}

void TKestClientForm::QueueConnectDialog() {
  if (connectDialogQueued_ || !login_.MayOpenDialog() || Closing) return;
  connectDialogQueued_ = true;
  // One modal window at a time: a box still open (an error) is answered first.
  bool boxOpen = plat::OpenMessageBoxes() > 0 || QApplication::activeModalWidget();
  QTimer::singleShot(boxOpen ? 50 : 0, this, [this] {
    connectDialogQueued_ = false;
    if (plat::OpenMessageBoxes() > 0 || QApplication::activeModalWidget()) return QueueConnectDialog();
    if (login_.MayOpenDialog() && !Closing) Entry([this] { ShowConnectDialog(); });
  });
}

void TKestClientForm::FailAutoLogin(const std::string& why) {
  std::fprintf(stderr, "velmora: login failed: %s\n", why.c_str());
  login_.AutoFailed();
  CloseMainWindow(2);
}

void TKestClientForm::ShowConnectDialog() {
  if (Closing || !forms_.loginDialog || !login_.OpenDialog()) return;
  struct Closed {
    TLoginFlow& flow;
    ~Closed() { flow.DialogClosed(); }
  } closed{login_};

  TLoginDialog& dlg = *forms_.loginDialog;
  PlayMusic(muOpening);
  for (;;) {
    int r = 1;
    switch (login_.NextAnswer()) {
      case daSaved: break;
      case daFail: return FailAutoLogin("the login was not accepted");
      case daAsk: r = RunModal(dlg); break;
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
      if (login_.AutoAttempt()) {
        FailAutoLogin("name, face, address or port missing in velmora.ini");
        return;
      }
      continue;
    }
    bool ok = false;
    int port = QString::fromStdString(portText).trimmed().toInt(&ok);
    if (!ok || port < 0 || port > 65535) {
      std::string msg = "'" + portText + "' is not a valid port number.";
      if (login_.AutoAttempt()) {
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
      if (login_.AutoAttempt()) {
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
    login_.Opened();
    return;
  }
}

void TKestClientForm::LineClientSocket1Connect() {
  if (!forms_.loginDialog) return;
  TLoginDialog& dlg = *forms_.loginDialog;
  int face = dlg.FaceSelBox->currentIndex();
  Game.SendLogin(Trimmed(dlg.NameEdit->text()), face >= 0 ? faces_.Name(face) : std::string());
}

void TKestClientForm::LineClientSocket1Error(const std::string& what) {
  ConnectionLost("Error connecting to:" + ServerAddressText, what);
}

void TKestClientForm::ResetToLoggedOut() {
  dev_.connection->Close();
  login_.LoggedOut();
  Game.ResetToLoggedOut();
}

void TKestClientForm::ConnectionLost(const std::string& logLine, const std::string& message) {
  if (!login_.Connecting()) return;  // already handled, or closed on purpose
  Log(logLine);
  if (!message.empty()) Log(message);
  Memo2->show();
  ResetToLoggedOut();
  if (login_.AutoAttempt()) {
    FailAutoLogin(logLine + (message.empty() ? "" : ": " + plat::SjisToUtf8(message)));
    return;
  }
  QueueConnectDialog();
}

void TKestClientForm::LoggedIn() {
  Memo2->hide();
  if (forms_.chatWin) {
    forms_.chatWin->move(x() + 48, y() + 252);
    BringToFront(forms_.chatWin);
    forms_.chatWin->ChatLine->setFocus();
  }
}

void TKestClientForm::LoginRefused(TRefusal why) {
  switch (why) {
    case rfSameName:
      ResetToLoggedOut();
      Refused("the server refused the name (ERR SAMENAME)", kMsgSameName, 0);
      break;
    case rfLocked:
      dev_.connection->Close();
      login_.Final();  // no dialog from here on: the program ends
      Refused("the game in room 1 has already started (ERR LOCKED)", kMsgLocked, 3);
      break;
    case rfOverUser:
      if (!login_.Connecting()) return;
      Log(std::string("Server full:") + ServerAddressText);
      Memo2->show();
      ResetToLoggedOut();
      Refused("the server is full (ERR OVERUSER)", kMsgOverUser, 0);
      break;
  }
}

void TKestClientForm::Refused(const std::string& why, const char* message, int exitCode) {
  if (login_.AutoAttempt()) {
    FailAutoLogin(why);
    return;
  }
  // The box opens from the event loop, never inside the line's socket callback.
  QTimer::singleShot(0, this, [this, message, exitCode] {
    Entry([this, message, exitCode] {
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

void TKestClientForm::OwnRoomChanged(int) {
  login_.Seated();
}

void TKestClientForm::InButtonClick() {
  Entry([this] {
    QTreeWidgetItem* item = RoomView->currentItem();
    if (item) Game.InButtonClick(RoomView->indexOfTopLevelItem(item));
  });
}

void TKestClientForm::RoomViewSelectItem(QTreeWidgetItem* item) {
  Entry([this, item] {
    if (item) Game.RoomViewSelectItem(RoomView->indexOfTopLevelItem(item));
  });
}

void TKestClientForm::OutButtonClick() {
  Entry([this] { Game.OutButtonClick(); });
}

void TKestClientForm::StartButtonClick() {
  Entry([this] { Game.StartButtonClick(); });
}

}  // namespace client
