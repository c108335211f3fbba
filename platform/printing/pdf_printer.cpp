// The printers that write PDF files: the built-in "Velm PDF" and the test
// suite's printers. The PDF print document itself also serves the CUPS queues,
// which submit the finished file (cups_printer.cpp).
#include "platform/printing/printer_internal.h"

#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/rendering/gdi_device.h"
#include "platform/pdf/pdf_canvas.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace velm::detail {
namespace {

// Hands drawing calls to the player while the document is open. Calls
// that arrive after the document was ended or aborted (an Abort button
// pressed while a page plays) are dropped instead of reaching a closed file.
class GuardedDevice : public PageDevice {
public:
    void attach(PageDevice* target) { target_ = target; }

    void beginPage(const PageSpace& space) override
    {
        if (target_)
            target_->beginPage(space);
    }
    void endPage() override
    {
        if (target_)
            target_->endPage();
    }
    void line(PointF from, PointF to, const LogPen& pen, double penScale) override
    {
        if (target_)
            target_->line(from, to, pen, penScale);
    }
    void polyline(const std::vector<PointF>& points, const LogPen& pen, double penScale) override
    {
        if (target_)
            target_->polyline(points, pen, penScale);
    }
    void polygon(const std::vector<PointF>& points, const LogPen& pen, double penScale,
                 const LogBrush& brush, int fillMode) override
    {
        if (target_)
            target_->polygon(points, pen, penScale, brush, fillMode);
    }
    void fillRect(double left, double top, double right, double bottom, const LogBrush& brush) override
    {
        if (target_)
            target_->fillRect(left, top, right, bottom, brush);
    }
    void rectangle(double left, double top, double right, double bottom, const LogPen& pen,
                   double penScale, const LogBrush& brush) override
    {
        if (target_)
            target_->rectangle(left, top, right, bottom, pen, penScale, brush);
    }
    void text(const TextRun& run) override
    {
        if (target_)
            target_->text(run);
    }
    void intersectClip(double left, double top, double right, double bottom) override
    {
        if (target_)
            target_->intersectClip(left, top, right, bottom);
    }
    void resetClip() override
    {
        if (target_)
            target_->resetClip();
    }

private:
    PageDevice* target_ = nullptr;
};

// One sheet's geometry from the page layout: paper and printable area in
// points, one reference pixel per device pixel on each axis.
PdfPageBox sheetBox(const QPageLayout& layout, int dpiX, int dpiY)
{
    const QRectF paper = layout.fullRect(QPageLayout::Point);
    const QRectF printable = layout.paintRect(QPageLayout::Point);
    PdfPageBox box;
    box.widthPt = paper.width();
    box.heightPt = paper.height();
    box.originXPt = printable.left();
    box.originYPt = printable.top();
    box.ptPerPixelX = 72.0 / dpiX;
    box.ptPerPixelY = 72.0 / dpiY;
    return box;
}

class PdfDocument : public PrintDocument {
public:
    PdfDocument(PdfTarget target, const QPageLayout& layout, int dpiX, int dpiY,
                const std::string& title)
        : target_(std::move(target)), box_(sheetBox(layout, dpiX, dpiY))
    {
        try {
            canvas_ = std::make_unique<PdfCanvas>(target_.file.fd(), title, "Velm " VELM_VERSION);
            canvas_->startSheet(box_);
        } catch (const PdfWriteError& e) {
            fail(e.what());
        }
        // Not clipped to the printable area: what a page draws beyond it
        // (the footer's date stamp and page number) lands on the paper's margin.
        device_ = std::make_unique<GdiDevice>(*canvas_, false);
        guard_.attach(device_.get());
        open_ = true;
    }

    ~PdfDocument() override
    {
        if (open_)
            discard();
    }

    PageDevice& device() override { return guard_; }

    void placePages(const PagePlacement& p) override
    {
        const bool clipped = p.width > 0 && p.height > 0;
        device_->setPlacement(QTransform(p.scale, 0, 0, p.scale, p.x, p.y),
                              clipped ? QRectF(0, 0, p.width, p.height) : QRectF());
    }

    void newPage() override
    {
        if (!open_)
            return;
        try {
            device_->endPage();
            canvas_->startSheet(box_);
        } catch (const PdfWriteError& e) {
            fail(e.what());
        }
    }

    void end() override
    {
        if (!open_)
            return;
        std::string problem;
        try {
            device_->endPage();
            canvas_->finish();
        } catch (const PdfWriteError& e) {
            problem = e.what();
        }
        open_ = false;
        guard_.attach(nullptr);
        if (problem.empty() && canvas_->bytesWritten() == 0)
            problem = "nothing was written";
        if (problem.empty())
            target_.file.commit(&problem);
        if (!problem.empty()) {
            discard();
            throw PrinterError(target_.failurePrefix + ": " + problem);
        }
        if (target_.deliver) {
            try {
                target_.deliver(target_.reservedPath);
            } catch (...) {
                ::unlink(target_.reservedPath.c_str());
                throw;
            }
            ::unlink(target_.reservedPath.c_str());
        }
    }

    void abort() override
    {
        if (open_)
            discard();
    }

    bool isOpen() const override { return open_; }
    int sheetCount() const override { return canvas_ ? canvas_->sheetCount() : 0; }
    std::string outputPath() const override { return target_.shownPath; }

private:
    [[noreturn]] void fail(const std::string& problem)
    {
        discard();
        throw PrinterError(target_.failurePrefix + ": " + problem);
    }

    // Nothing of the document survives: no file, no submission.
    void discard() noexcept
    {
        open_ = false;
        guard_.attach(nullptr);
        target_.file.discard();
        if (!target_.reservedPath.empty())
            ::unlink(target_.reservedPath.c_str());
    }

    PdfTarget target_;
    PdfPageBox box_;
    std::unique_ptr<PdfCanvas> canvas_;
    std::unique_ptr<GdiDevice> device_;
    GuardedDevice guard_;
    bool open_ = false;
};

std::string timestamp()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%d-%H%M%S", &local);
    return buffer;
}

class PdfPrinter : public Printer {
public:
    PdfPrinter(std::string name, std::optional<PrinterCaps> portrait, int marginPx, std::string folder,
               std::function<std::optional<std::string>()> takeOutputFile)
        : name_(std::move(name)), fixed_(portrait), marginPx_(marginPx), folder_(std::move(folder)),
          takeOutputFile_(std::move(takeOutputFile))
    {
    }

    std::string name() const override { return name_; }

    PrinterCaps caps() const override
    {
        PrinterCaps c = portrait();
        if (orientation_ == PaperOrientation::Landscape) {
            std::swap(c.horzRes, c.vertRes);
            std::swap(c.logPixelsX, c.logPixelsY);
            std::swap(c.horzSizeMm, c.vertSizeMm);
        }
        return c;
    }

    PaperOrientation orientation() const override { return orientation_; }
    void setOrientation(PaperOrientation orientation) override { orientation_ = orientation; }

    void setPaper(const std::string& name) override
    {
        const PaperSize* paper = findPaper(name);
        if (!paper)
            throw PrinterError(format("unknown paper size '%s' (known: %s)", name.c_str(), knownPaperNames().c_str()));
        paper_ = paper;
    }

    std::unique_ptr<PrintDocument> beginDocument(const std::string& title) override
    {
        const PrinterCaps portraitCaps = portrait();
        std::optional<std::string> exact = takeOutputFile_ ? takeOutputFile_() : std::nullopt;
        PdfTarget target = exact && !exact->empty() ? exactFile(*exact) : newFile();
        // Points of the portrait paper (printable area plus margins); Qt turns it for landscape.
        const double marginPt = marginPx_ * 72.0 / portraitCaps.logPixelsY;
        const QSizeF points(portraitCaps.horzRes * 72.0 / portraitCaps.logPixelsX + 2 * marginPt,
                            portraitCaps.vertRes * 72.0 / portraitCaps.logPixelsY + 2 * marginPt);
        const QPageSize size(points, QPageSize::Point, QString(),
                             takeOutputFile_ ? QPageSize::FuzzyMatch : QPageSize::ExactMatch);
        const QPageLayout layout(size,
                                 orientation_ == PaperOrientation::Landscape ? QPageLayout::Landscape
                                                                              : QPageLayout::Portrait,
                                 QMarginsF(marginPt, marginPt, marginPt, marginPt), QPageLayout::Point);
        const PrinterCaps c = caps();
        return openPdfDocument(std::move(target), layout, c.logPixelsX, c.logPixelsY, title);
    }

private:
    // The paper asked for, else the fixed geometry (the filter's job paper,
    // a test printer's), else the system's paper as it is now.
    PrinterCaps portrait() const
    {
        const int dpi = fixed_ ? fixed_->logPixelsX : kLayoutDpi;
        if (paper_)
            return paperCaps(*paper_, dpi, marginPx_);
        return fixed_ ? *fixed_ : paperCaps(systemPaper(), kLayoutDpi, marginPx_);
    }

    // The command's -o: a file is replaced only when the new document is
    // complete, so an aborted or failed document leaves the old one alone;
    // a device, FIFO or standard output is written into.
    static PdfTarget exactFile(const std::string& path)
    {
        PdfTarget t;
        std::string problem;
        if (!t.file.open(path, &problem))
            throw PrinterError(format("Cannot create PDF file %s: %s", path.c_str(), problem.c_str()));
        t.shownPath = path;
        t.failurePrefix = "Cannot write PDF file " + path;
        return t;
    }

    // A new file that no earlier document used: velm-<date>-<time>.pdf, with
    // -2, -3, ... when several documents start within one second.
    PdfTarget newFile() const
    {
        const std::string folder = folder_.empty() ? Printers::pdfFolder() : folder_;
        const std::string stem = joinPath(folder, "velm-" + timestamp());
        std::string path = stem + ".pdf", problem;
        PdfTarget t;
        if (!makeDirectories(folder, &problem)
            || !reserveNewFile(t, [&](int n) { return stem + (n == 1 ? "" : "-" + std::to_string(n)) + ".pdf"; },
                               10000, &path, &problem))
            throw PrinterError(format("Cannot create PDF file %s: %s", path.c_str(), problem.c_str()));
        t.shownPath = t.reservedPath;
        t.failurePrefix = "Cannot write PDF file " + t.reservedPath;
        return t;
    }

    std::string name_;
    std::optional<PrinterCaps> fixed_;
    const PaperSize* paper_ = nullptr;
    int marginPx_;
    std::string folder_;
    std::function<std::optional<std::string>()> takeOutputFile_;
    PaperOrientation orientation_ = PaperOrientation::Portrait;
};

// The first word of the first line that is not a comment, as libpaper reads it.
std::string firstWord(const std::string& file)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        return line.substr(start, line.find_first_of(" \t\r", start) - start);
    }
    return {};
}

// The paper file's first word, read again only when the file changed:
// every measurement of a page asks for the paper.
std::string paperFileWord(const std::string& file)
{
    struct Seen {
        std::string file;
        struct stat identity {};
        std::string word;
    };
    thread_local std::optional<Seen> seen;
    struct stat now {};
    if (::stat(file.c_str(), &now) != 0)
        return {};
    const auto same = [&now](const struct stat& before) {
        return before.st_ino == now.st_ino && before.st_dev == now.st_dev && before.st_size == now.st_size &&
               before.st_mtim.tv_sec == now.st_mtim.tv_sec && before.st_mtim.tv_nsec == now.st_mtim.tv_nsec;
    };
    if (!seen || seen->file != file || !same(seen->identity))
        seen = Seen{file, now, firstWord(file)};
    return seen->word;
}

} // namespace

bool reserveNewFile(PdfTarget& target, const std::function<std::string(int)>& candidate, int tries,
                    std::string* path, std::string* problem)
{
    for (int n = 1; n <= tries; ++n) {
        *path = candidate(n);
        const int fd = ::open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            *problem = std::strerror(errno);
            return false;
        }
        ::close(fd);
        if (!target.file.open(*path, problem)) {
            ::unlink(path->c_str());
            return false;
        }
        target.reservedPath = *path;
        return true;
    }
    *problem = std::strerror(EEXIST);
    return false;
}

std::unique_ptr<PrintDocument> openPdfDocument(PdfTarget target, const QPageLayout& layout,
                                               int dpiX, int dpiY, const std::string& title)
{
    return std::make_unique<PdfDocument>(std::move(target), layout, dpiX, dpiY, title);
}

std::unique_ptr<Printer> makePdfPrinter(const std::string& name, std::optional<PrinterCaps> portraitCaps,
                                        int marginPx, const std::string& folder,
                                        std::function<std::optional<std::string>()> takeOutputFile)
{
    return std::make_unique<PdfPrinter>(name, portraitCaps, marginPx, folder, std::move(takeOutputFile));
}

namespace {

int gPaperScopes = 0;
const PaperSize* gHeldPaper = nullptr; // the open scopes' paper, once asked for

const PaperSize& readSystemPaper()
{
    std::string name, source = "PAPERSIZE";
    if (const char* env = std::getenv("PAPERSIZE"); env && *env) {
        name = env;
    } else {
        const char* conf = std::getenv("PAPERCONF");
        source = conf && *conf ? conf : "/etc/papersize";
        name = paperFileWord(source);
    }
    if (name.empty())
        return *findPaper("A4");
    const PaperSize* paper = findPaper(name);
    if (!paper)
        throw PrinterError(format("%s: unknown paper size '%s' (known: %s)", source.c_str(), name.c_str(),
                                  knownPaperNames().c_str()));
    return *paper;
}

} // namespace

const PaperSize& systemPaper()
{
    if (gPaperScopes == 0)
        return readSystemPaper();
    if (!gHeldPaper)
        gHeldPaper = &readSystemPaper();
    return *gHeldPaper;
}

PrinterCaps paperCaps(const PaperSize& paper, int dpi, int marginPx)
{
    const auto pixels = [dpi](double mm) { return static_cast<int>(std::lround(mm * dpi / 25.4)); };
    PrinterCaps caps;
    caps.logPixelsX = caps.logPixelsY = dpi;
    caps.horzRes = pixels(paper.widthMm) - 2 * marginPx;
    caps.vertRes = pixels(paper.heightMm) - 2 * marginPx;
    caps.marginBottom = marginPx;
    caps.horzSizeMm = static_cast<int>(std::lround(caps.horzRes * 25.4 / dpi));
    caps.vertSizeMm = static_cast<int>(std::lround(caps.vertRes * 25.4 / dpi));
    return caps;
}

PrinterCaps builtInCaps() { return paperCaps(systemPaper(), kLayoutDpi, kBuiltInMarginPx); }

} // namespace velm::detail

namespace velm {

SystemPaperScope::SystemPaperScope() { ++detail::gPaperScopes; }

SystemPaperScope::~SystemPaperScope()
{
    if (--detail::gPaperScopes == 0)
        detail::gHeldPaper = nullptr;
}

} // namespace velm
