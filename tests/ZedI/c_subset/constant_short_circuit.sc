// && and || whose left operand is a constant: a constant that decides the
// result leaves the right operand unevaluated (no call, no store, no
// division), as when the left operand is computed; one that does not decide
// it evaluates the right operand. && gives 0 or 1, and neither keeps an
// unsigned type.
#include "print.h"
#ifndef ZedI
// Truth values are compared with numbers on purpose.
#pragma GCC diagnostic ignored "-Wbool-compare"
#endif

#define TRACING 0
#define ALWAYS 1

int calls = 0;
int divisor = 0;

int touch(int v)
{
    calls = calls + 1;
    return v;
}

int guarded(int n)
{
    return 0 && n / divisor;
}

int main()
{
    int x = 5, r;

    // Decided by the constant: the right side does not run.
    r = 0 && touch(1);
    print("%d %d\n", r, calls);
    r = 1 || touch(0);
    print("%d %d\n", r, calls);
    r = TRACING && touch(7) && touch(8);
    print("%d %d\n", r, calls);
    r = (ALWAYS || touch(1)) + (TRACING && touch(1)) * 10;
    print("%d %d\n", r, calls);
    if (TRACING && touch(1)) print("traced\n");
    if (ALWAYS || touch(1)) print("always\n");
    print("%d %d\n", guarded(9), calls);
    r = 0 && (x = 9);
    print("%d %d\n", r, x);
    r = 1 || (x = 9) || touch(1);
    print("%d %d %d\n", r, x, calls);
    r = 0 && (0 || touch(1));
    print("%d %d\n", r, calls);
    print("%d %d %d\n", 0 && touch(1), 1 || touch(1), calls);

    // Not decided by the constant: the right side runs.
    r = 1 && touch(3);
    print("%d %d\n", r, calls);
    r = 0 || touch(4);
    print("%d %d\n", r, calls);
    r = ALWAYS && touch(0);
    print("%d %d\n", r, calls);
    r = 0 || touch(0) || touch(2);
    print("%d %d\n", r, calls);

    // && gives 0 or 1, also with a constant right operand or one that a
    // constant decides.
    r = x && 1;
    print("%d\n", r);
    r = x && (1 || touch(1));
    print("%d %d\n", r, calls);
    r = (x - 6) && ALWAYS;
    print("%d\n", r);

    // && and || of an unsigned operand give a signed int, as in C.
    unsigned u = 1;
    print("%d %d %d\n", (u && x) > (-9), (x && u) > (-9), ((u && x) - 2) < 0);
    print("%d %d\n", (u || x) > (-9), ((unsigned)0 || x) > (-9));

    // Two constants.
    print("%d %d %d %d\n", 0 && 1, 1 || 0, 1 && 1, 0 || 0);
    return 0;
}
