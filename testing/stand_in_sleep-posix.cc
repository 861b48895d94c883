// Stands in for the C library's nanosleep, which the programs pause with
// between two state polls: each pause is written to the traffic log as
// "pause N" (milliseconds), so tests can count them. With
// DIMMER_SIM_INSTANT_SLEEP set the pause is only recorded, not waited,
// which keeps tests of long busy streaks fast.
#include <time.h>

#include <cerrno>
#include <cstdlib>

#include "testing/stand_in_log.h"

// Where time is 64 bits on a 32-bit system, the C library's headers give
// this definition the name of the 64-bit nanosleep, as they give it the
// programs' calls.
extern "C" int nanosleep(const struct timespec* requested, struct timespec* remaining) {
  SimulatedLog("pause %ld", static_cast<long>(requested->tv_sec * 1000 + requested->tv_nsec / 1000000));
  const char* instant = std::getenv("DIMMER_SIM_INSTANT_SLEEP");
  if (instant != nullptr && *instant != '\0') return 0;
  // The same wait, by a call that this file does not stand in for.
  const int error = clock_nanosleep(CLOCK_REALTIME, 0, requested, remaining);
  if (error == 0) return 0;
  errno = error;
  return -1;
}
