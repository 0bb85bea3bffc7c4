// The script engine's 32-bit address space.
//
// Scripts are 32-bit: their pointers are words. Everything a script may touch
// (image copies, instance blocks, host variables, texts shown to scripts) lives in
// one region reserved once per process; a script address is an offset into it,
// 0 is NULL and the first 64 KiB are never handed out. A small heap hands out
// blocks; its bookkeeping lives outside the region, so no script write can corrupt
// it. Every access a script makes is checked against the allocated blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <utility>

namespace zedi {

class VmSpace {
public:
    static constexpr uint32_t kReservedLow = 0x10000;     // never handed out
    static constexpr uint32_t kRegionSize = 0x10000000;   // 256 MiB, well below 2 GiB
    static constexpr uint32_t kAlign = 16;

    // The process-wide space, created on first use.
    static VmSpace& Get();

    // A new zero-filled block of `size` bytes; 0 when the space is exhausted.
    // The smallest free range that fits is used (lowest address first).
    uint32_t Alloc(uint32_t size);
    // Frees a block by its start address. False when `addr` is not the start of an
    // allocated block (including a second free of the same block).
    bool Free(uint32_t addr);
    // Size of the allocated block starting at `addr`, 0 when there is none.
    uint32_t BlockSize(uint32_t addr) const;

    // Host pointer to `len` bytes at `addr` when they lie inside one allocated
    // block, else nullptr. `len` 0 checks only that `addr` is inside a block.
    uint8_t* Check(uint32_t addr, uint32_t len) const {
        for (int i = 0; i < kHits; ++i) {
            uint32_t off = addr - hitLo_[i];  // wraps above the block when addr < lo
            if (off < hitSize_[i] && len <= hitSize_[i] - off) return base_ + addr;
        }
        return CheckSlow(addr, len);
    }
    // Bytes from `addr` to the end of its block (0 when `addr` is not allocated).
    uint32_t Room(uint32_t addr) const;
    // Length of the NUL-terminated text at `addr` inside its block, -1 when the
    // address is bad or the text runs off the end of its block.
    int32_t TextLength(uint32_t addr) const;

    // Unchecked conversions for addresses the engine has already validated.
    uint8_t* Ptr(uint32_t addr) const { return base_ + addr; }
    bool Contains(const void* p) const {
        auto q = static_cast<const uint8_t*>(p);
        return q >= base_ && q < base_ + kRegionSize;
    }
    // The script address of a host pointer into the region (0 for nullptr or a
    // pointer outside the region).
    uint32_t AddrOf(const void* p) const {
        return p && Contains(p) ? uint32_t(static_cast<const uint8_t*>(p) - base_) : 0;
    }

    uint32_t BytesInUse() const { return inUse_; }

private:
    VmSpace();
    uint8_t* CheckSlow(uint32_t addr, uint32_t len) const;

    void AddFree(uint32_t addr, uint32_t size);
    void RemoveFree(std::map<uint32_t, uint32_t>::iterator it);

    uint8_t* base_ = nullptr;
    std::map<uint32_t, uint32_t> used_;   // start -> size
    std::map<uint32_t, uint32_t> free_;   // start -> size, coalesced
    std::set<std::pair<uint32_t, uint32_t>> freeBySize_;  // (size, start) of free_
    uint32_t inUse_ = 0;
    // The last blocks accesses hit (start, size; size 0 is an empty entry): a
    // script's accesses mostly land in its stack, its data and a few heap blocks.
    static constexpr int kHits = 4;
    mutable uint32_t hitLo_[kHits] = {}, hitSize_[kHits] = {};
    mutable int hitNext_ = 0;
};

// Little-endian unaligned word access.
inline uint32_t LoadWord(const void* p) { uint32_t v; std::memcpy(&v, p, 4); return v; }
inline void StoreWord(void* p, uint32_t v) { std::memcpy(p, &v, 4); }

}  // namespace zedi
