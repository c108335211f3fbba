// The shaper on translated text from Debian's message catalogues: per
// script the glyphs equal HarfBuzz's own hb-shape for the face it chose,
// right-to-left lines come in visual order with mirrored brackets and
// digits in their order, and shaped lines go through a stored page and
// back glyph for glyph.
#include "platform/core/codepage.h"
#include "platform/metafile/emf_reader.h"
#include "platform/metafile/emf_recorder.h"
#include "platform/rendering/fonts.h"
#include "platform/rendering/painter_device.h"
#include "platform/rendering/shaped_text.h"
#include "platform/rendering/shaper.h"
#include "support/catalogues.h"
#include "support/played.h"
#include "support/testing.h"

#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <gtest/gtest.h>

#include <regex>

namespace velm {
namespace {

using Line = testing::CatalogueLine;
using testing::Catalogue;

LogFont Arial()
{
    LogFont f;
    f.faceName = u"Arial";
    f.height = -42; // 10 points at 300 dpi
    return f;
}

std::u16string RunText(const std::u16string& text, const ShapedRun& run) { return text.substr(run.start, run.length); }

// hb-shape's glyphs for a face file, in font units: id, offsets, advance.
struct HbGlyph {
    unsigned id = 0;
    int x = 0, y = 0, advance = 0;
};

// One run of a line, with the rest of the line as its context.
std::vector<HbGlyph> HbShape(const QRawFont& face, const std::u16string& line, const ShapedRun& run, bool plain)
{
    std::string file;
    const std::string pattern = face.familyName().toStdString() + ":style=" + face.styleName().toStdString();
    testing::run("fc-match -f '%{file}:%{index}' " + testing::Quote(pattern), &file);
    const std::size_t colon = file.rfind(':');
    const std::string command =
        "LC_ALL=C.UTF-8 hb-shape --no-glyph-names --no-clusters --font-size=upem --remove-default-ignorables" +
        std::string(run.start == 0 ? " --bot" : "") + (run.start + run.length == line.size() ? " --eot" : "") +
        " --face-index=" + file.substr(colon + 1) + (plain ? " --features=-kern,-liga" : "") +
        " --text-before=" + testing::Quote(toUtf8(line.substr(0, run.start))) +
        " --text-after=" + testing::Quote(toUtf8(line.substr(run.start + run.length))) + " " +
        testing::Quote(file.substr(0, colon)) + " " + testing::Quote(toUtf8(RunText(line, run))) +
        " 2>/dev/null"; // it echoes the context on stderr
    std::string out;
    EXPECT_EQ(testing::run(command, &out), 0) << command;
    std::vector<HbGlyph> glyphs;
    static const std::regex item(R"((\d+)(?:@(-?\d+),(-?\d+))?\+(-?\d+))");
    for (std::sregex_iterator it(out.begin(), out.end(), item), end; it != end; ++it)
        glyphs.push_back({static_cast<unsigned>(std::stoul((*it)[1])), (*it)[2].matched ? std::stoi((*it)[2]) : 0,
                          (*it)[3].matched ? std::stoi((*it)[3]) : 0, std::stoi((*it)[4])});
    return glyphs;
}

class ShapedScript : public ::testing::TestWithParam<const char*> {};

TEST_P(ShapedScript, GlyphsAreHarfBuzzsForTheFaceItChose)
{
    const Line& line = Catalogue().at(GetParam());
    SCOPED_TRACE(line.source);
    ShapedLine shaped;
    shapeLine(Arial(), line.text, shaped);
    ASSERT_FALSE(shaped.fast);
    ASSERT_FALSE(shaped.runs.empty());
    const std::string script = GetParam();
    const bool plain = script == "Greek" || script == "Cyrillic";
    int width = 0;
    for (const ShapedRun& run : shaped.runs) {
        // One script (Japanese: three), one face: no word switches face.
        EXPECT_EQ(run.face, shaped.runs[0].face);
        EXPECT_EQ(shaped.rightToLeft, run.rightToLeft());
        const QRawFont& face = resolvedFont(Arial()).face(run.face);
        // A sans face falls back on sans faces (Tibetan has only a serif one).
        EXPECT_TRUE(!face.familyName().contains(QLatin1String("Serif")) || script == "Tibetan")
            << face.familyName().toStdString();
        const std::vector<HbGlyph> expected = HbShape(face, line.text, run, plain);
        ASSERT_EQ(run.glyphs.size(), expected.size()) << face.familyName().toStdString();
        const double scale = face.pixelSize() / face.unitsPerEm();
        const auto px = [scale](int units) { return static_cast<int>(std::nearbyint(units * scale)); };
        for (std::size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE("glyph " + std::to_string(i) + " of " + face.familyName().toStdString());
            EXPECT_EQ(run.glyphs[i].id, expected[i].id);
            EXPECT_EQ(run.glyphs[i].advance, px(expected[i].advance));
            EXPECT_EQ(run.glyphs[i].offsetX, px(expected[i].x));
            EXPECT_EQ(run.glyphs[i].offsetY, -px(expected[i].y));
            width += run.glyphs[i].advance;
        }
    }
    EXPECT_EQ(shaped.width(), width);
    EXPECT_EQ(takeUncoveredCharacters(), std::vector<char32_t>{}) << "every script has a face";
}

INSTANTIATE_TEST_SUITE_P(Catalogues, ShapedScript,
                         ::testing::Values("Arabic", "Persian", "Urdu", "Hebrew", "Thaana", "Devanagari", "Bengali",
                                           "Gurmukhi", "Gujarati", "Oriya", "Tamil", "Telugu", "Kannada",
                                           "Malayalam", "Sinhala", "Thai", "Lao", "Khmer", "Myanmar", "Tibetan",
                                           "Ethiopic", "Georgian", "Armenian", "Cherokee", "Greek", "Cyrillic",
                                           "Chinese", "Japanese", "Korean"),
                         [](const ::testing::TestParamInfo<const char*>& row) { return std::string(row.param); });

TEST(Shaper, LinesBelowU0300TakeTodaysPath)
{
    const std::u16string text = u"Gr\u00FC\u00DFe, d\u00E9j\u00E0 vu";
    ShapedLine line;
    shapeLine(Arial(), text, line);
    EXPECT_TRUE(line.fast);
    EXPECT_TRUE(line.runs.empty());
    EXPECT_EQ(line.advances, textAdvances(Arial(), text));
}

TEST(Shaper, RightToLeftRunsComeInVisualOrder)
{
    ShapedLine line;
    // A left-to-right paragraph with an Arabic word: its runs keep their places.
    const std::u16string mixed = u"The file \u0645\u0644\u0641.txt was saved";
    shapeLine(Arial(), mixed, line);
    EXPECT_FALSE(line.rightToLeft);
    std::vector<std::u16string> texts;
    for (const ShapedRun& run : line.runs)
        texts.push_back(RunText(mixed, run));
    EXPECT_EQ(texts, (std::vector<std::u16string>{u"The file ", u"\u0645\u0644\u0641", u".txt was saved"}));
    ASSERT_EQ(line.runs.size(), 3u);
    EXPECT_TRUE(line.runs[1].rightToLeft());
    EXPECT_GT(line.runs[1].glyphs.front().cluster, line.runs[1].glyphs.back().cluster) << "drawn right to left";

    // A right-to-left paragraph (the first strong character is Arabic) with
    // a library's name: the part after the name comes first from the left.
    const std::u16string& pam = Catalogue().at("Arabic+Latin").text;
    shapeLine(Arial(), pam, line);
    EXPECT_TRUE(line.rightToLeft);
    ASSERT_EQ(line.runs.size(), 3u);
    EXPECT_EQ(RunText(pam, line.runs[1]), u"libpam");
    EXPECT_EQ(line.runs[1].level, 2);
    EXPECT_GT(line.runs[0].start, line.runs[1].start);
    EXPECT_GT(line.runs[1].start, line.runs[2].start);
    EXPECT_EQ(line.runs[0].start + line.runs[0].length, pam.size());
}

TEST(Shaper, RightToLeftBracketsMirrorAndDigitsKeepTheirOrder)
{
    const std::u16string& text = Catalogue().at("Arabic brackets and digits").text; // "... (ca. 450-1100)"
    ShapedLine line;
    shapeLine(Arial(), text, line);
    ASSERT_TRUE(line.rightToLeft);
    ResolvedFont& font = resolvedFont(Arial());
    const auto glyphOf = [&](const ShapedRun& run, const QString& c) {
        return font.face(run.face).glyphIndexesForString(c).value(0);
    };
    const std::uint32_t open = static_cast<std::uint32_t>(text.find(u'(')), close = static_cast<std::uint32_t>(text.find(u')'));
    std::vector<std::u16string> numbers; // in visual order
    int mirrored = 0;
    for (const ShapedRun& run : line.runs) {
        const std::u16string part = RunText(text, run);
        if (part == u"450" || part == u"1100") {
            numbers.push_back(part);
            EXPECT_EQ(run.level, 2);
            std::vector<std::uint32_t> ids, expected;
            for (const ShapedGlyph& g : run.glyphs)
                ids.push_back(g.id);
            for (QChar c : QString::fromStdU16String(part))
                expected.push_back(glyphOf(run, c));
            EXPECT_EQ(ids, expected) << "a number reads left to right";
        }
        for (const ShapedGlyph& g : run.glyphs) {
            if (g.cluster == open) {
                ++mirrored;
                EXPECT_EQ(g.id, glyphOf(run, QStringLiteral(")"))) << "an opening bracket drawn mirrored";
            }
            if (g.cluster == close) {
                ++mirrored;
                EXPECT_EQ(g.id, glyphOf(run, QStringLiteral("("))) << "a closing bracket drawn mirrored";
            }
        }
    }
    EXPECT_EQ(mirrored, 2);
    // After Arabic letters the numbers are Arabic numbers, and the range
    // reads from the right: 450 stands right of 1100.
    EXPECT_EQ(numbers, (std::vector<std::u16string>{u"1100", u"450"}));
}

// A shaped line recorded on a page, read back and played on the trace device.
Played RecordAndPlay(const std::u16string& text, const ShapedLine& line, int x, int y)
{
    EmfRecorder page({2480, 3508, 300, 300});
    page.selectObject(page.createFont(Arial()));
    EXPECT_EQ(recordShapedLine(page, x, y, Arial(), text, line), line.width());
    Played p;
    p.result = EmfReader(page.finish()).play(p.log);
    return p;
}

TEST(ShapedText, RunsGoThroughAStoredPageGlyphForGlyph)
{
    for (const char* name : {"Arabic", "Arabic+Latin", "Devanagari", "Persian brackets"}) {
        const std::u16string& text = Catalogue().at(name).text;
        SCOPED_TRACE(name);
        ShapedLine line;
        shapeLine(Arial(), text, line);
        const Played p = RecordAndPlay(text, line, 100, 200);
        ASSERT_TRUE(p.result.ok) << p.result.problem;
        const auto calls = p.of("text");
        ASSERT_EQ(calls.size(), line.runs.size());
        int pen = 100;
        bool marks = false;
        for (std::size_t r = 0; r < calls.size(); ++r) {
            const ShapedRun& run = line.runs[r];
            const TextRun& played = calls[r]->text;
            ASSERT_TRUE(played.glyphIndex);
            ASSERT_EQ(played.text.size(), run.glyphs.size());
            EXPECT_EQ(played.source.text, RunText(text, run));
            EXPECT_EQ(played.source.rightToLeft, run.rightToLeft());
            double drawn = 0, y = 0;
            for (std::size_t i = 0; i < run.glyphs.size(); ++i) {
                const ShapedGlyph& g = run.glyphs[i];
                EXPECT_EQ(played.text[i], g.id);
                EXPECT_EQ(played.source.clusters[i], g.cluster - run.start);
                // Each glyph lands at its pen position plus its offsets.
                EXPECT_EQ(played.origin.x + drawn, pen + g.offsetX);
                EXPECT_EQ(y, g.offsetY - run.glyphs[0].offsetY);
                drawn += played.dx[i];
                y += played.dy.empty() ? 0 : played.dy[i];
                pen += g.advance;
                marks = marks || g.offsetY != 0;
            }
            // A fallback face is named by the font its run is drawn in.
            const QRawFont& face = resolvedFont(Arial()).face(run.face);
            const QRawFont& named = resolvedFont(played.font).face(0);
            EXPECT_EQ(named.familyName(), face.familyName());
            EXPECT_EQ(named.styleName(), face.styleName());
        }
        EXPECT_EQ(pen, 100 + line.width());
        if (std::string(name) == "Arabic") {
            EXPECT_TRUE(marks) << "kasra and shadda sit off the baseline (ETO_PDY)";
        }
    }
}

QImage Painted(const std::vector<std::uint8_t>& page)
{
    QImage image(800, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    PainterDevice device(painter);
    EmfReader(page).play(device);
    return image;
}

TEST(ShapedText, AForeignPagesGlyphIndexTextDrawsAsItsCharacters)
{
    // Glyph-index text with no comment, as another program writes it, draws
    // exactly the glyphs the same characters draw.
    const std::u16string text = u"Hello";
    const std::vector<int> dx = textAdvances(Arial(), text);
    const QVector<quint32> ids = resolvedFont(Arial()).face(0).glyphIndexesForString(QString::fromStdU16String(text));
    const std::vector<std::uint16_t> glyphs(ids.begin(), ids.end());
    const auto page = [&](bool asGlyphs) {
        EmfRecorder recorder({800, 200, 300, 300});
        recorder.setBkMode(TRANSPARENT);
        recorder.selectObject(recorder.createFont(Arial()));
        if (asGlyphs)
            recorder.glyphsOut(20, 50, glyphs, dx, {}, {});
        else
            recorder.textOut(20, 50, text, dx);
        return recorder.finish();
    };
    const QImage chars = Painted(page(false)), drawn = Painted(page(true));
    EXPECT_EQ(drawn, chars);
    EXPECT_NE(drawn, Painted(EmfRecorder({800, 200, 300, 300}).finish())) << "something was drawn";
}

} // namespace
} // namespace velm
