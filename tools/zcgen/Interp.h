// Runs a generated program by C's rules and refuses what either language
// leaves undefined or reads otherwise: signed overflow, shifts past the width,
// division by zero, INT_MIN / -1, reads of unset values, indexes out of bounds,
// unsigned values of 2^31 and more to or from double, doubles out of range.
// The generator runs every statement it writes here first and keeps only those
// that run; the reducer keeps only edits after which the program still runs.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "Ast.h"

namespace zcgen {

// The program would do something neither compiler promises (or is malformed).
struct Reject : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Cell {
    uint32_t u = 0;
    double d = 0;
    bool set = false;
};

struct Ref {
    int frame = -1;  // -1: a global
    int obj = 0;
    int base = 0;    // first cell
};

struct Frame {
    const Func* func = nullptr;
    std::vector<std::vector<Cell>> objs;
    std::vector<std::pair<const Var*, Ref>> scope;  // innermost last
    Cell ret;
    std::vector<Cell> retAgg;
};

struct State {
    std::vector<std::vector<Cell>> globals;
    std::vector<Frame> frames;
    std::string out;
};

// A value: a scalar in `c`, a structure's cells in `agg`, an array as a place.
struct Val {
    const Type* t = nullptr;
    Cell c;
    std::vector<Cell> agg;
    Ref ref;  // arrays
    bool isRef = false;
};

class Interp {
public:
    explicit Interp(const Program& p);

    // Sets the globals to their initial values and clears the output.
    void Reset();
    // Runs main from the start; the output, or Reject.
    std::string RunMain(long long steps);

    // For the generator: a frame for a function being written, run statement by
    // statement. Arguments as values of the parameters' types.
    void PushFrame(const Func* f, std::vector<Val> args);
    void PopFrame();
    // Runs one statement in the innermost frame; true when it returned.
    bool ExecTop(const Stmt& s);
    Val Eval(const Expr& e);
    State& state() { return st_; }
    void SetSteps(long long steps) { steps_ = steps; }
    long long StepsLeft() const { return steps_; }
    // Records the first value each expression node had (for the reducer).
    void RecordValues(std::unordered_map<const Expr*, Val>* into) { record_ = into; }

private:
    enum class Flow { Normal, Break, Return };
    struct Place {
        Ref ref;
        std::shared_ptr<std::vector<Cell>> temp;  // a value that lives in no variable
        const Type* t = nullptr;
    };

    Flow Exec(const Stmt& s);
    Flow ExecBlock(const Block& b);
    void Declare(const Var* v);
    Ref Lookup(const Var* v);
    std::vector<Cell>& Storage(const Ref& r);
    Place EvalPlace(const Expr& e);
    Val Read(const Place& p);
    void Write(const Place& p, const Val& v);
    Val Call(const Expr& e);
    Val Arith(Op op, const Val& a, const Val& b, const Type* result);
    Val Inc(const Expr& e);
    void Init(const Place& p, const Expr& init);
    void Step();

    const Program& p_;
    std::unordered_map<const Var*, int> globalIndex_;
    State st_;
    long long steps_ = 0;
    std::unordered_map<const Expr*, Val>* record_ = nullptr;
};

// C's conversions of scalars, refusing the ones the two languages read apart.
Val Convert(const Val& v, const Type* to);
Val MakeInt(const Type* t, uint32_t bits);
Val MakeDouble(double d);
// Integer promotion and the usual arithmetic conversions.
const Type* Promote(const Type* t);
const Type* Common(const Type* a, const Type* b);

}  // namespace zcgen
