#include "engine/Gdi.h"

#include "engine/UserInterface.h"
#include "platform/core/codepage.h"
#include "platform/core/convert.h"
#include "platform/system/display.h"
#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/rendering/fonts.h"
#include "platform/rendering/shaped_text.h"
#include "platform/printing/printer.h"
#include "platform/system/settings.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <utility>

namespace velm {

namespace {

bool gMetricUnits = false;

Printer& SelectedPrinter() { return Printers::instance().selected(); }

ColorRef ToColorRef(TColor color) { return static_cast<ColorRef>(ColorToRGB(color)) & 0xFFFFFFu; }

// A logical font record holds at most 31 characters of the face name.
std::u16string FaceName(const std::string& name)
{
    std::u16string face = toUnicode(name);
    if (face.size() > 31)
        face.resize(31);
    return face;
}

// What every width is measured with: the printer canvas font as it stands
// (kept between calls: it changes far less often than text is measured).
const LogFont& CanvasLogFont()
{
    thread_local std::string name;
    thread_local LogFont log;
    const TFont& font = PrinterCanvas().Font;
    if (font.Name != name || log.faceName.empty()) {
        name = font.Name;
        log.faceName = FaceName(font.Name);
    }
    log.height = font.Height;
    log.weight = font.Has(fsBold) ? 700 : 400;
    log.italic = font.Has(fsItalic);
    log.underline = font.Has(fsUnderline);
    return log;
}

// One shaping buffer per thread, reused from call to call (each use is
// done with it before the next one shapes).
ShapedLine& Shaped(std::u16string_view text, Direction paragraph = Direction::FromText)
{
    thread_local ShapedLine line;
    shapeLine(CanvasLogFont(), text, line, paragraph);
    return line;
}

// The page geometry and the job's view settings, for the preview and for
// reprints of the stored pages.
TStoredJob RecordStoredJob(TColor viewBkColor, const std::string& viewHeading, double zoomPercentage,
                           const std::string& documentName)
{
    Printer& printer = SelectedPrinter();
    const PrinterCaps caps = printer.caps();
    return TStoredJob({{"PageHeight", std::to_string(caps.vertRes)},
                       {"PageWidth", std::to_string(caps.horzRes)},
                       {"PageMarginBottom", std::to_string(caps.marginBottom)},
                       {"Orientation", printer.orientation() == PaperOrientation::Portrait ? "Portrait" : "Landscape"},
                       {"View Background", std::to_string(ColorToRGB(viewBkColor))},
                       {"Preview Heading", viewHeading},
                       {"Document Name", documentName},
                       {"PrinterName", printer.name()},
                       {"PrinterIndex", std::to_string(Printers::instance().printerIndex())},
                       {"ZoomFactor", formatGeneral(zoomPercentage)},
                       {"Directory", currentDirectory()}});
}

// Kept in the settings file for whoever reads it there; the run's own
// preview and printing take it from the run, so a settings file that
// cannot be written costs this record only.
void WriteStoredJob(const TStoredJob& job)
{
    try {
        SettingsFile().writeStrings("Printer", job.All()); // one write: a job starts with all of them
    } catch (const FileError& e) {
        ShowWarning(std::string(e.what()) + "; the job prints all the same");
    }
}

std::string InFolder(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

} // namespace

TPrinterCanvas& PrinterCanvas()
{
    static TPrinterCanvas canvas;
    return canvas;
}

TGdi::TGdi() : FRight(SelectedPrinter().caps().horzRes) {}

TGdi::~TGdi() = default;

EmfRecorder& TGdi::Page()
{
    if (!FCanvas)
        throw VelmError("No stored page is open");
    return *FCanvas;
}

void TGdi::ForgetHandles()
{
    FOldPen = FOldBrush = FOldFont = kNoHandle;
    FPen = FBrush = FFont = kNoHandle;
}

void TGdi::OpenPage()
{
    const PrinterCaps caps = SelectedPrinter().caps();
    FCanvas = std::make_unique<EmfRecorder>(PageGeometry{caps.horzRes, caps.vertRes, caps.logPixelsX, caps.logPixelsY});
    FCanvas->setBkMode(TRANSPARENT);
    FCanvas->setBkColor(rgb(192, 192, 192));
    // Not selected: FillArea hands it to the device directly.
    FBrush = stockObject(LTGRAY_BRUSH);
}

void TGdi::ClearStoredPages()
{
    DeletePageFiles();
    FPageCount = 0;
}

void TGdi::BeginDocument(TColor ViewBkColor, const std::string& ViewHeading, double ZoomPercentage,
                         const std::string& DocumentName)
{
    ForgetHandles();
    ++FPageCount;
    // The folder is the job's for its whole run: asked once, not per page.
    FPageFolder = currentDirectory();
    FMarkPages = !fileExists(InFolder(FPageFolder, kPrivateJobMark));
    FPageFile = PageFileName(FPageCount, FPageFolder);
    FX = FLeft;
    OpenPage();
    FBold = FUnderline = FItalic = false;
    FFontName = "Arial";
    const int canvasHeight = PrinterCanvas().Font.Height;
    FFontHeight = std::abs(canvasHeight);
    SelectFont("Arial", canvasHeight);
    FStoredJob = RecordStoredJob(ViewBkColor, ViewHeading, ZoomPercentage, DocumentName);
    WriteStoredJob(*FStoredJob);
    ProcessMessages();
}

const TStoredJob& TGdi::StoredJob()
{
    if (!FStoredJob)
        FStoredJob = TStoredJob::FromSettings();
    return *FStoredJob;
}

TLateTexts& TGdi::LateTexts()
{
    StoredJob();
    return FStoredJob->LateTexts;
}

void TGdi::SetPagesPerSheet(int N)
{
    StoredJob();
    FStoredJob->PagesPerSheet = N;
}

void TGdi::NewPage()
{
    EndPage();
    ++FPageCount;
    FPageFile = PageFileName(FPageCount, FPageFolder);
    OpenPage();
    FFontHeight = PrinterCanvas().Font.Height;
    SelectFont(FFontName, FFontHeight);
}

void TGdi::EndPage()
{
    if (!FCanvas)
        return;
    EmfRecorder& page = *FCanvas;
    if (FFont != kNoHandle && FOldFont != kNoHandle)
        page.selectObject(FOldFont);
    page.deleteObject(FFont);
    if (FBrush != kNoHandle && FOldBrush != kNoHandle)
        page.selectObject(FOldBrush);
    page.deleteObject(FBrush); // the stock brush is left alone
    if (FPen != kNoHandle && FOldPen != kNoHandle)
        page.selectObject(FOldPen);
    page.deleteObject(FPen);
    ForgetHandles();
    const std::unique_ptr<EmfRecorder> finished = std::move(FCanvas);
    if (FPageSink) {
        FPageSink(FPageCount, finished->finish());
    } else {
        finished->saveTo(FPageFile);
        // Marked seen before anything else can run, so that a folder monitor
        // never takes a fresh stored page for a new file; none watches inside
        // a private job folder.
        if (FMarkPages)
            setFileAttributes(FPageFile, 0);
    }
    ProcessMessages();
}

void TGdi::SetTextArea(int Left, int Top, int Right, int Bottom)
{
    FLeft = Left;
    FTop = Top;
    FRight = Right;
    FBottom = Bottom;
    FFirstRow = std::numeric_limits<int>::max();
}

bool TGdi::RowFits(int Y) const
{
    return Y <= FFirstRow || static_cast<long long>(Y) + resolvedFont(CanvasLogFont()).cellHeight() <= FFloor;
}

void TGdi::TabTo(int Every)
{
    const long long origin = FLeft != 0 ? FLeft + 10 : FLeft;
    const long long from = std::max<long long>(FX, origin);
    const long long stop = origin + ((from - origin) / Every + 1) * Every;
    FX = static_cast<int>(std::min<long long>(stop, FRight));
    FInWord = false;
}

void TGdi::SetPen(int Width, TColor Color)
{
    EmfRecorder& page = Page();
    if (FPen != kNoHandle) {
        page.selectObject(FOldPen);
        page.deleteObject(FPen);
    }
    FPen = page.createPen(LogPen{PS_SOLID, Width, ToColorRef(Color)});
    FOldPen = page.selectObject(FPen);
}

void TGdi::SetBrushStyle(int Kind, TColor Color, int Hatch)
{
    EmfRecorder& page = Page();
    if (FBrush != kNoHandle) {
        if (FOldBrush != kNoHandle)
            page.selectObject(FOldBrush);
        page.deleteObject(FBrush);
    }
    FBrush = page.createBrush(LogBrush{Kind, ToColorRef(Color), Hatch});
    FOldBrush = page.selectObject(FBrush);

    TBrush& canvas = PrinterCanvas().Brush;
    canvas.Color = Color;
    if (Kind == BS_SOLID)
        canvas.Style = bsSolid;
    else if (Kind == BS_NULL)
        canvas.Style = bsClear;
    else if (Hatch >= HS_HORIZONTAL && Hatch <= HS_DIAGCROSS)
        canvas.Style = static_cast<TBrushStyle>(bsHorizontal + Hatch);
}

void TGdi::SetBrush(const TBrush& Brush)
{
    switch (Brush.Style) {
    case bsSolid:
        SetBrushStyle(BS_SOLID, Brush.Color, HS_CROSS);
        break;
    case bsClear:
        SetBrushStyle(BS_NULL, Brush.Color, HS_CROSS);
        break;
    default:
        SetBrushStyle(BS_HATCHED, Brush.Color, Brush.Style - bsHorizontal);
        break;
    }
}

void TGdi::FillArea(const Rect& R)
{
    if (!IsGenericPrinter())
        Page().fillRect(R, FBrush);
}

void TGdi::MakeFont(const std::string& Name, int Height, bool Bold, bool Italic, bool Underline, bool Strike)
{
    EmfRecorder& page = Page();
    if (FFont != kNoHandle) {
        page.selectObject(FOldFont);
        page.deleteObject(FFont);
    }
    FLogFont = LogFont{};
    FLogFont.height = Height;
    FLogFont.weight = Bold ? FBoldWeight : FNormalWeight;
    FLogFont.italic = Italic;
    FLogFont.underline = Underline;
    FLogFont.strikeOut = Strike;
    FLogFont.faceName = FaceName(Name);
    FFont = page.createFont(FLogFont);
    const GdiHandle replaced = page.selectObject(FFont);
    // Always the font the page started with.
    if (FOldFont == kNoHandle)
        FOldFont = replaced;

    FFontHeight = std::abs(Height);
    FBold = Bold;
    FItalic = Italic;
    FUnderline = Underline;
    FFontName = Name;

    TFont& canvas = PrinterCanvas().Font;
    canvas.Name = Name;
    canvas.Height = FFontHeight;
    canvas.Style = (Bold ? fsBold : 0u) | (Italic ? fsItalic : 0u) | (Underline ? fsUnderline : 0u);
}

void TGdi::SelectFont(const std::string& Name, int Height) { MakeFont(Name, Height, FBold, FItalic, FUnderline); }

void TGdi::SetFont(const TFont& Font)
{
    // Screen pixels to printer pixels: the job gives the canvas font the
    // printer's resolution.
    const double ratio = static_cast<double>(PrinterCanvas().Font.PixelsPerInch) / displayMetrics().logPixelsY;
    MakeFont(Font.Name, roundHalfEven(std::abs(Font.Height) * ratio), Font.Has(fsBold), Font.Has(fsItalic),
             Font.Has(fsUnderline));
    PrinterCanvas().Font.Color = Font.Color;
}

void TGdi::SetBold(bool On) { MakeFont(FFontName, FFontHeight, On, FItalic, FUnderline); }

void TGdi::SetItalic(bool On) { MakeFont(FFontName, FFontHeight, FBold, On, FUnderline); }

void TGdi::SetUnderline(bool On) { MakeFont(FFontName, FFontHeight, FBold, FItalic, On); }

void TGdi::SetFontColor(TColor Color)
{
    if (isSystemColor(Color))
        Color = clBlack;
    FTextColor = Color;
    PrinterCanvas().Font.Color = Color;
    Page().setTextColor(ToColorRef(Color));
}

void TGdi::ColumnAt(int Offset)
{
    FX = std::max(FX, FLeft + 10 + Offset);
    FInWord = false;
}

int TGdi::TextWidth(const std::string& Text) const { return Shaped(toPrintable(Text)).width(); }

void TGdi::TextAt(int X, int Y, const std::string& Text)
{
    const std::u16string text = toPrintable(Text);
    DrawMeasured(X, Y, text, Shaped(text));
}

void TGdi::TextEndingAt(int Right, int Y, const std::string& Text)
{
    const std::u16string text = toPrintable(Text);
    const ShapedLine& line = Shaped(text);
    DrawMeasured(Right - line.width(), Y, text, line);
}

// Drawn whole, however long: the advances are the measured widths, so the
// page shows exactly what the layout computed.
void TGdi::DrawMeasured(int X, int Y, std::u16string_view Text, const ShapedLine& Line)
{
    const int width = recordShapedLine(Page(), X, Y, CanvasLogFont(), Text, Line);
    if (!FExpectedLate.empty())
        TakeLateText(X, Y, Text, Line);
    FFirstRow = std::min(FFirstRow, Y);
    FX = X + width;
}

int TGdi::PlacedX(int X, int Width) const
{
    if (FDirection != Direction::RightToLeft)
        return X;
    // Mirrored in the columns left-to-right text takes: from the first
    // pen position (past the 10-pixel step) to the right edge.
    const int lineStart = FLeft != 0 ? FLeft + 10 : FLeft;
    return lineStart + FRight - X - Width;
}

void TGdi::TakeLateText(int X, int Y, std::u16string_view Text, const ShapedLine& Line)
{
    const auto late = std::find_if(FExpectedLate.begin(), FExpectedLate.end(),
                                   [&](const TLateText& t) { return t.Drawn == Text; });
    if (late == FExpectedLate.end())
        return;
    late->Page = FPageCount;
    late->X = X;
    late->Y = Y;
    if (!Line.fast) {
        // Its playback shapes the final text again in place of these runs.
        late->Font = CanvasLogFont();
        late->Width = placeShapedLine(X, Y, late->Font, Text, Line, [&](const PlacedShapedRun& run) {
            if (late->ShapedRuns++ == 0) {
                late->FirstRunX = run.x;
                late->FirstRunY = run.y;
            }
        });
    }
    LateTexts().Add(std::move(*late));
    FExpectedLate.erase(late);
}

bool TGdi::PutText(int& Y, std::string& Text, bool Joined)
{
    bool gap = !Joined;
    // Joined text that goes on inside a word finishes this line before it
    // breaks; any other word too long for a line starts a line of its own.
    bool continues = Joined && FInWord && !Text.empty() && Text[0] != ' ';
    bool first = true;
    while (!Text.empty()) {
        // Measured once: text that fits is drawn with these advances.
        const std::u16string text = toPrintable(Text);
        if (std::exchange(first, false) && (!Joined || FDirection == Direction::FromText))
            FDirection = paragraphDirection(text);
        const ShapedLine& line = Shaped(text, FDirection);
        const int width = line.width();
        if (FX != 0 && gap)
            FX += 10;
        gap = true;
        if (!RowFits(Y))
            return false;
        if (FX + width <= FRight) {
            const int pen = FX;
            DrawMeasured(PlacedX(pen, width), Y, text, line);
            FX = pen + width;
            FInWord = Text.back() != ' ';
            Text.clear();
            break;
        }
        const std::string piece = line.fast ? TakeWords(Text, FRight - FX, continues)
                                            : TakeShapedLine(Text, text, line, FRight - FX, continues);
        continues = false;
        if (!piece.empty()) {
            const std::u16string pieceText = toPrintable(piece);
            const ShapedLine& pieceLine = Shaped(pieceText, FDirection);
            DrawMeasured(PlacedX(FX, pieceLine.width()), Y, pieceText, pieceLine);
        }
        FX = FLeft;
        Y += FLineHeight;
        if (!piece.empty() && Y >= FBottom)
            return false;
    }
    return true;
}

std::string TGdi::TakeShapedLine(std::string& Text, std::u16string_view Printable, const ShapedLine& Line, int Avail,
                                 bool Continues)
{
    const int fullLine = FRight - FLeft - 10;
    thread_local std::vector<std::uint32_t> breaks;
    lineBreaks(Printable, breaks);
    // The widest line that fits ends at the last break whose text, without
    // the spaces before the break, is no wider than Avail.
    std::size_t taken = 0, firstWord = 0;
    long long width = 0;
    std::size_t summed = 0;
    for (const std::uint32_t at : breaks) {
        std::size_t end = at;
        while (end > 0 && Printable[end - 1] == u' ')
            --end;
        if (end == 0)
            continue;
        for (; summed < end; ++summed)
            width += Line.advances[summed];
        if (firstWord == 0)
            firstWord = end;
        if (width > Avail)
            break;
        taken = end;
    }
    // Shaped on its own, a line can come out wider than its part of the
    // whole (a joining form at its new end): then it ends a break earlier.
    const auto tooWide = [&](std::size_t units) {
        thread_local ShapedLine trial; // Line stays as it is: the cut below needs it
        shapeLine(CanvasLogFont(), Printable.substr(0, units), trial, FDirection);
        return trial.width() > Avail;
    };
    while (taken > 0 && tooWide(taken)) {
        const auto earlier = std::lower_bound(breaks.begin(), breaks.end(), taken);
        std::size_t end = earlier == breaks.begin() ? 0 : *(earlier - 1);
        while (end > 0 && Printable[end - 1] == u' ')
            --end;
        taken = end;
    }
    if (taken == 0) {
        int wordWidth = 0;
        for (std::size_t unit = 0; unit < firstWord; ++unit)
            wordWidth += Line.advances[unit];
        // Too long for any line: cut at the last cluster that fits, on a
        // line of its own unless it goes on from the text before it.
        const bool lineStart = Avail >= fullLine;
        if (wordWidth <= fullLine || !(lineStart || Continues))
            return {};
        taken = LastClusterThatFits(Printable, Line.advances, std::min(Avail, fullLine));
        // Even a line too narrow for one character takes one, so that the
        // text always moves on.
        if (taken == 0 && lineStart)
            taken = LastClusterThatFits(Printable, Line.advances, std::numeric_limits<int>::max() / 2, 1);
        const std::string piece = Text.substr(0, bytesOfUnits(Text, taken));
        Text.erase(0, piece.size());
        return piece;
    }
    // The break takes one space with it, as between whole words.
    const std::size_t units = taken < Printable.size() && Printable[taken] == u' ' ? taken + 1 : taken;
    std::string piece = Text.substr(0, bytesOfUnits(Text, taken));
    Text.erase(0, bytesOfUnits(Text, units));
    return piece;
}

std::string TGdi::TakeWords(std::string& Text, int Avail, bool Continues)
{
    const int fullLine = FRight - FLeft - 10;
    const int spaceWidth = TextWidth(" ");
    std::string piece;
    std::string acc;
    int accWidth = 0;
    while (!Text.empty()) {
        const std::string word = FirstWord(Text);
        const int wordWidth = TextWidth(word);
        if (wordWidth > fullLine) {
            // Too long for any line: cut at the last cluster that fits, on
            // a line of its own unless it goes on from the text before it.
            const bool lineStart = Avail >= fullLine;
            if (acc.empty() && (lineStart || Continues)) {
                piece = TakeChars(word, std::min(Avail, fullLine));
                // Even a line too narrow for one character takes one, so
                // that the text always moves on.
                if (piece.empty() && lineStart)
                    piece = TakeChars(word, std::numeric_limits<int>::max() / 2, 1);
                Text.erase(0, piece.size());
            }
            break;
        }
        // Widths add up character by character, so the sum is the width of acc.
        accWidth = acc.empty() ? wordWidth : accWidth + spaceWidth + wordWidth;
        acc = acc.empty() ? word : acc + " " + word;
        if (accWidth > Avail)
            break;
        piece = acc;
        Text.erase(0, std::min(Text.size(), word.size() + 1));
    }
    return piece;
}

std::string TGdi::FirstWord(const std::string& Text)
{
    const std::size_t first = Text.find(' ');
    if (first == std::string::npos)
        return Text;
    if (first > 0)
        return Text.substr(0, first);
    const std::size_t second = Text.find(' ', 1);
    return second == std::string::npos ? Text : Text.substr(0, second);
}

std::string TGdi::TakeChars(const std::string& Word, int MaxWidth, std::size_t MaxClusters)
{
    const std::u16string text = toPrintable(Word);
    const std::size_t units = LastClusterThatFits(text, textAdvances(CanvasLogFont(), text), MaxWidth, MaxClusters);
    return Word.substr(0, bytesOfUnits(Word, units));
}

void TGdi::MoveTo(int X, int Y) { Page().moveTo(X, Y); }

void TGdi::LineTo(int X, int Y)
{
    if (!IsGenericPrinter())
        Page().lineTo(X, Y);
}

void TGdi::DrawRule(int Y)
{
    if (IsGenericPrinter())
        return;
    MoveTo(FLeft - 10, Y);
    LineTo(FRight + 10, Y);
}

std::size_t LastClusterThatFits(std::u16string_view Text, const std::vector<int>& Advances, int MaxWidth,
                                std::size_t MaxClusters)
{
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, QStringView(Text.data(), static_cast<qsizetype>(Text.size())));
    std::size_t fits = 0;
    long long width = 0;
    for (std::size_t taken = 0; taken < MaxClusters; ++taken) {
        const qsizetype next = clusters.toNextBoundary();
        if (next < 0)
            break;
        const auto end = static_cast<std::size_t>(next);
        for (std::size_t unit = fits; unit < end; ++unit)
            width += Advances[unit];
        if (width > MaxWidth)
            break;
        fits = end;
    }
    return fits;
}

std::string PageFileName(int N) { return PageFileName(N, currentDirectory()); }

std::string PageFileName(int N, const std::string& folder) { return InFolder(folder, format("PRN%.3d.EMF", N)); }

// The folder is asked once, not for every page.
void DeletePageFiles()
{
    const std::string folder = currentDirectory();
    for (int n = 1; fileExists(PageFileName(n, folder)); ++n)
        deleteFile(PageFileName(n, folder));
}

int StoredPageCount() { return StoredPageCount(currentDirectory()); }

int StoredPageCount(const std::string& folder)
{
    int count = 0;
    while (fileExists(PageFileName(count + 1, folder)))
        ++count;
    return count;
}

bool IsGenericPrinter() { return SelectedPrinter().name().compare(0, 7, "Generic") == 0; }

int UnitsToPixels(double Value, bool Vertical)
{
    const PrinterCaps caps = SelectedPrinter().caps();
    return UnitsToPixels(Value, Vertical ? caps.logPixelsY : caps.logPixelsX, gMetricUnits);
}

int UnitsToPixels(double Value, int Dpi, bool Metric)
{
    if (Value < 0 || Value > 35000)
        return 0;
    return roundHalfEven(Dpi * Value / (Metric ? 2.54 : 1.0));
}

double PixelsToUnits(int Pixels, bool Vertical)
{
    const PrinterCaps caps = SelectedPrinter().caps();
    const double dpi = Vertical ? caps.logPixelsY : caps.logPixelsX;
    const double units = Pixels * (gMetricUnits ? 2.54 : 1.0) / dpi;
    return units < 0 ? 0 : units;
}

void SetMetricUnits(bool On) { gMetricUnits = On; }

int RoundDiv(double Value, double Divisor) { return roundHalfEven(Value / Divisor); }

} // namespace velm
