#include "fuzz/command_line_fuzzer.h"
#include "quorlet/control_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzCommandLine(data, size, "quorlet", RunQuorlet);
}
