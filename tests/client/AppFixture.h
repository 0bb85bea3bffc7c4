// The fixture of the window tests: a program folder of the test's own with
// face pictures, message boxes answered OK, and the program's windows over a
// connection that records what is sent.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "ClientApp.h"
#include "ClientTestUtil.h"
#include "MessageBox.h"

namespace clienttest {

class AppTest : public ::testing::Test {
 protected:
  // faces: the face pictures besides unknown.bmp; boxes: sees each message box.
  void SetUpHome(std::initializer_list<const char*> faces,
                 std::function<void(const plat::TMessageBoxRequest&)> boxes = nullptr) {
    App();
    home = std::make_unique<HomeDir>(::testing::UnitTest::GetInstance()->current_test_info()->name());
    for (const char* f : faces) home->Face(f);
    home->Face("unknown", qRgb(90, 90, 90));
    plat::SetMessageBoxHandler([boxes](const plat::TMessageBoxRequest& r) {
      if (boxes) boxes(r);
      return plat::idOK;
    });
  }
  // Creates the windows anew.
  void NewApp() {
    app.reset();
    auto conn = std::make_unique<FakeConnection>();
    fake = conn.get();
    client::TKestClientForm::Devices d;
    d.connection = std::move(conn);
    app = std::make_unique<client::TClientApp>(std::move(d));
  }
  void TearDown() override {
    app.reset();
    plat::SetMessageBoxHandler(nullptr);
    home.reset();
  }
  client::TKestClientForm& form() { return app->Main(); }

  std::unique_ptr<HomeDir> home;
  std::unique_ptr<client::TClientApp> app;
  FakeConnection* fake = nullptr;
};

}  // namespace clienttest
