// Functions: recursion, calls before definition, defaults, overloads, variadics,
// statics and scopes.
import void check(int id, int ok);
import int total(int n, ...);

int later(int x);
int fib(int n) { if (n < 2) return n; return fib(n - 1) + fib(n - 2); }
int fact(int n) { return n <= 1 ? 1 : n * fact(n - 1); }
int opt(int a, int b = 3, int c = 4) { return a * 100 + b * 10 + c; }
int kind(int a) { return 1; }
int kind(char *a) { return 2; }
int kind(double a) { return 3; }
int counter() { static int n = 100; n++; return n; }
int n = 5;
int shadowed() { static int n; n = n + 1; return n; }
char pick(char c) { return c; }
double dsum(double a, float b, char c, short s) { return a + b + c + s; }
void bump(int &r) { r = r + 1; }

int run()
{
    int x = 1;
    char letter = 'z';
    char three = 3;
    short four = 4;
    float quarter = 2.5;
    check(1, fib(15) == 610);
    check(2, fact(10) == 3628800);
    check(3, later(4) == 12);
    check(4, opt(1) == 134 && opt(1, 2) == 124 && opt(1, 2, 3) == 123);
    check(5, kind("s") == 2 && kind(1.5) == 3);
    check(6, counter() == 101 && counter() == 102);
    check(7, shadowed() == 1 && shadowed() == 2 && n == 5);
    {
        int x = 2;
        check(8, x == 2);
    }
    check(9, x == 1);
    check(10, total(3, 1, 2, 3) == 6);
    check(11, pick(letter) == 'z');
    check(12, dsum(1.5, quarter, three, four) == 11);
    bump(x);
    check(13, x == 2);
    check(14, (typeof(x))[0] == 'i' && (typeof(char*))[4] == '*');
    check(15, (char*)NULL == 0);
    return 0;
}
int later(int x) { return x * 3; }
export run;
