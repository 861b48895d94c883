#include "dimmer/calendar.h"

#include <time.h>

#include <gtest/gtest.h>

namespace {

// Against the C library wherever it can convert: every day over 800 years
// around 1970 (leap years, centuries, 2000), at a few times of day.
TEST(UtcCalendarTest, AgreesWithTheCLibrary) {
  for (int64_t day = -146097; day <= 146097; ++day) {
    for (int64_t second : {0, 1, 43199, 86399}) {
      const int64_t when = day * 86400 + second;
      const time_t t = static_cast<time_t>(when);
      std::tm expected{};
      std::tm actual{};
      ASSERT_NE(gmtime_r(&t, &expected), nullptr);
      UtcCalendar(when, &actual);
      ASSERT_EQ(actual.tm_year, expected.tm_year) << when;
      ASSERT_EQ(actual.tm_mon, expected.tm_mon) << when;
      ASSERT_EQ(actual.tm_mday, expected.tm_mday) << when;
      ASSERT_EQ(actual.tm_hour, expected.tm_hour) << when;
      ASSERT_EQ(actual.tm_min, expected.tm_min) << when;
      ASSERT_EQ(actual.tm_sec, expected.tm_sec) << when;
    }
  }
}

TEST(UtcCalendarTest, FloorDivideRoundsDown) {
  EXPECT_EQ(FloorDivide(7, 2), 3);
  EXPECT_EQ(FloorDivide(-7, 2), -4);
  EXPECT_EQ(FloorDivide(-8, 2), -4);
}

}  // namespace
