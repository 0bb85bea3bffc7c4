// Makes a failing program small: drops statements (and with them functions,
// globals and structures main no longer reaches), opens ifs, loops and
// switches, replaces expressions by one of their operands or by the value
// they had, drops unused parameters and global initial values, each time
// keeping the edit only while `still` says the program fails the same way.
// `still` must also refuse programs the interpreter refuses, so that every
// kept edit leaves a program without undefined behaviour.
#pragma once

#include <functional>

#include "Ast.h"

namespace zcgen {

using StillFails = std::function<bool(const Program&)>;

// Returns how many edits were kept.
int Reduce(Program& p, const StillFails& still);

}  // namespace zcgen
