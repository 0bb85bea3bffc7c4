#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "IniFile.h"

namespace {

using plat::TIniFile;

TIniFile FromText(const char* text) {
  TIniFile ini("/nonexistent/never-written.ini");
  ini.SetText(text);
  return ini;
}

TEST(IniFile, ReadsWithProfileRules) {
  TIniFile ini = FromText(
      "; comment\r\n"
      "[Server]\r\n"
      "  IPADDR = 10.0.0.1  \r\n"
      "port=3300\r\n"
      "[ user ]\r\n"
      "Name=\"  spaced  \"\r\n"
      "name=second\r\n"
      "bad=12x\r\n"
      "big=99999999999\r\n"
      "neg=-7\r\n");
  EXPECT_EQ(ini.ReadString("server", "ipaddr", "d"), "10.0.0.1");
  EXPECT_EQ(ini.ReadString("SERVER", "PORT", "d"), "3300");
  EXPECT_EQ(ini.ReadString("User", "NAME", "d"), "  spaced  ");  // first key wins, quotes go
  EXPECT_EQ(ini.ReadString("User", "missing", "d"), "d");
  EXPECT_EQ(ini.ReadString("Nope", "name", "d"), "d");
  EXPECT_EQ(ini.ReadInteger("User", "bad", 5), 5);
  EXPECT_EQ(ini.ReadInteger("User", "big", 5), 5);
  EXPECT_EQ(ini.ReadInteger("User", "neg", 5), -7);
  EXPECT_TRUE(ini.ReadBool("User", "neg", false));
  EXPECT_TRUE(ini.ReadBool("User", "bad", true));
  EXPECT_FALSE(ini.ReadBool("User", "bad", false));
}

TEST(IniFile, ShiftJisTrailBytesAreNotCaseFolded) {
  // "ソ" is 83 5C and "ボ" is 83 7B; the trail bytes look like ASCII but must
  // compare exactly, while ASCII letters fold.
  EXPECT_TRUE(plat::ProfileNamesEqual("npc1", "NPC1"));
  EXPECT_FALSE(plat::ProfileNamesEqual("\x83\x61", "\x83\x41"));  // ドa vs ア
  EXPECT_TRUE(plat::ProfileNamesEqual("\x83\x5c" "a", "\x83\x5c" "A"));
}

TEST(IniFile, WritesInPlaceAndKeepsOtherLines) {
  TIniFile ini = FromText(
      "[Other]\r\n"
      "keep=\x83\x5c\x83\x74\x83\x67\r\n"  // ソフト
      "\r\n"
      "[Option]\r\n"
      "; a comment\r\n"
      "CPUCOUNT=2\r\n"
      "\r\n");
  ini.WriteInteger("option", "cpucount", 4);
  ini.WriteBool("Option", "SUIRIMODE", true);
  ini.WriteString("NPC", "NPC1", "\x89\xa9\x8e\x52");
  EXPECT_EQ(ini.Text(),
            "[Other]\r\n"
            "keep=\x83\x5c\x83\x74\x83\x67\r\n"
            "\r\n"
            "[Option]\r\n"
            "; a comment\r\n"
            "cpucount=4\r\n"
            "SUIRIMODE=1\r\n"
            "\r\n"
            "[NPC]\r\n"
            "NPC1=\x89\xa9\x8e\x52\r\n");
}

TEST(IniFile, FileRoundTripKeepsBytes) {
  auto dir = std::filesystem::temp_directory_path() / ("ini_test_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string path = (dir / "a.ini").string();
  {
    TIniFile ini(path);  // missing file: empty, defaults
    EXPECT_EQ(ini.ReadString("User", "NAME", "def"), "def");
    ini.WriteString("User", "NAME", "\x96\xbc\x91\x4f\x5c");  // 名前\ (a trail-byte-like tail)
    ASSERT_TRUE(ini.UpdateFile());
  }
  TIniFile again(path);
  EXPECT_EQ(again.ReadString("user", "name", ""), "\x96\xbc\x91\x4f\x5c");

  if (geteuid() != 0) {  // root writes anywhere
    chmod(dir.c_str(), 0555);
    std::string err;
    EXPECT_FALSE(again.UpdateFile(&err));
    EXPECT_NE(err.find("a.ini"), std::string::npos);
    chmod(dir.c_str(), 0755);
  }
  std::filesystem::remove_all(dir);
}

TEST(IniFile, UnwritablePathReportsError) {
  TIniFile ini("/nonexistent-dir/x.ini");
  ini.WriteString("A", "b", "c");
  std::string err;
  EXPECT_FALSE(ini.UpdateFile(&err));
  EXPECT_FALSE(err.empty());
}

}  // namespace
