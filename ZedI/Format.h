// printf-style formatting of a script's argument words.
//
// Conversions: d i u x X o c s p f F e E g G %, with flags "-+ #0", width and
// precision (also "*"), and the length modifiers h, hh, l (one word: a script's
// long is 32 bits) and ll (two words). Texts are read from the script address
// space, bounded by their block. %n is refused.
#pragma once

#include <cstddef>
#include <string>

class scVarArgs;

// Formats into `out` (room for `capacity` bytes, always NUL-terminated when
// capacity > 0; longer output is cut). Returns the length of the full output,
// or -1 with a reason in `error` for a bad format, a missing argument or a bad
// text pointer.
int scFormat(char* out, size_t capacity, const char* format, scVarArgs& args, std::string* error);
