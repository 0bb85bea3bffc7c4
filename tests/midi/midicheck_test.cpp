// The midicheck tool, run as people run it.
#include <unistd.h>

#include "FluidMidi.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>

namespace {

const std::string kBin = VELMORA_BIN_DIR;

// Exit status and combined output of a command.
std::pair<int, std::string> RunCommand(const std::string& command) {
  std::string output;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return {-1, ""};
  char buf[256];
  while (size_t n = fread(buf, 1, sizeof buf, p)) output.append(buf, n);
  int status = pclose(p);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST(Midicheck, AcceptsTheShippedFilesAndRefusesOthers) {
  auto [ok, out] = RunCommand(kBin + "/midicheck " + kBin + "/music/main.mid");
  EXPECT_EQ(ok, 0) << out;
  EXPECT_NE(out.find("format 0, 1 track(s), division 480: OK"), std::string::npos) << out;

  std::string bad = ::testing::TempDir() + "midicheck_bad_" + std::to_string(::getpid()) + ".mid";
  std::ofstream(bad, std::ios::binary) << "RIFF and not a MIDI file";
  auto [code, err] = RunCommand(kBin + "/midicheck " + bad);
  EXPECT_EQ(code, 1);
  EXPECT_NE(err.find("Error : GetHeaderChunk"), std::string::npos) << err;
  std::remove(bad.c_str());

  EXPECT_EQ(RunCommand(kBin + "/midicheck").first, 2);
}

TEST(Midicheck, RendersAWaveThatIsNotSilent) {
  if (midi::FindSoundFont().empty()) GTEST_SKIP() << "no General MIDI soundfont installed";
  std::string wav = ::testing::TempDir() + "midicheck_op_" + std::to_string(::getpid()) + ".wav";
  auto [code, out] = RunCommand(kBin + "/midicheck " + kBin + "/music/op.mid --wav " + wav + " --seconds 3");
  ASSERT_EQ(code, 0) << out;
  std::ifstream in(wav, std::ios::binary);
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_EQ(bytes.size(), 44u + 3u * 44100 * 4);
  EXPECT_EQ(bytes.substr(0, 4), "RIFF");
  int peak = 0;
  for (size_t i = 44; i + 1 < bytes.size(); i += 2) {
    int16_t s = static_cast<int16_t>(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
    peak = std::max(peak, std::abs(int(s)));
  }
  EXPECT_GT(peak, 1000);
  std::remove(wav.c_str());
}

}  // namespace
