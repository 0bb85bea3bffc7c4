#include "FluidMidi.h"

#include "ThreadedPort.h"

#include <fluidsynth.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>

namespace midi {

namespace {

bool IsFile(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// FluidSynth's own messages would land on standard error of a client that
// simply has no sound; the last error is kept for our one-line report.
std::mutex logMutex;
std::string lastFluidError;

void KeepFluidError(int, const char* message, void*) {
  std::lock_guard lock(logMutex);
  lastFluidError = message ? message : "";
}

void QuietFluidLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    fluid_set_log_function(FLUID_PANIC, KeepFluidError, nullptr);
    fluid_set_log_function(FLUID_ERR, KeepFluidError, nullptr);
    fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
    fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
    fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
  });
}

std::string LastFluidError() {
  std::lock_guard lock(logMutex);
  return lastFluidError;
}

// Sends the stream's events to a synthesizer.
class SynthOutput : public PortOutput {
 public:
  explicit SynthOutput(fluid_synth_t* synth) : synth_(synth) {}

  void ShortMessage(uint32_t message) override {
    int status = message & 0xFF, d1 = (message >> 8) & 0x7F, d2 = (message >> 16) & 0x7F;
    int chan = status & 0x0F;
    switch (status & 0xF0) {
      case 0x80: fluid_synth_noteoff(synth_, chan, d1); break;
      case 0x90:
        if (d2 == 0) fluid_synth_noteoff(synth_, chan, d1);
        else fluid_synth_noteon(synth_, chan, d1, d2);
        break;
      case 0xA0: fluid_synth_key_pressure(synth_, chan, d1, d2); break;
      case 0xB0: fluid_synth_cc(synth_, chan, d1, d2); break;
      case 0xC0: fluid_synth_program_change(synth_, chan, d1); break;
      case 0xD0: fluid_synth_channel_pressure(synth_, chan, d1); break;
      case 0xE0: fluid_synth_pitch_bend(synth_, chan, d1 | (d2 << 7)); break;
      default: break;
    }
  }

  void LongMessage(const uint8_t* data, uint32_t length) override {
    // The synthesizer takes the message without its F0 and F7 frame.
    if (length > 0 && data[0] == 0xF0) { ++data; --length; }
    if (length > 0 && data[length - 1] == 0xF7) --length;
    if (length > 0)
      fluid_synth_sysex(synth_, reinterpret_cast<const char*>(data), static_cast<int>(length),
                        nullptr, nullptr, nullptr, 0);
  }

  void Silence() override { fluid_synth_system_reset(synth_); }

 protected:
  fluid_synth_t* synth_;
};

fluid_synth_t* NewSynth(fluid_settings_t* settings, const std::string& soundfont,
                        std::string& error) {
  fluid_synth_t* synth = new_fluid_synth(settings);
  if (!synth) {
    error = "cannot create the synthesizer: " + LastFluidError();
    return nullptr;
  }
  if (soundfont.empty() || fluid_synth_sfload(synth, soundfont.c_str(), 1) == FLUID_FAILED) {
    error = soundfont.empty() ? "no General MIDI soundfont is installed"
                              : "cannot load the soundfont " + soundfont + ": " + LastFluidError();
    delete_fluid_synth(synth);
    return nullptr;
  }
  return synth;
}

}  // namespace

std::string FindSoundFont() {
  for (const char* path : {"/usr/share/sounds/sf2/default-GM.sf2",
                           "/usr/share/sounds/sf2/TimGM6mb.sf2"}) {
    if (IsFile(path)) return path;
  }
  return "";
}

// ---------------------------------------------------------------- live

FluidSynthDriver::FluidSynthDriver(std::vector<std::string> audioDrivers)
    : audioDrivers_(std::move(audioDrivers)) {}

FluidSynthDriver::~FluidSynthDriver() {
  if (audio_) delete_fluid_audio_driver(audio_);
  if (synth_) delete_fluid_synth(synth_);
  if (settings_) delete_fluid_settings(settings_);
}

void FluidSynthDriver::StartSynth() {
  started_ = true;
  QuietFluidLog();
  settings_ = new_fluid_settings();
  std::string error;
  if (!settings_) {
    error = "cannot create synthesizer settings";
  } else {
    fluid_settings_setint(settings_, "synth.cpu-cores", 1);
    synth_ = NewSynth(settings_, FindSoundFont(), error);
  }
  if (synth_) {
    for (const std::string& name : audioDrivers_) {
      if (fluid_settings_setstr(settings_, "audio.driver", name.c_str()) != FLUID_OK) continue;
      audio_ = new_fluid_audio_driver(settings_, synth_);
      if (audio_) break;
    }
    if (!audio_) error = "no audio output opens: " + LastFluidError();
  }
  if (!audio_) {
    std::fprintf(stderr, "velmora: music is silent (%s)\n", error.c_str());
    if (synth_) delete_fluid_synth(synth_);
    synth_ = nullptr;
  }
}

bool FluidSynthDriver::Audible() {
  std::lock_guard lock(mutex_);
  return audio_ != nullptr;
}

MidiResult FluidSynthDriver::Open(uint32_t deviceId, MidiCallback callback, void* instance,
                                  std::unique_ptr<MidiStreamPort>& port) {
  if (MidiResult r = CheckOpenArguments(deviceId, NumDevs(), callback)) return r;
  std::lock_guard lock(mutex_);
  if (portOpen_) return kMidiErrAllocated;
  if (!started_) StartSynth();
  std::unique_ptr<PortOutput> output;
  if (synth_) output = std::make_unique<SynthOutput>(synth_);
  else output = std::make_unique<PortOutput>();
  portOpen_ = true;
  port = std::make_unique<ThreadedPort>(callback, instance, std::move(output), [this] {
    std::lock_guard lock(mutex_);
    portOpen_ = false;
  });
  return kMidiOk;
}

// ---------------------------------------------------------------- offline

class FluidSynthRenderer::Output : public SynthOutput {
 public:
  explicit Output(FluidSynthRenderer& owner) : SynthOutput(owner.synth_), owner_(owner) {}

  bool Offline() const override { return true; }

  bool Render(double micros) override {
    double exact = micros * owner_.rate_ / 1e6 + carry_;
    auto frames = static_cast<uint64_t>(exact);
    carry_ = exact - static_cast<double>(frames);
    std::lock_guard lock(owner_.mutex_);
    uint64_t have = owner_.samples_.size() / 2;
    if (have >= owner_.maxFrames_) return false;
    if (frames > owner_.maxFrames_ - have) frames = owner_.maxFrames_ - have;
    owner_.samples_.resize((have + frames) * 2);
    int16_t* out = owner_.samples_.data() + have * 2;
    if (frames > 0)
      fluid_synth_write_s16(synth_, static_cast<int>(frames), out, 0, 2, out, 1, 2);
    return true;
  }

 private:
  FluidSynthRenderer& owner_;
  double carry_ = 0;
};

std::unique_ptr<FluidSynthRenderer> FluidSynthRenderer::Create(const std::string& soundfont,
                                                               int sampleRate, double maxSeconds,
                                                               std::string& error) {
  QuietFluidLog();
  std::unique_ptr<FluidSynthRenderer> r(new FluidSynthRenderer);
  r->rate_ = sampleRate;
  r->maxFrames_ = static_cast<uint64_t>(std::max(0.0, maxSeconds) * sampleRate);
  r->settings_ = new_fluid_settings();
  if (!r->settings_) {
    error = "cannot create synthesizer settings";
    return nullptr;
  }
  fluid_settings_setnum(r->settings_, "synth.sample-rate", sampleRate);
  fluid_settings_setint(r->settings_, "synth.cpu-cores", 1);
  r->synth_ = NewSynth(r->settings_, soundfont, error);
  if (!r->synth_) return nullptr;
  return r;
}

FluidSynthRenderer::~FluidSynthRenderer() {
  if (synth_) delete_fluid_synth(synth_);
  if (settings_) delete_fluid_settings(settings_);
}

MidiResult FluidSynthRenderer::Open(uint32_t deviceId, MidiCallback callback, void* instance,
                                    std::unique_ptr<MidiStreamPort>& port) {
  if (MidiResult r = CheckOpenArguments(deviceId, NumDevs(), callback)) return r;
  std::lock_guard lock(mutex_);
  if (portOpen_) return kMidiErrAllocated;
  portOpen_ = true;
  port = std::make_unique<ThreadedPort>(callback, instance, std::make_unique<Output>(*this),
                                        [this] {
                                          std::lock_guard lock(mutex_);
                                          portOpen_ = false;
                                        });
  return kMidiOk;
}

std::vector<int16_t> FluidSynthRenderer::Samples() {
  std::lock_guard lock(mutex_);
  return samples_;
}

double FluidSynthRenderer::RenderedSeconds() {
  std::lock_guard lock(mutex_);
  return static_cast<double>(samples_.size() / 2) / rate_;
}

bool FluidSynthRenderer::Full() {
  std::lock_guard lock(mutex_);
  return samples_.size() / 2 >= maxFrames_;
}

// ---------------------------------------------------------------- wave file

bool WriteWaveFile(const std::string& path, const std::vector<int16_t>& samples, int sampleRate) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  auto u32 = [&](uint32_t v) {
    unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    out.write(reinterpret_cast<char*>(b), 4);
  };
  auto u16 = [&](uint16_t v) {
    unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
    out.write(reinterpret_cast<char*>(b), 2);
  };
  uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  out.write("RIFF", 4);
  u32(36 + dataBytes);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(1);  // PCM
  u16(2);  // stereo
  u32(static_cast<uint32_t>(sampleRate));
  u32(static_cast<uint32_t>(sampleRate) * 4);
  u16(4);
  u16(16);
  out.write("data", 4);
  u32(dataBytes);
  for (int16_t s : samples) u16(static_cast<uint16_t>(s));
  return static_cast<bool>(out);
}

}  // namespace midi
