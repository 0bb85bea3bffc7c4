// Found by the program generator (tools/zcgen, seed 1626 with only
// init-temporaries left in) and reduced: g++ and the script compiler must
// print the same. `unsigned l0 = (unsigned)(int)((-2) ? fn43(g6[...],
// fn41()) : 0.0);`: a structure temporary passed to a call inside a ?: in a
// local's initialiser.
// Expected "fn51.0 -90.125 0"; the script stops with "Access violation". The
// same misplaced temporary as conditional_argument_temporary_in_initialiser.sc:
// the frame is corrupted and the return from fn40 goes astray.
#include "print.h"
#include "generated.h"

struct S0 { uchar m0; int m1; int m2; };
struct S1 { uchar m0[3]; int m1; int m2; };

int g0[2][3];
S1 g6[3];

S0 fn9()
{
    S0 l0 = {(uchar)47, 1, 54748};
    return l0;
}

double fn8(S0 p0)
{
    return (-90.125);
}

S0 fn41()
{
    S0 l1 = fn9();
    return l1;
}

double fn43(S1 p0, S0 p1)
{
    return (-48.375);
}

S0 fn40()
{
    unsigned l0 = (unsigned)(int)((-2) ? fn43(g6[(unsigned)g0[1][0]], fn41()) : 0.0);
    S0 l1 = {(uchar)208, 0, 56};
    return l1;
}

unsigned fn51()
{
    print("fn51.0 %.17g %u\n", fn8(fn40()), (unsigned)0);
    return (unsigned)809691;
}

void fn88()
{
    fn51();
}

int main()
{
    fn88();
    return 0;
}
