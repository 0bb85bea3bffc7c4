// Expression compiler: fifteen precedence levels, constant folding and identity
// skips, and calls of plain functions with overload resolution.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "IntArith.h"
#include "VARS.h"

namespace zc {

static bool IsLvalue(const Val& v) { return v.mode != modeNONE && !v.addr && !v.value; }
static bool IsFloating(const Val& v) {
    int k = ValKind(v.t);
    return k == tDOUBLE || k == tFLOAT;
}
static bool IsStruct(const Val& v) { return ValKind(v.t) == vSTRUCT && v.t.decl.empty(); }
static Type IntType() { return Type(); }

[[noreturn]] static void OperandError(const char* s, const char* op) {
    Error(scerr_OPERAND, scMSG_INVALID_OPERAND, s, op);
}

// Makes v a value the operation can write into: a fresh register with its value.
// A value in a register to compute with (a float held as float bits becomes a
// double, as every floating operation takes).
static Val InReg(const Val& v) {
    if (v.mode == modeNONE && v.reg && v.r >= 2 && v.r < 240 && !v.addr && ValKind(v.t) != tFLOAT) return v;
    return Load(v);
}

// Folds two constants; false when not both are constants.
static bool Fold(int op, Val& a, Val& b) {
    if (!a.imm || !b.imm) return false;
    RequireValue(a);
    RequireValue(b);
    bool dbl = IsFloating(a) || IsFloating(b);
    if (dbl) {
        a = ToDouble(a);
        b = ToDouble(b);
        double x = a.d, y = b.d, r;
        switch (op) {
        case opADD: r = x + y; break;
        case opSUB: r = x - y; break;
        case opMUL: r = x * y; break;
        case opDIV:
            if (y == 0) Error(scerr_OPERAND, "Division by zero");
            r = x / y;
            break;
        case opCMPE: r = x == y; break;
        case opCMPG: r = x > y; break;
        case opCMPL: r = x < y; break;
        case opCMPNG: r = x <= y; break;
        case opCMPNL: r = x >= y; break;
        default: Error(scerr_CODEGEN, "Invalid `%s' operand for floating", scOpcodes[op].name);
        }
        a.d = r;
        return true;
    }
    bool uns = a.t.uns || b.t.uns;
    if (ValKind(a.t) == tFIXED || ValKind(b.t) == tFIXED) {
        // As the code generator emits it: both sides fixed, * and / in their
        // fixed forms.
        Type ft;
        ft.base = tFIXED;
        a = ConvertTo(a, ft);
        b = ConvertTo(b, ft);
        if (op == opMUL) op = opFIXMUL;
        if (op == opDIV) op = opFIXDIV;
    }
    if ((op == opDIV || op == opMOD) && b.off == 0) Error(scerr_OPERAND, "Division by zero");
    uint32_t r = zedi::IntArith(op, uint32_t(a.off), uint32_t(b.off), uns);
    a.off = int32_t(r);
    a.d = a.t.uns ? double(r) : double(int32_t(r));
    a.t.uns = uns && op != opCMPE && !(op >= opCMPG && op <= opCMPNL);
    return true;
}

static bool ConstEquals(const Val& v, double x) {
    if (!v.imm) return false;
    if (IsFloating(v)) return v.d == x;
    return v.off == int32_t(x);
}

// Emits `a op= b` into a register copy of a (a binary operator's result).
static void Binary(int op, Val& a, Val& b) {
    if (Fold(op, a, b)) return;
    a = InReg(a);
    Emit(op, &a, &b);
    FreeVal(b);
}

// ---- Calls --------------------------------------------------------------------

struct ParamInfo {
    scSymbol* sym;
    int def;
};

static std::vector<ParamInfo> Params(const Type& ft, bool& variadic) {
    std::vector<ParamInfo> out;
    variadic = false;
    const char* p = ft.decl.c_str() + 1;
    while (*p && *p != ')') {
        if (!std::strncmp(p, "...", 3)) {
            variadic = true;
            p += 3;
        } else {
            int def;
            scSymbol* s = ParamAt(p, &p, &def);
            out.push_back({s, def});
        }
        if (*p == ',') p++;
    }
    return out;
}


static bool ExactMatch(Type p, Type a) {
    int kp, ka;
    // Pointers level by level (as many as the declarations wrote).
    for (;; p = Deeper(p), a = Deeper(a)) {
        if (!p.decl.empty() && p.decl[0] == '&') p = Deeper(p);
        if (!a.decl.empty() && a.decl[0] == '&') a = Deeper(a);
        kp = ValKind(p), ka = ValKind(a);
        if (kp != vPOINTER || ka != vPOINTER) break;
    }
    if (kp == ka && kp < 7) return true;
    if (kp == vSTRUCT && ka == vSTRUCT) return SizeOf(p) == SizeOf(a);
    return (kp == tFIXED || kp == tFLOAT || kp == tDOUBLE) &&
           (ka == tINT || ka == tFIXED || ka == tFLOAT || ka == tDOUBLE);
}

static bool IsClassType(const Type& t) {
    return ValKind(t) == vSTRUCT && t.decl.empty() && t.st && t.st->typeKind == 2;
}

static scSymbol* Resolve(const char* name, const std::vector<Val>& args, scSymbol* list = nullptr,
                         const char* format = "`%s' could not be found.%s");

static int g_castDepth = 0;  // inside the search for a class cast's constructor

// The constructor of class `t` that builds an object from one value of type `a`,
// null if none. Only one conversion is made: the constructor's own parameters
// are matched without class casts.
static scSymbol* CastConstructor(const Type& t, const Type& a) {
    if (!IsClassType(t)) return nullptr;
    struct Depth {
        Depth() { g_castDepth++; }
        ~Depth() { g_castDepth--; }
    } depth;
    Val v;
    v.t = a;
    return Resolve(t.st->name, {v}, t.st->members, nullptr);
}

static bool CompatibleMatch(const Type& p, const Type& a) {
    if (ExactMatch(p, a)) return true;
    if (ValKind(p) == vPOINTER && ValKind(a) == vPOINTER) {
        Type dp = Deeper(p), da = Deeper(a);
        if ((dp.decl.empty() && dp.base == tVOID) || (da.decl.empty() && da.base == tVOID)) return true;
    }
    if (g_castDepth) return false;
    Type q = !p.decl.empty() && p.decl[0] == '&' ? Deeper(p) : p;
    return CastConstructor(q, a) != nullptr;
}

// How an argument matches a parameter, in the order the candidates are tried:
// exactly, with a literal 0 a number only; exactly, a literal 0 also any
// pointer; by the compatible rules (void pointers, class casts). Where a
// literal 0 may be a pointer, the candidates that take fewest literal 0s as
// pointers are kept.
enum Matching { matchEXACT, matchZERO_POINTER, matchCOMPATIBLE, matchKINDS };

static bool IsLiteralZero(const Val& v) { return v.imm && v.t.decl.empty() && v.t.base == tINT && v.off == 0; }

static bool FunctionOK(scSymbol* f, const std::vector<Val>& args, Matching matching, int* zeroPointers = nullptr) {
    Type ft = SymType(f);
    if (!IsFunction(ft)) return false;
    bool variadic;
    auto ps = Params(ft, variadic);
    size_t i = 0;
    for (; i < args.size(); i++) {
        if (i >= ps.size()) return variadic;
        Type pt = SymType(ps[i].sym);
        Type at = args[i].t;
        if (matching != matchEXACT && IsLiteralZero(args[i]) && ValKind(pt) == vPOINTER) {
            at = pt;
            if (zeroPointers) ++*zeroPointers;
        }
        if (!(matching == matchCOMPATIBLE ? CompatibleMatch(pt, at) : ExactMatch(pt, at))) return false;
    }
    for (; i < ps.size(); i++)
        if (ps[i].def < 0) return false;
    return true;
}

static std::string Signature(const char* name, const std::vector<Val>& args) {
    std::string s = std::string(name) + "(";
    for (size_t i = 0; i < args.size(); i++) {
        if (i) s += ",";
        s += TypeText(args[i].t);
    }
    return s + ")";
}

static std::string Declaration(scSymbol* f) {
    Type ft = SymType(f);
    Type rt = ResultType(ft);
    std::string params = TypeText([&] { Type t; t.base = tVOID; t.decl = ft.decl.substr(0, ft.decl.size() - rt.decl.size()); return t; }());
    return TypeText(rt) + " " + f->name + params.substr(4);
}

// Chooses the function `name` for the arguments among the symbols of `list` (the
// symbol dictionary when null). Without a format, none is an answer (null).
// The records named `name` in list order: of the symbol dictionary when `list`
// is null, else of the list from `list` on.
static scSymbol* FirstNamed(const char* name, scSymbol* list) {
    return list ? scdicFind(list, name) : scdicLookup(symbols, name);
}
static scSymbol* NextNamed(scSymbol* s, scSymbol* list) {
    return list ? scdicFind(s->next, s->name) : scdicLookupNext(symbols, s);
}

static scSymbol* Resolve(const char* name, const std::vector<Val>& args, scSymbol* list, const char* format) {
    std::vector<scSymbol*> found;
    const bool zero = std::any_of(args.begin(), args.end(), IsLiteralZero);
    for (int pass = matchEXACT; pass < matchKINDS && found.empty(); pass++) {
        int fewest = INT_MAX;
        for (scSymbol* s = pass == matchZERO_POINTER && !zero ? nullptr : FirstNamed(name, list); s;
             s = NextNamed(s, list)) {
            int zeroPointers = 0;
            if (!FunctionOK(s, args, Matching(pass), &zeroPointers) || zeroPointers > fewest) continue;
            if (zeroPointers < fewest) found.clear(), fewest = zeroPointers;
            if (found.size() >= 256) Error(scerr_OPERAND, "Too many candidates for function '%s'", name);
            found.push_back(s);
        }
    }
    if (found.size() == 1) return found[0];
    std::string sig = Signature(name, args);
    if (found.size() > 1) {
        std::string list;
        for (scSymbol* f : found) list += "\n" + Declaration(f);
        if (list.size() > 1023) list.resize(1023);
        Error(scerr_OPERAND, "Unable to decide which of %d candidates for function '%s' to use:%s", int(found.size()),
              sig.c_str(), list.c_str());
    }
    if (!format) return nullptr;
    std::string names;
    for (scSymbol* s = FirstNamed(name, list); s; s = NextNamed(s, list))
        if (IsFunction(SymType(s))) names += "\n" + Declaration(s);
    if (!names.empty()) names = "\nPossible candidates:" + names;
    if (names.size() > 1023) names.resize(1023);
    Error(scerr_OPERAND, format, sig.c_str(), names.c_str());
}

int ParamBytes(scSymbol* f) {
    bool variadic;
    int bytes = 0;
    for (auto& p : Params(SymType(f), variadic)) bytes += Align4(SizeOf(SymType(p.sym)) ? SizeOf(SymType(p.sym)) : 4);
    return bytes;
}

static int PushValue(Val v, bool roundStruct) {
    int k = ValKind(v.t);
    if (k == vSTRUCT) {
        int size = SizeOf(v.t);
        int room = Align4(size);
        Val sp = Reg(regSP), n = Imm(room), cnt = Reg(regCOUNT), sz = Imm(size);
        Emit(opSUB, &sp, &n);
        Emit(opMOV, &cnt, &sz);
        int r = AllocReg();
        Val dst = Reg(r), st = Reg(regSTACK);
        Emit(opMOV, &dst, &sp);
        Emit(opADD, &dst, &st);
        Val mem = dst;
        mem.reg = true;
        mem.mode = modeABSOLUTE;
        Emit(opCOPY, &mem, &v);
        regUsed[r] = false;
        FreeVal(v);
        (void)roundStruct;
        return room;
    }
    if (k == tFLOAT) v = ToDouble(v);
    if (ValKind(v.t) == tDOUBLE) {
        if (v.imm) {
            Val d = DImm(v.d);
            Emit(opPUSH, &d);
        } else {
            Emit(opPUSH, &v);
        }
        FreeVal(v);
        return 8;
    }
    v = Decay(v);
    Emit(opPUSH, &v);
    FreeVal(v);
    return 4;
}

// An operand that runs only under a condition (&&, ||, ?:): the temporary objects
// it makes end with it, so that the stack is the same on both paths; its value
// moves to a register first.
static bool ConditionalSubExp(int level, Val& v) {
    scSymbol* mark = symbols->first;
    if (!SubExp(level, v, true)) return false;
    if (symbols->first == mark) return true;
    if (IsStruct(v)) Error(scerr_CODEGEN, "Structure result cannot be used inside this expression");
    v = Decay(v);
    if (v.mode) {
        Val r = Load(v);
        r.t = v.t;
        v = r;
    }
    EndTemporaries(mark);
    return true;
}

static bool StructResult(const Type& rt) { return ValKind(rt) == vSTRUCT && rt.decl.empty(); }

// The first function of that name in the symbol dictionary or in a list: its
// result decides whether a call needs a temporary before anything else is pushed.
static scSymbol* FirstFunction(const char* name, scSymbol* list, bool dictionary) {
    if (!dictionary && !list) return nullptr;
    for (scSymbol* s = FirstNamed(name, list); s; s = NextNamed(s, list))
        if (IsFunction(SymType(s))) return s;
    return nullptr;
}

scSymbol* NewFrameSymbol(const char* name, int32_t address, const Type& t) {
    auto* s = static_cast<scSymbol*>(scmAlloc(sizeof(scSymbol)));
    s->name = scmStrdup(name);
    s->flags = 11;
    s->address = address;
    SetSymType(s, t);
    return s;
}

// Reserves a temporary object on the stack, a local of the current scope (so that
// its destructor runs when the statement or scope ends). Returns its frame offset.
static int ReserveTemp(const Type& t) {
    int room = Align4(SizeOf(t));
    if (room == 4) {
        Val z = Imm(0);
        Emit(opPUSH, &z);
    } else {
        Val sp = Reg(regSP), n = Imm(room);
        Emit(opSUB, &sp, &n);
    }
    int off = localOffset - room;
    if (!discard) {
        localOffset = off;
        NeedStackFor(room);
        scdicPush(symbols, NewFrameSymbol("%TEMP", off, t));
    }
    return off;
}

// The registers in use, pushed around a call. Their slots count in the frame, so
// that a temporary object made while they are on the stack (a structure result
// or a class cast inside the arguments) lies above them at a known offset.
struct SavedRegs {
    std::vector<int> regs;
    int start = 0, mark = 0;  // frame offset before and after the pushes
    scSymbol* head = nullptr; // the symbols above which a temporary would be entered
    SavedRegs() {
        start = localOffset;
        head = symbols->first;
        for (int r = 2; r < 240; r++)
            if (regUsed[r]) {
                Val v = Reg(r);
                Emit(opPUSH, &v);
                regs.push_back(r);
            }
        if (!discard) localOffset -= 4 * int(regs.size());
        mark = localOffset;
    }
    void Restore() {
        if (regs.empty()) return;
        if (localOffset == mark) {
            for (size_t i = regs.size(); i-- > 0;) {
                Val v = Reg(regs[i]);
                Emit(opPOP, &v);
            }
            localOffset = start;
            return;
        }
        // Temporaries lie above the saved registers: read them back from their
        // slots, which are released with the temporaries at the statement's end.
        for (size_t i = 0; i < regs.size(); i++) {
            Val v = Reg(regs[i]), slot;
            slot.mode = modeFRAME;
            slot.off = start - 4 * int(i + 1);
            Emit(opMOV, &v, &slot);
        }
        Type t;
        t.base = tCHAR;
        t.decl = "[" + std::to_string(4 * regs.size()) + "]";
        scSymbol* block = NewFrameSymbol("%TEMP", mark, t);
        scdicInsertBefore(symbols, head, block);
    }
};

// Reads "(" arguments ")" into values; the lexeme after ")" is current on return.
static std::vector<Val> ReadArguments() {
    std::vector<Val> args;
    Next();  // "("
    Next();
    if (!Is(")")) {
        for (;;) {
            Val v;
            if (!SubExp(1, v, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
            v = Decay(v);
            if (v.mode && !IsStruct(v) && v.reg) {
                // An element or a member reached through a register: its value.
                // A plain variable stays in memory: a reference parameter may need its address.
                Val l = Load(v);
                l.t = v.t;
                v = l;
            }
            args.push_back(v);
            if (args.size() > 255) Error(scerr_OPERAND, "Too many arguments in a call");
            if (Is(")")) break;
            Expect(",");
            Next();
        }
    }
    Next();
    return args;
}

// Pushes the arguments (defaults, then the arguments last first), the object's
// address of a member call and the temporary's address of a structure result,
// and emits the call. Returns the result value (registers are restored by the
// caller).
static Val EmitCall(scSymbol* f, std::vector<Val>& args, Val* object, bool structResult, int tempOff,
                    const Type& tempType, bool needed, Val* objectAddress = nullptr) {
    const char* name = f->name;
    Type ft = SymType(f);
    bool variadic;
    auto ps = Params(ft, variadic);
    // A script function of this instance takes its class objects by value
    // constructed in their slots and destroyed after the call. A host function or
    // a function of another script object gets a plain copy of an object built
    // beforehand, a temporary that ends with the statement, since the slots are
    // gone when the call returns.
    scSymbol* objClass = object ? object->t.st : nullptr;
    bool scriptCall = objClass && objClass->typeKind == 8;
    bool slotsDie = (f->flags & 0x20) || scriptCall;
    // A structure-reference parameter whose argument is of another type gets a
    // temporary object built from it, before anything is pushed.
    std::vector<bool> built(args.size(), false);
    for (size_t i = 0; i < args.size() && i < ps.size(); i++) {
        Type pt = SymType(ps[i].sym);
        bool ref = !pt.decl.empty() && pt.decl[0] == '&';
        Type rt = ref ? Deeper(pt) : pt;
        if (ValKind(rt) != vSTRUCT || !rt.decl.empty()) continue;
        bool cast = !ExactMatch(rt, args[i].t);
        if (!cast && (ref || !slotsDie || !HasCopyConstructor(rt))) continue;
        scSymbol* ctor = cast ? CastConstructor(rt, args[i].t) : nullptr;
        if (cast && !ctor) INTERNAL_ERROR("scsDoClassCast");
        if (!ref && !slotsDie) continue;  // built in its slot below
        Val tmp;
        tmp.mode = modeFRAME;
        tmp.off = ReserveTemp(rt);
        tmp.t = rt;
        std::vector<Val> from{args[i]};
        CallMember(tmp, rt.st->name, &from, "Constructor `%s' couldn't be found.%s", false, ctor);
        args[i] = tmp;
        built[i] = true;
    }
    int bytes = 0;
    // Copy-constructed arguments: where their slot begins (bytes pushed before it)
    // and their type, for the destructors after the call.
    std::vector<std::pair<int, Type>> copies;
    for (size_t i = ps.size(); i-- > args.size();) {
        scSymbol* def = paramTable[size_t(ps[i].def)];
        Val v = Imm(def->address);
        v.t = SymType(def);
        std::memcpy(&v.d, def->extra, sizeof(double));
        Type pt = SymType(ps[i].sym);
        v = ConvertTo(v, pt, narrowBYSTORE);
        int size = SizeOf(pt);
        bytes += ValKind(pt) == tDOUBLE ? (PushValue(v, true), 8) : (PushValue(v, true), Align4(size));
    }
    for (size_t i = args.size(); i-- > 0;) {
        Val v = args[i];
        if (i < ps.size()) {
            Type pt = SymType(ps[i].sym);
            if (!pt.decl.empty() && pt.decl[0] == '&') {
                // A reference parameter receives the argument's address.
                if (v.mode == modeNONE || v.addr) Error(scerr_OPERAND, "Incompatible type for parameter %d to function %s", int(i) + 1, name);
                Val a = AddressOf(v);
                Emit(opPUSH, &a);
                FreeVal(a);
                bytes += 4;
                continue;
            }
            if (built[i]) {
                bytes += PushValue(v, true);
                continue;
            }
            bool cast = ValKind(pt) == vSTRUCT && pt.decl.empty() && !ExactMatch(pt, v.t);
            if (ValKind(pt) == vSTRUCT && pt.decl.empty() && (cast || HasCopyConstructor(pt))) {
                // A class object passed by value is constructed in its slot: copied
                // from an object, or built from a value of another type.
                int room = Align4(SizeOf(pt));
                Val sp = Reg(regSP), n = Imm(room), st = Reg(regSTACK);
                Emit(opSUB, &sp, &n);
                Val obj = Reg(AllocReg());
                Emit(opMOV, &obj, &sp);
                Emit(opADD, &obj, &st);
                obj.mode = modeABSOLUTE;
                obj.t = pt;
                std::vector<Val> from{v};
                scSymbol* ctor = cast ? CastConstructor(pt, v.t) : nullptr;
                if (cast && !ctor) INTERNAL_ERROR("scsDoClassCast");
                CallMember(obj, pt.st->name, &from, "Constructor `%s' couldn't be found.%s", false, ctor);
                bytes += room;
                if (HasDestructor(pt)) copies.emplace_back(bytes, pt);
                continue;
            }
            if (ValKind(pt) == vSTRUCT && pt.decl.empty() && HasDestructor(pt))
                Error(scerr_OPERAND, "`%s' has a destructor and no copy constructor: pass it by reference", pt.st->name);
            Val c = ConvertTo(v, pt, narrowBYSTORE);
            if (ValKind(pt) == tFLOAT) {
                // A float parameter takes one word.
                Val dv = ToDouble(c);
                if (dv.imm) {
                    float fv = float(dv.d);
                    Val w = Imm(0);
                    std::memcpy(&w.off, &fv, 4);
                    Emit(opPUSH, &w);
                } else {
                    Val w = Reg(AllocReg());
                    Emit(opDFLT, &w, &dv);
                    Emit(opPUSH, &w);
                    FreeVal(w);
                    FreeVal(dv);
                }
                bytes += 4;
            } else if (ValKind(pt) == tDOUBLE) {
                bytes += PushValue(ToDouble(c), true);
            } else if (ValKind(pt) == vSTRUCT) {
                bytes += PushValue(c, true);
            } else {
                Val p = c;
                p.t = IntType();
                bytes += PushValue(p, true);
            }
        } else {
            bytes += PushValue(v, true);
        }
    }
    Type rt = ResultType(ft);
    int rk = ValKind(rt);
    if (StructResult(rt) != structResult || (structResult && SizeOf(rt) != SizeOf(tempType)))
        Error(scerr_OPERAND, "Overloads of `%s' differ in their structure result", name);
    // A function of a script object takes the script-object record in place of
    // an object; a member of a structure that belongs to a script needs one too,
    // and there is none to give.
    if (objClass && !scriptCall && (objClass->flags & 0x80)) {
        auto* owner = static_cast<scSymbol*>(objClass->extra);
        Error(scerr_OPERAND, "Invalid script '%s' access", owner && owner->name ? owner->name : objClass->name);
    }
    if (object && !scriptCall) {
        // Its register stays taken until the saved registers are back, so that
        // the result does not land in one of them.
        Val a = AddressOf(*object);
        Emit(opPUSH, &a);
        *objectAddress = a;
        bytes += 4;
    }
    uint32_t kind = 0;
    if (structResult) {
        int size = SizeOf(rt);
        kind = size == 1 ? 2 : size == 2 ? 3 : size == 4 ? 4 : size == 8 ? 5 : 1;
        Val t;
        t.mode = modeFRAME;
        t.off = tempOff;
        t.addr = true;
        Emit(opPUSH, &t);
        bytes += 4;
    }
    // The descriptor of a call into another instance counts the bytes in 16 bits.
    auto countInDescriptor = [&] {
        if (bytes > int(scdescBYTES))
            Error(scerr_OPERAND, "Too many parameter bytes to function `%s' (%d, at most %d)", name, bytes,
                  int(scdescBYTES));
    };
    if (scriptCall) {
        // The record's address goes last; operand 1 names the function's word in it.
        Val a = AddressOf(*object);
        Emit(opPUSH, &a);
        *objectAddress = a;
        bytes += 4;
        countInDescriptor();
        uint32_t desc = (uint32_t(bytes) & scdescBYTES) | scdescSCRIPT_OBJECT;
        if ((rk == tDOUBLE || rk == tFLOAT) && rt.decl.empty()) desc |= scdescDOUBLE;
        Val slot = Imm(f->address), d = Imm(int32_t(desc));
        Emit(opCALLEX, &slot, &d);
    } else if (f->flags & 0x20) {
        countInDescriptor();
        int slot = ImportSymbol(f);
        uint32_t desc = uint32_t(bytes);
        if (rk == tVOID && rt.decl.empty()) desc |= scdescDROP_RESULT;
        if ((rk == tDOUBLE || rk == tFLOAT) && rt.decl.empty()) desc |= scdescDOUBLE;
        if (object) desc |= scdescMEMBER;
        desc |= kind << scdescKIND_SHIFT;
        desc |= uint32_t(f->dispatcher & 15) << scdescDISPATCHER_SHIFT;
        Val a = Imm(slot), b = Imm(int32_t(desc));
        Emit(opCALLEX, &a, &b);
    } else {
        PadCode();
        int at = codePos;
        int target = f->address;
        if (target < 0) {
            // Not yet defined: link this call into the function's chain.
            Val a = Imm(target);
            Emit(opCALL, &a);
            if (!discard) f->address = -at;
        } else {
            Val a = Imm(target);
            Emit(opCALL, &a);
        }
        if (!copies.empty()) {
            // The copies die with the call; the result is kept meanwhile.
            Val r0 = Reg(0), r1 = Reg(1);
            Emit(opPUSH, &r0);
            Emit(opPUSH, &r1);
            for (auto& c : copies) {
                Val obj = Reg(AllocReg()), sp = Reg(regSP), st = Reg(regSTACK), off = Imm(8 + bytes - c.first);
                Emit(opMOV, &obj, &sp);
                Emit(opADD, &obj, &st);
                Emit(opADD, &obj, &off);
                obj.mode = modeABSOLUTE;
                obj.t = c.second;
                std::vector<Val> none;
                std::string d = std::string("~") + c.second.st->name;
                CallMember(obj, d.c_str(), &none, "Destructor `%s' couldn't be found.%s", false);
            }
            Emit(opPOP, &r1);
            Emit(opPOP, &r0);
        }
        if (bytes) {
            Val sp = Reg(regSP), n = Imm(bytes);
            Emit(opADD, &sp, &n);
        }
    }
    Val result;
    result.t = rt;
    if (structResult) {
        result.mode = modeFRAME;
        result.off = tempOff;
        return result;
    }
    if (!rt.decl.empty() && rt.decl[0] == '&') {
        // A reference result: the place it refers to.
        Val d = Reg(AllocReg()), s0 = Reg(0);
        Emit(opMOV, &d, &s0);
        Val m;
        m.mode = modeABSOLUTE;
        m.reg = true;
        m.r = d.r;
        m.t = Deeper(rt);
        return m;
    }
    if (rk == tVOID || !needed) {
        result = Imm(0);
        result.t = rt;
        return result;
    }
    if (rk == tDOUBLE) {
        Val d = Reg(AllocPair()), s0 = Reg(0);
        d.t = rt;
        s0.t = rt;
        Emit(opDMOV, &d, &s0);
        return d;
    }
    if (rk == tFLOAT) {
        Val d = Reg(AllocPair()), s0 = Reg(0);
        d.t = rt;
        d.t.base = tDOUBLE;
        s0.t = d.t;
        Emit(opDMOV, &d, &s0);
        return d;
    }
    Val d = Reg(AllocReg()), s0 = Reg(0);
    d.t = rt;
    s0.t = rt;
    Emit(opMOV, &d, &s0);
    return d;
}

// Reads "(" arguments ")" and emits the call of the chosen function `name`.
Val CallFunction(const char* name, bool needed) {
    Type tempType;
    bool structResult = false;
    if (scSymbol* s = FirstFunction(name, nullptr, true)) {
        Type rt = ResultType(SymType(s));
        if (StructResult(rt)) structResult = true, tempType = rt;
    }
    int tempOff = structResult ? ReserveTemp(tempType) : 0;
    SavedRegs saved;
    std::vector<Val> args = ReadArguments();
    scSymbol* f = Resolve(name, args);
    Val result = EmitCall(f, args, nullptr, structResult, tempOff, tempType, needed);
    saved.Restore();
    return result;
}

// Calls the member `name` of the structure object `object` with the given
// arguments, or with arguments read from the source when `args` is null.
Val CallMember(Val object, const char* name, std::vector<Val>* args, const char* format, bool needed, scSymbol* chosen) {
    scSymbol* st = object.t.st;
    scSymbol* first = FirstFunction(name, st->members, false);
    Type tempType;
    bool structResult = false;
    if (first) {
        Type rt = ResultType(SymType(first));
        if (StructResult(rt)) structResult = true, tempType = rt;
    }
    int tempOff = structResult ? ReserveTemp(tempType) : 0;
    SavedRegs saved;
    std::vector<Val> read;
    if (!args) {
        read = ReadArguments();
        args = &read;
    }
    std::string fmt;
    if (!format) {
        fmt = std::string("%s is not a function member of `") + st->name + "'.%s";
        if (fmt.size() > 1024) fmt.resize(1024);
        format = fmt.c_str();
    }
    scSymbol* f = chosen ? chosen : Resolve(name, *args, st->members, format);
    Val address;
    Val result = EmitCall(f, *args, &object, structResult, tempOff, tempType, needed, &address);
    saved.Restore();
    FreeVal(address);
    FreeVal(object);
    return result;
}

scSymbol* FindMember(const Type& t, const char* name, const std::vector<Val>& args) {
    if (ValKind(t) != vSTRUCT || !t.decl.empty() || !t.st) return nullptr;
    return Resolve(name, args, t.st->members, nullptr);
}

bool HasMember(const Type& t, const char* name) {
    return ValKind(t) == vSTRUCT && t.decl.empty() && t.st && FirstFunction(name, t.st->members, false);
}

bool HasCopyConstructor(const Type& t) {
    if (ValKind(t) != vSTRUCT || !t.decl.empty() || !t.st) return false;
    for (scSymbol* m = t.st->members; m; m = m->next) {
        if (!m->name || std::strcmp(m->name, t.st->name) || !IsFunction(SymType(m))) continue;
        bool variadic;
        auto ps = Params(SymType(m), variadic);
        if (ps.size() != 1 || variadic) continue;
        Type pt = SymType(ps[0].sym);
        if (!pt.decl.empty() && pt.decl[0] == '&' && ValKind(Deeper(pt)) == vSTRUCT && Deeper(pt).st == t.st) return true;
    }
    return false;
}

bool HasDestructor(const Type& t) {
    if (ValKind(t) != vSTRUCT || !t.decl.empty() || !t.st) return false;
    std::string d = std::string("~") + t.st->name;
    return FirstFunction(d.c_str(), t.st->members, false) != nullptr;
}

// An operator applied to a structure value: the call of its operator function.
// False (nothing emitted) when the structure has no such operator.
static bool CallOperator(const char* text, Val& left, std::vector<Val> args, bool needed) {
    std::string name = std::string("operator") + text;
    if (!IsStruct(left) || !HasMember(left.t, name.c_str())) return false;
    for (Val& a : args) {
        a = Decay(a);
        if (a.mode && !IsStruct(a) && a.reg) {
            Val l = Load(a);
            l.t = a.t;
            a = l;
        }
    }
    left = CallMember(left, name.c_str(), &args, "Suitable `%s' could not be found.%s", needed);
    return true;
}

// ---- Primaries and postfix ---------------------------------------------------

// A number with a point: digits, ".", digits, an optional exponent of digits
// after "e" and an optional "f" at the end; correctly rounded, whatever the
// process locale.
static double DoubleLiteral(const char* l) {
    const char* end = l + std::strlen(l);
    double d = 0;
    auto [p, ec] = std::from_chars(l, end, d, std::chars_format::general);
    if (p != end && !(p[0] == 'f' && p + 1 == end)) Error(scerr_SYNTAX, "nondigits in number and not hexadecimal");
    if (ec == std::errc::result_out_of_range) {
        // Beyond the range of a double: infinity when large, else zero.
        const char* q = l;
        while (*q == '0') q++;
        long magnitude = long(std::strcspn(q, "."));
        if (const char* e = std::strpbrk(l, "eE")) magnitude += std::strtol(e + 1, nullptr, 10);
        d = magnitude > 0 ? HUGE_VAL : 0.0;
    }
    return d;
}

// A number without a point: decimal, hexadecimal after "0x" or octal after "0".
// Its 32 bits are the int's, so 0xFFFFFFFF is -1; a number that needs more bits
// is refused.
static int32_t IntegerLiteral(const char* l) {
    const char* p = l;
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) base = 16, p += 2;
    else if (p[0] == '0') base = 8;
    uint64_t value = 0;
    bool tooLarge = false;
    for (; *p; p++) {
        int digit;
        if (*p >= '0' && *p <= '9') digit = *p - '0';
        else if (*p >= 'a' && *p <= 'f') digit = *p - 'a' + 10;
        else if (*p >= 'A' && *p <= 'F') digit = *p - 'A' + 10;
        else break;
        if (digit >= base) break;
        value = value * uint64_t(base) + uint64_t(digit);
        if (value > 0xFFFFFFFFu) tooLarge = true, value = 0;
    }
    if (*p) Error(scerr_SYNTAX, "nondigits in number and not hexadecimal");
    if (tooLarge) Error(scerr_SYNTAX, "integer constant too large");
    return int32_t(uint32_t(value));
}

static bool Primary(Val& v, bool needed) {
    const char* l = Lex();
    v = Val();
    if (l[0] == '"') {
        std::string s(l + 1, std::strlen(l) - 2);
        int at = PoolString(s.c_str(), int(s.size()));
        v.mode = modePOOL;
        v.off = at;
        v.t.base = tCHAR;
        v.t.decl = "[" + std::to_string(s.size() + 1) + "]";
        v.addr = false;
        Next();
        return true;
    }
    if (l[0] == '\'') {
        std::string s(l + 1, std::strlen(l) - 2);
        int value;
        if (s.size() >= 2 && s[0] == '\\') {
            char c = s[1];
            if (c == 'n') value = 10;
            else if (c == 'r') value = 13;
            else if (c == 't') value = 9;
            else if (c >= '0' && c <= '7') value = int(std::strtol(s.c_str() + 1, nullptr, 8));
            else value = (unsigned char)c;
            if (!(c >= '0' && c <= '7') && s.size() > 2) Error(scerr_SYNTAX, "too long character constant");
        } else {
            if (s.size() != 1) Error(scerr_SYNTAX, "too long character constant");
            value = (unsigned char)s[0];
        }
        v = Imm(value);
        Next();
        return true;
    }
    if (l[0] >= '0' && l[0] <= '9') {
        if (std::strchr(l, '.')) {
            v = DImm(DoubleLiteral(l));
            Next();
            return true;
        }
        v = Imm(IntegerLiteral(l));
        Next();
        return true;
    }
    if (IsPunct((unsigned char)l[0]) || !IsValidIdentifier(l)) {
        if (!needed) return false;
        if (IsPunct((unsigned char)l[0])) Error(scerr_SYNTAX, "Invalid expression separator `%s'", l);
        Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, l);
    }
    scSymbol* s = scdicLookup(symbols, l);
    if (currentClass && (!s || (s->flags & 7) != 3)) {
        // Inside a member function a member's name stands for this->name.
        if (scSymbol* m = scdicFind(currentClass->members, l)) {
            if (staticInit) Error(scerr_DECLARATION, "A static object's initializer cannot use the local `%s'", "this");
            scSymbol* self = scdicLookup(symbols, "this");
            if (!self) INTERNAL_ERROR("this");
            Val p;
            p.mode = modeFRAME;
            p.off = self->address;
            p.t = IntType();
            Val r = Load(p);
            Val obj;
            obj.mode = modeABSOLUTE;
            obj.reg = true;
            obj.r = r.r;
            obj.t = Deeper(SymType(self));
            std::string name = l;
            if (IsFunction(SymType(m))) {
                Next();
                if (!Is("(")) Error(scerr_OPERAND, "Member function `%s' must be called", name.c_str());
                Back();
                v = CallMember(obj, name.c_str(), nullptr, nullptr, needed);
                return true;
            }
            if (m->address) {
                Val o = Imm(m->address);
                Emit(opADD, &r, &o);
            }
            obj.t = SymType(m);
            obj.sym = m;
            v = obj;
            Next();
            return true;
        }
    }
    if (!s) {
        if (scSymbol* st = FindType(l)) {
            // Type(arguments): a temporary object of a class built by its constructor.
            Type t;
            t.base = vSTRUCT;
            t.st = st;
            if ((st->flags & 0x40) && st->typeKind == 2) {
                std::string name = l;
                Next();
                if (Is("(")) {
                    Back();
                    Val tmp;
                    tmp.mode = modeFRAME;
                    tmp.off = ReserveTemp(t);
                    tmp.t = t;
                    CallMember(tmp, name.c_str(), nullptr, "Constructor `%s' couldn't be found.%s", false);
                    v = tmp;
                    return true;
                }
                Back();
            }
        }
        if (!needed) return false;
        Error(scerr_OPERAND, "`%s' undeclared", l);
    }
    SetToSymType(v.t, s);
    if (IsFunction(v.t)) {
        std::string name = l;
        Next();
        Expect("(", "At the moment getting the address of a function is not implemented!", scerr_OPERAND);
        Back();
        v = CallFunction(name.c_str(), needed);
        return true;
    }
    v.sym = s;
    const bool stat = v.t.stat;
    v.t.stat = false;
    int kind = s->flags & 7;
    if (s->flags & 0x20) {
        v.mode = modeABSOLUTE;
        v.off = ImportSymbol(s);
        // The slot holds the variable's address: load it and address through it.
        Val slot;
        slot.mode = modeABSOLUTE;
        slot.off = v.off;
        int r = AllocReg();
        Val d = Reg(r);
        Emit(opMOV, &d, &slot);
        v.mode = modeABSOLUTE;
        v.reg = true;
        v.r = r;
        v.off = 0;
    } else if (kind == 3) {
        if (staticInit) Error(scerr_DECLARATION, "A static object's initializer cannot use the local `%s'", l);
        v.mode = modeFRAME;
        v.off = s->address;
    } else {
        v.mode = modeDATA;
        v.off = s->address;
    }
    if (v.t.decl[0] == '&') {
        Type t = v.t;
        t.stat = stat;
        Val p = v;
        p.t = IntType();
        Val r = Load(p);
        v = Val();
        v.mode = modeABSOLUTE;
        v.reg = true;
        v.r = r.r;
        v.t = Deeper(t);
    }
    Next();
    return true;
}

// The memory that a pointer value addresses.
static Val Deref(Val v) {
    if (v.t.decl.empty() || (v.t.decl[0] != '*' && v.t.decl[0] != '[')) Error(scerr_OPERAND, "Not a pointer or table");
    Type et = Deeper(v.t);
    if (v.t.decl[0] == '[') {
        if (v.mode) {
            v.t = et;
            return v;
        }
    }
    Val p = v;
    p.t = IntType();
    p = InReg(p);
    Val m;
    m.mode = modeABSOLUTE;
    m.reg = true;
    m.r = p.r;
    m.t = et;
    return m;
}

// Moves a memory value by `delta` bytes: its offset, or for memory addressed
// through a register (whose instructions carry no offset) that register, copied
// first when it is not the value's own.
static void Displace(Val& v, int32_t delta) {
    if (!(v.reg && v.mode)) {
        v.off += delta;
        return;
    }
    if (!delta) return;
    Val r = Reg(v.r), o = Imm(delta);
    if (v.r >= 240 || !regUsed[v.r]) {
        Val n = Reg(AllocReg());
        Emit(opMOV, &n, &r);
        v.r = n.r;
        r = n;
    }
    Emit(opADD, &r, &o);
}

static bool Postfix(Val& v, bool needed) {
    if (Is("(")) {
        Next();
        Val inner;
        if (!ReadExpr(inner, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
        Expect(")", "`)' expected");
        Next();
        v = inner;
        if (!(Is("->") || Is(".") || Is("["))) return true;
    } else if (!Primary(v, needed)) {
        return false;
    }
    for (;;) {
        if (Is("(") && IsStruct(v)) {
            Back();
            v = CallMember(v, "operator()", nullptr, "Proper `%s' could not be found.%s", needed);
            continue;
        }
        if (Is("[")) {
            Next();
            Val index;
            if (!ReadExpr(index, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
            Expect("]", "`]' expected");
            Next();
            if (IsStruct(v)) {
                if (!CallOperator("[]", v, {index}, true)) OperandError("s", "[]");
                continue;
            }
            if (v.t.decl.empty() || (v.t.decl[0] != '[' && v.t.decl[0] != '*'))
                Error(scerr_OPERAND, "Indexing not table or pointer");
            Type et = Deeper(v.t);
            int step = SizeOf(et);
            MakeInt(index);
            if (v.t.decl[0] == '[' && v.mode && index.imm) {
                Displace(v, index.off * step);
                v.t = et;
                continue;
            }
            if (index.imm) {
                index.off *= step;
            } else {
                index = InReg(index);
                if (step != 1) {
                    Val s = Imm(step);
                    Emit(opMUL, &index, &s);
                }
            }
            Val base;
            if (v.t.decl[0] == '[' && v.mode) {
                base = AddressOf(v);
            } else {
                Val p = v;
                p.t = IntType();
                base = InReg(p);
            }
            if (!(index.imm && index.off == 0)) Emit(opADD, &base, &index);
            FreeVal(index);
            Val m;
            m.mode = modeABSOLUTE;
            m.reg = true;
            m.r = base.r;
            if (base.imm) {
                m.reg = false;
                Val r = Load(base);
                m.reg = true;
                m.r = r.r;
            }
            m.t = et;
            v = m;
            continue;
        }
        if (Is(".") || Is("->")) {
            bool arrow = Is("->");
            if (arrow) {
                if (v.t.decl.empty() || v.t.decl[0] != '*') Error(scerr_OPERAND, "Not a pointer in `->'");
                v = Deref(v);
                if (!IsStruct(v)) Error(scerr_OPERAND, "not a struct or script in binary `->'");
            } else if (!IsStruct(v)) {
                Error(scerr_OPERAND, "not a struct or script in binary `.'");
            }
            Next();
            std::string member = ReadMemberName();
            if (HasMember(v.t, member.c_str())) {
                Next();
                if (!Is("(")) Error(scerr_OPERAND, "Member function `%s' must be called", member.c_str());
                Back();
                v = CallMember(v, member.c_str(), nullptr, nullptr, needed);
                continue;
            }
            scSymbol* m = scdicFind(v.t.st->members, Lex());
            if (!m) Error(scerr_OPERAND, "`%s' is not a member of `%s'", Lex(), v.t.st->name);
            Displace(v, m->address);
            v.t = SymType(m);
            v.sym = m;
            Next();
            continue;
        }
        // Only a function name is called: a variable, a pointer to a function
        // included, is not.
        if (Is("(") && !IsStruct(v)) Error(scerr_OPERAND, "`%s' is not a function", v.sym && v.sym->name ? v.sym->name : "(");
        return true;
    }
}

// ---- Levels --------------------------------------------------------------------

static void IncDec(Val& v, bool inc, bool pre, bool needed) {
    if (IsStruct(v)) {
        // The prefix form calls operator++() or operator--(), the postfix form
        // passes the int 1.
        std::vector<Val> args;
        if (!pre) args.push_back(Imm(1));
        if (!CallOperator(inc ? "++" : "--", v, args, needed)) OperandError("", inc ? "++" : "--");
        return;
    }
    if (!IsLvalue(v)) Error(scerr_OPERAND, inc ? "Invalid lvalue in increment" : "Invalid lvalue in decrement");
    if (v.t.cnst) Error(scerr_OPERAND, "const value cannot change");
    Val one = Imm(1);
    if (!pre && needed) {
        Val old = Load(v);
        Val target = v;
        Emit(inc ? opADD : opSUB, &target, &one);
        FreeVal(v);
        v = old;
        return;
    }
    Emit(inc ? opADD : opSUB, &v, &one);
    if (needed) {
        Val r = Load(v);
        v = r;
    }
}

// After `sizeof' or `typeof': "(" and a declaration (for typeof one closed by
// ")"), else an expression, whose type is taken.
static Type TypeOrExpression(bool needClose, const char* noExpression) {
    Next();
    Expect("(");
    scSavedPosition at;
    scsSavePosition(src, &at);
    if (scSymbol* d = ReadTypeSpec()) {
        scSymbol tmp{};
        ReadDeclarator(&tmp, SymType(d));
        Next();
        if (!needClose || Is(")")) return SymType(&tmp);
    }
    scsSetPosition(src, at.line, at.position);
    Next();
    if (needClose && Is(")")) Error(scerr_SYNTAX, noExpression, Lex());  // nothing inside: no type to write
    Val e;
    if (!ReadExpr(e, true)) Error(scerr_SYNTAX, noExpression, Lex());
    FreeVal(e);
    return e.t;
}

static int g_unaryDepth = 0;

static bool Unary(Val& v, bool needed) {
    // Prefix operators recurse here without passing through SubExp.
    Nesting guard(g_unaryDepth, 400, "Expression");
    if (Is("!")) {
        Next();
        if (!Unary(v, true)) Error(scerr_SYNTAX, "Parse error");
        if (IsStruct(v)) {
            if (!CallOperator("!", v, {}, needed)) OperandError("", "!");
            return true;
        }
        if (v.imm) {
            RequireValue(v);
            int k = ValKind(v.t);
            if (k == tFIXED || k == tFLOAT || k == tDOUBLE) OperandError("", "unary !");
            v = Imm(v.off == 0);
            return true;
        }
        v = InReg(ToInt(v));
        Emit(opNOT, &v);
        v.t = IntType();
        return true;
    }
    if (Is("~")) {
        Next();
        if (!Unary(v, true)) Error(scerr_SYNTAX, "Parse error");
        if (IsStruct(v)) {
            if (!CallOperator("~", v, {}, needed)) OperandError("", "~");
            return true;
        }
        if (IsFloating(v)) OperandError("", "unary ~");
        Type t = v.t;
        v = InReg(v);
        Val m = Imm(-1);
        Emit(opXOR, &v, &m);
        v.t = t;
        return true;
    }
    if (Is("-")) {
        Next();
        if (!Unary(v, true)) Error(scerr_SYNTAX, "Parse error");
        if (IsStruct(v)) {
            if (!CallOperator("-", v, {}, needed)) OperandError("", "-");
            return true;
        }
        if (v.imm) {
            RequireValue(v);
            if (IsFloating(v)) v.d = -v.d;
            else v.off = int32_t(0u - uint32_t(v.off)), v.d = v.off;
            return true;
        }
        Type t = v.t;
        v = InReg(v);
        Emit(opNEG, &v);
        if (ValKind(t) == tCHAR || ValKind(t) == tSHORT) t = IntType();
        v.t = ValKind(v.t) == tDOUBLE ? v.t : t;
        return true;
    }
    if (Is("+")) {
        Next();
        if (!Unary(v, true)) Error(scerr_SYNTAX, "Parse error");
        return true;
    }
    if (Is("++") || Is("--")) {
        bool inc = Is("++");
        Next();
        if (!Unary(v, true)) Error(scerr_SYNTAX, "Parse error");
        IncDec(v, inc, true, needed);
        return true;
    }
    if (Is("&")) {
        Next();
        if (!Unary(v, true)) Error(scerr_SYNTAX, "Parse error");
        if (v.addr) {
            v.addr = false;
        }
        if (v.value) Error(scerr_OPERAND, "Not a lvalue to unary &");
        Type t = v.t;
        v = AddressOf(v);
        v.t = t;
        v.t.decl = "*" + t.decl;
        return true;
    }
    if (Is("*")) {
        int stars = 0;
        while (Is("*")) stars++, Next();
        if (!Unary(v, true)) Error(scerr_SYNTAX, "Parse error");
        while (stars--) v = Deref(v);
        return true;
    }
    if (Is("sizeof")) {
        Type t = TypeOrExpression(false, scMSG_PARSE_ERROR_AT);
        if (!t.decl.empty() && t.decl[0] == '&') t = Deeper(t);
        Expect(")", "`%s' instead of `)'");
        Next();
        v = Imm(SizeOf(t));
        return true;
    }
    if (Is("typeof")) {
        Type t = TypeOrExpression(true, "typeof() requires type or variable");
        Expect(")", "`%s' instead of `)'");
        std::string text = TypeText(t);
        if (text.empty()) Error(scerr_SYNTAX, "typeof() requires type or variable");
        if (text.size() > 16384) Error(scerr_SYNTAX, "typeof() text too long");
        int off = PoolString(text.c_str(), int(text.size()));
        v = Val();
        v.mode = modePOOL;
        v.off = off;
        v.t.base = tCHAR;
        v.t.decl = "[" + std::to_string(text.size() + 1) + "]";
        Next();
        return true;
    }
    if (Is("(")) {
        // A cast when a type follows.
        scSavedPosition at;
        scsSavePosition(src, &at);
        scSymbol* d = ReadTypeSpec();
        if (d) {
            scSymbol tmp{};
            ReadDeclarator(&tmp, SymType(d));
            Type t = SymType(&tmp);
            Next();
            Expect(")", "`%s' instead of `)'");
            Next();
            if (!Unary(v, true)) Error(scerr_SYNTAX, "Parse error");
            if (ValKind(t) == tVOID) {
                v.t = t;
                return true;
            }
            v = ConvertTo(v, t);
            v.t = t;
            v.value = v.mode != modeNONE;
            return true;
        }
        scsSetPosition(src, at.line, at.position);
        src->lex = src->lexeme;
        std::strcpy(src->lexeme, "(");
    }
    if (!Postfix(v, needed)) return false;
    if (Is("++") || Is("--")) {
        bool inc = Is("++");
        Next();
        IncDec(v, inc, false, needed);
    }
    return true;
}

static int LevelOp(int level, const char*& text) {
    struct Op {
        int level;
        const char* t;
        int op;
    };
    static const Op ops[] = {
        {5, "|", opOR},    {6, "^", opXOR},    {7, "&", opAND},   {8, "==", opCMPE},  {8, "!=", opCMPE},
        {9, "<", opCMPL},  {9, "<=", opCMPNG}, {9, ">", opCMPG},  {9, ">=", opCMPNL}, {10, "<<", opSHL},
        {10, ">>", opSHR}, {12, "*", opMUL},   {12, "/", opDIV},  {12, "%", opMOD},
    };
    // The levels whose operators begin with a byte: most lexemes after an
    // operand (";", ")", ",") begin none.
    static const struct Starts {
        uint16_t levels[256] = {};
        Starts() {
            for (const Op& o : ops) levels[uint8_t(o.t[0])] |= uint16_t(1 << o.level);
        }
    } starts;
    if (!(starts.levels[uint8_t(Lex()[0])] & (1 << level))) return -1;
    // "&=", "|=" and "^=" reach the parser as two lexemes: the assignment level
    // takes them.
    if ((Is("&") || Is("|") || Is("^")) && src->currentLine <= src->lastLine &&
        src->lines[src->currentLine][src->position] == '=')
        return -1;
    // Each level's operators: a run of the table.
    static const struct Runs {
        uint8_t first[14] = {}, end[14] = {};
        Runs() {
            for (size_t i = sizeof ops / sizeof ops[0]; i-- > 0;) first[ops[i].level] = uint8_t(i);
            for (size_t i = 0; i < sizeof ops / sizeof ops[0]; ++i) end[ops[i].level] = uint8_t(i + 1);
        }
    } runs;
    for (int i = runs.first[level]; i < runs.end[level]; ++i)
        if (Is(ops[i].t)) {
            text = ops[i].t;
            return ops[i].op;
        }
    return -1;
}

static int g_exprDepth = 0;

// The levels of the expression reader, each entered with its left operand read;
// the operator's work stands apart, so that passing through a level without
// its operator costs little.

// Level 1: assignments.
__attribute__((noinline)) static bool AssignLevel(Val& v, bool needed) {
    static const struct {
        const char* t;
        int op;
    } assigns[] = {{"=", opMOV},  {"+=", opADD}, {"-=", opSUB}, {"*=", opMUL},  {"/=", opDIV},  {"%=", opMOD},
                   {"&=", opAND}, {"|=", opOR},  {"^=", opXOR}, {"<<=", opSHL}, {">>=", opSHR}};
    int op = -1;
    const char* text = "";
    for (auto& a : assigns)
        if (Is(a.t)) op = a.op, text = a.t;
    // "&=", "|=" and "^=" come from the lexer as two lexemes.
    bool two = false;
    if (op < 0 && (Is("&") || Is("|") || Is("^"))) {
        scSavedPosition at;
        scsSavePosition(src, &at);
        std::string first = Lex();
        int c = scsGetChar(src);
        if (c == '=') {
            op = first == "&" ? opAND : first == "|" ? opOR : opXOR;
            text = first == "&" ? "&=" : first == "|" ? "|=" : "^=";
            two = true;
        } else {
            scsSetPosition(src, at.line, at.position);
        }
    }
    (void)two;
    if (op < 0) return true;
    if (!IsLvalue(v)) Error(scerr_OPERAND, "Invalid lvalue in assignment");
    if (v.t.cnst) Error(scerr_OPERAND, "const value cannot change");
    Next();
    Val r;
    if (!SubExp(1, r, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
    if (IsStruct(v)) {
        if (CallOperator(text, v, {r}, needed)) return true;
        if (op != opMOV) OperandError("s", text);
        if (!IsStruct(r)) OperandError("s", "=");
        if (SizeOf(r.t) != SizeOf(v.t)) Error(scerr_OPERAND, "Incompatible struct in copy.");
        if (SizeOf(v.t) == 4) {
            Emit(opMOV, &v, &r);
        } else {
            Val cnt = Reg(regCOUNT), sz = Imm(SizeOf(v.t));
            Emit(opMOV, &cnt, &sz);
            Emit(opCOPY, &v, &r);
        }
        FreeVal(r);
        return true;
    }
    if (IsStruct(r)) OperandError("s", text);
    r = Decay(r);
    if (op != opMOV) {
        if ((op == opADD || op == opSUB || op == opOR || op == opXOR || op == opSHL || op == opSHR) && ConstEquals(r, 0))
            return true;
        if ((op == opMUL || op == opDIV) && ConstEquals(r, 1)) return true;
        if (op == opDIV && ConstEquals(r, 0) && r.imm && !IsFloating(v)) {}
    }
    if (op == opMOV && r.mode && ValKind(v.t) != tDOUBLE) {
        int rk = ValKind(r.t);
        if (rk != tCHAR && rk != tSHORT && rk != tFLOAT && rk != tDOUBLE) {
            // Memory to memory: go through a register.
            Val l = Load(r);
            Emit(op, &v, &l);
            FreeVal(l);
            return true;
        }
    }
    if (r.mode && op != opMOV) {
        Val l = Load(r);
        r = l;
    }
    Emit(op, &v, &r);
    FreeVal(r);
    return true;
}

// Whether a MOV of a value of kind `from` into a register of kind `to` gives
// the value of kind `to` (a word into a word; a narrower integer, which the
// move widens) with no conversion first.
static bool MovesAsItIs(int to, int from) {
    if (to == from) return true;
    const bool word = to == tINT || to == vPOINTER;
    const bool integer = from == tINT || from == tCHAR || from == tSHORT || from == vPOINTER;
    return (word && integer) || (to == tSHORT && from == tCHAR);
}

// Level 2: the conditional operator.
__attribute__((noinline)) static bool ConditionalLevel(Val& v, bool needed) {
    (void)needed;
    Next();
    Val c = InReg(ToInt(v));
    PadCode();
    int p1 = codePos;
    Val zero = Imm(0);
    Emit(opJFALSE, &c, &zero);
    FreeVal(c);
    Val t;
    if (!ConditionalSubExp(3, t)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
    t = InReg(Decay(t));
    Expect(":", "`:' expected");
    Next();
    PadCode();
    int p2 = codePos;
    Emit(opJMP, &zero);
    Val target = Imm(codePos);
    EmitAt(p1, opJFALSE, &c, &target);
    Val f;
    if (!ConditionalSubExp(3, f)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
    f = Decay(f);
    if (!(f.reg && f.mode == modeNONE && f.r == t.r)) {
        // The result has the true branch's type: the false value is converted to it.
        if (!MovesAsItIs(ValKind(t.t), ValKind(f.t))) f = ConvertTo(f, t.t);
        Val d = t;
        d.t = t.t;
        Emit(ValKind(t.t) == tDOUBLE ? opDMOV : opMOV, &d, &f);
    }
    FreeVal(f);
    PadCode();
    Val end = Imm(codePos);
    EmitAt(p2, opJMP, &end);
    v = t;
    return true;
}

// Levels 3 and 4: || and &&.
__attribute__((noinline)) static bool LogicalLevel(int level, Val& v, bool needed) {
    (void)needed;
    bool orl = level == 3;
    const char* text = orl ? "||" : "&&";
    while (Is(text)) {
        if (IsStruct(v)) Error(scerr_OPERAND, "Invalid argument to operator %s", text);
        MakeInt(v);
        Next();
        int p = -1;
        Val zero = Imm(0);
        if (!v.imm) {
            v = InReg(v);
            PadCode();
            p = codePos;
            Emit(orl ? opJTRUE : opJFALSE, &v, &zero);
        }
        Val r;
        if (!ConditionalSubExp(level, r)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
        if (IsStruct(r)) Error(scerr_OPERAND, "Invalid argument to operator %s", text);
        MakeInt(r);
        if (!Fold(orl ? opORL : opANDL, v, r)) {
            if (!(r.imm && r.off == (orl ? 0 : 1))) {
                if (v.imm) v = InReg(v);
                Emit(orl ? opORL : opANDL, &v, &r);
            }
            FreeVal(r);
        }
        if (p >= 0) {
            PadCode();
            Val target = Imm(codePos);
            EmitAt(p, orl ? opJTRUE : opJFALSE, &v, &target);
        }
    }
    return true;
}

// Level 11: + and -.
__attribute__((noinline)) static bool AdditiveLevel(Val& v, bool needed) {
    while (Is("+") || Is("-")) {
        bool add = Is("+");
        Next();
        Val r;
        if (!SubExp(12, r, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
        if (IsStruct(v)) {
            if (!CallOperator(add ? "+" : "-", v, {r}, needed)) OperandError("s", add ? "+" : "-");
            continue;
        }
        v = Decay(v);
        if (ValKind(v.t) == vPOINTER) {
            if (!add) Error(scerr_OPERAND, "Invalid pointer operation");
            r = Decay(r);
            if (ValKind(r.t) != tINT) Error(scerr_OPERAND, "Invalid 2nd argument to operator+");
            int step = SizeOf(Deeper(v.t));
            MakeInt(r);
            if (r.imm) {
                r.off *= step;
            } else if (step != 1 && step != 0) {
                r = InReg(r);
                Val s = Imm(step);
                Emit(opMUL, &r, &s);
            }
            if (ConstEquals(r, 0) && !v.imm) continue;
            Type t = v.t;
            Binary(opADD, v, r);
            v.t = t;
            continue;
        }
        if (IsStruct(r)) Error(scerr_OPERAND, "Invalid argument to operator %s", add ? "+" : "-");
        r = Decay(r);
        if (ValKind(r.t) == vPOINTER) r.t = IntType();
        if (!v.imm && ConstEquals(r, 0)) continue;
        Type t = ValKind(v.t) == tCHAR || ValKind(v.t) == tSHORT ? IntType() : v.t;
        if ((v.imm && !r.imm && !IsFloating(v)) || (ValKind(r.t) == tFIXED && !IsFloating(v))) t = r.t;
        t.uns = v.t.uns || r.t.uns;
        Binary(add ? opADD : opSUB, v, r);
        if (!IsFloating(v)) v.t = ValKind(t) == tCHAR || ValKind(t) == tSHORT ? IntType() : t, v.t.uns = t.uns;
    }
    return true;
}

// Right-grouping binary levels 5-10 and 12.
__attribute__((noinline)) static bool BinaryLevel(int level, int op, const char* text, Val& v, bool needed) {
    Next();
    Val r;
    if (!SubExp(level, r, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
    if (IsStruct(v)) {
        if (!CallOperator(text, v, {r}, needed)) OperandError("s", text);
        return true;
    }
    if (IsStruct(r)) Error(scerr_OPERAND, "Invalid argument to operator %s", text);
    v = Decay(v);
    r = Decay(r);
    if (level == 12 && ValKind(v.t) == vPOINTER) Error(scerr_OPERAND, "Invalid pointer operation");
    bool floating = IsFloating(v) || IsFloating(r);
    if (floating && (level == 5 || level == 6 || level == 7 || level == 10)) {
        std::string t = std::string("binary ") + text;
        OperandError("s", t.c_str());
    }
    // The message prints the operator's text as it stands in the format.
    if (floating && op == opMOD) OperandError("s", "binary %%");
    bool uns = v.t.uns || r.t.uns;
    bool fixedOp = ValKind(v.t) == tFIXED || ValKind(r.t) == tFIXED;
    if (!floating && fixedOp) {
        // 16.16 operands stay fixed: the code generator picks FIXMUL and FIXDIV.
        Type ft;
        ft.base = tFIXED;
        v = ConvertTo(v, ft);
        r = ConvertTo(r, ft);
    } else if (!floating) {
        MakeInt(v);
        MakeInt(r);
        if (ValKind(v.t) == vPOINTER) v.t = IntType();
        if (ValKind(r.t) == vPOINTER) r.t = IntType();
        v.t.uns = uns;
        r.t.uns = uns;
    }
    bool compare = level == 8 || level == 9;
    if (!v.imm) {
        bool skip = false;
        if ((level == 5 || level == 6 || level == 10) && r.imm && !floating && r.off == 0) skip = true;
        if (level == 7 && r.imm && r.off == -1) skip = true;
        if (level == 12 && op != opMOD && ConstEquals(r, 1)) skip = true;
        if (skip) return true;
    }
    if (level == 12 && r.imm && (op == opDIV || op == opMOD) && v.imm) {
        // folded below, with its division-by-zero check
    }
    Type keep = v.t;
    Binary(op, v, r);
    if (!std::strcmp(text, "!=")) {
        if (v.imm) {
            if (IsFloating(v)) v.d = v.d == 0;
            else v.off = v.off == 0;
        } else {
            Emit(opNOT, &v);
        }
    }
    if (compare) {
        if (!v.imm) v.t = IntType();
        else if (!IsFloating(v)) v.t = IntType();
    } else if (!floating) {
        v.t = ValKind(keep) == tCHAR || ValKind(keep) == tSHORT ? IntType() : keep;
        v.t.uns = uns;
    }
    return true;
}

// Reads an expression of precedence `level` or tighter. Read as a descent, each
// level would first read its left operand at the next level down; here the
// operand is read once at the bottom and the levels are then passed upwards,
// each applying its operator if one follows. The nesting count is one per
// reading that is in progress, two for a parenthesis at most (its operator's
// right operand and its inside).
bool SubExp(int level, Val& v, bool needed) {
    constexpr int kLimit = 256;
    const int base = g_exprDepth;
    struct Restore {
        int base;
        ~Restore() {
            if (g_exprDepth > 0) g_exprDepth = base;
        }
    } restore{base};
    const int bottom = level < 13 ? 13 : level;
    g_exprDepth = base + 1;
    if (g_exprDepth > kLimit) {
        g_exprDepth = 0;
        Error(scerr_SYNTAX, "Expression nested too deeply");
    }
    if (!Unary(v, needed)) return false;
    // The levels whose operators may begin with a byte (more than may in
    // fact: the levels check): after most operands no level acts.
    static const struct Acting {
        uint16_t levels[256] = {};
        Acting() {
            auto add = [&](int level, const char* bytes) {
                for (const char* b = bytes; *b; ++b) levels[uint8_t(*b)] |= uint16_t(1 << level);
            };
            add(1, "=+-*/%&|^<>");
            add(2, "?");
            add(3, "|");
            add(4, "&");
            add(5, "|");
            add(6, "^");
            add(7, "&");
            add(8, "=!");
            add(9, "<>");
            add(10, "<>");
            add(11, "+-");
            add(12, "*/%");
        }
    } acting;
    for (int at = (bottom > 12 ? 12 : bottom); at >= level; --at) {
        const unsigned may = acting.levels[uint8_t(Lex()[0])] & ((2u << at) - (1u << level));
        if (!may) break;                   // none of the levels left
        at = 31 - __builtin_clz(may);      // the next level that may act
        bool ok = true;
        switch (at) {
        case 1:
            // Every assignment operator begins with one of these bytes.
            if (!Lex()[0] || !std::strchr("=+-*/%&|^<>", Lex()[0])) continue;
            ok = AssignLevel(v, needed);
            break;
        case 2:
            if (!Is("?")) continue;
            ok = ConditionalLevel(v, needed);
            break;
        case 3:
        case 4:
            if (!Is(at == 3 ? "||" : "&&")) continue;
            ok = LogicalLevel(at, v, needed);
            break;
        case 11:
            if (!Is("+") && !Is("-")) continue;
            ok = AdditiveLevel(v, needed);
            break;
        default: {
            const char* text;
            int op = LevelOp(at, text);
            if (op < 0) continue;
            ok = BinaryLevel(at, op, text, v, needed);
            break;
        }
        }
        if (!ok) return false;
    }
    return true;
}

bool ReadExpr(Val& v, bool needed) {
    if (!SubExp(1, v, needed)) return false;
    if (Is(";") || Is(")") || Is(",") || Is("]") || Is(":") || Is("}")) return true;
    if (IsPunct((unsigned char)Lex()[0])) Error(scerr_SYNTAX, "Invalid expression separator :`%s'", Lex());
    Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
}

}  // namespace zc
