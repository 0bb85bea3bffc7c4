// What an expression reads and writes, for the rule that keeps generated code
// away from C's unspecified order of evaluation: two operands that C may
// evaluate in either order never both print, and neither writes what the other
// reads or writes.
#pragma once

#include <vector>

#include "Ast.h"

namespace zcgen {

// Objects are variables, except that every global array and array parameter of
// one type count as one object (a parameter may name a global array).
struct Effects {
    std::vector<int> reads, writes;  // sorted object numbers
    bool prints = false;
    bool ok = true;  // no two unsequenced operands conflict
};

int ObjectOf(const Var* v);
bool IsSharedObject(int object);  // a global or an array parameter's object
Effects EffectsOf(const Expr& e);
// Whether a statement (with the statements inside it) leaves C no choice of
// order that changes what it does: the arguments of a print are unsequenced
// with each other as well.
bool OrderDefined(const Stmt& s);
// A function's reads, writes and prints, from its body and its callees.
void Summarise(Func& f);

}  // namespace zcgen
