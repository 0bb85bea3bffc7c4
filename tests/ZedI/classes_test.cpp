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
    // caller's temporary, p's end, the temporary's end at the statement end; a.
    EXPECT_EQ(g_log, (std::vector<int>{30, 30, -30, 31, 31, -31, -31, -30}));
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

TEST_F(Classes, GlobalObjectsLiveFromInitialisationToCleanUp) {
    scScript g = scCompile_Text(
        "struct Probe { int id; c_import Probe(int id); c_import ~Probe(); c_import int get(); };\n"
        "Probe first(60);\n"
        "void nothing() { }\n"
        "Probe second(61);\n"
        "int f() { return first.get() + second.get(); }\nexport f;\n");
    ASSERT_NE(g, nullptr) << scLast_Error_Text;
    g_log.clear();
    scInstance* i = scCreate_Instance(g);
    ASSERT_NE(i, nullptr) << scLast_Error_Text;
    EXPECT_EQ(g_log, (std::vector<int>{60, 61}));
    EXPECT_EQ(scVCall_Instance(i, scGet_Symbol(i, "f"), 0, nullptr), 121);
    scFree_Instance(i);
    EXPECT_EQ(g_log, (std::vector<int>{60, 61, -61, -60}));
    std::free(g);
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
        ErrorCase{"TemporaryOnOnePathOnly", "int f(int c) { string s; return c && (s + s).length(); }\n", 3,
                  "Structure result of `operator+' cannot be used inside this expression", 2},
        ErrorCase{"NoConstructor", "int f() { vector v(1); return 0; }\n", 4,
                  "Constructor `vector(int)' couldn't be found.", 2},
        ErrorCase{"PassDestructibleByValue", "struct D { int x; c_import ~D(); };\nint g(D d) { return 0; }\nint f(D* p) { return g(*p); }\n", 4,
                  "`D' has a destructor and no copy constructor: pass it by reference", 4},
        ErrorCase{"ReturnDestructibleByValue", "struct D { int x; c_import ~D(); };\nD g(D* p) { return *p; }\n", 4,
                  "`D' has a destructor and no copy constructor: return it by reference", 3}),
    [](const ::testing::TestParamInfo<ErrorCase>& i) { return std::string(i.param.name); });

}  // namespace
