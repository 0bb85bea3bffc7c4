// Code the compiler reads on trial or lays out ahead of its value: local
// initialisers, case labels and bodies, for steps, fork bodies and local brace
// lists, each with a call of a function defined later, a class temporary and a
// structure declared in place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Compiler.h"
#include "HostCall.h"
#include "Instance.h"
#include "Support.h"

namespace {

// Declared before every case: a class whose objects count themselves, a
// function returning one by value, a plain structure and two functions that
// the cases call before their definitions (in the epilogue).
const char* const kPrologue =
    "#include stdlib\n"
    "int live = 0, out = 0, done = 0;\n"
    "class C { public: int v;\n"
    "  C(int x) { v = x; live = live + 1; }\n"
    "  C(C& o) { v = o.v; live = live + 1; }\n"
    "  ~C() { live = live - 1; }\n"
    "  int get() { return v; } };\n"
    "C mk(int x) { C c(x); return c; }\n"
    "struct V { int x; int y; };\n"
    "V mkv(int a, int b) { V v; v.x = a; v.y = b; return v; }\n"
    "int dot(V a, V b) { return a.x * b.x + a.y * b.y; }\n"
    "struct P { int a; int b; };\n"
    "struct S { char *s; int n; };\n"
    "int later(int n);\n"
    "int twice(int n);\n";
const char* const kEpilogue =
    "\nint later(int n) { return n * 100; }\n"
    "int twice(int n) { return n * 2 + 1; }\n"
    "export f;\nexport live;\nexport out;\nexport done;\n";

struct Case {
    const char* name;
    const char* text;  // defines int f(int k)
    int k;
    int result;
    int live = 0;  // class objects alive after the call (static ones)
};

class Program {
public:
    explicit Program(const std::string& body) {
        image_ = scCompile_Text((kPrologue + body + kEpilogue).c_str());
        if (image_) inst_ = scCreate_Instance(image_);
        error_ = scLast_Error_Text;
    }
    ~Program() {
        if (inst_) {
            scKill_Instance(inst_);
            scFree_Instance(inst_);
        }
        std::free(image_);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    bool Ok() const { return inst_ != nullptr; }
    const std::string& Error() const { return error_; }
    int Call(int k) {
        zedi::ClearError();
        int r = scVCall_Instance(inst_, scGet_Symbol(inst_, "f"), 4, &k);
        error_ = scLast_Error ? scLast_Error_Text : "";
        return r;
    }
    // Launches f(k) as a task and gives it time slices until every task of the
    // instance has ended (a forked child with them).
    bool Run(int k) {
        zedi::ClearError();
        if (scLaunch_With_Params(inst_, 1000, scGet_Symbol(inst_, "f"), 4, &k) != 1) return false;
        for (int slices = 0; slices < 1000 && scGet_Instance_Status(inst_) != scstatus_FREE; slices++)
            scRun_Time_Slice();
        error_ = scLast_Error ? scLast_Error_Text : "";
        return scGet_Instance_Status(inst_) == scstatus_FREE;
    }
    int Symbol(const char* name) const { return scGet_Symbol(inst_, name); }
    int Global(const char* name) const {
        int v;
        std::memcpy(&v, scGet_Global(inst_, scGet_Symbol(inst_, name), 4), 4);
        return v;
    }

private:
    scScript image_ = nullptr;
    scInstance* inst_ = nullptr;
    std::string error_;
};

// Compiles each case, calls f(k) twice (a second call finds what the first
// left behind) and compares the result; every class object has ended.
void ExpectResults(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Program p(c.text);
        EXPECT_EQ(scmTrackedCount(), 0);
        if (!p.Ok()) {
            ADD_FAILURE() << c.text << "\n" << p.Error();
            continue;
        }
        for (int call = 0; call < 2; call++) {
            EXPECT_EQ(p.Call(c.k), c.result) << c.text;
            EXPECT_EQ(p.Error(), "");
            EXPECT_EQ(p.Global("live"), c.live) << "class objects alive";
        }
    }
}

TEST(TrialPaths, LocalInitialisers) {
    // The local's stack room goes in front of the temporaries its initial value
    // makes; temporaries of a conditional operand end inside it.
    ExpectResults({
        {"string temporary and a later function",
         "int f(int k) { string a = \"ab\"; int n = later((a + \"cd\").length()); return n; }", 0, 400},
        {"class temporary and a later function",
         "int f(int k) { int a = later(mk(1).get() * 5); return a; }", 0, 500},
        {"temporary under saved registers",
         "int f(int k) { int before = 11; int x = 3; int n = x + later(mk(2).get()); int after = 13;\n"
         "  return before * 100000 + n * 100 + after; }", 0, 1120313},
        {"two saved registers, a wide local",
         "int f(int k) { int x = 3, y = 4; double d = x + (y + later(mk(2).get())); int after = 5;\n"
         "  return (int)d * 10 + after + x + y; }", 0, 2082},
        {"a structure local by a structure result",
         "int f(int k) { int x = 2; V v = mkv(x, later(mk(1).get())); return v.x * 1000 + v.y; }", 0, 2100},
        {"class temporary in a conditional operand",
         "int f(int k) { V c = mkv(20, 5); int h = k ? dot(mkv(7, 10), c) : 0; return h; }", 1, 190},
        {"string temporary in a conditional operand",
         "int f(int k) { string s = \"abc\"; int n = k ? (s + \"xy\").length() : 0; return n; }", 1, 5},
        {"string temporary after &&",
         "int f(int k) { string s = \"abc\"; int m = k && (s + \"xy\") == \"abcxy\"; return m; }", 1, 1},
        {"conditional temporary, then a kept one",
         "int f(int k) { int n = (k ? mk(3).get() : 1) + later(mk(4).get()); int z = 6; return n * 10 + z; }", 1,
         4036},
        {"structure declared in the initialiser",
         "int f(int k) { int n = sizeof(struct O { struct I { int x; int z; }; I i; int y; }); O o; o.y = 2;\n"
         "  return n * 10 + o.y; }", 0, 122},
    });
}

TEST(TrialPaths, CaseLabels) {
    // Case labels are compiled once, as the dispatch code.
    ExpectResults({
        {"later function", "int f(int k) { int r = 0; switch (k) { case later(1): r = 1; break; default: r = 2; } return r; }",
         100, 1},
        {"later function, no match",
         "int f(int k) { int r = 0; switch (k) { case 1: r = 5; break; case later(1): r = 1; break; default: r = 2; }\n"
         "  return r; }", 3, 2},
        {"string temporary",
         "int f(int k) { string s = \"abc\"; int r = 0;\n"
         "  switch (k) { case (s + \"d\").length(): r = 1; break; default: r = 2; } return r + s.length() * 10; }", 4, 31},
        {"class temporary",
         "int f(int k) { int r = 0; switch (k) { case 1: r = 7; break; case mk(3).get(): r = 1; break; } return r; }", 3, 1},
        {"class temporary in the value",
         "int f(int k) { int r = 0; switch (mk(k).get()) { case 1: r = 7; break; case 2: r = 8; } return r; }", 2, 8},
        {"structure declared in a label",
         "int f(int k) { int r = 0; switch (k) { case sizeof(struct O { struct I { int x; }; I i; int y; }): r = 1; break; }\n"
         "  O o; o.y = 4; return r * 10 + o.y; }", 8, 14},
    });
}

TEST(TrialPaths, CaseBodies) {
    // Case bodies are read once to find the labels; what that reading did is
    // taken back before the bodies are compiled.
    ExpectResults({
        {"later function", "int f(int k) { int r = 0; switch (k) { case 1: r = later(2); break; default: r = twice(3); }\n"
                           "  return r; }", 1, 200},
        {"class temporary",
         "int f(int k) { int r = 0; switch (k) { case 1: r = mk(4).get() + later(mk(1).get()); break; default: r = 2; }\n"
         "  return r; }", 1, 104},
        {"structure declared in a body",
         "int f(int k) { int r = 0; switch (k) {\n"
         "  case 1: struct O { struct I { int x; }; I i; int y; }; O o; o.i.x = 3; o.y = 4; r = o.i.x * 10 + o.y; break;\n"
         "  default: r = 2; }\n"
         "  return r; }", 1, 34},
        {"structure declared before, defined in a body",
         "struct T;\n"
         "int f(int k) { int r = 0; switch (k) { case 1: struct T { int a; }; T t; t.a = 5; r = t.a; break; } return r; }",
         1, 5},
        {"class object and a static one in a body",
         "int f(int k) { int r = 0; switch (k) { case 1: C c(6); static C s(40); r = c.get() + s.get(); break; }\n"
         "  return r + live * 1000; }", 1, 1046, 1},
    });
}

TEST(TrialPaths, NestedSwitchesAreReadOncePerTrial) {
    // A switch inside code read on trial is read once: nested switches cost
    // each level's statements a reading per enclosing level, not twice as many
    // readings per level (which never ended at some dozens of levels).
    std::string text = "int f(int k) { int r = 0;\n";
    const int depth = 60;
    for (int i = 0; i < depth; i++) text += "switch (k) { case 0: r = r + 1;\n";
    for (int i = 0; i < depth; i++) text += "break; default: r = r + 1000; }\n";
    text += "return r; }";
    ExpectResults({{"nested", text.c_str(), 0, depth}, {"nested, no case", text.c_str(), 1, 1000}});
}

std::vector<int> g_gone;  // the values of the objects whose destructor ran
void Gone(int v) { g_gone.push_back(v); }

TEST(TrialPaths, StaticLocalsReadOnTrialAreMadeOnce) {
    // Static locals in a case body and in a fork body: placed once among the
    // globals, constructed once by the initialisation routine and destroyed
    // once by the clean-up routine.
    scRegister_Host_Symbol("trial_gone", Gone);
    g_gone.clear();
    {
        Program p(
            "import void trial_gone(int v);\n"
            "class D { public: int v; D(int x) { v = x; } ~D() { trial_gone(v); } };\n"
            "int f(int k) { int r = 0;\n"
            "  switch (k) { case 1: static D d(7); static int n = 5; r = d.v + n; break; }\n"
            "  fork { static D e(8); done = e.v; }\n"
            "  return r; }\n"
            "int after = 3;\nexport after;\n");
        ASSERT_TRUE(p.Ok()) << p.Error();
        // live, out and done, then d, n and e.
        EXPECT_EQ(p.Symbol("after"), 4 + 3 * 4 + 3 * 4);
        EXPECT_EQ(p.Global("after"), 3);
        EXPECT_EQ(p.Call(1), 12);
    }
    std::sort(g_gone.begin(), g_gone.end());
    EXPECT_EQ(g_gone, (std::vector<int>{7, 8}));
}

TEST(TrialPaths, ForSteps) {
    ExpectResults({
        {"later function", "int f(int k) { int n = 0, i; for (i = 0; i < 10; i = twice(i)) n++; return n; }", 0, 4},
        {"class temporary", "int f(int k) { int n = 0, i; for (i = 0; i < 10; i += mk(3).get()) n++; return n; }", 0, 4},
        {"class temporary in the first expression",
         "int f(int k) { int n = 0, i; for (i = mk(k).get(); i < 3; i++) n = n + 1; return n; }", 0, 3},
        {"structure declared in the step",
         "int f(int k) { int n = 0, i; for (i = 0; i < 2; i += sizeof(struct Q { struct R { int a; }; R r; })) n++;\n"
         "  Q q; q.r.a = 5; return n * 10 + q.r.a; }", 0, 15},
    });
}

TEST(TrialPaths, ForkBodies) {
    // A fork body is read once to find whether the child needs stack room of its
    // own. The parent gives the child time slices until it is done.
    struct ForkCase {
        const char* name;
        const char* text;
        int out;
    };
    const ForkCase cases[] = {
        {"later function", "int f(int k) { fork { out = later(k); done = 1; }\n"
         "  int w; for (w = 0; w < 100 && !done; w++) WAIT; return 0; }", 300},
        {"class temporary", "int f(int k) { fork { out = mk(k).get() + later(mk(1).get()); done = 1; }\n"
         "  int w; for (w = 0; w < 100 && !done; w++) WAIT; return 0; }", 103},
        {"structure declared in the body",
         "int f(int k) { fork { struct O { struct I { int x; }; I i; int y; }; O o; o.i.x = k; o.y = 9; out = o.i.x * 10 + o.y;\n"
         "  done = 1; }\n"
         "  int w; for (w = 0; w < 100 && !done; w++) WAIT; return 0; }", 39},
    };
    for (const ForkCase& c : cases) {
        SCOPED_TRACE(c.name);
        Program p(c.text);
        if (!p.Ok()) {
            ADD_FAILURE() << c.text << "\n" << p.Error();
            continue;
        }
        EXPECT_TRUE(p.Run(3)) << p.Error();
        EXPECT_EQ(p.Error(), "");
        EXPECT_EQ(p.Global("done"), 1);
        EXPECT_EQ(p.Global("out"), c.out);
        EXPECT_EQ(p.Global("live"), 0);
    }
}

TEST(TrialPaths, LocalBraceLists) {
    // The copy of a brace list's constant bytes comes first; computed elements
    // are stored over it by code that is emitted once, where it stays.
    ExpectResults({
        {"later function in an array", "int f(int k) { int a[2] = {later(3), 2}; return a[0] + a[1]; }", 0, 302},
        {"later function in a structure", "int f(int k) { P p = {1, later(4)}; return p.a + p.b; }", 0, 401},
        {"class temporary", "int f(int k) { int a[3] = {mk(7).get(), 1, later(mk(2).get())}; int z = 4;\n"
                            "  return a[0] * 10000 + a[1] * 1000 + a[2] + z; }", 0, 71204},
        {"structure declared in an element",
         "int f(int k) { int a[2] = {sizeof(struct O { struct I { int x; }; I i; int y; }), 1}; O o; o.y = 3;\n"
         "  return a[0] * 100 + a[1] * 10 + o.y; }", 0, 813},
        {"string literal argument beside constants",
         "int f(int k) { string s = \"q\"; int a[3] = {1, (s + \"xyz\").length(), 3}; return a[0] * 100 + a[1] * 10 + a[2]; }", 0,
         143},
        {"string literals for pointers",
         "int f(int k) { char *a[2] = {\"x\", \"yy\"}; return a[0][0] * 1000 + a[1][1] * 10 + a[1][2]; }", 0,
         'x' * 1000 + 'y' * 10},
        {"string literal in a structure", "int f(int k) { S s = {\"abc\", 1}; return s.s[2] * 10 + s.n; }", 0, 'c' * 10 + 1},
        {"string literals among computed elements",
         "int f(int k) { S s[2] = {{\"ab\", later(1)}, {\"cd\", k}}; return s[0].s[1] * 1000 + s[1].s[0] + s[0].n + s[1].n; }",
         5, 'b' * 1000 + 'c' + 105},
    });
}

}  // namespace
