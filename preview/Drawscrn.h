// TDrawIt: the page canvas of the preview window. It shows one stored page
// at a time on a white framed page (for an n-up job one sheet of them, as
// it prints), steps the zoom on mouse clicks, pages through the stored
// pages and reprints any selection of them. It owns the stored pages of the
// preview: destroying the canvas deletes them.
#pragma once

#include "engine/JobOutcome.h"
#include "engine/StoredJob.h"

#include <QBrush>
#include <QPen>
#include <QWidget>

#include <array>
#include <string>

namespace velm {

// The zoom presets, from the largest page to the smallest.
inline constexpr std::array<int, 9> ZoomPresets{300, 250, 200, 150, 100, 75, 50, 25, 10};

class TDrawIt : public QWidget {
    Q_OBJECT
public:
    // Takes "PageHeight", "PageWidth", "PageMarginBottom" and "Directory"
    // from the job and makes that folder current. The canvas shows the
    // printable area at the zoom's size and the paper's margin below it.
    // Throws ConversionError for a page size that is not an integer and
    // VelmError for one that is not positive.
    explicit TDrawIt(const TStoredJob& Job, QWidget* owner = nullptr);
    // The job the settings file describes now.
    explicit TDrawIt(QWidget* owner = nullptr) : TDrawIt(TStoredJob::FromSettings(), owner) {}
    // Deletes the stored pages of the current directory up to the first gap.
    ~TDrawIt() override;

    // Sizes the canvas for a zoom percentage; every value is accepted, the
    // canvas size is kept between 0 and kMaxSide pixels.
    void SetZoom(double Percent);
    // Pages shown are stored pages, or sheets of an n-up job.
    void ShowNextPage();   // stays on the last page
    void ShowPrevPage();   // stays on page 1
    // Shows the highest stored page not above N (page 1 when there is none).
    int GoToPage(int N);
    // Stored pages before the first gap (sheets of them for n-up); no cap.
    int PageCount();
    // The page shown as a page range: "3", or "5-6" for a sheet of two.
    std::string CurrentPages() const;
    // Makes the job's "Directory" current; a folder that cannot be entered
    // is ignored.
    void ApplyDirectory();

    int PageNo() const { return FPageNo; }
    int Zoom() const { return FZoom; }
    int PageWidth() const { return FPageWidth; }
    int PageHeight() const { return FPageHeight; }
    int MarginBottom() const { return FMarginBottom; }
    // Printer pixels shown from the top of the printable area down.
    int SheetHeight() const { return FPageHeight + FMarginBottom; }
    int PagesPerSheet() const { return FPerSheet; }

    // One reprint pass: Mode 1 odd pages, 2 even pages, else all; Range as
    // "1,2,5,7-14,21" (empty: every page), of stored pages. The pages go out
    // as one print document, in ascending order, as many a sheet as the job
    // has. Throws ConversionError at the first page whose test reaches a
    // malformed item; the pages played before it still go out. What each
    // pass did is added to the outcome ReportInto names, if any.
    void PrintPages(int Mode, const std::string& Range);
    void ReportInto(TJobOutcome* Outcome) { FOutcome = Outcome; }

    // The frame and fill of the page; the window leaves them at their defaults.
    QPen& BkPen() { return FBkPen; }
    QBrush& BkBrush() { return FBkBrush; }
    QPen& DataPen() { return FDataPen; }
    QBrush& DataBrush() { return FDataBrush; }

    static constexpr int kMaxSide = 20000;

signals:
    // Sent synchronously after every left or right click with the stepped
    // zoom (also when it did not change) and 0.
    void ZoomChanged(int percent, int zero);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void PaintStoredPage(QPainter& painter, bool Stretch);
    // Plays stored page Page into the painter's page space; false, with a
    // note, when it did not play whole.
    bool PlayPage(QPainter& painter, int Page, std::string& Note) const;
    void SelectRecordedPrinter() const;
    int FirstPageShown(int Shown) const { return (Shown - 1) * FPerSheet + 1; }

    QPen FBkPen{Qt::black, 1};
    QPen FDataPen{Qt::black, 1};
    QBrush FBkBrush{Qt::white};
    QBrush FDataBrush{Qt::white};
    int FPageNo = 1;
    int FZoom = 100;
    int FPageHeight = 3112;
    int FPageWidth = 2400;
    int FMarginBottom = 0; // paper below the printable area, printer pixels
    double FAspect = 1.0;
    int FPerSheet = 1;
    // The sheet shown, in printer pixels: the page, or the n-up sheet.
    double FShownWidth = 2400, FShownHeight = 3112;
    std::string FDirectory; // where the pages this canvas owns are stored
    TStoredJob FJob;
    TJobOutcome* FOutcome = nullptr; // not owned
};

} // namespace velm
