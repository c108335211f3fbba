#include "platform/core/convert.h"
#include "platform/core/errors.h"

#include <gtest/gtest.h>

#include <climits>

namespace velm {
namespace {

std::string intError(std::string_view text)
{
    try {
        strToInt(text);
    } catch (const ConversionError& e) {
        return e.what();
    }
    return "no error";
}

std::string floatError(std::string_view text)
{
    try {
        strToFloat(text);
    } catch (const ConversionError& e) {
        return e.what();
    }
    return "no error";
}

TEST(Convert, IntegersAsThePlatformReadsThem)
{
    EXPECT_EQ(strToInt("12"), 12);
    EXPECT_EQ(strToInt(" 12"), 12);
    EXPECT_EQ(strToInt("\t  12"), 12);
    EXPECT_EQ(strToInt("+12"), 12);
    EXPECT_EQ(strToInt("-12"), -12);
    EXPECT_EQ(strToInt("-0"), 0);
    EXPECT_EQ(strToInt("007"), 7);
    EXPECT_EQ(strToInt("$1F"), 31);
    EXPECT_EQ(strToInt("$1f"), 31);
    EXPECT_EQ(strToInt("0x1f"), 31);
    EXPECT_EQ(strToInt("0X1F"), 31);
    EXPECT_EQ(strToInt("-$10"), -16);
    EXPECT_EQ(strToInt("       255"), 255);
    EXPECT_EQ(strToInt("2147483647"), INT_MAX);
    EXPECT_EQ(strToInt("-2147483648"), INT_MIN);
    // Hexadecimal spells the 32-bit pattern.
    EXPECT_EQ(strToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(strToInt("$7FFFFFFF"), INT_MAX);
}

TEST(Convert, NotIntegers)
{
    EXPECT_EQ(intError("abc"), "'abc' is not a valid integer value");
    EXPECT_EQ(intError("12 "), "'12 ' is not a valid integer value");
    EXPECT_EQ(intError(""), "'' is not a valid integer value");
    EXPECT_EQ(intError(" "), "' ' is not a valid integer value");
    EXPECT_EQ(intError("-"), "'-' is not a valid integer value");
    EXPECT_EQ(intError("$"), "'$' is not a valid integer value");
    EXPECT_EQ(intError("0x"), "'0x' is not a valid integer value");
    EXPECT_EQ(intError("1.5"), "'1.5' is not a valid integer value");
    EXPECT_EQ(intError("1-5"), "'1-5' is not a valid integer value");
    EXPECT_EQ(intError("--1"), "'--1' is not a valid integer value");
    EXPECT_EQ(intError("2147483648"), "'2147483648' is not a valid integer value");
    EXPECT_EQ(intError("-2147483649"), "'-2147483649' is not a valid integer value");
    EXPECT_EQ(intError("99999999999999999999999"), "'99999999999999999999999' is not a valid integer value");
    EXPECT_EQ(intError("$100000000"), "'$100000000' is not a valid integer value");
    EXPECT_EQ(intError("$G"), "'$G' is not a valid integer value");
    EXPECT_EQ(strToIntDef("abc", -7), -7);
    EXPECT_EQ(strToIntDef(" 42", -7), 42);
    EXPECT_EQ(strToIntDef("42 ", -7), -7);
}

TEST(Convert, FloatingPoint)
{
    EXPECT_DOUBLE_EQ(strToFloat("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(strToFloat(" 1.5 "), 1.5);
    EXPECT_DOUBLE_EQ(strToFloat("-2.25"), -2.25);
    EXPECT_DOUBLE_EQ(strToFloat("+3"), 3.0);
    EXPECT_DOUBLE_EQ(strToFloat("1e3"), 1000.0);
    EXPECT_DOUBLE_EQ(strToFloat("1.5E-2"), 0.015);
    EXPECT_DOUBLE_EQ(strToFloat(".5"), 0.5);
    EXPECT_DOUBLE_EQ(strToFloat("5."), 5.0);
    EXPECT_DOUBLE_EQ(strToFloat("100.0"), 100.0);
    EXPECT_EQ(floatError("abc"), "'abc' is not a valid floating point value");
    EXPECT_EQ(floatError(""), "'' is not a valid floating point value");
    EXPECT_EQ(floatError("1,5"), "'1,5' is not a valid floating point value");
    EXPECT_EQ(floatError("1e"), "'1e' is not a valid floating point value");
    EXPECT_EQ(floatError("."), "'.' is not a valid floating point value");
    EXPECT_EQ(floatError("inf"), "'inf' is not a valid floating point value");
    EXPECT_EQ(floatError("nan"), "'nan' is not a valid floating point value");
    EXPECT_EQ(floatError("0x10"), "'0x10' is not a valid floating point value");
    EXPECT_EQ(floatError("1 5"), "'1 5' is not a valid floating point value");
    EXPECT_EQ(floatError("1e999"), "'1e999' is not a valid floating point value");
}

TEST(Convert, FloatingPointIgnoresTheLocale)
{
    // Qt applications take the user's locale; a German decimal comma must not leak in.
    const char* old = setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    if (setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        EXPECT_DOUBLE_EQ(strToFloat("1.5"), 1.5);
        EXPECT_EQ(formatGeneral(12.5), "12.5");
        EXPECT_EQ(formatFixed(3.14159, 2), "3.14");
    }
    setlocale(LC_NUMERIC, saved.c_str());
}

TEST(Convert, RoundHalfEven)
{
    struct Case {
        double value;
        int expected;
    };
    const Case cases[] = {
        {0.5, 0},   {1.5, 2},   {2.5, 2},     {3.5, 4},    {-0.5, 0},  {-1.5, -2},
        {-2.5, -2}, {2.4999, 2}, {2.5001, 3}, {81.25, 81}, {118.11, 118}, {-3.7, -4},
        {0.0, 0},   {7.0, 7},   {1e12, INT_MAX}, {-1e12, INT_MIN},
    };
    for (const Case& c : cases)
        EXPECT_EQ(roundHalfEven(c.value), c.expected) << c.value;
}

TEST(Convert, FormatGeneralAndFixed)
{
    EXPECT_EQ(formatGeneral(100), "100");
    EXPECT_EQ(formatGeneral(100.0), "100");
    EXPECT_EQ(formatGeneral(12.5), "12.5");
    EXPECT_EQ(formatGeneral(24.63), "24.63");
    EXPECT_EQ(formatGeneral(0.1), "0.1");
    EXPECT_EQ(formatGeneral(-3.25), "-3.25");
    EXPECT_EQ(formatGeneral(0), "0");
    EXPECT_EQ(formatGeneral(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(formatGeneral(1e20), "1E20");
    EXPECT_EQ(formatGeneral(1e-5), "1E-5");
    EXPECT_EQ(formatGeneral(0.0001), "0.0001");
    EXPECT_EQ(formatFixed(3.14159, 2), "3.14");
    EXPECT_EQ(formatFixed(2.5, 0), "2");
    EXPECT_EQ(formatFixed(255, 0), "255");
    EXPECT_EQ(formatFixed(-0.001, 2), "0.00");
    EXPECT_EQ(formatFixed(1.005, 1), "1.0");
    EXPECT_EQ(formatFixed(12, 3), "12.000");
}

TEST(Errors, FormatFillsTheMessage)
{
    EXPECT_EQ(format("'%s' is not a valid integer value", "x"), "'x' is not a valid integer value");
    std::string big(1000, 'a');
    EXPECT_EQ(format("<%s>", big.c_str()), "<" + big + ">");
    EXPECT_EQ(format("%d/%d", 3, 4), "3/4");
    EXPECT_EQ(format("plain"), "plain");
}

} // namespace
} // namespace velm
