// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. An array parameter.
#include "print.h"
#include "generated.h"

int g2[5];

void fn6(int p0[5])
{
    print("fn6.0 %d %d %d %d %d %d %u\n", 847, (-42477), 7, p0[3], 109, 109, (unsigned)2);
}

unsigned fn5()
{
    fn6(g2);
    return (unsigned)5107;
}

int fn0()
{
    unsigned l0 = fn5();
    return 216247;
}

int main()
{
    int l0 = fn0();
    return 0;
}
