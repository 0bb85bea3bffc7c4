#include "Vcpu.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Engine.h"
#include "HostCall.h"
#include "Instance.h"
#include "IntArith.h"
#include "VcpuOps.h"
#include "VmSpace.h"

namespace zedi {

// The translated form of the instruction that starts at one code word. Every
// word address gets its own entry, so code reached by a computed jump into the
// immediates of another instruction translates as what it is from there. An
// entry may stand for a run of instructions (see Cpu::Decode); `words` is the
// length of the whole run, so the next entry is `words` entries on.
struct DecodedInsn {
    const void* label;      // the handler's address in Cpu::Run
    uint16_t handler;       // the handler's number (hNONE: not translated yet)
    uint8_t words;          // length in words with the immediates
    uint8_t ra, rb;         // register numbers of operands 1 and 2
    uint8_t baseA, baseB;   // base of a memory operand: 0 none, 1 pool, 2 data, 3 frame
    uint8_t aux, aux2;      // runs of instructions: see Cpu::Decode
    uint8_t op, fa, fb;     // opcode and operand forms as decoded
    uint32_t ia, ib;        // immediates of operands 1 and 2 (the word itself for
                            // a zero-operand word)
    uint32_t ic;            // runs of instructions: see Cpu::Decode
    uint32_t target;        // a jump's target as an entry index
    uint32_t at;            // the code address of the entry's word
    union {
        const DecodedInsn* to;  // a jump's target entry, set when the entry is installed
        struct {
            uint32_t id, ie;    // runs of instructions that do not jump: see Cpu::Decode
        };
    };
};

// The translated code of an image, one entry per word and one after the last,
// made on the image's first run. Entries are translated as the CPU first
// reaches them. The code bytes never change after loading, so an entry stays
// valid for the image's life.
struct DecodedCode {
    DecodedInsn* table = nullptr;
    uint32_t words = 0;
    bool ready = false;  // the entries point at the translator
};

void FreeDecodedCode(DecodedCode* code) {
    if (!code) return;
    std::free(code->table);
    delete code;
}

namespace {
bool g_longWay = false;
VcpuTrace g_trace = nullptr;
}  // namespace

void SetVcpuLongWay(bool on) { g_longWay = on; }
bool VcpuLongWay() { return g_longWay; }
void SetVcpuTrace(VcpuTrace trace) { g_trace = trace; }

}  // namespace zedi

namespace {

using zedi::VmSpace;

double LoadDouble(const uint8_t* p) {
    double d;
    std::memcpy(&d, p, 8);
    return d;
}
void StoreDouble(uint8_t* p, double d) { std::memcpy(p, &d, 8); }

// Sizes of the memory each operand reads or writes, by opcode.
struct OperandSizes {
    uint8_t a, b;
};
constexpr OperandSizes SizesOfOp(int op) {
    switch (op) {
    case opPUSHADR: return {0, 0};
    case opDPUSH:
    case opDNEG: return {8, 0};
    case opDADD: case opDSUB: case opDMUL: case opDDIV:
    case opDCMPE: case opDCMPG: case opDCMPL: case opDCMPNG: case opDCMPNL:
    case opDMOV: return {8, 8};
    case opCMOV: return {1, 1};
    case opWMOV: return {2, 2};
    case opIDBL: case opFDBL: case opFIXDBL: return {8, 4};
    case opDINT: case opDFLT: case opDFIX: return {4, 8};
    default: return {4, 4};
    }
}

// SizesOfOp as a table, for the interpreter loop.
struct SizeTable {
    OperandSizes s[opCOUNT];
    constexpr SizeTable() : s{} {
        for (int i = 0; i < opCOUNT; ++i) s[i] = SizesOfOp(i);
    }
};
inline constexpr SizeTable kSizes{};
inline OperandSizes SizesOf(int op) { return kSizes.s[op]; }

struct Operand : scOperandBits {
    uint32_t imm = 0, immHigh = 0;
};

// ---- Translated code ----
//
// Run() executes each code word through its translated entry. The common forms
// (integer operations on registers, immediates and memory at a base plus an
// immediate or at a register, jumps, calls, pushes and pops) and the runs of
// instructions the compiler emits most (see Cpu::Decode) have handlers of their
// own; every other instruction, and every case a handler does not take on (a
// failed access check, a division by zero, a stack pointer out of the stack, an
// access to the register block), goes the long way through Step(), which then
// produces exactly the result or the error it always did. A handler changes
// nothing before it knows it will complete, so Step() starts from the same state.
//
// What the handlers keep outside memory, and when memory catches up:
// - The instruction pointer is the current entry. Register 244 is written
//   before anything can read it: before the long way, a host call, a yield, the
//   end of the run. No handler reads or writes the register block through
//   memory (such an access goes the long way) and none takes register 244 as an
//   operand, so a script never sees it stale.
// - The pool, data, stack and frame bases are copies of registers 242, 241,
//   243 and 246, read again after the long way and a host call, the frame also
//   at ENTER and LEAVE: the only places they can change, as no handler writes
//   registers 240 to 246 but SP and, in ENTER and LEAVE, the frame.

// Operand forms of decoded instructions.
enum Form : int {
    fREG,    // a register
    fIMM,    // an immediate
    fMEMI,   // memory at an immediate plus the pool, data or frame base
    fMEMR,   // memory at the address in a register
    fOTHER,  // import slots, register plus base: the long way
};
constexpr int kSourceForms = 4;  // fREG to fMEMR
constexpr int kDestForms = 3;    // fREG, fMEMI, fMEMR
constexpr int DestIndex(int form) { return form == fREG ? 0 : form - 1; }

// The two-operand integer operations with handlers.
#define ZEDI_BIN_OPS(X) \
    X(MOV) X(ADD) X(SUB) X(MUL) X(DIV) X(MOD) X(AND) X(OR) X(XOR) X(SHL) X(SHR) \
    X(CMPE) X(CMPG) X(CMPL) X(CMPNG) X(CMPNL) X(ANDL) X(ORL) X(CMOV)

// The operand forms with handlers, destination first, in handler order.
#define ZEDI_BIN_FORMS(X, n)                                                    \
    X(n, fREG, fREG) X(n, fREG, fIMM) X(n, fREG, fMEMI) X(n, fREG, fMEMR)       \
    X(n, fMEMI, fREG) X(n, fMEMI, fIMM) X(n, fMEMI, fMEMI) X(n, fMEMI, fMEMR)   \
    X(n, fMEMR, fREG) X(n, fMEMR, fIMM) X(n, fMEMR, fMEMI) X(n, fMEMR, fMEMR)

// Position of each opcode in a list of opcodes, -1 for the others.
struct OpIndex {
    int8_t of[opCOUNT];
    template <size_t N>
    constexpr explicit OpIndex(const int (&ops)[N]) : of{} {
        for (int i = 0; i < opCOUNT; ++i) of[i] = -1;
        for (size_t k = 0; k < N; ++k) of[ops[k]] = int8_t(k);
    }
};
#define ZEDI_OP_ITEM(n) op##n,
inline constexpr int kBinOps[] = {ZEDI_BIN_OPS(ZEDI_OP_ITEM)};
inline constexpr OpIndex kBins{kBinOps};
constexpr int binCOUNT = int(sizeof kBinOps / sizeof kBinOps[0]);

// Handler numbers of decoded entries.
enum : uint16_t {
    hNONE,     // not translated yet
    hEND,      // the entry after the last word
    hGENERIC,  // the long way
    hMARKER,
    hZERO,     // a word of zero-operand opcodes
    hENTER,    // ENTER NOP NOP NOP
    hLEAVE_RET,  // LEAVE RET, whatever follows (RET ends the word)
    hJMP,      // JMP imm
    hJTRUE,    // JTRUE reg, imm
    hJFALSE,   // JFALSE reg, imm
    hCALL,     // CALL imm
    hPUSH_R,
    hPUSH_I,
    hPUSH_M,   // PUSH [imm + base]
    hPOP_R,
    hSP_ADD,   // ADD or SUB SP, imm
    hCALLEX,   // CALLEX imm, imm
    hBIN,      // first of the two-operand handlers
};
constexpr uint16_t BinHandler(int bin, int fa, int fb) {
    return uint16_t(hBIN + (bin * kDestForms + DestIndex(fa)) * kSourceForms + fb);
}
// A compare into a register followed by a conditional jump on that register:
// one entry, one dispatch. Operand 2 of the compare is a register, an immediate
// or memory at an immediate plus a base.
#define ZEDI_CMP_OPS(X) X(CMPE) X(CMPG) X(CMPL) X(CMPNG) X(CMPNL)
#define ZEDI_CMPJ_FORMS(X, n) X(n, fREG) X(n, fIMM) X(n, fMEMI)
constexpr int kCmpJumpForms = 3;
constexpr uint16_t hCMPJ = hBIN + binCOUNT * kDestForms * kSourceForms;
constexpr uint16_t CmpJumpHandler(int op, int fb) {
    return uint16_t(hCMPJ + (op - opCMPE) * kCmpJumpForms + fb);
}
// A move into a register and an operation on it, and a conditional jump on the
// result after a compare: one entry, one dispatch.
#define ZEDI_PAIR_OPS(X) \
    X(ADD) X(SUB) X(MUL) X(AND) X(OR) X(XOR) X(SHL) X(CMPE) X(CMPG) X(CMPL) X(CMPNG) X(CMPNL)
#define ZEDI_PAIR_FORMS(X, n) \
    X(n, fREG, fREG) X(n, fREG, fIMM) X(n, fREG, fMEMI) X(n, fREG, fMEMR)       \
    X(n, fIMM, fREG) X(n, fIMM, fIMM) X(n, fIMM, fMEMI) X(n, fIMM, fMEMR)       \
    X(n, fMEMI, fREG) X(n, fMEMI, fIMM) X(n, fMEMI, fMEMI) X(n, fMEMI, fMEMR)   \
    X(n, fMEMR, fREG) X(n, fMEMR, fIMM) X(n, fMEMR, fMEMI) X(n, fMEMR, fMEMR)
inline constexpr int kPairOps[] = {ZEDI_PAIR_OPS(ZEDI_OP_ITEM)};
inline constexpr OpIndex kPairs{kPairOps};
constexpr int pairCOUNT = int(sizeof kPairOps / sizeof kPairOps[0]);
#undef ZEDI_OP_ITEM
constexpr uint16_t hPAIR = hCMPJ + 5 * kCmpJumpForms;
constexpr uint16_t PairHandler(int pair, int f1, int f2) {
    return uint16_t(hPAIR + (pair * kSourceForms + f1) * kSourceForms + f2);
}
constexpr uint16_t hTRIPLE = hPAIR + pairCOUNT * kSourceForms * kSourceForms;
constexpr uint16_t TripleHandler(int op, int f1, int f2) {
    return uint16_t(hTRIPLE + ((op - opCMPE) * kSourceForms + f1) * kSourceForms + f2);
}
// Adding to or subtracting from a memory word, then a JMP (the end of a loop).
constexpr uint16_t hSTEP_JMP = hTRIPLE + 5 * kSourceForms * kSourceForms;
#define ZEDI_STEP_JMPS(X) X(ADD, fREG) X(ADD, fIMM) X(SUB, fREG) X(SUB, fIMM)
constexpr uint16_t StepJmpHandler(int op, int fb) {
    return uint16_t(hSTEP_JMP + (op == opSUB ? 2 : 0) + (fb == fIMM ? 1 : 0));
}
// The address of an array element, and the access through it (see Decode).
constexpr int pNONE = -1;   // no scaled index computed first
constexpr int pSCALE = 4;   // the index scaled in its register: MUL i, imm
constexpr int pAFFINE = 5;  // MOV i, [m1]; MUL i, [m2]; ADD i, [m3]; MUL i, imm (a row times a width plus a column)
enum Access : int { aNONE, aLOADW, aLOADB, aSTOREW_R, aSTOREW_I, aSTOREB_R, aSTOREB_I };
constexpr int kAccesses = 7;
#define ZEDI_ELEM_PREFIXES(X, a) X(pNONE, a) X(fREG, a) X(fIMM, a) X(fMEMI, a) X(fMEMR, a) X(pSCALE, a) X(pAFFINE, a)
#define ZEDI_ELEM_ACCESSES(X) X(aNONE) X(aLOADW) X(aLOADB) X(aSTOREW_R) X(aSTOREW_I) X(aSTOREB_R) X(aSTOREB_I)
constexpr uint16_t hELEM = hSTEP_JMP + 4;
constexpr uint16_t ElemHandler(int prefix, int access) { return uint16_t(hELEM + (prefix + 1) * kAccesses + access); }
// A move and an operation whose result is then pushed (and a function called
// with it), stored into memory at a base plus an immediate, added to memory
// there, or added to by an immediate or memory at a base plus an immediate
// (see Decode).
#define ZEDI_TAIL_OPS(X) X(ADD) X(SUB) X(MUL) X(AND) X(OR) X(XOR) X(SHL)
#define ZEDI_TAIL_FORMS(X, n, T) \
    X(n, fREG, fREG, T) X(n, fREG, fIMM, T) X(n, fREG, fMEMI, T) X(n, fMEMI, fREG, T) X(n, fMEMI, fIMM, T) \
    X(n, fMEMI, fMEMI, T) X(n, fMEMR, fMEMR, T)
constexpr int kTailForms = 7;
constexpr int TailFormIndex(int f1, int f2) {
    if (f1 == fMEMR && f2 == fMEMR) return 6;  // two elements (a product of two arrays' elements)
    return f2 > fMEMI ? -1 : f1 == fREG ? f2 : f1 == fMEMI ? 3 + f2 : -1;
}
#define ZEDI_OP_ITEM(n) op##n,
inline constexpr int kTailOps[] = {ZEDI_TAIL_OPS(ZEDI_OP_ITEM)};
#undef ZEDI_OP_ITEM
inline constexpr OpIndex kTails{kTailOps};
constexpr int tailCOUNT = int(sizeof kTailOps / sizeof kTailOps[0]);
enum Tail : int { tPUSH, tSTORE, tADDI, tADDM, tADDTO, tPUSHCALL, tADDI_ADDTO };
constexpr int kTailKinds = 7;
constexpr uint16_t hPAIR_TAIL = hELEM + 7 * kAccesses;
constexpr uint16_t PairTailHandler(int tail, int op, int f1, int f2) {
    return uint16_t(hPAIR_TAIL + (tail * tailCOUNT + kTails.of[op]) * kTailForms + TailFormIndex(f1, f2));
}
constexpr uint16_t hMOV_PUSH = hPAIR_TAIL + kTailKinds * tailCOUNT * kTailForms;  // + the source's form
constexpr uint16_t hMOV_RET = hMOV_PUSH + kSourceForms;                  // + fREG, fIMM or fMEMI
constexpr uint16_t hCALL_ENTER = hMOV_RET + 3;
constexpr uint16_t hSP_ADD_MOV = hCALL_ENTER + 1;
constexpr uint16_t hSP_ADD_MOV_PUSH = hSP_ADD_MOV + 1;
// A pop into a register and an operation on it with a register, an immediate
// or memory at a base plus an immediate.
#define ZEDI_POP_OP_FORMS(X, n) X(n, fREG) X(n, fIMM) X(n, fMEMI)
constexpr uint16_t hPOP_OP = hSP_ADD_MOV_PUSH + 1;
constexpr uint16_t PopOpHandler(int op, int f2) { return uint16_t(hPOP_OP + kTails.of[op] * 3 + f2); }
// Dropping a call's arguments and taking its result, then combining it with a
// value saved on the stack before the call: ADD SP, imm; MOV r, r2; POP p;
// OP p, q (q a register), and with RET then MOV r3, p; LEAVE RET (the result
// of `return f(x) op g(y)`).
constexpr uint16_t hSP_MOV_POP_OP = hPOP_OP + tailCOUNT * 3;
constexpr uint16_t SpMovPopOpHandler(int op, bool ret) { return uint16_t(hSP_MOV_POP_OP + kTails.of[op] * 2 + ret); }
// The end of a loop: adding to a memory word and the JMP back (a register or
// an immediate added), then at the jump's target the loop's test, MOV r, [m];
// CMPx r, s; Jcc r (s an immediate or memory at a base plus an immediate). When
// m is the word the step added to (SAME), its new value is not read again.
#define ZEDI_LOOP_FORMS(X, n) \
    X(n, fREG, fIMM, 0) X(n, fREG, fMEMI, 0) X(n, fIMM, fIMM, 0) X(n, fIMM, fMEMI, 0) \
    X(n, fREG, fIMM, 1) X(n, fREG, fMEMI, 1) X(n, fIMM, fIMM, 1) X(n, fIMM, fMEMI, 1)
constexpr uint16_t hLOOP = hSP_MOV_POP_OP + tailCOUNT * 2;
constexpr uint16_t LoopHandler(int cmp, int step, int f2, bool same) {
    return uint16_t(hLOOP + (((cmp - opCMPE) * 2 + same) * 2 + (step == fIMM)) * 2 + (f2 == fMEMI));
}
constexpr uint16_t kHandlers = hLOOP + 5 * 8;
// The handlers whose entry jumps to `target` (`to` points at it).
constexpr bool Jumps(uint16_t handler) {
    constexpr uint16_t pushCalls = hPAIR_TAIL + tPUSHCALL * tailCOUNT * kTailForms;
    return handler == hJMP || handler == hJTRUE || handler == hJFALSE || handler == hCALL ||
           handler == hCALL_ENTER || (handler >= hCMPJ && handler < hPAIR) ||
           (handler >= pushCalls && handler < pushCalls + tailCOUNT * kTailForms) ||
           (handler >= hTRIPLE && handler < hSTEP_JMP + 4) || (handler >= hLOOP && handler < kHandlers);
}

// Immediate words of an operand form.
constexpr int Imm(int form) { return form == fIMM || form == fMEMI ? 1 : 0; }
// Words of an element run: the scaled index, MOV, ADD, ADD, the access.
constexpr int ElemWords(int prefix, int access) {
    return (prefix == pNONE ? 0 : prefix == pSCALE ? 2 : prefix == pAFFINE ? 8 : 1 + Imm(prefix) + 2) + 4 +
           (access == aNONE ? 0 : access == aSTOREW_I || access == aSTOREB_I ? 2 : 1);
}

constexpr uint8_t kJumpIfTrue = 0x80;  // in DecodedInsn::aux, beside the compare's length

int FormOf(const scOperandBits& o) {
    if (!o.mem) return o.reg ? fREG : fIMM;
    if (!o.reg) return o.base == baseNONE ? fOTHER : fMEMI;
    return o.base == baseNONE ? fMEMR : fOTHER;
}

// Registers the handlers keep copies of, or whose writes need the long way.
constexpr bool Special(uint8_t r) { return r >= regCODE && r <= regFRAME; }

// The handler for an instruction with opcode `op` (0-54) and operand forms.
uint16_t PickHandler(int op, int fa, int fb, uint8_t ra, uint32_t ia) {
    // Moving SP by a constant after a call or for locals has a handler that
    // checks it; other writes to registers 240-246 take the long way.
    if (fa == fREG && ra == regSP && fb == fIMM && (op == opADD || op == opSUB)) return hSP_ADD;
    bool destOk = (fa == fREG && !Special(ra)) || fa == fMEMI || fa == fMEMR;
    int bin = kBins.of[op];
    if (bin >= 0) return destOk && fb != fOTHER ? BinHandler(bin, fa, fb) : uint16_t(hGENERIC);
    switch (op) {
    case opJMP: return fa == fIMM ? hJMP : hGENERIC;
    case opJTRUE: return fa == fREG && fb == fIMM ? hJTRUE : hGENERIC;
    case opJFALSE: return fa == fREG && fb == fIMM ? hJFALSE : hGENERIC;
    case opCALL: return fa == fIMM && ia != 0xFFFFFFFFu ? hCALL : hGENERIC;
    case opCALLEX: return fa == fIMM && fb == fIMM ? hCALLEX : hGENERIC;
    case opPUSH:
        if (fa == fREG) return hPUSH_R;
        if (fa == fIMM) return hPUSH_I;
        return fa == fMEMI ? hPUSH_M : hGENERIC;
    case opPOP: return fa == fREG && !Special(ra) ? hPOP_R : hGENERIC;
    default: return hGENERIC;
    }
}

// The state the handlers work on, kept in locals of Run() so that the compiler
// can hold it in registers (a member would be read again after every write
// through the register block pointer).
// Addresses are kept as offsets from the start of the instance's data area
// and stack (`ownAddr`): an access there is one comparison with the limit.
struct Hot {
    uint8_t* own;          // host address of the data area and stack of the instance's block
    // The register block lies right before: one pointer serves both.
    [[gnu::always_inline]] uint32_t* Regs() const { return reinterpret_cast<uint32_t*>(own - scRegisterBlockSize); }
    uint32_t lim1, lim4;   // accesses of 1 or 4 bytes at own + off for off below these
    uint32_t ownAddr;      // its script address
    // The bases by number (0 none, 1 pool, 2 data, 3 frame: registers 242, 241
    // and 246), and the stack (register 243), each minus ownAddr.
    uint32_t base[4];
    uint32_t stack;
    uint32_t regBlock;
    VmSpace* space;

    void LoadBases() {
        const uint32_t* R = Regs();
        base[0] = 0u - ownAddr;
        base[basePOOL] = R[regPOOL] - ownAddr;
        base[baseDATA] = R[regDATA] - ownAddr;
        base[baseFRAME] = R[regFRAME] - ownAddr;
        stack = R[regSTACK] - ownAddr;
    }
    void SetFrame(uint32_t frame) { base[baseFRAME] = frame - ownAddr; }
    // The offset of memory at an immediate plus a base.
    [[gnu::always_inline]] uint32_t At(uint8_t b, uint32_t imm) const { return imm + base[b]; }
    // The offset of an address.
    [[gnu::always_inline]] uint32_t Of(uint32_t addr) const { return addr - ownAddr; }
};

// Host memory of `size` bytes at the offset `off`; null when not accessible or
// when the access touches the instance's register block (the long way takes those).
template <uint32_t size>
[[gnu::always_inline]] inline uint8_t* HotMem(const Hot& h, uint32_t off) {
    if (off < (size == 1 ? h.lim1 : h.lim4)) [[likely]] {
        uint8_t* p = h.own + off;
        if (!p) __builtin_unreachable();  // callers' tests for the long way fold away
        return p;
    }
    uint32_t addr = off + h.ownAddr;
    if (addr + (size - 1) - h.regBlock < scRegisterBlockSize + (size - 1)) return nullptr;
    return h.space->Check(addr, size);
}

class Cpu {
public:
    Cpu(scInstance* inst, int steps)
        : inst_(inst), vm_(VmSpace::Get()), budget_(steps), steps_(steps),
          left_(inst->instructionBudget < 0 ? INT64_MAX : inst->instructionBudget) {
        const auto& L = inst->img->layout;
        code_ = inst->img->bytes.data() + L.code;
        codeSize_ = L.codeSize;
        importsVm_ = inst->img->vm + L.imports;
        importsSize_ = L.code - L.imports;
        stackSize_ = inst->stackSize;
        R_ = inst->Regs();
        top_ = inst->parent ? inst->parent : inst;
        // The run holds the image: its translated code must outlive the run
        // even when the instance is freed on the way (the end of a forked
        // statement).
        img_ = inst->img;
        if (!img_->decoded) {
            img_->decoded.reset(new zedi::DecodedCode);
            uint32_t words = codeSize_ / 4;
            void* table = std::malloc((size_t(words) + 1) * sizeof(zedi::DecodedInsn));
            if (table) {
                img_->decoded->table = static_cast<zedi::DecodedInsn*>(table);
                img_->decoded->words = words;
            }
        }
        table_ = img_->decoded->table;
        words_ = img_->decoded->words;  // 0 (all the long way) when the table failed
        regBlock_ = inst->block;
        blockSize_ = vm_.BlockSize(inst->block);
    }

    int Run();
    // Instructions the instance may still run after this run.
    int64_t Left() const { return left_ < 0 ? 0 : left_; }

private:
    template <class... A>
    [[gnu::cold, gnu::noinline]] int Err(const char* format, A... args) {
        scRuntime_Error(format, args...);
        return -1;
    }
    [[gnu::cold, gnu::noinline]] int AccessViolation() { return Err("Access violation"); }

    [[gnu::always_inline]] bool Fetch(uint32_t& w) {
        uint32_t ip = R_[regIP];
        if (codeSize_ < 4 || ip > codeSize_ - 4 || ip % 4) {
            Err("Invalid code address %d", int32_t(ip));
            return false;
        }
        std::memcpy(&w, code_ + ip, 4);
        R_[regIP] = ip + 4;
        return true;
    }

    // The stack word(s) at `sp`; raises the error and returns null when `sp` has
    // left the stack area or the memory is not the instance's.
    [[gnu::always_inline]] uint8_t* StackAt(uint32_t sp, uint32_t len) {
        if (sp > stackSize_) {
            if (int32_t(sp) < 0)
                Err("Stack overflow");
            else
                AccessViolation();
            return nullptr;
        }
        uint8_t* p = vm_.Check(R_[regSTACK] + sp, len);
        if (!p) AccessViolation();
        return p;
    }
    [[gnu::always_inline]] bool Push(uint32_t v) {
        uint32_t sp = R_[regSP] - 4;
        uint8_t* p = StackAt(sp, 4);
        if (!p) return false;
        R_[regSP] = sp;
        zedi::StoreWord(p, v);
        return true;
    }
    [[gnu::always_inline]] bool Pop(uint32_t& v) {
        uint32_t sp = R_[regSP];
        uint8_t* p = StackAt(sp, 4);
        if (!p) return false;
        v = zedi::LoadWord(p);
        R_[regSP] = sp + 4;
        return true;
    }
    bool CheckSp() {
        uint32_t sp = R_[regSP];
        if (sp <= stackSize_) return true;
        if (int32_t(sp) < 0)
            Err("Stack overflow");
        else
            AccessViolation();
        return false;
    }

    uint32_t BaseValue(uint8_t base) const {
        switch (base) {
        case basePOOL: return R_[regPOOL];
        case baseDATA: return R_[regDATA];
        case baseFRAME: return R_[regFRAME];
        default: return 0;
        }
    }

    // Resolves an operand to the host memory it names. `size` bytes must be
    // accessible; `addr` receives the script address (0 for a temporary).
    [[gnu::always_inline]] uint8_t* Resolve(const Operand& o, uint32_t size, uint8_t* temp, uint32_t& addr) {
        addr = 0;
        if (!o.mem) {
            if (o.reg) {
                addr = inst_->block + 4u * o.regNo;
                if (4u * o.regNo + size <= scRegisterBlockSize) return reinterpret_cast<uint8_t*>(R_ + o.regNo);
                uint8_t* p = vm_.Check(addr, size);
                if (!p) AccessViolation();
                return p;
            }
            zedi::StoreWord(temp, o.imm);
            zedi::StoreWord(temp + 4, o.immHigh);
            return temp;
        }
        if (!o.reg && o.base == baseNONE) {
            // The word in an import slot.
            if (o.imm > importsSize_ || importsSize_ - o.imm < 4) {
                Err("Invalid import slot %d", int32_t(o.imm));
                return nullptr;
            }
            uint8_t* slot = vm_.Check(importsVm_ + o.imm, 4);
            if (!slot) {
                AccessViolation();
                return nullptr;
            }
            std::memcpy(temp, slot, 4);
            zedi::StoreWord(temp + 4, 0);
            addr = zedi::LoadWord(slot);  // the address of an imported variable
            return temp;
        }
        addr = (o.reg ? R_[o.regNo] : o.imm) + BaseValue(o.base);
        if (size == 0) return temp;
        uint8_t* p = vm_.Check(addr, size);
        if (!p) AccessViolation();
        return p;
    }

    [[gnu::always_inline]] bool ReadImmediate(uint32_t& v) {
        uint32_t ip = R_[regIP];
        if (codeSize_ < 4 || ip > codeSize_ - 4) {
            Err("Invalid code address %d", int32_t(ip));
            return false;
        }
        std::memcpy(&v, code_ + ip, 4);
        R_[regIP] = ip + 4;
        return true;
    }

    // The entry index of a jump target, `words_` when it is no word of the code.
    uint32_t TargetIndex(uint32_t ip) const { return ip % 4 || ip / 4 >= words_ ? words_ : ip / 4; }
    zedi::DecodedInsn Single(uint32_t ip) const;
    zedi::DecodedInsn Decode(uint32_t ip) const;
    bool FuseElement(zedi::DecodedInsn& f, uint32_t start, uint32_t movAt, int prefix) const;
    int Step();

    int CallEx(uint32_t slotOffset, uint32_t descriptor);
    int ScriptObjectCall(uint32_t slotOffset, uint32_t params, int bytes, uint32_t descriptor);
    int Execute0(uint32_t word, uint32_t wordAddr);

    scInstance* inst_;
    scInstance* top_;
    VmSpace& vm_;
    uint32_t* R_;
    const uint8_t* code_;
    uint32_t codeSize_, importsVm_, importsSize_, stackSize_;
    int budget_, steps_;
    int64_t left_;  // instructions the instance may still run; a run that uses them up fails
    std::shared_ptr<zedi::LoadedImage> img_;
    zedi::DecodedInsn* table_;
    uint32_t words_;
    uint32_t regBlock_, blockSize_;
};

uint32_t ScratchWord();

zedi::DecodedInsn Cpu::Single(uint32_t ip) const {
    zedi::DecodedInsn d{};
    d.handler = hGENERIC;
    d.words = 1;
    uint32_t w = zedi::LoadWord(code_ + ip);
    if (w == scMarkerWord) {
        d.handler = hMARKER;
        return d;
    }
    int op = w & 63;
    if (op >= scFirstNoOperand) {
        d.ia = w;
        d.handler = hZERO;
        if (w == (opENTER | opNOP << 8 | opNOP << 16 | uint32_t(opNOP) << 24)) d.handler = hENTER;
        if ((w & 0xFFFF) == (opLEAVE | opRET << 8)) d.handler = hLEAVE_RET;
        return d;
    }
    scOperandBits A, B;
    scDecodeOperands(w, op, A, B);
    bool two = op >= scFirstTwoOperand;
    // Immediates that run past the code, and the unknown opcodes, are errors
    // the long way reports.
    uint32_t at = ip + 4, high;
    auto imm = [&](uint32_t& v) {
        if (at > codeSize_ - 4) return false;
        v = zedi::LoadWord(code_ + at);
        at += 4;
        return true;
    };
    if (!A.reg) {
        if (!imm(d.ia)) return d;
        if (!two && !A.mem && scTakesDoubleImmediate(op) && !imm(high)) return d;
    }
    if (two && !B.reg) {
        if (!imm(d.ib)) return d;
        if (!B.mem && scTakesDoubleImmediate(op) && !imm(high)) return d;
    }
    if (op == opNAO || op == opXCHG) return d;
    d.words = uint8_t((at - ip) / 4);
    d.ra = A.regNo;
    d.rb = B.regNo;
    d.baseA = A.base;
    d.baseB = B.base;
    d.op = uint8_t(op);
    d.fa = uint8_t(FormOf(A));
    d.fb = uint8_t(two ? FormOf(B) : fIMM);
    // The handlers do not keep register 244 in memory: an operand naming it
    // takes the long way.
    if ((A.reg && A.regNo == regIP) || (two && B.reg && B.regNo == regIP)) return d;
    d.handler = PickHandler(op, d.fa, d.fb, A.regNo, d.ia);
    if (d.handler == hSP_ADD && op == opSUB) d.ib = 0u - d.ib;
    uint32_t next = at;
    switch (d.handler) {
    case hJMP: d.target = TargetIndex(next + d.ia); break;
    case hJTRUE:
    case hJFALSE: d.target = TargetIndex(next + d.ib); break;
    case hCALL: d.target = TargetIndex(d.ia); break;
    default: return d;
    }
    // A jump out of the code is an error the long way reports.
    if (d.target == words_) d.handler = hGENERIC;
    return d;
}

// The address of an array element computed in a register, and an access
// through it, from the instructions at `movAt` on:
//   MOV a, imm; ADD a, x; ADD a, i [; MOV or CMOV between c or an immediate and [a]]
// With a `prefix` (the form of s), `f` already holds a scaled index computed
// just before them, into i: MOV i, s; MUL i, imm (with pSCALE only the MUL;
// with pAFFINE MOV i, s; MUL i, [id + rb]; ADD i, [ie + baseA]; MUL i, imm,
// s memory at a base plus an immediate, rb and baseA there bases). On success
// `f` is the entry
// for the whole run from `start`, with the fields:
//   ra: i   rb, baseB, ib: s   ia: the scale   aux: a   aux2: x   ic: the
//   first immediate   fa: c   target: the immediate stored.
bool Cpu::FuseElement(zedi::DecodedInsn& f, uint32_t start, uint32_t movAt, int prefix) const {
    auto inCode = [&](uint32_t a) { return a / 4 < words_; };
    const uint16_t kMovImm = BinHandler(kBins.of[opMOV], fREG, fIMM);
    const uint16_t kAddReg = BinHandler(kBins.of[opADD], fREG, fREG);
    if (!inCode(movAt)) return false;
    zedi::DecodedInsn m = Single(movAt);
    if (m.handler != kMovImm || m.ra >= regCODE) return false;
    uint32_t at = movAt + 4u * m.words;
    if (!inCode(at)) return false;
    zedi::DecodedInsn x = Single(at);
    if (x.handler != kAddReg || x.ra != m.ra || x.rb == m.ra) return false;
    at += 4;
    if (!inCode(at)) return false;
    zedi::DecodedInsn y = Single(at);
    if (y.handler != kAddReg || y.ra != m.ra || y.rb == m.ra) return false;
    if (prefix != pNONE && (y.rb != f.ra || x.rb == f.ra)) return false;
    at += 4;
    int access = aNONE;
    uint8_t c = 0;
    uint32_t value = 0;
    if (inCode(at)) {
        zedi::DecodedInsn a = Single(at);
        bool word = a.op == opMOV, byte = a.op == opCMOV;
        if (a.handler >= hBIN && a.handler < hCMPJ && (word || byte)) {
            if (a.fa == fREG && a.fb == fMEMR && a.rb == m.ra && a.ra < regCODE && (word || a.ra != m.ra)) {
                access = word ? aLOADW : aLOADB;
                c = a.ra;
            } else if (a.fa == fMEMR && a.ra == m.ra && a.fb == fREG) {
                access = word ? aSTOREW_R : aSTOREB_R;
                c = a.rb;
            } else if (a.fa == fMEMR && a.ra == m.ra && a.fb == fIMM) {
                access = word ? aSTOREW_I : aSTOREB_I;
                value = a.ib;
            }
            if (access != aNONE) at += 4u * a.words;
        }
    }
    f.handler = ElemHandler(prefix, access);
    f.ra = prefix == pNONE ? y.rb : f.ra;
    f.aux = m.ra;
    f.aux2 = x.rb;
    f.ic = m.ib;
    f.fa = c;
    f.target = value;
    f.words = uint8_t((at - start) / 4);
    return true;
}

// Translates the instruction at `ip`, fused with the ones after it when they
// form one of these runs, the ones the compiler emits most (zedi_profile), on
// one general register r:
//   CMPx r, s; Jcc r                (aux: the sense; target: the jump's)
//   MOV r, s1; OP r, s2 [; Jcc r]   (s1 in rb, baseB, ib; s2 in aux, aux2, ia;
//                                    the jump's sense in fa)
//   MOV r, s1; OP r, s2; then PUSH r [; CALL f where f starts with ENTER],
//                      MOV [imm + base], r, ADD [imm + base], r, ADD r, imm or
//                      ADD r, [imm + base]   (the immediate or the callee in
//                      target, the base in fa)
//   MOV r, s; PUSH r        MOV r, s; LEAVE RET
//   POP r; OP r, s          (s in aux, aux2, ia)
//   ADD SP, imm; MOV r, r2 [; PUSH r]        (r in aux, r2 in aux2)
//   CALL f where f starts with ENTER
//   ADD or SUB [imm + base], s; JMP (aux: the first one's length in words);
//                      Run() joins ADD with the loop test at the jump's target
//   an array element's address and an access through it (FuseElement)
zedi::DecodedInsn Cpu::Decode(uint32_t ip) const {
    zedi::DecodedInsn d = Single(ip);
    uint32_t at = ip + 4u * d.words;
    if (at / 4 >= words_) return d;
    const uint16_t kMovReg = BinHandler(kBins.of[opMOV], fREG, fREG);
    if (d.handler == hCALL) {
        // A call of a function that starts with ENTER runs the ENTER with it.
        if (Single(d.target * 4).handler == hENTER) d.handler = hCALL_ENTER;
        return d;
    }
    if (d.handler == hSP_ADD) {
        // Dropping the arguments after a call, then taking its result.
        zedi::DecodedInsn n = Single(at);
        if (n.handler == kMovReg) {
            d.handler = hSP_ADD_MOV;
            d.aux = n.ra;
            d.aux2 = n.rb;
            d.words = uint8_t(d.words + n.words);
            // ... and pushing it for the next call.
            uint32_t push = at + 4u * n.words;
            if (push / 4 < words_) {
                zedi::DecodedInsn p = Single(push);
                if (p.handler == hPUSH_R && p.ra == n.ra) {
                    d.handler = hSP_ADD_MOV_PUSH;
                    d.words = uint8_t(d.words + p.words);
                } else if (p.handler == hPOP_R && push / 4 + 1 < words_) {
                    // ... or combining it with a value saved before the call
                    // (rb: the register popped into, fa: the operation's
                    // source), and returning that (ic: the register moved into).
                    zedi::DecodedInsn o = Single(push + 4);
                    if (kTails.of[o.op] >= 0 && o.handler == BinHandler(kBins.of[o.op], fREG, fREG) &&
                        o.ra == p.ra) {
                        d.handler = SpMovPopOpHandler(o.op, false);
                        d.rb = p.ra;
                        d.fa = o.rb;
                        d.words = uint8_t(d.words + 2);
                        uint32_t mov = push + 8;
                        if (mov / 4 + 1 < words_) {
                            zedi::DecodedInsn m = Single(mov);
                            if (m.handler == kMovReg && m.rb == p.ra && Single(mov + 4).handler == hLEAVE_RET) {
                                d.handler = SpMovPopOpHandler(o.op, true);
                                d.ic = m.ra;
                                d.words = uint8_t(d.words + 2);
                            }
                        }
                    }
                }
            }
        }
        return d;
    }
    if (d.handler == hPOP_R) {
        zedi::DecodedInsn n = Single(at);
        if (n.handler >= hBIN && n.handler < hCMPJ && n.fa == fREG && n.ra == d.ra && kTails.of[n.op] >= 0 &&
            n.fb <= fMEMI) {
            d.handler = PopOpHandler(n.op, n.fb);
            d.aux = n.rb;
            d.aux2 = n.baseB;
            d.ia = n.ib;
            d.words = uint8_t(d.words + n.words);
        }
        return d;
    }
    if (d.handler < hBIN) return d;
    if ((d.op == opADD || d.op == opSUB) && d.fa == fMEMI && (d.fb == fREG || d.fb == fIMM)) {
        zedi::DecodedInsn n = Single(at);
        if (n.handler == hJMP) {
            d.handler = StepJmpHandler(d.op, d.fb);
            d.aux = d.words;
            d.words = uint8_t(d.words + n.words);
            d.target = n.target;
        }
        return d;
    }
    // Only handlers of their own fuse: general register destinations, the
    // code there complete.
    if (d.fa != fREG || d.ra >= regCODE) return d;
    zedi::DecodedInsn n = Single(at);
    auto jumpOn = [&](uint32_t where, zedi::DecodedInsn& j) {
        if (where / 4 >= words_) return false;
        j = Single(where);
        return (j.handler == hJTRUE || j.handler == hJFALSE) && j.ra == d.ra;
    };
    zedi::DecodedInsn j{};
    if (d.op >= opCMPE && d.op <= opCMPNL && d.fb <= fMEMI) {
        if (jumpOn(at, j)) {
            d.handler = CmpJumpHandler(d.op, d.fb);
            d.aux = j.handler == hJTRUE ? kJumpIfTrue : 0;
            d.words = uint8_t(d.words + j.words);
            d.target = j.target;
        }
        return d;
    }
    if (d.op == opMUL && d.fb == fIMM) {
        zedi::DecodedInsn f = d;
        f.ia = d.ib;
        if (FuseElement(f, ip, at, pSCALE)) return f;
        return d;
    }
    if (d.op != opMOV) return d;
    if (d.fb == fIMM && FuseElement(d, ip, ip, pNONE)) return d;
    if (n.handler == hPUSH_R && n.ra == d.ra) {
        d.handler = uint16_t(hMOV_PUSH + d.fb);
        d.words = uint8_t(d.words + n.words);
        return d;
    }
    if (n.handler == hLEAVE_RET && d.fb <= fMEMI) {
        d.handler = uint16_t(hMOV_RET + d.fb);
        d.words = uint8_t(d.words + n.words);
        return d;
    }
    if (n.handler < hBIN || n.fa != fREG || n.ra != d.ra || kPairs.of[n.op] < 0) return d;
    if (n.op == opMUL && n.fb == fIMM) {
        zedi::DecodedInsn f = d;
        f.ia = n.ib;
        if (FuseElement(f, ip, at + 4u * n.words, d.fb)) return f;
    }
    if (d.fb == fMEMI && n.op == opMUL && n.fb == fMEMI && (at + 4u * n.words) / 4 + 2 < words_) {
        // A row times a width plus a column, scaled, as an element's index.
        uint32_t add = at + 4u * n.words;
        zedi::DecodedInsn a = Single(add);
        if (a.handler == BinHandler(kBins.of[opADD], fREG, fMEMI) && a.ra == d.ra) {
            zedi::DecodedInsn m = Single(add + 4u * a.words);
            if (m.handler == BinHandler(kBins.of[opMUL], fREG, fIMM) && m.ra == d.ra) {
                zedi::DecodedInsn f = d;
                f.id = n.ib;
                f.rb = n.baseB;
                f.ie = a.ib;
                f.baseA = a.baseB;
                f.ia = m.ib;
                if (FuseElement(f, ip, add + 4u * (a.words + m.words), pAFFINE)) return f;
            }
        }
    }
    zedi::DecodedInsn f = d;
    f.aux = n.rb;
    f.aux2 = n.baseB;
    f.ia = n.ib;
    f.words = uint8_t(d.words + n.words);
    f.handler = PairHandler(kPairs.of[n.op], d.fb, n.fb);
    uint32_t after = at + 4u * n.words;
    if (n.op >= opCMPE && n.op <= opCMPNL && jumpOn(after, j)) {
        f.handler = TripleHandler(n.op, d.fb, n.fb);
        f.words = uint8_t(f.words + j.words);
        f.target = j.target;
        f.fa = j.handler == hJTRUE;
        return f;
    }
    // The result pushed, stored at a base plus an immediate, or added to by an
    // immediate or by memory at a base plus an immediate (target: the
    // immediate, fa: the base).
    if (kTails.of[n.op] < 0 || TailFormIndex(d.fb, n.fb) < 0 || after / 4 >= words_) return f;
    zedi::DecodedInsn t = Single(after);
    if (t.handler == hPUSH_R && t.ra == d.ra) {
        f.handler = PairTailHandler(tPUSH, n.op, d.fb, n.fb);
        f.words = uint8_t(f.words + t.words);
        // ... as the argument of a call.
        uint32_t call = after + 4u * t.words;
        if (call / 4 < words_) {
            zedi::DecodedInsn c = Single(call);
            if (c.handler == hCALL && Single(c.target * 4).handler == hENTER) {
                f.handler = PairTailHandler(tPUSHCALL, n.op, d.fb, n.fb);
                f.words = uint8_t(f.words + c.words);
                f.target = c.target;
            }
        }
    } else if (t.handler == BinHandler(kBins.of[opADD], fMEMI, fREG) && t.rb == d.ra) {
        f.handler = PairTailHandler(tADDTO, n.op, d.fb, n.fb);
        f.words = uint8_t(f.words + t.words);
        f.target = t.ia;
        f.fa = t.baseA;
    } else if (t.handler == BinHandler(kBins.of[opMOV], fMEMI, fREG) && t.rb == d.ra) {
        f.handler = PairTailHandler(tSTORE, n.op, d.fb, n.fb);
        f.words = uint8_t(f.words + t.words);
        f.target = t.ia;
        f.fa = t.baseA;
    } else if (t.handler == BinHandler(kBins.of[opADD], fREG, fIMM) && t.ra == d.ra) {
        f.handler = PairTailHandler(tADDI, n.op, d.fb, n.fb);
        f.words = uint8_t(f.words + t.words);
        f.target = t.ib;
        // ... and then added to memory at a base plus an immediate (the
        // immediate added in ic).
        uint32_t to = after + 4u * t.words;
        if (to / 4 < words_) {
            zedi::DecodedInsn u = Single(to);
            if (u.handler == BinHandler(kBins.of[opADD], fMEMI, fREG) && u.rb == d.ra) {
                f.handler = PairTailHandler(tADDI_ADDTO, n.op, d.fb, n.fb);
                f.words = uint8_t(f.words + u.words);
                f.ic = t.ib;
                f.target = u.ia;
                f.fa = u.baseA;
            }
        }
    } else if (t.handler == BinHandler(kBins.of[opADD], fREG, fMEMI) && t.ra == d.ra) {
        f.handler = PairTailHandler(tADDM, n.op, d.fb, n.fb);
        f.words = uint8_t(f.words + t.words);
        f.target = t.ib;
        f.fa = t.baseB;
    }
    return f;
}

// Pushes a word: false, with nothing changed, when the stack is full or its
// memory not the instance's (the long way then reports it).
[[gnu::always_inline]] inline bool PushHot(Hot& h, uint32_t stackSize, uint32_t v) {
    uint32_t sp = h.Regs()[regSP] - 4;
    if (sp > stackSize) return false;
    uint8_t* p = HotMem<4>(h, h.stack + sp);
    if (!p) return false;
    zedi::StoreWord(p, v);
    h.Regs()[regSP] = sp;
    return true;
}

// Pops the word at SP into `v`, SP moving up: false, with nothing changed, to
// take the long way.
[[gnu::always_inline]] inline bool PopHot(Hot& h, uint32_t stackSize, uint32_t& v) {
    uint32_t sp = h.Regs()[regSP];
    if (sp > stackSize) return false;
    const uint8_t* p = HotMem<4>(h, h.stack + sp);
    if (!p) return false;
    v = zedi::LoadWord(p);
    h.Regs()[regSP] = sp + 4;
    return true;
}

// Stores register `ra` at the base `fa` plus the immediate `target` (the tail
// of a run): false, with nothing changed, to take the long way.
[[gnu::always_inline]] inline bool StoreHot(Hot& h, const zedi::DecodedInsn& e) {
    uint8_t* p = HotMem<4>(h, h.At(e.fa, e.target));
    if (!p) return false;
    zedi::StoreWord(p, h.Regs()[e.ra]);
    return true;
}

// Adds register `ra` to the word at the base `fa` plus the immediate `target`
// (the tail of a run): false, with nothing changed, to take the long way.
[[gnu::always_inline]] inline bool AddToHot(Hot& h, const zedi::DecodedInsn& e) {
    uint8_t* p = HotMem<4>(h, h.At(e.fa, e.target));
    if (!p) return false;
    zedi::StoreWord(p, zedi::LoadWord(p) + h.Regs()[e.ra]);
    return true;
}

// CALL and the ENTER the callee starts with, returning to `ret`: both pushes
// are checked before either is made; false, with nothing changed, to take the
// long way.
[[gnu::always_inline]] inline bool CallEnterHot(Hot& h, uint32_t stackSize, uint32_t ret) {
    uint32_t* R = h.Regs();
    uint32_t stack = R[regSTACK];
    uint32_t sp = R[regSP] - 8;
    if (sp > stackSize || sp + 4 > stackSize) return false;
    uint8_t* p = HotMem<4>(h, h.Of(stack + sp));
    uint8_t* q = HotMem<4>(h, h.Of(stack + sp + 4));
    if (!p || !q) return false;
    zedi::StoreWord(q, ret);
    zedi::StoreWord(p, R[regFRAME] - stack);
    R[regSP] = sp;
    R[regFRAME] = stack + sp;
    h.SetFrame(stack + sp);
    return true;
}

// PUSH v, then CALL and ENTER returning to `ret`: the three words are checked
// before any is written; false, with nothing changed, to take the long way.
[[gnu::always_inline]] inline bool PushCallEnterHot(Hot& h, uint32_t stackSize, uint32_t v, uint32_t ret) {
    uint32_t* R = h.Regs();
    uint32_t stack = R[regSTACK];
    uint32_t sp = R[regSP] - 12;
    if (sp > stackSize || sp + 8 > stackSize) return false;
    uint32_t off = h.Of(stack + sp);
    // The script address space is one block in the host: words that pass
    // their checks lie side by side there.
    uint8_t* p;
    if (off < h.lim4 && h.lim4 - off > 8) [[likely]] {
        p = h.own + off;
    } else {
        p = HotMem<4>(h, off);
        if (!p || !HotMem<4>(h, off + 4) || !HotMem<4>(h, off + 8)) return false;
    }
    zedi::StoreWord(p + 8, v);
    zedi::StoreWord(p + 4, ret);
    zedi::StoreWord(p, R[regFRAME] - stack);
    R[regSP] = sp;
    R[regFRAME] = stack + sp;
    h.SetFrame(stack + sp);
    return true;
}

// Adds the word at the base `fa` plus the immediate `target` to register `ra`
// (the tail of a run): false, with nothing changed, to take the long way.
[[gnu::always_inline]] inline bool AddHot(Hot& h, const zedi::DecodedInsn& e) {
    const uint8_t* p = HotMem<4>(h, h.At(e.fa, e.target));
    if (!p) return false;
    h.Regs()[e.ra] += zedi::LoadWord(p);
    return true;
}

// The word an operand of form F names, from its register, base and immediate:
// false to take the long way.
template <int F>
[[gnu::always_inline]] inline bool OperandWord(Hot& h, uint8_t reg, uint8_t base, uint32_t imm, uint32_t& v) {
    if constexpr (F == fREG) {
        v = h.Regs()[reg];
    } else if constexpr (F == fIMM) {
        v = imm;
    } else {
        const uint8_t* p = HotMem<4>(h, F == fMEMI ? h.At(base, imm) : h.Of(h.Regs()[reg]));
        if (!p) return false;
        v = zedi::LoadWord(p);
    }
    return true;
}
// The source of a move (rb, baseB, ib).
template <int F>
[[gnu::always_inline]] inline bool SourceWord(Hot& h, const zedi::DecodedInsn& e, uint32_t& v) {
    return OperandWord<F>(h, e.rb, e.baseB, e.ib, v);
}

// An integer operation on `av` and `bv`; the ones that take the unsigned option
// work unsigned when register 251 says so, and clear it.
template <int OP>
[[gnu::always_inline]] inline uint32_t Arith(uint32_t* R, uint32_t av, uint32_t bv) {
    if constexpr (zedi::scTakesUnsignedFlag(OP)) {
        if (R[regOPTIONS] & 1) [[unlikely]] {
            R[regOPTIONS] &= ~1u;
            return zedi::IntArith(OP, av, bv, true);
        }
    }
    return zedi::IntArith(OP, av, bv, false);
}

// A two-operand integer operation. False to take the long way (nothing changed
// but, for CMOV into a register, that register, which the long way clears
// first anyway).
template <int OP, int FA, int FB>
[[gnu::always_inline]] inline bool BinOp(Hot& h, const zedi::DecodedInsn& e) {
    constexpr uint32_t size = OP == opCMOV ? 1 : 4;
    uint32_t* R = h.Regs();
    // A register destination of CMOV is cleared before the operands are
    // resolved (operand 2 may use it).
    if constexpr (OP == opCMOV && FA == fREG) R[e.ra] = 0;
    uint8_t* a;
    if constexpr (FA == fREG) {
        a = reinterpret_cast<uint8_t*>(R + e.ra);
    } else {
        a = HotMem<size>(h, FA == fMEMI ? h.At(e.baseA, e.ia) : h.Of(R[e.ra]));
        if (!a) return false;
    }
    const uint8_t* b = nullptr;
    if constexpr (FB == fREG) {
        b = reinterpret_cast<const uint8_t*>(R + e.rb);
    } else if constexpr (FB != fIMM) {
        b = HotMem<size>(h, FB == fMEMI ? h.At(e.baseB, e.ib) : h.Of(R[e.rb]));
        if (!b) return false;
    }
    if constexpr (OP == opCMOV) {
        if constexpr (FB == fIMM)
            *a = uint8_t(e.ib);
        else
            *a = *b;
    } else {
        uint32_t bv;
        if constexpr (FB == fIMM)
            bv = e.ib;
        else
            bv = zedi::LoadWord(b);
        if constexpr (OP == opMOV) {
            zedi::StoreWord(a, bv);
            return true;
        }
        if constexpr (OP == opDIV || OP == opMOD)
            if (bv == 0) return false;
        zedi::StoreWord(a, Arith<OP>(R, zedi::LoadWord(a), bv));
    }
    return true;
}


// Operand 2 of the second instruction of a run (aux, aux2, ia): false to take
// the long way.
template <int F>
[[gnu::always_inline]] inline bool SecondWord(Hot& h, const zedi::DecodedInsn& e, uint32_t& v) {
    return OperandWord<F>(h, e.aux, e.aux2, e.ia, v);
}

// A compare and the conditional jump after it: -1 to take the long way (nothing
// changed), 1 when the jump is taken, 0 when not.
template <int OP, int FB>
[[gnu::always_inline]] inline int CmpJump(Hot& h, const zedi::DecodedInsn& e) {
    uint32_t* R = h.Regs();
    uint32_t bv;
    if (!SourceWord<FB>(h, e, bv)) return -1;
    uint32_t r = Arith<OP>(R, R[e.ra], bv);
    R[e.ra] = r;
    return r == ((e.aux & kJumpIfTrue) != 0);
}

// MOV r, s1; OP r, s2, and with JUMP the conditional jump on r after them.
// Returns 1 when done (with JUMP: 1 not jumping, 2 jumping), 0 to take the long
// way from the first instruction (nothing changed), -1 from the second one.
template <int OP, int F1, int F2, bool JUMP>
[[gnu::always_inline]] inline int Pair(Hot& h, const zedi::DecodedInsn& e) {
    uint32_t* R = h.Regs();
    uint32_t v;
    if (!SourceWord<F1>(h, e, v)) return 0;
    R[e.ra] = v;
    uint32_t bv;
    if (!SecondWord<F2>(h, e, bv)) return -1;
    uint32_t r = Arith<OP>(R, R[e.ra], bv);
    R[e.ra] = r;
    if constexpr (JUMP) return (r != 0) == bool(e.fa) ? 2 : 1;
    return 1;
}

// ADD [imm + base], s, the step at the end of a loop, giving the word's new
// value: false to take the long way (nothing changed).
template <int FB>
[[gnu::always_inline]] inline bool LoopStep(Hot& h, const zedi::DecodedInsn& e, uint32_t& value) {
    uint8_t* a = HotMem<4>(h, h.At(e.baseA, e.ia));
    if (!a) return false;
    value = zedi::LoadWord(a) + (FB == fREG ? h.Regs()[e.rb] : e.ib);
    zedi::StoreWord(a, value);
    return true;
}

// The loop's test when the word it moves into its register is `value`, the
// one the step has just written: Pair with that word already read.
template <int OP, int F2>
[[gnu::always_inline]] inline int Test(Hot& h, const zedi::DecodedInsn& e, uint32_t value) {
    uint32_t* R = h.Regs();
    R[e.ra] = value;
    uint32_t bv;
    if (!SecondWord<F2>(h, e, bv)) return -1;
    uint32_t r = Arith<OP>(R, value, bv);
    R[e.ra] = r;
    return (r != 0) == bool(e.fa) ? 2 : 1;
}

// The operation after a pop into register `ra`, with operand 2 in aux, aux2
// and ia: false to take the long way (nothing changed).
template <int OP, int F2>
[[gnu::always_inline]] inline bool PopOp(Hot& h, const zedi::DecodedInsn& e) {
    uint32_t bv;
    if (!SecondWord<F2>(h, e, bv)) return false;
    h.Regs()[e.ra] = Arith<OP>(h.Regs(), h.Regs()[e.ra], bv);
    return true;
}

// An array element's address and the access through it (Cpu::FuseElement).
// Everything is checked before anything changes: false to take the long way
// from the first instruction.
template <int P, int A>
[[gnu::always_inline]] inline bool Elem(Hot& h, const zedi::DecodedInsn& e) {
    uint32_t* R = h.Regs();
    uint32_t index;
    if constexpr (P == pNONE) {
        index = R[e.ra];
    } else if constexpr (P == pSCALE) {
        index = R[e.ra] * e.ia;
    } else if constexpr (P == pAFFINE) {
        uint32_t row, width, column;
        if (!SourceWord<fMEMI>(h, e, row) || !OperandWord<fMEMI>(h, 0, e.rb, e.id, width) ||
            !OperandWord<fMEMI>(h, 0, e.baseA, e.ie, column))
            return false;
        index = (row * width + column) * e.ia;
    } else {
        uint32_t v;
        if (!SourceWord<P>(h, e, v)) return false;
        index = v * e.ia;
    }
    uint32_t addr = e.ic + R[e.aux2] + index;
    constexpr bool byte = A == aLOADB || A == aSTOREB_R || A == aSTOREB_I;
    uint8_t* m = nullptr;
    if constexpr (A != aNONE) {
        m = HotMem<byte ? 1 : 4>(h, h.Of(addr));
        if (!m) return false;
    }
    if constexpr (P != pNONE) R[e.ra] = index;
    R[e.aux] = addr;
    if constexpr (A == aLOADW) R[e.fa] = zedi::LoadWord(m);
    if constexpr (A == aLOADB) R[e.fa] = *m;
    if constexpr (A == aSTOREW_R) zedi::StoreWord(m, R[e.fa]);
    if constexpr (A == aSTOREW_I) zedi::StoreWord(m, e.target);
    if constexpr (A == aSTOREB_R) *m = uint8_t(R[e.fa]);
    if constexpr (A == aSTOREB_I) *m = uint8_t(e.target);
    return true;
}

int Cpu::Run() {
    if (zedi::g_longWay || zedi::g_trace || !words_) {
        for (;;) {
            int r = Step();
            if (r != 2) return r;
        }
    }
    // Threaded dispatch: each handler jumps straight to the next one's.
#define ZEDI_BIN_LABEL(n, FA, FB) &&L_##n##_##FA##_##FB,
#define ZEDI_BIN_LABELS(n) ZEDI_BIN_FORMS(ZEDI_BIN_LABEL, n)
#define ZEDI_CMPJ_LABEL(n, FB) &&LJ_##n##_##FB,
#define ZEDI_CMPJ_LABELS(n) ZEDI_CMPJ_FORMS(ZEDI_CMPJ_LABEL, n)
#define ZEDI_PAIR_LABEL(n, F1, F2) &&LP_##n##_##F1##_##F2,
#define ZEDI_STEP_JMP_LABEL(n, FB) &&LS_##n##_##FB,
#define ZEDI_PAIR_LABELS(n) ZEDI_PAIR_FORMS(ZEDI_PAIR_LABEL, n)
#define ZEDI_TRIPLE_LABEL(n, F1, F2) &&LT_##n##_##F1##_##F2,
#define ZEDI_TRIPLE_LABELS(n) ZEDI_PAIR_FORMS(ZEDI_TRIPLE_LABEL, n)
#define ZEDI_ELEM_LABEL(P, A) &&LE_##P##_##A,
#define ZEDI_ELEM_LABELS(A) ZEDI_ELEM_PREFIXES(ZEDI_ELEM_LABEL, A)
    // Element handlers in ElemHandler order: prefix-major.
#define ZEDI_TAIL_LABEL(n, F1, F2, T) &&L##T##_##n##_##F1##_##F2,
#define ZEDI_POP_OP_LABEL(n, F2) &&LPOP_##n##_##F2,
#define ZEDI_LOOP_LABEL(n, FB, F2, SAME) &&LL_##n##_##FB##_##F2##_##SAME,
#define ZEDI_LOOP_LABELS(n) ZEDI_LOOP_FORMS(ZEDI_LOOP_LABEL, n)
#define ZEDI_POP_OP_LABELS(n) ZEDI_POP_OP_FORMS(ZEDI_POP_OP_LABEL, n)
#define ZEDI_PUSH_LABELS(n) ZEDI_TAIL_FORMS(ZEDI_TAIL_LABEL, n, PUSH)
#define ZEDI_STORE_LABELS(n) ZEDI_TAIL_FORMS(ZEDI_TAIL_LABEL, n, STORE)
#define ZEDI_ADDI_LABELS(n) ZEDI_TAIL_FORMS(ZEDI_TAIL_LABEL, n, ADDI)
#define ZEDI_ADDM_LABELS(n) ZEDI_TAIL_FORMS(ZEDI_TAIL_LABEL, n, ADDM)
#define ZEDI_ADDTO_LABELS(n) ZEDI_TAIL_FORMS(ZEDI_TAIL_LABEL, n, ADDTO)
#define ZEDI_PUSHCALL_LABELS(n) ZEDI_TAIL_FORMS(ZEDI_TAIL_LABEL, n, PUSHCALL)
#define ZEDI_ADDI_ADDTO_LABELS(n) ZEDI_TAIL_FORMS(ZEDI_TAIL_LABEL, n, ADDI_ADDTO)
#define ZEDI_SP_MOV_POP_OP_LABELS(n) &&LSMP_##n##_0, &&LSMP_##n##_1,
#define ZEDI_ELEM_BY_PREFIX(P) \
    &&LE_##P##_aNONE, &&LE_##P##_aLOADW, &&LE_##P##_aLOADB, &&LE_##P##_aSTOREW_R, \
    &&LE_##P##_aSTOREW_I, &&LE_##P##_aSTOREB_R, &&LE_##P##_aSTOREB_I,
    static const void* const kLabels[] = {
        &&L_NONE, &&L_END, &&L_GENERIC, &&L_MARKER, &&L_ZERO, &&L_ENTER, &&L_LEAVE_RET, &&L_JMP,
        &&L_JTRUE, &&L_JFALSE, &&L_CALL, &&L_PUSH_R, &&L_PUSH_I, &&L_PUSH_M, &&L_POP_R,
        &&L_SP_ADD, &&L_CALLEX, ZEDI_BIN_OPS(ZEDI_BIN_LABELS) ZEDI_CMP_OPS(ZEDI_CMPJ_LABELS)
        ZEDI_PAIR_OPS(ZEDI_PAIR_LABELS) ZEDI_CMP_OPS(ZEDI_TRIPLE_LABELS)
        ZEDI_STEP_JMPS(ZEDI_STEP_JMP_LABEL)
        ZEDI_ELEM_BY_PREFIX(pNONE) ZEDI_ELEM_BY_PREFIX(fREG) ZEDI_ELEM_BY_PREFIX(fIMM)
        ZEDI_ELEM_BY_PREFIX(fMEMI) ZEDI_ELEM_BY_PREFIX(fMEMR) ZEDI_ELEM_BY_PREFIX(pSCALE)
        ZEDI_ELEM_BY_PREFIX(pAFFINE)
        ZEDI_TAIL_OPS(ZEDI_PUSH_LABELS) ZEDI_TAIL_OPS(ZEDI_STORE_LABELS)
        ZEDI_TAIL_OPS(ZEDI_ADDI_LABELS) ZEDI_TAIL_OPS(ZEDI_ADDM_LABELS)
        ZEDI_TAIL_OPS(ZEDI_ADDTO_LABELS) ZEDI_TAIL_OPS(ZEDI_PUSHCALL_LABELS)
        ZEDI_TAIL_OPS(ZEDI_ADDI_ADDTO_LABELS)
        &&L_MOV_PUSH_fREG, &&L_MOV_PUSH_fIMM, &&L_MOV_PUSH_fMEMI, &&L_MOV_PUSH_fMEMR,
        &&L_MOV_RET_fREG, &&L_MOV_RET_fIMM, &&L_MOV_RET_fMEMI, &&L_CALL_ENTER, &&L_SP_ADD_MOV,
        &&L_SP_ADD_MOV_PUSH, ZEDI_TAIL_OPS(ZEDI_POP_OP_LABELS) ZEDI_TAIL_OPS(ZEDI_SP_MOV_POP_OP_LABELS)
        ZEDI_CMP_OPS(ZEDI_LOOP_LABELS)};
#undef ZEDI_LOOP_LABELS
#undef ZEDI_LOOP_LABEL
#undef ZEDI_POP_OP_LABELS
#undef ZEDI_POP_OP_LABEL
#undef ZEDI_PUSHCALL_LABELS
#undef ZEDI_ADDI_ADDTO_LABELS
#undef ZEDI_SP_MOV_POP_OP_LABELS
#undef ZEDI_ADDTO_LABELS
#undef ZEDI_ADDM_LABELS
#undef ZEDI_ADDI_LABELS
#undef ZEDI_STORE_LABELS
#undef ZEDI_PUSH_LABELS
#undef ZEDI_TAIL_LABEL
#undef ZEDI_ELEM_BY_PREFIX
#undef ZEDI_ELEM_LABELS
#undef ZEDI_ELEM_LABEL
#undef ZEDI_STEP_JMP_LABEL
#undef ZEDI_TRIPLE_LABELS
#undef ZEDI_TRIPLE_LABEL
#undef ZEDI_PAIR_LABELS
#undef ZEDI_PAIR_LABEL
#undef ZEDI_CMPJ_LABELS
#undef ZEDI_CMPJ_LABEL
#undef ZEDI_BIN_LABELS
#undef ZEDI_BIN_LABEL
    static_assert(sizeof kLabels / sizeof kLabels[0] == kHandlers);

    zedi::DecodedInsn* const table = table_;
    const uint32_t words = words_;
    zedi::DecodedCode& code = *img_->decoded;
    if (!code.ready) {
        for (uint32_t i = 0; i < words; ++i) {
            table[i].label = &&L_NONE;
            table[i].handler = hNONE;
            table[i].at = 4 * i;
        }
        table[words] = zedi::DecodedInsn{};
        table[words].label = &&L_END;
        table[words].handler = hEND;
        table[words].at = 4 * words;
        code.ready = true;
    }

    // Copies the compiler may keep in registers: a member could be written
    // by any store through the register block pointer, as far as it knows.
    const uint32_t stackSize = stackSize_;
    Hot h;
    h.regBlock = regBlock_;
    h.ownAddr = regBlock_ + scRegisterBlockSize;
    h.own = vm_.Ptr(h.ownAddr);
    uint32_t ownSize = blockSize_ > scRegisterBlockSize ? blockSize_ - scRegisterBlockSize : 0;
    h.lim1 = ownSize;
    h.lim4 = ownSize >= 4 ? ownSize - 3 : 0;
    h.space = &vm_;
    h.LoadBases();
    // The register block, reached from the block pointer: a pointer of its own
    // would be one more value to keep in a host register.
#define R (h.Regs())
// Handlers run only while SP lies inside the stack; an instruction that
// leaves it there without an error (RET, LEAVE and POP may) sends the
// following ones the long way until SP is back, so each reports the same
// error it always did.
#define ZEDI_SP_INSIDE() (R[regSP] <= stackSize)
// After a step that moved SP: outside the stack, the run stops with IP at
// `next`, the instruction after the step, and the error the long way reports.
#define ZEDI_STOP_IF_SP_OUTSIDE(next) \
    do {                              \
        if (!ZEDI_SP_INSIDE()) {      \
            R[regIP] = (next);        \
            CheckSp();                \
            ZEDI_RETURN(-1);          \
        }                             \
    } while (0)

    const zedi::DecodedInsn* e = table;
    // The instruction budget is charged where control moves (jumps, calls,
    // returns, the long way): the code words run straight through since it
    // last moved, and the move; no endless run passes by it. Counted in bytes
    // of entries (one entry per code word), it is kept as `credit`: what was
    // left at the last move plus the address of the entry moved to. A move
    // from `e` to `p` then costs one addition, and the budget is used up when
    // the credit falls below `p`. A run that leaves settles the words run since
    // the last move.
    constexpr intptr_t kUnit = sizeof(zedi::DecodedInsn);
    constexpr int64_t kMostUnits = int64_t(1) << 50;  // more is as good as no limit; kept aside
    const int64_t aside = left_ > kMostUnits ? left_ - kMostUnits : 0;
    intptr_t credit = intptr_t(left_ - aside) * kUnit + reinterpret_cast<intptr_t>(table);
    auto settle = [&](const zedi::DecodedInsn* at) {
        intptr_t bytes = credit - reinterpret_cast<intptr_t>(at);
        left_ = aside + (bytes < 0 ? -1 : bytes / kUnit);
    };
    uint32_t ip = R[regIP];
    // The code address of the current entry and of the one after it.
#define ZEDI_IP() (e->at)
#define ZEDI_NEXT_IP() (ZEDI_IP() + 4u * e->words)
    // On to the entry after the current one, `n` words on. Handlers of a fixed
    // length pass it as a constant: the next entry's address then does not wait
    // for a load from this one.
#define ZEDI_NEXT_N(n)       \
    do {                     \
        e += (n);            \
        goto* e->label;      \
    } while (0)
#define ZEDI_NEXT() ZEDI_NEXT_N(e->words)
    // Charges the move from `e` to the entry `p` (see `credit`).
#define ZEDI_CHARGE(p)                                                                                  \
    do {                                                                                                \
        credit += reinterpret_cast<intptr_t>(p) - reinterpret_cast<intptr_t>(e) - kUnit;                \
        if (credit < reinterpret_cast<intptr_t>(p)) [[unlikely]] goto spent;                            \
    } while (0)
    // Leaves the run with `r`.
#define ZEDI_RETURN(r)      \
    do {                    \
        int r_ = (r);       \
        settle(e);          \
        return r_;          \
    } while (0)
    // To the entry `p` (a checked jump target).
#define ZEDI_GOTO_ENTRY(p)                  \
    do {                                    \
        const zedi::DecodedInsn* to_ = (p); \
        ZEDI_CHARGE(to_);                   \
        e = to_;                            \
        goto* e->label;                     \
    } while (0)
    // To the entry of the code address in `ip`; the long way outside the code
    // or at an address that is not a multiple of 4.
#define ZEDI_GOTO_IP()                                  \
    do {                                                \
        uint32_t idx_ = (ip >> 2) | (ip << 30);         \
        if (idx_ >= words) goto slow_at;                \
        ZEDI_GOTO_ENTRY(table + idx_);                  \
    } while (0)

    if (!ZEDI_SP_INSIDE()) goto slow_at;
    ZEDI_GOTO_IP();

spent:
    ip = ZEDI_IP();
spent_at:
    R[regIP] = ip;
    left_ = -1;
    return Err("Instruction budget used up");

slow:
    ip = ZEDI_IP();
slow_at: {
    // The long way from `ip`.
    credit -= kUnit;
    if (credit < reinterpret_cast<intptr_t>(e)) goto spent_at;
    R[regIP] = ip;
    int r = Step();
    if (r != 2) ZEDI_RETURN(r);
    h.LoadBases();
    ip = R[regIP];
    if (!ZEDI_SP_INSIDE()) goto slow_at;
    ZEDI_GOTO_IP();
}

L_NONE: {
    auto install = [&](zedi::DecodedInsn& x, uint32_t at) {
        x.at = at;
        x.label = kLabels[x.handler];
        if (Jumps(x.handler)) x.to = table + x.target;
    };
    zedi::DecodedInsn d = Decode(ZEDI_IP());
    if (d.handler == StepJmpHandler(opADD, fREG) || d.handler == StepJmpHandler(opADD, fIMM)) {
        // The end of a loop jumping to the loop's test: both as one entry.
        zedi::DecodedInsn& t = table[d.target];
        if (t.handler == hNONE) {
            t = Decode(d.target * 4);
            install(t, d.target * 4);
        }
        bool same = t.baseB == d.baseA && t.ib == d.ia;
        for (int op = opCMPE; op <= opCMPNL; ++op)
            for (int f2 : {fIMM, fMEMI})
                if (t.handler == TripleHandler(op, fMEMI, f2)) d.handler = LoopHandler(op, d.fb, f2, same);
    }
    install(d, ZEDI_IP());
    table[e - table] = d;
    goto* e->label;
}

L_END:
L_GENERIC:
    goto slow;

L_MARKER:
    if (steps_ > 0) --steps_;
    if (steps_ == 0 && R[regCLI] == 0) {
        R[regIP] = ZEDI_NEXT_IP();
        ZEDI_RETURN(0);
    }
    ZEDI_NEXT_N(1);

L_ZERO: {
    R[regIP] = ZEDI_NEXT_IP();
    int r = Execute0(e->ia, ZEDI_IP());
    if (r != 2) ZEDI_RETURN(r);
    h.LoadBases();
    ip = R[regIP];
    if (!ZEDI_SP_INSIDE()) goto slow_at;  // RET and LEAVE may leave SP outside
    ZEDI_GOTO_IP();
}

L_ENTER: {
    uint32_t stack = R[regSTACK];
    uint32_t sp = R[regSP] - 4;
    if (sp > stackSize) goto slow;
    uint8_t* p = HotMem<4>(h, h.Of(stack + sp));
    if (!p) goto slow;
    zedi::StoreWord(p, R[regFRAME] - stack);
    R[regSP] = sp;
    R[regFRAME] = stack + sp;
    h.SetFrame(stack + sp);
    ZEDI_NEXT_N(1);
}

L_LEAVE_RET:
    ip = ZEDI_IP();
leave_ret: {
    // LEAVE RET in the word at `ip`. Everything is checked before anything
    // changes, so the long way can take over at any failure.
    uint32_t stack = R[regSTACK];
    uint32_t sp = R[regFRAME] - stack;
    if (sp > stackSize) goto slow_at;
    const uint8_t* p = HotMem<4>(h, h.Of(stack + sp));
    if (!p) goto slow_at;
    uint32_t frame = zedi::LoadWord(p) + stack;
    sp += 4;
    if (sp == R[regRETURN_MARK]) {
        R[regFRAME] = frame;
        R[regSP] = sp;
        R[regIP] = ip + 4;
        ZEDI_RETURN(1);
    }
    if (sp > stackSize) goto slow_at;
    const uint8_t* q = HotMem<4>(h, h.Of(stack + sp));
    if (!q) goto slow_at;
    R[regFRAME] = frame;
    h.SetFrame(frame);
    ip = zedi::LoadWord(q);
    R[regSP] = sp + 4;
    if (!ZEDI_SP_INSIDE()) goto slow_at;
    ZEDI_GOTO_IP();
}

    // A move, then LEAVE RET (a function's result).
#define ZEDI_MOV_RET_HANDLER(F)                                  \
    L_MOV_RET_##F : {                                            \
        uint32_t v;                                              \
        if (!SourceWord<F>(h, *e, v)) goto slow;                 \
        R[e->ra] = v;                                            \
        ip = ZEDI_IP() + 4u * (1 + Imm(F));                      \
        goto leave_ret;                                          \
    }
    ZEDI_MOV_RET_HANDLER(fREG)
    ZEDI_MOV_RET_HANDLER(fIMM)
    ZEDI_MOV_RET_HANDLER(fMEMI)
#undef ZEDI_MOV_RET_HANDLER

    // A move, then a push of the register moved into.
#define ZEDI_MOV_PUSH_HANDLER(F)                                 \
    L_MOV_PUSH_##F : {                                           \
        uint32_t v;                                              \
        if (!SourceWord<F>(h, *e, v)) goto slow;                 \
        R[e->ra] = v;                                            \
        if (!PushHot(h, stackSize, v)) {                        \
            ip = ZEDI_IP() + 4u * (1 + Imm(F));                  \
            goto slow_at;                                        \
        }                                                        \
        ZEDI_NEXT_N(2 + Imm(F));                                 \
    }
    ZEDI_MOV_PUSH_HANDLER(fREG)
    ZEDI_MOV_PUSH_HANDLER(fIMM)
    ZEDI_MOV_PUSH_HANDLER(fMEMI)
    ZEDI_MOV_PUSH_HANDLER(fMEMR)
#undef ZEDI_MOV_PUSH_HANDLER

L_CALL_ENTER:
    if (!CallEnterHot(h, stackSize, ZEDI_IP() + 8)) goto slow;
    ZEDI_GOTO_ENTRY(e->to + 1);

L_SP_ADD_MOV:
L_SP_ADD_MOV_PUSH:
    R[regSP] += e->ib;
    ZEDI_STOP_IF_SP_OUTSIDE(ZEDI_IP() + 8);
    R[e->aux] = R[e->aux2];
    if (e->handler == hSP_ADD_MOV) ZEDI_NEXT_N(3);
    if (!PushHot(h, stackSize, R[e->aux])) {
        ip = ZEDI_IP() + 12;
        goto slow_at;
    }
    ZEDI_NEXT_N(4);

    // A pop into a register, then an operation on it. A failure of the
    // operation resumes the long way there.
#define ZEDI_POP_OP_HANDLER(n, F2)                                       \
    LPOP_##n##_##F2 : {                                                  \
        uint32_t v;                                                      \
        if (!PopHot(h, stackSize, v)) goto slow;                         \
        R[e->ra] = v;                                                    \
        ZEDI_STOP_IF_SP_OUTSIDE(ZEDI_IP() + 4);                          \
        if (!PopOp<op##n, F2>(h, *e)) {                                  \
            ip = ZEDI_IP() + 4;                                          \
            goto slow_at;                                                \
        }                                                                \
        ZEDI_NEXT_N(2 + Imm(F2));                                        \
    }
#define ZEDI_POP_OP_HANDLERS(n) ZEDI_POP_OP_FORMS(ZEDI_POP_OP_HANDLER, n)
    ZEDI_TAIL_OPS(ZEDI_POP_OP_HANDLERS)
#undef ZEDI_POP_OP_HANDLERS
#undef ZEDI_POP_OP_HANDLER

    // A move and an operation, then a push or a store of the result.
#define ZEDI_TAIL_HANDLER(n, F1, F2, T)                                          \
    L##T##_##n##_##F1##_##F2 : {                                                \
        int r = Pair<op##n, F1, F2, false>(h, *e);                              \
        if (r == 0) goto slow;                                                  \
        if (r < 0) {                                                            \
            ip = ZEDI_IP() + 4u * (1 + Imm(F1));                                \
            goto slow_at;                                                       \
        }                                                                       \
        if (ZEDI_##T##_TAIL()) {                                                \
            ip = ZEDI_IP() + 4u * (2 + Imm(F1) + Imm(F2));                      \
            goto slow_at;                                                       \
        }                                                                       \
        ZEDI_NEXT_N(2 + Imm(F1) + Imm(F2) + (#T[0] == 'P' ? 1 : 2));            \
    }
#define ZEDI_PUSH_TAIL() !PushHot(h, stackSize, R[e->ra])
#define ZEDI_STORE_TAIL() !StoreHot(h, *e)
#define ZEDI_ADDI_TAIL() (R[e->ra] += e->target, false)
#define ZEDI_ADDM_TAIL() !AddHot(h, *e)
#define ZEDI_ADDTO_TAIL() !AddToHot(h, *e)
#define ZEDI_PUSH_HANDLERS(n) ZEDI_TAIL_FORMS(ZEDI_TAIL_HANDLER, n, PUSH)
#define ZEDI_STORE_HANDLERS(n) ZEDI_TAIL_FORMS(ZEDI_TAIL_HANDLER, n, STORE)
#define ZEDI_ADDI_HANDLERS(n) ZEDI_TAIL_FORMS(ZEDI_TAIL_HANDLER, n, ADDI)
#define ZEDI_ADDM_HANDLERS(n) ZEDI_TAIL_FORMS(ZEDI_TAIL_HANDLER, n, ADDM)
#define ZEDI_ADDTO_HANDLERS(n) ZEDI_TAIL_FORMS(ZEDI_TAIL_HANDLER, n, ADDTO)
    ZEDI_TAIL_OPS(ZEDI_PUSH_HANDLERS)
    ZEDI_TAIL_OPS(ZEDI_STORE_HANDLERS)
    ZEDI_TAIL_OPS(ZEDI_ADDI_HANDLERS)
    ZEDI_TAIL_OPS(ZEDI_ADDM_HANDLERS)
    ZEDI_TAIL_OPS(ZEDI_ADDTO_HANDLERS)
#undef ZEDI_ADDTO_HANDLERS
#undef ZEDI_ADDTO_TAIL
#undef ZEDI_ADDM_HANDLERS
#undef ZEDI_ADDI_HANDLERS
#undef ZEDI_STORE_HANDLERS
#undef ZEDI_PUSH_HANDLERS
#undef ZEDI_ADDM_TAIL
#undef ZEDI_ADDI_TAIL
#undef ZEDI_STORE_TAIL
#undef ZEDI_PUSH_TAIL
#undef ZEDI_TAIL_HANDLER

    // A move and an operation, the result pushed, then a call of a function
    // that starts with ENTER: a failure resumes the long way at the
    // instruction that failed.
#define ZEDI_PUSHCALL_HANDLER(n, F1, F2, T)                                      \
    LPUSHCALL_##n##_##F1##_##F2 : {                                             \
        int r = Pair<op##n, F1, F2, false>(h, *e);                              \
        if (r == 0) goto slow;                                                  \
        ip = ZEDI_IP() + 4u * (1 + Imm(F1));                                    \
        if (r < 0) goto slow_at;                                                \
        ip += 4u * (1 + Imm(F2));                                               \
        if (!PushCallEnterHot(h, stackSize, R[e->ra], ip + 12)) goto slow_at;  \
        ZEDI_GOTO_ENTRY(e->to + 1);                                             \
    }
#define ZEDI_PUSHCALL_HANDLERS(n) ZEDI_TAIL_FORMS(ZEDI_PUSHCALL_HANDLER, n, PUSHCALL)
    ZEDI_TAIL_OPS(ZEDI_PUSHCALL_HANDLERS)
#undef ZEDI_PUSHCALL_HANDLERS
#undef ZEDI_PUSHCALL_HANDLER

    // A move and an operation, an immediate added to the result, then the
    // result added to memory: a failure resumes the long way at the
    // instruction that failed.
#define ZEDI_ADDI_ADDTO_HANDLER(n, F1, F2, T)                                    \
    LADDI_ADDTO_##n##_##F1##_##F2 : {                                           \
        int r = Pair<op##n, F1, F2, false>(h, *e);                              \
        if (r == 0) goto slow;                                                  \
        ip = ZEDI_IP() + 4u * (1 + Imm(F1));                                    \
        if (r < 0) goto slow_at;                                                \
        R[e->ra] += e->ic;                                                      \
        if (!AddToHot(h, *e)) {                                                 \
            ip += 4u * (1 + Imm(F2) + 2);                                       \
            goto slow_at;                                                       \
        }                                                                       \
        ZEDI_NEXT_N(2 + Imm(F1) + Imm(F2) + 2 + 2);                             \
    }
#define ZEDI_ADDI_ADDTO_HANDLERS(n) ZEDI_TAIL_FORMS(ZEDI_ADDI_ADDTO_HANDLER, n, ADDI_ADDTO)
    ZEDI_TAIL_OPS(ZEDI_ADDI_ADDTO_HANDLERS)
#undef ZEDI_ADDI_ADDTO_HANDLERS
#undef ZEDI_ADDI_ADDTO_HANDLER

    // ADD SP, imm; MOV r, r2; POP p; OP p, q [; MOV r3, p; LEAVE RET]: each
    // step as its own handler would take it, a failure resuming the long way
    // at the instruction that failed.
#define ZEDI_SP_MOV_POP_OP_HANDLER(n, RET)                                       \
    LSMP_##n##_##RET : {                                                        \
        R[regSP] += e->ib;                                                      \
        ZEDI_STOP_IF_SP_OUTSIDE(ZEDI_IP() + 8);                                 \
        R[e->aux] = R[e->aux2];                                                 \
        uint32_t v;                                                             \
        if (!PopHot(h, stackSize, v)) {                                         \
            ip = ZEDI_IP() + 12;                                                \
            goto slow_at;                                                       \
        }                                                                       \
        R[e->rb] = v;                                                           \
        ZEDI_STOP_IF_SP_OUTSIDE(ZEDI_IP() + 16);                                \
        R[e->rb] = Arith<op##n>(R, R[e->rb], R[e->fa]);                         \
        if (!RET) ZEDI_NEXT_N(5);                                               \
        R[e->ic] = R[e->rb];                                                    \
        ip = ZEDI_IP() + 24;                                                    \
        goto leave_ret;                                                         \
    }
#define ZEDI_SP_MOV_POP_OP_HANDLERS(n) ZEDI_SP_MOV_POP_OP_HANDLER(n, 0) ZEDI_SP_MOV_POP_OP_HANDLER(n, 1)
    ZEDI_TAIL_OPS(ZEDI_SP_MOV_POP_OP_HANDLERS)
#undef ZEDI_SP_MOV_POP_OP_HANDLERS
#undef ZEDI_SP_MOV_POP_OP_HANDLER

L_JMP:
    ZEDI_GOTO_ENTRY(e->to);

L_JTRUE:
    if (R[e->ra] != 0) ZEDI_GOTO_ENTRY(e->to);
    ZEDI_NEXT_N(2);

L_JFALSE:
    if (R[e->ra] == 0) ZEDI_GOTO_ENTRY(e->to);
    ZEDI_NEXT_N(2);

L_CALL:
    if (!PushHot(h, stackSize, ZEDI_IP() + 8)) goto slow;
    ZEDI_GOTO_ENTRY(e->to);

L_PUSH_R:
L_PUSH_I:
L_PUSH_M: {
    uint32_t v;
    if (e->handler == hPUSH_R) {
        v = R[e->ra];
    } else if (e->handler == hPUSH_I) {
        v = e->ia;
    } else {
        const uint8_t* m = HotMem<4>(h, h.At(e->baseA, e->ia));
        if (!m) goto slow;
        v = zedi::LoadWord(m);
    }
    if (!PushHot(h, stackSize, v)) goto slow;
    ZEDI_NEXT();
}

L_POP_R: {
    uint32_t v;
    if (!PopHot(h, stackSize, v)) goto slow;
    R[e->ra] = v;
    ZEDI_STOP_IF_SP_OUTSIDE(ZEDI_NEXT_IP());
    ZEDI_NEXT_N(1);
}

L_CALLEX: {
    R[regIP] = ZEDI_NEXT_IP();
    int r = CallEx(e->ia, e->ib);
    if (r <= 0) ZEDI_RETURN(r);
    h.LoadBases();
    ip = R[regIP];  // the host may have written the registers
    if (!ZEDI_SP_INSIDE()) goto slow_at;
    ZEDI_GOTO_IP();
}

L_SP_ADD:
    R[regSP] += e->ib;
    ZEDI_STOP_IF_SP_OUTSIDE(ZEDI_NEXT_IP());
    ZEDI_NEXT_N(2);

#define ZEDI_BIN_HANDLER(n, FA, FB)                         \
    L_##n##_##FA##_##FB :                                   \
        if (!BinOp<op##n, FA, FB>(h, *e)) goto slow;        \
        ZEDI_NEXT_N(1 + Imm(FA) + Imm(FB));
#define ZEDI_BIN_HANDLERS(n) ZEDI_BIN_FORMS(ZEDI_BIN_HANDLER, n)
    ZEDI_BIN_OPS(ZEDI_BIN_HANDLERS)
#undef ZEDI_BIN_HANDLERS
#undef ZEDI_BIN_HANDLER

#define ZEDI_CMPJ_HANDLER(n, FB)                            \
    LJ_##n##_##FB : {                                       \
        int r = CmpJump<op##n, FB>(h, *e);                  \
        if (r < 0) goto slow;                               \
        if (r) ZEDI_GOTO_ENTRY(e->to);                  \
        ZEDI_NEXT_N(1 + Imm(FB) + 2);                       \
    }
#define ZEDI_CMPJ_HANDLERS(n) ZEDI_CMPJ_FORMS(ZEDI_CMPJ_HANDLER, n)
    ZEDI_CMP_OPS(ZEDI_CMPJ_HANDLERS)
#undef ZEDI_CMPJ_HANDLERS
#undef ZEDI_CMPJ_HANDLER

    // A failure at the second instruction resumes the long way there.
#define ZEDI_FUSED_HANDLER(L, n, F1, F2, JUMP)                                  \
    L##_##n##_##F1##_##F2 : {                                                   \
        int r = Pair<op##n, F1, F2, JUMP>(h, *e);                               \
        if (r == 0) goto slow;                                                  \
        if (r < 0) {                                                            \
            ip = ZEDI_IP() + (F1 == fIMM || F1 == fMEMI ? 8 : 4);               \
            goto slow_at;                                                       \
        }                                                                       \
        if (JUMP && r == 2) ZEDI_GOTO_ENTRY(e->to);                         \
        ZEDI_NEXT_N(2 + Imm(F1) + Imm(F2) + (JUMP ? 2 : 0));                    \
    }
#define ZEDI_PAIR_HANDLER(n, F1, F2) ZEDI_FUSED_HANDLER(LP, n, F1, F2, false)
#define ZEDI_TRIPLE_HANDLER(n, F1, F2) ZEDI_FUSED_HANDLER(LT, n, F1, F2, true)
#define ZEDI_PAIR_HANDLERS(n) ZEDI_PAIR_FORMS(ZEDI_PAIR_HANDLER, n)
#define ZEDI_TRIPLE_HANDLERS(n) ZEDI_PAIR_FORMS(ZEDI_TRIPLE_HANDLER, n)
    ZEDI_PAIR_OPS(ZEDI_PAIR_HANDLERS)
    ZEDI_CMP_OPS(ZEDI_TRIPLE_HANDLERS)
#undef ZEDI_TRIPLE_HANDLERS
#undef ZEDI_PAIR_HANDLERS
#undef ZEDI_TRIPLE_HANDLER
#undef ZEDI_PAIR_HANDLER
#undef ZEDI_FUSED_HANDLER

#define ZEDI_STEP_JMP_HANDLER(n, FB)                                   \
    LS_##n##_##FB :                                                    \
        if (!BinOp<op##n, fMEMI, FB>(h, *e)) goto slow;                \
        ZEDI_GOTO_ENTRY(e->to);
    ZEDI_STEP_JMPS(ZEDI_STEP_JMP_HANDLER)
#undef ZEDI_STEP_JMP_HANDLER

    // The step, then the test at the jump's target from that entry (`e` moves
    // there): a failure in the test resumes the long way there.
#define ZEDI_LOOP_HANDLER(n, FB, F2, SAME)                                     \
    LL_##n##_##FB##_##F2##_##SAME : {                                          \
        uint32_t stepped;                                                      \
        if (!LoopStep<FB>(h, *e, stepped)) goto slow;                          \
        ZEDI_CHARGE(e->to);                                                    \
        e = e->to;                                                             \
        int r = SAME ? Test<op##n, F2>(h, *e, stepped)                         \
                     : Pair<op##n, fMEMI, F2, true>(h, *e);                    \
        if (r == 0) goto slow;                                                 \
        if (r < 0) {                                                           \
            ip = ZEDI_IP() + 8;                                                \
            goto slow_at;                                                      \
        }                                                                      \
        if (r == 2) ZEDI_GOTO_ENTRY(e->to);                                \
        ZEDI_NEXT_N(2 + 1 + Imm(F2) + 2);                                      \
    }
#define ZEDI_LOOP_HANDLERS(n) ZEDI_LOOP_FORMS(ZEDI_LOOP_HANDLER, n)
    ZEDI_CMP_OPS(ZEDI_LOOP_HANDLERS)
#undef ZEDI_LOOP_HANDLERS
#undef ZEDI_LOOP_HANDLER

#define ZEDI_ELEM_HANDLER(P, A)                                        \
    LE_##P##_##A :                                                     \
        if (!Elem<P, A>(h, *e)) goto slow;                             \
        ZEDI_NEXT_N(ElemWords(P, A));
#define ZEDI_ELEM_HANDLERS(A) ZEDI_ELEM_PREFIXES(ZEDI_ELEM_HANDLER, A)
    ZEDI_ELEM_ACCESSES(ZEDI_ELEM_HANDLERS)
#undef ZEDI_ELEM_HANDLERS
#undef ZEDI_ELEM_HANDLER
#undef ZEDI_GOTO_IP
#undef ZEDI_GOTO_ENTRY
#undef ZEDI_CHARGE
#undef ZEDI_RETURN
#undef R
#undef ZEDI_SP_INSIDE
#undef ZEDI_STOP_IF_SP_OUTSIDE
#undef ZEDI_NEXT
#undef ZEDI_NEXT_IP
#undef ZEDI_IP
}

uint32_t ScratchWord() {
    static uint32_t scratch = 0;
    if (!scratch) scratch = VmSpace::Get().Alloc(8);
    return scratch;
}

int Cpu::ScriptObjectCall(uint32_t slotOffset, uint32_t params, int bytes, uint32_t descriptor) {
    if (bytes < 4) return Err("Invalid script object call");
    uint8_t* first = vm_.Check(params, uint32_t(bytes));
    if (!first) return AccessViolation();
    uint32_t record = zedi::LoadWord(first);
    uint8_t* rec = vm_.Check(record, slotOffset + 4);
    if (!rec || slotOffset < 12 || slotOffset % 4) return Err("Invalid script object");
    scInstance* other = scInstance_From_Handle(zedi::LoadWord(rec + 4));
    if (!other) return Err("Invalid script object");
    int32_t symbol = int32_t(zedi::LoadWord(rec + slotOffset));
    std::vector<int> block(size_t(bytes - 4) / 4);
    if (!block.empty()) std::memcpy(block.data(), first + 4, block.size() * 4);
    zedi::RunResult rr{};
    zedi::VCall(other, symbol, int(block.size() * 4), block.data(), &rr);
    zedi::SetCurrent(inst_);
    if (scLast_Error != 0) return -1;
    R_[regRESULT] = rr.r0;
    if (descriptor & scdescDOUBLE) R_[regRESULT_HIGH] = rr.r1;
    return 1;
}

int Cpu::CallEx(uint32_t slotOffset, uint32_t descriptor) {
    int number = int(descriptor >> scdescDISPATCHER_SHIFT);
    scDispatcher dispatcher = scEngine_Get_Dispatcher(number);
    if (!dispatcher) return Err("Undefined dispatcher (%d) used!\n", number);
    // A script-object call names a word of the record, not an import slot.
    uint32_t callee = 0;
    if (!(descriptor & scdescSCRIPT_OBJECT)) {
        if (slotOffset > importsSize_ || importsSize_ - slotOffset < 4)
            return Err("Invalid import slot %d", int32_t(slotOffset));
        uint8_t* slotp = vm_.Check(importsVm_ + slotOffset, 4);
        if (!slotp) return AccessViolation();
        callee = zedi::LoadWord(slotp);
    }
    int bytes = int(descriptor & scdescBYTES);
    uint32_t sp = R_[regSP];
    if (bytes > 0 ? !StackAt(sp, uint32_t(bytes)) : !CheckSp()) return -1;
    uint32_t params = R_[regSTACK] + sp;
    if (descriptor & scdescSCRIPT_OBJECT) {
        if (ScriptObjectCall(slotOffset, params, bytes, descriptor) < 0) return -1;
    } else {
        uint32_t result = (descriptor & scdescDROP_RESULT) ? ScratchWord() : inst_->block;
        zedi::g_hostFault = false;
        dispatcher(result, callee, params, bytes, descriptor);
        zedi::SetCurrent(inst_);
        if (zedi::g_hostFault) return -1;
    }
    R_[regSP] = R_[regSP] + uint32_t(bytes);
    if (!CheckSp()) return -1;
    if (scLast_Error == scerr_PRIORITY) return Err("Priority violation!");
    scLast_Error = 0;
    if (inst_->killPending || inst_->freePending || top_->freePending) return 0;
    if (inst_->paused && inst_->launched) return 0;
    return 1;
}

// The four zero-operand opcodes of one word.
int Cpu::Execute0(uint32_t word, uint32_t wordAddr) {
    for (int i = 0; i < 4; ++i) {
        uint8_t op = uint8_t(word >> (8 * i));
        switch (op) {
        case opRET: {
            if (R_[regSP] == R_[regRETURN_MARK]) return 1;
            uint32_t ip;
            if (!Pop(ip)) return -1;
            R_[regIP] = ip;
            return 2;
        }
        case opWAIT:
            // Yields with a budget to yield by; otherwise the word goes on.
            if (budget_ >= 1) return 0;
            break;
        case opCLI: R_[regCLI] += 1; break;
        case opSTI:
            if (int32_t(R_[regCLI]) > 0)
                R_[regCLI] -= 1;
            else
                return Err("multitasking violation");
            break;
        case opENTER: {
            uint32_t frame = R_[regFRAME] - R_[regSTACK];
            if (!Push(frame)) return -1;
            R_[regFRAME] = R_[regSTACK] + R_[regSP];
            break;
        }
        case opLEAVE: {
            uint32_t sp = R_[regFRAME] - R_[regSTACK];
            uint8_t* p = StackAt(sp, 4);
            if (!p) return -1;
            R_[regFRAME] = zedi::LoadWord(p) + R_[regSTACK];
            R_[regSP] = sp + 4;
            break;
        }
        case opNOP: break;
        default: return Err("Unknown opcode %d in the script at %d!\n", int(op), int(wordAddr));
        }
    }
    return 2;
}

// Executes one instruction at IP the long way: decodes it from the code bytes and
// resolves its operands in general. Returns 2 to go on, else the run's result.
int Cpu::Step() {
    uint32_t wordAddr = R_[regIP];
    if (zedi::g_trace) zedi::g_trace(inst_, wordAddr);
    uint32_t w;
    if (!Fetch(w)) return -1;
    if (w == scMarkerWord) {
        if (steps_ > 0) --steps_;
        if (steps_ == 0 && R_[regCLI] == 0) return 0;
        return 2;
    }
    int op = w & 63;
    if (op >= scFirstNoOperand) {
        return Execute0(w, wordAddr);
    }
    Operand A, B;
    bool two = op >= scFirstTwoOperand;
    scDecodeOperands(w, op, A, B);
    if (!A.reg) {
        if (!ReadImmediate(A.imm)) return -1;
        if (!two && !A.mem && scTakesDoubleImmediate(op) && !ReadImmediate(A.immHigh)) return -1;
    }
    if (two && !B.reg) {
        if (!ReadImmediate(B.imm)) return -1;
        if (!B.mem && scTakesDoubleImmediate(op) && !ReadImmediate(B.immHigh)) return -1;
    }
    if (op == opNAO || op == opXCHG)
        return Err("Unknown opcode:%d in the script at %d!\n", op, int(wordAddr));

    OperandSizes sz = SizesOf(op);
    uint32_t count = 0;
    if (op == opCOPY) {
        int32_t n = int32_t(R_[regCOUNT]);
        if (n <= 0) return 2;
        count = uint32_t(n);
        sz = {0, 0};
        // An immediate or an import slot is read into an 8-byte temporary.
        auto inTemp = [](const Operand& o) { return !o.reg && (!o.mem || o.base == baseNONE); };
        if (count > 8 && (inTemp(A) || inTemp(B)))
            return Err("Invalid operand of COPY in the script at %d!\n", int(wordAddr));
    }
    uint8_t ta[8], tb[8];
    uint32_t aAddr = 0, bAddr = 0;
    if ((op == opCMOV || op == opWMOV) && A.reg && !A.mem) R_[A.regNo] = 0;
    uint8_t* a = Resolve(A, op == opCOPY ? count : sz.a, ta, aAddr);
    if (!a) return -1;
    uint8_t* b = nullptr;
    if (two) {
        b = Resolve(B, op == opCOPY ? count : sz.b, tb, bAddr);
        if (!b) return -1;
    }
    uint32_t av = 0, bv = 0;
    if (sz.a == 4 || (op == opPUSHADR && !A.mem && !A.reg)) av = zedi::LoadWord(a);
    if (two && sz.b == 4) bv = zedi::LoadWord(b);
    bool flagged = R_[regOPTIONS] & 1;

    switch (op) {
    case opPUSH:
        if (!Push(av)) return -1;
        return 2;
    case opPUSHADR:
        if (!Push(A.mem || A.reg ? aAddr : av)) return -1;
        return 2;
    case opDPUSH: {
        uint32_t sp = R_[regSP] - 8;
        uint8_t* p = StackAt(sp, 8);
        if (!p) return -1;
        std::memmove(p, a, 8);
        R_[regSP] = sp;
        return 2;
    }
    case opPOP: {
        uint32_t v;
        if (!Pop(v)) return -1;
        zedi::StoreWord(a, v);
        break;
    }
    case opNEG: zedi::StoreWord(a, 0u - av); break;
    case opDNEG: StoreDouble(a, -LoadDouble(a)); break;
    case opNOT: zedi::StoreWord(a, av == 0); break;
    case opOPTIONS: R_[regOPTIONS] = av; break;
    case opJMP: R_[regIP] += av; return 2;
    case opCALL:
        if (!Push(R_[regIP])) return -1;
        if (av == 0xFFFFFFFFu) return Err("not defined function called");
        R_[regIP] = av;
        return 2;
    case opMOV: zedi::StoreWord(a, bv); break;
    case opCALLEX: {
        int r = CallEx(av, bv);
        if (r <= 0) return r;
        return 2;
    }
    case opCOPY: std::memmove(a, b, count); break;
    case opADD: case opSUB: case opMUL: case opAND: case opOR: case opXOR: case opSHL:
    case opCMPE: case opANDL: case opORL:
        zedi::StoreWord(a, zedi::IntArith(op, av, bv, false));
        break;
    case opDIV: case opMOD: case opSHR: case opCMPG: case opCMPL: case opCMPNG: case opCMPNL:
        if ((op == opDIV || op == opMOD) && bv == 0) return Err("Division by zero");
        zedi::StoreWord(a, zedi::IntArith(op, av, bv, flagged));
        if (flagged) R_[regOPTIONS] &= ~1u;
        break;
    case opJTRUE:
        if (av != 0) R_[regIP] += bv;
        return 2;
    case opJFALSE:
        if (av == 0) R_[regIP] += bv;
        return 2;
    case opDADD: StoreDouble(a, LoadDouble(a) + LoadDouble(b)); break;
    case opDSUB: StoreDouble(a, LoadDouble(a) - LoadDouble(b)); break;
    case opDMUL: StoreDouble(a, LoadDouble(a) * LoadDouble(b)); break;
    case opDDIV: StoreDouble(a, LoadDouble(a) / LoadDouble(b)); break;
    case opDCMPE: case opDCMPG: case opDCMPL: case opDCMPNG: case opDCMPNL: {
        double x = LoadDouble(a), y = LoadDouble(b);
        bool r = op == opDCMPE ? x == y : op == opDCMPG ? x > y : op == opDCMPL ? x < y
               : op == opDCMPNG ? x <= y : x >= y;
        zedi::StoreWord(a, r);
        break;
    }
    case opFIXMUL:
    case opFIXDIV: zedi::StoreWord(a, zedi::IntArith(op, av, bv, false)); break;
    case opCMOV: *a = *b; break;
    case opWMOV: std::memmove(a, b, 2); break;
    case opDMOV: std::memmove(a, b, 8); break;
    case opIDBL: StoreDouble(a, double(int32_t(bv))); break;
    case opDINT: zedi::StoreWord(a, uint32_t(zedi::DoubleToInt(LoadDouble(b)))); break;
    case opFDBL: {
        float f;
        std::memcpy(&f, b, 4);
        StoreDouble(a, double(f));
        break;
    }
    case opDFLT: {
        float f = float(LoadDouble(b));
        std::memcpy(a, &f, 4);
        break;
    }
    case opDFIX: zedi::StoreWord(a, uint32_t(zedi::DoubleToInt(LoadDouble(b) * 65536.0))); break;
    case opFIXDBL: StoreDouble(a, double(int32_t(bv)) / 65536.0); break;
    case opFORK: {
        if (!A.mem && av == 0xFFFFFFFFu && inst_->parent) {
            // The end of a forked statement in the child (a top instance has no
            // parent to end into: it forks).
            scFree_Instance(inst_);
            return 1;
        }
        scInstance* child = scFork_Instance(inst_);
        if (!child) return Err("Cannot fork");
        zedi::SetCurrent(inst_);
        scLaunch_At(child, budget_, int32_t(R_[regIP]));
        zedi::SetCurrent(inst_);
        zedi::StoreWord(a, uint32_t(child->forkId));
        R_[regIP] = bv;
        break;
    }
    default:
        return Err("Unknown opcode:%d in the script at %d!\n", op, int(wordAddr));
    }
    // Any instruction may have written the stack pointer.
    if (R_[regSP] > stackSize_ && !CheckSp()) return -1;
    return 2;
}

}  // namespace

int scvcpuExecute(scInstance* instance, int steps) {
    scInstance* previous = scGet_This();
    zedi::SetCurrent(instance);
    Cpu cpu(instance, steps);
    int r = cpu.Run();
    if (instance->instructionBudget >= 0) instance->instructionBudget = cpu.Left();
    instance->lastRun = r;
    zedi::SetCurrent(previous);
    return r;
}
