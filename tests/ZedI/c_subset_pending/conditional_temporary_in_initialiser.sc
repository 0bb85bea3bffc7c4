// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. A local's initialiser with a structure
// temporary inside a ?: operand.
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

struct S0 { int m0; int m1; int m2; };
struct S1 { uchar m0; S0 m1; int m2; };

S1 fn91()
{
    S1 l1 = {(uchar)0, {(-6), (-9808), 1285533803}, 217};
    return l1;
}

int fn130()
{
    double l0 = (double)(1 ? fn91().m2 : 0);
    return (-37917);
}

unsigned fn129(int p1)
{
    p1 = fn130();
    return (unsigned)290;
}

int main()
{
    print("main.6 %u\n", fn129(0));
    return 0;
}
