// ~ and unary - of unsigned char and unsigned short values: the operand
// becomes an int first, so the result is negative, and a cast, a store, a
// return or an argument of a narrow type keeps its low bits. Each value is a
// constant, a local, a global, a member, an element and a parameter.
#include "print.h"
#ifndef ZedI
// The complements are compared on purpose.
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif

struct N { unsigned char c; unsigned short s; };

unsigned char gc = 200;
unsigned short gs = 60000;
N gn = {250, 65000};

unsigned char notConstC() { return ~(unsigned char)109; }
unsigned char negConstC() { return -(unsigned char)153; }
unsigned short notConstS() { return ~(unsigned short)109; }
unsigned short negConstS() { return -(unsigned short)153; }
unsigned char notC(unsigned char c) { return ~c; }
unsigned char negC(unsigned char c) { return -c; }
unsigned short notS(unsigned short s) { return ~s; }
unsigned short negS(unsigned short s) { return -s; }
int notAsInt(unsigned char c) { return ~c; }
int negAsInt(unsigned short s) { return -s; }
unsigned int same(unsigned int u) { return u; }
int twice(int x) { return 2 * x; }

int main()
{
    unsigned char c = 200, a[2];
    unsigned short s = 60000, b[2];
    N n;
    unsigned int u = 7;
    int i = 1;
    a[1] = 255;
    b[1] = 65535;
    n.c = 1;
    n.s = 2;

    // Cast back to the narrow type.
    print("%d %d %d %d\n", (unsigned char)~(unsigned char)109, (unsigned char)~c, (unsigned char)~gc, (unsigned char)~a[1]);
    print("%d %d %d %d\n", (unsigned char)-(unsigned char)153, (unsigned char)-c, (unsigned char)-gn.c, (unsigned char)-n.c);
    print("%d %d %d %d\n", (unsigned short)~(unsigned short)109, (unsigned short)~s, (unsigned short)~gs, (unsigned short)~b[1]);
    print("%d %d %d %d\n", (unsigned short)-(unsigned short)153, (unsigned short)-s, (unsigned short)-gn.s, (unsigned short)-n.s);
    print("%u %u %d %d\n", (unsigned)(unsigned char)~(unsigned char)109, (unsigned)(unsigned short)~(unsigned char)1,
          (unsigned char)~(unsigned short)0x1234, (unsigned short)-(unsigned char)77);
    // As ints: negative.
    print("%d %d %d %d\n", ~(unsigned char)109, ~c, -(unsigned char)153, -c);
    print("%d %d %d %d\n", ~(unsigned short)109, ~s, -(unsigned short)153, -s);
    print("%d %d %d %d\n", ~c < 0, -c < 0, (unsigned char)~c == ~c, (unsigned char)-c > 0);
    print("%d %d\n", (unsigned char)(~c + 1), (unsigned char)(-(unsigned char)1 >> 1));
    // An operation left out (x * 1, x ^ 0) of a computed char or short still
    // gives an int, which an int parameter takes.
    print("%d %d %d\n", same((unsigned)(int)((i ? (unsigned short)5 : (unsigned char)3) * 1)),
          twice((i ? (unsigned char)3 : (unsigned char)4) ^ 0), twice((i ? c : (unsigned char)4) | 0));
    // Returned, passed and stored.
    print("%d %d %d %d\n", (int)notConstC(), (int)negConstC(), (int)notConstS(), (int)negConstS());
    print("%d %d %d %d\n", (int)notC(c), (int)negC(c), (int)notS(s), (int)negS(s));
    print("%d %d %d %d\n", (int)notC((unsigned char)~c), (int)notS((unsigned short)-s), notAsInt(c), negAsInt(s));
    unsigned char x = ~c;
    unsigned short y = -s;
    int z = (unsigned char)~c;
    print("%d %d %d\n", x, y, z);
    x = -(unsigned char)1;
    y = ~(unsigned short)0;
    n.c = ~n.c;
    a[0] = -a[1];
    print("%d %d %d %d\n", x, y, n.c, a[0]);
    // Floating values made from them.
    double d = (unsigned char)~(unsigned char)1, e = -(unsigned char)1;
    print("%g %g %g %g\n", d, e, (double)(unsigned char)-(unsigned char)2, -(double)(unsigned char)~c);
    // unsigned int keeps its type.
    print("%u %u %u %u\n", ~u, -u, same(-(unsigned)3), same(~(unsigned)3));
    return 0;
}
