#include "support/logging_device.h"

#include "platform/core/codepage.h"

#include <cmath>
#include <cstdio>
#include <numeric>

namespace velm {

namespace {

// Whole numbers without decimals, others with up to three.
std::string number(double v)
{
    char buffer[64];
    if (std::isfinite(v) && v == std::nearbyint(v) && std::fabs(v) < 1e15) {
        std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(v));
        return buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%.3f", v);
    std::string s = buffer;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    return s;
}

std::string numbers(const std::vector<double>& values)
{
    std::string out;
    for (double v : values) {
        out += ' ';
        out += number(v);
    }
    return out;
}

// RRGGBB, as colours are written everywhere else.
std::string hex(ColorRef c)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02x%02x%02x", redOf(c), greenOf(c), blueOf(c));
    return buffer;
}

std::string penText(const LogPen& pen, double scale)
{
    std::string s = " pen=" + std::to_string(pen.style) + "/" + std::to_string(pen.width) + "/" + hex(pen.color);
    if (scale != 1.0)
        s += " scale=" + number(scale);
    return s;
}

std::string brushText(const LogBrush& brush)
{
    std::string s = " brush=" + std::to_string(brush.style) + "/" + hex(brush.color);
    if (brush.style == BS_HATCHED)
        s += "/" + std::to_string(brush.hatch);
    return s;
}

std::string quoted(std::u16string_view text)
{
    std::u16string safe;
    safe.reserve(text.size());
    std::string out = "'";
    for (char16_t c : text) {
        if (c < 0x20 || c == 0x7F) {
            out += toUtf8(safe);
            safe.clear();
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02x", static_cast<unsigned>(c));
            out += buffer;
        } else {
            safe.push_back(c);
        }
    }
    return out + toUtf8(safe) + "'";
}

// Glyph ids, then the source's text and cluster map when the page names them:
//   glyphs=[36,55] 'ab' clusters=[0,1] [rtl]
std::string glyphList(const TextRun& run)
{
    const auto list = [](const auto& values) {
        std::string out = "[";
        for (std::size_t i = 0; i < values.size(); ++i)
            out += (i ? "," : "") + std::to_string(values[i]);
        return out + "]";
    };
    std::string out = "glyphs=" + list(run.text);
    if (!run.source.text.empty())
        out += " " + quoted(run.source.text) + " clusters=" + list(run.source.clusters) +
               (run.source.rightToLeft ? " rtl" : "");
    return out;
}

std::vector<double> flatten(const std::vector<PointF>& points)
{
    std::vector<double> out;
    out.reserve(points.size() * 2);
    for (const PointF& p : points) {
        out.push_back(p.x);
        out.push_back(p.y);
    }
    return out;
}

} // namespace

void LoggingDevice::add(Call call)
{
    call.line = call.kind + numbers(call.numbers) + call.line;
    calls_.push_back(std::move(call));
}

void LoggingDevice::beginPage(const PageSpace& space)
{
    Call call;
    call.kind = "begin";
    call.numbers = {double(space.widthPx), double(space.heightPx), space.widthMm, space.heightMm,
                    double(space.frame.left), double(space.frame.top), double(space.frame.right),
                    double(space.frame.bottom)};
    add(std::move(call));
}

void LoggingDevice::endPage()
{
    Call call;
    call.kind = "end";
    add(std::move(call));
}

void LoggingDevice::line(PointF from, PointF to, const LogPen& pen, double penScale)
{
    Call call;
    call.kind = "line";
    call.numbers = {from.x, from.y, to.x, to.y};
    call.pen = pen;
    call.line = penText(pen, penScale);
    add(std::move(call));
}

void LoggingDevice::polyline(const std::vector<PointF>& points, const LogPen& pen, double penScale)
{
    Call call;
    call.kind = "polyline";
    call.numbers = flatten(points);
    call.pen = pen;
    call.line = penText(pen, penScale);
    add(std::move(call));
}

void LoggingDevice::polygon(const std::vector<PointF>& points, const LogPen& pen, double penScale,
                            const LogBrush& brush, int fillMode)
{
    Call call;
    call.kind = "polygon";
    call.numbers = flatten(points);
    call.pen = pen;
    call.brush = brush;
    call.line = penText(pen, penScale) + brushText(brush) + (fillMode == WINDING ? " winding" : " alternate");
    add(std::move(call));
}

void LoggingDevice::fillRect(double left, double top, double right, double bottom, const LogBrush& brush)
{
    Call call;
    call.kind = "fill";
    call.numbers = {left, top, right, bottom};
    call.brush = brush;
    call.line = brushText(brush);
    add(std::move(call));
}

void LoggingDevice::rectangle(double left, double top, double right, double bottom, const LogPen& pen,
                              double penScale, const LogBrush& brush)
{
    Call call;
    call.kind = "rectangle";
    call.numbers = {left, top, right, bottom};
    call.pen = pen;
    call.brush = brush;
    call.line = penText(pen, penScale) + brushText(brush);
    add(std::move(call));
}

void LoggingDevice::text(const TextRun& run)
{
    const LogFont& f = run.font;
    std::string s = " " + (run.glyphIndex ? glyphList(run) : quoted(run.text)) + " " + toUtf8(f.faceName) +
                    " h=" + std::to_string(f.height) + " w=" + std::to_string(f.weight);
    if (f.width)
        s += " width=" + std::to_string(f.width);
    if (f.italic)
        s += " italic";
    if (f.underline)
        s += " underline";
    if (f.strikeOut)
        s += " strikeout";
    if (f.escapement)
        s += " esc=" + std::to_string(f.escapement);
    if (run.color != 0)
        s += " color=" + hex(run.color);
    if (run.bkMode == OPAQUE)
        s += " opaque=" + hex(run.bkColor);
    if (run.align != 0)
        s += " align=" + std::to_string(run.align);
    if (!run.dx.empty())
        s += " advance=" + number(std::accumulate(run.dx.begin(), run.dx.end(), 0.0));
    Call call;
    call.kind = "text";
    call.numbers = {run.origin.x, run.origin.y};
    call.text = run;
    call.line = std::move(s);
    add(std::move(call));
}

void LoggingDevice::intersectClip(double left, double top, double right, double bottom)
{
    Call call;
    call.kind = "clip";
    call.numbers = {left, top, right, bottom};
    add(std::move(call));
}

void LoggingDevice::resetClip()
{
    Call call;
    call.kind = "unclip";
    add(std::move(call));
}

std::vector<const LoggingDevice::Call*> LoggingDevice::callsOf(const std::string& kind) const
{
    std::vector<const Call*> out;
    for (const Call& c : calls_)
        if (c.kind == kind)
            out.push_back(&c);
    return out;
}

std::string LoggingDevice::trace() const
{
    std::string out;
    for (const Call& c : calls_) {
        out += c.line;
        out += '\n';
    }
    return out;
}

std::vector<std::string> LoggingDevice::texts() const
{
    std::vector<std::string> out;
    for (const Call& c : calls_)
        if (c.kind == "text")
            out.push_back(toUtf8(c.text.glyphIndex ? c.text.source.text : c.text.text));
    return out;
}

} // namespace velm
