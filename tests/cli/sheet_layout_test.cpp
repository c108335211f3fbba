// Sheets of the built-in printer as they come out of the PDF file: the
// body between the header and footer boxes, the header's texts inside
// their box, and the stamp and page number on the paper.
#include "platform/metafile/emf_reader.h"
#include "support/logging_device.h"
#include "support/pdf_words.h"
#include "support/testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <regex>

namespace velm {
namespace {

using testing::TempDir;

using Word = testing::PdfWord;
using Sheet = testing::PdfSheet;

// The horizontal rules of a stored page, in points on the built-in
// printer's paper: 300 pixels an inch from a quarter-inch margin.
std::vector<double> HorizontalRules(const std::string& storedPage)
{
    LoggingDevice page;
    EmfReader::fromFile(storedPage).play(page);
    std::vector<double> rules;
    for (const LoggingDevice::Call* line : page.callsOf("line"))
        if (line->numbers[1] == line->numbers[3])
            rules.push_back((line->numbers[1] + 75) * 72.0 / 300);
    std::sort(rules.begin(), rules.end());
    return rules;
}

bool IsBody(const Word& w) { return std::regex_match(w.text, std::regex("body[0-9]+")); }
bool IsHeader(const Word& w) { return w.text == "LEFTMARK" || w.text == "RIGHTMARK" || w.text.find('/') == 0; }

TEST(SheetLayout, BodyHeaderAndFooterStandApartOnTheBuiltInPrinter)
{
    TempDir dir;
    std::string text;
    for (int i = 1; i <= 400; ++i)
        text += "body" + std::to_string(i) + "\n";
    dir.write("lines.txt", text);
    for (const char* layout : {"1x1", "2x2"}) {
        SCOPED_TRACE(layout);
        const std::string pages = dir.file(std::string("pages-") + layout);
        const std::string pdf = dir.file(std::string(layout) + ".pdf");
        ASSERT_EQ(testing::run("cd '" + dir.path() + "' && '" + VELM_BINARY + "' --layout=" + layout
                               + " --header-left=LEFTMARK --header-right=RIGHTMARK --keep-pages='" + pages
                               + "' -o '" + pdf + "' lines.txt >/dev/null 2>&1"),
                  0);
        const std::vector<Sheet> sheets = testing::ReadPdfSheets(pdf);
        ASSERT_GE(sheets.size(), 2u);
        for (int n = 1; n <= 2; ++n) {
            SCOPED_TRACE("sheet " + std::to_string(n));
            const Sheet& sheet = sheets[static_cast<std::size_t>(n - 1)];
            const std::vector<double> rules = HorizontalRules(pages + "/PRN00" + std::to_string(n) + ".EMF");
            ASSERT_GE(rules.size(), 4u);
            // The header box's rules are the topmost, the footer box's the
            // lowest; each box is well under an inch high (rules between the
            // cells of a sheet lie between them).
            const double headerTop = rules.front(), footerBottom = rules.back();
            const double headerBottom = *std::prev(std::upper_bound(rules.begin(), rules.end(), headerTop + 72));
            const double footerTop = *std::lower_bound(rules.begin(), rules.end(), footerBottom - 72);
            ASSERT_LT(headerBottom, footerTop);
            int body = 0, header = 0;
            for (const Word& w : sheet.words) {
                SCOPED_TRACE(w.text);
                if (IsBody(w)) {
                    ++body;
                    EXPECT_GT(w.yMin, headerBottom);
                    EXPECT_LT(w.yMax, footerTop);
                } else if (IsHeader(w)) {
                    ++header;
                    EXPECT_GT(w.yMin, headerTop);
                    EXPECT_LT(w.yMax, headerBottom);
                } else {
                    EXPECT_GE(w.xMin, 0);
                    EXPECT_GE(w.yMin, footerTop) << "footer, stamp and page number stand below the body";
                    EXPECT_LE(w.xMax, sheet.width);
                    EXPECT_LE(w.yMax, sheet.height);
                }
                if (w.text == "Printed") {
                    EXPECT_GT(w.yMax - w.yMin, 6.0) << "the stamp is readable";
                }
            }
            EXPECT_GT(body, 20);
            // The left and right marks, and the path from the second page on.
            EXPECT_EQ(header, n == 1 && std::string(layout) == "1x1" ? 2 : 3);
        }
    }
}

} // namespace
} // namespace velm
