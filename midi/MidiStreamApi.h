// Our MIDI stream output: a queue of event buffers played by their delta
// times, handed back one by one through a callback on the output's own
// thread. Drivers: FluidSynth (FluidMidi.h), a silent one that keeps the
// timing, and a recording fake for tests (FakeMidi.h).
//
// Event records in a buffer, 32-bit little-endian words:
//   delta ticks, stream id, event; for a long event the message bytes follow,
//   padded with zeros to a multiple of 4.
//   event >> 24 == 0x00: short message, status | data1 << 8 | data2 << 16
//   event >> 24 == 0x01: tempo, microseconds per quarter note in the low 24 bits
//   event >> 24 == 0x80: long (system-exclusive) message, length in the low 24 bits
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace midi {

using MidiResult = uint32_t;

enum : MidiResult {
  kMidiOk = 0,
  kMidiErrError = 1,
  kMidiErrBadDeviceId = 2,
  kMidiErrAllocated = 4,
  kMidiErrInvalHandle = 5,
  kMidiErrNoDriver = 6,
  kMidiErrNoMem = 7,
  kMidiErrInvalParam = 11,
  kMidiErrUnprepared = 64,
  kMidiErrStillPlaying = 65,
};

// The system's text for a result code.
std::string MidiOutGetErrorText(MidiResult code);

// Buffer header flags.
enum : uint32_t {
  kMhdrDone = 0x01,
  kMhdrPrepared = 0x02,
  kMhdrInQueue = 0x04,
};

// Messages passed to the callback.
enum : uint32_t {
  kMomOpen = 0x3C7,
  kMomClose = 0x3C8,
  kMomDone = 0x3C9,
};

// Event kinds, the top byte of a record's event word.
enum : uint32_t {
  kMevtShortMsg = 0x00,
  kMevtTempo = 0x01,
  kMevtLongMsg = 0x80,
};

// Any device (the mapper).
constexpr uint32_t kMidiMapper = 0xFFFFFFFFu;

struct MidiHeader {
  uint8_t* data = nullptr;
  uint32_t bufferLength = 0;
  uint32_t bytesRecorded = 0;
  uint32_t flags = 0;
};

class MidiStreamPort;

// Called with kMomDone and the header as param1 when a queued buffer has been
// played (or returned by Reset); called on the output's thread.
using MidiCallback = void (*)(MidiStreamPort* port, uint32_t message, void* instance,
                              uintptr_t param1, uintptr_t param2);

// One open stream. A stream opens paused; Restart starts playing.
class MidiStreamPort {
 public:
  virtual ~MidiStreamPort() = default;
  virtual MidiResult PrepareHeader(MidiHeader* header) = 0;
  virtual MidiResult UnprepareHeader(MidiHeader* header) = 0;
  // Microseconds per quarter note.
  virtual MidiResult SetTempo(uint32_t tempo) = 0;
  // Ticks per quarter note, or an SMPTE division (high bit set).
  virtual MidiResult SetTimeDivision(uint32_t division) = 0;
  virtual MidiResult Out(MidiHeader* header) = 0;
  virtual MidiResult Restart() = 0;
  // Stops playing, silences the output, returns every queued buffer (done)
  // and leaves the stream paused. When it returns, no callback runs any more
  // for the returned buffers.
  virtual MidiResult Reset() = 0;
  // Ends the stream; the port is destroyed afterwards. Fails while buffers
  // are queued.
  virtual MidiResult Close() = 0;
};

class MidiDriver {
 public:
  virtual ~MidiDriver() = default;
  virtual uint32_t NumDevs() = 0;
  // Opens device `deviceId` (or kMidiMapper); `callback` gets `instance`.
  virtual MidiResult Open(uint32_t deviceId, MidiCallback callback, void* instance,
                          std::unique_ptr<MidiStreamPort>& port) = 0;
};

// A silent output with the real timing and callback thread.
std::unique_ptr<MidiDriver> MakeNullMidiDriver();

// The process's output: silent when VELMORA_MIDI=null, else FluidSynth,
// which falls back to silence when no soundfont or no audio output opens.
MidiDriver& DefaultMidiDriver();

// Size of the record at `data` (remaining `size` bytes), or 0 when it is cut.
uint32_t MidiRecordSize(const uint8_t* data, uint32_t size);

}  // namespace midi
