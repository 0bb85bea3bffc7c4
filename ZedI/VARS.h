// Types and values of the compiler, the code generator and the compile state
// shared by the declaration, expression, statement and initialiser readers.
#pragma once

#include <cstring>

#include "CompilerInternal.h"

namespace zc {

enum { tINT = 0, tLONG, tCHAR, tFIXED, tFLOAT, tDOUBLE, tSHORT, tREGISTER, tVOID, vPOINTER, vSTRUCT };

// A declarator's text: "*", "&", "[N]", "(params)" read left to right. It never
// changes once made, so a copy is a pointer and an element's rest (`substr(pos)`)
// is the same text further on; the text lives until the compile's sweep.
class Decl {
public:
    Decl() = default;
    Decl(const char* text);          // a copy of the text (shared with an equal one)
    Decl(const std::string& text);
    // The text itself, which must outlive the compile's value.
    static Decl Borrow(const char* text) {
        Decl d;
        d.p_ = text;
        return d;
    }
    bool empty() const { return !*p_; }
    char operator[](size_t i) const { return p_[i]; }
    const char* c_str() const { return p_; }
    size_t size() const { return std::strlen(p_); }
    size_t find(char c) const {
        const char* q = std::strchr(p_, c);
        return q ? size_t(q - p_) : std::string::npos;
    }
    Decl substr(size_t pos) const { return Borrow(p_ + pos); }
    std::string substr(size_t pos, size_t n) const { return std::string(p_ + pos, n); }
    void clear() { p_ = ""; }
    operator std::string() const { return p_; }

private:
    const char* p_ = "";
};
inline std::string operator+(const char* a, const Decl& b) { return std::string(a) + b.c_str(); }
inline std::string operator+(const std::string& a, const Decl& b) { return a + b.c_str(); }

struct Type {
    int base = tINT;           // predefined index, or vSTRUCT
    Decl decl;
    bool uns = false, cnst = false, stat = false;
    scSymbol* st = nullptr;    // structure symbol for vSTRUCT
};

// Where a value lives (Val::mode): not in memory, or in memory relative to the
// pool, the data area or the frame (numbered as the CPU's operand bases), or at
// an absolute address or an import slot (base none: mode & 3 is the base).
enum ValMode { modeNONE = 0, modePOOL = 1, modeDATA = 2, modeFRAME = 3, modeABSOLUTE = 4 };

// A compiler value: an immediate, a register, or memory relative to a base.
struct Val {
    bool imm = false;
    bool reg = false;          // register number in `r` (also the base of a memory operand)
    ValMode mode = modeNONE;
    int r = 0;
    int32_t off = 0;           // immediate value or memory offset
    double d = 0;              // immediate of a double
    bool addr = false;         // stands for the address of its location
    bool value = false;        // a cast's result in memory: read, never stored into
    Type t;
    scSymbol* sym = nullptr;
};

// Symbols carry their type in the record: typeKind holds the base, the modifiers
// and the kind; typeString the declarator; members the structure.
// Sets `t` to the record's type field by field (a type made apart and copied
// whole would wait for its last stores to land).
inline void SetToSymType(Type& t, scSymbol* s) {
    const uint32_t k = s->typeKind;
    t.base = int((k >> 8) & 0xFF);
    t.uns = k & 0x20;
    t.cnst = k & 0x10;
    t.stat = k & 0x40;
    // A record's text, a small block of the compile's arena, stays until the
    // sweep even when the record is freed: the value takes it as it is.
    const char* ts = s->typeString;
    if (!ts)
        t.decl = Decl();
    else if (scmArenaOn() && std::strlen(ts) < 4096)
        t.decl = Decl::Borrow(ts);
    else
        t.decl = Decl(ts);
    t.st = t.base == vSTRUCT ? s->members : nullptr;
}
inline Type SymType(scSymbol* s) {
    Type t;
    SetToSymType(t, s);
    return t;
}
void SetSymType(scSymbol* s, const Type& t);

// Predefined index, vPOINTER or vSTRUCT (function: its result).
int ValKindOfDeclarator(const Type& t);
inline int ValKind(const Type& t) { return t.decl.empty() ? t.base : ValKindOfDeclarator(t); }
int SizeOf(const Type& t);
int AlignOf(const Type& t);
// Keeps the size and alignment of a structure whose body has been read in its record.
void KeepStructLayout(scSymbol* st);
Type Deeper(const Type& t);      // removes the first declarator element
inline bool IsFunction(const Type& t) { return t.decl[0] == '('; }
Type ResultType(const Type& ft);  // what a function type returns
// A type written as a declaration: in messages a script type is "script"; as
// its identity (whether two declarations declare the same) it names the script.
enum TypeNaming { namingMESSAGE, namingIDENTITY };
std::string TypeText(const Type& t, TypeNaming naming = namingMESSAGE);
bool SameParameters(const Type& a, const Type& b);  // of two function types
int Align4(int n);

// Registers.
void ClearRegisters();
int AllocReg();
int AllocPair();
void FreeVal(Val& v);
extern bool regUsed[256];

// Code generation.
extern scByteBuffer code, pool, records, imports;
extern int codePos;
extern int discard;
// While a fork body is read on trial: the frame offset below which the forked
// child's own stack room lies, and whether the body's code addressed it.
extern int forkFrameBase;
extern bool forkOwnFrame;
extern int staticInit;           // compiling a static local's construction (no frame locals)
void Emit(int op, Val* a = nullptr, Val* b = nullptr);
void EmitByte(int op);
void PadCode();
void EmitAt(int position, int op, Val* a = nullptr, Val* b = nullptr);
inline Val Imm(int32_t v) {
    Val r;
    r.imm = true;
    r.off = v;
    r.d = v;
    return r;
}
inline Val DImm(double v) {
    Val r;
    r.imm = true;
    r.d = v;
    r.t.base = tDOUBLE;
    return r;
}
inline Val Reg(int n) {
    Val r;
    r.reg = true;
    r.r = n;
    return r;
}
// Refuses a void value (the result of a void function) where a value is needed.
[[noreturn]] void VoidValueError();
inline void RequireValue(const Val& v) {
    if (v.t.base == tVOID && v.t.decl.empty()) VoidValueError();
}
Val Load(Val v);                 // into a register as its value
Val ToIntConverted(const Val& v);
// An int value as it is (the common case) without a call.
inline Val ToInt(const Val& v) {
    if (!v.imm && !v.addr && v.t.base == tINT && v.t.decl.empty()) return v;
    return ToIntConverted(v);
}
// ToInt in place: an int stays, an int constant only loses its type's
// modifiers, without a copy of the whole value.
inline void MakeInt(Val& v) {
    if (!v.addr && v.t.base == tINT && v.t.decl.empty()) {
        if (v.imm) {
            v.t = Type();
            v.d = v.off;
        }
        return;
    }
    v = ToIntConverted(v);
}
Val ToDouble(Val v);
// The one conversion of a value to another kind (casts, returns, stores,
// arguments, initialisers and folds). The result has the target's kind: an
// immediate converted at compile time, or a value in memory or a register. A
// float not in memory is held in one register as float bits; a char or short is
// cut to its low bits and zero-extended, except with `narrowBYSTORE` for a value
// that is stored into a place of that type (the store keeps the low bits itself).
enum Narrowing { narrowVALUE, narrowBYSTORE };
Val ConvertTo(Val v, const Type& t, Narrowing narrowing = narrowVALUE);
Val AddressOf(Val v);
Val Decayed(const Val& v);       // the address of an array or of an address value
// Array to pointer; anything else stays as it is.
inline Val Decay(const Val& v) {
    if (!v.addr && (v.t.decl[0] != '[' || v.mode == modeNONE)) return v;
    return Decayed(v);
}
int PoolString(const char* text, int length);
int ImportSymbol(scSymbol* s);

// Compile state.
extern scDictionary types, symbols, exportList;
extern int nextData;
extern int localOffset;
extern scSymbol* scopeMark;     // head of the symbol dictionary when the current block began
extern scSymbol* currentFunction;
extern scSymbol* currentClass;  // the class whose member function is being compiled
extern scSymbol* declaredClass; // the class of the last qualified declarator (Class::member)
extern int stackSize;
// Raises the stack size for a local of `size' bytes (four times its size); one
// past the largest stack an image may have is refused.
void NeedStackFor(int size);
extern std::vector<scSymbol*> paramTable;

// Readers.
scSymbol* ReadTypeSpec();                         // none when no type here
// The type a name without a qualifier names: one declared in the structure
// whose body is being read or in those around it, else one of the top level,
// else one declared in any structure (as in C); none if no type has the name.
// (The choice, when `newest`, the newest record of the name, may have others.)
scSymbol* FindTypeOfSeveral(scSymbol* newest, const char* name);
inline scSymbol* FindType(const char* name) {
    scSymbol* newest = scdicLookup(types, name);
    return newest ? FindTypeOfSeveral(newest, name) : nullptr;
}
void ReadDeclarator(scSymbol* s, const Type& base);
bool ReadExpr(Val& v, bool needed);
bool SubExp(int level, Val& v, bool needed);
void ReadStatement(scSymbol* mark, bool inBody);
void ReadBlock(scSymbol* mark, bool inBody);
void ReadDefinition(scSymbol* first, bool inBody);
void ReadInitialization(scSymbol* s, bool inBody);
// After `import`: the dispatcher number and import name of its specifier.
void ReadImportSpec(int& dispatcher, std::string& importName);
bool IsValidIdentifier(const char* name);
Val CallFunction(const char* name, bool needed);
// Calls a member function of a structure object (arguments read from the source
// when `args` is null; `format` null gives the member-function message).
// `chosen`, when given, is the function to call (already resolved).
Val CallMember(Val object, const char* name, std::vector<Val>* args, const char* format, bool needed,
               scSymbol* chosen = nullptr);
bool HasMember(const Type& t, const char* name);   // a member function of that name
bool HasDestructor(const Type& t);
bool HasCopyConstructor(const Type& t);
// Class objects: construction of a local, destructors of the locals above `mark`
// (keeping a return value in registers 0 and 1 when `keepResult`), and the end of
// a statement's temporaries.
void ConstructLocal(scSymbol* s);
// Initialises an object that no constructor builds by a copy of a value of its
// class (its room is taken already).
void CopyInitialValue(scSymbol* s, Val v);
// Refuses a value that is not an object of the structure type `t` as the initial
// value of the variable `name` (no constructor took it).
void RequireStructInitializer(const char* name, const Type& t, const Val& v);
// Takes a local's room on the stack (4 bytes pushed as 0) and counts it in the stack size.
void ReserveLocalRoom(int size);
// A member's name at the current lexeme: a name, "~" and the class name, or
// "operator" and its operator. The name's last lexeme is current on return.
std::string ReadMemberName();
void DestroyLocals(scSymbol* mark, bool keepResult);
void EndTemporaries(scSymbol* mark = nullptr);  // those made since `mark` was the head
void DestroyGlobals();  // the clean-up routine's destructor calls, newest first
// The body of a member function defined inside its class; "{" is current.
void ReadMemberBody(scSymbol* st, scSymbol* f);
// The member function of that name that takes the arguments, null if none.
scSymbol* FindMember(const Type& t, const char* name, const std::vector<Val>& args);
int ParamBytes(scSymbol* f);
// A new symbol of the frame (flags 11) at that offset; not yet in a dictionary.
scSymbol* NewFrameSymbol(const char* name, int32_t address, const Type& t);
scSymbol* ParamAt(const char* p, const char** end, int* defaultIndex);

}  // namespace zc
