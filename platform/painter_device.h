// Plays pages onto a QPainter: screen, printer, PDF or image. The painter's
// own transform maps reference pixels to the target; this device draws in
// reference pixels. Glyphs are placed at the recorded advances, so text
// lands where it was measured.
#pragma once

#include "platform/page_device.h"

#include <memory>

class QPainter;

namespace velm {

class PainterDevice : public PageDevice {
public:
    // The painter stays the caller's; its transform is left as it was found
    // after every call. clipToPage intersects with the page rectangle.
    explicit PainterDevice(QPainter& painter, bool clipToPage = true);
    ~PainterDevice() override;

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
