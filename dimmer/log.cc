#include "dimmer/log.h"

#include <cstdarg>
#include <ctime>

#include "dimmer/calendar.h"
#include "dimmer/platform.h"

namespace {

std::FILE* log_stream = nullptr;
char timestamp[128];

}  // namespace

void SetLogStream(std::FILE* stream) { log_stream = stream; }

const char* FormatTimestampAt(int64_t unix_micros) {
  // Floor division keeps the milliseconds in 0-999 even before 1970.
  const int64_t seconds = FloorDivide(unix_micros, 1000000);
  const int64_t milliseconds = (unix_micros - seconds * 1000000) / 1000;
  std::tm calendar = {};
  // A time the local conversion refuses is still worth showing: in UTC.
  if (!ToLocalCalendar(seconds, &calendar)) UtcCalendar(seconds, &calendar);
  std::snprintf(timestamp, sizeof timestamp,
                "[%04u-%02u-%02u %02u:%02u:%02u.%03u] ",
                static_cast<unsigned>(calendar.tm_year + 1900),
                static_cast<unsigned>(calendar.tm_mon + 1),
                static_cast<unsigned>(calendar.tm_mday),
                static_cast<unsigned>(calendar.tm_hour),
                static_cast<unsigned>(calendar.tm_min),
                static_cast<unsigned>(calendar.tm_sec),
                static_cast<unsigned>(milliseconds));
  return timestamp;
}

const char* FormatTimestamp() { return FormatTimestampAt(CurrentUnixMicros()); }

void LogMessage(const char* format, ...) {
  if (log_stream == nullptr) return;
  std::fputs(FormatTimestamp(), log_stream);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(log_stream, format, arguments);
  va_end(arguments);
}
