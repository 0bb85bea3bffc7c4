// Creates the client's windows once, in their fixed order, and owns them.
#pragma once

#include <memory>

#include "KestClientForm.h"

namespace client {

class TClientApp {
 public:
  explicit TClientApp(TKestClientForm::Devices devices);
  ~TClientApp();

  TKestClientForm& Main() { return *main_; }
  // Shows the chat window and the main window (whose activation opens the login dialog).
  void Show();

 private:
  std::unique_ptr<TKestClientForm> main_;
};

}  // namespace client
