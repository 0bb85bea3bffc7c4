// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. `0 && (int)--p1`: a constant left operand that
// decides && or || leaves the right operand unevaluated, side effects and all.
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

uchar fn68(double p1);

int main()
{
    uchar l8 = fn68((-4.0));
    return 0;
}

uchar fn68(double p1)
{
    if (0 && (int)--p1) {
    }
    print("fn68.3 %d %.17g %.17g\n", 200, 0.0, p1);
    return (-55667);
}
