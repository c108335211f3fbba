#include "platform/core/convert.h"

#include "platform/core/errors.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <locale.h>
#include <optional>

namespace velm {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<int> parseInt(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    // Hexadecimal text spells the 32-bit pattern, as the platform reads it
    // ($FFFFFFFF is -1); decimal text must fit the signed range.
    const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    for (; i < text.size(); ++i) {
        int digit = hex ? hexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (magnitude > limit)
            return std::nullopt;
    }
    if (hex) {
        auto pattern = static_cast<std::uint32_t>(magnitude);
        if (negative)
            pattern = 0u - pattern;
        return static_cast<int>(static_cast<std::int32_t>(pattern));
    }
    return negative ? static_cast<int>(-static_cast<std::int64_t>(magnitude))
                    : static_cast<int>(magnitude);
}

locale_t cLocale()
{
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

[[noreturn]] void notAFloat(std::string_view text)
{
    throw ConversionError(
        format("'%s' is not a valid floating point value", std::string(text).c_str()));
}

} // namespace

int strToInt(std::string_view text)
{
    if (std::optional<int> value = parseInt(text))
        return *value;
    throw ConversionError(format("'%s' is not a valid integer value", std::string(text).c_str()));
}

int strToIntDef(std::string_view text, int fallback) { return parseInt(text).value_or(fallback); }

double strToFloat(std::string_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    // Check the grammar ourselves: strtod would also take "inf", "nan",
    // hexadecimal floats and the locale's decimal comma.
    std::size_t i = begin;
    if (i < end && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < end && text[i] >= '0' && text[i] <= '9')
        ++i, ++digits;
    if (i < end && text[i] == '.') {
        ++i;
        while (i < end && text[i] >= '0' && text[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0)
        notAFloat(text);
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < end && (text[i] == '+' || text[i] == '-'))
            ++i;
        std::size_t exponentDigits = 0;
        while (i < end && text[i] >= '0' && text[i] <= '9')
            ++i, ++exponentDigits;
        if (exponentDigits == 0)
            notAFloat(text);
    }
    if (i != end)
        notAFloat(text);
    std::string number(text.substr(begin, end - begin));
    double value = strtod_l(number.c_str(), nullptr, cLocale());
    if (std::isinf(value))
        notAFloat(text); // overflow
    return value;
}

std::size_t leadingDigits(std::string_view text)
{
    std::size_t n = 0;
    while (n < text.size() && text[n] >= '0' && text[n] <= '9')
        ++n;
    return n;
}

int roundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    double lower = std::floor(value);
    double rest = value - lower;
    double rounded = lower;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(lower, 2.0) != 0.0))
        rounded = lower + 1.0;
    if (rounded >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (rounded <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(rounded);
}

std::string formatGeneral(double value)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value > 0 ? "INF" : "-INF";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string text(buffer, result.ptr);
    // The platform writes exponents as "1E20" and "1E-5", not "1e+20".
    std::size_t e = text.find('e');
    if (e != std::string::npos) {
        std::string mantissa = text.substr(0, e);
        std::string exponent = text.substr(e + 1);
        bool negative = !exponent.empty() && exponent[0] == '-';
        if (!exponent.empty() && (exponent[0] == '-' || exponent[0] == '+'))
            exponent.erase(0, 1);
        exponent.erase(0, std::min(exponent.find_first_not_of('0'), exponent.size() - 1));
        text = mantissa + "E" + (negative ? "-" : "") + exponent;
    }
    if (text == "-0")
        text = "0";
    return text;
}

std::string formatFixed(double value, int decimals)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value > 0 ? "INF" : "-INF";
    decimals = std::max(0, std::min(decimals, 18));
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text(buffer, result.ptr);
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1); // -0.001 to two decimals is "0.00"
    return text;
}

} // namespace velm
