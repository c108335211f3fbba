#include "platform/pdf/pdf_writer.h"

namespace velm {
namespace pdf {

// c / 255 in three decimals, for rg and RG.
const std::array<std::string, 256>& colorComponents()
{
    static const std::array<std::string, 256> table = [] {
        std::array<std::string, 256> t;
        for (int i = 0; i < 256; ++i)
            appendNumber(t[i], i / 255.0, 3);
        return t;
    }();
    return table;
}

} // namespace pdf

void PdfCanvas::Writer::push(Level kind)
{
    endText();
    content += "q\n";
    saved.push_back(state);
    levels.push_back(kind);
    if (kind == Level::BlockedTransform)
        ++blocked;
}

void PdfCanvas::Writer::pop()
{
    endText();
    content += "Q\n";
    state = saved.back();
    saved.pop_back();
    if (levels.back() == Level::BlockedTransform)
        --blocked;
    levels.pop_back();
}

bool PdfCanvas::Writer::statable(const QTransform& t)
{
    const double m[] = {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()};
    return std::all_of(std::begin(m), std::end(m), [](double v) { return std::isfinite(v); }) &&
           std::fabs(t.m11() * t.m22() - t.m12() * t.m21()) > 1e-12;
}

void PdfCanvas::Writer::concat(const QTransform& t)
{
    endText();
    const double m[] = {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()};
    for (int i = 0; i < 6; ++i)
        num(clamped(m[i]), i < 4 ? 6 : 2);
    content += "cm\n";
}

void PdfCanvas::Writer::rect(const QRectF& r)
{
    num(r.x());
    num(r.y());
    num(r.width());
    num(r.height());
    content += "re";
}

QRectF PdfCanvas::Writer::sane(const QRectF& area)
{
    const QRectF r = area.normalized();
    if (!std::isfinite(r.left()) || !std::isfinite(r.right()) || !std::isfinite(r.top()) ||
        !std::isfinite(r.bottom()))
        return {};
    return QRectF(QPointF(clamped(r.left()), clamped(r.top())), QPointF(clamped(r.right()), clamped(r.bottom())));
}

void PdfCanvas::Writer::appendPath(const QPainterPath& path)
{
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            point(e);
            content += "m\n";
        } else if (e.isLineTo()) {
            point(e);
            content += "l\n";
        } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
            point(e);
            point(path.elementAt(i + 1));
            point(path.elementAt(i + 2));
            content += "c\n";
            i += 2;
        }
    }
}

bool PdfCanvas::Writer::finitePath(const QPainterPath& path)
{
    for (int i = 0; i < path.elementCount(); ++i)
        if (!finite(path.elementAt(i)))
            return false;
    return true;
}

void PdfCanvas::Writer::pen(const QPen& p)
{
    color(p.color(), " RG\n", state.stroke);
    const double width = std::isfinite(p.widthF()) ? std::clamp(p.widthF(), 0.0, kLimit) : 0.0;
    const long long w = roundNearest(width * 100);
    if (w != state.lineWidth) {
        state.lineWidth = w;
        fixed(w);
        content += "w\n";
    }
    const int cap = p.capStyle() == Qt::RoundCap ? 1 : p.capStyle() == Qt::SquareCap ? 2 : 0;
    if (cap != state.cap) {
        state.cap = cap;
        appendInt(content, cap);
        content += " J\n";
    }
    const int join = p.joinStyle() == Qt::RoundJoin ? 1 : p.joinStyle() == Qt::BevelJoin ? 2 : 0;
    if (join != state.join) {
        state.join = join;
        appendInt(content, join);
        content += " j\n";
    }
    // Qt's limit is how far the miter reaches from the joint in widths;
    // PDF's is the whole miter length.
    const double limit = std::isfinite(p.miterLimit()) ? std::clamp(2 * p.miterLimit(), 1.0, 1000.0) : 10.0;
    const long long miter = roundNearest(limit * 100);
    if (join == 0 && miter != state.miter) {
        state.miter = miter;
        fixed(miter);
        content += "M\n";
    }
    std::string dash = "[";
    if (p.style() != Qt::SolidLine) {
        // Qt's dashes are in pen widths, a thinnest pen counting as one pixel.
        const double unit = std::max(width, 1.0);
        for (qreal d : p.dashPattern()) {
            appendNumber(dash, std::isfinite(d) ? std::clamp(d * unit, 0.0, kLimit) : 1.0, 2);
            dash += ' ';
        }
        if (dash.back() == ' ')
            dash.pop_back();
        dash += ']';
        const double offset = p.dashOffset() * unit;
        appendNumber(dash, std::isfinite(offset) ? clamped(offset) : 0.0, 2);
    } else {
        dash += "]0";
    }
    if (dash != state.dash) {
        content += dash;
        content += " d\n";
        state.dash = std::move(dash);
    }
}

} // namespace velm
