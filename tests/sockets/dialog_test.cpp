// The default host dialog, offscreen, driven by timers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <functional>

#include "DefaultConnectionForm.h"
#include "SocketComponents.h"
#include "../plat/TestLoop.h"

using namespace kest;
using testloop::WaitUntil;

namespace {

// Runs act on the dialog once it is shown modally; a second timer closes it
// after a while so that a fault cannot hang the test.
void WhenShown(const std::function<void(TFormDefaultConnection*)>& act) {
  auto* poll = new QTimer(qApp);
  poll->start(10);
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    if (auto* form = qobject_cast<TFormDefaultConnection*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      act(form);
      QTimer::singleShot(5000, form, [form] { form->done(0); });
    }
  });
}

}  // namespace

TEST(DefaultConnectionForm, CaptionsAndSize) {
  TFormDefaultConnection form;
  // "サーバ情報の入力", "ホスト名", "ポート"
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("\xe3\x82\xb5\xe3\x83\xbc\xe3\x83\x90\xe6\x83\x85\xe5\xa0\xb1\xe3\x81\xae\xe5\x85\xa5\xe5\x8a\x9b"));
  EXPECT_EQ(form.size(), QSize(220, 130));
  EXPECT_EQ(form.Port(), 0);
  EXPECT_EQ(form.Button1->text(), "&OK");
  EXPECT_EQ(form.Button2->text(), "&Cancel");
  form.setProperty("Port", 3201);
  EXPECT_EQ(form.EditPort->text(), "3201");
}

TEST(DefaultConnectionForm, PortZeroOpensItAndCancelLeavesTheClientInactive) {
  TLineClientSocket client;
  client.Address = "127.0.0.1";
  bool shown = false;
  WhenShown([&](TFormDefaultConnection* form) {
    shown = true;
    EXPECT_EQ(form->EditHost->text(), "");
    EXPECT_EQ(form->EditPort->text(), "0");
    form->Button2->click();
  });
  client.SetActive(true);
  EXPECT_TRUE(shown);
  EXPECT_FALSE(client.Active());
  EXPECT_EQ(client.Port, 0);
}

TEST(DefaultConnectionForm, OkCopiesHostAndPortBack) {
  TLineServerSocket server;
  server.SetActive(true);
  TLineClientSocket client;
  bool connected = false;
  client.OnConnect = [&](plat::TObject*, TCustomWinSocket*) { connected = true; };
  WhenShown([&](TFormDefaultConnection* form) {
    form->EditPort->setText("not a port");
    form->Button1->click();  // refused: the form stays open
    EXPECT_TRUE(form->isVisible());
    form->EditHost->setText("localhost");
    form->EditPort->setText(QString::number(server.LocalPort()));
    form->Button1->click();
  });
  client.SetActive(true);
  EXPECT_EQ(client.Host, "localhost");
  EXPECT_EQ(client.Port, server.LocalPort());
  ASSERT_TRUE(WaitUntil([&] { return connected; }));
}

// The form stands in the middle of the program's main window, also when the
// window that asked for it (the active one) is a dialog of the main window's
// elsewhere on the screen.
TEST(DefaultConnectionForm, CentredOnTheMainWindow) {
  QMainWindow main;
  main.setGeometry(40, 60, 700, 500);
  main.show();
  QDialog login(&main);
  login.setGeometry(600, 500, 300, 150);
  login.show();
  login.activateWindow();
  ASSERT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == &login; }));
  TLineClientSocket client;
  client.Address = "127.0.0.1";
  QPoint centre;
  WhenShown([&](TFormDefaultConnection* form) {
    centre = form->frameGeometry().center();
    form->Button2->click();
  });
  client.SetActive(true);
  QPoint off = centre - main.frameGeometry().center();
  EXPECT_LE(std::abs(off.x()), 1) << off.x() << "," << off.y();
  EXPECT_LE(std::abs(off.y()), 1) << off.x() << "," << off.y();
}
