// Takes the client's screenshots for the README: two clients, each with a
// program folder of its own, against a running server, on the X display the
// script started (with a window manager, so windows have frames and focus).
//   velmora_shots PORT DATA_DIR OUT_DIR
// DATA_DIR holds the faces/, bustup/, bg/ and music/ folders (build/bin).
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QPlainTextEdit>
#include <QScreen>
#include <QThread>
#include <QTreeWidget>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "ChatWin.h"
#include "ClientApp.h"
#include "CardSelForm.h"
#include "CardShowForm.h"
#include "CheckForm.h"
#include "KekkaForm.h"
#include "KestAbout.h"
#include "KestCardForm.h"
#include "OptForm.h"
#include "GameRules.h"
#include "LoginDialog.h"
#include "Music.h"
#include "NpcSetDlg.h"
#include "SocketConnection.h"
#include "TextCodec.h"

namespace fs = std::filesystem;

namespace {

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
}

bool WaitFor(const std::function<bool()>& pred, int ms = 8000) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > ms) return false;
    Pump(20);
  }
  return true;
}

// What only a window manager shows: w became the active window, above the others.
bool CameToFront(QWidget* w, const char* what) {
  if (WaitFor([w] { return QApplication::activeWindow() == w; }, 3000)) return true;
  std::fprintf(stderr, "velmora_shots: the %s did not come to the front\n", what);
  return false;
}

// The window as it stands on the screen, frame included.
void Shot(QWidget* w, const fs::path& file) {
  w->raise();
  w->activateWindow();
  Pump(600);
  QRect r = w->frameGeometry();
  QPixmap pm = w->screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
  if (!pm.save(QString::fromStdString(file.string())))
    std::fprintf(stderr, "velmora_shots: cannot write %s\n", file.c_str());
  else
    std::printf("%s\n", file.c_str());
}

struct Client {
  fs::path home;
  std::unique_ptr<client::TClientApp> app;
  client::TKestClientForm& Main() { return app->Main(); }
};

// A program folder: the data folders linked in, and velmora.ini.
fs::path MakeHome(const fs::path& base, const std::string& tag, const fs::path& data, int port,
                  const std::string& nameUtf8, const std::string& faceUtf8, int cpuCount = 2) {
  fs::path home = base / tag;
  fs::create_directories(home);
  for (const char* d : {"faces", "bustup", "bg", "music", "npc"})
    if (fs::exists(data / d) && !fs::exists(home / d)) fs::create_directory_symlink(fs::absolute(data / d), home / d);
  std::ofstream(home / "velmora.ini", std::ios::binary)
      << "[Server]\r\nIPADDR=127.0.0.1\r\nPORT=" << port << "\r\n[User]\r\nNAME="
      << plat::Utf8ToSjis(nameUtf8) << "\r\nFACE=" << plat::Utf8ToSjis(faceUtf8)
      << "\r\n[Option]\r\nCPUCOUNT=" << cpuCount << "\r\n";
  return home;
}

std::unique_ptr<Client> StartClient(const fs::path& home, const std::function<int(QDialog&)>& modal) {
  auto c = std::make_unique<Client>();
  c->home = home;
  setenv("VELMORA_HOME", home.c_str(), 1);
  client::TKestClientForm::Devices d;
  d.connection = client::CreateSocketConnection();
  c->app = std::make_unique<client::TClientApp>(std::move(d));
  c->Main().RunModal = modal;
  c->app->Show();
  return c;
}

// The person at a table of computer players: rolls, walks toward one room after
// another, ends the turn, confirms the others' turns and shows the first card
// asked for. Returns at the start of its turn number `turns`, false when that
// does not come.
bool PlayPerson(Client& c, int turns) {
  client::TKestClientForm& m = c.Main();
  client::TGameCore& g = m.Game;
  QAbstractButton* const arrows[4] = {m.UpSpdButton, m.DownSpdButton, m.LeftSpdButton, m.RightSpdButton};
  int target = 0, turn = 0;
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 180000) {
    Pump(10);
    if (!g.InGame()) return false;
    client::TCardShowForm* show = m.Forms().cardShowForm;
    if (show->isVisible()) {
      show->CardClick(0);
      show->OkButtonClick();
    } else if (g.State() == client::gsConfirm && m.OutButton->isEnabled()) {
      m.OutButton->click();
    } else if (!g.MyTurn() || g.State() != client::gsIdle) {
      continue;
    } else if (m.MoveButton->isEnabled()) {
      if (++turn == turns) return true;
      target = (target + 1) % 9;
      m.MoveButton->click();
    } else if (m.OutButton->isEnabled() && (g.Walk().place > 0 || g.Walk().steps == 0)) {
      m.OutButton->click();
    } else if (g.Walk().steps > 0) {
      int dir = -1;
      if (g.Walk().place >= 1 && g.Walk().place <= 9) {
        for (int d = 0; d < 4 && dir < 0; ++d)
          if (RoomTable[g.Walk().place - 1][2 * d] >= 0) dir = d;
      } else if (client::OnBoard(g.Walk().x, g.Walk().y)) {
        int code = client::RouteTable()[size_t(target)][size_t(client::CellIndex(g.Walk().x, g.Walk().y))];
        if (code <= 3) dir = code;
      }
      if (dir >= 0 && arrows[dir]->isEnabled()) arrows[dir]->click();
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: velmora_shots PORT DATA_DIR OUT_DIR\n");
    return 2;
  }
  QApplication qapp(argc, argv);
  QFont font(QStringLiteral("IPAGothic"));
  font.setPixelSize(12);
  QApplication::setFont(font);
  int port = std::atoi(argv[1]);
  fs::path data = argv[2], out = argv[3];
  fs::create_directories(out);
  fs::path base = fs::temp_directory_path() / ("velmora_shots_" + std::to_string(getpid()));

  // First client: its login dialog is photographed, then accepted.
  fs::path homeA = MakeHome(base, "a", data, port, "ホームズ", "探偵");
  auto a = StartClient(homeA, [&](QDialog& dlg) {
    if (auto* login = dynamic_cast<client::TLoginDialog*>(&dlg)) {
      login->show();
      login->move(380, 200);
      Shot(login, out / "login.png");
      login->hide();
      return 1;
    }
    return 2;
  });
  if (!WaitFor([&] { return a->Main().Game.LocalUser().GetRoom() == 1 && a->Main().Game.PlayerCount() == 1; })) {
    std::fprintf(stderr, "velmora_shots: the first client did not reach room 1\n");
    return 1;
  }
  // The main window, frame included, stands whole in the middle of the screen.
  QRect screen = a->Main().screen()->availableGeometry(), frame = a->Main().frameGeometry();
  if (!screen.contains(frame) || std::abs(frame.center().x() - screen.center().x()) > 2 ||
      std::abs(frame.center().y() - screen.center().y()) > 2) {
    std::fprintf(stderr, "velmora_shots: the main window %dx%d+%d+%d is not centred on the screen %dx%d\n",
                 frame.width(), frame.height(), frame.x(), frame.y(), screen.width(), screen.height());
    return 1;
  }
  fs::path homeB = MakeHome(base, "b", data, port, "ワトソン", "警部");
  auto b = StartClient(homeB, [](QDialog&) { return 1; });
  if (!WaitFor([&] { return a->Main().Game.PlayerCount() == 2 && b->Main().Game.PlayerCount() == 2; })) {
    std::fprintf(stderr, "velmora_shots: the second client did not join\n");
    return 1;
  }
  b->Main().move(500, 300);
  a->Main().Forms().chatWin->move(40, 520);
  b->Main().Forms().chatWin->move(820, 600);

  // A few chat lines between them.
  auto say = [](Client& c, const char* utf8) {
    c.Main().Forms().chatWin->ChatLine->setText(QString::fromUtf8(utf8));
    c.Main().Forms().chatWin->ChatLineEnter();
  };
  say(*b, "はじめまして。よろしくお願いします。");
  Pump(300);
  say(*a, "こちらこそ。犯人は屋敷の中にいる。");
  Pump(300);
  say(*b, "まずは書斎から調べましょう。");
  WaitFor([&] { return a->Main().Forms().chatWin->ChatMsg->document()->blockCount() >= 3; });

  Shot(&a->Main(), out / "table.png");
  // The chat window's button brings it in front of the main window.
  a->Main().ChatSpdButton->click();
  if (!CameToFront(a->Main().Forms().chatWin, "chat window")) return 1;
  Shot(a->Main().Forms().chatWin, out / "chat.png");

  client::TNpcSetDlg* npc = a->Main().Forms().npcSetDlg;
  npc->move(300, 120);
  npc->CpuCount->setCurrentIndex(a->Main().Game.CpuCount());
  npc->show();
  Shot(npc, out / "npc.png");
  npc->hide();

  // A game of the two against two computer players: a roll and a few steps,
  // the notebook, the picker, the card-show dialog and the result.
  auto& am = a->Main();
  auto& bm = b->Main();
  am.Game.SetCpuCount(2);
  am.StartButton->click();
  if (!WaitFor([&] { return am.Game.State() == client::gsIdle && bm.Game.State() == client::gsIdle && am.MoveButton->isEnabled(); })) {
    std::fprintf(stderr, "velmora_shots: the game did not start\n");
    return 1;
  }
  am.MoveButton->click();
  WaitFor([&] { return am.Game.State() == client::gsIdle && am.UpSpdButton->isEnabled(); }, 15000);
  for (int i = 0; i < 2 && am.Game.Walk().steps > 0; ++i) {
    am.UpSpdButton->click();
    WaitFor([&] { return am.UpSpdButton->isEnabled(); });
  }
  am.CardSpdButton->click();
  if (!CameToFront(am.Forms().cardForm, "card strip")) return 1;
  am.Forms().cardForm->move(am.x() + 40, am.y() + 300);
  Shot(&am, out / "game.png");
  am.Forms().cardForm->hide();

  client::TCheckForm* notes = am.Forms().checkForm;
  notes->PutMark(0, 2, 2, 1);
  notes->PutMark(0, 4, 5, 1);
  notes->PutMark(0, 7, 14, 2);
  am.CheckSpdButton->click();
  if (!CameToFront(notes, "notebook")) return 1;
  notes->move(300, 150);
  Shot(notes, out / "notebook.png");
  notes->hide();
  am.Forms().cardForm->hide();  // shown again with the notebook

  // The solution: the cards nobody holds (the host knows its computer players' hands).
  bool held[40] = {};
  for (auto* m : {&am, &bm})
    for (int i = 0; i < m->Game.LocalUser().hand.CardCount(); ++i) held[m->Game.LocalUser().hand.CardAt(i).WireCode()] = true;
  for (const auto& seat : am.Game.Seats())
    if (seat.HasFlags(kest::ufComputer))
      for (int i = 0; i < seat.hand.CardCount(); ++i) held[seat.hand.CardAt(i).WireCode()] = true;
  int sol[4] = {0, 0, 0, 0};
  for (int c = 10; c < 39; ++c)
    if (client::ValidCardCode(c) && !held[c]) sol[c / 10] = c % 10;

  am.KokusoButton->click();
  client::TCardSelForm* picker = am.Forms().cardSelForm;
  picker->PlaceBox->setCurrentIndex(am.Game.LocalUser().hand.CardAt(0).Index());
  picker->HumanBox->setCurrentIndex(sol[1]);
  picker->WeaponBox->setCurrentIndex(sol[2]);
  picker->move(300, 200);
  Shot(picker, out / "picker.png");

  // The card-show dialog as ben would see it when asked for two cards.
  kest::TCard two[2] = {bm.Game.LocalUser().hand.CardAt(0), bm.Game.LocalUser().hand.CardAt(1)};
  bm.Forms().cardShowForm->ShowCards(2, two);
  bm.Forms().cardShowForm->CardClick(1);
  bm.Forms().cardShowForm->move(600, 200);
  Shot(bm.Forms().cardShowForm, out / "cardshow.png");
  bm.Forms().cardShowForm->Abandon();

  picker->OkBtnClick();  // a wrong accusation: anna is out
  WaitFor([&] { return am.Game.State() == client::gsKokusoCards && !am.KestTimer->isActive() && am.OutButton->isEnabled(); }, 15000);
  am.OutButton->click();
  WaitFor([&] { return bm.Game.State() == client::gsConfirm; });
  bm.OutButton->click();
  WaitFor([&] { return bm.Game.State() == client::gsIdle && bm.KokusoButton->isEnabled(); });
  bm.KokusoButton->click();
  client::TCardSelForm* bp = bm.Forms().cardSelForm;
  bp->PlaceBox->setCurrentIndex(sol[3]);
  bp->HumanBox->setCurrentIndex(sol[1]);
  bp->WeaponBox->setCurrentIndex(sol[2]);
  bp->OkBtnClick();
  if (!WaitFor([&] { return bm.Forms().kekkaForm->isVisible() && am.Forms().kekkaForm->isVisible(); }, 15000)) {
    std::fprintf(stderr, "velmora_shots: the game did not end\n");
    return 1;
  }
  bm.Forms().kekkaForm->move(600, 250);
  Shot(bm.Forms().kekkaForm, out / "result.png");
  am.Forms().kekkaForm->OKButtonClick();
  bm.Forms().kekkaForm->OKButtonClick();
  WaitFor([&] { return am.Game.PlayerCount() == 2; });

  // Back to the lobby: choose the hall and enter it.
  setenv("VELMORA_HOME", homeA.c_str(), 1);
  a->Main().RoomView->setCurrentItem(a->Main().RoomView->topLevelItem(0));
  WaitFor([&] { return !a->Main().Game.RuserPending(); });
  a->Main().InButtonClick();
  if (!WaitFor([&] { return a->Main().Game.LocalUser().GetRoom() == 0; })) {
    std::fprintf(stderr, "velmora_shots: the first client did not return to the lobby\n");
    return 1;
  }
  a->Main().RoomView->setCurrentItem(a->Main().RoomView->topLevelItem(1));
  WaitFor([&] { return !a->Main().Game.RuserPending(); });
  Shot(&a->Main(), out / "lobby.png");

  b->Main().close();
  a->Main().close();
  Pump(200);
  b.reset();
  a.reset();

  // A game against five computer players, at the start of the person's fourth
  // turn, with the characters' chat beside it.
  fs::path homeC = MakeHome(base, "c", data, port, "レストレード", "探偵", 5);
  setenv("VELMORA_PACE", "fast", 1);
  auto c = StartClient(homeC, [](QDialog&) { return 1; });
  unsetenv("VELMORA_PACE");
  auto& cm = c->Main();
  if (!WaitFor([&] { return cm.Game.LocalUser().GetRoom() == 1 && cm.Game.PlayerCount() == 1 && cm.StartButton->isEnabled(); },
               15000)) {
    std::fprintf(stderr, "velmora_shots: the third client is not alone at table 1\n");
    return 1;
  }
  cm.StartButton->click();
  if (!WaitFor([&] { return cm.Game.InGame(); }, 15000) || !PlayPerson(*c, 4)) {
    std::fprintf(stderr, "velmora_shots: the game against computer players did not reach the fourth turn\n");
    return 1;
  }
  cm.move(40, 60);
  QWidget* chat = cm.Forms().chatWin;
  chat->move(cm.frameGeometry().right() + 8, 60);
  int border = chat->frameGeometry().height() - chat->height();
  chat->resize(chat->width(), cm.frameGeometry().height() - border);
  chat->show();
  Pump(300);
  QRect both = cm.frameGeometry().united(chat->frameGeometry());
  cm.raise();
  chat->raise();
  Pump(600);
  QPixmap pm = cm.screen()->grabWindow(0, both.x(), both.y(), both.width(), both.height());
  fs::path npcShot = out / "npcgame.png";
  if (!pm.save(QString::fromStdString(npcShot.string()))) {
    std::fprintf(stderr, "velmora_shots: cannot write %s\n", npcShot.c_str());
    return 1;
  }
  std::printf("%s\n", npcShot.c_str());
  cm.close();
  Pump(200);
  c.reset();
  fs::remove_all(base);
  return 0;
}
