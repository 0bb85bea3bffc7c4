#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Kestclasses.h"

using namespace kest;

namespace {

struct SplitCase {
  const char* name;
  std::string line;
  int max;
  int count;
  int id;
  std::vector<std::string> tokens;  // word and arguments (and the number token when stored)
};

#define BS "\x08"

const SplitCase kCases[] = {
    {"word_and_number", "SAIKORO:3", 32, 0, 3, {"SAIKORO", "3"}},
    {"quoted_field_keeps_separators", "CHAT 1," BS "hello, world" BS ":5", 32, 2, 5,
     {"CHAT", "1", "hello, world", "5"}},
    {"double_byte_name_stays_whole", "NAME " BS "\x95\x5c\x83\x7c\x83\x5c" BS ":2", 32, 1, 2,
     {"NAME", "\x95\x5c\x83\x7c\x83\x5c", "2"}},
    {"plain_double_byte", "NAME \x95\x40\x83\x7c,x:1", 32, 2, 1,
     {"NAME", "\x95\x40\x83\x7c", "x", "1"}},
    {"no_colon_no_number", "ERR SAMENAME", 32, 1, -1, {"ERR", "SAMENAME"}},
    {"colon_after_blank_is_no_number", "WORD 1 :5", 32, 2, -1, {"WORD", "1", "5"}},
    {"empty_line", "", 32, 0, -1, {""}},
    {"leading_blank_gives_empty_word", " LOGIN x", 32, 2, -1, {"", "LOGIN", "x"}},
    {"empty_field_vanishes", "MOVE 3,,4:1", 32, 2, 1, {"MOVE", "3", "4", "1"}},
    {"negative_number", "SAIKORO: -2", 32, 0, -2, {"SAIKORO", "-2"}},
    {"junk_after_closing_bs_is_skipped", "W " BS "ab" BS "xy,z:4", 32, 2, 4, {"W", "ab", "z", "4"}},
    {"crlf_terminators", "TURN 2:7\r\n", 32, 1, 7, {"TURN", "2", "7"}},
    // The number token is never stored: no id, and the count may be negative.
    {"colon_ends_line", "WORD:", 32, -1, -1, {"WORD"}},
    {"colon_ends_last_storable_token", "A B:7", 2, 0, -1, {"A", "B"}},
    {"more_tokens_than_max", "A 1 2 3 4", 3, 2, -1, {"A", "1", "2"}},
    // Nothing reads past the end of the line.
    {"lead_byte_last", "NAME \x83", 32, 1, -1, {"NAME", "\x83"}},
    {"lead_byte_last_in_quote", "NAME " BS "\x83", 32, 1, -1, {"NAME", "\x83"}},
    {"unclosed_quote_runs_to_end", "CHAT " BS "abc def", 32, 1, -1, {"CHAT", "abc def"}},
    {"opening_bs_at_end", "CHAT " BS, 32, 0, -1, {"CHAT"}},
};

#undef BS

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class SplitLineTest : public ::testing::TestWithParam<SplitCase> {};

}  // namespace

TEST_P(SplitLineTest, Splits) {
  const SplitCase& c = GetParam();
  // Exactly sized heap copy so that the sanitizer catches any read past the end.
  std::vector<char> buf(c.line.begin(), c.line.end());
  buf.push_back('\0');
  std::vector<char*> tokens(size_t(c.max), nullptr);
  int id = 12345;
  const int count = SplitLine(buf.data(), tokens.data(), c.max, id);
  EXPECT_EQ(count, c.count);
  EXPECT_EQ(id, c.id);
  for (size_t i = 0; i < c.tokens.size(); ++i) {
    ASSERT_NE(tokens[i], nullptr) << i;
    EXPECT_EQ(std::string(tokens[i]), c.tokens[i]) << "token " << i;
  }
  if (c.tokens.size() < tokens.size()) {
    EXPECT_EQ(tokens[c.tokens.size()], nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, SplitLineTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SjisLeadByte, Ranges) {
  for (int b = 0; b < 256; ++b) {
    const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xEF);
    EXPECT_EQ(IsSjisLeadByte(static_cast<unsigned char>(b)), lead) << b;
  }
}
