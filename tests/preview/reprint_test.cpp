#include "preview/Addit.h"

#include "preview_support.h"

#include "support/pdf_words.h"

#include "preview/Cb_view.h"
#include "engine/PageOutput.h"
#include "engine/UserInterface.h"
#include "preview/Drawscrn.h"
#include "preview/Pellido.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace velm;
using namespace velm::testing;

namespace {

enum class Choice { All, Current, Range };

class ReprintTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallDesktopPresenter();
        ResetSettings();
    }

    void Open(int pageCount)
    {
        WriteStoredPages(pages.path(), pageCount, 4800, 6600);
        DescribeStoredPages(pages.path(), 4800, 6600);
        window = std::make_unique<TCB_Prev>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    // One pass through the Print Options dialog as a user makes it, then
    // "&Close" when the dialog comes back.
    void PrintOptions(Choice choice, const QString& range = {}, int parity = 0)
    {
        ModalDriver<TAddition> driver({
            [=](TAddition& dialog) {
                QRadioButton* button = choice == Choice::All       ? dialog.All
                                       : choice == Choice::Current ? dialog.Current
                                                                   : dialog.Range;
                QTest::mouseClick(button, Qt::LeftButton);
                if (choice == Choice::Range)
                    QTest::keyClicks(dialog.Edit1, range);
                dialog.ComboBox1->setFocus();
                while (dialog.ComboBox1->currentIndex() < parity)
                    QTest::keyClick(dialog.ComboBox1, Qt::Key_Down);
                QTest::mouseClick(dialog.Print, Qt::LeftButton);
            },
            [](TAddition& dialog) { QTest::mouseClick(dialog.CancelBtn, Qt::LeftButton); },
        });
        QTest::mouseClick(window->Additional, Qt::LeftButton);
        dialogCameBack = driver.finished();
    }

    std::vector<std::vector<int>> Printed() { return PrintedSheets(pdfs.path()); }

    TempDir pages;
    TempDir elsewhere;
    CurrentDir restore{elsewhere.path()};
    TempDir pdfs;
    TestPrinter printer{pdfs.path()};
    CapturedErrors errors;
    std::unique_ptr<TCB_Prev> window;
    bool dialogCameBack = false; // shown again after the pass, then closed
};

// One print document a pass: one PDF, one queue job, however many pages.
TEST_F(ReprintTest, ARangeOnThirtyPagesPrintsTheSelectedPagesAsOneDocument)
{
    Open(30);
    PrintOptions(Choice::Range, "1,2,5,7-14,21");
    EXPECT_TRUE(dialogCameBack);
    EXPECT_EQ(Printed(), (Documents{{1, 2, 5, 7, 8, 9, 10, 11, 12, 13, 14, 21}}));
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(ReprintTest, AscendingOnceEachWhateverTheOrderOfTheItems)
{
    Open(30);
    PrintOptions(Choice::Range, "21,1,5");
    PrintOptions(Choice::Range, "3,3,1-4");
    PrintOptions(Choice::Range, "14-7"); // nothing: no document at all
    PrintOptions(Choice::Range, "1,2,");
    EXPECT_EQ(Printed(), (Documents{{1, 5, 21}, {1, 2, 3, 4}, {1, 2}}));
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(ReprintTest, AMalformedItemStopsThePassWherePagesReachIt)
{
    Open(10);
    PrintOptions(Choice::Range, "1,,3");
    EXPECT_EQ(Printed(), (Documents{{1}})); // the page before the fault still goes out
    EXPECT_EQ(errors.messages, std::vector<std::string>{"'' is not a valid integer value"});
    EXPECT_FALSE(dialogCameBack); // the error ended the loop
    EXPECT_FALSE(window->findChild<TAddition*>());
    EXPECT_EQ(PrintDialog1, nullptr);            // the status dialog is gone
    EXPECT_TRUE(window->Panel1->isEnabled());
}

TEST_F(ReprintTest, BlanksBeforeANumberOnly)
{
    Open(10);
    PrintOptions(Choice::Range, "1, 7");
    EXPECT_EQ(Printed(), (Documents{{1, 7}}));
    PrintOptions(Choice::Range, "7 - 9");
    EXPECT_EQ(errors.messages, std::vector<std::string>{"'7 ' is not a valid integer value"});
    EXPECT_EQ(Printed(), (Documents{{1, 7}}));
}

TEST_F(ReprintTest, ParityComesBeforeTheRange)
{
    Open(10);
    PrintOptions(Choice::Range, "1-6", 1);
    EXPECT_EQ(Printed(), (Documents{{1, 3, 5}}));
    QTest::mouseClick(window->NextPage, Qt::LeftButton);
    QTest::mouseClick(window->NextPage, Qt::LeftButton); // page 3 shown
    PrintOptions(Choice::Current, {}, 2);                // even pages of page 3: none
    EXPECT_EQ(Printed(), (Documents{{1, 3, 5}}));
    PrintOptions(Choice::Current, {}, 1);
    EXPECT_EQ(Printed(), (Documents{{1, 3, 5}, {3}}));
    PrintOptions(Choice::Range, "", 2); // Range with an empty box: every even page
    EXPECT_EQ(Printed(), (Documents{{1, 3, 5}, {3}, {2, 4, 6, 8, 10}}));
}

TEST_F(ReprintTest, APassEndsAtTheFirstMissingSelectedPage)
{
    Open(10);
    PrintOptions(Choice::Range, "3,50");
    EXPECT_EQ(Printed(), (Documents{{3}}));
    PrintOptions(Choice::All, {}, 0);
    EXPECT_EQ(Printed(), (Documents{{3}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}}));
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(ReprintTest, TheDialogKeepsItsChoicesBetweenPasses)
{
    Open(4);
    std::vector<QString> seen;
    ModalDriver<TAddition> driver({
        [](TAddition& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Print Options");
            EXPECT_TRUE(dialog.All->isChecked());
            EXPECT_FALSE(dialog.Edit1->isEnabled());
            EXPECT_EQ(dialog.ComboBox1->currentText(), "Print All Pages");
            EXPECT_EQ(dialog.Print->text(), "&Print");
            EXPECT_EQ(dialog.CancelBtn->text(), "&Close");
            EXPECT_EQ(dialog.Label3->text(), "separated by commas e.g. 1,2,5,7-14,21");
            QTest::mouseClick(dialog.Range, Qt::LeftButton);
            EXPECT_TRUE(dialog.Edit1->isEnabled());
            EXPECT_TRUE(dialog.Label1->isEnabled());
            QTest::keyClicks(dialog.Edit1, "2-3");
            QTest::keyClick(dialog.Edit1, Qt::Key_Return); // Enter: "&Print"
        },
        [&](TAddition& dialog) {
            seen.push_back(dialog.Edit1->text());
            EXPECT_TRUE(dialog.Range->isChecked());
            QTest::mouseClick(dialog.Current, Qt::LeftButton); // empties the range
            EXPECT_TRUE(dialog.Edit1->text().isEmpty());
            EXPECT_FALSE(dialog.Edit1->isEnabled());
            QTest::mouseClick(dialog.Print, Qt::LeftButton);
        },
        [](TAddition& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); },
    });
    QTest::mouseClick(window->Additional, Qt::LeftButton);
    EXPECT_TRUE(driver.finished());
    EXPECT_EQ(seen, std::vector<QString>{"2-3"});
    EXPECT_EQ(Printed(), (Documents{{2, 3}, {1}}));
}

// Every job rewrites the "Printer" keys of the shared settings file; an
// open preview keeps to the pages, printer and orientation of its own job.
TEST_F(ReprintTest, AnotherJobsSettingsNeverReachAnOpenPreview)
{
    Open(3);
    TempDir other;
    WriteStoredPages(other.path(), 7);
    DescribeStoredPages(other.path());
    SetPrinterKey("PrinterIndex", "42");
    SetPrinterKey("Orientation", "Landscape");
    window->DrawIt1->update();
    QTest::mouseClick(window->Print, Qt::LeftButton);
    EXPECT_TRUE(errors.messages.empty()) << errors.messages.front();
    EXPECT_EQ(Printed(), (Documents{{1, 2, 3}}));
    EXPECT_EQ(window->DrawIt1->PageCount(), 3);
    EXPECT_EQ(Printers::instance().selected().orientation(), PaperOrientation::Portrait);
}

// A job printed n-up previews and reprints as it printed: sheets of its
// stored pages, the paper turned for two a sheet; a range counts stored pages.
TEST_F(ReprintTest, AnNupJobShowsAndReprintsSheetsOfItsPages)
{
    WriteStoredPages(pages.path(), 5, 4800, 6600);
    TStoredJob job({{"Directory", pages.path()}, {"PageWidth", "4800"}, {"PageHeight", "6600"},
                    {"PrinterIndex", std::to_string(Printers::instance().printerIndex())}, {"Document Name", "notes.txt"}});
    job.PagesPerSheet = 2;
    window = std::make_unique<TCB_Prev>(job);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(window->PageTot->text(), "3");
    EXPECT_GT(window->DrawIt1->width(), window->DrawIt1->height());
    QTest::mouseClick(window->NextPage, Qt::LeftButton);
    EXPECT_EQ(window->DrawIt1->CurrentPages(), "3-4");
    QTest::mouseClick(window->Current, Qt::LeftButton);
    QTest::mouseClick(window->Odd, Qt::LeftButton);
    PrintOptions(Choice::Range, "2-4");
    EXPECT_TRUE(errors.messages.empty());
    std::vector<std::vector<std::vector<int>>> printed; // documents, their sheets, the pages on each
    for (const std::string& pdf : PdfsInOrder(pdfs.path())) {
        printed.emplace_back();
        for (const PdfSheet& sheet : ReadPdfSheets(pdf)) {
            EXPECT_GT(sheet.width, sheet.height);
            printed.back().emplace_back();
            for (std::size_t i = 0; i + 1 < sheet.words.size(); ++i)
                if (sheet.words[i].text == "Sheet")
                    printed.back().back().push_back(std::stoi(sheet.words[i + 1].text));
        }
        EXPECT_NE(PdfInfo(pdf).find("notes.txt"), std::string::npos) << "named after the file";
    }
    EXPECT_EQ(printed, (std::vector<std::vector<std::vector<int>>>{{{3, 4}}, {{1, 3}, {5}}, {{2, 3}, {4}}}));
}

TEST_F(ReprintTest, TheJobsPrinterIndexIsCheckedBeforeAnythingPrints)
{
    WriteStoredPages(pages.path(), 3);
    for (const auto& [index, problem] : {std::pair{"42", "Printer index out of range"},
                                         {"first", "'first' is not a valid integer value"}}) {
        TCB_Prev preview(TStoredJob({{"Directory", pages.path()}, {"PrinterIndex", index}}));
        errors.messages.clear();
        QTest::mouseClick(preview.Print, Qt::LeftButton);
        EXPECT_EQ(errors.messages, std::vector<std::string>{problem});
    }
    EXPECT_TRUE(Printed().empty());
}

// The pass is one document: "&Abort" cancels it whole, as it cancels a
// job's own printing.
TEST_F(ReprintTest, AbortCancelsTheWholePass)
{
    Open(10);
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [] {
        auto* status = dynamic_cast<TPrintDialog1*>(PrintDialog1);
        if (status && status->Page->text() == "4" && !status->Aborted())
            QTest::mouseClick(status->CancelBtn, Qt::LeftButton);
    });
    user.start(0);
    TJobOutcome outcome;
    window->DrawIt1->ReportInto(&outcome);
    QTest::mouseClick(window->Print, Qt::LeftButton);
    EXPECT_TRUE(Printed().empty());
    EXPECT_EQ(outcome.Status(), TJobStatus::Cancelled);
    EXPECT_EQ(outcome.PagesPlayed, 4) << "stopped after the page in progress";
    EXPECT_EQ(PrintDialog1, nullptr);
}

} // namespace
