#include "dimmer/calendar.h"

int64_t FloorDivide(int64_t value, int64_t divisor) {
  int64_t quotient = value / divisor;
  if (value % divisor < 0) --quotient;
  return quotient;
}

void UtcCalendar(int64_t unix_seconds, std::tm* out) {
  const int64_t days = FloorDivide(unix_seconds, 86400);
  const int64_t second_of_day = unix_seconds - days * 86400;
  // Days since 0000-03-01, in 400-year eras of 146097 days; a year that
  // starts in March puts the leap day at its end.
  const int64_t shifted = days + 719468;
  const int64_t era = FloorDivide(shifted, 146097);
  const int64_t day_of_era = shifted - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_from_march = (5 * day_of_year + 2) / 153;
  const int64_t month = month_from_march < 10 ? month_from_march + 3 : month_from_march - 9;
  *out = std::tm{};
  out->tm_year = static_cast<int>(year_of_era + era * 400 + (month <= 2) - 1900);
  out->tm_mon = static_cast<int>(month - 1);
  out->tm_mday = static_cast<int>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
  out->tm_hour = static_cast<int>(second_of_day / 3600);
  out->tm_min = static_cast<int>(second_of_day / 60 % 60);
  out->tm_sec = static_cast<int>(second_of_day % 60);
}
