#include "ChatWin.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include "LoopGuard.h"
#include "Resources.h"

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

void TChatWin::FlashAlert() {
  if (isActiveWindow()) return;
  FlashTimer->setInterval(500);
  FlashTimer->start();
  QApplication::alert(this, 0);
}

void TChatWin::StopFlashing() { FlashTimer->stop(); }

bool TChatWin::Flashing() const { return FlashTimer->isActive(); }

void TChatWin::FlashTimerTimer() {
  if (isActiveWindow()) {
    FlashTimer->stop();
    return;
  }
  QApplication::alert(this, 0);
}

void TChatWin::ChatLineEnter() {
  plat::GuardedCall([this] {
    if (send_) send_(S(ChatLine->text()));
  });
  ChatLine->clear();
  CutText();
}

}  // namespace client
