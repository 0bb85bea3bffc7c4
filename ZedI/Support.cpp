#include "Support.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <new>

struct scmNode {
    scmNode* next;
    void* block;
};

namespace {

constexpr unsigned kBuckets = 4091;
scmNode* g_buckets[kBuckets];
int g_tracked = 0;

// The arena: chunks from which blocks are cut in order, each behind a header
// with its size; the memory is never reused before the sweep, so it is still
// zero when handed out.
struct ArenaBlock {
    uint32_t size;
    uint32_t live;
    uint64_t pad;
};
struct Chunk {
    Chunk* next;
    char* end;      // end of the chunk's memory
    char* free;     // the next block's header
    char* lastBlock;
    char* high;     // the furthest `free` has been: beyond it the chunk is still zero
    char* mapped;   // the end of what has been mapped ahead of the blocks
};
constexpr size_t kMapStep = 1024 * 1024;
constexpr size_t kLargeBlock = 64 * 1024;  // bigger blocks are tracked singly
constexpr size_t kFirstChunk = 256 * 1024, kMaxChunk = 8 * 1024 * 1024;
bool g_arena = false;
unsigned g_sweeps = 0;
Chunk* g_chunks = nullptr;
size_t g_nextChunk = kFirstChunk;
// Chunks kept from the last compile, cleared, for the next: fresh memory costs a
// page fault per page at its first write, more than clearing what was used.
Chunk* g_spare = nullptr;
#ifdef __SANITIZE_ADDRESS__
constexpr size_t kKeptChunks = 0;  // freed, so that a block used after the sweep is caught
#else
// What a typical large compile takes (a 50,000-line program of a hundred or a
// thousand functions fills 8 MB of chunks; a computer player's script a quarter
// of the first chunk); a larger compile frees the rest.
constexpr size_t kKeptChunks = 8 * 1024 * 1024;
#endif


unsigned BucketOf(const void* block) {
    return unsigned(uint32_t(reinterpret_cast<uintptr_t>(block)) % kBuckets);
}

// An allocation failure cannot be recovered from inside the compiler's data
// structures; report and stop rather than continue with a null block.
void* Checked(void* p) {
    if (!p) {
        std::fprintf(stderr, "ZedI: out of memory\n");
        throw std::bad_alloc();
    }
    return p;
}

size_t Round16(size_t n) { return (n + 15) & ~size_t(15); }

// Maps the fresh pages of a large block about to be written in one call rather
// than by a page fault at the first write of each (where the kernel cannot, the
// faults happen as before).
void MapAhead(void* block, size_t bytes) {
    constexpr uintptr_t kPage = 4096;
    uintptr_t from = (reinterpret_cast<uintptr_t>(block) + kPage - 1) & ~(kPage - 1);
    uintptr_t to = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kPage - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
}

// The header of an arena block, null when the block is not from the arena.
ArenaBlock* ArenaHeader(void* block) {
    char* p = static_cast<char*>(block);
    for (Chunk* c = g_chunks; c; c = c->next)
        if (p > reinterpret_cast<char*>(c) && p < c->free) return reinterpret_cast<ArenaBlock*>(p) - 1;
    return nullptr;
}

void* ArenaAlloc(size_t size) {
    size_t need = sizeof(ArenaBlock) + Round16(size ? size : 1);
    Chunk* c = g_chunks;
    if (!c || size_t(c->end - c->free) < need) {
        if (g_spare) {
            c = g_spare;
            g_spare = c->next;
        } else {
            size_t bytes = g_nextChunk;
            if (g_nextChunk < kMaxChunk) g_nextChunk *= 2;
            c = static_cast<Chunk*>(Checked(std::calloc(1, bytes)));
            c->end = reinterpret_cast<char*>(c) + bytes;
            c->free = c->high = reinterpret_cast<char*>(c) + Round16(sizeof(Chunk));
            // A large chunk is filled in order: its pages are mapped a
            // megabyte at a time ahead of the blocks (a small one as it is).
            c->mapped = bytes >= 2 * kMapStep ? reinterpret_cast<char*>(c) : c->end;
        }
        c->next = g_chunks;
        g_chunks = c;
    }
    auto* h = reinterpret_cast<ArenaBlock*>(c->free);
    h->size = uint32_t(size);
    h->live = 1;
    c->lastBlock = c->free;
    c->free += need;
    if (c->free > c->high) c->high = c->free;
    if (c->free > c->mapped) {
        size_t step = std::min(kMapStep, size_t(c->end - c->mapped));
        MapAhead(c->mapped, step);
        c->mapped += step;
    }
    ++g_tracked;
    return h + 1;
}

void ArenaDrop(ArenaBlock* h) {
    if (h->live) --g_tracked;
    h->live = 0;
}

void ReleaseArena() {
    size_t kept = 0;
    for (Chunk* c = g_spare; c; c = c->next) kept += size_t(c->end - reinterpret_cast<char*>(c));
    while (g_chunks) {
        Chunk* c = g_chunks;
        g_chunks = c->next;
        size_t bytes = size_t(c->end - reinterpret_cast<char*>(c));
        if (kept + bytes > kKeptChunks) {
            std::free(c);
            continue;
        }
        char* start = reinterpret_cast<char*>(c) + Round16(sizeof(Chunk));
        std::memset(start, 0, size_t(c->high - start));
        c->free = c->high = start;
        c->lastBlock = nullptr;
        c->next = g_spare;
        g_spare = c;
        kept += bytes;
    }
    g_nextChunk = kFirstChunk;
    g_arena = false;
    ++g_sweeps;
}

}  // namespace

void scmUseArena() { g_arena = true; }
bool scmArenaOn() { return g_arena; }
unsigned scmSweeps() { return g_sweeps; }

scmNode* scmTrack(void* block) {
    auto* node = static_cast<scmNode*>(Checked(std::malloc(sizeof(scmNode))));
    unsigned b = BucketOf(block);
    node->block = block;
    node->next = g_buckets[b];
    g_buckets[b] = node;
    ++g_tracked;
    return node;
}

void* scmAlloc(int size) {
    if (g_arena && size >= 0 && size_t(size) < kLargeBlock) return ArenaAlloc(size_t(size));
    void* p = Checked(std::calloc(1, size > 0 ? size_t(size) : 1));
    scmTrack(p);
    return p;
}

void scmUntrack(void* block) {
    if (!block) return;
    if (g_chunks) {
        if (ArenaBlock* h = ArenaHeader(block)) {
            ArenaDrop(h);
            return;
        }
    }
    for (scmNode** link = &g_buckets[BucketOf(block)]; *link; link = &(*link)->next) {
        if ((*link)->block == block) {
            scmNode* node = *link;
            *link = node->next;
            std::free(node);
            --g_tracked;
            return;
        }
    }
}

void scmFree(void* block) {
    if (g_chunks && block) {
        if (ArenaBlock* h = ArenaHeader(block)) {
            ArenaDrop(h);
            return;
        }
    }
    scmUntrack(block);
    std::free(block);
}

void* scmRealloc(void* block, int size) {
    size_t want = size > 0 ? size_t(size) : 1;
    if (g_chunks && block) {
        if (ArenaBlock* h = ArenaHeader(block)) {
            // The last block of the newest chunk grows in place; another moves.
            Chunk* c = g_chunks;
            char* at = reinterpret_cast<char*>(h);
            if (want < kLargeBlock && at == c->lastBlock &&
                size_t(c->end - at) >= sizeof(ArenaBlock) + Round16(want)) {
                if (want < h->size) std::memset(at + sizeof(ArenaBlock) + want, 0, h->size - want);
                c->free = at + sizeof(ArenaBlock) + Round16(want);
                if (c->free > c->high) c->high = c->free;
                h->size = uint32_t(want);
                return block;
            }
            // Like realloc, the bytes past the old size are left as they are:
            // a large buffer is not cleared only to be written over.
            void* p = want < kLargeBlock ? scmAlloc(int(want)) : scmTrack(Checked(std::malloc(want)))->block;
            std::memcpy(p, block, std::min<size_t>(h->size, want));
            ArenaDrop(h);
            return p;
        }
    }
    scmUntrack(block);
    void* p = Checked(std::realloc(block, size > 0 ? size_t(size) : 1));
    scmTrack(p);
    return p;
}

void* scmDetach(void* block, int size) {
    size_t n = size > 0 ? size_t(size) : 1;
    if (g_chunks && ArenaHeader(block)) {
        void* p = Checked(std::malloc(n));
        std::memcpy(p, block, n);
        scmFree(block);
        return p;
    }
    scmUntrack(block);
    void* p = std::realloc(block, n);
    if (!p) scmTrack(block);  // still the compile's: the sweep frees it
    return Checked(p);
}

char* scmStrdup(const char* text) {
    size_t n = std::strlen(text) + 1;
    auto* p = static_cast<char*>(scmAlloc(int(n)));
    std::memcpy(p, text, n);
    return p;
}

void scmForgetAll() {
    for (auto& head : g_buckets) {
        while (head) {
            scmNode* next = head->next;
            std::free(head);
            head = next;
        }
    }
    // Arena blocks cannot be handed over: a compile releases them before it returns.
    ReleaseArena();
    g_tracked = 0;
}

void scmReleaseAll() {
    for (auto& head : g_buckets) {
        while (head) {
            scmNode* next = head->next;
            std::free(head->block);
            std::free(head);
            head = next;
        }
    }
    ReleaseArena();
    g_tracked = 0;
}

int scmTrackedCount() { return g_tracked; }

// A buffer's block is a power of two of bytes at least its capacity: the
// capacity grows by an eighth at a time, the block only now and then.
static int BufferBlock(int capacity) {
    int n = 64;
    while (n < capacity && n < (1 << 30)) n *= 2;
    return n < capacity ? capacity : n;
}

int scbufInit(scByteBuffer* buffer, int capacity) {
    buffer->data = static_cast<uint8_t*>(scmAlloc(BufferBlock(capacity)));
    buffer->capacity = capacity;
    buffer->length = 0;
    return 1;
}

void scbufFree(scByteBuffer* buffer) {
    scmFree(buffer->data);
    buffer->data = nullptr;
    buffer->capacity = 0;
    buffer->length = 0;
}

void scbufAppend(scByteBuffer* buffer, int count, const void* bytes) {
    if (buffer->length + count + 16 >= buffer->capacity) {
        int before = BufferBlock(buffer->capacity);
        buffer->capacity += count + buffer->capacity / 8 + 256;
        if (BufferBlock(buffer->capacity) != before)
            buffer->data = static_cast<uint8_t*>(scmRealloc(buffer->data, BufferBlock(buffer->capacity)));
    }
    uint8_t* to = buffer->data + buffer->length;
    if (count == 4)
        std::memcpy(to, bytes, 4);
    else if (count == 1)
        *to = *static_cast<const uint8_t*>(bytes);
    else if (count > 0)
        std::memcpy(to, bytes, size_t(count));
    buffer->length += count;
}

void scbufReserve(scByteBuffer* buffer, int capacity) {
    if (capacity <= buffer->capacity) return;
    int before = BufferBlock(buffer->capacity);
    buffer->capacity = capacity;
    if (BufferBlock(capacity) != before)
        buffer->data = static_cast<uint8_t*>(scmRealloc(buffer->data, BufferBlock(capacity)));
    // A large reservation is about to be written through.
    if (capacity >= (1 << 20)) MapAhead(buffer->data, size_t(capacity));
}

void scbufPrepend(scByteBuffer* buffer, int count, const void* bytes) {
    if (count <= 0) return;
    int length = buffer->length;
    scbufAppend(buffer, count, bytes);  // room (the bytes written there are overwritten)
    std::memmove(buffer->data + count, buffer->data, size_t(length));
    std::memcpy(buffer->data, bytes, size_t(count));
}

void scbufAppendWord(scByteBuffer* buffer, int value) {
    uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    scbufAppend(buffer, 4, b);
}

void scbufAppendString(scByteBuffer* buffer, const char* text) {
    scbufAppend(buffer, int(std::strlen(text)) + 1, text);
}

void scbufPad4(scByteBuffer* buffer) {
    static const uint8_t zeros[4] = {};
    if (buffer->length % 4) scbufAppend(buffer, 4 - buffer->length % 4, zeros);
}

FILE* scOpenRegularFile(const char* path) {
    if (!path) return nullptr;
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    FILE* f = ::fdopen(fd, "r");
    if (!f) ::close(fd);
    return f;
}
