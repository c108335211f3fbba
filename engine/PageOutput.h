// Printing the stored pages of a job: the one way every printing goes, the
// job's own, the preview's reprints and the command's page selections.
#pragma once

#include "engine/JobOutcome.h"
#include "platform/printing/printer.h"

#include <functional>
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
