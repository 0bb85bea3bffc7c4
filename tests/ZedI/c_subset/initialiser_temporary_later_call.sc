// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. Locals initialised by calls of functions
// defined further down that make structure temporaries.
#include "print.h"
#include "generated.h"

struct S0 { double m0; int m1; int m2; };

S0 fn96();
S0 fn26();
double fn38();

unsigned fn47()
{
    print("fn47.0 %.17g %d %d\n", (-52.75), 136, 1);
    return (unsigned)136;
}

int fn95()
{
    return (int)(unsigned)fn96().m0;
}

S0 fn61(uchar p0)
{
    S0 l0 = {0.0, 22, 652};
    return l0;
}

S0 fn96()
{
    S0 l1 = {234.0, 1, 10};
    S0 l3 = fn26();
    return l3;
}

int main()
{
    double l5 = fn38();
    S0 l9 = fn61((uchar)fn95());
    return 0;
}

S0 fn26()
{
    S0 l6 = {0.0, 0, 214};
    return l6;
}

double fn38()
{
    fn47();
    return 0.0;
}
