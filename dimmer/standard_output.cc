#include "dimmer/standard_output.h"

#include <cstdarg>
#include <cstdio>

bool PrintAndFlush(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int written = std::vprintf(format, arguments);
  va_end(arguments);
  return written >= 0 && std::fflush(stdout) == 0 && !std::ferror(stdout);
}
