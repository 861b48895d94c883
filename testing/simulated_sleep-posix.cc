// Stands in for the C library's nanosleep, which the programs pause with
// between two state polls: each pause is written to the traffic log as
// "pause N" (milliseconds), so tests can count them. With
// DIMMER_SIM_INSTANT_SLEEP set the pause is only recorded, not waited,
// which keeps tests of long busy streaks fast.
#include <dlfcn.h>
#include <time.h>

#include <cstdlib>

#include "testing/simulated_log.h"

extern "C" int nanosleep(const struct timespec* requested, struct timespec* remaining) {
  SimulatedLog("pause %ld", static_cast<long>(requested->tv_sec * 1000 + requested->tv_nsec / 1000000));
  const char* instant = std::getenv("DIMMER_SIM_INSTANT_SLEEP");
  if (instant != nullptr && *instant != '\0') return 0;
  using Sleep = int (*)(const struct timespec*, struct timespec*);
  const Sleep real_sleep = reinterpret_cast<Sleep>(dlsym(RTLD_NEXT, "nanosleep"));
  return real_sleep(requested, remaining);
}
