// The URL encoding of request targets and form bodies.
#ifndef ALPACA_URL_ENCODING_H_
#define ALPACA_URL_ENCODING_H_

#include <map>
#include <string>
#include <string_view>

// `text` with each %XX made the byte it stands for, and with '+' made a
// space where `plus_is_space` (query strings and forms, not paths). A '%'
// without two hex digits after it stays as it is.
std::string PercentDecode(std::string_view text, bool plus_is_space);

// Adds the name=value pairs of a query string or form body to `params`,
// decoded. A pair without '=' has an empty value; one without a name is
// left out.
void ParseFormText(std::string_view text, std::multimap<std::string, std::string>* params);

#endif  // ALPACA_URL_ENCODING_H_
