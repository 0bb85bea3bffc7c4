#include "DICT.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "CompilerInternal.h"
#include "Engine.h"
#include "Support.h"

// The index of a dictionary: an open-addressed table from each name to the
// record of that name nearest the head; the records of one name are chained
// through `nextSame` in list order. Every record in the list has an order
// number, increasing from the head to the tail with gaps, so that a record can
// be placed into its name's chain without walking the list.
struct scDictionaryIndex {
    struct Entry {
        uint32_t hash;
        uint32_t length;
        char* key;         // own copy of the name; null: a free slot
        scSymbol* first;   // none once every record of the name has left
    };
    Entry* slots = nullptr;
    uint32_t mask = 0;
    uint32_t used = 0;
    scSymbol* last = nullptr;
};

scdicKnownName scdicKnown = {nullptr, 0, 0};

namespace {

constexpr int64_t kGap = int64_t(1) << 20;

uint32_t Hash(const char* name, uint32_t& length) {
    if (name == scdicKnown.name) {
        length = scdicKnown.length;
        return scdicKnown.hash;
    }
    uint32_t h = kDictionaryHashSeed;
    const char* p = name;
    for (; *p; ++p) h = scdicHashStep(h, uint8_t(*p));
    length = uint32_t(p - name);
    return h;
}

using Entry = scDictionaryIndex::Entry;

void Grow(scDictionaryIndex* x) {
    uint32_t size = x->slots ? (x->mask + 1) * 2 : 64;
    auto* slots = static_cast<Entry*>(scmAlloc(int(size * sizeof(Entry))));
    for (uint32_t i = 0; x->slots && i <= x->mask; ++i) {
        Entry& e = x->slots[i];
        if (!e.key) continue;
        uint32_t j = e.hash & (size - 1);
        while (slots[j].key) j = (j + 1) & (size - 1);
        slots[j] = e;
    }
    scmFree(x->slots);
    x->slots = slots;
    x->mask = size - 1;
}

// The entry of a name; with `create`, a new one when there is none.
inline Entry* Slot(scDictionaryIndex* x, const char* name, bool create) {
    if (!create && !x->used) return nullptr;
    uint32_t length;
    uint32_t hash = Hash(name, length);
    // Three quarters full at most: the table is touched memory too.
    if (create && (x->used + 1) * 4 > (x->mask + 1) * 3) Grow(x);
    if (!x->slots) return nullptr;
    for (uint32_t i = hash & x->mask;; i = (i + 1) & x->mask) {
        Entry& e = x->slots[i];
        if (!e.key) {
            if (!create) return nullptr;
            e.hash = hash;
            e.length = length;
            e.key = static_cast<char*>(scmAlloc(int(length) + 1));
            std::memcpy(e.key, name, length + 1);
            e.first = nullptr;
            ++x->used;
            return &e;
        }
        if (e.hash != hash || e.length != length) continue;
        // Names are short: compared here rather than by a library call.
        uint32_t k = 0;
        while (k < length && e.key[k] == name[k]) ++k;
        if (k == length) return &e;
    }
}

// Puts a record (its order set) into its name's chain.
void Link(scDictionaryIndex* x, scSymbol* s) {
    s->nextSame = nullptr;
    if (!s->name) return;
    Entry* e = Slot(x, s->name, true);
    if (!e->first || s->order < e->first->order) {
        s->nextSame = e->first;
        e->first = s;
        return;
    }
    scSymbol* p = e->first;
    while (p->nextSame && p->nextSame->order < s->order) p = p->nextSame;
    s->nextSame = p->nextSame;
    p->nextSame = s;
}

void Unlink(scDictionaryIndex* x, scSymbol* s) {
    if (!s->name) return;
    Entry* e = Slot(x, s->name, false);
    if (!e) return;
    if (e->first == s) {
        e->first = s->nextSame;
    } else {
        scSymbol* p = e->first;
        while (p && p->nextSame != s) p = p->nextSame;
        if (p) p->nextSame = s->nextSame;
    }
    s->nextSame = nullptr;
}

// Whether a record is in the list (its name's chain holds it).
bool Holds(scDictionary d, scSymbol* s) {
    if (!s->name) {
        for (scSymbol* r = d->first; r; r = r->next)
            if (r == s) return true;
        return false;
    }
    Entry* e = Slot(d->index, s->name, false);
    for (scSymbol* r = e ? e->first : nullptr; r; r = r->nextSame)
        if (r == s) return true;
    return false;
}

// After the list was relinked by hand: numbers and chains made again.
void Rebuild(scDictionary d) {
    scDictionaryIndex* x = d->index;
    for (uint32_t i = 0; x->slots && i <= x->mask; ++i) x->slots[i].first = nullptr;
    std::vector<scSymbol*> list;
    for (scSymbol* r = d->first; r; r = r->next) list.push_back(r);
    x->last = list.empty() ? nullptr : list.back();
    for (size_t i = list.size(); i-- > 0;) {
        scSymbol* r = list[i];
        r->order = int64_t(i) * kGap;
        r->nextSame = nullptr;
        if (!r->name) continue;
        Entry* e = Slot(x, r->name, true);
        r->nextSame = e->first;
        e->first = r;
    }
}

}  // namespace

scDictionary scdicNew() {
    return static_cast<scDictionary>(scmAlloc(sizeof(scDictionaryRecord)));
}

scDictionary scdicNewIndexed() {
    scDictionary d = scdicNew();
    d->index = static_cast<scDictionaryIndex*>(scmAlloc(sizeof(scDictionaryIndex)));
    return d;
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
    if (scDictionaryIndex* x = dictionary->index) {
        for (uint32_t i = 0; x->slots && i <= x->mask; ++i) scmFree(x->slots[i].key);
        scmFree(x->slots);
        scmFree(x);
    }
    scmFree(dictionary);
}

void scdicPush(scDictionary dictionary, scSymbol* symbol) {
    symbol->next = dictionary->first;
    dictionary->first = symbol;
    if (scDictionaryIndex* x = dictionary->index) {
        symbol->order = symbol->next ? symbol->next->order - kGap : 0;
        if (!symbol->next) x->last = symbol;
        Link(x, symbol);
    }
}

void scdicAppend(scDictionary dictionary, scSymbol* symbol) {
    symbol->next = nullptr;
    if (scDictionaryIndex* x = dictionary->index) {
        if (x->last) {
            symbol->order = x->last->order + kGap;
            x->last->next = symbol;
        } else {
            symbol->order = 0;
            dictionary->first = symbol;
        }
        x->last = symbol;
        Link(x, symbol);
        return;
    }
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
            scSymbol* s = *link;
            *link = s->next;
            if (scDictionaryIndex* x = dictionary->index) {
                Unlink(x, s);
                if (x->last == s) {
                    x->last = nullptr;
                    for (scSymbol* r = dictionary->first; r; r = r->next) x->last = r;
                }
            }
            return;
        }
    }
}

scSymbol* scdicFirst(scDictionary dictionary) { return dictionary->first; }

scSymbol* scdicPop(scDictionary dictionary) {
    scSymbol* s = dictionary->first;
    if (!s) return nullptr;
    dictionary->first = s->next;
    if (scDictionaryIndex* x = dictionary->index) {
        Unlink(x, s);
        if (!dictionary->first) x->last = nullptr;
    }
    return s;
}

void scdicFreeUntil(scDictionary dictionary, scSymbol* mark, void (*callback)(scSymbol*)) {
    while (dictionary->first && dictionary->first != mark) callback(scdicPop(dictionary));
}

void scdicPopUntil(scDictionary dictionary, scSymbol* mark) {
    if (!dictionary->index) {
        dictionary->first = mark;
        return;
    }
    if (mark && !Holds(dictionary, mark)) {
        dictionary->first = mark;
        Rebuild(dictionary);
        return;
    }
    while (dictionary->first && dictionary->first != mark) scdicPop(dictionary);
}

void scdicInsertBefore(scDictionary dictionary, scSymbol* at, scSymbol* symbol) {
    scSymbol* before = nullptr;
    scSymbol** link = &dictionary->first;
    while (*link && *link != at) before = *link, link = &(*link)->next;
    bool found = *link == at;
    symbol->next = at;
    *link = symbol;
    scDictionaryIndex* x = dictionary->index;
    if (!x) return;
    if (!found) {
        // `at` is not in the list: the records from it on were joined behind the end.
        Rebuild(dictionary);
        return;
    }
    if (!at) {
        x->last = symbol;
        symbol->order = before ? before->order + kGap : 0;
    } else if (!before) {
        symbol->order = at->order - kGap;
    } else if (at->order - before->order >= 2) {
        symbol->order = before->order + (at->order - before->order) / 2;
    } else {
        Rebuild(dictionary);
        return;
    }
    Link(x, symbol);
}

void scdicCutAfter(scDictionary dictionary, scSymbol* last) {
    scDictionaryIndex* x = dictionary->index;
    if (!x) {
        if (last)
            last->next = nullptr;
        else
            dictionary->first = nullptr;
        return;
    }
    if (last && !Holds(dictionary, last)) {
        last->next = nullptr;
        return;
    }
    for (scSymbol* r = last ? last->next : dictionary->first; r; r = r->next) Unlink(x, r);
    if (last)
        last->next = nullptr;
    else
        dictionary->first = nullptr;
    x->last = last;
}

void scdicRename(scDictionary dictionary, scSymbol* symbol, char* name) {
    if (scDictionaryIndex* x = dictionary->index) {
        Unlink(x, symbol);
        symbol->name = name;
        Link(x, symbol);
        return;
    }
    symbol->name = name;
}

scSymbol* scdicLast(scDictionary dictionary) {
    if (dictionary->index) return dictionary->index->last;
    scSymbol* s = dictionary->first;
    while (s && s->next) s = s->next;
    return s;
}

scSymbol* scdicLookup(scDictionary dictionary, const char* name) {
    scDictionaryIndex* x = dictionary->index;
    if (!x) return scdicFind(dictionary->first, name);
    if (!x->used) return nullptr;
    Entry* e = Slot(x, name, false);
    return e ? e->first : nullptr;
}

scSymbol* scdicLookupNext(scDictionary dictionary, scSymbol* symbol) {
    if (dictionary->index) return symbol->nextSame;
    return scdicFind(symbol->next, symbol->name);
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
                INTERNAL_ERROR("function params");
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
