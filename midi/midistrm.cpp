#include "midistrm.h"

#include "TextCodec.h"

#include <QMetaObject>

#include <cstdio>
#include <cstring>
#include <iterator>

namespace midi {

namespace {

// "スタンダード・ミディ・フォーマットのファイルではありません"
const char kNotSmf[] =
    "\x83\x58\x83\x5e\x83\x93\x83\x5f\x81\x5b\x83\x68\x81\x45\x83\x7e\x83\x66\x83\x42\x81\x45"
    "\x83\x74\x83\x48\x81\x5b\x83\x7d\x83\x62\x83\x67\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b"
    "\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1";
// "正しいMIDIフォーマットのファイルではありません"
const char kNoTrack[] =
    "\x90\xb3\x82\xb5\x82\xa2\x4d\x49\x44\x49\x83\x74\x83\x48\x81\x5b\x83\x7d\x83\x62\x83\x67"
    "\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9"
    "\x82\xf1";
// "フォーマット０ではありません"
const char kNotFormat0[] =
    "\x83\x74\x83\x48\x81\x5b\x83\x7d\x83\x62\x83\x67\x82\x4f\x82\xc5\x82\xcd\x82\xa0\x82\xe8"
    "\x82\xdc\x82\xb9\x82\xf1";
// "ファイルサイズがフォーマットと異なります"
const char kBadLength[] =
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x83\x54\x83\x43\x83\x59\x82\xaa\x83\x74\x83\x48\x81\x5b"
    "\x83\x7d\x83\x62\x83\x67\x82\xc6\x88\xd9\x82\xc8\x82\xe8\x82\xdc\x82\xb7";

// A short or tempo record needs 12 bytes; the fill stops before `used`
// reaches these limits.
constexpr uint32_t kShortLimit = 9988;
constexpr uint32_t kLongLimit = 9987;

uint32_t Be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint16_t Be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }

void PutWord(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

uint64_t FileKey(const std::vector<uint8_t>& bytes) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h ^ bytes.size();
}

// Data bytes after the system common and real-time statuses F1-F6, F8-FE.
uint32_t SystemDataBytes(uint8_t status) {
  switch (status) {
    case 0xF1: case 0xF3: return 1;
    case 0xF2: return 2;
    default: return 0;
  }
}

}  // namespace

TMidiStream::TMidiStream(QObject* owner, MidiDriver* driver)
    : QObject(owner), driver_(driver ? *driver : DefaultMidiDriver()), buffer_(kBufferSize) {
  header_.data = buffer_.data();
  header_.bufferLength = kBufferSize;
}

TMidiStream::~TMidiStream() { Stop(); }

uint32_t TMidiStream::NumDevs() const { return driver_.NumDevs(); }

void TMidiStream::SetMessageBoxHook(MessageBoxHook hook) {
  std::lock_guard lock(hookMutex_);
  boxHook_ = std::move(hook);
}

void TMidiStream::SetSysExTextHook(SysExTextHook hook) {
  std::lock_guard lock(hookMutex_);
  sysExHook_ = std::move(hook);
}

void TMidiStream::ShowError(const std::string& text, const std::string& caption) {
  MessageBoxHook hook;
  {
    std::lock_guard lock(hookMutex_);
    if (!reported_.insert(fileKey_.load()).second) return;
    hook = boxHook_;
  }
  if (!hook) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), plat::SjisToUtf8(text).c_str());
    return;
  }
  QMetaObject::invokeMethod(
      this, [hook, text, caption] { hook(text, caption); }, Qt::QueuedConnection);
}

void TMidiStream::MidiError(MidiResult code, const char* caption) {
  std::string text = MidiOutGetErrorText(code).substr(0, 1024);
  ShowError(text, caption);
  loaded_ = false;
  playing_ = false;
}

void TMidiStream::PostSysExText(const std::string& text) {
  SysExTextHook hook;
  {
    std::lock_guard lock(hookMutex_);
    hook = sysExHook_;
  }
  if (hook) QMetaObject::invokeMethod(this, [hook, text] { hook(text); }, Qt::QueuedConnection);
}

bool TMidiStream::LoadStream(std::istream& stream) {
  if (loaded_ || port_) Stop();
  std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(stream),
                             std::istreambuf_iterator<char>()};
  fileKey_ = FileKey(bytes);

  std::unique_ptr<MidiStreamPort> port;
  MidiResult r = driver_.Open(static_cast<uint32_t>(deviceId_), &TMidiStream::MidiStreamCallback,
                              this, port);
  if (r != kMidiOk) {
    MidiError(r, "Error : midiStreamOpen");
    return false;
  }
  port_ = std::move(port);
  header_.bytesRecorded = 0;
  header_.flags = 0;
  r = port_->PrepareHeader(&header_);
  if (r != kMidiOk) {
    MidiError(r, "Error : midiStreamPrepareHeader");
    return false;
  }

  image_ = std::move(bytes);
  if (!CheckImage()) {
    image_.clear();
    image_.shrink_to_fit();
    return false;
  }
  if (!Start()) {
    // The output refused the stream; nothing is left queued to play.
    image_.clear();
    image_.shrink_to_fit();
    return false;
  }
  loaded_ = true;
  return true;
}

bool TMidiStream::CheckImage() {
  const uint8_t* p = image_.data();
  size_t size = image_.size();
  if (size < 14 || std::memcmp(p, "MThd", 4) != 0) {
    ShowError(kNotSmf, "Error : GetHeaderChunk");
    return false;
  }
  headerLength_ = Be32(p + 4);
  format_ = Be16(p + 8);
  tracks_ = Be16(p + 10);
  division_ = Be16(p + 12);
  // The track chunk is read right after the six header bytes, whatever the
  // header length says.
  if (size < 22 || std::memcmp(p + 14, "MTrk", 4) != 0) {
    ShowError(kNoTrack, "Error : GetTrackChunk");
    return false;
  }
  trackLength_ = Be32(p + 18);
  if (format_ != 0) {
    ShowError(kNotFormat0, "Error : CheckMidiFormat");
    return false;
  }
  if (uint64_t(size) < uint64_t(headerLength_) + trackLength_ + 16) {
    ShowError(kBadLength, "Error : CheckMidiFileLength");
    return false;
  }
  trackStart_ = 22;
  // The end of the chunk ends the track even without an end-of-track event.
  trackEnd_ = static_cast<uint32_t>(std::min<uint64_t>(uint64_t(trackStart_) + trackLength_, size));
  return true;
}

bool TMidiStream::ReadVar(uint32_t& pos, uint32_t& value) const {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    if (pos >= trackEnd_) return false;
    uint8_t b = image_[pos++];
    value = (value << 7) | (b & 0x7F);
    if (!(b & 0x80)) return true;
  }
  return false;  // longer than four bytes: not a valid number
}

void TMidiStream::AddNextDelta() {
  uint32_t delta;
  if (ReadVar(pos_, delta)) pendingDelta_ += delta;
  else pos_ = trackEnd_;  // nothing valid follows: the next read ends the track
}

bool TMidiStream::Start() {
  std::lock_guard lock(fillMutex_);
  pos_ = trackStart_;
  runningStatus_ = 0x80;
  pendingDelta_ = 0;
  wrotePass_ = false;
  AddNextDelta();
  state_ = 0;
  MidiResult r = port_->SetTempo(500000);
  tempo_ = 500000;
  if (r != kMidiOk) {
    MidiError(r, "Error : midiStreamProperty Tempo");
    state_ = 3;
    return false;
  }
  r = port_->SetTimeDivision(division_);
  if (r != kMidiOk) {
    MidiError(r, "Error : midiStreamProperty TimeDiv");
    state_ = 3;
    return false;
  }
  if (!FillBuffer()) {
    state_ = 3;  // the first buffer did not queue; the error has been shown
    return false;
  }
  return true;
}

bool TMidiStream::EndOfTrack(uint32_t eventStart) {
  // A pass that wrote nothing would loop without end.
  if (loopMode_ && wrotePass_) {
    pos_ = trackStart_;
    pendingDelta_ = 0;
    wrotePass_ = false;
    AddNextDelta();
    return true;
  }
  state_ = 3;
  pos_ = eventStart;
  return false;
}

bool TMidiStream::FillBuffer() {
  ++fills_;
  uint8_t* buf = buffer_.data();
  uint32_t used = 0;
  for (;;) {
    const uint32_t eventStart = pos_;
    if (pos_ >= trackEnd_) {
      if (EndOfTrack(eventStart)) continue;
      break;
    }
    uint8_t status = image_[pos_];
    if (status >= 0x80) {
      ++pos_;
      if (status < 0xF0) runningStatus_ = status;
    } else {
      status = static_cast<uint8_t>(runningStatus_);
    }

    if (status < 0xF0) {
      if (used >= kShortLimit) break;  // resumes at the data bytes, by running status
      uint32_t count = (status >> 4) == 0xC || (status >> 4) == 0xD ? 1 : 2;
      if (trackEnd_ - pos_ < count) {
        if (EndOfTrack(eventStart)) continue;
        break;
      }
      uint32_t event = status | uint32_t(image_[pos_]) << 8;
      if (count == 2) event |= uint32_t(image_[pos_ + 1]) << 16;
      PutWord(buf + used, pendingDelta_);
      PutWord(buf + used + 4, 0);
      PutWord(buf + used + 8, event);
      pendingDelta_ = 0;
      used += 12;
      wrotePass_ = true;
      pos_ += count;
    } else if (status == 0xF0 || status == 0xF7) {
      uint32_t p = pos_, length;
      if (!ReadVar(p, length) || length > trackEnd_ - p) {
        if (EndOfTrack(eventStart)) continue;
        break;
      }
      uint64_t messageLength = uint64_t(length) + (status == 0xF0 ? 1 : 0);
      uint64_t padded = (messageLength + 3) & ~uint64_t(3);
      if (padded <= kLongLimit) {
        if (used + padded > kLongLimit) {
          pos_ = eventStart;
          break;
        }
        uint8_t* rec = buf + used;
        PutWord(rec, pendingDelta_);
        PutWord(rec + 4, 0);
        PutWord(rec + 8, 0x80000000u | static_cast<uint32_t>(messageLength));
        uint8_t* msg = rec + 12;
        std::memset(msg, 0, padded);
        if (status == 0xF0) msg[0] = 0xF0;
        std::memcpy(msg + (status == 0xF0 ? 1 : 0), image_.data() + p, length);
        pendingDelta_ = 0;
        used += static_cast<uint32_t>(padded) + 12;
        wrotePass_ = true;
        if (messageLength > 0 && msg[0] == 0xF0) {
          static const char hex[] = "0123456789abcdef";
          std::string text;
          text.reserve(messageLength * 3);
          for (uint64_t i = 0; i < messageLength; ++i) {
            text += hex[msg[i] >> 4];
            text += hex[msg[i] & 15];
            text += ' ';
          }
          PostSysExText(text);
        }
      }
      // A message that can never fit the buffer is dropped; its delta carries over.
      pos_ = p + length;
    } else if (status == 0xFF) {
      uint32_t p = pos_, length;
      if (p >= trackEnd_) {
        if (EndOfTrack(eventStart)) continue;
        break;
      }
      uint8_t type = image_[p++];
      if (!ReadVar(p, length) || length > trackEnd_ - p) {
        if (EndOfTrack(eventStart)) continue;
        break;
      }
      if (type == 0x2F) {
        if (EndOfTrack(eventStart)) continue;
        break;
      }
      if (type == 0x51 && length >= 3) {
        tempo_ = uint32_t(image_[p]) << 16 | uint32_t(image_[p + 1]) << 8 | image_[p + 2];
        if (used > kLongLimit) {
          pos_ = eventStart;
          break;
        }
        PutWord(buf + used, pendingDelta_);
        PutWord(buf + used + 4, 0);
        PutWord(buf + used + 8, 0x01000000u | tempo_.load());
        pendingDelta_ = 0;
        used += 12;
        wrotePass_ = true;
      }
      pos_ = p + length;
    } else {
      pos_ += std::min(SystemDataBytes(status), trackEnd_ - pos_);
    }
    AddNextDelta();
  }

  header_.bytesRecorded = used;
  header_.flags = kMhdrPrepared;
  MidiResult r = port_->Out(&header_);
  if (r != kMidiOk) {
    MidiError(r, "Error : midiStreamOut");
    return false;
  }
  return true;
}

void TMidiStream::Play() {
  if (!loaded_) {
    playing_ = false;
    return;
  }
  state_ = 1;
  MidiResult r = port_->Restart();
  if (r != kMidiOk) {
    MidiError(r, "Error : midiStreamRestart");
    return;
  }
  playing_ = true;
}

void TMidiStream::Stop() {
  state_ = 3;
  // Waits for a refill in progress; any later callback sees state 3.
  { std::lock_guard lock(fillMutex_); }
  if (port_) {
    port_->Reset();
    playing_ = false;
    port_->UnprepareHeader(&header_);
    MidiResult r = port_->Close();
    // The port is released even when closing failed, so nothing stays queued to it.
    port_.reset();
    if (r != kMidiOk) MidiError(r, "Error : midiStreamClose");
  }
  playing_ = false;
  loaded_ = false;
  image_.clear();
  image_.shrink_to_fit();
}

void TMidiStream::MidiStreamCallback(MidiStreamPort*, uint32_t message, void* instance, uintptr_t,
                                     uintptr_t) {
  if (message != kMomDone) return;
  auto* self = static_cast<TMidiStream*>(instance);
  std::lock_guard lock(self->fillMutex_);
  if (self->state_ == 3) return;
  self->FillBuffer();
}

}  // namespace midi
