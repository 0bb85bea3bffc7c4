// The main of the test programs that need an application object: the event
// loop for sockets, timers and queued calls, and with VELMORA_TEST_GUI the
// widgets (offscreen unless the environment says otherwise).
#include <gtest/gtest.h>

#ifdef VELMORA_TEST_GUI
#include <QApplication>
using TTestApplication = QApplication;
#else
#include <QCoreApplication>
using TTestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
#ifdef VELMORA_TEST_GUI
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
  TTestApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
