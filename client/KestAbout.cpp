#include "KestAbout.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

#include "Resources.h"

namespace client {

// ---------------------------------------------------------------- about

void TLinkLabel::mouseMoveEvent(QMouseEvent* e) {
  if (onHover) onHover();
  e->accept();  // the box's own handler, which resets the link, never sees it
}

void TLinkLabel::mousePressEvent(QMouseEvent*) {
  if (onClick) onClick();
}

void TKestAbout::Label4MouseMove() { Label4->setStyleSheet("color: #0000ff; text-decoration: underline;"); }

void TKestAbout::FormMouseMove() { Label4->setStyleSheet("color: #000000; text-decoration: none;"); }

void TKestAbout::mouseMoveEvent(QMouseEvent* e) {
  FormMouseMove();
  QDialog::mouseMoveEvent(e);
}

TKestAbout::TKestAbout(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Velmora"));
  setFixedSize(360, 170);
  auto* title = new QLabel(QStringLiteral("Velmora"), this);
  QFont f = GothicFont(20, true);
  title->setFont(f);
  title->setGeometry(20, 16, 320, 28);
  auto* sub = new QLabel(Q("\x83\x94\x83\x46\x83\x8b\x83\x82\x83\x89\x8a\xd9\x82\xcc\x8e\x45\x90\x6c"), this);  // ヴェルモラ館の殺人
  sub->setGeometry(20, 50, 320, 20);
  auto* credits = new QLabel(QStringLiteral("A networked detective game for two to six players."), this);
  credits->setGeometry(20, 76, 320, 20);
  // The link lights up while the mouse is over it and opens the page when clicked.
  Label4 = new TLinkLabel(QStringLiteral("velmora.example.org"), this);
  Label4->setGeometry(20, 104, 320, 20);
  Label4->setMouseTracking(true);
  setMouseTracking(true);
  static_cast<TLinkLabel*>(Label4)->onClick = [] {
    QDesktopServices::openUrl(QUrl(QStringLiteral("https://velmora.example.org/")));
  };
  static_cast<TLinkLabel*>(Label4)->onHover = [this] { Label4MouseMove(); };
  FormMouseMove();
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(142, 134, 75, 25);
  connect(ok, &QPushButton::clicked, this, [this] { accept(); });
}

}  // namespace client
