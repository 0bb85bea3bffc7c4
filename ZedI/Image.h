// The compiled script image: layout, reading and checking.
//
// An image is one block of little-endian words: a 72-byte header, information
// chunks, the export table, the import table, the code, the data-initialisation
// records and the pool. Images come from files and are untrusted: CheckImage
// verifies every offset, length, name and record before anything uses them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zedi {

constexpr uint32_t kMagicZedI = 0x4964655A;  // "ZedI"
constexpr uint32_t kMagicVCPU = 0x55504356;  // "VCPU"
constexpr uint32_t kMagicEOH = 0x21484F45;   // "EOH!"
constexpr uint32_t kImageVersion = 94;
constexpr uint32_t kHeaderSize = 72;

// Byte offsets of the header words.
enum : uint32_t {
    hdrMagic = 0,
    hdrMagic2 = 4,
    hdrVersion = 8,
    hdrSize = 12,
    hdrInfo = 16,
    hdrExports = 20,
    hdrCode = 24,
    hdrDataOffset = 28,
    hdrPool = 32,
    hdrRecords = 36,
    hdrCodeSize = 40,
    hdrDataSize = 44,
    hdrPoolSize = 48,
    hdrStackSize = 52,
    hdrImports = 56,
    hdrInit = 60,
    hdrCleanup = 64,
    hdrEOH = 68,
};

// Kinds of data-initialisation records (a positive kind is a byte count).
enum : int32_t {
    recEnd = 0,
    recDataAddress = -1,
    recPoolAddress = -2,
    recDataCopy = -3,
    recHostVariable = -4,
};

// Limits for untrusted images.
constexpr uint32_t kMaxImageSize = 64u << 20;
constexpr uint32_t kMaxDataSize = 64u << 20;
constexpr uint32_t kMaxStackSize = 16u << 20;

struct ImageExport {
    std::string name;
    uint32_t entry;  // offset of the value word from the start of the image
    int32_t value;   // code address or data offset
    int32_t kind;    // parameter bytes, -1 for a variable
};

struct ImageImport {
    std::string name;
    uint32_t slot;   // offset of the address word from the start of the import table
    int32_t kind;    // parameter bytes, -1 for a variable
};

struct ImageRecord {
    uint32_t at;     // offset of the record in the image
    int32_t target;
    int32_t kind;
    uint32_t c = 0, n = 0;  // source offset / slot and length of kinds -1 to -4
};

struct ImageLayout {
    uint32_t size = 0, info = 0, exports = 0, code = 0, pool = 0, records = 0;
    uint32_t codeSize = 0, dataSize = 0, poolSize = 0, stackSize = 0, imports = 0;
    uint32_t init = 0, cleanup = 0;
    uint32_t importsEnd = 0;
    std::vector<ImageExport> exportList;
    std::vector<ImageImport> importList;
    std::vector<ImageRecord> recordList;
};

inline uint32_t ImageWord(const uint8_t* image, uint32_t offset) {
    uint32_t v;
    __builtin_memcpy(&v, image + offset, 4);
    return v;
}

// True when the block starts with both magics.
bool HasMagics(const uint8_t* image);
// Checks the image of `size` bytes and fills `layout`. On failure returns false
// and says why in `why`.
bool CheckImage(const uint8_t* image, uint32_t size, ImageLayout& layout, std::string& why);
// Offset of the data of the chunk `tag` (exactly four characters), 0 if absent or
// the block is not an image. Walks no further than the image's size word.
uint32_t FindInfoChunk(const uint8_t* image, const char* tag);

enum class ImageFile { ok, cannotOpen, cannotRead, tooBig };
// Reads a whole image file into `data`: only a regular file (a directory or a
// device would fail or never end), and no more than the largest image allows.
ImageFile ReadImageFile(const char* path, std::vector<uint8_t>& data);

}  // namespace zedi
