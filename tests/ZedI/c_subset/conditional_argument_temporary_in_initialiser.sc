// Found by the program generator (tools/zcgen, seed 1339 with only
// init-temporaries left in) and reduced: g++ and the script compiler must
// print the same. A local's initialiser whose ?: calls a function with a
// structure temporary as its argument: `int l2 = (double)(14900 ?
// fn208(..., fn202()) : (unsigned)0);`.
// The temporary made for fn202()'s result inside the ?: was addressed as if
// it had taken the local's room, so fn207's locals were overwritten and the
// later `1 / (p2 & 92788)` divided by a wrong p2 ("Division by zero").
#include "print.h"
#include "generated.h"

struct S0 { int m0; unsigned m1[2]; int m2; int m3; };
struct S1 { uchar m0[3]; int m1; };

S1 g4 = {{93, 181, 140}, 850};

S1 fn203()
{
    S1 l6 = g4;
    return l6;
}

S1 fn202()
{
    S1 l0 = fn203();
    return l0;
}

unsigned fn208(unsigned p1, S1 p3)
{
    return (unsigned)1 + !p1;
}

S0 fn207(int p1)
{
    int l0 = (-240);
    int l2 = (double)(14900 ? fn208((unsigned)!((int)(double)l0), fn202()) : (unsigned)0);
    S0 l9 = {(-240), {(unsigned)(2 + l2), (unsigned)0}, 78, (-1)};
    return l9;
}

int fn271(uchar p2)
{
    S0 l1 = fn207(1 / (p2 & 92788));
    return 0;
}

int main()
{
    S0 l7 = fn207((-2));
    int l16 = fn271((uchar)l7.m1[0]);
    print("main %d %u %d\n", l7.m0, l7.m1[0], l16);
    return 0;
}
