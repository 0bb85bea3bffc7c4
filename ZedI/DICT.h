// Symbol dictionaries: singly linked lists of symbol records searched by exact
// name, newest first.
#pragma once

#include <cstddef>
#include <cstdint>

struct scSymbol {
    int32_t address;     // -1 when not placed
    uint16_t flags;      // storage word: low 3 bits the kind, 0x20 imported
    int32_t dispatcher;
    char* name;          // owned
    char* importName;
    int32_t paramBytes;
    int32_t spare;
    int32_t typeKind;
    // A structure's own record, once its body has been read: the size and the
    // alignment of its objects, valid while `layoutOf` is its member list.
    int32_t layoutSize, layoutAlign;
    scSymbol* layoutOf;
    char* typeString;    // owned
    scSymbol* members;
    scSymbol* next;
    void* extra;
    // Kept by an indexed dictionary while the record is in its list: the record's
    // place in the list (smaller nearer the head) and the next record of the
    // same name towards the tail.
    int64_t order;
    scSymbol* nextSame;
};

struct scDictionaryIndex;

// A dictionary with an index (scdicNewIndexed) must be changed only through
// the operations below, which keep the index beside the list; one without may
// also be relinked by hand.
struct scDictionaryRecord {
    scSymbol* first;
    scDictionaryIndex* index;
};
typedef scDictionaryRecord* scDictionary;

scDictionary scdicNew();
// A dictionary whose lookups by name go through an index of the names instead of
// a walk of the list; the records found are the same.
scDictionary scdicNewIndexed();
void scdicFree(scDictionary dictionary);
void scdicPush(scDictionary dictionary, scSymbol* symbol);
void scdicAppend(scDictionary dictionary, scSymbol* symbol);
scSymbol* scdicAdd(scDictionary dictionary, const char* name, int32_t address, int32_t typeKind,
                   void* extra);
void scdicRemove(scDictionary dictionary, const char* name);
scSymbol* scdicFirst(scDictionary dictionary);
void scdicFreeUntil(scDictionary dictionary, scSymbol* mark, void (*callback)(scSymbol*));
void scdicFreeSymbol(scSymbol* symbol);
scSymbol* scdicFind(scSymbol* first, const char* name);

// The first record of that name in the dictionary (scdicFind from its head).
scSymbol* scdicLookup(scDictionary dictionary, const char* name);
// The next record after `symbol` (a record of the dictionary) with the same name.
scSymbol* scdicLookupNext(scDictionary dictionary, scSymbol* symbol);
// The hash by which indexed dictionaries find names: one step per byte.
inline uint32_t scdicHashStep(uint32_t hash, uint8_t byte) { return (hash ^ byte) * 16777619u; }
constexpr uint32_t kDictionaryHashSeed = 2166136261u;
inline uint32_t scdicHashOf(const char* text, size_t length) {
    uint32_t h = kDictionaryHashSeed;
    for (size_t i = 0; i < length; ++i) h = scdicHashStep(h, uint8_t(text[i]));
    return h;
}
// Names whose hash is known: a lookup by this very text (the same pointer, whose
// bytes do not change while it is named here) uses the hash given instead of
// hashing the name again. None (a null text) forgets it.
struct scdicKnownName {
    const char* name;
    uint32_t hash, length;
};
extern scdicKnownName scdicKnown;
inline void scdicKnownHash(const char* name, uint32_t hash, uint32_t length) { scdicKnown = {name, hash, length}; }
// The last record of the list, none when empty.
scSymbol* scdicLast(scDictionary dictionary);
// Takes the first record off and returns it (none when empty); it is not freed.
scSymbol* scdicPop(scDictionary dictionary);
// Takes records off the head until `mark` is the first. When `mark` is not in
// the list, the list is everything from `mark` on, as if relinked by hand.
void scdicPopUntil(scDictionary dictionary, scSymbol* mark);
// Inserts the record in front of `at`, a record of the list (none: at the end).
void scdicInsertBefore(scDictionary dictionary, scSymbol* at, scSymbol* symbol);
// Cuts the list behind `last` (none: the whole list is emptied).
void scdicCutAfter(scDictionary dictionary, scSymbol* last);
// Gives a record of the dictionary another name (the text is not copied).
void scdicRename(scDictionary dictionary, scSymbol* symbol, char* name);
