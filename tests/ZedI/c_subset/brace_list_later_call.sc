// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. A local brace list whose element calls a
// function defined further down.
#include "print.h"
#include "generated.h"

struct S1 { ushort m0; uchar m1; double m2; double m3; unsigned m4; };

S1 fn70();
double fn65(int p0, uchar p1, double p2);

S1 fn64()
{
    S1 l8 = fn70();
    return l8;
}

S1 fn71()
{
    S1 l3 = {(ushort)46165, (uchar)202, fn65(146, (uchar)111, (-50.06640625)), (-1.0), (unsigned)52728175};
    return l3;
}

S1 fn70()
{
    S1 l2 = fn71();
    return l2;
}

double fn65(int p0, uchar p1, double p2)
{
    return (-1911.0);
}

int main()
{
    print("main.0 %d\n", (int)(unsigned)(fn64().m3 - (-1262847121)));
    return 0;
}
