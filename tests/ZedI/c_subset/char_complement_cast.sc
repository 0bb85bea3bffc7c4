// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. ~ of a char, cast back to the char type: the
// cast cuts the int result to its low byte (146), as it does for ushort.
#include "print.h"
#include "generated.h"

struct S0 { uchar m0[2]; unsigned m1; unsigned m2; };

S0 fn9(unsigned p2)
{
    print("fn9.0 %d %d %u\n", 2, 201, p2);
    S0 l0 = {{(uchar)200, (uchar)83}, (unsigned)19497, (unsigned)0};
    return l0;
}

int main()
{
    fn9((unsigned)(uchar)~(uchar)109);
    return 0;
}
