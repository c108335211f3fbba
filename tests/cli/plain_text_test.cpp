// Plain text as text tools print it, read back from the PDF: tab stops in
// a proportional and a monospace face, form feeds as page breaks, the
// monospace face of program source, and the desktop's defaults without
// any of these options.
#include "support/pdf_words.h"
#include "support/testing.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include <unistd.h>

namespace velm {
namespace {

using testing::PdfSheet;
using testing::PdfWord;
using testing::Quote;
using testing::TempDir;

class PlainText : public ::testing::Test {
protected:
    // velm OPTIONS -o out.pdf on a file holding text, with extra environment
    // settings; the PDF's sheets.
    std::vector<PdfSheet> Print(const std::string& options, const std::string& text,
                                const std::string& environment = "")
    {
        const std::string name = "in" + std::to_string(++runs_) + ".txt";
        dir_.write(name, text);
        pdf_ = dir_.file(name + ".pdf");
        const std::string command = environment + " " + Quote(VELM_BINARY) + " " + options + " -o " + Quote(pdf_) + " " +
                                    Quote(dir_.file(name)) + " >/dev/null 2>" + Quote(dir_.file("err"));
        EXPECT_EQ(testing::run(command), 0) << command << "\n" << testing::readFile(dir_.file("err"));
        return testing::ReadPdfSheets(pdf_);
    }
    static double X(const PdfSheet& sheet, const std::string& word, bool end = false)
    {
        const PdfWord* w = testing::FindWord(sheet, word);
        EXPECT_TRUE(w) << "no word " << word;
        return w ? (end ? w->xMax : w->xMin) : -1;
    }

    TempDir dir_;
    std::string pdf_;
    int runs_ = 0;
};

// A row of eight zeros ends where a tab stop of eight columns stands,
// whatever the face: text after a tab starts at that x, never after a
// run of spaces.
TEST_F(PlainText, TabStopsStandEveryNColumnsOfTheFacesZero)
{
    const std::string text = "00000000\n0000000000000000\n\tafter\na\tshort\nWWWWWWWW\twide\n\t\ttwice\n";
    for (const char* face : {"Liberation Sans", "Liberation Serif", "Liberation Mono"}) {
        for (const char* size : {"8", "4"}) {
            SCOPED_TRACE(std::string(face) + " -T " + size);
            const auto sheets = Print("-f " + Quote(face) + " -T " + size, text);
            ASSERT_EQ(sheets.size(), 1u);
            const PdfSheet& s = sheets[0];
            const double column8 = X(s, "00000000", true), column16 = X(s, "0000000000000000", true);
            const double stop = std::string(size) == "8" ? column8 : (column8 + X(s, "00000000")) / 2;
            EXPECT_NEAR(X(s, "after"), stop, 0.5);
            EXPECT_NEAR(X(s, "short"), stop, 0.5);
            const bool eight = std::string(size) == "8";
            // Eight W are wider than eight zeros in a proportional face,
            // and exactly as wide in a monospace one: either way the next stop.
            if (eight) {
                EXPECT_NEAR(X(s, "wide"), column16, 0.5);
            }
            EXPECT_NEAR(X(s, "twice"), eight ? column16 : column8, 0.5);
        }
    }
}

TEST_F(PlainText, FormFeedsStartPagesWithoutBlankOnes)
{
    struct Case {
        const char* name;
        std::string text;
        int pages;
        std::vector<std::string> firstWords; // of each sheet's body
    };
    const Case cases[] = {
        {"inside a line", "one\ftwo\n", 2, {"one", "two"}},
        {"on a line of its own", "one\n\f\ntwo\n\f\nthree\n", 3, {"one", "two", "three"}},
        {"the file's last byte", "one\f", 1, {"one"}},
        {"at the end, with line breaks", "one\ntwo\n\f\n\n\f\n", 1, {"one"}},
        {"two in a row: a blank page", "one\f\ftwo", 3, {"one", "", "two"}},
        {"at the very start", "\fone\n", 1, {"one"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto sheets = Print("--form-feed --no-header --header-left=H", c.text);
        ASSERT_EQ(static_cast<int>(sheets.size()), c.pages);
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            const std::vector<PdfWord>& words = sheets[i].words;
            // The body comes first, before the footer's words.
            const std::string first = words.empty() || words[0].text == "Page" ? "" : words[0].text;
            EXPECT_EQ(first, c.firstWords[i]) << "sheet " << i + 1;
        }
    }
}

// Pages that a text tool filled line by line and closed with a form feed
// print one sheet each, not a sheet and a blank one.
TEST_F(PlainText, AFormFeedAfterAFullPageStartsNoBlankPage)
{
    std::string lines;
    for (int i = 1; i <= 300; ++i)
        lines += "line" + std::to_string(i) + "\n";
    const auto plain = Print("", lines);
    ASSERT_GE(plain.size(), 3u);
    int perSheet = 0;
    for (const PdfWord& w : plain[0].words)
        perSheet += w.text.starts_with("line") ? 1 : 0;
    std::string paged;
    for (int i = 1; i <= 300; ++i)
        paged += "line" + std::to_string(i) + "\n" + (i % perSheet == 0 ? "\f" : "");
    const auto withFeeds = Print("--form-feed", paged);
    EXPECT_EQ(withFeeds.size(), plain.size());
    const auto firstLine = [](const PdfSheet& sheet) {
        for (const PdfWord& w : sheet.words)
            if (w.text.starts_with("line"))
                return w.text;
        return std::string();
    };
    for (std::size_t i = 0; i < std::min(withFeeds.size(), plain.size()); ++i)
        EXPECT_EQ(firstLine(withFeeds[i]), firstLine(plain[i])) << i;
}

TEST_F(PlainText, ProgramSourcePrintsInTheMonospaceFaceUnlessOneIsNamed)
{
    std::string monospace;
    testing::run("fc-match -f '%{family[0]}' monospace", &monospace);
    std::erase(monospace, ' ');
    ASSERT_FALSE(monospace.empty());
    const std::pair<const char*, std::string> cases[] = {
        {"-N", monospace},
        {"--highlight", monospace},
        {"--highlight=c -N", monospace},
        {"-N -f 'Liberation Serif'", "LiberationSerif"},
        {"", "LiberationSans"}, // the print font of the settings file
    };
    for (const auto& [options, face] : cases) {
        SCOPED_TRACE(options);
        Print(options, "int main() { return 0; }\n");
        const std::string fonts = testing::PdfFonts(pdf_);
        // The body's face, regular: the header and footer print in their own.
        EXPECT_NE(fonts.find("+" + face + " "), std::string::npos) << fonts;
    }
}

// Every family of the URW, Liberation and DejaVu packages, regular, bold
// (keywords) and italic (comments), prints as embedded fonts (the URW
// faces as CFF in OpenType, though Qt would pick their Type 1 twins) and
// its text reads back. A face that only a Type 1 file offers is drawn as
// outlines under invisible text, which reads back too.
TEST_F(PlainText, EveryInstalledFacePrintsAsEmbeddedTextThatReadsBack)
{
    const char* const cff = "CID Type 0C (OT)";
    const char* const trueType = "CID TrueType";
    struct Family {
        const char* package; // a folder it installs
        const char* name;
        const char* program; // PostScript names start so
        const char* type;
        bool type1Only = false;
    };
    const std::string urw = "/usr/share/fonts/opentype/urw-base35";
    const std::string liberation = "/usr/share/fonts/truetype/liberation2",
                      dejavu = "/usr/share/fonts/truetype/dejavu";
    const Family families[] = {
        {urw.c_str(), "C059", "C059-", cff},
        {urw.c_str(), "D050000L", "D050000L", cff},
        {urw.c_str(), "Nimbus Mono PS", "NimbusMonoPS-", cff},
        {urw.c_str(), "Nimbus Roman", "NimbusRoman-", cff},
        {urw.c_str(), "Nimbus Sans", "NimbusSans-", cff},
        {urw.c_str(), "Nimbus Sans Narrow", "NimbusSansNarrow-", cff},
        {urw.c_str(), "P052", "P052-", cff},
        {urw.c_str(), "Standard Symbols PS", "StandardSymbolsPS", cff},
        {urw.c_str(), "URW Bookman", "URWBookman-", cff},
        {urw.c_str(), "URW Gothic", "URWGothic-", cff},
        {urw.c_str(), "Z003", "Z003-", cff},
        {urw.c_str(), "Courier", "NimbusMonoPS-", cff},
        {liberation.c_str(), "Liberation Mono", "LiberationMono", trueType},
        {liberation.c_str(), "Liberation Sans", "LiberationSans", trueType},
        {liberation.c_str(), "Liberation Serif", "LiberationSerif", trueType},
        {dejavu.c_str(), "DejaVu Sans", "DejaVuSans", trueType},
        {dejavu.c_str(), "DejaVu Sans Mono", "DejaVuSansMono", trueType},
        {dejavu.c_str(), "DejaVu Serif", "DejaVuSerif", trueType},
        {"/usr/share/fonts/type1/urw-base35", "Nimbus Sans", "NimbusSans", trueType, true},
    };
    dir_.write("type1.conf", "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>"
                             "<dir>/usr/share/fonts/type1/urw-base35</dir><dir>" + liberation +
                             "</dir><cachedir>" + dir_.file("fc-cache") + "</cachedir></fontconfig>\n");
    const std::string source = "/* comment words */\nint main(void) { return quartz + 42; }\n";
    for (const Family& f : families) {
        SCOPED_TRACE(std::string(f.name) + (f.type1Only ? " (Type 1 only)" : ""));
        if (::access(f.package, R_OK) != 0)
            VELM_SKIP_MISSING(std::string("no fonts in ") + f.package);
        const auto sheets = Print("--highlight=c -f " + Quote(f.name), source,
                                  f.type1Only ? "FONTCONFIG_FILE=" + Quote(dir_.file("type1.conf")) : "");
        ASSERT_EQ(sheets.size(), 1u);
        std::string letters; // readers split words where they find gaps
        for (const PdfWord& w : sheets[0].words)
            letters += w.text;
        EXPECT_NE(letters.find("/*commentwords*/intmain(void){returnquartz+42;}"), std::string::npos) << letters;
        const std::string fonts = testing::PdfFonts(pdf_);
        const std::regex row("[A-Z]{6}\\+(" + std::string(f.program) +
                             "\\S*) +(.*\\S) +Identity-H +(\\S+) +(\\S+) +(\\S+) .*");
        std::set<std::string> faces; // the header's sizes of a face are fonts of their own
        std::istringstream lines(fonts);
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            if (!std::regex_match(line, m, row))
                continue;
            faces.insert(m[1]);
            EXPECT_EQ(m[2], f.type) << line;
            EXPECT_EQ(m[3].str() + m[4].str() + m[5].str(), "yesyesyes") << line; // embedded, subset, ToUnicode
        }
        // Its text, keywords and comments print in as many faces as fontconfig has for them.
        std::set<std::string> installed;
        for (const char* style : {"", ":bold", ":italic"}) {
            std::string face;
            testing::run((f.type1Only ? "FONTCONFIG_FILE=" + Quote(dir_.file("type1.conf")) + " " : std::string()) +
                             "fc-match -f '%{family[0]}/%{style[0]}' " + Quote(std::string(f.name) + style),
                         &face);
            installed.insert(face);
        }
        EXPECT_EQ(faces.size(), installed.size()) << fonts;
    }
}

// Without the options a tab is three spaces and a form feed an ordinary
// character, as on the desktop.
TEST_F(PlainText, WithoutOptionsTabsAreThreeSpacesAndFormFeedsCharacters)
{
    const auto tabbed = Print("", "a\tb\n");
    const auto spaced = Print("", "a   b\n");
    ASSERT_EQ(tabbed.size(), 1u);
    EXPECT_NEAR(X(tabbed[0], "b"), X(spaced[0], "b"), 0.01);
    EXPECT_EQ(Print("", "one\ftwo\n").size(), 1u);
    EXPECT_EQ(Print("", "one\n\f\ntwo\f").size(), 1u);
}

// Fields are expanded cell by cell; a total, known only at the job's end,
// prints where the same text written out would: centred, or ending at the
// right text's place.
TEST_F(PlainText, HeaderAndFooterFieldsAreExpandedTotalsInPlace)
{
    std::string lines;
    for (int i = 1; i <= 500; ++i)
        lines += "line" + std::to_string(i) + "\n";
    const auto fields = Print("--header-left='%F by %u' --header='Page %p of %P' --header-right='%s/%S' "
                              "--footer='%j %% %D'", lines);
    const std::string base = "in" + std::to_string(runs_) + ".txt";
    // Two digits, where the total stood as one "?" while the page was laid out.
    const std::string total = std::to_string(fields.size());
    ASSERT_GE(fields.size(), 10u);
    const auto written = Print("--header-left='" + base + " by %u' --header='Page 2 of " + total +
                                   "' --header-right='2/" + total + "'", lines);
    ASSERT_EQ(written.size(), fields.size());
    std::string user;
    testing::run("id -un", &user);
    user.erase(user.find_last_not_of('\n') + 1);
    for (const std::string& word : {std::string("Page"), total, "2/" + total, std::string("by")}) {
        SCOPED_TRACE(word);
        EXPECT_NEAR(X(fields[1], word), X(written[1], word), 0.3);
    }
    // Text that takes the shaper (Cyrillic, Greek) gets its totals in place too.
    const auto shaped = Print("--header='Стр %p из %P' --header-right='Σ %s/%S'", lines);
    const auto shapedWritten = Print("--header='Стр 2 из " + total + "' --header-right='Σ 2/" + total + "'", lines);
    for (const std::string& word : {std::string("Стр"), total, "2/" + total}) {
        SCOPED_TRACE(word);
        EXPECT_NEAR(X(shaped[1], word), X(shapedWritten[1], word), 0.3);
    }
    EXPECT_TRUE(testing::FindWord(fields[1], user));
    EXPECT_TRUE(testing::FindWord(fields[0], "1/" + total));
    EXPECT_TRUE(testing::FindWord(fields.back(), total + "/" + total));
    EXPECT_TRUE(testing::FindWord(fields[0], "%"));
    // The job title of a file is its name.
    EXPECT_TRUE(testing::FindWord(fields[0], base));
    // A percent sign of a file's name prints as it is in the default header.
    dir_.write("100%.txt", lines);
    ASSERT_EQ(testing::run(Quote(VELM_BINARY) + " -o " + Quote(dir_.file("p.pdf")) + " " +
                           Quote(dir_.file("100%.txt")) + " >/dev/null"),
              0);
    std::string text;
    testing::run("pdftotext " + Quote(dir_.file("p.pdf")) + " -", &text);
    EXPECT_NE(text.find("/100%.txt"), std::string::npos) << text;
    std::string out;
    EXPECT_EQ(testing::run(Quote(VELM_BINARY) + " --footer='%x' " + Quote(dir_.file("100%.txt")) + " 2>&1", &out), 2);
    EXPECT_NE(out.find("--footer: '%x' is not a field (%% prints a percent sign)"), std::string::npos) << out;
}

TEST_F(PlainText, ABadTabSizeIsRefused)
{
    dir_.write("t.txt", "a\tb\n");
    for (const char* size : {"0", "65", "x", "-3", "2.5"}) {
        std::string out;
        EXPECT_EQ(testing::run(Quote(VELM_BINARY) + " -T " + size + " -o " + Quote(dir_.file("t.pdf")) + " " +
                                   Quote(dir_.file("t.txt")) + " 2>&1",
                               &out),
                  2)
            << size;
        EXPECT_NE(out.find("--tab-size: '" + std::string(size) + "' is not a whole number of columns from 1 to 64"),
                  std::string::npos)
            << out;
    }
}

// Every option of the command's table is in --help, the man page and the
// bash completion, and so are its short forms.
TEST(CommandDocumentation, HelpManPageAndCompletionNameEveryOption)
{
    const std::string table = testing::readFile(testing::sourcePath("cli/Options.cpp"));
    const std::string manPage = testing::readFile(testing::sourcePath("resources/velm.1"));
    const std::string completion = testing::readFile(testing::sourcePath("resources/velm.bash-completion"));
    std::string help;
    ASSERT_EQ(testing::run(Quote(VELM_BINARY) + " --help", &help), 0);
    const std::regex entry("\\{\"([a-z-]+)\", [a-z_]+, nullptr, ('(.)'|k[A-Za-z]+)\\}");
    int options = 0;
    for (std::sregex_iterator it(table.begin(), table.end(), entry), end; it != end; ++it, ++options) {
        const std::string name = (*it)[1];
        SCOPED_TRACE(name);
        std::string escaped; // as roff writes the dashes
        for (char c : "--" + name)
            escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(help.find("--" + name), std::string::npos);
        EXPECT_NE(manPage.find(escaped), std::string::npos);
        EXPECT_TRUE(std::regex_search(completion, std::regex("\\s--" + name + "[=\\s\"]")));
        if (const std::string letter = (*it)[3]; !letter.empty()) {
            EXPECT_NE(help.find("-" + letter + ", --" + name), std::string::npos);
            EXPECT_NE(manPage.find("\\-" + letter + " \", \" " + escaped), std::string::npos);
        }
    }
    EXPECT_GE(options, 30);
    EXPECT_NE(manPage.find("PAPERSIZE"), std::string::npos);
    EXPECT_NE(help.find("PAPERSIZE"), std::string::npos);
}

} // namespace
} // namespace velm
