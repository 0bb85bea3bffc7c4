// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. A local brace list with a structure variable as
// an element.
// Expected: it compiles and prints nothing; the script compiler refuses line
// 38, "Illegal type conversion  to int". Only a structure variable of 4 bytes
// (here { uchar; ushort; }; also { int; } or { short; short; }) fails: other
// sizes and a call returning the structure work. Reading: a one-word structure
// is taken for a scalar on the element's path (the element store copies only
// structures of other sizes), and the scalar conversion refuses a structure.
// Older builds refuse it too.
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

struct S0 { uchar m0; ushort m1; };
struct S1 { S0 m0; uchar m1; int m2; uchar m3; };
struct S3 { int m0; int m1; };

S0 g1;
S3 g2;

S3 fn0()
{
    S1 l0 = {g1, (uchar)0, (-33), (uchar)0};
    S3 l2 = g2;
    return l2;
}

int main()
{
    g2 = fn0();
    return 0;
}
