// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. `(ushort)-(uchar)77`: a negated char constant
// is an int, -77, which the conversion to short cuts to 65459.
#include "print.h"
#include "generated.h"

uchar fn40();

ushort fn16()
{
    return (ushort)-(uchar)77;
}

int main()
{
    uchar l7 = fn40();
    return 0;
}

uchar fn40()
{
    int l0[2][3] = {{(int)fn16(), (-8), (-10)}, {(-10), 208, 217}};
    print("fn40.1 %d %d %d %d %d %d %d %d %d %d %d\n", 0, 137, 206, 61, 27, l0[0][0], (-8), (-10), (-10), 208, 217);
    return 0;
}
