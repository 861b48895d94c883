#include "dimmer/log.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "testing/program_run.h"

namespace {

// Sets the local time zone for one test and restores it afterwards.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    const char* old = std::getenv("TZ");
    had_old_ = old != nullptr;
    if (had_old_) old_ = old;
    SetEnvVariable("TZ", zone);
    tzset();
  }
  ~ScopedTimeZone() {
    if (had_old_) {
      SetEnvVariable("TZ", old_);
    } else {
      UnsetEnvVariable("TZ");
    }
    tzset();
  }

 private:
  bool had_old_ = false;
  std::string old_;
};

struct TimestampCase {
  const char* zone;
  int64_t unix_micros;
  const char* expected;
};

class TimestampTest : public testing::TestWithParam<TimestampCase> {};

TEST_P(TimestampTest, FormatsLocalTimeToTheMillisecond) {
  const TimestampCase& c = GetParam();
  ScopedTimeZone zone(c.zone);
  char prefix[kTimestampSize];
  FormatTimestampAt(c.unix_micros, prefix);
  EXPECT_STREQ(prefix, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Prefixes, TimestampTest,
    testing::Values(
        // Single-digit fields are padded with zeros.
        TimestampCase{"UTC0", 1772701623004000, "[2026-03-05 09:07:03.004] "},
        // Milliseconds are cut, never rounded up.
        TimestampCase{"UTC0", 1796685245041999, "[2026-12-07 23:14:05.041] "},
        // The same instant reads differently in another zone.
        TimestampCase{"UTC0", 1796703245042000, "[2026-12-08 04:14:05.042] "},
        TimestampCase{"EST5EDT", 1796703245042000, "[2026-12-07 23:14:05.042] "},
        TimestampCase{"CET-1CEST", 1796703245042000, "[2026-12-08 05:14:05.042] "},
        // Whole seconds are kept in 64 bits, so 2038 is no limit.
        TimestampCase{"UTC0", 2209086245006000, "[2040-01-02 03:04:05.006] "},
        // A clock set before 1970 still gives milliseconds 0-999.
        TimestampCase{"UTC0", -1, "[1969-12-31 23:59:59.999] "}));

std::string Contents(std::FILE* file) {
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  return text;
}

TEST(LogMessageTest, WritesPrefixAndMessageToItsStreamOnly) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);

  LogTo(nullptr, "WARN: to no stream %d\n", 1);
  LogTo(file, "WARN: hid_write: %d: %ls\n", -1, L"broken pipe");

  const std::string text = Contents(file);
  std::fclose(file);
  ASSERT_GT(text.size(), 26u);
  EXPECT_EQ(text[0], '[');
  EXPECT_EQ(text.substr(26), "WARN: hid_write: -1: broken pipe\n");
}

TEST(LogMessageTest, KeepsAMessageLongerThanALineBuffer) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  const std::string message(2000, 'x');
  LogTo(file, "ERROR: %s\n", message.c_str());
  const std::string text = Contents(file);
  std::fclose(file);
  EXPECT_EQ(MaskTimestamps(text), "[T] ERROR: " + message + "\n");
}

}  // namespace
