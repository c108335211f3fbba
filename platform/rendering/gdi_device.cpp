#include "platform/rendering/gdi_device.h"

#include "platform/core/codepage.h"
#include "platform/rendering/canvas.h"
#include "platform/rendering/fonts.h"
#include "platform/rendering/sfnt.h"


#include <algorithm>
#include <cmath>
#include <memory>

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

Qt::PenStyle dashStyle(int style)
{
    switch (style & PS_STYLE_MASK) {
    case PS_DASH: return Qt::DashLine;
    case PS_DOT: return Qt::DotLine;
    case PS_DASHDOT: return Qt::DashDotLine;
    case PS_DASHDOTDOT: return Qt::DashDotDotLine;
    default: return Qt::SolidLine;
    }
}

Qt::PenCapStyle capStyle(int style)
{
    switch (style & PS_ENDCAP_MASK) {
    case PS_ENDCAP_SQUARE: return Qt::SquareCap;
    case PS_ENDCAP_FLAT: return Qt::FlatCap;
    default: return Qt::RoundCap;
    }
}

Qt::PenJoinStyle joinStyle(int style)
{
    switch (style & PS_JOIN_MASK) {
    case PS_JOIN_BEVEL: return Qt::BevelJoin;
    case PS_JOIN_MITER: return Qt::MiterJoin;
    default: return Qt::RoundJoin;
    }
}

bool isNullPen(const LogPen& pen) { return (pen.style & PS_STYLE_MASK) == PS_NULL; }
bool isSolid(const LogPen& pen)
{
    const int s = pen.style & PS_STYLE_MASK;
    return s == PS_SOLID || s == PS_INSIDEFRAME;
}

// A run of consecutive thin lines of one colour that touch: drawn as one
// rectangle when the run ends.
struct Band {
    bool active = false;
    bool horizontal = false;
    QRectF rect;
    QColor color;
};

// Glyphs in a face (maxp), for ids a page gives: the last face asked for is kept.
std::uint32_t glyphCount(const QRawFont& raw)
{
    thread_local QRawFont last;
    thread_local std::uint32_t count = 0;
    if (!(raw == last)) {
        last = raw;
        count = sfnt::u16(raw.fontTable("maxp"), 4);
    }
    return count;
}

double advanceOf(const QRawFont& raw, quint32 glyph)
{
    QPointF advance;
    raw.advancesForGlyphIndexes(&glyph, &advance, 1);
    return advance.x();
}

// The character each glyph stands for where its cluster is one glyph for
// one character (so a PDF's text keeps it); 0 for the others, and for all
// when the page names no source.
void singleCharacters(const TextSource& source, std::size_t glyphs, std::vector<char32_t>& out)
{
    out.assign(glyphs, 0);
    if (source.clusters.size() != glyphs)
        return;
    thread_local std::vector<std::uint32_t> sorted;
    sorted.assign(source.clusters.begin(), source.clusters.end());
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < glyphs; ++i) {
        const std::uint32_t start = source.clusters[i];
        const auto [first, last] = std::equal_range(sorted.begin(), sorted.end(), start);
        const std::size_t end = last == sorted.end() ? source.text.size() : *last;
        const CodePoint c = codePointAt(source.text, start);
        if (last - first == 1 && end - start == c.units)
            out[i] = c.value;
    }
}

// Glyphs at their places from the run's reference point, each with its
// face and the character it stands for (0: none known): the arrays the
// canvas takes, filled by index (a run holds at most a glyph a text unit).
struct PlacedGlyphs {
    std::vector<quint32> glyphs;
    std::vector<QPointF> positions;
    std::vector<char32_t> chars;
    std::vector<std::uint16_t> faces;

    void start(std::size_t most)
    {
        glyphs.resize(most);
        positions.resize(most);
        chars.resize(most);
        faces.resize(most);
    }
    void finish(std::size_t count)
    {
        glyphs.resize(count);
        positions.resize(count);
        chars.resize(count);
        faces.resize(count);
    }
};

// Glyph ids of the font's own face, one a text unit at the sum of the
// advances before it; an id the face lacks is its box. The run's width.
double placeGlyphIds(const TextRun& run, ResolvedFont& face, PlacedGlyphs& placed)
{
    const std::u16string& text = run.text;
    const bool useDx = run.dx.size() == text.size();
    const bool useDy = run.dy.size() == text.size();
    const QRawFont& raw = face.face(0);
    const std::uint32_t count = glyphCount(raw);
    singleCharacters(run.source, text.size(), placed.chars);
    placed.start(text.size());
    double x = 0, y = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint32_t id = text[i] < count ? text[i] : 0;
        const double advance = useDx ? run.dx[i] : advanceOf(raw, id);
        placed.glyphs[i] = id;
        placed.positions[i] = QPointF(x, y);
        placed.faces[i] = 0;
        x += advance;
        if (useDy)
            y += run.dy[i];
    }
    return x;
}

// One glyph a character at the sum of the advances before it. The run's width.
double placeCharacters(const TextRun& run, ResolvedFont& face, PlacedGlyphs& placed)
{
    const std::u16string& text = run.text;
    const bool useDx = run.dx.size() == text.size();
    const bool useDy = run.dy.size() == text.size();
    placed.start(text.size());
    std::size_t n = 0;
    double x = 0, y = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto [cp, units] = codePointAt(text, i);
        const Glyph ref = face.glyph(cp);
        if (ref.drawn) {
            placed.glyphs[n] = ref.index;
            placed.positions[n] = QPointF(x, y);
            placed.chars[n] = cp;
            placed.faces[n] = ref.face;
            ++n;
        }
        for (std::size_t u = 0; u < units; ++u) {
            x += useDx ? run.dx[i + u] : (u == 0 ? ref.advance : 0);
            if (useDy)
                y += run.dy[i + u];
        }
        i += units - 1;
    }
    placed.finish(n);
    return x;
}

// Where the run's baseline starts from its reference point, by the
// alignment (EMF-REFERENCE.md 3.8).
QPointF alignmentOffset(unsigned align, const ResolvedFont& face, double width)
{
    double left = 0;
    const unsigned horizontal = align & TA_CENTER;
    if (horizontal == TA_CENTER)
        left = -width / 2;
    else if (horizontal == TA_RIGHT)
        left = -width;
    double baseline = face.ascent();
    const unsigned vertical = align & TA_BASELINE;
    if (vertical == TA_BASELINE)
        baseline = 0;
    else if (vertical == TA_BOTTOM)
        baseline = -face.descent();
    return QPointF(left, baseline);
}

} // namespace

struct GdiDevice::State {
    Canvas& canvas;
    bool clipToPage;
    QTransform placement;
    QRectF placementClip;
    bool inPage = false;
    double devicePixel = 1; // one device pixel in reference pixels
    Band band;

    State(Canvas& c, bool clip) : canvas(c), clipToPage(clip), devicePixel(c.devicePixel()) {}

    void flush()
    {
        if (!band.active)
            return;
        band.active = false;
        canvas.fillRect(band.rect, band.color);
    }

    // GDI never draws a line thinner than one device pixel; QPen refuses
    // (and leaves at one pixel) a width of 32768 or more.
    double thickness(const LogPen& pen, double penScale) const
    {
        const double w = pen.width * std::fabs(penScale);
        return std::clamp(std::isfinite(w) ? w : 1.0, devicePixel, 32767.0);
    }
    bool isThin(const LogPen& pen, double penScale) const { return pen.width * std::fabs(penScale) <= 1.0; }

    void addBand(const QRectF& r, const QColor& color, bool horizontal)
    {
        if (band.active && band.horizontal == horizontal && band.color == color) {
            QRectF& b = band.rect;
            const bool sameSpan = horizontal ? r.left() == b.left() && r.right() == b.right()
                                             : r.top() == b.top() && r.bottom() == b.bottom();
            const bool touches = horizontal ? r.top() <= b.bottom() && r.bottom() >= b.top()
                                            : r.left() <= b.right() && r.right() >= b.left();
            if (sameSpan && touches) {
                b = b.united(r);
                return;
            }
        }
        flush();
        band = {true, horizontal, r, color};
    }

    // The placed glyphs from start, one canvas call a run of one face.
    void drawPlaced(const TextRun& run, ResolvedFont& face, const PlacedGlyphs& placed, const QPointF& start,
                    const QColor& color)
    {
        const std::size_t n = placed.glyphs.size();
        for (std::size_t first = 0; first < n;) {
            const std::uint16_t font = placed.faces[first];
            std::size_t last = first + 1;
            while (last < n && placed.faces[last] == font)
                ++last;
            const std::size_t count = last - first;
            const bool sourced = run.glyphIndex && run.source.clusters.size() == count;
            canvas.drawGlyphs(start, face.face(font), std::span(placed.glyphs).subspan(first, count),
                              std::span(placed.positions).subspan(first, count),
                              std::span(placed.chars).subspan(first, count), color, sourced ? &run.source : nullptr);
            first = last;
        }
    }

    // GDI underlines and strikes through the whole advance, at the face's
    // positions (Qt would stop at the last glyph and place its own).
    void drawStrokes(const LogFont& font, const ResolvedFont& face, const QPointF& start, double width,
                     const QColor& color)
    {
        if (!font.underline && !font.strikeOut)
            return;
        const ResolvedFont::Strokes& strokes = face.strokes();
        if (font.underline)
            canvas.fillRect(QRectF(start.x(), start.y() + strokes.underlineTop, width,
                                   std::max(strokes.underlineHeight, devicePixel)),
                            QBrush(color));
        if (font.strikeOut)
            canvas.fillRect(QRectF(start.x(), start.y() + strokes.strikeTop, width,
                                   std::max(strokes.strikeHeight, devicePixel)),
                            QBrush(color));
    }

    QPen strokePen(const LogPen& pen, double penScale) const
    {
        QPen q(toQColor(pen.color));
        if (pen.width == 0)
            q.setWidthF(0); // cosmetic: one device pixel, the thinnest line in PDF
        else
            q.setWidthF(thickness(pen, penScale));
        q.setStyle(dashStyle(pen.style));
        if (isThin(pen, penScale)) {
            q.setCapStyle(Qt::FlatCap);
            q.setJoinStyle(Qt::MiterJoin);
        } else {
            q.setCapStyle(capStyle(pen.style));
            q.setJoinStyle(joinStyle(pen.style));
        }
        return q;
    }
};

GdiDevice::GdiDevice(Canvas& canvas, bool clipToPage) : d(std::make_unique<State>(canvas, clipToPage)) {}

GdiDevice::~GdiDevice() { endPage(); }

void GdiDevice::setPlacement(const QTransform& placement, const QRectF& clip)
{
    d->placement = placement;
    d->placementClip = clip;
}

void GdiDevice::beginPage(const PageSpace& space)
{
    endPage();
    if (d->placementClip.isEmpty())
        d->canvas.beginPage(QRectF(0, 0, space.widthPx, space.heightPx), d->clipToPage, d->placement);
    else
        d->canvas.beginPage(d->placementClip, true, d->placement);
    d->inPage = true;
    d->devicePixel = d->canvas.devicePixel();
}

void GdiDevice::endPage()
{
    if (!d->inPage)
        return;
    d->flush();
    d->inPage = false;
    d->canvas.endPage();
}

void GdiDevice::line(PointF from, PointF to, const LogPen& pen, double penScale)
{
    if (isNullPen(pen))
        return;
    if (from == to)
        return; // GDI sets no pixel: the end point is excluded
    if (isSolid(pen) && d->isThin(pen, penScale) && (from.y == to.y || from.x == to.x)) {
        const double t = d->thickness(pen, penScale);
        const QColor color = toQColor(pen.color);
        // Drawn from the start up to, not including, the end pixel: leftwards
        // from x1 the pixels are x2 + 1 .. x1.
        if (from.y == to.y) {
            const double left = to.x > from.x ? from.x : to.x + 1, right = to.x > from.x ? to.x : from.x + 1;
            d->addBand(QRectF(left, from.y, right - left, t), color, true);
        } else {
            const double top = to.y > from.y ? from.y : to.y + 1, bottom = to.y > from.y ? to.y : from.y + 1;
            d->addBand(QRectF(from.x, top, t, bottom - top), color, false);
        }
        return;
    }
    d->flush();
    d->canvas.strokePolyline(QPolygonF({QPointF(from.x + 0.5, from.y + 0.5), QPointF(to.x + 0.5, to.y + 0.5)}),
                             d->strokePen(pen, penScale));
}

void GdiDevice::polyline(const std::vector<PointF>& points, const LogPen& pen, double penScale)
{
    if (points.size() < 2 || isNullPen(pen))
        return;
    if (d->isThin(pen, penScale) && isSolid(pen)) {
        // Segment by segment: each leaves out its end pixel, which the next draws.
        for (std::size_t i = 1; i < points.size(); ++i)
            line(points[i - 1], points[i], pen, penScale);
        return;
    }
    d->flush();
    QPolygonF path;
    path.reserve(static_cast<qsizetype>(points.size()));
    for (const PointF& p : points)
        path << QPointF(p.x + 0.5, p.y + 0.5);
    d->canvas.strokePolyline(path, d->strokePen(pen, penScale));
}

void GdiDevice::polygon(const std::vector<PointF>& points, const LogPen& pen, double penScale,
                        const LogBrush& brush, int fillMode)
{
    if (points.size() < 2)
        return;
    d->flush();
    // The fill runs on pixel edges ([x, x2) as GDI fills), the outline
    // through pixel centres.
    if (brush.style != BS_NULL) {
        QPolygonF area;
        area.reserve(static_cast<qsizetype>(points.size()));
        for (const PointF& pt : points)
            area << QPointF(pt.x, pt.y);
        QPainterPath path;
        path.addPolygon(area);
        path.closeSubpath();
        path.setFillRule(fillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
        d->canvas.fillPath(path, toQBrush(brush));
    }
    if (!isNullPen(pen)) {
        QPolygonF outline;
        outline.reserve(static_cast<qsizetype>(points.size()) + 1);
        for (const PointF& pt : points)
            outline << QPointF(pt.x + 0.5, pt.y + 0.5);
        outline << outline.front();
        d->canvas.strokePolyline(outline, d->strokePen(pen, penScale));
    }
}

void GdiDevice::fillRect(double left, double top, double right, double bottom, const LogBrush& brush)
{
    if (brush.style == BS_NULL || !(right > left) || !(bottom > top))
        return;
    d->flush();
    d->canvas.fillRect(QRectF(left, top, right - left, bottom - top), toQBrush(brush));
}

void GdiDevice::rectangle(double left, double top, double right, double bottom, const LogPen& pen,
                          double penScale, const LogBrush& brush)
{
    if (right < left)
        std::swap(left, right);
    if (bottom < top)
        std::swap(top, bottom);
    d->flush();
    if (isNullPen(pen)) {
        // Without an outline GDI's fill stops one pixel short on the right and bottom.
        fillRect(left, top, right - 1, bottom - 1, brush);
        return;
    }
    fillRect(left, top, right, bottom, brush);
    if (right - left < 1 || bottom - top < 1)
        return;
    Canvas& c = d->canvas;
    if (d->isThin(pen, penScale) && isSolid(pen)) {
        // The outline lies inside [left, right) x [top, bottom).
        const double t = std::min({d->thickness(pen, penScale), right - left, bottom - top});
        const QBrush color(toQColor(pen.color));
        c.fillRect(QRectF(left, top, right - left, t), color);
        c.fillRect(QRectF(left, bottom - t, right - left, t), color);
        c.fillRect(QRectF(left, top + t, t, bottom - top - 2 * t), color);
        c.fillRect(QRectF(right - t, top + t, t, bottom - top - 2 * t), color);
        return;
    }
    QRectF outline(left + 0.5, top + 0.5, right - left - 1, bottom - top - 1);
    if ((pen.style & PS_STYLE_MASK) == PS_INSIDEFRAME) {
        const double w = d->thickness(pen, penScale);
        outline = QRectF(left + w / 2, top + w / 2, right - left - w, bottom - top - w);
    }
    QPen q = d->strokePen(pen, penScale);
    q.setJoinStyle(Qt::MiterJoin);
    c.strokePolyline(QPolygonF(outline), q); // QPolygonF(QRectF) is closed
}

void GdiDevice::text(const TextRun& run)
{
    if (run.text.empty())
        return;
    d->flush();
    Canvas& c = d->canvas;
    ResolvedFont& face = resolvedFont(run.font); // underline and strike-out are drawn below
    thread_local PlacedGlyphs placed;
    const double width = run.glyphIndex ? placeGlyphIds(run, face, placed) : placeCharacters(run, face, placed);

    const bool rotated = run.font.escapement % 3600 != 0;
    QPointF origin(run.origin.x, run.origin.y);
    if (rotated) {
        QTransform turn;
        turn.translate(origin.x(), origin.y());
        turn.rotate(-run.font.escapement / 10.0); // counter-clockwise on a y-down page
        c.pushTransform(turn);
        origin = QPointF(0, 0);
    }
    const QPointF start = origin + alignmentOffset(run.align, face, width);
    if (run.bkMode == OPAQUE && width > 0)
        c.fillRect(QRectF(start.x(), start.y() - face.ascent(), width, face.ascent() + face.descent()),
                   QBrush(toQColor(run.bkColor)));
    const QColor color = toQColor(run.color);
    d->drawPlaced(run, face, placed, start, color);
    if (width > 0)
        d->drawStrokes(run.font, face, start, width, color);
    if (rotated)
        c.popTransform();
}

void GdiDevice::intersectClip(double left, double top, double right, double bottom)
{
    d->flush();
    d->canvas.intersectClip(QRectF(left, top, std::max(0.0, right - left), std::max(0.0, bottom - top)));
}

void GdiDevice::resetClip()
{
    d->flush();
    d->canvas.resetClip();
}

} // namespace velm
