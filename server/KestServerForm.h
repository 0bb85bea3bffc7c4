// The server's one window: title picture, port field, the listening toggle,
// status bar and menu, and the hidden log of every line in and out. It owns
// the listening socket, the 1000 ms dead-connection sweep and the core.
#pragma once

#include <QMainWindow>
#include <map>
#include <memory>
#include <string>

#include "ServerCore.h"
#include "ServerSockets.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;
class QToolButton;
class QAction;
class QFrame;

namespace velmora {

class TKestServerForm : public QMainWindow {
  Q_OBJECT

 public:
  // presetPort >= 0 presets the port field before listening starts.
  explicit TKestServerForm(int presetPort = -1, QWidget* parent = nullptr);
  ~TKestServerForm() override;

  bool Listening() const;
  int ListeningPort() const;
  QString StatusText() const;
  // The last error of starting to listen, empty when it worked.
  const std::string& StartError() const { return startError_; }
  TKestServerCore& Core() { return core_; }
  int Connections() const { return LineServerSocket1 ? LineServerSocket1->ClientCount() : 0; }
  // The most bytes one connection holds in its buffers now.
  size_t LargestBuffers() const { return LineServerSocket1 ? LineServerSocket1->LargestBuffers() : 0; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  bool ServerStart();
  void ServerEnd();
  // Listening off: every user is logged out without a line, then the
  // listener and its connections close.
  void StopListening();
  // The toggle button and the menu item show whether the server listens.
  void ShowListening(bool on);
  void SpeedButton1Click();
  void FileListenItemClick();
  void Exit1Click();
  void SocketCheckTimerTimer();
  void Memo1KeyDown();

  void LineServerSocket1Accept(plat::TCustomWinSocket* socket);
  void LineServerSocket1ClientConnect(plat::TCustomWinSocket* socket);
  void LineServerSocket1ClientDisconnect(plat::TCustomWinSocket* socket);
  void LineServerSocket1ClientError(plat::TCustomWinSocket* socket, int& code);
  void LineServerSocket1LineArrived(plat::TCustomWinSocket* socket, const std::string& line);
  void ClientOverflow(TKestClientSocket* socket, const std::string& why);

  void SetStatus(const QString& text);
  void ReportError(const std::string& text);
  void BuildWindow();

  TKestServerCore core_;
  std::map<TSocketConnection*, std::unique_ptr<TSocketConnection>> connections_;
  std::unique_ptr<TKestLineServer> LineServerSocket1;
  QTimer* SocketCheckTimer = nullptr;
  QLabel* Image1 = nullptr;
  QFrame* Panel1 = nullptr;
  QLineEdit* PortNum = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QLabel* StatusBar1 = nullptr;  // the status bar's one panel
  QAction* FileListenItem = nullptr;
  QAction* Exit1 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;  // hidden debug input
  QPlainTextEdit* Memo2 = nullptr;  // hidden log
  std::string startError_;
  bool closing_ = false;
};

}  // namespace velmora
