// Diagnostic lines of the device path, each opened by the local date and
// time to the millisecond: "[2026-12-07 23:14:05.042] WARN: ...".
#ifndef DIMMER_LOG_H_
#define DIMMER_LOG_H_

#include <cstdint>
#include <cstdio>

#if defined(__GNUC__)
#define DIMMER_PRINTF_FORMAT(format_index, first_arg) \
  __attribute__((format(printf, format_index, first_arg)))
#else
#define DIMMER_PRINTF_FORMAT(format_index, first_arg)
#endif

// Where log lines go. Null, the default, silences the log: a program that
// must print no diagnostics simply never sets a stream.
void SetLogStream(std::FILE* stream);
std::FILE* LogStream();

// The prefix for the current time, "[YYYY-MM-DD hh:mm:ss.mmm] ", in a
// static buffer that the next call overwrites.
const char* FormatTimestamp();

// The same prefix for a given time in microseconds since 1970 UTC.
const char* FormatTimestampAt(int64_t unix_micros);

// Writes the prefix and then the formatted message, which carries its own
// level word ("WARN: ", "ERROR: ") and its own line end. Threads may log at
// once: each line is written whole.
void LogMessage(const char* format, ...) DIMMER_PRINTF_FORMAT(1, 2);

#endif  // DIMMER_LOG_H_
