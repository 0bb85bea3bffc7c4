// Integer, unsigned, char and short, fixed, float and double arithmetic.
import void check(int id, int ok);

int run()
{
    int a = 7, b = -2;
    unsigned int u = 0x7FFFFFFF;
    unsigned int v = 2;
    char c = 200;
    short s = -3;
    unsigned char uc = 255;
    fixed f = 1.5;
    fixed g = 2;
    float x = 2.5;
    double d = 3.0;
    int big = 0xFFFFFFFF;
    check(1, a / b == -3);
    check(2, a % b == 1);
    check(3, a - b - 1 == 8);
    check(4, 64 / 8 / 2 == 16);          // right grouping: 64 / (8 / 2)
    check(5, (a << 2) == 28);
    check(6, (b >> 1) == -1);
    u = u + u + 1;                        // 0xFFFFFFFF
    check(7, u / v == 0x7FFFFFFF);
    check(8, (u >> 28) == 15);
    check(9, u > v);
    check(10, c == 200);                  // char loads zero-extend
    check(11, s == 65533);                // so do short loads
    check(12, uc + 1 == 256);
    c = c + 100;
    check(13, c == 44);
    check(14, f * g == 3);
    check(15, (int)(f + g) == 3);
    check(16, g / 4 == 0.5);
    check(17, (int)(x * 2) == 5);
    check(18, d / 2 == 1.5);
    check(19, d * x == 7.5);
    check(20, (int)d == 3);
    check(21, big == -1);                 // a literal keeps its 32 bits
    check(22, 'A' == 65 && '\n' == 10 && '\101' == 65);
    check(23, ~a == -8);
    check(24, !a == 0 && !0 == 1);
    a += 3;
    a *= 2;
    a -= 1;
    a /= 3;
    check(25, a == 6);
    a %= 4;
    a |= 8;
    a ^= 1;
    a &= 11;
    a <<= 2;
    a >>= 1;
    check(26, a == 22);
    check(27, 3.0 > 2 && 2.5 <= 2.5 && 1.0 != 2.0);
    check(28, -d == -3.0);
    check(29, 1.5e3 == 1500 && 2.5f == 2.5);
    return 0;
}
export run;
