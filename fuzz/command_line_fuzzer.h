// Runs a program's command line in process against the simulated dimmer,
// with the device's behaviour and the arguments drawn from the input.
#ifndef FUZZ_COMMAND_LINE_FUZZER_H_
#define FUZZ_COMMAND_LINE_FUZZER_H_

#include <cstddef>
#include <cstdint>

using RunFunction = int (*)(int argc, const char* const* argv);

// The first bytes choose the device's state and faults; the rest are the
// arguments, separated by NUL bytes. Aborts when the status is not 0 or 1.
int FuzzCommandLine(const uint8_t* data, size_t size, const char* program, RunFunction run);

#endif  // FUZZ_COMMAND_LINE_FUZZER_H_
