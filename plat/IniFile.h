// Ini files with the rules of Windows profile files: "[section]" headers and
// key=value lines; section and key names compare without regard to ASCII case;
// values are trimmed of blanks and of one pair of enclosing quotes when read.
// Every byte of every line is kept as it is (Shift-JIS text included), and
// lines this class does not understand (comments, others' sections) survive a
// rewrite untouched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace plat {

// The calls through which a save opens and writes files (POSIX open and
// pwrite, with their results and errno); an empty one is the system's. Tests
// put a failing one in place, since chmod stops no write of root's.
struct TSaveCalls {
  std::function<int(const std::string& path, int flags, unsigned mode)> open;
  std::function<long(int fd, const char* data, size_t size, long offset)> pwrite;
};

class TIniFile {
 public:
  // Reads path if it exists; a missing or unreadable file gives an empty one.
  explicit TIniFile(std::string path);

  const std::string& FileName() const { return path_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  // Decimal integer with an optional sign; anything else (or nothing) gives def.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
  // True for a non-zero integer; a missing or malformed value gives def.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;

  // Replaces the first key of that name in the section, or appends the key
  // at the end of the section, or appends the section at the end of the file.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

  // Writes the file back: the new text goes to "<file>.tmp", which then
  // replaces the file. Where that temporary file cannot be made (a folder
  // the player may not write) an existing file is rewritten in place; if
  // that fails partway the old text is put back, or, failing that, kept in
  // a copy in the temporary folder that the error names. Returns false and
  // fills error when the new text is not saved.
  bool UpdateFile(std::string* error = nullptr, const TSaveCalls& calls = {}) const;

  // Loads from text (tests, and the constructor).
  void SetText(std::string_view text);
  std::string Text() const;

 private:
  struct Line {
    std::string text;  // without the line end
  };
  // Index of the header line of the section, or -1.
  int FindSection(std::string_view section) const;
  // Index of the first line of the key inside the section starting at header, or -1.
  int FindKey(int header, std::string_view key) const;
  // One past the last line of the section that starts at header.
  int SectionEnd(int header) const;

  std::string path_;
  std::vector<Line> lines_;
  std::string eol_ = "\r\n";
};

// Case-insensitive comparison of ASCII letters; the second byte of a
// Shift-JIS character is compared exactly.
bool ProfileNamesEqual(std::string_view a, std::string_view b);

}  // namespace plat
