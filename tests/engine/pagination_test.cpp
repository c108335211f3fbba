// Cells, text areas, separators and the flow of lines through cells and
// sheets, checked on the decoded stored pages of real runs.
#include "engine/Gdi.h"
#include "engine/PrnFile.h"
#include "stored_pages.h"

#include <gtest/gtest.h>

#include <sstream>

namespace velm {
namespace {

using testing::DecodedLine;
using testing::DecodedPage;
using testing::DecodedText;
using testing::JobHarness;
using testing::NumberedLines;

constexpr int kContentsHeight = 88; // 14 screen pixels at 600 dpi
constexpr ColorRef kGrey = rgb(192, 192, 192);

std::vector<DecodedText> Contents(const DecodedPage& page) { return page.textsOfHeight(kContentsHeight); }

std::vector<DecodedLine> GreyLines(const DecodedPage& page)
{
    std::vector<DecodedLine> grey;
    for (const DecodedLine& l : page.lines())
        if (l.color == kGrey)
            grey.push_back(l);
    return grey;
}

std::vector<std::string> Tokens(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

std::vector<std::string> Words(int count)
{
    std::vector<std::string> words;
    char buffer[16];
    for (int i = 1; i <= count; ++i) {
        std::snprintf(buffer, sizeof buffer, "w%06d", i);
        words.push_back(buffer);
    }
    return words;
}

std::string Join(const std::vector<std::string>& words)
{
    std::string text;
    for (const auto& w : words)
        text += (text.empty() ? "" : " ") + w;
    return text;
}

// Every word of every contents run of the job, in order.
std::vector<std::string> PrintedWords(const std::vector<DecodedPage>& pages)
{
    std::vector<std::string> words;
    for (const DecodedPage& page : pages)
        for (const DecodedText& t : Contents(page))
            for (const std::string& w : Tokens(t.text))
                words.push_back(w);
    return words;
}

TEST(Pagination, WorkedExampleHolds46LinesPerCell)
{
    JobHarness h;
    const auto& pages = h.Run(NumberedLines(100));
    ASSERT_EQ(pages.size(), 3u);
    const auto first = Contents(pages[0]);
    ASSERT_EQ(first.size(), 46u);
    for (int k = 0; k < 46; ++k) {
        EXPECT_EQ(first[k].text, "line " + std::to_string(k + 1));
        EXPECT_EQ(first[k].y, 391 + 132 * k);
        EXPECT_EQ(first[k].x, 170);
    }
    const auto second = Contents(pages[1]);
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(second[0].text, "line 47");
    EXPECT_EQ(second[0].y, 391);
    EXPECT_EQ(Contents(pages[2]).size(), 8u);
    // One cell per sheet: no separators.
    for (const DecodedPage& page : pages)
        EXPECT_TRUE(GreyLines(page).empty());
}

TEST(Pagination, SingleLineSpacingStartsAtTwoHeightsAndTheMargin)
{
    JobHarness h;
    h.job.LineSpacing = 1.0;
    const auto contents = Contents(h.Run(NumberedLines(3)).at(0));
    ASSERT_EQ(contents.size(), 3u);
    EXPECT_EQ(contents[0].y, 88 + 200 + 88);
    EXPECT_EQ(contents[1].y, 88 + 200 + 88 + 88);
}

TEST(Pagination, TwoColumnsShareTheSheetWithOneGreySeparator)
{
    JobHarness h;
    h.job.PageLayout = pl_1x2;
    const auto& pages = h.Run(Join(Words(120)) + "\r\n" + NumberedLines(60));
    ASSERT_EQ(pages.size(), 1u);
    const auto contents = Contents(pages[0]);
    bool secondCell = false;
    for (const DecodedText& t : contents) {
        secondCell = secondCell || t.x >= 2400;
        if (secondCell) {
            EXPECT_GE(t.x, 2410);
            EXPECT_LE(t.x + t.width, 4640);
        } else {
            EXPECT_GE(t.x, 160);
            EXPECT_LE(t.x + t.width, 2390);
        }
    }
    ASSERT_TRUE(secondCell);
    // The second cell's first line is the top line of its column.
    for (const DecodedText& t : contents)
        if (t.x >= 2400) {
            EXPECT_EQ(t.x, 2420);
            EXPECT_EQ(t.y, 391);
            break;
        }
    const auto grey = GreyLines(pages[0]);
    ASSERT_EQ(grey.size(), 1u);
    EXPECT_EQ(grey[0].x1, 2400);
    EXPECT_EQ(grey[0].x2, 2400);
    EXPECT_EQ(grey[0].y2, 6500); // the footer's top
    EXPECT_LT(grey[0].y1, 1000);
}

TEST(Pagination, SecondRowCellsStartAtTheirRowsTop)
{
    JobHarness h;
    h.job.PageLayout = pl_2x2;
    const auto& pages = h.Run(NumberedLines(120));
    ASSERT_FALSE(pages.empty());
    // A first-row cell ends at its own bottom (300 + 3150 - 120): 23 lines, not
    // the 46 that would run on over the second row.
    bool found = false;
    for (const DecodedText& t : Contents(pages[0])) {
        if (t.y < 3450) {
            EXPECT_LE(t.y, 3330) << t.text;
        }
        if (t.text == "line 47") {
            found = true;
            EXPECT_EQ(t.x, 170);
            EXPECT_EQ(t.y, 300 + 3150);
        }
    }
    EXPECT_TRUE(found);
    const auto grey = GreyLines(pages[0]);
    ASSERT_EQ(grey.size(), 2u);
    EXPECT_EQ(grey[0].x1, 2400);
    EXPECT_EQ(grey[1].y1, 3450);
    EXPECT_EQ(grey[1].x1, 150);
    EXPECT_EQ(grey[1].x2, 4650);
}

TEST(Pagination, AFullCellCarriesTheRestIntoTheNextCellAfterItsHeader)
{
    JobHarness h;
    const std::vector<std::string> words = Words(1200);
    TStringList memo({Join(words)});
    h.job.Memo = &memo;
    h.job.Input = frTMemo;
    h.job.Execute();
    ASSERT_GE(h.pages.size(), 2u);
    const auto first = Contents(h.pages[0]);
    // The last row whose text stays above the footer box (at 6500): the
    // next position, 6463, is still above the area's bottom, but its text
    // would reach 6551.
    EXPECT_EQ(first.back().y, 391 + 45 * 132);
    const DecodedPage& second = h.pages[1];
    const auto texts = second.texts();
    std::size_t header = texts.size(), carried = texts.size();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i].text == "Page Header" && header == texts.size())
            header = i;
        if (std::abs(texts[i].font.height) == kContentsHeight && carried == texts.size())
            carried = i;
    }
    ASSERT_LT(carried, texts.size());
    EXPECT_LT(header, carried);
    EXPECT_EQ(texts[carried].y, 391);
    EXPECT_EQ(PrintedWords(h.pages), words); // nothing lost, nothing doubled
}

TEST(Pagination, WordsCutByTheReadersPiecesPrintWhole)
{
    JobHarness h;
    // 8-character units: piece boundaries at 250 characters fall inside words.
    const std::vector<std::string> words = Words(600);
    const auto& pages = h.Run(Join(words) + "\r\nend\r\n");
    std::vector<std::string> expected = words;
    expected.push_back("end");
    EXPECT_EQ(PrintedWords(pages), expected);
    // Runs that share a line are 10 pixels apart, as consecutive pieces are.
    for (const DecodedPage& page : pages) {
        const auto contents = Contents(page);
        for (std::size_t i = 1; i < contents.size(); ++i)
            if (contents[i].y == contents[i - 1].y) {
                EXPECT_EQ(contents[i].x, contents[i - 1].x + contents[i - 1].width + 10);
            }
    }
}

TEST(Pagination, HtmlLineEndsDoNotBreakPrintedLines)
{
    JobHarness h;
    const auto contents = Contents(h.Run("one\r\ntwo<br>three", frHTML).at(0));
    ASSERT_EQ(contents.size(), 3u);
    EXPECT_EQ(contents[0].text, "one");
    EXPECT_EQ(contents[1].y, contents[0].y);
    EXPECT_EQ(contents[1].x, contents[0].x + contents[0].width + 10);
    EXPECT_EQ(contents[2].text, "three");
    EXPECT_EQ(contents[2].y, contents[0].y + 132);
}

} // namespace
} // namespace velm
