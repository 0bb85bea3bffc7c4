#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Fixture.h"
#include "HostCall.h"

using namespace zasm;
using ztest::Script;
using ztest::WithFunction;

namespace {

struct OpCase {
    const char* name;
    std::function<void(Asm&)> body;  // leaves its result in register 0 and returns
    uint32_t expected;               // register 0 when no error is expected
    const char* error;               // part of the error text, or null
};

void PrintTo(const OpCase& c, std::ostream* os) { *os << c.name; }

void DoubleToR0(Asm& a) { a.Op2(opDINT, R(0), R(2)); }

const OpCase kCases[] = {
    {"add", [](Asm& a) { a.Op2(opMOV, R(0), I(5)); a.Op2(opADD, R(0), I(7)); }, 12, nullptr},
    {"sub wraps", [](Asm& a) { a.Op2(opMOV, R(0), I(0)); a.Op2(opSUB, R(0), I(1)); }, 0xFFFFFFFFu, nullptr},
    {"mul", [](Asm& a) { a.Op2(opMOV, R(0), I(-6)); a.Op2(opMUL, R(0), I(7)); }, uint32_t(-42), nullptr},
    {"div truncates", [](Asm& a) { a.Op2(opMOV, R(0), I(7)); a.Op2(opDIV, R(0), I(-2)); }, uint32_t(-3), nullptr},
    {"mod sign", [](Asm& a) { a.Op2(opMOV, R(0), I(7)); a.Op2(opMOD, R(0), I(-2)); }, 1, nullptr},
    {"div by zero", [](Asm& a) { a.Op2(opMOV, R(0), I(7)); a.Op2(opDIV, R(0), I(0)); }, 0, "Division by zero"},
    {"mod by zero", [](Asm& a) { a.Op2(opMOV, R(0), I(7)); a.Op2(opMOD, R(0), I(0)); }, 0, "Division by zero"},
    {"int min div -1", [](Asm& a) { a.Op2(opMOV, R(0), I(INT32_MIN)); a.Op2(opDIV, R(0), I(-1)); }, 0x80000000u, nullptr},
    {"int min mod -1", [](Asm& a) { a.Op2(opMOV, R(0), I(INT32_MIN)); a.Op2(opMOD, R(0), I(-1)); }, 0, nullptr},
    {"unsigned cmpg clears flag",
     [](Asm& a) {
         a.Op2(opMOV, R(0), I(-1));
         a.Op1(opOPTIONS, I(1));
         a.Op2(opCMPG, R(0), I(1));
         a.Op2(opMUL, R(0), I(10));
         a.Op2(opADD, R(0), R(regOPTIONS));
     }, 10, nullptr},
    {"signed cmpg", [](Asm& a) { a.Op2(opMOV, R(0), I(-1)); a.Op2(opCMPG, R(0), I(1)); }, 0, nullptr},
    {"unsigned div", [](Asm& a) { a.Op2(opMOV, R(0), I(-2)); a.Op1(opOPTIONS, I(1)); a.Op2(opDIV, R(0), I(2)); }, 0x7FFFFFFFu, nullptr},
    {"unsigned mod", [](Asm& a) { a.Op2(opMOV, R(0), I(-1)); a.Op1(opOPTIONS, I(1)); a.Op2(opMOD, R(0), I(10)); }, 5, nullptr},
    {"flag stays for add",
     [](Asm& a) { a.Op1(opOPTIONS, I(1)); a.Op2(opMOV, R(0), I(1)); a.Op2(opADD, R(0), R(regOPTIONS)); }, 2, nullptr},
    {"cmpl", [](Asm& a) { a.Op2(opMOV, R(0), I(-5)); a.Op2(opCMPL, R(0), I(3)); }, 1, nullptr},
    {"cmpng equal", [](Asm& a) { a.Op2(opMOV, R(0), I(3)); a.Op2(opCMPNG, R(0), I(3)); }, 1, nullptr},
    {"cmpnl", [](Asm& a) { a.Op2(opMOV, R(0), I(2)); a.Op2(opCMPNL, R(0), I(3)); }, 0, nullptr},
    {"unsigned cmpl", [](Asm& a) { a.Op2(opMOV, R(0), I(-5)); a.Op1(opOPTIONS, I(1)); a.Op2(opCMPL, R(0), I(3)); }, 0, nullptr},
    {"cmpe", [](Asm& a) { a.Op2(opMOV, R(0), I(9)); a.Op2(opCMPE, R(0), I(9)); }, 1, nullptr},
    {"shl uses five bits", [](Asm& a) { a.Op2(opMOV, R(0), I(3)); a.Op2(opSHL, R(0), I(33)); }, 6, nullptr},
    {"shr arithmetic", [](Asm& a) { a.Op2(opMOV, R(0), I(-8)); a.Op2(opSHR, R(0), I(1)); }, uint32_t(-4), nullptr},
    {"shr logical", [](Asm& a) { a.Op2(opMOV, R(0), I(-8)); a.Op1(opOPTIONS, I(1)); a.Op2(opSHR, R(0), I(33)); }, 0x7FFFFFFCu, nullptr},
    {"and or xor",
     [](Asm& a) {
         a.Op2(opMOV, R(0), I(0xF0));
         a.Op2(opAND, R(0), I(0x3C));
         a.Op2(opOR, R(0), I(0x100));
         a.Op2(opXOR, R(0), I(0x1));
     }, 0x131, nullptr},
    {"andl orl",
     [](Asm& a) {
         a.Op2(opMOV, R(0), I(5));
         a.Op2(opANDL, R(0), I(0));
         a.Op2(opMOV, R(2), I(0));
         a.Op2(opORL, R(2), I(7));
         a.Op2(opMUL, R(2), I(10));
         a.Op2(opADD, R(0), R(2));
     }, 10, nullptr},
    {"neg not", [](Asm& a) { a.Op2(opMOV, R(0), I(5)); a.Op1(opNEG, R(0)); a.Op1(opNOT, R(0)); }, 0, nullptr},
    {"not zero", [](Asm& a) { a.Op2(opMOV, R(0), I(0)); a.Op1(opNOT, R(0)); }, 1, nullptr},
    {"fixmul", [](Asm& a) { a.Op2(opMOV, R(0), I(0x18000)); a.Op2(opFIXMUL, R(0), I(0x20000)); }, 0x30000, nullptr},
    {"fixmul negative", [](Asm& a) { a.Op2(opMOV, R(0), I(-0x18000)); a.Op2(opFIXMUL, R(0), I(0x20000)); }, uint32_t(-0x30000), nullptr},
    {"fixdiv", [](Asm& a) { a.Op2(opMOV, R(0), I(0x30000)); a.Op2(opFIXDIV, R(0), I(0x20000)); }, 0x18000, nullptr},
    {"fixdiv by zero", [](Asm& a) { a.Op2(opMOV, R(0), I(0x10000)); a.Op2(opFIXDIV, R(0), I(0)); }, 0, nullptr},
    {"double add and truncate",
     [](Asm& a) { a.Op2(opDMOV, R(2), D(1.5)); a.Op2(opDADD, R(2), D(2.25)); DoubleToR0(a); }, 3, nullptr},
    {"double sub mul div",
     [](Asm& a) {
         a.Op2(opDMOV, R(2), D(10.0));
         a.Op2(opDSUB, R(2), D(4.0));
         a.Op2(opDMUL, R(2), D(3.5));
         a.Op2(opDDIV, R(2), D(2.0));
         DoubleToR0(a);
     }, 10, nullptr},
    {"idbl and dint toward zero",
     [](Asm& a) { a.Op2(opIDBL, R(2), I(-7)); a.Op2(opDMUL, R(2), D(0.5)); DoubleToR0(a); }, uint32_t(-3), nullptr},
    {"dint out of range", [](Asm& a) { a.Op2(opDMOV, R(2), D(1e20)); DoubleToR0(a); }, 0x80000000u, nullptr},
    {"double compares",
     [](Asm& a) {
         a.Op2(opDMOV, R(2), D(2.5));
         a.Op2(opDCMPG, R(2), D(1.0));   // 1
         a.Op2(opDMOV, R(4), D(2.5));
         a.Op2(opDCMPL, R(4), D(1.0));   // 0
         a.Op2(opDMOV, R(6), D(2.5));
         a.Op2(opDCMPE, R(6), D(2.5));   // 1
         a.Op2(opDMOV, R(8), D(2.5));
         a.Op2(opDCMPNG, R(8), D(2.5));  // 1
         a.Op2(opDMOV, R(10), D(2.0));
         a.Op2(opDCMPNL, R(10), D(2.5)); // 0
         a.Op2(opMOV, R(0), R(2));
         a.Op2(opMUL, R(0), I(10));
         a.Op2(opADD, R(0), R(4));
         a.Op2(opMUL, R(0), I(10));
         a.Op2(opADD, R(0), R(6));
         a.Op2(opMUL, R(0), I(10));
         a.Op2(opADD, R(0), R(8));
         a.Op2(opMUL, R(0), I(10));
         a.Op2(opADD, R(0), R(10));
     }, 10110, nullptr},
    {"float round trip",
     [](Asm& a) { a.Op2(opDMOV, R(6), D(2.5)); a.Op2(opDFLT, R(4), R(6)); a.Op2(opFDBL, R(2), R(4)); a.Op2(opDMUL, R(2), D(2.0)); DoubleToR0(a); }, 5, nullptr},
    {"dfix", [](Asm& a) { a.Op2(opDFIX, R(0), D(1.5)); }, 0x18000, nullptr},
    {"fixdbl", [](Asm& a) { a.Op2(opFIXDBL, R(2), I(0x28000)); a.Op2(opDMUL, R(2), D(2.0)); DoubleToR0(a); }, 5, nullptr},
    {"dneg and dpush",
     [](Asm& a) {
         a.Op2(opDMOV, R(2), D(4.0));
         a.Op1(opDNEG, R(2));
         a.Op1(opDPUSH, R(2));
         a.Op1(opPOP, R(4));   // low word
         a.Op1(opPOP, R(5));   // high word
         a.Op2(opDINT, R(0), R(4));
     }, uint32_t(-4), nullptr},
    {"cmov into register clears it", [](Asm& a) { a.Op2(opMOV, R(0), I(0x12345678)); a.Op2(opCMOV, R(0), I(0x1AB)); }, 0xAB, nullptr},
    {"cmov into memory",
     [](Asm& a) {
         a.Op2(opMOV, Data(0), I(0x11223344));
         a.Op2(opCMOV, Data(0), I(0x55));
         a.Op2(opMOV, R(0), Data(0));
     }, 0x11223355, nullptr},
    {"wmov into memory",
     [](Asm& a) {
         a.Op2(opMOV, Data(4), I(0x11223344));
         a.Op2(opWMOV, Data(5), I(0xBEEF));
         a.Op2(opMOV, R(0), Data(4));
     }, 0x11BEEF44, nullptr},
    {"dmov memory and copy",
     [](Asm& a) {
         a.Op2(opDMOV, Data(8), D(6.5));
         a.Op2(opMOV, R(regCOUNT), I(8));
         a.Op2(opCOPY, Data(16), Data(8));
         a.Op2(opDMOV, R(2), Data(16));
         DoubleToR0(a);
     }, 6, nullptr},
    {"copy with no count",
     [](Asm& a) {
         a.Op2(opMOV, Data(0), I(1));
         a.Op2(opMOV, Data(4), I(2));
         a.Op2(opMOV, R(regCOUNT), I(0));
         a.Op2(opCOPY, Data(0), Data(4));
         a.Op2(opMOV, R(0), Data(0));
     }, 1, nullptr},
    {"memory through a register",
     [](Asm& a) {
         a.Op2(opMOV, Data(12), I(77));
         a.Op2(opMOV, R(3), I(12));
         a.Op2(opMOV, R(0), MR(baseDATA, 3));
     }, 77, nullptr},
    {"push pop", [](Asm& a) { a.Op1(opPUSH, I(42)); a.Op1(opPOP, R(0)); }, 42, nullptr},
    {"pushadr", [](Asm& a) { a.Op1(opPUSHADR, Data(4)); a.Op1(opPOP, R(0)); a.Op2(opSUB, R(0), R(regDATA)); }, 4, nullptr},
    {"immediate destination is lost", [](Asm& a) { a.Op2(opMOV, R(0), I(3)); a.Op2(opMOV, I(5), I(6)); }, 3, nullptr},
    {"jmp skips",
     [](Asm& a) {
         a.Op2(opMOV, R(0), I(1));
         uint32_t j = a.Jmp(0);
         a.Op2(opMOV, R(0), I(2));
         a.PatchJmp(j, a.Here());
     }, 1, nullptr},
    {"jtrue and jfalse",
     [](Asm& a) {
         a.Op2(opMOV, R(0), I(0));
         a.Op2(opMOV, R(2), I(1));
         uint32_t j1 = a.JCond(opJTRUE, R(2), 0);
         a.Op2(opADD, R(0), I(100));
         a.PatchJCond(j1, a.Here());
         uint32_t j2 = a.JCond(opJFALSE, R(2), 0);
         a.Op2(opADD, R(0), I(10));
         a.PatchJCond(j2, a.Here());
         uint32_t j3 = a.JCond(opJFALSE, I(0), 0);
         a.Op2(opADD, R(0), I(1000));
         a.PatchJCond(j3, a.Here());
     }, 10, nullptr},
    {"call and ret",
     [](Asm& a) {
         a.Op2(opMOV, R(0), I(1));
         uint32_t c = a.Op1(opCALL, I(0));
         uint32_t j = a.Jmp(0);
         uint32_t sub = a.Here();
         a.Op0({opENTER});
         a.Op2(opADD, R(0), I(41));
         a.Op0({opLEAVE, opRET});
         a.Align();
         a.PatchJmp(j, a.Here());
         a.Put(c + 4, sub);
     }, 42, nullptr},
    {"cli sti nest", [](Asm& a) { a.Op0({opCLI, opCLI, opSTI, opSTI}); a.Op2(opMOV, R(0), R(regCLI)); }, 0, nullptr},
    {"sti at depth 0", [](Asm& a) { a.Op0({opSTI}); }, 0, "multitasking violation"},
    {"call of -1", [](Asm& a) { a.Op1(opCALL, I(-1)); }, 0, "not defined function called"},
    {"opcode 0", [](Asm& a) { a.Word(0x00000200); a.Word(0); }, 0, "Unknown opcode:0 in the script at 8!"},
    {"xchg", [](Asm& a) { a.Op2(opXCHG, R(0), R(1)); }, 0, "Unknown opcode:12 in the script at 8!"},
    {"bad zero-operand byte", [](Asm& a) { a.Op0({opNOP, 62, opNOP, opNOP}); }, 0, "Unknown opcode 62 in the script at 4!"},
    {"stack overflow",
     [](Asm& a) {
         uint32_t top = a.Label();
         a.Op1(opPUSH, I(1));
         a.Jmp(top);
     }, 0, "Stack overflow"},
    {"stack pointer written below the stack", [](Asm& a) { a.Op2(opSUB, R(regSP), I(100000)); }, 0, "Stack overflow"},
    {"null read", [](Asm& a) { a.Op2(opMOV, R(2), I(0)); a.Op2(opMOV, R(0), MR(baseNONE, 2)); }, 0, "Access violation"},
    {"wild write", [](Asm& a) { a.Op2(opMOV, R(2), I(0x7FFFFF00)); a.Op2(opMOV, MR(baseNONE, 2), I(1)); }, 0, "Access violation"},
    {"read past the data", [](Asm& a) { a.Op2(opMOV, R(0), Data(1 << 20)); }, 0, "Access violation"},
    {"jump outside the code", [](Asm& a) { a.Op1(opJMP, I(100000)); }, 0, "Invalid code address"},
    {"ret without call pops garbage address", [](Asm& a) { a.Op1(opPUSH, I(-4)); a.Op0({opRET}); }, 0, "Invalid code address"},
};

class VcpuOps : public ::testing::TestWithParam<OpCase> {};

TEST_P(VcpuOps, Runs) {
    const OpCase& c = GetParam();
    auto b = WithFunction([&](ImageBuilder& ib) {
        ib.a.Op0({opENTER});
        c.body(ib.a);
        ib.a.Op0({opLEAVE, opRET});
    });
    Script s(b);
    ASSERT_NE(s.inst, nullptr) << scLast_Error_Text;
    int r = scCall_Instance(s.inst, scGet_Symbol(s.inst, "f"));
    if (c.error) {
        EXPECT_EQ(scLast_Error, scerr_RUNTIME);
        EXPECT_TRUE(ztest::Contains(scLast_Error_Text, c.error)) << scLast_Error_Text;
        EXPECT_EQ(scGet_This(), nullptr);
    } else {
        EXPECT_EQ(scLast_Error, 0) << scLast_Error_Text;
        EXPECT_EQ(uint32_t(r), c.expected) << std::hex << uint32_t(r);
    }
    // The instance stays usable after a runtime error.
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_FREE);
}

INSTANTIATE_TEST_SUITE_P(Table, VcpuOps, ::testing::ValuesIn(kCases),
                         ztest::CaseName());

// A loop of `n` rounds, each adding 1 to global 0 and passing a marker.
ImageBuilder MarkerLoop(int rounds, bool cli) {
    return WithFunction([&](ImageBuilder& ib) {
        Asm& a = ib.a;
        a.Op0({opENTER});
        if (cli) a.Op0({opCLI});
        a.Op2(opMOV, R(2), I(rounds));
        uint32_t top = a.Label();
        a.Op2(opADD, Data(0), I(1));
        a.Word(scMarkerWord);
        a.Op2(opSUB, R(2), I(1));
        a.JCond(opJTRUE, R(2), top);
        if (cli) a.Op0({opSTI});
        a.Op0({opLEAVE, opRET});
    });
}

TEST(Vcpu, MarkersYieldAfterTheBudget) {
    Script s(MarkerLoop(10, false));
    int f = scGet_Symbol(s.inst, "f");
    ASSERT_EQ(scLaunch_Instance(s.inst, 3, f), 1);
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(s.Global(0), 3);
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(s.Global(0), 6);
    while (scGet_Instance_Status(s.inst) != scstatus_FREE) ASSERT_GE(scRun_Time_Slice(), 0);
    EXPECT_EQ(s.Global(0), 10);
}

TEST(Vcpu, BudgetZeroYieldsAtFirstMarkerAndNegativeNever) {
    Script s(MarkerLoop(10, false));
    int f = scGet_Symbol(s.inst, "f");
    ASSERT_EQ(scLaunch_Instance(s.inst, 0, f), 1);
    scRun_Time_Slice();
    EXPECT_EQ(s.Global(0), 1);
    scKill_Instance(s.inst);
    ASSERT_EQ(scLaunch_Instance(s.inst, -1, f), 1);
    scRun_Time_Slice();
    EXPECT_EQ(s.Global(0), 11);
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_FREE);
}

TEST(Vcpu, CliBlocksYieldingAtMarkers) {
    Script s(MarkerLoop(10, true));
    ASSERT_EQ(scLaunch_Instance(s.inst, 2, scGet_Symbol(s.inst, "f")), 1);
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(s.Global(0), 10);
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_FREE);
}

TEST(Vcpu, WaitYieldsInALaunchAndNotInASyncCall) {
    auto b = WithFunction([](ImageBuilder& ib) {
        Asm& a = ib.a;
        a.Op0({opENTER});
        a.Op2(opMOV, Data(0), I(1));
        a.Op0({opWAIT, opNOP, opNOP, opNOP});
        a.Op2(opMOV, Data(0), I(2));
        a.Op0({opCLI, opWAIT, opNOP, opNOP});  // WAIT yields inside CLI too
        a.Op2(opMOV, Data(0), I(3));
        a.Op0({opSTI, opLEAVE, opRET});
    });
    Script s(b);
    int f = scGet_Symbol(s.inst, "f");
    ASSERT_EQ(scLaunch_Instance(s.inst, 1, f), 1);
    scRun_Time_Slice();
    EXPECT_EQ(s.Global(0), 1);
    scRun_Time_Slice();
    EXPECT_EQ(s.Global(0), 2);
    scRun_Time_Slice();
    EXPECT_EQ(s.Global(0), 3);
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_FREE);
    scCall_Instance(s.inst, f);
    EXPECT_EQ(s.Global(0), 3);
    EXPECT_EQ(scLast_Error, 0);
}

TEST(Vcpu, RetAtTheMarkFinishesInsideCli) {
    auto b = WithFunction([](ImageBuilder& ib) {
        ib.a.Op0({opCLI, opCLI});
        ib.a.Op2(opMOV, R(0), I(9));
        ib.a.Op0({opRET});
    });
    Script s(b);
    EXPECT_EQ(scCall_Instance(s.inst, scGet_Symbol(s.inst, "f")), 9);
    EXPECT_EQ(scLast_Error, 0);
}

TEST(Vcpu, ParametersSitAboveTheFrame) {
    auto b = WithFunction([](ImageBuilder& ib) {
        ib.a.Op0({opENTER});
        ib.a.Op2(opMOV, R(0), Frame(8));
        ib.a.Op2(opSUB, R(0), Frame(12));
        ib.a.Op0({opLEAVE, opRET});
    }, 8);
    Script s(b);
    EXPECT_EQ(scCall_Instance(s.inst, scGet_Symbol(s.inst, "f"), 50, 8), 42);
    int params[2] = {10, 3};
    EXPECT_EQ(scVCall_Instance(s.inst, scGet_Symbol(s.inst, "f"), -1, params), 7);
}

int g_calls = 0;
void Count() { ++g_calls; }

TEST(Vcpu, CallexThroughAnEmptyDispatcher) {
    scRegister_Host_Symbol("vcpu_count", Count);
    auto b = WithFunction([](ImageBuilder& ib) {
        uint32_t slot = ib.Import("vcpu_count", 0);
        ib.a.Op2(opCALLEX, I(int32_t(slot)), I(int32_t(5u << scdescDISPATCHER_SHIFT)));
        ib.a.Op0({opRET});
    });
    Script s(b);
    g_calls = 0;
    scCall_Instance(s.inst, scGet_Symbol(s.inst, "f"));
    EXPECT_EQ(g_calls, 0);
    EXPECT_TRUE(ztest::Contains(scLast_Error_Text, "Undefined dispatcher (5) used!\n")) << scLast_Error_Text;
}

TEST(Vcpu, CallexThroughAVariableSlotFails) {
    scRegister_Host_Variable("vcpu_var", 4);
    auto b = WithFunction([](ImageBuilder& ib) {
        uint32_t slot = ib.Import("vcpu_var", -1);
        ib.a.Op2(opCALLEX, I(int32_t(slot)), I(0));
        ib.a.Op0({opRET});
    });
    Script s(b);
    ASSERT_NE(s.inst, nullptr);
    scCall_Instance(s.inst, scGet_Symbol(s.inst, "f"));
    EXPECT_EQ(scLast_Error, scerr_RUNTIME);
    EXPECT_TRUE(ztest::Contains(scLast_Error_Text, "not a host function")) << scLast_Error_Text;
}

}  // namespace
