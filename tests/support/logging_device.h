// A device that writes every call as one line of text, for tests: the
// trace of what a page really holds, in reference pixels. One Call per
// method; tests should read `numbers` and the typed fields, the text is for
// people and failure messages. numbers by kind:
//   begin      widthPx heightPx widthMm heightMm frame.left top right bottom
//   line       x1 y1 x2 y2             polyline / polygon  x0 y0 x1 y1 ...
//   fill, rectangle, clip   left top right bottom (right and bottom excluded)
//   text       origin x, y             end, unclip   (none)
// Lines look like
//   line 100 200 2000 200 pen=0/1/000000            (style/width/RRGGBB [scale=s])
//   fill 100 200 2000 300 brush=0/ffffff            (style/RRGGBB[/hatch])
//   text 160 391 'Hello' Arial h=-88 w=400 [italic] [underline] [color=RRGGBB]
//        [opaque=RRGGBB] [align=n] [advance=sum of dx]
//   text 160 391 glyphs=[36,55] 'ab' clusters=[0,1] [rtl] Arial h=-88 ...  (glyph-index text
//        and the source its page names)
#pragma once

#include "platform/metafile/page_device.h"

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
    // The text runs in order, as UTF-8 (glyph-index runs: their source's text).
    std::vector<std::string> texts() const;

private:
    void add(Call call);
    std::vector<Call> calls_;
};

} // namespace velm
