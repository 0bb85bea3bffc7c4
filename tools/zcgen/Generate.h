// Generates a random program of the part of the language that C shares, from
// a seed. The program is written as it runs: each statement is run in the
// interpreter as soon as it is made and kept only when it runs by C's rules
// (see Interp.h), and each new function is written while the call that first
// uses it runs, so that every statement main reaches does what C defines.
#pragma once

#include <cstdint>
#include <memory>

#include "Ast.h"

namespace zcgen {

// Features that can be left out, so that a long run finds other faults while
// one is being fixed.
enum Feature : unsigned {
    kBraceTemporaries = 1,  // calls that return a structure inside a local brace list
    kArrayParameters = 2,   // array parameters
    kMixedConditionals = 4, // ?: whose branches have different types
    kInitTemporaries = 8,   // calls that return a structure inside a local's initialiser
    kSwitchTemporaries = 16,  // calls that return a structure inside a switch's value
    kLaterDefinitions = 32,   // functions defined below their first use
    kNarrowResults = 64,      // ~ of a char or short, - of a char or short constant (cast to int when left out)
    kBraceStructures = 128,   // a structure value as an element of a local brace list
    kConstantLogic = 256,     // && and || whose left operand is a constant and whose right one is not
};

struct FeatureName {
    const char* name;
    Feature feature;
};
extern const FeatureName kFeatureNames[];
extern const int kFeatureCount;

struct GenOptions {
    unsigned without = 0; // Features left out
    int functions = 40;   // functions besides main
    int maxDepth = 3;     // new functions written inside new functions, at most
    long long steps = 2000000;  // interpreter steps for a whole program
};

std::unique_ptr<Program> Generate(uint64_t seed, const GenOptions& options);

// The type the script compiler gives an expression where it is not C's:
// ~, ?:, - of a constant and some operations it leaves out keep their
// operand's type.
const Type* ScriptType(const Expr& e);

// Deterministic random numbers of one seed, the same on every machine.
class Rng {
public:
    explicit Rng(uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    uint64_t Next();
    int Below(int n);  // 0 .. n-1
    int Range(int lo, int hi);  // lo .. hi
    bool Chance(int percent);

private:
    uint64_t s_;
};

}  // namespace zcgen
