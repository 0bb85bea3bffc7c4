#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DICT.h"
#include "Engine.h"
#include "Fixture.h"
#include "Support.h"

namespace {

int DummyDispatcher(uint32_t, uint32_t, uint32_t, int, uint32_t) { return 0; }
void Progress(int) {}

TEST(EngineSettings, Table) {
    scEngine_Init();
    struct Row { int setting, index, value; } rows[] = {
        {0, 0, 94}, {1, 0, 1}, {2, 0, 0}, {3, 0, 0}, {1001, 0, 0}, {1002, 0, 0}, {1003, 0, 0},
        {1004, 0, 1}, {1004, 1, 1}, {1004, 2, 0}, {1004, 16, 0}, {1100, 0, 0}, {1101, 0, 4000},
        {999, 0, 0},
    };
    for (auto& r : rows)
        EXPECT_EQ(scEngine_Get_Setting(r.setting, r.index), r.value) << r.setting << "/" << r.index;
    // Read-only and unknown settings refuse writes; the hooks accept and do nothing.
    EXPECT_EQ(scEngine_Set_Setting(0, 5), 0);
    EXPECT_EQ(scEngine_Set_Setting(1, 5), 0);
    EXPECT_EQ(scEngine_Set_Setting(999, 5), 0);
    EXPECT_EQ(scEngine_Set_Setting(1002, 5), 1);
    EXPECT_EQ(scEngine_Get_Setting(0), 94);
}

TEST(EngineSettings, DispatcherSlotsAndCallbacks) {
    scEngine_Init();
    EXPECT_EQ(scEngine_Set_Dispatcher(16, DummyDispatcher), 0);
    EXPECT_EQ(scEngine_Set_Setting(1004, 16, 0), 0);
    EXPECT_EQ(scEngine_Set_Dispatcher(7, DummyDispatcher), 1);
    EXPECT_EQ(scEngine_Get_Dispatcher(7), DummyDispatcher);
    EXPECT_EQ(scEngine_Get_Setting(1004, 7), 1);
    // The integer call can only empty a slot.
    EXPECT_EQ(scEngine_Set_Setting(1004, 7, 1234), 0);
    EXPECT_EQ(scEngine_Set_Setting(1004, 7, 0), 1);
    EXPECT_EQ(scEngine_Get_Dispatcher(7), nullptr);
    scEngine_Set_Progress(Progress);
    EXPECT_EQ(scEngine_Get_Progress(), Progress);
    EXPECT_EQ(scEngine_Get_Setting(1005), 1);
    EXPECT_EQ(scEngine_Set_Setting(1005, 0), 1);
    EXPECT_EQ(scEngine_Get_Progress(), nullptr);
}

TEST(EngineSettings, SecondInitChangesNothing) {
    scEngine_Init();
    scEngine_Set_Setting(1101, 8000);
    scEngine_Set_Setting(1100, 1);
    scEngine_Set_Dispatcher(3, DummyDispatcher);
    scEngine_Init();
    EXPECT_EQ(scEngine_Get_Setting(1101), 8000);
    EXPECT_EQ(scEngine_Get_Setting(1100), 1);
    EXPECT_EQ(scEngine_Get_Dispatcher(3), DummyDispatcher);
    scEngine_Set_Setting(1101, 4000);
    scEngine_Set_Setting(1100, 0);
    scEngine_Set_Dispatcher(3, nullptr);
}

TEST(EngineErrors, RuntimeTextAndAccumulation) {
    zedi::ClearError();
    scRuntime_Error("first %d", 1);
    EXPECT_STREQ(scLast_Error_Text, "Runtime error  in :first 1");
    EXPECT_EQ(scLast_Error, scerr_RUNTIME);
    scRuntime_Error("second");
    EXPECT_STREQ(scLast_Error_Text, "Runtime error  in :first 1,\nRuntime error  in :second");
    // A cleared number starts a fresh text.
    zedi::ClearError();
    scRuntime_Error("third");
    EXPECT_STREQ(scLast_Error_Text, "Runtime error  in :third");
    // 102 stays in place.
    scLast_Error = scerr_PRIORITY;
    scRuntime_Error("x");
    EXPECT_EQ(scLast_Error, scerr_PRIORITY);
    zedi::ClearError();
}

TEST(EngineErrors, TextIsCutNotOverrun) {
    zedi::ClearError();
    std::string big(600, 'x');
    for (int i = 0; i < 5; ++i) scRuntime_Error("%s", big.c_str());
    EXPECT_EQ(std::strlen(scLast_Error_Text), sizeof scLast_Error_Text - 1);
    zedi::ClearError();
}

TEST(EngineErrors, CompileErrorForm) {
    zedi::ClearError();
    scCompile_Error_At("a.sc", 7, "int x = ;", scerr_SYNTAX, scErrorFormats[scmsg_PARSE_ERROR_AT], "`;'");
    EXPECT_STREQ(scLast_Error_Text, "a.sc(  7) Error :Parse error at `;'");
    EXPECT_EQ(scLast_Error, scerr_SYNTAX);
    EXPECT_STREQ(scLast_Error_Line, "int x = ;");
    scCompile_Error_At("a.sc", 8, nullptr, scerr_OPERAND, scErrorFormats[scmsg_INVALID_OPERAND], "s", "+");
    EXPECT_STREQ(scLast_Error_Text, "a.sc(  7) Error :Parse error at `;',\na.sc(  8) Error :Invalid operands to +");
    EXPECT_STREQ(scLast_Error_Line, "<unknown line>");
    std::string longLine(400, 'y');
    scCompile_Error_At("a.sc", 9, longLine.c_str(), scerr_SYNTAX, "x");
    EXPECT_EQ(std::strlen(scLast_Error_Line), 255u);
    zedi::ClearError();
}

TEST(Dictionary, ShadowingRemovalAndFreeUntil) {
    scmForgetAll();
    scDictionary d = scdicNew();
    EXPECT_EQ(scdicFind(scdicFirst(d), "a"), nullptr);
    scSymbol* a1 = scdicAdd(d, "a", 1, 0, nullptr);
    scSymbol* b = scdicAdd(d, "b", 2, 0, nullptr);
    scSymbol* a2 = scdicAdd(d, "a", 3, 0, nullptr);
    EXPECT_EQ(scdicFind(scdicFirst(d), "a"), a2);
    EXPECT_EQ(scdicFind(scdicFirst(d), "A"), nullptr);
    scdicRemove(d, "zzz");
    EXPECT_EQ(scdicFirst(d), a2);
    scdicRemove(d, "a");
    EXPECT_EQ(scdicFind(scdicFirst(d), "a"), a1);
    scdicFreeSymbol(a2);
    static int taken;
    taken = 0;
    scdicFreeUntil(d, b, [](scSymbol*) { ++taken; });
    EXPECT_EQ(taken, 0);
    scdicFreeUntil(d, nullptr, [](scSymbol* s) { ++taken; scdicFreeSymbol(s); });
    EXPECT_EQ(taken, 2);
    EXPECT_EQ(scdicFirst(d), nullptr);
    scdicFree(d);
    EXPECT_EQ(scmTrackedCount(), 0);
}

// The index beside a dictionary's list: random changes through every operation
// applied to an indexed dictionary and to a plain one built of twin records;
// lookups by name, the walk of each name's records and the ends of the lists
// agree after each change (a record's twin has the same address word).
TEST(Dictionary, IndexedLookupsAgreeWithTheWalk) {
    scmForgetAll();
    scDictionary plain = scdicNew(), indexed = scdicNewIndexed();
    const char* const names[] = {"a", "b", "ab", "%TEMP", "this", "x1", nullptr};
    std::vector<std::pair<scSymbol*, scSymbol*>> twins;  // plain, indexed
    uint32_t seed = 12345;
    auto rnd = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    auto make = [&](const char* name) {
        scSymbol* pair[2];
        for (scSymbol*& r : pair) {
            r = static_cast<scSymbol*>(scmAlloc(sizeof(scSymbol)));
            r->name = name ? scmStrdup(name) : nullptr;
            r->address = int32_t(twins.size());
        }
        twins.push_back({pair[0], pair[1]});
        return twins.back();
    };
    auto listed = [&](scDictionary d, std::vector<scSymbol*>& out) {
        out.clear();
        for (scSymbol* r = d->first; r; r = r->next) out.push_back(r);
    };
    auto id = [](scSymbol* r) { return r ? r->address : -1; };
    std::vector<scSymbol*> inPlain, inIndexed;
    for (int step = 0; step < 4000; ++step) {
        listed(plain, inPlain);
        size_t n = inPlain.size();
        scSymbol* pick = n ? inPlain[rnd(uint32_t(n))] : nullptr;
        auto twin = [&](scSymbol* r) -> scSymbol* { return r ? twins[size_t(r->address)].second : nullptr; };
        const char* name = names[rnd(7)];
        switch (rnd(n > 40 ? 10 : 13)) {
        case 0: case 1: case 10: case 11: {
            auto t = make(name);
            scdicPush(plain, t.first);
            scdicPush(indexed, t.second);
            break;
        }
        case 2: case 12: {
            auto t = make(name);
            scdicAppend(plain, t.first);
            scdicAppend(indexed, t.second);
            break;
        }
        case 3:
            scdicPop(plain);
            scdicPop(indexed);
            break;
        case 4:
            if (name) {
                scdicRemove(plain, name);
                scdicRemove(indexed, name);
            }
            break;
        case 5: {
            // Back to a record of the list, or to one taken off before (the list
            // then is that record's old chain).
            scSymbol* mark = rnd(4) == 0 && !twins.empty() ? twins[rnd(uint32_t(twins.size()))].first : pick;
            scdicPopUntil(plain, mark);
            scdicPopUntil(indexed, twin(mark));
            break;
        }
        case 6: {
            auto t = make(name);
            scSymbol* at = rnd(5) ? pick : nullptr;
            scdicInsertBefore(plain, at, t.first);
            scdicInsertBefore(indexed, twin(at), t.second);
            break;
        }
        case 7:
            if (pick) {
                scdicCutAfter(plain, pick);
                scdicCutAfter(indexed, twin(pick));
            }
            break;
        case 8:
            if (pick && name) {
                scdicRename(plain, pick, scmStrdup(name));
                scdicRename(indexed, twin(pick), scmStrdup(name));
            }
            break;
        case 9:
            scdicFreeUntil(plain, pick, [](scSymbol*) {});
            scdicFreeUntil(indexed, twin(pick), [](scSymbol*) {});
            break;
        }
        listed(plain, inPlain);
        listed(indexed, inIndexed);
        ASSERT_EQ(inPlain.size(), inIndexed.size()) << "step " << step;
        for (size_t i = 0; i < inPlain.size(); ++i) ASSERT_EQ(id(inPlain[i]), id(inIndexed[i])) << "step " << step;
        ASSERT_EQ(id(scdicLast(plain)), id(scdicLast(indexed))) << "step " << step;
        for (const char* look : names) {
            if (!look) continue;
            scSymbol* a = scdicLookup(plain, look);
            scSymbol* b = scdicLookup(indexed, look);
            ASSERT_EQ(id(a), id(scdicFind(plain->first, look))) << "step " << step;
            for (; a || b; a = scdicLookupNext(plain, a), b = scdicLookupNext(indexed, b)) {
                ASSERT_EQ(id(a), id(b)) << "step " << step << " name " << look;
                if (!a || !b) break;
            }
        }
    }
    scmReleaseAll();
}

TEST(Dictionary, FreeSymbolReleasesParameterRecordsAndRejectsBadStrings) {
    scmForgetAll();
    scDictionary d = scdicNew();
    scSymbol* p1 = scdicAdd(d, "p1", 0, 0, nullptr);
    scSymbol* p2 = scdicAdd(d, "p2", 0, 0, nullptr);
    d->first = nullptr;
    void* def = scmAlloc(8);
    scSymbol* f = scdicAdd(d, "f", 0, 0, nullptr);
    char type[128];
    std::snprintf(type, sizeof type, "(%llx,%llx=%llx,...)int", (unsigned long long)(uintptr_t)p1,
                  (unsigned long long)(uintptr_t)p2, (unsigned long long)(uintptr_t)def);
    f->typeString = scmStrdup(type);
    d->first = nullptr;
    scdicFreeSymbol(f);
    scdicFree(d);
    EXPECT_EQ(scmTrackedCount(), 0);

    scSymbol* g = static_cast<scSymbol*>(scmAlloc(sizeof(scSymbol)));
    g->typeString = scmStrdup("(0;)int");
    zedi::ClearError();
    EXPECT_THROW(scdicFreeSymbol(g), zedi::CompileAbort);
    EXPECT_EQ(scLast_Error, scerr_INTERNAL);
    // The check, the unit and the line where it failed.
    EXPECT_TRUE(ztest::Contains(scLast_Error_Text, "Error :Internal compiler error <function params> in DICT.cpp ("))
        << scLast_Error_Text;
    zedi::ClearError();
    scmReleaseAll();
}

TEST(Support, TrackedBlocksAndBuffers) {
    scmForgetAll();
    void* a = scmAlloc(10);
    void* b = scmAlloc(20);
    EXPECT_EQ(scmTrackedCount(), 2);
    scmUntrack(reinterpret_cast<void*>(0x1234));  // not tracked: nothing happens
    b = scmRealloc(b, 4000);
    EXPECT_EQ(scmTrackedCount(), 2);
    scmFree(a);
    EXPECT_EQ(scmTrackedCount(), 1);

    scByteBuffer buf;
    scbufInit(&buf, 4090);
    std::vector<uint8_t> fill(4070, 1);
    scbufAppend(&buf, 4070, fill.data());
    EXPECT_EQ(buf.capacity, 4090);
    scbufAppend(&buf, 5, "abcde");
    EXPECT_EQ(buf.capacity, 4090 + 5 + 511 + 256);
    EXPECT_EQ(buf.length, 4075);
    scbufFree(&buf);

    scbufInit(&buf, 16);
    scbufAppend(&buf, 13, "0123456789abc");
    scbufPad4(&buf);
    EXPECT_EQ(buf.length, 16);
    scbufPad4(&buf);
    EXPECT_EQ(buf.length, 16);
    scbufAppendString(&buf, "");
    EXPECT_EQ(buf.length, 17);
    scbufAppendWord(&buf, 0x01020304);
    EXPECT_EQ(buf.data[17], 4);
    EXPECT_EQ(buf.data[20], 1);
    // A compile's final sweep releases everything, the buffer's block too.
    scmReleaseAll();
    EXPECT_EQ(scmTrackedCount(), 0);
}

// The arena's memory may serve the next compile: what a compile wrote there,
// grown, shrunk or freed, reads as zero in the blocks handed out after the sweep.
TEST(Support, ArenaBlocksAreZeroAfterASweep) {
    auto fillArena = [](bool write) {
        scmForgetAll();
        scmUseArena();
        bool zero = true;
        for (int i = 0; i < 3000; ++i) {
            int size = 16 + (i * 37) % 3000;
            auto* p = static_cast<uint8_t*>(scmAlloc(size));
            for (int k = 0; k < size; ++k) zero = zero && p[k] == 0;
            if (write) std::memset(p, 0xA5, size_t(size));
            if (i % 3 == 0) {
                p = static_cast<uint8_t*>(scmRealloc(p, size + 500));  // the last block grows in place
                if (write) std::memset(p, 0x5A, size_t(size + 500));
                p = static_cast<uint8_t*>(scmRealloc(p, 8));
            }
            if (i % 5 == 0) scmFree(p);
        }
        // The last block grown in place, written, and the sweep.
        void* last = scmAlloc(100);
        if (write) {
            std::memset(scmRealloc(last, 3000), 0xA5, 3000);
        } else {
            auto* p = static_cast<uint8_t*>(scmAlloc(3000));
            for (int k = 0; k < 3000; ++k) zero = zero && p[k] == 0;
        }
        scmReleaseAll();
        return zero;
    };
    EXPECT_TRUE(fillArena(true));
    EXPECT_TRUE(fillArena(false));
}

}  // namespace
