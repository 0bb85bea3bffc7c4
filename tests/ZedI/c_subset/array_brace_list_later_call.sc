// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. A local array's brace list whose element calls
// a function defined further down.
#include "print.h"
#include "generated.h"

struct S1 { uchar m0; int m1; };

S1 g0[3];

double fn236();
unsigned fn101(int p0, int p2, S1 p3);

int main()
{
    print("main.4 %.17g %d\n", fn236(), 0);
    return 0;
}

double fn236()
{
    ushort l0[8] = {(ushort)0, (ushort)35083, (ushort)69, (ushort)1, (ushort)0, (ushort)65535, (ushort)64186, (ushort)fn101(25004, (-47967), g0[0])};
    return 0;
}

unsigned fn101(int p0, int p2, S1 p3)
{
    return (unsigned)0;
}
