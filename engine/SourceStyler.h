// Program source as styled runs: a maintained highlighting library cuts
// each source line into keywords, comments, strings and so on, keeping its
// state from one line to the next (a comment opened on one line stays a
// comment on the next), so the job can give each run its own face.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velm {

class TPrintFile;
class TSourceMatcher;

enum class TRunStyle : unsigned char { Plain, Keyword, Comment, String, Number, Preprocessor };

struct TStyledRun {
    TRunStyle Style;
    std::string Text;
    bool operator==(const TStyledRun&) const = default;
};

class TSourceStyler {
public:
    // Language: a language name ("c", "python"), or empty to tell it from
    // FileName. Inactive when neither names a language the library knows.
    TSourceStyler(const std::string& Language, const std::string& FileName);
    ~TSourceStyler();
    TSourceStyler(const TSourceStyler&) = delete;
    TSourceStyler& operator=(const TSourceStyler&) = delete;

    bool Active() const;
    // The runs of the next source line, continuing the previous line's
    // state. A line the library cannot match comes back as one plain run.
    std::vector<TStyledRun> StyleLine(const std::string& Line);
    // The next source line as the job prints it: a RunMarker before each
    // run, without trailing blanks; a NUL of the line comes as its control
    // picture, so that no other NUL is left.
    std::string MarkedLine(std::string Line);

private:
    std::unique_ptr<TSourceMatcher> FMatcher;
};

// The face of one of the highlighting library's element names ("keyword",
// "comment"...); Otherwise for the names it does not set apart (a URL in a
// comment prints as the comment around it).
TRunStyle ElementStyle(std::string_view Element, TRunStyle Otherwise = TRunStyle::Plain);

// A style change inside a marked line: a NUL, which MarkedLine leaves in
// no text, then the style.
std::string RunMarker(TRunStyle Style);

// The language definition a name or a file name selects; empty when none.
std::string LanguageDefinition(const std::string& Language, const std::string& FileName);

// The number of source lines of a file as the line reader counts them.
int CountSourceLines(const std::string& FileName);

// Source printing options as a CUPS filter receives them: "velm-line-numbers"
// and "velm-highlight" (yes, true, on or 1; no, false, off or 0; or a language
// name), and a monochrome colour mode ("print-color-mode=monochrome",
// "ColorModel=Gray"). DocumentName tells the language when Value does not.
// False when Name is none of these.
bool SetSourceOption(TPrintFile& Job, std::string_view Name, std::string_view Value,
                     std::string_view DocumentName);

} // namespace velm
