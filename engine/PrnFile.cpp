#include "engine/PrnFile.h"

#include "engine/Gdi.h"
#include "engine/PageOutput.h"
#include "engine/UserInterface.h"
#include "platform/core/clock.h"
#include "platform/core/codepage.h"
#include "platform/core/convert.h"
#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/printing/printer.h"
#include "platform/system/display.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include <sys/stat.h>

namespace velm {

namespace {

bool IsFileInput(TInput input) { return input == frFile || input == frHTML; }

void Raise(const TNotifyEvent& event, TPrintFile* sender)
{
    if (event)
        event(sender);
}

// When the file was last written; the printing's time for one that is gone.
std::time_t ModificationTime(const std::string& file)
{
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 ? info.st_mtime : documentTime();
}

PrinterCaps SelectedCaps() { return Printers::instance().selected().caps(); }

// The sheet's fixed pixel counts, the same at every printer resolution.
// Text begins this far below the sheet's top: the first row's top, and
// the rows share out the height below it.
constexpr int kTextTop = 300;
// `FBottomLimit` stands this far above the sheet's bottom.
constexpr int kBottomLimitRise = 200;
// A first-row cell's first line lies this far down, plus the contents
// font's height over the line spacing and one line step.
constexpr int kFirstLineDrop = 200;
// The footer box stands this far above the sheet's bottom.
constexpr int kFooterRise = 100;
// Text keeps this far in from its cell's left and right sides.
constexpr int kCellPadding = 10;
// A first-row cell's text area ends this far above the second row.
constexpr int kFirstRowGap = 120;
// The separators start under the header's frame (`FrameBottom`). A frame
// bottom further down than kHeaderFrameDepth is not the header's (it is
// the footer's, say): they start at kSeparatorTop then.
constexpr int kHeaderFrameDepth = 1000;
constexpr int kSeparatorTop = 232;

struct Grid {
    int rows, cols;
};

Grid GridOf(TPageLayout layout)
{
    static constexpr Grid kGrids[] = {{1, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 2}, {2, 4}};
    return kGrids[layout <= pl_2x4 ? layout : pl_1x1];
}

// The printer's page as a run in this orientation sees it, the printer left as it was.
PrinterCaps CapsInOrientation(Printer& printer, TOrient orientation)
{
    const PaperOrientation was = printer.orientation();
    const PaperOrientation wanted = orientation == Landscape ? PaperOrientation::Landscape
                                    : orientation == Portrait ? PaperOrientation::Portrait
                                                              : was;
    if (wanted == was)
        return printer.caps();
    printer.setOrientation(wanted);
    const PrinterCaps caps = printer.caps();
    printer.setOrientation(was);
    return caps;
}

} // namespace

TPrintFile::TPrintFile()
{
    const int pageHeight = SelectedCaps().vertRes;
    FBottomLimit = pageHeight - kBottomLimitRise;
    const double footer = PixelsToUnits(pageHeight - 2 * UnitsToPixels(HeaderTop, true), true);
    FooterTop = strToFloat(formatFixed(footer, 2));
}

TPrintFile::~TPrintFile() = default;

TJobOutcome TPrintFile::Execute(const TCancelFlag& Cancel)
{
    const SystemPaperScope jobPaper;
    FCancel = Cancel;
    FOutcome = {};
    FCellTop = 0;
    FEndOfInput = false;
    if (const std::string problem = GeometryProblem(); !problem.empty()) {
        Tell("Error: " + problem);
        return std::exchange(FOutcome, {});
    }
    if (!OpenInput())
        return std::exchange(FOutcome, {});
    const DocumentTimeScope jobTime; // every sheet's stamp and the PDF's date
    try {
        StartRun();
        RunCells();
        FinishRun();
    } catch (...) {
        ReleaseRun();
        throw;
    }
    return std::exchange(FOutcome, {});
}

// A message box of the run, which its outcome keeps.
void TPrintFile::Tell(const std::string& Message)
{
    FOutcome.Messages.push_back(Message);
    ShowMessage(Message);
}

bool TPrintFile::OpenInput()
{
    FHtml.reset();
    if (IsFileInput(Input)) {
        if (!inputExists(Filename)) {
            Tell(format("Error: File %s cannot be opened", Filename.c_str()));
            return false;
        }
        if (Input == frHTML && FullHtml) {
            try {
                FHtml = std::make_unique<THtmlDocument>(Filename, HtmlLinks);
            } catch (const FileError&) {
                Tell(format("Error: File %s cannot be opened", Filename.c_str()));
                return false;
            }
            return true;
        }
        FFeed.Open(Filename, Input == frFile);
        FFeed.SetTextControls(TabSize > 0, FormFeeds);
        if (RefuseBinary && FFeed.Binary()) {
            FFeed.Close();
            Tell(format("Error: File %s is binary data, not text, and is not printed", Filename.c_str()));
            return false;
        }
    }
    if (Input == frTMemo && !Memo) {
        Tell("Error: TMemo contains nothing");
        return false;
    }
    if (Input == frRichEdit && !RichEdit) {
        Tell("Error: TRichEdit contains nothing");
        return false;
    }
    return true;
}

void TPrintFile::StartRun()
{
    FCarry.clear();
    FLineOpen = false;
    FEndOfInput = false;
    FFormFeed = FAfterFormFeed = false;
    FCellNumber = 0;
    Printer& printer = Printers::instance().selected();
    if (Orientation == Landscape)
        printer.setOrientation(PaperOrientation::Landscape);
    else if (Orientation == Portrait)
        printer.setOrientation(PaperOrientation::Portrait);
    const PrinterCaps caps = printer.caps();
    FBottomLimit = caps.vertRes - kBottomLimitRise;
    FLineIndex = 0;

    FGdi = std::make_unique<TGdi>();
    FGdi->ClearStoredPages();
    FPendingBreak = false;
    SetPageGrid();

    FStatus = std::make_unique<StatusDialogScope>(FCancel);
    (*FStatus)->Show();
    ProcessMessages();

    FGdi->BeginDocument(ViewBkColor, ViewHeading, ZoomPercentage, JobDocumentName());
    FGdi->SetPagesPerSheet(PagesPerSheet);
    Raise(OnBeforePrint, this);
    ApplyBaseFont();
    PrinterCanvas().Font.PixelsPerInch = caps.logPixelsY;
    SetMetricUnits(Units == poCentimetres);
    FooterTop = PixelsToUnits(caps.vertRes - kFooterRise, true);
    FGdi->SelectFont(PrinterCanvas().Font.Name, PrinterCanvas().Font.Height);
    StartSource();
    StartHtml();
    if (StreamsPages()) {
        TPageChoice choice;
        choice.Which = static_cast<int>(PagesToPrint);
        choice.WholePass = true;
        choice.Cancel = FCancel;
        FStream = std::make_unique<TPageStream>(FGdi->StoredJob(), choice);
        FGdi->SendPagesTo([this](int N, std::vector<std::uint8_t> Page) { FStream->Put(N, std::move(Page)); });
    }
}

bool TPrintFile::StreamsPages() const
{
    const bool totals = HeaderFields && (NeedsTotals(HeaderStringLeft) || NeedsTotals(HeaderStringCenter) ||
                                         NeedsTotals(HeaderStringRight) || NeedsTotals(FooterString));
    return PlayWhileFormatting && OutputTo == poPrinter && !PageSelection && !KeepStoredPages && !totals &&
           !OnPrintHeader && !OnPrintFooter && !OnNewPage;
}

void TPrintFile::ApplyBaseFont()
{
    TFont& canvas = PrinterCanvas().Font;
    canvas.Name = FBaseFont.Name;
    canvas.Height = FBaseFont.Height;
}

std::string TPrintFile::JobDocumentName() const
{
    if (!DocumentName.empty())
        return DocumentName;
    const std::size_t slash = Filename.find_last_of('/');
    const std::string name = slash == std::string::npos ? Filename : Filename.substr(slash + 1);
    return name.empty() ? "Velm" : name;
}

bool TPrintFile::InputDone() const
{
    // A whole source line read up to the end of the file may still be carried.
    if (!FCarry.empty())
        return false;
    if (FHtml)
        return FHtml->Done();
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
        ++FCellNumber;
        Raise(OnPrintHeader, this);
        DrawCellHeader(firstCell);
        firstCell = false;
        FormatCell();
        PrintCellText();
        Raise(OnPrintFooter, this);
        DrawCellFooter();
        Raise(OnNewPage, this);
        if (FCancel.IsSet()) {
            FOutcome.Cancelled = true;
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
    FHtml.reset();
    Raise(OnAfterPrint, this);
    FGdi->EndPage();
    FGdi->LateTexts().Resolve(FCellNumber, FGdi->PageCount());
    FOutcome.PagesFormatted = FGdi->PageCount();
    FStatus.reset();
    if (FStream) {
        const std::unique_ptr<TPageStream> stream = std::move(FStream);
        stream->Finish(FOutcome, FOutcome.Cancelled);
    } else if (!FOutcome.Cancelled) {
        if (OutputTo == poViewer && ui().showPreview) {
            // The preview owns the stored pages now: closing it deletes them.
            ui().showPreview(*this, FOutcome);
            FGdi.reset();
            return;
        }
        if (OutputTo == poPrinter)
            PrintRecordedPages();
    }
    // Printed, aborted, or no preview to show them: nothing stays behind,
    // unless the caller keeps the pages.
    if (!KeepStoredPages)
        FGdi->ClearStoredPages();
    FGdi.reset();
}

void TPrintFile::PrintRecordedPages()
{
    TPageChoice choice;
    choice.Which = static_cast<int>(PagesToPrint);
    choice.Selected = PageSelection;
    choice.WholePass = !PageSelection;
    choice.StatusLine = "Printing...";
    choice.Cancel = FCancel;
    PrintStoredJob(FGdi->StoredJob(), choice, FOutcome);
}

void TPrintFile::ReleaseRun()
{
    FStream.reset(); // cancels its printing
    FFeed.Close();
    FHtml.reset();
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
    const Grid grid = GridOf(PageLayout);
    FRows = grid.rows;
    FCols = grid.cols;
}

std::string TPrintFile::GeometryProblem() const
{
    Printer& printer = Printers::instance().selected();
    const PrinterCaps caps = CapsInOrientation(printer, Orientation);
    const Grid grid = GridOf(PageLayout);
    const bool metric = Units == poCentimetres;
    const int left = UnitsToPixels(BorderLeft, caps.logPixelsX, metric);
    const int right = UnitsToPixels(BorderRight, caps.logPixelsX, metric);
    // As the cell loop lays the text out.
    const int width = (caps.horzRes - left - right) / grid.cols - 2 * kCellPadding;
    const int cellHeight = (caps.vertRes - kTextTop) / grid.rows;
    const int footerTop = caps.vertRes - kFooterRise;
    const int h = roundHalfEven(std::abs(ContentsFont.Height) * caps.logPixelsY / displayMetrics().logPixelsY);
    const int firstLine = roundHalfEven(h / LineSpacing) + kFirstLineDrop + roundHalfEven(h * LineSpacing);
    const int height = grid.rows > 1 ? std::min(kTextTop + cellHeight - firstLine, footerTop - (kTextTop + cellHeight))
                                     : footerTop - firstLine;
    const double perUnit = metric ? 2.54 : 1.0;
    const char* unit = metric ? "cm" : "in";
    const auto length = [&](int pixels, int dpi) {
        return formatFixed(std::max(pixels, 0) * perUnit / dpi, 2) + " " + unit;
    };
    if (width < caps.logPixelsX)
        return format("borders of %s and %s leave %s of text width per column; at least %s is needed",
                      length(left, caps.logPixelsX).c_str(), length(right, caps.logPixelsX).c_str(),
                      length(width, caps.logPixelsX).c_str(), length(caps.logPixelsX, caps.logPixelsX).c_str());
    if (height < h)
        return format("the page leaves %s of text height per cell, less than one line of the contents font (%s)",
                      length(height, caps.logPixelsY).c_str(), length(h, caps.logPixelsY).c_str());
    if (height < caps.logPixelsY)
        return format("the page leaves %s of text height per cell; at least %s is needed",
                      length(height, caps.logPixelsY).c_str(), length(caps.logPixelsY, caps.logPixelsY).c_str());
    return {};
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
    const int height = (caps.vertRes - kTextTop) / FRows;
    // Once per sheet, under its first cell's header: the call that only
    // learns that the sheet is full would draw them again, from another top.
    if (FCellIndex == 1 && !newSheet && FRows * FCols > 1)
        DrawSeparators(left, right, width, height);

    const bool firstRow = FCellIndex <= FCols;
    const int column = firstRow ? FCellIndex : FCellIndex - FCols;
    const int areaLeft = left + (column - 1) * width + kCellPadding;
    const int areaRight = left + column * width - kCellPadding;
    if (firstRow) {
        FGdi->SetTextArea(areaLeft, kTextTop, areaRight, kTextTop + height - kFirstRowGap);
    } else {
        FGdi->SetTextArea(areaLeft, kTextTop + height, areaRight, kTextTop + 2 * height);
        FCellTop = kTextTop + height;
    }
    // No text enters the footer box, nor the cell below.
    FGdi->SetTextFloor(firstRow && FRows > 1 ? kTextTop + height : UnitsToPixels(FooterTop, true));
    return newSheet;
}

void TPrintFile::DrawSeparators(int Left, int Right, int Width, int Height)
{
    int top = std::abs(FGdi->FrameBottom());
    if (top > kHeaderFrameDepth)
        top = kSeparatorTop;
    const int footer = UnitsToPixels(FooterTop, true);
    FGdi->SetPen(1, clSilver);
    for (int i = 1; i < FCols; ++i) {
        FGdi->MoveTo(Left + i * Width, top);
        FGdi->LineTo(Left + i * Width, footer);
    }
    for (int i = 1; i < FRows; ++i) {
        FGdi->MoveTo(Left, kTextTop + i * Height);
        FGdi->LineTo(SelectedCaps().horzRes - Right, kTextTop + i * Height);
    }
    FGdi->SetPen(1, clBlack);
}

THeaderFields TPrintFile::CellFields() const
{
    THeaderFields fields;
    fields.File = FieldFileName.empty() ? Filename : FieldFileName;
    const std::size_t slash = fields.File.rfind('/');
    fields.Base = slash == std::string::npos ? fields.File : fields.File.substr(slash + 1);
    fields.Modified = ModificationTime(Filename);
    fields.Printed = documentTime();
    fields.User = JobUser.empty() ? CurrentUserName() : JobUser;
    fields.Title = JobTitle.empty() ? fields.Base : JobTitle;
    fields.Page = FCellNumber;
    fields.Sheet = FGdi->PageCount();
    return fields;
}

// A header or footer text of this cell; one that names a total is noted
// in Late, for its stored page to take the total when it plays.
std::string TPrintFile::CellText(const std::string& Format, TLateText::TAnchor Anchor,
                                 std::vector<TLateText>& Late) const
{
    if (!HeaderFields || Format.find('%') == std::string::npos)
        return Format;
    const THeaderFields fields = CellFields();
    std::string text = ExpandHeaderFields(Format, fields);
    if (NeedsTotals(Format)) {
        TLateText late;
        late.Drawn = toPrintable(text);
        late.Anchor = Anchor;
        late.Format = Format;
        late.Fields = fields;
        Late.push_back(std::move(late));
    }
    return text;
}

void TPrintFile::DrawCellHeader(bool FirstCell)
{
    FGdi->SetBrush(Brush);
    std::vector<TLateText> late;
    const std::string left = CellText(HeaderStringLeft, TLateText::Left, late);
    const bool title = FHtml && HtmlTitleInHeader && !FHtml->Title().empty();
    const std::string centreFormat = title ? (HeaderFields ? EscapeHeaderFields(FHtml->Title()) : FHtml->Title())
                                           : HeaderStringCenter;
    const std::string centre = FirstCell ? std::string() : CellText(centreFormat, TLateText::Centre, late);
    const std::string right = CellText(HeaderStringRight, TLateText::Right, late);
    FGdi->ExpectLateTexts(std::move(late));
    FGdi->DrawHeader(HeaderEnabled, HeaderFont, UnitsToPixels(BorderLeft, false),
                     UnitsToPixels(BorderRight, false), left, centre, right,
                     UnitsToPixels(HeaderTop, true), HeaderFilled, HeaderOutlined, false,
                     FrameStyleLeft, FrameStyleTop, FrameStyleRight, FrameStyleBottom);
    FGdi->ExpectLateTexts({});
}

void TPrintFile::DrawCellFooter()
{
    FGdi->SetBrush(Brush);
    const int left = UnitsToPixels(BorderLeft, false);
    const int right = UnitsToPixels(BorderRight, false);
    const int top = UnitsToPixels(FooterTop, true);
    std::vector<TLateText> late;
    const std::string text = CellText(FooterString, TLateText::Centre, late);
    FGdi->ExpectLateTexts(std::move(late));
    FGdi->DrawFooter(FooterFont, left, right, text, top, FooterFilled, FooterOutlined, false,
                     FrameStyleLeft, FrameStyleTop, FrameStyleRight, FrameStyleBottom);
    FGdi->ExpectLateTexts({});
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
    FY = FCellTop > 0 ? FCellTop : roundHalfEven(h / LineSpacing) + kFirstLineDrop + step;
    FGdi->SetLineHeight(step);
    FTabWidth = TabSize > 0 && Input != frHTML ? TabSize * std::max(1, FGdi->TextWidth("0")) : 0;
    // The handful of tags the small interpreter knows: its runs, its breaks.
    const bool smallHtml = Input == frHTML && !FHtml;
    FSkipNextText = false;
    FRunStyle = TRunStyle::Plain;
    FPlainColor = FGdi->TextColor();
    ReserveGutter();
    FAreaLeft = FGdi->Left();
    if (FHtml) {
        // A line carried over from the last cell keeps its indent, size and style.
        StartHtmlLine(-1, FHtmlHeading, 'T');
    }
    FGdi->CarriageReturn();
    // A first-row cell of a two-row sheet ends at its own bottom, so its
    // lines never run over the cell below it.
    const int limit = std::min(FBottomLimit, FGdi->Bottom());
    const bool afterFormFeed = std::exchange(FAfterFormFeed, false);
    bool drawn = false; // text of this cell is on the page
    std::string line;
    // A row that would pass the footer (or the cell below) starts the next cell.
    while ((!FEndOfInput || !FCarry.empty()) && FGdi->RowFits(FY) && ReadNextLine(line)) {
        // The line break of a line the last cell ended with is no empty first row here.
        const bool lineBreakOnly = std::exchange(FLineOpen, false) && line.empty();
        if (FLineStarts && FFormFeed && line.empty())
            ++FSourceLine; // a line holding only a form feed prints no number
        else if (FLineStarts)
            PrintLineNumber();
        // An overstruck line prints in runs of bold and underlined text,
        // one after the other without gaps.
        FStruck = Input != frHTML && !FStyler && line.find('\b') != std::string::npos;
        if (FStruck)
            StripTrailingBlanks(line);
        bool joined = FContinuesWord;
        while (!line.empty()) {
            std::string segment;
            if (FHtml)
                NextHtmlRun(line, segment);
            else
                NextSegment(line, segment);
            if (segment.empty())
                continue;
            if (FPendingBreak) {
                NewLine();
                FGdi->CarriageReturn();
            }
            FPendingBreak = false;
            if (smallHtml)
                StripLeadingBlanks(segment);
            else if (!FStyler && !FStruck && !FHtml)
                StripTrailingBlanks(segment);
            if (FTabWidth > 0)
                joined = TakeTabs(segment, line, joined);
            if (segment.empty())
                continue;
            if (!FSkipNextText && !FGdi->PutText(FY, segment, joined)) {
                // The rest of the source line goes too, not only the rest
                // of the run that filled the cell, in the style it stood in.
                FCarry = Unread(segment) + line;
                return;
            }
            drawn = true;
            joined = FStyler != nullptr || FStruck || FHtml;
            FSkipNextText = false;
        }
        if (FStruck)
            ApplyStrike(false, false);
        if (std::exchange(FFormFeed, false)) {
            // A cell the text filled right up to the form feed has ended already.
            if (!drawn && !afterFormFeed)
                continue;
            FGdi->CarriageReturn();
            FAfterFormFeed = true;
            return;
        }
        if (!smallHtml && FNewLineAfter) {
            if (!lineBreakOnly)
                FY += FHtml ? FHtmlStep : step;
            FGdi->CarriageReturn();
        }
        if (FY > limit) {
            // Wrapped rows took the line past the limit before its line break.
            FLineOpen = !smallHtml && !FNewLineAfter;
            return;
        }
    }
}

// Text taken off a line, written back so that it reads again in the style
// it stood in.
std::string TPrintFile::Unread(const std::string& Text) const
{
    return FHtml    ? htmlmark::StyleMarker(FHtmlStyle) + Text
           : FStyler ? RunMarker(FRunStyle) + Text
           : FStruck ? Restrike({Text, FStrike.Bold, FStrike.Underline})
                     : Text;
}

// Tabs at the front of Segment move to their stops; from the next tab on
// the segment goes back to Line. The text after a tab follows its stop
// without a word gap.
bool TPrintFile::TakeTabs(std::string& Segment, std::string& Line, bool Joined)
{
    std::size_t tabs = 0;
    for (; tabs < Segment.size() && Segment[tabs] == '\t'; ++tabs) {
        FGdi->TabTo(FTabWidth);
        Joined = true;
    }
    Segment.erase(0, tabs);
    if (const std::size_t next = Segment.find('\t'); next != std::string::npos) {
        Line = Unread(Segment.substr(next)) + Line;
        Segment.resize(next);
    }
    return Joined;
}

void TPrintFile::NewLine()
{
    FY += roundHalfEven(std::abs(PrinterCanvas().Font.Height) * LineSpacing);
}

bool TPrintFile::ReadNextLine(std::string& Line)
{
    FLineStarts = false;
    FContinuesWord = false;
    if (!FCarry.empty()) {
        Line = std::move(FCarry);
        FCarry.clear();
        return true;
    }
    if (FHtml) {
        THtmlLine next;
        if (!FHtml->Next(next)) {
            FEndOfInput = true;
            return false;
        }
        Line = std::move(next.Text);
        FNewLineAfter = next.NewLineAfter;
        FContinuesWord = next.ContinuesRow;
        FEndOfInput = FHtml->Done();
        return true;
    }
    if (IsFileInput(Input)) {
        if (!FFeed.Next(FFedLine))
            return false;
        Line.swap(FFedLine.Text); // the two buffers take turns
        FEndOfInput = FFedLine.EndOfInput;
        FNewLineAfter = FFedLine.NewLineAfter;
        FLineStarts = FFedLine.StartsLine;
        FContinuesWord = FFedLine.ContinuesWord;
        FFormFeed = FFedLine.FormFeed;
        return true;
    }
    const TLineSource* source = Input == frTMemo ? Memo : RichEdit;
    if (!source || FLineIndex >= source->Count()) {
        FEndOfInput = true;
        return false;
    }
    Line = source->Line(FLineIndex++);
    if (TabSize == 0)
        ExpandTabs(Line);
    FNewLineAfter = true;
    FLineStarts = true;
    StyleLine(Line);
    return true;
}

} // namespace velm
