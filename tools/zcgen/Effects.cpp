#include "Effects.h"

#include <algorithm>

namespace zcgen {

namespace {

constexpr int kGlobal = 1 << 29;
constexpr int kArrayClass = 1 << 30;

int TypeHash(const Type* t) {
    int h = int(t->kind) + 1;
    if (t->kind == Kind::Array) h = h * 31 + t->count * 7 + TypeHash(t->elem);
    if (t->kind == Kind::Struct) h = h * 131 + int(t->def->name.size()) * 17 + t->def->name.back();
    return h & 0xFFFFFF;
}

void Add(std::vector<int>& to, int x) {
    auto at = std::lower_bound(to.begin(), to.end(), x);
    if (at == to.end() || *at != x) to.insert(at, x);
}

void Merge(std::vector<int>& to, const std::vector<int>& from) {
    for (int x : from) Add(to, x);
}

bool Meet(const std::vector<int>& a, const std::vector<int>& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i] == b[j]) return true;
        if (a[i] < b[j]) i++;
        else j++;
    }
    return false;
}

bool Conflict(const Effects& a, const Effects& b) {
    return (a.prints && b.prints) || Meet(a.writes, b.reads) || Meet(a.writes, b.writes) || Meet(b.writes, a.reads);
}

void Join(Effects& to, const Effects& from) {
    Merge(to.reads, from.reads);
    Merge(to.writes, from.writes);
    to.prints = to.prints || from.prints;
    to.ok = to.ok && from.ok;
}

// Operands whose order C leaves open.
Effects Unsequenced(const std::vector<const Expr*>& parts);

// The variable a place belongs to; null for a member of a temporary.
const Var* Root(const Expr& place) {
    if (place.op == Op::VarRef) return place.var;
    if (place.op == Op::Index || place.op == Op::Member) return Root(*place.kids[0]);
    return nullptr;
}

// What computing a place's location does (its indexes), without the place itself.
Effects Location(const Expr& place) {
    if (place.op == Op::Index) {
        Effects e = Location(*place.kids[0]);
        Effects i = EffectsOf(*place.kids[1]);
        if (Conflict(e, i)) e.ok = false;
        Join(e, i);
        return e;
    }
    if (place.op == Op::Member) return Location(*place.kids[0]);
    if (place.op == Op::VarRef) return {};
    return EffectsOf(place);
}

Effects Unsequenced(const std::vector<const Expr*>& parts) {
    std::vector<Effects> each;
    for (const Expr* p : parts) each.push_back(EffectsOf(*p));
    Effects all;
    for (size_t i = 0; i < each.size(); i++) {
        for (size_t j = i + 1; j < each.size(); j++)
            if (Conflict(each[i], each[j])) all.ok = false;
        Join(all, each[i]);
    }
    return all;
}

void Stmts(const Block& b, Effects& into);

void Stmt(const zcgen::Stmt& s, Effects& into) {
    if (s.kind == St::Print) into.prints = true;
    if (s.kind == St::Decl && s.var) Add(into.writes, ObjectOf(s.var));
    for (const ExprP& e : s.e)
        if (e) Join(into, EffectsOf(*e));
    Stmts(s.body, into);
    Stmts(s.orElse, into);
    for (const Case& c : s.cases) Stmts(c.body, into);
}

void Stmts(const Block& b, Effects& into) {
    for (const StmtP& s : b)
        if (s) Stmt(*s, into);
}

}  // namespace

int ObjectOf(const Var* v) {
    if (v->type->kind == Kind::Array && (v->global || v->param)) return kArrayClass | TypeHash(v->type);
    if (v->global) return kGlobal | v->id;
    return v->id;
}

bool IsSharedObject(int object) { return object >= kGlobal; }

Effects EffectsOf(const Expr& e) {
    Effects r;
    switch (e.op) {
    case Op::Const:
        return r;
    case Op::VarRef:
        Add(r.reads, ObjectOf(e.var));
        return r;
    case Op::Index:
        return Unsequenced({e.kids[0].get(), e.kids[1].get()});
    case Op::Member:
        return EffectsOf(*e.kids[0]);
    case Op::Call: {
        std::vector<const Expr*> args;
        for (const ExprP& k : e.kids) args.push_back(k.get());
        r = Unsequenced(args);
        const Func& f = *e.func;
        Merge(r.reads, f.reads);
        Merge(r.writes, f.writes);
        r.prints = r.prints || f.prints;
        // An array the callee writes through its parameter.
        for (size_t i = 0; i < e.kids.size() && i < f.params.size(); i++)
            if (f.params[i]->type->kind == Kind::Array && std::binary_search(f.writes.begin(), f.writes.end(), ObjectOf(f.params[i])))
                if (const Var* v = Root(*e.kids[i])) Add(r.writes, ObjectOf(v));
        return r;
    }
    case Op::LogAnd:
    case Op::LogOr:
    case Op::Cond:
        // Sequenced: each operand is complete before the next starts.
        for (const ExprP& k : e.kids) Join(r, EffectsOf(*k));
        return r;
    case Op::Assign:
    case Op::OpAssign:
    case Op::PreInc:
    case Op::PreDec:
    case Op::PostInc:
    case Op::PostDec: {
        const Expr& place = *e.kids[0];
        r = Location(place);
        if (e.kids.size() > 1) {
            Effects v = EffectsOf(*e.kids[1]);
            if (Conflict(r, v)) r.ok = false;
            Join(r, v);
        }
        if (const Var* root = Root(place)) {
            int object = ObjectOf(root);
            // The value must not change the object it is stored into.
            if (std::binary_search(r.writes.begin(), r.writes.end(), object)) r.ok = false;
            if (e.op != Op::Assign) Add(r.reads, object);
            Add(r.writes, object);
        }
        return r;
    }
    default: {
        std::vector<const Expr*> parts;
        for (const ExprP& k : e.kids) parts.push_back(k.get());
        return Unsequenced(parts);
    }
    }
}

bool OrderDefined(const zcgen::Stmt& s) {
    if (s.kind == St::Print) {
        std::vector<const Expr*> args;
        for (const ExprP& a : s.e) args.push_back(a.get());
        if (!Unsequenced(args).ok) return false;
    } else {
        for (const ExprP& e : s.e)
            if (e && !EffectsOf(*e).ok) return false;
    }
    for (const Block* b : {&s.body, &s.orElse})
        for (const StmtP& x : *b)
            if (x && !OrderDefined(*x)) return false;
    for (const Case& c : s.cases)
        for (const StmtP& x : c.body)
            if (x && !OrderDefined(*x)) return false;
    return true;
}

void Summarise(Func& f) {
    Effects all;
    Stmts(f.body, all);
    f.reads.clear();
    f.writes.clear();
    for (int o : all.reads)
        if (IsSharedObject(o)) f.reads.push_back(o);
    for (int o : all.writes)
        if (IsSharedObject(o)) f.writes.push_back(o);
    f.prints = all.prints;
    f.writesParams = false;
    for (const Var* p : f.params)
        if (p->type->kind == Kind::Array && std::binary_search(f.writes.begin(), f.writes.end(), ObjectOf(p))) f.writesParams = true;
    f.pure = f.writes.empty() && !f.prints;
}

}  // namespace zcgen
