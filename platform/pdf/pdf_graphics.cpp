#include "platform/pdf/pdf_writer.h"

namespace velm::pdf {

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

bool statable(const QTransform& t)
{
    const double m[] = {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()};
    return std::all_of(std::begin(m), std::end(m), [](double v) { return std::isfinite(v); }) &&
           std::fabs(t.m11() * t.m22() - t.m12() * t.m21()) > 1e-12;
}

void ContentStream::transform(const QTransform& t)
{
    const double m[] = {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()};
    transform(m);
}

QRectF saneRect(const QRectF& area)
{
    const QRectF r = area.normalized();
    if (!std::isfinite(r.left()) || !std::isfinite(r.right()) || !std::isfinite(r.top()) ||
        !std::isfinite(r.bottom()))
        return {};
    return QRectF(QPointF(clamped(r.left()), clamped(r.top())), QPointF(clamped(r.right()), clamped(r.bottom())));
}

bool finitePath(const QPainterPath& path)
{
    for (int i = 0; i < path.elementCount(); ++i)
        if (!finite(path.elementAt(i)))
            return false;
    return true;
}

void ContentStream::start(const std::string& sheetMatrix)
{
    state_ = GState{};
    saved_.clear();
    levels_.clear();
    blocked_ = 0;
    textOpen_ = false;
    out_.clear();
    out_.reserve(1 << 16);
    out_ += sheetMatrix;
    out_ += " cm\n";
}

void ContentStream::close()
{
    while (!levels_.empty())
        pop();
    endText();
}

void ContentStream::push(Level kind)
{
    endText();
    out_ += "q\n";
    saved_.push_back(state_);
    levels_.push_back(kind);
    if (kind == Level::BlockedTransform)
        ++blocked_;
}

void ContentStream::pop()
{
    endText();
    out_ += "Q\n";
    state_ = saved_.back();
    saved_.pop_back();
    if (levels_.back() == Level::BlockedTransform)
        --blocked_;
    levels_.pop_back();
}

void ContentStream::transform(const double (&m)[6])
{
    endText();
    for (int i = 0; i < 6; ++i)
        num(clamped(m[i]), i < 4 ? 6 : 2);
    out_ += "cm\n";
}

void ContentStream::rect(const QRectF& r)
{
    num(r.x());
    num(r.y());
    num(r.width());
    num(r.height());
    out_ += "re";
}

void ContentStream::clip(const QRectF& r)
{
    endText();
    rect(r);
    out_ += " W n\n";
}

void ContentStream::fill(const QRectF& r)
{
    endText();
    rect(r);
    out_ += " f\n";
}

void ContentStream::appendPath(const QPainterPath& path)
{
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            point(e);
            out_ += "m\n";
        } else if (e.isLineTo()) {
            point(e);
            out_ += "l\n";
        } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
            point(e);
            point(path.elementAt(i + 1));
            point(path.elementAt(i + 2));
            out_ += "c\n";
            i += 2;
        }
    }
}

void ContentStream::fill(const QPainterPath& path, bool nonZero)
{
    endText();
    appendPath(path);
    out_ += !nonZero && path.fillRule() == Qt::OddEvenFill ? "f*\n" : "f\n";
}

void ContentStream::stroke(const QPolygonF& points, bool closed)
{
    endText();
    const qsizetype count = closed ? points.size() - 1 : points.size();
    for (qsizetype i = 0; i < count; ++i) {
        point(points[i]);
        out_ += i == 0 ? "m\n" : "l\n";
    }
    out_ += closed ? "h S\n" : "S\n";
}

void ContentStream::fillPattern(int pattern, const QColor& c)
{
    const std::uint64_t key = kPatternBit | static_cast<std::uint64_t>(pattern) << 24 | rgbOf(c);
    if (state_.fill == key)
        return;
    state_.fill = key;
    const auto& t = colorComponents();
    out_ += "/Hp cs ";
    out_ += t[static_cast<std::size_t>(c.red())] + ' ';
    out_ += t[static_cast<std::size_t>(c.green())] + ' ';
    out_ += t[static_cast<std::size_t>(c.blue())];
    out_ += " /P";
    appendInt(out_, pattern);
    out_ += " scn\n";
}

void ContentStream::pen(const QPen& p)
{
    color(p.color(), " RG\n", state_.stroke);
    const double width = std::isfinite(p.widthF()) ? std::clamp(p.widthF(), 0.0, kLimit) : 0.0;
    const long long w = roundNearest(width * 100);
    if (w != state_.lineWidth) {
        state_.lineWidth = w;
        fixed(w);
        out_ += "w\n";
    }
    const int cap = p.capStyle() == Qt::RoundCap ? 1 : p.capStyle() == Qt::SquareCap ? 2 : 0;
    if (cap != state_.cap) {
        state_.cap = cap;
        appendInt(out_, cap);
        out_ += " J\n";
    }
    const int join = p.joinStyle() == Qt::RoundJoin ? 1 : p.joinStyle() == Qt::BevelJoin ? 2 : 0;
    if (join != state_.join) {
        state_.join = join;
        appendInt(out_, join);
        out_ += " j\n";
    }
    // Qt's limit is how far the miter reaches from the joint in widths;
    // PDF's is the whole miter length.
    const double limit = std::isfinite(p.miterLimit()) ? std::clamp(2 * p.miterLimit(), 1.0, 1000.0) : 10.0;
    const long long miter = roundNearest(limit * 100);
    if (join == 0 && miter != state_.miter) {
        state_.miter = miter;
        fixed(miter);
        out_ += "M\n";
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
    if (dash != state_.dash) {
        out_ += dash;
        out_ += " d\n";
        state_.dash = std::move(dash);
    }
}

} // namespace velm::pdf
