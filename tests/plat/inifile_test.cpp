#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

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
    // A folder the player may not write: the file is rewritten in place.
    chmod(dir.c_str(), 0555);
    again.WriteString("User", "NAME", "b");
    std::string err;
    EXPECT_TRUE(again.UpdateFile(&err)) << err;
    EXPECT_EQ(TIniFile(path).ReadString("User", "NAME", ""), "b");
    chmod(dir.c_str(), 0755);
  }
  std::filesystem::remove_all(dir);
}

std::string ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Save calls that cannot make the temporary file, as in a folder the player
// may not write (root writes anywhere, so chmod would not show it).
plat::TSaveCalls NoTemporaryFile() {
  plat::TSaveCalls calls;
  calls.open = [](const std::string& path, int flags, unsigned mode) {
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".tmp") == 0) {
      errno = EACCES;
      return -1;
    }
    return ::open(path.c_str(), flags, mode);
  };
  return calls;
}

// Saving writes through a symbolic link to its target, keeps the file's mode,
// and leaves no temporary file behind: by a temporary file that replaces the
// old one, or, where none can be made, by rewriting the file in place.
TEST(IniFile, SaveWritesThroughLinkAndKeepsMode) {
  namespace fs = std::filesystem;
  for (bool inPlace : {false, true}) {
    SCOPED_TRACE(inPlace ? "in place" : "by a temporary file");
    auto dir = fs::temp_directory_path() / ("ini_link_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "real");
    fs::path target = dir / "real" / "v.ini", link = dir / "v.ini";
    std::ofstream(target, std::ios::binary) << "; mine\r\n[User]\r\nNAME=a long old name\r\n";
    chmod(target.c_str(), 0640);
    fs::create_symlink(fs::path("real") / "v.ini", link);
    {
      TIniFile ini(link.string());
      EXPECT_EQ(ini.ReadString("User", "NAME", ""), "a long old name");
      ini.WriteString("User", "NAME", "b");
      std::string err;
      ASSERT_TRUE(ini.UpdateFile(&err, inPlace ? NoTemporaryFile() : plat::TSaveCalls{})) << err;
    }
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadAll(target), "; mine\r\n[User]\r\nNAME=b\r\n");
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    size_t files = 0;
    for (auto& e : fs::directory_iterator(dir / "real")) files += e.is_regular_file();
    EXPECT_EQ(files, 1u);
    fs::remove_all(dir);
  }
}

// Where no temporary file can be made and there is no file to rewrite,
// nothing is saved and the error says why.
TEST(IniFile, NoTemporaryFileAndNoFileReportsWhy) {
  auto dir = std::filesystem::temp_directory_path() / ("ini_nofile_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  TIniFile ini((dir / "new.ini").string());
  ini.WriteString("A", "b", "c");
  std::string err;
  EXPECT_FALSE(ini.UpdateFile(&err, NoTemporaryFile()));
  EXPECT_NE(err.find("new.ini: Permission denied"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(dir / "new.ini"));
  std::filesystem::remove_all(dir);
}

// An in-place rewrite that fails partway never loses the old text silently:
// it is put back, or else kept in a copy that the error names.
TEST(IniFile, InPlaceRewriteThatFailsPartwayKeepsTheOldText) {
  namespace fs = std::filesystem;
  // The new text's first write stops halfway and the next one fails; the
  // writes that put the old text back work or fail too.
  for (bool restoreWorks : {true, false}) {
    SCOPED_TRACE(restoreWorks ? "put back" : "kept in a copy");
    auto dir = fs::temp_directory_path() / ("ini_partway_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::path file = dir / "v.ini";
    const std::string old = "[User]\r\nNAME=old\r\n[Other]\r\nkeep=1\r\n";
    std::ofstream(file, std::ios::binary) << old;
    int writes = 0;
    plat::TSaveCalls calls = NoTemporaryFile();
    calls.pwrite = [&](int fd, const char* data, size_t size, long offset) -> long {
      ++writes;
      if (writes == 1) return ::pwrite(fd, data, size / 2, offset);
      if (writes > 2 && restoreWorks) return ::pwrite(fd, data, size, offset);
      errno = EIO;
      return -1;
    };
    TIniFile ini(file.string());
    ini.WriteString("User", "NAME", "a much longer new name than the old one");
    std::string err;
    EXPECT_FALSE(ini.UpdateFile(&err, calls));
    EXPECT_NE(err.find("Input/output error"), std::string::npos) << err;
    if (restoreWorks) {
      EXPECT_EQ(ReadAll(file), old);
      EXPECT_NE(err.find("keeps its old text"), std::string::npos) << err;
    } else {
      size_t at = err.find("old text is kept in ");
      ASSERT_NE(at, std::string::npos) << err;
      fs::path copy = err.substr(at + 20);
      EXPECT_EQ(ReadAll(copy), old);
      fs::remove(copy);
    }
    fs::remove_all(dir);
  }
}

TEST(IniFile, UnwritablePathReportsError) {
  TIniFile ini("/nonexistent-dir/x.ini");
  ini.WriteString("A", "b", "c");
  std::string err;
  EXPECT_FALSE(ini.UpdateFile(&err));
  EXPECT_FALSE(err.empty());
}

}  // namespace
