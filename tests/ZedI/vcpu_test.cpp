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

// The CPU decodes each code word once, on first use, and runs common forms
// through handlers of their own: code reached inside another instruction,
// compares fused with the jump after them, and the IP and SP registers read
// and written as operands and through memory (register r lives at byte 4r of
// the 1024-byte register block, just below the data area).
const OpCase kDecodedCases[] = {
    {"jump into an immediate",
     [](Asm& a) {
         a.Op2(opMOV, R(2), I(5));
         a.Op2(opMOV, R(4), I(0));
         uint32_t add = opADD | uint32_t(scOp1Register | scOp2Register) << 8 | 2u << 24;  // ADD r0, r2
         uint32_t mov = a.Op2(opMOV, R(0), I(int32_t(add)));
         uint32_t done = a.JCond(opJTRUE, R(4), 0);
         a.Op2(opMOV, R(4), I(1));
         a.Op2(opMOV, R(0), I(100));
         a.Jmp(mov + 4);  // runs the immediate as ADD r0, r2, then the JTRUE
         a.PatchJCond(done, a.Here());
     }, 105, nullptr},
    {"compare and jump, the jump also reached alone",
     [](Asm& a) {
         a.Op2(opMOV, R(0), I(0));
         a.Op2(opMOV, R(2), I(1));
         uint32_t j = a.Jmp(0);
         uint32_t cmp = a.Op2(opCMPL, R(2), I(5));
         uint32_t jf = a.JCond(opJFALSE, R(2), 0);
         a.PatchJmp(j, jf);
         a.Op2(opADD, R(0), I(10));
         a.Op2(opMOV, R(2), I(7));
         a.Jmp(cmp);
         a.PatchJCond(jf, a.Here());
     }, 10, nullptr},
    {"unsigned compare and jump clear the flag",
     [](Asm& a) {
         a.Op2(opMOV, R(0), I(0));
         a.Op2(opMOV, R(2), I(-1));
         a.Op1(opOPTIONS, I(1));
         a.Op2(opCMPG, R(2), I(1));
         uint32_t jf = a.JCond(opJFALSE, R(2), 0);
         a.Op2(opMOV, R(0), R(regOPTIONS));
         a.Op2(opADD, R(0), I(10));
         a.PatchJCond(jf, a.Here());
     }, 10, nullptr},
    {"compare with memory and jump",
     [](Asm& a) {
         a.Op2(opMOV, Data(0), I(3));
         a.Op2(opMOV, R(0), I(1));
         a.Op2(opMOV, R(2), I(3));
         a.Op2(opCMPE, R(2), Data(0));
         uint32_t jt = a.JCond(opJTRUE, R(2), 0);
         a.Op2(opMOV, R(0), I(50));
         a.PatchJCond(jt, a.Here());
         a.Op2(opADD, R(0), R(2));
     }, 2, nullptr},
    {"compare with a bad address and jump",
     [](Asm& a) {
         a.Op2(opMOV, R(2), I(0));
         a.Op2(opCMPE, R(2), Data(1 << 20));
         a.JCond(opJTRUE, R(2), 0);
     }, 0, "Access violation"},
    {"move and operation, the operation also reached alone",
     [](Asm& a) {
         a.Op2(opMOV, R(2), I(100));
         uint32_t j = a.Jmp(0);
         a.Op2(opMOV, R(2), I(1));
         uint32_t add = a.Op2(opADD, R(2), I(10));
         a.PatchJmp(j, add);
         a.Op2(opMOV, R(0), R(2));
     }, 110, nullptr},
    {"move, compare and jump",
     [](Asm& a) {
         a.Op2(opMOV, Data(0), I(3));
         a.Op2(opMOV, R(0), I(0));
         uint32_t top = a.Label();
         a.Op2(opADD, R(0), I(1));
         a.Op2(opMOV, R(2), Data(0));
         a.Op2(opCMPG, R(2), R(0));
         a.JCond(opJTRUE, R(2), top);
         a.Op2(opMUL, R(0), I(10));
         a.Op2(opADD, R(0), R(2));
     }, 30, nullptr},
    {"move and operation see the IP after each", [](Asm& a) { a.Op2(opMOV, R(0), R(regIP)); a.Op2(opADD, R(0), R(regIP)); }, 28, nullptr},
    {"move and an operation on a bad address",
     [](Asm& a) { a.Op2(opMOV, R(2), I(5)); a.Op2(opADD, R(2), Data(1 << 20)); }, 0, "Access violation"},
    {"cmov into a register from itself", [](Asm& a) { a.Op2(opMOV, R(0), I(0x1234)); a.Op2(opCMOV, R(0), R(0)); }, 0, nullptr},
    {"cmov clears the base register of its source first",
     [](Asm& a) { a.Op2(opCMOV, R(regDATA), Data(4)); }, 0, "Access violation"},
    {"IP register as an operand", [](Asm& a) { a.Op2(opMOV, R(0), R(regIP)); }, 12, nullptr},
    {"IP register read through memory",
     [](Asm& a) {
         a.Op2(opMOV, R(3), R(regDATA));                   // at 8
         a.Op2(opSUB, R(3), I(1024 - 4 * regIP));          // at 12
         a.Op2(opMOV, R(0), MR(baseNONE, 3));              // at 20
     }, 24, nullptr},
    {"IP register written through memory",
     [](Asm& a) {
         a.Op2(opMOV, R(0), I(1));
         a.Op2(opMOV, R(3), R(regDATA));
         a.Op2(opSUB, R(3), I(1024 - 4 * regIP));
         uint32_t w = a.Op2(opMOV, MR(baseNONE, 3), I(0));
         a.Op2(opADD, R(0), I(100));
         a.Put(w + 4, a.Here());
         a.Op2(opADD, R(0), I(10));
     }, 11, nullptr},
    {"memory step into the IP register skips the jump after it",
     [](Asm& a) {
         a.Op2(opMOV, R(0), I(1));
         a.Op2(opADD, Data(-(1024 - 4 * regIP)), I(16));
         uint32_t j = a.Jmp(0);
         a.Op2(opADD, R(0), I(100));
         a.Op2(opADD, R(0), I(10));
         a.PatchJmp(j, a.Here());
     }, 11, nullptr},
    {"memory step and jump back",
     [](Asm& a) {
         a.Op2(opMOV, Data(0), I(0));
         a.Op2(opMOV, R(0), I(0));
         uint32_t top = a.Label();
         a.Op2(opADD, R(0), Data(0));
         a.Op2(opMOV, R(2), Data(0));
         a.Op2(opCMPNL, R(2), I(4));
         uint32_t out = a.JCond(opJTRUE, R(2), 0);
         a.Op2(opADD, Data(0), I(1));
         a.Jmp(top);
         a.PatchJCond(out, a.Here());
     }, 0 + 1 + 2 + 3 + 4, nullptr},
    {"SP register written through memory",
     [](Asm& a) {
         a.Op2(opMOV, R(3), R(regDATA));
         a.Op2(opSUB, R(3), I(1024 - 4 * regSP));
         a.Op2(opADD, MR(baseNONE, 3), I(100000));
     }, 0, "Access violation"},
    {"SP moved past the stack", [](Asm& a) { a.Op2(opADD, R(regSP), I(8)); }, 0, "Access violation"},
    {"pop past the stack", [](Asm& a) { a.Op1(opPOP, R(2)); a.Op1(opPOP, R(2)); }, 0, "Access violation"},
    {"push from a bad address", [](Asm& a) { a.Op1(opPUSH, Data(1 << 20)); }, 0, "Access violation"},
    {"calls until the stack is full",
     [](Asm& a) {
         uint32_t top = a.Label();
         a.Op1(opCALL, I(int32_t(top)));
     }, 0, "Stack overflow"},
    // The CPU keeps copies of the pool, data and frame registers: a write to
    // one, as a register or through memory, is seen by the next access.
    {"frame register moved as a register",
     [](Asm& a) {
         a.Op2(opMOV, Frame(-4), I(7));
         a.Op2(opSUB, R(regFRAME), I(8));
         a.Op2(opMOV, R(0), Frame(4));
         a.Op2(opADD, R(regFRAME), I(8));
     }, 7, nullptr},
    {"frame register moved through memory",
     [](Asm& a) {
         a.Op2(opMOV, Frame(-4), I(9));
         a.Op2(opMOV, R(3), R(regDATA));
         a.Op2(opSUB, R(3), I(1024 - 4 * regFRAME));
         a.Op2(opSUB, MR(baseNONE, 3), I(8));
         a.Op2(opMOV, R(0), Frame(4));
         a.Op2(opADD, MR(baseNONE, 3), I(8));
     }, 9, nullptr},
    {"data register moved through memory",
     [](Asm& a) {
         a.Op2(opMOV, Data(0), I(5));
         a.Op2(opMOV, Data(8), I(11));
         a.Op2(opMOV, R(3), R(regDATA));
         a.Op2(opSUB, R(3), I(1024 - 4 * regDATA));
         a.Op2(opADD, MR(baseNONE, 3), I(8));
         a.Op2(opMOV, R(0), Data(0));
         a.Op2(opSUB, MR(baseNONE, 3), I(8));
     }, 11, nullptr},
    // An array element's address and the access through it run as one entry;
    // an element in the register block goes the long way.
    {"element read of the IP register",
     [](Asm& a) {
         a.Op2(opMOV, R(2), I(1));                          // at 8
         a.Op2(opMUL, R(2), I(4));                          // at 16
         a.Op2(opMOV, R(3), I(-1024 + 4 * regIP - 4));      // at 24
         a.Op2(opADD, R(3), R(regDATA));                    // at 32
         a.Op2(opADD, R(3), R(2));                          // at 36
         a.Op2(opMOV, R(0), MR(baseNONE, 3));               // at 40
     }, 44, nullptr},
    {"element write into a register",
     [](Asm& a) {
         a.Op2(opMOV, R(2), I(0));
         a.Op2(opMUL, R(2), I(4));
         a.Op2(opMOV, R(3), I(-1024));
         a.Op2(opADD, R(3), R(regDATA));
         a.Op2(opADD, R(3), R(2));
         a.Op2(opMOV, MR(baseNONE, 3), I(77));
     }, 77, nullptr},
    {"element bytes written and read",
     [](Asm& a) {
         a.Op2(opMOV, Data(4), I(-1));
         a.Op2(opMOV, R(2), I(2));
         a.Op2(opMOV, R(3), I(4));
         a.Op2(opADD, R(3), R(regDATA));
         a.Op2(opADD, R(3), R(2));
         a.Op2(opCMOV, MR(baseNONE, 3), I(0x1234));         // byte 2 of data word 1
         a.Op2(opMOV, R(2), I(3));
         a.Op2(opMOV, R(4), I(4));
         a.Op2(opADD, R(4), R(regDATA));
         a.Op2(opADD, R(4), R(2));
         a.Op2(opCMOV, R(0), MR(baseNONE, 4));              // byte 3: 0xFF
         a.Op2(opSHL, R(0), I(8));
         a.Op2(opADD, R(0), Data(4));
     }, 0xFF00u + 0xFF34FFFFu, nullptr},
    {"element past the data", [](Asm& a) {
         a.Op2(opMOV, R(2), I(1 << 20));
         a.Op2(opMUL, R(2), I(4));
         a.Op2(opMOV, R(3), I(0));
         a.Op2(opADD, R(3), R(regDATA));
         a.Op2(opADD, R(3), R(2));
         a.Op2(opMOV, R(0), MR(baseNONE, 3));
     }, 0, "Access violation"},
    {"move and an operation added into memory", [](Asm& a) {
         a.Op2(opMOV, Data(0), I(100));
         a.Op2(opMOV, R(2), I(3));
         a.Op2(opADD, R(2), I(4));
         a.Op2(opADD, Data(0), R(2));
         a.Op2(opMOV, R(0), Data(0));
     }, 107, nullptr},
    {"move and an operation added into a bad address", [](Asm& a) {
         a.Op2(opMOV, R(2), I(3));
         a.Op2(opADD, R(2), I(4));
         a.Op2(opADD, Data(1 << 20), R(2));
     }, 0, "Access violation"},
    // f(n) = n ? n + f(n - 1) : 0, its argument computed, pushed and the call
    // made as one step.
    {"move, operation, push and a call", [](Asm& a) {
         uint32_t over = a.Jmp(0);
         uint32_t f = a.Label();
         a.Op0({opENTER});
         a.Op2(opMOV, R(2), Frame(8));
         a.Op2(opCMPE, R(2), I(0));
         uint32_t base = a.JCond(opJTRUE, R(2), 0);
         a.Op2(opMOV, R(2), Frame(8));
         a.Op2(opSUB, R(2), I(1));
         a.Op1(opPUSH, R(2));
         a.Op1(opCALL, I(int32_t(f)));
         a.Op2(opADD, R(regSP), I(4));
         a.Op2(opADD, R(0), Frame(8));
         a.Op0({opLEAVE, opRET});
         a.PatchJCond(base, a.Label());
         a.Op2(opMOV, R(0), I(0));
         a.Op0({opLEAVE, opRET});
         a.PatchJmp(over, a.Label());
         a.Op1(opPUSH, I(30));
         a.Op1(opCALL, I(int32_t(f)));
         a.Op2(opADD, R(regSP), I(4));
     }, 30 * 31 / 2, nullptr},
    {"move, operation, push and a call until the stack is full", [](Asm& a) {
         uint32_t over = a.Jmp(0);
         uint32_t f = a.Label();
         a.Op0({opENTER});
         a.Op2(opMOV, R(2), Frame(8));
         a.Op2(opSUB, R(2), I(1));
         a.Op1(opPUSH, R(2));
         a.Op1(opCALL, I(int32_t(f)));
         a.Op0({opLEAVE, opRET});
         a.PatchJmp(over, a.Label());
         a.Op1(opPUSH, I(5));
         a.Op1(opCALL, I(int32_t(f)));
     }, 0, "Stack overflow"},
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
INSTANTIATE_TEST_SUITE_P(Decoded, VcpuOps, ::testing::ValuesIn(kDecodedCases),
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

// Without a budget to yield by, WAIT does nothing: the rest of its word runs.
TEST(Vcpu, WaitWithoutABudgetRunsTheRestOfItsWord) {
    auto b = WithFunction([](ImageBuilder& ib) {
        Asm& a = ib.a;
        a.Op0({opENTER});
        a.Op2(opMOV, R(0), I(9));
        a.Op0({opWAIT, opLEAVE, opRET});
        a.Op2(opMOV, R(0), I(5));
        a.Op0({opLEAVE, opRET});
    });
    Script s(b);
    const int f = scGet_Symbol(s.inst, "f");
    EXPECT_EQ(scCall_Instance(s.inst, f), 9);  // a run to the end: budget -1
    ASSERT_EQ(scLaunch_Instance(s.inst, 0, f), 1);
    EXPECT_EQ(scRun_Time_Slice(), 1);
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_FREE);  // finished in its first pass
    EXPECT_EQ(s.Reg(regRESULT), 9u);
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

// The IP register is written before a host function or the host can see it:
// at a host call and at a yield.
uint32_t g_seenIp = 0;
void SeeIp() { g_seenIp = scGet_This()->Regs()[regIP]; }

TEST(Vcpu, HostSeesTheInstructionPointer) {
    scRegister_Host_Symbol("vcpu_see_ip", SeeIp);
    uint32_t afterCall = 0, afterMarker = 0;
    auto b = WithFunction([&](ImageBuilder& ib) {
        uint32_t slot = ib.Import("vcpu_see_ip", 0);
        ib.a.Op0({opENTER});
        ib.a.Op2(opMOV, R(2), I(1));
        ib.a.Op2(opCALLEX, I(int32_t(slot)), I(int32_t(scdescDROP_RESULT)));
        afterCall = ib.a.Here();
        ib.a.Op2(opADD, R(2), I(1));
        ib.a.Word(scMarkerWord);
        afterMarker = ib.a.Here();
        ib.a.Op2(opADD, R(2), I(1));
        ib.a.Op0({opLEAVE, opRET});
    });
    Script s(b);
    ASSERT_NE(s.inst, nullptr) << scLast_Error_Text;
    ASSERT_EQ(scLaunch_Instance(s.inst, 1, scGet_Symbol(s.inst, "f")), 1);
    g_seenIp = 0;
    scRun_Time_Slice();
    EXPECT_EQ(g_seenIp, afterCall);
    EXPECT_EQ(s.Reg(regIP), afterMarker);
    EXPECT_EQ(s.Reg(2), 2u);
    scRun_Time_Slice();
    EXPECT_EQ(scGet_Instance_Status(s.inst), scstatus_FREE);
}

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

namespace {

// Code that ends inside an instruction: the error names the address of the
// missing immediate, on the first run and on a later one that finds the words
// already decoded.
struct EndCase {
    const char* name;
    std::function<void(Asm&)> tail;  // the last words of the code
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

const EndCase kEndCases[] = {
    {"immediate past the end", [](Asm& a) { a.Word(opMOV | uint32_t(scOp1Register) << 8); }},
    {"jump after a compare past the end",
     [](Asm& a) {
         a.Op2(opCMPL, R(2), I(5));
         a.Word(opJFALSE | uint32_t(scOp1Register) << 8 | 2u << 16);
     }},
    {"double immediate cut in half", [](Asm& a) { a.Word(opDMOV | uint32_t(scOp1Register) << 8); a.Word(0); }},
};

class VcpuCodeEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(VcpuCodeEnd, ReportsTheMissingWord) {
    ImageBuilder b;
    b.a.Op0({opRET});
    b.a.Align();
    b.Export("f", int32_t(b.a.Here()), 0);
    b.a.Op2(opMOV, R(2), I(1));
    GetParam().tail(b.a);
    std::string expected = "Invalid code address " + std::to_string(b.a.Here());
    Script s(b);
    ASSERT_NE(s.inst, nullptr) << scLast_Error_Text;
    for (int run = 0; run < 2; ++run) {
        scCall_Instance(s.inst, scGet_Symbol(s.inst, "f"));
        EXPECT_EQ(scLast_Error, scerr_RUNTIME);
        EXPECT_TRUE(ztest::Contains(scLast_Error_Text, expected)) << scLast_Error_Text;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, VcpuCodeEnd, ::testing::ValuesIn(kEndCases), ztest::CaseName());

// A RET may leave SP a word past the stack without an error when the block has
// room after the stack; the next instruction that checks SP reports it.
struct SpCase {
    const char* name;
    std::function<void(Asm&)> atZero;  // code at address 0, ending in RET
};

void PrintTo(const SpCase& c, std::ostream* os) { *os << c.name; }

const SpCase kSpCases[] = {
    {"move", [](Asm& a) { a.Op2(opMOV, R(2), I(1)); }},
    {"compare and jump", [](Asm& a) { a.Op2(opCMPL, R(2), I(5)); a.JCond(opJTRUE, R(2), a.Here() + 8); }},
    {"jump then move", [](Asm& a) { a.Jmp(a.Here() + 8); a.Op2(opMOV, R(2), I(1)); }},
};

class VcpuSpPastTheStack : public ::testing::TestWithParam<SpCase> {};

TEST_P(VcpuSpPastTheStack, IsReportedByTheNextCheck) {
    ImageBuilder b;
    b.dataSize = 64;
    b.stackSize = 4004;  // the block is rounded up to 16 bytes: 12 bytes after the stack
    GetParam().atZero(b.a);  // also the initialisation routine
    b.a.Op0({opRET});
    b.a.Align();
    b.Export("f", int32_t(b.a.Here()), 0);
    b.a.Op2(opMOV, R(regRETURN_MARK), I(0));
    b.a.Op0({opRET});  // pops the zero after the stack: SP 4008, IP 0
    Script s(b);
    ASSERT_NE(s.inst, nullptr) << scLast_Error_Text;
    scCall_Instance(s.inst, scGet_Symbol(s.inst, "f"));
    EXPECT_EQ(scLast_Error, scerr_RUNTIME);
    EXPECT_TRUE(ztest::Contains(scLast_Error_Text, "Access violation")) << scLast_Error_Text;
    EXPECT_EQ(s.Reg(regSP), 4008u);
}

INSTANTIATE_TEST_SUITE_P(Table, VcpuSpPastTheStack, ::testing::ValuesIn(kSpCases), ztest::CaseName());

// The CPU runs the image as it was loaded: a script that writes over its code's
// copy in script memory (reachable from the pool) changes the copy only.
TEST(Vcpu, WritesToTheCodeCopyChangeNothing) {
    auto b = WithFunction([](ImageBuilder& ib) {
        Asm& a = ib.a;
        a.Op0({opENTER});
        a.Op2(opMOV, R(0), I(0));                       // at 8
        a.Op2(opMOV, R(4), I(2));                       // at 16
        uint32_t loop = a.Label();
        a.Op2(opMOV, R(3), R(regPOOL));                 // at 24
        a.Op2(opADD, R(3), I(0));                       // at 28, patched: pool to the ADD at 44
        a.Op2(opMOV, MR(baseNONE, 3), I(0x3D3D3D3D));   // at 36: NOP NOP NOP NOP over it
        a.Op2(opADD, R(0), I(1));                       // at 44
        a.Op2(opSUB, R(4), I(1));
        a.JCond(opJTRUE, R(4), loop);
        a.Op2(opMOV, R(2), MR(baseNONE, 3));
        a.Op2(opCMPE, R(2), I(0x3D3D3D3D));
        a.Op2(opADD, R(0), R(2));
        a.Op0({opLEAVE, opRET});
    });
    std::vector<uint8_t> bytes = b.Build();
    uint32_t code = zedi::ImageWord(bytes.data(), zedi::hdrCode);
    uint32_t pool = zedi::ImageWord(bytes.data(), zedi::hdrPool);
    ASSERT_EQ(bytes[code + 44], opADD);
    uint32_t offset = code + 44 - pool;
    std::memcpy(&bytes[code + 32], &offset, 4);
    zasm::ScriptBlock block(bytes);
    scInstance* inst = scCreate_Instance(block, "");
    ASSERT_NE(inst, nullptr) << scLast_Error_Text;
    // Both rounds add 1, and the copy holds the NOPs.
    EXPECT_EQ(scCall_Instance(inst, scGet_Symbol(inst, "f")), 3);
    EXPECT_EQ(scLast_Error, 0) << scLast_Error_Text;
    scFree_Instance(inst);
}

}  // namespace

namespace {

// A move fused with the operation after it: when the operation fails, the move
// has been made, as when each runs alone.
TEST(Vcpu, FusedMoveStaysDoneWhenTheNextInstructionFails) {
    auto b = WithFunction([](ImageBuilder& ib) {
        ib.a.Op2(opMOV, R(2), I(5));
        ib.a.Op2(opCMPL, R(2), Data(1 << 20));
        ib.a.JCond(opJTRUE, R(2), 0);
        ib.a.Op0({opRET});
    });
    Script s(b);
    scCall_Instance(s.inst, scGet_Symbol(s.inst, "f"));
    EXPECT_TRUE(ztest::Contains(scLast_Error_Text, "Access violation")) << scLast_Error_Text;
    EXPECT_EQ(s.Reg(2), 5u);
    EXPECT_EQ(s.Reg(regIP), 4u + 8 + 8);  // after the compare
}

}  // namespace
