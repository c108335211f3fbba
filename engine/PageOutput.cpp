// Plays the stored pages of a job onto the selected printer as one print
// document: all of them, or the odd or the even ones for manual duplex.
#include "engine/PageOutput.h"

#include "engine/Gdi.h"
#include "engine/UserInterface.h"
#include "platform/metafile/emf_reader.h"
#include "platform/core/errors.h"
#include "platform/printing/printer.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace velm {

namespace {

TPrintReport gReport;

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
void PlayStoredPage(int N, PrintDocument& document, const TLateTexts& late)
{
    const std::string file = PageFileName(N);
    const EmfReader reader = EmfReader::fromFile(file);
    TLateTextDevice device(document.device(), late, N);
    const EmfPlayResult result = reader.play(device);
    if (!reader.isValid() || !result.ok) {
        ++gReport.DamagedPages;
        const std::string& problem = reader.isValid() ? result.problem : reader.problem();
        ShowMessage(format("Stored page %s is damaged (%s); printed as far as it was sound",
                           file.c_str(), problem.c_str()));
    }
}

// Holds the status dialog while the document is open, so that "&Abort"
// can cancel it, and lets go of it before the document is gone.
class DocumentWatch {
public:
    DocumentWatch(TPrintStatus* status, PrintDocument* document) : status_(status)
    {
        if (status_)
            status_->SetPrintDocument(document);
    }
    ~DocumentWatch()
    {
        if (status_)
            status_->SetPrintDocument(nullptr);
    }
    DocumentWatch(const DocumentWatch&) = delete;
    DocumentWatch& operator=(const DocumentWatch&) = delete;
    bool aborted() const { return status_ && status_->Aborted(); }

private:
    TPrintStatus* status_;
};

} // namespace

const TPrintReport& LastPrintReport() { return gReport; }

void ClearPrintReport() { gReport = TPrintReport{}; }

int SheetsForPass(int PageCount, int Which)
{
    const int sheets = Which == 0 ? PageCount : (PageCount + 1) / 2;
    return std::max(sheets, 1);
}

void TGdi::PrintStoredPages(int Which, bool ShowStatus, const std::function<bool(int)>& Selected)
{
    ClearPrintReport();
    std::unique_ptr<StatusDialogScope> dialog;
    if (ShowStatus) {
        dialog = std::make_unique<StatusDialogScope>();
        (*dialog)->Show();
        ProcessMessages();
        (*dialog)->SetStatus("Printing...");
    }

    Printer& printer = Printers::instance().selected();
    gReport.PrinterName = printer.name();
    // The orientation the pages were recorded in.
    printer.setOrientation(StoredJob().Orientation());
    std::unique_ptr<PrintDocument> document = printer.beginDocument(StoredJob().DocumentName());
    {
        DocumentWatch watch(dialog ? &**dialog : nullptr, document.get());
        // "&Abort" closes the document at once; a later activation of the
        // dialog may clear the flag, but a closed document stays closed.
        const auto cancelled = [&] { return watch.aborted() || !document->isOpen(); };
        // No page cap: every stored page up to the first gap is printed.
        const int pageCount = StoredPageCount();
        bool sheetUsed = false;
        for (int i = 0; i < pageCount && !cancelled(); ++i) {
            const int n = i + 1;
            if (!PageWanted(Which, i) || (Selected && !Selected(n)))
                continue;
            if (dialog)
                (*dialog)->SetPage(format("%d", n));
            if (sheetUsed)
                document->newPage();
            PlayStoredPage(n, *document, StoredJob().LateTexts);
            sheetUsed = true;
            ++gReport.PagesPlayed;
            ProcessMessages();
        }
        // The even pass feeds one more, blank sheet when the odd pass printed
        // the last page, so both passes take the same stack of leaves.
        while (!Selected && !cancelled() && document->sheetCount() < SheetsForPass(pageCount, Which))
            document->newPage();
        gReport.Aborted = cancelled();
    }
    gReport.Sheets = document->sheetCount();
    if (gReport.Aborted) {
        if (document->isOpen())
            document->abort();
        return;
    }
    document->end();
    gReport.Delivered = true;
    gReport.OutputPath = document->outputPath();
    gReport.JobId = document->jobId();
}

} // namespace velm
