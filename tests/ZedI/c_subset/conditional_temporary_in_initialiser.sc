// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. A local's initialiser with a structure
// temporary inside a ?: operand.
#include "print.h"
#include "generated.h"

struct S0 { int m0; int m1; int m2; };
struct S1 { uchar m0; S0 m1; int m2; };

S1 fn91()
{
    S1 l1 = {(uchar)0, {(-6), (-9808), 1285533803}, 217};
    return l1;
}

int fn130()
{
    double l0 = (double)(1 ? fn91().m2 : 0);
    return (-37917);
}

unsigned fn129(int p1)
{
    p1 = fn130();
    return (unsigned)290;
}

int main()
{
    print("main.6 %u\n", fn129(0));
    return 0;
}
