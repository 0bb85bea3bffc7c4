#include "DefaultConnectionForm.h"

#include <QApplication>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "SocketComponents.h"
#include "TextCodec.h"
#include "WindowManager.h"

namespace kest {
namespace {

QString Text(const char* sjis) { return QString::fromStdString(plat::SjisToUtf8(sjis)); }

}  // namespace

TFormDefaultConnection::TFormDefaultConnection(QWidget* parent) : QDialog(parent) {
  setWindowTitle(Text("\x83\x54\x81\x5b\x83\x6f\x8f\xee\x95\xf1\x82\xcc\x93\xfc\x97\xcd"));  // "サーバ情報の入力"
  setFixedSize(220, 130);
  Label1 = new QLabel(Text("\x83\x7a\x83\x58\x83\x67\x96\xbc"), this);  // "ホスト名"
  Label1->setGeometry(10, 14, 60, 16);
  EditHost = new QLineEdit(this);
  EditHost->setGeometry(76, 10, 134, 22);
  Label2 = new QLabel(Text("\x83\x7c\x81\x5b\x83\x67"), this);  // "ポート"
  Label2->setGeometry(10, 48, 60, 16);
  EditPort = new QLineEdit(QStringLiteral("0"), this);
  EditPort->setGeometry(76, 44, 70, 22);
  // Only a port number can be confirmed.
  EditPort->setValidator(new QIntValidator(0, 65535, EditPort));
  Label1->setBuddy(EditHost);
  Label2->setBuddy(EditPort);
  Button1 = new QPushButton(QStringLiteral("&OK"), this);
  Button1->setGeometry(26, 92, 80, 26);
  Button1->setDefault(true);
  Button2 = new QPushButton(QStringLiteral("&Cancel"), this);
  Button2->setGeometry(116, 92, 80, 26);
  connect(Button1, &QPushButton::clicked, this, &TFormDefaultConnection::accept);
  connect(Button2, &QPushButton::clicked, this, &TFormDefaultConnection::reject);
  EditHost->setFocus();
}

QString TFormDefaultConnection::Host() const { return EditHost->text(); }
void TFormDefaultConnection::SetHost(const QString& host) { EditHost->setText(host); }
int TFormDefaultConnection::Port() const { return EditPort->text().toInt(); }
void TFormDefaultConnection::SetPort(int port) { EditPort->setText(QString::number(port)); }

int TFormDefaultConnection::exec() {
  // Centred on the program's main window, the first owner of the window that
  // asked (the active one when the form was made: often a dialog of the main
  // window's); without one, on the screen.
  const QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
  while (main && main->parentWidget()) main = main->parentWidget()->window();
  const QScreen* s = screen();
  const QRect area = main ? main->frameGeometry() : s ? s->availableGeometry() : QRect(QPoint(0, 0), size());
  plat::CentreOn(this, area, main);
  EditHost->setFocus();
  return QDialog::exec();
}

void TFormDefaultConnection::accept() {
  if (!EditPort->hasAcceptableInput()) {
    EditPort->setFocus();
    EditPort->selectAll();
    return;
  }
  QDialog::accept();
}

void TFormDefaultConnection::reject() { done(2); }

void UseDefaultConnectionForm() {
  SetDefaultConnectionFormFactory(
      []() -> QObject* { return new TFormDefaultConnection(QApplication::activeWindow()); });
}

namespace {

const bool kRegistered = (UseDefaultConnectionForm(), true);

}  // namespace

}  // namespace kest
