// TMidiStream against the recording driver: file checks, the exact event
// records of each fill, looping, errors and stopping.
#include "EventLoop.h"
#include "FakeMidi.h"
#include "SmfBuilder.h"
#include "midistrm.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

using namespace midi;
using namespace miditest;

namespace {

// "スタンダード・ミディ・フォーマットのファイルではありません"
const std::string kNotSmf =
    "\x83\x58\x83\x5e\x83\x93\x83\x5f\x81\x5b\x83\x68\x81\x45\x83\x7e\x83\x66\x83\x42\x81\x45"
    "\x83\x74\x83\x48\x81\x5b\x83\x7d\x83\x62\x83\x67\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b"
    "\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1";
// "正しいMIDIフォーマットのファイルではありません"
const std::string kNoTrack =
    "\x90\xb3\x82\xb5\x82\xa2MIDI\x83\x74\x83\x48\x81\x5b\x83\x7d\x83\x62\x83\x67"
    "\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9"
    "\x82\xf1";
// "フォーマット０ではありません"
const std::string kNotFormat0 =
    "\x83\x74\x83\x48\x81\x5b\x83\x7d\x83\x62\x83\x67\x82\x4f\x82\xc5\x82\xcd\x82\xa0\x82\xe8"
    "\x82\xdc\x82\xb9\x82\xf1";
// "ファイルサイズがフォーマットと異なります"
const std::string kBadLength =
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x83\x54\x83\x43\x83\x59\x82\xaa\x83\x74\x83\x48\x81\x5b"
    "\x83\x7d\x83\x62\x83\x67\x82\xc6\x88\xd9\x82\xc8\x82\xe8\x82\xdc\x82\xb7";

Bytes Note(uint32_t delta, uint8_t status, uint8_t key, uint8_t vel) {
  return Cat({Var(delta), {status, key, vel}});
}

struct Box {
  std::string text, caption;
  bool operator==(const Box&) const = default;
};

class MidiStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    player.SetMessageBoxHook([this](const std::string& t, const std::string& c) {
      boxes.push_back({t, c});
    });
    player.SetSysExTextHook([this](const std::string& t) { sysex.push_back(t); });
  }

  bool Load(const Bytes& file) {
    std::istringstream s(Str(file));
    bool ok = player.LoadStream(s);
    testloop::Drain();
    return ok;
  }

  Bytes Buffer(size_t i) {
    auto b = driver.Buffers();
    return i < b.size() ? b[i] : Bytes{};
  }

  // All records queued so far, joined.
  Bytes AllRecords() {
    Bytes all;
    for (const Bytes& b : driver.Buffers()) all.insert(all.end(), b.begin(), b.end());
    return all;
  }

  RecordingMidiDriver driver;
  TMidiStream player{nullptr, &driver};
  std::vector<Box> boxes;
  std::vector<std::string> sysex;
};

// ------------------------------------------------------------ file checks

TEST_F(MidiStreamTest, HeaderErrorsShowTheirTextAndCaptionAndLoadNothing) {
  Bytes good = Smf(Cat({Note(0, 0x90, 60, 100), EndOfTrack()}));
  Bytes notMthd = good;
  notMthd[0] = 'R';
  Bytes noTrack = good;
  noTrack[14] = 'X';
  // A header length of 10 is not skipped: the track id is looked for at 14.
  Bytes longHeader = good;
  longHeader[7] = 10;
  longHeader.insert(longHeader.begin() + 14, {0, 0, 0, 0});
  Bytes format1 = Smf(Cat({Note(0, 0x90, 60, 100), EndOfTrack()}), 480, 1);
  Bytes shortFile = good;
  shortFile.resize(shortFile.size() - 1);

  struct Case {
    const char* name;
    Bytes file;
    std::string text, caption;
  } cases[] = {
      {"not MThd", notMthd, kNotSmf, "Error : GetHeaderChunk"},
      {"too short for a header", Bytes{'M', 'T', 'h', 'd', 0, 0}, kNotSmf, "Error : GetHeaderChunk"},
      {"empty", Bytes{}, kNotSmf, "Error : GetHeaderChunk"},
      {"no MTrk", noTrack, kNoTrack, "Error : GetTrackChunk"},
      {"header length 10", longHeader, kNoTrack, "Error : GetTrackChunk"},
      {"cut before the track length", Bytes(good.begin(), good.begin() + 20), kNoTrack,
       "Error : GetTrackChunk"},
      {"format 1", format1, kNotFormat0, "Error : CheckMidiFormat"},
      {"shorter than its chunks", shortFile, kBadLength, "Error : CheckMidiFileLength"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.clear();
    driver.ClearCalls();
    EXPECT_FALSE(Load(c.file));
    EXPECT_EQ(boxes, (std::vector<Box>{{c.text, c.caption}}));
    EXPECT_FALSE(player.Loaded());
    EXPECT_EQ(player.MidiFormat(), 0);
    EXPECT_EQ(driver.Calls(), (std::vector<std::string>{"Open 0", "PrepareHeader"}));
    // The device stays open until the next Stop.
    EXPECT_TRUE(driver.IsOpen());
    player.Play();
    EXPECT_FALSE(player.Playing());
    player.Stop();
    EXPECT_FALSE(driver.IsOpen());
  }
}

TEST_F(MidiStreamTest, OpensPausedWithTempoAndDivisionBeforeTheFirstBuffer) {
  ASSERT_TRUE(Load(Smf(Cat({Note(0, 0x90, 60, 100), Note(96, 0x80, 60, 0), EndOfTrack()}), 96)));
  EXPECT_EQ(driver.Calls(), (std::vector<std::string>{"Open 0", "PrepareHeader", "SetTempo 500000",
                                                      "SetTimeDivision 96", "Out 24"}));
  EXPECT_TRUE(player.Loaded());
  EXPECT_FALSE(player.Playing());
  EXPECT_EQ(player.MidiFormat(), 0);
  EXPECT_EQ(player.MidiTracks(), 1);
  EXPECT_EQ(player.MidiDivision(), 96);
  EXPECT_EQ(player.Tempo(), 500000u);
  player.Play();
  EXPECT_TRUE(player.Playing());
  EXPECT_EQ(driver.Calls().back(), "Restart");
  player.Stop();
  auto calls = driver.Calls();
  EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
            (std::vector<std::string>{"Reset", "UnprepareHeader", "Close"}));
  EXPECT_FALSE(player.Loaded());
  EXPECT_FALSE(player.Playing());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MidiStreamTest, StopWithNothingOpenTouchesNoDevice) {
  player.Stop();
  testloop::Drain();
  EXPECT_TRUE(driver.Calls().empty());
  EXPECT_TRUE(boxes.empty());
}

// ------------------------------------------------------------ records

TEST_F(MidiStreamTest, ShortEventsWithRunningStatusAndSkippedMetaEvents) {
  Bytes track = Cat({
      Note(0, 0x90, 0x3C, 0x64),
      Cat({Var(10), {0x3E, 0x64}}),             // running status
      Cat({Var(5), {0xC0, 0x05}}),              // one data byte
      Cat({Var(0), {0xD0, 0x20}}),              // one data byte
      Note(0, 0x80, 0x3C, 0x00),
      Cat({Var(7), {0xFF, 0x01, 0x03, 'a', 'b', 'c'}}),  // text: skipped, delta carries
      Cat({Var(3), {0xB0, 0x07, 0x64}}),
      Cat({Var(0), {0xFF, 0x03, 0x00}}),        // skipped; running status stays 0xB0
      Cat({Var(1), {0x0A, 0x40}}),
      Cat({Var(2), {0xE3, 0x00, 0x40}}),
      EndOfTrack(30),
  });
  ASSERT_TRUE(Load(Smf(track)));
  EXPECT_EQ(Buffer(0), Cat({Rec(0, 0x643C90), Rec(10, 0x643E90), Rec(5, 0x05C0), Rec(0, 0x20D0),
                            Rec(0, 0x3C80), Rec(10, 0x6407B0), Rec(1, 0x400AB0),
                            Rec(2, 0x4000E3)}));
  // Without loop mode the end of the track ends the stream.
  EXPECT_EQ(player.StreamState(), 3);
}

TEST_F(MidiStreamTest, SystemExclusiveF0AndF7ArePaddedAndF0TextIsPosted) {
  Bytes track = Cat({
      Cat({Var(4), {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7}}),
      Cat({Var(2), {0xF7, 0x02, 0x43, 0x12}}),
      Cat({Var(0), {0xF7, 0x03, 0xF0, 0x41, 0xF7}}),
      Cat({Var(0), {0xF0, 0x03, 0x41, 0x10, 0xF7}}),
      Note(1, 0x90, 60, 1),
      EndOfTrack(),
  });
  ASSERT_TRUE(Load(Smf(track)));
  EXPECT_EQ(Buffer(0), Cat({LongRec(4, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}),
                            LongRec(2, {0x43, 0x12}),
                            LongRec(0, {0xF0, 0x41, 0xF7}),
                            LongRec(0, {0xF0, 0x41, 0x10, 0xF7}),
                            Rec(1, 0x013C90)}));
  EXPECT_EQ(Buffer(0).size() % 4, 0u);
  EXPECT_EQ(sysex, (std::vector<std::string>{"f0 7e 7f 09 01 f7 ", "f0 41 f7 ", "f0 41 10 f7 "}));
}

TEST_F(MidiStreamTest, TempoEventsAreRecordedAndSetTempo) {
  Bytes track = Cat({
      Cat({Var(4), {0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}}),
      Note(2, 0x90, 60, 1),
      Cat({Var(6), {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}}),
      Cat({Var(1), {0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0}}),
      EndOfTrack(),
  });
  ASSERT_TRUE(Load(Smf(track)));
  EXPECT_EQ(Buffer(0), Cat({Rec(4, 0x010F4240), Rec(2, 0x013C90), Rec(6, 0x0107A120),
                            Rec(1, 0x010927C0)}));
  // The end of the track keeps the last tempo.
  EXPECT_EQ(player.Tempo(), 0x0927C0u);
  EXPECT_EQ(driver.Calls()[2], "SetTempo 500000");
}

TEST_F(MidiStreamTest, TempoEventOf500000) {
  ASSERT_TRUE(Load(Smf(Cat({Cat({Var(0), {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}}),
                            Note(0, 0x90, 60, 1), EndOfTrack()}))));
  EXPECT_EQ(player.Tempo(), 500000u);
}

// More than 833 short events: several fills, each under 10000 bytes, resuming
// at the data bytes of the event that did not fit.
TEST_F(MidiStreamTest, LongTrackFillsSeveralBuffersAndResumesAtTheDataBytes) {
  for (bool explicitStatus : {false, true}) {
    SCOPED_TRACE(explicitStatus ? "every event with its status" : "running status");
    driver.ClearCalls();
    Bytes track, expected;
    for (uint32_t i = 0; i < 2000; ++i) {
      uint8_t status = explicitStatus && i % 2 ? 0x91 : 0x90;
      uint8_t key = i % 128, vel = 1 + i % 100;
      uint32_t delta = i % 7;
      if (i == 0 || explicitStatus) track = Cat({track, Note(delta, status, key, vel)});
      else track = Cat({track, Var(delta), {key, vel}});
      expected = Cat({expected, Rec(delta, status | key << 8 | vel << 16)});
    }
    track = Cat({track, EndOfTrack()});
    ASSERT_TRUE(Load(Smf(track)));
    player.Play();
    while (driver.CompleteBuffer()) {
    }
    auto buffers = driver.Buffers();
    ASSERT_EQ(buffers.size(), 3u);  // 833 + 833 + 334
    EXPECT_EQ(buffers[0].size(), 9996u);
    EXPECT_EQ(buffers[1].size(), 9996u);
    EXPECT_EQ(buffers[2].size(), 334u * 12);
    EXPECT_EQ(AllRecords(), expected);
    EXPECT_EQ(player.StreamState(), 3);
    player.Stop();
  }
}

TEST_F(MidiStreamTest, SystemExclusiveThatDoesNotFitWaitsForTheNextBuffer) {
  Bytes track, expected;
  for (uint32_t i = 0; i < 830; ++i) {
    track = Cat({track, Note(1, 0x90, 60, 1)});
    expected = Cat({expected, Rec(1, 0x013C90)});
  }
  Bytes message(100, 0x11);
  track = Cat({track, Var(9), {0xF7}, Var(100), message, Note(3, 0x80, 60, 0), EndOfTrack()});
  ASSERT_TRUE(Load(Smf(track)));
  EXPECT_EQ(Buffer(0), expected);
  player.Play();
  ASSERT_TRUE(driver.CompleteBuffer());
  EXPECT_EQ(Buffer(1), Cat({LongRec(9, message), Rec(3, 0x3C80)}));
}

TEST_F(MidiStreamTest, LoopModeRestartsTheTrackInTheSameFill) {
  Bytes track = Cat({Note(5, 0x90, 60, 100), Note(10, 0x80, 60, 0), EndOfTrack(20)});
  player.SetLoopMode(true);
  ASSERT_TRUE(Load(Smf(track)));
  Bytes first = Buffer(0);
  ASSERT_EQ(first.size(), 9996u);
  Bytes pass = Cat({Rec(5, 0x643C90), Rec(10, 0x3C80)});  // the end-of-track delta is dropped
  for (size_t at = 0; at + pass.size() <= first.size(); at += pass.size())
    ASSERT_EQ(Bytes(first.begin() + at, first.begin() + at + pass.size()), pass) << at;
  EXPECT_EQ(player.StreamState(), 0);
  player.Play();
  ASSERT_TRUE(driver.CompleteBuffer());
  // 833 records is an odd count: the next buffer resumes with the note-off.
  Bytes second = Buffer(1);
  ASSERT_GE(second.size(), 24u);
  EXPECT_EQ(Bytes(second.begin(), second.begin() + 24), Cat({Rec(10, 0x3C80), Rec(5, 0x643C90)}));
  EXPECT_EQ(player.StreamState(), 1);
}

// ------------------------------------------------------------ decided changes

TEST_F(MidiStreamTest, ChunkEndCountsAsEndOfTrack) {
  // Bytes after the chunk would read as events if the reader ran past it.
  Bytes track = Cat({Note(0, 0x90, 60, 100), Note(10, 0x80, 60, 0)});
  Bytes file = Cat({Smf(track), Note(0, 0x90, 70, 70), EndOfTrack()});
  ASSERT_TRUE(Load(file));
  EXPECT_EQ(Buffer(0), Cat({Rec(0, 0x643C90), Rec(10, 0x3C80)}));
  EXPECT_EQ(player.StreamState(), 3);
  player.Stop();

  // An event cut by the chunk end is not played.
  driver.ClearCalls();
  Bytes cut = Cat({Note(0, 0x90, 60, 100), Var(4), {0x90, 0x3E}});
  ASSERT_TRUE(Load(Cat({Smf(cut), {0x50, 0x00, 0xFF, 0x2F, 0x00}})));
  EXPECT_EQ(Buffer(0), Rec(0, 0x643C90));
  EXPECT_EQ(player.StreamState(), 3);
  player.Stop();

  // With loop mode the chunk end loops like an end-of-track event.
  driver.ClearCalls();
  player.SetLoopMode(true);
  ASSERT_TRUE(Load(Smf(track)));
  Bytes looped = Buffer(0);
  ASSERT_EQ(looped.size(), 9996u);
  EXPECT_EQ(Bytes(looped.begin(), looped.begin() + 36),
            Cat({Rec(0, 0x643C90), Rec(10, 0x3C80), Rec(0, 0x643C90)}));
}

TEST_F(MidiStreamTest, LoopPassThatWritesNothingStops) {
  player.SetLoopMode(true);
  for (const Bytes& track : {Cat({Cat({Var(5), {0xFF, 0x01, 0x01, 'x'}}), EndOfTrack(3)}),
                             EndOfTrack(), Bytes{}}) {
    driver.ClearCalls();
    ASSERT_TRUE(Load(Smf(track)));
    EXPECT_EQ(driver.Calls().back(), "Out 0");
    EXPECT_EQ(player.StreamState(), 3);
    // Play resumes at the end of the track, which ends it again.
    player.Play();
    int played = 0;
    while (driver.CompleteBuffer()) ASSERT_LT(++played, 3);
    EXPECT_EQ(played, 2);
    for (const Bytes& b : driver.Buffers()) EXPECT_TRUE(b.empty());
    player.Stop();
  }
}

TEST_F(MidiStreamTest, SystemExclusiveThatCanNeverFitIsDropped) {
  // F0 and 9984 bytes pad to 9988: more than a buffer ever holds.
  Bytes huge(9984, 0x22);
  huge.back() = 0xF7;
  Bytes track = Cat({Var(5), {0xF0}, Var(9984), huge, Note(7, 0x90, 60, 1), EndOfTrack()});
  ASSERT_TRUE(Load(Smf(track)));
  EXPECT_EQ(Buffer(0), Rec(12, 0x013C90));
  EXPECT_TRUE(sysex.empty());
  // The largest message that fits an empty buffer is kept.
  driver.ClearCalls();
  Bytes fits(9983, 0x22);
  ASSERT_TRUE(Load(Smf(Cat({Var(0), {0xF0}, Var(9983), fits, EndOfTrack()}))));
  EXPECT_EQ(Buffer(0).size(), 12u + 9984u);
}

// ------------------------------------------------------------ errors

TEST_F(MidiStreamTest, DeviceErrorsShowTheSystemTextAndClearLoadedAndPlaying) {
  Bytes file = Smf(Cat({Note(0, 0x90, 60, 100), Note(10, 0x80, 60, 0), EndOfTrack()}));
  struct Case {
    const char* call;
    const char* caption;
    bool loads;
  } cases[] = {
      {"Open", "Error : midiStreamOpen", false},
      {"PrepareHeader", "Error : midiStreamPrepareHeader", false},
      {"SetTempo", "Error : midiStreamProperty Tempo", false},
      {"SetTimeDivision", "Error : midiStreamProperty TimeDiv", false},
      {"Out", "Error : midiStreamOut", false},
      {"Restart", "Error : midiStreamRestart", true},
      {"Close", "Error : midiStreamClose", true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    boxes.clear();
    driver.Fail(c.call, kMidiErrNoMem);
    // A different file each time: a file shows its box once.
    Bytes f = Cat({file, Bytes(++n, 0)});
    EXPECT_EQ(Load(f), c.loads);
    player.Play();
    player.Stop();
    testloop::Drain();
    EXPECT_EQ(boxes, (std::vector<Box>{{MidiOutGetErrorText(kMidiErrNoMem), c.caption}}));
    EXPECT_FALSE(player.Loaded());
    EXPECT_FALSE(player.Playing());
    EXPECT_FALSE(driver.IsOpen());
  }
}

TEST_F(MidiStreamTest, AFileShowsItsErrorOnce) {
  Bytes track;
  for (int i = 0; i < 3000; ++i) track = Cat({track, Note(1, 0x90, 60, 1)});
  Bytes file = Smf(Cat({track, EndOfTrack()}));
  ASSERT_TRUE(Load(file));
  player.Play();
  driver.Fail("Out", kMidiErrError, -1);
  ASSERT_TRUE(driver.CompleteBuffer());  // the refill fails
  testloop::Drain();
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_FALSE(player.Loaded());
  // Loading the same file again fails again, silently.
  EXPECT_FALSE(Load(file));
  testloop::Drain();
  EXPECT_EQ(boxes.size(), 1u);
  // Another file shows its own box.
  EXPECT_FALSE(Load(Smf(Cat({Note(0, 0x90, 60, 1), EndOfTrack()}))));
  testloop::Drain();
  EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(MidiStreamTest, BoxIsShownFromAQueuedCallNotInsideTheCaller) {
  std::istringstream s(Str(Smf(Bytes{}, 480, 1)));
  player.LoadStream(s);
  EXPECT_TRUE(boxes.empty());
  testloop::Drain();
  EXPECT_EQ(boxes.size(), 1u);
}

// ------------------------------------------------------------ stopping

TEST_F(MidiStreamTest, StopSetsTheEndBeforeTheResetReturnsTheBuffer) {
  ASSERT_TRUE(Load(Smf(Cat({Note(0, 0x90, 60, 100), Note(10, 0x80, 60, 0), EndOfTrack()}))));
  player.SetLoopMode(true);
  player.Play();
  uint64_t fills = player.FillCount();
  player.Stop();  // the fake's reset calls back with the buffer done
  EXPECT_EQ(player.FillCount(), fills);
  auto calls = driver.Calls();
  EXPECT_EQ(calls[calls.size() - 3], "Reset");
}

TEST_F(MidiStreamTest, NoFillAfterStopReturnsWhileTheCallbackThreadRuns) {
  Bytes track;
  for (int i = 0; i < 50; ++i) track = Cat({track, Note(0, 0x90, 60, 1)});
  player.SetLoopMode(true);
  ASSERT_TRUE(Load(Smf(Cat({track, EndOfTrack()}))));
  player.Play();
  std::atomic<bool> quit{false};
  std::thread callbacks([&] {
    while (!quit) {
      if (!driver.CompleteBuffer()) std::this_thread::yield();
    }
  });
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (player.FillCount() < 50 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  player.Stop();
  uint64_t fills = player.FillCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  quit = true;
  callbacks.join();
  EXPECT_GE(fills, 50u);
  EXPECT_EQ(player.FillCount(), fills);
  auto calls = driver.Calls();
  auto reset = std::find(calls.begin(), calls.end(), "Reset");
  ASSERT_NE(reset, calls.end());
  EXPECT_EQ(std::count_if(reset, calls.end(), [](const std::string& c) { return c.rfind("Out", 0) == 0; }), 0);
}

}  // namespace
