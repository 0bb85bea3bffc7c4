// Integer arithmetic, the precedence that C and the script language share,
// compound assignments, increments, loops and switch.
#include "print.h"

int gcd(int a, int b)
{
    while (b != 0) {
        int t = a % b;
        a = b;
        b = t;
    }
    return a;
}

int factorial(int n)
{
    if (n < 2) return 1;
    return n * factorial(n - 1);
}

int classify(int n)
{
    int r = 0;
    switch (n % 4) {
    case 0: r = 100; break;
    case 1:
        r = 10;
        // falls through
    case 2: r = r + 20; break;
    default: r = -1;
    }
    return r;
}

int main()
{
    int a = 17, b = 5, c = -3, i, n;
    unsigned int u = 0xFFFFFFF0, h = 2166136261;
    int m = 0xFF00FF00, big = 3000000000, low = -2147483648;
    print("%d %d %d %d %d %d\n", a / b, a % b, c / 2, c % 2, -a / b, -a % b);
    print("%d %d %d %d\n", a - b - c, a - (b - c), a + b * c, (a + b) * c);
    print("%d %d %d\n", a * b + c * a, a - b + c, a + (b - c) * 2);
    print("%d %d %d %d\n", a << 2, -a >> 1, a >> 1 + 1, 1 << b + 1);
    print("%d %d %d %d\n", a & 6, a | 6, a ^ 6, a & b | c);
    print("%d %d %d\n", a & b == 5, (a & b) == 5, a | b ^ c & 12);
    print("%d %d %d %d %d %d\n", a > b, a < b, a >= 17, a <= 16, a == b + 12, a != b);
    print("%d %d %d %d\n", !a, !(a - 17), ~a, -~a);
    print("%d %d %d\n", a > b && b > c, a < b && b > c, (a < b) || (b > c));
    print("%d %d\n", a + b > c * 2 && !(a == b), a * 2 == 34);
    print("%u %u %u %d\n", u / 16, u % 7, u >> 4, u > 16);
    print("%d %x %x %d %d\n", m, m, m >> 8, big, low);
    print("%d %d\n", gcd(1071, 462), factorial(10));
    for (i = 0; i < 6; i++) print("%d ", classify(i));
    print("\n");
    n = 7;
    n += 3;
    n -= 1;
    n *= 4;
    n /= 3;
    n %= 7;
    print("%d\n", n);
    n = 5;
    n <<= 3;
    n >>= 1;
    n &= 0x1C;
    n |= 0x100;
    n ^= 0x5;
    print("%d\n", n);
    n = 3;
    i = n++;
    print("%d %d ", i, n);
    i = ++n;
    print("%d %d ", i, n);
    i = n--;
    print("%d %d ", i, n);
    i = --n;
    print("%d %d\n", i, n);
    for (i = 0; i < 10; i++) h = (h ^ i) * 16777619;
    print("%u\n", h);
    n = 0;
    i = 100;
    do {
        n = n + i % 7;
        i = i - 9;
    } while (i > 0);
    print("%d\n", n);
    i = 27;
    n = 0;
    while (i != 1) {
        if (i % 2 == 0) i = i / 2;
        else i = 3 * i + 1;
        n++;
    }
    print("%d\n", n);
    print("%d %d\n", a > 5 ? a - 5 : 5 - a, a < 5 ? 1 : (a < 10 ? 2 : 3));
    return 0;
}
