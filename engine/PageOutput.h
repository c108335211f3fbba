// What the latest TGdi::PrintStoredPages delivered, for callers that tell
// the user where the output went (the headless command, tests).
#pragma once

#include <string>

namespace velm {

struct TPrintReport {
    int PagesPlayed = 0;       // stored pages drawn onto sheets
    int Sheets = 0;            // sheets of the document, blank ones included
    bool Aborted = false;      // "&Abort" cancelled the document: nothing was delivered
    bool Delivered = false;    // the document was ended and handed to the printer
    int DamagedPages = 0;      // stored pages that played only as far as they were sound
    std::string PrinterName;
    std::string OutputPath;    // the PDF the built-in printer wrote, else empty
    std::string JobId;         // the queue's job ("QUEUE-123"), else empty
};

// Reset at the start of every PrintStoredPages; valid after it returns or throws.
const TPrintReport& LastPrintReport();
// Forgets the latest report, so that a job that never printed shows none.
void ClearPrintReport();

// Sheets a pass feeds for a job of PageCount stored pages (Which as in
// PrintStoredPages): every page for all, and the same number, one sheet per
// leaf, for the odd and the even pass of a double-sided job.
int SheetsForPass(int PageCount, int Which);

} // namespace velm
