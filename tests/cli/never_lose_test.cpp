// Every character a user gives prints, inside its column and clear of the
// header and footer boxes, or is refused with a clear message: the velm
// command on real files, read back from the PDF (pdftotext's text and word
// boxes) on the built-in printer's A4 sheets.
#include "support/pdf_words.h"
#include "support/testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace velm {
namespace {

using testing::PdfSheet;
using testing::PdfWord;
using testing::Quote;
using testing::TempDir;

constexpr const char* kFooter = "FOOTMARK";
constexpr const char* kHeader = "HEADMARK";

struct Printed {
    int status = -1;
    std::string err;
    std::string pdf;
};

Printed Print(const TempDir& dir, const std::string& file, const std::string& options)
{
    Printed p;
    p.pdf = dir.file("out.pdf");
    std::filesystem::remove(p.pdf);
    p.status = testing::run("cd " + Quote(dir.path()) + " && PAPERSIZE=a4 " + Quote(VELM_BINARY) +
                            " --no-date --no-page-number --header=" + kHeader + " --footer=" + kFooter + " " +
                            options + " -o out.pdf " + Quote(file) + " >/dev/null 2>" + Quote(dir.file("err")));
    p.err = testing::readFile(dir.file("err"));
    return p;
}

// The characters of a text, white space and the box marks left out, in
// byte order: equal when the same characters are there, each as often.
std::string Characters(std::string text)
{
    for (const std::string mark : {kFooter, kHeader})
        for (std::size_t at; (at = text.find(mark)) != std::string::npos;)
            text.erase(at, mark.size());
    std::erase_if(text, [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f'; });
    std::sort(text.begin(), text.end());
    return text;
}

std::string PdfText(const std::string& pdf)
{
    std::string text;
    testing::run("pdftotext -raw " + Quote(pdf) + " - 2>/dev/null", &text);
    return text;
}

// The built-in printer's geometry on A4 (210 x 297 mm at 300 pixels an
// inch), in points: a quarter inch of margin, and of border, on each side.
constexpr int kPrintableWidth = 2480 - 150, kPrintableHeight = 3508 - 150;
double Points(double pixels) { return (pixels + 75) * 72 / 300; }
bool IsMark(const PdfWord& w) { return w.text == kFooter || w.text == kHeader; }

// Every word of the body lies inside the text area of the column it starts in.
void ExpectInsideColumns(const std::vector<PdfSheet>& sheets, int columns)
{
    constexpr double kSlack = 0.3; // the text's pixel rounding
    for (const PdfSheet& sheet : sheets) {
        const int width = (kPrintableWidth - 150) / columns;
        for (const PdfWord& w : sheet.words) {
            if (IsMark(w))
                continue;
            const int column = std::clamp(static_cast<int>((w.xMin * 300 / 72 - 150) / width), 0, columns - 1);
            EXPECT_GE(w.xMin, Points(75 + column * width + 10) - kSlack) << w.text;
            EXPECT_LE(w.xMax, Points(75 + (column + 1) * width - 10) + kSlack) << w.text << " runs out of its column";
        }
    }
}

std::string Tokens()
{
    std::string text;
    for (int i = 0; i < 10; ++i)
        text += "word ";
    text += std::string(250, 'B') + "\n";
    text += "2024-05-01 12:00:00 GET https://example.org/";
    for (int i = 0; i < 20; ++i)
        text += "segment" + std::to_string(i) + "/";
    return text + " 200\n";
}

struct LongTokenCase {
    std::string name;   // file to print
    std::string layout;
    std::string options;
};

void PrintTo(const LongTokenCase& c, std::ostream* out) { *out << c.name << " " << c.layout << " " << c.options; }

class LongTokens : public ::testing::TestWithParam<LongTokenCase> {};

// A word too long for the rest of its line goes to the next, one too long
// for any line breaks at the last character that fits: nothing is lost and
// nothing leaves its column, in text, program source and HTML.
TEST_P(LongTokens, EveryCharacterPrintsInsideItsColumn)
{
    TempDir dir;
    const LongTokenCase& c = GetParam();
    std::string file = c.name, expected;
    if (c.name == "tokens.html") {
        dir.write(file, "<html><body><h1>Tokens</h1><p>" + Tokens() + "</p></body></html>");
        expected = "Tokens" + Tokens();
    } else if (c.name == "tokens.txt" || c.name == "tokens.c") {
        dir.write(file, Tokens());
        expected = Tokens();
    } else {
        if (!std::filesystem::exists(file))
            VELM_SKIP_MISSING(file + " (apt-get install libjs-jquery)");
        expected = testing::readFile(file);
    }
    const Printed p = Print(dir, file, "--layout=" + c.layout + " " + c.options);
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_EQ(Characters(PdfText(p.pdf)), Characters(expected));
    ExpectInsideColumns(testing::ReadPdfSheets(p.pdf), c.layout[2] - '0');
}

INSTANTIATE_TEST_SUITE_P(
    Files, LongTokens,
    ::testing::Values(LongTokenCase{"tokens.txt", "1x1", ""}, LongTokenCase{"tokens.txt", "1x2", ""},
                      LongTokenCase{"tokens.txt", "2x4", ""}, LongTokenCase{"tokens.c", "1x2", "--highlight"},
                      LongTokenCase{"tokens.html", "1x2", ""},
                      LongTokenCase{"/usr/share/javascript/jquery/jquery.min.js", "1x1", ""},
                      LongTokenCase{"/usr/share/javascript/jquery/jquery.min.js", "1x2", ""},
                      LongTokenCase{"/usr/share/javascript/jquery/jquery.min.js", "2x4", ""}),
    [](const ::testing::TestParamInfo<LongTokenCase>& c) {
        std::string name = std::filesystem::path(c.param.name).filename().string() + "_" + c.param.layout;
        std::replace(name.begin(), name.end(), '.', '_');
        return name;
    });

// Rows that wrap at the foot of a cell: the row that would reach the footer
// box (or the cell below) starts the next cell, on its first line.
TEST(RowsAboveTheFooter, NoTextEntersTheBoxesAndEveryCellStartsOnItsFirstLine)
{
    TempDir dir;
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += "line" + std::to_string(i);
        for (int k = 0; k < 5; ++k)
            text += " lorem ipsum dolor sit amet";
        text += "\n";
    }
    dir.write("wrapped.txt", text);
    for (const char* options : {"-s 10", "-s 11", "-s 12", "-s 16", "-s 9 --layout=2x2"}) {
        SCOPED_TRACE(options);
        const Printed p = Print(dir, "wrapped.txt", options);
        ASSERT_EQ(p.status, 0) << p.err;
        EXPECT_EQ(Characters(PdfText(p.pdf)), Characters(text));
        const bool twoRows = std::string(options).find("2x2") != std::string::npos;
        std::vector<double> firstRows;
        for (const PdfSheet& sheet : testing::ReadPdfSheets(p.pdf)) {
            constexpr int height = kPrintableHeight;
            const double footerTop = Points(height - 100), headerBottom = Points(150 + 2 * 50);
            const double secondRow = Points(300 + (height - 300) / 2);
            double first = sheet.height;
            for (const PdfWord& w : sheet.words) {
                if (IsMark(w))
                    continue;
                EXPECT_GT(w.yMin, headerBottom) << w.text << " in the header box";
                EXPECT_LE(w.yMax, footerTop + 0.5) << w.text << " in the footer box";
                if (twoRows && w.yMin < secondRow) {
                    EXPECT_LE(w.yMax, secondRow + 0.5) << w.text << " runs into the cell below";
                }
                first = std::min(first, w.yMin);
            }
            firstRows.push_back(first);
        }
        ASSERT_FALSE(firstRows.empty());
        for (double y : firstRows)
            EXPECT_NEAR(y, firstRows.front(), 0.1) << "a sheet starts lower than its first line";
    }
}

// No byte ends a file early: controls print as their control pictures;
// UTF-16 with a byte-order mark is read as text; overstrike prints bold and
// underlined; a clearly binary file is refused, named, and nothing printed.
TEST(ControlCharacters, PrintAsPicturesAndBinaryFilesAreRefused)
{
    TempDir dir;
    dir.write("nul.txt", std::string("before\0after\nline two\n", 22));
    Printed p = Print(dir, "nul.txt", "");
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_NE(PdfText(p.pdf).find("before␀after\nline two"), std::string::npos) << PdfText(p.pdf);

    std::string controls, pictures;
    for (char c = 1; c < 32; ++c)
        if (c != '\b' && c != '\t' && c != '\n' && c != '\f' && c != '\r') {
            controls += c;
            pictures += "\xE2\x90" + std::string(1, static_cast<char>(0x80 + c));
        }
    dir.write("controls.txt", "<" + controls + "\x7f>\n" + testing::filler(200) + "\n");
    p = Print(dir, "controls.txt", "");
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_NE(PdfText(p.pdf).find("<" + pictures + "␡>"), std::string::npos) << PdfText(p.pdf);
    EXPECT_EQ(p.err.find("no installed font"), std::string::npos) << "a face has the pictures: " << p.err;

    std::string utf16 = "\xff\xfe";
    for (char c : std::string("UTF-16 text\nsecond line\n"))
        utf16 += std::string{c, '\0'};
    dir.write("utf16.txt", utf16);
    p = Print(dir, "utf16.txt", "");
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_NE(PdfText(p.pdf).find("UTF-16 text\nsecond line"), std::string::npos) << PdfText(p.pdf);

    // A man page as man writes it for a printer: bold and underlined, not doubled.
    std::string man;
    if (testing::run("MAN_KEEP_FORMATTING=1 MANPAGER=cat MANWIDTH=80 man ls 2>/dev/null", &man) != 0 || man.empty())
        man = "N\bNA\bAM\bME\bE\n       ls - list directory contents\n";
    dir.write("ls.man", man);
    p = Print(dir, "ls.man", "");
    ASSERT_EQ(p.status, 0) << p.err;
    const std::string manText = PdfText(p.pdf);
    EXPECT_NE(manText.find("NAME\nls - list directory contents"), std::string::npos) << manText;
    std::string fonts;
    testing::run("pdffonts " + Quote(p.pdf), &fonts);
    EXPECT_NE(fonts.find("Bold"), std::string::npos) << fonts;

    dir.write("image.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    for (const std::string& file : {std::string("/bin/true"), dir.file("image.png")}) {
        p = Print(dir, file, "");
        EXPECT_EQ(p.status, 1);
        EXPECT_NE(p.err.find("Error: File " + file + " is binary data, not text, and is not printed"),
                  std::string::npos) << p.err;
        EXPECT_FALSE(std::filesystem::exists(p.pdf));
    }
}

TEST(HtmlElements, TheHtmlTagHidesNoElementsText)
{
    TempDir dir;
    const std::pair<std::string, std::string> pages[] = {
        {"<html><body><h1>Heading</h1><p>Hello</p>", "Heading\nHello"},
        {"<html><p>Hello</p></html>", "Hello"},
    };
    for (const auto& [html, text] : pages) {
        dir.write("page.html", html);
        const Printed p = Print(dir, "page.html", "");
        ASSERT_EQ(p.status, 0) << p.err;
        EXPECT_NE(PdfText(p.pdf).find(text), std::string::npos) << html << ": " << PdfText(p.pdf);
    }
}

// Geometry that leaves no room for text is a command line error, named
// before anything prints.
TEST(Geometry, BordersAndFontsThePageCannotHoldAreRefused)
{
    TempDir dir;
    dir.write("short.txt", "alpha beta\n");
    const std::pair<std::string, std::string> cases[] = {
        {"--borders=10,10", "velm: borders of 10.00 in and 10.00 in leave 0.00 in of text width per column; "
                            "at least 1.00 in is needed"},
        {"--borders=4,4", "leave 0.00 in of text width per column"},
        {"--units=cm --borders=9,9", "at least 2.54 cm is needed"},
        {"-s 300", "less than one line of the contents font"},
    };
    for (const auto& [options, message] : cases) {
        const Printed p = Print(dir, "short.txt", options);
        EXPECT_EQ(p.status, 2) << options;
        EXPECT_NE(p.err.find(message), std::string::npos) << options << ": " << p.err;
        EXPECT_FALSE(std::filesystem::exists(p.pdf)) << options;
    }
    EXPECT_EQ(Print(dir, "short.txt", "--borders=3,3").status, 0);
}

} // namespace
} // namespace velm
