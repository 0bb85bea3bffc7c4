#include "Image.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "Support.h"

namespace zedi {

namespace {

struct Reader {
    const uint8_t* image;
    std::string& why;
    bool Fail(const std::string& reason) {
        why = reason;
        return false;
    }
};

uint32_t Align4(uint32_t v) { return (v + 3) & ~3u; }

// Reads a NUL-terminated name at `pos` that must end before `end`.
bool ReadName(const uint8_t* image, uint32_t pos, uint32_t end, std::string& name) {
    if (pos >= end) return false;
    const void* z = std::memchr(image + pos, 0, end - pos);
    if (!z) return false;
    name.assign(reinterpret_cast<const char*>(image + pos),
                static_cast<const uint8_t*>(z) - (image + pos));
    return true;
}

}  // namespace

bool HasMagics(const uint8_t* image) {
    return image && ImageWord(image, hdrMagic) == kMagicZedI &&
           ImageWord(image, hdrMagic2) == kMagicVCPU;
}

bool CheckImage(const uint8_t* image, uint32_t size, ImageLayout& L, std::string& why) {
    Reader r{image, why};
    if (!image || size < kHeaderSize + 4) return r.Fail("too short for a script image");
    if (!HasMagics(image)) return r.Fail("not a script image");
    if (ImageWord(image, hdrVersion) != kImageVersion) return r.Fail("wrong engine version");
    if (ImageWord(image, hdrEOH) != kMagicEOH) return r.Fail("bad header end mark");
    if (ImageWord(image, hdrSize) != size) return r.Fail("size word does not match");
    if (size > kMaxImageSize) return r.Fail("image too large");
    if (ImageWord(image, hdrDataOffset) != 0) return r.Fail("bad data offset");

    L = ImageLayout{};
    L.size = size;
    L.info = ImageWord(image, hdrInfo);
    L.exports = ImageWord(image, hdrExports);
    L.code = ImageWord(image, hdrCode);
    L.pool = ImageWord(image, hdrPool);
    L.records = ImageWord(image, hdrRecords);
    L.codeSize = ImageWord(image, hdrCodeSize);
    L.dataSize = ImageWord(image, hdrDataSize);
    L.poolSize = ImageWord(image, hdrPoolSize);
    L.stackSize = ImageWord(image, hdrStackSize);
    L.imports = ImageWord(image, hdrImports);
    L.init = ImageWord(image, hdrInit);
    L.cleanup = ImageWord(image, hdrCleanup);

    // Sections in order, each inside the image.
    if (L.info < kHeaderSize || L.info > L.exports || L.exports > L.imports ||
        L.imports > L.code || L.code > size || L.codeSize > size - L.code ||
        L.code + L.codeSize > L.records || L.records > L.pool || L.pool > size ||
        L.poolSize > size - L.pool)
        return r.Fail("section offsets out of order or out of range");
    if (L.exports % 4 || L.imports % 4) return r.Fail("misaligned tables");
    if (L.dataSize > kMaxDataSize) return r.Fail("data area too large");
    if (L.stackSize < 8 || L.stackSize > kMaxStackSize || L.stackSize % 4)
        return r.Fail("bad stack size");
    if (L.init % 4 || L.init + 4 > L.codeSize || L.cleanup % 4 || L.cleanup + 4 > L.codeSize)
        return r.Fail("initialisation or clean-up routine outside the code");

    // Information chunks up to "END!".
    uint32_t pos = Align4(L.info);
    for (;;) {
        if (pos + 4 > L.exports) return r.Fail("unterminated information chunks");
        if (std::memcmp(image + pos, "END!", 4) == 0) {
            pos += 4;
            break;
        }
        if (pos + 8 > L.exports) return r.Fail("truncated information chunk");
        uint32_t len = ImageWord(image, pos + 4);
        if (len > L.exports - pos - 8) return r.Fail("information chunk too long");
        pos += 8 + len;
    }
    if (pos != L.exports) return r.Fail("export table does not follow the chunks");

    // Export table: name, padding, value, kind; ends with an empty name.
    for (;;) {
        std::string name;
        if (!ReadName(image, pos, L.imports, name)) return r.Fail("unterminated export name");
        if (name.empty()) {
            pos = Align4(pos + 1);
            break;
        }
        pos = Align4(pos + uint32_t(name.size()) + 1);
        if (pos + 8 > L.imports) return r.Fail("truncated export entry");
        L.exportList.push_back({name, pos, int32_t(ImageWord(image, pos)),
                                int32_t(ImageWord(image, pos + 4))});
        pos += 8;
    }
    if (pos != L.imports) return r.Fail("import table does not follow the exports");

    // Import table: name, padding, address word, kind; ends with one zero byte.
    for (;;) {
        std::string name;
        if (!ReadName(image, pos, L.code, name)) return r.Fail("unterminated import name");
        if (name.empty()) {
            pos += 1;
            break;
        }
        pos = Align4(pos + uint32_t(name.size()) + 1);
        if (pos + 8 > L.code) return r.Fail("truncated import entry");
        L.importList.push_back({name, pos - L.imports, int32_t(ImageWord(image, pos + 4))});
        pos += 8;
    }
    L.importsEnd = pos;
    if (pos != L.code) return r.Fail("code does not follow the imports");

    // Data-initialisation records.
    pos = L.records;
    auto inData = [&](uint32_t off, uint32_t len) {
        return off <= L.dataSize && len <= L.dataSize - off;
    };
    for (;;) {
        if (pos + 8 > L.pool) return r.Fail("unterminated data records");
        ImageRecord rec{pos, int32_t(ImageWord(image, pos)), int32_t(ImageWord(image, pos + 4))};
        pos += 8;
        if (rec.kind == recEnd) {
            if (rec.target != 0) return r.Fail("bad end of data records");
            break;
        }
        uint32_t target = uint32_t(rec.target);
        if (rec.kind > 0) {
            rec.n = uint32_t(rec.kind);
            if (rec.n > L.pool - pos) return r.Fail("data record runs past its section");
            if (!inData(target, rec.n)) return r.Fail("data record outside the data area");
            rec.c = pos;
            pos += rec.n;
        } else if (rec.kind == recDataAddress || rec.kind == recPoolAddress) {
            if (pos + 4 > L.pool) return r.Fail("truncated data record");
            rec.c = ImageWord(image, pos);
            pos += 4;
            if (!inData(target, 4)) return r.Fail("data record outside the data area");
            if (rec.kind == recDataAddress ? rec.c > L.dataSize : rec.c > L.poolSize)
                return r.Fail("data record points outside its area");
        } else if (rec.kind == recDataCopy || rec.kind == recHostVariable) {
            if (pos + 8 > L.pool) return r.Fail("truncated data record");
            rec.c = ImageWord(image, pos);
            rec.n = ImageWord(image, pos + 4);
            pos += 8;
            if (!inData(target, rec.n)) return r.Fail("data record outside the data area");
            if (rec.kind == recDataCopy && !inData(rec.c, rec.n))
                return r.Fail("data record copies from outside the data area");
            if (rec.kind == recHostVariable) {
                bool found = false;
                for (auto& imp : L.importList) found |= imp.slot == rec.c;
                if (!found) return r.Fail("data record names no import");
            }
        } else {
            return r.Fail("unknown data record kind");
        }
        L.recordList.push_back(rec);
    }
    return true;
}

uint32_t FindInfoChunk(const uint8_t* image, const char* tag) {
    if (!HasMagics(image) || !tag || std::strlen(tag) != 4) return 0;
    uint32_t size = ImageWord(image, hdrSize);
    uint32_t end = ImageWord(image, hdrExports);
    if (end > size) end = size;
    uint32_t pos = Align4(ImageWord(image, hdrInfo));
    if (pos < kHeaderSize) return 0;
    while (pos + 4 <= end && std::memcmp(image + pos, "END!", 4) != 0) {
        if (pos + 8 > end) return 0;
        uint32_t len = ImageWord(image, pos + 4);
        if (std::memcmp(image + pos, tag, 4) == 0) return len > end - pos - 8 ? 0 : pos + 8;
        if (len > end - pos - 8) return 0;
        pos += 8 + len;
    }
    return 0;
}

ImageFile ReadImageFile(const char* path, std::vector<uint8_t>& data) {
    FILE* f = scOpenRegularFile(path);
    if (!f) return ImageFile::cannotOpen;
    uint8_t buf[65536];
    size_t n;
    struct stat st;
    bool tooBig = fstat(fileno(f), &st) == 0 && st.st_size > off_t(kMaxImageSize);
    while (!tooBig && (n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        data.insert(data.end(), buf, buf + n);
        tooBig = data.size() > kMaxImageSize;
    }
    bool failed = std::ferror(f);
    std::fclose(f);
    if (failed) return ImageFile::cannotRead;
    return tooBig ? ImageFile::tooBig : ImageFile::ok;
}

}  // namespace zedi
