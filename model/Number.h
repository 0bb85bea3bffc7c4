// Decimal numbers as the protocol dispatchers read them.
#pragma once

#include <cstdint>
#include <string_view>

namespace kest {

// Leading blanks, an optional sign, then digits; stops at the first other
// byte. No digits gives 0; a value beyond 32 bits saturates. Never throws.
int32_t ReadDecimal(std::string_view text);
inline int32_t ReadDecimal(const char* text) {
  return text ? ReadDecimal(std::string_view(text)) : 0;
}

}  // namespace kest
