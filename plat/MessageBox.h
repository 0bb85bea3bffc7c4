// The one way the programs open a message box. Tests install a handler that
// answers boxes; without a display (offscreen platform) a box is written to
// standard error and answered with its default button, so nothing headless
// ever blocks on one.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace plat {

enum TMsgButtons { mbOK = 0, mbOKCancel = 1, mbYesNo = 4 };
enum TMsgIcon { miNone = 0, miError = 0x10, miWarning = 0x30, miInformation = 0x40 };
enum TMsgResult { idOK = 1, idCancel = 2, idYes = 6, idNo = 7 };

struct TMessageBoxRequest {
  std::string text;     // Shift-JIS
  std::string caption;  // Shift-JIS
  int buttons = mbOK;
  int icon = miNone;
};

using TMessageBoxHandler = std::function<int(const TMessageBoxRequest&)>;

// Installs a handler for every later box; an empty one restores the default.
void SetMessageBoxHandler(TMessageBoxHandler handler);

// Shows a modal box (or asks the handler) and returns the button pressed.
int MessageBox(QWidget* parent, const std::string& text, const std::string& caption,
               int buttons = mbOK, int icon = miNone);

// Modal boxes open now (asked of the handler or shown), nested ones counted.
int OpenMessageBoxes();

// Shows a box with an OK button and returns at once; the box closes itself
// when pressed. Handler and headless rules as above.
void MessageBoxModeless(QWidget* parent, const std::string& text, const std::string& caption,
                        int icon = miNone);

}  // namespace plat
