#include "platform/logging_device.h"

#include "platform/codepage.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace velm {

namespace {

std::string number(double v)
{
    std::ostringstream s;
    if (v == std::floor(v))
        s << static_cast<long long>(v);
    else
        s << v;
    return s.str();
}

std::string numbers(const std::vector<double>& values)
{
    std::string out;
    for (double v : values)
        out += " " + number(v);
    return out;
}

std::string hex(ColorRef c)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%06x", c & 0xFFFFFFu);
    return buffer;
}

std::string penText(const LogPen& pen, double scale)
{
    return " pen=" + std::to_string(pen.style) + "/" + number(pen.width * scale) + "/" + hex(pen.color);
}

std::string brushText(const LogBrush& brush)
{
    return " brush=" + std::to_string(brush.style) + "/" + hex(brush.color) + "/" + std::to_string(brush.hatch);
}

std::vector<double> flatten(const std::vector<PointF>& points)
{
    std::vector<double> out;
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
    add({"begin", {double(space.widthPx), double(space.heightPx), space.widthMm, space.heightMm}, {}, {}, {}, ""});
}

void LoggingDevice::endPage() { add({"end", {}, {}, {}, {}, ""}); }

void LoggingDevice::line(PointF from, PointF to, const LogPen& pen, double penScale)
{
    add({"line", {from.x, from.y, to.x, to.y}, pen, {}, {}, penText(pen, penScale)});
}

void LoggingDevice::polyline(const std::vector<PointF>& points, const LogPen& pen, double penScale)
{
    add({"polyline", flatten(points), pen, {}, {}, penText(pen, penScale)});
}

void LoggingDevice::polygon(const std::vector<PointF>& points, const LogPen& pen, double penScale,
                            const LogBrush& brush, int fillMode)
{
    add({"polygon", flatten(points), pen, brush, {},
         penText(pen, penScale) + brushText(brush) + " fill=" + std::to_string(fillMode)});
}

void LoggingDevice::fillRect(double left, double top, double right, double bottom, const LogBrush& brush)
{
    add({"fill", {left, top, right, bottom}, {}, brush, {}, brushText(brush)});
}

void LoggingDevice::rectangle(double left, double top, double right, double bottom, const LogPen& pen,
                              double penScale, const LogBrush& brush)
{
    add({"rectangle", {left, top, right, bottom}, pen, brush, {}, penText(pen, penScale) + brushText(brush)});
}

void LoggingDevice::text(const TextRun& run)
{
    const LogFont& f = run.font;
    std::string detail = " '" + toUtf8(run.text) + "' " + toUtf8(f.faceName) + " h=" + std::to_string(f.height) +
                         " w=" + std::to_string(f.weight) + (f.italic ? " italic" : "") +
                         (f.underline ? " underline" : "") + " color=" + hex(run.color);
    add({"text", {run.origin.x, run.origin.y}, {}, {}, run, detail});
}

void LoggingDevice::intersectClip(double left, double top, double right, double bottom)
{
    add({"clip", {left, top, right, bottom}, {}, {}, {}, ""});
}

void LoggingDevice::resetClip() { add({"unclip", {}, {}, {}, {}, ""}); }

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
    for (const Call& c : calls_)
        out += c.line + "\n";
    return out;
}

std::vector<std::string> LoggingDevice::texts() const
{
    std::vector<std::string> out;
    for (const Call* c : callsOf("text"))
        out.push_back(toUtf8(c->text.text));
    return out;
}

} // namespace velm
