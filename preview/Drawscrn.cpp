#include "preview/Drawscrn.h"

#include "engine/Gdi.h"
#include "engine/PageOutput.h"
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
    FShownWidth = FPageWidth;
    FShownHeight = SheetHeight();
    if (IsPagesPerSheet(FJob.PagesPerSheet) && FJob.PagesPerSheet > 1) {
        // The sheet as it prints: the page's own size, turned for pages side by side.
        FPerSheet = FJob.PagesPerSheet;
        if (TurnsSheet(FPerSheet))
            std::swap(FShownWidth, FShownHeight);
    }
    FAspect = FShownHeight / FShownWidth;
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
    const int width = CanvasSide(Percent * 0.01 * FShownWidth * kCanvasScale);
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
// number print. Printer pixels are the page's own reference pixels, so
// scaling them is the whole mapping; an n-up sheet places its pages as
// the printing does.
void TDrawIt::PaintStoredPage(QPainter& painter, bool Stretch)
{
    const int areaWidth = width() - 5;
    const int areaHeight = height() - 5;
    if (areaWidth <= 0 || areaHeight <= 0)
        return;
    double scaleX = areaWidth / FShownWidth;
    double scaleY = areaHeight / FShownHeight;
    if (!Stretch)
        scaleX = scaleY = std::min(scaleX, scaleY);

    std::string notes;
    painter.save();
    painter.setClipRect(0, 0, areaWidth, areaHeight);
    painter.scale(scaleX, scaleY);
    if (FPerSheet == 1) {
        PlayPage(painter, FPageNo, notes);
    } else {
        const std::vector<PagePlacement> places = PageSlots(FPerSheet, FPageWidth, SheetHeight(), FShownWidth,
                                                           FShownHeight);
        int page = FirstPageShown(FPageNo);
        for (const PagePlacement& slot : places) {
            painter.save();
            painter.translate(slot.x, slot.y);
            painter.scale(slot.scale, slot.scale);
            painter.setClipRect(QRectF(0, 0, slot.width, slot.height), Qt::IntersectClip);
            PlayPage(painter, page++, notes);
            painter.restore();
        }
    }
    painter.restore();
    // A page that does not play whole says so on the page itself: a box
    // from a paint handler would come back with every repaint.
    if (!notes.empty()) {
        painter.setPen(Qt::red);
        painter.drawText(QRect(4, 4, areaWidth - 8, areaHeight - 8),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, QString::fromStdString(notes));
    }
}

bool TDrawIt::PlayPage(QPainter& painter, int Page, std::string& Note) const
{
    const std::string file = PageFileName(Page);
    if (!fileExists(file))
        return true;
    const EmfReader reader = EmfReader::fromFile(file);
    EmfPlayResult result;
    {
        // Not clipped to the printable area: the margin below it shows too.
        PainterDevice device(painter, false);
        TLateTextDevice filled(device, FJob.LateTexts, Page);
        result = reader.play(filled);
    }
    if (reader.isValid() && result.ok)
        return true;
    Note += (Note.empty() ? "" : "\n") + DamageNote(file, reader, result);
    return false;
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
    if (!fileExists(PageFileName(FirstPageShown(FPageNo))))
        --FPageNo;
    update();
}

// Pages past the first gap belong to no job, and a scan down from a huge
// number would probe names for hours: the count bounds the search.
int TDrawIt::GoToPage(int N)
{
    FPageNo = std::max(1, std::min(N, PageCount()));
    update();
    return FPageNo;
}

int TDrawIt::PageCount()
{
    ApplyDirectory();
    return (StoredPageCount() + FPerSheet - 1) / FPerSheet;
}

std::string TDrawIt::CurrentPages() const
{
    const int first = FirstPageShown(FPageNo);
    return FPerSheet == 1 ? std::to_string(first) : format("%d-%d", first, first + FPerSheet - 1);
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
    TPageChoice choice;
    choice.Which = Mode;
    if (!Range.empty())
        choice.Selected = [&Range](int page) { return PageInRange(page, Range); };
    choice.TestedPages = kTestedPages;
    TJobOutcome unreported;
    PrintStoredJob(FJob, choice, FOutcome ? *FOutcome : unreported);
}

} // namespace velm
