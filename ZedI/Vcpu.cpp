#include "Vcpu.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "Engine.h"
#include "HostCall.h"
#include "Instance.h"
#include "VcpuOps.h"
#include "VmSpace.h"

namespace {

using zedi::VmSpace;

int32_t DoubleToInt(double d) {
    // Out of range and NaN give INT_MIN, as the hardware conversion does.
    if (!(d > -2147483649.0 && d < 2147483648.0)) return INT32_MIN;
    return int32_t(d);
}

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

class Cpu {
public:
    Cpu(scInstance* inst, int steps)
        : inst_(inst), vm_(VmSpace::Get()), budget_(steps), steps_(steps) {
        const auto& L = inst->img->layout;
        code_ = inst->img->bytes.data() + L.code;
        codeSize_ = L.codeSize;
        importsVm_ = inst->img->vm + L.imports;
        importsSize_ = L.code - L.imports;
        stackSize_ = inst->stackSize;
        R_ = inst->Regs();
        top_ = inst->parent ? inst->parent : inst;
    }

    int Run();

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

int Cpu::Run() {
    for (;;) {
        uint32_t wordAddr = R_[regIP];
        uint32_t w;
        if (!Fetch(w)) return -1;
        if (w == scMarkerWord) {
            if (steps_ > 0) --steps_;
            if (steps_ == 0 && R_[regCLI] == 0) return 0;
            continue;
        }
        int op = w & 63;
        if (op >= scFirstNoOperand) {
            int r = Execute0(w, wordAddr);
            if (r != 2) return r;
            continue;
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
            if (n <= 0) continue;
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
            continue;
        case opPUSHADR:
            if (!Push(A.mem || A.reg ? aAddr : av)) return -1;
            continue;
        case opDPUSH: {
            uint32_t sp = R_[regSP] - 8;
            uint8_t* p = StackAt(sp, 8);
            if (!p) return -1;
            std::memmove(p, a, 8);
            R_[regSP] = sp;
            continue;
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
        case opJMP: R_[regIP] += av; continue;
        case opCALL:
            if (!Push(R_[regIP])) return -1;
            if (av == 0xFFFFFFFFu) return Err("not defined function called");
            R_[regIP] = av;
            continue;
        case opMOV: zedi::StoreWord(a, bv); break;
        case opCALLEX: {
            int r = CallEx(av, bv);
            if (r <= 0) return r;
            continue;
        }
        case opCOPY: std::memmove(a, b, count); break;
        case opADD: zedi::StoreWord(a, av + bv); break;
        case opSUB: zedi::StoreWord(a, av - bv); break;
        case opMUL: zedi::StoreWord(a, av * bv); break;
        case opDIV:
        case opMOD: {
            if (bv == 0) return Err("Division by zero");
            uint32_t r;
            if (flagged) {
                r = op == opDIV ? av / bv : av % bv;
            } else {
                int32_t x = int32_t(av), y = int32_t(bv);
                if (x == INT32_MIN && y == -1)
                    r = op == opDIV ? uint32_t(INT32_MIN) : 0;
                else
                    r = uint32_t(op == opDIV ? x / y : x % y);
            }
            zedi::StoreWord(a, r);
            if (flagged) R_[regOPTIONS] &= ~1u;
            break;
        }
        case opCMPE: zedi::StoreWord(a, av == bv); break;
        case opCMPG: case opCMPL: case opCMPNG: case opCMPNL: {
            bool r;
            if (flagged) {
                r = op == opCMPG ? av > bv : op == opCMPL ? av < bv : op == opCMPNG ? av <= bv : av >= bv;
                R_[regOPTIONS] &= ~1u;
            } else {
                int32_t x = int32_t(av), y = int32_t(bv);
                r = op == opCMPG ? x > y : op == opCMPL ? x < y : op == opCMPNG ? x <= y : x >= y;
            }
            zedi::StoreWord(a, r);
            break;
        }
        case opAND: zedi::StoreWord(a, av & bv); break;
        case opOR: zedi::StoreWord(a, av | bv); break;
        case opXOR: zedi::StoreWord(a, av ^ bv); break;
        case opANDL: zedi::StoreWord(a, av != 0 && bv != 0); break;
        case opORL: zedi::StoreWord(a, av != 0 || bv != 0); break;
        case opSHL: zedi::StoreWord(a, av << (bv & 31)); break;
        case opSHR:
            if (flagged) {
                zedi::StoreWord(a, av >> (bv & 31));
                R_[regOPTIONS] &= ~1u;
            } else {
                zedi::StoreWord(a, uint32_t(int32_t(av) >> (bv & 31)));
            }
            break;
        case opJTRUE:
            if (av != 0) R_[regIP] += bv;
            continue;
        case opJFALSE:
            if (av == 0) R_[regIP] += bv;
            continue;
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
        case opDINT: zedi::StoreWord(a, uint32_t(DoubleToInt(LoadDouble(b)))); break;
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
        case opDFIX: zedi::StoreWord(a, uint32_t(DoubleToInt(LoadDouble(b) * 65536.0))); break;
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
    }
}

}  // namespace

int scvcpuExecute(scInstance* instance, int steps) {
    scInstance* previous = scGet_This();
    zedi::SetCurrent(instance);
    Cpu cpu(instance, steps);
    int r = cpu.Run();
    zedi::SetCurrent(previous);
    return r;
}
