// The six shipped music files and the client's music interface.
#include "EventLoop.h"
#include "FakeMidi.h"
#include "MusicPlayer.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace midi;

namespace {

const std::string kMusicDir = VELMORA_MUSIC_DIR;

class MusicTest : public ::testing::Test {
 protected:
  void SetUp() override {
    music.Player().SetMessageBoxHook([this](const std::string& t, const std::string& c) {
      boxes.push_back(c + ": " + t);
    });
  }
  size_t Count(const std::string& call) {
    auto calls = driver.Calls();
    return std::count(calls.begin(), calls.end(), call);
  }

  RecordingMidiDriver driver;
  MusicPlayer music{&driver};
  std::vector<std::string> boxes;
};

TEST_F(MusicTest, EachShippedFileLoadsAndPlaysToItsEnd) {
  ASSERT_TRUE(music.LoadFiles(kMusicDir).empty()) << kMusicDir;
  for (const char* name : MusicPlayer::MusicFiles) {
    SCOPED_TRACE(name);
    std::ifstream in(kMusicDir + "/" + name, std::ios::binary);
    TMidiStream player(nullptr, &driver);
    ASSERT_TRUE(player.LoadStream(in));
    EXPECT_EQ(player.MidiFormat(), 0);
    EXPECT_EQ(player.MidiTracks(), 1);
    player.Play();
    int buffers = 1;
    while (driver.CompleteBuffer()) ASSERT_LT(++buffers, 1000);
    EXPECT_EQ(player.StreamState(), 3);
    EXPECT_TRUE(player.Loaded());
  }
  testloop::Drain();
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MusicTest, PlayMusicLoopsTheFirstFourAndDoesNotRestartTheSameIndex) {
  ASSERT_TRUE(music.LoadFiles(kMusicDir).empty());
  for (int index : {3, 0, 1, 2, 4, 5, 3}) {
    SCOPED_TRACE(index);
    driver.ClearCalls();
    music.PlayMusic(index);
    EXPECT_EQ(music.CurrentMusic(), index);
    EXPECT_TRUE(music.Player().Playing());
    EXPECT_EQ(music.Player().LoopMode(), index <= 3);
    EXPECT_EQ(Count("Open 0"), 1u);
    EXPECT_EQ(Count("Restart"), 1u);
    // The same index again: nothing happens.
    driver.ClearCalls();
    music.PlayMusic(index);
    EXPECT_TRUE(driver.Calls().empty());
  }
  testloop::Drain();
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MusicTest, IndexOutsideTheSixStopsAndTheLastIndexCanStartAgain) {
  ASSERT_TRUE(music.LoadFiles(kMusicDir).empty());
  music.PlayMusic(0);
  for (int index : {-1, 6}) {
    driver.ClearCalls();
    music.PlayMusic(index);
    EXPECT_FALSE(music.Player().Playing());
    EXPECT_FALSE(driver.IsOpen());
    EXPECT_EQ(music.CurrentMusic(), -1);
    music.PlayMusic(0);
    EXPECT_TRUE(music.Player().Playing());
  }
}

TEST_F(MusicTest, MissingFilesAreReportedAndPlayNothing) {
  auto missing = music.LoadFiles(kMusicDir + "/no-such-folder");
  EXPECT_EQ(missing.size(), 6u);
  music.PlayMusic(3);
  testloop::Drain();
  EXPECT_FALSE(music.Player().Playing());
  EXPECT_FALSE(driver.IsOpen());
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
