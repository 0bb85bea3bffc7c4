// Casts, returns and stores between float, double, int, unsigned char and
// unsigned short, wherever the value lives: a constant, a local, a global, a
// computed value and a call's result.
#include "print.h"

float gf = 0.1;
double gd = 3.75;
int gi = 300;
unsigned char gc = 200;
unsigned short gs = 40000;

double widen(float f) { return f; }
float narrow(double d) { return d; }
int whole(double d) { return d; }
unsigned char low(int i) { return i; }
unsigned short half(int i) { return i; }
float fromInt(int i) { return i; }
double fromChar(unsigned char c) { return c; }
float twice(float f) { return f * 2; }

int main()
{
    float f = 2.5, h;
    double d = -7.25, e;
    int i = 70000, j;
    unsigned char c = 255, c2;
    unsigned short s = 65535, s2;

    // Casts of each kind of value.
    print("%.9g %.9g %.9g %.9g\n", (double)gf, (double)f, (double)(float)gd, (double)(float)0.1);
    print("%.9g %.9g %.9g\n", (float)gd, (float)gi, (float)(gi + 1));
    print("%d %d %d %d\n", (int)gf, (int)(f * 3), (int)d, (int)(float)d);
    print("%d %d %d %d\n", (unsigned char)gi, (unsigned char)(gi + 1), (unsigned char)200, (unsigned char)i);
    print("%d %d %d %d\n", (unsigned short)i, (unsigned short)(i * 3), (unsigned short)-1, (unsigned short)gs);
    print("%d %d %d\n", (unsigned char)gs, (unsigned short)gc, (unsigned char)(unsigned short)i);
    print("%d %d\n", (unsigned char)f, (unsigned short)(gd * 1000));
    print("%d %d\n", c == (unsigned char)255, gc == (unsigned char)200);

    // Stores of each kind into each other.
    h = gd;
    e = gf;
    j = f;
    print("%.9g %.9g %d\n", h, e, j);
    c2 = i;
    s2 = i;
    print("%d %d\n", c2, s2);
    c2 = f * 10;
    s2 = d * -100;
    print("%d %d\n", c2, s2);
    h = c;
    e = s;
    print("%.9g %.9g\n", h, e);
    h = i;
    e = i * 1.5;
    print("%.9g %.9g\n", h, e);
    j = 10;
    j *= f;
    c2 = 100;
    c2 += f;
    s2 = 1000;
    s2 -= gd;
    print("%d %d %d\n", j, c2, s2);
    h = 1.5;
    h += gi;
    h *= gf;
    print("%.9g\n", h);

    // Returns convert to the declared type.
    print("%.9g %.9g %d\n", widen(gf), narrow(gd / 3), whole(-2.9));
    print("%d %d %d %d\n", low(gi), low(-1), half(i), half(-2));
    print("%.9g %.9g %.9g\n", fromInt(16777217), fromChar(gc), twice(gf));
    return 0;
}
