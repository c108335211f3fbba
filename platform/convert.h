// Number conversions with the rules the settings, ranges and preview share.
#pragma once

#include <string>
#include <string_view>

namespace velm {

// Leading blanks, an optional sign, then decimal digits, or hexadecimal after
// "$" or "0x"; nothing may follow. Throws ConversionError
// "'<text>' is not a valid integer value".
int strToInt(std::string_view text);
// strToInt, or fallback when the text is not a number.
int strToIntDef(std::string_view text, int fallback);
// Leading and trailing blanks allowed, '.' as decimal separator, optional
// exponent. Throws ConversionError "'<text>' is not a valid floating point value".
double strToFloat(std::string_view text);

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
int roundHalfEven(double value);

// Shortest general form: 100 -> "100", 12.5 -> "12.5".
std::string formatGeneral(double value);
// Fixed point with the given number of decimals: (3.14159, 2) -> "3.14".
std::string formatFixed(double value, int decimals);

} // namespace velm
