// Writing to standard output so that a failed write is noticed: callers
// read the programs' output, and a line that never arrived must not pass
// for success.
#ifndef DIMMER_STANDARD_OUTPUT_H_
#define DIMMER_STANDARD_OUTPUT_H_

#include "dimmer/log.h"

// printf to standard output, then flush; false when any of it failed.
bool PrintAndFlush(const char* format, ...) DIMMER_PRINTF_FORMAT(1, 2);

#endif  // DIMMER_STANDARD_OUTPUT_H_
