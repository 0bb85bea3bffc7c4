#include "Interp.h"

#include <cmath>
#include <cstdio>

namespace zcgen {

namespace {

constexpr double kTwo31 = 2147483648.0;

uint32_t Mask(Kind k, uint32_t bits) {
    if (k == Kind::U8) return bits & 0xFFu;
    if (k == Kind::U16) return bits & 0xFFFFu;
    return bits;
}

bool Truth(const Val& v) {
    if (v.t->kind == Kind::F64) return v.c.d != 0;
    if (!IsInteger(v.t)) throw Reject("not a scalar condition");
    return v.c.u != 0;
}

int64_t Signed(const Val& v) {
    return v.t->kind == Kind::I32 ? int64_t(int32_t(v.c.u)) : int64_t(v.c.u);
}

Val IntResult(const Type* t, int64_t exact) {
    if (t->kind == Kind::I32 && (exact < INT32_MIN || exact > INT32_MAX)) throw Reject("signed overflow");
    return MakeInt(t, uint32_t(exact));
}

Val Bool(bool b) { return MakeInt(Types::I32(), b ? 1 : 0); }

}  // namespace

Val MakeInt(const Type* t, uint32_t bits) {
    Val v;
    v.t = t;
    v.c.u = Mask(t->kind, bits);
    v.c.set = true;
    return v;
}

Val MakeDouble(double d) {
    Val v;
    v.t = Types::F64();
    v.c.d = d;
    v.c.set = true;
    return v;
}

const Type* Promote(const Type* t) {
    if (t->kind == Kind::U8 || t->kind == Kind::U16) return Types::I32();
    return t;
}

const Type* Common(const Type* a, const Type* b) {
    if (a->kind == Kind::F64 || b->kind == Kind::F64) return Types::F64();
    a = Promote(a);
    b = Promote(b);
    if (a->kind == Kind::U32 || b->kind == Kind::U32) return Types::U32();
    return Types::I32();
}

Val Convert(const Val& v, const Type* to) {
    if (v.t == to) return v;
    if (!IsScalar(v.t) || !IsScalar(to)) throw Reject("no conversion between these types");
    if (to->kind == Kind::F64) {
        // The script converts unsigned to double as signed.
        if (v.t->kind == Kind::U32 && v.c.u >= 0x80000000u) throw Reject("unsigned of 2^31 or more to double");
        return MakeDouble(v.t->kind == Kind::I32 ? double(int32_t(v.c.u)) : double(v.c.u));
    }
    if (v.t->kind == Kind::F64) {
        double d = v.c.d;
        if (!std::isfinite(d)) throw Reject("conversion of an infinite double");
        double t = std::trunc(d);
        double lo = 0, hi = 0;
        switch (to->kind) {
        case Kind::I32: lo = -kTwo31; hi = kTwo31 - 1; break;
        case Kind::U32: lo = 0; hi = kTwo31 - 1; break;  // the script converts through int
        case Kind::U8: lo = 0; hi = 255; break;
        case Kind::U16: lo = 0; hi = 65535; break;
        default: break;
        }
        if (t < lo || t > hi) throw Reject("double out of the integer's range");
        return MakeInt(to, to->kind == Kind::I32 ? uint32_t(int32_t(t)) : uint32_t(t));
    }
    return MakeInt(to, v.c.u);
}

Interp::Interp(const Program& p) : p_(p) {
    for (size_t i = 0; i < p.globals.size(); i++) globalIndex_[p.globals[i]] = int(i);
}

void Interp::Step() {
    if (--steps_ < 0) throw Reject("runs too long");
}

void Interp::Reset() {
    st_ = State();
    for (size_t i = 0; i < p_.globals.size(); i++) {
        std::vector<Cell> cells(size_t(p_.globals[i]->type->cells));
        for (Cell& c : cells) c.set = true;  // zero, as C starts globals
        st_.globals.push_back(std::move(cells));
    }
    for (size_t i = 0; i < p_.globals.size(); i++)
        if (i < p_.globalInits.size() && p_.globalInits[i]) {
            Place pl;
            pl.ref = Ref{-1, int(i), 0};
            pl.t = p_.globals[i]->type;
            Init(pl, *p_.globalInits[i]);
        }
}

std::string Interp::RunMain(long long steps) {
    steps_ = steps;
    Reset();
    if (!p_.main) throw Reject("no main");
    Expr call;
    call.op = Op::Call;
    call.func = p_.main;
    call.type = p_.main->ret;
    Call(call);
    return st_.out;
}

std::vector<Cell>& Interp::Storage(const Ref& r) {
    if (r.frame < 0) return st_.globals[size_t(r.obj)];
    return st_.frames[size_t(r.frame)].objs[size_t(r.obj)];
}

Ref Interp::Lookup(const Var* v) {
    if (v->global) {
        auto it = globalIndex_.find(v);
        if (it == globalIndex_.end()) throw Reject("undeclared global " + v->name);
        return Ref{-1, it->second, 0};
    }
    if (st_.frames.empty()) throw Reject("local outside a function");
    const Frame& f = st_.frames.back();
    for (size_t i = f.scope.size(); i-- > 0;)
        if (f.scope[i].first == v) return f.scope[i].second;
    throw Reject("undeclared " + v->name);
}

void Interp::Declare(const Var* v) {
    Frame& f = st_.frames.back();
    f.objs.emplace_back(size_t(v->type->cells));
    f.scope.push_back({v, Ref{int(st_.frames.size() - 1), int(f.objs.size() - 1), 0}});
}

void Interp::PushFrame(const Func* func, std::vector<Val> args) {
    if (st_.frames.size() >= 64) throw Reject("calls nested too deep");
    if (args.size() != func->params.size()) throw Reject("wrong number of arguments to " + func->name);
    Frame f;
    f.func = func;
    int index = int(st_.frames.size());
    for (size_t i = 0; i < args.size(); i++) {
        const Var* p = func->params[i];
        if (p->type->kind == Kind::Array) {
            if (!args[i].isRef || args[i].t != p->type) throw Reject("array argument of another type");
            f.scope.push_back({p, args[i].ref});
            continue;
        }
        Val a = Convert(args[i], p->type);
        if (p->type->kind == Kind::Struct)
            f.objs.push_back(a.agg);
        else
            f.objs.push_back({a.c});
        f.scope.push_back({p, Ref{index, int(f.objs.size() - 1), 0}});
    }
    st_.frames.push_back(std::move(f));
}

void Interp::PopFrame() { st_.frames.pop_back(); }

Interp::Place Interp::EvalPlace(const Expr& e) {
    switch (e.op) {
    case Op::VarRef: {
        Place p;
        p.ref = Lookup(e.var);
        p.t = e.var->type;
        return p;
    }
    case Op::Index: {
        Place p = EvalPlace(*e.kids[0]);
        if (p.t->kind != Kind::Array) throw Reject("index of no array");
        Val i = Eval(*e.kids[1]);
        if (!IsInteger(i.t)) throw Reject("index not an integer");
        int64_t at = Signed(i);
        if (at < 0 || at >= p.t->count) throw Reject("index out of bounds");
        p.ref.base += int(at) * p.t->elem->cells;
        p.t = p.t->elem;
        return p;
    }
    case Op::Member: {
        Place p;
        const Expr& s = *e.kids[0];
        if (s.op == Op::VarRef || s.op == Op::Index || s.op == Op::Member) {
            p = EvalPlace(s);
        } else {
            Val v = Eval(s);
            p.temp = std::make_shared<std::vector<Cell>>(v.agg);
            p.t = v.t;
        }
        if (p.t->kind != Kind::Struct || e.field < 0 || size_t(e.field) >= p.t->def->fields.size())
            throw Reject("member of no structure");
        const Field& f = p.t->def->fields[size_t(e.field)];
        p.ref.base += f.cell;
        p.t = f.type;
        return p;
    }
    default:
        throw Reject("not a place");
    }
}

Val Interp::Read(const Place& p) {
    Val v;
    v.t = p.t;
    if (p.t->kind == Kind::Array) {
        if (p.temp) throw Reject("array of a temporary");
        v.isRef = true;
        v.ref = p.ref;
        return v;
    }
    const std::vector<Cell>& cells = p.temp ? *p.temp : Storage(p.ref);
    if (p.ref.base < 0 || size_t(p.ref.base + p.t->cells) > cells.size()) throw Reject("place outside its object");
    if (p.t->kind == Kind::Struct) {
        v.agg.assign(cells.begin() + p.ref.base, cells.begin() + p.ref.base + p.t->cells);
        for (const Cell& c : v.agg)
            if (!c.set) throw Reject("copy of a structure with unset members");
        return v;
    }
    v.c = cells[size_t(p.ref.base)];
    if (!v.c.set) throw Reject("read of an unset value");
    return v;
}

void Interp::Write(const Place& p, const Val& v) {
    if (p.temp) throw Reject("assignment to a temporary");
    if (p.t->kind == Kind::Array) throw Reject("assignment to an array");
    std::vector<Cell>& cells = Storage(p.ref);
    if (p.ref.base < 0 || size_t(p.ref.base + p.t->cells) > cells.size()) throw Reject("place outside its object");
    if (p.t->kind == Kind::Struct) {
        if (v.t != p.t || v.agg.size() != size_t(p.t->cells)) throw Reject("structure of another type");
        std::copy(v.agg.begin(), v.agg.end(), cells.begin() + p.ref.base);
        return;
    }
    Val c = Convert(v, p.t);
    cells[size_t(p.ref.base)] = c.c;
}

void Interp::Init(const Place& p, const Expr& init) {
    if (init.op != Op::Brace) {
        Write(p, Eval(init));
        return;
    }
    if (p.t->kind == Kind::Array) {
        if (init.kids.size() != size_t(p.t->count)) throw Reject("brace list of another length");
        for (size_t i = 0; i < init.kids.size(); i++) {
            Place q = p;
            q.ref.base += int(i) * p.t->elem->cells;
            q.t = p.t->elem;
            Init(q, *init.kids[i]);
        }
        return;
    }
    if (p.t->kind == Kind::Struct) {
        const auto& fields = p.t->def->fields;
        if (init.kids.size() != fields.size()) throw Reject("brace list of another length");
        for (size_t i = 0; i < fields.size(); i++) {
            Place q = p;
            q.ref.base += fields[i].cell;
            q.t = fields[i].type;
            Init(q, *init.kids[i]);
        }
        return;
    }
    throw Reject("brace list for a scalar");
}

Val Interp::Arith(Op op, const Val& a, const Val& b, const Type* t) {
    if (op == Op::Shl || op == Op::Shr) {
        t = Promote(a.t);
        if (!IsInteger(a.t) || !IsInteger(b.t)) throw Reject("shift of a double");
        int64_t n = Signed(Convert(b, Promote(b.t)));
        if (n < 0 || n > 31) throw Reject("shift past the width");
        Val x = Convert(a, t);
        if (t->kind == Kind::U32)
            return MakeInt(t, op == Op::Shl ? x.c.u << n : x.c.u >> n);
        int32_t s = int32_t(x.c.u);
        if (op == Op::Shr) return MakeInt(t, uint32_t(s >> n));
        if (s < 0) throw Reject("left shift of a negative value");
        return IntResult(t, int64_t(s) << n);
    }
    t = Common(a.t, b.t);
    Val x = Convert(a, t), y = Convert(b, t);
    if (t->kind == Kind::F64) {
        double r;
        switch (op) {
        case Op::Add: r = x.c.d + y.c.d; break;
        case Op::Sub: r = x.c.d - y.c.d; break;
        case Op::Mul: r = x.c.d * y.c.d; break;
        case Op::Div:
            if (y.c.d == 0) throw Reject("division by zero");
            r = x.c.d / y.c.d;
            break;
        default: throw Reject("integer operator on a double");
        }
        if (!std::isfinite(r)) throw Reject("double out of range");
        return MakeDouble(r);
    }
    if (t->kind == Kind::U32) {
        uint32_t p = x.c.u, q = y.c.u;
        switch (op) {
        case Op::Add: return MakeInt(t, p + q);
        case Op::Sub: return MakeInt(t, p - q);
        case Op::Mul: return MakeInt(t, p * q);
        case Op::Div: if (q == 0) throw Reject("division by zero"); return MakeInt(t, p / q);
        case Op::Mod: if (q == 0) throw Reject("division by zero"); return MakeInt(t, p % q);
        case Op::BitAnd: return MakeInt(t, p & q);
        case Op::BitOr: return MakeInt(t, p | q);
        case Op::BitXor: return MakeInt(t, p ^ q);
        default: throw Reject("bad operator");
        }
    }
    int64_t p = int32_t(x.c.u), q = int32_t(y.c.u);
    switch (op) {
    case Op::Add: return IntResult(t, p + q);
    case Op::Sub: return IntResult(t, p - q);
    case Op::Mul: return IntResult(t, p * q);
    case Op::Div:
    case Op::Mod:
        if (q == 0) throw Reject("division by zero");
        if (p == INT32_MIN && q == -1) throw Reject("INT_MIN / -1");
        return IntResult(t, op == Op::Div ? p / q : p % q);
    case Op::BitAnd: return MakeInt(t, uint32_t(p & q));
    case Op::BitOr: return MakeInt(t, uint32_t(p | q));
    case Op::BitXor: return MakeInt(t, uint32_t(p ^ q));
    default: throw Reject("bad operator");
    }
}

Val Interp::Inc(const Expr& e) {
    Place p = EvalPlace(*e.kids[0]);
    Val old = Read(p);
    if (!IsScalar(old.t)) throw Reject("increment of no scalar");
    bool up = e.op == Op::PreInc || e.op == Op::PostInc;
    Val now = Arith(up ? Op::Add : Op::Sub, old, MakeInt(Types::I32(), 1), nullptr);
    now = Convert(now, p.t);
    Write(p, now);
    return (e.op == Op::PreInc || e.op == Op::PreDec) ? now : old;
}

Val Interp::Call(const Expr& e) {
    const Func* f = e.func;
    if (!f) throw Reject("call of nothing");
    if (e.kids.size() != f->params.size()) throw Reject("wrong number of arguments to " + f->name);
    std::vector<Val> args;
    for (size_t i = 0; i < e.kids.size(); i++) {
        const Type* pt = f->params[i]->type;
        if (pt->kind == Kind::Array) {
            Place pl = EvalPlace(*e.kids[i]);
            if (pl.temp || pl.t != pt) throw Reject("array argument of another type");
            args.push_back(Read(pl));
        } else {
            args.push_back(Convert(Eval(*e.kids[i]), pt));
        }
    }
    PushFrame(f, std::move(args));
    Flow flow = ExecBlock(f->body);
    if (flow == Flow::Break) throw Reject("break outside a switch");
    Val r;
    r.t = f->ret;
    if (f->ret->kind != Kind::Void) {
        if (flow != Flow::Return) throw Reject(f->name + " ends without return");
        Frame& fr = st_.frames.back();
        r.c = fr.ret;
        r.agg = fr.retAgg;
    }
    PopFrame();
    return r;
}

Val Interp::Eval(const Expr& e) {
    Step();
    Val r;
    switch (e.op) {
    case Op::Const:
        r = e.type->kind == Kind::F64 ? MakeDouble(e.dval) : MakeInt(e.type, e.ival);
        break;
    case Op::VarRef:
    case Op::Index:
    case Op::Member:
        r = Read(EvalPlace(e));
        break;
    case Op::Call:
        r = Call(e);
        break;
    case Op::Neg: {
        Val v = Eval(*e.kids[0]);
        const Type* t = Promote(v.t);
        v = Convert(v, t);
        if (t->kind == Kind::F64) r = MakeDouble(-v.c.d);
        else if (t->kind == Kind::I32) r = IntResult(t, -int64_t(int32_t(v.c.u)));
        else if (t->kind == Kind::U32) r = MakeInt(t, 0u - v.c.u);
        else throw Reject("negation of no scalar");
        break;
    }
    case Op::BitNot: {
        Val v = Eval(*e.kids[0]);
        if (!IsInteger(v.t)) throw Reject("~ of no integer");
        const Type* t = Promote(v.t);
        r = MakeInt(t, ~Convert(v, t).c.u);
        break;
    }
    case Op::Not:
        r = Bool(!Truth(Eval(*e.kids[0])));
        break;
    case Op::Add: case Op::Sub: case Op::Mul: case Op::Div: case Op::Mod:
    case Op::Shl: case Op::Shr: case Op::BitAnd: case Op::BitOr: case Op::BitXor: {
        Val a = Eval(*e.kids[0]);
        Val b = Eval(*e.kids[1]);
        r = Arith(e.op, a, b, nullptr);
        break;
    }
    case Op::Lt: case Op::Le: case Op::Gt: case Op::Ge: case Op::Eq: case Op::Ne: {
        Val a = Eval(*e.kids[0]);
        Val b = Eval(*e.kids[1]);
        if (!IsScalar(a.t) || !IsScalar(b.t)) throw Reject("comparison of no scalars");
        const Type* t = Common(a.t, b.t);
        a = Convert(a, t);
        b = Convert(b, t);
        int c;
        if (t->kind == Kind::F64) c = a.c.d < b.c.d ? -1 : a.c.d > b.c.d ? 1 : 0;
        else if (t->kind == Kind::U32) c = a.c.u < b.c.u ? -1 : a.c.u > b.c.u ? 1 : 0;
        else c = int32_t(a.c.u) < int32_t(b.c.u) ? -1 : int32_t(a.c.u) > int32_t(b.c.u) ? 1 : 0;
        bool v = e.op == Op::Lt ? c < 0 : e.op == Op::Le ? c <= 0 : e.op == Op::Gt ? c > 0
               : e.op == Op::Ge ? c >= 0 : e.op == Op::Eq ? c == 0 : c != 0;
        r = Bool(v);
        break;
    }
    case Op::LogAnd:
        r = Bool(Truth(Eval(*e.kids[0])) && Truth(Eval(*e.kids[1])));
        break;
    case Op::LogOr:
        r = Bool(Truth(Eval(*e.kids[0])) || Truth(Eval(*e.kids[1])));
        break;
    case Op::Cond:
        r = Convert(Eval(*e.kids[Truth(Eval(*e.kids[0])) ? 1 : 2]), e.type);
        break;
    case Op::Cast:
        r = Convert(Eval(*e.kids[0]), e.type);
        break;
    case Op::Assign: {
        Place p = EvalPlace(*e.kids[0]);
        Val v = Eval(*e.kids[1]);
        if (p.t->kind == Kind::Struct) {
            Write(p, v);
            r = v;
        } else {
            r = Convert(v, p.t);
            Write(p, r);
        }
        break;
    }
    case Op::OpAssign: {
        Place p = EvalPlace(*e.kids[0]);
        Val old = Read(p);
        Val v = Eval(*e.kids[1]);
        r = Convert(Arith(e.binop, old, v, nullptr), p.t);
        Write(p, r);
        break;
    }
    case Op::PreInc: case Op::PreDec: case Op::PostInc: case Op::PostDec:
        r = Inc(e);
        break;
    case Op::Brace:
        throw Reject("brace list as a value");
    }
    if (record_ && IsScalar(r.t)) record_->emplace(&e, r);
    return r;
}

Interp::Flow Interp::ExecBlock(const Block& b) {
    Frame& f = st_.frames.back();
    size_t scope = f.scope.size(), objs = f.objs.size();
    Flow flow = Flow::Normal;
    for (const StmtP& s : b) {
        if (!s) continue;
        flow = Exec(*s);
        if (flow != Flow::Normal) break;
    }
    Frame& g = st_.frames.back();
    g.scope.resize(scope);
    g.objs.resize(objs);
    return flow;
}

bool Interp::ExecTop(const Stmt& s) {
    Flow flow = Exec(s);
    if (flow == Flow::Break) throw Reject("break outside a switch");
    return flow == Flow::Return;
}

Interp::Flow Interp::Exec(const Stmt& s) {
    Step();
    switch (s.kind) {
    case St::Decl:
        Declare(s.var);
        if (!s.e.empty() && s.e[0]) {
            Place p;
            p.ref = Lookup(s.var);
            p.t = s.var->type;
            Init(p, *s.e[0]);
        }
        return Flow::Normal;
    case St::Expr:
        Eval(*s.e[0]);
        return Flow::Normal;
    case St::If:
        if (Truth(Eval(*s.e[0]))) return ExecBlock(s.body);
        if (s.hasElse) return ExecBlock(s.orElse);
        return Flow::Normal;
    case St::For:
    case St::While:
    case St::Do: {
        if (s.kind == St::For && s.e[0]) Eval(*s.e[0]);
        const Expr* cond = s.kind == St::For ? s.e[1].get() : s.e[0].get();
        bool first = true;
        for (;;) {
            Step();
            if (!(s.kind == St::Do && first) && cond && !Truth(Eval(*cond))) break;
            first = false;
            Flow flow = ExecBlock(s.body);
            if (flow == Flow::Return) return flow;
            if (flow == Flow::Break) throw Reject("break in a loop");
            if (s.kind == St::For && s.e[2]) Eval(*s.e[2]);
        }
        return Flow::Normal;
    }
    case St::Switch: {
        Val v = Eval(*s.e[0]);
        if (!IsInteger(v.t)) throw Reject("switch on no integer");
        v = Convert(v, Promote(v.t));
        size_t start = s.cases.size();
        for (size_t i = 0; i < s.cases.size() && start == s.cases.size(); i++)
            if (!s.cases[i].isDefault && Convert(MakeInt(Types::I32(), uint32_t(s.cases[i].value)), v.t).c.u == v.c.u)
                start = i;
        for (size_t i = 0; i < s.cases.size() && start == s.cases.size(); i++)
            if (s.cases[i].isDefault) start = i;
        for (size_t i = start; i < s.cases.size(); i++) {
            Flow flow = ExecBlock(s.cases[i].body);
            if (flow == Flow::Return) return flow;
            if (flow == Flow::Break || s.cases[i].brk) break;
        }
        return Flow::Normal;
    }
    case St::Block:
        return ExecBlock(s.body);
    case St::Return: {
        const Func* f = st_.frames.back().func;
        if (!s.e.empty() && s.e[0]) {
            Val v = Eval(*s.e[0]);
            if (f->ret->kind == Kind::Void) throw Reject("value returned from a void function");
            Frame& fr = st_.frames.back();
            if (f->ret->kind == Kind::Struct) {
                if (v.t != f->ret) throw Reject("structure of another type returned");
                fr.retAgg = v.agg;
            } else {
                fr.ret = Convert(v, f->ret).c;
            }
        } else if (f->ret->kind != Kind::Void) {
            throw Reject("return without a value");
        }
        return Flow::Return;
    }
    case St::Print: {
        std::string line = s.tag;
        for (const ExprP& a : s.e) {
            Val v = Eval(*a);
            char buf[64];
            switch (v.t->kind) {
            case Kind::I32: std::snprintf(buf, sizeof buf, " %d", int32_t(v.c.u)); break;
            case Kind::U32: std::snprintf(buf, sizeof buf, " %u", v.c.u); break;
            case Kind::F64: std::snprintf(buf, sizeof buf, " %.17g", v.c.d); break;
            default: throw Reject("print of a char, short or structure");
            }
            line += buf;
        }
        st_.out += line + "\n";
        return Flow::Normal;
    }
    }
    return Flow::Normal;
}

}  // namespace zcgen
