#include "Faces.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "Resources.h"
#include "TextCodec.h"

namespace client {

namespace {

bool HasBmpExtension(const std::string& file) {
  if (file.size() < 4) return false;
  std::string ext = file.substr(file.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".bmp";
}

QImage LoadFacePicture(const std::string& path) {
  return MakeGreenTransparent(QImage(QString::fromStdString(path)));
}

}  // namespace

std::vector<TFaceFile> ListFaceFiles(const std::string& dir) {
  std::vector<std::pair<std::string, TFaceFile>> found;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(dir, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    std::string file = it->path().filename().string();
    if (!HasBmpExtension(file)) continue;
    std::string base = file.substr(0, file.size() - 4);
    found.push_back({file, {plat::Utf8ToSjis(base), it->path().string()}});
  }
  std::sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.first < b.first; });
  std::vector<TFaceFile> out;
  for (auto& f : found) out.push_back(std::move(f.second));
  return out;
}

void TFaceSet::Clear() {
  for (int i = 0; i < kSlots; ++i) {
    names_[i].clear();
    pictures_[i] = QImage();
  }
}

void TFaceSet::LoadFaces(const std::string& dir) {
  Clear();
  int slot = 0;
  for (const TFaceFile& f : ListFaceFiles(dir)) {
    if (f.name == "unknown") continue;
    pictures_[slot] = LoadFacePicture(f.path);
    names_[slot] = f.name;
    if (++slot >= kUnknownSlot) break;
  }
  // Every empty row and unknown face shows this picture: the program cannot
  // go on without it.
  const std::string unknown = dir + "/unknown.bmp";
  pictures_[kUnknownSlot] = LoadFacePicture(unknown);
  if (pictures_[kUnknownSlot].isNull())
    throw std::runtime_error("Cannot open file \"" + plat::Utf8ToSjis(unknown) + "\".");
}

int TFaceSet::Find(const std::string& face) const {
  if (!face.empty())
    for (int i = 0; i < kUnknownSlot; ++i)
      if (names_[i] == face) return i;
  return kUnknownSlot;
}

int TFaceSet::Count() const {
  int n = 0;
  while (n < kUnknownSlot && !names_[n].empty()) ++n;
  return n;
}

}  // namespace client
