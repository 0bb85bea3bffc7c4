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

// Saving writes through a symbolic link to its target, keeps the file's mode,
// and leaves no temporary file behind.
TEST(IniFile, SaveWritesThroughLinkAndKeepsMode) {
  namespace fs = std::filesystem;
  auto dir = fs::temp_directory_path() / ("ini_link_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "real");
  fs::path target = dir / "real" / "v.ini", link = dir / "v.ini";
  std::ofstream(target, std::ios::binary) << "[User]\r\nNAME=a\r\n";
  chmod(target.c_str(), 0600);
  fs::create_symlink(fs::path("real") / "v.ini", link);
  {
    TIniFile ini(link.string());
    EXPECT_EQ(ini.ReadString("User", "NAME", ""), "a");
    ini.WriteString("User", "NAME", "b");
    ASSERT_TRUE(ini.UpdateFile());
  }
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(TIniFile(target.string()).ReadString("User", "NAME", ""), "b");
  struct stat st {};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  size_t files = 0;
  for (auto& e : fs::directory_iterator(dir / "real")) files += e.is_regular_file();
  EXPECT_EQ(files, 1u);
  fs::remove_all(dir);
}

TEST(IniFile, UnwritablePathReportsError) {
  TIniFile ini("/nonexistent-dir/x.ini");
  ini.WriteString("A", "b", "c");
  std::string err;
  EXPECT_FALSE(ini.UpdateFile(&err));
  EXPECT_FALSE(err.empty());
}

}  // namespace
