// The browser's print, preview and save commands: the file shown goes to
// the print job PrintFile1 as text or HTML, or as rich text to the printer.
#include "shell/BrowserSupport.h"

#include "engine/JobOutcome.h"
#include "engine/UserInterface.h"
#include "platform/printing/printer.h"
#include "shell/PrintNotice.h"
#include "shell/RichText.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTextEdit>

namespace velm {

namespace {

TFont ToTFont(const QFont& font)
{
    TFont result;
    result.Name = font.family().toStdString();
    result.Color = clWindowText;
    result.PixelsPerInch = 96;
    result.SetSize(std::max(1, font.pointSize()));
    result.Style = (font.bold() ? fsBold : 0u) | (font.italic() ? fsItalic : 0u) |
                   (font.underline() ? fsUnderline : 0u) | (font.strikeOut() ? fsStrikeOut : 0u);
    return result;
}

// Whatever a command does, the job rests at the viewer and all pages afterwards.
struct JobAtRest {
    TPrintFile& job;
    ~JobAtRest()
    {
        job.OutputTo = poViewer;
        job.PagesToPrint = pAll;
    }
};

bool IsPicture(const std::string& ext) { return ext == ".BMP" || ext == ".ICO" || ext == ".WMF"; }
bool IsHtml(const std::string& ext) { return ext == ".HTM" || ext == ".HTML"; }

} // namespace

int TVelmWindow::ColumnPicture() const { return Notebook2->currentIndex() + 1; }

void TVelmWindow::Cols1Click() { Notebook2->setCurrentIndex(ColumnPicture() % 4); }

void TVelmWindow::ApplyColumns()
{
    static const TPageLayout layouts[] = {pl_1x1, pl_1x2, pl_1x3, pl_1x4};
    PrintFile1.PageLayout = layouts[ColumnPicture() - 1];
    switch (PrintFile1.PageLayout) {
    case pl_1x1: PrintFile1.ContentsFont.SetSize(12); break;
    case pl_1x2: PrintFile1.ContentsFont.SetSize(10); break;
    case pl_1x3: PrintFile1.ContentsFont.SetSize(9); break;
    case pl_1x4: PrintFile1.ContentsFont.SetSize(8); break;
    default: break;
    }
}

void TVelmWindow::RunJob(TInput Input)
{
    const JobAtRest rest{PrintFile1};
    PrintFile1.Filename = FCurrentFile;
    if (FCurrentFile.empty()) {
        ShowMessage("No file selected");
        return;
    }
    PrintFile1.HeaderStringCenter = FCurrentFile;
    PrintFile1.Input = Input;
    if (Input == frHTML) {
        PrintFile1.RichEdit = &FHtmlLines;
        PrintFile1.ContentsFont = ToTFont(MemoHTML->font());
    } else {
        PrintFile1.ContentsFont = ToTFont(MemoRich->font());
    }
    ApplyColumns();
    TJobReport report{ShowErrorBox, {}};
    if (PrintFile1.OutputTo == poPrinter)
        report.Delivered = [this](const TDelivery& delivery) { TellWherePrinted(FCurrentFile, delivery); };
    FLastOutcome = RunAndReport([this] { return PrintFile1.Execute(); }, report);
    ProcessMessages();
}

void TVelmWindow::TextPreviewClick() { RunJob(frFile); }

void TVelmWindow::HTMLPreviewClick() { RunJob(frHTML); }

void TVelmWindow::TakePageFile()
{
    if (!FCurrentFile.empty())
        return;
    const std::string page = ActivePage();
    const std::string* file = page == "RTF" ? &FRtfFile : page == "HTML" ? &FHtmlFile : page == "ASCII" ? &FAsciiFile : nullptr;
    if (!file)
        return;
    FCurrentFile = *file;
    Label2->setText(QString::fromStdString(FCurrentFile));
}

void TVelmWindow::PreviewCurrent()
{
    TakePageFile();
    if (FCurrentFile.empty()) {
        ShowMessage("No file selected");
        return;
    }
    PrintFile1.OutputTo = poViewer;
    const std::string ext = ExtensionOf(FCurrentFile);
    if (IsPicture(ext))
        ShowMessage("Files with extension " + ext + " can only be viewed and not printed");
    else if (ext == ".RTF")
        ShowMessage("Files with extension .RTF can only be printed - not viewed");
    else if (IsHtml(ext))
        HTMLPreviewClick();
    else
        TextPreviewClick();
}

void TVelmWindow::PrintCurrent()
{
    const JobAtRest rest{PrintFile1};
    PrintFile1.OutputTo = poPrinter;
    TakePageFile();
    if (FCurrentFile.empty()) {
        ShowMessage("No file selected");
        return;
    }
    const std::string ext = ExtensionOf(FCurrentFile);
    if (IsPicture(ext))
        ShowMessage("Files with extension " + ext + " can only be viewed and not printed");
    else if (ext == ".RTF")
        PrintRichText(FCurrentFile);
    else if (IsHtml(ext))
        HTMLPreviewClick();
    else
        TextPreviewClick();
}

void TVelmWindow::PrintRichText(const std::string& Title)
{
    velm::PrintRichText(*RichEdit2->document(), Printers::instance().selected(), Title);
}

void TVelmWindow::PreviewClick()
{
    FCurrentFile.clear();
    Guarded([this] { PreviewCurrent(); });
}

void TVelmWindow::PrintClick()
{
    FCurrentFile.clear();
    Guarded([this] { PrintCurrent(); });
}

void TVelmWindow::PrintSidedPage(const char* Page, TPagesToPrint Pages)
{
    SetActivePage(Page);
    PrintFile1.PagesToPrint = Pages;
    FCurrentFile.clear();
    PrintCurrent();
}

void TVelmWindow::Save1Click()
{
    const std::string file = Label2->text().toStdString();
    if (file.empty()) {
        ShowMessage("No file selected");
        return;
    }
    const std::string page = ActivePage();
    if (page == "ASCII")
        WriteWholeFile(file, MemoRich->toPlainText().toStdString());
    else if (page == "HTML")
        WriteWholeFile(file, MemoHTML->toPlainText().toStdString());
    else if (page == "RTF")
        WriteWholeFile(file, SaveRichText(*RichEdit2->document()));
}

void TVelmWindow::SaveAs1Click() { SaveAsPage(); }

bool TVelmWindow::SaveAsPage()
{
    const std::string page = ActivePage();
    if (page == "BMP") {
        ShowMessage("File cannot be saved");
        return false;
    }
    const std::string shown = Label2->text().toStdString();
    const auto slash = shown.rfind('/');
    const auto dot = shown.rfind('.');
    const bool noExtension = dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
                             dot + 1 == shown.size();
    if (noExtension) {
        if (page == "ASCII")
            SaveDialog1.Filter = "Text Files (*.txt)|*.txt";
        else if (page == "HTML")
            SaveDialog1.Filter = "HTML Files (*.htm *.html)|*.htm *.html";
        else
            SaveDialog1.Filter = "Rich Text Format Files (*.rtf)|*.rtf";
    }
    SaveDialog1.FileName = shown;
    if (!SaveDialog1.Execute(this))
        return false;
    Label2->setText(QString::fromStdString(SaveDialog1.FileName));
    Save1Click();
    return true;
}

} // namespace velm
