#include "TextCodec.h"

#include <iconv.h>

#include <cerrno>

namespace plat {

namespace {

// One iconv descriptor per direction and thread, opened on first use.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (Valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts text; on a byte sequence it cannot convert, calls
  // onBad(input, left) which appends what stands in for it to `out` and
  // returns how many input bytes to skip (0 = stop).
  template <typename OnBad>
  void Run(std::string_view text, std::string& out, OnBad onBad) {
    if (!Valid()) {
      // Without the converter only ASCII passes; the rest counts as bad.
      for (size_t i = 0; i < text.size();) {
        const auto* p = reinterpret_cast<const unsigned char*>(text.data() + i);
        if (*p < 0x80) {
          out += char(*p);
          ++i;
          continue;
        }
        const size_t skip = onBad(p, text.size() - i);
        if (skip == 0) return;
        i += skip;
      }
      return;
    }
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char buf[1024];
    while (inLeft > 0) {
      char* o = buf;
      size_t oLeft = sizeof(buf);
      const size_t r = iconv(cd_, &in, &inLeft, &o, &oLeft);
      const int err = errno;
      out.append(buf, size_t(o - buf));
      if (r != size_t(-1)) continue;
      if (err == E2BIG) continue;
      const size_t skip = onBad(reinterpret_cast<const unsigned char*>(in), inLeft);
      if (skip == 0 || skip > inLeft) break;
      in += skip;
      inLeft -= skip;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
  }

 private:
  iconv_t cd_;
};

Converter& FromSjis() {
  thread_local Converter c("UTF-8", "CP932");
  return c;
}

Converter& ToSjis() {
  thread_local Converter c("CP932", "UTF-8");
  return c;
}

// Length of the UTF-8 sequence a byte begins, 1 for a stray byte.
size_t Utf8Length(unsigned char b) {
  if (b >= 0xF0 && b <= 0xF4) return 4;
  if (b >= 0xE0) return b <= 0xEF ? 3 : 1;
  if (b >= 0xC2) return 2;
  return 1;
}

}  // namespace

std::string SjisToUtf8(std::string_view sjis) {
  std::string out;
  out.reserve(sjis.size() * 3 / 2);
  FromSjis().Run(sjis, out, [&out](const unsigned char* p, size_t left) -> size_t {
    out += "\xEF\xBF\xBD";
    // A double-byte lead takes a non-ASCII trail byte along; an ASCII byte
    // after it is read again as itself.
    const bool lead = (p[0] >= 0x81 && p[0] <= 0x9F) || (p[0] >= 0xE0 && p[0] <= 0xFC);
    return (lead && left >= 2 && p[1] >= 0x80) ? 2 : 1;
  });
  return out;
}

std::string Utf8ToSjis(std::string_view utf8, char replacement) {
  std::string out;
  out.reserve(utf8.size());
  ToSjis().Run(utf8, out, [&](const unsigned char* p, size_t left) -> size_t {
    out += replacement;
    size_t n = Utf8Length(p[0]);
    if (n > left) return left;
    for (size_t i = 1; i < n; ++i)
      if ((p[i] & 0xC0) != 0x80) return i;
    return n;
  });
  return out;
}

std::optional<std::string> Utf8ToSjisStrict(std::string_view utf8) {
  bool ok = true;
  std::string out;
  ToSjis().Run(utf8, out, [&ok](const unsigned char*, size_t) -> size_t {
    ok = false;
    return 0;
  });
  if (!ok) return std::nullopt;
  return out;
}

}  // namespace plat
