#include "Format.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "HostCall.h"
#include "VmSpace.h"

namespace {

struct Out {
    char* out;
    size_t capacity;
    size_t length = 0;
    void Put(const char* s, size_t n) {
        if (length + 1 < capacity) {
            size_t room = capacity - 1 - length;
            std::memcpy(out + length, s, n < room ? n : room);
        }
        length += n;
    }
};

bool Fail(std::string* error, const char* why) {
    if (error) *error = why;
    return false;
}

}  // namespace

int scFormat(char* out, size_t capacity, const char* format, scVarArgs& args, std::string* error) {
    Out o{out, capacity};
    const char* p = format;
    char spec[64];
    char buf[512];
    auto finish = [&]() {
        if (capacity) out[o.length < capacity ? o.length : capacity - 1] = 0;
    };
    while (*p) {
        if (*p != '%') {
            const char* q = std::strchr(p, '%');
            size_t n = q ? size_t(q - p) : std::strlen(p);
            o.Put(p, n);
            p += n;
            continue;
        }
        const char* start = p++;
        if (*p == '%') {
            o.Put("%", 1);
            ++p;
            continue;
        }
        std::string s = "%";
        while (*p && std::strchr("-+ #0", *p)) s += *p++;
        int width = -1, precision = -1;
        bool haveWidth = false;
        if (*p == '*') {
            uint32_t w;
            if (!args.Word(w)) { finish(); return Fail(error, "too few arguments for the format") ? 0 : -1; }
            width = int32_t(w);
            haveWidth = true;
            ++p;
        } else if (*p >= '0' && *p <= '9') {
            width = 0;
            while (*p >= '0' && *p <= '9') { int d = *p++ - '0'; if (width < 100000) width = width * 10 + d; }
            haveWidth = true;
        }
        if (haveWidth) {
            if (width < 0) { s += '-'; width = width == INT32_MIN ? 256 : -width; }
            if (width > 256) width = 256;
            s += std::to_string(width);
        }
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                uint32_t w;
                if (!args.Word(w)) { finish(); return Fail(error, "too few arguments for the format") ? 0 : -1; }
                precision = int32_t(w);
                ++p;
            } else {
                precision = 0;
                while (*p >= '0' && *p <= '9') { int d = *p++ - '0'; if (precision < 100000) precision = precision * 10 + d; }
            }
            if (precision > 256) precision = 256;
            if (precision >= 0) s += "." + std::to_string(precision);
        }
        int longs = 0;
        while (*p == 'h') ++p;
        while (*p == 'l') { ++longs; ++p; }
        char conv = *p ? *p++ : 0;
        if (s.size() > 40) { finish(); return Fail(error, "bad format") ? 0 : -1; }
        std::memcpy(spec, s.data(), s.size());
        size_t sl = s.size();
        int n = 0;
        switch (conv) {
        case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': {
            uint64_t v;
            bool ok;
            if (longs >= 2) {
                ok = args.Long(v);
            } else {
                uint32_t w = 0;
                ok = args.Word(w);
                v = (conv == 'd' || conv == 'i') ? uint64_t(int64_t(int32_t(w))) : w;
            }
            if (!ok) { finish(); return Fail(error, "too few arguments for the format") ? 0 : -1; }
            spec[sl++] = 'l'; spec[sl++] = 'l'; spec[sl++] = conv; spec[sl] = 0;
            if (conv == 'd' || conv == 'i')
                n = std::snprintf(buf, sizeof buf, spec, (long long)int64_t(v));
            else
                n = std::snprintf(buf, sizeof buf, spec, (unsigned long long)v);
            break;
        }
        case 'c': {
            uint32_t w;
            if (!args.Word(w)) { finish(); return Fail(error, "too few arguments for the format") ? 0 : -1; }
            spec[sl++] = 'c'; spec[sl] = 0;
            n = std::snprintf(buf, sizeof buf, spec, int(uint8_t(w)));
            break;
        }
        case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': {
            double d;
            if (!args.Double(d)) { finish(); return Fail(error, "too few arguments for the format") ? 0 : -1; }
            spec[sl++] = conv; spec[sl] = 0;
            n = std::snprintf(buf, sizeof buf, spec, d);
            break;
        }
        case 'p': {
            uint32_t w;
            if (!args.Word(w)) { finish(); return Fail(error, "too few arguments for the format") ? 0 : -1; }
            n = std::snprintf(buf, sizeof buf, "%08X", w);
            break;
        }
        case 's': {
            uint32_t a;
            if (!args.Word(a)) { finish(); return Fail(error, "too few arguments for the format") ? 0 : -1; }
            const char* text = "(null)";
            size_t len = 6;
            if (a) {
                zedi::VmSpace& vm = zedi::VmSpace::Get();
                uint32_t room = vm.Room(a);
                if (!room) { finish(); return Fail(error, "bad text pointer for %s") ? 0 : -1; }
                text = reinterpret_cast<const char*>(vm.Ptr(a));
                size_t limit = precision >= 0 && uint32_t(precision) < room ? size_t(precision) : room;
                const void* z = std::memchr(text, 0, limit);
                if (!z && limit == room) { finish(); return Fail(error, "unterminated text for %s") ? 0 : -1; }
                len = z ? size_t(static_cast<const char*>(z) - text) : limit;
            } else if (precision >= 0 && size_t(precision) < len) {
                len = size_t(precision);
            }
            int pad = width > int(len) ? width - int(len) : 0;
            bool left = s.find('-') != std::string::npos;
            std::string fill(size_t(pad), ' ');
            if (!left) o.Put(fill.data(), fill.size());
            o.Put(text, len);
            if (left) o.Put(fill.data(), fill.size());
            continue;
        }
        case 'n': finish(); return Fail(error, "%n is not allowed") ? 0 : -1;
        default:
            // Not a conversion: keep the text as it is.
            o.Put(start, size_t(p - start));
            continue;
        }
        if (n > 0) o.Put(buf, size_t(n) < sizeof buf ? size_t(n) : sizeof buf - 1);
    }
    finish();
    return int(o.length);
}
