// Diagnostic lines of the device path, each opened by the local date and
// time to the millisecond: "[2026-12-07 23:14:05.042] WARN: ...".
#ifndef DIMMER_LOG_H_
#define DIMMER_LOG_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>

#if defined(__GNUC__)
#define DIMMER_PRINTF_FORMAT(format_index, first_arg) \
  __attribute__((format(printf, format_index, first_arg)))
#else
#define DIMMER_PRINTF_FORMAT(format_index, first_arg)
#endif

// The prefix for a time in microseconds since 1970 UTC,
// "[YYYY-MM-DD hh:mm:ss.mmm] ", written into `out`.
constexpr size_t kTimestampSize = 64;
void FormatTimestampAt(int64_t unix_micros, char (&out)[kTimestampSize]);

// Writes the prefix for the current time and then the formatted message,
// which carries its own level word ("WARN: ", "ERROR: ") and its own line
// end, to `stream`; a null stream is a silent log. Threads may log at once:
// each line is written whole. There is no process-wide log: each program,
// and each dimmer, says where its lines go.
void LogTo(std::FILE* stream, const char* format, ...) DIMMER_PRINTF_FORMAT(2, 3);

#endif  // DIMMER_LOG_H_
