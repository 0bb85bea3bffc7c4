// Types and values: sizes, alignment, registers, conversions, the pool and the
// import table.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "IntArith.h"
#include "VARS.h"

namespace zc {

bool regUsed[256];
std::vector<scSymbol*> paramTable;

static const char* const kTypeNames[] = {"int", "long", "char", "fixed", "float", "double", "short", "register", "void"};
static const int kSizes[] = {4, 8, 1, 4, 4, 8, 2, 4, 0};

// ---- Declarator texts ----------------------------------------------------------
// Equal texts made during a compile share one copy, kept in the compile's blocks
// (the sweep frees them): a hash set of them, emptied when a sweep has passed.
namespace {
struct DeclTexts {
    std::vector<const char*> slots;
    size_t used = 0;
    unsigned sweeps = ~0u;
} g_decls;

const char* KeptText(const char* text, size_t n) {
    if (!n) return "";
    DeclTexts& d = g_decls;
    if (d.sweeps != scmSweeps() || d.slots.empty()) {
        d.slots.assign(256, nullptr);
        d.used = 0;
        d.sweeps = scmSweeps();
    }
    if (2 * (d.used + 1) > d.slots.size()) {
        std::vector<const char*> old(d.slots.size() * 2, nullptr);
        old.swap(d.slots);
        for (const char* t : old)
            if (t) {
                size_t i = scdicHashOf(t, std::strlen(t)) & (d.slots.size() - 1);
                while (d.slots[i]) i = (i + 1) & (d.slots.size() - 1);
                d.slots[i] = t;
            }
    }
    size_t mask = d.slots.size() - 1;
    for (size_t i = scdicHashOf(text, n) & mask;; i = (i + 1) & mask) {
        const char* t = d.slots[i];
        if (!t) {
            auto* copy = static_cast<char*>(scmAlloc(int(n + 1)));
            std::memcpy(copy, text, n);
            copy[n] = 0;
            d.slots[i] = copy;
            ++d.used;
            return copy;
        }
        if (std::strncmp(t, text, n) == 0 && t[n] == 0) return t;
    }
}
}  // namespace

Decl::Decl(const char* text) : p_(KeptText(text, std::strlen(text))) {}
Decl::Decl(const std::string& text) : p_(KeptText(text.data(), text.size())) {}

void SetSymType(scSymbol* s, const Type& t) {
    s->typeKind = (t.base << 8) | (t.uns ? 0x20 : 0) | (t.cnst ? 0x10 : 0) | (t.stat ? 0x40 : 0) |
                  (t.base == vSTRUCT ? 1 : 0);
    s->typeString = scmStrdup(t.decl.c_str());
    if (t.base == vSTRUCT) s->members = t.st;
}


static size_t ElementEnd(const char* d) {
    if (!d[0]) return 0;
    if (d[0] == '*' || d[0] == '&') return 1;
    if (d[0] == '[') {
        const char* e = std::strchr(d, ']');
        return e ? size_t(e - d) + 1 : 0;
    }
    if (d[0] == '(') {
        int depth = 0;
        for (size_t i = 0; d[i]; i++) {
            if (d[i] == '(') depth++;
            if (d[i] == ')' && --depth == 0) return i + 1;
        }
    }
    return std::strlen(d);
}
static size_t ElementEnd(const Decl& d) { return ElementEnd(d.c_str()); }
static size_t ElementEnd(const std::string& d) { return ElementEnd(d.c_str()); }

Type Deeper(const Type& t) {
    Type r = t;
    if (IsFunction(t)) return r;
    r.decl = t.decl.substr(ElementEnd(t.decl));
    return r;
}

Type ResultType(const Type& ft) {
    Type t = ft;
    t.decl = ft.decl.substr(ElementEnd(ft.decl));
    return t;
}

int ValKindOfDeclarator(const Type& t) {
    // A reference or a function is the kind of what it refers to or returns.
    for (Decl d = t.decl;; d = d.substr(ElementEnd(d))) {
        if (d.empty()) return t.base;
        if (d[0] == '*' || d[0] == '[') return vPOINTER;
    }
}

// Sizes stop growing here, well past any object a declaration accepts, so that
// huge arrays and structures cannot overflow the arithmetic on them.
constexpr int64_t kSizeCap = 1 << 28;

// A structure's size and alignment from its members: each member at its
// alignment; the whole rounded up to the structure's own alignment, that of
// its first data member. The members' own layouts are known by then, so this
// walks one list.
static void StructLayout(scSymbol* st, int& size, int& align) {
    int64_t at = 0;
    align = 0;
    bool first = true;
    for (scSymbol* m = st ? st->members : nullptr; m; m = m->next) {
        Type mt = SymType(m);
        if (IsFunction(mt)) continue;
        int a = AlignOf(mt);
        if (first) align = a;
        first = false;
        if (a) at = (at + a - 1) / a * a;
        at = std::min<int64_t>(at + SizeOf(mt), kSizeCap);
    }
    if (align) at = (at + align - 1) / align * align;
    size = int(at);
}

// Whether the record keeps the layout of its complete body.
static bool LayoutKept(const scSymbol* st) { return st && st->layoutOf && st->layoutOf == st->members; }

void KeepStructLayout(scSymbol* st) {
    if (!st || st->typeKind != 2 || !st->members) return;
    st->layoutOf = nullptr;
    StructLayout(st, st->layoutSize, st->layoutAlign);
    st->layoutOf = st->members;
}

// The element type's text after the leading array dimensions of `d`.
static const char* AfterDimensions(const char* d) {
    while (d[0] == '[') {
        const char* e = std::strchr(d, ']');
        if (!e) break;
        d = e + 1;
    }
    return d;
}

int SizeOf(const Type& t) {
    if (t.decl.empty()) {
        if (t.base == vSTRUCT && t.st && t.st->typeKind == 8) {
            // A script object: 12 bytes and one word per function member.
            int size = 12;
            for (scSymbol* m = t.st->members; m; m = m->next)
                if (IsFunction(SymType(m))) size += 4;
            return size;
        }
        if (t.base == vSTRUCT) {
            if (LayoutKept(t.st)) return t.st->layoutSize;
            int size, align;
            StructLayout(t.st, size, align);
            return size;
        }
        return kSizes[t.base];
    }
    char c = t.decl[0];
    if (c == '*' || c == '&' || c == '(') return 4;
    if (c == '[') {
        // The element's size times the dimensions' product (both capped, which
        // gives the capped product of all).
        int64_t count = 1, element = 4;
        for (const char* d = t.decl.c_str();;) {
            const char* e = d[0] == '[' ? std::strchr(d, ']') : nullptr;
            if (!e) {
                Type et = t;
                et.decl = Decl::Borrow(d);
                element = SizeOf(et);
                break;
            }
            if (e == d + 1) break;  // "[]": a word
            count = std::min<int64_t>(count * std::atoi(d + 1), kSizeCap);
            d = e + 1;
        }
        const int64_t size = std::min<int64_t>(count * element, kSizeCap);
        return int(size);
    }
    return 4;
}

int AlignOf(const Type& t) {
    if (!t.decl.empty()) {
        if (t.decl[0] != '[') return 4;
        Type element = t;
        element.decl = Decl::Borrow(AfterDimensions(t.decl.c_str()));
        return AlignOf(element);
    }
    switch (t.base) {
    case tSHORT: return 2;
    case tINT: case tFLOAT: case tDOUBLE: return 4;
    case vSTRUCT:
        if (t.st && t.st->typeKind == 8) return 4;  // a script object: words
        if (LayoutKept(t.st)) return t.st->layoutAlign;
        for (scSymbol* m = t.st ? t.st->members : nullptr; m; m = m->next) {
            Type mt = SymType(m);
            if (!IsFunction(mt)) return AlignOf(mt);
        }
        return 0;
    default: return 0;
    }
}

int Align4(int n) { return (n + 3) & ~3; }

// A structure's name with the structures it is declared in ("O::I").
static std::string QualifiedName(const scSymbol* st) {
    if (!st || !st->name) return "";
    const auto* outer = static_cast<const scSymbol*>(st->extra);
    if (!outer || (st->flags & 0x80)) return st->name;
    return QualifiedName(outer) + "::" + st->name;
}

std::string TypeText(const Type& t, TypeNaming naming) {
    std::string base;
    if (t.base == vSTRUCT && t.st && t.st->typeKind == 8 && naming == namingMESSAGE)
        base = "script";
    else if (t.base == vSTRUCT)
        base = std::string(t.st && t.st->typeKind == 8 ? "script " : "struct ") +
               (naming == namingIDENTITY ? QualifiedName(t.st) : t.st && t.st->name ? t.st->name : "");
    else
        base = kTypeNames[t.base];
    if (t.uns) base = "unsigned " + base;
    std::string pre, post;
    std::string d = t.decl;
    while (!d.empty()) {
        size_t e = ElementEnd(d);
        std::string el = d.substr(0, e);
        if (el == "*" || el == "&")
            pre += el;
        else if (el[0] == '[')
            post += el;
        else {
            // A parameter list: write each parameter's type.
            std::string list = "(";
            const char* p = el.c_str() + 1;
            bool firstParam = true;
            while (*p && *p != ')') {
                if (!firstParam) list += ",";
                firstParam = false;
                if (!std::strncmp(p, "...", 3)) {
                    list += "...";
                    p += 3;
                } else {
                    scSymbol* ps = ParamAt(p, &p, nullptr);
                    list += TypeText(SymType(ps), naming);
                }
                if (*p == ',') p++;
            }
            post += list + ")";
        }
        d = d.substr(e);
    }
    return base + pre + post;
}

// Whether two function types take the same parameters: their types' texts
// pairwise, a "..." at the same place; the results may differ.
bool SameParameters(const Type& a, const Type& b) {
    auto parameters = [](const Type& f) {
        Type list;
        list.base = tVOID;
        list.decl = f.decl.substr(0, ElementEnd(f.decl));
        return TypeText(list, namingIDENTITY);
    };
    return parameters(a) == parameters(b);
}

// ---- Registers --------------------------------------------------------------

void ClearRegisters() { std::memset(regUsed, 0, sizeof regUsed); }

int AllocReg() {
    for (int r = 2; r < 240; r++)
        if (!regUsed[r]) {
            regUsed[r] = true;
            return r;
        }
    Error(scerr_CODEGEN, "Compiler error : expression too complex (register overuse)!");
}

int AllocPair() {
    for (int r = 2; r < 239; r++)
        if (!regUsed[r] && !regUsed[r + 1]) {
            regUsed[r] = regUsed[r + 1] = true;
            return r;
        }
    Error(scerr_CODEGEN, "Compiler error : expression too complex (register overuse)!");
}

void FreeVal(Val& v) {
    if (v.reg && v.r >= 2 && v.r < 240) {
        regUsed[v.r] = false;
        if (v.mode == modeNONE && ValKind(v.t) == tDOUBLE && v.r + 1 < 240) regUsed[v.r + 1] = false;
    }
}

void VoidValueError() { Error(scerr_CONVERSION, scMSG_ILLEGAL_CONVERSION, "from void"); }

static const int kBaseReg[] = {0, regPOOL, regDATA, regFRAME, 0};

// The address of a memory value as a plain value (register or immediate).
Val AddressOf(Val v) {
    if (v.mode == modeNONE) Error(scerr_OPERAND, "Not a lvalue to unary &");
    Type t = v.t;
    t.decl = "*" + t.decl;
    Val r;
    r.t = t;
    int base = kBaseReg[v.mode];
    if (v.reg) {
        r.reg = true;
        r.r = v.r;
        if (v.r >= 240 || !regUsed[v.r]) {
            int n = AllocReg();
            Val d = Reg(n), s = Reg(v.r);
            Emit(opMOV, &d, &s);
            r.r = n;
        }
        if (base) {
            Val d = Reg(r.r), b = Reg(base);
            Emit(opADD, &d, &b);
        }
        return r;
    }
    if (!base) {
        // An absolute address constant (or an import slot's host address).
        r.imm = true;
        r.off = v.off;
        return r;
    }
    int n = AllocReg();
    Val d = Reg(n), o = Imm(v.off), b = Reg(base);
    Emit(opMOV, &d, &o);
    Emit(opADD, &d, &b);
    r.reg = true;
    r.r = n;
    return r;
}

Val Decayed(const Val& in) {
    Val v = in;
    if (v.addr) {
        v.addr = false;
        Val a = AddressOf(v);
        a.t = v.t;
        if (!a.t.decl.empty() && a.t.decl[0] == '[') a.t.decl = "*" + Deeper(v.t).decl;
        return a;
    }
    if (!v.t.decl.empty() && v.t.decl[0] == '[' && v.mode != modeNONE) {
        Type et = Deeper(v.t);
        Val a = AddressOf(v);
        a.t = et;
        a.t.decl = "*" + et.decl;
        return a;
    }
    return v;
}

Val Load(Val v) {
    RequireValue(v);
    v = Decay(v);
    int k = ValKind(v.t);
    if (v.mode == modeNONE && v.reg && k == tFLOAT) {
        // A float held in one register (a conversion's result) is loaded as a double.
        Val d = Reg(AllocPair());
        d.t = v.t;
        d.t.base = tDOUBLE;
        Emit(opFDBL, &d, &v);
        FreeVal(v);
        return d;
    }
    if (v.mode == modeNONE && v.reg) {
        if (v.r >= 240 || v.r < 2) {
            Val d = Reg(k == tDOUBLE ? AllocPair() : AllocReg());
            d.t = v.t;
            Emit(k == tDOUBLE ? opDMOV : opMOV, &d, &v);
            return d;
        }
        regUsed[v.r] = true;
        return v;
    }
    if (k == tDOUBLE || k == tFLOAT) {
        Val d = Reg(AllocPair());
        d.t = v.t;
        d.t.base = tDOUBLE;
        if (v.imm) {
            Val s = DImm(v.d);
            Emit(opDMOV, &d, &s);
        } else if (k == tFLOAT) {
            Emit(opFDBL, &d, &v);
        } else {
            Emit(opDMOV, &d, &v);
        }
        FreeVal(v);
        return d;
    }
    if (k == vSTRUCT || k == tVOID || k == tLONG)
        Error(scerr_CONVERSION, scMSG_ILLEGAL_CONVERSION, " to int");
    Val d = Reg(AllocReg());
    d.t = v.t;
    int op = opMOV;
    if (v.mode != modeNONE && k == tCHAR) op = opCMOV;
    if (v.mode != modeNONE && k == tSHORT) op = opWMOV;
    Emit(op, &d, &v);
    FreeVal(v);
    return d;
}

// The words of the conversion messages by the target's kind (the message's
// format has a blank before them; only "to pointer" comes without its own).
static const char* ToText(int kind) {
    switch (kind) {
    case tFIXED: return " to fixed";
    case tFLOAT: return " to float";
    case tDOUBLE: return " to double";
    case tCHAR: return " to char";
    case tSHORT: return " to short";
    case vPOINTER: return "to pointer";
    default: return " to int";
    }
}

// Refuses a value that no conversion makes a number of kind `kind`.
static void RequireNumber(const Val& v, int kind) {
    int k = ValKind(v.t);
    if (k == vSTRUCT || k == tVOID || k == tLONG || k == tREGISTER ||
        (k == vPOINTER && kind != tINT && kind != tCHAR && kind != tSHORT))
        Error(scerr_CONVERSION, scMSG_ILLEGAL_CONVERSION, ToText(kind));
}

Val ToIntConverted(const Val& in) {
    RequireValue(in);
    Val v = Decay(in);
    int k = ValKind(v.t);
    if (v.imm) {
        if (k == tDOUBLE || k == tFLOAT) v.off = zedi::DoubleToInt(v.d);
        else if (k == tFIXED) v.off >>= 16;
        v.t = Type();
        v.d = v.off;
        return v;
    }
    if (k == tINT || k == vPOINTER) return v;
    if (k == tCHAR || k == tSHORT) {
        if (v.mode == modeNONE) return v;
        Val r = Load(v);
        r.t = Type();
        r.t.uns = v.t.uns;
        return r;
    }
    if (k == tFIXED) {
        Val r = Load(v);
        Val s = Imm(16);
        r.t = Type();
        Emit(opSHR, &r, &s);
        return r;
    }
    if (k == tDOUBLE || k == tFLOAT) {
        Val s = Load(v);
        Val r = Reg(AllocReg());
        Emit(opDINT, &r, &s);
        FreeVal(s);
        return r;
    }
    Error(scerr_CONVERSION, scMSG_ILLEGAL_CONVERSION, " to int");
}

Val ToDouble(Val v) {
    RequireValue(v);
    v = Decay(v);
    int k = ValKind(v.t);
    if (v.imm) {
        if (k == tFIXED) v.d = v.off / 65536.0;
        else if (k != tDOUBLE && k != tFLOAT) v.d = v.off;
        v.t = Type();
        v.t.base = tDOUBLE;
        return v;
    }
    if (k == tDOUBLE) return v;
    if (k == tFLOAT) return Load(v);
    RequireNumber(v, tDOUBLE);
    Val s = k == tINT || k == tFIXED ? v : ToInt(v);
    if (s.mode == modeNONE && !s.reg && !s.imm) s = Load(s);
    Val r = Reg(AllocPair());
    r.t.base = tDOUBLE;
    Emit(k == tFIXED ? opFIXDBL : opIDBL, &r, &s);
    FreeVal(s);
    return r;
}

static Val ToFixed(Val v) {
    int k = ValKind(v.t);
    if (v.imm) {
        if (k == tDOUBLE || k == tFLOAT) v.off = zedi::DoubleToInt(v.d * 65536.0);
        else if (k != tFIXED) v.off = int32_t(uint32_t(v.off) << 16);
        v.t = Type();
        v.t.base = tFIXED;
        return v;
    }
    if (k == tFIXED) return v;
    RequireNumber(v, tFIXED);
    if (k == tDOUBLE || k == tFLOAT) {
        Val s = Load(v);
        Val r = Reg(AllocReg());
        r.t.base = tFIXED;
        Emit(opDFIX, &r, &s);
        FreeVal(s);
        return r;
    }
    Val r = Load(ToInt(v));
    Val s = Imm(16);
    Emit(opSHL, &r, &s);
    r.t = Type();
    r.t.base = tFIXED;
    return r;
}

// A float: an immediate rounded to float, a float in memory as it is, any other
// value made a double and rounded into one register (DFLT).
static Val ToFloat(Val v) {
    int k = ValKind(v.t);
    if (v.imm) {
        v = ToDouble(v);
        v.d = double(float(v.d));
    } else if (k == tFLOAT) {
        return v;
    } else {
        RequireNumber(v, tFLOAT);
        Val s = ToDouble(v);
        Val r = Reg(AllocReg());
        Emit(opDFLT, &r, &s);
        FreeVal(s);
        v = r;
    }
    v.t = Type();
    v.t.base = tFLOAT;
    return v;
}

// A char or short: the low 8 or 16 bits, zero-extended as a load of the type
// widens them. For a store into a place of the type the value is an int whose
// low bits are kept (a constant's sign-extended pattern as before).
static Val ToNarrow(Val v, int kind, bool uns, Narrowing narrowing) {
    const uint32_t mask = kind == tCHAR ? 0xFFu : 0xFFFFu;
    RequireNumber(v, kind);
    if (narrowing == narrowBYSTORE) {
        Val r = ToInt(v);
        if (r.imm) {
            if (kind == tCHAR) r.off = uns ? uint8_t(r.off) : int8_t(r.off);
            else r.off = uns ? uint16_t(r.off) : int16_t(r.off);
            r.d = r.off;
        }
        return r;
    }
    int k = ValKind(v.t);
    if (k == kind || (k == tCHAR && kind == tSHORT && v.mode == modeNONE)) return v;
    if (k == tFIXED || k == tFLOAT || k == tDOUBLE) v = ToInt(v);
    if (v.imm) {
        v.off = int32_t(uint32_t(v.off) & mask);
        v.d = v.off;
        v.t = Type();
        v.t.base = kind;
        return v;
    }
    Val r;
    if (v.mode != modeNONE && k != tCHAR && k != tSHORT) {
        // The low bytes of a word in memory (CMOV and WMOV clear a register first).
        r = Reg(AllocReg());
        Emit(kind == tCHAR ? opCMOV : opWMOV, &r, &v);
        FreeVal(v);
    } else {
        r = Load(v);
        if (k != tCHAR) {
            Val m = Imm(int32_t(mask));
            Val w = r;
            w.t = Type();
            Emit(opAND, &w, &m);
        }
    }
    r.t = Type();
    r.t.base = kind;
    return r;
}

Val ConvertTo(Val v, const Type& t, Narrowing narrowing) {
    RequireValue(v);
    int k = ValKind(t);
    int vk = ValKind(v.t);
    if (k == vSTRUCT || vk == vSTRUCT) {
        if (k == vk && SizeOf(t) == SizeOf(v.t)) return v;
        Error(scerr_CONVERSION, scMSG_ILLEGAL_CONVERSION, k == vSTRUCT ? (" to " + TypeText(t)).c_str() : ToText(k));
    }
    if (k == vPOINTER) {
        v = Decay(v);
        if (vk == tDOUBLE || vk == tFLOAT) Error(scerr_CONVERSION, scMSG_ILLEGAL_CONVERSION, "from floating to pointer");
        if (vk != tINT && vk != vPOINTER) v = ToInt(v);
        v.t = t;
        return v;
    }
    Val r;
    if (k == tDOUBLE) r = ToDouble(v);
    else if (k == tFLOAT) r = ToFloat(v);
    else if (k == tFIXED) r = ToFixed(v);
    else if (k == tINT) r = ToInt(v);
    else if (k == tCHAR || k == tSHORT) r = ToNarrow(Decay(v), k, t.uns, narrowing);
    else Error(scerr_CONVERSION, scMSG_ILLEGAL_CONVERSION, ToText(k));
    r.t.uns = t.uns;
    return r;
}

// ---- Pool and imports ---------------------------------------------------------

int PoolString(const char* text, int length) {
    for (int i = 0; i + length < pool.length + 0 + 1 && i < pool.length; ) {
        int end = i;
        while (end < pool.length && pool.data[end]) end++;
        if (end - i == length && std::memcmp(pool.data + i, text, size_t(length)) == 0) return i;
        i = end + 1;
    }
    int at = pool.length;
    scbufAppend(&pool, length, text);
    uint8_t zero = 0;
    scbufAppend(&pool, 1, &zero);
    return at;
}

int ImportSymbol(scSymbol* s) {
    if (s->address >= 0) return s->address;
    const char* name = s->importName ? s->importName : s->name;
    // Duplicate names are refused.
    int at = 0;
    while (at < imports.length) {
        const char* n = reinterpret_cast<const char*>(imports.data + at);
        int len = int(std::strlen(n));
        int slot = Align4(at + len + 1);
        if (!std::strcmp(n, name))
            Error(scerr_DECLARATION, "Duplicate import name '%s' for symbol '%s'", name, s->name);
        at = slot + 8;
    }
    scbufAppendString(&imports, name);
    scbufPad4(&imports);
    s->address = imports.length;
    scbufAppendWord(&imports, 0);
    scbufAppendWord(&imports, IsFunction(SymType(s)) ? s->paramBytes : -1);
    return s->address;
}

}  // namespace zc
