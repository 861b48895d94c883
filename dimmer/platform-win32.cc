#include "dimmer/platform.h"

#include <windows.h>

#include <time.h>

int64_t CurrentUnixMicros() {
  FILETIME now;
  // Windows 8 and later: the plain call ticks only every 15.6 ms.
  GetSystemTimePreciseAsFileTime(&now);
  // 100-nanosecond ticks since 1601-01-01 00:00 UTC.
  const int64_t ticks =
      static_cast<int64_t>(static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime);
  return ticks / 10 - 11644473600000000;
}

int64_t MonotonicMillis() { return static_cast<int64_t>(GetTickCount64()); }

bool ToLocalCalendar(int64_t unix_seconds, std::tm* out) {
  const __time64_t seconds = unix_seconds;
  return _localtime64_s(out, &seconds) == 0;
}

bool UserMayOpen(const char*) { return true; }

const char* DeviceOpenHint(bool) { return "another program may hold it"; }

// Windows gives a closed standard handle no number that a device could
// take, and has no broken-pipe signal: a write there simply fails.
void ProtectStandardStreams() {}

void SleepMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }
