// Written from a generated program: g++ and the script compiler must print the
// same. `x * 1` of a short value computed by ?: is an int, as it is of a short
// variable, so an int parameter takes it.
#include "print.h"
#include "generated.h"

int f(int x)
{
    return x;
}

int main()
{
    int a = 1;
    print("main.0 %d %d\n", f((a ? (ushort)5 : (uchar)3) * 1), f((a ? (uchar)3 : (uchar)4) ^ 0));
    return 0;
}
