#include "fuzz/command_line_fuzzer.h"

#include <stdlib.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kIntensities[] = {"0", "1", "176", "500", "900", "1023", "1500", "65535"};
constexpr const char* kFaults[] = {
    "",
    "getinten:1:timeout",
    "getinten:1:short2",
    "getinten:1:write",
    "setinten:1:write",
    "setinten:1:read",
    "setstate:1:timeout",
    "getstate:1:short1",
    "getstate:2:read",
    "getstate:1:write",
};

void Set(const char* name, const char* value) {
  if (value == nullptr || *value == '\0') {
    unsetenv(name);
  } else {
    setenv(name, value, 1);
  }
}

}  // namespace

int FuzzCommandLine(const uint8_t* data, size_t size, const char* program, RunFunction run) {
  if (size < 2) return 0;
  // Pauses are recorded, not waited; nothing is logged to files.
  setenv("DIMMER_SIM_INSTANT_SLEEP", "1", 1);
  const uint8_t device = data[0];
  const uint8_t faults = data[1];
  Set("DIMMER_SIM_INTENSITY", kIntensities[device & 7]);
  Set("DIMMER_SIM_BUSY", (device & 0x18) == 0x18 ? "400" : std::to_string((device >> 3) & 3).c_str());
  Set("DIMMER_SIM_BUSY_SHORT", device & 0x20 ? "1" : nullptr);
  Set("DIMMER_SIM_ABSENT", (device & 0xC0) == 0x40 ? "1" : nullptr);
  Set("DIMMER_SIM_LOCKED", (device & 0xC0) == 0x80 ? "1" : nullptr);
  Set("DIMMER_SIM_FAIL", kFaults[(faults & 0x7F) % (sizeof kFaults / sizeof kFaults[0])]);
  Set("DIMMER_SIM_NO_ERROR_TEXT", faults & 0x80 ? "1" : nullptr);

  std::vector<std::string> words = {program};
  std::string word;
  for (size_t i = 2; i < size && words.size() < 8; ++i) {
    if (data[i] == '\0') {
      words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(data[i]);
    }
  }
  if (size > 2 && words.size() < 8) words.push_back(word);
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  argv.push_back(nullptr);

  const int status = run(static_cast<int>(words.size()), argv.data());
  std::fflush(stdout);
  if (status != 0 && status != 1) {
    std::fprintf(stderr, "exit status %d\n", status);
    std::abort();
  }
  return 0;
}
