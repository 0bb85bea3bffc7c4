#include "VmSpace.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace zedi {

VmSpace& VmSpace::Get() {
    static VmSpace space;
    return space;
}

VmSpace::VmSpace() {
    void* p = mmap(nullptr, kRegionSize, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) {
        std::fprintf(stderr, "ZedI: cannot reserve the script address space\n");
        std::abort();
    }
    base_ = static_cast<uint8_t*>(p);
    AddFree(kReservedLow, kRegionSize - kReservedLow);
}

void VmSpace::AddFree(uint32_t addr, uint32_t size) {
    free_[addr] = size;
    freeBySize_.insert({size, addr});
}

void VmSpace::RemoveFree(std::map<uint32_t, uint32_t>::iterator it) {
    freeBySize_.erase({it->second, it->first});
    free_.erase(it);
}

uint32_t VmSpace::Alloc(uint32_t size) {
    if (size > kRegionSize) return 0;
    uint32_t need = (size + kAlign - 1) & ~(kAlign - 1);
    if (need == 0) need = kAlign;
    auto fit = freeBySize_.lower_bound({need, 0});
    if (fit == freeBySize_.end()) return 0;
    uint32_t addr = fit->second, rest = fit->first - need;
    RemoveFree(free_.find(addr));
    if (rest) AddFree(addr + need, rest);
    used_[addr] = need;
    inUse_ += need;
    std::memset(base_ + addr, 0, need);
    return addr;
}

bool VmSpace::Free(uint32_t addr) {
    auto it = used_.find(addr);
    if (it == used_.end()) return false;
    uint32_t size = it->second;
    used_.erase(it);
    inUse_ -= size;
    for (int i = 0; i < kHits; ++i)
        if (hitLo_[i] == addr) hitLo_[i] = hitSize_[i] = 0;
    // Give large blocks' pages back to the system: only the whole pages inside
    // the block, since the kernel would clear all of a page that a neighbour shares.
    if (size >= 65536) {
        static const uint32_t page = uint32_t(sysconf(_SC_PAGESIZE));
        uint32_t lo = (addr + page - 1) & ~(page - 1), hi = (addr + size) & ~(page - 1);
        if (hi > lo) madvise(base_ + lo, hi - lo, MADV_DONTNEED);
    }
    auto next = free_.lower_bound(addr);
    if (next != free_.end() && next->first == addr + size) {
        size += next->second;
        auto after = std::next(next);
        RemoveFree(next);
        next = after;
    }
    if (next != free_.begin()) {
        auto prev = std::prev(next);
        if (prev->first + prev->second == addr) {
            addr = prev->first;
            size += prev->second;
            RemoveFree(prev);
        }
    }
    AddFree(addr, size);
    return true;
}

uint32_t VmSpace::BlockSize(uint32_t addr) const {
    auto it = used_.find(addr);
    return it == used_.end() ? 0 : it->second;
}

uint8_t* VmSpace::CheckSlow(uint32_t addr, uint32_t len) const {
    auto it = used_.upper_bound(addr);
    if (it == used_.begin()) return nullptr;
    --it;
    uint32_t lo = it->first, hi = it->first + it->second;
    if (addr >= hi) return nullptr;
    if (len > hi - addr) return nullptr;
    hitLo_[hitNext_] = lo;
    hitSize_[hitNext_] = hi - lo;
    hitNext_ = (hitNext_ + 1) % kHits;
    return base_ + addr;
}

uint32_t VmSpace::Room(uint32_t addr) const {
    if (!Check(addr, 0)) return 0;
    auto it = std::prev(used_.upper_bound(addr));
    return it->first + it->second - addr;
}

int32_t VmSpace::TextLength(uint32_t addr) const {
    uint32_t room = Room(addr);
    if (!room) return -1;
    const void* end = std::memchr(base_ + addr, 0, room);
    return end ? int32_t(static_cast<const uint8_t*>(end) - (base_ + addr)) : -1;
}

}  // namespace zedi
