// The few services of the operating system that the dimmer code needs.
// One source file per platform implements them; the build picks it.
#ifndef DIMMER_PLATFORM_H_
#define DIMMER_PLATFORM_H_

#include <cstdint>
#include <ctime>

// Wall-clock time in microseconds since 1970-01-01 00:00 UTC.
int64_t CurrentUnixMicros();

// Calendar time of a count of seconds since 1970 in the local time zone;
// false when the time cannot be converted.
bool ToLocalCalendar(int64_t unix_seconds, std::tm* out);

// Why a dimmer that is attached may still not open here, as one line for a
// warning that follows "the dimmer is attached but could not be opened".
const char* DeviceOpenHint();

// Blocks the calling thread for at least `milliseconds`.
void SleepMilliseconds(unsigned milliseconds);

#endif  // DIMMER_PLATFORM_H_
