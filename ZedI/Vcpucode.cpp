// Code generator: picks the opcode variant for the operand types, encodes the
// instruction word and its immediates, and pads to whole words.
#include <climits>
#include <cstring>

#include "IntArith.h"
#include "VARS.h"

namespace zc {

scByteBuffer code, pool, records, imports;
int codePos = 0;

static inline void Put(const void* bytes, int n) {
    if (codePos + n + 16 < code.capacity) {
        // Room already (the common case): no call into the buffer's growth.
        uint8_t* to = code.data + codePos;
        if (n % 4 == 0) {
            for (int i = 0; i < n; i += 4) std::memcpy(to + i, static_cast<const uint8_t*>(bytes) + i, 4);
        } else {
            std::memcpy(to, bytes, size_t(n));
        }
        codePos += n;
        code.length = codePos;
        return;
    }
    code.length = codePos;
    scbufAppend(&code, n, bytes);
    codePos = code.length;
}

// Writes over earlier code without cutting what lies behind it.
static void PutAt(const void* bytes, int n) {
    if (codePos + n <= code.length) {
        std::memcpy(code.data + codePos, bytes, size_t(n));
        codePos += n;
        return;
    }
    int keep = code.length;
    code.length = codePos;
    scbufAppend(&code, n, bytes);
    codePos = code.length;
    if (keep > code.length) code.length = keep;
}

static bool overwriting = false;

static inline void Out(const void* bytes, int n) {
    if (overwriting)
        PutAt(bytes, n);
    else
        Put(bytes, n);
}

void EmitByte(int op) {
    uint8_t b = uint8_t(op);
    Out(&b, 1);
}

void PadCode() {
    while (codePos % 4) EmitByte(opNOP);
}

static bool IsFloating(int kind) { return kind == tDOUBLE || kind == tFLOAT; }

static bool IsDouble(const Val* v) {
    int k = ValKind(v->t);
    return (k == tDOUBLE) || (v->imm && k == tFLOAT);
}

static uint8_t OneOperandByte(const Val* a) {
    uint8_t b = 0;
    if (a->mode) b |= 0x01 | uint8_t((a->mode & 3) << 2);
    if (a->reg) b |= 0x02;
    return b;
}

// The instruction word and its immediates are gathered as whole words (bytes
// stored one by one and read back as a word would stall the copy) and written
// at once. The word's bytes: the opcode and memory flags, the operand modes,
// the registers of operands 1 and 2 (little-endian, as the immediates).
static void Encode(int op, const Val* a, const Val* b) {
    PadCode();
    const int start = codePos;
    uint32_t w[5];
    int at = 1;  // words gathered
    const int n = scOpcodes[op].operands;
    // While a fork body is read on trial: its code uses stack room of the
    // child's own when it addresses frame room below the fork's, or pushes
    // (call arguments and return addresses would land over the copied frame).
    auto ownFrame = [](const Val* v) { return v->mode == modeFRAME && v->off < forkFrameBase; };
    const bool pushes = op == opPUSH || op == opPUSHADR || op == opDPUSH || op == opCALL;
    if (forkFrameBase != INT_MIN && (pushes || ownFrame(a) || (n == 2 && ownFrame(b)))) forkOwnFrame = true;
    if (n == 1) {
        w[0] = uint32_t(uint8_t(op)) | uint32_t(OneOperandByte(a)) << 8 | (a->reg ? uint32_t(uint8_t(a->r)) << 16 : 0);
    } else {
        uint32_t b0 = uint8_t(uint8_t(op) | (a->mode ? 0x40 : 0) | (b->mode ? 0x80 : 0));
        uint32_t b1 = uint8_t((a->reg ? 0x01 : 0) | ((a->mode & 3) << 1) | (b->reg ? 0x10 : 0) | ((b->mode & 3) << 5));
        w[0] = b0 | b1 << 8 | (a->reg ? uint32_t(uint8_t(a->r)) << 16 : 0) | (b->reg ? uint32_t(uint8_t(b->r)) << 24 : 0);
    }
    auto word = [&](int32_t x) { w[at++] = uint32_t(x); };
    auto imm = [&](const Val* v, bool dbl) {
        if (v->reg) return;
        if (dbl && v->imm) {
            uint64_t bits;
            std::memcpy(&bits, &v->d, 8);
            w[at++] = uint32_t(bits);
            w[at++] = uint32_t(bits >> 32);
        } else {
            word(v->off);
        }
    };
    // Relative jumps: JMP from the word's position + 8, JTRUE/JFALSE from the end.
    if (op == opJMP && a->imm && !a->reg && !a->mode) {
        word(a->off - (start + 8));
    } else {
        imm(a, n == 1 && scTakesDoubleImmediate(op));
        if (n == 2) {
            if ((op == opJTRUE || op == opJFALSE) && b->imm && !b->reg && !b->mode)
                word(b->off - (start + 4 * at + 4));
            else
                imm(b, scTakesDoubleImmediate(op));
        }
    }
    Out(w, 4 * at);
}

// Keeps the register that addresses a memory destination taken while its value,
// loaded into another register (which released it), is worked on before the
// store back.
struct HoldAddress {
    int r = -1;
    explicit HoldAddress(const Val& a) {
        if (a.mode && a.reg && a.r >= 2 && a.r < 240 && !regUsed[a.r]) regUsed[r = a.r] = true;
    }
    ~HoldAddress() {
        if (r >= 0) regUsed[r] = false;
    }
    HoldAddress(const HoldAddress&) = delete;
    HoldAddress& operator=(const HoldAddress&) = delete;
};

static Type FixedType() {
    Type t;
    t.base = tFIXED;
    return t;
}

static int DoubleForm(int op) {
    switch (op) {
    case opMOV: return opDMOV;
    case opADD: return opDADD;
    case opSUB: return opDSUB;
    case opMUL: return opDMUL;
    case opDIV: return opDDIV;
    case opCMPE: return opDCMPE;
    case opCMPG: return opDCMPG;
    case opCMPL: return opDCMPL;
    case opCMPNG: return opDCMPNG;
    case opCMPNL: return opDCMPNL;
    }
    Error(scerr_CODEGEN, "Invalid `%s' operand for floating", scOpcodes[op].name);
}

void Emit(int op, Val* a, Val* b) {
    if ((op & 0xFF) == 0 && op != 0) {
        PadCode();
        uint32_t w = uint32_t(op);
        Out(&w, 4);
        return;
    }
    int n = scOpcodes[op].operands;
    if (op >= scFirstNoOperand) {
        EmitByte(op);
        return;
    }
    RequireValue(*a);
    if (n == 2) RequireValue(*b);
    if (n == 2) {
        // The common case: two signed words (ints, pointers) that are values,
        // neither a char or short in memory: the instruction as it is.
        auto word = [](const Val* v) {
            return !v->addr && !v->t.uns && (v->t.decl.empty() ? v->t.base == tINT : ValKind(v->t) == vPOINTER);
        };
        if (word(a) && word(b) && op != opJTRUE && op != opJFALSE) {
            Encode(op, a, b);
            return;
        }
    }
    if (n == 1) {
        if (a->addr) {
            if (op != opPUSH) Error(scerr_CODEGEN, "Code generation error for %s with ADDRESS value", scOpcodes[op].name);
            Val x = *a;
            x.addr = false;
            Encode(opPUSHADR, &x, nullptr);
            return;
        }
        int k = ValKind(a->t);
        if (a->mode && (k == tCHAR || k == tSHORT)) {
            Val r = Load(*a);
            Encode(op, &r, nullptr);
            FreeVal(r);
            return;
        }
        if (IsDouble(a) || (a->mode && k == tFLOAT)) {
            if (op == opPUSH) op = opDPUSH;
            else if (op == opNEG) op = opDNEG;
            else Error(scerr_CODEGEN, "Code generation error for %s with double", scOpcodes[op].name);
        }
        Encode(op, a, nullptr);
        return;
    }
    if (a->addr || b->addr) {
        if (b->addr && !a->addr) {
            Val x = Decay(*b);
            Emit(op, a, &x);
            FreeVal(x);
            return;
        }
        Error(scerr_CODEGEN, "Code generation error for %s with ADDRESS value", scOpcodes[op].name);
    }
    if (op == opJTRUE || op == opJFALSE) {
        if (a->imm) {
            bool taken = (a->off != 0) == (op == opJTRUE);
            if (taken) {
                Val t = *b;
                Encode(opJMP, &t, nullptr);
            }
            return;
        }
        Encode(op, a, b);
        return;
    }
    if (op == opFORK || op == opCALLEX || op == opCOPY || (op >= opCMOV && op <= opFIXDBL)) {
        Encode(op, a, b);
        return;
    }
    int ka = ValKind(a->t), kb = ValKind(b->t);
    bool floating = IsFloating(ka) || IsFloating(kb);
    // A division with a fixed operand becomes FIXDIV below (a fixed destination,
    // an integer one in memory, an int register), which takes no unsigned flag:
    // the flag would stay set for the next signed operation.
    const bool fixedDivision = op == opDIV && (ka == tFIXED || (kb == tFIXED && (a->mode || ka == tINT)));
    if ((a->t.uns || b->t.uns) && zedi::scTakesUnsignedFlag(op) && !floating && !fixedDivision) {
        Val one = Imm(1);
        Encode(opOPTIONS, &one, nullptr);
    }
    if (a->mode && (IsFloating(kb) || kb == tFIXED) && (ka == tINT || ka == tCHAR || ka == tSHORT || ka == vPOINTER)) {
        // An integer destination: a floating value is truncated toward zero
        // (DINT), a fixed one loses its fraction; a compound assignment computes
        // in double or fixed first.
        if (ka == vPOINTER && kb != tFIXED) Error(scerr_CONVERSION, scMSG_ILLEGAL_CONVERSION, "from floating to pointer");
        Val s;
        if (op == opMOV) {
            s = ToInt(*b);
        } else {
            Val r = Load(*a);
            HoldAddress hold(*a);
            r = IsFloating(kb) ? ToDouble(r) : ConvertTo(r, FixedType());
            Emit(op, &r, b);
            s = ToInt(r);
        }
        Encode(ka == tCHAR ? opCMOV : ka == tSHORT ? opWMOV : opMOV, a, &s);
        FreeVal(s);
        return;
    }
    if (a->mode) {
        if (ka == tCHAR || ka == tSHORT) {
            int store = ka == tCHAR ? opCMOV : opWMOV;
            if (op == opMOV) {
                Val s = ToInt(*b);
                if (s.mode) s = Load(s);
                Encode(store, a, &s);
                if (&s != b && s.reg) FreeVal(s);
                return;
            }
            Val r = Load(*a);
            HoldAddress hold(*a);
            Val s = ToInt(*b);
            Emit(op, &r, &s);
            Encode(store, a, &r);
            FreeVal(r);
            return;
        }
        if (ka == tFIXED) {
            Val s = ConvertTo(*b, a->t);
            if (op == opMUL) op = opFIXMUL;
            if (op == opDIV) op = opFIXDIV;
            Encode(op, a, &s);
            return;
        }
        if (ka == tFLOAT) {
            if (op == opMOV) {
                if (b->imm) {
                    float f = kb == tDOUBLE || kb == tFLOAT ? float(b->d) : kb == tFIXED ? float(b->off / 65536.0) : float(b->off);
                    Val s = Imm(0);
                    std::memcpy(&s.off, &f, 4);
                    Encode(opMOV, a, &s);
                    return;
                }
                if (kb == tFLOAT || kb == vPOINTER) {
                    Encode(opMOV, a, b);
                    return;
                }
                Val s = ToDouble(*b);
                Encode(opDFLT, a, &s);
                FreeVal(s);
                return;
            }
            Val r = Load(*a);
            HoldAddress hold(*a);
            Val s = ToDouble(*b);
            Emit(op, &r, &s);
            if (ValKind(r.t) == tDOUBLE) Encode(opDFLT, a, &r);
            else Encode(opMOV, a, &r);
            FreeVal(r);
            return;
        }
        if (ka == tDOUBLE) {
            Val s = ToDouble(*b);
            Encode(DoubleForm(op), a, &s);
            return;
        }
        if (b->mode && (kb == tCHAR || kb == tSHORT)) {
            // A char or short is widened (CMOV, WMOV) before a word is written.
            Val s = Load(*b);
            Emit(op, a, &s);
            FreeVal(s);
            return;
        }
    } else {
        if (b->mode && kb == tSHORT && op == opMOV && ka != tDOUBLE) {
            Encode(opWMOV, a, b);
            return;
        }
        if (b->mode && kb == tCHAR && op == opMOV && ka != tDOUBLE) {
            Encode(opCMOV, a, b);
            return;
        }
        if ((b->mode && (kb == tSHORT || kb == tCHAR)) || (kb == tFLOAT && !b->imm)) {
            Val s = Load(*b);
            Emit(op, a, &s);
            FreeVal(s);
            return;
        }
        if (ka == tFIXED || (ka == tINT && kb == tFIXED && op != opMOV)) {
            Val s = ConvertTo(*b, FixedType());
            if (ka != tFIXED) {
                Val x = ConvertTo(*a, s.t);
                *a = x;
            }
            if (op == opMUL) op = opFIXMUL;
            if (op == opDIV) op = opFIXDIV;
            Encode(op, a, &s);
            return;
        }
        if (ka == tDOUBLE || kb == tDOUBLE || ka == tFLOAT || kb == tFLOAT) {
            Val s = ToDouble(*b);
            if (ka != tDOUBLE) *a = ToDouble(*a);
            Encode(DoubleForm(op), a, &s);
            if (op >= opCMPE && op <= opCMPNL) a->t = Type();
            return;
        }
    }
    Encode(op, a, b);
}

void EmitAt(int position, int op, Val* a, Val* b) {
    int keep = codePos;
    codePos = position;
    overwriting = true;
    Emit(op, a, b);
    overwriting = false;
    codePos = keep;
}

}  // namespace zc
