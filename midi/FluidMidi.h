// MIDI stream output through FluidSynth with the system's General MIDI
// soundfont: live to the audio output, or rendered offline into samples.
#pragma once

#include "MidiStreamApi.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_audio_driver_t;

namespace midi {

// The General MIDI soundfont: the default link, else TimGM6mb; "" when
// neither is installed.
std::string FindSoundFont();

// Live output. The synthesizer and the audio output start at the first Open;
// when no soundfont loads or no audio output opens, every stream is silent
// (with the same timing), so a machine without sound shows no error.
class FluidSynthDriver : public MidiDriver {
 public:
  // Audio outputs tried in order: the desktop's sound server first, then the
  // sound card. Not JACK: it would start a sound server of its own.
  explicit FluidSynthDriver(std::vector<std::string> audioDrivers = {"pulseaudio", "alsa",
                                                                     "sdl2"});
  ~FluidSynthDriver() override;

  uint32_t NumDevs() override { return 1; }
  MidiResult Open(uint32_t deviceId, MidiCallback callback, void* instance,
                  std::unique_ptr<MidiStreamPort>& port) override;

  // False once the output was found silent (after the first Open).
  bool Audible();

 private:
  void StartSynth();

  std::vector<std::string> audioDrivers_;
  std::mutex mutex_;
  bool started_ = false;
  bool portOpen_ = false;
  _fluid_hashtable_t* settings_ = nullptr;
  _fluid_synth_t* synth_ = nullptr;
  _fluid_audio_driver_t* audio_ = nullptr;
};

// Offline output: streams are played as fast as they render, into 16-bit
// interleaved stereo samples, until `maxSeconds` of output exist.
class FluidSynthRenderer : public MidiDriver {
 public:
  // Null, with `error` set, when the soundfont cannot be loaded.
  static std::unique_ptr<FluidSynthRenderer> Create(const std::string& soundfont,
                                                    int sampleRate, double maxSeconds,
                                                    std::string& error);
  ~FluidSynthRenderer() override;

  uint32_t NumDevs() override { return 1; }
  MidiResult Open(uint32_t deviceId, MidiCallback callback, void* instance,
                  std::unique_ptr<MidiStreamPort>& port) override;

  int SampleRate() const { return rate_; }
  std::vector<int16_t> Samples();
  double RenderedSeconds();
  bool Full();

 private:
  class Output;
  FluidSynthRenderer() = default;

  int rate_ = 44100;
  uint64_t maxFrames_ = 0;
  _fluid_hashtable_t* settings_ = nullptr;
  _fluid_synth_t* synth_ = nullptr;
  std::mutex mutex_;
  bool portOpen_ = false;
  std::vector<int16_t> samples_;
};

// A RIFF wave file of 16-bit interleaved stereo samples.
bool WriteWaveFile(const std::string& path, const std::vector<int16_t>& samples, int sampleRate);

}  // namespace midi
