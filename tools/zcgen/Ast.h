// The programs the generator writes, as a tree: types, variables, expressions,
// statements and functions of the part of the language that C shares. The
// interpreter runs the tree with C's rules, the printer writes it as source
// text, the reducer edits it in place.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace zcgen {

// uchar and ushort are C's unsigned char and unsigned short; in the script they
// are plain char and short, which load without a sign.
enum class Kind : uint8_t { U8, U16, I32, U32, F64, Struct, Array, Void };

struct StructDef;

struct Type {
    Kind kind = Kind::Void;
    const StructDef* def = nullptr;  // Struct
    const Type* elem = nullptr;      // Array
    int count = 0;                   // Array
    int cells = 1;                   // scalars it holds (the interpreter's storage)
};

bool IsInteger(const Type* t);
bool IsScalar(const Type* t);  // integer or double
bool IsArith(const Type* t);   // same as IsScalar; named for C's arithmetic types

struct Field {
    std::string name;
    const Type* type;
    int cell;  // first cell inside the structure
};

struct StructDef {
    std::string name;
    std::vector<Field> fields;
};

// The one place types are made; each distinct type exists once.
class Types {
public:
    static const Type* U8();
    static const Type* U16();
    static const Type* I32();
    static const Type* U32();
    static const Type* F64();
    static const Type* Void();
    static const Type* Scalar(Kind k);
    const Type* Array(const Type* elem, int count);
    const Type* Struct(const StructDef* def);

private:
    std::deque<Type> made_;
};

struct Var {
    std::string name;
    const Type* type;
    bool global = false;
    bool param = false;  // an array parameter refers to the caller's array
    int id = 0;          // unique in the program
};

struct Func;

enum class Op : uint8_t {
    Const,    // ival (integers, as 32 bits) or dval
    VarRef,   // var
    Index,    // kids: array, index
    Member,   // kids: structure; field
    Call,     // func; kids: arguments
    Neg, BitNot, Not,
    Add, Sub, Mul, Div, Mod, Shl, Shr, BitAnd, BitOr, BitXor,
    Lt, Le, Gt, Ge, Eq, Ne,
    LogAnd, LogOr,
    Cond,     // kids: condition, true value, false value
    Cast,     // type; kids: operand
    Assign,   // kids: place, value
    OpAssign, // binop; kids: place, value
    PreInc, PreDec, PostInc, PostDec,
    Brace,    // an initialiser list; kids: elements
};

struct Expr;
using ExprP = std::unique_ptr<Expr>;

struct Expr {
    Op op = Op::Const;
    Op binop = Op::Add;  // OpAssign: the operator
    const Type* type = nullptr;  // C's type of the result
    std::vector<ExprP> kids;
    uint32_t ival = 0;
    double dval = 0;
    const Var* var = nullptr;
    Func* func = nullptr;
    int field = 0;
};

struct Stmt;
using StmtP = std::unique_ptr<Stmt>;
using Block = std::vector<StmtP>;  // a null entry is a removed statement

enum class St : uint8_t { Decl, Expr, If, For, While, Do, Switch, Block, Return, Print };

struct Case {
    bool isDefault = false;
    int32_t value = 0;
    Block body;
    bool brk = false;  // ends with break
};

struct Stmt {
    St kind = St::Expr;
    // Decl: var, optional init (e[0]). Expr: e[0]. If: e[0] cond, body, orElse.
    // For: e[0] init, e[1] cond, e[2] step, body. While/Do: e[0] cond, body.
    // Switch: e[0], cases. Return: optional e[0]. Print: tag, e = arguments.
    const Var* var = nullptr;
    std::vector<ExprP> e;
    Block body;
    Block orElse;
    bool hasElse = false;
    std::vector<Case> cases;
    std::string tag;
};

struct Func {
    std::string name;
    const Type* ret = nullptr;
    std::vector<const Var*> params;
    Block body;
    bool pure = false;  // writes no global, prints nothing, writes through no parameter
    // Effects, for the rules of evaluation order: global variables read and written
    // (transitively), whether it prints, whether it writes through an array parameter.
    std::vector<int> reads, writes;
    bool prints = false;
    bool writesParams = false;
};

struct Program {
    Types types;
    std::deque<StructDef> structs;
    std::deque<Var> vars;  // every variable of the program
    std::vector<const Var*> globals;
    std::vector<ExprP> globalInits;  // by index of globals; null: none
    std::deque<Func> funcs;
    std::vector<Func*> order;  // the order of the definitions in the text
    Func* main = nullptr;
};

}  // namespace zcgen
