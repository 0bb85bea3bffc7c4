// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. A char function returning a negated char
// constant returns its low byte, 103.
#include "print.h"
#include "generated.h"

uchar fn112()
{
    return -(uchar)153;
}

int main()
{
    print("main.4 %d %u\n", (int)fn112(), (unsigned)0x8AC04811);
    return 0;
}
