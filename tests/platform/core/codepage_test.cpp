#include "platform/core/codepage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

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

// Cutting and decoding see the same characters: walking the text by the
// UTF-8 rule (one byte where no sequence starts), every step decodes to one
// code point, and every cut lands on the last step boundary at or before it.
TEST(Codepage, CutAndDecodeAgreeOnMalformedUtf8)
{
    const std::string samples[] = {
        "a\xC0\xAF" "b",                     // overlong "/"
        "\xE0\x80\xAF\xF0\x80\x80\xAF",       // overlong in three and four bytes
        "x\xED\xA0\x80\xED\xBF\xBFy",          // encoded surrogates
        "\xF4\x90\x80\x80\xF7\xBF\xBF\xBF",    // above U+10FFFF
        "ok \xE2\x82\xAC\xF0\x9F\x98",          // a sequence cut short by the end
        "\x80\xBF\xC3\xA9\xA9\xBF\xBF\xBF",    // stray continuation bytes
        "caf\xE9 \x93quoted\x94 \x80",          // Windows-1252
        "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",  // valid, for contrast
    };
    for (const std::string& s : samples) {
        SCOPED_TRACE(testing::PrintToString(s));
        std::vector<std::size_t> boundaries{0};
        while (boundaries.back() < s.size()) {
            const std::size_t at = boundaries.back();
            const std::size_t n = std::max<std::size_t>(utf8SequenceLength(s, at), 1);
            const std::u16string one = toUnicode(s.substr(at, n));
            EXPECT_EQ(codePointAt(one, 0).units, one.size()) << "at " << at;
            boundaries.push_back(at + n);
        }
        for (std::size_t max = 0; max <= s.size(); ++max) {
            const auto last = std::upper_bound(boundaries.begin(), boundaries.end(), max) - 1;
            EXPECT_EQ(utf8SafeCut(s, max), *last) << "cut at " << max;
        }
    }
}

TEST(Codepage, SurrogatePairs)
{
    const std::u16string text = u"a\U0001F600\xD800" u"b\xDC00";
    std::u16string rebuilt;
    std::vector<char32_t> points;
    for (std::size_t i = 0; i < text.size();) {
        const CodePoint c = codePointAt(text, i);
        points.push_back(c.value);
        appendUtf16(rebuilt, c.value);
        i += c.units;
    }
    EXPECT_EQ(points, (std::vector<char32_t>{'a', 0x1F600, 0xD800, 'b', 0xDC00})); // lone ones stand alone
    EXPECT_EQ(rebuilt, text);
    std::u16string top;
    appendUtf16(top, 0x10FFFF);
    EXPECT_EQ(top, u"\U0010FFFF");
}

} // namespace
} // namespace velm
