// Array parameters, which are pointers to their elements: one and two
// dimensions, of int, unsigned char and structures, from locals, globals and
// rows; and ?: whose true branch is a double and whose false value an integer
// of each kind, printed, stored, initialising and passed.
#include "print.h"

struct Card {
    int kind;
    int number;
};

int table[3][4];
unsigned char word[6] = "cards";
Card hand[3];
int gi = -7;
unsigned short gs = 40000;

int total(int a[4], int n)
{
    int i, s = 0;
    for (i = 0; i < n; i++) s = s + a[i];
    return s;
}

int corner(int t[3][4], int r)
{
    return t[r][3] * 100 + t[0][0];
}

int length(unsigned char s[32])
{
    int n = 0;
    while (s[n]) n++;
    return n;
}

void fill(int a[4], int v)
{
    int i;
    for (i = 0; i < 4; i++) a[i] = v + i;
}

int kinds(Card c[3])
{
    return c[0].kind * 100 + c[1].kind * 10 + c[2].number;
}

double half(double d) { return d / 2; }

int main()
{
    int local[4];
    int grid[3][4];
    Card mine[3];
    int i, j;
    int zero = 0;
    int li = 12;
    unsigned char lc = 200;
    unsigned short ls = 65535;
    unsigned int lu = 3000000;
    double d;

    for (i = 0; i < 3; i++)
        for (j = 0; j < 4; j++) {
            table[i][j] = i * 10 + j;
            grid[i][j] = i + j * 7;
        }
    fill(local, 5);
    print("%d %d %d\n", total(local, 4), total(table[2], 3), total(grid[1], 4));
    print("%d %d\n", corner(table, 2), corner(grid, 1));
    fill(table[1], 50);
    print("%d %d %d\n", table[1][0], table[1][3], corner(table, 1));
    print("%d %d\n", length(word), length((unsigned char *)"hello, world"));
    for (i = 0; i < 3; i++) {
        mine[i].kind = i + 1;
        mine[i].number = i * 3;
        hand[i].kind = 3 - i;
        hand[i].number = i + 20;
    }
    print("%d %d\n", kinds(mine), kinds(hand));

    print("%g %g %g %g %g\n", zero ? 2.5 : li, zero ? 2.5 : lc, zero ? 2.5 : ls, zero ? 2.5 : lu, zero ? 2.5 : gi);
    print("%g %g %g\n", zero ? 2.5 : gs, zero ? 2.5 : 7, zero ? 2.5 : total(local, 2));
    d = zero ? 0.5 : lc;
    print("%g\n", d);
    d = zero ? 0.5 : gs;
    print("%g\n", d);
    {
        double e = zero ? 0.25 : li;
        double f = zero ? 0.25 : ls;
        print("%g %g\n", e, f);
    }
    print("%g %g\n", half(zero ? 1.5 : li), half(zero ? 1.5 : lc));
    print("%g %g\n", li ? 2.5 : li, lc ? 2.5 : lc);
    return 0;
}
