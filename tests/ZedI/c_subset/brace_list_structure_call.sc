// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. A local brace list with a structure returned by
// a call as an element.
#include "print.h"
#include "generated.h"

struct S0 { int m0; double m1; unsigned m2; int m3; };
struct S1 { double m0; int m1; uchar m2; int m3; S0 m4; };

S1 fn62();

S0 fn63()
{
    S0 l5 = {0, (-45.375), (unsigned)7, (-2)};
    return l5;
}

int main()
{
    S1 r = fn62();
    print("main %.17g %d %d %d %.17g %d\n", r.m0, r.m1, (int)r.m2, r.m3, r.m4.m1, r.m4.m3);
    return 0;
}

S1 fn62()
{
    S1 l1 = {65534.0, (-832), (uchar)1, 25759, fn63()};
    return l1;
}
