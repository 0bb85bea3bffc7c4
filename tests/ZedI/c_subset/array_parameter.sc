// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. An array parameter.
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

int g2[5];

void fn6(int p0[5])
{
    print("fn6.0 %d %d %d %d %d %d %u\n", 847, (-42477), 7, p0[3], 109, 109, (unsigned)2);
}

unsigned fn5()
{
    fn6(g2);
    return (unsigned)5107;
}

int fn0()
{
    unsigned l0 = fn5();
    return 216247;
}

int main()
{
    int l0 = fn0();
    return 0;
}
