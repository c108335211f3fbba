// The runs of a page laid out as a browser shows it (HtmlDocument.h): each
// line sets its indent and its size, list markers stand in the margin
// before it, table cells start at their columns, and the styled runs flow
// through PutText like any other text, so that wrapping, carry-over between
// cells and sheets, stored pages, the preview and every printer treat them
// alike.
#include "engine/Gdi.h"
#include "engine/PrnFile.h"
#include "platform/core/convert.h"
#include "platform/printing/printer.h"
#include "platform/rendering/font_fallback.h"
#include "platform/system/display.h"

#include <algorithm>
#include <cstdlib>

namespace velm {

namespace {

// Sizes of the headings h1 to h6 against the contents font.
constexpr double kHeadingScale[] = {1.0, 2.0, 1.5, 1.25, 1.1, 1.0, 1.0};

} // namespace

void TPrintFile::StartHtml()
{
    FHtmlStyle = 0;
    FHtmlIndent = 0;
    FHtmlHeading = 0;
    if (!FHtml)
        return;
    FMonoFace = matchedFamily(QStringLiteral("monospace")).toStdString();
    const double ratio = static_cast<double>(PrinterCanvas().Font.PixelsPerInch) / displayMetrics().logPixelsY;
    FHtmlBaseHeight = std::max(1, roundHalfEven(std::abs(ContentsFont.Height) * ratio));
    FHtmlStep = roundHalfEven(FHtmlBaseHeight * LineSpacing);
    const PrinterCaps caps = Printers::instance().selected().caps();
    const int width = (caps.horzRes - UnitsToPixels(BorderLeft, false) - UnitsToPixels(BorderRight, false)) / FCols;
    THtmlMeasure measure;
    measure.Width = [this](const std::string& Text, unsigned Style) { return HtmlTextWidth(Text, Style); };
    measure.LineWidth = std::max(1, width - 30);
    measure.IndentStep = 2 * FHtmlBaseHeight;
    measure.ColumnGap = FHtmlBaseHeight;
    FHtml->SetMeasure(std::move(measure));
}

int TPrintFile::HtmlTextWidth(const std::string& Text, unsigned Style) const
{
    TFont& canvas = PrinterCanvas().Font;
    const TFont saved = canvas;
    canvas.Name = Style & hsMono ? FMonoFace : ContentsFont.Name;
    canvas.Height = FHtmlBaseHeight;
    canvas.Style = (Style & hsBold || ContentsFont.Has(fsBold) ? fsBold : 0u)
                   | (Style & hsItalic || ContentsFont.Has(fsItalic) ? fsItalic : 0u);
    const int width = FGdi->TextWidth(Text);
    canvas = saved;
    return width;
}

void TPrintFile::ApplyHtmlStyle(unsigned Style)
{
    FHtmlStyle = Style;
    TGdi& surface = *FGdi;
    const std::string& name = Style & hsMono ? FMonoFace : ContentsFont.Name;
    const int height = roundHalfEven(FHtmlBaseHeight * kHeadingScale[std::clamp(FHtmlHeading, 0, 6)]);
    const bool bold = Style & hsBold || ContentsFont.Has(fsBold);
    const bool italic = Style & hsItalic || ContentsFont.Has(fsItalic);
    const bool underline = Style & hsUnderline || ContentsFont.Has(fsUnderline);
    const bool strike = Style & hsStrike || ContentsFont.Has(fsStrikeOut);
    if (name != surface.FontName() || height != surface.FontHeight() || bold != surface.Bold()
        || italic != surface.Italic() || underline != surface.Underline() || strike != surface.Strike())
        surface.MakeFont(name, height, bold, italic, underline, strike);
}

// Indent: levels, or -1 to keep the current line's.
void TPrintFile::StartHtmlLine(int Indent, int Heading, char Kind)
{
    TGdi& surface = *FGdi;
    const int room = surface.Right() - FAreaLeft;
    if (Indent >= 0)
        FHtmlIndent = std::min(Indent * 2 * FHtmlBaseHeight, room / 2);
    FHtmlHeading = Heading;
    surface.SetTextArea(FAreaLeft + FHtmlIndent, surface.Top(), surface.Right(), surface.Bottom());
    surface.CarriageReturn();
    const int height = roundHalfEven(FHtmlBaseHeight * kHeadingScale[std::clamp(Heading, 0, 6)]);
    FHtmlStep = roundHalfEven(height * LineSpacing);
    surface.SetLineHeight(FHtmlStep);
    ApplyHtmlStyle(FHtmlStyle);
    if (Kind == 'R')
        surface.DrawRule(FY + height / 2);
}

void TPrintFile::NextHtmlRun(std::string& Line, std::string& Segment)
{
    std::size_t at = 0;
    while (at + 1 < Line.size() && Line[at] == '\0') {
        const char kind = Line[at + 1];
        if (kind == htmlmark::Line && at + 5 <= Line.size()) {
            StartHtmlLine(Line[at + 2] - 0x20, Line[at + 3] - '0', Line[at + 4]);
            at += 5;
        } else if (kind == htmlmark::Marker) {
            const std::size_t end = std::min(Line.find('\0', at + 2), Line.size());
            const unsigned style = FHtmlStyle;
            ApplyHtmlStyle(0);
            const std::string marker = Line.substr(at + 2, end - at - 2);
            FGdi->TextEndingAt(FGdi->Left() + 10 - FHtmlBaseHeight / 3, FY, marker);
            FGdi->CarriageReturn();
            ApplyHtmlStyle(style);
            at = end + 1;
        } else if (kind == htmlmark::Style && at + 3 <= Line.size()) {
            ApplyHtmlStyle(static_cast<unsigned char>(Line[at + 2]) & 0x1Fu);
            at += 3;
        } else if (kind == htmlmark::Column && at + 6 <= Line.size()) {
            FGdi->ColumnAt(static_cast<int>(std::strtol(Line.substr(at + 2, 4).c_str(), nullptr, 16)));
            at += 6;
        } else {
            at += 2;
        }
    }
    const std::size_t end = std::min(Line.find('\0', at), Line.size());
    Segment = Line.substr(at, end - at);
    Line.erase(0, end);
}

} // namespace velm
