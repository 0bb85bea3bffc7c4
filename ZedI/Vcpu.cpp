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

// One code word decoded as the start of an instruction. Every word address gets
// its own entry, so code reached by a computed jump into the immediates of
// another instruction decodes as what it is from there.
struct DecodedInsn {
    uint16_t handler;       // 0: not decoded yet
    uint8_t len;            // bytes with the immediates (of all fused instructions)
    uint8_t ra, rb;         // register numbers of operands 1 and 2
    uint8_t baseA, baseB;   // register holding the base of a memory operand
    uint8_t aux;            // fused instructions: see Cpu::Decode
    uint32_t ia, ib;        // immediates of operands 1 and 2 (the word itself for
                            // a zero-operand word)
    uint32_t ic;            // fused instructions: the jump's offset
    uint8_t op, fa, fb;     // opcode and operand forms as decoded
    uint8_t aux2;
};
static_assert(sizeof(DecodedInsn) == 24);

// The decoded entries of an image's code, one per word, filled in as the CPU
// first reaches each word. The code bytes never change after loading, so an
// entry stays valid for the image's life. The table comes zero-filled from
// calloc, so a large image costs memory only for the pages that run.
struct DecodedCode {
    DecodedInsn* table = nullptr;
    uint32_t words = 0;
};

void FreeDecodedCode(DecodedCode* code) {
    if (!code) return;
    std::free(code->table);
    delete code;
}

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

// ---- Decoded instructions ----
//
// Run() executes each code word through its decoded entry. The common forms
// (integer operations on registers, immediates and memory at a base plus an
// immediate or at a register, jumps, calls, pushes and pops) have handlers of
// their own; every other instruction, and every case a handler does not take on
// (a failed access check, a division by zero, a stack pointer out of the stack),
// goes the long way through Step(), which then produces exactly the result or
// the error it always did. A handler changes nothing before it knows it will
// complete, so Step() starts from the same state.

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
    hNONE,     // not decoded yet
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
constexpr uint16_t kHandlers = hSTEP_JMP + 4;

constexpr uint8_t kJumpIfTrue = 0x80;  // in DecodedInsn::aux, beside the compare's length

int FormOf(const scOperandBits& o) {
    if (!o.mem) return o.reg ? fREG : fIMM;
    if (!o.reg) return o.base == baseNONE ? fOTHER : fMEMI;
    return o.base == baseNONE ? fMEMR : fOTHER;
}

uint8_t BaseRegister(uint8_t base) {
    switch (base) {
    case basePOOL: return regPOOL;
    case baseDATA: return regDATA;
    case baseFRAME: return regFRAME;
    default: return 0;
    }
}

// The handler for an instruction with opcode `op` (0-54) and operand forms.
uint16_t PickHandler(int op, int fa, int fb, uint8_t ra, uint32_t ia) {
    // Writes to the IP and SP registers take the long way: handlers keep IP in a
    // local and count on SP staying inside the stack. Moving SP by a constant
    // after a call or for locals has a handler that checks it.
    if (fa == fREG && ra == regSP && fb == fIMM && (op == opADD || op == opSUB)) return hSP_ADD;
    bool destOk = (fa == fREG && ra != regIP && ra != regSP) || fa == fMEMI || fa == fMEMR;
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
    case opPOP: return fa == fREG && ra != regIP ? hPOP_R : hGENERIC;
    default: return hGENERIC;
    }
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
        // The run holds the image: its decoded table must outlive the run even
        // when the instance is freed on the way (the end of a forked statement).
        img_ = inst->img;
        if (!img_->decoded) {
            img_->decoded.reset(new zedi::DecodedCode);
            uint32_t words = codeSize_ / 4;
            void* table = words ? std::calloc(words, sizeof(zedi::DecodedInsn)) : nullptr;
            if (table) {
                img_->decoded->table = static_cast<zedi::DecodedInsn*>(table);
                img_->decoded->words = words;
            }
        }
        table_ = img_->decoded->table;
        words_ = img_->decoded->words;  // 0 (all the long way) when the table failed
        regBlock_ = inst->block;
        uint32_t blockSize = vm_.BlockSize(inst->block);
        blockLimit1_ = blockSize;
        blockLimit4_ = blockSize >= 4 ? blockSize - 3 : 0;
        vmBase_ = vm_.Ptr(0);
    }

    int Run();
    // Instructions the instance may still execute after this run.
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

    // Host memory of `size` (1 or 4) bytes at `addr`, null when not accessible.
    // Accesses to the instance's own block (registers, data, stack) take two
    // compares; others go through the space's check.
    template <uint32_t size>
    [[gnu::always_inline]] uint8_t* Mem(uint32_t addr) {
        uint32_t off = addr - regBlock_;
        if (off < (size == 1 ? blockLimit1_ : blockLimit4_)) return vmBase_ + addr;
        return vm_.Check(addr, size);
    }
    // The IP after an instruction that ends at `next` and wrote memory at `addr`:
    // a write into the register block may have set the IP register.
    [[gnu::always_inline]] uint32_t NextAfterWrite(uint32_t addr, uint32_t next) const {
        return addr - regBlock_ < scRegisterBlockSize ? R_[regIP] : next;
    }
    // Handlers run only while SP lies inside the stack; an instruction that
    // leaves it there without an error (RET, LEAVE and POP may) sends the
    // following ones the long way until SP is back, so each reports the same
    // error it always did.
    [[gnu::always_inline]] bool SpInside() const { return R_[regSP] <= stackSize_; }
    // Host memory of the stack word a push would write, its script address in
    // `at`; null when the push fails (the long way then reports it).
    [[gnu::always_inline]] uint8_t* PushSlot(uint32_t& at) {
        uint32_t sp = R_[regSP] - 4;
        if (sp > stackSize_) return nullptr;
        at = R_[regSTACK] + sp;
        return Mem<4>(at);
    }
    zedi::DecodedInsn Single(uint32_t ip) const;
    zedi::DecodedInsn Decode(uint32_t ip) const;
    template <int OP, int F1, int F2, bool JUMP>
    bool Pair(const zedi::DecodedInsn& e, uint32_t& ip, uint32_t next);
    template <int OP, int FB>
    bool CmpJump(const zedi::DecodedInsn& e, uint32_t& ip, uint32_t next);
    template <int OP, int FA, int FB>
    int Bin(const zedi::DecodedInsn& e, uint32_t& ip, uint32_t next);
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
    int64_t left_;  // instructions left; a run that uses them all up fails
    std::shared_ptr<zedi::LoadedImage> img_;
    zedi::DecodedInsn* table_;
    uint32_t words_;
    uint32_t regBlock_, blockLimit1_, blockLimit4_;
    uint8_t* vmBase_;
};

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
            if (budget_ >= 1) return 0;
            return 2;
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

zedi::DecodedInsn Cpu::Single(uint32_t ip) const {
    zedi::DecodedInsn d{};
    d.handler = hGENERIC;
    d.len = 4;
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
    d.len = uint8_t(at - ip);
    d.ra = A.regNo;
    d.rb = B.regNo;
    d.baseA = BaseRegister(A.base);
    d.baseB = BaseRegister(B.base);
    d.op = uint8_t(op);
    d.fa = uint8_t(FormOf(A));
    d.fb = uint8_t(two ? FormOf(B) : fIMM);
    d.handler = PickHandler(op, d.fa, d.fb, A.regNo, d.ia);
    if (d.handler == hSP_ADD && op == opSUB) d.ib = 0u - d.ib;
    return d;
}

// Decodes the instruction at `ip`, fused with the ones after it when they form
// one of these sequences on one general register r:
//   CMPx r, s; Jcc r                (aux: the compare's length and the sense)
//   MOV r, s1; OP r, s2 [; Jcc r]   (s1 in rb, baseB, ib; s2 in aux, aux2, ia;
//                                    the jump's offset in ic, its sense in fa)
//   ADD or SUB [imm + base], s; JMP (aux: the first one's length; ic: the offset)
zedi::DecodedInsn Cpu::Decode(uint32_t ip) const {
    zedi::DecodedInsn d = Single(ip);
    uint32_t at = ip + d.len;
    if ((d.op == opADD || d.op == opSUB) && d.handler >= hBIN && d.fa == fMEMI &&
        (d.fb == fREG || d.fb == fIMM) && (at >> 2) < words_) {
        zedi::DecodedInsn n = Single(at);
        if (n.handler == hJMP) {
            d.handler = StepJmpHandler(d.op, d.fb);
            d.aux = d.len;
            d.len = uint8_t(d.len + n.len);
            d.ic = n.ia;
        }
        return d;
    }
    // Only handlers of their own fuse: general register destinations, the
    // code there complete.
    if (d.handler < hBIN || d.fa != fREG || d.ra >= regCODE || (at >> 2) >= words_) return d;
    zedi::DecodedInsn n = Single(at);
    auto jumpOn = [&](uint32_t where, zedi::DecodedInsn& j) {
        if ((where >> 2) >= words_) return false;
        j = Single(where);
        return (j.handler == hJTRUE || j.handler == hJFALSE) && j.ra == d.ra;
    };
    zedi::DecodedInsn j{};
    if (d.op >= opCMPE && d.op <= opCMPNL && d.fb <= fMEMI) {
        if (jumpOn(at, j)) {
            d.handler = CmpJumpHandler(d.op, d.fb);
            d.aux = uint8_t(d.len | (j.handler == hJTRUE ? kJumpIfTrue : 0));
            d.len = uint8_t(d.len + j.len);
            d.ia = j.ib;  // the jump's offset
        }
        return d;
    }
    if (d.op != opMOV || n.handler < hBIN || n.fa != fREG || n.ra != d.ra || kPairs.of[n.op] < 0) return d;
    zedi::DecodedInsn f = d;
    f.aux = n.rb;
    f.aux2 = n.baseB;
    f.ia = n.ib;
    f.len = uint8_t(d.len + n.len);
    f.handler = PairHandler(kPairs.of[n.op], d.fb, n.fb);
    if (n.op >= opCMPE && n.op <= opCMPNL && jumpOn(at + n.len, j)) {
        f.handler = TripleHandler(n.op, d.fb, n.fb);
        f.len = uint8_t(f.len + j.len);
        f.ic = j.ib;
        f.fa = j.handler == hJTRUE;
    }
    return f;
}

// A two-operand integer operation. Returns 1 when done, 0 to take the long way
// (nothing changed but the IP register and what the long way changes first
// anyway), -1 after an error.
template <int OP, int FA, int FB>
[[gnu::always_inline]] inline int Cpu::Bin(const zedi::DecodedInsn& e, uint32_t& ip, uint32_t next) {
    constexpr uint32_t size = OP == opCMOV ? 1 : 4;
    R_[regIP] = next;  // what the operands see of the IP register
    // A register destination of CMOV is cleared before the operands are
    // resolved (operand 2 may use it). The long way clears it again.
    if constexpr (OP == opCMOV && FA == fREG) R_[e.ra] = 0;
    uint8_t* a;
    uint32_t aAddr = 0;
    if constexpr (FA == fREG) {
        a = reinterpret_cast<uint8_t*>(R_ + e.ra);
    } else {
        aAddr = FA == fMEMI ? e.ia + R_[e.baseA] : R_[e.ra];
        a = Mem<size>(aAddr);
        if (!a) return 0;
    }
    const uint8_t* b = nullptr;
    if constexpr (FB == fREG) {
        b = reinterpret_cast<const uint8_t*>(R_ + e.rb);
    } else if constexpr (FB != fIMM) {
        b = Mem<size>(FB == fMEMI ? e.ib + R_[e.baseB] : R_[e.rb]);
        if (!b) return 0;
    }
    if constexpr (OP == opCMOV) {
        if constexpr (FB == fIMM)
            *a = uint8_t(e.ib);
        else
            *a = *b;
    } else {
        uint32_t av = zedi::LoadWord(a);
        uint32_t bv;
        if constexpr (FB == fIMM)
            bv = e.ib;
        else
            bv = zedi::LoadWord(b);
        if constexpr (OP == opMOV) {
            zedi::StoreWord(a, bv);
        } else {
            if constexpr (OP == opDIV || OP == opMOD)
                if (bv == 0) return 0;
            bool uns = false;
            if constexpr (zedi::scTakesUnsignedFlag(OP)) uns = R_[regOPTIONS] & 1;
            zedi::StoreWord(a, zedi::IntArith(OP, av, bv, uns));
            if constexpr (zedi::scTakesUnsignedFlag(OP))
                if (uns) R_[regOPTIONS] &= ~1u;
        }
    }
    if constexpr (FA == fREG) {
        ip = next;  // not the IP or SP register: the decoder leaves those the long way
    } else if (aAddr - regBlock_ < scRegisterBlockSize) {
        // The write went into the register block: it may have set IP or SP.
        ip = R_[regIP];
        if (R_[regSP] > stackSize_ && !CheckSp()) return -1;
    } else {
        ip = next;
    }
    return 1;
}

// A compare and the conditional jump after it. False to take the long way
// (nothing changed but the IP register).
template <int OP, int FB>
[[gnu::always_inline]] inline bool Cpu::CmpJump(const zedi::DecodedInsn& e, uint32_t& ip, uint32_t next) {
    R_[regIP] = ip + (e.aux & ~kJumpIfTrue);  // the end of the compare
    uint32_t bv;
    if constexpr (FB == fREG) {
        bv = R_[e.rb];
    } else if constexpr (FB == fIMM) {
        bv = e.ib;
    } else {
        const uint8_t* b = Mem<4>(e.ib + R_[e.baseB]);
        if (!b) return false;
        bv = zedi::LoadWord(b);
    }
    uint32_t av = R_[e.ra];
    bool uns = false;
    if constexpr (OP != opCMPE) uns = R_[regOPTIONS] & 1;
    bool r = zedi::IntArith(OP, av, bv, uns);
    R_[e.ra] = r;
    if (uns) R_[regOPTIONS] &= ~1u;
    ip = r == bool(e.aux & kJumpIfTrue) ? next + e.ia : next;
    R_[regIP] = ip;
    return true;
}

// MOV r, s1; OP r, s2, and with JUMP the conditional jump on r after them.
// False to take the long way, from the first instruction when nothing changed
// yet, else from the second one (`ip` moved there).
template <int OP, int F1, int F2, bool JUMP>
[[gnu::always_inline]] inline bool Cpu::Pair(const zedi::DecodedInsn& e, uint32_t& ip, uint32_t next) {
    constexpr uint32_t len1 = F1 == fIMM || F1 == fMEMI ? 8 : 4;
    constexpr uint32_t len2 = F2 == fIMM || F2 == fMEMI ? 8 : 4;
    const uint32_t mid = ip + len1;
    R_[regIP] = mid;
    uint32_t v;
    if constexpr (F1 == fREG) {
        v = R_[e.rb];
    } else if constexpr (F1 == fIMM) {
        v = e.ib;
    } else {
        const uint8_t* p = Mem<4>(F1 == fMEMI ? e.ib + R_[e.baseB] : R_[e.rb]);
        if (!p) return false;
        v = zedi::LoadWord(p);
    }
    R_[e.ra] = v;
    R_[regIP] = mid + len2;
    uint32_t bv;
    if constexpr (F2 == fREG) {
        bv = R_[e.aux];
    } else if constexpr (F2 == fIMM) {
        bv = e.ia;
    } else {
        const uint8_t* p = Mem<4>(F2 == fMEMI ? e.ia + R_[e.aux2] : R_[e.aux]);
        if (!p) {
            ip = mid;
            return false;
        }
        bv = zedi::LoadWord(p);
    }
    uint32_t av = R_[e.ra];
    uint32_t r;
    bool uns = false;
    if constexpr (zedi::scTakesUnsignedFlag(OP)) uns = R_[regOPTIONS] & 1;
    r = zedi::IntArith(OP, av, bv, uns);
    R_[e.ra] = r;
    if (uns) R_[regOPTIONS] &= ~1u;
    if constexpr (JUMP) {
        R_[regIP] = next;
        ip = (r != 0) == bool(e.fa) ? next + e.ic : next;
        R_[regIP] = ip;
    } else {
        ip = next;
    }
    return true;
}

int Cpu::Run() {
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
    static const void* const kLabels[] = {
        &&L_NONE, &&L_GENERIC, &&L_MARKER, &&L_ZERO, &&L_ENTER, &&L_LEAVE_RET, &&L_JMP,
        &&L_JTRUE, &&L_JFALSE, &&L_CALL, &&L_PUSH_R, &&L_PUSH_I, &&L_PUSH_M, &&L_POP_R,
        &&L_SP_ADD, &&L_CALLEX, ZEDI_BIN_OPS(ZEDI_BIN_LABELS) ZEDI_CMP_OPS(ZEDI_CMPJ_LABELS)
        ZEDI_PAIR_OPS(ZEDI_PAIR_LABELS) ZEDI_CMP_OPS(ZEDI_TRIPLE_LABELS)
        ZEDI_STEP_JMPS(ZEDI_STEP_JMP_LABEL)};
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

    uint32_t ip = R_[regIP];
    const zedi::DecodedInsn* e;
    uint32_t next;
    // To the handler of the word at ip; the long way outside the table (a word
    // address past the code or not a multiple of 4).
#define ZEDI_DISPATCH()                                  \
    do {                                                 \
        if (--left_ < 0) goto spent;                     \
        uint32_t idx_ = (ip >> 2) | (ip << 30);          \
        if (idx_ >= words_) goto slow;                   \
        e = table_ + idx_;                               \
        next = ip + e->len;                              \
        goto* kLabels[e->handler];                       \
    } while (0)

    if (!SpInside()) goto slow;
    ZEDI_DISPATCH();

spent:
    R_[regIP] = ip;
    return Err("Instruction budget used up");

slow: {
    if (--left_ < 0) goto spent;
    R_[regIP] = ip;
    int r = Step();
    if (r != 2) return r;
    ip = R_[regIP];
    if (!SpInside()) goto slow;
    ZEDI_DISPATCH();
}

L_NONE:
    table_[e - table_] = Decode(ip);
    next = ip + e->len;
    goto* kLabels[e->handler];

L_GENERIC:
    goto slow;

L_MARKER:
    R_[regIP] = next;
    if (steps_ > 0) --steps_;
    if (steps_ == 0 && R_[regCLI] == 0) return 0;
    ip = next;
    ZEDI_DISPATCH();

L_ZERO: {
    R_[regIP] = next;
    int r = Execute0(e->ia, ip);
    if (r != 2) return r;
    ip = R_[regIP];
    if (!SpInside()) goto slow;  // RET and LEAVE may leave SP outside
    ZEDI_DISPATCH();
}

L_ENTER: {
    R_[regIP] = next;
    uint32_t frame = R_[regFRAME] - R_[regSTACK];
    uint32_t at;
    uint8_t* p = PushSlot(at);
    if (!p) goto slow;
    R_[regSP] -= 4;
    zedi::StoreWord(p, frame);
    R_[regFRAME] = R_[regSTACK] + R_[regSP];
    ip = NextAfterWrite(at, next);
    if (!SpInside()) goto slow;
    ZEDI_DISPATCH();
}

L_LEAVE_RET: {
    // Everything is checked before anything changes, so the long way can take
    // over at any failure.
    R_[regIP] = next;
    uint32_t stack = R_[regSTACK];
    uint32_t sp = R_[regFRAME] - stack;
    if (sp > stackSize_) goto slow;
    const uint8_t* p = Mem<4>(stack + sp);
    if (!p) goto slow;
    uint32_t frame = zedi::LoadWord(p) + stack;
    sp += 4;
    if (sp == R_[regRETURN_MARK]) {
        R_[regFRAME] = frame;
        R_[regSP] = sp;
        return 1;
    }
    // The return address must not lie in the registers LEAVE sets.
    uint32_t at = stack + sp;
    if (sp > stackSize_ || at - regBlock_ < scRegisterBlockSize) goto slow;
    const uint8_t* q = Mem<4>(at);
    if (!q) goto slow;
    R_[regFRAME] = frame;
    ip = zedi::LoadWord(q);
    R_[regSP] = sp + 4;
    R_[regIP] = ip;
    if (!SpInside()) goto slow;
    ZEDI_DISPATCH();
}

L_JMP:
    ip = next + e->ia;
    R_[regIP] = ip;
    ZEDI_DISPATCH();

L_JTRUE:
    R_[regIP] = next;
    ip = R_[e->ra] != 0 ? next + e->ib : next;
    R_[regIP] = ip;
    ZEDI_DISPATCH();

L_JFALSE:
    R_[regIP] = next;
    ip = R_[e->ra] == 0 ? next + e->ib : next;
    R_[regIP] = ip;
    ZEDI_DISPATCH();

L_CALL: {
    R_[regIP] = next;
    uint32_t at;
    uint8_t* p = PushSlot(at);
    if (!p) goto slow;
    R_[regSP] -= 4;
    zedi::StoreWord(p, next);
    ip = e->ia;
    R_[regIP] = ip;
    ZEDI_DISPATCH();
}

L_PUSH_R:
L_PUSH_I:
L_PUSH_M: {
    R_[regIP] = next;
    uint32_t v;
    if (e->handler == hPUSH_R) {
        v = R_[e->ra];
    } else if (e->handler == hPUSH_I) {
        v = e->ia;
    } else {
        const uint8_t* m = Mem<4>(e->ia + R_[e->baseA]);
        if (!m) goto slow;
        v = zedi::LoadWord(m);
    }
    uint32_t at;
    uint8_t* p = PushSlot(at);
    if (!p) goto slow;
    R_[regSP] -= 4;
    zedi::StoreWord(p, v);
    ip = NextAfterWrite(at, next);
    if (!SpInside()) goto slow;
    ZEDI_DISPATCH();
}

L_POP_R: {
    R_[regIP] = next;
    uint32_t sp = R_[regSP];
    if (sp > stackSize_) goto slow;
    const uint8_t* p = Mem<4>(R_[regSTACK] + sp);
    if (!p) goto slow;
    uint32_t v = zedi::LoadWord(p);
    R_[regSP] = sp + 4;
    R_[e->ra] = v;
    ip = next;
    if (!SpInside() && !CheckSp()) return -1;
    ZEDI_DISPATCH();
}

L_CALLEX: {
    R_[regIP] = next;
    int r = CallEx(e->ia, e->ib);
    if (r <= 0) return r;
    ip = R_[regIP];  // the host may have written the registers
    if (!SpInside()) goto slow;
    ZEDI_DISPATCH();
}

L_SP_ADD:
    R_[regIP] = next;
    R_[regSP] += e->ib;
    ip = next;
    if (!SpInside() && !CheckSp()) return -1;
    ZEDI_DISPATCH();

#define ZEDI_BIN_HANDLER(n, FA, FB)            \
    L_##n##_##FA##_##FB : {                    \
        int r = Bin<op##n, FA, FB>(*e, ip, next); \
        if (r < 0) return -1;                  \
        if (r == 0) goto slow;                 \
        ZEDI_DISPATCH();                       \
    }
#define ZEDI_BIN_HANDLERS(n) ZEDI_BIN_FORMS(ZEDI_BIN_HANDLER, n)
    ZEDI_BIN_OPS(ZEDI_BIN_HANDLERS)
#undef ZEDI_BIN_HANDLERS
#undef ZEDI_BIN_HANDLER

#define ZEDI_CMPJ_HANDLER(n, FB)                   \
    LJ_##n##_##FB : {                              \
        if (!CmpJump<op##n, FB>(*e, ip, next)) goto slow; \
        ZEDI_DISPATCH();                           \
    }
#define ZEDI_CMPJ_HANDLERS(n) ZEDI_CMPJ_FORMS(ZEDI_CMPJ_HANDLER, n)
    ZEDI_CMP_OPS(ZEDI_CMPJ_HANDLERS)
#undef ZEDI_CMPJ_HANDLERS
#undef ZEDI_CMPJ_HANDLER

#define ZEDI_FUSED_HANDLER(L, n, F1, F2, JUMP)                         \
    L##_##n##_##F1##_##F2 : {                                          \
        if (!Pair<op##n, F1, F2, JUMP>(*e, ip, next)) goto slow;       \
        ZEDI_DISPATCH();                                               \
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

    // The JMP runs unless the write went into the register block and moved IP.
#define ZEDI_STEP_JMP_HANDLER(n, FB)                                   \
    LS_##n##_##FB : {                                                  \
        uint32_t stepNext = ip + e->aux;                               \
        int r = Bin<op##n, fMEMI, FB>(*e, ip, stepNext);               \
        if (r < 0) return -1;                                          \
        if (r == 0) goto slow;                                         \
        if (ip == stepNext) {                                          \
            ip = next + e->ic;                                         \
            R_[regIP] = ip;                                            \
        }                                                              \
        ZEDI_DISPATCH();                                               \
    }
    ZEDI_STEP_JMPS(ZEDI_STEP_JMP_HANDLER)
#undef ZEDI_STEP_JMP_HANDLER
#undef ZEDI_DISPATCH
}

// Executes one instruction at IP the long way: decodes it from the code bytes and
// resolves its operands in general. Returns 2 to go on, else the run's result.
int Cpu::Step() {
    uint32_t wordAddr = R_[regIP];
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
        zedi::StoreWord(a, uint32_t(uint64_t(int64_t(int32_t(av)) * int64_t(int32_t(bv))) >> 16));
        break;
    case opFIXDIV:
        if (bv != 0)
            zedi::StoreWord(a, uint32_t(int64_t(uint64_t(int64_t(int32_t(av))) << 16) / int64_t(int32_t(bv))));
        else
            zedi::StoreWord(a, av << 16);
        break;
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
        if (!A.mem && av == 0xFFFFFFFFu) {
            // The end of a forked statement in the child.
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
