// Number conversions with the rules the settings, ranges and preview share.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velm {

// Leading blanks, an optional sign, then decimal digits, or hexadecimal after
// "$" or "0x"; nothing may follow. Blanks are spaces and tabs. Decimal
// text must fit a 32-bit int; hexadecimal text spells the 32-bit pattern
// ($FFFFFFFF is -1), as the platform reads it. Throws ConversionError
// "'<text>' is not a valid integer value" with the text as given.
int strToInt(std::string_view text);
// strToInt, or fallback when the text is not a number.
int strToIntDef(std::string_view text, int fallback);
// Leading and trailing blanks allowed, '.' as decimal separator, optional
// exponent; the locale is never consulted. Throws ConversionError
// "'<text>' is not a valid floating point value", also on overflow.
double strToFloat(std::string_view text);

// How many ASCII digits text starts with: file names are matched with it.
std::size_t leadingDigits(std::string_view text);

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4);
// values beyond the int range give INT_MIN / INT_MAX, NaN gives 0.
int roundHalfEven(double value);

// General form with up to 15 significant digits, as the platform's
// FloatToStr: 100 -> "100", 12.5 -> "12.5", 1e20 -> "1E20", 1e-5 -> "1E-5".
std::string formatGeneral(double value);
// Fixed point with the given number of decimals: (3.14159, 2) -> "3.14".
std::string formatFixed(double value, int decimals);

} // namespace velm
