// Highlighting runs the library's languages on its own matcher: every
// pattern must mean what it means to the library's regular expressions,
// and every line must come out in the runs the library's own highlighter
// gives it, on real files of several languages.
#include "engine/SourceMatcher.h"
#include "engine/SourceStyler.h"

#include <srchilite/formatter.h>
#include <srchilite/formattermanager.h>
#include <srchilite/formatterparams.h>
#include <srchilite/highlightrule.h>
#include <srchilite/instances.h>
#include <srchilite/langdefmanager.h>
#include <srchilite/langmap.h>
#include <srchilite/sourcehighlighter.h>

#include <boost/regex.hpp>
#include <gtest/gtest.h>

#include <glob.h>

#include <fstream>
#include <functional>
#include <set>
#include <sstream>

namespace velm {
namespace {

srchilite::HighlightStatePtr Language(const std::string& definition)
{
    return srchilite::Instances::getLangDefManager()->getHighlightState(definition);
}

// Every state a language can reach, each once.
void ForEachState(const srchilite::HighlightStatePtr& state, const std::function<void(const srchilite::HighlightState&)>& visit,
                  std::set<const srchilite::HighlightState*>& seen)
{
    if (!seen.insert(state.get()).second)
        return;
    visit(*state);
    for (const srchilite::HighlightRulePtr& rule : state->getRuleList())
        if (rule->getNextState())
            ForEachState(rule->getNextState(), visit, seen);
}

void ForEachState(const std::string& definition, const std::function<void(const srchilite::HighlightState&)>& visit)
{
    std::set<const srchilite::HighlightState*> seen;
    ForEachState(Language(definition), visit, seen);
}

// Appends what the library's highlighter hands one element to the runs,
// in the element's face or else in the face of the state it stands in.
class TRecorder : public srchilite::Formatter {
public:
    TRecorder(std::string element, std::vector<TStyledRun>*& sink, const srchilite::SourceHighlighter*& highlighter)
        : FElement(std::move(element)), FSink(sink), FHighlighter(highlighter)
    {
    }
    void format(const std::string& s, const srchilite::FormatterParams*) override
    {
        const TRunStyle style =
            ElementStyle(FElement, ElementStyle(FHighlighter->getCurrentState()->getDefaultElement()));
        if (!FSink->empty() && FSink->back().Style == style)
            FSink->back().Text += s;
        else
            FSink->push_back({style, s});
    }

private:
    std::string FElement;
    std::vector<TStyledRun>*& FSink;
    const srchilite::SourceHighlighter*& FHighlighter;
};

// The runs of each line as the library's own highlighter gives them.
std::vector<std::vector<TStyledRun>> LibraryRuns(const std::string& definition, const std::vector<std::string>& lines)
{
    std::vector<TStyledRun>* sink = nullptr;
    const srchilite::SourceHighlighter* current = nullptr;
    srchilite::FormatterManager formatters(srchilite::FormatterPtr(new TRecorder("", sink, current)));
    ForEachState(definition, [&](const srchilite::HighlightState& state) {
        for (const srchilite::HighlightRulePtr& rule : state.getRuleList())
            for (const std::string& element : rule->getElemList())
                formatters.addFormatter(element, srchilite::FormatterPtr(new TRecorder(element, sink, current)));
    });
    srchilite::SourceHighlighter highlighter(Language(definition));
    current = &highlighter;
    srchilite::FormatterParams params;
    highlighter.setFormatterManager(&formatters);
    highlighter.setFormatterParams(&params);
    std::vector<std::vector<TStyledRun>> runs(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        sink = &runs[i];
        highlighter.highlightParagraph(lines[i]);
    }
    return runs;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string FirstFile(const std::string& pattern)
{
    glob_t found{};
    std::string first;
    if (glob(pattern.c_str(), 0, nullptr, &found) == 0 && found.gl_pathc > 0)
        first = found.gl_pathv[0];
    globfree(&found);
    return first;
}

std::string Describe(const std::vector<TStyledRun>& runs)
{
    std::string out;
    for (const TStyledRun& run : runs)
        out += "[" + std::to_string(static_cast<int>(run.Style)) + ":" + run.Text + "]";
    return out;
}

void ExpectLibraryRuns(const std::string& language, const std::string& name, const std::vector<std::string>& lines)
{
    const std::string definition = LanguageDefinition(language, "");
    ASSERT_FALSE(definition.empty()) << language;
    const auto expected = LibraryRuns(definition, lines);
    TSourceStyler styler(language, "");
    ASSERT_TRUE(styler.Active()) << language;
    int wrong = 0;
    for (std::size_t i = 0; i < lines.size() && wrong < 5; ++i) {
        const auto runs = styler.StyleLine(lines[i]);
        if (runs != expected[i]) {
            ++wrong;
            ADD_FAILURE() << name << " line " << i + 1 << "\n ours:    " << Describe(runs)
                          << "\n library: " << Describe(expected[i]);
        }
    }
}

// Lines that try the corners: separators and blanks boost treats its own
// way, bytes of UTF-8, line starts after a token, empty and blank lines.
const std::vector<std::string> kOddLines = {
    "",
    " \t\v# define X 1\f",
    "a\rb\fc\vd  \v x: y",
    "x\r\ny\n\nz",
    "caf\xc3\xa9 \xe9t\xe9 int x_1(y);\r",
    "label:   ",
    "  /* a */ \"s\\\"t\" 'c' 0x1F 1.5e3 x_y(z) Foo *bar; // end",
    "#include <stdio.h> /* open",
    "still */ def f(a, b=[1,2]): return a # done",
    "echo \"$HOME\" ${x} $(ls) 'q' <<EOF",
    "echo $1done; x=$2fi fi", // a token ends inside a word: the next search starts there
    "my $s = ~s/a(b)c/d/g; print <<\"END\"; -12 --x",
    "local s = [==[ long ]] still ]==] .. [[x]] --[[ c ]] r#\"raw\"# br\"b\"",
};

TEST(Highlighting, PatternsMeanWhatTheyMeanToTheLibrarysMatcher)
{
    srchilite::LangMap& map = *srchilite::Instances::getLangMap();
    map.open();
    std::set<std::string> patterns;
    for (const std::string& definition : map.getMappedFileNames())
        ForEachState(definition, [&](const srchilite::HighlightState& state) {
            for (const srchilite::HighlightRulePtr& rule : state.getRuleList())
                patterns.insert(rule->toString());
        });
    ASSERT_GT(patterns.size(), 400u); // every language the library has
    std::vector<TSpan> ours;
    int wrong = 0;
    for (const std::string& pattern : patterns) {
        const boost::regex theirs(pattern);
        const TPattern compiled(pattern);
        for (const std::string& line : kOddLines)
            for (std::size_t at = 0; at <= line.size(); ++at)
                for (const bool atLineStart : {true, false})
                    for (const bool anchored : {false, true}) {
                        boost::smatch match;
                        const auto flags = (atLineStart ? boost::match_default : boost::match_not_bol)
                                           | (anchored ? boost::match_continuous : boost::match_default);
                        const bool found = boost::regex_search(line.begin() + static_cast<std::ptrdiff_t>(at), line.end(),
                                                               match, theirs, flags);
                        std::vector<TSpan> expected;
                        for (std::size_t i = 0; found && i < match.size(); ++i)
                            expected.push_back(match[static_cast<int>(i)].matched
                                                   ? TSpan(match[static_cast<int>(i)].first - line.begin(),
                                                           match[static_cast<int>(i)].second - line.begin())
                                                   : TSpan(std::string::npos, std::string::npos));
                        const bool same = compiled.Search(line, at, atLineStart, anchored, ours) == found
                                          && (!found || ours == expected);
                        if (!same && ++wrong <= 5)
                            ADD_FAILURE() << pattern << " on \"" << line << "\" from " << at
                                          << (atLineStart ? " at a line start" : "") << (anchored ? " anchored" : "");
                    }
    }
}

TEST(Highlighting, RealFilesComeOutAsTheLibrarysOwnHighlighterCutsThem)
{
    struct Source {
        std::string language, pattern;
    };
    const Source sources[] = {
        {"c", "/usr/include/stdio.h"},
        {"c", "/usr/include/unistd.h"},
        {"cpp", "/usr/include/c++/*/bits/stl_vector.h"},
        {"python", "/usr/lib/python3*/argparse.py"},
        {"sh", "/usr/bin/zgrep"},
        {"sh", "/usr/bin/dpkg-maintscript-helper"},
        {"perl", "/usr/lib/*/perl-base/Carp.pm"},
    };
    int read = 0;
    for (const Source& source : sources) {
        const std::string path = FirstFile(source.pattern);
        std::ifstream in(path);
        if (path.empty() || !in)
            continue;
        ++read;
        std::ostringstream text;
        text << in.rdbuf();
        ExpectLibraryRuns(source.language, path, Lines(text.str()));
    }
    EXPECT_GE(read, 5);
}

TEST(Highlighting, StatesThatSpanLinesComeOutAsTheLibraryCutsThem)
{
    // A comment over many lines with openers, strings and line ends inside.
    std::string comment = "int a; /* starts here\n";
    for (int i = 0; i < 200; ++i)
        comment += (i % 3 ? "   \"not a string */ still\" /* nested? " : "\n   ") + std::to_string(i) + "\n";
    comment += "   ends */ int b = 0x10; // rest \\\n#define X \"y\" /* c */\n";
    ExpectLibraryRuns("c", "comment", Lines(comment));
    // Long strings whose closer refers back to their opener.
    ExpectLibraryRuns("lua", "lua", Lines("x = [==[ one\n ]] ]=] two\n]==] y = 1 --[[ c\n c ]] z\n"));
    ExpectLibraryRuns("rust.lang", "rust", Lines("let s = r#\"a\n\"b\"# \"c\n\\\"d\"; br\"e\" 'f' // g\n"));
    for (const char* language : {"c", "cpp", "python", "sh", "perl", "lua", "rust.lang", "java", "html"})
        ExpectLibraryRuns(language, std::string("odd lines ") + language, kOddLines);
}

TEST(Highlighting, ElementsWithoutAFaceOfTheirOwnTakeTheirStates)
{
    // A URL in a comment is comment; in code it is plain text.
    TSourceStyler c("c", "");
    EXPECT_EQ(c.StyleLine("/* see <https://example.org/a> */"),
              (std::vector<TStyledRun>{{TRunStyle::Comment, "/* see <https://example.org/a> */"}}));
    TSourceStyler changelog("changelog", "");
    ASSERT_TRUE(changelog.Active());
    EXPECT_EQ(changelog.StyleLine("  see https://example.org/a"),
              (std::vector<TStyledRun>{{TRunStyle::Plain, "  see https://example.org/a"}}));
}

} // namespace
} // namespace velm
