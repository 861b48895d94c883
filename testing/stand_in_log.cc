#include "testing/stand_in_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void SimulatedLog(const char* format, ...) {
  const char* path = std::getenv("DIMMER_SIM_LOG");
  if (path == nullptr || *path == '\0') return;
  // Opened for each line, so the log is complete even if the program dies.
  std::FILE* file = std::fopen(path, "a");
  if (file == nullptr) return;
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(file, format, arguments);
  va_end(arguments);
  std::fputc('\n', file);
  std::fclose(file);
}
