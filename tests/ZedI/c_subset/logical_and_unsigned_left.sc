// Written from a generated program: g++ and the script compiler must print the
// same. `u && k` with an unsigned left operand is a signed int 0 or 1, so
// `(u && k) > (-9)` holds and `(u && k) - 2` is negative.
#include "print.h"
#include "generated.h"

int main()
{
    unsigned u = 1;
    int k = 1;
    print("main.0 %d %d %d\n", (u && k) > (-9), (k && u) > (-9), ((u && k) - 2) < 0);
    return 0;
}
