#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

#include "MessageBox.h"
#include "WaveSound.h"

namespace {

TEST(WaveSound, NullWhenAskedFor) {
  setenv("VELMORA_SOUND", "null", 1);
  std::string why;
  auto s = plat::CreateWaveSound(&why);
  EXPECT_TRUE(s->IsNull());
  EXPECT_EQ(why, "VELMORA_SOUND=null");
  const uint8_t junk[4] = {1, 2, 3, 4};
  EXPECT_TRUE(s->Play(junk, sizeof junk));
}

TEST(MessageBox, HandlerAnswersAndHeadlessNeverBlocks) {
  std::vector<plat::TMessageBoxRequest> seen;
  plat::SetMessageBoxHandler([&](const plat::TMessageBoxRequest& r) {
    seen.push_back(r);
    return plat::idNo;
  });
  EXPECT_EQ(plat::MessageBox(nullptr, "\x8c\x78\x8d\x90", "cap", plat::mbYesNo), plat::idNo);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "\x8c\x78\x8d\x90");
  plat::SetMessageBoxHandler(nullptr);
  EXPECT_EQ(plat::MessageBox(nullptr, "text", "cap", plat::mbOKCancel), plat::idOK);
}

}  // namespace
