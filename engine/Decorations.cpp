// Header and footer boxes, frame styles, the date stamp and the page number
// of every cell.
#include "engine/Gdi.h"

#include "platform/core/clock.h"
#include "platform/core/convert.h"
#include "platform/system/display.h"
#include "platform/core/errors.h"
#include "platform/printing/printer.h"

#include <QDateTime>
#include <QLocale>
#include <QTime>

#include <cstdlib>
#include <cstring>
#include <optional>

namespace velm {

namespace {

// One band of a frame side: offsets from the side's start, inclusive.
struct Band {
    int from;
    int to;
};

struct SidePattern {
    Band bands[2];
    int bandCount;
    int totalWidth;
};

// Indexed by the frame style's ordinal; frNone draws nothing.
constexpr SidePattern kPatterns[] = {
    {{{0, -1}, {0, -1}}, 0, 0},   // frNone
    {{{0, 5}, {0, -1}}, 1, 6},    // frSingleThick
    {{{0, 1}, {0, -1}}, 1, 2},    // frSingleThin
    {{{0, 5}, {9, 14}}, 2, 15},   // frDoubleThick
    {{{0, 1}, {5, 6}}, 2, 7},     // frDoubleThin
    {{{0, 5}, {9, 10}}, 2, 11},   // frDoubleThickThin
    {{{0, 1}, {5, 10}}, 2, 11},   // frDoubleThinThick
};
constexpr int kStyleCount = static_cast<int>(sizeof kPatterns / sizeof kPatterns[0]);

// Header and footer fonts are sized for the screen; the printer canvas font
// carries the printer's resolution.
double ScreenToPrinterRatio()
{
    return static_cast<double>(PrinterCanvas().Font.PixelsPerInch) / displayMetrics().logPixelsY;
}

int PrinterPageWidth() { return Printers::instance().selected().caps().horzRes; }

const char* const kStampFont = "Arial";
constexpr int kStampHeight = 30;

} // namespace

void TGdi::DrawBand(bool Horizontal, int From, int To, int Left, int Top, int Right, int Bottom)
{
    for (int i = From; i <= To; ++i) {
        if (Horizontal) {
            MoveTo(Left, i);
            LineTo(Right, i);
            FFrameBottom = i + 1;
        } else {
            MoveTo(i, Top);
            LineTo(i, Bottom);
        }
    }
}

void TGdi::DrawSide(int Style, bool Horizontal, bool FromEnd, int Left, int Top, int Right, int Bottom)
{
    if (Style <= 0 || Style >= kStyleCount)
        return;
    const SidePattern& pattern = kPatterns[Style];
    // The pattern is never mirrored: on the bottom and right sides it is
    // shifted so that it ends exactly on the edge.
    const int edge = Horizontal ? (FromEnd ? Bottom : Top) : (FromEnd ? Right : Left);
    const int start = FromEnd ? edge - (pattern.totalWidth - 1) : edge;
    for (int b = 0; b < pattern.bandCount; ++b)
        DrawBand(Horizontal, start + pattern.bands[b].from, start + pattern.bands[b].to,
                 Left, Top, Right, Bottom);
}

void TGdi::DrawFrame(int Left, int Top, int Right, int Bottom,
                     int StyleLeft, int StyleTop, int StyleRight, int StyleBottom)
{
    if (IsGenericPrinter())
        return;
    DrawSide(StyleTop, true, false, Left, Top, Right, Bottom);
    DrawSide(StyleBottom, true, true, Left, Top, Right, Bottom);
    DrawSide(StyleLeft, false, false, Left, Top, Right, Bottom);
    DrawSide(StyleRight, false, true, Left, Top, Right, Bottom);
}

void TGdi::DrawHeader(bool Enabled, const TFont& Font, int Left, int RightMargin,
                      const std::string& TextLeft, const std::string& TextCentre,
                      const std::string& TextRight, int Top, bool Filled, bool Outlined, bool /*Rule*/,
                      int StyleLeft, int StyleTop, int StyleRight, int StyleBottom)
{
    // The header's colour stays the text colour of the cell, even without a header.
    SetFontColor(Font.Color);
    if (!Enabled)
        return;
    // Signed: a negative screen height stays a character height.
    const int h0 = roundHalfEven(Font.Height * ScreenToPrinterRatio());
    SelectFont(Font.Name, h0);
    TFont& canvas = PrinterCanvas().Font;
    canvas.Height = h0;
    canvas.Style = Font.Style;
    canvas.Name = Font.Name;

    const int h = std::abs(canvas.Height);
    const int right = PrinterPageWidth() - RightMargin;
    const int centreWidth = TextWidth(TextCentre);
    if (Filled && !IsGenericPrinter())
        FillArea(Rect{Left, Top, right, Top + 2 * h});
    SetPen(1, clBlack);
    if (Outlined && !IsGenericPrinter())
        DrawFrame(Left, Top, right, Top + 2 * h, StyleLeft, StyleTop, StyleRight, StyleBottom);

    const int y = Top + RoundDiv(h, 2);
    TextAt(Left + 20, y, TextLeft);
    TextAt(Left + RoundDiv(right - Left, 2) - RoundDiv(centreWidth, 2), y, TextCentre);
    TextAt(right - (TextWidth(TextRight) + TextWidth("00")), y, TextRight);
}

void TGdi::DrawFooter(const TFont& Font, int Left, int RightMargin, const std::string& Text, int Top,
                      bool Filled, bool Outlined, bool /*Rule*/,
                      int StyleLeft, int StyleTop, int StyleRight, int StyleBottom)
{
    // Unsigned: the footer asks for a cell height, a little smaller than the
    // header's character height at the same size.
    const int h0 = roundHalfEven(std::abs(Font.Height) * ScreenToPrinterRatio());
    SelectFont(Font.Name, h0);
    TFont& canvas = PrinterCanvas().Font;
    canvas.Name = Font.Name;
    canvas.Style = Font.Style;
    canvas.Color = Font.Color;
    canvas.Height = h0;

    const int h = std::abs(canvas.Height);
    const int right = PrinterPageWidth() - RightMargin;
    SetBold(true);
    SetFontColor(Font.Color);
    if (Filled && !IsGenericPrinter())
        FillArea(Rect{Left, Top, right, Top + 2 * h});
    SetPen(1, clBlack);
    if (Outlined && !IsGenericPrinter())
        DrawFrame(Left, Top, right, Top + 2 * h, StyleLeft, StyleTop, StyleRight, StyleBottom);

    const int width = TextWidth(Text);
    TextAt(Left + RoundDiv(right - Left, 2) - RoundDiv(width, 2), Top + RoundDiv(h, 2), Text);
    SetFontColor(clBlack);
}

namespace {

// The stamp and the page number stand two and a half footer lines below
// the footer's top, in a small plain face; the footer's height comes back
// afterwards so the next cell measures as before.
class StampFont {
public:
    explicit StampFont(TGdi& gdi) : gdi_(gdi), saved_(PrinterCanvas().Font.Height)
    {
        TFont& canvas = PrinterCanvas().Font;
        canvas.Name = kStampFont;
        canvas.Height = kStampHeight;
        canvas.Style = 0;
        gdi_.MakeFont(kStampFont, kStampHeight, false, false, false);
    }
    ~StampFont()
    {
        PrinterCanvas().Font.Height = saved_;
        gdi_.MakeFont(kStampFont, saved_, false, false, false);
    }
    StampFont(const StampFont&) = delete;
    StampFont& operator=(const StampFont&) = delete;

    int offset() const { return roundHalfEven(std::abs(saved_) * 2.5); }

private:
    TGdi& gdi_;
    int saved_;
};

// The language of the dates: LC_ALL, LC_TIME or LANG, as the command has
// them and as cupsd gives them to the filter from the job's
// attributes-natural-language; none for "C", "POSIX" or a name Qt does not know.
std::optional<QLocale> StampLanguage()
{
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(variable);
        if (!value || !*value)
            continue;
        const std::string name(value, std::strcspn(value, ".@"));
        if (name == "C" || name == "POSIX")
            return std::nullopt;
        const QLocale locale(QString::fromStdString(name));
        if (locale.language() == QLocale::C)
            return std::nullopt;
        return locale;
    }
    return std::nullopt;
}

} // namespace

// Made once for a job's time and language: every sheet asks, and each
// making reads the time zone files again.
std::string DateStampText(std::time_t when)
{
    thread_local std::time_t madeFor = -1;
    thread_local QString madeIn;
    thread_local std::string made;
    const std::optional<QLocale> language = StampLanguage();
    const QString in = language ? language->name() : QString();
    if (when == madeFor && in == madeIn)
        return made;
    const QDateTime time = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(when));
    const QString date = language ? language->toString(time.date(), QLocale::ShortFormat)
                                  : time.date().toString(Qt::ISODate);
    const QString clock = language ? language->toString(time.time(), QLocale::LongFormat)
                                   : time.time().toString(QStringLiteral("HH:mm:ss"));
    made = (QStringLiteral("Printed on ") + date + QStringLiteral(" at ") + clock).toStdString();
    madeFor = when;
    madeIn = in;
    return made;
}

void TGdi::DrawDateTimeStamp(int X, int Y)
{
    StampFont stamp(*this);
    TextAt(X, Y + stamp.offset(), DateStampText(documentTime()));
}

void TGdi::DrawPageNumber(int X, int Y)
{
    StampFont stamp(*this);
    const std::string text = format("Page %d  ", PageCount());
    TextAt(PrinterPageWidth() - X - TextWidth(text), Y + stamp.offset(), text);
}

} // namespace velm
