// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. `(ushort)-(uchar)77`: a negated char constant
// is an int, -77, which the conversion to short cuts to 65459.
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

uchar fn40();

ushort fn16()
{
    return (ushort)-(uchar)77;
}

int main()
{
    uchar l7 = fn40();
    return 0;
}

uchar fn40()
{
    int l0[2][3] = {{(int)fn16(), (-8), (-10)}, {(-10), 208, 217}};
    print("fn40.1 %d %d %d %d %d %d %d %d %d %d %d\n", 0, 137, 206, 61, 27, l0[0][0], (-8), (-10), (-10), 208, 217);
    return 0;
}
