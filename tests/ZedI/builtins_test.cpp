// The built-in headers and the host functions of the standard classes: the
// functions called as scripts call them (object address first), and the "Kernel"
// header used by a script that compiles and runs another script.
#include <gtest/gtest.h>

#include <set>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "Builtins.h"
#include "Compiler.h"
#include "Fixture.h"
#include "HostCall.h"
#include "Instance.h"
#include "VmSpace.h"

namespace {

using zedi::VmSpace;

// Calls a registered host function with the given words; `error` receives the
// failure text (empty when the call succeeded).
uint64_t Host(const char* name, std::vector<uint32_t> words, std::string* error = nullptr) {
    std::string e;
    uint64_t bits = ztest::InvokeHost(name, std::move(words), e);
    if (error) *error = e;
    else EXPECT_EQ(e, "") << name;
    return bits;
}

uint32_t Text(const char* s) { return VmSpace::Get().AddrOf(scNew_Text(s)); }

// A script `string` object: one word in the script address space.
struct Str {
    uint32_t obj;
    explicit Str(const char* s = nullptr) : obj(scScript_Alloc(4)) {
        if (s) Host("string.string_SZ", {obj, Text(s)});
        else Host("string.string", {obj});
    }
    ~Str() { Host("string.~string", {obj}); scScript_Free(obj); }
    uint32_t cstr() const { return zedi::LoadWord(VmSpace::Get().Ptr(obj)); }
    std::string text() const { return cstr() ? reinterpret_cast<const char*>(VmSpace::Get().Ptr(cstr())) : "<null>"; }
};

std::string TextAt(uint32_t a) { return a ? reinterpret_cast<const char*>(VmSpace::Get().Ptr(a)) : "<null>"; }

// A string result: its text, which the caller owns.
std::string Take(uint64_t bits) {
    std::string s = TextAt(uint32_t(bits));
    scScript_Free(uint32_t(bits));
    return s;
}

TEST(StdlibString, ConstructorsAndAssignment) {
    Str a;
    EXPECT_EQ(a.cstr(), 0u);
    Str n;
    Host("string.string_I", {n.obj, uint32_t(42)});
    EXPECT_EQ(n.text(), "42");
    Host("string.operator=(int)", {n.obj, uint32_t(-7)});
    EXPECT_EQ(n.text(), "-7");
    Str c;
    Host("string.stringCC", {c.obj, n.obj});
    EXPECT_EQ(c.text(), "-7");
    EXPECT_NE(c.cstr(), n.cstr());
    // Assigning a string to itself keeps its text.
    EXPECT_EQ(Host("string.operator=", {c.obj, c.obj}), c.obj);
    EXPECT_EQ(c.text(), "-7");
    Host("string.operator=", {c.obj, a.obj});
    EXPECT_EQ(c.cstr(), 0u);
    Host("string.operator=(char*)", {c.obj, Text("xyz")});
    EXPECT_EQ(c.text(), "xyz");
    EXPECT_EQ(Host("string.length", {c.obj}), 3u);
    EXPECT_EQ(Host("string.length", {a.obj}), 0u);
}

TEST(StdlibString, SubstringsClampTheirRange) {
    Str s("abc");
    struct Case { int start, len; const char* want; } cases[] = {
        {5, 3, ""}, {1, 10, "bc"}, {0, 3, "abc"}, {1, 1, "b"}, {-2, 2, "ab"}, {1, -5, ""}, {3, 1, ""},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(Take(Host("string.sub", {s.obj, uint32_t(k.start), uint32_t(k.len)})), k.want) << k.start << "," << k.len;
        EXPECT_EQ(Take(Host("string.operator()", {s.obj, uint32_t(k.start), uint32_t(k.len)})), k.want);
    }
    Str none;
    EXPECT_EQ(Take(Host("string.sub", {none.obj, 0u, 2u})), "");
}

TEST(StdlibString, ComparisonsTreatNoTextAsEmpty) {
    Str a("abc"), b("abd"), hi("\xff"), n1, n2, empty("");
    EXPECT_EQ(int(Host("string.cmp", {a.obj, b.obj})), -1);
    EXPECT_EQ(int(Host("string.cmp", {b.obj, a.obj})), 1);
    EXPECT_EQ(int(Host("string.cmp", {a.obj, a.obj})), 0);
    EXPECT_EQ(int(Host("string.cmp", {hi.obj, a.obj})), 1);  // bytes compare unsigned
    EXPECT_EQ(Host("string.operator==", {n1.obj, n2.obj}), 1u);
    EXPECT_EQ(Host("string.operator==", {n1.obj, empty.obj}), 1u);
    EXPECT_EQ(Host("string.operator==", {n1.obj, a.obj}), 0u);
    EXPECT_EQ(Host("string.operator!=", {a.obj, b.obj}), 1u);
    EXPECT_EQ(Host("string.operator<", {a.obj, b.obj}), 1u);
    EXPECT_EQ(Host("string.operator<=", {a.obj, a.obj}), 1u);
    EXPECT_EQ(Host("string.operator>", {a.obj, b.obj}), 0u);
    EXPECT_EQ(Host("string.operator>=", {b.obj, a.obj}), 1u);
    EXPECT_EQ(Host("string.operator==(char*)", {a.obj, Text("abc")}), 1u);
    EXPECT_EQ(Host("string.operator==(char*)", {n1.obj, 0u}), 1u);
}

TEST(StdlibString, ConcatenationAndAppend) {
    Str a("ab"), b("cd"), none;
    EXPECT_EQ(Take(Host("string.operator+", {a.obj, b.obj})), "abcd");
    EXPECT_EQ(Take(Host("string.operator+", {none.obj, b.obj})), "cd");
    EXPECT_EQ(Take(Host("string.operator+(char*)", {a.obj, Text("!")})), "ab!");
    Host("string.operator+=", {a.obj, b.obj});
    EXPECT_EQ(a.text(), "abcd");
    Host("string.operator+=", {a.obj, none.obj});
    EXPECT_EQ(a.text(), "abcd");
    Host("string.operator+=(char*)", {none.obj, Text("x")});
    EXPECT_EQ(none.text(), "x");
}

TEST(StdlibString, AppendGrowsWithRoomToSpare) {
    // A text grows into room left at its last move, so a string built by many
    // appends moves a few times, not once per append.
    Str s("a");
    std::string want = "a";
    std::set<uint32_t> places;
    for (int i = 0; i < 1000; ++i) {
        Host("string.operator+=(char*)", {s.obj, Text(i % 2 ? "xy" : "z")});
        want += i % 2 ? "xy" : "z";
        places.insert(s.cstr());
    }
    EXPECT_EQ(s.text(), want);
    EXPECT_LT(places.size(), 20u);
    // Appending a string to itself, with and without room.
    Str t("abc");
    Host("string.operator+=", {t.obj, t.obj});
    EXPECT_EQ(t.text(), "abcabc");
    Host("string.operator+=", {t.obj, t.obj});
    EXPECT_EQ(t.text(), "abcabcabcabc");
    // A text the string does not own (a literal put into cstr) is copied,
    // never written in place.
    uint32_t block = scScript_Alloc(16);
    std::memcpy(VmSpace::Get().Ptr(block + 4), "lit", 4);
    uint32_t obj = scScript_Alloc(4);
    zedi::StoreWord(VmSpace::Get().Ptr(obj), block + 4);
    Host("string.operator+=(char*)", {obj, Text("!")});
    EXPECT_EQ(TextAt(zedi::LoadWord(VmSpace::Get().Ptr(obj))), "lit!");
    EXPECT_EQ(TextAt(block + 4), "lit");
    Host("string.~string", {obj});
    scScript_Free(obj);
    scScript_Free(block);
}

TEST(StdlibString, DeleteInsertFind) {
    struct Case { int start, len; const char* want; } dels[] = {
        {1, 100, "a"}, {10, 1, "abcdef"}, {2, 2, "abef"}, {-3, 2, "cdef"}, {1, -1, "abcdef"},
    };
    for (const Case& k : dels) {
        Str s("abcdef");
        Host("string.del", {s.obj, uint32_t(k.start), uint32_t(k.len)});
        EXPECT_EQ(s.text(), k.want) << k.start << "," << k.len;
    }
    struct Ins { int start; const char* want; } ins[] = {{0, "XYabc"}, {2, "abXYc"}, {99, "abcXY"}, {-4, "XYabc"}};
    for (const Ins& k : ins) {
        Str s("abc"), x("XY");
        Host("string.insert", {s.obj, uint32_t(k.start), x.obj});
        EXPECT_EQ(s.text(), k.want) << k.start;
    }
    Str s("hello world"), w("o"), missing("z");
    EXPECT_EQ(int(Host("string.find", {s.obj, w.obj})), 4);
    EXPECT_EQ(int(Host("string.find", {s.obj, missing.obj})), -1);
}

TEST(StdlibString, Replace) {
    struct Case { const char* text; const char* what; const char* with; int global; const char* want; int count; } cases[] = {
        {"aXa", "a", "bb", 1, "bbXbb", 2},
        {"aXa", "a", "bb", 0, "bbXa", 1},
        {"aaa", "a", "aa", 1, "aaaaaa", 3},
        {"abc", "z", "y", 1, "abc", 0},
        {"abc", "", "y", 1, "abc", 0},
        {"abcb", "b", "", 1, "ac", 2},
        // A string without text (not even an empty one) changes nothing.
        {"abcb", "b", nullptr, 1, "abcb", 0},
        {"abcb", nullptr, "y", 1, "abcb", 0},
        {nullptr, "b", "y", 1, "<null>", 0},
    };
    for (const Case& k : cases) {
        Str s(k.text), what(k.what), with(k.with);
        EXPECT_EQ(int(Host("string.replace", {s.obj, what.obj, with.obj, uint32_t(k.global)})), k.count) << s.text();
        EXPECT_EQ(s.text(), k.want) << k.want;
    }
}

TEST(StdlibString, ToIntWithBaseFromPrefix) {
    struct Case { const char* text; int want; } cases[] = {
        {"42", 42}, {"0x1F", 31}, {"010", 8}, {"-5", -5}, {"", 0}, {"99999999999", 2147483647},
    };
    for (const Case& k : cases) {
        Str s(k.text);
        EXPECT_EQ(int(Host("string.toInt", {s.obj})), k.want) << k.text;
        EXPECT_EQ(int(Host("string.operator(int)", {s.obj})), k.want) << k.text;
    }
}

TEST(StdlibString, IndexIsCheckedAgainstTheText) {
    Str s("abc"), none;
    EXPECT_EQ(Host("string.operator[]", {s.obj, 1u}), s.cstr() + 1);
    EXPECT_EQ(Host("string.operator[]", {s.obj, 3u}), s.cstr() + 3);  // the terminating NUL
    // Past the end: the terminating NUL, which reads 0.
    std::string err;
    for (uint32_t idx : {4u, 1000u, 0x7FFFFFFFu}) {
        EXPECT_EQ(Host("string.operator[]", {s.obj, idx}, &err), s.cstr() + 3) << idx;
        EXPECT_EQ(err, "") << idx;
    }
    Host("string.operator[]", {s.obj, uint32_t(-1)}, &err);
    EXPECT_NE(err, "");
    Host("string.operator[]", {none.obj, 0u}, &err);
    EXPECT_NE(err, "");
}

TEST(StdlibString, DestructorFreesOnlyHeapTexts) {
    // A literal address put into cstr by the script is not freed.
    uint32_t block = scScript_Alloc(16);
    uint32_t obj = scScript_Alloc(4);
    zedi::StoreWord(VmSpace::Get().Ptr(obj), block + 4);
    Host("string.~string", {obj});
    EXPECT_EQ(VmSpace::Get().BlockSize(block), 16u);
    // Destroying twice frees once.
    Host("string.string_SZ", {obj, Text("t")});
    uint32_t text = zedi::LoadWord(VmSpace::Get().Ptr(obj));
    Host("string.~string", {obj});
    EXPECT_EQ(VmSpace::Get().BlockSize(text), 0u);
    Host("string.~string", {obj});
    scScript_Free(obj);
    scScript_Free(block);
}

TEST(StdlibString, BadObjectFailsTheCall) {
    std::string err;
    Host("string.length", {0x7000000u}, &err);
    EXPECT_NE(err, "");
}

// ---- vector ----

struct Vec {
    double x, y, z;
};
uint32_t NewVec(Vec v) {
    uint32_t a = scScript_Alloc(24);
    std::memcpy(VmSpace::Get().Ptr(a), &v, 24);
    return a;
}
Vec At(uint32_t a) {
    Vec v;
    std::memcpy(&v, VmSpace::Get().Ptr(a), 24);
    return v;
}
std::vector<uint32_t> D(double d) {
    uint32_t w[2];
    std::memcpy(w, &d, 8);
    return {w[0], w[1]};
}

TEST(StdlibVector, ArithmeticAndComparisons) {
    uint32_t a = NewVec({1, 0, 0}), b = NewVec({0, 1, 0}), r = NewVec({9, 9, 9});
    Host("vector.operator*", {r, a, b});
    EXPECT_EQ(At(r).x, 0);
    EXPECT_EQ(At(r).y, 0);
    EXPECT_EQ(At(r).z, 1);
    Host("vector.operator*=", {a, b});
    EXPECT_EQ(At(a).z, 1);
    EXPECT_EQ(At(a).x, 0);
    Host("vector.operator+", {r, a, b});
    EXPECT_EQ(At(r).y, 1);
    EXPECT_EQ(At(r).z, 1);
    Host("vector.operator-=", {r, b});
    EXPECT_EQ(At(r).y, 0);

    uint32_t p = NewVec({1, 2, 3}), q = NewVec({2, 3, 4}), m = NewVec({1, 5, 3});
    EXPECT_EQ(Host("vector.operator<", {p, q}), 1u);
    EXPECT_EQ(Host("vector.operator<", {m, q}), 0u);
    EXPECT_EQ(Host("vector.operator>=", {m, q}), 0u);
    EXPECT_EQ(Host("vector.operator==", {p, p}), 1u);
    EXPECT_EQ(Host("vector.operator!=", {p, q}), 1u);

    std::vector<uint32_t> words{r};
    for (double d : {3.0, 4.0, 0.0}) {
        auto w = D(d);
        words.insert(words.end(), w.begin(), w.end());
    }
    Host("vector.vector", words);
    scHostCall c;
    const zedi::HostBinding* len = zedi::FindBinding("vector.length");
    uint32_t arg[1] = {r};
    c.words = arg;
    c.count = 1;
    len->invoke(c);
    EXPECT_TRUE(c.isReal);
    EXPECT_DOUBLE_EQ(c.real, 5);
    Host("vector.normalize", {r});
    EXPECT_DOUBLE_EQ(At(r).x, 0.6);
    // A zero vector stays zero rather than turning into NaN.
    Host("vector.vectorVOID", {r});
    Host("vector.normalize", {r});
    EXPECT_EQ(At(r).x, 0);
    for (uint32_t v : {a, b, r, p, q, m}) scScript_Free(v);
}

// ---- headers ----

struct Program {
    scScript image;
    scInstance* inst = nullptr;
    explicit Program(const char* text) : image(scCompile_Text(text)) {
        if (image) inst = scCreate_Instance(image);
    }
    ~Program() {
        if (inst) scFree_Instance(inst);
        std::free(image);
    }
    int Call(const char* name, std::vector<int> args = {}) {
        return scVCall_Instance(inst, scGet_Symbol(inst, name), int(args.size() * 4), args.data());
    }
};

TEST(BuiltinHeaders, GuardsAllowRepeatedIncludes) {
    Program p("#include stdlib\n#include Instances\n#include stdlib\n"
              "int f() { return scstatus_FREE + 10 * scstatus_RUNNING + 100 * scstatus_PAUSED; }\nexport f;\n");
    ASSERT_NE(p.inst, nullptr) << scLast_Error_Text;
    EXPECT_EQ(p.Call("f"), 210);
}

TEST(BuiltinHeaders, UnregisteredHashClassCannotBeInstantiated) {
    scScript image = scCompile_Text("#include stdlib\nint f(hashInt* h) { return h->exists(1); }\nexport f;\n");
    if (!image) GTEST_SKIP() << "member calls: " << scLast_Error_Text;
    EXPECT_EQ(scCreate_Instance(image), nullptr);
    EXPECT_NE(std::string(scLast_Error_Text).find("Unresolved reference to `hashInt.exists'"), std::string::npos)
        << scLast_Error_Text;
    std::free(image);
}

TEST(BuiltinHeaders, ImagesCompiledByAScriptAreFreedOnceUnused) {
    scRegister_Kernel_Header();
    Program p("#include Kernel\nint make() { return (int)scCompile_Text(\"int g() { return 5; }\\nexport g;\\n\"); }\n"
              "export make;\n");
    ASSERT_NE(p.inst, nullptr) << scLast_Error_Text;
    uint32_t handle = uint32_t(p.Call("make"));
    scScript made = scScript_From_Handle(handle);
    ASSERT_NE(made, nullptr) << scLast_Error_Text;
    // An instance made from it keeps it after the script that compiled it is gone.
    scInstance* other = scCreate_Instance(made);
    ASSERT_NE(other, nullptr);
    scFree_Instance(p.inst);
    p.inst = nullptr;
    EXPECT_EQ(scScript_From_Handle(handle), made);
    EXPECT_EQ(scVCall_Instance(other, scGet_Symbol(other, "g"), 0, nullptr), 5);
    scFree_Instance(other);
    EXPECT_EQ(scScript_From_Handle(handle), nullptr);
}

// What a script makes through the Kernel header and leaves goes with the top
// instance that made it, as its images do, also when a forked child made it.
TEST(BuiltinHeaders, InstancesMadeByAScriptAreFreedWithIt) {
    scRegister_Kernel_Header();
    Program p("#include Kernel\n"
              "scScript s;\n"
              "int make() { if (!s) s = scCompile_Text(\"int g() { return 5; }\\nexport g;\\n\");\n"
              "  return (int)scCreate_Instance(s, \"\"); }\n"
              "int made;\n"
              "int forked() { fork { made = make(); } while (!made) WAIT; return made; }\n"
              "int freed() { scInstance* i = scCreate_Instance(s, \"\"); scFree_Instance(i); return (int)i; }\n"
              "int image() { return (int)s; }\n"
              "int forkedOne() { return made; }\n"
              "export make;\nexport forked;\nexport freed;\nexport image;\nexport forkedOne;\n");
    ASSERT_NE(p.inst, nullptr) << scLast_Error_Text;
    std::vector<uint32_t> made = {uint32_t(p.Call("make")), uint32_t(p.Call("make"))};
    ASSERT_EQ(scLaunch_Instance(p.inst, 1, scGet_Symbol(p.inst, "forked")), 1);
    for (int pass = 0; pass < 100 && scGet_Instance_Status(p.inst) != scstatus_FREE; ++pass) scRun_Time_Slice();
    EXPECT_EQ(scGet_Instance_Status(p.inst), scstatus_FREE);
    made.push_back(uint32_t(p.Call("forkedOne")));
    for (uint32_t h : made) {
        scInstance* i = scInstance_From_Handle(h);
        ASSERT_NE(i, nullptr) << h << ": " << scLast_Error_Text;
        EXPECT_EQ(scVCall_Instance(i, scGet_Symbol(i, "g"), 0, nullptr), 5);
    }
    EXPECT_EQ(scInstance_From_Handle(uint32_t(p.Call("freed"))), nullptr);
    uint32_t image = uint32_t(p.Call("image"));
    EXPECT_NE(scScript_From_Handle(image), nullptr);
    scFree_Instance(p.inst);
    p.inst = nullptr;
    for (uint32_t h : made) EXPECT_EQ(scInstance_From_Handle(h), nullptr) << h;
    EXPECT_EQ(scScript_From_Handle(image), nullptr);
}

TEST(BuiltinHeaders, KernelScriptCompilesAndRunsAnotherScript) {
    scRegister_Kernel_Header();
    Program p(
        "#include Kernel\n"
        "int f(int n) {\n"
        "  scScript s = scCompile_Text(\"int sq(int x) { return x * x; }\\n"
        "int main(int a) { return sq(a) + 1; }\\nexport main;\\nexport sq;\\n\");\n"
        "  if (!s) return -1;\n"
        "  scInstance* i = scCreate_Instance(s, \"\");\n"
        "  if (!i) return -2;\n"
        "  int r = scStart_Instance(i, n);\n"
        "  int q = scCall_Instance(i, scGet_Symbol(i, \"sq\"), 3);\n"
        "  int args[1];\n"
        "  args[0] = 4;\n"
        "  int v = scVCall_Instance(i, scGet_Symbol(i, \"sq\"), 4, args);\n"
        "  scFree_Instance(i);\n"
        "  return r * 10000 + q * 100 + v;\n"
        "}\n"
        "int declared() {\n"
        "  scScript s = scCompile_Text(\"int add(int a, int b) { return a * 10 + b; }\\nexport add;\\n\");\n"
        "  scInstance* i = scCreate_Instance(s, \"\");\n"
        "  int args[2];\n"
        "  args[0] = 4;\n"
        "  args[1] = 2;\n"
        "  int v = scVCall_Instance(i, scGet_Symbol(i, \"add\"), -1, args);\n"
        "  scFree_Instance(i);\n"
        "  return v;\n"
        "}\n"
        "import char* scGet_Title(scScript image);\nimport char* scGet_Author(scScript image);\n"
        "int nulls() {\n"
        "  scScript none = (scScript)0;\n"
        "  return (scGet_Script_Size(none) == 0) + 10 * (scCreate_Instance(none, \"\") == 0) +\n"
        "         100 * (scGet_Title(none) == 0) + 1000 * (scGet_Author(none) == 0);\n"
        "}\n"
        "int broken() { return scCompile_Text(\"int x = ;\") == 0; }\n"
        "int badHandle() { return scGet_Script_Size((scScript)12345); }\n"
        "export f;\nexport broken;\nexport badHandle;\nexport declared;\nexport nulls;\n");
    ASSERT_NE(p.inst, nullptr) << scLast_Error_Text;
    EXPECT_EQ(p.Call("f", {6}), 37 * 10000 + 9 * 100 + 16);
    EXPECT_EQ(scLast_Error, 0) << scLast_Error_Text;
    // Bytes -1: the function's declared parameter bytes.
    EXPECT_EQ(p.Call("declared"), 42) << scLast_Error_Text;
    EXPECT_EQ(scLast_Error, 0) << scLast_Error_Text;
    // A NULL image gives 0 or NULL, not an error.
    EXPECT_EQ(p.Call("nulls"), 1111) << scLast_Error_Text;
    EXPECT_EQ(scLast_Error, 0) << scLast_Error_Text;
    EXPECT_EQ(p.Call("broken"), 1);
    zedi::ClearError();
    p.Call("badHandle");
    EXPECT_EQ(scLast_Error, scerr_RUNTIME);
    EXPECT_NE(std::string(scLast_Error_Text).find("invalid script handle"), std::string::npos) << scLast_Error_Text;
}

}  // namespace
