// Calendar fields of a point in time, by arithmetic alone.
#ifndef DIMMER_CALENDAR_H_
#define DIMMER_CALENDAR_H_

#include <cstdint>
#include <ctime>

// The UTC calendar time of a count of seconds since 1970 (negative before).
// Unlike the C library's conversions it cannot fail, whatever the platform.
void UtcCalendar(int64_t unix_seconds, std::tm* out);

// Floor division: the quotient rounded towards minus infinity.
int64_t FloorDivide(int64_t value, int64_t divisor);

#endif  // DIMMER_CALENDAR_H_
