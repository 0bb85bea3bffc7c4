#include <gtest/gtest.h>

#include "TextCodec.h"

using namespace plat;

TEST(TextCodec, RoundTripsJapaneseAndAscii) {
  const std::string utf8 = "推理 and 告訴: 探偵メモ ～①";
  const std::string sjis = Utf8ToSjis(utf8);
  EXPECT_EQ(sjis.substr(0, 4), "\x90\x84\x97\x9d");  // 推理
  EXPECT_EQ(SjisToUtf8(sjis), utf8);
  ASSERT_TRUE(Utf8ToSjisStrict(utf8).has_value());
  EXPECT_EQ(*Utf8ToSjisStrict(utf8), sjis);
  // Half-width katakana are single bytes.
  EXPECT_EQ(Utf8ToSjis("ｱ"), "\xb1");
}

TEST(TextCodec, InvalidShiftJisBecomesReplacementCharacter) {
  const struct {
    std::string sjis;
    std::string utf8;
  } cases[] = {
      {"a\x81", "a\xEF\xBF\xBD"},                   // lead byte at the end
      {"\x81 A", "\xEF\xBF\xBD A"},                 // a byte that is no trail is kept
      {"\xFF" "b", "\xEF\xBF\xBD" "b"},             // never a valid byte
      {"\x85\x90" "c", "\xEF\xBF\xBD" "c"},         // unassigned pair counts once
  };
  for (const auto& c : cases) EXPECT_EQ(SjisToUtf8(c.sjis), c.utf8);
}

TEST(TextCodec, CharactersShiftJisLacksAreReplacedOrRefused) {
  EXPECT_EQ(Utf8ToSjis("a\xF0\x9F\x98\x80" "b"), "a?b");  // emoji
  EXPECT_EQ(Utf8ToSjis("x\xC3\xA9y", '*'), "x*y");          // é
  EXPECT_EQ(Utf8ToSjis("bad\xFF" "utf"), "bad?utf");
  EXPECT_EQ(Utf8ToSjis("cut\xE3\x81"), "cut?");
  EXPECT_FALSE(Utf8ToSjisStrict("a\xF0\x9F\x98\x80").has_value());
  EXPECT_FALSE(Utf8ToSjisStrict("bad\xFF").has_value());
  EXPECT_EQ(Utf8ToSjisStrict(""), std::string());
}
