#include "MidiStreamApi.h"

#include "FluidMidi.h"
#include "ThreadedPort.h"

#include <cstdlib>
#include <cstring>

namespace midi {

std::string MidiOutGetErrorText(MidiResult code) {
  switch (code) {
    case kMidiOk: return "The command completed successfully.";
    case kMidiErrError: return "An unspecified error occurred in the MIDI output.";
    case kMidiErrBadDeviceId: return "The MIDI output device number is out of range.";
    case kMidiErrAllocated: return "The MIDI output device is already in use.";
    case kMidiErrInvalHandle: return "The MIDI stream is not open.";
    case kMidiErrNoDriver: return "No MIDI output driver is available.";
    case kMidiErrNoMem: return "Not enough memory for the MIDI output.";
    case kMidiErrInvalParam: return "An invalid parameter was passed to the MIDI output.";
    case kMidiErrUnprepared: return "The MIDI buffer header has not been prepared.";
    case kMidiErrStillPlaying: return "MIDI buffers are still queued.";
    default: return "Unknown MIDI output error " + std::to_string(code) + ".";
  }
}

namespace {

class NullMidiDriver : public MidiDriver {
 public:
  uint32_t NumDevs() override { return 1; }
  MidiResult Open(uint32_t deviceId, MidiCallback callback, void* instance,
                  std::unique_ptr<MidiStreamPort>& port) override {
    if (MidiResult r = CheckOpenArguments(deviceId, NumDevs(), callback)) return r;
    port = std::make_unique<ThreadedPort>(callback, instance, std::make_unique<PortOutput>());
    return kMidiOk;
  }
};

}  // namespace

std::unique_ptr<MidiDriver> MakeNullMidiDriver() { return std::make_unique<NullMidiDriver>(); }

MidiDriver& DefaultMidiDriver() {
  static const std::unique_ptr<MidiDriver> driver = []() -> std::unique_ptr<MidiDriver> {
    const char* choice = std::getenv("VELMORA_MIDI");
    if (choice && std::strcmp(choice, "null") == 0) return MakeNullMidiDriver();
    return std::make_unique<FluidSynthDriver>();
  }();
  return *driver;
}

}  // namespace midi
