// ParseUnsigned against the C library's "%u": the same result whenever the
// digits fit in 32 bits, and no number whenever they do not.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dimmer/number_parse.h"

namespace {

// Whether the digits that "%u" would read fit in 32 bits; true when there
// are none, since then there is nothing to wrap.
bool DigitsFit(const char* text) {
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  if (*p == '+' || *p == '-') ++p;
  while (*p == '0') ++p;
  size_t length = 0;
  while (std::isdigit(static_cast<unsigned char>(p[length]))) ++length;
  return length < 10 || (length == 10 && std::strncmp(p, "4294967295", 10) <= 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  uint32_t ours = 0;
  const bool parsed = ParseUnsigned(text.c_str(), &ours);
  unsigned theirs = 0;
  const bool library_parsed = std::sscanf(text.c_str(), "%u", &theirs) == 1;
  const bool agree = DigitsFit(text.c_str()) ? parsed == library_parsed && (!parsed || ours == theirs)
                                             : !parsed;
  if (!agree) {
    std::fprintf(stderr, "\"%s\": ours %d %u, %%u %d %u\n", text.c_str(), parsed, ours,
                 library_parsed, theirs);
    std::abort();
  }
  return 0;
}
