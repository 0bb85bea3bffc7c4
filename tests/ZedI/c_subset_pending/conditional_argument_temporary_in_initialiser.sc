// Found by the program generator (tools/zcgen, seed 1339 with only
// init-temporaries left in) and reduced: g++ and the script compiler must
// print the same. A local's initialiser whose ?: calls a function with a
// structure temporary as its argument: `int l2 = (double)(14900 ?
// fn208(..., fn202()) : (unsigned)0);`.
// Expected: it prints nothing and ends; the script stops with "Division by
// zero". Reading: the temporary made for fn202()'s result inside the ?: is
// addressed as if it had taken the local's room (the initialiser reads the
// dictionary's head, which the ?: has restored), so l2 and the structure
// built from it come out wrong, and p2 & 92788 in fn271 is 0.
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

struct S0 { int m0; unsigned m1[2]; int m2; int m3; };
struct S1 { uchar m0[3]; int m1; };

S1 g4 = {{93, 181, 140}, 850};

S1 fn203()
{
    S1 l6 = g4;
    return l6;
}

S1 fn202()
{
    S1 l0 = fn203();
    return l0;
}

unsigned fn208(unsigned p1, S1 p3)
{
    return (unsigned)1 + !p1;
}

S0 fn207(int p1)
{
    int l0 = (-240);
    int l2 = (double)(14900 ? fn208((unsigned)!((int)(double)l0), fn202()) : (unsigned)0);
    S0 l9 = {(-240), {(unsigned)(2 + l2), (unsigned)0}, 78, (-1)};
    return l9;
}

int fn271(uchar p2)
{
    S0 l1 = fn207(1 / (p2 & 92788));
    return 0;
}

int main()
{
    S0 l7 = fn207((-2));
    int l16 = fn271((uchar)l7.m1[0]);
    return 0;
}
