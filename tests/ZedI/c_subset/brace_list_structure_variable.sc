// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. A local brace list with a structure variable as
// an element.
// Only a structure variable of 4 bytes was refused ("Illegal type conversion
// to int"): a one-word structure was taken for a scalar on the element's path.
#include "print.h"
#include "generated.h"

struct S0 { uchar m0; ushort m1; };
struct S1 { S0 m0; uchar m1; int m2; uchar m3; };
struct S3 { int m0; int m1; };

S0 g1;
S3 g2;

S3 fn0()
{
    S1 l0 = {g1, (uchar)0, (-33), (uchar)0};
    S3 l2 = g2;
    l2.m1 = l0.m2 + l0.m0.m1 * 10 + l0.m0.m0;
    return l2;
}

int main()
{
    g1.m0 = (uchar)7;
    g1.m1 = (ushort)300;
    g2 = fn0();
    print("main %d %d\n", g2.m0, g2.m1);
    return 0;
}
