// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. Structure temporaries passed to functions
// defined further down.
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

struct S0 { int m0[3]; unsigned m1; double m2; };

S0 g1;

S0 fn83();
S0 fn16(S0 p0);
S0 fn97();

S0 fn79()
{
    return g1;
}

ushort fn95(S0 p0)
{
    return (ushort)49182;
}

int main()
{
    g1 = fn83();
    fn95(fn16(fn97()));
    return 0;
}

S0 fn97()
{
    S0 l1 = fn83();
    return l1;
}

S0 fn16(S0 p0)
{
    return p0;
}

S0 fn83()
{
    S0 l0 = fn79();
    return l0;
}
