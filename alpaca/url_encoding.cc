#include "alpaca/url_encoding.h"

#include <algorithm>

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string PercentDecode(std::string_view text, bool plus_is_space) {
  // Most names, values and paths have nothing to decode.
  if (std::none_of(text.begin(), text.end(),
                   [plus_is_space](char c) { return c == '%' || (plus_is_space && c == '+'); })) {
    return std::string(text);
  }
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
        HexDigit(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      decoded += plus_is_space && c == '+' ? ' ' : c;
    }
  }
  return decoded;
}

void ParseFormText(std::string_view text, std::multimap<std::string, std::string>* params) {
  while (!text.empty()) {
    const size_t end = text.find('&');
    const std::string_view pair = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const size_t equals = pair.find('=');
    const std::string_view name = pair.substr(0, equals);
    if (name.empty()) continue;
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
    params->emplace(PercentDecode(name, true), PercentDecode(value, true));
  }
}
