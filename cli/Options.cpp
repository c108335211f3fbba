#include "cli/Options.h"

#include "engine/HeaderFields.h"
#include "platform/core/convert.h"
#include "platform/core/errors.h"
#include "platform/rendering/font_fallback.h"

#include <algorithm>
#include <filesystem>
#include <getopt.h>
#include <initializer_list>

namespace velm {

const char* const kVersionText = "velm " VELM_VERSION "\n";

const char* const kHelpText =
    "Usage: velm [OPTION]... FILE...\n"
    "Print each FILE as its own job with a boxed header and footer, date stamp and\n"
    "page numbers; FILE - is standard input. Without any argument, start the desktop\n"
    "application.\n"
    "\n"
    "Printer:\n"
    "  -P, --printer=NAME          a printer from --list-printers (default: the default printer)\n"
    "  -o, --output=FILE.pdf       write exactly this PDF (the built-in \"Velm PDF\" printer;\n"
    "                              one FILE only); '-' writes it to standard output\n"
    "      --list-printers         list the printers, the default marked with '*'\n"
    "      --preview               open the preview window instead of printing\n"
    "      --keep-pages=DIR        format in DIR and leave the stored pages (PRN001.EMF ...)\n"
    "                              there; one FILE only\n"
    "\n"
    "Page setup (defaults: the drop toolbar's, with the print font and the number of\n"
    "columns of the settings file):\n"
    "  -l, --layout=LAYOUT         1x1, 1x2, 1x3, 1x4, 2x2 or 2x4 logical pages per sheet\n"
    "      --nup=N                 scale N finished sheets, each with its header and\n"
    "                              footer, onto every printed sheet: 1, 2 (side by side,\n"
    "                              the paper turned), 4 (2x2) or 8 (2x4, turned)\n"
    "      --pages=all|odd|even|LIST  which sheets go to the printer: odd, then even, for\n"
    "                              manual double-sided printing, or a LIST of sheets\n"
    "                              and ranges such as 1,2,5,7-14,21 (14- from 14 on,\n"
    "                              -3 the first three); with --nup they count the\n"
    "                              finished sheets, before they are scaled together\n"
    "      --html[=full|simple], --text  input kind (default: .htm and .html files as\n"
    "                              HTML, others as text); full HTML prints as a browser\n"
    "                              shows it (the page's title in the header), simple\n"
    "                              knows only a handful of tags, as the desktop prints\n"
    "      --html-links            print each link's address after its text\n"
    "  -f, --font=NAME             contents font\n"
    "  -s, --font-size=POINTS      contents font size\n"
    "      --line-spacing=X        line spacing as a multiple of the font height (1.5)\n"
    "      --header=FORMAT         the header's centre text (default: the file's path)\n"
    "      --header-left=FORMAT    the header's left text\n"
    "      --header-right=FORMAT   the header's right text\n"
    "      --no-header             no header box\n"
    "      --footer=FORMAT         the footer's text (\"Page Footer\")\n"
    "                              FORMAT fields: %f file name, %F its base name,\n"
    "                              %m %M the file's modification date and time,\n"
    "                              %D %T the printing's date and time, %p page,\n"
    "                              %P total pages, %s sheet, %S total sheets,\n"
    "                              %u user, %j job title, %% a percent sign\n"
    "      --no-date               no \"Printed on\" stamp\n"
    "      --no-page-number        no page number\n"
    "      --borders=LEFT,RIGHT    left and right borders in page units (0.25,0.25 inches)\n"
    "      --units=in|cm           page units of --borders\n"
    "      --orientation=portrait|landscape|default\n"
    "      --paper=SIZE            A3, A4, A5, B5, Letter, Legal, Tabloid or a queue's own\n"
    "                              media name (default: the queue's default media; on the\n"
    "                              built-in printer $PAPERSIZE, /etc/papersize, else A4)\n"
    "      --copies=N              copies on a CUPS queue (default: the queue's and lpoptions')\n"
    "\n"
    "Program source (text input):\n"
    "  -N, --line-numbers          number every source line in a gutter\n"
    "      --highlight[=LANG]      keywords bold, comments italic, strings, numbers and\n"
    "                              preprocessor lines in colour; LANG as GNU\n"
    "                              source-highlight names it (default: from the file name)\n"
    "      --monochrome            highlight in faces only, without colour\n"
    "  (with -N or --highlight and no --font the contents print in the \"monospace\" face)\n"
    "\n"
    "Plain text:\n"
    "  -T, --tab-size=N            tab stops every N columns (1 to 64; a column is the\n"
    "                              width of the font's \"0\"); default: a tab is 3 spaces\n"
    "      --form-feed             a form feed (^L) starts the next logical page\n"
    "      --no-form-feed          a form feed is an ordinary character (the default)\n"
    "\n"
    "  -h, --help                  show this help and exit\n"
    "      --version               show the version and exit\n"
    "\n"
    "Exit status: 0 when everything asked for was printed, 1 when a job failed,\n"
    "2 for a command line error, 130 when interrupted (Ctrl-C aborts the job;\n"
    "SIGHUP gives 129, SIGTERM 143).\n"
    "The built-in printer writes into $VELM_PDF_DIR (default ~/PDF) and prints\n"
    "\"velm: wrote PATH\" for every PDF, on A4, or on Letter when $PAPERSIZE (else\n"
    "/etc/papersize) says letter.\n";

namespace {

enum LongOnly : int {
    kPages = 256, kHtml, kText, kLineSpacing, kHeader, kHeaderLeft, kHeaderRight, kFooter,
    kBorders, kUnits, kOrientation, kNoDate, kNoPageNumber, kNoHeader, kKeepPages, kPreview,
    kListPrinters, kVersion, kHighlight, kMonochrome,
    kFormFeed, kNoFormFeed, kPaper, kCopies, kNup, kHtmlLinks,
};

const option kLongOptions[] = {
    {"printer", required_argument, nullptr, 'P'},
    {"output", required_argument, nullptr, 'o'},
    {"layout", required_argument, nullptr, 'l'},
    {"nup", required_argument, nullptr, kNup},
    {"pages", required_argument, nullptr, kPages},
    {"html", optional_argument, nullptr, kHtml},
    {"html-links", no_argument, nullptr, kHtmlLinks},
    {"text", no_argument, nullptr, kText},
    {"font", required_argument, nullptr, 'f'},
    {"font-size", required_argument, nullptr, 's'},
    {"line-spacing", required_argument, nullptr, kLineSpacing},
    {"header", required_argument, nullptr, kHeader},
    {"header-left", required_argument, nullptr, kHeaderLeft},
    {"header-right", required_argument, nullptr, kHeaderRight},
    {"footer", required_argument, nullptr, kFooter},
    {"borders", required_argument, nullptr, kBorders},
    {"units", required_argument, nullptr, kUnits},
    {"orientation", required_argument, nullptr, kOrientation},
    {"no-date", no_argument, nullptr, kNoDate},
    {"no-page-number", no_argument, nullptr, kNoPageNumber},
    {"no-header", no_argument, nullptr, kNoHeader},
    {"keep-pages", required_argument, nullptr, kKeepPages},
    {"preview", no_argument, nullptr, kPreview},
    {"list-printers", no_argument, nullptr, kListPrinters},
    {"line-numbers", no_argument, nullptr, 'N'},
    {"highlight", optional_argument, nullptr, kHighlight},
    {"monochrome", no_argument, nullptr, kMonochrome},
    {"tab-size", required_argument, nullptr, 'T'},
    {"form-feed", no_argument, nullptr, kFormFeed},
    {"no-form-feed", no_argument, nullptr, kNoFormFeed},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kVersion},
    {"paper", required_argument, nullptr, kPaper},
    {"copies", required_argument, nullptr, kCopies},
    {nullptr, 0, nullptr, 0},
};

template <typename T>
T Choice(const char* option, const std::string& value,
         std::initializer_list<std::pair<const char*, T>> choices)
{
    std::string names;
    for (const auto& [name, result] : choices) {
        if (value == name)
            return result;
        names += names.empty() ? name : std::string(", ") + name;
    }
    throw UsageError(format("--%s: '%s' is not one of %s", option, value.c_str(), names.c_str()));
}

double Number(const char* option, const std::string& value, double low, double high)
{
    double number = 0;
    try {
        number = strToFloat(value);
    } catch (const ConversionError& e) {
        throw UsageError(format("--%s: %s", option, e.what()));
    }
    if (!(number >= low && number <= high))
        throw UsageError(format("--%s: %s is outside %g to %g", option, value.c_str(), low, high));
    return number;
}

int TabSize(const std::string& value)
{
    const int columns = strToIntDef(value, 0);
    if (columns < 1 || columns > TPrintFile::kMaxTabSize)
        throw UsageError(format("--tab-size: '%s' is not a whole number of columns from 1 to %d", value.c_str(),
                                TPrintFile::kMaxTabSize));
    return columns;
}

std::string HeaderFormat(const char* option, const std::string& value)
{
    if (const std::string problem = HeaderFormatProblem(value); !problem.empty())
        throw UsageError(format("--%s: %s", option, problem.c_str()));
    return value;
}

int Count(const char* option, const std::string& value, int low, int high)
{
    const double number = Number(option, value, low, high);
    if (number != static_cast<int>(number))
        throw UsageError(format("--%s: '%s' is not a whole number", option, value.c_str()));
    return static_cast<int>(number);
}

std::pair<double, double> Borders(const std::string& value)
{
    const std::size_t comma = value.find(',');
    if (comma == std::string::npos)
        throw UsageError("--borders: give LEFT,RIGHT, for example 0.25,0.25");
    return {Number("borders", value.substr(0, comma), 0, 100),
            Number("borders", value.substr(comma + 1), 0, 100)};
}

// all, odd, even, or a selection of sheets as the preview's Print Options
// dialog takes it, with open ends ("14-", "-3"). Every item is read before
// anything prints.
void Pages(CommandOptions& o, const std::string& value)
{
    if (value == "all" || value == "odd" || value == "even") {
        o.pages = Choice<TPagesToPrint>("pages", value, {{"all", pAll}, {"odd", pOdd}, {"even", pEven}});
        return;
    }
    if (value.empty()) {
        o.pages = pAll;
        return;
    }
    try {
        o.pageRange = PageSelection::Read(value);
    } catch (const ConversionError& e) {
        throw UsageError(format("--pages: %s", e.what()));
    }
}

std::string Absolute(const std::string& path)
{
    return std::filesystem::absolute(path).lexically_normal().string();
}

void Take(CommandOptions& o, int code, const std::string& value)
{
    switch (code) {
    case 'P': o.printer = value; break;
    case 'o': o.output = value == "-" ? value : Absolute(value); break;
    case 'l':
        o.layout = Choice<TPageLayout>("layout", value, {{"1x1", pl_1x1}, {"1x2", pl_1x2}, {"1x3", pl_1x3},
                                                         {"1x4", pl_1x4}, {"2x2", pl_2x2}, {"2x4", pl_2x4}});
        break;
    case kNup: o.nup = Choice<int>("nup", value, {{"1", 1}, {"2", 2}, {"4", 4}, {"8", 8}}); break;
    case kPages: Pages(o, value); break;
    case kHtml:
        o.input = frHTML;
        if (!value.empty())
            o.fullHtml = Choice<bool>("html", value, {{"full", true}, {"simple", false}});
        break;
    case kHtmlLinks: o.htmlLinks = true; break;
    case kText: o.input = frFile; break;
    case 'f': o.font = value; break;
    case 's': o.fontSize = static_cast<int>(Number("font-size", value, 1, 500) + 0.5); break;
    case kLineSpacing: o.lineSpacing = Number("line-spacing", value, 0.1, 20); break;
    case kHeader: o.header = HeaderFormat("header", value); break;
    case kHeaderLeft: o.headerLeft = HeaderFormat("header-left", value); break;
    case kHeaderRight: o.headerRight = HeaderFormat("header-right", value); break;
    case kFooter: o.footer = HeaderFormat("footer", value); break;
    case kBorders: o.borders = Borders(value); break;
    case kUnits: o.units = Choice<TUnits>("units", value, {{"in", poInches}, {"cm", poCentimetres}}); break;
    case kOrientation:
        o.orientation = Choice<TOrient>("orientation", value,
                                        {{"portrait", Portrait}, {"landscape", Landscape}, {"default", Default}});
        break;
    case kNoDate: o.noDate = true; break;
    case kNoPageNumber: o.noPageNumber = true; break;
    case kNoHeader: o.noHeader = true; break;
    case kKeepPages: o.keepPages = Absolute(value); break;
    case kPreview: o.preview = true; break;
    case kListPrinters: o.listPrinters = true; break;
    case 'N': o.lineNumbers = true; break;
    case kHighlight: o.highlight = value; break;
    case kMonochrome: o.monochrome = true; break;
    case 'T': o.tabSize = TabSize(value); break;
    case kFormFeed: o.formFeed = true; break;
    case kNoFormFeed: o.formFeed = false; break;
    case 'h': o.help = true; break;
    case kVersion: o.version = true; break;
    case kPaper: o.paper = value; break;
    case kCopies: o.copies = Count("copies", value, 1, 999); break;
    }
}

void CheckCombinations(const CommandOptions& o)
{
    if (o.help || o.version || o.listPrinters)
        return;
    if (o.files.empty())
        throw UsageError("no FILE given (velm without arguments starts the desktop application)");
    if (o.output && o.files.size() > 1)
        throw UsageError("--output names one PDF: give one FILE");
    if (o.output && o.printer && *o.printer != kBuiltInPrinter)
        throw UsageError(format("--output writes a PDF on the built-in printer \"%s\", not on '%s'",
                                kBuiltInPrinter, o.printer->c_str()));
    if (o.output && o.copies)
        throw UsageError("--copies asks a CUPS queue for copies; --output writes one PDF");
    if (o.output && o.preview)
        throw UsageError("--output and --preview exclude each other");
    if (std::count(o.files.begin(), o.files.end(), kStandardInput) > 1)
        throw UsageError("standard input (-) can be printed only once");
    if (o.keepPages && o.files.size() > 1)
        throw UsageError("--keep-pages keeps the pages of one job: give one FILE");
}

} // namespace

std::string MonospaceFace() { return matchedFamily(QStringLiteral("monospace")).toStdString(); }

CommandOptions ParseOptions(int argc, char** argv)
{
    CommandOptions o;
    if (argc <= 1) {
        o.desktop = true;
        return o;
    }
    optind = 0; // a fresh scan, also when called twice in one process
    opterr = 0;
    for (;;) {
        const int code = getopt_long(argc, argv, ":P:o:l:f:s:hNT:", kLongOptions, nullptr);
        if (code == -1)
            break;
        const std::string seen = argv[optind - 1];
        if (code == ':')
            throw UsageError("option '" + seen + "' needs a value");
        if (code == '?')
            throw UsageError(optopt ? format("unknown option '-%c'", optopt) : "unknown option '" + seen + "'");
        Take(o, code, optarg ? optarg : "");
    }
    for (int i = optind; i < argc; ++i)
        o.files.emplace_back(argv[i]);
    // The desktop entry's Exec line opens the preview of the chosen files,
    // or the application when started from the menu with none.
    o.desktop = o.preview && o.files.empty();
    if (o.desktop)
        return o;
    CheckCombinations(o);
    return o;
}

} // namespace velm
