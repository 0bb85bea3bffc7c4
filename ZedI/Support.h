// Compiler support: tracked allocation, released in one sweep at the end of a
// compile, and the growable byte buffer in which code and images are assembled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct scmNode;

scmNode* scmTrack(void* block);
void* scmAlloc(int size);
void scmUntrack(void* block);
void scmFree(void* block);
void* scmRealloc(void* block, int size);
char* scmStrdup(const char* text);
void scmForgetAll();
void scmReleaseAll();
// Number of blocks now tracked (for checks after a compile).
int scmTrackedCount();
// From here to the next scmReleaseAll, small blocks are carved from large
// zeroed chunks that the sweep frees whole (a compile makes many thousands of
// them); freeing one of them only counts it as gone. Such a block cannot be
// untracked to outlive the sweep.
void scmUseArena();
// Whether small blocks now come from the arena (they stay until the sweep).
bool scmArenaOn();
// Counts the sweeps (scmReleaseAll, scmForgetAll): what was kept of the blocks of
// an earlier count is gone.
unsigned scmSweeps();
// Hands a tracked block over as a plain malloc block of `size` bytes (its first
// bytes), which the sweep leaves alone: a block of its own is untracked and
// resized, an arena block copied.
void* scmDetach(void* block, int size);

struct scByteBuffer {
    uint8_t* data = nullptr;
    int capacity = 0;
    int length = 0;
};

int scbufInit(scByteBuffer* buffer, int capacity);
void scbufFree(scByteBuffer* buffer);
void scbufAppend(scByteBuffer* buffer, int count, const void* bytes);
void scbufAppendWord(scByteBuffer* buffer, int value);
void scbufAppendString(scByteBuffer* buffer, const char* text);
void scbufPad4(scByteBuffer* buffer);
// Makes room for `capacity` bytes in all, so that appends up to there do not
// move the contents.
void scbufReserve(scByteBuffer* buffer, int capacity);
// Puts `count` bytes in front of the buffer's contents, which move up in its
// own block (grown in place where it can be): a large buffer is not copied
// into a new one.
void scbufPrepend(scByteBuffer* buffer, int count, const void* bytes);

// Opens a regular file for reading; NULL for a null path, a missing file, a
// directory, a device or a pipe (they read as nothing, for ever, or block).
FILE* scOpenRegularFile(const char* path);
