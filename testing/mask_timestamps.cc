#include <cctype>

#include "testing/program_run.h"

namespace {

// '#' stands for a digit.
constexpr char kPrefixShape[] = "[####-##-## ##:##:##.###] ";
constexpr size_t kPrefixLength = sizeof kPrefixShape - 1;

bool HasPrefix(const std::string& text, size_t at) {
  if (text.size() - at < kPrefixLength) return false;
  for (size_t i = 0; i < kPrefixLength; ++i) {
    const char c = text[at + i];
    const bool fits = kPrefixShape[i] == '#' ? std::isdigit(static_cast<unsigned char>(c)) != 0
                                             : c == kPrefixShape[i];
    if (!fits) return false;
  }
  return true;
}

}  // namespace

std::string MaskTimestamps(const std::string& text) {
  std::string masked;
  size_t line = 0;
  while (line < text.size()) {
    size_t end = text.find('\n', line);
    end = end == std::string::npos ? text.size() : end + 1;
    size_t from = line;
    if (HasPrefix(text, line)) {
      masked += "[T] ";
      from += kPrefixLength;
    }
    masked.append(text, from, end - from);
    line = end;
  }
  return masked;
}
