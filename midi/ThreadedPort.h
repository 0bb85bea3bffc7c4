// A stream port whose worker thread walks the queued buffers by their delta
// times at the current tempo and time division, hands each event to an
// output and calls back with kMomDone on that thread when a buffer is played.
#pragma once

#include "MidiStreamApi.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace midi {

// Where the events go. Called on the worker thread only.
class PortOutput {
 public:
  virtual ~PortOutput() = default;
  virtual void ShortMessage(uint32_t /*message*/) {}
  virtual void LongMessage(const uint8_t* /*data*/, uint32_t /*length*/) {}
  // All notes and controllers off (reset and close).
  virtual void Silence() {}
  // An offline output advances its own clock: Render produces `micros` of
  // output and returns false once it will render no more. A real-time
  // output returns false from Offline and the port waits on the wall clock.
  virtual bool Offline() const { return false; }
  virtual bool Render(double /*micros*/) { return false; }
};

// The checks every driver's Open makes on its arguments.
MidiResult CheckOpenArguments(uint32_t deviceId, uint32_t numDevs, MidiCallback callback);

class ThreadedPort : public MidiStreamPort {
 public:
  // `onClose` runs once when the port closes or is destroyed.
  ThreadedPort(MidiCallback callback, void* instance, std::unique_ptr<PortOutput> output,
               std::function<void()> onClose = {});
  ~ThreadedPort() override;

  MidiResult PrepareHeader(MidiHeader* header) override;
  MidiResult UnprepareHeader(MidiHeader* header) override;
  MidiResult SetTempo(uint32_t tempo) override;
  MidiResult SetTimeDivision(uint32_t division) override;
  MidiResult Out(MidiHeader* header) override;
  MidiResult Restart() override;
  MidiResult Reset() override;
  MidiResult Close() override;

 private:
  using Clock = std::chrono::steady_clock;

  void Run();
  double TickMicros() const;
  // Waits until stream time `target`; false when a command interrupted.
  bool WaitUntil(double target, std::unique_lock<std::mutex>& lock);
  void Dispatch(const uint8_t* record);
  void Deliver(MidiHeader* header, std::unique_lock<std::mutex>& lock);
  void Shutdown();

  MidiCallback callback_;
  void* instance_;
  std::unique_ptr<PortOutput> output_;
  std::function<void()> onClose_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable resetDone_;
  std::deque<MidiHeader*> queue_;
  uint32_t offset_ = 0;  // next record in queue_.front()
  uint32_t tempo_ = 500000;
  uint32_t division_ = 96;
  bool paused_ = true;
  bool closing_ = false;
  bool stalled_ = false;        // an offline output rendered all it will
  uint64_t commands_ = 0;       // bumped by every command that changes timing
  uint64_t resetsAsked_ = 0;
  uint64_t resetsDone_ = 0;
  double eventTime_ = 0;        // stream time of the last event, microseconds
  double renderedTime_ = 0;     // offline: stream time rendered so far
  Clock::time_point origin_;    // wall time of stream time 0 while playing
  std::thread worker_;
  bool closed_ = false;
};

}  // namespace midi
