// A MIDI stream driver for tests: records every call and every queued
// buffer, fails calls on request, and plays buffers only when told to.
#pragma once

#include "MidiStreamApi.h"

#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace midi {

class RecordingMidiDriver : public MidiDriver {
 public:
  RecordingMidiDriver();
  ~RecordingMidiDriver() override;

  uint32_t NumDevs() override;
  MidiResult Open(uint32_t deviceId, MidiCallback callback, void* instance,
                  std::unique_ptr<MidiStreamPort>& port) override;

  void SetNumDevs(uint32_t n);
  // The next `times` calls named `call` ("Open", "PrepareHeader", "SetTempo",
  // "SetTimeDivision", "Out", "Restart", "Reset", "UnprepareHeader",
  // "Close") fail with `code`; times < 0: every call.
  void Fail(const std::string& call, MidiResult code, int times = 1);

  // "Open 0", "PrepareHeader", "SetTempo 500000", "SetTimeDivision 96",
  // "Out 24" (bytes recorded), "Restart", "Reset", "UnprepareHeader", "Close".
  std::vector<std::string> Calls();
  void ClearCalls();
  // A copy of each buffer as Out queued it.
  std::vector<std::vector<uint8_t>> Buffers();
  size_t Queued();
  bool IsOpen();

  // Plays the oldest queued buffer: marks it done and calls back with
  // kMomDone on the calling thread. False when nothing is queued.
  bool CompleteBuffer();

 private:
  class Port;
  friend class Port;
  // Records the call; returns the failure to give, or kMidiOk.
  MidiResult Note(const std::string& call, const std::string& args = {});

  std::mutex mutex_;
  uint32_t numDevs_ = 1;
  std::map<std::string, std::pair<MidiResult, int>> failures_;
  std::vector<std::string> calls_;
  std::vector<std::vector<uint8_t>> buffers_;
  std::deque<MidiHeader*> queue_;
  Port* open_ = nullptr;
  MidiCallback callback_ = nullptr;
  void* instance_ = nullptr;
};

}  // namespace midi
