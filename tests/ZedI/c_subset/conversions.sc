// char, short, float and double values stored into ints and back: widening,
// truncation toward zero and compound assignments that compute in double.
#include "print.h"

struct Item {
    unsigned char kind;
    unsigned short count;
    int value;
    double weight;
};

struct Pair {
    short lo;
    short hi;
};

Item items[3];
unsigned short gh[3] = {300, 7, 20000};
char gs[8] = "xyz";

int widen(Pair p)
{
    int x;
    x = p.hi;
    return x;
}

double half(int x) { return x / 2.0; }

int main()
{
    char s[8] = "abc";
    short sh[3];
    unsigned char bytes[4];
    unsigned char uc = 250;
    unsigned short us = 65535;
    Item *ip = &items[1];
    Pair pair;
    char *p = s;
    unsigned short *hp = gh;
    int i = 1, x, j, a[3];
    int *q = &a[0];
    unsigned int u;
    double d = 7.5, e, w1 = 0.1, w2 = 0.2;
    float f = 2.75;

    x = s[0];
    print("%d ", x);
    x = *p;
    print("%d ", x);
    x = p[i];
    print("%d ", x);
    x = s[i] + 0;
    print("%d ", x);
    x = gs[2];
    print("%d ", x);
    x = s[i + 1] * 1;
    print("%d\n", x);
    sh[0] = 300;
    sh[1] = 7;
    sh[2] = 20000;
    x = sh[0];
    print("%d ", x);
    x = sh[i + 1];
    print("%d ", x);
    x = gh[0];
    print("%d ", x);
    x = hp[i];
    print("%d\n", x);
    items[0].kind = 'k';
    items[0].count = 1000;
    items[0].value = -1;
    x = items[0].kind;
    print("%d ", x);
    x = items[0].count;
    print("%d ", x);
    ip->kind = 'z';
    ip->count = 65535;
    ip->value = -1;
    x = ip->kind;
    print("%d ", x);
    x = ip->count;
    print("%d ", x);
    x = items[i].kind;
    print("%d\n", x);
    pair.lo = 3;
    pair.hi = 1234;
    print("%d\n", widen(pair));
    bytes[0] = 300;
    bytes[1] = 255;
    bytes[1] += 3;
    uc += 10;
    us += 2;
    x = bytes[0];
    j = bytes[1];
    print("%d %d %d %d %d\n", x, j, uc, us, uc + 1);

    x = d;
    print("%d ", x);
    x = 3.9;
    print("%d ", x);
    x = -d;
    print("%d ", x);
    x = f;
    print("%d ", x);
    x = -2.5;
    print("%d\n", x);
    j = 3;
    j *= 1.5;
    print("%d ", j);
    j = 2;
    j += d;
    print("%d ", j);
    j = 7;
    j /= 2.0;
    print("%d ", j);
    j = 1;
    j -= f;
    print("%d\n", j);
    a[i] = d;
    a[2] = d * 2;
    *q = f * 4;
    print("%d %d %d\n", a[0], a[1], a[2]);
    items[1].value = d;
    ip->value += 1.75;
    items[2].value = 10;
    items[2].value *= f;
    print("%d %d\n", ip->value, items[2].value);
    u = d;
    print("%u ", u);
    u *= 1.5;
    print("%u\n", u);
    items[0].kind = 3;
    items[0].kind *= 1.5;
    items[0].count = 5;
    items[0].count += d;
    x = items[0].kind;
    j = items[0].count;
    print("%d %d\n", x, j);

    e = i / 2;
    print("%.2f ", e);
    e = i / 2.0;
    print("%.2f ", e);
    e = x;
    print("%.2f ", e);
    e = s[1];
    print("%.2f ", e);
    e = sh[0] / 8.0;
    print("%.3f ", e);
    e = half(7);
    print("%.2f\n", e);
    f = d / 3;
    print("%.4f ", f);
    d = (double)i / 3;
    print("%.6f ", d);
    x = (int)(d * 100);
    print("%d ", x);
    items[i].weight = 2.5;
    x = items[i].weight * 3;
    print("%d\n", x);
    print("%.17g %d %d\n", w1 + w2, w1 + w2 > 0.3, w1 + w2 == 0.3);
    print("%.17g %.17g %.17g %.17g\n", 0.3, 2.675, 1.1, 123456789.123456789);
    print("%.17g %.17g\n", 0.1 + 0.2, 1.5e3 * 0.001);
    return 0;
}
