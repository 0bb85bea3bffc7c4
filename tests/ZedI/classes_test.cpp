// Classes in compiled scripts: a host class that logs its constructors and
// destructors shows their order at block end, return and statement end; the
// corpus script checks operator functions, copies and the standard classes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Compiler.h"
#include "HostCall.h"
#include "Instance.h"
#include "VcpuOps.h"
#include "VmSpace.h"

namespace {

std::vector<int> g_log;
std::vector<int> g_failed;

void Check(int id, int ok) {
    if (!ok) g_failed.push_back(id);
}
void Mark(int id) { g_log.push_back(id); }

int& Id(scVmAddr self) { return *reinterpret_cast<int*>(zedi::VmSpace::Get().Check(self.value, 4)); }
void ProbeInit(scVmAddr self, int id) { Id(self) = id, g_log.push_back(id); }
void ProbeCopy(scVmAddr self, scVmAddr p) { Id(self) = Id(p), g_log.push_back(Id(p)); }
void ProbeDone(scVmAddr self) { g_log.push_back(-Id(self)); }
int ProbePlus(scVmAddr self, scVmAddr p) { return Id(self) + Id(p); }
int ProbeIndex(scVmAddr self, int i) { return Id(self) * 10 + i; }
int ProbeCall(scVmAddr self, int a, int b) { return Id(self) * 1000 + a * 10 + b; }
scVmAddr ProbeAdd(scVmAddr self, int x) { return Id(self) += x, self; }
bool ProbeEq(scVmAddr self, int x) { return Id(self) == x; }
int ProbeGet(scVmAddr self) { return Id(self); }
// A host function taking a `string` by value: the object is its text's address.
int HostLength(int text) {
    const char* p = text ? reinterpret_cast<const char*>(zedi::VmSpace::Get().Check(uint32_t(text), 1)) : "";
    return p ? int(std::strlen(p)) : -1;
}

class Classes : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scRegister_Host_Symbol("check", Check);
        scRegister_Host_Symbol("mark", Mark);
        scRegister_Host_Symbol("Probe.Probe", ProbeInit);
        scRegister_Host_Symbol("Probe.ProbeCC", ProbeCopy);
        scRegister_Host_Symbol("Probe.~Probe", ProbeDone);
        scRegister_Host_Symbol("Probe.operator+", ProbePlus);
        scRegister_Host_Symbol("Probe.operator[]", ProbeIndex);
        scRegister_Host_Symbol("Probe.operator()", ProbeCall);
        scRegister_Host_Symbol("Probe.operator+=", ProbeAdd);
        scRegister_Host_Symbol("Probe.operator==", ProbeEq);
        scRegister_Host_Symbol("Probe.get", ProbeGet);
        scRegister_Host_Symbol("hostLength", HostLength);
    }
    void SetUp() override {
        g_log.clear();
        g_failed.clear();
        image = scCompile_File(ZEDI_SCRIPTS "/classes.sc");
        ASSERT_NE(image, nullptr) << scLast_Error_Text;
        inst = scCreate_Instance(image);
        ASSERT_NE(inst, nullptr) << scLast_Error_Text;
    }
    void TearDown() override {
        if (inst) scFree_Instance(inst);
        std::free(image);
    }
    int Call(const char* name, std::vector<int> args = {}) {
        zedi::ClearError();
        int r = scVCall_Instance(inst, scGet_Symbol(inst, name), int(args.size() * 4), args.data());
        EXPECT_EQ(scLast_Error, 0) << scLast_Error_Text;
        return r;
    }
    scScript image = nullptr;
    scInstance* inst = nullptr;
};

TEST_F(Classes, DestructorsRunInReverseAtBlockEndAndReturn) {
    EXPECT_EQ(Call("scopes"), 5);
    EXPECT_EQ(g_log, (std::vector<int>{1, 2, 3, 100, -3, -2, 4, 101, -4, -1}));
}

TEST_F(Classes, TemporariesEndWithTheirStatementAndKeepTheStackBalanced) {
    // 3000 iterations of each loop would overflow the stack if a temporary stayed.
    const int n = 3000;
    EXPECT_EQ(Call("temporaries", {n}), 0);
    ASSERT_GE(g_log.size(), 2u);
    EXPECT_EQ(g_log.front(), 10);
    EXPECT_EQ(g_log.back(), -10);
    int temps = 0;
    for (int v : g_log) temps += v == -20;
    EXPECT_EQ(temps, 3 * n + 2 * (n + 1) + 1);
}

TEST_F(Classes, OperatorFunctions) {
    Call("operators");
    EXPECT_EQ(g_failed, std::vector<int>{});
}

TEST_F(Classes, CopiesByValueAreConstructedAndDestroyedOnce) {
    Call("copies");
    EXPECT_EQ(g_failed, std::vector<int>{});
    // a; the argument's copy, gone after the call; made(): p, the copy into the
    // caller's temporary, p's end, the temporary's end at the statement end;
    // byValue(made()) with a register saved: made's three steps, the argument's
    // copy and its end after the call, the temporary's end; a.
    EXPECT_EQ(g_log, (std::vector<int>{30, 30, -30, 31, 31, -31, -31, 32, 32, -32, 32, -32, -32, -30}));
}

TEST_F(Classes, ClassCastsBuildTheParameterObjectAndDestroyItOnce) {
    EXPECT_EQ(Call("casts"), 141);
    EXPECT_EQ(g_failed, std::vector<int>{});
    // By value: built in the argument's slot, destroyed after the call; by
    // reference: a temporary destroyed at the statement's end, or at the end of
    // an operand of ||, && or ?: (76 is not built: its operand does not run).
    EXPECT_EQ(g_log, (std::vector<int>{1, 70, -70, 2, 71, -71, 3, 72, 73, -73, -72, 75, -75, 77, -77}));
}

TEST_F(Classes, ScriptClassCastsAndCopiesAreDestroyedOnceWherever) {
    EXPECT_EQ(Call("counting"), 5082);
    EXPECT_EQ(g_failed, std::vector<int>{});
}

TEST_F(Classes, BreakDestroysTheObjectsOfItsCase) {
    struct Case {
        int k;
        std::vector<int> log;
    };
    for (const Case& c : {Case{1, {90, 91, 1, -91, 4, -90}}, Case{2, {90, 92, 93, -93, 94, -94, -92, 4, -90}},
                          Case{3, {90, 3, 4, -90}}}) {
        g_log.clear();
        EXPECT_EQ(Call("cases", {c.k}), c.k);
        EXPECT_EQ(g_log, c.log) << "case " << c.k;
    }
}

TEST_F(Classes, StandardClassesAndTheirMemory) {
    Call("strings");  // the first call may set up what calls keep
    uint32_t before = zedi::VmSpace::Get().BytesInUse();
    Call("strings");
    Call("vectors");
    EXPECT_EQ(g_failed, std::vector<int>{});
    // Every text a string allocated was freed by its destructor.
    EXPECT_EQ(zedi::VmSpace::Get().BytesInUse(), before);
}

TEST_F(Classes, ScriptClassesWithMembersInsideAndOutside) {
    EXPECT_EQ(Call("scriptClasses"), 10);
    EXPECT_EQ(g_failed, std::vector<int>{});
    // a, b; a + b: r, its copy into the temporary, r's end; the temporary's end
    // after the declaration; b and a at the return.
    EXPECT_EQ(g_log, (std::vector<int>{3, 4, 10, 1010, -10, -10, -5, -19}));
}

// A script compiled from a text and one instance of it, freed at scope end
// unless `Free` came first.
struct TextInstance {
    scScript image = nullptr;
    scInstance* inst = nullptr;
    explicit TextInstance(const char* text) {
        image = scCompile_Text(text);
        EXPECT_NE(image, nullptr) << scLast_Error_Text;
        g_log.clear();
        if (image) inst = scCreate_Instance(image);
        EXPECT_NE(inst, nullptr) << scLast_Error_Text;
    }
    int Call(const char* name, std::vector<int> args = {}) {
        zedi::ClearError();
        int r = scVCall_Instance(inst, scGet_Symbol(inst, name), int(args.size() * 4), args.data());
        EXPECT_EQ(scLast_Error, 0) << scLast_Error_Text;
        return r;
    }
    void Free() {
        if (inst) scFree_Instance(inst);
        inst = nullptr;
    }
    ~TextInstance() {
        Free();
        std::free(image);
    }
};

TEST_F(Classes, GlobalObjectsLiveFromInitialisationToCleanUp) {
    TextInstance g(
        "struct Probe { int id; c_import Probe(int id); c_import ~Probe(); c_import int get(); };\n"
        "Probe first(60);\n"
        "void nothing() { }\n"
        "Probe second(61);\n"
        "int f() { return first.get() + second.get(); }\nexport f;\n");
    ASSERT_NE(g.inst, nullptr);
    EXPECT_EQ(g_log, (std::vector<int>{60, 61}));
    EXPECT_EQ(g.Call("f"), 121);
    g.Free();
    EXPECT_EQ(g_log, (std::vector<int>{60, 61, -61, -60}));
}

TEST_F(Classes, StaticLocalObjectsAreBuiltOnceWithTheInstance) {
    TextInstance g(
        "import void mark(int id);\n"
        "struct Probe { int id; c_import Probe(int id); c_import ~Probe(); c_import int get(); };\n"
        "class Count { public: int n; Count() { n = 7; mark(70); } ~Count() { mark(-70); } };\n"
        "Probe first(60);\n"
        "int counter(int k) {\n"
        "  static Probe p(62);\n"
        "  mark(k);\n"
        "  static Probe q = 63;\n"
        "  static Count c;\n"
        "  c.n++;\n"
        "  return p.get() + q.get() + c.n;\n"
        "}\n"
        "Probe last(64);\n"
        "export counter;\n");
    ASSERT_NE(g.inst, nullptr);
    EXPECT_EQ(g_log, (std::vector<int>{60, 62, 63, 70, 64}));
    EXPECT_EQ(g.Call("counter", {1}), 133);
    EXPECT_EQ(g.Call("counter", {2}), 134);
    g.Free();
    EXPECT_EQ(g_log, (std::vector<int>{60, 62, 63, 70, 64, 1, 2, -64, -70, -63, -62, -60}));
}

TEST_F(Classes, FunctionsOfAScriptObjectRunInItsInstance) {
    TextInstance callee(
        "int twice(int x) { return 2 * x; }\n"
        "double half(int x) { return x / 2.0; }\n"
        "export twice;\nexport half;\n");
    TextInstance caller(
        "script Other { int twice(int x); double half(int x); };\n"
        "int viaPointer(Other* o, int x) { int k = 1; return k + o->twice(x); }\n"
        "int viaObject(Other* o, int x) { return (*o).twice(x) * 2; }\n"
        "int halves(Other* o, int x) { return o->half(x) * 10; }\n"
        "Other global;\n"
        "int viaGlobal(int x) { return global.twice(x) + 3; }\n"
        "export viaPointer;\nexport viaObject;\nexport halves;\nexport global;\nexport viaGlobal;\n");
    ASSERT_TRUE(callee.inst && caller.inst);
    auto& vm = zedi::VmSpace::Get();
    uint32_t record = vm.Alloc(20);
    ASSERT_TRUE(scBind_Script_Object(record, callee.inst, "script { twice; half; }"));
    struct Row {
        const char* function;
        int x, result;
    };
    for (const Row& r : {Row{"viaPointer", 20, 41}, Row{"viaObject", 5, 20}, Row{"halves", 7, 35}})
        EXPECT_EQ(caller.Call(r.function, {int(record), r.x}), r.result) << r.function;
    vm.Free(record);
    // A script object that is a global of the caller.
    uint32_t global = caller.inst->block + scRegisterBlockSize + uint32_t(scGet_Symbol(caller.inst, "global"));
    ASSERT_TRUE(scBind_Script_Object(global, callee.inst, "script { twice; half; }"));
    EXPECT_EQ(caller.Call("viaGlobal", {4}), 11);
}

TEST_F(Classes, PreemptionMarkersDoNotChangeTheResults) {
    scEngine_Set_Setting(scset_PREEMPTION, 1);
    scScript marked = scCompile_File(ZEDI_SCRIPTS "/classes.sc");
    scEngine_Set_Setting(scset_PREEMPTION, 0);
    ASSERT_NE(marked, nullptr) << scLast_Error_Text;
    EXPECT_GT(scGet_Script_Size(marked), scGet_Script_Size(image));
    scInstance* i = scCreate_Instance(marked);
    ASSERT_NE(i, nullptr) << scLast_Error_Text;
    zedi::ClearError();
    EXPECT_EQ(scVCall_Instance(i, scGet_Symbol(i, "run"), 0, nullptr), 0);
    EXPECT_EQ(scLast_Error, 0) << scLast_Error_Text;
    EXPECT_EQ(g_failed, std::vector<int>{});
    g_log.clear();
    std::vector<int> n{200};
    EXPECT_EQ(scVCall_Instance(i, scGet_Symbol(i, "temporaries"), 4, n.data()), 0);
    EXPECT_EQ(g_log.size(), 2u + 3 * 200 + 2 * 201 + 1);
    scFree_Instance(i);
    std::free(marked);
}

struct ErrorCase {
    const char* name;
    const char* text;
    int cls;
    const char* message;
    int line;
};

class ClassErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ClassErrors, Reported) {
    const ErrorCase& c = GetParam();
    std::string text = std::string("#include stdlib\n") + c.text;
    scScript image = scCompile_Text(text.c_str());
    EXPECT_EQ(image, nullptr);
    std::free(image);
    EXPECT_EQ(scLast_Error, c.cls);
    char at[16];
    std::snprintf(at, sizeof at, "(%3d)", c.line);
    std::string want = std::string(at) + " Error :" + c.message;
    EXPECT_NE(std::string(scLast_Error_Text).find(want), std::string::npos) << scLast_Error_Text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ClassErrors,
    ::testing::Values(
        ErrorCase{"NoSuchMember", "int f() { string s; return s.size(); }\n", 4,
                  "`size' is not a member of `string'", 2},
        ErrorCase{"NoFittingOperator", "int f() { string s; return s == 1.5; }\n", 4,
                  "Suitable `operator==(double)' could not be found.", 2},
        ErrorCase{"NoOperatorAtAll", "int f() { vector v; return v / 2; }\n", 4, "Invalid operands to /", 2},
        ErrorCase{"ObjectFromOnePathOnly", "int f(int c) { string s; string t = c ? s + s : s; return 0; }\n", 3,
                  "Structure result cannot be used inside this expression", 2},
        ErrorCase{"NoFittingConstructor", "int f() { vector v(1); return 0; }\n", 4,
                  "Unable to find suitable constructor for initialization", 2},
        ErrorCase{"NoConstructorAtAll", "struct Q { int x; };\nint f() { Q q(1); return 0; }\n", 4,
                  "Constructor `Q(int)' couldn't be found.", 3},
        ErrorCase{"NoConstructorTakesTheValue", "int f() { vector v = 1; return 0; }\n", 2,
                  "invalid initializer for `v'", 2},
        ErrorCase{"CopyOfDestructibleWithoutCopyConstructor",
                  "struct D { int x; c_import D(int x); c_import ~D(); };\nint f(D* p) { D d = *p; return 0; }\n", 4,
                  "`D' has a destructor and no copy constructor: initialize it by a constructor", 3},
        ErrorCase{"AmbiguousClassCast",
                  "struct A { int x; c_import A(int x); c_import A(double d); };\nint g(A& a) { return 0; }\n"
                  "int f() { return g(1); }\n", 4,
                  "Unable to decide which of 2 candidates for function 'A(int)' to use:", 4},
        ErrorCase{"NoClassCast", "int g(string& s) { return 0; }\nint f() { return g(1.5); }\n", 4,
                  "`g(double)' could not be found.\nPossible candidates:\nint g(struct string&)", 3},
        ErrorCase{"StaticObjectFromALocal", "int f(int n) { static string s = n; return 0; }\n", 2,
                  "A static object's initializer cannot use the local `n'", 2},
        ErrorCase{"StructureOfAScriptWithoutItsScript",
                  "script S { struct In { int a; int m(); }; int h(); };\nint f(In* p) { return p->m(); }\n", 4,
                  "Invalid script 'S' access", 3},
        ErrorCase{"PassDestructibleByValue", "struct D { int x; c_import ~D(); };\nint g(D d) { return 0; }\nint f(D* p) { return g(*p); }\n", 4,
                  "`D' has a destructor and no copy constructor: pass it by reference", 4},
        ErrorCase{"ReturnDestructibleByValue", "struct D { int x; c_import ~D(); };\nD g(D* p) { return *p; }\n", 4,
                  "`D' has a destructor and no copy constructor: return it by reference", 3}),
    [](const ::testing::TestParamInfo<ErrorCase>& i) { return std::string(i.param.name); });

}  // namespace
