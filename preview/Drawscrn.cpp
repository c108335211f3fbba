#include "preview/Drawscrn.h"

#include "engine/Gdi.h"
#include "engine/PageRanges.h"
#include "engine/UserInterface.h"
#include "platform/core/convert.h"
#include "platform/metafile/emf_reader.h"
#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/rendering/painter_device.h"
#include "platform/printing/printer.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <memory>

namespace velm {

namespace {

// Canvas pixels per printer pixel at 100 %: 850 canvas pixels for the
// 2400 pixels of the usual page width, whatever the page really measures.
constexpr double kCanvasScale = 17.0 / 48.0;
// Every reprint tests at least this many page numbers, so a range item
// that does not parse is reported even beyond the last stored page.
constexpr int kTestedPages = 1001;

// A canvas side for any zoom: nothing below 0, nothing a painter cannot hold.
int CanvasSide(double pixels)
{
    if (!(pixels > 0))
        return 0;
    return pixels >= TDrawIt::kMaxSide ? TDrawIt::kMaxSide : roundHalfEven(pixels);
}

int ZoomPercent(double percent)
{
    if (std::isnan(percent))
        return 0;
    return roundHalfEven(std::clamp(percent, -1e9, 1e9));
}

// Presets run from the largest page down, so "smaller" is the next entry.
int SteppedZoom(int zoom, bool smaller)
{
    const auto found = std::find(ZoomPresets.begin(), ZoomPresets.end(), zoom);
    if (found == ZoomPresets.end())
        return zoom;
    if (smaller)
        return found + 1 == ZoomPresets.end() ? zoom : *(found + 1);
    return found == ZoomPresets.begin() ? zoom : *(found - 1);
}

// GDI's Rectangle(0, 0, right, bottom) with a one-pixel pen: outline on the
// outermost pixels, the inside filled.
void GdiRectangle(QPainter& painter, int right, int bottom)
{
    if (right >= 1 && bottom >= 1)
        painter.drawRect(QRect(0, 0, right - 1, bottom - 1));
}

bool ParityWanted(int Mode, int Page)
{
    if (Mode == 1)
        return Page % 2 == 1;
    if (Mode == 2)
        return Page % 2 == 0;
    return true;
}

// Lets go of the document before it is gone, so "&Abort" never reaches a
// finished one.
class WatchedDocument {
public:
    WatchedDocument(TPrintStatus& status, PrintDocument& document) : status_(status)
    {
        status_.SetPrintDocument(&document);
    }
    ~WatchedDocument() { status_.SetPrintDocument(nullptr); }
    WatchedDocument(const WatchedDocument&) = delete;
    WatchedDocument& operator=(const WatchedDocument&) = delete;

private:
    TPrintStatus& status_;
};

std::string DamageNote(const std::string& file, const EmfReader& reader, const EmfPlayResult& result)
{
    const std::string& problem = reader.isValid() ? result.problem : reader.problem();
    return format("Stored page %s is damaged (%s)", file.c_str(), problem.c_str());
}

} // namespace

TDrawIt::TDrawIt(const TStoredJob& Job, QWidget* owner) : QWidget(owner), FJob(Job)
{
    FPageHeight = strToInt(FJob.Read("PageHeight", "3112"));
    FPageWidth = strToInt(FJob.Read("PageWidth", "2400"));
    if (FPageWidth <= 0 || FPageHeight <= 0)
        throw VelmError(format("The stored pages have no size (%d by %d pixels)", FPageWidth, FPageHeight));
    FMarginBottom = std::clamp(strToInt(FJob.Read("PageMarginBottom", "0")), 0, FPageHeight);
    setCurrentDirectory(FJob.Directory());
    FDirectory = currentDirectory();
    FAspect = static_cast<double>(SheetHeight()) / FPageWidth;
    resize(850, CanvasSide(850 * FAspect));
    ProcessMessages();
}

TDrawIt::~TDrawIt()
{
    // The pages this canvas owns, even when another folder has been made
    // current since: deleting in whatever folder is current could take
    // another job's pages.
    const std::string previous = currentDirectory();
    if (setCurrentDirectory(FDirectory)) {
        DeletePageFiles();
        setCurrentDirectory(previous);
    }
    ProcessMessages();
}

// Every paint and page move looks in this job's folder again: the process
// may have made another folder current meanwhile (another job, a dialog).
void TDrawIt::ApplyDirectory() { setCurrentDirectory(FJob.Directory()); }

void TDrawIt::SetZoom(double Percent)
{
    const int width = CanvasSide(Percent * 0.01 * FPageWidth * kCanvasScale);
    const int height = std::min(CanvasSide(width * FAspect) + 20, kMaxSide);
    resize(width, height);
    update();
    FZoom = ZoomPercent(Percent);
}

void TDrawIt::paintEvent(QPaintEvent*)
{
    ApplyDirectory();
    const bool generic = IsGenericPrinter();
    if (generic && height() != 800)
        resize(width(), 800);
    QPainter painter(this);
    painter.setPen(FBkPen);
    painter.setBrush(FBkBrush);
    for (int inset = 0; inset < 3; ++inset)
        GdiRectangle(painter, width() - inset, height() - inset);
    PaintStoredPage(painter, generic);
}

// The page keeps its proportions and fits the drawable area, or is
// stretched to fill it for a "Generic" printer. The sheet reaches below the
// printable area into the paper's margin, where the footer's stamp and page
// number print. Printer pixels are the
// page's own reference pixels, so scaling them is the whole mapping.
void TDrawIt::PaintStoredPage(QPainter& painter, bool Stretch)
{
    const int areaWidth = width() - 5;
    const int areaHeight = height() - 5;
    const std::string file = PageFileName(FPageNo);
    if (areaWidth <= 0 || areaHeight <= 0 || !fileExists(file))
        return;
    double scaleX = static_cast<double>(areaWidth) / FPageWidth;
    double scaleY = static_cast<double>(areaHeight) / SheetHeight();
    if (!Stretch)
        scaleX = scaleY = std::min(scaleX, scaleY);

    const EmfReader reader = EmfReader::fromFile(file);
    painter.save();
    painter.setClipRect(0, 0, areaWidth, areaHeight);
    painter.scale(scaleX, scaleY);
    EmfPlayResult result;
    {
        // Not clipped to the printable area: the margin below it shows too.
        PainterDevice device(painter, false);
        TLateTextDevice filled(device, FJob.LateTexts, FPageNo);
        result = reader.play(filled);
    }
    painter.restore();
    // A page that does not play whole says so on the page itself: a box
    // from a paint handler would come back with every repaint.
    if (!reader.isValid() || !result.ok) {
        painter.setPen(Qt::red);
        painter.drawText(QRect(4, 4, areaWidth - 8, areaHeight - 8),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                         QString::fromStdString(DamageNote(file, reader, result)));
    }
}

void TDrawIt::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        FZoom = SteppedZoom(FZoom, true);
    else if (event->button() == Qt::RightButton)
        FZoom = SteppedZoom(FZoom, false);
    else
        return;
    emit ZoomChanged(FZoom, 0);
}

void TDrawIt::ShowPrevPage()
{
    if (FPageNo > 1)
        --FPageNo;
    update();
}

void TDrawIt::ShowNextPage()
{
    ++FPageNo;
    ApplyDirectory();
    if (!fileExists(PageFileName(FPageNo)))
        --FPageNo;
    update();
}

// Pages past the first gap belong to no job, and a scan down from a huge
// number would probe names for hours: the count bounds the search.
int TDrawIt::GoToPage(int N)
{
    ApplyDirectory();
    FPageNo = std::max(1, std::min(N, StoredPageCount()));
    update();
    return FPageNo;
}

int TDrawIt::PageCount()
{
    ApplyDirectory();
    return StoredPageCount();
}

void TDrawIt::SelectRecordedPrinter() const
{
    Printers& printers = Printers::instance();
    printers.setPrinterIndex(-1);
    printers.setPrinterIndex(FJob.PrinterIndex());
    printers.selected().setOrientation(FJob.Orientation());
}

void TDrawIt::PrintPages(int Mode, const std::string& Range)
{
    SelectRecordedPrinter();
    ApplyDirectory();
    StatusDialogScope status;
    status->Show();
    ApplyDirectory();
    // No page cap: a longer job is reprinted to its last stored page.
    const int last = std::max(kTestedPages, StoredPageCount() + 1);
    for (int page = 1; page <= last; ++page) {
        if (!ParityWanted(Mode, page) || (!Range.empty() && !PageInRange(page, Range)))
            continue;
        status->SetPage(format("%d", page));
        if (!fileExists(PageFileName(page)))
            return;
        PrintPage(page, *status);
        if (status->Aborted())
            return;
    }
}

// One page, one print document, played 1:1 in printer pixels. Messages run
// while the document is open, so "&Abort" can cancel this very page.
void TDrawIt::PrintPage(int Page, TPrintStatus& Status) const
{
    const std::string file = PageFileName(Page);
    std::unique_ptr<PrintDocument> document = Printers::instance().selected().beginDocument("");
    {
        WatchedDocument watch(Status, *document);
        const EmfReader reader = EmfReader::fromFile(file);
        TLateTextDevice filled(document->device(), FJob.LateTexts, Page);
        const EmfPlayResult result = reader.play(filled);
        if (!reader.isValid() || !result.ok)
            ShowMessage(DamageNote(file, reader, result) + "; printed as far as it was sound");
        ProcessMessages();
    }
    if (document->isOpen())
        document->end();
}

} // namespace velm
