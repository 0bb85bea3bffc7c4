// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. ~ of a char, cast back to the char type: the
// cast cuts the int result to its low byte (146), as it does for ushort.
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

struct S0 { uchar m0[2]; unsigned m1; unsigned m2; };

S0 fn9(unsigned p2)
{
    print("fn9.0 %d %d %u\n", 2, 201, p2);
    S0 l0 = {{(uchar)200, (uchar)83}, (unsigned)19497, (unsigned)0};
    return l0;
}

int main()
{
    fn9((unsigned)(uchar)~(uchar)109);
    return 0;
}
