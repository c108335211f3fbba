// Stored pages played onto a printer: sheets counted and read back from the
// PDF the printer produced.
#include "engine/Gdi.h"
#include "engine/PageOutput.h"
#include "engine/UserInterface.h"
#include "platform/printing/printer.h"
#include "platform/system/settings.h"
#include "support/pdf_words.h"
#include "support/test_printer.h"
#include "support/testing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <tuple>

namespace velm {
namespace {

using testing::CurrentDir;
using testing::TempDir;
using testing::TestPrinter;

int PdfPageCount(const std::string& pdf)
{
    std::string info;
    if (testing::run("pdfinfo '" + pdf + "' 2>/dev/null", &info) != 0)
        return -1;
    std::smatch m;
    return std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)")) ? std::stoi(m[1]) : -1;
}

std::string PdfPageText(const std::string& pdf, int page)
{
    std::string text;
    testing::run("pdftotext -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" + pdf
                     + "' - 2>/dev/null",
                 &text);
    // One space between words, none around them: a blank sheet reads "".
    text = std::regex_replace(text, std::regex("\\s+"), " ");
    return std::regex_replace(text, std::regex("^ | $"), "");
}

// What the loops told the status dialogs of a test.
struct StatusLog {
    bool shown = false;
    std::vector<std::string> pages, statuses;
};

// A status dialog that records into the log and offers the "&Abort" a
// test presses; `live` points at it while it exists.
class RecordingStatus : public TPrintStatus {
public:
    RecordingStatus(StatusLog& log, RecordingStatus*& live) : log_(log), live_(live) { live_ = this; }
    ~RecordingStatus() override { live_ = nullptr; }
    void Show() override { log_.shown = true; }
    void SetPage(const std::string& text) override { log_.pages.push_back(text); }
    void SetStatus(const std::string& text) override { log_.statuses.push_back(text); }
    void SetCancelFlag(const TCancelFlag& flag) override { cancel_ = flag; }
    void SetPrintDocument(PrintDocument* d) override { document_ = d; }
    void Abort()
    {
        if (document_ && document_->isOpen())
            document_->abort();
        cancel_.Set();
    }

private:
    StatusLog& log_;
    RecordingStatus*& live_;
    TCancelFlag cancel_;
    PrintDocument* document_ = nullptr;
};

class PageOutput : public ::testing::Test {
protected:
    PageOutput() : here_(job_.path()), printer_(out_.path()), saved_(ui())
    {
        ui().createStatus = [this]() -> std::unique_ptr<TPrintStatus> {
            return std::make_unique<RecordingStatus>(log_, status_);
        };
        ui().showMessage = [this](const std::string& text) { messages_.push_back(text); };
        ui().processMessages = [this] {
            if (status_ && abortAfterPages_ > 0 && static_cast<int>(log_.pages.size()) >= abortAfterPages_)
                status_->Abort();
        };
    }
    ~PageOutput() override { ui() = saved_; }

    // Records `count` sheets, each saying "sheet N".
    void Record(int count)
    {
        TGdi gdi;
        gdi.BeginDocument(clWhite, "Output", 100);
        for (int n = 1; n <= count; ++n) {
            if (n > 1)
                gdi.NewPage();
            gdi.SelectFont("Arial", 100);
            gdi.TextAt(600, 600, "sheet " + std::to_string(n));
        }
        gdi.EndPage();
    }

    // Prints and returns the text of every sheet of the one PDF written.
    std::vector<std::string> Print(int which)
    {
        TGdi gdi;
        outcome_ = gdi.PrintStoredPages(which, true);
        return SheetTexts();
    }

    std::vector<std::string> SheetTexts()
    {
        std::vector<std::string> sheets;
        const auto files = testing::filesIn(out_.path());
        if (files.size() != 1) {
            ADD_FAILURE() << files.size() << " files written";
            return sheets;
        }
        const std::string pdf = out_.file(files[0]);
        for (int page = 1, count = PdfPageCount(pdf); page <= count; ++page)
            sheets.push_back(PdfPageText(pdf, page));
        return sheets;
    }

    TempDir job_;  // the stored pages
    TempDir out_;  // the printer's PDFs
    CurrentDir here_;
    TestPrinter printer_;
    UserInterface saved_;
    StatusLog log_;
    RecordingStatus* status_ = nullptr;
    int abortAfterPages_ = 0;
    std::vector<std::string> messages_;
    TJobOutcome outcome_; // of the latest Print
};

using Sheets = std::vector<std::string>;

TEST_F(PageOutput, AllPagesGiveOneSheetEachAndNoMore)
{
    Record(3);
    EXPECT_EQ(Print(0), (Sheets{"sheet 1", "sheet 2", "sheet 3"}));
    EXPECT_EQ(outcome_.PagesPrinted(), 3);
    EXPECT_EQ(outcome_.Deliveries.size(), 1u);
    EXPECT_EQ(log_.statuses, (Sheets{"Printing..."}));
    EXPECT_EQ(log_.pages, (Sheets{"1", "2", "3"}));
    EXPECT_TRUE(log_.shown);
    EXPECT_EQ(StoredPageCount(), 3) << "the stored pages stay for the job to clear";
}

// Manual duplex: both passes feed the same stack of ceil(n / 2) leaves.
TEST_F(PageOutput, OddPassPrintsOddPagesOnePerLeaf)
{
    Record(5);
    EXPECT_EQ(Print(1), (Sheets{"sheet 1", "sheet 3", "sheet 5"}));
}

TEST_F(PageOutput, EvenPassOfAnOddCountFeedsTheLastLeafBlank)
{
    Record(5);
    EXPECT_EQ(Print(2), (Sheets{"sheet 2", "sheet 4", ""}));
    EXPECT_EQ(outcome_.Deliveries.at(0).Sheets, 3);
}

TEST_F(PageOutput, OddPassStartsNoTrailingBlankSheet)
{
    Record(2);
    EXPECT_EQ(Print(1), (Sheets{"sheet 1"}));
}

TEST_F(PageOutput, PassesOfAnEvenCountTakeHalfTheSheetsEach)
{
    Record(4);
    EXPECT_EQ(Print(1), (Sheets{"sheet 1", "sheet 3"}));
    std::filesystem::remove(out_.file(testing::filesIn(out_.path()).at(0)));
    EXPECT_EQ(Print(2), (Sheets{"sheet 2", "sheet 4"}));
}

TEST_F(PageOutput, PrintingStopsAtTheFirstGap)
{
    Record(4);
    std::filesystem::remove(PageFileName(3));
    EXPECT_EQ(Print(0), (Sheets{"sheet 1", "sheet 2"}));
}

TEST_F(PageOutput, NoStoredPagePrintsOneEmptyDocument)
{
    EXPECT_EQ(Print(0), (Sheets{""}));
    EXPECT_EQ(outcome_.PagesPlayed, 0);
}

TEST_F(PageOutput, MoreThanAThousandPagesAreAllPrinted)
{
    Record(1003);
    TGdi gdi;
    EXPECT_EQ(gdi.PrintStoredPages(1, false).PagesPrinted(), 502);
    const auto files = testing::filesIn(out_.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(PdfPageCount(out_.file(files[0])), 502);
    EXPECT_EQ(PdfPageText(out_.file(files[0]), 502), "sheet 1003");
}

TEST_F(PageOutput, RecordedOrientationIsSetBeforeTheDocumentBegins)
{
    Record(1);
    Printer& printer = Printers::instance().selected();
    for (const auto& [text, expected] :
         {std::pair{"Landscape", PaperOrientation::Landscape}, {"portrait", PaperOrientation::Landscape},
          {"Portrait", PaperOrientation::Portrait}}) {
        SettingsFile().writeString("Printer", "Orientation", text);
        TGdi gdi;
        gdi.PrintStoredPages(0, false);
        EXPECT_EQ(printer.orientation(), expected) << text;
    }
}

TEST_F(PageOutput, DamagedPageIsReportedAndTheOthersPrint)
{
    Record(3);
    const std::string whole = testing::readFile(PageFileName(2));
    {
        std::ofstream cut(PageFileName(2), std::ios::binary | std::ios::trunc);
        cut << whole.substr(0, whole.size() - 40); // loses its last records
    }
    const Sheets sheets = Print(0);
    ASSERT_EQ(sheets.size(), 3u);
    EXPECT_EQ(sheets[0], "sheet 1");
    EXPECT_EQ(sheets[2], "sheet 3");
    EXPECT_EQ(outcome_.Status(), TJobStatus::Told);
    EXPECT_EQ(outcome_.Messages, messages_);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("PRN002.EMF is damaged"), std::string::npos) << messages_[0];
}

TEST_F(PageOutput, AbortCancelsTheDocumentSoNothingIsDelivered)
{
    Record(6);
    abortAfterPages_ = 2;
    TGdi gdi;
    const TJobOutcome outcome = gdi.PrintStoredPages(0, true);
    EXPECT_EQ(outcome.Status(), TJobStatus::Cancelled);
    EXPECT_TRUE(outcome.Deliveries.empty());
    EXPECT_EQ(outcome.PagesPlayed, 2) << "the loop ends after the current page";
    EXPECT_TRUE(testing::filesIn(out_.path()).empty()) << "an aborted document leaves no PDF";
}

TEST(PassSheets, EveryPassFeedsAtLeastOneSheet)
{
    EXPECT_EQ(SheetsForPass(0, 0), 1);
    EXPECT_EQ(SheetsForPass(7, 0), 7);
    EXPECT_EQ(SheetsForPass(7, 1), 4);
    EXPECT_EQ(SheetsForPass(7, 2), 4);
    EXPECT_EQ(SheetsForPass(1, 2), 1);
    EXPECT_EQ(SheetsForPass(5, 2, 2), 2);
    EXPECT_EQ(SheetsForPass(9, 0, 8), 2);
}

// What an n-up sheet shows: its stored pages in reading order, and the
// grid their "sheet N" labels stand in.
struct NupSheet {
    std::vector<int> pages;
    int columns = 0, rows = 0;
    bool landscape = false;
    bool operator==(const NupSheet&) const = default;
};

std::ostream& operator<<(std::ostream& out, const NupSheet& s)
{
    out << "{";
    for (int p : s.pages)
        out << p << " ";
    return out << "| " << s.columns << "x" << s.rows << (s.landscape ? " landscape}" : "}");
}

int Distinct(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return static_cast<int>(std::unique(values.begin(), values.end(),
                                        [](double a, double b) { return std::fabs(a - b) < 2; }) -
                            values.begin());
}

std::vector<NupSheet> NupSheets(const std::string& pdf)
{
    std::vector<NupSheet> result;
    for (const testing::PdfSheet& sheet : testing::ReadPdfSheets(pdf)) {
        std::vector<std::tuple<double, double, int>> labels; // y, x, page
        for (std::size_t i = 0; i + 1 < sheet.words.size(); ++i)
            if (sheet.words[i].text == "sheet")
                labels.emplace_back(sheet.words[i].yMin, sheet.words[i].xMin, std::stoi(sheet.words[i + 1].text));
        std::vector<double> xs, ys;
        for (const auto& [y, x, page] : labels) {
            xs.push_back(x);
            ys.push_back(y);
        }
        // Reading order: rows from the top, each from the left.
        std::sort(labels.begin(), labels.end(), [](const auto& a, const auto& b) {
            return std::fabs(std::get<0>(a) - std::get<0>(b)) >= 2 ? std::get<0>(a) < std::get<0>(b)
                                                                   : std::get<1>(a) < std::get<1>(b);
        });
        NupSheet shown{{}, Distinct(xs), Distinct(ys), sheet.width > sheet.height};
        for (const auto& label : labels)
            shown.pages.push_back(std::get<2>(label));
        result.push_back(shown);
    }
    return result;
}

// Finished sheets scaled onto printed ones: the chosen stored pages in
// order, left to right and then top to bottom; two and eight on the turned
// paper. Odd and even passes choose the stored pages first.
TEST_F(PageOutput, NupPlacesTheChosenPagesInReadingOrder)
{
    Record(5);
    const struct {
        int perSheet, which;
        std::vector<NupSheet> sheets;
    } cases[] = {
        {1, 0, {{{1}, 1, 1, false}, {{2}, 1, 1, false}, {{3}, 1, 1, false}, {{4}, 1, 1, false}, {{5}, 1, 1, false}}},
        {2, 0, {{{1, 2}, 2, 1, true}, {{3, 4}, 2, 1, true}, {{5}, 1, 1, true}}},
        {4, 0, {{{1, 2, 3, 4}, 2, 2, false}, {{5}, 1, 1, false}}},
        {8, 0, {{{1, 2, 3, 4, 5}, 4, 2, true}}},
        {2, 1, {{{1, 3}, 2, 1, true}, {{5}, 1, 1, true}}},
        {2, 2, {{{2, 4}, 2, 1, true}, {{}, 0, 0, true}}}, // the blank leaf behind 5
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.perSheet << "-up, pass " << c.which);
        for (const std::string& old : testing::filesIn(out_.path()))
            std::filesystem::remove(out_.file(old));
        TGdi gdi;
        gdi.SetPagesPerSheet(c.perSheet);
        const TJobOutcome outcome = gdi.PrintStoredPages(c.which, false);
        const auto files = testing::filesIn(out_.path());
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(NupSheets(out_.file(files[0])), c.sheets);
        ASSERT_EQ(outcome.Deliveries.size(), 1u);
        EXPECT_EQ(outcome.Deliveries[0].Sheets, static_cast<int>(c.sheets.size()));
        EXPECT_EQ(Printers::instance().selected().orientation(), PaperOrientation::Portrait)
            << "the job's orientation again after a turned sheet";
    }
}

TEST(PageSlots, PagesFillTheirSlotsAndNeverOverlap)
{
    // A4 portrait pages at 300 dpi onto the landscape sheet, two and eight.
    for (int n : {2, 4, 8}) {
        SCOPED_TRACE(n);
        const double sheetWidth = TurnsSheet(n) ? 3358 : 2330, sheetHeight = TurnsSheet(n) ? 2330 : 3358;
        const std::vector<PagePlacement> places = PageSlots(n, 2330, 3433, sheetWidth, sheetHeight);
        ASSERT_EQ(places.size(), static_cast<std::size_t>(n));
        for (std::size_t i = 0; i < places.size(); ++i) {
            const PagePlacement& a = places[i];
            EXPECT_GE(a.x, -0.01);
            EXPECT_GE(a.y, -0.01);
            EXPECT_LE(a.x + a.scale * a.width, sheetWidth + 0.01);
            EXPECT_LE(a.y + a.scale * a.height, sheetHeight + 0.01);
            for (std::size_t j = i + 1; j < places.size(); ++j) {
                const PagePlacement& b = places[j];
                const bool apart = a.x + a.scale * a.width < b.x || b.x + b.scale * b.width < a.x ||
                                   a.y + a.scale * a.height < b.y || b.y + b.scale * b.height < a.y;
                EXPECT_TRUE(apart) << i << " and " << j;
            }
        }
        EXPECT_GT(places[0].scale, n == 8 ? 0.33 : 0.45);
    }
}

} // namespace
} // namespace velm
