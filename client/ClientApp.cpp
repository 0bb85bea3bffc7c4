#include "ClientApp.h"

#include <QDialog>
#include <QLabel>
#include <QVBoxLayout>

#include "ChatWin.h"
#include "LoginDialog.h"
#include "NpcSetDlg.h"
#include "Paths.h"
#include "Resources.h"
#include "Settings.h"

namespace client {

namespace {

// Windows whose contents come with the game screens; they exist from start-up.
QWidget* EmptyWindow(QWidget* parent, const QString& caption, int w, int h) {
  auto* win = new QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint);
  win->setWindowTitle(caption);
  win->resize(w, h);
  return win;
}

QDialog* EmptyDialog(QWidget* parent, const QString& caption, int w, int h) {
  auto* d = new QDialog(parent);
  d->setWindowTitle(caption);
  d->resize(w, h);
  return d;
}

}  // namespace

TClientApp::TClientApp(TKestClientForm::Devices devices)
    : main_(std::make_unique<TKestClientForm>(std::move(devices))) {
  TKestClientForm* m = main_.get();
  TClientForms f;
  f.npcSetDlg = new TNpcSetDlg(m, plat::ProgramFile("faces"), plat::ProgramFile(kSettingsFileName));
  f.npcSetDlg->InitNpcSlots();
  f.chatWin = new TChatWin(
      [m](const std::string& text) {
        m->SendLine(m->MyUserId, "CHAT " + std::to_string(m->LocalUser.GetRoom()) + ",\x08" + text + "\x08");
      },
      m);
  f.loginDialog = new TLoginDialog(m);
  f.cardForm = EmptyWindow(m, Q("\x83\x41\x83\x8a\x83\x6f\x83\x43"), 64, 96);  // アリバイ
  f.cardSelForm = EmptyWindow(m, Q("\x90\x84\x97\x9d"), 475, 224);            // 推理
  f.cardShowForm = EmptyWindow(m, QString(), 300, 160);
  f.checkForm = EmptyWindow(m, Q("\x92\x54\x92\xe3\x83\x81\x83\x82"), 400, 300);  // 探偵メモ
  f.kekkaForm = EmptyWindow(m, Q("\x8c\x8b\x89\xca"), 392, 221);                  // 結果
  f.optForm = EmptyDialog(m, Q("\x83\x49\x83\x76\x83\x56\x83\x87\x83\x93\x90\xdd\x92\xe8"), 300, 120);
  f.kestAbout = EmptyDialog(m, QStringLiteral("Velmora"), 300, 160);
  m->SetForms(f);
}

TClientApp::~TClientApp() = default;

void TClientApp::Show() {
  main_->Forms().chatWin->show();
  main_->show();
  main_->raise();
  main_->activateWindow();
}

}  // namespace client
