// Printing the stored pages of a job: the one way every printing goes, the
// job's own, the preview's reprints and the command's page selections.
#pragma once

#include "platform/printing/printer.h"

#include <functional>
#include <string>
#include <vector>

namespace velm {

class TStoredJob;

// What the latest PrintStoredJob delivered, for callers that tell the user
// where the output went (the headless command, tests).
struct TPrintReport {
    int PagesPlayed = 0;       // stored pages drawn onto sheets
    int Sheets = 0;            // sheets of the document, blank ones included
    int StoredPages = 0;       // stored pages the job had
    bool Aborted = false;      // "&Abort" cancelled the document: nothing was delivered
    bool Delivered = false;    // the document was ended and handed to the printer
    int DamagedPages = 0;      // stored pages that played only as far as they were sound
    std::string PrinterName;
    std::string OutputPath;    // the PDF the built-in printer wrote, else empty
    std::string JobId;         // the queue's job ("QUEUE-123"), else empty
};

// Reset at the start of every PrintStoredJob; valid after it returns or throws.
const TPrintReport& LastPrintReport();
// Forgets the latest report, so that a job that never printed shows none.
void ClearPrintReport();

// The report of every document delivered since the last ClearDeliveries,
// in order: a preview's reprints are several printings of one job.
const std::vector<TPrintReport>& Deliveries();
void ClearDeliveries();

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
    // Show the status dialog and honour its "&Abort"; StatusLine is written
    // into it before pages go out (empty: left as the dialog has it).
    bool ShowStatus = true;
    std::string StatusLine;
};

// Plays the chosen stored pages of Job, from its folder, onto the selected
// printer as one print document named after the job, in ascending order,
// up to the first page that is not stored; the printer takes the job's
// orientation first. With Job.PagesPerSheet above 1 the chosen pages are
// scaled onto sheets that many at a time (PageSlots). "&Abort" cancels the
// document: nothing of it is delivered. A damaged page prints as far as it
// is sound and says so. Throws PrinterError when the printer fails.
const TPrintReport& PrintStoredJob(const TStoredJob& Job, const TPageChoice& Choice);

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
