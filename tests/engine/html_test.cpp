// HTML jobs checked on what the stored pages really hold: every text run
// decoded with its position and font, on a 600-dpi test printer with a
// 4800 x 6600 page (text area from x 160, first run at 170; the contents
// font of height 14 gives lines at 391, 523, 655, ...).
#include "engine/Gdi.h"
#include "engine/PrnFile.h"
#include "engine/UserInterface.h"
#include "platform/core/codepage.h"
#include "platform/metafile/emf_reader.h"
#include "platform/core/errors.h"
#include "support/logging_device.h"
#include "support/played.h"
#include "support/test_printer.h"
#include "support/testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <numeric>

namespace fs = std::filesystem;

namespace velm {
namespace {

using testing::CurrentDir;
using testing::TempDir;
using testing::TestPrinter;

constexpr double kFirstX = 170;
constexpr double kLine1 = 391, kStep = 132;

struct PrintedRun {
    std::string text;
    double x = 0, y = 0, end = 0; // end: where the run's advances stop
    int height = 0, weight = 0;
    bool italic = false, underline = false;
    int page = 0;
};

struct Rule {
    double x1, y1, x2, y2;
};

class HtmlJob : public ::testing::Test {
protected:
    HtmlJob() : here_(dir_.path()), printer_(pdf_.path()), saved_(ui())
    {
        ui().showMessage = [this](const std::string& text) { messages_.push_back(text); };
        ui().showPreview = [this](TPrintFile& job, TJobOutcome&) { Decode(job); };
    }
    ~HtmlJob() override { ui() = saved_; }

    // Formats `html` as an HTML job and returns the text runs of its pages.
    std::vector<PrintedRun> Print(const std::string& html, const TFont* contents = nullptr)
    {
        runs_.clear();
        rules_.clear();
        dir_.write("page.htm", html);
        TPrintFile job;
        job.Input = frHTML;
        job.Filename = dir_.file("page.htm");
        job.OutputTo = poViewer;
        job.HeaderEnabled = false;
        job.DateTimeStampEnabled = false;
        job.PageNumberEnabled = false;
        job.FooterString.clear();
        if (contents)
            job.ContentsFont = *contents;
        job.Execute();
        EXPECT_EQ(messages_, std::vector<std::string>{});
        return runs_;
    }

    std::vector<std::string> Texts(const std::vector<PrintedRun>& runs) const
    {
        std::vector<std::string> texts;
        for (const PrintedRun& r : runs)
            texts.push_back(r.text);
        return texts;
    }

    void Decode(TPrintFile& job)
    {
        centred_ = job.Gdi()->Centred();
        listItem_ = job.Gdi()->ListItem();
        for (int n = 1; n <= StoredPageCount(); ++n) {
            LoggingDevice log;
            EXPECT_TRUE(EmfReader::fromFile(PageFileName(n)).play(log).ok);
            for (const auto* call : log.callsOf("text")) {
                const TextRun& t = call->text;
                if (t.text.empty())
                    continue;
                runs_.push_back({toUtf8(ShownText(t)), t.origin.x, t.origin.y,
                                 t.origin.x + std::accumulate(t.dx.begin(), t.dx.end(), 0.0),
                                 std::abs(t.font.height), t.font.weight, t.font.italic,
                                 t.font.underline, n});
            }
            for (const auto* call : log.callsOf("line"))
                rules_.push_back({call->numbers.at(0), call->numbers.at(1), call->numbers.at(2),
                                  call->numbers.at(3)});
        }
    }

    TempDir dir_, pdf_;
    CurrentDir here_;
    TestPrinter printer_;
    UserInterface saved_;
    std::vector<std::string> messages_;
    std::vector<PrintedRun> runs_;
    std::vector<Rule> rules_;
    bool centred_ = false, listItem_ = false;
};

TEST_F(HtmlJob, BoldRunThenRegularRunTenPixelsAfterIt)
{
    // Runs keep their trailing spaces and lose their leading ones.
    const auto runs = Print("<B>bold</B> text");
    ASSERT_EQ(Texts(runs), (std::vector<std::string>{"bold", "text"}));
    EXPECT_EQ(runs[0].weight, 700);
    EXPECT_EQ(runs[1].weight, 400);
    EXPECT_EQ(runs[0].x, kFirstX);
    EXPECT_EQ(runs[0].y, kLine1);
    EXPECT_EQ(runs[1].y, kLine1);
    EXPECT_EQ(runs[1].x, runs[0].end + 10);
}

// The HTML tag hides only text that stands between it and the next tag,
// never the text of an element: a title, a heading, a paragraph, the body.
TEST_F(HtmlJob, OnlyTextRightAfterTheHtmlTagIsSkipped)
{
    const auto runs = Print("<HTML><HEAD><TITLE>Home</TITLE></HEAD>\n<BODY>Body text</BODY></HTML>");
    ASSERT_EQ(Texts(runs), (std::vector<std::string>{"Home", "Body text"}));
    // The title is bold on a line of its own.
    EXPECT_EQ(runs[0].y, kLine1 + kStep);
    EXPECT_EQ(runs[0].weight, 700);
    EXPECT_EQ(runs[1].y, kLine1 + 2 * kStep);
    EXPECT_EQ(runs[1].x, kFirstX);
    EXPECT_EQ(runs[1].weight, 400);

    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"<html><body><h1>Heading</h1><p>Hello</p>", {"Heading", "Hello"}},
        {"<html><p>Hello</p></html>", {"Hello"}},
        {"<html>\n\n  <b></b>bold<p>shown", {"bold", "shown"}},
        {"<html>stray text<p>shown", {"shown"}},
    };
    for (const auto& [html, texts] : cases)
        EXPECT_EQ(Texts(Print(html)), texts) << html;
}

TEST_F(HtmlJob, HeadingIsLargerBoldOnItsOwnLine)
{
    const TFont twelvePoint{"Times New Roman", -16, clWindowText, 0, 96}; // 100 printer pixels
    const auto runs = Print("Intro<h1>Title</h1>Next", &twelvePoint);
    ASSERT_EQ(Texts(runs), (std::vector<std::string>{"Intro", "Title", "Next"}));
    const PrintedRun &intro = runs[0], &title = runs[1], &next = runs[2];
    EXPECT_EQ(intro.height, 100);
    EXPECT_EQ(title.height, 131); // 16 points: 21 screen pixels at 96 dpi
    EXPECT_EQ(title.weight, 700);
    EXPECT_EQ(next.height, 100);
    EXPECT_EQ(next.weight, 400);
    EXPECT_EQ(intro.y, 417);
    // The break before the title steps by the heading's own line height.
    EXPECT_EQ(title.y, 417 + 196);
    EXPECT_EQ(next.y, 417 + 196 + 150);
    EXPECT_EQ(title.x, kFirstX);
    EXPECT_EQ(next.x, kFirstX);

    // The default contents font has a cell height (a positive height): its
    // headings must grow too, by the row's points.
    const auto plain = Print("Intro<H1>One</H1><H2>Two</H2><H3>Three</H3><H4>Four</H4>");
    ASSERT_EQ(Texts(plain), (std::vector<std::string>{"Intro", "One", "Two", "Three", "Four"}));
    EXPECT_EQ(plain[0].height, 88);
    EXPECT_GT(plain[1].height, plain[2].height);
    EXPECT_GT(plain[2].height, plain[3].height);
    EXPECT_GT(plain[3].height, plain[4].height);
    EXPECT_EQ(plain[4].height, 88);
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(plain[i].weight, 700) << plain[i].text;
}

TEST_F(HtmlJob, EveryTagBeginningWithATogglesUnderlineAndASlashCloses)
{
    const auto runs = Print("see <A HREF=x.htm>link</A> and <A HREF=docs/x.htm>other</A> "
                            "<a href=\"y\">lower</a> <ADDRESS>addr</ADDRESS> end");
    ASSERT_EQ(Texts(runs), (std::vector<std::string>{"see ", "link", "and ", "other", "lower", "addr", "end"}));
    const std::vector<bool> underlined = {false, true, false, false, true, true, false};
    for (std::size_t i = 0; i < runs.size(); ++i)
        EXPECT_EQ(runs[i].underline, underlined[i]) << runs[i].text;
}

TEST_F(HtmlJob, OnlyBareParagraphAndBreakTagsStartLines)
{
    const auto runs = Print("one<P ALIGN=CENTER>two<BR>three<br>four</P>five\nsix<p>seven");
    ASSERT_EQ(Texts(runs), (std::vector<std::string>{"one", "two", "three", "four", "five", "six", "seven"}));
    EXPECT_EQ(runs[1].y, kLine1);
    EXPECT_EQ(runs[1].x, runs[0].end + 10);
    EXPECT_EQ(runs[2].y, kLine1 + kStep);
    EXPECT_EQ(runs[3].y, kLine1 + 2 * kStep);
    EXPECT_EQ(runs[4].y, kLine1 + 3 * kStep);
    // A source line end is no printed line end.
    EXPECT_EQ(runs[5].y, kLine1 + 3 * kStep);
    EXPECT_EQ(runs[5].x, runs[4].end + 10);
    EXPECT_EQ(runs[6].y, kLine1 + 4 * kStep);
    for (int i : {2, 3, 4, 6})
        EXPECT_EQ(runs[i].x, kFirstX) << runs[i].text;
}

TEST_F(HtmlJob, RuleBetweenTwoNewLines)
{
    const auto runs = Print("above<HR>below");
    ASSERT_EQ(Texts(runs), (std::vector<std::string>{"above", "below"}));
    EXPECT_EQ(runs[1].y, kLine1 + 2 * kStep);
    EXPECT_EQ(runs[1].x, kFirstX);
    const bool ruled = std::any_of(rules_.begin(), rules_.end(), [](const Rule& r) {
        return r.y1 == kLine1 + kStep && r.y2 == kLine1 + kStep && r.x1 == 150 && r.x2 == 4650;
    });
    EXPECT_TRUE(ruled) << "no rule from 150 to 4650 at " << kLine1 + kStep;
}

TEST_F(HtmlJob, EntitiesAndNumericReferences)
{
    // Entity characters are single bytes of the code page, drawn beside
    // UTF-8 text of the same page.
    const auto runs = Print("x&amp;x &nbsp; &#65; &#321; &Amp; &reg; &#174; &copy; &lt;&LT;&gt;&quot; "
                            "&Agrave;&Aring; &#-5; &#$41; &#0; &bogus; caf\xC3\xA9 &Auml;");
    EXPECT_EQ(Texts(runs), (std::vector<std::string>{"x", "&", "x ", "nbsp", "A", "A", "Amp", "®", "®", "©", "<",
                                                     "<", ">", "\"", "À", "Å", "û", "A", "␀", "bogus", "café ",
                                                     "Ä"}));
}

TEST_F(HtmlJob, HexadecimalReferencesWrapIntoOneByteLikeDecimalOnes)
{
    // Every hexadecimal digit counts; decimal references keep their three.
    const auto runs = Print("&#x41; &#X61; &#x0141; &#xe9; &#XC9; &#x60; &#x0; &#x1A9; &#2345;");
    EXPECT_EQ(Texts(runs), (std::vector<std::string>{"A", "a", "A", "é", "É", "`", "␀", "©", "ê"}));
}

TEST_F(HtmlJob, HashTagsPrintThemselvesAndUnknownTagsOnlyDrop)
{
    EXPECT_EQ(Texts(Print("<#abc>")), (std::vector<std::string>{"ABC"}));
    const auto runs = Print("a<!-- note -->b<script>var x = 1;</script><style>p { color: red }</style>"
                            "<!-- x > y -->z<TABLE><TR><TD>cell</TD></TR></TABLE>");
    EXPECT_EQ(Texts(runs), (std::vector<std::string>{"a", "b", "var x = 1;", "p { color: red }", "y -->z", "cell"}));
}

TEST_F(HtmlJob, TagSplitOverSourceLines)
{
    const auto runs = Print("<B\r\n>bold</B\n>plain <A\nHREF=x>under</A\n>");
    ASSERT_EQ(Texts(runs), (std::vector<std::string>{"bold", "plain ", "under"}));
    EXPECT_EQ(runs[0].weight, 700);
    EXPECT_EQ(runs[1].weight, 400);
    EXPECT_TRUE(runs[2].underline);
    EXPECT_EQ(runs[2].y, kLine1);
}

TEST_F(HtmlJob, NestedAndUnbalancedTags)
{
    const auto runs = Print("<B><I><B>x</I></B></B></B><U><U>y</H1></TITLE>z");
    ASSERT_EQ(Texts(runs), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(runs[0].weight, 700);
    EXPECT_TRUE(runs[0].italic);
    EXPECT_EQ(runs[1].weight, 400);
    EXPECT_FALSE(runs[1].italic);
    EXPECT_TRUE(runs[1].underline);
    // A closing heading selects the contents font with its own styles.
    EXPECT_FALSE(runs[2].underline);
    EXPECT_EQ(runs[2].height, 88);
    EXPECT_EQ(runs[2].y, kLine1 + kStep);
}

TEST_F(HtmlJob, CentreAndListItemOnlyRecordTheirState)
{
    const auto runs = Print("<CENTER>mid</CENTER><LI>one</LI><LI>two");
    ASSERT_EQ(Texts(runs), (std::vector<std::string>{"mid", "one", "two"}));
    EXPECT_EQ(runs[0].x, kFirstX);
    EXPECT_EQ(runs[1].y, kLine1 + kStep);
    EXPECT_EQ(runs[2].y, kLine1 + 2 * kStep);
    EXPECT_FALSE(centred_);
    EXPECT_TRUE(listItem_);
    Print("<center>open");
    EXPECT_TRUE(centred_);
}

TEST_F(HtmlJob, UnterminatedLongAndBinaryInputFinishes)
{
    EXPECT_EQ(Texts(Print("text <B")), (std::vector<std::string>{"text ", "B"}));
    EXPECT_EQ(Texts(Print("x &amp")), (std::vector<std::string>{"x ", "amp"}));

    // A tag far longer than the look-ahead prints as text, every character
    // of it (a ">" that begins a piece is dropped by the reader).
    std::string printed;
    for (const PrintedRun& r : Print("<" + std::string(10000, 'a') + ">after"))
        printed += r.text;
    printed.erase(std::remove(printed.begin(), printed.end(), '>'), printed.end());
    EXPECT_EQ(printed, std::string(10000, 'a') + "after");

    // Bytes of every value, NULs and markup characters included (no
    // numeric references: those must be numbers).
    std::string binary;
    std::uint32_t seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245u + 12345u;
        const auto byte = static_cast<char>((seed >> 16) & 0xFF);
        binary += byte == '#' ? '?' : byte;
    }
    EXPECT_NO_THROW(Print(binary));
    EXPECT_GE(StoredPageCount(), 1);
}

// The open files of this process that are `path`.
int OpenHandlesOn(const std::string& path)
{
    int count = 0;
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd", ec)) {
        std::error_code gone;
        if (fs::equivalent(fs::read_symlink(fd.path(), gone), path, gone))
            ++count;
    }
    return count;
}

TEST_F(HtmlJob, BadNumericReferenceEndsTheRunAndLeavesNothingBehind)
{
    std::string twoSheets;
    for (int i = 1; i <= 60; ++i)
        twoSheets += "line " + std::to_string(i) + "<BR>\n";
    for (const auto& [text, message] :
         {std::pair{twoSheets + "&#1a2; after", "'1a2' is not a valid integer value"},
          std::pair{std::string("&#x;"), "'x' is not a valid integer value"},
          std::pair{std::string("&#x4G;"), "'x4G' is not a valid integer value"},
          std::pair{std::string("&#xx41;"), "'xx4' is not a valid integer value"}}) {
        SCOPED_TRACE(message);
        bool previewed = false;
        ui().showPreview = [&](TPrintFile&, TJobOutcome&) { previewed = true; };
        try {
            Print(text);
            ADD_FAILURE() << "no error";
        } catch (const ConversionError& e) {
            EXPECT_STREQ(e.what(), message);
        }
        EXPECT_FALSE(previewed);
        EXPECT_EQ(testing::filesIn(dir_.path()), (std::vector<std::string>{"page.htm"}));
        EXPECT_EQ(OpenHandlesOn(dir_.file("page.htm")), 0);
    }
}

} // namespace
} // namespace velm
