#include "SocketConnection.h"

namespace client {

namespace {

// Stands in until the socket library is linked: every attempt fails.
class TNoConnection : public TClientConnection {
 public:
  void SetAddress(const std::string&) override {}
  void SetHost(const std::string&) override {}
  void SetPort(int) override {}
  bool Open(std::string* error) override {
    if (error) *error = "this build has no network support";
    return false;
  }
  void Close() override {}
  bool Active() const override { return false; }
  void Send(const std::string&) override {}
};

}  // namespace

std::unique_ptr<TClientConnection> CreateSocketConnection() { return std::make_unique<TNoConnection>(); }

}  // namespace client
