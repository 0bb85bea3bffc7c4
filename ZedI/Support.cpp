#include "Support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

struct scmNode {
    scmNode* next;
    void* block;
};

namespace {

constexpr unsigned kBuckets = 4091;
scmNode* g_buckets[kBuckets];
int g_tracked = 0;

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

}  // namespace

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
    void* p = Checked(std::calloc(1, size > 0 ? size_t(size) : 1));
    scmTrack(p);
    return p;
}

void scmUntrack(void* block) {
    if (!block) return;
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
    scmUntrack(block);
    std::free(block);
}

void* scmRealloc(void* block, int size) {
    scmUntrack(block);
    void* p = Checked(std::realloc(block, size > 0 ? size_t(size) : 1));
    scmTrack(p);
    return p;
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
    g_tracked = 0;
}

int scmTrackedCount() { return g_tracked; }

int scbufInit(scByteBuffer* buffer, int capacity) {
    buffer->data = static_cast<uint8_t*>(scmAlloc(capacity));
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
        buffer->capacity += count + buffer->capacity / 8 + 256;
        buffer->data = static_cast<uint8_t*>(scmRealloc(buffer->data, buffer->capacity));
    }
    if (count > 0) std::memcpy(buffer->data + buffer->length, bytes, size_t(count));
    buffer->length += count;
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
