// HTML printed as a browser shows it, checked on what the stored pages hold:
// each rule on a small page, written back as text (see Shown), and real
// pages of the Python documentation against a text browser's dump.
#include "engine/Gdi.h"
#include "engine/HtmlDocument.h"
#include "engine/PrnFile.h"
#include "engine/UserInterface.h"
#include "platform/core/codepage.h"
#include "platform/metafile/emf_reader.h"
#include "support/logging_device.h"
#include "platform/rendering/font_fallback.h"
#include "support/played.h"
#include "support/test_printer.h"
#include "support/testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace velm {
namespace {

using testing::CurrentDir;
using testing::TempDir;
using testing::TestPrinter;

// The default contents font on the 600-dpi test printer: 88 pixels high,
// text from x 170, indents of 176 pixels.
constexpr double kFirstX = 170, kIndent = 176;
constexpr int kBaseHeight = 88;

struct Piece {
    std::string text;
    double x, end;
    int height, weight;
    bool italic, underline, strike, mono;
};

class FullHtml : public ::testing::Test {
protected:
    FullHtml() : here_(dir_.path()), printer_(pdf_.path()), saved_(ui())
    {
        ui().showMessage = [this](const std::string& text) { messages_.push_back(text); };
        ui().showPreview = [this](TPrintFile& job, TJobOutcome&) { Decode(job); };
    }
    ~FullHtml() override { ui() = saved_; }

    // The pages of `html` as text: a line per row, "  " per indent level,
    // "*bold*", "/italic/", "_underlined_", "~struck~", "`monospace`",
    // "#" before a heading's row, " | " where a table column starts,
    // "----" for a rule, a list marker before its line, "" for a blank row.
    std::string Shown(const std::string& html, bool links = false)
    {
        Print(html, links);
        std::string out;
        double lastY = -1, lastStep = 0;
        const double step = std::round(kBaseHeight * 1.5);
        for (const auto& [key, row] : rows_) {
            const double y = key.second;
            if (lastY >= 0 && key.first == 1)
                for (double gap = y - lastY - lastStep; gap > step / 2; gap -= step)
                    out += "\n"; // blank rows
            lastY = y;
            lastStep = row.empty() ? step : std::round(row.back().height * 1.5);
            if (row.empty()) {
                out += "----\n";
                continue;
            }
            std::string line;
            std::size_t first = 0;
            // A marker ends a third of the font's height left of where the line's text starts.
            if (row.size() > 1 && std::abs(row[0].end + 10 + kBaseHeight / 3 - row[1].x - 10) <= 2) {
                line = row[0].text + " ";
                first = 1;
            }
            const int level = static_cast<int>(std::lround((row[first].x - kFirstX) / kIndent));
            std::string prefix(2 * static_cast<std::size_t>(std::max(level, 0)), ' ');
            if (row[first].height > kBaseHeight)
                prefix += "#";
            for (std::size_t i = first; i < row.size(); ++i) {
                const Piece& r = row[i];
                if (i > first && r.x > row[i - 1].end + 2)
                    line += " | ";
                std::string t = r.text;
                for (const auto& [on, mark] : {std::pair{r.mono, "`"}, {r.strike, "~"}, {r.underline, "_"},
                                               {r.italic, "/"}, {r.weight > 400, "*"}})
                    if (on)
                        t = mark + t + mark;
                line += t;
            }
            out += prefix + line + "\n";
        }
        return out;
    }

    void Print(const std::string& html, bool links = false, const std::string& name = "page.html")
    {
        rows_.clear();
        messages_.clear();
        dir_.write(name, html);
        TPrintFile job;
        job.Input = frHTML;
        job.FullHtml = true;
        job.HtmlLinks = links;
        job.Filename = dir_.file(name);
        job.OutputTo = poViewer;
        job.HeaderEnabled = false;
        job.DateTimeStampEnabled = false;
        job.PageNumberEnabled = false;
        job.FooterString.clear();
        job.Execute();
        EXPECT_EQ(messages_, std::vector<std::string>{});
    }

    void Decode(TPrintFile&)
    {
        const std::string mono = matchedFamily(QStringLiteral("monospace")).toStdString();
        for (int n = 1; n <= StoredPageCount(); ++n) {
            LoggingDevice log;
            EXPECT_TRUE(EmfReader::fromFile(PageFileName(n)).play(log).ok);
            for (const auto* call : log.callsOf("text")) {
                const TextRun& t = call->text;
                if (t.text.empty() || t.origin.y < 300)
                    continue;
                double end = t.origin.x;
                for (double d : t.dx)
                    end += d;
                rows_[{n, t.origin.y}].push_back({toUtf8(ShownText(t)), t.origin.x, end, std::abs(t.font.height),
                                                  t.font.weight, t.font.italic, t.font.underline,
                                                  t.font.strikeOut, toUtf8(t.font.faceName) == mono});
            }
            // Rules across the text area; not the frames of the header and footer.
            for (const auto* call : log.callsOf("line"))
                if (call->numbers.at(1) > 300 && call->numbers.at(1) < 6000 && call->numbers.at(1) == call->numbers.at(3))
                    rows_[{n, call->numbers.at(1) - kBaseHeight / 2}];
        }
        for (auto& [key, row] : rows_)
            std::stable_sort(row.begin(), row.end(), [](const Piece& a, const Piece& b) { return a.x < b.x; });
    }

    TempDir dir_, pdf_;
    CurrentDir here_;
    TestPrinter printer_;
    UserInterface saved_;
    std::vector<std::string> messages_;
    std::map<std::pair<int, double>, std::vector<Piece>> rows_;
};

struct Rule {
    const char* name;
    std::string html;
    std::string shown;
};

class FullHtmlRule : public FullHtml, public ::testing::WithParamInterface<Rule> {};

TEST_P(FullHtmlRule, PrintsAsABrowserShowsIt) { EXPECT_EQ(Shown(GetParam().html), GetParam().shown); }

const Rule kRules[] = {
    {"NamedAndNumericReferences", "&mdash;&rsquo;&euro;&nbsp;x &#8212;&#x2014;&#233;&amp;&lt;&notin;&fjlig;",
     "\xE2\x80\x94\xE2\x80\x99\xE2\x82\xAC\xC2\xA0x \xE2\x80\x94\xE2\x80\x94\xC3\xA9&<\xE2\x88\x89"
     "fj\n"},
    {"ScriptStyleTemplateCommentsNeverPrint",
     "<head><style>p{color:red}</style><script>var x=1;</script></head>"
     "<body>a<!-- licence --><template>t</template><script>if(a<b)c()</script>b<style>q{}</style></body>",
     "ab\n"},
    {"WhitespaceCollapsesNoSpaceWhereNone", "x<b>y</b>z  \n\t <i>it</i>   <b> bold </b>end",
     "x*y*z /it/ *bold *end\n"},
    {"PreKeepsLinesAndSpacesInMonospace", "<p>text</p><pre>a  b\n  indented\n\n\tlast</pre><p>after",
     "text\n\n`a  b`\n`  indented`\n\n`        last`\n\nafter\n"},
    {"CodeKbdSampInMonospace", "<code>c</code> <kbd>k</kbd> <samp>s</samp> <tt>t</tt>",
     "`c` `k` `s` `t`\n"},
    {"InlineStyles", "<b>b</b><i>i</i><u>u</u><s>s</s><del>d</del><strong>st</strong><em>em</em>",
     "*b*/i/_u_~sd~*st*/em/\n"},
    {"HeadingsParagraphsBreaksRules", "<h1>Big</h1><p>one<br>two</p><hr><h3>Less</h3>tail",
     "#*Big*\n\none\ntwo\n\n----\n\n#*Less*\n\ntail\n"},
    {"BulletAndNumberedListsNestedIndented",
     "<ul><li>one<ul><li>inner</li></ul></li><li>two</li></ul><ol start=3><li>three<li>four</ol>",
     "  \xE2\x80\xA2 one\n    \xE2\x97\xA6 inner\n  \xE2\x80\xA2 two\n\n  3. three\n  4. four\n"},
    {"BlockquoteAndDdIndented", "<blockquote>quoted</blockquote><dl><dt>term<dd>meaning</dl>",
     "  quoted\n\nterm\n  meaning\n"},
    {"TableCellsSideBySideInColumns",
     "<table><tr><th>Name<th>Value</tr><tr><td>a<td>1</tr><tr><td>longer<td>2</tr></table>",
     "*Name* | *Value*\na | 1\nlonger | 2\n"},
    {"TableTooWideCellAfterCell",
     "<table><tr><td>" + std::string(60, 'w') + " " + std::string(60, 'v') + "<td>second</tr></table>",
     std::string(60, 'w') + "\n" + std::string(60, 'v') + "\n  second\n"},
    {"LinksAsTextImagesAsAlt", "see <a href='https://example.org/'>the site</a> <img src=x.png alt='a logo'>",
     "see the site a logo\n"},
    {"UnclosedEverything", "<p>one<li>two<b>bold<i>both<table><td>cell", "one\n\n\xE2\x80\xA2 two*bold**/both/*\n\n*/cell/*\n"},
};

INSTANTIATE_TEST_SUITE_P(Rules, FullHtmlRule, ::testing::ValuesIn(kRules),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(FullHtml, LinkAddressesFollowTheirTextWhenAsked)
{
    EXPECT_EQ(Shown("<a href='https://example.org/a'>site</a>, <a href='#top'>top</a>, "
                    "<a href='https://x.org'>https://x.org</a>",
                    true),
              "site <https://example.org/a>, top, https://x.org\n");
}

TEST_F(FullHtml, CharsetOfAMetaTagOrABomIsHonoured)
{
    const std::pair<std::string, std::string> cases[] = {
        {"<meta charset=iso-8859-2><p>\xB1\xE6", "\xC4\x85\xC4\x87\n"},
        {"<meta http-equiv=Content-Type content='text/html; charset=windows-1251'>\xC4\xE0", "\xD0\x94\xD0\xB0\n"},
        {"<meta charset=latin1>caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC\n"},
        {std::string("\xFF\xFE<\0b\0>\0\xE9\0", 10), "*\xC3\xA9*\n"},
        {"\xEF\xBB\xBFno BOM printed", "no BOM printed\n"},
        // Without one, as text reads: UTF-8, else Windows-1252.
        {"no charset: \xC3\xA9", "no charset: \xC3\xA9\n"},
        {"no charset: \xE9 \x80", "no charset: \xC3\xA9 \xE2\x82\xAC\n"},
    };
    for (const auto& [html, shown] : cases)
        EXPECT_EQ(Shown(html), shown) << html;
}

TEST_F(FullHtml, TheTitleGoesInTheHeader)
{
    dir_.write("titled.html", "<title> The  &amp; title 100% </title><p>" + std::string(3000, 'x'));
    std::vector<std::string> headers;
    ui().showPreview = [&](TPrintFile&, TJobOutcome&) {
        for (int n = 1; n <= StoredPageCount(); ++n) {
            LoggingDevice log;
            EmfReader::fromFile(PageFileName(n)).play(log);
            for (const auto* call : log.callsOf("text"))
                headers.push_back(toUtf8(ShownText(call->text)));
        }
    };
    TPrintFile job;
    job.Input = frHTML;
    job.FullHtml = job.HtmlTitleInHeader = job.HeaderFields = true;
    job.Filename = dir_.file("titled.html");
    job.HeaderStringCenter = "the file";
    job.ContentsFont.SetSize(60); // a second cell, whose header has the centre text
    job.OutputTo = poViewer;
    job.Execute();
    EXPECT_NE(std::find(headers.begin(), headers.end(), "The & title 100%"), headers.end());
    EXPECT_EQ(std::find(headers.begin(), headers.end(), "the file"), headers.end());
}

// Markup no browser would meet, parsed in bounded time and memory: every
// character of its text still prints.
TEST_F(FullHtml, BadInputIsHarmless)
{
    std::string deep;
    for (const char* tag : {"<div>", "<b>", "<table><tr><td>", "<a href=x>", "<ul><li>", "<blockquote>"})
        for (int i = 0; i < 100'000; ++i)
            deep += tag;
    deep += "bottom";
    const std::vector<std::string> lines = THtmlDocument::PlainLines(deep);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("bottom"), std::string::npos);

    // A line longer than a section: every word kept, in order.
    std::string words;
    while (words.size() < THtmlDocument::kSectionBytes + 100'000)
        words += "word" + std::to_string(words.size()) + (words.size() % 7 ? " " : "<b>b</b> ");
    std::string joined;
    for (const std::string& line : THtmlDocument::PlainLines(words))
        joined += line + " ";
    const auto wordsOf = [](const std::string& text) {
        std::vector<std::string> out;
        std::istringstream in(text);
        for (std::string w; in >> w;)
            out.push_back(w);
        return out;
    };
    EXPECT_TRUE(wordsOf(joined) == wordsOf(std::regex_replace(words, std::regex("</?b>"), "")));

    // Through the job: a deep page and a huge tag print.
    Print("<p>" + std::string(50'000, 'x') + "<div title='" + std::string(100'000, 'a') + "'>after</div>" + deep);
    std::size_t texts = 0;
    for (const auto& [key, row] : rows_)
        texts += row.size();
    EXPECT_GT(texts, 10u);
}

// The words of a text, as a text browser's dump and the pages hold them.
std::map<std::string, int> Words(const std::string& text)
{
    std::map<std::string, int> words;
    static const std::regex word("\\w+");
    for (std::sregex_iterator it(text.begin(), text.end(), word), end; it != end; ++it)
        ++words[it->str()];
    return words;
}

TEST_F(FullHtml, PythonDocumentationPrintsAsATextBrowserShowsIt)
{
    const std::string root = "/usr/share/doc/python3.11/html/";
    if (!fs::exists(root + "index.html") || testing::run("command -v w3m >/dev/null") != 0) {
        if (testing::requireAll())
            FAIL() << "python3.11-doc and w3m are needed";
        GTEST_SKIP() << "python3.11-doc or w3m not installed";
    }
    for (const char* page : {"index.html", "tutorial/controlflow.html", "tutorial/introduction.html",
                             "library/json.html", "library/functions.html"}) {
        const std::string file = root + page;
        std::string dump;
        testing::run("w3m -dump -T text/html -cols 100 " + testing::Quote(file), &dump);
        Print(testing::readFile(file), false, "doc.html");
        // A row's runs, joined where one ends where the next starts.
        std::string printed = "\n";
        for (const auto& [key, row] : rows_) {
            for (std::size_t i = 0; i < row.size(); ++i)
                printed += (i > 0 && std::abs(row[i].x - row[i - 1].end) > 1 ? " " : "") + row[i].text;
            printed.erase(printed.find_last_not_of(' ') + 1);
            printed += "\n";
        }
        const std::map<std::string, int> expected = Words(dump), got = Words(printed);
        int total = 0, found = 0;
        for (const auto& [w, n] : expected) {
            total += n;
            const auto it = got.find(w);
            found += std::min(n, it == got.end() ? 0 : it->second);
        }
        EXPECT_GE(found, total * 99 / 100) << page << ": " << found << " of " << total << " words";
        for (const char* token : {"function(", "var ", "{display", "!important", "document.", "$(", "=>"})
            if (dump.find(token) == std::string::npos) {
                EXPECT_EQ(printed.find(token), std::string::npos) << page << " prints " << token;
            }
        // Every line of every example block stands on a row of its own.
        const std::string html = testing::readFile(file);
        static const std::regex pre("<pre>([^]*?)</pre>");
        for (std::sregex_iterator it(html.begin(), html.end(), pre), end; it != end; ++it) {
            std::istringstream block(std::regex_replace((*it)[1].str(), std::regex("<[^>]*>"), ""));
            for (std::string line; std::getline(block, line);) {
                line = std::regex_replace(line, std::regex("&gt;"), ">");
                line = std::regex_replace(line, std::regex("&lt;"), "<");
                line = std::regex_replace(line, std::regex("&quot;"), "\"");
                line = std::regex_replace(line, std::regex("&#39;"), "'");
                line = std::regex_replace(line, std::regex("&amp;"), "&");
                line.erase(line.find_last_not_of(' ') + 1);
                if (line.empty() || line.size() > 60 || line.find('&') != std::string::npos)
                    continue;
                EXPECT_NE(printed.find("\n" + line + "\n"), std::string::npos) << page << ": " << line;
            }
        }
    }
}

} // namespace
} // namespace velm
