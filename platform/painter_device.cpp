#include "platform/painter_device.h"

#include "platform/fonts.h"

#include <QGlyphRun>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>

#include <cmath>
#include <unordered_map>

namespace velm {

namespace {

QColor toQColor(ColorRef c) { return QColor(redOf(c), greenOf(c), blueOf(c)); }

Qt::BrushStyle hatchStyle(int hatch)
{
    switch (hatch) {
    case HS_HORIZONTAL: return Qt::HorPattern;
    case HS_VERTICAL: return Qt::VerPattern;
    case HS_FDIAGONAL: return Qt::FDiagPattern;
    case HS_BDIAGONAL: return Qt::BDiagPattern;
    case HS_CROSS: return Qt::CrossPattern;
    default: return Qt::DiagCrossPattern;
    }
}

QBrush toQBrush(const LogBrush& brush)
{
    if (brush.style == BS_NULL)
        return Qt::NoBrush;
    if (brush.style == BS_HATCHED)
        return QBrush(toQColor(brush.color), hatchStyle(brush.hatch));
    return QBrush(toQColor(brush.color));
}

struct FontKey {
    std::u16string face;
    int height, weight;
    bool italic;
    bool operator==(const FontKey&) const = default;
};

struct FontKeyHash {
    std::size_t operator()(const FontKey& k) const
    {
        return std::hash<std::u16string>()(k.face) ^ (std::size_t(k.height) * 31u) ^ (std::size_t(k.weight) << 20) ^
               std::size_t(k.italic);
    }
};

// Glyph lookups are the player's hot path; fonts repeat on every page.
struct CachedFont {
    QRawFont raw;
    double ascent = 0;
    double descent = 0;
    double underlineY = 0;
    double lineWidth = 1;
};

const CachedFont& cachedFont(const LogFont& font)
{
    static std::unordered_map<FontKey, CachedFont, FontKeyHash> cache;
    const FontKey key{font.faceName, font.height, font.weight, font.italic};
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second;
    LogFont plain = font;
    plain.underline = plain.strikeOut = false;
    CachedFont entry;
    entry.raw = QRawFont::fromFont(qtFontFor(plain));
    entry.ascent = entry.raw.ascent();
    entry.descent = entry.raw.descent();
    entry.underlineY = entry.raw.underlinePosition();
    entry.lineWidth = std::max(1.0, entry.raw.lineThickness());
    if (cache.size() > 256)
        cache.clear();
    return cache.emplace(key, std::move(entry)).first->second;
}

} // namespace

struct PainterDevice::State {
    QPainter& painter;
    bool clipToPage;
    QRectF page;
    bool saved = false;
    State(QPainter& p, bool clip) : painter(p), clipToPage(clip) {}

    // One device pixel in reference pixels: GDI never draws a line thinner.
    double devicePixel() const
    {
        const QTransform t = painter.deviceTransform();
        const double scale = std::sqrt(std::fabs(t.determinant()));
        return scale > 0 ? 1.0 / scale : 1.0;
    }
    double penWidth(const LogPen& pen, double penScale) const
    {
        return std::max(pen.width * penScale, devicePixel());
    }
};

PainterDevice::PainterDevice(QPainter& painter, bool clipToPage) : d(std::make_unique<State>(painter, clipToPage)) {}

PainterDevice::~PainterDevice()
{
    if (d->saved)
        d->painter.restore();
}

void PainterDevice::beginPage(const PageSpace& space)
{
    if (d->saved)
        d->painter.restore();
    d->painter.save();
    d->saved = true;
    d->page = QRectF(0, 0, space.widthPx, space.heightPx);
    d->painter.setRenderHint(QPainter::Antialiasing, false);
    if (d->clipToPage)
        d->painter.setClipRect(d->page, Qt::IntersectClip);
}

void PainterDevice::endPage()
{
    if (d->saved) {
        d->painter.restore();
        d->saved = false;
    }
}

void PainterDevice::line(PointF from, PointF to, const LogPen& pen, double penScale)
{
    if (pen.style == PS_NULL)
        return;
    const double w = d->penWidth(pen, penScale);
    const QColor color = toQColor(pen.color);
    // Axis-aligned lines cover the pixels from the start up to, not
    // including, the end, so bands of adjacent lines render solid.
    if (from.y == to.y) {
        const double left = std::min(from.x, to.x), right = std::max(from.x, to.x);
        d->painter.fillRect(QRectF(left, from.y - (w > 1 ? w / 2 : 0), right - left, w), color);
    } else if (from.x == to.x) {
        const double top = std::min(from.y, to.y), bottom = std::max(from.y, to.y);
        d->painter.fillRect(QRectF(from.x - (w > 1 ? w / 2 : 0), top, w, bottom - top), color);
    } else {
        QPen qpen(color, w, Qt::SolidLine, Qt::FlatCap);
        d->painter.setPen(qpen);
        d->painter.drawLine(QPointF(from.x + 0.5, from.y + 0.5), QPointF(to.x + 0.5, to.y + 0.5));
    }
}

void PainterDevice::polyline(const std::vector<PointF>& points, const LogPen& pen, double penScale)
{
    for (std::size_t i = 1; i < points.size(); ++i)
        line(points[i - 1], points[i], pen, penScale);
}

void PainterDevice::polygon(const std::vector<PointF>& points, const LogPen& pen, double penScale,
                            const LogBrush& brush, int fillMode)
{
    if (points.size() < 2)
        return;
    QPolygonF polygon;
    for (const PointF& p : points)
        polygon << QPointF(p.x, p.y);
    QPainterPath path;
    path.addPolygon(polygon);
    path.closeSubpath();
    path.setFillRule(fillMode == 2 ? Qt::WindingFill : Qt::OddEvenFill);
    d->painter.fillPath(path, toQBrush(brush));
    if (pen.style != PS_NULL) {
        d->painter.setPen(QPen(toQColor(pen.color), d->penWidth(pen, penScale)));
        d->painter.setBrush(Qt::NoBrush);
        d->painter.drawPath(path);
    }
}

void PainterDevice::fillRect(double left, double top, double right, double bottom, const LogBrush& brush)
{
    if (brush.style == BS_NULL || right <= left || bottom <= top)
        return;
    d->painter.fillRect(QRectF(left, top, right - left, bottom - top), toQBrush(brush));
}

void PainterDevice::rectangle(double left, double top, double right, double bottom, const LogPen& pen,
                              double penScale, const LogBrush& brush)
{
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    fillRect(left, top, right, bottom, brush);
    if (pen.style == PS_NULL)
        return;
    // The outline lies inside [left, right) x [top, bottom).
    const double w = d->penWidth(pen, penScale);
    const QColor color = toQColor(pen.color);
    d->painter.fillRect(QRectF(left, top, right - left, w), color);
    d->painter.fillRect(QRectF(left, bottom - w, right - left, w), color);
    d->painter.fillRect(QRectF(left, top, w, bottom - top), color);
    d->painter.fillRect(QRectF(right - w, top, w, bottom - top), color);
}

void PainterDevice::text(const TextRun& run)
{
    if (run.text.empty())
        return;
    const CachedFont& font = cachedFont(run.font);
    const QString string = QString::fromUtf16(run.text.data(), static_cast<qsizetype>(run.text.size()));
    QList<quint32> glyphs = font.raw.glyphIndexesForString(string);
    QList<QPointF> advances = font.raw.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances);

    // Place every glyph at the recorded advances: what was measured is what prints.
    QList<QPointF> positions;
    positions.reserve(glyphs.size());
    double x = 0;
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        positions.push_back(QPointF(x, 0));
        x += std::size_t(i) < run.dx.size() && glyphs.size() == qsizetype(run.text.size()) ? run.dx[std::size_t(i)]
                                                                                          : advances[i].x();
    }
    const double width = x;
    double left = run.origin.x;
    const unsigned horizontal = run.align & 6u;
    if (horizontal == 6u)
        left -= width / 2;
    else if (horizontal == 2u)
        left -= width;
    double baseline = run.origin.y + font.ascent;
    const unsigned vertical = run.align & 0x18u;
    if (vertical == 0x18u)
        baseline = run.origin.y;
    else if (vertical == 8u)
        baseline = run.origin.y - font.descent;

    if (run.bkMode == OPAQUE)
        d->painter.fillRect(QRectF(left, baseline - font.ascent, width, font.ascent + font.descent),
                            toQColor(run.bkColor));
    QGlyphRun glyphRun;
    glyphRun.setRawFont(font.raw);
    glyphRun.setGlyphIndexes(glyphs);
    glyphRun.setPositions(positions);
    d->painter.setPen(toQColor(run.color));
    d->painter.drawGlyphRun(QPointF(left, baseline), glyphRun);
    const QColor color = toQColor(run.color);
    if (run.font.underline)
        d->painter.fillRect(QRectF(left, baseline + font.underlineY, width, font.lineWidth), color);
    if (run.font.strikeOut)
        d->painter.fillRect(QRectF(left, baseline - font.ascent / 3, width, font.lineWidth), color);
}

void PainterDevice::intersectClip(double left, double top, double right, double bottom)
{
    d->painter.setClipRect(QRectF(left, top, right - left, bottom - top), Qt::IntersectClip);
}

void PainterDevice::resetClip()
{
    if (d->clipToPage)
        d->painter.setClipRect(d->page, Qt::ReplaceClip);
    else
        d->painter.setClipping(false);
}

} // namespace velm
