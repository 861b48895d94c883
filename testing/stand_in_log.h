// The simulated dimmer's traffic log: one line for each thing the device
// sees, appended to the file that DIMMER_SIM_LOG names (nothing without it).
#ifndef TESTING_STAND_IN_LOG_H_
#define TESTING_STAND_IN_LOG_H_

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void SimulatedLog(const char* format, ...);

#endif  // TESTING_STAND_IN_LOG_H_
