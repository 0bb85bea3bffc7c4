#include "ThreadedPort.h"

#include <algorithm>
#include <cstring>

namespace midi {

namespace {

uint32_t Word(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;  // little-endian host
}

// Further behind than this, the clock is moved on instead of rushing.
constexpr double kMaxLateMicros = 100000;
// Offline rendering step, so that commands are seen promptly.
constexpr double kRenderStepMicros = 10000;

}  // namespace

MidiResult CheckOpenArguments(uint32_t deviceId, uint32_t numDevs, MidiCallback callback) {
  if (deviceId >= numDevs && deviceId != kMidiMapper) return kMidiErrBadDeviceId;
  if (!callback) return kMidiErrInvalParam;
  return kMidiOk;
}

uint32_t MidiRecordSize(const uint8_t* data, uint32_t size) {
  if (size < 12) return 0;
  uint32_t event = Word(data + 8);
  if ((event >> 24) & kMevtLongMsg) {
    uint32_t length = event & 0xFFFFFF;
    uint32_t padded = (length + 3) & ~3u;
    if (padded > size - 12) return 0;
    return 12 + padded;
  }
  return 12;
}

ThreadedPort::ThreadedPort(MidiCallback callback, void* instance,
                           std::unique_ptr<PortOutput> output, std::function<void()> onClose)
    : callback_(callback), instance_(instance), output_(std::move(output)),
      onClose_(std::move(onClose)) {
  worker_ = std::thread([this] { Run(); });
}

ThreadedPort::~ThreadedPort() { Shutdown(); }

void ThreadedPort::Shutdown() {
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    closed_ = true;
    closing_ = true;
    ++commands_;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
  if (onClose_) onClose_();
}

MidiResult ThreadedPort::PrepareHeader(MidiHeader* header) {
  if (!header || !header->data || header->bufferLength == 0) return kMidiErrInvalParam;
  std::lock_guard lock(mutex_);
  header->flags = (header->flags & ~(kMhdrDone | kMhdrInQueue)) | kMhdrPrepared;
  return kMidiOk;
}

MidiResult ThreadedPort::UnprepareHeader(MidiHeader* header) {
  if (!header) return kMidiErrInvalParam;
  std::lock_guard lock(mutex_);
  if (header->flags & kMhdrInQueue) return kMidiErrStillPlaying;
  header->flags &= ~kMhdrPrepared;
  return kMidiOk;
}

MidiResult ThreadedPort::SetTempo(uint32_t tempo) {
  if (tempo == 0 || tempo > 0xFFFFFF) return kMidiErrInvalParam;
  {
    std::lock_guard lock(mutex_);
    tempo_ = tempo;
    ++commands_;
  }
  wake_.notify_all();
  return kMidiOk;
}

MidiResult ThreadedPort::SetTimeDivision(uint32_t division) {
  if (division == 0 || division > 0xFFFF) return kMidiErrInvalParam;
  if ((division & 0x8000) && (division & 0xFF) == 0) return kMidiErrInvalParam;
  {
    std::lock_guard lock(mutex_);
    division_ = division;
    ++commands_;
  }
  wake_.notify_all();
  return kMidiOk;
}

MidiResult ThreadedPort::Out(MidiHeader* header) {
  if (!header || header->bytesRecorded > header->bufferLength) return kMidiErrInvalParam;
  {
    std::lock_guard lock(mutex_);
    if (!(header->flags & kMhdrPrepared)) return kMidiErrUnprepared;
    if (header->flags & kMhdrInQueue) return kMidiErrStillPlaying;
    header->flags = (header->flags & ~kMhdrDone) | kMhdrInQueue;
    queue_.push_back(header);
  }
  wake_.notify_all();
  return kMidiOk;
}

MidiResult ThreadedPort::Restart() {
  {
    std::lock_guard lock(mutex_);
    if (paused_) {
      paused_ = false;
      origin_ = Clock::now() - std::chrono::microseconds(static_cast<int64_t>(eventTime_));
    }
    ++commands_;
  }
  wake_.notify_all();
  return kMidiOk;
}

MidiResult ThreadedPort::Reset() {
  std::unique_lock lock(mutex_);
  paused_ = true;
  ++commands_;
  if (std::this_thread::get_id() == worker_.get_id()) {
    // From inside a callback: hand the buffers back without further calls.
    for (MidiHeader* h : queue_) h->flags = (h->flags & ~kMhdrInQueue) | kMhdrDone;
    queue_.clear();
    offset_ = 0;
    return kMidiOk;
  }
  uint64_t ticket = ++resetsAsked_;
  wake_.notify_all();
  resetDone_.wait(lock, [&] { return resetsDone_ >= ticket; });
  return kMidiOk;
}

MidiResult ThreadedPort::Close() {
  {
    std::lock_guard lock(mutex_);
    if (!queue_.empty()) return kMidiErrStillPlaying;
  }
  Shutdown();
  return kMidiOk;
}

double ThreadedPort::TickMicros() const {
  if (division_ & 0x8000) {
    int fps = -static_cast<int8_t>(division_ >> 8);
    double frames = fps == 29 ? 29.97 : fps;
    return 1e6 / (frames * (division_ & 0xFF));
  }
  return static_cast<double>(tempo_) / division_;
}

void ThreadedPort::Deliver(MidiHeader* header, std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  callback_(this, kMomDone, instance_, reinterpret_cast<uintptr_t>(header), 0);
  lock.lock();
}

bool ThreadedPort::WaitUntil(double target, std::unique_lock<std::mutex>& lock) {
  uint64_t seen = commands_;
  if (output_->Offline()) {
    while (renderedTime_ < target) {
      if (commands_ != seen) return false;
      double step = std::min(target - renderedTime_, kRenderStepMicros);
      if (!output_->Render(step)) {
        stalled_ = true;
        return false;
      }
      renderedTime_ += step;
    }
    return true;
  }
  auto now = Clock::now();
  auto due = origin_ + std::chrono::microseconds(static_cast<int64_t>(target));
  if (due <= now) {
    if (now - due > std::chrono::microseconds(static_cast<int64_t>(kMaxLateMicros)))
      origin_ = now - std::chrono::microseconds(static_cast<int64_t>(target));
    return true;
  }
  wake_.wait_until(lock, due, [&] { return commands_ != seen; });
  return commands_ == seen;
}

void ThreadedPort::Dispatch(const uint8_t* record) {
  uint32_t event = Word(record + 8);
  switch (event >> 24) {
    case kMevtShortMsg:
      output_->ShortMessage(event & 0xFFFFFF);
      break;
    case kMevtTempo:
      if (event & 0xFFFFFF) tempo_ = event & 0xFFFFFF;
      break;
    case kMevtLongMsg:
      output_->LongMessage(record + 12, event & 0xFFFFFF);
      break;
    default:  // other kinds take their time and do nothing
      break;
  }
}

void ThreadedPort::Run() {
  std::unique_lock lock(mutex_);
  while (!closing_) {
    if (resetsDone_ < resetsAsked_) {
      std::deque<MidiHeader*> returned;
      returned.swap(queue_);
      offset_ = 0;
      for (MidiHeader* h : returned) h->flags = (h->flags & ~kMhdrInQueue) | kMhdrDone;
      output_->Silence();
      for (MidiHeader* h : returned) Deliver(h, lock);
      resetsDone_ = resetsAsked_;
      resetDone_.notify_all();
      continue;
    }
    if (paused_ || stalled_ || queue_.empty()) {
      wake_.wait(lock);
      continue;
    }
    MidiHeader* header = queue_.front();
    uint32_t size = offset_ < header->bytesRecorded
                        ? MidiRecordSize(header->data + offset_, header->bytesRecorded - offset_)
                        : 0;
    if (size == 0) {
      queue_.pop_front();
      offset_ = 0;
      header->flags = (header->flags & ~kMhdrInQueue) | kMhdrDone;
      Deliver(header, lock);
      continue;
    }
    double target = eventTime_ + Word(header->data + offset_) * TickMicros();
    if (!WaitUntil(target, lock)) continue;
    eventTime_ = target;
    Dispatch(header->data + offset_);
    offset_ += size;
  }
  for (MidiHeader* h : queue_) h->flags = (h->flags & ~kMhdrInQueue) | kMhdrDone;
  queue_.clear();
  output_->Silence();
}

}  // namespace midi
