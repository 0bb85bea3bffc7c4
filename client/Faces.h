// Face pictures: 56 x 56 bitmaps in the folder faces/ beside the program,
// green (0x00FF00) as the transparent colour.
#pragma once

#include <QImage>
#include <array>
#include <string>
#include <vector>

namespace client {

struct TFaceFile {
  std::string name;  // file name without ".bmp", Shift-JIS
  std::string path;  // full path on disk
};

// Every "*.bmp" file of dir (extension in any case), sorted by file name.
std::vector<TFaceFile> ListFaceFiles(const std::string& dir);

class TFaceSet {
 public:
  static constexpr int kSlots = 128;
  static constexpr int kUnknownSlot = 127;

  // Frees all pictures, then loads up to 127 faces of dir (not "unknown")
  // into slots 0.., and dir/unknown.bmp into slot 127 (its name stays empty).
  // A face file that does not load leaves its slot's picture empty; an
  // unknown.bmp that does not load throws an error naming the file.
  void LoadFaces(const std::string& dir);
  void Clear();

  const std::string& Name(int slot) const { return names_[slot]; }
  const QImage& Picture(int slot) const { return pictures_[slot]; }
  // The slot whose name equals face, else the unknown slot.
  int Find(const std::string& face) const;
  // The number of named slots (filled from 0).
  int Count() const;

 private:
  std::array<std::string, kSlots> names_;
  std::array<QImage, kSlots> pictures_;
};

}  // namespace client
