// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. A local brace list with a structure returned by
// a call as an element.
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

struct S0 { int m0; double m1; unsigned m2; int m3; };
struct S1 { double m0; int m1; uchar m2; int m3; S0 m4; };

S1 fn62();

S0 fn63()
{
    S0 l5 = {0, (-45.375), (unsigned)7, (-2)};
    return l5;
}

int main()
{
    fn62();
    return 0;
}

S1 fn62()
{
    S1 l1 = {65534.0, (-832), (uchar)1, 25759, fn63()};
    return l1;
}
