// The client's windows as a player sees them (offscreen): their place, size,
// texts and which one comes to the front.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTabWidget>
#include <QToolButton>

#include "ChatWin.h"
#include "CheckForm.h"
#include "ClientApp.h"
#include "ClientTestUtil.h"
#include "EventLoop.h"
#include "KestAbout.h"
#include "KestCardForm.h"
#include "MessageBox.h"

namespace {

using clienttest::FakeConnection;
using client::TKestClientForm;

class Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    home = std::make_unique<clienttest::HomeDir>(::testing::UnitTest::GetInstance()->current_test_info()->name());
    home->Face("alice_face");
    home->Face("unknown", qRgb(90, 90, 90));
    plat::SetMessageBoxHandler([](const plat::TMessageBoxRequest&) { return plat::idOK; });
    auto conn = std::make_unique<FakeConnection>();
    fake = conn.get();
    TKestClientForm::Devices d;
    d.connection = std::move(conn);
    app = std::make_unique<client::TClientApp>(std::move(d));
    form().RunModal = [](QDialog&) { return 0; };  // the login dialog stays unanswered
  }
  void TearDown() override {
    app.reset();
    plat::SetMessageBoxHandler(nullptr);
    home.reset();
  }
  TKestClientForm& form() { return app->Main(); }
  // Waits until w is the active window.
  static bool Active(QWidget* w) {
    return testloop::WaitUntil([w] { return QApplication::activeWindow() == w; }, 2000);
  }

  std::unique_ptr<clienttest::HomeDir> home;
  std::unique_ptr<client::TClientApp> app;
  FakeConnection* fake = nullptr;
};

// The notebook shows every row of each of its three sheets.
TEST_F(Windows, NotebookShowsEveryRow) {
  client::TCheckForm* notes = form().Forms().checkForm;
  notes->show();
  for (int g : {0, 1, 2, 0}) {
    notes->CheckPage->setCurrentIndex(g);
    testloop::Drain();
    QLabel* grid = notes->Images[size_t(g)];
    QRect inWindow(grid->mapTo(notes, QPoint(0, 0)), grid->size());
    EXPECT_TRUE(notes->rect().contains(inWindow)) << "sheet " << g << ": " << inWindow.bottom() << " below "
                                                  << notes->rect().bottom();
    QRect inSheet = grid->geometry();
    EXPECT_TRUE(notes->CheckPage->widget(g)->rect().contains(inSheet)) << "sheet " << g;
  }
}

// The main window stands in the middle of its screen, every button on it.
TEST_F(Windows, MainWindowIsCentredOnItsScreen) {
  app->Show();
  testloop::Drain();
  QRect screen = form().screen()->availableGeometry();
  QRect frame = form().frameGeometry();
  EXPECT_LE(std::abs(frame.center().x() - screen.center().x()), 1) << frame.x();
  EXPECT_LE(std::abs(frame.center().y() - screen.center().y()), 1) << frame.y();
  for (QWidget* b : std::initializer_list<QWidget*>{form().CardSpdButton, form().CheckSpdButton, form().ChatSpdButton})
    EXPECT_TRUE(screen.contains(QRect(b->mapToGlobal(QPoint(0, 0)), b->size())));
}

// Asking for a window brings it to the front, active.
TEST_F(Windows, ShowingAWindowRaisesAndActivatesIt) {
  app->Show();
  ASSERT_TRUE(Active(&form()));
  form().ChatWindow1Click();
  EXPECT_TRUE(Active(form().Forms().chatWin));
  form().activateWindow();
  ASSERT_TRUE(Active(&form()));
  form().ChatSpdButton->click();
  EXPECT_TRUE(Active(form().Forms().chatWin));

  form().Game.Controls.CardSpd = form().Game.Controls.CheckSpd = true;
  form().Sync();
  form().activateWindow();
  ASSERT_TRUE(Active(&form()));
  form().CardSpdButton->click();
  EXPECT_TRUE(Active(form().Forms().cardForm));
  form().activateWindow();
  ASSERT_TRUE(Active(&form()));
  form().CheckSpdButton->click();
  EXPECT_TRUE(Active(form().Forms().checkForm));
}

// The caption panels draw at the font their widths are computed for.
TEST_F(Windows, CaptionPanelsUseTheFontTheirWidthsAssume) {
  for (QLabel* panel : {form().RoomPanel, form().HumanPanel, form().WeaponPanel}) {
    EXPECT_EQ(panel->font().pixelSize(), 16);
    EXPECT_TRUE(panel->alignment() & Qt::AlignLeft);
  }
}

// A pasted chat text is cut to a length the server's line limit takes.
TEST_F(Windows, ChatInputIsCapped) {
  client::TChatWin* chat = form().Forms().chatWin;
  chat->ChatLine->setText(QString(5000, QChar(0x3042)));  // full-width: two bytes each
  EXPECT_EQ(chat->ChatLine->text().size(), 1000);
  chat->ChatLineEnter();
  ASSERT_FALSE(fake->sent.empty());
  EXPECT_LT(fake->sent.back().size(), 2100u);
}

// Every text of the about box is shown whole.
TEST_F(Windows, AboutBoxTextsFit) {
  QWidget* about = form().Forms().kestAbout;
  about->show();
  testloop::Drain();
  for (QLabel* l : about->findChildren<QLabel*>()) {
    if (l->text().isEmpty()) continue;
    EXPECT_LE(l->sizeHint().width(), l->width()) << l->text().toStdString();
    EXPECT_LE(l->sizeHint().height(), l->height()) << l->text().toStdString();
    EXPECT_TRUE(about->rect().contains(l->geometry())) << l->text().toStdString();
  }
}

}  // namespace
