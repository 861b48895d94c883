#include "dimmer/log.h"

#include <cstdarg>
#include <cstring>
#include <ctime>

#include "dimmer/calendar.h"
#include "dimmer/platform.h"

namespace {

void FormatInto(int64_t unix_micros, char* out, size_t size) {
  // Floor division keeps the milliseconds in 0-999 even before 1970.
  const int64_t seconds = FloorDivide(unix_micros, 1000000);
  const int64_t milliseconds = (unix_micros - seconds * 1000000) / 1000;
  std::tm calendar = {};
  // A time the local conversion refuses is still worth showing: in UTC.
  if (!ToLocalCalendar(seconds, &calendar)) UtcCalendar(seconds, &calendar);
  std::snprintf(out, size, "[%04u-%02u-%02u %02u:%02u:%02u.%03u] ",
                static_cast<unsigned>(calendar.tm_year + 1900),
                static_cast<unsigned>(calendar.tm_mon + 1),
                static_cast<unsigned>(calendar.tm_mday),
                static_cast<unsigned>(calendar.tm_hour),
                static_cast<unsigned>(calendar.tm_min),
                static_cast<unsigned>(calendar.tm_sec),
                static_cast<unsigned>(milliseconds));
}

}  // namespace

void FormatTimestampAt(int64_t unix_micros, char (&out)[kTimestampSize]) {
  FormatInto(unix_micros, out, sizeof out);
}

void LogTo(std::FILE* log_stream, const char* format, ...) {
  if (log_stream == nullptr) return;
  // The whole line in one write, built on the stack: a program whose
  // threads log at once (the Alpaca server) gets whole lines.
  char line[512];
  FormatInto(CurrentUnixMicros(), line, sizeof line);
  const size_t prefix = std::strlen(line);
  va_list arguments;
  va_start(arguments, format);
  va_list again;
  va_copy(again, arguments);
  const int length = std::vsnprintf(line + prefix, sizeof line - prefix, format, arguments);
  if (length >= 0 && static_cast<size_t>(length) < sizeof line - prefix) {
    std::fputs(line, log_stream);
  } else {
    line[prefix] = '\0';
    std::fputs(line, log_stream);
    std::vfprintf(log_stream, format, again);
  }
  va_end(again);
  va_end(arguments);
}
