#include "dimmer/number_parse.h"

#include <cstdio>

#include <gtest/gtest.h>

namespace {

struct ParseCase {
  const char* text;
  bool parsed;
  uint32_t value;
};

class ParseUnsignedTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseUnsignedTest, ReadsLikePercentUWithoutWrapping) {
  const ParseCase& c = GetParam();
  uint32_t value = 77;
  ASSERT_EQ(ParseUnsigned(c.text, &value), c.parsed) << '"' << c.text << '"';
  EXPECT_EQ(value, c.parsed ? c.value : 77u) << '"' << c.text << '"';

  // Wherever the digits fit in 32 bits, the C library agrees.
  unsigned library_value = 0;
  const bool library_parsed = std::sscanf(c.text, "%u", &library_value) == 1;
  if (c.parsed || !library_parsed) {
    EXPECT_EQ(library_parsed, c.parsed);
    if (c.parsed) {
      EXPECT_EQ(library_value, c.value);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseUnsignedTest,
    testing::Values(ParseCase{"300", true, 300}, ParseCase{"0", true, 0},
                    ParseCase{" \t\n\v\f\r42", true, 42}, ParseCase{"12abc", true, 12},
                    ParseCase{"0x20", true, 0}, ParseCase{"+12", true, 12},
                    ParseCase{"-5", true, 4294967291u}, ParseCase{"-0", true, 0},
                    ParseCase{"4294967295", true, 4294967295u},
                    ParseCase{"-4294967295", true, 1},
                    ParseCase{"000000000000004294967295", true, 4294967295u},
                    ParseCase{"1 2", true, 1},
                    // Too large for 32 bits, whatever the sign: no number.
                    ParseCase{"4294967296", false, 0}, ParseCase{"4294967297", false, 0},
                    ParseCase{"-4294967296", false, 0},
                    ParseCase{"99999999999999999999999999", false, 0},
                    // No digit where one is needed.
                    ParseCase{"", false, 0}, ParseCase{"abc", false, 0},
                    ParseCase{"+", false, 0}, ParseCase{"- 5", false, 0},
                    ParseCase{"+-5", false, 0}, ParseCase{"\xe9", false, 0}));

}  // namespace
