// Written from a generated program the script compiler gets wrong: g++ and
// the script compiler must print the same. `&&` with an unsigned left operand,
// compared with a negative number.
// Expected "main.0 1 1 1"; the script prints "main.0 0 1 0". `u && k` is 0
// or 1 as in C, but it takes the unsigned type of its left operand, so
// `(u && k) > (-9)` compares unsigned (1 > 4294967287) and is false, and
// `(u && k) - 2` is no longer negative. `k && u` (an int on the left) is
// right. Reading: the result of && keeps the left operand's type, as the value
// that || keeps does, where C's is int. (The generator found it as
// `(g7.m4 && 0) >= (-9)` with an unsigned member.)
#include "print.h"

// char and short load without a sign in the script: C's unsigned types.
#ifdef ZedI
typedef char uchar;
typedef short ushort;
#else
typedef unsigned char uchar;
typedef unsigned short ushort;
#pragma GCC diagnostic ignored "-Wunused-variable"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wtype-limits"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wbool-operation"
#pragma GCC diagnostic ignored "-Wint-in-bool-context"
#pragma GCC diagnostic ignored "-Wlogical-not-parentheses"
#pragma GCC diagnostic ignored "-Wbool-compare"
#pragma GCC diagnostic ignored "-Wtautological-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-parameter"
#pragma GCC diagnostic ignored "-Wdiv-by-zero"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif

int main()
{
    unsigned u = 1;
    int k = 1;
    print("main.0 %d %d %d\n", (u && k) > (-9), (k && u) > (-9), ((u && k) - 2) < 0);
    return 0;
}
