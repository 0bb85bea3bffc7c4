#include <SDL.h>

#include <cstdlib>
#include <cstring>

#include "WaveSound.h"

namespace plat {

namespace {

class TSdlWaveSound : public TWaveSound {
 public:
  ~TSdlWaveSound() override {
    if (device_) SDL_CloseAudioDevice(device_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  bool Open(std::string* reason) {
    // SDL's own handlers would turn SIGTERM and SIGINT into a quit event that
    // nobody reads; the program handles its signals itself.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      if (reason) *reason = SDL_GetError();
      return false;
    }
    SDL_AudioSpec want{}, have{};
    want.freq = 22050;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!device_) {
      if (reason) *reason = SDL_GetError();
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    spec_ = have;
    SDL_PauseAudioDevice(device_, 0);
    return true;
  }

  bool Play(const uint8_t* data, size_t size) override {
    SDL_AudioSpec spec{};
    Uint8* buf = nullptr;
    Uint32 len = 0;
    SDL_RWops* rw = SDL_RWFromConstMem(data, int(size));
    if (!rw || !SDL_LoadWAV_RW(rw, 1, &spec, &buf, &len)) return false;
    SDL_AudioCVT cvt;
    int r = SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, spec_.format,
                              spec_.channels, spec_.freq);
    if (r < 0) {
      SDL_FreeWAV(buf);
      return false;
    }
    Uint8* out = buf;
    Uint32 outLen = len;
    Uint8* work = nullptr;
    if (r > 0) {
      cvt.len = int(len);
      work = static_cast<Uint8*>(SDL_malloc(size_t(len) * cvt.len_mult));
      if (!work) {
        SDL_FreeWAV(buf);
        return false;
      }
      std::memcpy(work, buf, len);
      cvt.buf = work;
      if (SDL_ConvertAudio(&cvt) != 0) {
        SDL_free(work);
        SDL_FreeWAV(buf);
        return false;
      }
      out = work;
      outLen = Uint32(cvt.len_cvt);
    }
    SDL_ClearQueuedAudio(device_);
    SDL_QueueAudio(device_, out, outLen);
    if (work) SDL_free(work);
    SDL_FreeWAV(buf);
    return true;
  }

  void Stop() override { SDL_ClearQueuedAudio(device_); }
  bool IsNull() const override { return false; }

 private:
  SDL_AudioDeviceID device_ = 0;
  SDL_AudioSpec spec_{};
};

}  // namespace

std::unique_ptr<TWaveSound> CreateWaveSound(std::string* reason) {
  const char* env = std::getenv("VELMORA_SOUND");
  if (env && std::strcmp(env, "null") == 0) {
    if (reason) *reason = "VELMORA_SOUND=null";
    return std::make_unique<TNullWaveSound>();
  }
  auto sdl = std::make_unique<TSdlWaveSound>();
  if (sdl->Open(reason)) return sdl;
  return std::make_unique<TNullWaveSound>();
}

}  // namespace plat
