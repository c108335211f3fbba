// TGdi: the drawing surface of one run. Every sheet is recorded as one
// stored page "PRN%.3d.EMF" in the current directory, in printer pixels;
// text widths are measured on the printer canvas font, which the surface
// keeps in step with its own font.
#pragma once

#include "engine/Graphics.h"
#include "engine/JobOutcome.h"
#include "engine/StoredJob.h"
#include "platform/metafile/emf_recorder.h"
#include "platform/metafile/gdi_types.h"
#include "platform/rendering/shaper.h"

#include <ctime>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velm {

// The date stamp of a job printed at when: "Printed on " and the date and
// time in the language of LC_ALL, LC_TIME or LANG (the filter's from the
// job's language), else in the fixed form "2026-12-09 at 05:31:26".
std::string DateStampText(std::time_t when);

class Printer;

// The printer's canvas font and brush: what measuring uses, shared by the
// job and the surface of a run.
struct TPrinterCanvas {
    TFont Font;
    TBrush Brush;
};
TPrinterCanvas& PrinterCanvas();

class TGdi {
public:
    TGdi();   // FRight := the selected printer's page width
    ~TGdi();  // an open page is dropped unsaved
    TGdi(const TGdi&) = delete;
    TGdi& operator=(const TGdi&) = delete;

    // Lifecycle
    void ClearStoredPages();
    // DocumentName names the print job in the queue and the PDF it becomes.
    void BeginDocument(TColor ViewBkColor, const std::string& ViewHeading, double ZoomPercentage,
                       const std::string& DocumentName = "Velm");
    void NewPage();
    void EndPage();
    int PageCount() const { return FPageCount; }
    // Each page ended from now on goes to Sink, page number and recording,
    // instead of into its stored page file.
    using TPageSink = std::function<void(int N, std::vector<std::uint8_t> Page)>;
    void SendPagesTo(TPageSink Sink) { FPageSink = std::move(Sink); }
    // The stored pages of this run as BeginDocument recorded them; before
    // that, the settings file's "Printer" section as it stands.
    const TStoredJob& StoredJob();
    // Its late header and footer texts, which the run adds to and resolves.
    TLateTexts& LateTexts();
    // How many of its pages share a printed sheet (TStoredJob::PagesPerSheet).
    void SetPagesPerSheet(int N);
    // Plays the stored pages onto the selected printer as one document:
    // Which 0 all, 1 odd, 2 even. Selected, when given, further keeps only
    // the page numbers it accepts, and no blank sheet is added.
    TJobOutcome PrintStoredPages(int Which, bool ShowStatus, const std::function<bool(int)>& Selected = {});

    // Text area and position
    void SetTextArea(int Left, int Top, int Right, int Bottom);
    // The lowest pixel row the area's text may cover: a row that would pass
    // it is left for the next area (PutText returns false), unless it is
    // the area's first row. No floor until one is set.
    void SetTextFloor(int Floor) { FFloor = Floor; }
    // Whether a row of the current font at Y stays above the floor.
    bool RowFits(int Y) const;
    void SetLineHeight(int H) { FLineHeight = H; }
    void CarriageReturn() { FX = FLeft; }
    // x to the row's next tab stop, one every Every pixels from where the
    // row's text begins (PutText's first text); a stop past the right edge
    // leaves x there, so that the next text starts the next row.
    void TabTo(int Every);
    // x to Offset pixels after where the row's text begins (PutText's
    // first text), unless the row's text has passed it already.
    void ColumnAt(int Offset);
    int FrameBottom() const { return FFrameBottom; }
    int X() const { return FX; }
    int Left() const { return FLeft; }
    int Right() const { return FRight; }
    int Top() const { return FTop; }
    int Bottom() const { return FBottom; }
    int LineHeight() const { return FLineHeight; }

    // Pens and brushes
    void SetPen(int Width, TColor Color);
    void SetBrushStyle(int Kind, TColor Color, int Hatch);
    void SetBrush(const TBrush& Brush);
    void FillArea(const Rect& R);

    // Fonts and colour
    void MakeFont(const std::string& Name, int Height, bool Bold, bool Italic, bool Underline, bool Strike = false);
    void SelectFont(const std::string& Name, int Height);
    void SetFont(const TFont& Font);
    void SetBold(bool On);
    void SetItalic(bool On);
    void SetUnderline(bool On);
    void SetCentred(bool On) { FCentred = On; }
    void SetListItem(bool On) { FListItem = On; }
    bool Centred() const { return FCentred; }
    bool ListItem() const { return FListItem; }
    void SetFontColor(TColor Color);
    bool Bold() const { return FBold; }
    bool Italic() const { return FItalic; }
    bool Underline() const { return FUnderline; }
    bool Strike() const { return FLogFont.strikeOut; }
    const std::string& FontName() const { return FFontName; }
    int FontHeight() const { return FFontHeight; }
    TColor TextColor() const { return FTextColor; }

    // Drawing
    void TextAt(int X, int Y, const std::string& Text);
    void TextEndingAt(int Right, int Y, const std::string& Text); // right-aligned
    // Joined: the text continues the previous one on its line (the next
    // style run of a source line), so no word gap comes between them.
    bool PutText(int& Y, std::string& Text, bool Joined = false);
    void MoveTo(int X, int Y);
    void LineTo(int X, int Y);
    void DrawRule(int Y);

    // Decorations
    void DrawHeader(bool Enabled, const TFont& Font, int Left, int RightMargin,
                    const std::string& TextLeft, const std::string& TextCentre,
                    const std::string& TextRight, int Top, bool Filled, bool Outlined, bool Rule,
                    int StyleLeft, int StyleTop, int StyleRight, int StyleBottom);
    void DrawFooter(const TFont& Font, int Left, int RightMargin, const std::string& Text, int Top,
                    bool Filled, bool Outlined, bool Rule,
                    int StyleLeft, int StyleTop, int StyleRight, int StyleBottom);
    void DrawFrame(int Left, int Top, int Right, int Bottom,
                   int StyleLeft, int StyleTop, int StyleRight, int StyleBottom);
    // Texts that the next decoration draws and whose totals are not known
    // yet: each is recorded with where it was drawn, for playback to fill in.
    void ExpectLateTexts(std::vector<TLateText> Texts) { FExpectedLate = std::move(Texts); }
    void DrawDateTimeStamp(int X, int Y);
    void DrawPageNumber(int X, int Y);

    // Word wrapping pieces, exposed for the job and for tests. Continues:
    // the text goes on from a word on this line, so a first word too long
    // for any line is cut to fill Avail instead of starting the next line.
    std::string TakeWords(std::string& Text, int Avail, bool Continues = false);
    static std::string FirstWord(const std::string& Text);
    // The longest prefix of whole grapheme clusters, at most MaxClusters,
    // no wider than MaxWidth (it may be empty).
    std::string TakeChars(const std::string& Word, int MaxWidth, std::size_t MaxClusters = std::string::npos);
    int TextWidth(const std::string& Text) const; // on the printer canvas font

private:
    void OpenPage();
    void ForgetHandles();
    EmfRecorder& Page(); // the open stored page; throws when none is open
    void DrawBand(bool Horizontal, int From, int To, int Left, int Top, int Right, int Bottom);
    void DrawSide(int Style, bool Horizontal, bool FromEnd, int Left, int Top, int Right, int Bottom);
    void DrawMeasured(int X, int Y, std::u16string_view Text, const ShapedLine& Line);
    // Where a piece of the current paragraph that starts at pen position X
    // is drawn: right-to-left paragraphs fill their lines from the right.
    int PlacedX(int X, int Width) const;
    // The line of shaped text that fits Avail, taken off the front of Text
    // (UTF-8; Printable is its printed form, Line its shaping), as TakeWords
    // takes plain text: at ICU's break opportunities, a word too long for
    // any line at the last grapheme cluster that fits.
    std::string TakeShapedLine(std::string& Text, std::u16string_view Printable, const ShapedLine& Line, int Avail,
                               bool Continues);
    void TakeLateText(int X, int Y, std::u16string_view Text, const ShapedLine& Line);

    std::string FPageFile;
    std::string FPageFolder; // the current directory at BeginDocument
    bool FMarkPages = true;
    TPageSink FPageSink;
    std::unique_ptr<EmfRecorder> FCanvas; // the open stored page, recording
    int FPageCount = 0;
    GdiHandle FOldPen = kNoHandle, FOldBrush = kNoHandle, FOldFont = kNoHandle;
    GdiHandle FPen = kNoHandle, FFont = kNoHandle, FBrush = kNoHandle;
    LogFont FLogFont;
    int FFontHeight = 0;
    TColor FTextColor = 0;
    bool FBold = false, FUnderline = false, FItalic = false;
    std::string FFontName;
    int FNormalWeight = 400;
    int FBoldWeight = 700;
    int FX = 0;
    int FLeft = 0, FRight = 0, FBottom = 0, FTop = 0;
    int FLineHeight = 30;
    bool FCentred = false, FListItem = false;
    int FFrameBottom = 0;
    std::optional<TStoredJob> FStoredJob;
    std::vector<TLateText> FExpectedLate;
    bool FInWord = false; // the last text PutText drew ended inside a word
    Direction FDirection = Direction::FromText; // of the paragraph PutText is drawing
    int FFloor = std::numeric_limits<int>::max();
    int FFirstRow = std::numeric_limits<int>::max(); // of the area: where text was first drawn
};

// Shared helpers of the print engine.
// The stored page N of the current directory, or of folder.
std::string PageFileName(int N);
std::string PageFileName(int N, const std::string& folder);
// Made first in a private job folder (see JobFolder.h): no folder
// monitor watches inside one, so its stored pages need no mark of being seen.
inline constexpr const char* kPrivateJobMark = ".velm-job";
// Deletes PRN001.EMF, PRN002.EMF, ... of the current directory up to the
// first gap (no page cap); failures are skipped.
void DeletePageFiles();
// Number of stored pages before the first gap, of the current directory
// or of folder.
int StoredPageCount();
int StoredPageCount(const std::string& folder);
bool IsGenericPrinter();
int UnitsToPixels(double Value, bool Vertical);
// The same at a resolution and in units of one's own (Metric: centimetres).
int UnitsToPixels(double Value, int Dpi, bool Metric);
double PixelsToUnits(int Pixels, bool Vertical);
void SetMetricUnits(bool On);
int RoundDiv(double Value, double Divisor);
// Where a word too wide for its line is broken: the number of UTF-16 units
// of Text's longest prefix of whole grapheme clusters, at most MaxClusters
// of them, whose Advances (one per unit) add up to no more than MaxWidth.
// 0 when not even the first cluster fits.
std::size_t LastClusterThatFits(std::u16string_view Text, const std::vector<int>& Advances, int MaxWidth,
                                std::size_t MaxClusters = std::string::npos);

} // namespace velm
