// The virtual CPU's instruction set: opcodes, the opcode table, registers and the
// host-call descriptor. Shared by the CPU, the code generator and the tools.
#pragma once

#include <cstdint>

enum scOpcode : uint8_t {
    opNAO, opPUSH, opPUSHADR, opDPUSH, opPOP, opNEG, opDNEG, opNOT, opOPTIONS, opJMP,
    opCALL, opMOV, opXCHG, opCALLEX, opCOPY, opADD, opSUB, opMUL, opDIV, opCMPE,
    opCMPG, opCMPL, opCMPNG, opCMPNL, opMOD, opAND, opOR, opXOR, opANDL, opORL,
    opSHL, opSHR, opJTRUE, opJFALSE, opDADD, opDSUB, opDMUL, opDDIV, opDCMPE, opDCMPG,
    opDCMPL, opDCMPNG, opDCMPNL, opFIXMUL, opFIXDIV, opCMOV, opWMOV, opDMOV, opIDBL, opDINT,
    opFDBL, opDFLT, opDFIX, opFIXDBL, opFORK, opRET, opWAIT, opCLI, opSTI, opENTER,
    opLEAVE, opNOP,
    opCOUNT
};

struct scOpcodeInfo {
    const char* name;
    int operands;
};

// {name, operand count} in opcode order.
inline constexpr scOpcodeInfo scOpcodes[opCOUNT] = {
    {"NAO", 0},    {"PUSH", 1},   {"PUSHADR", 1}, {"DPUSH", 1},  {"POP", 1},
    {"NEG", 1},    {"DNEG", 1},   {"NOT", 1},     {"OPTIONS", 1}, {"JMP", 1},
    {"CALL", 1},   {"MOV", 2},    {"XCHG", 2},    {"CALLEX", 2}, {"COPY", 2},
    {"ADD", 2},    {"SUB", 2},    {"MUL", 2},     {"DIV", 2},    {"CMPE", 2},
    {"CMPG", 2},   {"CMPL", 2},   {"CMPNG", 2},   {"CMPNL", 2},  {"MOD", 2},
    {"AND", 2},    {"OR", 2},     {"XOR", 2},     {"ANDL", 2},   {"ORL", 2},
    {"SHL", 2},    {"SHR", 2},    {"JTRUE", 2},   {"JFALSE", 2}, {"DADD", 2},
    {"DSUB", 2},   {"DMUL", 2},   {"DDIV", 2},    {"DCMPE", 2},  {"DCMPG", 2},
    {"DCMPL", 2},  {"DCMPNG", 2}, {"DCMPNL", 2},  {"FIXMUL", 2}, {"FIXDIV", 2},
    {"CMOV", 2},   {"WMOV", 2},   {"DMOV", 2},    {"IDBL", 2},   {"DINT", 2},
    {"FDBL", 2},   {"DFLT", 2},   {"DFIX", 2},    {"FIXDBL", 2}, {"FORK", 2},
    {"RET", 0},    {"WAIT", 0},   {"CLI", 0},     {"STI", 0},    {"ENTER", 0},
    {"LEAVE", 0},  {"NOP", 0},
};

constexpr int scFirstTwoOperand = opMOV;      // 11
constexpr int scFirstNoOperand = opRET;       // 55

// Opcodes whose immediate is a double (two words, low first): the only operand
// of DPUSH and DNEG, operand 2 of the others.
constexpr bool scTakesDoubleImmediate(int op) {
    return op == opDPUSH || op == opDNEG || (op >= opDADD && op <= opDCMPNL) ||
           op == opDMOV || op == opDFIX;
}

// Marker word after statements when preemption is on.
constexpr uint32_t scMarkerWord = 0x12345600;

// Operand encoding.
constexpr uint8_t scOp1Memory = 0x40, scOp2Memory = 0x80;  // byte 0 of two-operand words
constexpr uint8_t scOneMemory = 0x01, scOneRegister = 0x02; // byte 1 of one-operand words
constexpr uint8_t scOp1Register = 0x01, scOp2Register = 0x10; // byte 1 of two-operand words

// The operand fields of an instruction word (immediates follow the word).
struct scOperandBits {
    bool mem = false, reg = false;
    uint8_t regNo = 0, base = 0;
};

// Decodes the operand fields of the word `w` of opcode `op` (0-54).
inline void scDecodeOperands(uint32_t w, int op, scOperandBits& a, scOperandBits& b) {
    uint8_t b0 = uint8_t(w), b1 = uint8_t(w >> 8), b2 = uint8_t(w >> 16), b3 = uint8_t(w >> 24);
    if (op < scFirstTwoOperand) {
        a.mem = b1 & scOneMemory;
        a.reg = b1 & scOneRegister;
        a.regNo = b2;
        a.base = (b1 >> 2) & 3;
        return;
    }
    a.mem = b0 & scOp1Memory;
    b.mem = b0 & scOp2Memory;
    a.reg = b1 & scOp1Register;
    a.regNo = b2;
    a.base = (b1 >> 1) & 3;
    b.reg = b1 & scOp2Register;
    b.regNo = b3;
    b.base = (b1 >> 5) & 3;
}

// Operand bases.
enum : uint8_t { baseNONE = 0, basePOOL = 1, baseDATA = 2, baseFRAME = 3 };

// Registers.
enum : int {
    regRESULT = 0,
    regRESULT_HIGH = 1,
    regCODE = 240,
    regDATA = 241,
    regPOOL = 242,
    regSTACK = 243,
    regIP = 244,
    regSP = 245,
    regFRAME = 246,
    regCOUNT = 247,
    regRETURN_MARK = 248,
    regCLI = 249,
    regOPTIONS = 251,
};
constexpr uint32_t scRegisterBlockSize = 1024;

// Host-call descriptor (operand 2 of CALLEX).
constexpr uint32_t scdescBYTES = 0x0000FFFF;
constexpr uint32_t scdescDROP_RESULT = 0x00200000;
constexpr int scdescKIND_SHIFT = 22;
constexpr uint32_t scdescKIND = 0x01C00000;
constexpr uint32_t scdescSCRIPT_OBJECT = 0x02000000;
constexpr uint32_t scdescDOUBLE = 0x04000000;
constexpr uint32_t scdescMEMBER = 0x08000000;
constexpr int scdescDISPATCHER_SHIFT = 28;
