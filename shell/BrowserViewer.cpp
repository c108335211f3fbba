// Opening files onto the viewer pages: which page shows a file, how it is
// read, and the offer to save an edited page first.
#include "shell/BrowserSupport.h"

#include "platform/core/errors.h"
#include "platform/rendering/wmf_picture.h"
#include "platform/system/files.h"
#include "shell/RichText.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStackedWidget>
#include <QTextDocument>
#include <QTextEdit>
#include <QUrl>

#include <algorithm>

namespace velm {

std::string TVelmWindow::ViewerPageFor(const std::string& FileName)
{
    const std::string ext = ExtensionOf(FileName);
    if (ext == ".BMP" || ext == ".WMF" || ext == ".ICO")
        return "BMP";
    if (ext == ".RTF")
        return "RTF";
    if (ext == ".HTM" || ext == ".HTML")
        return "HTML";
    if (ext == ".EXE" || ext == ".HLP")
        return {};
    return "ASCII";
}

std::string TVelmWindow::ActivePage() const { return PageNames[std::clamp(Notebook1->currentIndex(), 0, 3)]; }

void TVelmWindow::SetActivePage(const std::string& Page)
{
    for (int i = 0; i < 4; ++i)
        if (Page == PageNames[i])
            Notebook1->setCurrentIndex(i);
}

void TVelmWindow::CheckUnsavedChanges(const std::string& FileName)
{
    const std::string page = ViewerPageFor(FileName);
    if (page.empty())
        return;
    SetActivePage(page);
    // Save As starts from the page's own file, never from a file another
    // page showed last, so an edited text cannot be offered over a picture.
    const auto offer = [this](QTextDocument* document, const std::string& pageFile) {
        if (!document->isModified())
            return;
        Label2->setText(QString::fromStdString(pageFile));
        SaveAs1Click();
        document->setModified(false);
    };
    if (page == "ASCII")
        offer(MemoRich->document(), FAsciiFile);
    else if (page == "RTF")
        offer(RichEdit2->document(), FRtfFile);
    else if (page == "HTML")
        offer(MemoHTML->document(), FHtmlFile);
}

void TVelmWindow::OpenFile(const std::string& FileName, bool AddToHistory)
{
    CheckUnsavedChanges(FileName);
    FCurrentFile = FShownFile = FileName;
    if (AddToHistory) {
        const int found = FindInHistory(FileName);
        if (found < 0) {
            WindowList->addItem(QString::fromStdString(FileName));
            WindowList->setCurrentIndex(WindowList->count() - 1);
        } else {
            WindowList->setCurrentIndex(found);
        }
    }
    const std::string ext = ExtensionOf(FileName);
    if (ext == ".EXE") {
        QProcess::startDetached(QString::fromStdString(FileName), {});
        return;
    }
    if (ext == ".HLP") {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(FileName)));
        return;
    }
    const std::string page = ViewerPageFor(FileName);
    SetActivePage(page);
    Guarded([&] {
        const QString shown = QString::fromStdString(FileName);
        if (page == "BMP") {
            LoadPicture(FileName);
            Label2->setText(shown);
            FBitmapLoaded = ext == ".BMP";
            FBmpFile = FileName;
        } else if (page == "RTF") {
            LoadRichText(*RichEdit2->document(), ReadWholeFile(FileName));
            Label2->setText(shown);
            FRtfFile = FileName;
            RichEdit2->document()->setModified(false);
        } else if (page == "HTML") {
            MemoHTML->setPlainText(PlainTextOf(ReadWholeFile(FileName)));
            Label2->setText(shown);
            FHtmlFile = FileName;
            MemoHTML->document()->setModified(false);
        } else {
            MemoRich->setPlainText(PlainTextOf(ReadWholeFile(FileName)));
            Label2->setText(shown);
            FTextLoaded = true;
            FAsciiFile = FileName;
            MemoRich->document()->setModified(false);
        }
        UpdatePrintMenus();
    });
}

void TVelmWindow::LoadPicture(const std::string& FileName)
{
    QImage image;
    if (ExtensionOf(FileName) == ".WMF") {
        image = renderWmfPicture(ReadWholeFile(FileName));
    } else {
        QImageReader reader(QString::fromStdString(FileName));
        reader.setDecideFormatFromContent(true);
        image = reader.read();
        if (image.isNull())
            throw FileError(format("Cannot load picture %s: %s", FileName.c_str(),
                                   reader.errorString().toStdString().c_str()));
    }
    Image1->setPixmap(QPixmap::fromImage(image));
}

void TVelmWindow::FileListDblClick()
{
    const std::string file = FileList->FileName();
    if (!file.empty())
        OpenFile(file, true);
}

void TVelmWindow::FileListChange()
{
    const std::string file = FileList->FileName();
    if (AutoView1->isChecked() && !file.empty())
        OpenFile(file, false);
}

void TVelmWindow::OpenItemClick()
{
    QFileDialog dialog(this, "Open");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("");
    // The descriptions alone show; the patterns behind them also match
    // lower-case names.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters({"All Files (*.*) (*)", "Bitmap Files (*.BMP) (*.BMP *.bmp)",
                           "HTML Files (*.HTM) (*.HTM *.htm)", "Text Files (*.TXT) (*.TXT *.txt)",
                           "DBF Files (*.DBF) (*.DBF *.dbf)", "DB Files (*.DB) (*.DB *.db)",
                           "BAT Files (*.BAT) (*.BAT *.bat)", "INI Files (*.INI) (*.INI *.ini)",
                           "Pascal Files (*.PAS) (*.PAS *.pas)", "C Files (*.C) (*.C *.c)",
                           "C++ Files (*.CPP) (*.CPP *.cpp)"});
    dialog.setDirectory(QString::fromStdString(currentDirectory()));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        OpenFile(dialog.selectedFiles().constFirst().toStdString(), true);
}

} // namespace velm
