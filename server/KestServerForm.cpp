#include "KestServerForm.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QRadialGradient>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstdio>

#include "LoopGuard.h"
#include "TextCodec.h"

namespace velmora {

namespace {

constexpr int kClientWidth = 323;
constexpr int kClientHeight = 224;
constexpr int kCheckIntervalMs = 1000;

QString FromSjis(const std::string& sjis) { return QString::fromStdString(plat::SjisToUtf8(sjis)); }

// The title picture: a night-blue mansion front under a magnifying glass.
QPixmap MakeTitlePicture(int w, int h) {
  QPixmap pm(w, h);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, h);
  sky.setColorAt(0, QColor(18, 24, 52));
  sky.setColorAt(1, QColor(70, 52, 96));
  p.fillRect(pm.rect(), sky);
  p.setBrush(QColor(240, 230, 190));
  p.setPen(Qt::NoPen);
  p.drawEllipse(QPointF(w - 40, 22), 11, 11);  // moon
  // The mansion: a body, a roof and lit windows.
  const QColor wall(30, 28, 40);
  p.setBrush(wall);
  p.drawRect(QRectF(40, h - 42, 150, 42));
  QPainterPath roof;
  roof.moveTo(30, h - 42);
  roof.lineTo(115, h - 72);
  roof.lineTo(200, h - 42);
  roof.closeSubpath();
  p.drawPath(roof);
  p.drawRect(QRectF(150, h - 80, 12, 26));  // chimney
  for (int i = 0; i < 5; ++i) {
    p.setBrush(i == 2 ? QColor(250, 210, 90) : QColor(120, 110, 70));
    p.drawRect(QRectF(52 + i * 27, h - 32, 12, 14));
  }
  // The magnifying glass.
  QRadialGradient lens(QPointF(235, 44), 28);
  lens.setColorAt(0, QColor(200, 230, 255, 120));
  lens.setColorAt(1, QColor(120, 170, 220, 60));
  p.setBrush(lens);
  p.setPen(QPen(QColor(200, 170, 90), 5));
  p.drawEllipse(QPointF(235, 44), 26, 26);
  p.setPen(QPen(QColor(110, 70, 40), 8, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(254, 63), QPointF(282, 90));
  // The name.
  QFont f("serif", 20, QFont::Bold);
  p.setFont(f);
  p.setPen(QColor(240, 225, 170));
  p.drawText(QRectF(8, 4, w, 34), Qt::AlignLeft | Qt::AlignVCenter, "VELMORA");
  return pm;
}

}  // namespace

TKestServerForm::TKestServerForm(int presetPort, QWidget* parent)
    : QMainWindow(parent,
                  Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                      Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  BuildWindow();
  if (presetPort >= 0) PortNum->setText(QString::number(presetPort));
  plat::SetErrorReporter([this](const std::string& message) { ReportError(message); });
  FormCreate();
}

TKestServerForm::~TKestServerForm() {
  plat::SetErrorReporter(nullptr);
  // Every record goes without a line to anybody; the connections then close
  // with nobody bound to them.
  core_.DropAllConnections();
  if (LineServerSocket1) {
    LineServerSocket1->OnLineArrived = nullptr;
    LineServerSocket1->OnClientDisconnect = [](plat::TObject*, plat::TCustomWinSocket* s) { s->Data = nullptr; };
    LineServerSocket1.reset();
  }
  connections_.clear();
}

void TKestServerForm::BuildWindow() {
  setWindowTitle("Velmora Server");
  setObjectName("KestServerForm");

  // "ファイル(&F)", "接続切り替え(&C)", "終了(&X)"
  QMenu* File1 = menuBar()->addMenu(FromSjis("\x83\x74\x83\x40\x83\x43\x83\x8b(&F)"));
  FileListenItem = File1->addAction(FromSjis("\x90\xda\x91\xb1\x90\xd8\x82\xe8\x91\xd6\x82\xa6(&C)"));
  FileListenItem->setObjectName("FileListenItem");
  FileListenItem->setCheckable(true);
  File1->addSeparator();
  Exit1 = File1->addAction(FromSjis("\x8f\x49\x97\xb9(&X)"));
  connect(FileListenItem, &QAction::triggered, this, [this] { FileListenItemClick(); });
  connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });

  auto* central = new QWidget(this);
  auto* box = new QVBoxLayout(central);
  box->setContentsMargins(0, 0, 0, 4);
  box->setSpacing(2);
  Image1 = new QLabel(central);
  Image1->setPixmap(MakeTitlePicture(kClientWidth, 96));
  box->addWidget(Image1);

  auto* text = new QVBoxLayout();
  text->setContentsMargins(10, 0, 10, 0);
  auto* title = new QHBoxLayout();
  auto* serverLabel = new QLabel("Server", central);
  QFont bold = serverLabel->font();
  bold.setBold(true);
  serverLabel->setFont(bold);
  title->addWidget(serverLabel);
  title->addStretch();
  title->addWidget(new QLabel("Version 1.01c", central));
  text->addLayout(title);
  text->addWidget(new QLabel("Game server for the velmora detective game.", central));
  text->addWidget(new QLabel("Up to 100 players in a lobby and 24 game rooms.", central));
  box->addLayout(text);

  Panel1 = new QFrame(central);
  Panel1->setFrameShape(QFrame::StyledPanel);
  auto* row = new QHBoxLayout(Panel1);
  row->setContentsMargins(8, 3, 8, 3);
  row->addWidget(new QLabel("Port", Panel1));
  PortNum = new QLineEdit("3201", Panel1);
  PortNum->setObjectName("PortNum");
  PortNum->setMaximumWidth(80);
  row->addWidget(PortNum);
  row->addStretch();
  SpeedButton1 = new QToolButton(Panel1);
  SpeedButton1->setObjectName("SpeedButton1");
  SpeedButton1->setText("Listen");
  SpeedButton1->setCheckable(true);
  // Checked, it looks pressed in: styles that draw a checked tool button
  // only a shade darker leave the state hard to tell.
  SpeedButton1->setStyleSheet(
      "QToolButton { padding: 2px 8px; border: 2px outset palette(mid); background: palette(button); }"
      "QToolButton:checked { border: 2px inset palette(dark); background: palette(dark);"
      " color: palette(bright-text); }");
  row->addWidget(SpeedButton1);
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
  box->addWidget(Panel1);
  box->addStretch();

  Memo1 = new QPlainTextEdit(central);
  Memo1->hide();
  Memo1->installEventFilter(this);
  Memo2 = new QPlainTextEdit(central);
  Memo2->setReadOnly(true);
  Memo2->setMaximumBlockCount(int(TKestServerCore::kDefaultLogLimit));
  Memo2->hide();
  setCentralWidget(central);

  StatusBar1 = new QLabel(this);
  StatusBar1->setMinimumWidth(50);
  statusBar()->addWidget(StatusBar1, 1);
  statusBar()->setSizeGripEnabled(false);

  setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  SocketCheckTimer = new QTimer(this);
  SocketCheckTimer->setInterval(kCheckIntervalMs);
  connect(SocketCheckTimer, &QTimer::timeout, this, [this] { SocketCheckTimerTimer(); });

  // The log box shows the core's bounded log (the newest lines). While it
  // is hidden it is not kept up to date, which would cost more than the
  // server's own work; showing it fills it from the log.
  Memo2->installEventFilter(this);
}

void TKestServerForm::FormCreate() {
  LineServerSocket1 = std::make_unique<TKestLineServer>();
  TKestLineServer& s = *LineServerSocket1;
  s.SetMaxRecvSize(0);  // whole bursts of lines pass; the remainder is limited per connection
  s.OnAccept = [this](plat::TObject*, plat::TCustomWinSocket* c) { LineServerSocket1Accept(c); };
  s.OnClientConnect = [this](plat::TObject*, plat::TCustomWinSocket* c) { LineServerSocket1ClientConnect(c); };
  s.OnClientDisconnect = [this](plat::TObject*, plat::TCustomWinSocket* c) {
    LineServerSocket1ClientDisconnect(c);
  };
  s.OnClientError = [this](plat::TObject*, plat::TCustomWinSocket* c, plat::TErrorEvent, int& code) {
    LineServerSocket1ClientError(c, code);
  };
  s.OnLineArrived = [this](plat::TObject*, plat::TCustomWinSocket* c, const std::string& line) {
    LineServerSocket1LineArrived(c, line);
  };
  s.OnOverflow = [this](TKestClientSocket* c, const std::string& why) { ClientOverflow(c, why); };
  ServerStart();
}

bool TKestServerForm::Listening() const { return LineServerSocket1 && LineServerSocket1->Active(); }

int TKestServerForm::ListeningPort() const { return Listening() ? LineServerSocket1->LocalPort() : 0; }

QString TKestServerForm::StatusText() const { return StatusBar1->text(); }

void TKestServerForm::SetStatus(const QString& text) { StatusBar1->setText(text); }

void TKestServerForm::ReportError(const std::string& text) {
  core_.AddLog("Error: " + text);
  SetStatus(FromSjis(text));
  std::fprintf(stderr, "velmora_server: %s\n", plat::SjisToUtf8(text).c_str());
}

bool TKestServerForm::ServerStart() {
  startError_.clear();
  bool ok = false;
  const QString text = PortNum->text().trimmed();
  const int port = text.toInt(&ok);
  if (!ok || port < 0 || port > 65535) {
    startError_ = "'" + PortNum->text().toStdString() + "' is not a valid port number";
  } else {
    LineServerSocket1->Port = port;
    try {
      LineServerSocket1->SetActive(true);
    } catch (const std::exception& e) {
      startError_ = std::string("cannot listen on port ") + std::to_string(port) + ": " + e.what();
    }
  }
  if (!startError_.empty()) {
    ReportError(startError_);
    ShowListening(false);
    return false;
  }
  SocketCheckTimer->start();
  SetStatus("Listening...");
  PortNum->setEnabled(false);
  ShowListening(true);
  return true;
}

void TKestServerForm::ServerEnd() {
  StopListening();
  SetStatus("Deaf...");
}

void TKestServerForm::StopListening() {
  core_.DropAllConnections();
  if (LineServerSocket1) LineServerSocket1->SetActive(false);
  PortNum->setEnabled(true);
  ShowListening(false);
}

void TKestServerForm::ShowListening(bool on) {
  SpeedButton1->setChecked(on);
  FileListenItem->setChecked(on);
}

void TKestServerForm::SpeedButton1Click() {
  if (Listening()) {
    StopListening();
    SetStatus("Server Stop");
  } else {
    ServerStart();
  }
}

void TKestServerForm::FileListenItemClick() { SpeedButton1Click(); }

void TKestServerForm::Exit1Click() { close(); }

void TKestServerForm::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    closing_ = true;
    StopListening();
  }
  event->accept();
}

void TKestServerForm::SocketCheckTimerTimer() {
  plat::GuardedCall([this] { core_.SocketCheck(); });
}

bool TKestServerForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Memo2 && event->type() == QEvent::Show) {
    QStringList lines;
    for (const std::string& l : core_.Log()) lines << FromSjis(l);
    Memo2->setPlainText(lines.join('\n'));
    core_.SetLogSink([this](const std::string& line) { Memo2->appendPlainText(FromSjis(line)); });
  }
  if (watched == Memo2 && event->type() == QEvent::Hide) core_.SetLogSink(nullptr);
  if (watched == Memo1 && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) Memo1KeyDown();
  }
  return QMainWindow::eventFilter(watched, event);
}

// The hidden debug input: Enter sends its last line as it stands to the
// first connection.
void TKestServerForm::Memo1KeyDown() {
  if (!LineServerSocket1 || LineServerSocket1->ClientCount() == 0) return;
  const QStringList lines = Memo1->toPlainText().split('\n');
  const std::string last = plat::Utf8ToSjis(lines.isEmpty() ? std::string() : lines.last().toStdString());
  LineServerSocket1->GetClientSocket(0)->SendText(last);
}

void TKestServerForm::LineServerSocket1Accept(plat::TCustomWinSocket* socket) {
  SetStatus(QString::fromStdString("Connect to: " + socket->RemoteAddress()));
}

void TKestServerForm::LineServerSocket1ClientConnect(plat::TCustomWinSocket* socket) {
  auto* line = dynamic_cast<TKestClientSocket*>(socket);
  if (!line) return;
  // Replies are many short lines; waiting to coalesce them only adds delay.
  const int one = 1;
  ::setsockopt(socket->SocketHandle(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  auto conn = std::make_unique<TSocketConnection>(line);
  socket->Data = conn.get();
  core_.ClientConnect(conn.get());
  connections_.emplace(conn.get(), std::move(conn));
}

void TKestServerForm::LineServerSocket1ClientDisconnect(plat::TCustomWinSocket* socket) {
  auto* conn = static_cast<TSocketConnection*>(socket->Data);
  socket->Data = nullptr;
  if (!conn) {
    core_.AddLog(">Disconnect");
    return;
  }
  conn->sock = nullptr;
  core_.ClientDisconnect(conn);
  // The core is done with it once this event returns; free it on a later turn.
  QTimer::singleShot(0, this, [this, conn] { connections_.erase(conn); });
}

void TKestServerForm::LineServerSocket1ClientError(plat::TCustomWinSocket* socket, int& code) {
  core_.AddLog(">Socket error " + std::to_string(code) + " from " + socket->RemoteAddress());
  code = 0;  // the disconnect that follows does the cleaning
}

void TKestServerForm::LineServerSocket1LineArrived(plat::TCustomWinSocket* socket, const std::string& line) {
  if (auto* conn = static_cast<TSocketConnection*>(socket->Data)) core_.LineArrived(conn, line);
}

void TKestServerForm::ClientOverflow(TKestClientSocket* socket, const std::string& why) {
  core_.AddLog(">Closing " + socket->RemoteAddress() + ": " + why);
}

}  // namespace velmora
