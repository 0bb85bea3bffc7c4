// The chat window: the room's chat lines, and a line to type into.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

class QLineEdit;
class QPlainTextEdit;
class QTimer;

namespace client {

class TChatWin : public QWidget {
 public:
  // send(text) sends one typed line (Shift-JIS) as the own player's chat.
  explicit TChatWin(std::function<void(const std::string&)> send, QWidget* parent = nullptr);

  // Appends a line, then cuts the text as a send does.
  void AppendMessage(const std::string& sjis);
  // While past 32768 characters: drops the first half of the lines (at least
  // one), or the end of a single line.
  void CutText();
  // A line has arrived: unless the chat window itself has the focus, it and
  // the main window's taskbar entry ask for the player until it gets it.
  void FlashAlert();
  void StopFlashing();
  bool Flashing() const;

  QPlainTextEdit* ChatMsg = nullptr;
  QLineEdit* ChatLine = nullptr;
  QTimer* FlashTimer = nullptr;

  void ChatLineEnter();
  void FlashTimerTimer();

 private:
  // Marks this window, and the main window while it has no focus (or takes
  // both marks back).
  void Alert(bool on);

  std::function<void(const std::string&)> send_;
};

}  // namespace client
