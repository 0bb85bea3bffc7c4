#include "FakeMidi.h"

#include "ThreadedPort.h"

namespace midi {

class RecordingMidiDriver::Port : public MidiStreamPort {
 public:
  explicit Port(RecordingMidiDriver& d) : d_(d) {}
  ~Port() override {
    std::lock_guard lock(d_.mutex_);
    if (d_.open_ == this) {
      d_.open_ = nullptr;
      d_.queue_.clear();
    }
  }

  MidiResult PrepareHeader(MidiHeader* h) override {
    if (MidiResult r = d_.Note("PrepareHeader")) return r;
    std::lock_guard lock(d_.mutex_);
    h->flags = (h->flags & ~(kMhdrDone | kMhdrInQueue)) | kMhdrPrepared;
    return kMidiOk;
  }
  MidiResult UnprepareHeader(MidiHeader* h) override {
    if (MidiResult r = d_.Note("UnprepareHeader")) return r;
    std::lock_guard lock(d_.mutex_);
    if (h->flags & kMhdrInQueue) return kMidiErrStillPlaying;
    h->flags &= ~kMhdrPrepared;
    return kMidiOk;
  }
  MidiResult SetTempo(uint32_t tempo) override {
    return d_.Note("SetTempo", std::to_string(tempo));
  }
  MidiResult SetTimeDivision(uint32_t division) override {
    return d_.Note("SetTimeDivision", std::to_string(division));
  }
  MidiResult Out(MidiHeader* h) override {
    if (MidiResult r = d_.Note("Out", std::to_string(h->bytesRecorded))) return r;
    std::lock_guard lock(d_.mutex_);
    if (!(h->flags & kMhdrPrepared)) return kMidiErrUnprepared;
    if (h->flags & kMhdrInQueue) return kMidiErrStillPlaying;
    h->flags = (h->flags & ~kMhdrDone) | kMhdrInQueue;
    d_.buffers_.emplace_back(h->data, h->data + h->bytesRecorded);
    d_.queue_.push_back(h);
    return kMidiOk;
  }
  MidiResult Restart() override { return d_.Note("Restart"); }
  MidiResult Reset() override {
    if (MidiResult r = d_.Note("Reset")) return r;
    std::deque<MidiHeader*> returned;
    MidiCallback cb;
    void* instance;
    {
      std::lock_guard lock(d_.mutex_);
      returned.swap(d_.queue_);
      for (MidiHeader* h : returned) h->flags = (h->flags & ~kMhdrInQueue) | kMhdrDone;
      cb = d_.callback_;
      instance = d_.instance_;
    }
    for (MidiHeader* h : returned) cb(this, kMomDone, instance, reinterpret_cast<uintptr_t>(h), 0);
    return kMidiOk;
  }
  MidiResult Close() override {
    if (MidiResult r = d_.Note("Close")) return r;
    std::lock_guard lock(d_.mutex_);
    if (!d_.queue_.empty()) return kMidiErrStillPlaying;
    if (d_.open_ == this) d_.open_ = nullptr;
    return kMidiOk;
  }

 private:
  RecordingMidiDriver& d_;
};

RecordingMidiDriver::RecordingMidiDriver() = default;
RecordingMidiDriver::~RecordingMidiDriver() = default;

MidiResult RecordingMidiDriver::Note(const std::string& call, const std::string& args) {
  std::lock_guard lock(mutex_);
  calls_.push_back(args.empty() ? call : call + " " + args);
  auto it = failures_.find(call);
  if (it == failures_.end()) return kMidiOk;
  MidiResult code = it->second.first;
  if (it->second.second > 0 && --it->second.second == 0) failures_.erase(it);
  return code;
}

uint32_t RecordingMidiDriver::NumDevs() {
  std::lock_guard lock(mutex_);
  return numDevs_;
}

void RecordingMidiDriver::SetNumDevs(uint32_t n) {
  std::lock_guard lock(mutex_);
  numDevs_ = n;
}

MidiResult RecordingMidiDriver::Open(uint32_t deviceId, MidiCallback callback, void* instance,
                                     std::unique_ptr<MidiStreamPort>& port) {
  if (MidiResult r = Note("Open", std::to_string(deviceId))) return r;
  if (MidiResult r = CheckOpenArguments(deviceId, NumDevs(), callback)) return r;
  std::lock_guard lock(mutex_);
  if (open_) return kMidiErrAllocated;
  auto p = std::make_unique<Port>(*this);
  open_ = p.get();
  callback_ = callback;
  instance_ = instance;
  queue_.clear();
  port = std::move(p);
  return kMidiOk;
}

void RecordingMidiDriver::Fail(const std::string& call, MidiResult code, int times) {
  std::lock_guard lock(mutex_);
  failures_[call] = {code, times < 0 ? 0 : times};
}

std::vector<std::string> RecordingMidiDriver::Calls() {
  std::lock_guard lock(mutex_);
  return calls_;
}

void RecordingMidiDriver::ClearCalls() {
  std::lock_guard lock(mutex_);
  calls_.clear();
  buffers_.clear();
}

std::vector<std::vector<uint8_t>> RecordingMidiDriver::Buffers() {
  std::lock_guard lock(mutex_);
  return buffers_;
}

size_t RecordingMidiDriver::Queued() {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

bool RecordingMidiDriver::IsOpen() {
  std::lock_guard lock(mutex_);
  return open_ != nullptr;
}

bool RecordingMidiDriver::CompleteBuffer() {
  MidiHeader* h;
  MidiCallback cb;
  void* instance;
  Port* port;
  {
    std::lock_guard lock(mutex_);
    if (queue_.empty() || !open_) return false;
    h = queue_.front();
    queue_.pop_front();
    h->flags = (h->flags & ~kMhdrInQueue) | kMhdrDone;
    cb = callback_;
    instance = instance_;
    port = open_;
  }
  cb(port, kMomDone, instance, reinterpret_cast<uintptr_t>(h), 0);
  return true;
}

}  // namespace midi
