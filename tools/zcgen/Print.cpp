#include "Print.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <set>

namespace zcgen {

namespace {

// Binding levels, lowest first, as both languages rank the operators.
enum Level { kAssign = 1, kCond, kOr, kAnd, kBitOr, kXor, kBitAnd, kEq, kRel, kShift, kAdd, kMul, kUnary, kPostfix, kPrimary };

int BinaryLevel(Op op) {
    switch (op) {
    case Op::LogOr: return kOr;
    case Op::LogAnd: return kAnd;
    case Op::BitOr: return kBitOr;
    case Op::BitXor: return kXor;
    case Op::BitAnd: return kBitAnd;
    case Op::Eq: case Op::Ne: return kEq;
    case Op::Lt: case Op::Le: case Op::Gt: case Op::Ge: return kRel;
    case Op::Shl: case Op::Shr: return kShift;
    case Op::Add: case Op::Sub: return kAdd;
    case Op::Mul: case Op::Div: case Op::Mod: return kMul;
    default: return 0;
    }
}

const char* OpText(Op op) {
    switch (op) {
    case Op::Add: return "+";
    case Op::Sub: return "-";
    case Op::Mul: return "*";
    case Op::Div: return "/";
    case Op::Mod: return "%";
    case Op::Shl: return "<<";
    case Op::Shr: return ">>";
    case Op::BitAnd: return "&";
    case Op::BitOr: return "|";
    case Op::BitXor: return "^";
    case Op::Lt: return "<";
    case Op::Le: return "<=";
    case Op::Gt: return ">";
    case Op::Ge: return ">=";
    case Op::Eq: return "==";
    case Op::Ne: return "!=";
    case Op::LogAnd: return "&&";
    case Op::LogOr: return "||";
    default: return "?";
    }
}

// A double as a literal both read: a point, no exponent.
std::string DoubleDigits(double d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    std::string s = buf;
    if (s.find_first_of(".en") == std::string::npos) s += ".0";
    return s;
}

std::string ConstText(const Expr& e, bool plain) {
    char buf[64];
    switch (e.type->kind) {
    case Kind::F64: {
        if (std::signbit(e.dval)) return plain ? "-" + DoubleDigits(-e.dval) : "(-" + DoubleDigits(-e.dval) + ")";
        return DoubleDigits(e.dval);
    }
    case Kind::I32: {
        int32_t v = int32_t(e.ival);
        if (v >= 0) return std::to_string(v);
        std::string t = v == INT32_MIN ? "-2147483647 - 1" : "-" + std::to_string(-int64_t(v));
        return plain && v != INT32_MIN ? t : "(" + t + ")";
    }
    default: {
        if (e.ival >= 0x80000000u) std::snprintf(buf, sizeof buf, "0x%" PRIX32, e.ival);
        else std::snprintf(buf, sizeof buf, "%" PRIu32, e.ival);
        if (plain) return buf;
        return "(" + TypeName(e.type) + ")" + buf;
    }
    }
}

class Writer {
public:
    std::string Expr(const zcgen::Expr& e, int need, bool plain = false) {
        int level;
        std::string s = Bare(e, level, plain);
        return level < need ? "(" + s + ")" : s;
    }

    void Stmts(const Block& b, int indent) {
        for (const StmtP& s : b)
            if (s) Stmt(*s, indent);
    }

    void Braced(const Block& b, int indent) {
        out += "{\n";
        Stmts(b, indent + 1);
        out += Pad(indent) + "}";
    }

    void Stmt(const zcgen::Stmt& s, int indent) {
        std::string pad = Pad(indent);
        switch (s.kind) {
        case St::Decl:
            out += pad + Declarator(s.var->type, s.var->name);
            if (!s.e.empty() && s.e[0]) out += " = " + Expr(*s.e[0], kCond);
            out += ";\n";
            break;
        case St::Expr:
            out += pad + Expr(*s.e[0], kAssign) + ";\n";
            break;
        case St::If:
            out += pad + "if (" + Expr(*s.e[0], kAssign) + ") ";
            Braced(s.body, indent);
            if (s.hasElse) {
                out += " else ";
                Braced(s.orElse, indent);
            }
            out += "\n";
            break;
        case St::For:
            out += pad + "for (" + (s.e[0] ? Expr(*s.e[0], kAssign) : "") + "; " + (s.e[1] ? Expr(*s.e[1], kAssign) : "") +
                   "; " + (s.e[2] ? Expr(*s.e[2], kAssign) : "") + ") ";
            Braced(s.body, indent);
            out += "\n";
            break;
        case St::While:
            out += pad + "while (" + Expr(*s.e[0], kAssign) + ") ";
            Braced(s.body, indent);
            out += "\n";
            break;
        case St::Do:
            out += pad + "do ";
            Braced(s.body, indent);
            out += " while (" + Expr(*s.e[0], kAssign) + ");\n";
            break;
        case St::Switch:
            out += pad + "switch (" + Expr(*s.e[0], kAssign) + ") {\n";
            for (const Case& c : s.cases) {
                out += pad + (c.isDefault ? std::string("default: ") : "case " + CaseValue(c.value) + ": ");
                Braced(c.body, indent);
                out += "\n";
                if (c.brk) out += Pad(indent + 1) + "break;\n";
            }
            out += pad + "}\n";
            break;
        case St::Block:
            out += pad;
            Braced(s.body, indent);
            out += "\n";
            break;
        case St::Return:
            out += pad + "return";
            if (!s.e.empty() && s.e[0]) out += " " + Expr(*s.e[0], kAssign);
            out += ";\n";
            break;
        case St::Print: {
            std::string format = s.tag, args;
            for (const ExprP& a : s.e) {
                format += a->type->kind == Kind::F64 ? " %.17g" : a->type->kind == Kind::U32 ? " %u" : " %d";
                args += ", " + Expr(*a, kCond);
            }
            out += pad + "print(\"" + format + "\\n\"" + args + ");\n";
            break;
        }
        }
    }

    static std::string Pad(int indent) { return std::string(size_t(indent) * 4, ' '); }

    static std::string CaseValue(int32_t v) {
        if (v == INT32_MIN) return "(-2147483647 - 1)";
        return v < 0 ? "(" + std::to_string(v) + ")" : std::to_string(v);
    }

    static std::string Declarator(const Type* t, const std::string& name) {
        std::string dims;
        while (t->kind == Kind::Array) {
            dims += "[" + std::to_string(t->count) + "]";
            t = t->elem;
        }
        return TypeName(t) + " " + name + dims;
    }

    std::string out;

private:
    std::string Bare(const zcgen::Expr& e, int& level, bool plain) {
        level = kPrimary;
        switch (e.op) {
        case Op::Const: {
            std::string s = ConstText(e, plain);
            if (!plain && s[0] != '(' && IsInteger(e.type) && e.type->kind != Kind::I32) level = kUnary;
            return s;
        }
        case Op::VarRef: return e.var->name;
        case Op::Index:
            level = kPostfix;
            return Expr(*e.kids[0], kPostfix) + "[" + Expr(*e.kids[1], kAssign) + "]";
        case Op::Member:
            level = kPostfix;
            return Expr(*e.kids[0], kPostfix) + "." + e.kids[0]->type->def->fields[size_t(e.field)].name;
        case Op::Call: {
            level = kPostfix;
            std::string s = e.func->name + "(";
            for (size_t i = 0; i < e.kids.size(); i++) s += (i ? ", " : "") + Expr(*e.kids[i], kCond);
            return s + ")";
        }
        case Op::Neg: level = kUnary; return "-" + Expr(*e.kids[0], kPostfix);
        case Op::Not: level = kUnary; return "!" + Expr(*e.kids[0], kPostfix);
        case Op::BitNot: level = kUnary; return "~" + Expr(*e.kids[0], kUnary);
        case Op::Cast: level = kUnary; return "(" + TypeName(e.type) + ")" + Expr(*e.kids[0], kUnary);
        case Op::PreInc: level = kUnary; return "++" + Expr(*e.kids[0], kPostfix);
        case Op::PreDec: level = kUnary; return "--" + Expr(*e.kids[0], kPostfix);
        case Op::PostInc: level = kUnary; return Expr(*e.kids[0], kPostfix) + "++";
        case Op::PostDec: level = kUnary; return Expr(*e.kids[0], kPostfix) + "--";
        case Op::Cond:
            level = kCond;
            return Expr(*e.kids[0], kOr) + " ? " + Expr(*e.kids[1], kOr) + " : " + Expr(*e.kids[2], kOr);
        case Op::Assign:
            level = kAssign;
            return Expr(*e.kids[0], kPostfix) + " = " + Expr(*e.kids[1], kCond);
        case Op::OpAssign:
            level = kAssign;
            return Expr(*e.kids[0], kPostfix) + " " + OpText(e.binop) + "= " + Expr(*e.kids[1], kCond);
        case Op::Brace: {
            std::string s = "{";
            for (size_t i = 0; i < e.kids.size(); i++) s += (i ? ", " : "") + Expr(*e.kids[i], kCond, plain);
            return s + "}";
        }
        default: {
            int k = BinaryLevel(e.op);
            level = k;
            // Only + and - group to the left in both languages: any other
            // operand of the same level is parenthesised.
            return Expr(*e.kids[0], k == kAdd ? kAdd : k + 1) + " " + OpText(e.op) + " " + Expr(*e.kids[1], k + 1);
        }
        }
    }
};

// What main reaches: functions, globals and structures, in definition order.
struct Reached {
    std::set<const Func*> funcs;
    std::set<const Var*> globals;
    std::set<const StructDef*> structs;
    std::vector<std::pair<const Func*, const Func*>> calls;  // caller, callee

    void Type(const zcgen::Type* t) {
        while (t->kind == Kind::Array) t = t->elem;
        if (t->kind != Kind::Struct || !structs.insert(t->def).second) return;
        for (const Field& f : t->def->fields) Type(f.type);
    }
    void Expr(const Func* in, const zcgen::Expr& e) {
        if (e.type) Type(e.type);
        if (e.op == Op::VarRef && e.var->global) Global(e.var);
        if (e.op == Op::Call) {
            calls.push_back({in, e.func});
            Function(e.func);
        }
        for (const ExprP& k : e.kids)
            if (k) Expr(in, *k);
    }
    void Global(const Var* v) { globals.insert(v); }
    void Block(const Func* in, const zcgen::Block& b) {
        for (const StmtP& s : b) {
            if (!s) continue;
            if (s->var) Type(s->var->type);
            for (const ExprP& e : s->e)
                if (e) Expr(in, *e);
            Block(in, s->body);
            Block(in, s->orElse);
            for (const Case& c : s->cases) Block(in, c.body);
        }
    }
    void Function(const zcgen::Func* f) {
        if (!funcs.insert(f).second) return;
        Type(f->ret);
        for (const Var* p : f->params) Type(p->type);
        Block(f, f->body);
    }
};

std::string Signature(const Func& f) {
    std::string s = TypeName(f.ret) + " " + f.name + "(";
    for (size_t i = 0; i < f.params.size(); i++) s += (i ? ", " : "") + Writer::Declarator(f.params[i]->type, f.params[i]->name);
    return s + ")";
}

}  // namespace

std::string TypeName(const Type* t) {
    switch (t->kind) {
    case Kind::U8: return "uchar";
    case Kind::U16: return "ushort";
    case Kind::I32: return "int";
    case Kind::U32: return "unsigned";
    case Kind::F64: return "double";
    case Kind::Struct: return t->def->name;
    case Kind::Void: return "void";
    case Kind::Array: return TypeName(t->elem) + "[]";
    }
    return "?";
}

std::string ExprText(const Expr& e) {
    Writer w;
    return w.Expr(e, kAssign);
}

std::string ProgramText(const Program& p, const std::string& heading) {
    Reached r;
    if (p.main) r.Function(p.main);
    for (const Var* g : r.globals) r.Type(g->type);
    Writer w;
    std::string& out = w.out;
    out += heading;
    out += "#include \"print.h\"\n"
           "#include \"generated.h\"\n";
    bool any = false;
    for (const StructDef& s : p.structs) {
        if (!r.structs.count(&s)) continue;
        if (!any) out += "\n";
        any = true;
        out += "struct " + s.name + " {";
        for (const Field& f : s.fields) out += " " + Writer::Declarator(f.type, f.name) + ";";
        out += " };\n";
    }
    any = false;
    for (size_t i = 0; i < p.globals.size(); i++) {
        const Var* g = p.globals[i];
        if (!r.globals.count(g)) continue;
        if (!any) out += "\n";
        any = true;
        out += Writer::Declarator(g->type, g->name);
        if (i < p.globalInits.size() && p.globalInits[i]) out += " = " + w.Expr(*p.globalInits[i], kCond, true);
        out += ";\n";
    }
    // A prototype for each function called above its definition.
    std::vector<const Func*> text;
    for (const Func* f : p.order)
        if (r.funcs.count(f)) text.push_back(f);
    std::set<const Func*> defined, declared;
    std::string prototypes;
    for (const Func* f : text) {
        defined.insert(f);
        for (const auto& [caller, callee] : r.calls)
            if (caller == f && !defined.count(callee) && declared.insert(callee).second)
                prototypes += Signature(*callee) + ";\n";
    }
    if (!prototypes.empty()) out += "\n" + prototypes;
    for (const Func* f : text) {
        out += "\n" + Signature(*f) + "\n{\n";
        w.Stmts(f->body, 1);
        out += "}\n";
    }
    return out;
}

}  // namespace zcgen
