// Printing the stored pages of a job: the one way every printing goes, the
// job's own, the preview's reprints and the command's page selections.
#pragma once

#include "engine/JobOutcome.h"
#include "platform/printing/printer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velm {

class TStoredJob;

// Which stored pages one printing takes, and how.
struct TPageChoice {
    // The parity pass: 1 the odd pages, 2 the even ones, any other value all.
    int Which = 0;
    // When given, keeps only the page numbers it accepts. It may throw (the
    // preview reads its range text item by item as pages reach it): the
    // pages played before still go out, then the exception travels on.
    std::function<bool(int)> Selected;
    // Page numbers tested at least, past the last stored page too, so that
    // a selection's fault there is still found.
    int TestedPages = 0;
    // The pass feeds its whole stack of leaves: one empty document for a
    // job without pages, and a blank last leaf for the even pass of an odd
    // page count. Otherwise a document begins only with its first page.
    bool WholePass = false;
    // Show the status dialog, whose "&Abort" sets Cancel; StatusLine is
    // written into it before pages go out (empty: left as the dialog has it).
    bool ShowStatus = true;
    std::string StatusLine;
    // The run's flag, looked at after every page.
    TCancelFlag Cancel;
};

// Plays the chosen stored pages of Job, from its folder, onto the selected
// printer as one print document named after the job, in ascending order,
// up to the first page that is not stored; the printer takes the job's
// orientation first. With Job.PagesPerSheet above 1 the chosen pages are
// scaled onto sheets that many at a time (PageSlots). A stop (Choice.Cancel)
// cancels the document: nothing of it is delivered. A damaged page prints as far as it
// is sound and says so. Adds to Outcome what it did (the pages found and
// played, the document delivered, the messages shown), also when it then
// throws: PrinterError when the printer fails, or the selection's fault.
// Outcome.Cancelled then tells whether this printing was stopped.
void PrintStoredJob(const TStoredJob& Job, const TPageChoice& Choice, TJobOutcome& Outcome);

// A whole pass printed as a run lays its pages out, for a job none of whose
// pages waits for the pages after it (no totals in its header or footer):
// the pages are never stored, and from the second page on each is played
// on a thread of its own while the next is laid out. The first page waits:
// a one-page job is played on the run's thread, which then needs no fonts
// of a second thread. The document, its sheets, blank leaf and delivery are
// those PrintStoredJob makes of the same pages.
class TPageStream {
public:
    TPageStream(const TStoredJob& Job, const TPageChoice& Choice);
    // An unfinished printing is cancelled: nothing of it is delivered.
    ~TPageStream();
    TPageStream(const TPageStream&) = delete;
    TPageStream& operator=(const TPageStream&) = delete;

    // Takes the recording of page N (1, 2, ... in turn). Waits while a few
    // pages wait for the printer, so that memory does not grow with the
    // job. Throws what stopped the printing (PrinterError).
    void Put(int N, std::vector<std::uint8_t> Page);
    // Plays the pages left, then delivers the document, or cancels it when
    // Stop is set or the choice's flag is. Adds the printing to Outcome and
    // shows its messages; throws what stopped it.
    void Finish(TJobOutcome& Outcome, bool Stop);

private:
    struct State;
    std::unique_ptr<State> d;
};

// Sheets a pass feeds for a job of PageCount stored pages (Which as in
// TPageChoice): every page for all, and the same number, one sheet per
// leaf, for the odd and the even pass of a double-sided job; PerSheet pages
// share each sheet.
int SheetsForPass(int PageCount, int Which, int PerSheet = 1);

// The n-up values PagesPerSheet takes.
bool IsPagesPerSheet(int N);
// Whether n-up of N turns the sheet against the pages' orientation: two
// and eight pages a sheet lie side by side on the turned sheet.
bool TurnsSheet(int N);
// Where PerSheet stored pages of PageWidth x PageHeight pixels land on a
// sheet of SheetWidth x SheetHeight (its printable area): the grid that
// shows them largest, slots left to right and then top to bottom, a thin
// gap apart (1/90 of the sheet's longer side, 3.3 mm on A4), each page
// scaled to fit its slot and centred in it.
std::vector<PagePlacement> PageSlots(int PerSheet, double PageWidth, double PageHeight, double SheetWidth,
                                     double SheetHeight);

} // namespace velm
