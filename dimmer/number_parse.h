// Reading a decimal number from a command-line argument.
#ifndef DIMMER_NUMBER_PARSE_H_
#define DIMMER_NUMBER_PARSE_H_

#include <cstdint>

// Reads an unsigned number as sscanf's "%u" does: leading white space is
// skipped, one optional '+' or '-' is accepted (a minus negates the value
// modulo 2^32), and digits are read up to the first non-digit; the rest of
// the text is ignored. Unlike "%u", a number whose digits do not fit in 32
// bits is refused rather than wrapped. Returns false, leaving `value`
// untouched, when there is no digit or the number is too large.
bool ParseUnsigned(const char* text, uint32_t* value);

#endif  // DIMMER_NUMBER_PARSE_H_
