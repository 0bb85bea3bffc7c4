#include <gtest/gtest.h>

#include "Number.h"

using kest::ReadDecimal;

TEST(ReadDecimal, Cases) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"42", 42},
      {"  \t-17xyz", -17},
      {"+8", 8},
      {"", 0},
      {"abc", 0},
      {"-", 0},
      {"007", 7},
      {"2147483647", 2147483647},
      {"2147483648", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"-2147483649", -2147483647 - 1},
      {"99999999999999999999999999", 2147483647},
      {"- 5", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadDecimal(c.text), c.value) << c.text;
  EXPECT_EQ(ReadDecimal(static_cast<const char*>(nullptr)), 0);
}
