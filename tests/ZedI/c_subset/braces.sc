// Brace lists of local arrays and structures whose elements are computed:
// variables, calls, expressions and conditionals beside constants.
#include "print.h"

struct Part {
    unsigned char tag;
    int count;
    double weight;
    unsigned short code;
};

int g = 7;
double gd = 2.5;
unsigned char gc = 'z';
int calls = 0;

int two() { calls++; return 2; }

int sum(int n)
{
    int a[4] = {n, n * 2, two(), 4};
    return a[0] + a[1] + a[2] + a[3];
}

int main()
{
    int x = 5, j, k;
    int a[2] = {x, 1};
    int b[3] = {two(), x * 3, g};
    double c[3] = {(double)x, gd, x / 2.0};
    unsigned char s[4] = {(unsigned char)(x + 60), gc, (unsigned char)300, 0};
    unsigned short h[2] = {(unsigned short)(g * 10000), (unsigned short)x};
    Part p = {gc, two() + x, x / 4.0, (unsigned short)(g * 1000)};
    Part q[2] = {{1, x, gd, 2}, {(unsigned char)g, 4, 0.5, (unsigned short)x}};
    int m[2][2] = {{x, 2}, {3, x > 4 ? 40 : 50}};
    int *r[2] = {&x, &g};
    print("%d %d | %d %d %d | %.2f %.2f %.2f\n", a[0], a[1], b[0], b[1], b[2], c[0], c[1], c[2]);
    print("%d %d %d %d | %d %d\n", s[0], s[1], s[2], s[3], h[0], h[1]);
    print("%c %d %.2f %d\n", p.tag, p.count, p.weight, p.code);
    print("%d %d %.2f %d | %d %d %.2f %d\n", q[0].tag, q[0].count, q[0].weight, q[0].code, q[1].tag, q[1].count,
          q[1].weight, q[1].code);
    print("%d %d %d %d | %d %d\n", m[0][0], m[0][1], m[1][0], m[1][1], *r[0], *r[1]);
    j = sum(1);
    k = sum(10);
    print("%d %d %d\n", j, k, calls);
    return 0;
}
