#include <QObject>
#include <QTimer>
#include <exception>

#include "DefaultConnectionForm.h"
#include "Protocol.h"
#include "SocketComponents.h"
#include "SocketConnection.h"

namespace client {

namespace {

// The socket library's line client behind the main window's connection.
class TLineConnection : public TClientConnection {
 public:
  TLineConnection() {
    kest::UseDefaultConnectionForm();  // asks for host and port when the port is 0
    socket_.SetMaxRecvSize(kest::proto::kMaxLineSize);  // the longest line the server sends
    socket_.OnConnect = [this](kest::TObject*, kest::TCustomWinSocket*) {
      if (OnConnect) OnConnect();
    };
    socket_.OnError = [this](kest::TObject*, kest::TCustomWinSocket*, plat::TErrorEvent kind, int& code) {
      std::string what = plat::SocketErrorMessage(code, kind);
      code = 0;  // handled here: the library raises nothing
      disconnectPending_ = false;  // the disconnect just before was this error's
      if (closing_ || failed_) return;
      failed_ = true;
      if (OnError) OnError(what);
    };
    // A failing connection is closed first and its error reported right
    // after; the disconnect is reported only when no error follows it. The
    // socket library closes a connection itself only for a line over the
    // receive limit (and raises its own error, which the program shows).
    socket_.OnDisconnect = [this](kest::TObject*, kest::TCustomWinSocket* s) {
      if (closing_ || failed_) return;
      disconnectPending_ = true;
      const bool tooLong = s && s->ClosedByProgram();
      QTimer::singleShot(0, &context_, [this, tooLong] {
        if (!disconnectPending_ || failed_) return;
        disconnectPending_ = false;
        failed_ = true;
        auto& report = tooLong ? OnLineTooLong : OnDisconnect;
        if (report) report();
      });
    };
    socket_.OnLineArrived = [this](kest::TObject*, kest::TCustomWinSocket*, const std::string& line) {
      if (OnLineArrived) OnLineArrived(line);
    };
  }
  ~TLineConnection() override {
    closing_ = true;
    socket_.OnConnect = nullptr;
    socket_.OnError = nullptr;
    socket_.OnDisconnect = nullptr;
    socket_.OnLineArrived = nullptr;
  }

  void SetAddress(const std::string& a) override {
    socket_.Address = a;
    socket_.Host.clear();
  }
  void SetHost(const std::string& h) override {
    socket_.Host = h;
    socket_.Address.clear();
  }
  void SetPort(int port) override { socket_.Port = port; }

  bool Open(std::string* error) override {
    failed_ = false;
    disconnectPending_ = false;
    try {
      socket_.SetActive(true);
    } catch (const std::exception& e) {
      if (error) *error = e.what();
      return false;
    }
    if (!socket_.Active() && !failed_) {
      if (error) error->clear();  // the host dialog was cancelled
      return false;
    }
    return true;
  }

  void Close() override {
    closing_ = true;
    try {
      socket_.SetActive(false);
    } catch (...) {
    }
    closing_ = false;
  }

  bool Active() const override { return socket_.Active(); }
  void Send(const std::string& line) override { socket_.Send(line); }

 private:
  kest::TLineClientSocket socket_;
  QObject context_;  // cancels queued reports when the connection goes
  bool closing_ = false;
  bool failed_ = false;
  bool disconnectPending_ = false;
};

}  // namespace

std::unique_ptr<TClientConnection> CreateSocketConnection() { return std::make_unique<TLineConnection>(); }

}  // namespace client
