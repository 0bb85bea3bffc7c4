// Strings through pointers, calls nested in expressions with registers in use.
import void check(int id, int ok);
int strlen2(char *s) { int n = 0; while (*s) { s++; n++; } return n; }
void fill(char *buf, int n) { int i; for (i = 0; i < n; i++) buf[i] = 'a' + i; buf[n] = 0; }
int counter;
void tick() { counter++; }
int run_strings()
{
    char buf[16];
    char *p = buf;
    int i = 0;
    fill(buf, 5);
    check(1, strlen2(buf) == 5);
    check(2, strlen2("hello world") == 11);
    tick(); tick();
    check(3, counter == 2);
    check(4, !strlen2(""));
    p = p + 2;
    check(5, *p == 'c');
    check(6, p[1] == 'd');
    i = buf[0] == 'a' ? 1 : 0;
    check(7, i);
    return 0;
}

int sq(int x) { return x * x; }
double dsq(double x) { return x * x; }
int add3(int a, int b, int c) { return a + b + c; }
int g[4] = {1, 2, 3, 4};
int run_nested()
{
    int a = 2, b = 3;
    double d = 1.5;
    check(101, a + sq(b) * sq(a) == 38);
    check(102, add3(sq(1), sq(2), add3(1, 2, sq(3))) == 17);
    check(103, dsq(d) + a == 4.25);
    check(104, g[sq(1)] + g[a + 1] == 6);
    check(105, (a > b ? sq(a) : sq(b)) == 9);
    check(106, a * (b + sq(a + b)) == 56);
    check(107, (int)(d * a + sq(b)) == 12);
    g[a] += sq(a);
    check(108, g[2] == 7);
    return 0;
}

int run() { return run_strings() + run_nested(); }
export run;
