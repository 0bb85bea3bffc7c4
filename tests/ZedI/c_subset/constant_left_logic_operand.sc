// Found by the program generator (tools/zcgen) and reduced: g++ and the script
// compiler must print the same. `0 && (int)--p1`: a constant left operand that
// decides && or || leaves the right operand unevaluated, side effects and all.
#include "print.h"
#include "generated.h"

uchar fn68(double p1);

int main()
{
    uchar l8 = fn68((-4.0));
    return 0;
}

uchar fn68(double p1)
{
    if (0 && (int)--p1) {
    }
    print("fn68.3 %d %.17g %.17g\n", 200, 0.0, p1);
    return (-55667);
}
