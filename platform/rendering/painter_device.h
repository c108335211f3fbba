// Plays pages onto a QPainter: the preview's screen and pictures. The
// painter's own transform maps reference pixels to the target; the player
// draws in reference pixels by GDI's rules (gdi_device.h).
#pragma once

#include "platform/rendering/canvas.h"
#include "platform/rendering/gdi_device.h"

class QPainter;

namespace velm {

// Draws a canvas's calls with a QPainter. Between beginPage() and endPage()
// it holds two painter.save() levels (the page clip and the file's clip),
// which endPage() or the destructor undoes. Geometry is drawn without
// antialiasing (exact pixels, as GDI does); text antialiasing stays as the
// caller set it.
class PainterCanvas : public Canvas {
public:
    explicit PainterCanvas(QPainter& painter) : painter_(painter) {}
    ~PainterCanvas() override { endPage(); }

    double devicePixel() const override;
    void beginPage(const QRectF& page, bool clipToPage, const QTransform& placement = {}) override;
    void endPage() override;
    void intersectClip(const QRectF& box) override;
    void resetClip() override;
    void pushTransform(const QTransform& transform) override;
    void popTransform() override;
    void fillRect(const QRectF& area, const QBrush& brush) override;
    void fillPath(const QPainterPath& path, const QBrush& brush) override;
    void strokePolyline(const QPolygonF& points, const QPen& pen) override;
    void drawGlyphs(const QPointF& origin, const QRawFont& font, std::span<const quint32> glyphs,
                    std::span<const QPointF> positions, std::span<const char32_t> chars,
                    const QColor& color, const TextSource* source = nullptr) override;

private:
    QPainter& painter_;
    int saves_ = 0;
};

namespace detail {
struct PainterCanvasHolder {
    explicit PainterCanvasHolder(QPainter& painter) : canvas(painter) {}
    PainterCanvas canvas;
};
} // namespace detail

// The player and its QPainter canvas in one. The painter stays the
// caller's; its transform is left as it was found after every call.
// clipToPage intersects with the page rectangle (0, 0, widthPx, heightPx);
// resetClip() returns to the clip the painter had at beginPage() (with the
// page rectangle).
class PainterDevice : private detail::PainterCanvasHolder, public GdiDevice {
public:
    explicit PainterDevice(QPainter& painter, bool clipToPage = true)
        : PainterCanvasHolder(painter), GdiDevice(canvas, clipToPage)
    {
    }
};

} // namespace velm
