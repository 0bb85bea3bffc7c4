// A program the generator wrote (zedi_cgen --seed 1), reduced: g++ and the script
// compiler must print the same.
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

struct S0 { int m0; uchar m1; };
struct S1 { int m0; unsigned m1[2]; int m2; unsigned m3; };
struct S2 { int m0; uchar m1; int m2; S0 m3; uchar m4; };

double fn140();

S0 fn81()
{
    S0 l4 = {(-2), (uchar)184};
    return l4;
}

void fn139()
{
    S1 l0 = {1, {(unsigned)3, (unsigned)fn140()}, 0, (unsigned)0xFFFFFFD6};
}

int main()
{
    fn139();
    return 0;
}

S0 fn80()
{
    S0 l0 = fn81();
    return l0;
}

double fn140()
{
    S2 l0 = {310, (uchar)143, (-45), fn80(), (uchar)143};
    return 12.0;
}
