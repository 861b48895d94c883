// The few services of the operating system that the dimmer code needs.
// One source file per platform implements them; the build picks it.
#ifndef DIMMER_PLATFORM_H_
#define DIMMER_PLATFORM_H_

#include <cstdint>
#include <ctime>

// Wall-clock time in microseconds since 1970-01-01 00:00 UTC.
int64_t CurrentUnixMicros();

// Milliseconds on a clock that only moves forward, for measuring waits.
int64_t MonotonicMillis();

// Calendar time of a count of seconds since 1970 in the local time zone;
// false when the time cannot be converted.
bool ToLocalCalendar(int64_t unix_seconds, std::tm* out);

// Whether this user has read and write permission on a device node. On
// Windows no such permission stands in the way: always true.
bool UserMayOpen(const char* path);

// Why a dimmer that is attached still did not open, for a user who lacks
// permission on its node or for one who has it, as one line for a warning
// that follows "the dimmer is attached but could not be opened".
const char* DeviceOpenHint(bool user_may_open);

// Keeps what the process was started with from reaching the device: makes
// sure descriptors 0-2 are open (on the null device when they were not), so
// that the device cannot be given one of their numbers and receive what is
// meant for standard output, and makes a write to a broken pipe a failed
// write instead of a fatal signal. Call before the device is opened.
void ProtectStandardStreams();

// Blocks the calling thread for at least `milliseconds`.
void SleepMilliseconds(unsigned milliseconds);

#endif  // DIMMER_PLATFORM_H_
