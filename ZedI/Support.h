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

// Opens a regular file for reading; NULL for a null path, a missing file, a
// directory, a device or a pipe (they read as nothing, for ever, or block).
FILE* scOpenRegularFile(const char* path);
