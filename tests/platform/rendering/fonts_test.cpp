#include "platform/rendering/fonts.h"

#include <QFont>
#include <QRawFont>
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <tuple>
#include <vector>

namespace velm {
namespace {

LogFont font(const char16_t* face, int height, int weight = 400)
{
    LogFont f;
    f.faceName = face;
    f.height = height;
    f.weight = weight;
    return f;
}

TEST(Fonts, WindowsFacesResolveToMetricCompatibleFaces)
{
    EXPECT_EQ(resolvedFont(font(u"Arial", -13)).family(), "Liberation Sans");
    EXPECT_EQ(resolvedFont(font(u"arial", -13)).family(), "Liberation Sans");
    EXPECT_EQ(resolvedFont(font(u"Times New Roman", -13)).family(), "Liberation Serif");
    EXPECT_EQ(resolvedFont(font(u"Courier New", -13)).family(), "Liberation Mono");
    EXPECT_EQ(resolvedFont(font(u"MS Sans Serif", -13)).family(), "Liberation Sans");
    EXPECT_EQ(resolvedFont(font(u"", -13)).family(), "Liberation Sans");
}

TEST(Fonts, TheFaceHasTheWeightStyleAndEm)
{
    LogFont lf = font(u"Arial", -81, 700);
    lf.italic = true;
    ResolvedFont& resolved = resolvedFont(lf);
    EXPECT_EQ(resolved.em(), 81);
    EXPECT_EQ(resolved.face(0).pixelSize(), 81);
    EXPECT_EQ(resolved.face(0).styleName(), "Bold Italic");
}

TEST(Fonts, NegativeHeightIsEmPositiveHeightIsCell)
{
    // Arial's cell is 2288/2048 of its em, so a 13-pixel cell holds a 12-pixel em.
    EXPECT_EQ(resolvedFont(font(u"Arial", -13)).em(), 13);
    EXPECT_EQ(resolvedFont(font(u"Arial", 13)).em(), 12);
    EXPECT_EQ(resolvedFont(font(u"Arial", 90)).em(), 81);
    EXPECT_EQ(resolvedFont(font(u"Arial", -13)).cellHeight(), 15);
    EXPECT_NEAR(resolvedFont(font(u"Arial", 900)).cellHeight(), 900, 1);
    EXPECT_NEAR(resolvedFont(font(u"Courier New", 300)).cellHeight(), 300, 1);
    EXPECT_LT(textWidth(font(u"Arial", 13), u"Hello world"),
              textWidth(font(u"Arial", -13), u"Hello world"));
    // 0 is the default size: a 16-pixel cell.
    EXPECT_EQ(resolvedFont(font(u"Arial", 0)).em(), resolvedFont(font(u"Arial", 16)).em());
}

TEST(Fonts, AdvancesAreDesignAdvancesRoundedPerCharacter)
{
    // Liberation Sans (= Arial) design advances in 2048 units: A 1366, W 1933, i 455, space 569.
    LogFont lf = font(u"Arial", -2048);
    EXPECT_EQ(textAdvances(lf, u"AWi "), (std::vector<int>{1366, 1933, 455, 569}));
    LogFont small = font(u"Arial", -81);
    // 1366 * 81 / 2048 = 54.03, 455 * 81 / 2048 = 18.0, 1933 * 81 / 2048 = 76.45
    EXPECT_EQ(textAdvances(small, u"AiW"), (std::vector<int>{54, 18, 76}));
    EXPECT_EQ(textAdvances(font(u"Courier New", -100), u"il.W"), (std::vector<int>{60, 60, 60, 60}));
    EXPECT_TRUE(textAdvances(lf, u"").empty());
}

TEST(Fonts, TextWidthIsTheSumOfAdvances)
{
    LogFont lf = font(u"Times New Roman", -83);
    std::u16string text = u"The quick brown fox jumps over the lazy dog, \u00e9\u00df\u20ac 123!";
    std::vector<int> adv = textAdvances(lf, text);
    ASSERT_EQ(adv.size(), text.size());
    EXPECT_EQ(textWidth(lf, text), std::accumulate(adv.begin(), adv.end(), 0));
    EXPECT_GT(textWidth(lf, text), 1000);
}

TEST(Fonts, WidthScalesLinearlyAndBoldIsWider)
{
    std::u16string text(200, u'a');
    text += u"Lorem ipsum dolor sit amet, consectetur adipiscing elit";
    int w10 = textWidth(font(u"Arial", -100), text);
    int w20 = textWidth(font(u"Arial", -200), text);
    EXPECT_NEAR(double(w20) / w10, 2.0, 0.02);
    EXPECT_GT(textWidth(font(u"Arial", -100, 700), text), w10);
    EXPECT_GT(textWidth(font(u"Arial", -100, 700), u"Hello"), textWidth(font(u"Arial", -100), u"Hello"));
}

TEST(Fonts, SurrogatePairsCarryTheirAdvanceOnTheFirstUnit)
{
    LogFont lf = font(u"Arial", -100);
    std::u16string text = u"a\U0001F600b";
    ASSERT_EQ(text.size(), 4u);
    std::vector<int> adv = textAdvances(lf, text);
    EXPECT_GT(adv[1], 0);
    EXPECT_EQ(adv[2], 0);
    EXPECT_EQ(textWidth(lf, text), adv[0] + adv[1] + adv[3]);
}

TEST(Fonts, MissingCharactersComeFromAnInstalledFaceAndMeasureAsTheyPrint)
{
    // Liberation Sans has no Devanagari, Han or Thai; the installed faces do.
    for (int weight : {400, 700}) {
        const LogFont lf = font(u"Arial", -100, weight);
        ResolvedFont& resolved = resolvedFont(lf);
        for (char32_t c : {U'\u0928', U'\u4e2d', U'\u0e2a'}) {
            SCOPED_TRACE(static_cast<int>(c));
            const Glyph g = resolved.glyph(c);
            EXPECT_TRUE(g.covered && g.drawn);
            ASSERT_GT(g.face, 0);
            const QRawFont& face = resolved.face(g.face);
            EXPECT_TRUE(face.supportsCharacter(c));
            EXPECT_NE(face.familyName(), "Liberation Sans");
            EXPECT_EQ(face.pixelSize(), 100);
            EXPECT_GT(g.advance, 30);
            EXPECT_EQ(textAdvances(lf, std::u16string(1, static_cast<char16_t>(c)))[0], std::lround(g.advance));
        }
        // A family that has bold gives its bold face to bold text.
        EXPECT_EQ(resolved.face(resolved.glyph(U'\u0928').face).weight(), weight);
    }
    EXPECT_TRUE(takeUncoveredCharacters().empty());
}

TEST(Fonts, CharactersNoFaceHasAreBoxesNotedOnceInOrder)
{
    takeUncoveredCharacters();
    const LogFont lf = font(u"Arial", -2048);
    // U+0378 is unassigned; no face draws the private U+10FFFD.
    const std::vector<int> advances = textAdvances(lf, u"a\u0378b\U0010FFFD\u0378");
    const Glyph box = resolvedFont(lf).glyph(0x378);
    EXPECT_FALSE(box.covered);
    EXPECT_TRUE(box.drawn);
    EXPECT_EQ(box.index, 0u);
    EXPECT_EQ(box.face, 0);
    EXPECT_EQ(advances, (std::vector<int>{1139, 1536, 1139, 1536, 0, 1536})); // .notdef is 1536 units wide
    EXPECT_EQ(takeUncoveredCharacters(), (std::vector<char32_t>{0x378, 0x10FFFD}));
    // The next job hears of them again, from the cache.
    textWidth(lf, u"\u0378");
    EXPECT_EQ(takeUncoveredCharacters(), (std::vector<char32_t>{0x378}));
}

// Characters below U+0100 are answered from the font's table after the
// first lookup: the same glyph and rounded advance whether measuring or
// drawing met them first.
TEST(Fonts, RepeatedLatin1LookupsGiveTheFirstAnswer)
{
    for (const char16_t* face : {u"Arial", u"Courier New"}) {
        ResolvedFont& resolved = resolvedFont(font(face, -37));
        std::vector<Glyph> first;
        std::vector<int> rounded;
        for (char32_t c = 0; c < 256; ++c) {
            if (c % 2)
                rounded.push_back(resolved.advance(c));
            first.push_back(resolved.glyph(c));
            if (!(c % 2))
                rounded.push_back(resolved.advance(c));
        }
        for (char32_t c = 0; c < 256; ++c) {
            SCOPED_TRACE(static_cast<int>(c));
            const Glyph again = resolved.glyph(c);
            EXPECT_EQ(std::tie(again.index, again.face, again.drawn, again.covered, again.advance),
                      std::tie(first[c].index, first[c].face, first[c].drawn, first[c].covered, first[c].advance));
            EXPECT_EQ(resolved.advance(c), rounded[c]);
            EXPECT_EQ(rounded[c], static_cast<int>(std::nearbyint(first[c].advance)));
        }
    }
}

TEST(Fonts, ControlsAndIgnorablesTheFaceLacksTakeNoRoom)
{
    takeUncoveredCharacters();
    const LogFont lf = font(u"Arial", -100);
    EXPECT_EQ(textAdvances(lf, u"\u0001\u001b\u0085\ufeff\ufe0f"), (std::vector<int>{0, 0, 0, 0, 0}));
    EXPECT_FALSE(resolvedFont(lf).glyph(0x1b).drawn);
    EXPECT_TRUE(takeUncoveredCharacters().empty());
}

TEST(Fonts, LongTextsMeasureQuickly)
{
    std::u16string line = u"All work and no play makes Jack a dull boy. ";
    std::u16string text;
    for (int i = 0; i < 2000; ++i)
        text += line;
    LogFont lf = font(u"Courier New", -83);
    // 88000 characters in a monospace face: the sum is exact.
    int unit = textAdvances(lf, u"x")[0];
    EXPECT_EQ(textWidth(lf, text), unit * static_cast<int>(text.size()));
}

} // namespace
} // namespace velm
