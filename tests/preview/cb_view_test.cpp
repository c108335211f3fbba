#include "preview/Cb_view.h"

#include "preview_support.h"

#include "engine/PrnFile.h"
#include "engine/UserInterface.h"
#include "platform/core/convert.h"
#include "platform/core/errors.h"
#include "preview/Drawscrn.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace velm;
using namespace velm::testing;

namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallDesktopPresenter();
        ResetSettings();
        WriteStoredPages(pages.path(), 5);
        DescribeStoredPages(pages.path());
    }

    // The window as the job opens it: created hidden, then shown and active.
    std::unique_ptr<TCB_Prev> Open()
    {
        auto window = std::make_unique<TCB_Prev>();
        EXPECT_FALSE(window->isVisible());
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return window;
    }

    static void Type(QLineEdit* box, const QString& text)
    {
        box->selectAll();
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
    }
    static void TypeZoom(TCB_Prev& window, const QString& text)
    {
        Type(window.PrintPreview->lineEdit(), text);
    }
    // The list's own keys move the selection as a user's arrow keys do.
    static void Choose(TCB_Prev& window, int entry)
    {
        QComboBox* list = window.PrintPreview;
        list->setFocus();
        while (list->currentIndex() != entry) {
            const int before = list->currentIndex();
            QTest::keyClick(list, entry < before ? Qt::Key_Up : Qt::Key_Down);
            if (list->currentIndex() == before)
                break;
        }
    }
    static QSize CanvasAt(double percent)
    {
        const int width = roundHalfEven(percent * 0.01 * 2400 * 17 / 48);
        return QSize(width, roundHalfEven(width * 3112.0 / 2400) + 20);
    }

    TempDir pages;
    TempDir elsewhere;
    CurrentDir restore{elsewhere.path()};
    TempDir pdfs;
    TestPrinter printer{pdfs.path(), 2400, 3112, 300};
    CapturedErrors errors;
};

TEST_F(WindowTest, OpensOnPageOneAtTheConfiguredZoom)
{
    auto window = Open();
    EXPECT_EQ(window->PrintPreview->count(), 10);
    EXPECT_EQ(window->PrintPreview->itemText(0), "300%");
    EXPECT_EQ(window->PrintPreview->itemText(8), "10%");
    EXPECT_EQ(window->PrintPreview->currentIndex(), 9);
    EXPECT_EQ(window->PrintPreview->currentText(), "100.0");
    EXPECT_EQ(window->PageNo->text(), "1");
    EXPECT_EQ(window->PageTot->text(), "5");
    EXPECT_TRUE(window->PageTot->isReadOnly());
    EXPECT_EQ(window->DrawIt1->size(), QSize(850, 1122));
    EXPECT_EQ(window->DrawIt1->pos(), QPoint(26, 33));
    EXPECT_EQ(window->ScrollBox1->widget()->size(), QSize(900, 1172));
    EXPECT_EQ(window->ScrollBox1->verticalScrollBar()->singleStep(), 1122 / 5);
    EXPECT_EQ(window->windowTitle(), "Corvel Preview");
    EXPECT_TRUE(window->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(window->ScrollBox1->widget()->palette().color(QPalette::Window), QColor(210, 4, 0));
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(WindowTest, CaptionsAndCrossedHints)
{
    auto window = Open();
    EXPECT_EQ(window->CloseButton->text(), "&Close");
    EXPECT_EQ(window->Additional->text(), "&Add nl");
    EXPECT_EQ(window->Print->text(), "&All");
    EXPECT_EQ(window->Odd->text(), "&Odd");
    EXPECT_EQ(window->Even->text(), "&Even");
    EXPECT_EQ(window->Current->text(), "&Current");
    EXPECT_EQ(window->Page->text(), "Page");
    EXPECT_EQ(window->Label2->text(), "of");
    EXPECT_EQ(window->ZoomIn->statusTip(), "Zoom out");
    EXPECT_EQ(window->ZoomOut->statusTip(), "Zoom In");
    EXPECT_TRUE(window->ZoomIn->toolTip().isEmpty()); // hints never show
    EXPECT_FALSE(window->myUDF->isVisible());
    EXPECT_FALSE(window->CloseButton->icon().isNull());
    const QIcon glyph = window->Print->icon();
    EXPECT_NE(glyph.pixmap(16, 16, QIcon::Disabled).toImage(),
              glyph.pixmap(16, 16, QIcon::Normal).toImage());
    // Drawn for the screen's pixels at twice the scale, not a small picture stretched.
    const std::initializer_list<const QAbstractButton*> glyphed = {window->CloseButton, window->Print, window->ZoomIn,
                                                                   window->ZoomOut, window->PrevPage, window->NextPage};
    for (const QAbstractButton* button : glyphed)
        EXPECT_EQ(button->icon().pixmap(QSize(16, 16), 2.0).size(), QSize(32, 32)) << button->statusTip().toStdString();

    window->SetViewButton("&Details", true);
    EXPECT_EQ(window->myUDF->text(), "&Details");
    EXPECT_TRUE(window->myUDF->isVisible());
    QTest::mouseClick(window->myUDF, Qt::LeftButton); // does nothing
    EXPECT_TRUE(window->isVisible());
}

TEST_F(WindowTest, StepButtonsWalkThePresets)
{
    auto window = Open();
    QTest::mouseClick(window->ZoomOut, Qt::LeftButton); // from 100.0: the next larger preset
    EXPECT_EQ(window->PrintPreview->currentText(), "150%");
    EXPECT_EQ(window->DrawIt1->size(), CanvasAt(150));

    Choose(*window, 8);
    EXPECT_EQ(window->PrintPreview->currentText(), "10%");
    EXPECT_EQ(window->DrawIt1->size(), QSize(85, 130));
    QTest::mouseClick(window->ZoomIn, Qt::LeftButton); // past "10%": the configured zoom
    EXPECT_EQ(window->PrintPreview->currentIndex(), 9);
    EXPECT_EQ(window->DrawIt1->size(), QSize(850, 1122));
    QTest::mouseClick(window->ZoomIn, Qt::LeftButton); // 100 equals a preset: the one below it
    EXPECT_EQ(window->PrintPreview->currentText(), "75%");

    Choose(*window, 0);
    EXPECT_EQ(window->PrintPreview->currentText(), "300%");
    window->DrawIt1->resize(5, 5);
    QTest::mouseClick(window->ZoomOut, Qt::LeftButton); // at the largest: nothing at all
    EXPECT_EQ(window->PrintPreview->currentIndex(), 0);
    EXPECT_EQ(window->DrawIt1->size(), QSize(5, 5));
}

TEST_F(WindowTest, TypedPercentages)
{
    auto window = Open();
    TypeZoom(*window, "120");
    EXPECT_EQ(window->PrintPreview->currentIndex(), 9);
    EXPECT_EQ(window->PrintPreview->itemText(9), "120%");
    EXPECT_EQ(window->PrintPreview->count(), 10); // Enter adds no entry
    EXPECT_EQ(window->DrawIt1->size(), CanvasAt(120));
    QTest::mouseClick(window->ZoomIn, Qt::LeftButton); // 120 is no preset: applied again
    EXPECT_EQ(window->PrintPreview->currentIndex(), 9);
    EXPECT_EQ(window->DrawIt1->size(), CanvasAt(120));
    QTest::mouseClick(window->DrawIt1, Qt::LeftButton); // a click changes nothing either
    EXPECT_EQ(window->PrintPreview->currentIndex(), 9);
    EXPECT_EQ(window->DrawIt1->size(), CanvasAt(120));
    QTest::mouseClick(window->ZoomOut, Qt::LeftButton);
    EXPECT_EQ(window->PrintPreview->currentText(), "150%");

    TypeZoom(*window, "80%");
    EXPECT_EQ(window->PrintPreview->itemText(9), "80 %");
    EXPECT_DOUBLE_EQ(window->ZoomFactor(), 80.0);
    EXPECT_EQ(window->DrawIt1->size(), CanvasAt(80));

    TypeZoom(*window, "abc");
    EXPECT_EQ(errors.messages, std::vector<std::string>{"'abc' is not a valid floating point value"});
    EXPECT_DOUBLE_EQ(window->ZoomFactor(), 80.0);
    EXPECT_EQ(window->PrintPreview->itemText(9), "80 %");
    EXPECT_EQ(window->DrawIt1->size(), CanvasAt(80));
    EXPECT_TRUE(window->isVisible());

    TypeZoom(*window, "12%5%"); // only the first "%" gives way
    EXPECT_EQ(errors.messages.back(), "'12 5%' is not a valid floating point value");

    // Typing leaves no entry selected: a step from there starts at "300%".
    window->PrintPreview->lineEdit()->selectAll();
    QTest::keyClicks(window->PrintPreview->lineEdit(), "7");
    EXPECT_EQ(window->PrintPreview->currentIndex(), -1);
    QTest::mouseClick(window->ZoomIn, Qt::LeftButton);
    EXPECT_EQ(window->PrintPreview->currentText(), "300%");
}

// With the focus on the list itself, keys reach its line edit through the
// list: Enter there is still the typed zoom, a preset's text included, and
// Esc leaves the window and its stored pages alone.
TEST_F(WindowTest, KeysTypedToTheFocusedListApplyTheZoomAndEscKeepsTheWindow)
{
    auto window = Open();
    QComboBox* list = window->PrintPreview;
    list->setFocus();
    list->lineEdit()->selectAll();
    QTest::keyClicks(list, "25%");
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(list->currentIndex(), 9);
    EXPECT_EQ(list->itemText(9), "25 %");
    EXPECT_EQ(window->DrawIt1->size(), CanvasAt(25));

    QTest::keyClick(list, Qt::Key_Escape);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->result(), 0);
    EXPECT_EQ(window->DrawIt1->PageCount(), 5);
    window->CloseButton->click();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), 1);
}

TEST_F(WindowTest, ZeroAndHugeTypedZoomsReachTheCanvasSafely)
{
    auto window = Open();
    TypeZoom(*window, "0");
    EXPECT_EQ(window->DrawIt1->size(), QSize(0, 20));
    TypeZoom(*window, "-40");
    EXPECT_EQ(window->DrawIt1->width(), 0);
    TypeZoom(*window, "1e9");
    EXPECT_EQ(window->DrawIt1->width(), TDrawIt::kMaxSide);
    EXPECT_FALSE(window->grab().isNull()); // paints the part of the huge canvas in view
    EXPECT_TRUE(errors.messages.empty());
}

TEST_F(WindowTest, MouseClicksOnThePage)
{
    auto window = Open();
    QTest::mouseClick(window->DrawIt1, Qt::LeftButton);
    EXPECT_EQ(window->PrintPreview->currentText(), "75%");
    EXPECT_EQ(window->DrawIt1->size(), CanvasAt(75));
    QTest::mouseClick(window->DrawIt1, Qt::RightButton);
    QTest::mouseClick(window->DrawIt1, Qt::RightButton);
    EXPECT_EQ(window->PrintPreview->currentText(), "150%");

    // At the ends the zoom stays but is applied again.
    Choose(*window, 0);
    window->DrawIt1->resize(5, 5);
    QTest::mouseClick(window->DrawIt1, Qt::RightButton, {}, QPoint(2, 2));
    EXPECT_EQ(window->PrintPreview->currentIndex(), 0);
    EXPECT_EQ(window->DrawIt1->size(), CanvasAt(300));
    Choose(*window, 8);
    window->DrawIt1->resize(200, 200);
    QTest::mouseClick(window->DrawIt1, Qt::LeftButton);
    EXPECT_EQ(window->PrintPreview->currentIndex(), 8);
    EXPECT_EQ(window->DrawIt1->size(), QSize(85, 130));
}

TEST_F(WindowTest, PageNavigation)
{
    auto window = Open();
    QTest::mouseClick(window->PrevPage, Qt::LeftButton);
    EXPECT_EQ(window->PageNo->text(), "1");
    for (int i = 0; i < 6; ++i)
        QTest::mouseClick(window->NextPage, Qt::LeftButton);
    EXPECT_EQ(window->PageNo->text(), "5");
    EXPECT_EQ(window->DrawIt1->PageNo(), 5);
    QTest::mouseClick(window->PrevPage, Qt::LeftButton);
    EXPECT_EQ(window->PageNo->text(), "4");

    Type(window->PageNo, "0");
    EXPECT_EQ(window->PageNo->text(), "1");
    Type(window->PageNo, "9");
    EXPECT_EQ(window->PageNo->text(), "5");
    EXPECT_EQ(window->DrawIt1->PageNo(), 5);
    Type(window->PageNo, "3");
    EXPECT_EQ(window->DrawIt1->PageNo(), 3);
    Type(window->PageNo, "two");
    EXPECT_EQ(errors.messages, std::vector<std::string>{"'two' is not a valid integer value"});
    EXPECT_EQ(window->DrawIt1->PageNo(), 3);
    EXPECT_TRUE(window->isVisible()); // Enter pressed no button
}

TEST_F(WindowTest, SetUpValuesThatDoNotConvert)
{
    const auto openWith = [&](const std::string& key, const std::string& value) {
        ResetSettings();
        DescribeStoredPages(pages.path());
        SetPrinterKey(key, value);
        errors.messages.clear();
        return Open();
    };
    {
        auto window = openWith("ZoomFactor", "big");
        EXPECT_EQ(errors.messages, std::vector<std::string>{"'big' is not a valid floating point value"});
        EXPECT_EQ(window->PrintPreview->count(), 9);
        EXPECT_EQ(window->windowTitle(), ""); // the later steps were not carried out
        QTest::mouseClick(window->ZoomIn, Qt::LeftButton);
        QTest::mouseClick(window->CloseButton, Qt::LeftButton);
        EXPECT_FALSE(window->isVisible());
    }
    EXPECT_TRUE(filesIn(pages.path()).empty()); // closing still deletes the pages
    WriteStoredPages(pages.path(), 2);
    {
        auto window = openWith("View Background", "red");
        EXPECT_EQ(errors.messages, std::vector<std::string>{"'red' is not a valid integer value"});
        EXPECT_EQ(window->PrintPreview->currentIndex(), 9);
    }
    WriteStoredPages(pages.path(), 2);
    {
        auto window = openWith("PrinterIndex", "99");
        EXPECT_EQ(errors.messages, std::vector<std::string>{"Printer index out of range"});
        EXPECT_EQ(window->windowTitle(), "Corvel Preview");
    }
}

TEST_F(WindowTest, OnlyClosingDeletesTheStoredPages)
{
    pages.write("notes.txt", "mine");
    auto window = Open();
    QTest::mouseClick(window->NextPage, Qt::LeftButton);
    QTest::mouseClick(window->ZoomOut, Qt::LeftButton);
    QTest::mouseClick(window->Current, Qt::LeftButton); // a print pass reads them only
    EXPECT_EQ(PrintedSheets(pdfs.path()), (Documents{{2}}));
    EXPECT_EQ(filesIn(pages.path()).size(), 6u);
    QTest::mouseClick(window->CloseButton, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), 1);
    EXPECT_EQ(filesIn(pages.path()).size(), 6u); // closed, not yet destroyed
    window.reset();
    EXPECT_EQ(filesIn(pages.path()), std::vector<std::string>{"notes.txt"});
}

TEST_F(WindowTest, PassesCallBeforeAndAfterAndPrintOneDocumentEach)
{
    auto window = Open();
    std::vector<std::string> calls;
    window->SetBeforePrint([&](TCB_Prev* sender) {
        calls.push_back(sender == window.get() ? "before" : "?");
        EXPECT_FALSE(window->Panel1->isEnabled()); // no second pass inside this one
    });
    window->SetAfterPrint([&](TCB_Prev*) { calls.push_back("after"); });
    QTest::mouseClick(window->Odd, Qt::LeftButton);
    EXPECT_EQ(calls, (std::vector<std::string>{"before", "after"}));
    EXPECT_TRUE(window->Panel1->isEnabled());
    EXPECT_EQ(PrintedSheets(pdfs.path()), (Documents{{1, 3, 5}}));
    QTest::mouseClick(window->Even, Qt::LeftButton);
    QTest::mouseClick(window->Print, Qt::LeftButton);
    EXPECT_EQ(PrintedSheets(pdfs.path()), (Documents{{1, 3, 5}, {2, 4}, {1, 2, 3, 4, 5}}));
    EXPECT_EQ(calls.size(), 6u);
}

// A real preview job: the presenter opens the window modally on the pages
// the job formatted, and closing it takes them away.
TEST_F(WindowTest, APreviewJobOpensTheWindowModally)
{
    TempDir jobFolder;
    CurrentDir inJob(jobFolder.path());
    TStringList lines;
    for (int i = 0; i < 120; ++i)
        lines.Lines.push_back("Line " + std::to_string(i) + " of a preview job");
    TPrintFile job;
    job.Input = frTMemo;
    job.Memo = &lines;
    job.OutputTo = poViewer;
    job.ViewHeading = "Job preview";
    job.ViewButtonCaption = "&More";
    job.ViewButtonVisible = true;
    int storedWhileOpen = 0;
    ModalDriver<TCB_Prev> driver({[&](TCB_Prev& window) {
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        EXPECT_EQ(window.windowTitle(), "Job preview");
        EXPECT_EQ(window.myUDF->text(), "&More");
        EXPECT_TRUE(window.myUDF->isVisible());
        storedWhileOpen = StoredPageCount();
        EXPECT_GE(storedWhileOpen, 2);
        EXPECT_EQ(window.PageTot->text(), QString::number(storedWhileOpen));
        QTest::mouseClick(window.NextPage, Qt::LeftButton);
        EXPECT_EQ(window.PageNo->text(), "2");
        window.close(); // the close box
    }});
    job.Execute();
    EXPECT_TRUE(driver.finished());
    EXPECT_GE(storedWhileOpen, 2);
    EXPECT_TRUE(filesIn(jobFolder.path()).empty());
}

TEST_F(WindowTest, ACanvasThatCannotBeBuiltLeavesNoStoredPages)
{
    CurrentDir inPages(pages.path());
    SetPrinterKey("PageWidth", "wide");
    TPrintFile job;
    TJobOutcome outcome;
    EXPECT_THROW(ui().showPreview(job, outcome), ConversionError);
    EXPECT_TRUE(filesIn(pages.path()).empty());
}

} // namespace
