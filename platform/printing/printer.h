// The printers jobs can use: the CUPS queues Qt reports and the built-in
// "Velm PDF" printer that is always there. Index -1 is the default
// printer: the CUPS default if there is one, else the built-in printer.
#pragma once

#include "platform/metafile/page_device.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velm {

namespace testing {
class TestPrinter;
}

enum class PaperOrientation { Portrait, Landscape };

// A sheet by name: the sizes every printer takes, portrait, in millimetres.
struct PaperSize {
    const char* name;  // "A4", "Letter"
    const char* pwg;   // the queue's name for it: "iso_a4_210x297mm"
    double widthMm;
    double heightMm;
};
// By its common name in any case ("a4", "Letter") or its PWG name; nullptr
// when no size has it.
const PaperSize* findPaper(const std::string& name);
// "A3, A4, A5, B5, Letter, Legal, Tabloid": for the messages of unknown sizes.
std::string knownPaperNames();

// One paper for a job: while a scope is open, the system's paper (the
// PAPERSIZE variable, else the paper file) is read once, when first asked
// for, and holds until the outermost scope closes, so that every page of
// the job measures alike. Scopes nest; one thread's jobs at a time.
class SystemPaperScope {
public:
    SystemPaperScope();
    ~SystemPaperScope();
    SystemPaperScope(const SystemPaperScope&) = delete;
    SystemPaperScope& operator=(const SystemPaperScope&) = delete;
};

// What GetDeviceCaps tells of a printer in its current orientation.
struct PrinterCaps {
    int horzRes = 0;     // printable width in device pixels
    int vertRes = 0;     // printable height in device pixels
    int logPixelsX = 300;
    int logPixelsY = 300;
    int horzSizeMm = 0;  // printable width in millimetres
    int vertSizeMm = 0;
    // Paper below the printable area in device pixels (PHYSICALHEIGHT -
    // PHYSICALOFFSETY - VERTRES): what a page draws there still prints.
    int marginBottom = 0;
};

// One open print document. Pages are played onto device(); the document
// must be finished with end() (which reports failure by throwing
// PrinterError) or abort(). Destroying an open document aborts it.
// Once ended or aborted, newPage(), end() and abort() do nothing and
// drawing on device() is dropped, so an Abort button may close the
// document while a page is still being played.
// newPage() and end() throw PrinterError "Cannot write PDF file <path>:
// <reason>" when the PDF cannot be written (a full disk); the document is
// then discarded. Drawing on device() never throws.
// Every printer renders the document into a PDF file: the PDF printers keep
// it, a CUPS queue gets it when end() is called (end() throws PrinterError
// "Cannot print on <queue>: <reason>" when the server refuses it or cannot
// be reached), and abort() deletes it, so nothing reaches the queue.
// Where a stored page lands on its sheet when several share one: scaled by
// `scale` about its top-left corner, which lands at (x, y) sheet pixels,
// and nothing of it outside its own width x height pixels. The default
// is one page a sheet, 1:1 and unclipped.
struct PagePlacement {
    double scale = 1;
    double x = 0, y = 0;
    double width = 0, height = 0; // 0: unclipped
};

class PrintDocument {
public:
    virtual ~PrintDocument() = default;
    virtual PageDevice& device() = 0;  // drawing in printer pixels, 1:1
    // The placement of the pages played on device() from now on.
    virtual void placePages(const PagePlacement& placement) = 0;
    virtual void newPage() = 0;        // StartPage of the next sheet
    virtual void end() = 0;            // EndDoc
    virtual void abort() = 0;          // AbortDoc: nothing of the document is delivered
    virtual bool isOpen() const = 0;
    virtual int sheetCount() const = 0;
    // Where the built-in printer wrote the document (empty for queues).
    virtual std::string outputPath() const { return {}; }
    // The queue's name of the job once end() handed it over ("QUEUE-123"),
    // else empty.
    virtual std::string jobId() const { return {}; }
};

class Printer {
public:
    virtual ~Printer() = default;
    virtual std::string name() const = 0;
    virtual PrinterCaps caps() const = 0;
    virtual PaperOrientation orientation() const = 0;
    virtual void setOrientation(PaperOrientation orientation) = 0;
    // The paper of the next documents: a size findPaper() knows or, on a
    // CUPS queue, one of the queue's media names. Throws PrinterError naming
    // the sizes there are for any other name; the paper then stays as it was.
    // Until it is set, a queue lays out on its default media and the
    // built-in printer on the system's paper. A printer of one fixed sheet
    // takes no other.
    virtual void setPaper(const std::string& name);
    // The copies the next documents ask of a queue; 0 leaves them to the
    // queue's default and the user's lpoptions. A PDF file is one copy.
    virtual void setCopies(int copies) { (void)copies; }
    // Begins a document (StartDoc + first StartPage). Throws PrinterError when
    // the printer cannot be reached or its output cannot be created
    // ("Cannot create PDF file <path>: <reason>", "Cannot print on <queue>:
    // the CUPS server ... cannot be reached (...)"); never waits more than a
    // few seconds for an absent server.
    // caps() of a CUPS queue asks the server once (PPD page size, margins,
    // resolutions) and throws PrinterError when it cannot be reached.
    virtual std::unique_ptr<PrintDocument> beginDocument(const std::string& title) = 0;
};

// The process-wide printer list, in the order the system reports it.
class Printers {
public:
    static Printers& instance();

    std::vector<std::string> names();             // built-in first, then the queues
    int count();
    int defaultIndex();                          // index that -1 stands for
    int printerIndex() const { return index_; }  // -1: the default printer
    // Throws PrinterError "Printer index out of range" outside -1 .. count()-1.
    void setPrinterIndex(int index);
    // Selects by name; false (nothing changes) when no printer has it.
    bool selectByName(const std::string& name);
    Printer& selected();
    Printer& at(int index);

    void refresh(); // re-reads the CUPS queues; the selection follows its printer by name
    // Why no CUPS queue is listed ("the CUPS server localhost:631 cannot be
    // reached (Connection refused)"), empty when the server answered.
    std::string queueProblem();

    // Where the built-in printer writes: $VELM_PDF_DIR, else ~/PDF (created
    // when needed). Each document gets a new file velm-YYYYMMDD-HHMMSS.pdf
    // (-2, -3, ... within one second), created exclusively, so no earlier
    // file is ever overwritten, and filled atomically when the document ends.
    static std::string pdfFolder();
    // When set, the built-in printer writes exactly this file for the next
    // document only (the command's -o, set before each job) by the rules of
    // OutputFile: a regular file is replaced when that document ends (an
    // aborted or failed document leaves it untouched), a symbolic link's
    // target is written, a device, FIFO or socket is written into, and "-"
    // is standard output. An empty path clears it.
    void setPdfOutputFile(const std::string& path);

    // The CUPS filter's list: the built-in printer alone, on the job's paper
    // (portrait printable area, margin in its pixels). No queue is asked
    // for: the filter runs inside the server it would ask.
    // The built-in printer's portrait geometry before keepBuiltInOnly: its
    // resolution, and the system's paper inset by a quarter inch. The
    // system's paper is $PAPERSIZE, else the first word of the file
    // $PAPERCONF or /etc/papersize, else A4; a name findPaper() does not
    // know throws PrinterError.
    static PrinterCaps builtInCaps();
    // The resolution pages are laid out at on the built-in printer and the queues.
    static int layoutDpi();
    void keepBuiltInOnly(const PrinterCaps& portraitCaps, int marginPx);

private:
    // The test suite's printers of a fixed geometry join the list after the
    // queues while they live; nothing else adds printers.
    friend class testing::TestPrinter;
    int addPrinter(std::shared_ptr<Printer> printer); // its index
    // Takes the printer off the list; the selection follows the printers
    // after it, and falls back to the default when it was this one.
    void removePrinter(const Printer& printer);

    Printers();
    std::shared_ptr<Printer> makeBuiltIn(std::optional<PrinterCaps> portraitCaps, int marginPx);
    struct Impl;
    std::shared_ptr<Impl> impl_;
    int index_ = -1;
};

} // namespace velm
