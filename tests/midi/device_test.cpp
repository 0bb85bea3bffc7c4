// The threaded outputs: the silent device with its real timing and callback
// thread, and FluidSynth rendering offline.
#include <unistd.h>

#include "FluidMidi.h"
#include "SmfBuilder.h"
#include "midistrm.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

using namespace midi;
using namespace miditest;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kMusicDir = VELMORA_MUSIC_DIR;

// Waits at most `limit` for `done`.
template <class F>
bool WaitFor(F done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
  auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

bool Load(TMidiStream& player, const Bytes& file) {
  std::istringstream s(Str(file));
  return player.LoadStream(s);
}

// 2000 notes one tick apart at a fast tempo: three buffers, about 40 ms.
Bytes FastTrack() {
  Bytes track = Cat({Var(0), {0xFF, 0x51, 0x03, 0x00, 0x27, 0x10}});
  for (int i = 0; i < 2000; ++i) track = Cat({track, Var(1), {0x90, uint8_t(i % 128), 0}});
  return Cat({track, EndOfTrack()});
}

struct Returned {
  std::atomic<int> count{0};
  std::atomic<bool> otherThread{true};
  std::thread::id caller = std::this_thread::get_id();
};

void CountDone(MidiStreamPort*, uint32_t message, void* instance, uintptr_t, uintptr_t) {
  auto* r = static_cast<Returned*>(instance);
  if (message != kMomDone) return;
  if (std::this_thread::get_id() == r->caller) r->otherThread = false;
  ++r->count;
}

TEST(NullMidiDevice, PortQueuesPausedAndReturnsBuffersOnItsThread) {
  auto driver = MakeNullMidiDriver();
  Returned returned;
  std::unique_ptr<MidiStreamPort> port, other;
  EXPECT_EQ(driver->Open(1, CountDone, &returned, other), kMidiErrBadDeviceId);
  ASSERT_EQ(driver->Open(0, CountDone, &returned, port), kMidiOk);
  Bytes records = Cat({Rec(0, 0x643C90), Rec(0, 0x3C80)});
  MidiHeader h{records.data(), 24, 24, 0};
  EXPECT_EQ(port->Out(&h), kMidiErrUnprepared);
  ASSERT_EQ(port->PrepareHeader(&h), kMidiOk);
  ASSERT_EQ(port->Out(&h), kMidiOk);
  EXPECT_EQ(port->Out(&h), kMidiErrStillPlaying);
  // Paused: the buffer stays queued.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(returned.count, 0);
  EXPECT_EQ(port->UnprepareHeader(&h), kMidiErrStillPlaying);
  EXPECT_EQ(port->Close(), kMidiErrStillPlaying);
  // Reset hands the buffer back before it returns.
  ASSERT_EQ(port->Reset(), kMidiOk);
  EXPECT_EQ(returned.count, 1);
  EXPECT_EQ(h.flags, kMhdrPrepared | kMhdrDone);
  ASSERT_EQ(port->Out(&h), kMidiOk);
  ASSERT_EQ(port->Restart(), kMidiOk);
  ASSERT_TRUE(WaitFor([&] { return returned.count == 2; }));
  EXPECT_TRUE(returned.otherThread);
  EXPECT_EQ(port->UnprepareHeader(&h), kMidiOk);
  EXPECT_EQ(port->Close(), kMidiOk);
}

TEST(NullMidiDevice, PlaysEveryBufferOnItsOwnThreadToTheEnd) {
  auto driver = MakeNullMidiDriver();
  TMidiStream player(nullptr, driver.get());
  ASSERT_TRUE(Load(player, Smf(FastTrack())));
  EXPECT_EQ(player.FillCount(), 1u);
  // Opened paused: nothing is played before Play.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(player.FillCount(), 1u);
  player.Play();
  ASSERT_TRUE(WaitFor([&] { return player.StreamState() == 3; }));
  EXPECT_EQ(player.FillCount(), 3u);
  EXPECT_EQ(player.Tempo(), 10000u);
  player.Stop();
}

TEST(NullMidiDevice, KeepsTheTimeOfTheDeltas) {
  auto driver = MakeNullMidiDriver();
  TMidiStream player(nullptr, driver.get());
  // The second buffer starts with a delta of 100 ms (96 ticks of 480 at
  // 500000 us a quarter); the third fill comes only after it has played.
  Bytes track;
  for (int i = 0; i < 833; ++i) track = Cat({track, Var(0), {0x90, 60, 0}});
  track = Cat({track, Var(96), {0x90, 60, 0}});
  for (int i = 0; i < 833; ++i) track = Cat({track, Var(0), {0x90, 60, 0}});
  track = Cat({track, EndOfTrack()});
  ASSERT_TRUE(Load(player, Smf(track)));
  auto start = Clock::now();
  player.Play();
  ASSERT_TRUE(WaitFor([&] { return player.FillCount() == 3; }));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(90));
  player.Stop();
}

TEST(NullMidiDevice, NoFillAfterStopReturns) {
  auto driver = MakeNullMidiDriver();
  for (int round = 0; round < 20; ++round) {
    TMidiStream player(nullptr, driver.get());
    Bytes track;
    for (int i = 0; i < 40; ++i) track = Cat({track, Var(0), {0x90, 60, 1}});
    player.SetLoopMode(true);
    ASSERT_TRUE(Load(player, Smf(Cat({track, EndOfTrack()}))));
    player.Play();
    ASSERT_TRUE(WaitFor([&] { return player.FillCount() > uint64_t(round % 5) * 10; }));
    player.Stop();
    uint64_t fills = player.FillCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(player.FillCount(), fills);
  }
}

TEST(NullMidiDevice, ChosenByTheEnvironment) {
  setenv("VELMORA_MIDI", "null", 1);
  TMidiStream player;  // the process's output
  EXPECT_EQ(player.NumDevs(), 1u);
  ASSERT_TRUE(Load(player, Smf(Cat({Var(0), {0x90, 60, 1}, EndOfTrack()}))));
  player.Play();
  EXPECT_TRUE(player.Playing());
  player.Stop();
}

TEST(FluidSynthLive, WithoutAudioOutputPlaysSilentlyWithoutAnError) {
  FluidSynthDriver driver({"no-such-output"});
  TMidiStream player(nullptr, &driver);
  bool box = false;
  player.SetMessageBoxHook([&](const std::string&, const std::string&) { box = true; });
  ASSERT_TRUE(Load(player, Smf(FastTrack())));
  EXPECT_FALSE(driver.Audible());
  player.Play();
  ASSERT_TRUE(WaitFor([&] { return player.StreamState() == 3; }));
  player.Stop();
  // One stream at a time; closing frees the device for the next.
  ASSERT_TRUE(Load(player, Smf(FastTrack())));
  player.Stop();
  QCoreApplication::sendPostedEvents();
  EXPECT_FALSE(box);
}

TEST(FluidSynthRendering, GeneratedFileRendersToSound) {
  std::string soundfont = FindSoundFont();
  if (soundfont.empty()) GTEST_SKIP() << "no General MIDI soundfont installed";
  std::string error;
  auto renderer = FluidSynthRenderer::Create(soundfont, 22050, 2.0, error);
  ASSERT_TRUE(renderer) << error;
  {
    TMidiStream player(nullptr, renderer.get());
    std::ifstream in(kMusicDir + "/op.mid", std::ios::binary);
    ASSERT_TRUE(player.LoadStream(in));
    player.Play();
    ASSERT_TRUE(WaitFor([&] { return renderer->Full(); }));
    player.Stop();
  }
  std::vector<int16_t> samples = renderer->Samples();
  ASSERT_EQ(samples.size(), 2u * 44100);
  int peak = 0;
  for (int16_t s : samples) peak = std::max(peak, std::abs(int(s)));
  EXPECT_GT(peak, 1000);

  // The wave file holds the same samples after a 44-byte header.
  std::string path = ::testing::TempDir() + "render_test_" + std::to_string(::getpid()) + ".wav";
  ASSERT_TRUE(WriteWaveFile(path, samples, renderer->SampleRate()));
  std::ifstream wav(path, std::ios::binary | std::ios::ate);
  EXPECT_EQ(static_cast<size_t>(wav.tellg()), 44 + samples.size() * 2);
  std::remove(path.c_str());
}

}  // namespace
