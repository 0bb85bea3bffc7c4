// Where the client_res library puts the built-in bitmaps and wave sounds.
#pragma once

#include <string>

namespace assets {

// ":/res/bitmaps/<name>.bmp"
std::string BitmapResourcePath(const std::string& name);
// ":/res/sounds/<name>.wav"
std::string SoundResourcePath(const std::string& name);

}  // namespace assets
