#include "platform/fonts.h"

#include <QFont>
#include <QFontInfo>
#include <gtest/gtest.h>

#include <numeric>

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
    EXPECT_EQ(QFontInfo(qtFontFor(font(u"Arial", -13))).family(), "Liberation Sans");
    EXPECT_EQ(QFontInfo(qtFontFor(font(u"arial", -13))).family(), "Liberation Sans");
    EXPECT_EQ(QFontInfo(qtFontFor(font(u"Times New Roman", -13))).family(), "Liberation Serif");
    EXPECT_EQ(QFontInfo(qtFontFor(font(u"Courier New", -13))).family(), "Liberation Mono");
    EXPECT_EQ(QFontInfo(qtFontFor(font(u"MS Sans Serif", -13))).family(), "Liberation Sans");
    EXPECT_EQ(QFontInfo(qtFontFor(font(u"", -13))).family(), "Liberation Sans");
}

TEST(Fonts, QtFontCarriesTheLogFont)
{
    LogFont lf = font(u"Arial", -81, 700);
    lf.italic = true;
    lf.underline = true;
    lf.strikeOut = true;
    QFont q = qtFontFor(lf);
    EXPECT_EQ(q.pixelSize(), 81);
    EXPECT_EQ(q.weight(), QFont::Bold);
    EXPECT_TRUE(q.italic());
    EXPECT_TRUE(q.underline());
    EXPECT_TRUE(q.strikeOut());
    EXPECT_FALSE(q.kerning());
    EXPECT_EQ(q.hintingPreference(), QFont::PreferNoHinting);
}

TEST(Fonts, NegativeHeightIsEmPositiveHeightIsCell)
{
    // Arial's cell is 2288/2048 of its em, so a 13-pixel cell holds a 12-pixel em.
    EXPECT_EQ(qtFontFor(font(u"Arial", -13)).pixelSize(), 13);
    EXPECT_EQ(qtFontFor(font(u"Arial", 13)).pixelSize(), 12);
    EXPECT_EQ(qtFontFor(font(u"Arial", 90)).pixelSize(), 81);
    EXPECT_EQ(cellHeight(font(u"Arial", -13)), 15);
    EXPECT_NEAR(cellHeight(font(u"Arial", 900)), 900, 1);
    EXPECT_NEAR(cellHeight(font(u"Courier New", 300)), 300, 1);
    EXPECT_LT(textWidth(font(u"Arial", 13), u"Hello world"),
              textWidth(font(u"Arial", -13), u"Hello world"));
    // 0 is the default size: a 16-pixel cell.
    EXPECT_EQ(qtFontFor(font(u"Arial", 0)).pixelSize(), qtFontFor(font(u"Arial", 16)).pixelSize());
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

TEST(Fonts, MissingGlyphsUseTheFallbackFaceAdvance)
{
    // Liberation Sans has no Han characters; the fallback face gives them a width.
    LogFont lf = font(u"Arial", -100);
    std::vector<int> adv = textAdvances(lf, u"\u4e2d");
    EXPECT_GT(adv[0], 30);
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

#include "platform/display.h"

namespace velm {
namespace {

TEST(Display, OffscreenPlatformGivesTheVirtualDisplay)
{
    // The test programs run on the offscreen platform, whose screen is invented.
    const DisplayMetrics m = displayMetrics();
    EXPECT_EQ(m.widthPx, 1024);
    EXPECT_EQ(m.heightPx, 768);
    EXPECT_EQ(m.logPixelsX, 96);
    EXPECT_EQ(m.logPixelsY, 96);
}

} // namespace
} // namespace velm
