// Opening files onto the viewer pages: which page shows a file, how it is
// read, and the offer to save an edited page first.
#include "shell/BrowserSupport.h"

#include "platform/core/errors.h"
#include "platform/rendering/wmf_picture.h"
#include "platform/system/files.h"
#include "preview/Presenter.h"
#include "shell/RichText.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
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

bool TVelmWindow::CheckUnsavedChanges(const std::string& FileName)
{
    const std::string page = ViewerPageFor(FileName);
    if (page.empty())
        return true;
    return OfferToSave(page, QStringLiteral("before %1 is opened").arg(QString::fromStdString(FileName)));
}

bool TVelmWindow::SaveOrDropEdits()
{
    for (const char* page : {"ASCII", "HTML", "RTF"})
        if (!OfferToSave(page, QStringLiteral("before Velm closes")))
            return false;
    return true;
}

bool TVelmWindow::OfferToSave(const std::string& Page, const QString& When)
{
    QTextDocument* const document = Page == "ASCII" ? MemoRich->document()
                                    : Page == "RTF" ? RichEdit2->document()
                                    : Page == "HTML" ? MemoHTML->document()
                                                     : nullptr;
    const std::string* const pageFile = Page == "ASCII" ? &FAsciiFile
                                        : Page == "RTF" ? &FRtfFile
                                        : Page == "HTML" ? &FHtmlFile
                                                         : nullptr;
    const int shownPage = Notebook1->currentIndex();
    const QString shownFile = Label2->text();
    SetActivePage(Page);
    if (!document || !document->isModified())
        return true;
    // An edit is dropped only on the user's word; anything else keeps the
    // edited page in front and what was asked for undone.
    const auto keep = [&] {
        Notebook1->setCurrentIndex(shownPage);
        Label2->setText(shownFile);
        return false;
    };
    show();
    raise();
    const QString name = pageFile->empty() ? QStringLiteral("The text on the %1 page").arg(QString::fromStdString(Page))
                                           : QString::fromStdString(*pageFile);
    const QMessageBox::StandardButton answer
        = ShowMessageBox(QMessageBox::Warning, QStringLiteral("%1 has changes that are not saved.\nSave them %2?").arg(name, When),
                         QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Discard) {
        document->setModified(false);
        return true;
    }
    if (answer != QMessageBox::Save)
        return keep();
    // Save As starts from the page's own file, never from a file another
    // page showed last, so an edited text cannot be offered over a picture.
    Label2->setText(QString::fromStdString(*pageFile));
    if (!SaveAsPage())
        return keep();
    document->setModified(false);
    return true;
}

void TVelmWindow::OpenFile(const std::string& FileName, bool AddToHistory)
{
    bool goOn = false;
    Guarded([&] { goOn = CheckUnsavedChanges(FileName); });
    if (!goOn) {
        // The history shows the file still in front, not the one refused.
        const int shown = FindInHistory(FShownFile);
        if (shown >= 0)
            WindowList->setCurrentIndex(shown);
        return;
    }
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
    // The descriptions alone show; the patterns behind them match the
    // extensions in any case.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const auto filter = [](const char* description, std::initializer_list<const char*> extensions) {
        QStringList patterns;
        for (const char* extension : extensions) {
            QString pattern = "*.";
            for (const QChar c : QString(extension))
                pattern += QStringLiteral("[%1%2]").arg(c.toUpper(), c.toLower());
            patterns << pattern;
        }
        return QStringLiteral("%1 (%2)").arg(description, patterns.join(' '));
    };
    dialog.setNameFilters({"All Files (*.*) (*)", filter("Bitmap Files (*.BMP)", {"bmp"}),
                           filter("HTML Files (*.HTM, *.HTML)", {"htm", "html"}),
                           filter("Text Files (*.TXT)", {"txt"}), filter("DBF Files (*.DBF)", {"dbf"}),
                           filter("DB Files (*.DB)", {"db"}), filter("BAT Files (*.BAT)", {"bat"}),
                           filter("INI Files (*.INI)", {"ini"}), filter("Pascal Files (*.PAS)", {"pas"}),
                           filter("C Files (*.C)", {"c"}), filter("C++ Files (*.CPP)", {"cpp"})});
    dialog.setDirectory(QString::fromStdString(currentDirectory()));
    ShowWholeColumns(dialog);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        OpenFile(dialog.selectedFiles().constFirst().toStdString(), true);
}

} // namespace velm
