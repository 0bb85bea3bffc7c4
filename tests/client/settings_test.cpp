#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "IniFile.h"
#include "NpcNames.h"
#include "Settings.h"

namespace {

struct TempDir {
  std::filesystem::path path;
  TempDir() {
    path = std::filesystem::temp_directory_path() /
           ("client_settings_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(path);
  }
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string File(const char* n) const { return (path / n).string(); }
};

std::string ReadAll(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

TEST(Settings, MissingFileGivesDefaults) {
  TempDir d;
  client::TClientSettings s = client::LoadSettings(d.File("velmora.ini"));
  EXPECT_EQ(s.address, "127.0.0.1");
  EXPECT_EQ(s.port, "3201");
  EXPECT_EQ(s.name, "");
  EXPECT_EQ(s.face, "");
  EXPECT_TRUE(s.kokusoMode);
  EXPECT_FALSE(s.suiriMode);
  EXPECT_EQ(s.cpuCount, 0);
}

TEST(Settings, ValuesBadNumbersAndClamp) {
  struct Row {
    const char* option;
    bool kokuso, suiri;
    int cpu;
  } rows[] = {
      {"KOKUSOMODE=0\nSUIRIMODE=1\nCPUCOUNT=3\n", false, true, 3},
      {"kokusomode=zero\nsuirimode=\nCPUCOUNT=x\n", true, false, 0},
      {"CPUCOUNT=9\n", true, false, 5},
      {"CPUCOUNT=-2\nSUIRIMODE=-1\n", true, true, 0},
  };
  for (const Row& r : rows) {
    TempDir d;
    std::ofstream(d.File("velmora.ini")) << "[option]\n" << r.option;
    client::TClientSettings s = client::LoadSettings(d.File("velmora.ini"));
    EXPECT_EQ(s.kokusoMode, r.kokuso) << r.option;
    EXPECT_EQ(s.suiriMode, r.suiri) << r.option;
    EXPECT_EQ(s.cpuCount, r.cpu) << r.option;
  }
}

TEST(Settings, SaveKeepsShiftJisOtherSectionsAndNpc) {
  TempDir d;
  std::string path = d.File("velmora.ini");
  std::ofstream(path, std::ios::binary) << "[Mine]\r\nx=1\r\n[User]\r\nNAME=old\r\n"
                                           "[NPC]\r\nNPC3=\x90\x85\x93\xdf\r\n";
  client::TClientSettings s = client::LoadSettings(path);
  EXPECT_EQ(s.name, "old");
  s.name = "\x83\x5c\x83\x74\x83\x67";  // ソフト
  s.face = "\x89\xa9\x8e\x52\x92\x89\x8f\x95";
  s.kokusoMode = false;
  s.cpuCount = 2;
  client::TNpcNames npc;
  plat::TIniFile before(path);
  npc.StoreNpc(2, before.ReadString("NPC", "NPC3", ""));
  std::string err;
  ASSERT_TRUE(client::SaveSettings(path, s, npc.RawNames(), &err)) << err;

  client::TClientSettings back = client::LoadSettings(path);
  EXPECT_EQ(back.name, s.name);
  EXPECT_EQ(back.face, s.face);
  EXPECT_FALSE(back.kokusoMode);
  EXPECT_EQ(back.cpuCount, 2);
  plat::TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("Mine", "x", ""), "1");
  EXPECT_EQ(ini.ReadString("NPC", "NPC1", ""), client::kNpcDefaultNames[0]);
  EXPECT_EQ(ini.ReadString("NPC", "NPC3", ""), "\x90\x85\x93\xdf");
  std::string text = ReadAll(path);
  EXPECT_NE(text.find("[User]\r\nNAME=\x83\x5c\x83\x74\x83\x67\r\nFACE="), std::string::npos) << text;
}

TEST(Settings, SaveIntoUnwritableFolderFails) {
  std::string err;
  client::TNpcNames npc;
  EXPECT_FALSE(client::SaveSettings("/nonexistent-dir/velmora.ini", {}, npc.RawNames(), &err));
  EXPECT_FALSE(err.empty());
}

}  // namespace
