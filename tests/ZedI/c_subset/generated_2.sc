// A program the generator wrote (zedi_cgen --seed 2), reduced: g++ and the script
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

int g7[5];

int fn49(int p0, uchar p2);
ushort fn47();

unsigned fn48()
{
    double l2[4] = {(double)fn49(62715, (uchar)g7[(unsigned)1]), 94.125, 0.0, (-64.0)};
    return (unsigned)0xFFFFFD84;
}

int fn49(int p0, uchar p2)
{
    return (-65);
}

int fn62()
{
    return (int)(ushort)(int)fn47();
}

ushort fn47()
{
    int l0 = fn48();
    return (ushort)0;
}

int main()
{
    int l3 = fn62();
    return 0;
}
