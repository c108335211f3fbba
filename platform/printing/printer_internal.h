// Pieces shared by the printer list (printer.cpp), the PDF printers
// (pdf_printer.cpp) and the CUPS queues (cups_printer.cpp). Not for use
// outside platform/, but for the test suite's printers (tests/support).
#pragma once

#include "platform/system/output_file.h"
#include "platform/printing/printer.h"

#include <QPageLayout>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velm::detail {

// Where a print document's PDF goes. The document writes into file; at
// end() the file is committed, then, when deliver is set, the reserved
// file is handed to it (a queue submits it) and removed whatever happens.
// A document that fails or is aborted also removes the reserved file.
struct PdfTarget {
    OutputFile file;
    std::string reservedPath;  // the document's own new file, empty for -o
    std::string shownPath;     // outputPath() of the document
    std::string failurePrefix; // "Cannot write PDF file <path>" or "Cannot print on <queue>"
    std::function<void(const std::string& file)> deliver;
};

// A print document that draws into a PDF file through the GDI player and
// our PDF canvas. One reference pixel is one device pixel: 1/dpiX inch
// across, 1/dpiY inch down, from the layout's printable area's top-left.
// Throws PrinterError when the file cannot be written.
std::unique_ptr<PrintDocument> openPdfDocument(PdfTarget target, const QPageLayout& layout,
                                               int dpiX, int dpiY, const std::string& title);

// A printer that writes PDF files: the built-in "Velm PDF" (folder empty:
// Printers::pdfFolder() at the time of each document; takeOutputFile gives
// the one-shot -o path) and the test suite's (a fixed folder). Without
// portraitCaps it lays out on the system's paper as it is at each use.
std::unique_ptr<Printer> makePdfPrinter(const std::string& name, std::optional<PrinterCaps> portraitCaps,
                                        int marginPx, const std::string& folder,
                                        std::function<std::optional<std::string>()> takeOutputFile);
// The resolution the built-in printer and the CUPS queues lay pages out at:
// the layout's fixed pixel sizes (header box, margins, the date stamp) give
// a clean sheet there. Pages are vector PDF, so the device's own resolution
// does not matter.
constexpr int kLayoutDpi = 300;
// The built-in printer behaves like a printer whose printable area is
// inset from the paper's edges by a quarter inch: the layout's footer, date
// stamp and page number, which reach below the printable area, still land
// on the paper.
constexpr int kBuiltInMarginPx = kLayoutDpi / 4;
// Its portrait printable area on the system's paper: A4 at 300 dpi is
// 2330 x 3358 pixels of a 2480 x 3508 sheet.
PrinterCaps builtInCaps();
// The system's paper (Printers::builtInCaps tells the rule); throws
// PrinterError for a name findPaper() does not know.
const PaperSize& systemPaper();
// The portrait printable area of paper at dpi, marginPx in from every edge.
PrinterCaps paperCaps(const PaperSize& paper, int dpi, int marginPx);

// A CUPS queue as Qt reports it. Nothing is asked of the server until the
// geometry or a document is needed.
std::unique_ptr<Printer> makeCupsPrinter(const std::string& queueName);

// Whether the CUPS server the client library would use ($CUPS_SERVER,
// client.conf, else the local socket or localhost:631) accepts a connection
// within timeoutMs. On failure *problem names the server and the reason.
bool cupsServerReachable(std::string* problem, int timeoutMs = 3000);

// The server's queues in the client library's order ("queue" or
// "queue/instance"), and which of them is the default (empty for none).
struct CupsQueues {
    std::vector<std::string> names;
    std::string defaultName;
};
CupsQueues cupsQueues();

// Opens target.file on the first free name of candidate(1), candidate(2),
// ... candidate(tries): the name is created empty, so that no other
// document takes it, and becomes target.reservedPath. False with the
// reason in *problem and the name last tried in *path.
bool reserveNewFile(PdfTarget& target, const std::function<std::string(int)>& candidate, int tries,
                    std::string* path, std::string* problem);

} // namespace velm::detail
