// Class objects in functions: construction of locals, destructors at the end of a
// scope and before a return, and the end of a statement's temporaries.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Image.h"
#include "VARS.h"

namespace zc {

namespace {

Val ObjectOf(scSymbol* s) {
    Val v;
    v.mode = (s->flags & 7) == 2 ? modeDATA : modeFRAME;
    v.off = s->address;
    v.t = SymType(s);
    v.sym = s;
    return v;
}

bool IsTemp(scSymbol* s) { return s->name && !std::strcmp(s->name, "%TEMP"); }

// A local object of the function (parameters have positive offsets).
bool IsLocalObject(scSymbol* s) { return (s->flags & 7) == 3 && s->address < 0 && !(s->typeKind & 0x40); }

void Destroy(scSymbol* s) {
    Type t = SymType(s);
    std::string name = std::string("~") + t.st->name;
    std::vector<Val> none;
    CallMember(ObjectOf(s), name.c_str(), &none, "Destructor `%s' couldn't be found.%s", false);
}

}  // namespace

// The lexeme after the declarator is current: "(" arguments, "=" a value, or
// neither (the constructor without arguments). The object's room is reserved
// here. On return the lexeme after the initialiser is current.
void ConstructLocal(scSymbol* s) {
    Type t = SymType(s);
    t.stat = false;
    if ((s->flags & 7) == 3) ReserveLocalRoom(SizeOf(t));
    bool hasConstructor = HasMember(t, t.st->name);
    if (Is("(")) {
        Back();
        CallMember(ObjectOf(s), t.st->name, nullptr,
                   hasConstructor ? "Unable to find suitable constructor for initialization"
                                  : "Constructor `%s' couldn't be found.%s",
                   false);
        return;
    }
    std::vector<Val> args;
    if (Is("=")) {
        Next();
        Val v;
        if (!SubExp(1, v, true)) Error(scerr_SYNTAX, scMSG_PARSE_ERROR_AT, Lex());
        args.push_back(v);
        if (scSymbol* f = FindMember(t, t.st->name, args)) {
            CallMember(ObjectOf(s), t.st->name, &args, nullptr, false, f);
            ClearRegisters();
            return;
        }
        // No constructor takes the value: only an object of the class is copied.
        CopyInitialValue(s, v);
        ClearRegisters();
        return;
    }
    if (!FindMember(t, t.st->name, args)) return;  // no constructor without arguments: the object stays zero-filled
    CallMember(ObjectOf(s), t.st->name, &args, nullptr, false);
    ClearRegisters();
}

void RequireStructInitializer(const char* name, const Type& t, const Val& v) {
    if (ValKind(v.t) != vSTRUCT || !v.t.decl.empty() || v.t.st != t.st)
        Error(scerr_DECLARATION, "invalid initializer for `%s'", name);
}

void CopyInitialValue(scSymbol* s, Val v) {
    Type t = SymType(s);
    RequireStructInitializer(s->name, t, v);
    if (HasDestructor(t))
        Error(scerr_OPERAND, "`%s' has a destructor and no copy constructor: initialize it by a constructor",
              t.st->name);
    Val cnt = Reg(regCOUNT), n = Imm(SizeOf(t)), obj = ObjectOf(s);
    Emit(opMOV, &cnt, &n);
    Emit(opCOPY, &obj, &v);
    FreeVal(v);
}

void NeedStackFor(int size) {
    const int64_t need = 4 * int64_t(size);
    if (need > int64_t(zedi::kMaxStackSize)) Error(scerr_DECLARATION, "Local variable too large for the stack");
    if (need > stackSize) stackSize = int(need);
}

void ReserveLocalRoom(int size) {
    NeedStackFor(size);
    if (Align4(size) == 4) {
        Val z = Imm(0);
        Emit(opPUSH, &z);
    } else {
        Val sp = Reg(regSP), n = Imm(Align4(size));
        Emit(opSUB, &sp, &n);
    }
}

void DestroyLocals(scSymbol* mark, bool keepResult) {
    bool any = false;
    for (scSymbol* s = symbols->first; s && s != mark; s = s->next)
        if (IsLocalObject(s) && HasDestructor(SymType(s))) any = true;
    if (!any) return;
    Val r0 = Reg(0), r1 = Reg(1);
    if (keepResult) {
        Emit(opPUSH, &r0);
        Emit(opPUSH, &r1);
    }
    for (scSymbol* s = symbols->first; s && s != mark; s = s->next)
        if (IsLocalObject(s) && HasDestructor(SymType(s))) Destroy(s);
    if (keepResult) {
        Emit(opPOP, &r1);
        Emit(opPOP, &r0);
    }
}

void DestroyGlobals() {
    // Globals and static locals, the last declared first (statics lie among the
    // oldest globals in the dictionary, so their numbers give the order).
    std::vector<scSymbol*> objects;
    for (scSymbol* s = symbols->first; s; s = s->next)
        if ((s->flags & 7) == 2 && !(s->flags & 0x20) && !IsFunction(SymType(s)) && HasDestructor(SymType(s)))
            objects.push_back(s);
    std::stable_sort(objects.begin(), objects.end(), [](scSymbol* a, scSymbol* b) { return a->spare > b->spare; });
    for (scSymbol* s : objects) {
        ClearRegisters();
        Destroy(s);
    }
}

void EndTemporaries(scSymbol* mark) {
    int bytes = 0;
    while (symbols->first && symbols->first != mark && IsTemp(symbols->first)) {
        scSymbol* s = symbols->first;
        if (HasDestructor(SymType(s))) Destroy(s);
        bytes += Align4(SizeOf(SymType(s)));
        scdicPop(symbols);
    }
    if (!bytes) return;
    Val sp = Reg(regSP), n = Imm(bytes);
    Emit(opADD, &sp, &n);
    localOffset += bytes;
}

}  // namespace zc
