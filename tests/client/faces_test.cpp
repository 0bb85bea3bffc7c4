#include <gtest/gtest.h>

#include "ClientTestUtil.h"
#include "Faces.h"

namespace {

TEST(Faces, SortedAnyCaseUnknownKeptApartAndCapped) {
  clienttest::App();
  clienttest::HomeDir home("faces");
  auto faces = home.path / "faces";
  clienttest::WriteFace(faces / "b.BMP", qRgb(1, 2, 3));
  clienttest::WriteFace(faces / "a.bmp", qRgb(1, 2, 3));
  clienttest::WriteFace(faces / "unknown.bmp", qRgb(9, 9, 9));
  clienttest::WriteFace(faces / "\xe9\xbb\x84.bmp", qRgb(1, 2, 3));  // 黄
  std::ofstream(faces / "notes.txt") << "x";
  client::TFaceSet set;
  set.LoadFaces(faces.string());
  EXPECT_EQ(set.Name(0), "a");
  EXPECT_EQ(set.Name(1), "b");
  EXPECT_EQ(set.Name(2), "\x89\xa9");  // Shift-JIS name
  EXPECT_EQ(set.Count(), 3);
  EXPECT_EQ(set.Find("b"), 1);
  EXPECT_EQ(set.Find("nobody"), client::TFaceSet::kUnknownSlot);
  EXPECT_EQ(set.Find(""), client::TFaceSet::kUnknownSlot);
  EXPECT_EQ(set.Name(127), "");
  EXPECT_EQ(set.Picture(127).pixel(20, 20), qRgb(9, 9, 9));
  EXPECT_EQ(qAlpha(set.Picture(0).pixel(0, 0)), 0);  // green is transparent

  for (int i = 0; i < 130; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "z%03d.bmp", i);
    clienttest::WriteFace(faces / name, qRgb(1, 2, 3));
  }
  set.LoadFaces(faces.string());
  EXPECT_EQ(set.Count(), 127);
  EXPECT_EQ(set.Name(126), "z124");  // a, b, then z000-z124
  EXPECT_EQ(set.Picture(127).pixel(20, 20), qRgb(9, 9, 9));
}

// Without faces/unknown.bmp loading fails with an error that names the file.
TEST(Faces, MissingUnknownPictureIsAnErrorNamingIt) {
  clienttest::App();
  clienttest::HomeDir home("nounknown");
  auto faces = home.path / "faces";
  clienttest::WriteFace(faces / "a.bmp", qRgb(1, 2, 3));
  client::TFaceSet set;
  try {
    set.LoadFaces(faces.string());
    ADD_FAILURE() << "no error";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find((faces / "unknown.bmp").string()), std::string::npos) << e.what();
  }
}

}  // namespace
