// Paragraphs of translated text (Debian's message catalogues) through
// PutText on a 600-dpi page: each in its direction, right-to-left ones
// against the right edge, and lines of scripts written without spaces
// broken only where ICU's line breaking allows.
#include "engine/Gdi.h"
#include "platform/core/codepage.h"
#include "stored_pages.h"
#include "support/catalogues.h"
#include "support/test_printer.h"
#include "support/testing.h"

#include <gtest/gtest.h>
#include <unicode/ubrk.h>

#include <algorithm>
#include <map>
#include <set>

namespace velm {
namespace {

using testing::Catalogue;
using testing::DecodedText;

constexpr int kLeft = 160, kTop = 391, kStep = 132;

// One page of a run, in a folder of its own.
class Page {
public:
    Page() : here_(dir_.path()), printer_(dir_.file("out"))
    {
        PrinterCanvas().Font.PixelsPerInch = 600;
        gdi_ = std::make_unique<TGdi>();
        gdi_->BeginDocument(clWhite, "Paragraphs", 100);
        gdi_->SetFont(TFont{"Arial", 14, clWindowText, 0, 96});
        gdi_->SetLineHeight(kStep);
    }

    // One paragraph in an area from kLeft to right; its runs by output line.
    std::map<int, std::vector<DecodedText>> Put(const std::u16string& text, int right)
    {
        gdi_->SetTextArea(kLeft, 300, right, 6480);
        gdi_->CarriageReturn();
        int y = kTop;
        std::string utf8 = toUtf8(text);
        EXPECT_TRUE(gdi_->PutText(y, utf8));
        EXPECT_EQ(utf8, "");
        gdi_->EndPage();
        std::map<int, std::vector<DecodedText>> lines;
        // A run in a fallback face sits a little lower or higher: lines by step.
        for (const DecodedText& t : testing::DecodePage(PageFileName(1)).texts())
            lines[(t.y - kTop + kStep / 2) / kStep].push_back(t);
        for (auto& [row, runs] : lines)
            std::sort(runs.begin(), runs.end(), [](const DecodedText& a, const DecodedText& b) { return a.x < b.x; });
        return lines;
    }

    int Width(std::u16string_view text) const { return gdi_->TextWidth(toUtf8(text)); }

private:
    testing::TempDir dir_;
    testing::CurrentDir here_;
    testing::TestPrinter printer_;
    std::unique_ptr<TGdi> gdi_;
};

int RightEnd(const std::vector<DecodedText>& runs) { return runs.back().x + runs.back().width; }

TEST(Paragraphs, RightToLeftParagraphsEndAtTheRightEdge)
{
    for (const char* script : {"Arabic", "Persian", "Urdu", "Hebrew", "Thaana", "Arabic+Latin"}) {
        SCOPED_TRACE(script);
        const std::u16string& text = Catalogue().at(script).text;
        const int wrapped = kLeft + 10 + Page().Width(text) * 2 / 3;
        for (const int right : {2390, wrapped}) {
            const auto lines = Page().Put(text, right);
            ASSERT_EQ(lines.size() > 1, right == wrapped);
            for (const auto& [row, runs] : lines) {
                EXPECT_EQ(RightEnd(runs), right) << "line " << row;
                EXPECT_GE(runs.front().x, kLeft + 10) << "line " << row;
            }
        }
    }
}

TEST(Paragraphs, AMixedLineReadsInItsRunsOrder)
{
    const auto lines = Page().Put(u"The file \u0645\u0644\u0641.txt was saved", 2390);
    ASSERT_EQ(lines.size(), 1u);
    const std::vector<DecodedText>& runs = lines.at(0);
    std::vector<std::string> texts;
    for (const DecodedText& t : runs)
        texts.push_back(t.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"The file ", "\u0645\u0644\u0641", ".txt was saved"}));
    EXPECT_EQ(runs.front().x, kLeft + 10) << "a left-to-right paragraph starts at the left";
    for (std::size_t i = 1; i < runs.size(); ++i)
        EXPECT_EQ(runs[i].x, runs[i - 1].x + runs[i - 1].width) << "runs follow one another";
}

// ICU's line break opportunities in the text, independently of the page.
std::set<std::size_t> IcuBreaks(const std::u16string& text)
{
    UErrorCode status = U_ZERO_ERROR;
    UBreakIterator* it = ubrk_open(UBRK_LINE, "", text.data(), static_cast<int32_t>(text.size()), &status);
    EXPECT_TRUE(U_SUCCESS(status));
    std::set<std::size_t> breaks;
    for (int32_t b = ubrk_first(it); b != UBRK_DONE; b = ubrk_next(it))
        breaks.insert(static_cast<std::size_t>(b));
    ubrk_close(it);
    return breaks;
}

TEST(Paragraphs, ScriptsWithoutSpacesBreakOnlyAtIcusOpportunities)
{
    for (const char* script : {"Thai", "Lao", "Khmer", "Myanmar"}) {
        SCOPED_TRACE(script);
        const std::u16string& text = Catalogue().at(script).text;
        Page page;
        // Half the paragraph's width a line (as narrow as four columns to
        // a sheet leave for the longer ones).
        const int right = kLeft + 10 + page.Width(text) / 2;
        const auto lines = page.Put(text, right);
        ASSERT_GT(lines.size(), 1u);
        const std::set<std::size_t> breaks = IcuBreaks(text);
        std::u16string read;
        int insideWords = 0;
        for (const auto& [row, runs] : lines) {
            SCOPED_TRACE("line " + std::to_string(row));
            std::u16string line;
            for (const DecodedText& t : runs)
                line += toUnicode(t.text);
            EXPECT_LE(RightEnd(runs), right);
            if (!read.empty() && text[read.size()] == u' ')
                read += u' '; // the break took one space
            const std::size_t start = read.size();
            EXPECT_EQ(text.substr(start, line.size()), line) << "no character lost or moved";
            read += line;
            std::size_t end = read.size();
            while (end < text.size() && text[end] == u' ')
                ++end;
            EXPECT_TRUE(breaks.count(end)) << "ends at " << read.size();
            if (end == text.size())
                continue;
            insideWords += text[end - 1] != u' ';
            // Full: the text up to the next opportunity would not have fitted.
            std::size_t next = *breaks.upper_bound(end);
            while (text[next - 1] == u' ')
                --next;
            EXPECT_GT(kLeft + 10 + page.Width(std::u16string_view(text).substr(start, next - start)), right)
                << "it could have held more";
        }
        EXPECT_EQ(read, text);
        EXPECT_GT(insideWords, 0) << "some line breaks between two words without a space";
    }
}

} // namespace
} // namespace velm
