#include "DICT.h"

#include <cstdlib>
#include <cstring>

#include "Engine.h"
#include "Support.h"

scDictionary scdicNew() {
    return static_cast<scDictionary>(scmAlloc(sizeof(scDictionaryRecord)));
}

void scdicFree(scDictionary dictionary) {
    if (!dictionary) return;
    scSymbol* s = dictionary->first;
    while (s) {
        scSymbol* next = s->next;
        scmFree(s->name);
        scmFree(s);
        s = next;
    }
    scmFree(dictionary);
}

void scdicPush(scDictionary dictionary, scSymbol* symbol) {
    symbol->next = dictionary->first;
    dictionary->first = symbol;
}

void scdicAppend(scDictionary dictionary, scSymbol* symbol) {
    symbol->next = nullptr;
    scSymbol** link = &dictionary->first;
    while (*link) link = &(*link)->next;
    *link = symbol;
}

scSymbol* scdicAdd(scDictionary dictionary, const char* name, int32_t address, int32_t typeKind,
                   void* extra) {
    auto* s = static_cast<scSymbol*>(scmAlloc(sizeof(scSymbol)));
    s->name = scmStrdup(name);
    s->address = address;
    s->typeKind = typeKind;
    s->extra = extra;
    scdicPush(dictionary, s);
    return s;
}

void scdicRemove(scDictionary dictionary, const char* name) {
    for (scSymbol** link = &dictionary->first; *link; link = &(*link)->next) {
        if ((*link)->name && std::strcmp((*link)->name, name) == 0) {
            *link = (*link)->next;
            return;
        }
    }
}

scSymbol* scdicFirst(scDictionary dictionary) { return dictionary->first; }

void scdicFreeUntil(scDictionary dictionary, scSymbol* mark, void (*callback)(scSymbol*)) {
    while (dictionary->first && dictionary->first != mark) {
        scSymbol* s = dictionary->first;
        dictionary->first = s->next;
        callback(s);
    }
}

// A function's type string names its parameter records (and their default-value
// blocks) by address in hexadecimal; they belong to the function's record.
void scdicFreeSymbol(scSymbol* symbol) {
    if (!symbol) return;
    const char* t = symbol->typeString;
    if (t && t[0] == '(') {
        const char* p = t + 1;
        while (*p && *p != ')') {
            if (std::strncmp(p, "...", 3) == 0) {
                p += 3;
            } else {
                char* end;
                auto param = reinterpret_cast<scSymbol*>(std::strtoull(p, &end, 16));
                p = end;
                if (*p == '=') {
                    ++p;
                    void* def = reinterpret_cast<void*>(std::strtoull(p, &end, 16));
                    p = end;
                    scmFree(def);
                }
                scdicFreeSymbol(param);
            }
            if (*p == ',') {
                ++p;
            } else if (*p != ')') {
                scCompile_Error_At(nullptr, 0, nullptr, scerr_INTERNAL,
                                   "Internal compiler error at function params!");
                throw zedi::CompileAbort{};
            }
        }
    }
    scmFree(symbol->name);
    scmFree(symbol->typeString);
    scmFree(symbol);
}

scSymbol* scdicFind(scSymbol* first, const char* name) {
    for (scSymbol* s = first; s; s = s->next)
        if (s->name && std::strcmp(s->name, name) == 0) return s;
    return nullptr;
}
