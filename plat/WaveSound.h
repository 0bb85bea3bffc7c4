// Wave sounds played asynchronously: a new sound replaces the one playing.
// The SDL2 backend plays through the default audio device; the null one
// plays nothing and is chosen when VELMORA_SOUND=null or no device opens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace plat {

class TWaveSound {
 public:
  virtual ~TWaveSound() = default;
  // Starts playing a whole RIFF/WAVE file image; returns false when the data
  // is not a wave file this device can play (nothing is played then).
  virtual bool Play(const uint8_t* data, size_t size) = 0;
  virtual void Stop() = 0;
  virtual bool IsNull() const = 0;
};

class TNullWaveSound : public TWaveSound {
 public:
  bool Play(const uint8_t*, size_t) override { return true; }
  void Stop() override {}
  bool IsNull() const override { return true; }
};

// The SDL2 device, or the null one (why goes to *reason when given).
std::unique_ptr<TWaveSound> CreateWaveSound(std::string* reason = nullptr);

}  // namespace plat
