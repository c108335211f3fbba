// Headers and footers with fields: "%F, page %p of %P" names the file,
// the page and the job's page count. A job's formats are expanded cell by
// cell; the totals, known only when the last cell is laid out, are filled
// in when the stored pages play (TLateTexts).
#pragma once

#include "platform/metafile/page_device.h"

#include <ctime>
#include <string>
#include <vector>

namespace velm {

// What the fields of one cell stand for.
struct THeaderFields {
    std::string File;       // %f the file's path as the header shows it
    std::string Base;       // %F its last component
    std::time_t Modified = 0; // %m %M the file's modification date and time
    std::time_t Printed = 0;  // %D %T the printing's date and time
    std::string User;       // %u
    std::string Title;      // %j the job's title
    int Page = 0;           // %p the logical page (cell) of the job
    int Sheet = 0;          // %s the sheet
    int Pages = 0;          // %P the job's logical pages; 0: not yet known
    int Sheets = 0;         // %S the job's sheets; 0: not yet known
};

// The text of Format with its fields; %% is a percent sign. An unknown
// total prints as "?" until it is filled in.
std::string ExpandHeaderFields(const std::string& Format, const THeaderFields& Fields);
// Whether Format names a total (%P, %S).
bool NeedsTotals(const std::string& Format);
// Why Format cannot be expanded ("'%x' is not a field ..."), or empty.
std::string HeaderFormatProblem(const std::string& Format);
// Text that expands to itself: every % doubled.
std::string EscapeHeaderFields(const std::string& Text);
// The user the job prints for, as the system names the caller.
std::string CurrentUserName();
// Dates and times as the stamp prints them: the system's short date and
// long time formats.
std::string DateText(std::time_t When);
std::string TimeText(std::time_t When);

// Header and footer texts that name a total, as their stored page records
// them, and the text that takes their place when the page plays.
struct TLateText {
    enum TAnchor : unsigned char { Left, Centre, Right };
    int Page = 0;           // the stored page
    int X = 0, Y = 0;       // where it was drawn
    std::u16string Drawn;   // as drawn, totals as "?"
    TAnchor Anchor = Left;  // the point it keeps when its width changes
    std::string Format;
    THeaderFields Fields;
    std::string Final;      // set by Resolve
    // A text the shaper drew run by run (0: one plain record): how many
    // runs, where the first one's glyphs start, the line's font and width.
    int ShapedRuns = 0;
    int FirstRunX = 0, FirstRunY = 0;
    LogFont Font;
    int Width = 0;
};

class TLateTexts {
public:
    void Add(TLateText Text) { FTexts.push_back(std::move(Text)); }
    bool Empty() const { return FTexts.empty(); }
    // Fills in the totals once the job's last cell is laid out.
    void Resolve(int Pages, int Sheets);
    const std::vector<TLateText>& All() const { return FTexts; }

private:
    std::vector<TLateText> FTexts;
};

// Passes every call of stored page Page on to Target, each late text of
// that page replaced by its final text, re-measured (a shaped one shaped
// again) in the run's face and kept at its anchor.
class TLateTextDevice : public PageDevice {
public:
    TLateTextDevice(PageDevice& Target, const TLateTexts& Texts, int Page);

    void beginPage(const PageSpace& space) override { FTarget.beginPage(space); }
    void endPage() override { FTarget.endPage(); }
    void line(PointF from, PointF to, const LogPen& pen, double penScale) override
    {
        FTarget.line(from, to, pen, penScale);
    }
    void polyline(const std::vector<PointF>& points, const LogPen& pen, double penScale) override
    {
        FTarget.polyline(points, pen, penScale);
    }
    void polygon(const std::vector<PointF>& points, const LogPen& pen, double penScale, const LogBrush& brush,
                 int fillMode) override
    {
        FTarget.polygon(points, pen, penScale, brush, fillMode);
    }
    void fillRect(double left, double top, double right, double bottom, const LogBrush& brush) override
    {
        FTarget.fillRect(left, top, right, bottom, brush);
    }
    void rectangle(double left, double top, double right, double bottom, const LogPen& pen, double penScale,
                   const LogBrush& brush) override
    {
        FTarget.rectangle(left, top, right, bottom, pen, penScale, brush);
    }
    void text(const TextRun& run) override;
    void intersectClip(double left, double top, double right, double bottom) override
    {
        FTarget.intersectClip(left, top, right, bottom);
    }
    void resetClip() override { FTarget.resetClip(); }

private:
    void DrawShaped(const TLateText& Late, const TextRun& First);

    PageDevice& FTarget;
    std::vector<const TLateText*> FTexts; // of this page
    int FSkippedRuns = 0; // the rest of a shaped late text's runs, still to come
};

} // namespace velm
