// An HTML page as a browser shows it, laid out into the lines the print
// job prints: an HTML5 parser (libgumbo) builds the page's tree, and a walk
// over it turns blocks into lines and inline elements into styled runs, so
// that the page goes through the job's cells, header, footer and stored
// pages like every other input. The file is read in sections, each parsed
// and laid out on its own, so that no input, however large, is held whole.
#pragma once

#include <cstddef>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velm {

// The faces of a run: bits of a style marker.
enum THtmlStyle : unsigned { hsBold = 1, hsItalic = 2, hsUnderline = 4, hsStrike = 8, hsMono = 16 };

// A laid-out line is marked text: a NUL, a letter and its arguments begin
// every piece that is not text, and the text between them holds no NUL.
//   "\0L" indent heading kind    the line's start: indent levels (+0x20),
//                                heading level ('0' none, '1'..'6'), kind
//                                ('T' text, 'R' a rule across the line)
//   "\0M" text "\0"              the list marker drawn before the line
//   "\0S" style                  the runs that follow (0x40 | THtmlStyle)
//   "\0C" hhhh                   the next run starts hhhh (hexadecimal)
//                                pixels after where the line's text begins
// A piece of a long line that follows the piece before it on its row has
// no line start and begins with a style.
namespace htmlmark {
inline constexpr char Line = 'L', Marker = 'M', Style = 'S', Column = 'C';
std::string StyleMarker(unsigned Faces);
} // namespace htmlmark

// What the layout needs of the page to set table cells side by side.
struct THtmlMeasure {
    std::function<int(const std::string& Text, unsigned Style)> Width; // pixels, in the contents font
    int LineWidth = 0;  // pixels of a line at no indent; 0: tables print cell after cell
    int IndentStep = 0; // pixels of one indent level
    int ColumnGap = 0;  // pixels between two table columns
};

struct THtmlLine {
    std::string Text;          // marked text
    bool NewLineAfter = true;  // false: a piece of a long line, more of it follows
    bool ContinuesRow = false; // the piece goes on from the last one on its row
};

class THtmlDocument {
public:
    // Opens FileName (a FIFO too) and reads its first section, which names
    // the page's title and its character set. Throws FileError. Links: a
    // link's address prints after its text.
    THtmlDocument(const std::string& FileName, bool Links);
    // The page held in memory (tests, fuzzing).
    THtmlDocument(std::string_view Html, bool Links);
    ~THtmlDocument();
    THtmlDocument(const THtmlDocument&) = delete;
    THtmlDocument& operator=(const THtmlDocument&) = delete;

    // The page's <title>, whitespace collapsed; empty when it has none.
    const std::string& Title() const { return FTitle; }
    void SetMeasure(THtmlMeasure Measure) { FMeasure = std::move(Measure); }
    // The next line; false at the end of the page.
    bool Next(THtmlLine& Line);
    bool Done();

    // The page as plain lines, markers dropped, a column start as " | "
    // and a list marker before its line (tests and the recall check).
    static std::vector<std::string> PlainLines(std::string_view Html, bool Links = false,
                                               const THtmlMeasure& Measure = {});

    // Longest text a piece of a line holds.
    static constexpr std::size_t kPieceBytes = 4096;
    // Input parsed at a time.
    static constexpr std::size_t kSectionBytes = 4u << 20;

    struct TLaid {
        int Indent = 0;
        int Heading = 0;
        char Kind = 'T';
        std::string Marker;
        std::string Runs;
    };

private:
    void Start(std::string FirstBytes);
    bool ReadMore();
    bool NextSection(std::string& Html);
    void LaySection(const std::string& Html, bool First);

    std::FILE* FStream = nullptr;
    bool FEof = true;
    std::string FRaw;   // bytes read, not yet converted
    std::string FUtf8;  // converted, not yet parsed
    int FCharset = 0;   // how FRaw becomes UTF-8
    void* FConverter = nullptr; // ICU's, for charsets other than UTF-8 and Windows-1252
    bool FLinks = false;
    bool FFirst = true;
    std::string FTitle;
    THtmlMeasure FMeasure;
    std::deque<TLaid> FLines;
    std::string FPending;  // the rest of a long line, pieces still to give
    unsigned FPendingStyle = 0;
    bool FBlankLast = true; // the last line given is blank, or none was
};

} // namespace velm
