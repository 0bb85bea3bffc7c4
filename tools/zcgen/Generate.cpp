#include "Generate.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "Effects.h"
#include "Interp.h"

namespace zcgen {

const FeatureName kFeatureNames[] = {
    {"brace-temporaries", kBraceTemporaries},
    {"array-parameters", kArrayParameters},
    {"mixed-conditionals", kMixedConditionals},
    {"init-temporaries", kInitTemporaries},
    {"switch-temporaries", kSwitchTemporaries},
    {"later-definitions", kLaterDefinitions},
    {"narrow-results", kNarrowResults},
    {"brace-structures", kBraceStructures},
    {"constant-logic", kConstantLogic},
};
const int kFeatureCount = int(sizeof kFeatureNames / sizeof kFeatureNames[0]);

uint64_t Rng::Next() {
    uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int Rng::Below(int n) { return n <= 1 ? 0 : int(Next() % uint64_t(n)); }
int Rng::Range(int lo, int hi) { return lo + Below(hi - lo + 1); }
bool Rng::Chance(int percent) { return Below(100) < percent; }

namespace {

struct Local {
    const Var* v;
    bool set;
};

struct Counter {
    const Var* v;
    bool busy = false;
    int lo = 0, hi = 0;  // its values while busy
};

// Where statements are being written: one function, its visible names.
struct Ctx {
    Func* f = nullptr;
    bool pure = false;   // writes nothing outside its frame
    bool quiet = false;  // and prints nothing
    int depth = 0;  // functions being written around this one
    int made = 0;   // new functions written from this body
    std::vector<Local> scope;
    std::vector<Counter> counters;
    int nested = 0;  // statements around this one (0: the body's top level)
    int noTemps = 0; // inside an expression that must make no temporary structure
    int next = 0;    // numbers for names
    int prints = 0;
};

struct Snap {
    std::vector<std::vector<Cell>> globals;
    std::vector<Frame> frames;
    size_t out = 0, funcs = 0, vars = 0, done = 0;
};

using Stmts = std::vector<StmtP>;

// Interpreter steps one statement of a function being written may take.
constexpr long long kBodySteps = 200000;

ExprP Node(Op op, const Type* t) {
    auto e = std::make_unique<Expr>();
    e->op = op;
    e->type = t;
    return e;
}

ExprP Node(Op op, const Type* t, ExprP a) {
    ExprP e = Node(op, t);
    e->kids.push_back(std::move(a));
    return e;
}

ExprP Node(Op op, const Type* t, ExprP a, ExprP b) {
    ExprP e = Node(op, t, std::move(a));
    e->kids.push_back(std::move(b));
    return e;
}

ExprP IntConst(const Type* t, uint32_t v) {
    ExprP e = Node(Op::Const, t);
    e->ival = v;
    return e;
}

ExprP DoubleConst(double d) {
    ExprP e = Node(Op::Const, Types::F64());
    e->dval = d;
    return e;
}

ExprP Ref(const Var* v) {
    ExprP e = Node(Op::VarRef, v->type);
    e->var = v;
    return e;
}

ExprP Cast(const Type* t, ExprP e) {
    if (e->type == t) return e;
    return Node(Op::Cast, t, std::move(e));
}

ExprP Binary(Op op, ExprP a, ExprP b) {
    const Type* t;
    if (op == Op::Shl || op == Op::Shr) t = Promote(a->type);
    else if (op >= Op::Lt && op <= Op::LogOr) t = Types::I32();
    else t = Common(a->type, b->type);
    return Node(op, t, std::move(a), std::move(b));
}

StmtP NewStmt(St kind) {
    auto s = std::make_unique<Stmt>();
    s->kind = kind;
    return s;
}

StmtP ExprStmt(ExprP e) {
    StmtP s = NewStmt(St::Expr);
    s->e.push_back(std::move(e));
    return s;
}

bool ConstantOnly(const Expr& e);
bool FoldsToConstant(const Expr& e);
std::optional<Val> ConstantValue(const Expr& e);

// `0 && x` and `1 || x` with a left operand the script computes while it
// compiles: the script jumps over x and takes the result for a constant.
bool DecidedByLeft(const Expr& e) {
    if ((e.op != Op::LogAnd && e.op != Op::LogOr) || !FoldsToConstant(*e.kids[0])) return false;
    std::optional<Val> v = ConstantValue(*e.kids[0]);
    if (!v) return false;
    const bool nonZero = v->t->kind == Kind::F64 ? v->c.d != 0 : v->c.u != 0;
    return nonZero == (e.op == Op::LogOr);
}

// The value of an expression of constants.
std::optional<Val> ConstantValue(const Expr& e) {
    static Program none;
    static Interp in(none);
    if (!ConstantOnly(e)) return std::nullopt;
    try {
        in.SetSteps(10000);
        return in.Eval(e);
    } catch (const Reject&) {
        return std::nullopt;
    }
}

// Whether the script computes an expression while it compiles: constants
// only, and no ?: (whose value is computed as the program runs, even of
// constants).
bool FoldsToConstant(const Expr& e) {
    if (e.op == Op::Cond || !ConstantOnly(e)) return false;
    if (DecidedByLeft(e)) return true;
    for (const ExprP& k : e.kids)
        if (!FoldsToConstant(*k)) return false;
    return true;
}

// The script compiles `x op k` as x when the constant k cannot change x
// (x + 0, x * 1, x & -1 ...; not x % 2147483647), comparing k by its value.
bool IdentitySkip(const Expr& e) {
    if (e.kids.size() != 2 || FoldsToConstant(*e.kids[0])) return false;
    std::optional<Val> k = ConstantValue(*e.kids[1]);
    if (!k) return false;
    double v = k->t->kind == Kind::F64 ? k->c.d : k->t->kind == Kind::I32 ? double(int32_t(k->c.u)) : double(k->c.u);
    switch (e.op) {
    case Op::Add: case Op::Sub: return v == 0;
    case Op::Shl: case Op::Shr: case Op::BitOr: case Op::BitXor: return v == 0 && k->t->kind != Kind::F64;
    case Op::Mul: case Op::Div: return v == 1;
    case Op::BitAnd: return v == -1;
    default: return false;
    }
}

}  // namespace

// The type the script gives an expression, where it is not C's: ?: takes its
// true branch's type, also a char or short that C promotes to int; x + 0 and
// x - 0 keep all of x's type (int against an unsigned or double zero too),
// and so does an integer x in x * 1.0 and x / 1.0. The other left-out
// operations take their type as C does.
const Type* ScriptType(const Expr& e) {
    if (e.op == Op::Cond) return ScriptType(*e.kids[1]);
    if (IdentitySkip(e) && (e.op == Op::Add || e.op == Op::Sub || e.kids[1]->type->kind == Kind::F64))
        return ScriptType(*e.kids[0]);
    return e.type;
}

namespace {

// A cast to t, also where C's type is t already but the script's is not.
ExprP Exactly(const Type* t, ExprP e) {
    if (e->type == t && ScriptType(*e) == t) return e;
    return Node(Op::Cast, t, std::move(e));
}

bool ConstantOnly(const Expr& e) {
    if (e.op == Op::VarRef || e.op == Op::Call || e.op == Op::Index || e.op == Op::Member) return false;
    if (DecidedByLeft(e)) return true;
    for (const ExprP& k : e.kids)
        if (!ConstantOnly(*k)) return false;
    return true;
}

bool Reaches(const Type* t, const Type* want) {
    if (want ? t == want : IsScalar(t)) return true;
    if (t->kind == Kind::Array) return Reaches(t->elem, want);
    if (t->kind == Kind::Struct)
        for (const Field& f : t->def->fields)
            if (Reaches(f.type, want)) return true;
    return false;
}

class Gen {
public:
    Gen(uint64_t seed, const GenOptions& o) : r_(seed), o_(o), p_(std::make_unique<Program>()) {}

    std::unique_ptr<Program> Run() {
        MakeStructs();
        MakeGlobals();
        in_ = std::make_unique<Interp>(*p_);
        in_->SetSteps(kBodySteps);
        in_->Reset();
        Func& m = p_->funcs.emplace_back();
        m.name = "main";
        m.ret = Types::I32();
        p_->main = &m;
        in_->PushFrame(&m, {});
        Ctx c;
        c.f = &m;
        long long used = 0;
        int tries = 0;
        while (FunctionCount() < o_.functions && tries++ < o_.functions * 6 && used < o_.steps) {
            Top(c, std::min<long long>(o_.steps - used, 400000), &used);
        }
        FinishBody(c);
        // Each function is done before the ones that call it.
        p_->order = done_;
        p_->order.push_back(&m);
        if (!Without(kLaterDefinitions))
            for (size_t i = p_->order.size(); i > 1; i--) std::swap(p_->order[i - 1], p_->order[size_t(r_.Below(int(i)))]);
        return std::move(p_);
    }

private:
    int FunctionCount() const { return int(p_->funcs.size()) - 1; }
    bool Without(Feature f) const { return (o_.without & f) != 0; }

    // Makes what `make` writes free of temporary structures when `on`.
    template <class F>
    auto NoTemps(Ctx& c, bool on, const F& make) {
        if (on) c.noTemps++;
        auto r = make();
        if (on) c.noTemps--;
        return r;
    }

    // --- types and names -------------------------------------------------

    const Type* RandScalar() {
        int x = r_.Below(100);
        return x < 35 ? Types::I32() : x < 55 ? Types::U32() : x < 70 ? Types::U8() : x < 80 ? Types::U16() : Types::F64();
    }

    const Type* RandStruct() {
        if (p_->structs.empty()) return RandScalar();
        return p_->types.Struct(&p_->structs[size_t(r_.Below(int(p_->structs.size())))]);
    }

    int RandCount() {
        static const int counts[] = {2, 3, 4, 5, 8};
        return counts[r_.Below(5)];
    }

    const Type* RandLocalType() {
        int x = r_.Below(100);
        if (x < 70) return RandScalar();
        if (x < 80) return p_->types.Array(RandScalar(), RandCount());
        if (x < 83) return p_->types.Array(p_->types.Array(Types::I32(), 3), 2);
        return RandStruct();
    }

    const Type* RandGlobalType() {
        int x = r_.Below(100);
        if (x < 50) return RandScalar();
        if (x < 68) return p_->types.Array(RandScalar(), RandCount());
        if (x < 73) return p_->types.Array(p_->types.Array(Types::I32(), 3), 2);
        if (x < 78 && !p_->structs.empty()) return p_->types.Array(RandStruct(), r_.Range(2, 3));
        return RandStruct();
    }

    const Var* NewVar(const std::string& name, const Type* t, bool global, bool param) {
        Var& v = p_->vars.emplace_back();
        v.name = name;
        v.type = t;
        v.global = global;
        v.param = param;
        v.id = int(p_->vars.size());
        return &v;
    }

    void MakeStructs() {
        int n = r_.Range(1, 4);
        for (int k = 0; k < n; k++) {
            StructDef& s = p_->structs.emplace_back();
            s.name = "S" + std::to_string(k);
            int fields = r_.Range(2, 5), cell = 0;
            for (int i = 0; i < fields; i++) {
                const Type* t;
                int x = r_.Below(100);
                if (x < 75) t = RandScalar();
                else if (x < 90) t = p_->types.Array(RandScalar(), r_.Range(2, 4));
                else if (k > 0) t = p_->types.Struct(&p_->structs[size_t(r_.Below(k))]);
                else t = RandScalar();
                s.fields.push_back({"m" + std::to_string(i), t, cell});
                cell += t->cells;
            }
        }
    }

    void MakeGlobals() {
        int n = r_.Range(4, 10);
        for (int i = 0; i < n; i++) {
            const Type* t = RandGlobalType();
            p_->globals.push_back(NewVar("g" + std::to_string(i), t, true, false));
            p_->globalInits.push_back(r_.Chance(75) ? ConstInit(t) : nullptr);
        }
    }

    ExprP ConstInit(const Type* t) {
        if (IsScalar(t)) return RandConst(t);
        ExprP b = Node(Op::Brace, t);
        if (t->kind == Kind::Array)
            for (int i = 0; i < t->count; i++) b->kids.push_back(ConstInit(t->elem));
        else
            for (const Field& f : t->def->fields) b->kids.push_back(ConstInit(f.type));
        return b;
    }

    ExprP RandConst(const Type* t) {
        int x = r_.Below(100);
        switch (t->kind) {
        case Kind::I32: {
            static const int32_t special[] = {0, 1, -1, INT32_MAX, INT32_MIN, 0x7FFF, 255, 256, 65535, 65536};
            int32_t v = x < 40 ? r_.Range(-10, 10) : x < 65 ? r_.Range(-1000, 1000) : x < 80 ? r_.Range(-100000, 100000)
                      : x < 90 ? special[r_.Below(10)] : int32_t(uint32_t(r_.Next()));
            return IntConst(t, uint32_t(v));
        }
        case Kind::U32: {
            static const uint32_t special[] = {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu, 0xFFFFu};
            uint32_t v = x < 40 ? uint32_t(r_.Range(0, 20)) : x < 70 ? uint32_t(r_.Range(0, 100000))
                       : x < 90 ? uint32_t(r_.Next()) : special[r_.Below(4)];
            return IntConst(t, v);
        }
        case Kind::U8: return IntConst(t, x < 20 ? 255u - uint32_t(r_.Below(3)) : uint32_t(r_.Below(256)));
        case Kind::U16: return IntConst(t, x < 20 ? 65535u - uint32_t(r_.Below(3)) : uint32_t(r_.Below(65536)));
        case Kind::F64:
            if (x < 50) return DoubleConst(r_.Range(-800, 800) / 8.0);
            if (x < 80) return DoubleConst(double(r_.Range(-100, 100)));
            return DoubleConst(r_.Range(-100000, 100000) / 1024.0);
        default: return IntConst(Types::I32(), 0);
        }
    }

    // --- the interpreter's state ----------------------------------------

    Snap Save() {
        Snap s;
        s.globals = in_->state().globals;
        s.frames = in_->state().frames;
        s.out = in_->state().out.size();
        s.funcs = p_->funcs.size();
        s.vars = p_->vars.size();
        s.done = done_.size();
        return s;
    }

    void RestoreState(const Snap& s) {
        in_->state().globals = s.globals;
        in_->state().frames = s.frames;
        in_->state().out.resize(s.out);
    }

    void Restore(const Snap& s) {
        RestoreState(s);
        while (p_->funcs.size() > s.funcs) p_->funcs.pop_back();
        while (p_->vars.size() > s.vars) p_->vars.pop_back();
        done_.resize(s.done);
    }

    // The value of an expression here, if it has one by C's rules; nothing
    // changes.
    std::optional<Val> Peek(const Expr& e) {
        Snap s;
        Effects fx = EffectsOf(e);
        bool changes = !fx.writes.empty() || fx.prints;
        size_t frames = in_->state().frames.size();
        if (changes) {
            s.globals = in_->state().globals;
            s.frames = in_->state().frames;
            s.out = in_->state().out.size();
        }
        std::optional<Val> v;
        in_->SetSteps(20000);
        try {
            v = in_->Eval(e);
        } catch (const Reject&) {
        }
        if (changes) RestoreState(s);
        else in_->state().frames.resize(frames);
        return v;
    }

    // At the top level of a body the interpreter stands where the code runs,
    // so what it says holds; further in it is a guess.
    bool Fails(const Ctx& c, const Expr& e) { return c.nested == 0 && !Peek(e); }

    // --- names in scope ---------------------------------------------------

    // Variables to read or write: visible locals, parameters and globals.
    std::vector<const Var*> Roots(const Ctx& c, bool write) {
        std::vector<const Var*> out;
        for (const Local& l : c.scope) {
            if (!write && !l.set) continue;
            if (write && c.pure && l.v->param && l.v->type->kind == Kind::Array) continue;
            out.push_back(l.v);
        }
        if (!write || !c.pure)
            for (const Var* g : p_->globals) out.push_back(g);
        return out;
    }

    Local* FindLocal(Ctx& c, const Var* v) {
        for (Local& l : c.scope)
            if (l.v == v) return &l;
        return nullptr;
    }

    // A place of a scalar (of type `want` when given) inside a variable.
    ExprP Place(Ctx& c, bool write, const Type* want, int depth) {
        std::vector<const Var*> roots;
        for (const Var* v : Roots(c, write))
            if (Reaches(v->type, want)) roots.push_back(v);
        if (roots.empty()) return nullptr;
        const Var* v = roots[size_t(r_.Below(int(roots.size())))];
        // An unset scalar may only be assigned as a whole.
        if (write) {
            Local* l = FindLocal(c, v);
            if (l && !l->set && !IsScalar(v->type)) return nullptr;
        }
        ExprP e = Ref(v);
        while (!(want ? e->type == want : IsScalar(e->type))) {
            const Type* t = e->type;
            if (t->kind == Kind::Array) {
                ExprP i = Index(c, t->count, depth);
                e = Node(Op::Index, t->elem, std::move(e), std::move(i));
            } else if (t->kind == Kind::Struct) {
                std::vector<int> ok;
                for (size_t k = 0; k < t->def->fields.size(); k++)
                    if (Reaches(t->def->fields[k].type, want)) ok.push_back(int(k));
                if (ok.empty()) return nullptr;
                int k = ok[size_t(r_.Below(int(ok.size())))];
                ExprP m = Node(Op::Member, t->def->fields[size_t(k)].type, std::move(e));
                m->field = k;
                e = std::move(m);
            } else {
                return nullptr;
            }
        }
        return e;
    }

    // An index that stays inside an array of n elements.
    ExprP Index(Ctx& c, int n, int depth) {
        int x = r_.Below(100);
        if (x < 30) {
            std::vector<const Counter*> fit;
            for (const Counter& k : c.counters)
                if (k.busy && k.lo >= 0 && k.hi < n) fit.push_back(&k);
            if (!fit.empty()) {
                const Counter* k = fit[size_t(r_.Below(int(fit.size())))];
                if (k->hi + 1 < n && r_.Chance(30))
                    return Binary(Op::Add, Ref(k->v), IntConst(Types::I32(), uint32_t(r_.Range(1, n - 1 - k->hi))));
                return Ref(k->v);
            }
        }
        if (x < 60 || depth <= 0) return IntConst(Types::I32(), uint32_t(r_.Below(n)));
        ExprP v = IntValue(c, depth - 1);
        if ((n & (n - 1)) == 0) return Binary(Op::BitAnd, std::move(v), IntConst(Types::I32(), uint32_t(n - 1)));
        return Binary(Op::Mod, Cast(Types::U32(), std::move(v)), IntConst(Types::I32(), uint32_t(n)));
    }

    // --- expressions ------------------------------------------------------

    ExprP Leaf(Ctx& c, const Type* want) {
        int x = r_.Below(100);
        if (x < 60) {
            if (x < 12) {
                std::vector<const Counter*> busy;
                for (const Counter& k : c.counters)
                    if (k.busy) busy.push_back(&k);
                if (!busy.empty()) return Ref(busy[size_t(r_.Below(int(busy.size())))]->v);
            }
            ExprP p = Place(c, false, want && r_.Chance(60) ? want : nullptr, 1);
            if (p) return p;
        }
        return RandConst(want && r_.Chance(70) ? want : RandScalar());
    }

    ExprP IntValue(Ctx& c, int depth) {
        ExprP e = Value(c, depth, nullptr);
        if (e->type->kind == Kind::F64) e = Cast(r_.Chance(70) ? Types::I32() : Types::U32(), std::move(e));
        return e;
    }

    // An expression of exactly type t.
    ExprP Of(Ctx& c, const Type* t, int depth) {
        ExprP e = Exactly(t, Value(c, depth, t));
        if (Fails(c, *e)) return RandConst(t);
        return e;
    }

    ExprP Safe(Ctx& c, ExprP e, const Type* want) {
        if (Fails(c, *e)) return Leaf(c, want ? want : e->type);
        return e;
    }

    ExprP Value(Ctx& c, int depth, const Type* want) {
        if (depth <= 0 || r_.Chance(22)) return Leaf(c, want);
        int x = r_.Below(100);
        if (x < 34) return Safe(c, Arith(c, depth), want);
        if (x < 44) return Safe(c, Compare(c, depth), want);
        if (x < 52) return Safe(c, Unary(c, depth), want);
        if (x < 60) return Safe(c, Conditional(c, depth, want), want);
        if (x < 64) return Safe(c, Logical(c, depth), want);
        if (x < 76) {
            if (ExprP e = PureCall(c, depth, nullptr)) return Safe(c, std::move(e), want);
            return Leaf(c, want);
        }
        if (x < 82) {
            if (ExprP e = MemberOfValue(c, depth)) return Safe(c, std::move(e), want);
            return Leaf(c, want);
        }
        if (x < 90) return Safe(c, Cast(want && r_.Chance(50) ? want : RandScalar(), Value(c, depth - 1, nullptr)), want);
        if (x < 94) {
            if (ExprP e = Bump(c)) return Safe(c, std::move(e), want);
            return Leaf(c, want);
        }
        return Leaf(c, want);
    }

    ExprP Divisor(Ctx& c, const Type* left, int depth) {
        int x = r_.Below(100);
        if (left->kind == Kind::F64) {
            if (x < 60) {
                double d = 0;
                while (d == 0) d = r_.Range(-64, 64) / 8.0;
                return DoubleConst(d);
            }
            return NonZero(Value(c, depth - 1, nullptr));
        }
        if (x < 40) return IntConst(Types::I32(), uint32_t(r_.Chance(80) ? r_.Range(1, 17) : -r_.Range(2, 9)));
        if (x < 70)
            return Binary(Op::Add, Binary(Op::BitAnd, IntValue(c, depth - 1), IntConst(Types::I32(), 7)), IntConst(Types::I32(), 1));
        return NonZero(IntValue(c, depth - 1));
    }

    // The script refuses a constant divisor of 0 even where it never runs.
    ExprP NonZero(ExprP e) {
        if (!ConstantOnly(*e)) return e;
        std::optional<Val> v = ConstantValue(*e);
        if (v && (v->t->kind == Kind::F64 ? v->c.d != 0 : v->c.u != 0)) return e;
        return IntConst(Types::I32(), uint32_t(r_.Range(1, 17)));
    }

    // An int count: the script shifts without a sign when the count is unsigned.
    ExprP ShiftCount(Ctx& c, int depth) {
        int x = r_.Below(100);
        if (x < 50 || depth <= 0) return IntConst(Types::I32(), uint32_t(r_.Below(32)));
        return Exactly(Types::I32(), Binary(Op::BitAnd, IntValue(c, depth - 1), IntConst(Types::I32(), x < 80 ? 31 : 7)));
    }

    ExprP Arith(Ctx& c, int depth) {
        static const Op ops[] = {Op::Add, Op::Add, Op::Add, Op::Add, Op::Sub, Op::Sub, Op::Sub, Op::Mul, Op::Mul, Op::Mul,
                                 Op::Div, Op::Div, Op::Mod, Op::Mod, Op::BitAnd, Op::BitAnd, Op::BitOr, Op::BitXor,
                                 Op::Shl, Op::Shr};
        Op op = ops[r_.Below(int(sizeof ops / sizeof ops[0]))];
        bool integer = op == Op::Mod || op == Op::BitAnd || op == Op::BitOr || op == Op::BitXor || op == Op::Shl || op == Op::Shr;
        ExprP a = integer ? IntValue(c, depth - 1) : Value(c, depth - 1, nullptr);
        if (op == Op::Shl && Promote(a->type)->kind == Kind::I32 && r_.Chance(60)) a = Cast(Types::U32(), std::move(a));
        ExprP b;
        if (op == Op::Div || op == Op::Mod) b = Divisor(c, a->type, depth);
        else if (op == Op::Shl || op == Op::Shr) b = ShiftCount(c, depth);
        else b = integer ? IntValue(c, depth - 1) : Value(c, depth - 1, nullptr);
        if (integer && b->type->kind == Kind::F64) b = Cast(Types::I32(), std::move(b));
        if (op == Op::Mod && Common(a->type, b->type)->kind == Kind::F64) op = Op::Div;
        ExprP e = Binary(op, std::move(a), std::move(b));
        // The script would skip `i * 1.0` and keep an int where C computes a
        // double, and keep the int of `i + (unsigned)0` where C's is unsigned.
        // A skipped `x * 1`, `x | 0`... of a char or short x is an int when x
        // is a variable but keeps x's type when x is a computed value (a ?:),
        // so x is made an int first.
        if (IdentitySkip(*e)) {
            const Type* left = ScriptType(*e->kids[0]);
            bool narrow = left->kind == Kind::U8 || left->kind == Kind::U16;
            // Left out, d + 0 keeps a negative zero where C's sum is 0.
            bool negativeZero = e->op == Op::Add && left->kind == Kind::F64;
            if (Promote(ScriptType(*e)) != e->type || negativeZero) {
                if (e->kids[1]->type->kind == Kind::F64 || negativeZero) e->kids[1] = DoubleConst(r_.Range(2, 9) / 4.0);
                else e->kids[0] = Cast(e->type, std::move(e->kids[0]));
            } else if (narrow && e->op != Op::Add && e->op != Op::Sub) {
                e->kids[0] = Exactly(Promote(left), std::move(e->kids[0]));
            }
        }
        return e;
    }

    ExprP Compare(Ctx& c, int depth) {
        static const Op ops[] = {Op::Lt, Op::Le, Op::Gt, Op::Ge, Op::Eq, Op::Ne};
        ExprP a = Value(c, depth - 1, nullptr);
        ExprP b = Value(c, depth - 1, r_.Chance(50) ? a->type : nullptr);
        // Two constants, one a double, fold to a double in the script.
        if ((a->type->kind == Kind::F64 || b->type->kind == Kind::F64) && ConstantOnly(*a) && ConstantOnly(*b)) {
            ExprP p = Place(c, false, nullptr, 1);
            if (!p) return IntConst(Types::I32(), 1);
            b = std::move(p);
        }
        return Binary(ops[r_.Below(6)], std::move(a), std::move(b));
    }

    ExprP Unary(Ctx& c, int depth) {
        int x = r_.Below(100);
        if (x < 45) return NegOf(c, depth);
        if (x < 75) {
            ExprP v = IntValue(c, depth - 1);
            if (Without(kNarrowResults)) {
                const Type* pt = Promote(v->type);
                v = Exactly(pt, std::move(v));
            }
            const Type* t = Promote(v->type);
            return Node(Op::BitNot, t, std::move(v));
        }
        return Node(Op::Not, Types::I32(), IntValue(c, depth - 1));
    }

    ExprP NegOf(Ctx& c, int depth) {
        ExprP v = Value(c, depth - 1, nullptr);
        const Type* t = Promote(v->type);
        if (Without(kNarrowResults) && ConstantOnly(*v)) v = Exactly(t, std::move(v));
        return Node(Op::Neg, t, std::move(v));
    }

    // A truth value: an integer, never a double (the script converts a double
    // condition to int).
    ExprP Condition(Ctx& c, int depth) {
        int x = r_.Below(100);
        if (depth <= 0 || x < 50) return Compare(c, std::max(depth, 1));
        if (x < 65) return IntValue(c, depth - 1);
        if (x < 75) return Node(Op::Not, Types::I32(), IntValue(c, depth - 1));
        return LogicOf(c, x < 88 ? Op::LogAnd : Op::LogOr, depth);
    }

    // `a && b` or `a || b` of two conditions; left out, a constant goes right.
    ExprP LogicOf(Ctx& c, Op op, int depth) {
        ExprP a = Condition(c, depth - 1), b = Condition(c, depth - 1);
        if (Without(kConstantLogic) && ConstantOnly(*a) && !ConstantOnly(*b)) std::swap(a, b);
        return Node(op, Types::I32(), std::move(a), std::move(b));
    }

    // || keeps its left value in the script: as a value, it is compared with 0.
    ExprP Logical(Ctx& c, int depth) {
        ExprP o = LogicOf(c, r_.Chance(50) ? Op::LogAnd : Op::LogOr, depth);
        if (o->op == Op::LogAnd && r_.Chance(70)) return o;
        return Binary(Op::Ne, std::move(o), IntConst(Types::I32(), 0));
    }

    // ?: takes the true branch's type in the script: the false branch must
    // keep its value in that type, and C's type must be the same.
    ExprP Conditional(Ctx& c, int depth, const Type* want) {
        ExprP cond = Condition(c, depth - 1);
        ExprP t = Value(c, depth - 1, want);
        const Type* ft;
        if (Without(kMixedConditionals)) ft = ScriptType(*t);
        else switch (ScriptType(*t)->kind) {
        case Kind::F64: ft = RandScalar(); break;
        case Kind::U32: { const Type* o[] = {Types::U32(), Types::I32(), Types::U8(), Types::U16()}; ft = o[r_.Below(4)]; break; }
        case Kind::I32: { const Type* o[] = {Types::I32(), Types::U8(), Types::U16()}; ft = o[r_.Below(3)]; break; }
        case Kind::U16: ft = r_.Chance(50) ? Types::U16() : Types::U8(); break;
        default: ft = Types::U8(); break;
        }
        ExprP f = Of(c, ft, depth - 1);
        const Type* rt = Common(t->type, f->type);
        ExprP e = Node(Op::Cond, rt, std::move(cond), std::move(t));
        e->kids.push_back(std::move(f));
        return e;
    }

    // x++, --x and the like on a local scalar.
    ExprP Bump(Ctx& c) {
        std::vector<const Var*> vs;
        for (const Local& l : c.scope)
            if (l.set && IsScalar(l.v->type)) vs.push_back(l.v);
        if (vs.empty()) return nullptr;
        static const Op ops[] = {Op::PreInc, Op::PreDec, Op::PostInc, Op::PostDec};
        const Var* v = vs[size_t(r_.Below(int(vs.size())))];
        return Node(ops[r_.Below(4)], v->type, Ref(v));
    }

    // A member of a structure value, down to a scalar.
    ExprP MemberOfValue(Ctx& c, int depth) {
        if (p_->structs.empty()) return nullptr;
        const Type* st = RandStruct();
        ExprP e = StructValue(c, st, depth - 1);
        if (!e) return nullptr;
        while (!IsScalar(e->type)) {
            const Type* t = e->type;
            if (t->kind == Kind::Array) {
                ExprP i = Index(c, t->count, depth - 1);
                e = Node(Op::Index, t->elem, std::move(e), std::move(i));
            } else {
                int k = r_.Below(int(t->def->fields.size()));
                ExprP m = Node(Op::Member, t->def->fields[size_t(k)].type, std::move(e));
                m->field = k;
                e = std::move(m);
            }
        }
        return e;
    }

    // A value of a structure type: a variable, or a call that returns one.
    ExprP StructValue(Ctx& c, const Type* st, int depth) {
        if (depth <= 0) return Place(c, false, st, 0);
        if (r_.Chance(45))
            if (ExprP p = Place(c, false, st, depth)) return p;
        if (ExprP e = PureCall(c, depth, st)) return e;
        return Place(c, false, st, depth);
    }

    // --- calls ------------------------------------------------------------

    int NewChance(const Ctx& c) const { return c.depth == 0 ? 70 : c.depth == 1 ? 25 : 10; }

    bool CanWriteNew(const Ctx& c) const {
        return c.depth < o_.maxDepth && FunctionCount() < o_.functions && (c.depth == 0 || c.made < 3);
    }

    // A call that writes nothing outside its frame (it may print, unless the
    // caller prints nothing).
    ExprP PureCall(Ctx& c, int depth, const Type* ret) {
        if (depth < 0 || (c.noTemps && ret && ret->kind == Kind::Struct)) return nullptr;
        std::vector<Func*> fit;
        for (Func* f : done_)
            if (f->pure && (!c.quiet || !f->prints) && (ret ? f->ret == ret : IsScalar(f->ret))) fit.push_back(f);
        if ((fit.empty() || r_.Chance(NewChance(c))) && CanWriteNew(c))
            if (ExprP e = NewFunction(c, true, ret ? ret : RandScalar())) return e;
        if (fit.empty()) return nullptr;
        Func* f = fit[size_t(r_.Below(int(fit.size())))];
        return CallOf(c, f, depth);
    }

    ExprP ProcCall(Ctx& c, int depth) {
        std::vector<Func*> fit;
        for (Func* f : done_)
            if (!f->pure) fit.push_back(f);
        if ((fit.empty() || r_.Chance(NewChance(c))) && CanWriteNew(c))
            if (ExprP e = NewFunction(c, false, nullptr)) return e;
        if (fit.empty()) return PureCall(c, depth, nullptr);
        return CallOf(c, fit[size_t(r_.Below(int(fit.size())))], depth);
    }

    ExprP Argument(Ctx& c, const Type* t, int depth, std::vector<const Var*>& arrays) {
        if (t->kind == Kind::Array) {
            // A whole array, one variable per call, so that parameters never alias.
            std::vector<ExprP> options;
            for (int tries = 0; tries < 4; tries++) {
                ExprP p = Place(c, false, t, depth);
                if (!p) break;
                const Expr* root = p.get();
                while (root->op != Op::VarRef) root = root->kids[0].get();
                if (std::find(arrays.begin(), arrays.end(), root->var) != arrays.end()) continue;
                arrays.push_back(root->var);
                return p;
            }
            return nullptr;
        }
        if (t->kind == Kind::Struct) return StructValue(c, t, depth);
        // The script takes int for double, and int and unsigned for each other.
        if (r_.Chance(30)) {
            ExprP e = Value(c, depth, t);
            const Type* st = ScriptType(*e);
            bool implicit = st == t || (t->kind == Kind::F64 && (st->kind == Kind::I32 || st->kind == Kind::U32)) ||
                            (t->kind == Kind::I32 && st->kind == Kind::U32) || (t->kind == Kind::U32 && st->kind == Kind::I32);
            if (implicit && !Fails(c, *Cast(t, CloneShallowConst(*e)))) return e;
            return Exactly(t, std::move(e));
        }
        return Of(c, t, depth);
    }

    // Peek needs an expression it may own; for a check of a conversion the
    // value itself is enough, so this copies constants only.
    ExprP CloneShallowConst(const Expr& e) {
        if (e.op != Op::Const) return Node(Op::Const, Types::I32());
        ExprP k = Node(Op::Const, e.type);
        k->ival = e.ival;
        k->dval = e.dval;
        return k;
    }

    ExprP CallOf(Ctx& c, Func* f, int depth) {
        ExprP call = Node(Op::Call, f->ret);
        call->func = f;
        std::vector<const Var*> arrays;
        for (const Var* p : f->params) {
            ExprP a = Argument(c, p->type, depth - 1, arrays);
            if (!a) return nullptr;
            call->kids.push_back(std::move(a));
        }
        return call;
    }

    const Type* RandReturn(bool pure) {
        int x = r_.Below(100);
        if (!pure && x < 20) return Types::Void();
        if (x < 36 && !p_->structs.empty()) return RandStruct();
        return RandScalar();
    }

    ExprP NewFunction(Ctx& c, bool pure, const Type* ret) {
        c.made++;
        Func& f = p_->funcs.emplace_back();
        size_t funcsBefore = p_->funcs.size() - 1, doneBefore = done_.size();
        f.name = "fn" + std::to_string(nextFunc_++);
        f.ret = ret ? ret : RandReturn(pure);
        f.pure = pure;
        int n = r_.Below(5);
        ExprP call = Node(Op::Call, f.ret);
        call->func = &f;
        std::vector<const Var*> arrays;
        for (int i = 0; i < n; i++) {
            int x = r_.Below(100);
            const Type* t = RandScalar();
            if (x < 15) t = RandStruct();
            ExprP a;
            if (x >= 15 && x < 30 && !Without(kArrayParameters)) {
                // An array parameter takes the type of an array at hand.
                std::vector<const Type*> at;
                for (const Var* v : Roots(c, false))
                    if (v->type->kind == Kind::Array) at.push_back(v->type);
                if (!at.empty()) {
                    t = at[size_t(r_.Below(int(at.size())))];
                    a = Argument(c, t, 1, arrays);
                    if (!a) t = RandScalar();
                }
            }
            if (!a) a = Argument(c, t, 2, arrays);
            if (!a) continue;
            f.params.push_back(NewVar("p" + std::to_string(f.params.size()), t, false, true));
            call->kids.push_back(std::move(a));
        }
        std::vector<Val> args;
        for (const ExprP& a : call->kids) {
            std::optional<Val> v = Peek(*a);
            if (!v) break;
            args.push_back(*v);
        }
        auto abandon = [&]() -> ExprP {
            while (p_->funcs.size() > funcsBefore) p_->funcs.pop_back();
            done_.resize(doneBefore);
            return nullptr;
        };
        if (args.size() != call->kids.size()) return abandon();
        size_t frames = in_->state().frames.size();
        try {
            in_->PushFrame(&f, args);
        } catch (const Reject&) {
            return abandon();
        }
        Ctx fc;
        fc.f = &f;
        fc.pure = pure;
        fc.quiet = c.quiet || (pure && r_.Chance(40));
        fc.depth = c.depth + 1;
        for (const Var* p : f.params) fc.scope.push_back({p, true});
        long long ignored = 0;
        int statements = pure ? r_.Range(1, 4) : r_.Range(2, 7);
        bool returned = false;
        for (int i = 0; i < statements && !returned; i++) returned = Top(fc, kBodySteps, &ignored);
        if (!returned) FinishBody(fc);
        else AppendReturn(fc);
        in_->state().frames.resize(frames);
        Summarise(f);
        if (pure && !f.pure) return abandon();
        done_.push_back(&f);
        return call;
    }

    // --- statements -------------------------------------------------------

    // Writes one statement (or a few that belong together) at the current
    // place of a body, runs it, and keeps it when it runs. True when it returned.
    bool Top(Ctx& c, long long budget, long long* used) {
        for (int attempt = 0; attempt < 8; attempt++) {
            Snap s = Save();
            std::vector<Local> scope = c.scope;
            std::vector<Counter> counters = c.counters;
            int next = c.next, prints = c.prints;
            Stmts made = c.f == p_->main ? MainStatement(c) : Statement(c);
            RestoreState(s);
            bool ok = !made.empty();
            for (const StmtP& st : made) ok = ok && OrderDefined(*st);
            bool returned = false;
            if (ok) {
                try {
                    in_->SetSteps(budget);
                    for (const StmtP& st : made)
                        if (in_->ExecTop(*st)) returned = true;
                    *used += budget - in_->StepsLeft();
                } catch (const Reject&) {
                    ok = false;
                }
            }
            if (!ok) {
                Restore(s);
                c.scope = scope;
                c.counters = counters;
                c.next = next;
                c.prints = prints;
                continue;
            }
            for (StmtP& st : made) {
                MarkSet(c, *st);
                c.f->body.push_back(std::move(st));
            }
            return returned;
        }
        return false;
    }

    // After `x = ...;` at the top level, x holds a value.
    void MarkSet(Ctx& c, const Stmt& s) {
        if (s.kind == St::Expr && s.e[0]->op == Op::Assign && s.e[0]->kids[0]->op == Op::VarRef)
            if (Local* l = FindLocal(c, s.e[0]->kids[0]->var)) l->set = true;
    }

    std::string Tag(Ctx& c) { return c.f->name + "." + std::to_string(c.prints++); }

    // The last statements of a body: what it computed, and its return.
    void FinishBody(Ctx& c) {
        if (!c.quiet) {
            StmtP pr = NewStmt(St::Print);
            pr->tag = Tag(c);
            for (const Local& l : c.scope)
                if (l.set) Checksum(*pr, Ref(l.v));
            if (!pr->e.empty()) {
                Snap s = Save();
                try {
                    in_->SetSteps(kBodySteps);
                    in_->ExecTop(*pr);
                    c.f->body.push_back(std::move(pr));
                } catch (const Reject&) {
                    Restore(s);
                }
            }
        }
        AppendReturn(c);
    }

    // Every scalar in a value, for a print, up to a limit.
    void Checksum(Stmt& pr, ExprP e) {
        if (pr.e.size() >= 14) return;
        const Type* t = e->type;
        if (IsScalar(t)) {
            if (t->kind == Kind::U8 || t->kind == Kind::U16) e = Cast(Types::I32(), std::move(e));
            pr.e.push_back(std::move(e));
            return;
        }
        if (t->kind == Kind::Array) {
            for (int i = 0; i < t->count && i < 4; i++) {
                ExprP x = Node(Op::Index, t->elem, Copy(*e), IntConst(Types::I32(), uint32_t(i)));
                Checksum(pr, std::move(x));
            }
            return;
        }
        if (t->kind == Kind::Struct)
            for (size_t k = 0; k < t->def->fields.size(); k++) {
                ExprP m = Node(Op::Member, t->def->fields[k].type, Copy(*e));
                m->field = int(k);
                Checksum(pr, std::move(m));
            }
    }

    static ExprP Copy(const Expr& e) {
        auto n = std::make_unique<Expr>();
        n->op = e.op;
        n->binop = e.binop;
        n->type = e.type;
        n->ival = e.ival;
        n->dval = e.dval;
        n->var = e.var;
        n->func = e.func;
        n->field = e.field;
        for (const ExprP& k : e.kids) n->kids.push_back(Copy(*k));
        return n;
    }

    void AppendReturn(Ctx& c) {
        const Type* t = c.f->ret;
        if (c.f == p_->main) {
            StmtP r = NewStmt(St::Return);
            r->e.push_back(IntConst(Types::I32(), 0));
            c.f->body.push_back(std::move(r));
            return;
        }
        if (t->kind == Kind::Void) {
            if (r_.Chance(30)) c.f->body.push_back(NewStmt(St::Return));
            return;
        }
        for (int attempt = 0; attempt < 6; attempt++) {
            Snap s = Save();
            std::vector<Local> scope = c.scope;
            ExprP e;
            Stmts pre;
            if (t->kind == Kind::Struct) {
                e = Place(c, false, t, 2);
                if (!e || r_.Chance(40)) {
                    StmtP d = StructDecl(c, t, 2);
                    e = Ref(d->var);
                    pre.push_back(std::move(d));
                }
            } else {
                e = r_.Chance(25) ? Value(c, 3, t) : Of(c, t, 3);
            }
            RestoreState(s);
            StmtP r = NewStmt(St::Return);
            r->e.push_back(std::move(e));
            bool ok = OrderDefined(*r);
            for (const StmtP& x : pre) ok = ok && OrderDefined(*x);
            if (ok) {
                try {
                    in_->SetSteps(kBodySteps);
                    for (const StmtP& x : pre) in_->ExecTop(*x);
                    in_->ExecTop(*r);
                } catch (const Reject&) {
                    ok = false;
                }
            }
            if (!ok) {
                Restore(s);
                c.scope = scope;
                continue;
            }
            for (StmtP& x : pre) c.f->body.push_back(std::move(x));
            c.f->body.push_back(std::move(r));
            return;
        }
        // Nothing safe was found: a constant of the type.
        StmtP r = NewStmt(St::Return);
        if (t->kind == Kind::Struct) {
            StmtP d = NewStmt(St::Decl);
            d->var = NewVar("l" + std::to_string(c.next++), t, false, false);
            d->e.push_back(ConstInit(t));
            r->e.push_back(Ref(d->var));
            c.f->body.push_back(std::move(d));
        } else {
            r->e.push_back(RandConst(t));
        }
        c.f->body.push_back(std::move(r));
    }

    const Var* NewLocal(Ctx& c, const Type* t, bool set) {
        const Var* v = NewVar("l" + std::to_string(c.next++), t, false, false);
        c.scope.push_back({v, set});
        return v;
    }

    StmtP Decl(const Var* v, ExprP init) {
        StmtP d = NewStmt(St::Decl);
        d->var = v;
        if (init) d->e.push_back(std::move(init));
        return d;
    }

    // A brace list of values of exactly the elements' types (C refuses a
    // narrowing conversion inside braces).
    ExprP BraceOf(Ctx& c, const Type* t, int depth) {
        if (IsScalar(t)) return Of(c, t, depth);
        ExprP b = Node(Op::Brace, t);
        if (t->kind == Kind::Array)
            for (int i = 0; i < t->count; i++) b->kids.push_back(BraceOf(c, t->elem, depth));
        else
            for (const Field& f : t->def->fields) {
                if (f.type->kind == Kind::Struct && !Without(kBraceStructures) && r_.Chance(40))
                    if (ExprP s = StructValue(c, f.type, depth)) {
                        b->kids.push_back(std::move(s));
                        continue;
                    }
                b->kids.push_back(BraceOf(c, f.type, depth));
            }
        return b;
    }

    StmtP StructDecl(Ctx& c, const Type* t, int depth) {
        ExprP init;
        if (r_.Chance(50)) init = StructValue(c, t, depth);
        if (!init) init = NoTemps(c, Without(kBraceTemporaries), [&] { return BraceOf(c, t, depth - 1); });
        return Decl(NewLocal(c, t, true), std::move(init));
    }

    Stmts One(StmtP s) {
        Stmts v;
        if (s) v.push_back(std::move(s));
        return v;
    }

    Stmts MainStatement(Ctx& c) {
        int x = r_.Below(100);
        if (x < 40) return ProcStatement(c);
        if (x < 65) {
            StmtP pr = NewStmt(St::Print);
            pr->tag = Tag(c);
            ExprP e = PureCall(c, 3, nullptr);
            if (!e) return {};
            if (e->type->kind == Kind::U8 || e->type->kind == Kind::U16) e = Cast(Types::I32(), std::move(e));
            pr->e.push_back(std::move(e));
            if (r_.Chance(30)) pr->e.push_back(Printable(c, 3));
            return One(std::move(pr));
        }
        return Statement(c);
    }

    ExprP Printable(Ctx& c, int depth) {
        ExprP e = Value(c, depth, nullptr);
        if (e->type->kind == Kind::U8 || e->type->kind == Kind::U16) e = Cast(Types::I32(), std::move(e));
        return e;
    }

    // A call of a function that may print and write globals, on its own.
    Stmts ProcStatement(Ctx& c) {
        if (c.pure) return {};
        ExprP call = ProcCall(c, 3);
        if (!call) return {};
        const Type* t = call->type;
        int x = r_.Below(100);
        if (t->kind == Kind::Void || x < 35) return One(ExprStmt(std::move(call)));
        if (x < 65 || c.nested > 0) {
            ExprP place = IsScalar(t) ? Place(c, true, r_.Chance(50) ? t : nullptr, 2) : Place(c, true, t, 2);
            if (place && (IsScalar(place->type) == IsScalar(t))) {
                if (IsScalar(t) && place->type != t && !r_.Chance(40)) call = Cast(place->type, std::move(call));
                const Type* pt = place->type;
                return One(ExprStmt(Node(Op::Assign, pt, std::move(place), std::move(call))));
            }
            return One(ExprStmt(std::move(call)));
        }
        return One(Decl(NewLocal(c, t, true), std::move(call)));
    }

    Stmts Statement(Ctx& c) {
        int x = r_.Below(100);
        bool top = c.nested == 0;
        bool deep = c.nested >= 3;
        if (deep && x >= 34 && x < 80) x = 40;
        if (x < 20) {
            const Type* t = RandLocalType();
            if (IsScalar(t)) {
                if (top && r_.Chance(15)) return One(Decl(NewLocal(c, t, false), nullptr));
                ExprP init = NoTemps(c, Without(kInitTemporaries), [&] { return r_.Chance(30) ? Value(c, 3, t) : Of(c, t, 3); });
                return One(Decl(NewLocal(c, t, true), std::move(init)));
            }
            if (t->kind == Kind::Struct) return One(StructDecl(c, t, 3));
            if (top && r_.Chance(25) && t->elem->kind != Kind::Array) return FilledArray(c, t);
            ExprP init = NoTemps(c, Without(kBraceTemporaries), [&] { return BraceOf(c, t, 2); });
            return One(Decl(NewLocal(c, t, true), std::move(init)));
        }
        if (x < 45) return Assignment(c);
        if (x < 55) return IfStatement(c);
        if (x < 66) return Loop(c);
        if (x < 71) return SwitchStatement(c);
        if (x < 80) {
            if (c.pure) return Assignment(c);
            return ProcStatement(c);
        }
        if (x < 88 && !c.quiet) {
            StmtP pr = NewStmt(St::Print);
            pr->tag = Tag(c);
            int n = r_.Range(1, 3);
            for (int i = 0; i < n; i++) pr->e.push_back(Printable(c, 3));
            return One(std::move(pr));
        }
        if (x < 92 && !deep) {
            StmtP b = NewStmt(St::Block);
            b->body = BlockOf(c, r_.Range(1, 3));
            return One(std::move(b));
        }
        return Assignment(c);
    }

    // An array declared without a value and filled by a loop.
    Stmts FilledArray(Ctx& c, const Type* t) {
        Stmts out;
        const Var* a = NewLocal(c, t, true);
        out.push_back(Decl(a, nullptr));
        Counter* k = FreeCounter(c, out);
        k->busy = true;
        k->lo = 0;
        k->hi = t->count - 1;
        StmtP loop = NewStmt(St::For);
        loop->e.push_back(Node(Op::Assign, Types::I32(), Ref(k->v), IntConst(Types::I32(), 0)));
        loop->e.push_back(Binary(Op::Lt, Ref(k->v), IntConst(Types::I32(), uint32_t(t->count))));
        loop->e.push_back(Node(Op::PostInc, Types::I32(), Ref(k->v)));
        c.nested++;
        ExprP place = Node(Op::Index, t->elem, Ref(a), Ref(k->v));
        ExprP value = Of(c, t->elem, 2);
        loop->body.push_back(ExprStmt(Node(Op::Assign, t->elem, std::move(place), std::move(value))));
        c.nested--;
        k->busy = false;
        out.push_back(std::move(loop));
        return out;
    }

    Block BlockOf(Ctx& c, int n) {
        Block b;
        c.nested++;
        size_t scope = c.scope.size(), counters = c.counters.size();
        for (int i = 0; i < n; i++)
            for (StmtP& s : Statement(c)) b.push_back(std::move(s));
        c.scope.resize(scope);
        c.counters.resize(counters);
        c.nested--;
        return b;
    }

    Stmts Assignment(Ctx& c) {
        int x = r_.Below(100);
        if (x < 12 && !p_->structs.empty()) {
            const Type* st = RandStruct();
            ExprP place = Place(c, true, st, 2);
            if (place) {
                ExprP v = StructValue(c, st, 2);
                if (v) return One(ExprStmt(Node(Op::Assign, st, std::move(place), std::move(v))));
            }
        }
        ExprP place = Place(c, true, nullptr, 2);
        if (!place) return {};
        const Type* t = place->type;
        const Var* root = place.get()->op == Op::VarRef ? place->var : nullptr;
        Local* l = root ? FindLocal(c, root) : nullptr;
        bool unset = l && !l->set;
        if (unset || x < 55) {
            ExprP v = r_.Chance(35) ? Value(c, 3, t) : Of(c, t, 3);
            return One(ExprStmt(Node(Op::Assign, t, std::move(place), std::move(v))));
        }
        if (x < 85) {
            static const Op ops[] = {Op::Add, Op::Add, Op::Sub, Op::Mul, Op::Div, Op::Mod, Op::BitAnd, Op::BitOr, Op::BitXor, Op::Shl, Op::Shr};
            Op op = ops[r_.Below(11)];
            bool integer = op >= Op::Mod && op <= Op::BitXor;
            if (t->kind == Kind::F64 && integer) op = Op::Sub;
            integer = op >= Op::Mod && op <= Op::BitXor;
            ExprP v;
            if (op == Op::Div || op == Op::Mod) v = Divisor(c, t, 3);
            else if (op == Op::Shl || op == Op::Shr) v = ShiftCount(c, 2);
            else v = integer ? IntValue(c, 2) : Value(c, 2, nullptr);
            if (op == Op::Mod && v->type->kind == Kind::F64) v = Cast(Types::I32(), std::move(v));
            ExprP e = Node(Op::OpAssign, t, std::move(place), std::move(v));
            e->binop = op;
            return One(ExprStmt(std::move(e)));
        }
        static const Op ops[] = {Op::PreInc, Op::PreDec, Op::PostInc, Op::PostDec};
        return One(ExprStmt(Node(ops[r_.Below(4)], t, std::move(place))));
    }

    Stmts IfStatement(Ctx& c) {
        StmtP s = NewStmt(St::If);
        s->e.push_back(Condition(c, 3));
        s->body = BlockOf(c, r_.Range(1, 3));
        if (r_.Chance(50)) {
            s->hasElse = true;
            s->orElse = BlockOf(c, r_.Range(1, 2));
        }
        return One(std::move(s));
    }

    // A counter that no loop around here uses; declared here when there is none.
    Counter* FreeCounter(Ctx& c, Stmts& out) {
        for (Counter& k : c.counters)
            if (!k.busy) return &k;
        const Var* v = NewVar("c" + std::to_string(c.next++), Types::I32(), false, false);
        out.push_back(Decl(v, nullptr));
        c.counters.push_back({v});
        return &c.counters.back();
    }

    Stmts Loop(Ctx& c) {
        Stmts out;
        Counter* k = FreeCounter(c, out);
        const Var* v = k->v;
        int n = r_.Chance(8) ? 0 : r_.Range(1, 6);
        int form = r_.Below(100);
        StmtP loop;
        auto I = [](int x) { return IntConst(Types::I32(), uint32_t(x)); };
        if (form < 60) {
            loop = NewStmt(St::For);
            int f = r_.Below(4);
            if (f == 0 || f == 2) {
                loop->e.push_back(Node(Op::Assign, Types::I32(), Ref(v), I(0)));
                loop->e.push_back(Binary(Op::Lt, Ref(v), I(n)));
                if (f == 0) {
                    loop->e.push_back(Node(Op::PostInc, Types::I32(), Ref(v)));
                } else {
                    ExprP st = Node(Op::OpAssign, Types::I32(), Ref(v), I(2));
                    st->binop = Op::Add;
                    loop->e.push_back(std::move(st));
                }
                k->lo = 0;
                k->hi = n - 1;
            } else if (f == 1) {
                loop->e.push_back(Node(Op::Assign, Types::I32(), Ref(v), I(n)));
                loop->e.push_back(Binary(Op::Gt, Ref(v), I(0)));
                loop->e.push_back(Node(Op::PostDec, Types::I32(), Ref(v)));
                k->lo = 1;
                k->hi = n;
            } else {
                loop->e.push_back(Node(Op::Assign, Types::I32(), Ref(v), I(n - 1)));
                loop->e.push_back(Binary(Op::Ge, Ref(v), I(0)));
                loop->e.push_back(Node(Op::PreDec, Types::I32(), Ref(v)));
                k->lo = 0;
                k->hi = n - 1;
            }
            k->busy = true;
            loop->body = BlockOf(c, r_.Range(1, 3));
        } else if (form < 80) {
            out.push_back(ExprStmt(Node(Op::Assign, Types::I32(), Ref(v), I(0))));
            loop = NewStmt(St::While);
            loop->e.push_back(Binary(Op::Lt, Ref(v), I(n)));
            k->busy = true;
            k->lo = 0;
            k->hi = n - 1;
            loop->body = BlockOf(c, r_.Range(1, 3));
            loop->body.push_back(ExprStmt(Node(r_.Chance(50) ? Op::PostInc : Op::PreInc, Types::I32(), Ref(v))));
        } else {
            if (n == 0) n = 1;
            out.push_back(ExprStmt(Node(Op::Assign, Types::I32(), Ref(v), I(n))));
            loop = NewStmt(St::Do);
            loop->e.push_back(Binary(Op::Gt, Ref(v), I(0)));
            k->busy = true;
            k->lo = 1;
            k->hi = n;
            loop->body = BlockOf(c, r_.Range(1, 3));
            ExprP dec = Node(Op::OpAssign, Types::I32(), Ref(v), I(1));
            dec->binop = Op::Sub;
            loop->body.push_back(ExprStmt(std::move(dec)));
        }
        // BlockOf may have dropped counters declared inside; find ours again.
        for (Counter& x : c.counters)
            if (x.v == v) x.busy = false;
        out.push_back(std::move(loop));
        return out;
    }

    Stmts SwitchStatement(Ctx& c) {
        StmtP s = NewStmt(St::Switch);
        int x = r_.Below(100);
        ExprP ctl = NoTemps(c, Without(kSwitchTemporaries), [&] { return IntValue(c, 2); });
        if (x < 40) ctl = Binary(Op::BitAnd, std::move(ctl), IntConst(Types::I32(), 7));
        else if (x < 70 && ctl->type->kind != Kind::U32) ctl = Binary(Op::Mod, std::move(ctl), IntConst(Types::I32(), 5));
        s->e.push_back(std::move(ctl));
        int n = r_.Range(1, 4);
        std::vector<int> used;
        // C++ refuses a negative case value for an unsigned switch.
        bool unsign = Promote(s->e[0]->type)->kind == Kind::U32;
        for (int i = 0; i < n; i++) {
            int v = r_.Range(unsign ? 0 : -3, 9);
            if (std::find(used.begin(), used.end(), v) != used.end()) continue;
            used.push_back(v);
            Case k;
            k.value = v;
            k.body = BlockOf(c, r_.Range(0, 2));
            k.brk = r_.Chance(75);
            s->cases.push_back(std::move(k));
        }
        if (r_.Chance(60)) {
            Case d;
            d.isDefault = true;
            d.body = BlockOf(c, r_.Range(0, 2));
            d.brk = r_.Chance(50);
            // The script takes default only as the last label.
            s->cases.push_back(std::move(d));
        }
        return One(std::move(s));
    }

    Rng r_;
    GenOptions o_;
    std::unique_ptr<Program> p_;
    std::unique_ptr<Interp> in_;
    std::vector<Func*> done_;
    int nextFunc_ = 0;
};

}  // namespace

std::unique_ptr<Program> Generate(uint64_t seed, const GenOptions& options) {
    Gen g(seed, options);
    return g.Run();
}

}  // namespace zcgen
