#include "LoginDialog.h"

#include <QComboBox>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>
#include <cstdlib>

#include "KestClientForm.h"
#include "Resources.h"
#include "WindowManager.h"

namespace client {

TLoginDialog::TLoginDialog(TKestClientForm* main) : QDialog(main), main_(main) {
  setWindowTitle(QStringLiteral("Login"));
  setFixedSize(398, 157);
  auto label = [this](const char* sjis, int x, int y) {
    auto* l = new QLabel(Q(sjis), this);
    l->move(x, y);
    return l;
  };
  label("\x96\xbc\x91\x4f", 8, 12);  // 名前
  NameEdit = new QLineEdit(this);
  NameEdit->setGeometry(40, 8, 145, 24);
  NameEdit->setMaxLength(16);
  label("\x8a\xe7", 8, 44);  // 顔
  FaceSelBox = new QComboBox(this);
  FaceSelBox->setGeometry(40, 40, 145, 24);
  FaceImage = new QLabel(this);
  FaceImage->setGeometry(40, 72, 56, 56);
  label("\x83\x54\x81\x5b\x83\x6f\x81\x5b\x83\x41\x83\x68\x83\x8c\x83\x58", 200, 8);  // サーバーアドレス
  label("\x82\xdc\x82\xbd\x82\xcd\x83\x54\x81\x5b\x83\x6f\x81\x5b\x96\xbc", 200, 24);  // またはサーバー名
  AddrEdit = new QLineEdit(this);
  AddrEdit->setGeometry(200, 42, 185, 24);
  label("\x83\x7c\x81\x5b\x83\x67\x94\xd4\x8d\x86", 200, 76);  // ポート番号
  PortEdit = new QLineEdit(QStringLiteral("3201"), this);
  PortEdit->setGeometry(280, 72, 105, 24);
  Button1 = new QPushButton(QStringLiteral("Login"), this);
  Button1->setGeometry(200, 120, 85, 28);
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("Exit"), this);
  Button2->setGeometry(300, 120, 85, 28);
  connect(Button1, &QPushButton::clicked, this, [this] { done(1); });
  connect(Button2, &QPushButton::clicked, this, [this] { done(2); });

  AddrEdit->setText(Q(main->Settings.address));
  // VELMORA_LOGIN_PORT offers another port than the saved one (run.sh gives
  // the client the port it started the server on).
  const char* port = std::getenv("VELMORA_LOGIN_PORT");
  PortEdit->setText(port && *port ? QString::fromLocal8Bit(port) : Q(main->Settings.port));
  NameEdit->setText(Q(main->Settings.name));
  main->LoadFaces();
  const TFaceSet& faces = main->Faces();
  for (int i = 0; i < faces.Count(); ++i) FaceSelBox->addItem(Q(faces.Name(i)));
  if (FaceSelBox->count() > 0) {
    FaceSelBox->setCurrentIndex(0);
    for (int i = 0; i < faces.Count(); ++i)
      if (faces.Name(i) == main->Settings.face) FaceSelBox->setCurrentIndex(i);
  }
  FaceSelBoxChange();
  connect(FaceSelBox, &QComboBox::currentIndexChanged, this, [this] { FaceSelBoxChange(); });
}

TLoginDialog::~TLoginDialog() = default;

void TLoginDialog::showEvent(QShowEvent* e) {
  // A dialog for the whole program rather than for the main window: the
  // window manager keeps it above all of the program's windows without
  // raising the main window with it, so the chat window, shown above the
  // main window at start, stays there while the dialog is open. Not being
  // the main window's own, it asks for the activation itself (once mapped).
  if (QWindow* w = windowHandle()) w->setTransientParent(nullptr);
  QDialog::showEvent(e);
  activateWindow();
  if (watch_) return;  // shown again after being minimised
  // The window manager minimises the dialog on its own, and the program's
  // other windows take no input while it is open: it comes back to the front
  // whenever one of them gets the focus. Closing the main window is Exit.
  watch_ = std::make_unique<plat::TWindowManagerWatch>();
  watch_->onFocusIn = [this](QWidget* w) {
    if (w != this && !isAncestorOf(w)) QTimer::singleShot(0, this, [this] { ComeToTheFront(); });
  };
  watch_->onCloseRequest = [this](QWidget* w) {
    if (w != main_) return false;
    QTimer::singleShot(0, this, [this] {
      if (isVisible()) done(2);
    });
    return true;
  };
}

void TLoginDialog::hideEvent(QHideEvent* e) {
  if (!e->spontaneous()) watch_.reset();  // a spontaneous one: minimised
  QDialog::hideEvent(e);
}

void TLoginDialog::ComeToTheFront() {
  if (!isVisible()) return;
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
}

// Only "Exit" and the close box end the program; Esc is no way out.
void TLoginDialog::keyPressEvent(QKeyEvent* e) {
  if (e->matches(QKeySequence::Cancel)) return;
  QDialog::keyPressEvent(e);
}

void TLoginDialog::FaceSelBoxChange() {
  int i = FaceSelBox->currentIndex();
  QPixmap pm(56, 56);
  pm.fill(palette().color(QPalette::Window));
  if (i >= 0) {
    QPainter p(&pm);
    p.drawImage(0, 0, main_->Faces().Picture(i));
  }
  FaceImage->setPixmap(pm);
}

}  // namespace client
