#include "engine/PrnFile.h"

#include "engine/Gdi.h"
#include "engine/UserInterface.h"
#include "platform/core/convert.h"
#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/printing/printer.h"

#include <cstdlib>

namespace velm {

namespace {

bool IsFileInput(TInput input) { return input == frFile || input == frHTML; }

void Raise(const TNotifyEvent& event, TPrintFile* sender)
{
    if (event)
        event(sender);
}

PrinterCaps SelectedCaps() { return Printers::instance().selected().caps(); }

} // namespace

TPrintFile::TPrintFile()
{
    const int pageHeight = SelectedCaps().vertRes;
    FBottomLimit = pageHeight - 200;
    const double footer = PixelsToUnits(pageHeight - 2 * UnitsToPixels(HeaderTop, true), true);
    FooterTop = strToFloat(formatFixed(footer, 2));
}

TPrintFile::~TPrintFile() = default;

void TPrintFile::Execute()
{
    FJobAborted = false;
    FCellTop = 0;
    FEndOfInput = false;
    if (!OpenInput())
        return;
    try {
        StartRun();
        RunCells();
        FinishRun();
    } catch (...) {
        ReleaseRun();
        throw;
    }
}

bool TPrintFile::OpenInput()
{
    if (IsFileInput(Input)) {
        if (!inputExists(Filename)) {
            ShowMessage(format("Error: File %s cannot be opened", Filename.c_str()));
            return false;
        }
        FFeed.Open(Filename, Input == frFile);
    }
    if (Input == frTMemo && !Memo) {
        ShowMessage("Error: TMemo contains nothing");
        return false;
    }
    if (Input == frRichEdit && !RichEdit) {
        ShowMessage("Error: TRichEdit contains nothing");
        return false;
    }
    return true;
}

void TPrintFile::StartRun()
{
    FCarry.clear();
    FEndOfInput = false;
    Printer& printer = Printers::instance().selected();
    if (Orientation == Landscape)
        printer.setOrientation(PaperOrientation::Landscape);
    else if (Orientation == Portrait)
        printer.setOrientation(PaperOrientation::Portrait);
    const PrinterCaps caps = printer.caps();
    FBottomLimit = caps.vertRes - 200;
    FLineIndex = 0;

    FGdi = std::make_unique<TGdi>();
    FGdi->ClearStoredPages();
    FPendingBreak = false;
    SetPageGrid();

    FStatus = std::make_unique<StatusDialogScope>();
    (*FStatus)->Show();
    ProcessMessages();

    FGdi->BeginDocument(ViewBkColor, ViewHeading, ZoomPercentage);
    Raise(OnBeforePrint, this);
    ApplyBaseFont();
    PrinterCanvas().Font.PixelsPerInch = caps.logPixelsY;
    SetMetricUnits(Units == poCentimetres);
    // The footer box always stands 100 printer pixels above the page's bottom.
    FooterTop = PixelsToUnits(caps.vertRes - 100, true);
    FGdi->SelectFont(PrinterCanvas().Font.Name, PrinterCanvas().Font.Height);
    StartSource();
}

void TPrintFile::ApplyBaseFont()
{
    TFont& canvas = PrinterCanvas().Font;
    canvas.Name = FBaseFont.Name;
    canvas.Height = FBaseFont.Height;
}

bool TPrintFile::InputDone() const
{
    // A whole source line read up to the end of the file may still be carried.
    if (!FCarry.empty())
        return false;
    if (IsFileInput(Input))
        return FFeed.Eof() || FEndOfInput;
    return FEndOfInput;
}

void TPrintFile::RunCells()
{
    int sheet = 1;
    FEndOfInput = false;
    FCellIndex = 1;
    bool firstCell = true;
    while (!InputDone()) {
        (*FStatus)->SetPage(format("%d", sheet));
        ProcessMessages();
        Raise(OnPrintHeader, this);
        DrawCellHeader(firstCell);
        firstCell = false;
        FormatCell();
        PrintCellText();
        Raise(OnPrintFooter, this);
        DrawCellFooter();
        Raise(OnNewPage, this);
        if ((*FStatus)->Aborted()) {
            FJobAborted = true;
            return;
        }
        if (InputDone())
            return;
        ++FCellIndex;
        if (FormatCell()) {
            FGdi->NewPage();
            ++sheet;
            ApplyBaseFont();
            FGdi->SelectFont(PrinterCanvas().Font.Name, PrinterCanvas().Font.Height);
            FGdi->SetBrush(Brush);
        }
    }
}

void TPrintFile::FinishRun()
{
    FFeed.Close();
    Raise(OnAfterPrint, this);
    FGdi->EndPage();
    FStatus.reset();
    if (!FJobAborted) {
        if (OutputTo == poViewer && ui().showPreview) {
            // The preview owns the stored pages now: closing it deletes them.
            ui().showPreview(*this);
            FGdi.reset();
            return;
        }
        if (OutputTo == poPrinter)
            FGdi->PrintStoredPages(static_cast<int>(PagesToPrint), true);
    }
    // Printed, aborted, or no preview to show them: nothing stays behind.
    FGdi->ClearStoredPages();
    FGdi.reset();
}

void TPrintFile::ReleaseRun()
{
    FFeed.Close();
    FStatus.reset();
    if (FGdi) {
        FGdi->ClearStoredPages();
        FGdi.reset();
    }
    FCarry.clear();
    FStyler.reset();
}

void TPrintFile::SetPageGrid()
{
    struct Grid {
        int rows, cols;
    };
    static constexpr Grid kGrids[] = {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 2}, {2, 4}};
    const Grid grid = kGrids[PageLayout <= pl_2x4 ? PageLayout : pl_1x1];
    FRows = grid.rows;
    FCols = grid.cols;
}

bool TPrintFile::FormatCell()
{
    FCellTop = 0;
    const bool newSheet = FCellIndex > FRows * FCols;
    if (newSheet)
        FCellIndex = 1;
    const PrinterCaps caps = SelectedCaps();
    const int left = UnitsToPixels(BorderLeft, false);
    const int right = UnitsToPixels(BorderRight, false);
    const int width = (caps.horzRes - left - right) / FCols;
    const int height = (caps.vertRes - 300) / FRows;
    // Once per sheet, under its first cell's header: the call that only
    // learns that the sheet is full would draw them again, from another top.
    if (FCellIndex == 1 && !newSheet && FRows * FCols > 1)
        DrawSeparators(left, right, width, height);

    const bool firstRow = FCellIndex <= FCols;
    const int column = firstRow ? FCellIndex : FCellIndex - FCols;
    const int areaLeft = left + (column - 1) * width + 10;
    const int areaRight = left + column * width - 10;
    if (firstRow) {
        FGdi->SetTextArea(areaLeft, 300, areaRight, 300 + height - 120);
    } else {
        FGdi->SetTextArea(areaLeft, 300 + height, areaRight, 300 + 2 * height);
        FCellTop = 300 + height;
    }
    return newSheet;
}

void TPrintFile::DrawSeparators(int Left, int Right, int Width, int Height)
{
    int top = std::abs(FGdi->FrameBottom());
    if (top > 1000)
        top = 232;
    const int footer = UnitsToPixels(FooterTop, true);
    FGdi->SetPen(1, clSilver);
    for (int i = 1; i < FCols; ++i) {
        FGdi->MoveTo(Left + i * Width, top);
        FGdi->LineTo(Left + i * Width, footer);
    }
    for (int i = 1; i < FRows; ++i) {
        FGdi->MoveTo(Left, 300 + i * Height);
        FGdi->LineTo(SelectedCaps().horzRes - Right, 300 + i * Height);
    }
    FGdi->SetPen(1, clBlack);
}

void TPrintFile::DrawCellHeader(bool FirstCell)
{
    FGdi->SetBrush(Brush);
    FGdi->DrawHeader(HeaderEnabled, HeaderFont, UnitsToPixels(BorderLeft, false),
                     UnitsToPixels(BorderRight, false), HeaderStringLeft,
                     FirstCell ? std::string() : HeaderStringCenter, HeaderStringRight,
                     UnitsToPixels(HeaderTop, true), HeaderFilled, HeaderOutlined, false,
                     FrameStyleLeft, FrameStyleTop, FrameStyleRight, FrameStyleBottom);
}

void TPrintFile::DrawCellFooter()
{
    FGdi->SetBrush(Brush);
    const int left = UnitsToPixels(BorderLeft, false);
    const int right = UnitsToPixels(BorderRight, false);
    const int top = UnitsToPixels(FooterTop, true);
    FGdi->DrawFooter(FooterFont, left, right, FooterString, top, FooterFilled, FooterOutlined, false,
                     FrameStyleLeft, FrameStyleTop, FrameStyleRight, FrameStyleBottom);
    if (DateTimeStampEnabled)
        FGdi->DrawDateTimeStamp(left, top);
    if (PageNumberEnabled)
        FGdi->DrawPageNumber(right, top);
}

void TPrintFile::PrintCellText()
{
    FGdi->SetFont(ContentsFont);
    const int h = std::abs(PrinterCanvas().Font.Height);
    const int step = roundHalfEven(h * LineSpacing);
    FY = FCellTop > 0 ? FCellTop : roundHalfEven(h / LineSpacing) + 200 + step;
    FGdi->SetLineHeight(step);
    FSkipNextText = false;
    FRunStyle = TRunStyle::Plain;
    FPlainColor = FGdi->TextColor();
    ReserveGutter();
    FGdi->CarriageReturn();
    // A first-row cell of a two-row sheet ends at its own bottom, so its
    // lines never run over the cell below it.
    const int limit = std::min(FBottomLimit, FGdi->Bottom());
    std::string line;
    while ((!FEndOfInput || !FCarry.empty()) && ReadNextLine(line)) {
        if (FLineStarts)
            PrintLineNumber();
        bool joined = false;
        while (!line.empty()) {
            std::string segment;
            NextSegment(line, segment);
            if (segment.empty())
                continue;
            if (FPendingBreak) {
                NewLine();
                FGdi->CarriageReturn();
            }
            FPendingBreak = false;
            if (Input == frHTML)
                StripLeadingBlanks(segment);
            else if (!FStyler)
                StripTrailingBlanks(segment);
            if (segment.empty())
                continue;
            if (!FSkipNextText && !FGdi->PutText(FY, segment, joined)) {
                // The rest of the source line goes too, not only the rest
                // of the run that filled the cell, in the style it stood in.
                FCarry = (FStyler ? RunMarker(FRunStyle) : std::string()) + segment + line;
                return;
            }
            joined = FStyler != nullptr;
            FSkipNextText = false;
        }
        if (Input != frHTML && FNewLineAfter) {
            FY += step;
            FGdi->CarriageReturn();
        }
        if (FY > limit)
            return;
    }
}

void TPrintFile::NewLine()
{
    FY += roundHalfEven(std::abs(PrinterCanvas().Font.Height) * LineSpacing);
}

bool TPrintFile::ReadNextLine(std::string& Line)
{
    FLineStarts = false;
    if (!FCarry.empty()) {
        Line = std::move(FCarry);
        FCarry.clear();
        return true;
    }
    if (IsFileInput(Input)) {
        if (!FFeed.Next(FFedLine))
            return false;
        Line.swap(FFedLine.Text); // the two buffers take turns
        FEndOfInput = FFedLine.EndOfInput;
        FNewLineAfter = FFedLine.NewLineAfter;
        FLineStarts = FFedLine.StartsLine;
        return true;
    }
    const TLineSource* source = Input == frTMemo ? Memo : RichEdit;
    if (!source || FLineIndex >= source->Count()) {
        FEndOfInput = true;
        return false;
    }
    Line = source->Line(FLineIndex++);
    ExpandTabs(Line);
    FNewLineAfter = true;
    FLineStarts = true;
    StyleLine(Line);
    return true;
}

} // namespace velm
