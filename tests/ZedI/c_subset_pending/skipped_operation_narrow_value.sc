// Written from a generated program the script compiler refused: g++ and the
// script compiler must print the same. `x * 1` of a short value computed by ?:
// passed to an int parameter.
// Expected "main.0 5 3"; the script compiler refuses line 43 with "`f(short)'
// could not be found." `x * 1`, `x | 0`, `x ^ 0`... are compiled as x alone;
// of a char or short variable the result is an int, as in C (`c * 1` matches
// f(int)), but of a value already in a register (here the ?:) it keeps the
// char or short type. Reading: the operand is widened to int only when it is
// loaded from memory, and the left-out operation returns it unchanged.
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

int f(int x)
{
    return x;
}

int main()
{
    int a = 1;
    print("main.0 %d %d\n", f((a ? (ushort)5 : (uchar)3) * 1), f((a ? (uchar)3 : (uchar)4) ^ 0));
    return 0;
}
