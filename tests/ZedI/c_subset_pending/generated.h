// The header the generator's programs share, kept once beside the tests.
#include "../c_subset/generated.h"
