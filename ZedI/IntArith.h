// Integer operations on 32-bit words and the truncation of a double, as the
// script CPU runs them. The CPU and the compiler's constant folding both compute
// through here, so that a folded expression gives what the emitted code would.
#pragma once

#include <cstdint>

#include "VcpuOps.h"

namespace zedi {

// The operations that read the unsigned option (and clear it afterwards).
constexpr bool scTakesUnsignedFlag(int op) {
    return op == opDIV || op == opMOD || op == opSHR || op == opCMPG || op == opCMPL || op == opCMPNG ||
           op == opCMPNL;
}

// `a op b` for the integer operations ADD SUB MUL DIV MOD AND OR XOR SHL SHR CMPE
// CMPG CMPL CMPNG CMPNL ANDL ORL (any other gives 0). + - * wrap around; / and %
// truncate, and INT_MIN / -1 gives INT_MIN with remainder 0; shifts take the
// count's low five bits; comparisons give 1 or 0. With `uns` DIV, MOD, SHR and the
// ordered comparisons work on unsigned words. A zero divisor of DIV or MOD is the
// caller's to refuse: the result is then 0. FIXMUL and FIXDIV work on 16.16
// values: bits 16-47 of the product, and a × 65536 over b (the low word of
// a × 65536 when b is 0).
[[gnu::always_inline]] constexpr uint32_t IntArith(int op, uint32_t a, uint32_t b, bool uns) {
    const int32_t x = int32_t(a), y = int32_t(b);
    switch (op) {
    case opADD: return a + b;
    case opSUB: return a - b;
    case opMUL: return a * b;
    case opDIV:
    case opMOD:
        if (b == 0) return 0;
        if (uns) return op == opDIV ? a / b : a % b;
        if (x == INT32_MIN && y == -1) return op == opDIV ? a : 0;
        return uint32_t(op == opDIV ? x / y : x % y);
    case opAND: return a & b;
    case opOR: return a | b;
    case opXOR: return a ^ b;
    case opSHL: return a << (b & 31);
    case opSHR: return uns ? a >> (b & 31) : uint32_t(x >> (b & 31));
    case opCMPE: return a == b;
    case opCMPG: return uns ? a > b : x > y;
    case opCMPL: return uns ? a < b : x < y;
    case opCMPNG: return uns ? a <= b : x <= y;
    case opCMPNL: return uns ? a >= b : x >= y;
    case opFIXMUL: return uint32_t(uint64_t(int64_t(x) * int64_t(y)) >> 16);
    case opFIXDIV:
        if (b == 0) return a << 16;
        return uint32_t(int64_t(uint64_t(int64_t(x)) << 16) / int64_t(y));
    case opANDL: return a != 0 && b != 0;
    case opORL: return a != 0 || b != 0;
    default: return 0;
    }
}

// A double truncated toward zero to an int (DINT); out of range and NaN give
// INT_MIN, as the hardware conversion does.
constexpr int32_t DoubleToInt(double d) {
    if (!(d > -2147483649.0 && d < 2147483648.0)) return INT32_MIN;
    return int32_t(d);
}

}  // namespace zedi
