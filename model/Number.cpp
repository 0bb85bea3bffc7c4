#include "Number.h"

#include <limits>

namespace kest {

int32_t ReadDecimal(std::string_view text) {
  size_t i = 0;
  auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < text.size() && blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate the magnitude in 64 bits and stop growing once past the range.
  constexpr int64_t kLimit = int64_t(std::numeric_limits<int32_t>::max()) + 1;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value <= kLimit) value = value * 10 + (text[i] - '0');
  }
  if (negative) return value >= kLimit ? std::numeric_limits<int32_t>::min() : int32_t(-value);
  return value >= kLimit ? std::numeric_limits<int32_t>::max() : int32_t(value);
}

}  // namespace kest
