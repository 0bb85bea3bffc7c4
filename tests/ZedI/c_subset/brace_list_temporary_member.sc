// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. A local array's brace list with a member of a
// returned structure.
#include "print.h"
#include "generated.h"

struct S0 { unsigned m0; int m1; unsigned m2; int m3[3]; uchar m4; };

int fn115();
S0 fn21();

int main()
{
    print("main.4 %d %d\n", 0, fn115());
    return 0;
}

int fn115()
{
    int l0[2][3] = {{fn21().m3[1], (-2), 1}, {1, 1, 15792}};
    return 661;
}

S0 fn21()
{
    S0 l4 = {(unsigned)5, (-636), (unsigned)0, {1, 57155, 0}, (uchar)0};
    return l4;
}
