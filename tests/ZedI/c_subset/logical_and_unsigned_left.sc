// Written from a generated program: g++ and the script compiler must print the
// same. `u && k` with an unsigned left operand is a signed int 0 or 1, so
// `(u && k) > (-9)` holds and `(u && k) - 2` is negative.
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
