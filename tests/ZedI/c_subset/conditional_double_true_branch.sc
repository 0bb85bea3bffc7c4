// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. A ?: whose true branch is a double and whose
// false branch an unsigned.
#include "print.h"
#include "generated.h"

struct S0 { unsigned m0; int m1; };

S0 g4 = {0x97C1735F, 4};

int main()
{
    print("main.0 %d %.17g\n", 1, 0 ? (-21.0) : (unsigned)g4.m1);
    return 0;
}
