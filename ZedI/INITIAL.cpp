// Initialisers: globals by data-initialisation records, locals by code.
#include <cstdlib>
#include <cstring>

#include "VARS.h"

namespace zc {

namespace {

const char* g_variable = "";  // the variable being initialised, for messages
// A local's brace list: its frame address (the offsets of its bytes count from it).
int32_t g_localAddress = 0;
// A local's single initial value: its room, taken before a temporary that
// outlives the value, else filled by the value's push.
PendingRoom* g_room = nullptr;
int g_braceDepth = 0;  // brace lists being read, one inside the other

// The element of a local's brace list at `target` bytes from its start.
Val LocalElement(const Type& t, int target) {
    Val element;
    element.mode = modeFRAME;
    element.off = g_localAddress + target;
    element.t = t;
    element.t.cnst = false;
    return element;
}

// A value computed inside a local's brace list: its bytes copied from the pool
// stay zero and code after the copy stores it into its element, converted as an
// assignment converts.
int StoreComputedElement(const Type& t, Val v, scByteBuffer* out, int& target) {
    int size = SizeOf(t);
    Val element = LocalElement(t, target);
    if (ValKind(t) == vSTRUCT && t.decl.empty()) {
        // A one-word structure moves as a word, wherever it is (as in an assignment).
        if (size == 4) {
            Emit(opMOV, &element, &v);
        } else {
            Val cnt = Reg(regCOUNT), n = Imm(size);
            Emit(opMOV, &cnt, &n);
            Emit(opCOPY, &element, &v);
        }
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

// Stores a local's initial value into its room, taken already, as an assignment
// would; a structure without constructors is copied.
void StoreInitialValue(scSymbol* s, Val v) {
    Type t = SymType(s);
    t.stat = false;
    if (ValKind(t) == vSTRUCT && t.decl.empty()) {
        CopyInitialValue(s, v);
        return;
    }
    Val local;
    local.mode = modeFRAME;
    local.off = s->address;
    local.t = t;
    Val c = ConvertTo(v, local.t, narrowBYSTORE);
    if (c.mode) c = Load(c);
    Emit(opMOV, &local, &c);
    FreeVal(c);
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
        if (inBody) {
            // Code loads the string's address: pushed as the local's value, or
            // stored into its element of a brace list.
            Val v;
            v.mode = modePOOL;
            v.off = at;
            v.t = t;
            Val a = AddressOf(v);
            if (outermost) {
                Emit(opPUSH, &a);
                FreeVal(a);
                g_room->Pushed();
                return 0;
            }
            Val element = LocalElement(t, target);
            Emit(opMOV, &element, &a);
            FreeVal(a);
        }
        uint32_t zero = 0;
        scbufAppend(out, 4, &zero);
        if (!inBody) {
            // A pool-pointer record: the loader writes the string's address there.
            scbufAppendWord(side, target);
            scbufAppendWord(side, -2);
            scbufAppendWord(side, at);
        }
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
    if (inBody && outermost && g_room->Taken()) {
        // Temporaries lie below the local's room: the value is stored into it.
        StoreInitialValue(g_room->Local(), Decay(v));
        return 0;
    }
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
            g_room->Pushed();
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
        g_room->Pushed();
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

// A local's brace list (or a char array's string): the copy of its constant
// bytes from the pool comes first, with the count and the pool offset patched
// once the list is read; the code of its computed elements follows, emitted
// where it stays. Their bytes go to the pool behind what the elements' own code
// put there.
static void ReadLocalBraceList(scSymbol* s, const Type& t) {
    const int size = SizeOf(t);
    PadCode();
    const int countAt = codePos;
    Val cnt = Reg(regCOUNT), placeholder = Imm(0);
    Emit(opMOV, &cnt, &placeholder);
    Val sp = Reg(regSP), room = Imm(Align4(size));
    Emit(opSUB, &sp, &room);
    ClearRegisters();
    Val from = Reg(AllocReg()), pb = Reg(regPOOL);
    const int startAt = codePos;
    Emit(opMOV, &from, &placeholder);
    Emit(opADD, &from, &pb);
    Val local;
    local.mode = modeFRAME;
    local.off = s->address;
    Val bytesAt = from;
    bytesAt.mode = modeABSOLUTE;
    Emit(opCOPY, &local, &bytesAt);
    regUsed[from.r] = false;
    scByteBuffer bytes, side;
    scbufInit(&bytes, 64);
    scbufInit(&side, 64);
    g_localAddress = s->address;
    int target = 0;
    int written = Direct(true, t, &bytes, &side, target, true);
    if (written == 0) INTERNAL_ERROR("sciReadInitialization:brace list");
    if (written > size) INTERNAL_ERROR("sciReadInitialization:size<=type_size");
    Val count = Imm(written), start = Imm(pool.length);
    scbufAppend(&pool, bytes.length, bytes.data);
    EmitAt(countAt, opMOV, &cnt, &count);
    EmitAt(startAt, opMOV, &from, &start);
}

void ReadInitialization(scSymbol* s, bool inBody) {
    g_variable = s->name;
    Type t = SymType(s);
    t.stat = false;
    if (IsFunction(t)) Error(scerr_DECLARATION, "Declaring function `%s' with `='", s->name);
    Next();
    if (!t.decl.empty() && t.decl[0] == '&') {
        if (!inBody) Error(scerr_DECLARATION, "invalid initialization of reference `%s'", s->name);
        PendingRoom room(s);
        Val v;
        if (!SubExp(2, v, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
        if (ValKind(v.t) != ValKind(Deeper(t))) Error(scerr_DECLARATION, "types do not match for initialization of reference `%s'", s->name);
        if (v.mode == modeNONE) Error(scerr_OPERAND, "Invalid reference initializer");  // not in memory
        Val a = AddressOf(v);
        if (room.Taken()) {
            Val local;
            local.mode = modeFRAME;
            local.off = s->address;
            Emit(opMOV, &local, &a);
            FreeVal(a);
            return;
        }
        Emit(opPUSH, &a);
        room.Pushed();
        return;
    }
    scByteBuffer side;
    scbufInit(&side, 64);
    int size = SizeOf(t);
    if (inBody) {
        if (Is("{") || (t.decl[0] == '[' && Lex()[0] == '"')) {
            ReadLocalBraceList(s, t);
            return;
        }
        PendingRoom room(s);
        PendingRoom* outer = g_room;
        g_room = &room;
        struct Back {
            PendingRoom* outer;
            ~Back() { g_room = outer; }
        } back{outer};
        int target = 0;
        if (Direct(true, t, &pool, &side, target, true) != 0) INTERNAL_ERROR("sciReadInitialization:single value");
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
