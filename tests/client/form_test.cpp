#include <gtest/gtest.h>

#include <stdexcept>

#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTimer>
#include <QTreeWidget>

#include "ChatWin.h"
#include "AppFixture.h"
#include "EventLoop.h"
#include "IniFile.h"
#include "LoginDialog.h"
#include "LoopGuard.h"
#include "MessageBox.h"
#include "NpcSetDlg.h"
#include "Resources.h"

namespace {

using clienttest::FakeConnection;

// The wait for scripts sleeps between the script timer's ticks: a wake-up for
// each tick (and a few for other events), never a spin.
TEST(ScriptWait, WakesOncePerTimerTick) {
  constexpr int kTicks = 5;
  int ticks = 0, wakeUps = 0;
  QTimer timer;
  timer.setInterval(20);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (++ticks == kTicks) timer.stop();
  });
  timer.start();
  while (ticks < kTicks && wakeUps < 100000) {
    client::WaitForEvents();
    ++wakeUps;
  }
  EXPECT_EQ(ticks, kTicks);
  EXPECT_LE(wakeUps, 2 * kTicks + 5);
}
using client::TKestClientForm;

const std::string BS = "\x08";
const char kFaceA[] = "alice_face";

// Runs pending queued calls (the login dialog after an error, boxes).
void Settle() { testloop::PumpFor(100); }

class ClientForm : public clienttest::AppTest {
 protected:
  void SetUp() override {
    SetUpHome({kFaceA, "bob_face"}, [this](const plat::TMessageBoxRequest& r) { boxes.push_back(r); });
  }

  // Creates the windows; the login dialog is answered by dialogAnswers in turn
  // (an empty list: Exit).
  void Start() {
    NewApp();
    form().RunModal = [this](QDialog& dlg) {
      ++dialogs;
      if (auto* login = dynamic_cast<client::TLoginDialog*>(&dlg)) {
        if (answers.empty()) return 2;
        auto a = answers.front();
        answers.erase(answers.begin());
        login->NameEdit->setText(QString::fromStdString(a.name));
        login->AddrEdit->setText(QString::fromStdString(a.addr));
        login->PortEdit->setText(QString::fromStdString(a.port));
        return a.result;
      }
      return npcAnswer ? npcAnswer(dlg) : 2;
    };
  }
  // Logs in as name with user number id and enters room 1 as its first member.
  void LogIn(const std::string& name, int id) {
    answers.push_back({name, "127.0.0.1", "3201", 1});
    form().ShowConnectDialog();
    fake->Connect();
    fake->Deliver("LOGIN:" + std::to_string(id));
    fake->sent.clear();
  }
  // Starts, logs in and takes seat 0 of room 1.
  void StartSeated(const std::string& name, int id) {
    Start();
    LogIn(name, id);
    Enter(1, name, id);
    AddUser(name, 1, id, 0, id);
  }
  void Enter(int room, const std::string& name, int id) {
    fake->Deliver("CHROOM " + std::to_string(room) + "," + BS + name + BS + ":" + std::to_string(id));
  }
  void AddUser(const std::string& name, int room, int userNo, int kind, int id) {
    fake->Deliver("ADDUSER " + BS + name + BS + "," + std::to_string(room) + "," + BS + "f" + BS + "," +
                  std::to_string(userNo) + "," + std::to_string(kind) + ":" + std::to_string(id));
  }

  struct Answer {
    std::string name, addr, port;
    int result;
  };
  std::vector<Answer> answers;
  std::function<int(QDialog&)> npcAnswer;
  std::vector<plat::TMessageBoxRequest> boxes;
  int dialogs = 0;
};

TEST_F(ClientForm, LoginSendsLoginAndJoinsRoomOne) {
  Start();
  answers.push_back({" alice ", "127.0.0.1", "3300", 1});
  form().ShowConnectDialog();
  EXPECT_TRUE(form().Connecting());
  EXPECT_EQ(fake->address, "127.0.0.1");
  EXPECT_EQ(fake->port, 3300);
  fake->Connect();
  ASSERT_EQ(fake->sent.size(), 1u);
  EXPECT_EQ(fake->sent[0], "LOGIN " + BS + "alice" + BS + "," + BS + kFaceA + BS + ":0\r");
  fake->Deliver("LOGIN:7");
  EXPECT_EQ(form().Game.MyUserId(), 7);
  EXPECT_EQ(form().Game.State(), client::gsNoGame);
  EXPECT_EQ(form().Game.LocalUser().GetName(), "alice");
  EXPECT_EQ(form().Game.LocalUser().GetFace(), kFaceA);
  ASSERT_EQ(fake->sent.size(), 2u);
  EXPECT_EQ(fake->sent[1], "CHROOM 1:7\r");
  // A second LOGIN speaks for a computer player; the own number stays.
  fake->Deliver("LOGIN:9");
  EXPECT_EQ(form().Game.MyUserId(), 7);
  EXPECT_EQ(fake->sent.back(), "CHROOM 1:9\r");
}

// VELMORA_LOGIN_PORT puts its port in the login dialog in place of the saved one.
TEST_F(ClientForm, LoginPortFromTheEnvironment) {
  home->Ini("[Server]\r\nPORT=3201\r\n");
  for (const char* env : {"3300", ""}) {
    SCOPED_TRACE(env);
    ::setenv("VELMORA_LOGIN_PORT", env, 1);
    Start();
    EXPECT_EQ(form().Forms().loginDialog->PortEdit->text().toStdString(), *env ? env : "3201");
    app.reset();
  }
  ::unsetenv("VELMORA_LOGIN_PORT");
}

TEST_F(ClientForm, AddressOrHostAndIncompleteEntries) {
  EXPECT_TRUE(TKestClientForm::IsDottedAddress("192.168.1.2"));
  EXPECT_FALSE(TKestClientForm::IsDottedAddress("192.168.1.2a"));
  EXPECT_FALSE(TKestClientForm::IsDottedAddress("localhost"));
  Start();
  answers.push_back({"   ", "127.0.0.1", "3201", 1});  // blank name: asked again, no box
  answers.push_back({"bob", "", "3201", 1});           // no address
  answers.push_back({"bob", "localhost", "x1", 1});    // bad port: a box, then asked again
  answers.push_back({"bob", "localhost", "3201", 1});
  form().ShowConnectDialog();
  EXPECT_EQ(dialogs, 4);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(fake->host, "localhost");
  EXPECT_EQ(fake->address, "");
  EXPECT_EQ(fake->opens, 1);
  EXPECT_TRUE(form().Connecting());
}

TEST_F(ClientForm, ExitOrCloseBoxEndsProgram) {
  Start();
  form().show();
  form().ShowConnectDialog();  // no answers: Exit
  EXPECT_TRUE(form().Closing);
  EXPECT_FALSE(form().isVisible());
  EXPECT_EQ(app->Main().Forms().loginDialog->result(), 0);
  app->Main().Forms().loginDialog->reject();  // the close box and Esc give Exit
  EXPECT_EQ(app->Main().Forms().loginDialog->result(), 2);
}

TEST_F(ClientForm, SameNameClosesShowsBoxAndAsksAgain) {
  Start();
  answers.push_back({"alice", "127.0.0.1", "3201", 1});
  form().ShowConnectDialog();
  fake->Connect();
  answers.push_back({"alice2", "127.0.0.1", "3201", 1});
  fake->Deliver("ERR SAMENAME\r");
  EXPECT_FALSE(fake->active);
  Settle();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "Error");
  EXPECT_EQ(boxes[0].text.substr(0, 4), "\x93\xaf\x82\xb6");  // 同じ...
  EXPECT_EQ(fake->opens, 2);
  fake->Connect();
  EXPECT_EQ(fake->sent.back(), "LOGIN " + BS + "alice2" + BS + "," + BS + kFaceA + BS + ":0\r");
}

TEST_F(ClientForm, LockedEndsProgram) {
  Start();
  form().show();
  LogIn("alice", 3);
  fake->Deliver("ERR LOCKED\r");
  fake->Deliver(":3");
  EXPECT_FALSE(fake->active);
  Settle();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(form().Closing);
  EXPECT_NE(form().ExitCode(), 0);
}

TEST_F(ClientForm, SocketErrorOrServerCloseStartsOver) {
  StartSeated("alice", 3);
  answers.push_back({"alice", "127.0.0.1", "3201", 1});
  fake->OnError("connection refused");
  EXPECT_NE(form().Memo2->toPlainText().indexOf("Error connecting to:127.0.0.1"), -1);
  EXPECT_EQ(form().Game.MyUserId(), -1);
  EXPECT_EQ(form().Game.State(), client::gsOffline);
  EXPECT_EQ(form().Game.PlayerCount(), 0);
  EXPECT_EQ(form().Game.Seats()[0].GetName(), "");
  EXPECT_FALSE(form().Connecting());
  EXPECT_EQ(dialogs, 1);  // not from inside the socket callback
  Settle();
  EXPECT_EQ(dialogs, 2);
  EXPECT_TRUE(form().Connecting());
  fake->Connect();  // logs in afresh
  EXPECT_EQ(fake->sent.back(), "LOGIN " + BS + "alice" + BS + "," + BS + kFaceA + BS + ":0\r");
  fake->Deliver("LOGIN:4");
  EXPECT_EQ(form().Game.MyUserId(), 4);

  answers.push_back({"alice", "127.0.0.1", "3201", 1});
  fake->OnDisconnect();
  EXPECT_EQ(form().Game.MyUserId(), -1);
  Settle();
  EXPECT_EQ(dialogs, 3);
}

// An error box open when the connection drops (a line too long does both) is
// answered before the login dialog opens: one modal window at a time.
TEST_F(ClientForm, TheLoginDialogWaitsForAnOpenErrorBox) {
  Start();
  LogIn("alice", 3);
  bool boxOpen = false, dialogOverBox = false;
  int dialogsBefore = dialogs;
  plat::SetMessageBoxHandler([&](const plat::TMessageBoxRequest& r) {
    boxes.push_back(r);
    boxOpen = true;
    QEventLoop loop;  // as a real box: the events go on while it is open
    QTimer::singleShot(0, [this] { fake->OnDisconnect(); });
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    boxOpen = false;
    return plat::idOK;
  });
  auto run = form().RunModal;
  form().RunModal = [&](QDialog& d) {
    if (boxOpen) dialogOverBox = true;
    return run(d);
  };
  plat::GuardedCall([] { throw std::runtime_error("too long"); });
  EXPECT_TRUE(testloop::WaitUntil([&] { return dialogs > dialogsBefore; }));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_FALSE(dialogOverBox);
}

TEST_F(ClientForm, ServerFullIsShownAndStartsOver) {
  Start();
  answers.push_back({"alice", "127.0.0.1", "3201", 1});
  form().ShowConnectDialog();
  fake->Connect();
  fake->Deliver("ERR OVERUSER\r");
  Settle();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(form().Game.MyUserId(), -1);
  EXPECT_EQ(dialogs, 2);  // the dialog came back (and was answered Exit)
}

TEST_F(ClientForm, RoomListAndLobbyView) {
  Start();
  LogIn("alice", 3);
  fake->Deliver("ROOM 2,1,4:3");
  fake->Deliver("ROOM 0,0,7:3");
  fake->Deliver("ROOM 11,0,7:3");  // no such row
  fake->Deliver("ROOM 3,0:3");     // too few arguments
  EXPECT_EQ(form().RoomView->topLevelItemCount(), 11);
  EXPECT_EQ(client::S(form().RoomView->topLevelItem(2)->text(0)), "\x8c\xe2\x8a\x79\x8e\xba" "2");
  EXPECT_EQ(client::S(form().RoomView->topLevelItem(2)->text(1)), "\x83\x51\x81\x5b\x83\x80\x92\x86");
  EXPECT_EQ(form().RoomView->topLevelItem(2)->text(2), "4");
  EXPECT_EQ(form().RoomView->topLevelItem(0)->text(2), "7");
  EXPECT_EQ(form().RoomView->topLevelItem(3)->text(2), "0");

  Enter(0, "alice", 3);
  EXPECT_EQ(form().Game.LocalUser().GetRoom(), 0);
  EXPECT_FALSE(form().RoomView->isHidden());
  EXPECT_FALSE(form().UserBox->isHidden());
  AddUser("alice", 0, 3, 0, 3);
  AddUser("bob", 0, 4, 0, 3);
  fake->Deliver("USER 0," + BS + "carol" + BS + ":3");
  ASSERT_EQ(form().UserBox->count(), 3);
  EXPECT_EQ(form().UserBox->item(0)->text(), "carol");

  // Selecting a room asks who is in it, once until the answer ends.
  form().RoomView->setCurrentItem(form().RoomView->topLevelItem(2));
  form().RoomView->setCurrentItem(form().RoomView->topLevelItem(3));
  ASSERT_EQ(fake->sent.size(), 1u);
  EXPECT_EQ(fake->sent[0], "RUSER 2:3\r");
  fake->Deliver("ADDUSER2 " + BS + "dave" + BS + ",2," + BS + "f" + BS + ":3");
  fake->Deliver("RUSEREND:3");
  EXPECT_FALSE(form().Game.RuserPending());
  EXPECT_EQ(form().UserBox->count(), 1);

  // "入室" asks for the selected room unless it is full (more than 4).
  form().RoomView->setCurrentItem(form().RoomView->topLevelItem(2));
  form().InButton->click();
  EXPECT_EQ(fake->sent.back(), "CHROOM 2:3\r");
  fake->Deliver("ROOM 2,0,5:3");
  fake->sent.clear();
  form().InButton->click();
  EXPECT_TRUE(fake->sent.empty());
}

TEST_F(ClientForm, SeatsRowsAndLeaving) {
  Start();
  LogIn("bob", 4);
  Enter(1, "bob", 4);
  EXPECT_TRUE(form().RoomView->isHidden());
  EXPECT_FALSE(form().OutButton->isHidden());
  AddUser("alice", 1, 3, 0, 4);
  AddUser("bob", 1, 4, 0, 4);
  AddUser("carol", 1, 5, 0, 4);
  AddUser("dave", 1, 6, 0, 4);
  AddUser("erin", 1, 7, 0, 4);
  AddUser("x", 1, 9, 0, 99);  // another user's copy: nothing
  EXPECT_EQ(form().Game.PlayerCount(), 5);
  EXPECT_EQ(form().Game.MySeat(), 1);
  EXPECT_TRUE(form().StartButton->isHidden());
  // A member leaving seat 2 of 5 moves seats 3 and 4 down.
  fake->Deliver("REMOVEUSER " + BS + "carol" + BS + ":4");
  EXPECT_EQ(form().Game.PlayerCount(), 4);
  EXPECT_EQ(form().Game.Seats()[2].GetName(), "dave");
  EXPECT_EQ(form().Game.Seats()[3].GetName(), "erin");
  EXPECT_EQ(form().Game.Seats()[3].UserNo, 7);
  EXPECT_EQ(form().Game.Seats()[4].GetName(), "");
  // The host leaves: the own player becomes seat 0 and gets the Start button.
  fake->Deliver("BYE " + BS + "alice" + BS + ":4");
  EXPECT_EQ(form().Game.MySeat(), 0);
  EXPECT_FALSE(form().StartButton->isHidden());
  EXPECT_EQ(form().Game.State(), client::gsNoGame);
}

TEST_F(ClientForm, SixSeatsAtMostAndComputerKinds) {
  StartSeated("a", 1);
  EXPECT_FALSE(form().StartButton->isHidden());  // first member: the host
  AddUser("c1", 1, 11, 1, 1);
  AddUser("f1", 1, 12, 2, 1);
  for (int i = 0; i < 4; ++i) AddUser("h" + std::to_string(i), 1, 20 + i, 0, 1);
  EXPECT_EQ(form().Game.PlayerCount(), 6);
  EXPECT_EQ(form().Game.Seats()[5].GetName(), "h2");
  EXPECT_TRUE(form().Game.Seats()[1].HasFlags(kest::ufComputer));
  EXPECT_FALSE(form().Game.Seats()[1].HasFlags(kest::ufNonParticipant));
  EXPECT_TRUE(form().Game.Seats()[2].HasFlags(kest::ufComputer | kest::ufNonParticipant));
  fake->Deliver("CPUTYPE 3:11");
  EXPECT_EQ(form().Game.Seats()[1].CpuType, 3);
  fake->Deliver("CPUTYPE 2:55");  // no such seat: ignored
  for (int s = 0; s < 6; ++s) {
    EXPECT_EQ(form().Game.Seats()[s].CpuType, s == 1 ? 3 : 0) << s;
    EXPECT_EQ(form().Game.Seats()[s].HasFlags(kest::ufComputer), s == 1 || s == 2) << s;
  }
}

TEST_F(ClientForm, HostAddsComputerPlayersAndStarts) {
  Start();
  form().Game.SetTableOptions(true, false, 2);
  LogIn("alice", 3);
  Enter(1, "alice", 3);
  AddUser("alice", 1, 3, 0, 3);
  AddUser("bob", 1, 4, 0, 3);
  form().StartButton->click();
  ASSERT_EQ(fake->sent.size(), 4u);
  const auto& npc = form().Forms().npcSetDlg->Names();
  EXPECT_EQ(fake->sent[0], "ADDCOM " + BS + npc.GetNpcName(1, true) + BS + "," + BS +
                               npc.GetNpcName(1, false) + BS + ",0:3\r");
  EXPECT_EQ(fake->sent[1].substr(0, 7), "ADDCOM ");
  EXPECT_EQ(fake->sent[2].substr(0, 8), "ADDCOM2 ");
  EXPECT_EQ(fake->sent[3].substr(0, 8), "ADDCOM2 ");
  EXPECT_TRUE(form().Game.ComputersAdded());
  EXPECT_EQ(form().Game.ExpectedPlayers(), 6);
  fake->sent.clear();

  // The first computer player's name is taken: it is asked for again, tagged.
  fake->Deliver("ERR SAMENAME\r");
  EXPECT_EQ(form().Game.MyUserId(), 3);
  ASSERT_EQ(fake->sent.size(), 1u);
  EXPECT_NE(fake->sent[0].find(npc.GetNpcName(1, true) + "(\x94\x92)"), std::string::npos) << fake->sent[0];
  fake->sent.clear();
  // The retried one logs in last and still enters first: its slot's seat.
  for (int id : {10, 11, 12, 13}) fake->Deliver("LOGIN:" + std::to_string(id));
  EXPECT_EQ(fake->sent, (std::vector<std::string>{"CHROOM 1:13\r", "CHROOM 1:10\r", "CHROOM 1:11\r", "CHROOM 1:12\r"}));
  fake->sent.clear();
  AddUser("c1", 1, 13, 1, 3);
  AddUser("c2", 1, 10, 1, 3);
  AddUser("f1", 1, 11, 2, 3);
  EXPECT_TRUE(fake->sent.empty());
  AddUser("f2", 1, 12, 2, 3);
  ASSERT_EQ(fake->sent.size(), 1u);
  EXPECT_EQ(fake->sent[0], "START 1,0:3\r");
  EXPECT_EQ(form().Game.ExpectedPlayers(), 0);
}

TEST_F(ClientForm, StartAloneWithoutComputersWarns) {
  StartSeated("alice", 3);
  form().StartButton->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "\x8c\x78\x8d\x90");
  EXPECT_TRUE(fake->sent.empty());

  AddUser("bob", 1, 4, 0, 3);  // two humans, no computer players: fillers only
  form().StartButton->click();
  ASSERT_EQ(fake->sent.size(), 4u);
  for (auto& l : fake->sent) EXPECT_EQ(l.substr(0, 8), "ADDCOM2 ");
}

TEST_F(ClientForm, PrintAndChat) {
  Start();
  LogIn("alice", 3);
  Enter(3, "alice", 3);
  client::TChatWin* chat = form().Forms().chatWin;
  fake->Deliver("PRINT " + BS + "[bob] hi" + BS + ":3");
  fake->Deliver("PRINT " + BS + "[bob] not mine" + BS + ":9");
  EXPECT_EQ(chat->ChatMsg->toPlainText(), "[bob] hi");
  chat->ChatLine->setText("hello");
  chat->ChatLineEnter();
  EXPECT_EQ(fake->sent.back(), "CHAT 3," + BS + "hello" + BS + ":3\r");
  EXPECT_EQ(chat->ChatLine->text(), "");

  // Past 32768 characters, the first half of the lines goes at the next send.
  chat->ChatMsg->clear();
  QString line(81, QChar('x'));
  for (int i = 0; i < 400; ++i) chat->ChatMsg->appendPlainText(line + QString::number(i % 10));
  ASSERT_GT(chat->ChatMsg->toPlainText().size(), 32768);
  chat->ChatLineEnter();
  EXPECT_EQ(chat->ChatMsg->document()->blockCount(), 200);

  // A line that arrives is cut by the same rule.
  chat->ChatMsg->clear();
  for (int i = 0; i < 400; ++i) chat->ChatMsg->appendPlainText(line + QString::number(i % 10));
  fake->Deliver("PRINT " + BS + "[bob] last" + BS + ":3");
  EXPECT_EQ(chat->ChatMsg->document()->blockCount(), 201);
  EXPECT_EQ(chat->ChatMsg->document()->lastBlock().text(), "[bob] last");
  // A single line past the limit keeps its first 32768 characters.
  chat->ChatMsg->clear();
  fake->Deliver("PRINT " + BS + "[bob] " + std::string(40000, 'y') + BS + ":3");
  EXPECT_EQ(chat->ChatMsg->toPlainText().size(), 32768);
  EXPECT_TRUE(chat->ChatMsg->toPlainText().startsWith("[bob] yyy"));
}

TEST_F(ClientForm, SettingsWrittenAtCloseEvenUnwritable) {
  home->Ini("[Option]\r\nKOKUSOMODE=0\r\nCPUCOUNT=7\r\n[NPC]\r\nNPC2=bob_face\r\n");
  Start();
  EXPECT_FALSE(form().Game.KokusoMode());
  EXPECT_EQ(form().Game.CpuCount(), 5);
  EXPECT_EQ(form().Forms().npcSetDlg->Names().GetNpcName(1, false), "bob_face");
  // A saved name without a face picture falls back to the first listed face.
  EXPECT_EQ(form().Forms().npcSetDlg->Names().GetNpcName(0, false), kFaceA);
  auto* dlg = form().Forms().loginDialog;
  EXPECT_EQ(dlg->AddrEdit->text(), "127.0.0.1");
  EXPECT_EQ(dlg->PortEdit->text(), "3201");
  dlg->NameEdit->setText(" zed ");
  dlg->FaceSelBox->setCurrentIndex(1);
  form().close();
  plat::TIniFile ini((home->path / "velmora.ini").string());
  EXPECT_EQ(ini.ReadString("User", "NAME", ""), "zed");
  EXPECT_EQ(ini.ReadString("User", "FACE", ""), "bob_face");
  EXPECT_EQ(ini.ReadString("Option", "KOKUSOMODE", ""), "0");
  EXPECT_EQ(ini.ReadString("NPC", "NPC2", ""), "bob_face");
  app.reset();

  // A settings file that cannot be written (a folder in its place, which no
  // user can write over): the failure is logged and the window still closes.
  std::filesystem::remove(home->path / "velmora.ini");
  std::filesystem::create_directory(home->path / "velmora.ini");
  Start();
  form().close();
  EXPECT_TRUE(form().Closing);
  EXPECT_NE(form().Memo2->toPlainText().indexOf("settings not saved"), -1);
}

TEST_F(ClientForm, NpcDialogCancelRestoresAndOkStores) {
  Start();
  client::TNpcSetDlg* dlg = form().Forms().npcSetDlg;
  npcAnswer = [dlg](QDialog&) {
    dlg->ComboBoxes[0]->setCurrentIndex(1);
    dlg->CancelBtnClick();
    return 2;
  };
  dlg->show();  // remembers the selections
  int before = dlg->ComboBoxes[0]->currentIndex();
  form().NPCN1Click();
  EXPECT_EQ(dlg->ComboBoxes[0]->currentIndex(), before);
  dlg->hide();

  npcAnswer = [dlg](QDialog&) {
    dlg->ComboBoxes[2]->setCurrentIndex(1);
    dlg->CpuCount->setCurrentIndex(3);
    dlg->OKBtnClick();
    return 1;
  };
  form().NPCN1Click();
  EXPECT_EQ(form().Game.CpuCount(), 3);
  EXPECT_EQ(dlg->Names().GetNpcName(2, false), client::S(dlg->ComboBoxes[2]->itemText(1)));
}

TEST_F(ClientForm, LineInsideHandlerDoesNotHang) {
  Start();
  LogIn("alice", 3);
  // Closing the connection inside the LOCKED handler delivers ":3" at once.
  fake->OnLineArrived = [this, inner = fake->OnLineArrived](const std::string& l) {
    inner(l);
    if (l == "ERR LOCKED\r") inner(":3");
  };
  fake->Deliver("ERR LOCKED\r");
  Settle();
  EXPECT_TRUE(form().Closing);
}

}  // namespace

namespace {

class AutoLogin : public ClientForm {
 protected:
  void SetUp() override {
    ClientForm::SetUp();
    ::setenv("VELMORA_AUTOLOGIN", "1", 1);
  }
  void TearDown() override {
    ::unsetenv("VELMORA_AUTOLOGIN");
    ClientForm::TearDown();
  }
};

TEST_F(AutoLogin, AcceptsSettingsOnceWithoutAsking) {
  home->Ini(std::string("[Server]\nIPADDR=localhost\nPORT=3300\n[User]\nNAME=zed\nFACE=bob_face\n"));
  Start();
  form().ShowConnectDialog();
  EXPECT_EQ(dialogs, 0);
  EXPECT_EQ(fake->host, "localhost");
  EXPECT_EQ(fake->port, 3300);
  fake->Connect();
  EXPECT_EQ(fake->sent.back(), "LOGIN " + BS + "zed" + BS + "," + BS + "bob_face" + BS + ":0\r");
  fake->Deliver("LOGIN:2");
  Enter(1, "zed", 2);
  // Once seated, a later error asks the player as usual.
  fake->OnError("reset");
  Settle();
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(form().ExitCode(), 0);
}

TEST_F(AutoLogin, FailureEndsProgramWithoutAsking) {
  struct Row {
    const char* what;
    std::function<void(FakeConnection&)> fail;
  } rows[] = {
      {"refused connection", [](FakeConnection& f) { f.OnError("connection refused"); }},
      {"same name", [](FakeConnection& f) { f.Connect(), f.Deliver("ERR SAMENAME\r"); }},
      {"locked", [](FakeConnection& f) {
         f.Connect(), f.Deliver("LOGIN:3"), f.Deliver("ERR LOCKED\r"), f.Deliver(":3");
       }},
  };
  for (const Row& r : rows) {
    ::setenv("VELMORA_AUTOLOGIN", "1", 1);
    home->Ini("[User]\nNAME=zed\nFACE=bob_face\n");
    Start();
    form().ShowConnectDialog();
    r.fail(*fake);
    Settle();
    EXPECT_EQ(dialogs, 0) << r.what;
    EXPECT_TRUE(form().Closing) << r.what;
    EXPECT_NE(form().ExitCode(), 0) << r.what;
    app.reset();
  }
}

}  // namespace

namespace {

TEST_F(ClientForm, SixHumansStartAtOnceAndComputersFollowHostsRoom) {
  Start();
  LogIn("h0", 1);
  Enter(3, "h0", 1);
  for (int i = 0; i < 6; ++i) AddUser("h" + std::to_string(i), 3, 1 + i, 0, 1);
  form().StartButton->click();
  ASSERT_EQ(fake->sent.size(), 1u);
  EXPECT_EQ(fake->sent[0], "START 1,0:1\r");
  fake->Deliver("LOGIN:9");  // a computer player joins the host's own table
  EXPECT_EQ(fake->sent.back(), "CHROOM 3:9\r");
}

}  // namespace
