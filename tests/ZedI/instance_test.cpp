#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <vector>

#include "Compiler.h"
#include "Fixture.h"
#include "VmSpace.h"

using namespace zasm;
using ztest::Script;
using ztest::WithFunction;

namespace {

// Emits a call of a host function without parameters, result dropped.
void CallHost(ImageBuilder& b, const char* name) {
    uint32_t slot = b.Import(name, 0);
    b.a.Op2(opCALLEX, I(int32_t(slot)), I(int32_t(scdescDROP_RESULT)));
}

// f: adds 1 to global 0, calls the host function, adds 10, returns.
ImageBuilder AroundHostCall(const char* name) {
    return WithFunction([name](ImageBuilder& ib) {
        ib.a.Op2(opADD, Data(0), I(1));
        CallHost(ib, name);
        ib.a.Op2(opADD, Data(0), I(10));
        ib.a.Op0({opRET});
    });
}

void PauseMe() { scPause_Instance(scGet_This(), 1); }
int g_reentry = -2;
void CallMyself() { g_reentry = scCall_Instance(scGet_This(), scGet_Symbol(scGet_This(), "f")); }
void FreeMe() { scFree_Instance(scGet_This()); }
void KillMe() { scKill_Instance(scGet_This()); }
int g_destroyed = 0;
void Destroyed() { ++g_destroyed; }

struct Register {
    Register() {
        scRegister_Host_Symbol("inst_pause_me", PauseMe);
        scRegister_Host_Symbol("inst_call_myself", CallMyself);
        scRegister_Host_Symbol("inst_free_me", FreeMe);
        scRegister_Host_Symbol("inst_kill_me", KillMe);
        scRegister_Host_Symbol("inst_destroyed", Destroyed);
    }
};

class Instances : public ::testing::Test {
protected:
    void SetUp() override {
        static Register once;
        // Nothing of an earlier test may stay launched.
        ASSERT_EQ(scRun_Time_Slice(), 0);
    }
};

TEST_F(Instances, CreateRunsTheInitialisers) {
    ImageBuilder b;
    b.dataSize = 8;
    b.a.Op2(opMOV, Data(0), I(1234));
    b.a.Op0({opRET});
    Script s(b);
    ASSERT_NE(s.inst, nullptr);
    EXPECT_EQ(s.Global(0), 1234);
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_FREE);
    EXPECT_EQ(scGet_This(), nullptr);
}

TEST_F(Instances, StartCallsMain) {
    ImageBuilder b;
    b.a.Op0({opRET});
    b.a.Align();
    b.Export("main", int32_t(b.a.Here()), 4);
    b.a.Op0({opENTER});
    b.a.Op2(opMOV, R(0), Frame(8));
    b.a.Op2(opMUL, R(0), I(3));
    b.a.Op0({opLEAVE, opRET});
    Script s(b);
    EXPECT_EQ(scStart_Instance(s.inst, 14), 42);
}

TEST_F(Instances, ACallOfTheRunningInstanceIsRefused) {
    auto b = WithFunction([](ImageBuilder& ib) {
        CallHost(ib, "inst_call_myself");
        ib.a.Op2(opMOV, R(0), I(5));
        ib.a.Op0({opRET});
    });
    Script s(b);
    g_reentry = -2;
    // The host function's own call fails; the outer call goes on.
    EXPECT_EQ(scCall_Instance(s.inst, scGet_Symbol(s.inst, "f")), 5);
    EXPECT_EQ(g_reentry, 0);
    EXPECT_EQ(scVCall_Instance(nullptr, 0, 0, nullptr), 0);
    EXPECT_TRUE(ztest::Contains(scLast_Error_Text, "Invalid instance!"));
}

// f: adds 1 to global 0, waits, adds 10, returns.
ImageBuilder WaitingScript() {
    return WithFunction([](ImageBuilder& ib) {
        ib.a.Op2(opADD, Data(0), I(1));
        ib.a.Op0({opWAIT, opNOP, opNOP, opNOP});
        ib.a.Op2(opADD, Data(0), I(10));
        ib.a.Op0({opRET});
    });
}

TEST_F(Instances, LaunchRunsOnlyInTimeSlices) {
    Script s(WaitingScript());
    int f = scGet_Symbol(s.inst, "f");
    ASSERT_EQ(scLaunch_Instance(s.inst, 1, f), 1);
    EXPECT_EQ(s.Global(0), 0);
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_RUNNING);
    EXPECT_EQ(scLaunch_Instance(s.inst, 1, f), 0);
    EXPECT_TRUE(ztest::Contains(scLast_Error_Text, "Instance already running!"));
    EXPECT_EQ(scCall_Instance(s.inst, f), 0);
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(s.Global(0), 1);
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(s.Global(0), 11);
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_FREE);
    EXPECT_EQ(scRun_Time_Slice(), 0);
    // It may be launched again.
    EXPECT_EQ(scLaunch_Instance(s.inst, 1, f), 1);
    scRun_Time_Slice();
    scRun_Time_Slice();
    EXPECT_EQ(s.Global(0), 22);
}

TEST_F(Instances, LaunchErrors) {
    Script s(WaitingScript());
    EXPECT_EQ(scLaunch_Instance(s.inst, 1, -1), 0);
    EXPECT_TRUE(ztest::Contains(scLast_Error_Text, "Function not found in `Untitled'!"));
    ImageBuilder b;
    b.a.Op0({opRET});
    b.Export("v", 0, -1);
    Script u(b);
    EXPECT_EQ(scLaunch_With_Params(u.inst, 1, 0, -1, nullptr), 0);  // 0 is no entry
    EXPECT_EQ(scLaunch_At(u.inst, 1, -1), 0);
    EXPECT_EQ(scGet_Instance_Status(u.inst), scstatus_FREE);
}

TEST_F(Instances, PassCountsPausedEntriesAndSkipsThem) {
    Script a(WaitingScript()), b(WaitingScript()), c(WaitingScript());
    for (Script* s : {&a, &b, &c}) ASSERT_EQ(scLaunch_Instance(s->inst, 1, scGet_Symbol(s->inst, "f")), 1);
    scPause_Instance(b.inst, 1);
    EXPECT_EQ(scGet_Instance_Status(b.inst), scstatus_PAUSED);
    EXPECT_EQ(scRun_Time_Slice(), 3);
    EXPECT_EQ(a.Global(0), 1);
    EXPECT_EQ(b.Global(0), 0);
    EXPECT_EQ(c.Global(0), 1);
    scPause_Instance(b.inst, 0);
    EXPECT_EQ(scRun_Time_Slice(), 3);
    EXPECT_EQ(b.Global(0), 1);
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(b.Global(0), 11);
}

TEST_F(Instances, PauseOfAnInstanceNotLaunchedDoesNothing) {
    Script s(WaitingScript());
    scPause_Instance(s.inst, 1);
    ASSERT_EQ(scLaunch_Instance(s.inst, 1, scGet_Symbol(s.inst, "f")), 1);
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_RUNNING);
    scRun_Time_Slice();
    EXPECT_EQ(s.Global(0), 1);
    scKill_Instance(s.inst);
}

TEST_F(Instances, HostFunctionPausesItsCaller) {
    Script s(AroundHostCall("inst_pause_me"));
    ASSERT_EQ(scLaunch_Instance(s.inst, -1, scGet_Symbol(s.inst, "f")), 1);
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(s.Global(0), 1);
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_PAUSED);
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(s.Global(0), 1);
    scPause_Instance(s.inst, 0);
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(s.Global(0), 11);
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_FREE);
}

TEST_F(Instances, KillKeepsStateAndAllowsARelaunch) {
    Script s(WaitingScript());
    int f = scGet_Symbol(s.inst, "f");
    ASSERT_EQ(scLaunch_Instance(s.inst, 1, f), 1);
    scRun_Time_Slice();
    scKill_Instance(s.inst);
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_FREE);
    EXPECT_EQ(scRun_Time_Slice(), 0);
    EXPECT_EQ(s.Global(0), 1);
    ASSERT_EQ(scLaunch_Instance(s.inst, 1, f), 1);
    scRun_Time_Slice();
    EXPECT_EQ(s.Global(0), 2);
}

TEST_F(Instances, ErrorInAPassStopsItAndUnlinks) {
    auto bad = WithFunction([](ImageBuilder& ib) { ib.a.Op0({opSTI}); });
    Script s(bad), t(WaitingScript());
    ASSERT_EQ(scLaunch_Instance(t.inst, 1, scGet_Symbol(t.inst, "f")), 1);
    ASSERT_EQ(scLaunch_Instance(s.inst, 1, scGet_Symbol(s.inst, "f")), 1);  // head of the list
    EXPECT_EQ(scRun_Time_Slice(), -1);
    EXPECT_EQ(scLast_Error, scerr_RUNTIME);
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_FREE);
    EXPECT_EQ(t.Global(0), 0);  // waits for the next pass
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(t.Global(0), 1);
    scKill_Instance(t.inst);
}

// The host stops a script that never returns by the instructions it may
// run, counted over all its runs: a loop fails when they are used up, a
// function that yields goes on with what is left.
TEST_F(Instances, InstructionBudgetStopsALoopAcrossRuns) {
    scScript image = scCompile_Text(
        "int n; int w;\n"
        "int one(int x) { return x + 1; }\n"
        "int spin() { while (1) n = n + 1; return 0; }\n"
        "int step() { for (n = 0; n < 2000000; n++) w = w + 1; return 0; }\n"
        "int call() { while (1) n = one(n); return 0; }\n"
        "int pace() { int i; for (i = 0; i < 3; i = i + 1) { w = w + 1; WAIT; } return 7; }\n"
        "export spin; export step; export call; export pace; export n; export w;\n");
    ASSERT_NE(image, nullptr) << scLast_Error_Text;
    scInstance* inst = scCreate_Instance(image, "");
    ASSERT_NE(inst, nullptr);
    auto global = [&](const char* name) {
        int32_t v;
        std::memcpy(&v, scGet_Global(inst, scGet_Symbol(inst, name), 4), 4);
        return v;
    };
    EXPECT_EQ(scGet_Instruction_Budget(inst), -1);

    scSet_Instruction_Budget(inst, 1000);
    ASSERT_EQ(scLaunch_Instance(inst, 10, scGet_Symbol(inst, "pace")), 1);
    int passes = 0;
    long long before = 1000;
    while (scGet_Instance_Status(inst) != scstatus_FREE && passes < 10) {
        EXPECT_GE(scRun_Time_Slice(), 0);
        ++passes;
        // Every slice runs instructions and pays for them.
        long long now = scGet_Instruction_Budget(inst);
        EXPECT_LT(now, before) << "slice " << passes;
        before = now;
    }
    EXPECT_EQ(passes, 4);
    EXPECT_EQ(global("w"), 3);
    EXPECT_EQ(inst->lastRun, 1);
    long long left = scGet_Instruction_Budget(inst);
    EXPECT_GT(left, 0);
    EXPECT_LT(left, 1000);

    // Endless loops of each form: a jump back, a loop's own step, calls.
    for (const char* fn : {"spin", "step", "call"}) {
        SCOPED_TRACE(fn);
        std::memset(scGet_Global(inst, scGet_Symbol(inst, "n"), 4), 0, 4);
        std::memset(scGet_Global(inst, scGet_Symbol(inst, "w"), 4), 0, 4);
        scSet_Instruction_Budget(inst, 100000);
        ASSERT_EQ(scLaunch_Instance(inst, 10, scGet_Symbol(inst, fn)), 1);
        EXPECT_EQ(scRun_Time_Slice(), -1);
        EXPECT_TRUE(ztest::Contains(scLast_Error_Text, "Instruction budget used up")) << scLast_Error_Text;
        EXPECT_EQ(scGet_Instance_Status(inst), scstatus_FREE);
        EXPECT_EQ(inst->lastRun, -1);
        EXPECT_EQ(scGet_Instruction_Budget(inst), 0);
        int count = global("n") + global("w");
        EXPECT_GT(count, 1000);
        EXPECT_LT(count, 100000);
    }
    // A synchronous call is held to it too.
    scCall_Instance(inst, scGet_Symbol(inst, "pace"));
    EXPECT_EQ(scLast_Error, scerr_RUNTIME);
    scFree_Instance(inst);
    std::free(image);
}

// The routine budget during one test, the default (none) again afterwards.
struct RoutineBudget {
    explicit RoutineBudget(long long instructions) { scSet_Routine_Budget(instructions); }
    ~RoutineBudget() { scSet_Routine_Budget(-1); }
};

// A script's initialisation routine (its global objects' constructors) that
// fails or runs past the routine budget fails the creation with its error.
// Looping scripts run in a child process, so that the test fails rather than
// hangs.
TEST_F(Instances, AnInitialisationThatFailsOrRunsTooLongFailsTheCreation) {
    struct Case {
        const char* name;
        const char* text;
        long long budget;
        const char* error;
    } cases[] = {
        {"a constructor that never ends",
         "class C { public: int v; C() { v = 0; while (1) { v = v + 1; } } };\nC c;\n", 100000,
         "Instruction budget used up"},
        {"a constructor that divides by zero", "class C { public: int v; C() { int z = 0; v = 1 / z; } };\nC c;\n",
         -1, "Division by zero"},
    };
    for (const Case& c : cases) {
        scScript image = scCompile_Text(c.text);
        ASSERT_NE(image, nullptr) << scLast_Error_Text;
        int rc = ztest::RunInChild(
            [&] {
                RoutineBudget budget(c.budget);
                scInstance* inst = scCreate_Instance(image, "");
                std::fprintf(stderr, "%s: %s\n", c.name, scLast_Error_Text);
                if (inst) return 1;
                return scLast_Error == scerr_RUNTIME && ztest::Contains(scLast_Error_Text, c.error) ? 0 : 2;
            },
            60);
        EXPECT_EQ(rc, 0) << c.name << " (-1: still running; 1: created; 2: another error)";
        std::free(image);
    }
    // Within the budget the instance is made, and its calls are not held to
    // what the routine left.
    scScript image = scCompile_Text(
        "int n;\nclass C { public: int v; C() { for (v = 0; v < 1000; v = v + 1) n = n + 2; } };\nC c;\n"
        "int count() { int i; for (i = 0; i < 100000; i++) n = n + 1; return n; }\nexport count;\n");
    ASSERT_NE(image, nullptr) << scLast_Error_Text;
    {
        RoutineBudget budget(50000);
        scInstance* inst = scCreate_Instance(image, "");
        ASSERT_NE(inst, nullptr) << scLast_Error_Text;
        EXPECT_EQ(scGet_Instruction_Budget(inst), -1);
        EXPECT_EQ(scCall_Instance(inst, scGet_Symbol(inst, "count")), 102000);
        EXPECT_EQ(scLast_Error, 0) << scLast_Error_Text;
        scFree_Instance(inst);
    }
    std::free(image);
}

// The clean-up routine (the global objects' destructors) runs under a budget
// of its own: a destructor past it is abandoned with its error and the
// instance freed all the same; one after an event that used up the
// instance's budget still runs.
TEST_F(Instances, TheCleanUpRunsUnderTheRoutineBudgetAndTheInstanceIsFreed) {
    scScript looping = scCompile_Text(
        "class D { public: int v; D() { v = 1; } ~D() { while (1) { v = v + 1; } } };\nD d;\n"
        "int f() { return d.v; }\nexport f;\n");
    ASSERT_NE(looping, nullptr) << scLast_Error_Text;
    int rc = ztest::RunInChild(
        [&] {
            RoutineBudget budget(100000);
            scInstance* inst = scCreate_Instance(looping, "");
            if (!inst || scCall_Instance(inst, scGet_Symbol(inst, "f")) != 1) return 1;
            uint32_t handle = scInstance_Handle(inst);
            zedi::ClearError();
            scFree_Instance(inst);
            std::fprintf(stderr, "%s\n", scLast_Error_Text);
            if (scInstance_From_Handle(handle)) return 2;
            return scLast_Error == scerr_RUNTIME && ztest::Contains(scLast_Error_Text, "Instruction budget used up") ? 0 : 3;
        },
        60);
    EXPECT_EQ(rc, 0) << "-1: still running; 1: not made; 2: not freed; 3: another error";
    std::free(looping);

    scScript image = scCompile_Text(
        "import void inst_destroyed();\nclass D { public: int v; ~D() { inst_destroyed(); } };\nD d;\n"
        "int spin() { while (1) d.v = d.v + 1; return 0; }\nexport spin;\n");
    ASSERT_NE(image, nullptr) << scLast_Error_Text;
    for (long long routine : {-1LL, 100000LL}) {
        RoutineBudget budget(routine);
        scInstance* inst = scCreate_Instance(image, "");
        ASSERT_NE(inst, nullptr) << scLast_Error_Text;
        scSet_Instruction_Budget(inst, 1000);
        scCall_Instance(inst, scGet_Symbol(inst, "spin"));
        EXPECT_EQ(scGet_Instruction_Budget(inst), 0);
        g_destroyed = 0;
        zedi::ClearError();
        scFree_Instance(inst);
        EXPECT_EQ(g_destroyed, 1) << routine;
        EXPECT_EQ(scLast_Error, 0) << scLast_Error_Text;
    }
    std::free(image);
}

TEST_F(Instances, FreeFromInsideItsOwnHostCallIsDeferred) {
    Script s(AroundHostCall("inst_free_me"));
    uint32_t h = scInstance_Handle(s.inst);
    ASSERT_EQ(scLaunch_Instance(s.inst, -1, scGet_Symbol(s.inst, "f")), 1);
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(scInstance_From_Handle(h), nullptr);
    s.inst = nullptr;
    EXPECT_EQ(scRun_Time_Slice(), 0);
}

TEST_F(Instances, KillFromInsideItsOwnHostCallStopsTheRun) {
    Script s(AroundHostCall("inst_kill_me"));
    ASSERT_EQ(scLaunch_Instance(s.inst, -1, scGet_Symbol(s.inst, "f")), 1);
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(s.Global(0), 1);
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_FREE);
}

// f forks three children, storing their ids in globals 4, 8 and 12; each child
// adds 1 to global 0 and ends itself; the parent returns.
ImageBuilder ForkingScript() {
    return WithFunction([](ImageBuilder& ib) {
        Asm& a = ib.a;
        a.Op0({opENTER});
        a.Op2(opMOV, Frame(-4), I(100));  // a local the children read
        a.Op2(opSUB, R(regSP), I(4));
        for (int i = 1; i <= 3; ++i) {
            uint32_t fork = a.Op2(opFORK, Data(4 * i), I(0));
            a.Op2(opADD, Data(0), Frame(-4));
            a.Op2(opMOV, R(5), I(-1));
            a.Op2(opFORK, R(5), I(0));
            a.Put(fork + 8, a.Label());
        }
        a.Op2(opADD, R(regSP), I(4));
        a.Op0({opLEAVE, opRET});
    });
}

TEST_F(Instances, ForkedChildrenShareGlobalsAndSeeTheParentsLocals) {
    Script s(ForkingScript());
    int f = scGet_Symbol(s.inst, "f");
    ASSERT_EQ(scLaunch_Instance(s.inst, 1, f), 1);
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(s.Global(4), 1);
    EXPECT_EQ(s.Global(8), 2);
    EXPECT_EQ(s.Global(12), 3);
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_FREE);
    scInstance* child2 = scGet_Forked(s.inst, 2);
    ASSERT_NE(child2, nullptr);
    EXPECT_EQ(scGet_Instance_Status(child2), scstatus_RUNNING);
    EXPECT_EQ(scGet_Forked(child2, 3), scGet_Forked(s.inst, 3));
    EXPECT_EQ(scRun_Time_Slice(), 3);
    EXPECT_EQ(s.Global(0), 300);
    EXPECT_EQ(scGet_Forked(s.inst, 1), nullptr);
    EXPECT_EQ(scRun_Time_Slice(), 0);

    // The counter goes on until the children are killed.
    ASSERT_EQ(scLaunch_Instance(s.inst, 1, f), 1);
    scRun_Time_Slice();
    EXPECT_EQ(s.Global(4), 4);
    scKill_Forked_Instances(s.inst);
    EXPECT_EQ(scRun_Time_Slice(), 0);
    EXPECT_EQ(s.Global(0), 300);
    ASSERT_EQ(scLaunch_Instance(s.inst, 1, f), 1);
    scRun_Time_Slice();
    EXPECT_EQ(s.Global(4), 1);
    // Freeing one child leaves its siblings and the parent.
    scInstance* c1 = scGet_Forked(s.inst, 1);
    scKill_Instance(c1);
    scFree_Instance(c1);
    EXPECT_EQ(scGet_Forked(s.inst, 1), nullptr);
    EXPECT_NE(scGet_Forked(s.inst, 2), nullptr);
    EXPECT_EQ(scRun_Time_Slice(), 2);
    EXPECT_EQ(s.Global(0), 500);
}

TEST_F(Instances, FreeingALaunchedParentFreesItsChildren) {
    Script s(ForkingScript());
    ASSERT_EQ(scLaunch_Instance(s.inst, 1, scGet_Symbol(s.inst, "f")), 1);
    scRun_Time_Slice();
    uint32_t h = scInstance_Handle(scGet_Forked(s.inst, 1));
    scFree_Instance(s.inst);
    s.inst = nullptr;
    EXPECT_EQ(scInstance_From_Handle(h), nullptr);
    EXPECT_EQ(scRun_Time_Slice(), 0);
}

TEST_F(Instances, Priorities) {
    Script s(WaitingScript());
    EXPECT_EQ(scGet_Priority(s.inst), 0);
    scSet_Priority(s.inst, 5);
    EXPECT_EQ(scGet_Priority(s.inst), 5);
    scSet_Priority(nullptr, 5);
    EXPECT_EQ(scGet_Priority(nullptr), MAXINT);
    EXPECT_EQ(scGet_Actual_Priority(), MAXINT);
    EXPECT_EQ(scGet_Forked_Status(1), scstatus_FREE);
}

TEST_F(Instances, ScriptObjectCall) {
    // g(int) in the callee returns its argument times 2.
    ImageBuilder cb;
    cb.a.Op0({opRET});
    cb.a.Align();
    cb.Export("g", int32_t(cb.a.Here()), 4);
    cb.a.Op0({opENTER});
    cb.a.Op2(opMOV, R(0), Frame(8));
    cb.a.Op2(opMUL, R(0), I(2));
    cb.a.Op0({opLEAVE, opRET});
    Script callee(cb);

    // The caller keeps the record in its data at offset 0 and calls word 3.
    auto b = WithFunction([](ImageBuilder& ib) {
        ib.a.Op1(opPUSH, I(21));
        ib.a.Op1(opPUSHADR, Data(0));
        ib.a.Op2(opCALLEX, I(12), I(int32_t(8 | scdescSCRIPT_OBJECT)));
        ib.a.Op0({opRET});
    });
    Script caller(b);
    uint32_t record = caller.Reg(regDATA);
    ASSERT_TRUE(scBind_Script_Object(record, callee.inst, "script { g; }"));
    EXPECT_FALSE(scBind_Script_Object(record, callee.inst, "struct { g; }"));
    EXPECT_EQ(scCall_Instance(caller.inst, scGet_Symbol(caller.inst, "f")), 42);
    EXPECT_EQ(scLast_Error, 0) << scLast_Error_Text;
    // A record naming no instance is an error.
    *static_cast<uint32_t*>(scGet_Global(caller.inst, 4, 4)) = 0xDEAD;
    scCall_Instance(caller.inst, scGet_Symbol(caller.inst, "f"));
    EXPECT_TRUE(ztest::Contains(scLast_Error_Text, "Invalid script object")) << scLast_Error_Text;
}

TEST(VmSpace, HeapChecks) {
    auto& vm = zedi::VmSpace::Get();
    uint32_t a = vm.Alloc(100);
    ASSERT_GE(a, zedi::VmSpace::kReservedLow);
    EXPECT_NE(vm.Check(a, 100), nullptr);
    EXPECT_EQ(vm.Check(a + 50, 200), nullptr);
    EXPECT_EQ(vm.Check(0, 4), nullptr);
    EXPECT_EQ(vm.Check(0xFFFFFFF0u, 32), nullptr);
    EXPECT_FALSE(vm.Free(a + 4));
    EXPECT_TRUE(vm.Free(a));
    EXPECT_FALSE(vm.Free(a));
    EXPECT_EQ(vm.Check(a, 4), nullptr);
}

TEST(VmSpace, FreedNeighboursJoinAndAreReusedZeroFilled) {
    auto& vm = zedi::VmSpace::Get();
    uint32_t a = vm.Alloc(48), b = vm.Alloc(32), c = vm.Alloc(16);
    ASSERT_TRUE(a && b && c);
    ASSERT_EQ(b, a + 48);
    std::memset(vm.Ptr(a), 0xAB, 80);
    // Freed in either order, a and b make one range that an exact fit takes
    // before any larger free range.
    EXPECT_TRUE(vm.Free(b));
    EXPECT_TRUE(vm.Free(a));
    uint32_t joined = vm.Alloc(80);
    EXPECT_EQ(joined, a);
    EXPECT_EQ(vm.BlockSize(joined), 80u);
    std::vector<uint8_t> zeros(80, 0);
    EXPECT_EQ(std::memcmp(vm.Ptr(joined), zeros.data(), 80), 0);
    EXPECT_TRUE(vm.Free(c));
    EXPECT_TRUE(vm.Free(joined));
    EXPECT_FALSE(vm.Free(joined));
}

TEST(VmSpace, ManyBlocksFreedEveryOtherAndTakenAgain) {
    auto& vm = zedi::VmSpace::Get();
    uint32_t before = vm.BytesInUse();
    std::vector<uint32_t> blocks;
    for (int i = 0; i < 20000; ++i) {
        blocks.push_back(vm.Alloc(uint32_t(16 + i % 64)));
        ASSERT_NE(blocks.back(), 0u);
    }
    std::set<uint32_t> holes;
    for (size_t i = 0; i < blocks.size(); i += 2) {
        EXPECT_TRUE(vm.Free(blocks[i]));
        holes.insert(blocks[i]);
    }
    // Blocks of the same sizes go into the holes.
    for (size_t i = 0; i < blocks.size(); i += 2) {
        blocks[i] = vm.Alloc(uint32_t(16 + i % 64));
        EXPECT_EQ(holes.count(blocks[i]), 1u) << i;
    }
    for (uint32_t b : blocks) EXPECT_TRUE(vm.Free(b));
    EXPECT_EQ(vm.BytesInUse(), before);
}

TEST(VmSpace, FreeingALargeBlockKeepsItsNeighbour) {
    // A block of 64 KiB or more whose end shares a page with a live block behind
    // it: freeing it must leave that block's bytes alone. The block is placed at
    // the start of a page (16-byte fillers walk up to one), since that is where
    // the pages it gives back begin.
    auto& vm = zedi::VmSpace::Get();
    const uint32_t page = uint32_t(sysconf(_SC_PAGESIZE));
    const uint32_t size = 16 * page + 200;  // ends inside a page
    std::vector<uint32_t> held;
    uint32_t big = 0, next = 0;
    for (int i = 0; i < 200000 && !next; ++i) {
        uint32_t f = vm.Alloc(16);
        ASSERT_NE(f, 0u);
        held.push_back(f);
        if ((f + 16) % page) continue;
        uint32_t b = vm.Alloc(size);
        ASSERT_NE(b, 0u);
        uint32_t n = vm.Alloc(64);
        ASSERT_NE(n, 0u);
        if (b == f + 16 && n == b + vm.BlockSize(b)) {
            big = b;
            next = n;
        } else {
            held.push_back(b);  // an earlier hole took it: keep it filled
            held.push_back(n);
        }
    }
    ASSERT_NE(next, 0u) << "no page-aligned block with a neighbour found";
    ASSERT_NE(next % page, 0u);
    std::memset(vm.Ptr(big), 0x5A, size);
    std::memset(vm.Ptr(next), 0xA5, 64);
    EXPECT_TRUE(vm.Free(big));
    std::vector<uint8_t> expect(64, 0xA5);
    EXPECT_EQ(std::vector<uint8_t>(vm.Ptr(next), vm.Ptr(next) + 64), expect);
    // The freed room is handed out again cleared.
    uint32_t again = vm.Alloc(size);
    ASSERT_NE(again, 0u);
    EXPECT_EQ(std::count(vm.Ptr(again), vm.Ptr(again) + size, 0), int(size));
    EXPECT_TRUE(vm.Free(again));
    EXPECT_TRUE(vm.Free(next));
    for (uint32_t h : held) EXPECT_TRUE(vm.Free(h));
}

}  // namespace

namespace {

void FreeTop() {
    scInstance* me = scGet_This();
    scFree_Instance(me->parent ? me->parent : me);
}

TEST(InstancesDeferred, ParentFreedFromItsChildsHostCall) {
    scRegister_Host_Symbol("inst_free_top", FreeTop);
    // f forks one child that calls the host function freeing its parent.
    auto b = WithFunction([](ImageBuilder& ib) {
        Asm& a = ib.a;
        a.Op0({opENTER});
        uint32_t fork = a.Op2(opFORK, Data(4), I(0));
        CallHost(ib, "inst_free_top");
        a.Op2(opADD, Data(0), I(1));
        a.Op2(opMOV, R(5), I(-1));
        a.Op2(opFORK, R(5), I(0));
        a.Put(fork + 8, a.Label());
        a.Op0({opLEAVE, opRET});
    });
    Script s(b);
    uint32_t h = scInstance_Handle(s.inst);
    ASSERT_EQ(scLaunch_Instance(s.inst, 1, scGet_Symbol(s.inst, "f")), 1);
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(scRun_Time_Slice(), 1);  // the child runs and frees the whole tree afterwards
    EXPECT_EQ(scInstance_From_Handle(h), nullptr);
    s.inst = nullptr;
    EXPECT_EQ(scRun_Time_Slice(), 0);
}

TEST(InstancesDeferred, ScriptHeapFrees) {
    uint32_t a = scScript_Alloc(32);
    ASSERT_NE(a, 0u);
    zedi::ClearError();
    EXPECT_TRUE(scScript_Free(a));
    EXPECT_FALSE(scScript_Free(a));
    EXPECT_EQ(scLast_Error, scerr_RUNTIME);
    EXPECT_FALSE(scScript_Free(0x10004));
    EXPECT_TRUE(scScript_Free(0));
    zedi::ClearError();
}

}  // namespace

namespace {

TEST(InstancesDeferred, TopInstanceForksAtARegisterHoldingMinusOne) {
    // An image's unnamed fork right after a call that returned -1: the top
    // instance has no parent to end into, so it forks; the child still ends at
    // its own FORK of a register holding -1.
    auto b = WithFunction([](ImageBuilder& ib) {
        Asm& a = ib.a;
        a.Op2(opMOV, R(0), I(-1));
        uint32_t fork = a.Op2(opFORK, R(0), I(0));
        a.Op2(opADD, Data(0), I(1));
        a.Op2(opMOV, R(0), I(-1));
        a.Op2(opFORK, R(0), I(-1));
        a.Put(fork + 4, a.Label());
        a.Op2(opADD, Data(0), I(10));
        a.Op0({opRET});
    });
    Script s(b);
    uint32_t h = scInstance_Handle(s.inst);
    ASSERT_EQ(scLaunch_Instance(s.inst, 100, scGet_Symbol(s.inst, "f")), 1);
    for (int i = 0; i < 4; i++) scRun_Time_Slice();
    ASSERT_NE(scInstance_From_Handle(h), nullptr);
    EXPECT_EQ(s.Global(0), 11);
    EXPECT_EQ(s.inst->firstChild, nullptr);  // the child ended
}

TEST(InstancesDeferred, ErrorInAForkedChildNamesItsId) {
    auto b = WithFunction([](ImageBuilder& ib) {
        Asm& a = ib.a;
        uint32_t fork = a.Op2(opFORK, Data(4), I(0));
        a.Op0({opSTI});
        a.Put(fork + 8, a.Label());
        a.Op0({opRET});
    });
    zasm::ImageBuilder titled = b;
    titled.title = "Seat";
    Script s(titled);
    ASSERT_EQ(scLaunch_Instance(s.inst, 1, scGet_Symbol(s.inst, "f")), 1);
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(scRun_Time_Slice(), -1);
    EXPECT_STREQ(scLast_Error_Text, "Runtime error  in `Seat'(1):multitasking violation");
    scKill_Forked_Instances(s.inst);
}

}  // namespace

namespace {

TEST(Handles, ScriptsAndInstances) {
    int dummy1 = 0, dummy2 = 0;
    uint32_t h1 = scScript_Handle(&dummy1);
    EXPECT_EQ(scScript_Handle(&dummy1), h1);
    uint32_t h2 = scScript_Handle(&dummy2);
    EXPECT_NE(h1, h2);
    EXPECT_EQ(scScript_From_Handle(h1), &dummy1);
    scScript_Forget(&dummy1);
    EXPECT_EQ(scScript_From_Handle(h1), nullptr);
    EXPECT_EQ(scScript_From_Handle(0), nullptr);
    scScript_Forget(&dummy2);
    EXPECT_EQ(scInstance_From_Handle(h2), nullptr);
    EXPECT_EQ(scScript_Handle(nullptr), 0u);
}

TEST(Handles, RunToEndWithParameters) {
    auto b = WithFunction([](ImageBuilder& ib) {
        ib.a.Op0({opENTER});
        ib.a.Op2(opMOV, R(0), Frame(8));
        ib.a.Op2(opADD, R(0), Frame(12));
        ib.a.Op0({opLEAVE, opRET});
    }, 8);
    Script s(b);
    int params[2] = {40, 2};
    const int code = 4;  // f follows the one-word initialisation routine
    EXPECT_EQ(scRun_To_End(s.inst, code, 8, params), 42);
    EXPECT_EQ(s.Reg(regRETURN_MARK), 0u);
    zedi::ClearError();
    EXPECT_EQ(scRun_To_End(s.inst, code, 1 << 20, params), 0);
    EXPECT_TRUE(ztest::Contains(scLast_Error_Text, "Stack overflow"));
}

int32_t* g_hostVar = nullptr;

TEST(Handles, ImportedVariableLivesInScriptMemory) {
    g_hostVar = scRegister_Host_Variable<int32_t>("inst_host_var");
    *g_hostVar = 31;
    auto b = WithFunction([](ImageBuilder& ib) {
        uint32_t slot = ib.Import("inst_host_var", -1);
        ib.a.Op2(opMOV, R(2), Slot(int32_t(slot)));     // the slot holds the variable's address
        ib.a.Op2(opADD, MR(baseNONE, 2), I(11));
        ib.a.Op2(opMOV, R(0), MR(baseNONE, 2));
        ib.a.Op1(opPUSHADR, Slot(int32_t(slot)));
        ib.a.Op1(opPOP, R(3));
        ib.a.Op2(opSUB, R(3), R(2));
        ib.a.Op2(opADD, R(0), R(3));
        ib.a.Op0({opRET});
    });
    Script s(b);
    EXPECT_EQ(scCall_Instance(s.inst, scGet_Symbol(s.inst, "f")), 42);
    EXPECT_EQ(*g_hostVar, 42);
}

}  // namespace
