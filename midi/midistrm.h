// TMidiStream: plays one standard MIDI file (format 0, one track) at a time
// through a MIDI stream output. The track's events are converted into event
// records in one 10000-byte buffer, which is refilled on the output's
// callback thread each time it has been played.
#pragma once

#include "MidiStreamApi.h"

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace midi {

class TMidiStream : public QObject {
  Q_OBJECT

 public:
  // Shift-JIS text and caption of an error box; called on the thread the
  // player lives on, from a queued call, never from inside the caller.
  using MessageBoxHook = std::function<void(const std::string& text, const std::string& caption)>;
  using SysExTextHook = std::function<void(const std::string& text)>;

  static constexpr uint32_t kBufferSize = 10000;

  // `driver` null: the process's MIDI output (DefaultMidiDriver).
  explicit TMidiStream(QObject* owner = nullptr, MidiDriver* driver = nullptr);
  ~TMidiStream() override;

  // Reads `stream` from where it stands to its end. False when the output
  // does not open or the file is not a format-0 standard MIDI file.
  bool LoadStream(std::istream& stream);
  void Play();
  // When it returns, no refill runs and none can start.
  void Stop();

  bool LoopMode() const { return loopMode_.load(); }
  void SetLoopMode(bool loop) { loopMode_.store(loop); }
  int DeviceID() const { return deviceId_; }
  void SetDeviceID(int id) { deviceId_ = id; }

  uint16_t MidiFormat() const { return loaded_ ? format_ : 0; }
  uint16_t MidiTracks() const { return loaded_ ? tracks_ : 0; }
  uint16_t MidiDivision() const { return loaded_ ? division_ : 0; }
  uint32_t Tempo() const { return tempo_.load(); }
  uint32_t NumDevs() const;

  bool Loaded() const { return loaded_.load(); }
  bool Playing() const { return playing_.load(); }
  // 0 loaded, 1 playing, 3 ended or stopped.
  int StreamState() const { return state_.load(); }
  // Number of fills since construction.
  uint64_t FillCount() const { return fills_.load(); }

  // Without a hook, errors are written to standard error.
  void SetMessageBoxHook(MessageBoxHook hook);
  // The text of each system-exclusive message, as the main window would get it.
  void SetSysExTextHook(SysExTextHook hook);

  static void MidiStreamCallback(MidiStreamPort* handle, uint32_t message, void* instance,
                                 uintptr_t param1, uintptr_t param2);

 private:
  bool CheckImage();
  bool Start();
  // False when the buffer could not be queued.
  bool FillBuffer();
  // End of the track at the event starting at `eventStart`: true when the
  // track loops and filling goes on.
  bool EndOfTrack(uint32_t eventStart);
  bool ReadVar(uint32_t& pos, uint32_t& value) const;
  void AddNextDelta();
  void PostSysExText(const std::string& text);
  void ShowError(const std::string& text, const std::string& caption);
  void MidiError(MidiResult code, const char* caption);

  MidiDriver& driver_;

  std::atomic<bool> loaded_{false};
  std::atomic<bool> playing_{false};
  std::atomic<bool> loopMode_{false};
  int deviceId_ = 0;

  uint16_t format_ = 0, tracks_ = 0, division_ = 0;
  // The header record.
  uint32_t headerLength_ = 0;
  uint32_t trackLength_ = 0;

  std::vector<uint8_t> image_;
  uint32_t trackStart_ = 0;
  uint32_t trackEnd_ = 0;
  uint32_t runningStatus_ = 0x80;
  std::atomic<int> state_{3};

  std::unique_ptr<MidiStreamPort> port_;
  MidiHeader header_;
  std::vector<uint8_t> buffer_;

  uint32_t pos_ = 0;
  uint32_t pendingDelta_ = 0;
  bool wrotePass_ = false;  // a record was written since the track last started
  std::atomic<uint32_t> tempo_{500000};
  std::atomic<uint64_t> fills_{0};

  // Held by every fill; Stop takes it after setting state 3.
  std::mutex fillMutex_;

  std::mutex hookMutex_;
  MessageBoxHook boxHook_;
  SysExTextHook sysExHook_;
  std::atomic<uint64_t> fileKey_{0};
  std::set<uint64_t> reported_;  // files whose error has been shown
};

}  // namespace midi
