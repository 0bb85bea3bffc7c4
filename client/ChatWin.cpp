#include "ChatWin.h"

#include <QGuiApplication>
#include <QWindow>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include "LoopGuard.h"
#include "Resources.h"
#include "WindowManager.h"

namespace client {

TChatWin::TChatWin(std::function<void(const std::string&)> send, QWidget* parent)
    : QWidget(parent, Qt::Window), send_(std::move(send)) {
  setWindowTitle(QStringLiteral("Chat Window"));
  resize(420, 160);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  ChatMsg = new QPlainTextEdit(this);
  ChatMsg->setReadOnly(true);
  ChatMsg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ChatLine = new QLineEdit(this);
  // A chat line stays well inside the server's line limit, full-width text included.
  ChatLine->setMaxLength(1000);
  layout->addWidget(ChatMsg, 1);
  layout->addWidget(ChatLine);
  FlashTimer = new QTimer(this);
  FlashTimer->setInterval(500);
  connect(FlashTimer, &QTimer::timeout, this, [this] { FlashTimerTimer(); });
  connect(ChatLine, &QLineEdit::returnPressed, this, [this] { ChatLineEnter(); });
}

void TChatWin::AppendMessage(const std::string& sjis) {
  ChatMsg->appendPlainText(Q(sjis));
  CutText();
}

void TChatWin::CutText() {
  const int kLimit = 32768;
  QTextDocument* doc = ChatMsg->document();
  while (doc->characterCount() - 1 > kLimit) {  // the plain text's length
    QTextCursor c(doc);
    if (doc->blockCount() > 1) {
      // The first half of the lines, at least one.
      c.movePosition(QTextCursor::Start);
      c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, std::max(1, doc->blockCount() / 2));
    } else {
      // A single line longer than the limit keeps its beginning.
      c.setPosition(kLimit);
      c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    c.removeSelectedText();
  }
}

namespace {

// The focus is in w itself. (Qt's active state, and its alert, count every
// window of the main window's group: by them the chat window never asks for
// the player while he is in the game.)
bool Focused(const QWidget* w) { return w && w->windowHandle() && QGuiApplication::focusWindow() == w->windowHandle(); }

}  // namespace

void TChatWin::Alert(bool on) {
  // The main window's taskbar entry while the main window has no focus (the
  // window manager marks no focused window).
  QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
  if (main && !(on && Focused(main))) plat::SetDemandsAttention(main, on);
  plat::SetDemandsAttention(this, on);
}

void TChatWin::FlashAlert() {
  if (Focused(this)) return;
  FlashTimer->setInterval(500);
  FlashTimer->start();
  Alert(true);
}

void TChatWin::StopFlashing() { FlashTimer->stop(); }

bool TChatWin::Flashing() const { return FlashTimer->isActive(); }

void TChatWin::FlashTimerTimer() {
  if (Focused(this)) {
    FlashTimer->stop();
    Alert(false);
  } else {
    Alert(true);  // the main window may have lost the focus since
  }
}

void TChatWin::ChatLineEnter() {
  plat::GuardedCall([this] {
    if (send_) send_(S(ChatLine->text()));
  });
  ChatLine->clear();
  CutText();
}

}  // namespace client
