// Plays pages onto a Canvas by GDI's rules: what a page's calls draw, to the
// pixel, whatever the target. Glyphs are placed at the recorded advances, so
// text lands where it was measured.
//
// Pixel rules (GDI's, in reference pixels with coordinates on pixel edges):
// fillRect fills exactly [left, right) x [top, bottom). A line of a pen up
// to one pixel wide covers the pixels from its start up to, not including,
// its end, one pixel (at least one device pixel) thick: a horizontal line
// from (x, y) to (x2, y) is the area [x, x2) x [y, y + 1). Consecutive such
// lines of one colour that touch (the bands of a page frame) are drawn as
// one rectangle, so a 6-line band is one solid 6-pixel band in PDF viewers
// and on screen, without seams or overlaps. Wider pens are stroked through
// pixel centres with the pen's caps and joins; width 0 is one device pixel.
// Text uses the glyphs the font resolver (fonts.h) measured with, a
// missing-glyph box included. Hatched brushes use Qt's hatch patterns
// on a transparent background.
#pragma once

#include "platform/metafile/page_device.h"

#include <QRectF>
#include <QTransform>

#include <memory>

namespace velm {

class Canvas;

class GdiDevice : public PageDevice {
public:
    // The canvas stays the caller's and must outlive the device. clipToPage
    // clips every page to (0, 0, widthPx, heightPx).
    explicit GdiDevice(Canvas& canvas, bool clipToPage = true);
    ~GdiDevice() override;

    // Where the pages that begin from now on land on the sheet: their pixels
    // mapped by `placement` and, unless `clip` is empty, nothing of them
    // outside `clip` (in their own pixels). The default is 1:1, unclipped
    // but for clipToPage.
    void setPlacement(const QTransform& placement, const QRectF& clip);

    void beginPage(const PageSpace& space) override;
    void endPage() override;
    void line(PointF from, PointF to, const LogPen& pen, double penScale) override;
    void polyline(const std::vector<PointF>& points, const LogPen& pen, double penScale) override;
    void polygon(const std::vector<PointF>& points, const LogPen& pen, double penScale,
                 const LogBrush& brush, int fillMode) override;
    void fillRect(double left, double top, double right, double bottom, const LogBrush& brush) override;
    void rectangle(double left, double top, double right, double bottom, const LogPen& pen,
                   double penScale, const LogBrush& brush) override;
    void text(const TextRun& run) override;
    void intersectClip(double left, double top, double right, double bottom) override;
    void resetClip() override;

private:
    struct State;
    std::unique_ptr<State> d;
};

} // namespace velm
