// The program source runs of TPrintFile: line numbers in a gutter at the
// cell's left, and highlighted source lines whose style runs flow through
// PutText like any other text, so wrapping, carry-over between cells and
// sheets, stored pages, the preview and every printer treat them alike.
#include "engine/Gdi.h"
#include "engine/PrnFile.h"
#include "platform/system/files.h"

#include <algorithm>

namespace velm {

namespace {

int Digits(int number)
{
    int digits = 1;
    for (; number >= 10; number /= 10)
        ++digits;
    return digits;
}

// Colours that stay readable on paper, as 0x00BBGGRR.
TColor RunColour(TRunStyle Style, TColor Plain)
{
    switch (Style) {
    case TRunStyle::Keyword: return 0x800000;      // navy
    case TRunStyle::Comment: return 0x006E00;      // dark green
    case TRunStyle::String: return 0x1414A0;       // dark red
    case TRunStyle::Number: return 0xAA5A00;       // steel blue
    case TRunStyle::Preprocessor: return 0x8C0078; // purple
    case TRunStyle::Plain: break;
    }
    return Plain;
}

} // namespace

void TPrintFile::StartSource()
{
    FLineStarts = false;
    FSourceLine = 0;
    FRunStyle = TRunStyle::Plain;
    FStyler.reset();
    FNumberDigits = 0;
    if (Input == frHTML)
        return;
    // A pipe can be read only once: the job's reading is the one read.
    const bool pipe = Input == frFile && !fileExists(Filename);
    // A binary or damaged file prints as plain text prints.
    if (Highlight && !(Input == frFile && FFeed.Binary())) {
        auto styler = std::make_unique<TSourceStyler>(HighlightLanguage, Filename);
        if (styler->Active())
            FStyler = std::move(styler);
    }
    if (FStyler && Input == frFile)
        FFeed.StartStyling(*FStyler, !pipe);
    FColourRuns = !Monochrome && !IsGenericPrinter();
    if (LineNumbers) {
        const TLineSource* source = Input == frTMemo ? Memo : Input == frRichEdit ? RichEdit : nullptr;
        // A pipe's lines cannot be counted first: room for six digits.
        const int lines = Input == frFile ? (pipe ? 999'999 : CountSourceLines(Filename))
                          : source        ? source->Count()
                                          : 0;
        FNumberDigits = Digits(std::max(lines, 1));
    }
}

void TPrintFile::StyleLine(std::string& Line)
{
    if (FStyler)
        Line = FStyler->MarkedLine(std::move(Line));
}

void TPrintFile::NextStyledRun(std::string& Line, std::string& Segment)
{
    while (Line.size() >= 2 && Line[0] == '\0') {
        ApplyRunStyle(static_cast<TRunStyle>(Line[1] - '0'));
        Line.erase(0, 2);
    }
    const std::size_t end = std::min(Line.find('\0'), Line.size());
    Segment = Line.substr(0, end);
    Line.erase(0, end);
}

void TPrintFile::ApplyRunStyle(TRunStyle Style)
{
    FRunStyle = Style;
    TGdi& surface = *FGdi;
    const bool bold = ContentsFont.Has(fsBold) || Style == TRunStyle::Keyword;
    const bool italic = ContentsFont.Has(fsItalic) || Style == TRunStyle::Comment;
    if (bold != surface.Bold() || italic != surface.Italic())
        surface.MakeFont(surface.FontName(), surface.FontHeight(), bold, italic, surface.Underline());
    const TColor colour = FColourRuns ? RunColour(Style, FPlainColor) : FPlainColor;
    if (colour != surface.TextColor())
        surface.SetFontColor(colour);
}

// The gutter takes the widest number of the job and one digit's gap from
// the text area, so wrapping works on what is left.
void TPrintFile::ReserveGutter()
{
    if (FNumberDigits == 0)
        return;
    FDigitWidth = 0;
    for (char digit = '0'; digit <= '9'; ++digit)
        FDigitWidth = std::max(FDigitWidth, FGdi->TextWidth(std::string(1, digit)));
    const int gutter = (FNumberDigits + 1) * FDigitWidth;
    FGdi->SetTextArea(FGdi->Left() + gutter, FGdi->Top(), FGdi->Right(), FGdi->Bottom());
}

// Right-aligned one digit before where the line's text begins (PutText
// sets text 10 pixels in from the area's left), in the plain contents font.
void TPrintFile::PrintLineNumber()
{
    if (FNumberDigits == 0)
        return;
    if (FStyler)
        ApplyRunStyle(TRunStyle::Plain);
    const std::string number = std::to_string(++FSourceLine);
    FGdi->TextEndingAt(FGdi->Left() + 10 - FDigitWidth, FY, number);
    FGdi->CarriageReturn();
}

} // namespace velm
