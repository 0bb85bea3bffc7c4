// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. Structure temporaries passed to functions
// defined further down.
#include "print.h"
#include "generated.h"

struct S0 { int m0[3]; unsigned m1; double m2; };

S0 g1;

S0 fn83();
S0 fn16(S0 p0);
S0 fn97();

S0 fn79()
{
    return g1;
}

ushort fn95(S0 p0)
{
    return (ushort)49182;
}

int main()
{
    g1 = fn83();
    S0 r = fn16(fn97());
    print("main %d %d %u %.17g\n", (int)fn95(fn16(fn97())), r.m0[2], r.m1, r.m2);
    return 0;
}

S0 fn97()
{
    S0 l1 = fn83();
    return l1;
}

S0 fn16(S0 p0)
{
    return p0;
}

S0 fn83()
{
    S0 l0 = fn79();
    return l0;
}
