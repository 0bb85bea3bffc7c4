// The host and port dialog that a client component opens when its address
// is incomplete. Linking the sockets_dialog library into a program makes it
// the library's default form; a program that gets it through another static
// library calls UseDefaultConnectionForm() once instead.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kest {

class TFormDefaultConnection : public QDialog {
  Q_OBJECT
  Q_PROPERTY(QString Host READ Host WRITE SetHost)
  Q_PROPERTY(int Port READ Port WRITE SetPort)

 public:
  explicit TFormDefaultConnection(QWidget* parent = nullptr);

  QString Host() const;
  void SetHost(const QString& host);
  int Port() const;
  void SetPort(int port);

  QLabel* Label1;
  QLineEdit* EditHost;
  QLabel* Label2;
  QLineEdit* EditPort;
  QPushButton* Button1;
  QPushButton* Button2;

 public slots:
  int exec() override;
  void accept() override;
  void reject() override;  // Cancel and Esc: result 2
};

// Makes TFormDefaultConnection the form client components open.
void UseDefaultConnectionForm();

}  // namespace kest
