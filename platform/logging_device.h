// A device that writes every call as one line of text, for tests: the
// trace of what a page really holds, in reference pixels.
#pragma once

#include "platform/page_device.h"

#include <string>
#include <vector>

namespace velm {

class LoggingDevice : public PageDevice {
public:
    struct Call {
        std::string kind;          // "begin", "end", "line", "polyline", "polygon",
                                   // "fill", "rectangle", "text", "clip", "unclip"
        std::vector<double> numbers;
        LogPen pen;
        LogBrush brush;
        TextRun text;              // for "text"
        std::string line;          // the whole call as text
    };

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

    const std::vector<Call>& calls() const { return calls_; }
    std::vector<const Call*> callsOf(const std::string& kind) const;
    std::string trace() const; // one line per call
    // The text runs in order, as UTF-8.
    std::vector<std::string> texts() const;

private:
    void add(Call call);
    std::vector<Call> calls_;
};

} // namespace velm
