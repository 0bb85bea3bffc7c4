#include "ClientApp.h"

#include <QDialog>
#include <QLabel>
#include <QVBoxLayout>

#include "ChatWin.h"
#include "GameDialogs.h"
#include "LoginDialog.h"
#include "NpcSetDlg.h"
#include "Paths.h"
#include "Resources.h"
#include "Settings.h"

namespace client {


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
  f.cardForm = new TKestCardForm(m);
  f.cardSelForm = new TCardSelForm(m);
  f.cardShowForm = new TCardShowForm(m);
  f.checkForm = new TCheckForm(m);
  f.kekkaForm = new TKekkaForm(m);
  f.optForm = new TOptForm(m);
  f.kestAbout = new TKestAbout(m);
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
