// The values of Alpaca request parameters, read as ASCOM defines them:
// nothing but what the parameter takes is accepted.
#ifndef ALPACA_ALPACA_VALUES_H_
#define ALPACA_ALPACA_VALUES_H_

#include <cstdint>
#include <string>
#include <string_view>

// An optional sign and decimal digits, within 32 signed bits.
bool ParseInt32(const std::string& text, int32_t* value);

// "True" or "False", in any case.
bool ParseBool(const std::string& text, bool* value);

// A client's ID or transaction number: 1 to 4294967295 in decimal digits;
// anything else counts as not given, 0.
uint32_t ParseClientNumber(const std::string& text);

// Whether the two are the same but for the case of ASCII letters, as
// Alpaca compares parameter names and True/False.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

#endif  // ALPACA_ALPACA_VALUES_H_
