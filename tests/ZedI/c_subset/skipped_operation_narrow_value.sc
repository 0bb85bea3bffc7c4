// Written from a generated program: g++ and the script compiler must print the
// same. `x * 1` of a short value computed by ?: is an int, as it is of a short
// variable, so an int parameter takes it.
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
