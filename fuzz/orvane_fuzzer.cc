#include "fuzz/command_line_fuzzer.h"
#include "orvane/panel_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return FuzzCommandLine(data, size, "orvane", RunOrvane);
}
