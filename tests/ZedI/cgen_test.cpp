// The program generator's own parts: the text it writes must group as both
// compilers group it, its interpreter must refuse what either language leaves
// undefined or reads otherwise, the order rules must see operands C may
// evaluate either way, the reducer must keep what it reduces valid, and a
// program run through a `zedi` command must come out as one run in-process.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unordered_map>
#include <string>

#include "Effects.h"
#include "Generate.h"
#include "Interp.h"
#include "Print.h"
#include "Reduce.h"
#include "Runner.h"

namespace zcgen {
namespace {

struct Fixture {
    Program p;
    const Var* a = Local("a", Types::I32());
    const Var* b = Local("b", Types::I32());
    const Var* c = Local("c", Types::I32());
    const Var* u = Local("u", Types::U32());
    const Var* ch = Local("ch", Types::U8());

    const Var* Local(const char* name, const Type* t) {
        Var& v = p.vars.emplace_back();
        v.name = name;
        v.type = t;
        v.id = int(p.vars.size());
        return &v;
    }
};

ExprP N(Op op, const Type* t, ExprP x = nullptr, ExprP y = nullptr, ExprP z = nullptr) {
    auto e = std::make_unique<Expr>();
    e->op = op;
    e->type = t;
    for (ExprP* k : {&x, &y, &z})
        if (*k) e->kids.push_back(std::move(*k));
    return e;
}

ExprP V(const Var* v) {
    ExprP e = N(Op::VarRef, v->type);
    e->var = v;
    return e;
}

ExprP I(int32_t x, const Type* t = Types::I32()) {
    ExprP e = N(Op::Const, t);
    e->ival = uint32_t(x);
    return e;
}

ExprP D(double d) {
    ExprP e = N(Op::Const, Types::F64());
    e->dval = d;
    return e;
}

const Type* Int() { return Types::I32(); }

TEST(GeneratedText, GroupsAsBothCompilersRead) {
    Fixture f;
    auto a = [&] { return V(f.a); };
    auto b = [&] { return V(f.b); };
    auto c = [&] { return V(f.c); };
    struct Case {
        ExprP e;
        const char* text;
    };
    Case cases[] = {
        {N(Op::Sub, Int(), N(Op::Sub, Int(), a(), b()), c()), "a - b - c"},
        {N(Op::Sub, Int(), a(), N(Op::Sub, Int(), b(), c())), "a - (b - c)"},
        // The script groups * / % and the comparisons to the right, C to the left.
        {N(Op::Div, Int(), N(Op::Div, Int(), a(), b()), c()), "(a / b) / c"},
        {N(Op::Div, Int(), a(), N(Op::Div, Int(), b(), c())), "a / (b / c)"},
        {N(Op::Lt, Int(), N(Op::Lt, Int(), a(), b()), c()), "(a < b) < c"},
        {N(Op::Shr, Int(), a(), N(Op::Shr, Int(), b(), c())), "a >> (b >> c)"},
        {N(Op::Add, Int(), a(), N(Op::Mul, Int(), b(), c())), "a + b * c"},
        {N(Op::Mul, Int(), N(Op::Add, Int(), a(), b()), c()), "(a + b) * c"},
        {N(Op::LogOr, Int(), N(Op::LogOr, Int(), a(), b()), c()), "(a || b) || c"},
        // Unary operands at the postfix level: the script reads no `- -a`.
        {N(Op::Neg, Int(), N(Op::Neg, Int(), a())), "-(-a)"},
        {N(Op::Neg, Int(), N(Op::PostInc, Int(), a())), "-(a++)"},
        {N(Op::Cast, Types::U8(), N(Op::Neg, Int(), a())), "(uchar)-a"},
        // A ?: inside a branch of another is parenthesised.
        {N(Op::Cond, Int(), a(), N(Op::Cond, Int(), b(), c(), a()), b()), "a ? (b ? c : a) : b"},
        {N(Op::Cond, Int(), a(), b(), N(Op::Cond, Int(), b(), c(), a())), "a ? b : (b ? c : a)"},
        {N(Op::Assign, Int(), a(), N(Op::Cond, Int(), b(), c(), a())), "a = b ? c : a"},
        {N(Op::Add, Int(), a(), N(Op::Assign, Int(), b(), c())), "a + (b = c)"},
        // Constants both read with the same type and value.
        {I(-5), "(-5)"},
        {I(INT32_MIN), "(-2147483647 - 1)"},
        {I(int32_t(0x80000000u), Types::U32()), "(unsigned)0x80000000"},
        {I(7, Types::U32()), "(unsigned)7"},
        {I(200, Types::U8()), "(uchar)200"},
        {N(Op::Sub, Int(), a(), I(-5)), "a - (-5)"},
        {D(3), "3.0"},
        {D(-0.125), "(-0.125)"},
        {D(0.0009765625), "0.0009765625"},
    };
    for (Case& k : cases) EXPECT_EQ(ExprText(*k.e), k.text);
}

// Runs `int main() { int a = 7, b = -3; unsigned u = 5; uchar ch = 200; <e>; }`.
std::string Outcome(ExprP e) {
    Fixture f;
    Func& m = f.p.funcs.emplace_back();
    m.name = "main";
    m.ret = Types::I32();
    f.p.main = &m;
    auto decl = [&](const Var* v, ExprP init) {
        auto s = std::make_unique<Stmt>();
        s->kind = St::Decl;
        s->var = v;
        if (init) s->e.push_back(std::move(init));
        m.body.push_back(std::move(s));
    };
    decl(f.a, I(7));
    decl(f.b, I(-3));
    decl(f.c, nullptr);
    decl(f.u, I(5, Types::U32()));
    decl(f.ch, I(200, Types::U8()));
    // The expression's variables are this fixture's: rebind them by name.
    std::function<void(Expr&)> bind = [&](Expr& x) {
        if (x.op == Op::VarRef)
            for (const Var& v : f.p.vars)
                if (v.name == x.var->name) x.var = &v;
        for (ExprP& k : x.kids) bind(*k);
    };
    bind(*e);
    auto pr = std::make_unique<Stmt>();
    pr->kind = St::Print;
    pr->tag = "=";
    pr->e.push_back(std::move(e));
    m.body.push_back(std::move(pr));
    auto ret = std::make_unique<Stmt>();
    ret->kind = St::Return;
    ret->e.push_back(I(0));
    m.body.push_back(std::move(ret));
    try {
        return Interp(f.p).RunMain(10000);
    } catch (const Reject& r) {
        return std::string("refused: ") + r.what();
    }
}

TEST(GeneratedRun, RefusesWhatEitherLanguageReadsOtherwise) {
    Fixture f;
    auto a = [&] { return V(f.a); };
    const Type* U = Types::U32();
    struct Case {
        ExprP e;
        const char* outcome;  // the start of it
    };
    Case cases[] = {
        {N(Op::Add, Int(), I(INT32_MAX), I(1)), "refused: signed overflow"},
        {N(Op::Add, U, I(INT32_MAX, U), I(1)), "= 2147483648"},
        {N(Op::Mul, Int(), I(65536), I(32768)), "refused: signed overflow"},
        {N(Op::Neg, Int(), I(INT32_MIN)), "refused: signed overflow"},
        {N(Op::Shl, Int(), I(1), I(31)), "refused: signed overflow"},
        {N(Op::Shl, U, I(1, U), I(31)), "= 2147483648"},
        {N(Op::Shl, Int(), I(-1), I(1)), "refused: left shift of a negative value"},
        {N(Op::Shr, Int(), I(-8), I(1)), "= -4"},
        {N(Op::Shr, Int(), a(), I(32)), "refused: shift past the width"},
        {N(Op::Div, Int(), a(), I(0)), "refused: division by zero"},
        {N(Op::Div, Int(), I(INT32_MIN), I(-1)), "refused: INT_MIN / -1"},
        {N(Op::Mod, Int(), I(INT32_MIN), I(-1)), "refused: INT_MIN / -1"},
        {N(Op::Mod, Int(), I(-7), I(3)), "= -1"},
        {N(Op::Div, Types::F64(), D(1), D(0)), "refused: division by zero"},
        {N(Op::Cast, Int(), D(3e9)), "refused: double out of the integer's range"},
        // The script converts unsigned to and from double through int.
        {N(Op::Cast, U, D(3e9)), "refused: double out of the integer's range"},
        {N(Op::Cast, Types::F64(), I(int32_t(0x80000000u), U)), "refused: unsigned of 2^31 or more to double"},
        {N(Op::Cast, Types::F64(), I(0x7FFFFFFF, U)), "= 2147483647"},
        {N(Op::Cast, Int(), N(Op::Cast, Types::U8(), I(300))), "= 44"},
        {N(Op::Cast, Int(), N(Op::Cast, Types::U8(), D(255.9))), "= 255"},
        {N(Op::Cast, Int(), N(Op::Cast, Types::U8(), D(-1.5))), "refused: double out of the integer's range"},
        // C widens: a uchar's complement is a negative int.
        {N(Op::BitNot, Int(), V(f.ch)), "= -201"},
        {N(Op::Lt, Int(), V(f.b), V(f.u)), "= 0"},
        {V(f.c), "refused: read of an unset value"},
    };
    for (Case& k : cases) {
        std::string text = ExprText(*k.e);
        std::string got = Outcome(std::move(k.e));
        EXPECT_EQ(got.substr(0, std::strlen(k.outcome)), k.outcome) << text;
    }
}

TEST(GeneratedOrder, SeesOperandsCMayEvaluateEitherWay) {
    Fixture f;
    auto a = [&] { return V(f.a); };
    auto b = [&] { return V(f.b); };
    auto inc = [&](ExprP x) { return N(Op::PostInc, Int(), std::move(x)); };
    struct Case {
        ExprP e;
        bool ok;
    };
    Case cases[] = {
        {N(Op::Add, Int(), a(), inc(a())), false},
        {N(Op::Add, Int(), inc(a()), inc(a())), false},
        {N(Op::Add, Int(), b(), inc(a())), true},
        {N(Op::Assign, Int(), a(), inc(a())), false},
        {N(Op::Assign, Int(), a(), N(Op::Add, Int(), a(), I(1))), true},
        // Sequenced: && and ?: finish one operand before the next.
        {N(Op::LogAnd, Int(), inc(a()), a()), true},
        {N(Op::Cond, Int(), inc(a()), a(), b()), true},
    };
    for (Case& k : cases) EXPECT_EQ(EffectsOf(*k.e).ok, k.ok) << ExprText(*k.e);

    // The arguments of a call: f((double)(a % 2), a--).
    Func two;
    two.name = "two";
    two.ret = Int();
    two.params = {f.b, f.c};
    ExprP args = N(Op::Call, Int(), N(Op::Cast, Types::F64(), N(Op::Mod, Int(), a(), I(2))),
                   N(Op::PostDec, Int(), a()));
    args->func = &two;
    EXPECT_FALSE(EffectsOf(*args).ok) << ExprText(*args);

    // Two calls that print, as operands of one +, may print in either order.
    Func printing;
    printing.name = "p";
    printing.ret = Int();
    printing.prints = true;
    auto call = [&] {
        ExprP e = N(Op::Call, Int());
        e->func = &printing;
        return e;
    };
    EXPECT_FALSE(EffectsOf(*N(Op::Add, Int(), call(), call())).ok);
    EXPECT_TRUE(EffectsOf(*N(Op::Add, Int(), call(), a())).ok);
}

TEST(Generator, TheSameSeedWritesTheSameProgram) {
    GenOptions o;
    o.functions = 20;
    std::string first = ProgramText(*Generate(7, o), "");
    EXPECT_EQ(ProgramText(*Generate(7, o), ""), first);
    EXPECT_NE(ProgramText(*Generate(8, o), ""), first);
}

// The generator's reading of the type the script gives an expression (which
// decides where an argument needs a cast) agrees with the script compiler:
// overloads for char, short and int tell the narrow types (an int argument
// takes an unsigned or double parameter too, so those cannot be overloads),
// and `< 0` of a value with the top bit set tells int from unsigned (not
// asked of a char or short, which may hold such a value today).
TEST(ScriptTypes, AsTheCompilerReadsThem) {
    Fixture f;
    auto a = [&] { return V(f.a); };  // -7
    auto u = [&] { return V(f.u); };  // 5
    auto ch = [&] { return V(f.ch); };  // 200
    const Type* U8 = Types::U8();
    const Type* U32 = Types::U32();
    const Type* F64 = Types::F64();
    struct Case {
        ExprP e;
        bool topBit;  // the value's top bit is set
    } cases[] = {
        // x + 0 and x - 0 keep x's whole type, against any zero.
        {N(Op::Add, Int(), ch(), I(0)), false},
        {N(Op::Sub, U32, a(), I(0, U32)), true},
        {N(Op::Add, F64, a(), D(0)), true},
        {N(Op::Sub, U32, u(), I(0)), false},
        // A ?: of constants is computed as the program runs: its + 0 is left out.
        {N(Op::Add, Int(), N(Op::Cond, Types::U16(), I(1), I(5, Types::U16()), I(3, U8)), I(0)), false},
        // x * 1.0 and x / 1.0 keep an integer x.
        {N(Op::Mul, F64, a(), D(1)), true},
        {N(Op::Div, F64, ch(), D(1)), false},
        // The other left-out operations give C's type.
        {N(Op::Mul, Int(), ch(), I(1)), false},
        {N(Op::BitXor, Int(), ch(), I(0)), false},
        {N(Op::BitAnd, Int(), ch(), I(-1)), false},
        {N(Op::BitOr, U32, a(), I(0, U32)), true},
        {N(Op::Div, U32, a(), I(1, U32)), true},
        {N(Op::Shl, Int(), ch(), I(0)), false},
        {N(Op::Mod, Int(), ch(), I(2147483647)), false},
        // Operations that are not left out, for comparison.
        {N(Op::Add, Int(), ch(), I(1)), false},
        {N(Op::Add, U32, a(), I(1, U32)), true},
        {N(Op::Add, Int(), a(), I(1)), true},
        // ~ and - of a char are ints, as in C.
        {N(Op::BitNot, Int(), ch()), true},
        {N(Op::Neg, Int(), I(5, U8)), true},
    };
    std::string text =
        "#include \"print.h\"\n"
        "typedef char uchar;\n"
        "typedef short ushort;\n"
        "int f(char x) { return 1; }\n"
        "int f(short x) { return 2; }\n"
        "int f(int x) { return 3; }\n"
        "int main() {\n"
        "    int a = -7;\n"
        "    unsigned u = 5;\n"
        "    uchar ch = 200;\n";
    std::string expected;
    for (Case& k : cases) {
        std::string e = ExprText(*k.e);
        const Type* t = ScriptType(*k.e);
        if (t->kind == Kind::U8 || t->kind == Kind::U16) {
            text += "    print(\"" + e + ": %d\\n\", f(" + e + "));\n";
            expected += e + ": " + (t->kind == Kind::U8 ? "1" : "2") + "\n";
        } else {
            text += "    print(\"" + e + ": %d %d\\n\", f(" + e + "), (" + e + ") < 0);\n";
            expected += e + ": 3 " + (t->kind == Kind::I32 && k.topBit ? "1" : "0") + "\n";
        }
    }
    text += "    return 0;\n}\n";
    std::string dir = ::testing::TempDir() + "/cgen_types";
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(ZCGEN_C_SUBSET "/print.h", dir + "/print.h",
                               std::filesystem::copy_options::overwrite_existing);
    std::ofstream(dir + "/types.sc") << text;
    zcgen::Outcome got = RunScript(dir + "/types.sc", 1000000, 60);
    ASSERT_EQ(got.kind, zcgen::Outcome::ran) << got.message;
    EXPECT_EQ(got.out, expected);
}

// Calls `see` on every expression of the program, kids included.
void EachExpr(const Program& p, const std::function<void(const Expr&)>& see) {
    std::function<void(const Expr&)> expr = [&](const Expr& e) {
        see(e);
        for (const ExprP& k : e.kids) expr(*k);
    };
    std::function<void(const Block&)> block = [&](const Block& b) {
        for (const StmtP& st : b) {
            if (!st) continue;
            for (const ExprP& e : st->e)
                if (e) expr(*e);
            block(st->body);
            block(st->orElse);
            for (const Case& c : st->cases) block(c.body);
        }
    };
    for (const Func& f : p.funcs) block(f.body);
    for (const ExprP& e : p.globalInits)
        if (e) expr(*e);
}

bool IsConstant(const Expr& e) {
    if (e.op == Op::VarRef || e.op == Op::Call || e.op == Op::Index || e.op == Op::Member) return false;
    for (const ExprP& k : e.kids)
        if (!IsConstant(*k)) return false;
    return true;
}

// Left out, `0 && x` and `1 || x` (whose right operand the script runs) are
// written with the constant on the right.
TEST(Generator, LeavesOutAConstantLeftOperandOfLogic) {
    auto count = [](unsigned without) {
        GenOptions o;
        o.functions = 40;
        o.without = without;
        int n = 0;
        for (uint64_t seed = 1; seed <= 10; seed++)
            EachExpr(*Generate(seed, o), [&](const Expr& e) {
                if ((e.op == Op::LogAnd || e.op == Op::LogOr) && IsConstant(*e.kids[0]) && !IsConstant(*e.kids[1])) n++;
            });
        return n;
    };
    EXPECT_GT(count(0), 0);
    EXPECT_EQ(count(kConstantLogic), 0);
}

// A ?: with a double true branch and an int false branch that main runs.
bool RunsMixedConditional(const Program& p) {
    std::unordered_map<const Expr*, Val> values;
    Interp in(p);
    in.RecordValues(&values);
    try {
        in.RunMain(10000000);
    } catch (const Reject&) {
        return false;
    }
    for (const auto& [e, v] : values)
        if (e->op == Op::Cond && e->kids[1]->type->kind == Kind::F64 && e->kids[2]->type->kind != Kind::F64) return true;
    return false;
}

TEST(Reducer, LeavesASmallProgramThatStillRunsAndStillFails) {
    GenOptions o;
    o.functions = 40;
    uint64_t seed = 1;
    std::unique_ptr<Program> p;
    for (; seed < 50; seed++) {
        p = Generate(seed, o);
        if (RunsMixedConditional(*p)) break;
    }
    ASSERT_LT(seed, 50u) << "no program with a mixed ?: that runs";
    size_t before = ProgramText(*p, "").size();
    int kept = Reduce(*p, RunsMixedConditional);
    std::string text = ProgramText(*p, "");
    EXPECT_GT(kept, 0);
    EXPECT_TRUE(RunsMixedConditional(*p)) << text;
    // Only main, the ?: and what it needs are left.
    EXPECT_LT(text.size(), before / 4) << text;
}


// Whether the statements of every function keep to C's defined order.
bool OrderDefinedEverywhere(const Program& p) {
    for (const Func& f : p.funcs)
        for (const StmtP& st : f.body)
            if (st && !OrderDefined(*st)) return false;
    return true;
}


// Every statement the generator writes, the returns of structures with their
// local included, leaves C no choice of order.
TEST(Generator, WritesOnlyADefinedOrderOfEvaluation) {
    GenOptions o;
    o.functions = 60;
    for (uint64_t seed = 1; seed <= 20; seed++) {
        std::unique_ptr<Program> p = Generate(seed, o);
        EXPECT_TRUE(OrderDefinedEverywhere(*p)) << "seed " << seed;
    }
}

// The script leaves `d + 0` out and keeps a negative zero that C's sum
// turns into 0: the generator writes no such sum of a double.
TEST(Generator, WritesNoDoublePlusZero) {
    GenOptions o;
    o.functions = 60;
    int n = 0;
    for (uint64_t seed = 1; seed <= 20; seed++)
        EachExpr(*Generate(seed, o), [&](const Expr& e) {
            if (e.op == Op::Add && ScriptType(*e.kids[0])->kind == Kind::F64 && !IsConstant(*e.kids[0]) &&
                e.kids[1]->op == Op::Const && (e.kids[1]->type->kind == Kind::F64 ? e.kids[1]->dval == 0 : e.kids[1]->ival == 0))
                n++;
        });
    EXPECT_EQ(n, 0);
}

// The two ways of running the script compiler tell the same outcome: what was
// printed (without the result line `zedi run` adds), a compile error, a
// runtime error.
TEST(ScriptRunner, ThroughTheCommandAsInProcess) {
    struct Case {
        const char* body;
        zcgen::Outcome::Kind kind;
        const char* out;
    } cases[] = {
        {"print(\"a %d\\n\", 1); print(\"b\\n\"); return 7;", zcgen::Outcome::ran, "a 1\nb\n"},
        {"return 0;", zcgen::Outcome::ran, ""},
        {"int z = 0; print(\"x\\n\"); return 5 / z;", zcgen::Outcome::runtimeError, "x\n"},
        {"return undeclared_name;", zcgen::Outcome::compileError, ""},
    };
    std::string dir = ::testing::TempDir() + "/cgen_runner";
    std::filesystem::create_directories(dir);
    std::filesystem::copy_file(ZCGEN_C_SUBSET "/print.h", dir + "/print.h",
                               std::filesystem::copy_options::overwrite_existing);
    for (const Case& c : cases) {
        std::string path = dir + "/p.sc";
        std::ofstream(path) << "#include \"print.h\"\nint main() { " << c.body << " }\n";
        zcgen::Outcome linked = RunScript(path, 1000000, 60);
        zcgen::Outcome command = RunScriptCommand(ZEDI_COMMAND, path, dir + "/p", 60);
        SCOPED_TRACE(c.body);
        EXPECT_EQ(linked.kind, c.kind) << linked.message;
        EXPECT_EQ(command.kind, c.kind) << command.message;
        if (c.kind == zcgen::Outcome::compileError) continue;
        EXPECT_EQ(linked.out, c.out);
        EXPECT_EQ(command.out, c.out);
        if (c.kind == zcgen::Outcome::runtimeError) {
            EXPECT_EQ(ErrorText(command.message), ErrorText(linked.message));
        }
    }
}

}  // namespace
}  // namespace zcgen
