// The drop toolbar driven as a user drives it: files dropped on its
// buttons, the toolbar dragged around the screen, settings changed between files.
#include "shell/Unit1.h"
#include "shell/Unit2.h"
#include "shell/Unit4.h"
#include "shell/Velmwin.h"
#include "shell/shell_support.h"

#include "engine/Gdi.h"
#include "platform/system/display.h"
#include "platform/printing/printer.h"

#include <QFrame>
#include <QMenu>
#include <QMouseEvent>
#include <QToolButton>

#include <memory>

using namespace velm;
using namespace velm::testing;

namespace {

class ToolbarTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        Set("MonitorEnabled", "0");
        printer = std::make_unique<TestPrinter>(pdfs.path());
        pause = std::make_unique<TDlgDoubleSided>();
        DlgDoubleSided = pause.get();
        configure = std::make_unique<TConfigureVelm>();
        ConfigureVelm = configure.get();
        toolbar = std::make_unique<TVelm>();
    }
    void TearDown() override
    {
        toolbar.reset();
        ConfigureVelm = nullptr;
        DlgDoubleSided = nullptr;
        ShellTest::TearDown();
    }
    std::vector<std::string> Pdfs() const
    {
        std::vector<std::string> paths;
        for (const std::string& name : filesIn(pdfs.path()))
            paths.push_back(pdfs.file(name));
        return paths;
    }
    std::string TextFile(const std::string& name, const std::string& text)
    {
        docs.write(name, text);
        return docs.file(name);
    }
    // Sheets of a single-sided print of the file; its PDF is removed again.
    int SingleSidedSheets(const std::string& path)
    {
        DropFiles(*toolbar, {path}, 40);
        const auto pdfList = Pdfs();
        const int sheets = pdfList.size() == 1 ? PdfPages(pdfList[0]) : -1;
        for (const std::string& pdf : pdfList)
            std::remove(pdf.c_str());
        return sheets;
    }

    TempDir docs, pdfs;
    std::unique_ptr<TestPrinter> printer;
    std::unique_ptr<TDlgDoubleSided> pause;
    std::unique_ptr<TConfigureVelm> configure;
    std::unique_ptr<TVelm> toolbar;
};

TEST_F(ToolbarTest, DropPointPicksTheButtonByXAlone)
{
    const std::string file = TextFile("notes.txt", "some notes\n");

    DropFiles(*toolbar, {file}, 25);
    EXPECT_TRUE(Pdfs().empty());
    EXPECT_TRUE(Previews.empty());
    EXPECT_TRUE(Messages.empty());

    DropFiles(*toolbar, {file}, 50, 1);
    ASSERT_EQ(Pdfs().size(), 1u);
    EXPECT_NE(PdfText(Pdfs()[0]).find("some notes"), std::string::npos);
    EXPECT_TRUE(Previews.empty());

    DropFiles(*toolbar, {file}, 51, 28);
    ASSERT_EQ(Previews.size(), 1u);
    EXPECT_EQ(Previews[0].Filename, file);
    EXPECT_EQ(Pdfs().size(), 1u);

    TVelmWindow browser;
    DropFiles(*toolbar, {file}, 76);
    EXPECT_EQ(Previews.size(), 1u);
    EXPECT_EQ(Pdfs().size(), 1u);
    EXPECT_TRUE(Messages.empty());
    EXPECT_TRUE(browser.isVisible());
    EXPECT_EQ(browser.FCurrentFile, file);
}

TEST_F(ToolbarTest, ThreeFilesDroppedTogetherAreThreeJobsInOrder)
{
    std::vector<std::string> started;
    toolbar->PrintFile1.OnBeforePrint = [&](TPrintFile* job) { started.push_back(job->Filename); };
    const std::vector<std::string> files = {TextFile("a.txt", "alpha words\n"),
                                            TextFile("b.txt", "beta words\n"),
                                            TextFile("c.txt", "gamma words\n")};
    DropFiles(*toolbar, files, 30);

    EXPECT_EQ(started, files);
    const auto pdfList = Pdfs();
    ASSERT_EQ(pdfList.size(), 3u);
    int found = 0;
    for (const char* word : {"alpha", "beta", "gamma"})
        for (const std::string& pdf : pdfList)
            found += PdfText(pdf).find(word) != std::string::npos ? 1 : 0;
    EXPECT_EQ(found, 3); // each word in exactly one document
}

TEST_F(ToolbarTest, DatabaseFilesAreIgnoredSilently)
{
    for (const char* name : {"DATA.DBF", "TABLE.DB"}) {
        const std::string file = TextFile(name, "not for printing\n");
        DropFiles(*toolbar, {file}, 40);
        DropFiles(*toolbar, {file}, 60);
    }
    EXPECT_TRUE(Pdfs().empty());
    EXPECT_TRUE(Previews.empty());
    EXPECT_TRUE(Messages.empty());
}

// A binary file dropped on print or preview is refused in a message box.
TEST_F(ToolbarTest, BinaryFilesAreRefusedWithAMessage)
{
    const std::string file = TextFile("image.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    DropFiles(*toolbar, {file}, 40);
    DropFiles(*toolbar, {file}, 60);
    EXPECT_TRUE(Pdfs().empty());
    EXPECT_TRUE(Previews.empty());
    const std::string refused = "Error: File " + file + " is binary data, not text, and is not printed";
    EXPECT_EQ(Messages, (std::vector<std::string>{refused, refused}));
}

TEST_F(ToolbarTest, InputKindFollowsTheLastExtensionAndHTMAsText)
{
    const std::string page = TextFile("PAGE.HTM", "<b>bold</b> text\n");
    const std::string old = TextFile("PAGE.OLD.HTM", "<b>bold</b> text\n");
    const std::string html = TextFile("page.Html", "<b>bold</b> text\n");
    DropFiles(*toolbar, {page, old, html}, 60);
    Set("HTMAsText", "1");
    DropFiles(*toolbar, {page, html}, 60);

    ASSERT_EQ(Previews.size(), 5u);
    EXPECT_EQ(Previews[0].Input, frHTML);
    EXPECT_EQ(Previews[1].Input, frFile);
    EXPECT_EQ(Previews[2].Input, frHTML) << ".html in any case is HTML as .htm is";
    EXPECT_EQ(Previews[3].Input, frFile);
    EXPECT_EQ(Previews[4].Input, frFile);
}

TEST_F(ToolbarTest, DoubleSidedPrintsOddThenPausesThenEven)
{
    const std::string file = TextFile("long.txt", LongLines(400));
    const int sheets = SingleSidedSheets(file);
    ASSERT_GE(sheets, 3);
    Set("DoubleSided", "1");

    std::vector<std::string> pdfsAtPause;
    {
        ModalAnswerer ok([&](QWidget* w) {
            pdfsAtPause = Pdfs();
            ModalAnswerer::Accept(w);
        });
        DropFiles(*toolbar, {file}, 40);
        ASSERT_EQ(ok.Seen, std::vector<std::string>{"Double Sided Printing"});
    }
    ASSERT_EQ(pdfsAtPause.size(), 1u);
    auto pdfList = Pdfs();
    ASSERT_EQ(pdfList.size(), 2u);
    const std::string odd = pdfsAtPause[0];
    const std::string even = odd == pdfList[0] ? pdfList[1] : pdfList[0];
    EXPECT_NE(PdfText(odd).find("line 1"), std::string::npos);
    // One leaf per sheet: the even pass feeds as many sheets as the odd one.
    EXPECT_EQ(PdfPages(odd), (sheets + 1) / 2);
    EXPECT_EQ(PdfPages(even), (sheets + 1) / 2);
    EXPECT_EQ(toolbar->PrintFile1.PagesToPrint, pAll);

    for (const std::string& pdf : pdfList)
        std::remove(pdf.c_str());
    {
        ModalAnswerer cancel(ModalAnswerer::Reject);
        DropFiles(*toolbar, {file}, 40);
        EXPECT_EQ(cancel.Seen.size(), 1u);
    }
    pdfList = Pdfs();
    ASSERT_EQ(pdfList.size(), 1u);
    EXPECT_EQ(PdfPages(pdfList[0]), (sheets + 1) / 2);
    EXPECT_EQ(toolbar->PrintFile1.PagesToPrint, pAll);
}

TEST_F(ToolbarTest, RichTextPrintsOnceWithoutThePause)
{
    const std::string file = TextFile("letter.rtf", LongLines(400, "{\\rtf1 row"));
    const int sheets = SingleSidedSheets(file);
    Set("DoubleSided", "1");
    ModalAnswerer answerer;
    DropFiles(*toolbar, {file}, 40);
    EXPECT_TRUE(answerer.Seen.empty());
    const auto pdfList = Pdfs();
    ASSERT_EQ(pdfList.size(), 1u);
    EXPECT_EQ(PdfPages(pdfList[0]), sheets);
}

TEST_F(ToolbarTest, ColCountPicksTheLayoutAndOddValuesKeepThePreviousOne)
{
    const std::string file = TextFile("cols.txt", "columns\n");
    Set("ColCount", "2");
    DropFiles(*toolbar, {file}, 60);
    Set("ColCount", "7");
    DropFiles(*toolbar, {file}, 60);
    Set("ColCount", "0x3");
    DropFiles(*toolbar, {file}, 60);
    ASSERT_EQ(Previews.size(), 3u);
    EXPECT_EQ(Previews[0].Layout, pl_1x3);
    EXPECT_EQ(Previews[1].Layout, pl_1x3);
    EXPECT_EQ(Previews[2].Layout, pl_1x4);
}

TEST_F(ToolbarTest, JobsFormatInAPrivateFolderWithTheConfiguredFont)
{
    Set("FontName", "Courier New");
    Set("FontSize", "12");
    Set("FontColor", "       255");
    Set("FontStyle", "101");
    configure->FormActivate();
    TempDir userFolder;
    userFolder.write("PRN001.EMF", "a user's own file");
    CurrentDir inUserFolder(userFolder.path());

    int storedPages = 0;
    OnPreview = [&](TPrintFile&) { storedPages = StoredPageCount(); };
    DropFiles(*toolbar, {TextFile("f.txt", "font\n")}, 60);

    ASSERT_EQ(Previews.size(), 1u);
    EXPECT_EQ(storedPages, 1);
    EXPECT_NE(Previews[0].Folder, userFolder.path());
    EXPECT_EQ(currentDirectory(), userFolder.path());
    EXPECT_EQ(readFile(userFolder.file("PRN001.EMF")), "a user's own file");
    const TFont& font = Previews[0].Font;
    EXPECT_EQ(font.Name, "Courier New");
    EXPECT_EQ(font.Size(), 12);
    EXPECT_EQ(font.Color, clRed);
    EXPECT_EQ(font.Style, static_cast<unsigned>(fsBold | fsUnderline));
}

// --- placement and dragging -------------------------------------------------

void Mouse(QWidget& widget, QEvent::Type type, QPoint local)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(local), QPointF(widget.mapToGlobal(local)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

// Presses at `grab` on the widget, moves the pointer by (dx, dy) relative to
// the toolbar and releases there.
void Drag(QWidget& widget, QPoint grab, int dx, int dy)
{
    Mouse(widget, QEvent::MouseButtonPress, grab);
    Mouse(widget, QEvent::MouseMove, grab + QPoint(dx / 2, dy / 2));
    // The toolbar followed the first half; the pointer is now that far from the grab point.
    Mouse(widget, QEvent::MouseMove, grab + QPoint(dx - dx / 2, dy - dy / 2));
    Mouse(widget, QEvent::MouseButtonRelease, grab);
}

TEST_F(ToolbarTest, MissingPositionPlacesTheToolbarAt60And2)
{
    EXPECT_EQ(toolbar->pos(), QPoint(60, 2));
    EXPECT_EQ(toolbar->size(), QSize(105, 29));
    Set("X", "300");
    Set("Y", "200");
    TVelm second;
    EXPECT_EQ(second.pos(), QPoint(300, 200));
}

TEST_F(ToolbarTest, DraggingPastEveryEdgeStaysOnScreenAndSavesOnlyInnerPositions)
{
    const DisplayMetrics screen = displayMetrics();
    const int right = screen.widthPx - 105, bottom = screen.heightPx - 29;

    Drag(*toolbar->BitBtn1, QPoint(10, 10), 5000, 5000);
    EXPECT_EQ(toolbar->pos(), QPoint(right, bottom));
    EXPECT_EQ(Get("X"), std::to_string(right));
    EXPECT_EQ(Get("Y"), std::to_string(bottom));

    Drag(*toolbar->Panel1, QPoint(103, 20), -5000, 0); // a free part of the form
    EXPECT_EQ(toolbar->pos(), QPoint(0, bottom));
    EXPECT_EQ(Get("X"), std::to_string(right)); // against the left edge: not saved

    Drag(*toolbar->BitBtn1, QPoint(10, 10), 200, -5000);
    EXPECT_EQ(toolbar->pos(), QPoint(200, 0));
    EXPECT_EQ(Get("X"), std::to_string(right));

    Drag(*toolbar->BitBtn1, QPoint(10, 10), 100, 100);
    EXPECT_EQ(toolbar->pos(), QPoint(300, 100));
    EXPECT_EQ(Get("X"), "300");
    EXPECT_EQ(Get("Y"), "100");

    // A click that moves less than the drag threshold leaves the toolbar where it is.
    Mouse(*toolbar->BitBtn1, QEvent::MouseButtonPress, QPoint(10, 10));
    Mouse(*toolbar->BitBtn1, QEvent::MouseButtonRelease, QPoint(12, 12));
    EXPECT_EQ(toolbar->pos(), QPoint(300, 100));
}

TEST_F(ToolbarTest, ButtonsAndMenuCarryTheirHints)
{
    EXPECT_EQ(toolbar->BitBtn1->toolTip(), "Drag to another position");
    EXPECT_EQ(toolbar->BitBtn2->toolTip(), "Drag and Drop to print");
    EXPECT_EQ(toolbar->BitBtn3->toolTip(), "Drag and Drop to View");
    EXPECT_EQ(toolbar->BitBtn4->toolTip(), "Drag and Drop to Edit");
    for (QToolButton* b : {toolbar->BitBtn1, toolbar->BitBtn2, toolbar->BitBtn3, toolbar->BitBtn4}) {
        EXPECT_FALSE(b->icon().pixmap(21, 21, QIcon::Normal).isNull());
        EXPECT_FALSE(b->icon().pixmap(21, 21, QIcon::Disabled).isNull());
    }
    QStringList captions;
    for (QAction* a : toolbar->PopupMenu1->actions())
        captions << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(captions.join("|").toStdString(), "&Configure|&Window|-|Printer &Setup|-|&Close");
}

TEST_F(ToolbarTest, SplitFileNameTakesEverythingAfterTheFirstDotOfTheName)
{
    std::string folder, name, ext;
    SplitFileName("/data/REPORT.OLD.HTM", folder, name, ext);
    EXPECT_EQ(folder, "/data");
    EXPECT_EQ(name, "REPORT.OLD.HTM");
    EXPECT_EQ(ext, "OLD.HTM");
    SplitFileName("/a.b/README", folder, name, ext);
    EXPECT_EQ(ext, "");
    EXPECT_EQ(name, "README");
    SplitFileName("plain.txt", folder, name, ext);
    EXPECT_EQ(folder, "plain.txt");
    EXPECT_EQ(name, "");
    EXPECT_EQ(ext, "");
}

} // namespace
