#include "platform/rendering/painter_device.h"

#include <QGlyphRun>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace velm {

namespace {

// Qt draws a glyph from a bitmap when its size squared times the area
// scale of the transform is below 64 squared, else as an outline. Under a
// lopsided scale that bitmap may be thousands of pixels long and one high,
// which FreeType refuses: Qt warns "render glyph failed" and the glyph is
// lost. Glyphs longer than 64 pixels along either axis are drawn as
// outlines here, as Qt draws any glyph that large under an even scale.
constexpr double kMaxBitmapGlyph = 64;

bool bitmapWouldFail(const QRawFont& font, const QTransform& t)
{
    const double size = font.pixelSize();
    const bool bitmap = size * size * std::fabs(t.determinant()) < kMaxBitmapGlyph * kMaxBitmapGlyph;
    return bitmap && size * std::max(std::hypot(t.m11(), t.m12()), std::hypot(t.m21(), t.m22())) > kMaxBitmapGlyph;
}

} // namespace

double PainterCanvas::devicePixel() const
{
    const QTransform t = painter_.deviceTransform();
    const double scale = std::sqrt(std::fabs(t.determinant()));
    return scale > 0 && std::isfinite(scale) ? 1.0 / scale : 1.0;
}

void PainterCanvas::beginPage(const QRectF& page, bool clipToPage, const QTransform& placement)
{
    endPage();
    painter_.save();
    painter_.setRenderHint(QPainter::Antialiasing, false);
    if (!placement.isIdentity())
        painter_.setWorldTransform(placement, true);
    if (clipToPage)
        painter_.setClipRect(page, Qt::IntersectClip);
    painter_.save(); // the file's own clip lives at this level
    saves_ = 2;
}

void PainterCanvas::endPage()
{
    if (!painter_.isActive())
        saves_ = 0;
    for (; saves_ > 0; --saves_)
        painter_.restore();
}

void PainterCanvas::intersectClip(const QRectF& box) { painter_.setClipRect(box, Qt::IntersectClip); }

void PainterCanvas::resetClip()
{
    if (saves_ == 2) {
        // Back to the clip of beginPage (the caller's, with the page).
        painter_.restore();
        painter_.save();
    }
}

void PainterCanvas::pushTransform(const QTransform& transform)
{
    painter_.save();
    painter_.setWorldTransform(transform, true);
}

void PainterCanvas::popTransform() { painter_.restore(); }

void PainterCanvas::fillRect(const QRectF& area, const QBrush& brush)
{
    if (brush.style() == Qt::SolidPattern)
        painter_.fillRect(area, brush.color()); // Qt's fast path for plain colour
    else
        painter_.fillRect(area, brush);
}

void PainterCanvas::fillPath(const QPainterPath& path, const QBrush& brush) { painter_.fillPath(path, brush); }

void PainterCanvas::strokePolyline(const QPolygonF& points, const QPen& pen)
{
    painter_.setPen(pen);
    painter_.setBrush(Qt::NoBrush);
    if (points.size() > 2 && points.front() == points.back())
        painter_.drawPolygon(points.constData(), static_cast<int>(points.size() - 1)); // joined all round
    else
        painter_.drawPolyline(points);
}

void PainterCanvas::drawGlyphs(const QPointF& origin, const QRawFont& font, std::span<const quint32> glyphs,
                               std::span<const QPointF> positions, std::span<const char32_t>,
                               const QColor& color, const TextSource*)
{
    if (bitmapWouldFail(font, painter_.deviceTransform())) {
        painter_.save();
        painter_.setRenderHint(QPainter::Antialiasing, painter_.testRenderHint(QPainter::TextAntialiasing));
        for (std::size_t i = 0; i < glyphs.size(); ++i)
            painter_.fillPath(font.pathForGlyph(glyphs[i]).translated(origin + positions[i]), color);
        painter_.restore();
        return;
    }
    QGlyphRun run;
    run.setRawFont(font);
    run.setRawData(glyphs.data(), positions.data(), static_cast<int>(glyphs.size()));
    painter_.setPen(color);
    painter_.drawGlyphRun(origin, run);
}

} // namespace velm
