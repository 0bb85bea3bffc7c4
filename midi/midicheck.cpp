// midicheck FILE.mid [--wav OUT.wav] [--seconds N]
// Checks a music file as the game's player does and, with --wav, renders it
// offline through FluidSynth into a wave file (at most N seconds, default 60).
#include "FluidMidi.h"
#include "TextCodec.h"
#include "midistrm.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

namespace {

int Usage() {
  std::fprintf(stderr, "usage: midicheck FILE.mid [--wav OUT.wav] [--seconds N]\n");
  return 2;
}

// Loads the file into `player`; errors are printed. False when refused.
bool Load(midi::TMidiStream& player, const std::string& path) {
  bool failed = false;
  player.SetMessageBoxHook([&](const std::string& text, const std::string& caption) {
    std::fprintf(stderr, "%s: %s: %s\n", path.c_str(), caption.c_str(),
                 plat::SjisToUtf8(text).c_str());
    failed = true;
  });
  std::ifstream in(path, std::ios::binary);
  bool ok = player.LoadStream(in);
  QCoreApplication::processEvents();
  return ok && !failed;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::string file, wav;
  double seconds = 60;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--wav" && i + 1 < argc) {
      wav = argv[++i];
    } else if (arg == "--seconds" && i + 1 < argc) {
      char* end = nullptr;
      seconds = std::strtod(argv[++i], &end);
      if (*end || !(seconds > 0) || seconds > 3600) return Usage();
    } else if (file.empty() && !arg.empty() && arg[0] != '-') {
      file = arg;
    } else {
      return Usage();
    }
  }
  if (file.empty()) return Usage();
  if (!std::ifstream(file, std::ios::binary)) {
    std::fprintf(stderr, "%s: cannot open the file\n", file.c_str());
    return 1;
  }

  auto silent = midi::MakeNullMidiDriver();
  {
    midi::TMidiStream player(nullptr, silent.get());
    if (!Load(player, file)) return 1;
    std::printf("%s: format %u, %u track(s), division %u: OK\n", file.c_str(),
                player.MidiFormat(), player.MidiTracks(), player.MidiDivision());
  }
  if (wav.empty()) return 0;

  std::string soundfont = midi::FindSoundFont(), error;
  if (soundfont.empty()) {
    std::fprintf(stderr, "midicheck: no General MIDI soundfont is installed\n");
    return 1;
  }
  auto renderer = midi::FluidSynthRenderer::Create(soundfont, 44100, seconds, error);
  if (!renderer) {
    std::fprintf(stderr, "midicheck: %s\n", error.c_str());
    return 1;
  }
  {
    midi::TMidiStream player(nullptr, renderer.get());
    if (!Load(player, file)) return 1;
    player.Play();
    // Rendering runs faster than real time; it ends when the limit is
    // reached or the track has ended and no more output appears.
    using namespace std::chrono;
    auto deadline = steady_clock::now() + duration<double>(seconds * 10 + 30);
    double last = -1;
    int still = 0;
    while (!renderer->Full() && steady_clock::now() < deadline) {
      std::this_thread::sleep_for(milliseconds(20));
      double now = renderer->RenderedSeconds();
      still = (player.StreamState() == 3 && now == last) ? still + 1 : 0;
      if (still >= 10) break;
      last = now;
    }
    player.Stop();
  }
  std::vector<int16_t> samples = renderer->Samples();
  if (!midi::WriteWaveFile(wav, samples, renderer->SampleRate())) {
    std::fprintf(stderr, "midicheck: cannot write %s\n", wav.c_str());
    return 1;
  }
  std::printf("%s: wrote %.2f seconds\n", wav.c_str(),
              static_cast<double>(samples.size() / 2) / renderer->SampleRate());
  return 0;
}
