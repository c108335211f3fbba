#include "cli/FilterJob.h"

#include "engine/HeaderFields.h"
#include "platform/core/errors.h"

#include <cups/cups.h>
#include <cups/ppd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

namespace velm {

namespace {

constexpr double kPointsPerMm = 72 / 25.4;

// The command's options that make sense for a job inside CUPS, and which
// of them are switches. Page selection, copies and the printer belong to
// CUPS.
const std::set<std::string> kValueOptions = {"layout", "nup", "font", "font-size", "line-spacing", "header",
                                             "header-left", "header-right", "footer", "borders", "units",
                                             "html"};
const std::set<std::string> kSwitches = {"no-date", "no-page-number", "no-header", "html-links"};
// Switches whose off value is an option of its own: they are on by default here.
const std::set<std::string> kOnByDefault = {"form-feed"};
// Plain-text options, with the defaults a text filter's users expect.
const std::set<std::string> kTextOptions = {"tab-size"};
constexpr int kFilterTabSize = 8;

class CupsOptions {
public:
    explicit CupsOptions(const std::string& text) { count_ = cupsParseOptions(text.c_str(), 0, &options_); }
    ~CupsOptions() { cupsFreeOptions(count_, options_); }
    CupsOptions(const CupsOptions&) = delete;
    CupsOptions& operator=(const CupsOptions&) = delete;

    const char* get(const char* name) const { return cupsGetOption(name, count_, options_); }
    int count() const { return count_; }
    cups_option_t* all() const { return options_; }

private:
    int count_ = 0;
    cups_option_t* options_ = nullptr;
};

bool SwitchOn(const std::string& value)
{
    return value != "false" && value != "no" && value != "off" && value != "0";
}

CommandOptions Parse(std::vector<std::string> arguments)
{
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return ParseOptions(static_cast<int>(arguments.size()), argv.data());
}

// A velm-... option as the command's own argument (empty for a switch
// that is off), checked by the command's rules with its messages.
std::string CommandArgument(const std::string& name, const std::string& value)
{
    const std::string key = name.substr(5);
    std::string argument;
    if (kValueOptions.count(key) || kTextOptions.count(key))
        argument = "--" + key + "=" + value;
    else if (kOnByDefault.count(key))
        argument = SwitchOn(value) ? "--" + key : "--no-" + key;
    else if (kSwitches.count(key))
        argument = SwitchOn(value) ? "--" + key : "";
    else
        throw UsageError("unknown option '" + name + "'");
    try {
        if (!argument.empty())
            Parse({"velmtopdf", argument, "--", kStandardInput});
    } catch (const UsageError& e) {
        const std::string message = e.what();
        throw UsageError(message.starts_with("--") ? "velm-" + message.substr(2) : message);
    }
    return argument;
}

// The job's velm-... options; one that is unknown or has a bad value is
// left out with a warning, as CUPS filters treat options they cannot use,
// so that the job still prints.
CommandOptions ParseVelmOptions(const CupsOptions& options, std::vector<std::string>& warnings)
{
    std::vector<std::string> arguments{"velmtopdf"};
    for (int i = 0; i < options.count(); ++i) {
        const std::string name = options.all()[i].name;
        if (!name.starts_with("velm-"))
            continue;
        try {
            if (std::string argument = CommandArgument(name, options.all()[i].value ? options.all()[i].value : "");
                !argument.empty())
                arguments.push_back(std::move(argument));
        } catch (const UsageError& e) {
            warnings.push_back(std::string(e.what()) + "; ignored");
        }
    }
    arguments.push_back("--");
    arguments.push_back(kStandardInput);
    return Parse(arguments);
}

// The libcups PPD interface is the one way a filter reads the queue's PPD
// with the job's choices marked; it is deprecated for clients, not filters.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
bool PaperFromPpd(const std::string& ppdPath, const CupsOptions& options, FilterPaper& paper)
{
    ppd_file_t* ppd = ppdPath.empty() ? nullptr : ppdOpenFile(ppdPath.c_str());
    if (!ppd)
        return false;
    ppdMarkDefaults(ppd);
    cupsMarkOptions(ppd, options.count(), options.all());
    const ppd_size_t* size = ppdPageSize(ppd, nullptr);
    const bool found = size && size->width > 0 && size->length > 0;
    if (found) {
        paper.widthPt = size->width;
        paper.heightPt = size->length;
        const double unprintable = std::max({size->left, size->bottom, size->width - size->right,
                                             size->length - size->top});
        paper.marginPt = std::max(paper.marginPt, unprintable);
    }
    ppdClose(ppd);
    return found;
}
#pragma GCC diagnostic pop

// media=A4, media=na_letter_8.5x11in,tray-1, PageSize=Legal: the first
// name libcups knows.
bool PaperFromMediaName(const char* value, FilterPaper& paper)
{
    if (!value)
        return false;
    std::istringstream names(value);
    for (std::string name; std::getline(names, name, ',');) {
        const pwg_media_t* media = pwgMediaForPWG(name.c_str());
        if (!media)
            media = pwgMediaForPPD(name.c_str());
        if (!media)
            media = pwgMediaForLegacy(name.c_str());
        if (media && media->width > 0 && media->length > 0) {
            paper.widthPt = media->width / 100.0 * kPointsPerMm;
            paper.heightPt = media->length / 100.0 * kPointsPerMm;
            return true;
        }
    }
    return false;
}

// The built-in printer's own paper, the system's; A4, with a warning, when
// the system names a size it does not know.
void DefaultPaper(FilterPaper& paper, std::vector<std::string>& warnings)
{
    try {
        const PrinterCaps caps = Printers::builtInCaps();
        paper.widthPt = caps.horzRes * 72.0 / caps.logPixelsX + 2 * paper.marginPt;
        paper.heightPt = caps.vertRes * 72.0 / caps.logPixelsY + 2 * paper.marginPt;
    } catch (const PrinterError& e) {
        warnings.push_back(std::string(e.what()) + "; printed on A4");
        const PaperSize& a4 = *findPaper("A4");
        paper.widthPt = a4.widthMm * kPointsPerMm;
        paper.heightPt = a4.heightMm * kPointsPerMm;
    }
}

// landscape, or orientation-requested 4 (landscape) or 5 (reverse landscape).
bool AsksForLandscape(const CupsOptions& options)
{
    const char* landscape = options.get("landscape");
    const char* requested = options.get("orientation-requested");
    return (landscape && SwitchOn(landscape)) ||
           (requested && (std::string(requested) == "4" || std::string(requested) == "5"));
}

} // namespace

FilterJob ReadFilterJob(const std::string& title, const std::string& optionText,
                        const std::string& contentType, const std::string& ppdPath)
{
    const CupsOptions options(optionText);
    FilterJob job;
    job.options = ParseVelmOptions(options, job.warnings);
    // An HTML page's title, else the job's, unless the job names a header.
    job.options.pageTitleHeader = !job.options.header;
    if (!job.options.header)
        job.options.header = EscapeHeaderFields(title);
    job.options.jobTitle = title;
    job.options.input = contentType == "text/html" ? frHTML : frFile;
    // A text filter's conventions: 8-column tab stops, form feeds start
    // pages, and plain text in a monospace body.
    if (!job.options.tabSize)
        job.options.tabSize = kFilterTabSize;
    if (!job.options.formFeed)
        job.options.formFeed = true;
    if (!job.options.font && job.options.input == frFile)
        job.options.font = MonospaceFace();
    job.paper.landscape = AsksForLandscape(options);
    job.options.orientation = job.paper.landscape ? Landscape : Portrait;
    if (!PaperFromPpd(ppdPath, options, job.paper) && !PaperFromMediaName(options.get("PageSize"), job.paper) &&
        !PaperFromMediaName(options.get("media"), job.paper))
        DefaultPaper(job.paper, job.warnings);
    return job;
}

int MarginPixels(const FilterPaper& paper, int dpi)
{
    return static_cast<int>(std::lround(paper.marginPt * dpi / 72));
}

PrinterCaps PaperCaps(const FilterPaper& paper, int dpi)
{
    const auto pixels = [dpi](double points) { return static_cast<int>(std::lround(points * dpi / 72)); };
    PrinterCaps caps;
    caps.logPixelsX = caps.logPixelsY = dpi;
    caps.horzRes = pixels(paper.widthPt) - 2 * MarginPixels(paper, dpi);
    caps.vertRes = pixels(paper.heightPt) - 2 * MarginPixels(paper, dpi);
    caps.horzSizeMm = static_cast<int>(std::lround(caps.horzRes * 25.4 / dpi));
    caps.vertSizeMm = static_cast<int>(std::lround(caps.vertRes * 25.4 / dpi));
    return caps;
}

} // namespace velm
