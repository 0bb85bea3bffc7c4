#include "Music.h"
#include "MessageBox.h"
#include "MusicPlayer.h"

namespace client {

namespace {

class TMidiMusicPlayer : public TMusicPlayer {
 public:
  TMidiMusicPlayer() {
    player_.Player().SetMessageBoxHook([](const std::string& text, const std::string& caption) {
      plat::MessageBox(nullptr, text, caption, plat::mbOK, plat::miError);
    });
  }
  std::vector<std::string> LoadFiles(const std::string& folder) override {
    std::vector<std::string> missing;
    for (const std::string& name : player_.LoadFiles(folder)) missing.push_back(folder + "/" + name);
    return missing;
  }
  void PlayMusic(int index) override { player_.PlayMusic(index); }
  int CurrentMusic() const override { return player_.CurrentMusic(); }

 private:
  midi::MusicPlayer player_;
};

}  // namespace

std::unique_ptr<TMusicPlayer> CreateMusicPlayer() { return std::make_unique<TMidiMusicPlayer>(); }

}  // namespace client
