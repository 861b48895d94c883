#include "alpaca/alpaca_values.h"

#include <algorithm>
#include <charconv>

namespace {

// Decimal digits only, the whole text, within the range of `Number`.
template <typename Number>
bool ParseDigits(const char* begin, const char* end, Number* value) {
  if (begin == end || *begin < '0' || *begin > '9') return false;
  const std::from_chars_result result = std::from_chars(begin, end, *value);
  return result.ec == std::errc() && result.ptr == end;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

bool ParseInt32(const std::string& text, int32_t* value) {
  const bool negative = !text.empty() && text[0] == '-';
  const size_t start = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  uint32_t magnitude = 0;
  if (!ParseDigits(text.data() + start, text.data() + text.size(), &magnitude)) return false;
  if (magnitude > (negative ? 2147483648u : 2147483647u)) return false;
  *value = static_cast<int32_t>(negative ? -static_cast<int64_t>(magnitude) : magnitude);
  return true;
}

bool ParseBool(const std::string& text, bool* value) {
  if (EqualsIgnoringCase(text, "true")) {
    *value = true;
    return true;
  }
  if (EqualsIgnoringCase(text, "false")) {
    *value = false;
    return true;
  }
  return false;
}

uint32_t ParseClientNumber(const std::string& text) {
  uint32_t number = 0;
  if (!ParseDigits(text.data(), text.data() + text.size(), &number)) return 0;
  return number;
}
