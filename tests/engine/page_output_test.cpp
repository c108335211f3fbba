// Stored pages played onto a printer: sheets counted and read back from the
// PDF the printer produced.
#include "engine/Gdi.h"
#include "engine/PageOutput.h"
#include "engine/UserInterface.h"
#include "platform/printing/printer.h"
#include "platform/system/settings.h"
#include "support/test_printer.h"
#include "support/testing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>

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
    bool Aborted() const override { return aborted_; }
    void SetPrintDocument(PrintDocument* d) override { document_ = d; }
    void Abort()
    {
        if (document_ && document_->isOpen())
            document_->abort();
        aborted_ = true;
    }

private:
    StatusLog& log_;
    RecordingStatus*& live_;
    bool aborted_ = false;
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
        gdi.PrintStoredPages(which, true);
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
};

using Sheets = std::vector<std::string>;

TEST_F(PageOutput, AllPagesGiveOneSheetEachAndNoMore)
{
    Record(3);
    EXPECT_EQ(Print(0), (Sheets{"sheet 1", "sheet 2", "sheet 3"}));
    EXPECT_EQ(LastPrintReport().PagesPlayed, 3);
    EXPECT_TRUE(LastPrintReport().Delivered);
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
    EXPECT_EQ(LastPrintReport().Sheets, 3);
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
    EXPECT_EQ(LastPrintReport().PagesPlayed, 0);
}

TEST_F(PageOutput, MoreThanAThousandPagesAreAllPrinted)
{
    Record(1003);
    TGdi gdi;
    gdi.PrintStoredPages(1, false);
    EXPECT_EQ(LastPrintReport().PagesPlayed, 502);
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
    EXPECT_EQ(LastPrintReport().DamagedPages, 1);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_NE(messages_[0].find("PRN002.EMF is damaged"), std::string::npos) << messages_[0];
}

TEST_F(PageOutput, AbortCancelsTheDocumentSoNothingIsDelivered)
{
    Record(6);
    abortAfterPages_ = 2;
    TGdi gdi;
    gdi.PrintStoredPages(0, true);
    EXPECT_TRUE(LastPrintReport().Aborted);
    EXPECT_FALSE(LastPrintReport().Delivered);
    EXPECT_EQ(LastPrintReport().PagesPlayed, 2) << "the loop ends after the current page";
    EXPECT_TRUE(testing::filesIn(out_.path()).empty()) << "an aborted document leaves no PDF";
}

TEST(PassSheets, EveryPassFeedsAtLeastOneSheet)
{
    EXPECT_EQ(SheetsForPass(0, 0), 1);
    EXPECT_EQ(SheetsForPass(7, 0), 7);
    EXPECT_EQ(SheetsForPass(7, 1), 4);
    EXPECT_EQ(SheetsForPass(7, 2), 4);
    EXPECT_EQ(SheetsForPass(1, 2), 1);
}

} // namespace
} // namespace velm
