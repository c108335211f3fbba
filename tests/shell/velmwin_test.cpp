// The browser window driven through its controls: opening files onto the
// viewer pages, the history with Previous and Next, AutoView, the split
// bars, the print and preview commands and the save commands.
#include "shell/Velmwin.h"

#include "engine/PageOutput.h"
#include "platform/printing/printer.h"
#include "shell/shell_support.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontInfo>
#include <QHeaderView>
#include <QTreeView>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include <sys/stat.h>

#include <memory>

namespace velm {
namespace {

using namespace velm::testing;

// Whether the text holds the words as a line of their own (not "line 10").
bool HasLine(const std::string& text, const std::string& words)
{
    return QString::fromStdString(text).contains(
        QRegularExpression("(^|\\n)\\s*" + QRegularExpression::escape(QString::fromStdString(words)) + "\\s*(\\n|$)"));
}

class BrowserTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        current_ = std::make_unique<CurrentDir>(files.path());
    }
    void TearDown() override
    {
        window.reset();
        current_.reset();
        ShellTest::TearDown();
    }
    TVelmWindow& Window()
    {
        if (!window) {
            window = std::make_unique<TVelmWindow>();
            window->show();
        }
        return *window;
    }
    std::string Text(const std::string& name, const std::string& body = "some text\n")
    {
        files.write(name, body);
        return files.file(name);
    }
    std::string Picture(const std::string& name)
    {
        QImage image(8, 6, QImage::Format_RGB32);
        image.fill(Qt::red);
        image.save(QString::fromStdString(files.file(name)), "BMP");
        return files.file(name);
    }
    std::string Shown() { return Window().Label2->text().toStdString(); }
    void DropOn(QWidget* target, const std::string& file)
    {
        std::unique_ptr<QMimeData> mime(BrowserDragData(TDragSource::FileItem, file));
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    }
    // Whether the widget accepts a split-bar drag at x, and the drop there.
    bool DragBar(QWidget* target, TDragSource bar, int x, bool drop)
    {
        // Moves and the drop reach only a widget that accepted the entering drag.
        std::unique_ptr<QMimeData> mime(BrowserDragData(bar));
        QDragEnterEvent enter(QPoint(x, 20), Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (enter.isAccepted() && drop) {
            QDropEvent event(QPointF(x, 20), Qt::MoveAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &event);
        }
        return enter.isAccepted();
    }

    TempDir files;
    TempDir printed;
    std::unique_ptr<TVelmWindow> window;

private:
    std::unique_ptr<CurrentDir> current_;
};

TEST_F(BrowserTest, FilesOpenOnThePageOfTheirKind)
{
    TVelmWindow& w = Window();
    EXPECT_EQ(w.windowTitle(), "VelmWindow");
    EXPECT_EQ(w.ActivePage(), "RTF");
    EXPECT_TRUE(w.Label2->text().isEmpty());

    for (const char* name : {"PAGE.HTML", "PAGE.HTM", "A.B.HTM"}) {
        w.OpenFile(Text(name, "<b>bold</b> &amp;\n"), true);
        EXPECT_EQ(w.ActivePage(), "HTML") << name;
        EXPECT_EQ(w.MemoHTML->toPlainText(), "<b>bold</b> &amp;\n") << "HTML is shown as its source";
        EXPECT_EQ(Shown(), files.file(name));
        EXPECT_EQ(w.TabSet1->currentIndex(), 1);
    }
    w.OpenFile(Text("README", "plain words"), true);
    EXPECT_EQ(w.ActivePage(), "ASCII");
    EXPECT_EQ(w.MemoRich->toPlainText(), "plain words");
    w.OpenFile(Picture("B.BMP"), true);
    EXPECT_EQ(w.ActivePage(), "BMP");
    EXPECT_EQ(w.Image1->pixmap().size(), QSize(8, 6));
    EXPECT_FALSE(w.BoldButton->isEnabled()) << "the rich-text tool bar only serves the RTF page";

    // The page tabs show each page's own file.
    w.TabSet1->setCurrentIndex(0);
    EXPECT_EQ(Shown(), files.file("README"));
    EXPECT_EQ(w.FCurrentFile, files.file("README"));
    w.TabSet1->setCurrentIndex(1);
    EXPECT_EQ(Shown(), files.file("A.B.HTM"));
}

TEST_F(BrowserTest, UnreadableFileIsReportedAndTheEditorKept)
{
    ModalAnswerer answerer;
    TVelmWindow& w = Window();
    w.OpenFile(Text("A.TXT", "kept"), true);
    w.OpenFile(files.file("MISSING.TXT"), true);
    ASSERT_EQ(answerer.Seen.size(), 1u);
    EXPECT_EQ(answerer.Seen[0], "Cannot open file " + files.file("MISSING.TXT"));
    EXPECT_EQ(w.MemoRich->toPlainText(), "kept");
    EXPECT_EQ(Shown(), files.file("A.TXT"));
}

TEST_F(BrowserTest, PreviousAndNextStayInTheGroupAndWrapAround)
{
    TVelmWindow& w = Window();
    const std::string a = Text("A.TXT"), b = Picture("B.BMP"), c = Text("C.TXT");
    w.OpenFile(a, true);
    w.OpenFile(b, true);
    w.OpenFile(c, true);
    ASSERT_EQ(w.WindowList->count(), 3);

    w.WindowList->setCurrentIndex(0);
    w.WindowListChange(0); // choosing the first entry
    EXPECT_EQ(Shown(), a);
    QTest::mouseClick(w.Right, Qt::LeftButton);
    EXPECT_EQ(Shown(), c) << "Next skips the picture";
    QTest::mouseClick(w.Right, Qt::LeftButton);
    EXPECT_EQ(Shown(), a) << "Next wraps to the first entry";
    QTest::mouseClick(w.Left, Qt::LeftButton);
    EXPECT_EQ(Shown(), c) << "Previous wraps to the last entry";
    QTest::mouseClick(w.Left, Qt::LeftButton);
    EXPECT_EQ(Shown(), a);

    w.WindowListChange(1);
    EXPECT_EQ(Shown(), b);
    QTest::mouseClick(w.Left, Qt::LeftButton);
    QTest::mouseClick(w.Right, Qt::LeftButton);
    EXPECT_EQ(Shown(), b) << "no other picture: nothing happens";
    EXPECT_EQ(w.WindowList->count(), 3) << "navigation adds nothing to the history";

    QTest::mouseClick(w.BitBtn1, Qt::LeftButton);
    EXPECT_EQ(w.WindowList->count(), 0);
    EXPECT_TRUE(w.WindowList->currentText().isEmpty());
}

TEST_F(BrowserTest, HistoryKeepsOneEntryPerExactPath)
{
    TVelmWindow& w = Window();
    const std::string upper = Text("NOTES.TXT"), lower = Text("notes.txt");
    w.OpenFile(upper, true);
    w.OpenFile(upper, true);
    EXPECT_EQ(w.WindowList->count(), 1);
    w.OpenFile(lower, true);
    EXPECT_EQ(w.WindowList->count(), 2);
    EXPECT_EQ(w.FindInHistory(lower), 1);
    EXPECT_EQ(w.FindInHistory(files.file("Notes.txt")), -1);
    EXPECT_TRUE(TVelmWindow::SameFileGroup(".HTM", ".HTML"));
    EXPECT_TRUE(TVelmWindow::SameFileGroup("", ".PAS"));
    EXPECT_FALSE(TVelmWindow::SameFileGroup(".RTF", ".TXT"));
    EXPECT_TRUE(TVelmWindow::SameFileGroup(".DB", ".DBF"));
}

TEST_F(BrowserTest, AutoViewOpensEveryFilePassedWithoutHistory)
{
    Text("1.TXT", "one");
    Text("2.TXT", "two");
    Text("3.TXT", "three");
    TVelmWindow& w = Window();
    w.show();
    ASSERT_EQ(w.FileList->count(), 3);
    w.AutoView1->trigger();
    EXPECT_TRUE(w.AutoView1->isChecked());
    w.FileList->setFocus();
    w.FileList->setCurrentRow(0);
    EXPECT_EQ(w.MemoRich->toPlainText(), "one");
    QTest::keyClick(w.FileList, Qt::Key_Down);
    EXPECT_EQ(w.MemoRich->toPlainText(), "two");
    QTest::keyClick(w.FileList, Qt::Key_Down);
    EXPECT_EQ(w.MemoRich->toPlainText(), "three");
    EXPECT_EQ(w.WindowList->count(), 0);

    w.AutoView1->trigger();
    QTest::keyClick(w.FileList, Qt::Key_Up);
    EXPECT_EQ(w.MemoRich->toPlainText(), "three") << "AutoView off: moving opens nothing";
    w.ComboBox2->setCurrentText("*.bmp");
    EXPECT_EQ(w.FileList->count(), 0);
}

TEST_F(BrowserTest, SplitBarsFollowTheDragRules)
{
    Text("A.TXT");
    TVelmWindow& w = Window();
    w.show();
    const int folderWidth = w.DirectoryListBox1->width();
    EXPECT_FALSE(DragBar(w.DirectoryListBox1->viewport(), TDragSource::Panel1, 40, true));
    w.DirectoryListBox1DragDrop(TDragSource::Panel1, 40);
    EXPECT_EQ(w.DirectoryListBox1->width(), folderWidth) << "x <= 40 is refused";
    EXPECT_EQ(w.FSplitX, -10);
    EXPECT_TRUE(DragBar(w.DirectoryListBox1->viewport(), TDragSource::Panel1, 41, false));
    EXPECT_EQ(w.FSplitX, 41);
    EXPECT_EQ(w.FSplitControl, w.DirectoryListBox1);
    EXPECT_TRUE(DragBar(w.DirectoryListBox1->viewport(), TDragSource::Panel1, 90, true));
    EXPECT_EQ(w.DirectoryListBox1->width(), 90);
    EXPECT_EQ(w.FSplitX, -10) << "the line is gone after the drop";

    EXPECT_TRUE(DragBar(w.FileList->viewport(), TDragSource::Panel1, 10, true));
    EXPECT_EQ(w.DirectoryListBox1->width(), 100);
    EXPECT_TRUE(DragBar(w.FileList->viewport(), TDragSource::Panel2, 120, true));
    EXPECT_EQ(w.FileList->width(), 120);
    EXPECT_FALSE(DragBar(w.MemoRich->viewport(), TDragSource::Panel1, 10, false));
    EXPECT_TRUE(DragBar(w.RichEdit2->viewport(), TDragSource::Panel2, 15, true));
    EXPECT_EQ(w.FileList->width(), 135);

    // A file-list item dropped on the viewer opens there.
    DropOn(w.RichEdit2->viewport(), files.file("A.TXT"));
    EXPECT_EQ(w.ActivePage(), "ASCII");
    EXPECT_EQ(w.WindowList->count(), 1);
}

TEST_F(BrowserTest, StatusLineAndColumnPictureAtCreation)
{
    Set("ColCount", "2");
    TVelmWindow& w = Window();
    const QRegularExpression line("^  \\d+\\.\\d\\d MB Free, \\d+\\.\\d\\d MB Total$");
    EXPECT_TRUE(line.match(w.Label1->text()).hasMatch()) << w.Label1->text().toStdString();
    EXPECT_EQ(w.ColumnPicture(), 3);
    QTest::mouseClick(w.Cols[2], Qt::LeftButton);
    EXPECT_EQ(w.ColumnPicture(), 4);
    QTest::mouseClick(w.Cols[3], Qt::LeftButton);
    EXPECT_EQ(w.ColumnPicture(), 1);
    EXPECT_EQ(w.Cols[2]->toolTip(), "View/Print 3 Columns wide");
    EXPECT_GE(w.DriveTabSet->count(), 1);
    EXPECT_EQ(w.DriveTabSet->tabText(0), "/");
    EXPECT_GE(w.DriveTabSet->currentIndex(), 0) << "the drive of the current folder is selected";
}

TEST_F(BrowserTest, MenusReadAsTheUserExpects)
{
    TVelmWindow& w = Window();
    QStringList captions;
    for (QAction* a : w.menuBar()->actions()[0]->menu()->actions())
        captions << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(captions.join(","), "&Open,-,&Save,Save As...,-,Prin&t Setup...,Print Pre&View,-,"
                                  "&1 Sided Printing,&2 Sided Printing,-,E&xit");
    EXPECT_EQ(w.OpenItem->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(w.AutoView1->shortcut(), QKeySequence(Qt::Key_F7));
    EXPECT_EQ(w.Delete1->shortcut(), QKeySequence(Qt::Key_Delete));
    EXPECT_EQ(w.TwoSidedTextEven->text(), "&Even Pages");
    QStringList specs;
    for (int i = 0; i < w.ComboBox2->count(); ++i)
        specs << w.ComboBox2->itemText(i);
    EXPECT_EQ(specs.join(" "), "*.* *.bat *.bat *.bmp *.c *.cpp *.exe *.htm;*.html *.ico *.pas *.rtf *.txt *.wmf");
    EXPECT_EQ(w.Refresh1->shortcut(), QKeySequence(Qt::Key_F5));
}

TEST_F(BrowserTest, ClosingOnlyHides)
{
    TVelmWindow& w = Window();
    w.show();
    w.OpenFile(Text("A.TXT"), true);
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(VelmWindow, &w);
    w.show();
    EXPECT_EQ(w.WindowList->count(), 1) << "hiding keeps the history";
}

TEST_F(BrowserTest, ProgramFilesAreStartedWithoutTouchingThePages)
{
    const std::string marker = files.file("started");
    const std::string program = Text("RUN.EXE", "#!/bin/sh\ntouch '" + marker + "'\n");
    ::chmod(program.c_str(), 0755);
    TVelmWindow& w = Window();
    w.OpenFile(Text("A.TXT"), true);
    w.OpenFile(program, true);
    EXPECT_TRUE(waitUntil([&] { return fileExists(marker); }));
    EXPECT_EQ(Shown(), files.file("A.TXT"));
    EXPECT_EQ(w.ActivePage(), "ASCII");
}

// --- Print commands -------------------------------------------------------------

TEST_F(BrowserTest, ColumnPictureSetsLayoutAndContentsSize)
{
    TVelmWindow& w = Window();
    w.OpenFile(Text("A.TXT", NumberedLines(30)), true);
    w.MemoRich->setFont(QFont("Courier New", 20));
    QTest::mouseClick(w.Cols[0], Qt::LeftButton);
    QTest::mouseClick(w.Cols[1], Qt::LeftButton);
    ASSERT_EQ(w.ColumnPicture(), 3);
    QTest::mouseClick(w.Preview, Qt::LeftButton);
    ASSERT_EQ(Previews.size(), 1u);
    EXPECT_EQ(Previews[0].Layout, pl_1x3);
    EXPECT_EQ(Previews[0].Font.Size(), 9);
    EXPECT_EQ(Previews[0].Font.Name, "Courier New");
    EXPECT_EQ(Previews[0].Input, frFile);
    EXPECT_EQ(Previews[0].Filename, files.file("A.TXT"));
    EXPECT_EQ(w.PrintFile1.FrameStyleTop, frDoubleThickThin);
    EXPECT_EQ(w.PrintFile1.HeaderStringCenter, files.file("A.TXT"));
}

TEST_F(BrowserTest, TwoSidedEntriesPrintOddThenEvenThenPrintAll)
{
    TestPrinter printer(printed.path());
    TVelmWindow& w = Window();
    w.OpenFile(Text("LONG.TXT", NumberedLines(400)), true);
    w.PrintClick();
    const int all = w.LastOutcome().PagesPrinted();
    ASSERT_GE(all, 3);

    w.TwoSidedTextOdd->trigger();
    EXPECT_EQ(w.LastOutcome().PagesPrinted(), (all + 1) / 2);
    const std::string odd = w.LastOutcome().Deliveries.at(0).OutputPath;
    EXPECT_TRUE(HasLine(PdfText(odd), "line 1")) << PdfText(odd).substr(0, 400);
    EXPECT_EQ(w.PrintFile1.PagesToPrint, pAll);
    EXPECT_EQ(w.PrintFile1.OutputTo, poViewer);

    w.TwoSidedTextEven->trigger();
    EXPECT_EQ(w.LastOutcome().PagesPrinted(), all / 2);
    EXPECT_FALSE(HasLine(PdfText(w.LastOutcome().Deliveries.at(0).OutputPath), "line 1"));

    QTest::mouseClick(w.Print, Qt::LeftButton);
    EXPECT_EQ(w.LastOutcome().PagesPrinted(), all);
    EXPECT_TRUE(Messages.empty());
    EXPECT_TRUE(Previews.empty());
}

TEST_F(BrowserTest, PrintWithThePicturePageInFrontHasNoFile)
{
    TestPrinter printer(printed.path());
    TVelmWindow& w = Window();
    w.OpenFile(Text("A.TXT"), true);
    w.OpenFile(Picture("B.BMP"), true);
    QTest::mouseClick(w.Print, Qt::LeftButton);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "No file selected");

    // The print that did not happen leaves the job at the preview.
    w.TabSet1->setCurrentIndex(0);
    w.TextPreview->trigger();
    ASSERT_EQ(Previews.size(), 1u);
    EXPECT_EQ(Previews[0].Filename, files.file("A.TXT"));
    EXPECT_EQ(w.LastOutcome().PagesPlayed, 0);
    EXPECT_TRUE(filesIn(printed.path()).empty());
}

TEST_F(BrowserTest, DropsOnThePreviewButtonGoByExtension)
{
    TVelmWindow& w = Window();
    DropOn(w.Preview, Text("PAGE.HTML", "<h1>Title</h1>\n"));
    ASSERT_EQ(Previews.size(), 1u);
    EXPECT_EQ(Previews[0].Input, frHTML);
    EXPECT_EQ(Previews[0].Filename, files.file("PAGE.HTML"));

    DropOn(w.Preview, Picture("B.BMP"));
    DropOn(w.Print, Text("X.WMF", ""));
    DropOn(w.Preview, Text("DOC.RTF", "{\\rtf1 x}"));
    ASSERT_EQ(Messages.size(), 3u);
    EXPECT_EQ(Messages[0], "Files with extension .BMP can only be viewed and not printed");
    EXPECT_EQ(Messages[1], "Files with extension .WMF can only be viewed and not printed");
    EXPECT_EQ(Messages[2], "Files with extension .RTF can only be printed - not viewed");
    EXPECT_EQ(Previews.size(), 1u);

    // Only file-list items are accepted.
    QMimeData other;
    other.setText("text");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &other, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.Print, &enter);
    EXPECT_FALSE(enter.isAccepted());
}

TEST_F(BrowserTest, SaveAsOffersTheFilterOfThePageForANameWithoutExtension)
{
    TVelmWindow& w = Window();
    w.OpenFile(Text("README", "old"), true);
    w.MemoRich->setPlainText("new words");
    const std::string target = files.file("saved.txt");
    QStringList offered;
    ModalAnswerer answerer([&](QWidget* dialog) {
        auto* files_ = qobject_cast<QFileDialog*>(dialog);
        ASSERT_NE(files_, nullptr);
        offered = files_->nameFilters();
        // Typed into the name box, as a user does.
        files_->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(target));
        static_cast<QDialog*>(files_)->accept();
    });
    w.SaveAs1->trigger();
    EXPECT_EQ(w.SaveDialog1.Filter, "Text Files (*.txt)|*.txt");
    EXPECT_EQ(offered, QStringList{"Text Files (*.txt)"});
    EXPECT_EQ(readFile(target), "new words");
    EXPECT_EQ(readFile(files.file("README")), "old");
    EXPECT_EQ(Shown(), target);
    w.TabSet1Change(0);
    EXPECT_EQ(Shown(), files.file("README")) << "the page keeps its own file name";

    w.OpenFile(Picture("B.BMP"), true);
    w.SaveAs1->trigger();
    EXPECT_EQ(Messages.back(), "File cannot be saved");
}

TEST_F(BrowserTest, SaveWritesThePageInFrontAndNeedsAFile)
{
    TVelmWindow& w = Window();
    w.Save1->trigger();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0], "No file selected");
    w.OpenFile(Text("PAGE.HTM", "<p>x</p>"), true);
    w.MemoHTML->setPlainText("<p>y</p>");
    w.Save1->trigger();
    EXPECT_EQ(readFile(files.file("PAGE.HTM")), "<p>y</p>");
}

TEST_F(BrowserTest, SaveWritesThroughALinkAndKeepsIt)
{
    TVelmWindow& w = Window();
    Text("REAL.TXT", "old");
    ASSERT_EQ(::symlink("REAL.TXT", files.file("LINK.TXT").c_str()), 0);
    w.OpenFile(files.file("LINK.TXT"), true);
    w.MemoRich->setPlainText("new");
    w.Save1->trigger();
    EXPECT_EQ(readFile(files.file("REAL.TXT")), "new");
    struct stat link {};
    ASSERT_EQ(::lstat(files.file("LINK.TXT").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(filesIn(files.path()), (std::vector<std::string>{"LINK.TXT", "REAL.TXT"}));
}

TEST_F(BrowserTest, EditedTextIsOfferedForSavingUnderItsOwnName)
{
    TVelmWindow& w = Window();
    w.OpenFile(Text("A.TXT", "a"), true);
    w.OpenFile(Picture("B.BMP"), true);
    w.MemoRich->selectAll();
    QTest::keyClicks(w.MemoRich, "edited");
    ASSERT_TRUE(w.MemoRich->document()->isModified());
    std::string offeredName;
    ModalAnswerer answerer([&](QWidget* dialog) {
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
            box->button(QMessageBox::Save)->click();
            return;
        }
        auto* d = qobject_cast<QFileDialog*>(dialog);
        ASSERT_NE(d, nullptr);
        offeredName = d->selectedFiles().value(0).toStdString();
        static_cast<QDialog*>(d)->accept();
    });
    w.OpenFile(Text("C.TXT", "c"), true);
    EXPECT_EQ(offeredName, files.file("A.TXT")) << "never the picture shown last";
    EXPECT_EQ(readFile(files.file("A.TXT")), "edited");
    EXPECT_EQ(w.MemoRich->toPlainText(), "c");
}

// The Open dialog lists the filters by their descriptions alone, and the
// rich-text bar names a face and size a user can find in its lists.
TEST_F(BrowserTest, OpenDialogFiltersAndRichTextBarReadAsAUserExpects)
{
    TVelmWindow& w = Window();
    for (const char* name : {"a.htm", "B.HTML", "c.Html", "d.txt", "e.xhtml"})
        Text(name);
    QStringList shown;
    QStringList htmlFiles;
    ModalAnswerer answerer([&](QWidget* dialog) {
        auto* d = qobject_cast<QFileDialog*>(dialog);
        ASSERT_NE(d, nullptr);
        if (auto* types = d->findChild<QComboBox*>("fileTypeCombo"))
            for (int i = 0; i < types->count(); ++i)
                shown << types->itemText(i);
        // The patterns behind "HTML Files", matched as the dialog does, case-sensitively.
        const QString filter = d->nameFilters().value(2);
        const QStringList patterns = filter.mid(filter.lastIndexOf('(') + 1).chopped(1).split(' ');
        htmlFiles = QDir(QString::fromStdString(files.path())).entryList(patterns, QDir::Files | QDir::CaseSensitive);
        // The size, type and date columns show whole.
        auto* view = d->findChild<QTreeView*>("treeView");
        ASSERT_NE(view, nullptr);
        for (int column = 1; column < 4; ++column)
            EXPECT_EQ(view->header()->sectionResizeMode(column), QHeaderView::ResizeToContents) << column;
        static_cast<QDialog*>(d)->reject();
    });
    w.OpenItem->trigger();
    QCoreApplication::processEvents(); // lets the answerer finish with the box
    ASSERT_EQ(shown.size(), 11);
    EXPECT_EQ(shown[0], "All Files (*.*)");
    EXPECT_EQ(shown[2], "HTML Files (*.HTM, *.HTML)");
    EXPECT_EQ(shown[10], "C++ Files (*.CPP)");
    htmlFiles.sort();
    EXPECT_EQ(htmlFiles, (QStringList{"B.HTML", "a.htm", "c.Html"}));

    for (int i = 0; i < w.FontName->count(); ++i)
        EXPECT_FALSE(w.FontName->itemText(i).contains(" [")) << w.FontName->itemText(i).toStdString();
    EXPECT_EQ(w.FontName->currentText(), QFontInfo(QFont("Times New Roman")).family());
    EXPECT_EQ(w.FontSize->text(), "12");
}

TEST_F(BrowserTest, RichTextPageEditsAndPrints)
{
    TestPrinter printer(printed.path());
    TVelmWindow& w = Window();
    w.OpenFile(Text("DOC.RTF", "{\\rtf1\\ansi {\\fonttbl{\\f0 Arial;}}\\f0\\fs24 Hello rich world\\par}"), true);
    EXPECT_EQ(w.ActivePage(), "RTF");
    EXPECT_TRUE(w.BoldButton->isEnabled());
    EXPECT_EQ(w.RichEdit2->toPlainText(), "Hello rich world");

    QTextCursor cursor = w.RichEdit2->textCursor();
    cursor.setPosition(0);
    cursor.setPosition(5, QTextCursor::KeepAnchor);
    w.RichEdit2->setTextCursor(cursor);
    QTest::mouseClick(w.BoldButton, Qt::LeftButton);
    QTest::mouseClick(w.CenterAlign, Qt::LeftButton);
    QTest::mouseClick(w.RightAlign, Qt::LeftButton);
    EXPECT_FALSE(w.CenterAlign->isChecked()) << "one alignment button down at a time";
    w.FontSize->setText("18");
    w.FontSizeChange();
    const QTextBlock block = w.RichEdit2->document()->firstBlock();
    EXPECT_EQ(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(block.begin().fragment().text(), "Hello");
    EXPECT_EQ(block.begin().fragment().charFormat().fontWeight(), QFont::Bold);
    EXPECT_EQ(block.begin().fragment().charFormat().fontPointSize(), 18);

    ModalAnswerer answerer;
    w.FontSize->setText("big");
    w.FontSizeChange();
    ASSERT_EQ(answerer.Seen.size(), 1u);
    EXPECT_EQ(answerer.Seen[0], "'big' is not a valid integer value");

    QTest::mouseClick(w.Print, Qt::LeftButton);
    const std::vector<std::string> pdfs = filesIn(printed.path());
    ASSERT_EQ(pdfs.size(), 1u);
    const std::string text = PdfText(printed.file(pdfs[0]));
    EXPECT_NE(text.find("Hello rich world"), std::string::npos) << text;
}

} // namespace
} // namespace velm
