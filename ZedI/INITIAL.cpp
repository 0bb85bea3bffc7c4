// Initialisers: globals by data-initialisation records, locals by code.
#include <cstdlib>
#include <cstring>

#include "VARS.h"

namespace zc {

namespace {

const char* g_variable = "";  // the variable being initialised, for messages
// A local's brace list: the pool offset of its first byte and its frame address.
int g_localStart = 0;
int32_t g_localAddress = 0;
int g_braceDepth = 0;  // brace lists being read, one inside the other

// A value computed inside a local's brace list: its bytes in the pool stay zero
// and the code (held back by the caller until the pool's bytes are copied)
// stores it into its element, converted as an assignment converts.
int StoreComputedElement(const Type& t, Val v, scByteBuffer* out, int& target) {
    int size = SizeOf(t);
    Val element;
    element.mode = modeFRAME;
    element.off = g_localAddress + (target - g_localStart);
    element.t = t;
    element.t.cnst = false;
    if (ValKind(t) == vSTRUCT && t.decl.empty() && size != 4) {
        Val cnt = Reg(regCOUNT), n = Imm(size);
        Emit(opMOV, &cnt, &n);
        Emit(opCOPY, &element, &v);
    } else {
        if (v.mode && ValKind(t) != tDOUBLE) {
            // Memory to memory goes through a register.
            int k = ValKind(v.t);
            if (k != tCHAR && k != tSHORT && k != tFLOAT && k != tDOUBLE) v = Load(v);
        }
        Emit(opMOV, &element, &v);
    }
    FreeVal(v);
    std::vector<uint8_t> z(size_t(size), 0);
    scbufAppend(out, size, z.data());
    target += size;
    return size;
}

// Whether a global's bytes hold the value of type `to` when copied at load time
// from a variable of type `from`: the same kind, an int and a pointer, or an
// integer's low bytes for a narrower char or short. Any other needs a conversion,
// which is code.
bool CopiesAsIs(const Type& to, const Type& from) {
    int kt = ValKind(to), kf = ValKind(from);
    auto word = [](int k) { return k == tINT || k == vPOINTER; };
    if (kt == kf) return kt != vSTRUCT || SizeOf(to) == SizeOf(from);
    if (word(kt) && word(kf)) return true;
    return (kt == tCHAR && (kf == tSHORT || word(kf))) || (kt == tSHORT && word(kf));
}

// Reads one initial value of type t. In data mode the bytes go to `out` (records)
// and negative-kind records to `side`; `target` is the data offset of the next
// byte. In a body the bytes go to the pool. Returns the bytes written, or 0 when
// the value was pushed by code.
int Direct(bool inBody, const Type& t, scByteBuffer* out, scByteBuffer* side, int& target, bool outermost) {
    // One level per brace of the list, as deep as the type's arrays and structures.
    Nesting guard(g_braceDepth, 256, "Initializers");
    int k = ValKind(t);
    const char* l = Lex();
    if (!t.decl.empty() && t.decl[0] == '*' && l[0] == '"') {
        Type pt = Deeper(t);
        if (!(pt.decl.empty() && pt.base == tCHAR)) Error(scerr_DECLARATION, "Illegal array initialization with string");
        std::string s(l + 1, std::strlen(l) - 2);
        int at = PoolString(s.c_str(), int(s.size()));
        Next();
        if (inBody && outermost) {
            Val v;
            v.mode = modePOOL;
            v.off = at;
            v.t = t;
            Val a = AddressOf(v);
            Emit(opPUSH, &a);
            FreeVal(a);
            return 0;
        }
        if (inBody) Error(scerr_DECLARATION, "Illegal initializer");
        uint32_t zero = 0;
        scbufAppend(out, 4, &zero);
        scbufAppendWord(side, target);
        scbufAppendWord(side, -2);
        scbufAppendWord(side, at);
        target += 4;
        return 4;
    }
    if (!t.decl.empty() && t.decl[0] == '*' && l[0] == '{') Error(scerr_DECLARATION, "Don't use {} in initialization of pointer.");
    if (!t.decl.empty() && t.decl[0] == '[') {
        int n = std::atoi(t.decl.c_str() + 1);
        Type et = Deeper(t);
        if (l[0] == '"') {
            if (!(et.decl.empty() && (et.base == tCHAR))) Error(scerr_DECLARATION, "Illegal array initialization with string");
            std::string s(l + 1, std::strlen(l) - 2);
            s += '\0';
            if (!inBody || !outermost) {
                while (int(s.size()) < n) s += '\0';
            }
            scbufAppend(out, int(s.size()), s.data());
            target += int(s.size());
            Next();
            return int(s.size());
        }
        if (l[0] != '{') Error(scerr_DECLARATION, "Illegal initializer");
        Next();
        int written = 0;
        for (int i = 0; i < n; i++) {
            int w = Direct(inBody, et, out, side, target, false);
            if (!w) INTERNAL_ERROR("Read_Init_Type[]");
            written += w;
            if (i < n - 1) {
                Expect(",");
                Next();
            }
        }
        if (Is(",")) Next();
        Expect("}");
        Next();
        return written;
    }
    if (k == vSTRUCT && t.decl.empty() && l[0] == '{') {
        Next();
        int size = SizeOf(t), written = 0;
        bool first = true;
        for (scSymbol* m = t.st->members; m; m = m->next) {
            Type mt = SymType(m);
            if (IsFunction(mt)) continue;
            if (!first) {
                Expect(",", "`,' expected instead of `%s'", scerr_DECLARATION);
                Next();
            }
            first = false;
            int a = AlignOf(mt);
            while (a && written % a) {
                uint8_t z = 0;
                scbufAppend(out, 1, &z);
                written++;
                target++;
            }
            written += Direct(inBody, mt, out, side, target, false);
        }
        if (Is(",")) Next();
        Expect("}", "`}' expected instead of `%s'", scerr_DECLARATION);
        Next();
        while (written < size) {
            uint8_t z = 0;
            scbufAppend(out, 1, &z);
            written++;
            target++;
        }
        return size;
    }
    // A single value. An imported variable at the top level is copied at load time.
    if (!inBody && !IsPunct((unsigned char)l[0])) {
        scSymbol* s = scdicLookup(symbols, l);
        if (s && (s->flags & 0x20) && !IsFunction(SymType(s))) {
            Next();
            if (Is(";") || Is(",") || Is("}")) {
                Val imported;
                imported.t = SymType(s);
                if (k == vSTRUCT && t.decl.empty()) RequireStructInitializer(g_variable, t, imported);
                if (!CopiesAsIs(t, imported.t)) Error(scerr_DECLARATION, "Illegal initializer");
                int size = SizeOf(t);
                std::vector<uint8_t> z(size_t(size), 0);
                scbufAppend(out, size, z.data());
                scbufAppendWord(side, target);
                scbufAppendWord(side, -4);
                scbufAppendWord(side, ImportSymbol(s));
                scbufAppendWord(side, size);
                target += size;
                return size;
            }
            Back();
        }
    }
    ClearRegisters();
    int before = codePos;
    Val v;
    if (!SubExp(2, v, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
    if (k == vPOINTER && ValKind(v.t) != vPOINTER && !(v.imm && ValKind(v.t) == tINT))
        Error(scerr_DECLARATION, "Illegal initializer");
    if (k == vSTRUCT && t.decl.empty()) RequireStructInitializer(g_variable, t, v);
    if (inBody && outermost) {
        if (k == vSTRUCT) {
            int size = SizeOf(t);
            Val sp = Reg(regSP), n = Imm(Align4(size)), cnt = Reg(regCOUNT), sz = Imm(size);
            Emit(opSUB, &sp, &n);
            Emit(opMOV, &cnt, &sz);
            Val dst = Reg(AllocReg()), st = Reg(regSTACK);
            Emit(opMOV, &dst, &sp);
            Emit(opADD, &dst, &st);
            Val mem = dst;
            mem.mode = modeABSOLUTE;
            Emit(opCOPY, &mem, &v);
            return 0;
        }
        Val c = ConvertTo(v, t, narrowBYSTORE);
        if (ValKind(t) == tDOUBLE) {
            c = ToDouble(c);
            Emit(opPUSH, &c);
        } else if (ValKind(t) == tFLOAT) {
            c = ToDouble(c);
            if (c.imm) {
                float f = float(c.d);
                Val w = Imm(0);
                std::memcpy(&w.off, &f, 4);
                Emit(opPUSH, &w);
            } else {
                Val w = Reg(AllocReg());
                Emit(opDFLT, &w, &c);
                Emit(opPUSH, &w);
            }
        } else {
            Emit(opPUSH, &c);
        }
        return 0;
    }
    if (inBody && (codePos != before || !v.imm)) return StoreComputedElement(t, Decay(v), out, target);
    if (codePos != before) Error(scerr_DECLARATION, "Illegal initializer");
    int size = SizeOf(t);
    if (v.imm) {
        Val c = ConvertTo(v, t, narrowBYSTORE);
        uint8_t bytes[8] = {};
        if (k == tDOUBLE) {
            double d = c.d;
            std::memcpy(bytes, &d, 8);
        } else if (k == tFLOAT) {
            float f = float(c.d);
            std::memcpy(bytes, &f, 4);
        } else {
            std::memcpy(bytes, &c.off, 4);
        }
        if (k == tLONG || k == tREGISTER || k == tVOID) INTERNAL_ERROR("scsReadDirectInitialization");
        scbufAppend(out, size, bytes);
        target += size;
        return size;
    }
    if (v.mode == modeDATA && !v.reg && !inBody && k == vPOINTER && !v.t.decl.empty() && v.t.decl[0] == '[') {
        // An array names its address: the pointer gets data + offset.
        uint32_t zero = 0;
        scbufAppend(out, 4, &zero);
        scbufAppendWord(side, target);
        scbufAppendWord(side, -1);
        scbufAppendWord(side, v.off);
        target += 4;
        return 4;
    }
    if (!inBody && (v.mode == modeDATA || (v.sym && (v.sym->flags & 0x20))) && !v.reg && !CopiesAsIs(t, v.t))
        Error(scerr_DECLARATION, "Illegal initializer");
    if (v.mode == modeDATA && !v.reg && !inBody) {
        uint8_t zero[8] = {};
        std::vector<uint8_t> z(size_t(size), 0);
        scbufAppend(out, size, z.data());
        scbufAppendWord(side, target);
        scbufAppendWord(side, -3);
        scbufAppendWord(side, v.off);
        scbufAppendWord(side, size);
        target += size;
        (void)zero;
        return size;
    }
    if (inBody) Error(scerr_DECLARATION, "Illegal initializer");
    if (v.sym && (v.sym->flags & 0x20)) {
        std::vector<uint8_t> z(size_t(size), 0);
        scbufAppend(out, size, z.data());
        scbufAppendWord(side, target);
        scbufAppendWord(side, -4);
        scbufAppendWord(side, v.sym->address);
        scbufAppendWord(side, size);
        target += size;
        return size;
    }
    Error(scerr_DECLARATION, "Illegal initializer");
}

}  // namespace

void ReadInitialization(scSymbol* s, bool inBody) {
    g_variable = s->name;
    Type t = SymType(s);
    t.stat = false;
    if (IsFunction(t)) Error(scerr_DECLARATION, "Declaring function `%s' with `='", s->name);
    Next();
    if (!t.decl.empty() && t.decl[0] == '&') {
        if (!inBody) Error(scerr_DECLARATION, "invalid initialization of reference `%s'", s->name);
        Val v;
        if (!SubExp(2, v, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
        if (ValKind(v.t) != ValKind(Deeper(t))) Error(scerr_DECLARATION, "types do not match for initialization of reference `%s'", s->name);
        if (v.mode == modeNONE) Error(scerr_OPERAND, "Invalid reference initializer");  // not in memory
        Val a = AddressOf(v);
        Emit(opPUSH, &a);
        return;
    }
    scByteBuffer side;
    scbufInit(&side, 64);
    int size = SizeOf(t);
    if (inBody) {
        int start = pool.length;
        int target = start;
        // The held-back code begins on a word, as it lands after the copy.
        PadCode();
        int codeStart = codePos;
        g_localStart = start;
        g_localAddress = s->address;
        int written = Direct(true, t, &pool, &side, target, true);
        if (written == 0) return;
        if (written > size) INTERNAL_ERROR("sciReadInitialization:size<=type_size");
        // Take out the code that reading emitted and put it back after the copy.
        std::vector<uint8_t> kept(code.data + codeStart, code.data + codePos);
        codePos = codeStart;
        code.length = codeStart;
        Val cnt = Reg(regCOUNT), n = Imm(written);
        Emit(opMOV, &cnt, &n);
        Val sp = Reg(regSP), room = Imm(Align4(size));
        Emit(opSUB, &sp, &room);
        int r = AllocReg();
        Val src2 = Reg(r), off = Imm(start), pb = Reg(regPOOL);
        Emit(opMOV, &src2, &off);
        Emit(opADD, &src2, &pb);
        Val local;
        local.mode = modeFRAME;
        local.off = s->address;
        Val from = src2;
        from.mode = modeABSOLUTE;
        Emit(opCOPY, &local, &from);
        regUsed[r] = false;
        if (!kept.empty()) {
            code.length = codePos;
            scbufAppend(&code, int(kept.size()), kept.data());
            codePos = code.length;
        }
        scbufAppend(&pool, side.length, side.data);
        return;
    }
    scbufAppendWord(&records, s->address);
    scbufAppendWord(&records, size);
    int target = s->address;
    int written = Direct(false, t, &records, &side, target, true);
    if (written != 0 && written != size)
        INTERNAL_ERROR("sciReadInitialization:size==type_size");
    scbufAppend(&records, side.length, side.data);
}

}  // namespace zc
