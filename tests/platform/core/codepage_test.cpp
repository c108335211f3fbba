#include "platform/core/codepage.h"

#include <gtest/gtest.h>

namespace velm {
namespace {

TEST(Codepage, ValidUtf8ReadsAsUtf8)
{
    EXPECT_EQ(toUnicode("plain ASCII"), u"plain ASCII");
    EXPECT_EQ(toUnicode("caf\xC3\xA9 \xE2\x82\xAC"), u"caf\u00e9 \u20ac");
    EXPECT_EQ(toUnicode("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(toUnicode(""), u"");
    EXPECT_EQ(toUnicode(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(Codepage, AnythingElseReadsAsWindows1252)
{
    // 174 is the registered sign the HTML entities rely on.
    EXPECT_EQ(toUnicode("\xAE"), u"\u00ae");
    EXPECT_EQ(toUnicode("caf\xE9"), u"caf\u00e9");
    EXPECT_EQ(toUnicode("\x80\x85\x93\x94\x99\x9F"), u"\u20ac\u2026\u201c\u201d\u2122\u0178");
    // The undefined codes keep their control code points.
    EXPECT_EQ(toUnicode("\x81\x8D\x8F\x90\x9D"), u"\u0081\u008d\u008f\u0090\u009d");
    // One bad byte makes the whole text single-byte, valid sequences included.
    EXPECT_EQ(toUnicode("\xC3\xA9\xFF"), u"\u00c3\u00a9\u00ff");
}

TEST(Codepage, SingleBytesBothWays)
{
    EXPECT_EQ(fromCp1252(0x41), u'A');
    EXPECT_EQ(fromCp1252(0x80), u'\u20ac');
    EXPECT_EQ(fromCp1252(0x9F), u'\u0178');
    EXPECT_EQ(fromCp1252(0xE9), u'\u00e9');
    for (int undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
        EXPECT_EQ(fromCp1252(static_cast<unsigned char>(undefined)), char16_t(undefined));
        EXPECT_EQ(toCp1252(char16_t(undefined)), undefined);
    }
    for (int byte = 0; byte < 256; ++byte)
        EXPECT_EQ(toCp1252(fromCp1252(static_cast<unsigned char>(byte))), byte) << byte;
    EXPECT_EQ(toCp1252(u'\u0080'), -1) << "the C1 control 0x80 is the euro sign's byte";
    EXPECT_EQ(toCp1252(u'\u0416'), -1);
    EXPECT_EQ(toCp1252(u'\u20ac'), 0x80);
}

TEST(Codepage, StrictUtf8)
{
    EXPECT_EQ(toUnicode("\xC0\xAF"), u"\u00c0\u00af");             // overlong "/"
    EXPECT_EQ(toUnicode("\xE0\x80\xAF"), u"\u00e0\u20ac\u00af");   // overlong
    EXPECT_EQ(toUnicode("\xED\xA0\x80"), u"\u00ed\u00a0\u20ac");   // surrogate D800
    EXPECT_EQ(toUnicode("\xF4\x90\x80\x80"), u"\u00f4\u0090\u20ac\u20ac"); // above 10FFFF
    EXPECT_EQ(toUnicode("\xE2\x82"), u"\u00e2\u201a");              // cut short
    EXPECT_EQ(toUnicode("\xEF\xBF\xBF"), u"\uffff");                // noncharacters are valid
}

TEST(Codepage, ToUtf8RoundTrips)
{
    const std::string samples[] = {"abc", "caf\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", ""};
    for (const std::string& s : samples)
        EXPECT_EQ(toUtf8(toUnicode(s)), s);
    EXPECT_EQ(toUtf8(u"\u00ae"), "\xC2\xAE");
    EXPECT_EQ(toUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    // Every Windows-1252 byte survives the trip into UTF-8 and back.
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    std::u16string wide = toUnicode(all);
    ASSERT_EQ(wide.size(), 255u);
    EXPECT_EQ(toUnicode(toUtf8(wide)), wide);
}

TEST(Codepage, SafeCut)
{
    const std::string text = "ab\xE2\x82\xAC" "cd"; // a b € c d
    EXPECT_EQ(utf8SafeCut(text, 100), text.size());
    EXPECT_EQ(utf8SafeCut(text, 2), 2u);
    EXPECT_EQ(utf8SafeCut(text, 3), 2u);
    EXPECT_EQ(utf8SafeCut(text, 4), 2u);
    EXPECT_EQ(utf8SafeCut(text, 5), 5u);
    EXPECT_EQ(utf8SafeCut(text, 0), 0u);
    EXPECT_EQ(utf8SafeCut("\xF0\x9F\x98\x80x", 3), 0u);
    // Windows-1252 text has no sequences to respect.
    EXPECT_EQ(utf8SafeCut("ab\xFF\x80\x80", 4), 4u);
    EXPECT_EQ(utf8SafeCut("ab\xE9t\x80\x80", 5), 5u);
    EXPECT_EQ(utf8SafeCut("\x80\x80\x80\x80\x80", 3), 3u);
}

} // namespace
} // namespace velm
