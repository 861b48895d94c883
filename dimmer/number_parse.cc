#include "dimmer/number_parse.h"

#include <cctype>

bool ParseUnsigned(const char* text, uint32_t* value) {
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;

  uint64_t magnitude = 0;
  for (; std::isdigit(static_cast<unsigned char>(*p)); ++p) {
    magnitude = magnitude * 10 + static_cast<unsigned>(*p - '0');
    if (magnitude > UINT32_MAX) return false;
  }
  const uint32_t result = static_cast<uint32_t>(magnitude);
  *value = negative ? 0u - result : result;
  return true;
}
