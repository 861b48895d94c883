// The dimmer control tool's command line: report the light's state, or
// set its raw intensity (0 switches it off).
#ifndef QUORLET_CONTROL_COMMAND_H_
#define QUORLET_CONTROL_COMMAND_H_

#include <cstdint>

// The level a command line asks for: below 0 to report the state, 0 to
// switch off, above 0 to set that intensity.
int32_t RequestedLevel(int argc, const char* const* argv);

// Runs one command line and returns the exit status: 0 when the request
// was carried out, 1 when the device could not be reached or changed.
int RunQuorlet(int argc, const char* const* argv);

#endif  // QUORLET_CONTROL_COMMAND_H_
