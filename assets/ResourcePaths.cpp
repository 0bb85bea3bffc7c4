#include "ResourcePaths.h"

namespace assets {

std::string BitmapResourcePath(const std::string& name) { return ":/res/bitmaps/" + name + ".bmp"; }

std::string SoundResourcePath(const std::string& name) { return ":/res/sounds/" + name + ".wav"; }

}  // namespace assets
