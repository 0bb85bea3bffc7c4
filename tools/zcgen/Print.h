// Writes a generated program as the text that both the script compiler and
// g++ read alike: operands of one level always parenthesised (the script
// groups them to the right), unsigned and narrow constants cast, negative
// constants in parentheses, every body in braces. Only what main reaches is
// written; a function used before its definition gets a prototype.
#pragma once

#include <string>

#include "Ast.h"

namespace zcgen {

std::string ProgramText(const Program& p, const std::string& heading);
std::string ExprText(const Expr& e);
std::string TypeName(const Type* t);

}  // namespace zcgen
