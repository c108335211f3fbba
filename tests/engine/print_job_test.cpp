// The job as a whole: input checks, the order of a run, what every run
// leaves behind, and bad input, on real files and stored pages.
#include "engine/Gdi.h"
#include "engine/PageOutput.h"
#include "engine/PrnFile.h"
#include "engine/UserInterface.h"
#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/printing/printer.h"
#include "platform/system/settings.h"
#include "stored_pages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace velm {
namespace {

using testing::JobHarness;
using testing::NumberedLines;

int OpenFileCount()
{
    int count = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

bool HasContents(const testing::DecodedPage& page) { return !page.textsOfHeight(88).empty(); }

TEST(PrintJob, InputProblemsAreReportedAndCreateNothing)
{
    JobHarness h;
    h.job.Filename = h.dir().file("missing.txt");
    h.job.Execute();
    h.job.Filename = h.dir().path(); // a folder is no file to print
    h.job.Execute();
    h.job.Input = frTMemo;
    h.job.Execute();
    h.job.Input = frRichEdit;
    h.job.Execute();
    EXPECT_EQ(h.messages, (std::vector<std::string>{
                              "Error: File " + h.dir().file("missing.txt") + " cannot be opened",
                              "Error: File " + h.dir().path() + " cannot be opened",
                              "Error: TMemo contains nothing",
                              "Error: TRichEdit contains nothing",
                          }));
    EXPECT_EQ(h.statusCreated, 0);
    EXPECT_EQ(h.previews, 0);
    EXPECT_EQ(StoredPageCount(), 0);
    EXPECT_EQ(h.job.Gdi(), nullptr);
}

TEST(PrintJob, EmptySourcesGiveOneDecoratedSheet)
{
    JobHarness h;
    const auto& pages = h.Run("");
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_TRUE(pages[0].hasText("Page Footer"));
    EXPECT_FALSE(HasContents(pages[0]));

    TStringList memo;
    h.job.Memo = &memo;
    h.job.Input = frTMemo;
    h.job.Execute();
    ASSERT_EQ(h.pages.size(), 1u);
    EXPECT_FALSE(HasContents(h.pages[0]));
}

TEST(PrintJob, MemoAndRichEditLinesEachEndALine)
{
    JobHarness h;
    TStringList lines({"a\tb", "second"});
    h.job.RichEdit = &lines;
    h.job.Input = frRichEdit;
    h.job.Execute();
    ASSERT_EQ(h.pages.size(), 1u);
    const auto contents = h.pages[0].textsOfHeight(88);
    ASSERT_EQ(contents.size(), 2u);
    EXPECT_EQ(contents[0].text, "a   b");
    EXPECT_EQ(contents[1].y, contents[0].y + 132);
}

TEST(PrintJob, OnlyLaterSheetsCarryTheHeaderCentreText)
{
    JobHarness h;
    h.job.HeaderStringCenter = "The Centre";
    const auto& pages = h.Run(NumberedLines(60));
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_FALSE(pages[0].hasText("The Centre"));
    EXPECT_TRUE(pages[1].hasText("The Centre"));
}

TEST(PrintJob, EveryRunPutsTheFooter100PixelsAboveTheBottom)
{
    JobHarness h;
    EXPECT_DOUBLE_EQ(h.job.FooterTop, 10.0); // (6600 - 2 * 300) / 600
    h.job.FooterTop = 3;
    h.Run("x");
    EXPECT_DOUBLE_EQ(h.job.FooterTop, 6500.0 / 600);
    h.job.Units = poCentimetres;
    h.Run("x");
    EXPECT_DOUBLE_EQ(h.job.FooterTop, 6500.0 * 2.54 / 600);
    SetMetricUnits(false);
}

TEST(PrintJob, EventsComeInTheOrderOfARun)
{
    JobHarness h;
    std::vector<std::string> events;
    auto note = [&events](const char* name) { return [&events, name](TPrintFile*) { events.push_back(name); }; };
    h.job.OnBeforePrint = note("before");
    h.job.OnPrintHeader = note("header");
    h.job.OnPrintFooter = note("footer");
    h.job.OnNewPage = note("cell");
    h.job.OnAfterPrint = note("after");
    h.job.OnNewColumn = note("never");
    h.job.OnPrint = note("never");
    h.job.OnPrintPage = note("never");
    h.job.OnViewButtonClicked = note("never");
    h.job.PageLayout = pl_1x2;
    h.Run(NumberedLines(150));
    EXPECT_EQ(events, (std::vector<std::string>{"before", "header", "footer", "cell", "header", "footer", "cell",
                                                "header", "footer", "cell", "header", "footer", "cell", "after"}));
    // The status dialog counts sheets, not cells.
    EXPECT_EQ(h.statusPages, (std::vector<std::string>{"1", "1", "2", "2"}));
    EXPECT_EQ(h.pages.size(), 2u);
}

TEST(PrintJob, PrinterRunsLeaveNoStoredPage)
{
    JobHarness h;
    h.job.OutputTo = poPrinter;
    h.Run(NumberedLines(120));
    EXPECT_EQ(h.previews, 0);
    EXPECT_EQ(StoredPageCount(), 0);
    ASSERT_EQ(h.outcome.Deliveries.size(), 1u);
    EXPECT_EQ(h.outcome.PagesPrinted(), 3);
    EXPECT_EQ(h.outcome.Status(), TJobStatus::Done);

    h.job.PagesToPrint = pOdd;
    h.Run(NumberedLines(120));
    EXPECT_EQ(h.outcome.PagesPrinted(), 2);
    EXPECT_EQ(StoredPageCount(), 0);
    EXPECT_EQ(h.statusAlive, 0);
}

TEST(PrintJob, APreviewWithoutAWindowLeavesNoStoredPage)
{
    JobHarness h;
    ui().showPreview = nullptr;
    h.Run(NumberedLines(60));
    EXPECT_EQ(StoredPageCount(), 0);
    EXPECT_EQ(h.job.Gdi(), nullptr);
}

TEST(PrintJob, AbortFinishesTheCellAndKeepsNothing)
{
    JobHarness h;
    h.abortAfterSheet = 1;
    h.Run(NumberedLines(200));
    EXPECT_EQ(h.outcome.Status(), TJobStatus::Cancelled);
    EXPECT_EQ(h.statusPages.size(), 1u);
    EXPECT_EQ(h.previews, 0);
    EXPECT_EQ(StoredPageCount(), 0);
}

// The run's one flag: the status dialog's "&Abort" while pages print, or
// the caller's flag set before the run starts.
TEST(PrintJob, TheRunsFlagStopsItBetweenPagesAndTheOutcomeSaysHowFar)
{
    JobHarness h;
    h.job.OutputTo = poPrinter;
    h.abortAfterSheet = 3 + 2; // three sheets formatted, then printing page 2
    h.Run(NumberedLines(120));
    EXPECT_EQ(h.outcome.Status(), TJobStatus::Cancelled);
    EXPECT_EQ(h.outcome.PagesFormatted, 3);
    EXPECT_EQ(h.outcome.PagesPlayed, 2) << "stopped after the page in progress";
    EXPECT_TRUE(h.outcome.Deliveries.empty());
    EXPECT_TRUE(testing::filesIn(h.dir().file("out")).empty());

    h.abortAfterSheet = 0;
    const TCancelFlag stop;
    stop.Set();
    const TJobOutcome outcome = h.job.Execute(stop);
    EXPECT_EQ(outcome.Status(), TJobStatus::Cancelled);
    EXPECT_EQ(outcome.PagesPlayed, 0);
    EXPECT_EQ(StoredPageCount(), 0);
}

TEST(PrintJob, AnErrorMidwayReleasesEverythingTheRunMade)
{
    JobHarness h;
    h.job.OutputTo = poPrinter;
    const int filesBefore = OpenFileCount();
    int headers = 0;
    h.job.OnPrintHeader = [&headers](TPrintFile*) {
        if (++headers == 2)
            throw VelmError("stop in the second cell");
    };
    h.dir().write("input.txt", NumberedLines(100));
    h.job.Filename = h.dir().file("input.txt");
    EXPECT_THROW(h.job.Execute(), VelmError);
    EXPECT_EQ(StoredPageCount(), 0); // sheet 1 had been stored
    EXPECT_EQ(h.statusAlive, 0);
    EXPECT_EQ(PrintDialog1, nullptr);
    EXPECT_EQ(h.job.Gdi(), nullptr);
    EXPECT_EQ(OpenFileCount(), filesBefore); // the reader closed its file

    // The same job runs again from the start.
    h.job.OnPrintHeader = nullptr;
    EXPECT_EQ(h.job.Execute().PagesPrinted(), 3);
}

TEST(PrintJob, AStoredPageThatCannotBeWrittenEndsTheRunCleanly)
{
    JobHarness h;
    std::filesystem::create_directory(h.dir().file("PRN002.EMF"));
    EXPECT_THROW(h.Run(NumberedLines(100)), std::exception);
    EXPECT_FALSE(fileExists(h.dir().file("PRN001.EMF")));
    EXPECT_EQ(h.statusAlive, 0);
    EXPECT_EQ(h.job.Gdi(), nullptr);
}

TEST(PrintJob, OrientationIsSetForTheRunAndStays)
{
    JobHarness h;
    Printer& printer = Printers::instance().selected();
    h.Run("x");
    EXPECT_EQ(printer.orientation(), PaperOrientation::Portrait);
    h.job.Orientation = Landscape;
    h.Run("x");
    EXPECT_EQ(printer.orientation(), PaperOrientation::Landscape);
    EXPECT_EQ(SettingsFile().readString("Printer", "Orientation", ""), "Landscape");
    h.job.Orientation = Default;
    h.Run("x");
    EXPECT_EQ(printer.orientation(), PaperOrientation::Landscape);
    EXPECT_EQ(SettingsFile().readString("Printer", "Preview Heading", ""), "Tessly Viewer");
}

TEST(PrintJob, BadBytesNeverStopARun)
{
    JobHarness h;
    // Clearly binary: refused with a message, or printed as control pictures.
    EXPECT_TRUE(h.Run(std::string(10'000, '\0')).empty());
    ASSERT_EQ(h.messages.size(), 1u);
    EXPECT_EQ(h.messages[0], "Error: File " + h.dir().file("input.txt") + " is binary data, not text, and is not printed");
    h.job.RefuseBinary = false;
    std::size_t pictures = 0;
    for (const testing::DecodedPage& page : h.Run(std::string(10'000, '\0')))
        for (const testing::DecodedText& t : page.texts())
            for (std::size_t at = t.text.find("␀"); at != std::string::npos; at = t.text.find("␀", at + 1))
                ++pictures;
    EXPECT_EQ(pictures, 10'000u);

    std::mt19937 random(11);
    std::string binary(200'000, '\0');
    for (char& c : binary)
        c = static_cast<char>(random() & 0xFF);
    EXPECT_FALSE(h.Run(binary).empty());
    EXPECT_FALSE(h.Run(binary, frHTML).empty());
}

TEST(PrintJob, AVeryLongLineWithoutSpacesPrintsEveryCharacter)
{
    JobHarness h;
    const std::string line(300'000, 'n');
    std::size_t printed = 0;
    for (const auto& page : h.Run(line))
        for (const auto& t : page.textsOfHeight(88))
            printed += t.text.size();
    EXPECT_EQ(printed, line.size());
}

TEST(PrintJob, AFileThatCannotBeReadPropagatesItsError)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root: a file without read permission is still readable";
    JobHarness h;
    h.dir().write("secret.txt", "x");
    chmod(h.dir().file("secret.txt").c_str(), 0);
    h.job.Filename = h.dir().file("secret.txt");
    EXPECT_THROW(h.job.Execute(), FileError);
    EXPECT_EQ(h.statusCreated, 0);
}

} // namespace
} // namespace velm
