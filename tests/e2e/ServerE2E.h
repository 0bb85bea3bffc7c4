// The fixture of the end-to-end tests: the real server program, headless
// and seeded, on a free port, and logged-in wire clients.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Protocol.h"
#include "ServerProcess.h"
#include "WireClient.h"

namespace velmora::test {

class ServerE2E : public ::testing::Test {
 public:
  static constexpr int kWaitMs = 5000;

 protected:
  static constexpr uint32_t kSeed = 4242;

  static std::vector<std::string> SeedEnv() { return {"VELMORA_SEED=" + std::to_string(kSeed)}; }

  void SetUp() override {
    port_ = FreePort();
    server_ = std::make_unique<TServerProcess>(port_, SeedEnv());
    ASSERT_TRUE(server_->Running());
    // Wait until the port accepts.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    tools::TWireClient probe;
    while (!probe.Connect("127.0.0.1", port_, 500)) {
      ASSERT_LT(std::chrono::steady_clock::now(), end) << "the server did not start listening";
      ASSERT_EQ(server_->WaitExit(0), -1) << "the server ended";
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  // A connection, not logged in.
  std::unique_ptr<tools::TWireClient> Connection() {
    auto c = std::make_unique<tools::TWireClient>();
    EXPECT_TRUE(c->Connect("127.0.0.1", port_, kWaitMs));
    return c;
  }

  // A connection logged in as name; user gets its number (-1 when refused).
  std::unique_ptr<tools::TWireClient> Client(const std::string& name, int* user, const std::string& face = "face") {
    auto c = Connection();
    c->SendCommand(kest::proto::CmdLogin(name, face), 0);
    auto login = c->WaitFor([](const tools::TWireLine& l) { return l.word == "LOGIN"; }, kWaitMs);
    EXPECT_TRUE(login.has_value());
    *user = login ? login->user : -1;
    return c;
  }

  // The next line addressed to user with the word, its text as received.
  static std::string Next(tools::TWireClient& c, const char* word, int user) {
    auto l = c.WaitWord(word, user, kWaitMs);
    return l ? l->text : std::string("<no ") + word + ">";
  }

  int port_ = 0;
  std::unique_ptr<TServerProcess> server_;
};

}  // namespace velmora::test
