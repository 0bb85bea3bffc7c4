// The server window in-process with real sockets on the Qt event loop, and
// clients of the line protocol that talk to it.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QThread>
#include <QToolButton>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "KestServerForm.h"
#include "Protocol.h"
#include "WireClient.h"

namespace velmora::test {

using velmora::TKestServerForm;
using velmora::tools::TWireClient;

class ServerForm : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "server_form_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) app_ = new QApplication(argc, argv);
  }

  // Runs the event loop until pred holds or ms pass.
  static bool PumpUntil(const std::function<bool()>& pred, int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
      if (std::chrono::steady_clock::now() > end) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 10);
      QThread::msleep(2);
    }
    return true;
  }

  // Connects and logs in; the form's loop runs while waiting.
  std::unique_ptr<TWireClient> Login(TKestServerForm& form, const std::string& name) {
    auto c = std::make_unique<TWireClient>();
    EXPECT_TRUE(c->Connect("127.0.0.1", form.ListeningPort(), 2000));
    c->SendCommand(kest::proto::CmdLogin(name, "f"), 0);
    const int before = form.Core().LoggedInCount();
    EXPECT_TRUE(PumpUntil([&] { return form.Core().LoggedInCount() == before + 1; }));
    return c;
  }

  // Everything the client received until the server closed it.
  static std::vector<std::string> ReadUntilClosed(TWireClient& c) {
    std::vector<std::string> lines;
    PumpUntil([&] {
      while (auto l = c.ReadLine(0)) lines.push_back(*l);
      return c.PeerClosed();
    });
    return lines;
  }

  static QToolButton* Toggle(TKestServerForm& f) { return f.findChild<QToolButton*>("SpeedButton1"); }
  static QLineEdit* Port(TKestServerForm& f) { return f.findChild<QLineEdit*>("PortNum"); }

  static inline QApplication* app_ = nullptr;
};

}  // namespace velmora::test
