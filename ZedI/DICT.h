// Symbol dictionaries: singly linked lists of symbol records searched by exact
// name, newest first.
#pragma once

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
    char* typeString;    // owned
    scSymbol* members;
    scSymbol* next;
    void* extra;
};

struct scDictionaryRecord {
    scSymbol* first;
};
typedef scDictionaryRecord* scDictionary;

scDictionary scdicNew();
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
