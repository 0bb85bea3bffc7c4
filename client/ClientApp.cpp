#include "ClientApp.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "CardSelForm.h"
#include "CardShowForm.h"
#include "ChatWin.h"
#include "CheckForm.h"
#include "KekkaForm.h"
#include "KestAbout.h"
#include "KestCardForm.h"
#include "LoginDialog.h"
#include "LoopGuard.h"
#include "MessageBox.h"
#include "NpcSetDlg.h"
#include "OptForm.h"
#include "Paths.h"
#include "Resources.h"
#include "Settings.h"
#include "TextCodec.h"

namespace client {

TClientApp::TClientApp(TKestClientForm::Devices devices)
    : main_(std::make_unique<TKestClientForm>(std::move(devices))) {
  TKestClientForm* m = main_.get();
  TClientForms f;
  f.npcSetDlg = new TNpcSetDlg(m, plat::ProgramFile("faces"), plat::ProgramFile(kSettingsFileName));
  f.npcSetDlg->InitNpcSlots();
  f.chatWin = new TChatWin(
      [m](const std::string& text) { m->Game.SendChat(text); },
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
  // An error that reaches the event loop is written out and shown, the box
  // opening from the loop afterwards, never inside the callback that failed.
  plat::SetErrorReporter([m](const std::string& message) {
    std::fprintf(stderr, "velmora: %s\n", plat::SjisToUtf8(message).c_str());
    QTimer::singleShot(0, m, [m, message] { plat::MessageBox(m, message, "velmora", plat::mbOK, plat::miError); });
  });
}

TClientApp::~TClientApp() { plat::SetErrorReporter(nullptr); }

void TClientApp::Show() {
  // The chat window stands above the main window from the start, without
  // taking the activation on which the login dialog opens.
  TChatWin* chat = main_->Forms().chatWin;
  chat->setAttribute(Qt::WA_ShowWithoutActivating);
  chat->show();
  CentreOnScreen(main_.get());
  main_->CentreWhenFramed();
  BringToFront(main_.get());
  // The main window, shown and activated after it, stands above it: once the
  // window manager has framed the chat window and activated one of ours, the
  // chat window is raised (and a dialog already open above it again).
  auto* watch = new QTimer(chat);
  watch->setObjectName(QStringLiteral("raiseWhenFramed"));  // gone once done
  auto tries = std::make_shared<int>(0);
  QObject::connect(watch, &QTimer::timeout, chat, [chat, watch, tries] {
    bool framed = chat->frameGeometry().size() != chat->geometry().size();
    if (framed && QApplication::activeWindow()) {
      chat->raise();
      if (QWidget* modal = QApplication::activeModalWidget()) modal->raise();
    } else if (++*tries < 60) {
      return;
    }
    watch->stop();
    watch->deleteLater();
  });
  watch->start(50);
}

}  // namespace client
