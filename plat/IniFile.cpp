#include "IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace plat {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool IsLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

unsigned char Fold(unsigned char b) { return (b >= 'a' && b <= 'z') ? b - 'a' + 'A' : b; }

// The section name of a header line, or false when the line is none.
bool HeaderName(std::string_view line, std::string_view& name) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() != '[') return false;
  size_t close = t.find(']');
  if (close == std::string_view::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

// Key and value of a key=value line, or false.
bool KeyValue(std::string_view line, std::string_view& key, std::string_view& value) {
  std::string_view t = Trim(line);
  if (t.empty() || t.front() == ';' || t.front() == '[') return false;
  size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  key = Trim(t.substr(0, eq));
  value = Trim(t.substr(eq + 1));
  return true;
}

bool ParseInt(std::string_view s, int32_t& out) {
  s = Trim(s);
  if (s.empty()) return false;
  bool neg = false;
  size_t i = 0;
  if (s[0] == '+' || s[0] == '-') {
    neg = s[0] == '-';
    i = 1;
  }
  if (i >= s.size()) return false;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > (int64_t{1} << 31)) return false;
  }
  if (neg) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  out = static_cast<int32_t>(v);
  return true;
}

}  // namespace

bool ProfileNamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (IsLead(x)) {
      if (x != y || i + 1 >= a.size() || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (Fold(x) != Fold(y)) return false;
  }
  return true;
}

TIniFile::TIniFile(std::string path) : path_(std::move(path)) {
  std::ifstream in(path_, std::ios::binary);
  if (!in) return;
  std::stringstream ss;
  ss << in.rdbuf();
  SetText(ss.str());
}

void TIniFile::SetText(std::string_view text) {
  lines_.clear();
  eol_ = text.find('\n') != std::string_view::npos && text.find("\r\n") == std::string_view::npos
             ? "\n"
             : "\r\n";
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    std::string_view line =
        text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.push_back({std::string(line)});
    if (nl == std::string_view::npos) break;
    pos = nl + 1;
  }
}

std::string TIniFile::Text() const {
  std::string out;
  for (const Line& l : lines_) {
    out += l.text;
    out += eol_;
  }
  return out;
}

int TIniFile::FindSection(std::string_view section) const {
  std::string_view want = Trim(section);
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::string_view name;
    if (HeaderName(lines_[i].text, name) && ProfileNamesEqual(name, want)) return int(i);
  }
  return -1;
}

int TIniFile::SectionEnd(int header) const {
  size_t i = header + 1;
  std::string_view name;
  while (i < lines_.size() && !HeaderName(lines_[i].text, name)) ++i;
  return int(i);
}

int TIniFile::FindKey(int header, std::string_view key) const {
  std::string_view want = Trim(key);
  int end = SectionEnd(header);
  for (int i = header + 1; i < end; ++i) {
    std::string_view k, v;
    if (KeyValue(lines_[i].text, k, v) && ProfileNamesEqual(k, want)) return i;
  }
  return -1;
}

bool TIniFile::SectionExists(std::string_view section) const { return FindSection(section) >= 0; }

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
  int h = FindSection(section);
  return h >= 0 && FindKey(h, key) >= 0;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view def) const {
  int h = FindSection(section);
  int i = h >= 0 ? FindKey(h, key) : -1;
  if (i < 0) return std::string(def);
  std::string_view k, v;
  KeyValue(lines_[i].text, k, v);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return std::string(v);
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
  int32_t v;
  return ParseInt(ReadString(section, key, ""), v) ? v : def;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view section, std::string_view key,
                           std::string_view value) {
  std::string line = std::string(Trim(key)) + "=" + std::string(value);
  int h = FindSection(section);
  if (h < 0) {
    lines_.push_back({"[" + std::string(Trim(section)) + "]"});
    lines_.push_back({line});
    return;
  }
  int i = FindKey(h, key);
  if (i >= 0) {
    lines_[i].text = line;
    return;
  }
  // After the last non-blank line of the section.
  int end = SectionEnd(h);
  while (end > h + 1 && Trim(lines_[end - 1].text).empty()) --end;
  lines_.insert(lines_.begin() + end, {line});
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

namespace {

int Open(const TSaveCalls& calls, const std::string& path, int flags, unsigned mode) {
  return calls.open ? calls.open(path, flags, mode) : ::open(path.c_str(), flags, mode);
}

// Writes all of text at offset; false (errno set) when a write fails.
bool WriteAll(const TSaveCalls& calls, int fd, const std::string& text, size_t offset = 0) {
  for (size_t done = 0; done < text.size();) {
    long n = calls.pwrite ? calls.pwrite(fd, text.data() + done, text.size() - done, long(offset + done))
                          : ::pwrite(fd, text.data() + done, text.size() - done, off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += size_t(n);
  }
  return true;
}

bool Failed(std::string* error, const std::string& path, int err, const std::string& more = "") {
  if (error) *error = "cannot write " + path + ": " + std::strerror(err) + more;
  return false;
}

// Keeps text in a new file of the temporary folder; its path, "" when none
// could be written.
std::string KeepCopy(const std::string& text, const std::string& name) {
  std::error_code ec;
  std::string path = (std::filesystem::temp_directory_path(ec) / (name + ".XXXXXX")).string();
  if (ec) path = "/tmp/" + name + ".XXXXXX";
  int fd = ::mkstemp(path.data());
  if (fd < 0) return "";
  bool ok = WriteAll({}, fd, text) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) return path;
  std::remove(path.c_str());
  return "";
}

// Rewrites the file at path with text in place (shown is the name the
// program knows it by). The old text is read first: when the rewrite fails
// partway it is put back, and when that fails too it is kept in a copy that
// the error names, so that it is never lost unsaid.
bool RewriteInPlace(const std::string& shown, const std::string& path, const std::string& text,
                    const TSaveCalls& calls, std::string* error) {
  int fd = Open(calls, path, O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) return Failed(error, shown, errno);
  std::string old;
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      return Failed(error, shown, err);
    }
    if (n == 0) break;
    old.append(buf, size_t(n));
  }
  auto put = [&](const std::string& t) {
    return WriteAll(calls, fd, t) && ::ftruncate(fd, off_t(t.size())) == 0 && ::fsync(fd) == 0;
  };
  if (put(text)) {
    ::close(fd);  // the text is on disk once fsync has succeeded
    return true;
  }
  const int err = errno;
  const bool restored = put(old);
  ::close(fd);
  if (restored) return Failed(error, shown, err, "; the file keeps its old text");
  std::string copy = KeepCopy(old, std::filesystem::path(path).filename().string());
  return Failed(error, shown, err,
                copy.empty() ? "; the file is damaged and its old text is lost"
                             : "; the file is damaged, its old text is kept in " + copy);
}

}  // namespace

bool TIniFile::UpdateFile(std::string* error, const TSaveCalls& calls) const {
  // A link is saved through: the file replaced is the one it names, so the
  // link stays and its target changes.
  std::filesystem::path file = path_;
  std::error_code ec;
  for (int hops = 0; hops < 40 && std::filesystem::is_symlink(file, ec); ++hops) {
    std::filesystem::path to = std::filesystem::read_symlink(file, ec);
    if (ec) break;
    file = to.is_absolute() ? to : file.parent_path() / to;
  }
  const std::string path = file.string(), tmp = path + ".tmp", text = Text();
  struct stat old {};
  const bool existed = ::stat(path.c_str(), &old) == 0;
  // The new text goes to a file beside the old one, which it replaces only
  // once it is whole on disk: a crash leaves the old file or the new one.
  int fd = Open(calls, tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    // No file can be made beside it (a folder the player may not write):
    // a file that is there is rewritten in place, keeping its mode.
    if (existed && S_ISREG(old.st_mode)) return RewriteInPlace(path_, path, text, calls, error);
    return Failed(error, path_, errno);
  }
  bool ok = (!existed || ::fchmod(fd, old.st_mode & 07777) == 0) && WriteAll(calls, fd, text) && ::fsync(fd) == 0;
  int err = errno;
  if (::close(fd) != 0 && ok) ok = false, err = errno;
  if (ok && std::rename(tmp.c_str(), path.c_str()) == 0) return true;
  if (ok) err = errno;
  std::remove(tmp.c_str());
  return Failed(error, path_, err);
}

}  // namespace plat
