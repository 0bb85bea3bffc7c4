#include "Reduce.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <unordered_map>

#include "Interp.h"

namespace zcgen {

namespace {

// Every name used is declared where it is used and every call has as many
// arguments as its function has parameters: what the interpreter only sees
// on the paths it runs.
class WellFormed {
public:
    bool Check(const std::vector<Func*>& funcs) {
        for (const Func* f : funcs) {
            scope_.assign(f->params.begin(), f->params.end());
            if (!Block(f->body)) return false;
        }
        return true;
    }

private:
    bool Block(const zcgen::Block& b) {
        size_t mark = scope_.size();
        for (const StmtP& s : b)
            if (s && !Stmt(*s)) return false;
        scope_.resize(mark);
        return true;
    }

    bool Stmt(const zcgen::Stmt& s) {
        for (const ExprP& e : s.e)
            if (e && !Expr(*e)) return false;
        if (s.kind == St::Decl) scope_.push_back(s.var);
        if (!Block(s.body) || !Block(s.orElse)) return false;
        for (const Case& c : s.cases)
            if (!Block(c.body)) return false;
        return true;
    }

    bool Expr(const zcgen::Expr& e) {
        // A constant divisor of 0 stops the script compiler (and g++ warns).
        if ((e.op == Op::Div || e.op == Op::Mod || (e.op == Op::OpAssign && (e.binop == Op::Div || e.binop == Op::Mod))) &&
            e.kids[1]->op == Op::Const && e.kids[1]->ival == 0 && e.kids[1]->dval == 0)
            return false;
        if (e.op == Op::VarRef && !e.var->global && std::find(scope_.begin(), scope_.end(), e.var) == scope_.end()) return false;
        if (e.op == Op::Call && e.kids.size() != e.func->params.size()) return false;
        for (const ExprP& k : e.kids)
            if (k && !Expr(*k)) return false;
        return true;
    }

    std::vector<const Var*> scope_;
};

class Reducer {
public:
    Reducer(Program& p, const StillFails& still) : p_(p), still_(still) {}

    int Run() {
        for (int round = 0; round < 8; round++) {
            int before = kept_;
            for (Func* f : Reachable()) Statements(f->body, true);
            for (Func* f : Reachable()) Unwrap(f->body);
            Record();
            for (Func* f : Reachable()) Expressions(f->body);
            Parameters();
            Globals();
            if (kept_ == before) break;
        }
        return kept_;
    }

private:
    bool Check() {
        if (!WellFormed().Check(Reachable()) || !still_(p_)) return false;
        kept_++;
        return true;
    }

    // Functions main reaches, main first.
    std::vector<Func*> Reachable() {
        std::vector<Func*> out;
        std::set<Func*> seen;
        std::vector<Func*> todo{p_.main};
        while (!todo.empty()) {
            Func* f = todo.back();
            todo.pop_back();
            if (!f || !seen.insert(f).second) continue;
            out.push_back(f);
            Calls(f->body, [&](Expr& call) { todo.push_back(call.func); });
        }
        return out;
    }

    template <class F>
    static void CallsIn(Expr& e, const F& f) {
        for (ExprP& k : e.kids)
            if (k) CallsIn(*k, f);
        if (e.op == Op::Call) f(e);
    }

    template <class F>
    static void Calls(Block& b, const F& f) {
        for (StmtP& s : b) {
            if (!s) continue;
            for (ExprP& e : s->e)
                if (e) CallsIn(*e, f);
            Calls(s->body, f);
            Calls(s->orElse, f);
            for (Case& c : s->cases) Calls(c.body, f);
        }
    }

    // Drops runs of statements, halving the run length down to one. A body
    // keeps its return (g++ warns of a function without one).
    void Statements(Block& b, bool body) {
        std::vector<size_t> live;
        for (size_t i = 0; i < b.size(); i++)
            if (b[i] && !(body && b[i]->kind == St::Return)) live.push_back(i);
        for (size_t chunk = std::max<size_t>(1, live.size() / 2);; chunk /= 2) {
            for (size_t i = 0; i < live.size();) {
                size_t n = std::min(chunk, live.size() - i);
                std::vector<StmtP> out;
                for (size_t k = 0; k < n; k++) out.push_back(std::move(b[live[i + k]]));
                if (Check()) {
                    live.erase(live.begin() + long(i), live.begin() + long(i + n));
                } else {
                    for (size_t k = 0; k < n; k++) b[live[i + k]] = std::move(out[k]);
                    i += n;
                }
            }
            if (chunk <= 1) break;
        }
        for (StmtP& s : b) {
            if (!s) continue;
            Statements(s->body, false);
            Statements(s->orElse, false);
            for (Case& c : s->cases) Statements(c.body, false);
        }
    }

    // Replaces a statement by one of the blocks inside it; a block by its
    // statements.
    void Unwrap(Block& b) {
        for (size_t i = 0; i < b.size(); i++) {
            if (!b[i]) continue;
            St k = b[i]->kind;
            if (k == St::Block) {
                StmtP old = std::move(b[i]);
                Block inner = std::move(old->body);
                size_t n = inner.size();
                b.erase(b.begin() + long(i));
                b.insert(b.begin() + long(i), std::make_move_iterator(inner.begin()), std::make_move_iterator(inner.end()));
                if (Check()) {
                    i--;
                    continue;
                }
                old->body.clear();
                for (size_t x = 0; x < n; x++) old->body.push_back(std::move(b[i + x]));
                b.erase(b.begin() + long(i), b.begin() + long(i + n));
                b.insert(b.begin() + long(i), std::move(old));
            } else if (k == St::Switch) {
                // Cases, then a case for the whole switch.
                std::vector<Case>& cases = b[i]->cases;
                for (size_t x = cases.size(); x-- > 0;) {
                    Case c = std::move(cases[x]);
                    cases.erase(cases.begin() + long(x));
                    if (Check()) continue;
                    cases.insert(cases.begin() + long(x), std::move(c));
                }
            }
            if (k == St::If && b[i]->hasElse) {
                b[i]->hasElse = false;
                if (!Check()) b[i]->hasElse = true;
            }
            if (b[i] && (k == St::If || k == St::For || k == St::While || k == St::Do || k == St::Switch)) {
                std::vector<Block*> parts;
                if (k == St::Switch) {
                    for (Case& c : b[i]->cases) parts.push_back(&c.body);
                } else {
                    parts.push_back(&b[i]->body);
                    if (b[i]->hasElse) parts.push_back(&b[i]->orElse);
                }
                for (Block* part : parts) {
                    StmtP old = std::move(b[i]);
                    auto block = std::make_unique<Stmt>();
                    block->kind = St::Block;
                    block->body = std::move(*part);
                    b[i] = std::move(block);
                    if (Check()) break;
                    *part = std::move(b[i]->body);
                    b[i] = std::move(old);
                }
            }
            Stmt& s = *b[i];
            Unwrap(s.body);
            Unwrap(s.orElse);
            for (Case& c : s.cases) Unwrap(c.body);
        }
    }

    void Record() {
        values_.clear();
        Interp in(p_);
        in.RecordValues(&values_);
        try {
            in.RunMain(100000000);
        } catch (const Reject&) {
        }
    }

    // The value an expression had, as a constant both languages read.
    ExprP ValueOf(const Expr& e) {
        auto c = std::make_unique<Expr>();
        c->op = Op::Const;
        c->type = e.type;
        auto it = values_.find(&e);
        if (it != values_.end()) {
            Val v = it->second;
            if (v.t != e.type) {
                try {
                    v = Convert(v, e.type);
                } catch (const Reject&) {
                    return c;
                }
            }
            if (e.type->kind == Kind::F64) {
                char buf[64];
                std::snprintf(buf, sizeof buf, "%.17g", v.c.d);
                if (!std::strchr(buf, 'e') && std::isfinite(v.c.d)) c->dval = v.c.d;
            } else {
                c->ival = v.c.u;
            }
        }
        return c;
    }

    static ExprP CastTo(const Type* t, ExprP e) {
        if (e->type == t) return e;
        auto c = std::make_unique<Expr>();
        c->op = Op::Cast;
        c->type = t;
        c->kids.push_back(std::move(e));
        return c;
    }

    void Expressions(Block& b) {
        for (StmtP& s : b) {
            if (!s) continue;
            switch (s->kind) {
            case St::Decl:
                if (!s->e.empty() && s->e[0]) Value(s->e[0]);
                break;
            case St::Expr: Inside(*s->e[0]); break;
            case St::For:
                if (s->e[1]) Value(s->e[1]);
                break;
            case St::Return:
                if (!s->e.empty() && s->e[0]) Value(s->e[0]);
                break;
            default:
                for (ExprP& e : s->e)
                    if (e) Value(e);
                break;
            }
            Expressions(s->body);
            Expressions(s->orElse);
            for (Case& c : s->cases) Expressions(c.body);
        }
    }

    // A place where any expression of the slot's type may stand.
    void Value(ExprP& slot) {
        if (slot->op == Op::Brace) {
            for (ExprP& k : slot->kids) Value(k);
            return;
        }
        if (IsScalar(slot->type)) {
            if (slot->op != Op::Const) {
                ExprP old = std::move(slot);
                slot = ValueOf(*old);
                if (Check()) return;
                slot = std::move(old);
            }
            // A cast's operand would come back as the same cast.
            for (size_t i = 0; slot->op != Op::Cast && i < slot->kids.size(); i++) {
                if (!IsScalar(slot->kids[i]->type)) continue;
                ExprP old = std::move(slot);
                ExprP kid = std::move(old->kids[i]);
                bool cast = kid->type != old->type;
                slot = CastTo(old->type, std::move(kid));
                if (Check()) {
                    Value(slot);
                    return;
                }
                old->kids[i] = cast ? std::move(slot->kids[0]) : std::move(slot);
                slot = std::move(old);
            }
        }
        Inside(*slot);
    }

    void Place(Expr& e) {
        if (e.op == Op::Index) {
            Place(*e.kids[0]);
            Value(e.kids[1]);
        } else if (e.op == Op::Member) {
            if (e.kids[0]->op == Op::Call) Inside(*e.kids[0]);
            else Place(*e.kids[0]);
        }
    }

    void Inside(Expr& e) {
        switch (e.op) {
        case Op::Assign:
        case Op::OpAssign:
            Place(*e.kids[0]);
            Value(e.kids[1]);
            return;
        case Op::PreInc: case Op::PreDec: case Op::PostInc: case Op::PostDec:
            Place(*e.kids[0]);
            return;
        case Op::Index: case Op::Member:
            Place(e);
            return;
        case Op::Call:
            for (size_t i = 0; i < e.kids.size(); i++) {
                const Type* t = e.func->params[i]->type;
                if (t->kind == Kind::Array) Place(*e.kids[i]);
                else if (IsScalar(t)) Value(e.kids[i]);
                else Inside(*e.kids[i]);
            }
            return;
        default:
            for (ExprP& k : e.kids) Value(k);
        }
    }

    // Drops a parameter with its argument in every call.
    void Parameters() {
        for (Func* f : Reachable()) {
            if (f == p_.main) continue;
            for (size_t k = f->params.size(); k-- > 0;) {
                std::vector<std::pair<Expr*, ExprP>> args;
                for (Func* g : Reachable())
                    Calls(g->body, [&](Expr& call) {
                        if (call.func == f && call.kids.size() > k) {
                            args.push_back({&call, std::move(call.kids[k])});
                            call.kids.erase(call.kids.begin() + long(k));
                        }
                    });
                const Var* param = f->params[k];
                f->params.erase(f->params.begin() + long(k));
                if (Check()) continue;
                f->params.insert(f->params.begin() + long(k), param);
                for (auto& [call, arg] : args) call->kids.insert(call->kids.begin() + long(k), std::move(arg));
            }
        }
    }

    void Globals() {
        for (ExprP& init : p_.globalInits) {
            if (!init) continue;
            ExprP old = std::move(init);
            if (Check()) continue;
            init = std::move(old);
        }
    }

    Program& p_;
    const StillFails& still_;
    int kept_ = 0;
    std::unordered_map<const Expr*, Val> values_;
};

}  // namespace

int Reduce(Program& p, const StillFails& still) {
    Reducer r(p, still);
    return r.Run();
}

}  // namespace zcgen
