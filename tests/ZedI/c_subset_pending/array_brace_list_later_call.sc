// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. A local array's brace list whose element calls
// a function defined further down.
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

struct S1 { uchar m0; int m1; };

S1 g0[3];

double fn236();
unsigned fn101(int p0, int p2, S1 p3);

int main()
{
    print("main.4 %.17g %d\n", fn236(), 0);
    return 0;
}

double fn236()
{
    ushort l0[8] = {(ushort)0, (ushort)35083, (ushort)69, (ushort)1, (ushort)0, (ushort)65535, (ushort)64186, (ushort)fn101(25004, (-47967), g0[0])};
    return 0;
}

unsigned fn101(int p0, int p2, S1 p3)
{
    return (unsigned)0;
}
