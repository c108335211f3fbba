// Header, footer, frames, stamp and page number, checked on the stored page
// as a standard reader decodes it, in printer pixels of a 600-dpi printer.
#include "engine/Gdi.h"
#include "engine/PrnFile.h"
#include "platform/core/codepage.h"
#include "platform/metafile/emf_reader.h"
#include "platform/rendering/fonts.h"
#include "support/logging_device.h"
#include "support/played.h"
#include "support/test_printer.h"
#include "support/testing.h"

#include <QDate>
#include <QLocale>
#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <set>

namespace velm {
namespace {

using testing::CurrentDir;
using testing::TempDir;
using testing::TestPrinter;

struct Segment {
    double x1, y1, x2, y2;
};

// One recorded sheet, decoded.
struct DecodedPage {
    LoggingDevice log;
    std::vector<Segment> lines() const
    {
        std::vector<Segment> out;
        for (const auto* call : log.callsOf("line"))
            out.push_back({call->numbers.at(0), call->numbers.at(1), call->numbers.at(2), call->numbers.at(3)});
        return out;
    }
    // Rows of the horizontal lines from x1 to x2, in drawing order.
    std::vector<int> rows(double x1, double x2) const
    {
        std::vector<int> out;
        for (const Segment& s : lines())
            if (s.y1 == s.y2 && s.x1 == x1 && s.x2 == x2)
                out.push_back(static_cast<int>(s.y1));
        return out;
    }
    std::vector<int> columns(double y1, double y2) const
    {
        std::vector<int> out;
        for (const Segment& s : lines())
            if (s.x1 == s.x2 && s.y1 == y1 && s.y2 == y2)
                out.push_back(static_cast<int>(s.x1));
        return out;
    }
    const TextRun* run(const std::string& text) const
    {
        for (const auto* call : log.callsOf("text"))
            if (toUtf8(ShownText(call->text)) == text)
                return &call->text;
        return nullptr;
    }
};

double RunWidth(const TextRun& run) { return std::accumulate(run.dx.begin(), run.dx.end(), 0.0); }

std::vector<int> Range(int from, int to)
{
    std::vector<int> out;
    for (int i = from; i <= to; ++i)
        out.push_back(i);
    return out;
}

std::vector<int> Join(std::vector<int> a, const std::vector<int>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class Decorations : public ::testing::Test {
protected:
    explicit Decorations(const std::string& printer = "Velm Test 600")
        : here_(dir_.path()), printer_(dir_.file("out"), 4800, 6600, 600, printer)
    {
        PrinterCanvas().Font.PixelsPerInch = 600; // as a job's run sets it
        gdi_ = std::make_unique<TGdi>();
        gdi_->BeginDocument(clWhite, "Decorations", 100);
    }
    ~Decorations() override
    {
        if (gdi_)
            gdi_->ClearStoredPages();
    }

    DecodedPage Finish(int page = 1)
    {
        gdi_->EndPage();
        DecodedPage decoded;
        const EmfReader reader = EmfReader::fromFile(PageFileName(page));
        EXPECT_TRUE(reader.isValid()) << reader.problem();
        EXPECT_TRUE(reader.play(decoded.log).ok);
        return decoded;
    }

    TempDir dir_;
    CurrentDir here_;
    TestPrinter printer_;
    std::unique_ptr<TGdi> gdi_;
};

// Rows (or columns) a side draws for the box (100, 200, 2000, 300).
struct StyleCase {
    TFrameStyles style;
    std::vector<int> top, bottom, left, right;
};

const std::vector<StyleCase>& StyleCases()
{
    static const std::vector<StyleCase> cases = {
        {frSingleThick, Range(200, 205), Range(295, 300), Range(100, 105), Range(1995, 2000)},
        {frSingleThin, Range(200, 201), Range(299, 300), Range(100, 101), Range(1999, 2000)},
        {frDoubleThick, Join(Range(200, 205), Range(209, 214)), Join(Range(286, 291), Range(295, 300)),
         Join(Range(100, 105), Range(109, 114)), Join(Range(1986, 1991), Range(1995, 2000))},
        {frDoubleThin, Join(Range(200, 201), Range(205, 206)), Join(Range(294, 295), Range(299, 300)),
         Join(Range(100, 101), Range(105, 106)), Join(Range(1994, 1995), Range(1999, 2000))},
        // Thick first in growing coordinates: outside on top and left, inside on bottom and right.
        {frDoubleThickThin, Join(Range(200, 205), Range(209, 210)), Join(Range(290, 295), Range(299, 300)),
         Join(Range(100, 105), Range(109, 110)), Join(Range(1990, 1995), Range(1999, 2000))},
        {frDoubleThinThick, Join(Range(200, 201), Range(205, 210)), Join(Range(290, 291), Range(295, 300)),
         Join(Range(100, 101), Range(105, 110)), Join(Range(1990, 1991), Range(1995, 2000))},
    };
    return cases;
}

TEST_F(Decorations, EveryFrameStyleDrawsItsBandsOnEachSideInOrder)
{
    // One sheet per style.
    const std::vector<StyleCase>& cases = StyleCases();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (i > 0)
            gdi_->NewPage();
        const TFrameStyles s = cases[i].style;
        gdi_->DrawFrame(100, 200, 2000, 300, s, s, s, s);
        EXPECT_EQ(gdi_->FrameBottom(), 301) << "style " << int(s);
    }
    gdi_->EndPage();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const StyleCase& c = cases[i];
        SCOPED_TRACE(static_cast<int>(c.style));
        DecodedPage page;
        ASSERT_TRUE(EmfReader::fromFile(PageFileName(static_cast<int>(i) + 1)).play(page.log).ok);
        // Horizontal bands run from Left to Right, vertical ones from Top
        // to Bottom; top, bottom, left, right is the drawing order.
        EXPECT_EQ(page.rows(100, 2000), Join(c.top, c.bottom));
        EXPECT_EQ(page.columns(200, 300), Join(c.left, c.right));
        const std::vector<Segment> lines = page.lines();
        ASSERT_EQ(lines.size(), c.top.size() + c.bottom.size() + c.left.size() + c.right.size());
        EXPECT_EQ(lines.at(c.top.size() + c.bottom.size()).x1, c.left.front()) << "left after bottom";
    }
}

TEST_F(Decorations, SidesAreDrawnOnlyForTheirOwnStyle)
{
    gdi_->DrawFrame(100, 200, 2000, 300, frDoubleThickThin, frNone, 7, frNone);
    EXPECT_EQ(gdi_->FrameBottom(), 0) << "no horizontal line was drawn";
    const DecodedPage page = Finish();
    EXPECT_EQ(page.columns(200, 300), Join(Range(100, 105), Range(109, 110)));
    EXPECT_TRUE(page.rows(100, 2000).empty());
}

TEST_F(Decorations, HeaderPlacesItsThreeTextsAndTheBox)
{
    const TFont font{"Arial", 16, clRed, fsBold, 96};
    gdi_->DrawHeader(true, font, 150, 150, "Left text", "Centre text", "Right text", 300, true, true, false,
                     frSingleThin, frSingleThin, frSingleThin, frSingleThin);
    // 16 screen pixels at 600 / 96: a cell height of 100, so the box is 200 high.
    EXPECT_EQ(gdi_->FrameBottom(), 501);
    const DecodedPage page = Finish();

    const TextRun* left = page.run("Left text");
    const TextRun* centre = page.run("Centre text");
    const TextRun* right = page.run("Right text");
    ASSERT_TRUE(left && centre && right);
    EXPECT_EQ(left->origin.x, 170);
    EXPECT_EQ(left->origin.y, 350);
    EXPECT_EQ(centre->origin.y, 350);
    EXPECT_EQ(right->origin.y, 350);
    EXPECT_EQ(left->font.height, 100);
    // The header font's own style is for measuring only: the page's bold
    // flag (off) draws the texts.
    EXPECT_EQ(left->font.weight, 400);
    EXPECT_EQ(left->color, ColorRef{clRed});

    const int boxRight = 4800 - 150;
    LogFont measuring = left->font;
    measuring.weight = 700; // measured with the header font's style
    const double twoDigits = textWidth(measuring, u"00");
    EXPECT_EQ(right->origin.x + textWidth(measuring, u"Right text") + twoDigits, boxRight);
    const double centreWidth = textWidth(measuring, u"Centre text");
    EXPECT_NEAR(centre->origin.x + centreWidth / 2, (150 + boxRight) / 2.0, 1.0);

    EXPECT_EQ(page.rows(150, boxRight), Join(Range(300, 301), Range(499, 500)));
    EXPECT_EQ(page.columns(300, 500), Join(Range(150, 151), Range(boxRight - 1, boxRight)));
    const auto fills = page.log.callsOf("fill");
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0]->numbers, (std::vector<double>{150, 300, double(boxRight), 500}));
}

TEST_F(Decorations, HeaderKeepsTheSignOfTheFontHeightAndTheFooterDoesNot)
{
    const TFont font{"Arial", -21, clWindowText, 0, 96}; // -21 * 6.25 = -131.25
    gdi_->DrawHeader(true, font, 0, 0, "header", "", "", 100, false, false, false, 0, 0, 0, 0);
    EXPECT_EQ(PrinterCanvas().Font.Height, -131);
    gdi_->DrawFooter(font, 0, 0, "footer", 5000, false, false, false, 0, 0, 0, 0);
    EXPECT_EQ(PrinterCanvas().Font.Height, 131);
    const DecodedPage page = Finish();
    ASSERT_TRUE(page.run("header") && page.run("footer"));
    EXPECT_EQ(page.run("header")->font.height, -131);
    EXPECT_EQ(page.run("footer")->font.height, 131);
    // Halves go to even: 131 / 2 = 65.5 gives 66 from the footer's top.
    EXPECT_EQ(page.run("footer")->origin.y, 5066);
}

TEST_F(Decorations, DisabledHeaderOnlySetsTheTextColour)
{
    const TFont font{"Arial", 16, clRed, 0, 96};
    gdi_->DrawHeader(false, font, 150, 150, "L", "C", "R", 300, true, true, false, 2, 2, 2, 2);
    gdi_->TextAt(500, 1000, "cell text");
    const DecodedPage page = Finish();
    EXPECT_TRUE(page.lines().empty());
    EXPECT_TRUE(page.log.callsOf("fill").empty());
    EXPECT_EQ(page.log.texts(), std::vector<std::string>{"cell text"});
    EXPECT_EQ(page.run("cell text")->color, ColorRef{clRed});
}

TEST_F(Decorations, FooterIsBoldCentredAndLeavesBlackBehind)
{
    const TFont font{"Arial", 12, clRed, fsItalic, 96};
    gdi_->DrawFooter(font, 150, 150, "Page Footer", 6000, true, true, false, 0, 2, 0, 2);
    gdi_->TextAt(500, 6400, "after");
    const DecodedPage page = Finish();
    const TextRun* footer = page.run("Page Footer");
    ASSERT_TRUE(footer);
    EXPECT_EQ(footer->font.weight, 700);
    EXPECT_EQ(footer->font.height, 75); // 12 * 6.25
    EXPECT_EQ(footer->color, ColorRef{clRed});
    EXPECT_EQ(footer->origin.y, 6000 + 38); // RoundDiv(75, 2) = 37.5 -> 38
    EXPECT_NEAR(footer->origin.x + RunWidth(*footer) / 2, 2400, 1.0);
    EXPECT_EQ(page.run("after")->color, ColorRef{clBlack});
    EXPECT_EQ(page.rows(150, 4650), Join(Range(6000, 6001), Range(6149, 6150)));
}

TEST_F(Decorations, PageNumberEndsExactlyAtTheRightBorder)
{
    for (int sheet = 1; sheet < 12; ++sheet)
        gdi_->NewPage();
    ASSERT_EQ(gdi_->PageCount(), 12);
    PrinterCanvas().Font.Height = 80;
    gdi_->DrawPageNumber(150, 6000);
    EXPECT_EQ(PrinterCanvas().Font.Height, 80) << "the footer's height comes back";
    EXPECT_EQ(PrinterCanvas().Font.Name, "Arial");
    const DecodedPage page = Finish(12);
    const TextRun* number = page.run("Page 12  ");
    ASSERT_TRUE(number);
    EXPECT_EQ(number->origin.x + RunWidth(*number), 4800 - 150);
    EXPECT_EQ(number->origin.y, 6000 + 200); // two and a half footer lines
    EXPECT_EQ(number->font.height, 30);
    EXPECT_EQ(number->color, ColorRef{clBlack});
}

// The stamp's languages and forms: tests/cli/filter_test.cpp.
TEST_F(Decorations, DateStampNamesToday)
{
    PrinterCanvas().Font.Height = -75;
    gdi_->DrawDateTimeStamp(150, 6000);
    const DecodedPage page = Finish();
    ASSERT_EQ(page.log.texts().size(), 1u);
    const std::string stamp = page.log.texts()[0];
    EXPECT_EQ(stamp.rfind("Printed on ", 0), 0u) << stamp;
    const TextRun* run = page.run(stamp);
    EXPECT_EQ(run->origin.x, 150);
    EXPECT_EQ(run->origin.y, 6000 + 188); // 75 * 2.5 = 187.5 -> 188
}

class GenericDecorations : public Decorations {
protected:
    GenericDecorations() : Decorations("Generic Text Only") {}
};

TEST_F(GenericDecorations, TextsAreDrawnWithoutBoxesLinesOrFills)
{
    ASSERT_TRUE(IsGenericPrinter());
    const TFont font{"Arial", 16, clWindowText, 0, 96};
    gdi_->DrawHeader(true, font, 150, 150, "L", "C", "R", 300, true, true, false, 3, 3, 3, 3);
    gdi_->DrawFooter(font, 150, 150, "F", 6000, true, true, false, 3, 3, 3, 3);
    gdi_->DrawFrame(100, 200, 2000, 300, 1, 1, 1, 1);
    gdi_->DrawDateTimeStamp(150, 6000);
    gdi_->DrawPageNumber(150, 6000);
    const DecodedPage page = Finish();
    EXPECT_TRUE(page.lines().empty());
    EXPECT_TRUE(page.log.callsOf("fill").empty());
    EXPECT_TRUE(page.log.callsOf("rectangle").empty());
    for (const char* text : {"L", "C", "R", "F", "Page 1  "})
        EXPECT_TRUE(page.run(text)) << text;
    EXPECT_EQ(page.log.texts().size(), 6u);
}

} // namespace
} // namespace velm
