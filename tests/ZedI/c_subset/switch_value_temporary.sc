// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. A switch on a value computed from a structure
// temporary, names used after it.
#include "print.h"
#include "generated.h"

struct S0 { unsigned m0[2]; int m1; uchar m2; };

unsigned fn131(S0 p2);

S0 fn14()
{
    S0 l1 = {{(unsigned)11, (unsigned)12}, 247457775, (uchar)0};
    return l1;
}

void fn142()
{
    switch (fn131(fn14())) {
    case 9: {
        print("fn142.1 %u %d\n", (unsigned)0, 0);
    }
        break;
    }
    print("fn142.2 %.17g %d %d\n", 20.0, 40623, 0);
}

unsigned fn131(S0 p2)
{
    return (unsigned)0xE3B8A7BE;
}

int main()
{
    fn142();
    return 0;
}
