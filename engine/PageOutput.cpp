// Plays the stored pages of a job onto the selected printer as one print
// document: all of them, the odd or the even ones for manual duplex, or a
// selection; one or several to a sheet.
#include "engine/PageOutput.h"

#include "engine/Gdi.h"
#include "engine/StoredJob.h"
#include "engine/UserInterface.h"
#include "platform/metafile/emf_reader.h"
#include "platform/core/errors.h"
#include "platform/system/files.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>

namespace velm {

namespace {

// Which = 1 keeps the odd pages, 2 the even ones; the test on the fractional
// part of i * 0.5 sees i = n - 1 even for odd page numbers n.
bool PageWanted(int Which, int i)
{
    const bool evenIndex = std::fmod(i * 0.5, 1.0) == 0.0;
    if (Which == 1)
        return evenIndex;
    if (Which == 2)
        return !evenIndex;
    return true;
}

// A damaged page still prints what is sound in it, but the user must learn
// that the sheet is incomplete.
void PlayStoredPage(const std::string& file, int N, PrintDocument& document, const TLateTexts& late,
                    TJobOutcome& outcome)
{
    const EmfReader reader = EmfReader::fromFile(file);
    TLateTextDevice device(document.device(), late, N);
    const EmfPlayResult result = reader.play(device);
    if (!reader.isValid() || !result.ok) {
        const std::string& problem = reader.isValid() ? result.problem : reader.problem();
        const std::string message =
            format("Stored page %s is damaged (%s); printed as far as it was sound", file.c_str(), problem.c_str());
        outcome.Messages.push_back(message);
        ShowMessage(message);
    }
}

// Holds the status dialog while the document is open, so that "&Abort"
// can cancel it at once, and lets go of it before the document is gone.
class DocumentWatch {
public:
    explicit DocumentWatch(TPrintStatus* status) : status_(status) {}
    ~DocumentWatch()
    {
        if (status_)
            status_->SetPrintDocument(nullptr);
    }
    DocumentWatch(const DocumentWatch&) = delete;
    DocumentWatch& operator=(const DocumentWatch&) = delete;
    void watch(PrintDocument* document)
    {
        if (status_)
            status_->SetPrintDocument(document);
    }
private:
    TPrintStatus* status_;
};

// The printer's orientation for the sheets, and back to the job's after
// them: a turned n-up sheet is this printing's alone.
class SheetOrientation {
public:
    SheetOrientation(Printer& printer, PaperOrientation pages, bool turned) : printer_(printer), pages_(pages)
    {
        const PaperOrientation other =
            pages == PaperOrientation::Portrait ? PaperOrientation::Landscape : PaperOrientation::Portrait;
        printer_.setOrientation(turned ? other : pages);
    }
    ~SheetOrientation() { printer_.setOrientation(pages_); }
    SheetOrientation(const SheetOrientation&) = delete;
    SheetOrientation& operator=(const SheetOrientation&) = delete;

private:
    Printer& printer_;
    PaperOrientation pages_;
};

int StoredPagesIn(const std::string& folder)
{
    int count = 0;
    while (fileExists(PageFileName(count + 1, folder)))
        ++count;
    return count;
}

} // namespace

int SheetsForPass(int PageCount, int Which, int PerSheet)
{
    const int pages = Which == 1 || Which == 2 ? (PageCount + 1) / 2 : PageCount;
    const int per = std::max(PerSheet, 1);
    return std::max((pages + per - 1) / per, 1);
}

bool IsPagesPerSheet(int N) { return N == 1 || N == 2 || N == 4 || N == 8; }

bool TurnsSheet(int N) { return N == 2 || N == 8; }

std::vector<PagePlacement> PageSlots(int PerSheet, double PageWidth, double PageHeight, double SheetWidth,
                                     double SheetHeight)
{
    const int n = std::max(PerSheet, 1);
    const double gap = std::max(SheetWidth, SheetHeight) / 90;
    int bestCols = 1;
    double best = -1;
    for (int cols = 1; cols <= n; ++cols) {
        if (n % cols)
            continue;
        const int rows = n / cols;
        const double scale = std::min((SheetWidth - (cols - 1) * gap) / cols / PageWidth,
                                      (SheetHeight - (rows - 1) * gap) / rows / PageHeight);
        if (scale > best) {
            best = scale;
            bestCols = cols;
        }
    }
    const int cols = bestCols, rows = n / cols;
    const double slotWidth = (SheetWidth - (cols - 1) * gap) / cols;
    const double slotHeight = (SheetHeight - (rows - 1) * gap) / rows;
    const double scale = std::max(best, 0.0);
    std::vector<PagePlacement> places;
    for (int row = 0; row < rows; ++row)
        for (int col = 0; col < cols; ++col)
            places.push_back({scale, col * (slotWidth + gap) + (slotWidth - scale * PageWidth) / 2,
                             row * (slotHeight + gap) + (slotHeight - scale * PageHeight) / 2, PageWidth,
                             PageHeight});
    return places;
}

void PrintStoredJob(const TStoredJob& Job, const TPageChoice& Choice, TJobOutcome& Outcome)
{
    std::unique_ptr<StatusDialogScope> dialog;
    if (Choice.ShowStatus) {
        dialog = std::make_unique<StatusDialogScope>(Choice.Cancel);
        (*dialog)->Show();
        ProcessMessages();
        if (!Choice.StatusLine.empty())
            (*dialog)->SetStatus(Choice.StatusLine);
    }

    const std::string folder = Job.Read("Directory", currentDirectory());
    const int perSheet = IsPagesPerSheet(Job.PagesPerSheet) ? Job.PagesPerSheet : 1;
    Printer& printer = Printers::instance().selected();
    // The orientation the pages were recorded in, turned for side-by-side n-up.
    const SheetOrientation orientation(printer, Job.Orientation(), TurnsSheet(perSheet));
    // No page cap: every stored page up to the first gap is printed.
    const int pageCount = StoredPagesIn(folder);
    Outcome.PagesFormatted = pageCount;
    Outcome.Cancelled = false;
    int played = 0;
    std::unique_ptr<PrintDocument> document;
    std::vector<PagePlacement> places;
    std::exception_ptr selectionFault;
    {
        DocumentWatch watch(dialog ? &**dialog : nullptr);
        const auto begin = [&] {
            document = printer.beginDocument(Job.DocumentName());
            watch.watch(document.get());
            if (perSheet > 1) {
                const PrinterCaps sheet = printer.caps();
                places = PageSlots(perSheet, Job.PageWidth(), Job.SheetHeight(), sheet.horzRes, sheet.vertRes);
            }
        };
        // "&Abort" closes the document at once; a later activation of the
        // dialog may clear the flag, but a closed document stays closed.
        const auto cancelled = [&] { return Choice.Cancel.IsSet() || (document && !document->isOpen()); };
        if (Choice.WholePass)
            begin();
        try {
            const int last = std::max(Choice.TestedPages, pageCount + 1);
            for (int n = 1; n <= last && !cancelled(); ++n) {
                if (!PageWanted(Choice.Which, n - 1) || (Choice.Selected && !Choice.Selected(n)))
                    continue;
                // The first chosen page that is not stored ends the printing.
                const std::string file = PageFileName(n, folder);
                if (n > pageCount || !fileExists(file))
                    break;
                if (dialog)
                    (*dialog)->SetPage(format("%d", n));
                if (!document)
                    begin();
                const int slot = played % perSheet;
                if (played > 0 && slot == 0)
                    document->newPage();
                if (perSheet > 1)
                    document->placePages(places[static_cast<std::size_t>(slot)]);
                PlayStoredPage(file, n, *document, Job.LateTexts, Outcome);
                ++played;
                ++Outcome.PagesPlayed;
                ProcessMessages();
            }
        } catch (...) {
            // The pages played before a fault of the selection still go out.
            selectionFault = std::current_exception();
        }
        // The even pass feeds one more, blank sheet when the odd pass printed
        // the last page, so both passes take the same stack of leaves.
        while (Choice.WholePass && !selectionFault && !cancelled() &&
               document->sheetCount() < SheetsForPass(pageCount, Choice.Which, perSheet))
            document->newPage();
        Outcome.Cancelled = cancelled();
    }
    if (document) {
        if (Outcome.Cancelled) {
            if (document->isOpen())
                document->abort();
        } else {
            document->end();
            Outcome.Deliveries.push_back(
                {printer.name(), document->outputPath(), document->jobId(), played, document->sheetCount()});
        }
    }
    if (selectionFault)
        std::rethrow_exception(selectionFault);
}

TJobOutcome TGdi::PrintStoredPages(int Which, bool ShowStatus, const std::function<bool(int)>& Selected)
{
    TPageChoice choice;
    choice.Which = Which;
    choice.Selected = Selected;
    choice.WholePass = !Selected;
    choice.ShowStatus = ShowStatus;
    choice.StatusLine = "Printing...";
    TJobOutcome outcome;
    PrintStoredJob(StoredJob(), choice, outcome);
    return outcome;
}

} // namespace velm
