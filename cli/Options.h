// The options of the headless command, parsed GNU style.
#pragma once

#include "engine/PageRanges.h"
#include "engine/PrnFile.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace velm {

// A command line that cannot be run as given; the message says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file name that stands for standard input.
inline constexpr const char* kStandardInput = "-";

// The printer that -o writes on.
inline constexpr const char* kBuiltInPrinter = "Velm PDF";

struct CommandOptions {
    std::vector<std::string> files;
    std::optional<std::string> printer;
    std::optional<std::string> output;     // absolute path, or "-" for standard output
    std::optional<std::string> keepPages;  // absolute path
    std::optional<TPageLayout> layout;
    std::optional<int> nup;                 // finished sheets scaled onto one: 1, 2, 4 or 8
    std::optional<TPagesToPrint> pages;
    std::optional<PageSelection> pageRange; // "1,2,5,7-14,21": the sheets it names
    std::optional<TInput> input;
    std::optional<bool> fullHtml; // --html=full|simple; unset: full
    bool htmlLinks = false;       // a link's address after its text
    // An HTML page's title as the header's centre text; unset: unless --header names one.
    std::optional<bool> pageTitleHeader;
    std::optional<std::string> font;
    std::optional<int> fontSize;
    std::optional<double> lineSpacing;
    std::optional<std::string> header, headerLeft, headerRight, footer;
    std::optional<std::pair<double, double>> borders;
    std::optional<TUnits> units;
    std::optional<TOrient> orientation;
    bool lineNumbers = false;
    std::optional<std::string> highlight; // a language, or empty: told from the file name
    bool monochrome = false;
    // Plain text as text tools print it (unset: the Part's defaults).
    std::optional<int> tabSize;     // -T: tab stops every N columns
    std::optional<bool> formFeed;   // --form-feed, --no-form-feed
    // The header's and footer's texts are formats with fields (%f, %p, ...);
    // the filter names the job's title and user for them.
    std::string jobTitle, jobUser; // the job's title also names it and its PDF in place of the file
    bool printBinary = false; // binary data prints (the CUPS filter), not refused
    bool noDate = false;
    bool noPageNumber = false;
    bool noHeader = false;
    bool preview = false;
    bool listPrinters = false;
    bool help = false;
    bool version = false;

    // Paper and copies.
    std::optional<std::string> paper; // a size every printer knows, or one of the queue's
    std::optional<int> copies;        // unset: the queue's default and the user's lpoptions

    // True when the command line asks for nothing: the desktop starts.
    bool desktop = false;
};

// The face program source prints in when none is named: fontconfig's
// "monospace", as the installed family it stands for.
std::string MonospaceFace();

// Throws UsageError for unknown options, bad values and combinations that
// cannot be honoured (-o with several files, -o on a named queue, ...).
CommandOptions ParseOptions(int argc, char** argv);

extern const char* const kHelpText;
extern const char* const kVersionText;

} // namespace velm
