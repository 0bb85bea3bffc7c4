#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "Paths.h"

TEST(Paths, ExecutableFolderOrOverride) {
  unsetenv("VELMORA_HOME");
  EXPECT_EQ(plat::ProgramDir(),
            std::filesystem::read_symlink("/proc/self/exe").parent_path().string());
  setenv("VELMORA_HOME", "/tmp/somewhere/", 1);
  EXPECT_EQ(plat::ProgramDir(), "/tmp/somewhere");
  EXPECT_EQ(plat::ProgramFile("velmora.ini"), "/tmp/somewhere/velmora.ini");
  unsetenv("VELMORA_HOME");
}
