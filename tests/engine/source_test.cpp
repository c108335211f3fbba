// Program source: line numbers in the gutter and highlighted runs, checked
// on the decoded stored pages of real runs on the 600-dpi test printer.
#include "engine/PrnFile.h"
#include "engine/SourceStyler.h"
#include "stored_pages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace velm {
namespace {

using testing::DecodedPage;
using testing::DecodedText;
using testing::JobHarness;

constexpr int kContentsHeight = 88; // 14 screen pixels at 600 dpi
constexpr ColorRef kCommentColour = rgb(0, 110, 0);

std::string LongDeclarations()
{
    std::string line;
    for (int i = 10; i < 50; ++i)
        line += "int a" + std::to_string(i) + "; ";
    return line + "\n";
}

// Line 1-3 a comment, 6 longer than 250 bytes with keywords after its wraps.
std::string CProgram()
{
    return "/* first line of a comment\n"
           "   second line\n"
           "   third line */\n"
           "#include <stdio.h>\n"
           "\n"
           + LongDeclarations() +
           "int main(void) { return \"done\"[0] + 42; }\n";
}

bool IsNumber(const std::string& s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsBold(const DecodedText& t) { return t.font.weight >= 700; }

// The contents runs of one sheet split into gutter numbers and text.
struct SheetRuns {
    std::vector<DecodedText> numbers;
    std::vector<DecodedText> text;
    std::map<int, std::string> lineText; // y -> the text runs at that y, joined
};

SheetRuns Split(const DecodedPage& page, int textLeft)
{
    SheetRuns runs;
    for (const DecodedText& t : page.textsOfHeight(kContentsHeight)) {
        if (t.x < textLeft) {
            runs.numbers.push_back(t);
        } else {
            runs.text.push_back(t);
            runs.lineText[t.y] += t.text;
        }
    }
    return runs;
}

// Where the text of the sheet begins: the leftmost run that is no number.
int TextLeft(const DecodedPage& page)
{
    int left = 1 << 30;
    for (const DecodedText& t : page.textsOfHeight(kContentsHeight))
        if (!IsNumber(t.text))
            left = std::min(left, t.x);
    return left;
}

std::vector<std::string> Texts(const DecodedPage& page)
{
    std::vector<std::string> out;
    for (const DecodedText& t : page.textsOfHeight(kContentsHeight))
        out.push_back(t.text + "@" + std::to_string(t.x) + "," + std::to_string(t.y) + ":"
                      + std::to_string(t.font.weight) + (t.font.italic ? "i" : "") + "#"
                      + std::to_string(t.font.height));
    return out;
}

TEST(SourcePrinting, NumbersAndStylesLandWhereTheyShould)
{
    JobHarness h;
    h.job.LineNumbers = true;
    h.job.Highlight = true;
    h.job.HighlightLanguage = "c";
    const auto& pages = h.Run(CProgram());
    ASSERT_EQ(pages.size(), 1u);
    const SheetRuns runs = Split(pages[0], TextLeft(pages[0]));

    // One number per source line, right-aligned, the empty line 5 included.
    ASSERT_EQ(runs.numbers.size(), 7u);
    std::set<int> numberedRows;
    for (std::size_t i = 0; i < runs.numbers.size(); ++i) {
        EXPECT_EQ(runs.numbers[i].text, std::to_string(i + 1));
        EXPECT_EQ(runs.numbers[i].x + runs.numbers[i].width, runs.numbers[0].x + runs.numbers[0].width);
        EXPECT_FALSE(IsBold(runs.numbers[i]) || runs.numbers[i].font.italic);
        numberedRows.insert(runs.numbers[i].y);
    }
    // Every numbered row but the empty line holds text; the long line wraps
    // into rows of its own without numbers.
    std::vector<int> continuations;
    for (const auto& [y, text] : runs.lineText)
        if (!numberedRows.count(y))
            continuations.push_back(y);
    EXPECT_GE(continuations.size(), 2u);
    for (int y : continuations) {
        EXPECT_GT(y, runs.numbers[5].y);
        EXPECT_LT(y, runs.numbers[6].y);
    }

    // The comment stays a comment over its three lines, and ends there.
    for (const DecodedText& t : runs.text) {
        const bool inComment = t.y <= runs.numbers[2].y;
        EXPECT_EQ(t.font.italic, inComment) << t.text;
        if (inComment) {
            EXPECT_EQ(t.color, kCommentColour) << t.text;
        }
    }
    // Keywords are bold wherever the line wrapped them to, and nothing else is.
    int keywordsAfterWraps = 0;
    for (const DecodedText& t : runs.text) {
        const bool keyword = t.text == "int" || t.text == "void" || t.text == "return";
        EXPECT_EQ(IsBold(t), keyword) << t.text;
        if (keyword && !numberedRows.count(t.y))
            ++keywordsAfterWraps;
    }
    EXPECT_GT(keywordsAfterWraps, 0);
    // Runs of a line join without gaps, and the long line's words stay whole.
    std::string longLine;
    for (const auto& [y, text] : runs.lineText)
        if (y >= runs.numbers[5].y && y < runs.numbers[6].y)
            longLine += text + " ";
    for (int i = 10; i < 50; ++i)
        EXPECT_NE(longLine.find("int a" + std::to_string(i) + ";"), std::string::npos) << i;
    EXPECT_EQ(runs.lineText.at(runs.numbers[6].y), "int main(void) { return \"done\"[0] + 42; }");
}

TEST(SourcePrinting, TheGutterTakesTheLargestNumbersWidth)
{
    auto textLeftFor = [](int lines, bool numbered) {
        JobHarness h;
        h.job.LineNumbers = numbered;
        std::string text;
        for (int i = 0; i < lines; ++i)
            text += "x\n";
        return TextLeft(h.Run(text).at(0));
    };
    const int unnumbered = textLeftFor(9, false);
    const int nine = textLeftFor(9, true);
    const int ten = textLeftFor(10, true);
    EXPECT_GT(nine, unnumbered);
    // One digit more: the text moves right by one digit's width.
    EXPECT_EQ(2 * (ten - nine), nine - unnumbered);
}

TEST(SourcePrinting, NumbersAndCommentsCarryOnAcrossSheets)
{
    JobHarness h;
    h.job.LineNumbers = true;
    h.job.Highlight = true;
    std::string text = "int before;\n/*\n";
    for (int i = 0; i < 60; ++i)
        text += "comment text " + std::to_string(i) + "\n";
    text += "*/ int after;\n";
    h.dir().write("program.c", text);
    h.job.Filename = h.dir().file("program.c");
    h.job.Execute();
    ASSERT_EQ(h.pages.size(), 2u);
    const SheetRuns first = Split(h.pages[0], TextLeft(h.pages[0]));
    const SheetRuns second = Split(h.pages[1], TextLeft(h.pages[1]));
    ASSERT_FALSE(second.numbers.empty());
    EXPECT_EQ(second.numbers.front().text, std::to_string(first.numbers.size() + 1));
    EXPECT_EQ(second.numbers.back().text, "63");
    for (const DecodedText& t : second.text)
        EXPECT_EQ(t.font.italic, t.text != " " && t.text != "int" && t.text != " after;") << t.text;
}

// Highlighting asked for where it cannot apply changes nothing on the page.
TEST(SourcePrinting, UnknownLanguagesAndBinaryFilesPrintPlain)
{
    const std::string program = CProgram();
    const char elf[] = "\x7f" "ELF\0\1\2 int x; /* y";
    const std::string binary = std::string(elf, sizeof elf - 1) + "\nint z;\n";
    struct Case {
        std::string name, bytes, language;
    };
    for (const Case& c : {Case{"notes.zzz", program, ""}, Case{"prog.c", program, "no-such-language"},
                          Case{"prog.c", binary, ""}}) {
        auto texts = [&c](bool highlight) {
            JobHarness h;
            h.dir().write(c.name, c.bytes);
            h.job.Filename = h.dir().file(c.name);
            h.job.Highlight = highlight;
            h.job.HighlightLanguage = c.language;
            h.job.RefuseBinary = false;
            h.job.Execute();
            return Texts(h.pages.at(0));
        };
        EXPECT_EQ(texts(true), texts(false)) << c.name << " " << c.language;
    }
}

TEST(SourcePrinting, GenericPrintersAndMonochromeGetFacesWithoutColour)
{
    for (const bool monochrome : {false, true}) {
        JobHarness h(monochrome ? "Velm Test 600" : "Generic Test 600");
        h.job.Highlight = true;
        h.job.HighlightLanguage = "c";
        h.job.Monochrome = monochrome;
        const auto& pages = h.Run(CProgram());
        const auto texts = pages.at(0).textsOfHeight(kContentsHeight);
        ASSERT_FALSE(texts.empty());
        bool bold = false, italic = false;
        for (const DecodedText& t : texts) {
            EXPECT_EQ(t.color, texts.front().color) << t.text;
            bold = bold || IsBold(t);
            italic = italic || t.font.italic;
        }
        EXPECT_TRUE(bold && italic);
    }
}

TEST(SourcePrinting, FilterOptionsSetTheJob)
{
    TPrintFile job;
    EXPECT_TRUE(SetSourceOption(job, "velm-line-numbers", "true", ""));
    EXPECT_TRUE(job.LineNumbers);
    EXPECT_TRUE(SetSourceOption(job, "velm-line-numbers", "no", ""));
    EXPECT_FALSE(job.LineNumbers);
    EXPECT_TRUE(SetSourceOption(job, "velm-highlight", "yes", "report.py"));
    EXPECT_TRUE(job.Highlight);
    EXPECT_EQ(LanguageDefinition(job.HighlightLanguage, ""), "python.lang");
    EXPECT_TRUE(SetSourceOption(job, "velm-highlight", "Java", ""));
    EXPECT_EQ(LanguageDefinition(job.HighlightLanguage, ""), "java.lang");
    EXPECT_FALSE(job.Monochrome);
    EXPECT_TRUE(SetSourceOption(job, "print-color-mode", "monochrome", ""));
    EXPECT_TRUE(job.Monochrome);
    EXPECT_FALSE(SetSourceOption(job, "media", "a4", ""));
    EXPECT_EQ(LanguageDefinition("", "src/Makefile"), "makefile.lang");
    EXPECT_EQ(LanguageDefinition("", "notes.zzz"), "");
}

} // namespace
} // namespace velm
