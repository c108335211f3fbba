// TPrintFile: the print job. The shell sets the published properties and
// calls Execute, which formats the text source into stored pages and then
// previews them or sends them to the printer.
#pragma once

#include "engine/FileReader.h"
#include "engine/HeaderFields.h"
#include "engine/HtmlDocument.h"
#include "engine/JobOutcome.h"
#include "engine/LineFeed.h"
#include "engine/Overstrike.h"
#include "engine/Graphics.h"
#include "engine/SourceStyler.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velm {

class TGdi;
class StatusDialogScope;
class TPageStream;

enum TUnits : unsigned char { poInches, poCentimetres };
enum TOutput : unsigned char { poPrinter, poViewer };
enum TOrient : unsigned char { Default, Landscape, Portrait };
enum TFrameStyles : unsigned char {
    frNone, frSingleThick, frSingleThin, frDoubleThick, frDoubleThin, frDoubleThickThin, frDoubleThinThick
};
enum TInput : unsigned char { frFile, frTMemo, frHTML, frRichEdit };
enum TPageLayout : unsigned char { pl_1x1, pl_1x2, pl_1x3, pl_1x4, pl_2x2, pl_2x4 };
enum TPagesToPrint : unsigned char { pAll, pOdd, pEven };

// The lines of a memo or rich-edit control, as the job reads them.
class TLineSource {
public:
    virtual ~TLineSource() = default;
    virtual int Count() const = 0;
    virtual std::string Line(int index) const = 0;
};

// A plain list of lines (tests, the command line, simple callers).
class TStringList : public TLineSource {
public:
    TStringList() = default;
    explicit TStringList(std::vector<std::string> lines) : Lines(std::move(lines)) {}
    int Count() const override { return static_cast<int>(Lines.size()); }
    std::string Line(int index) const override { return Lines.at(static_cast<std::size_t>(index)); }
    std::vector<std::string> Lines;
};

using TNotifyEvent = std::function<void(class TPrintFile* Sender)>;

class TPrintFile {
public:
    TPrintFile();
    ~TPrintFile();
    TPrintFile(const TPrintFile&) = delete;
    TPrintFile& operator=(const TPrintFile&) = delete;

    // Runs the job and returns what it did. Input problems are reported in
    // a message box and end it; other errors propagate after everything the
    // run made is released. Cancel stops the run at its next look (after a
    // cell, or a page of its printing); its status dialog's "&Abort" sets it.
    TJobOutcome Execute(const TCancelFlag& Cancel = TCancelFlag());

    // Published properties, in declaration order.
    TBrush Brush{clWhite, bsSolid};
    std::string ViewButtonCaption;
    bool ViewButtonVisible = false;
    TOutput OutputTo = poViewer;
    TOrient Orientation = Default;
    TColor ViewBkColor = 11234567;
    TUnits Units = poInches;
    std::string ViewHeading = "Tessly Viewer";
    std::string Filename;
    // The print job's name and its PDF's title; empty: Filename's last part.
    std::string DocumentName;
    double ContentsLeft = 1.0;
    TPageLayout PageLayout = pl_1x1;
    TPagesToPrint PagesToPrint = pAll;
    const TLineSource* Memo = nullptr;      // referenced, not owned
    const TLineSource* RichEdit = nullptr;  // referenced, not owned
    TInput Input = frFile;
    TFont FooterFont{"Arial", 12, clWindowText, 0, 96};
    TFont HeaderFont{"Arial", 16, clWindowText, 0, 96};
    TFont ContentsFont{"Times New Roman", 14, clWindowText, 0, 96};
    TNotifyEvent OnAfterPrint;
    TNotifyEvent OnBeforePrint;
    TNotifyEvent OnNewColumn;         // stored, never raised
    TNotifyEvent OnNewPage;
    TNotifyEvent OnPrint;             // stored, never raised
    TNotifyEvent OnPrintHeader;
    TNotifyEvent OnPrintFooter;
    TNotifyEvent OnPrintPage;         // stored, never raised
    TNotifyEvent OnViewButtonClicked; // stored, never raised
    double ZoomPercentage = 100.0;
    double HeaderTop = 0.5;
    std::string HeaderStringLeft;
    std::string HeaderStringCenter = "Page Header";
    std::string HeaderStringRight;
    bool HeaderEnabled = true;
    bool HeaderOutlined = true;
    bool HeaderFilled = false;
    double FooterTop = 0; // computed at creation, rewritten by every run
    std::string FooterString = "Page Footer";
    bool FooterEnabled = true;
    bool FooterOutlined = true;
    bool FooterFilled = true;
    double BorderLeft = 0.25;
    double BorderRight = 0.25;
    bool DateTimeStampEnabled = true;
    bool PageNumberEnabled = true;
    double LineSpacing = 1.5;
    TFrameStyles FrameStyleLeft = frNone;
    TFrameStyles FrameStyleTop = frSingleThin;
    TFrameStyles FrameStyleRight = frNone;
    TFrameStyles FrameStyleBottom = frSingleThin;

    // Program source, off unless asked for; text input only, never HTML.
    bool LineNumbers = false;       // each source line numbered in a gutter
    bool Highlight = false;         // keywords, comments, strings in their own faces
    std::string HighlightLanguage;  // a language name; empty: told from Filename
    bool Monochrome = false;        // highlighting in faces only, never in colour
    // Plain text as text tools print it, off unless asked for (text input,
    // never HTML). TabSize: tab stops every TabSize columns, a column the
    // contents font's "0"; in a proportional face too the text after a tab
    // starts at the stop's x. 0: a tab is three spaces. FormFeeds: a form
    // feed in a file starts the next cell; one that meets a cell the text
    // filled right up to it starts none of its own.
    int TabSize = 0;
    bool FormFeeds = false;
    static constexpr int kMaxTabSize = 64;
    // The header's and the footer's texts are formats with fields
    // (HeaderFields.h), expanded for every cell; off, they print as they
    // are. The fields' file name, title and user: empty, the file's
    // path, its last component and the caller.
    bool HeaderFields = false;
    std::string FieldFileName;
    std::string JobTitle;
    std::string JobUser;
    // A file whose head is binary data (LooksBinary) is refused with a
    // message; when false it prints, its controls as control pictures.
    bool RefuseBinary = true;
    // Printer output: when set, only the stored pages it selects (after
    // PagesToPrint's parity) go out, and no blank leaf is added.
    std::function<bool(int)> PageSelection;
    // The stored pages are left where the run recorded them.
    bool KeepStoredPages = false;
    // Printer output: each page goes to the printer as soon as it is laid
    // out, never stored (TPageStream), when nothing needs the whole job
    // first: no page selection, no kept pages, no total in the header or
    // footer and no event that could change them.
    bool PlayWhileFormatting = false;
    // Stored pages scaled onto each sheet (n-up) when they are printed and
    // previewed: 1, 2, 4 or 8. The pages themselves are laid out as always.
    int PagesPerSheet = 1;
    // HTML input as a browser shows it (HtmlDocument.h), instead of the
    // small interpreter of a handful of tags: HtmlLinks prints a link's
    // address after its text, HtmlTitleInHeader puts the page's title in
    // place of the header's centre text when the page has one.
    bool FullHtml = false;
    bool HtmlLinks = false;
    bool HtmlTitleInHeader = false;

    // Why no text could be laid out on this job's pages, or empty: each
    // cell's text area must be at least an inch wide and an inch high and
    // hold a line of the contents font, on the selected printer in the
    // job's orientation. The reason names the limit; Execute shows it as an
    // error and prints nothing.
    std::string GeometryProblem() const;

    // Run state, readable for the presenters and tests.
    TGdi* Gdi() const { return FGdi.get(); }

    // Pagination (cell grid and text flow).
    void SetPageGrid();
    bool FormatCell();
    void DrawCellHeader(bool FirstCell);
    void PrintCellText();
    void NewLine();
    void DrawCellFooter();

    // Text sources.
    bool ReadNextLine(std::string& Line);

    // HTML runs.
    void NextSegment(std::string& Line, std::string& Segment);
    void TextUpToMarkup(std::string& Line, std::string& Segment);
    void ParseMarkup(std::string& Line, std::string& Tag);
    void ApplyTag(std::string Tag, std::string& Output);
    void DecodeEntity(std::string& Text);
    void ChangeFontSize(bool Open, int Points);

    // Program source runs.
    void NextStyledRun(std::string& Line, std::string& Segment);
    void ApplyRunStyle(TRunStyle Style);

    // Runs of a page laid out as a browser shows it.
    void StartHtml();
    void NextHtmlRun(std::string& Line, std::string& Segment);
    void ApplyHtmlStyle(unsigned Style);
    void StartHtmlLine(int Indent, int Heading, char Kind);
    int HtmlTextWidth(const std::string& Text, unsigned Style) const;

    // Overstruck runs ("X\bX" bold, "_\bX" underlined) of plain text.
    void NextStruckRun(std::string& Line, std::string& Segment);
    void ApplyStrike(bool Bold, bool Underline);

private:
    std::string JobDocumentName() const;
    void Tell(const std::string& Message);
    bool OpenInput();
    void StartRun();
    void RunCells();
    void FinishRun();
    void ReleaseRun();
    bool InputDone() const;
    bool StreamsPages() const;
    void PrintRecordedPages();
    void ApplyBaseFont();
    void DrawSeparators(int Left, int Right, int Width, int Height);
    void StartSource();
    void StyleLine(std::string& Line);
    void ReserveGutter();
    void PrintLineNumber();
    std::string Unread(const std::string& Text) const;
    THeaderFields CellFields() const;
    std::string CellText(const std::string& Format, TLateText::TAnchor Anchor, std::vector<TLateText>& Late) const;
    bool TakeTabs(std::string& Segment, std::string& Line, bool Joined);

    std::unique_ptr<TGdi> FGdi;
    std::unique_ptr<StatusDialogScope> FStatus; // the "Print Status" dialog of the run
    std::unique_ptr<TPageStream> FStream;       // the printing fed as pages are laid out
    TFont FBaseFont{"Times New Roman", 50, clWindowText, 0, 96};
    int FRows = 1, FCols = 1, FCellIndex = 1, FCellTop = 0;
    int FY = 0;
    int FBottomLimit = 0;
    std::string FCarry;
    bool FEndOfInput = false;
    bool FNewLineAfter = false;
    bool FPendingBreak = false;
    bool FSkipNextText = false;
    bool FIsEntity = false;
    int FLineIndex = 0;
    TCancelFlag FCancel;       // the run's
    TJobOutcome FOutcome;      // what the run did so far
    std::unique_ptr<TSourceStyler> FStyler; // while highlighting
    TRunStyle FRunStyle = TRunStyle::Plain;
    TColor FPlainColor = clBlack;
    bool FColourRuns = false;
    bool FLineStarts = false;  // the last read began a source line
    bool FContinuesWord = false; // the last read goes on inside a word
    bool FLineOpen = false;    // the last cell ended before its last line's line break
    bool FStruck = false;      // the line being printed holds overstrikes
    TStruckRun FStrike;        // the style of its current run (Text unused)
    int FCellNumber = 0;       // cells laid out in this run
    int FTabWidth = 0;         // pixels between tab stops; 0: no tab stops
    bool FFormFeed = false;    // the line being printed ends in a form feed
    bool FAfterFormFeed = false; // the last cell ended at a form feed
    std::unique_ptr<THtmlDocument> FHtml; // while printing a page as a browser shows it
    unsigned FHtmlStyle = 0;
    int FHtmlIndent = 0;      // pixels the current line is indented by
    int FHtmlHeading = 0;     // its heading level, 0 for none
    int FHtmlStep = 0;        // pixels from its row to the next line's
    int FHtmlBaseHeight = 0;  // printer pixels of the contents font
    int FAreaLeft = 0;        // the cell's text area's left before any indent
    std::string FMonoFace;
    int FSourceLine = 0;
    int FNumberDigits = 0;     // 0: no line numbers
    int FDigitWidth = 0;
    // After FStyler: its reading thread stops before the styler goes.
    TLineFeed FFeed;
    TFeedLine FFedLine;
    friend class PrnFileTestAccess;
};

} // namespace velm
