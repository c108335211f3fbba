// The `velm` program. Without file arguments it is the desktop application
// (a program of its own, which links the widgets that jobs without a
// window never load); with files it runs one print job per file without a
// window and reports on stdout and stderr, so that scripts can rely on its
// exit status.
#include "cli/Command.h"

#include "cli/ConsoleStatus.h"
#include "cli/Handover.h"
#include "engine/JobFolder.h"
#include "cli/Options.h"
#include "cli/Termination.h"
#include "cli/SpooledInput.h"
#include "engine/FileReader.h"
#include "engine/Gdi.h"
#include "engine/HeaderFields.h"
#include "engine/JobOutcome.h"
#include "engine/PrnFile.h"
#include "engine/UserInterface.h"
#include "platform/core/convert.h"
#include "platform/core/errors.h"
#include "platform/system/display.h"
#include "platform/system/files.h"
#include "platform/rendering/font_fallback.h"
#include "platform/rendering/fonts.h"
#include "platform/printing/printer.h"
#include "platform/system/settings.h"

#include <QGuiApplication>
#include <QLoggingCategory>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <climits>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace velm {

namespace {

enum ExitCode : int { kPrinted = 0, kFailed = 1, kUsage = 2, kInterrupted = 130 };

// The command line's, or the CUPS filter's.
ConsoleVoice gVoice;

void Complain(const std::string& text) { std::fprintf(stderr, "%s%s\n", gVoice.error.c_str(), text.c_str()); }
void Warn(const std::string& text) { std::fprintf(stderr, "%s%s\n", gVoice.warning.c_str(), text.c_str()); }

// The signal that asked the program to stop, else 0.
int StopSignal()
{
    const int console = ConsoleStatus::InterruptSignal();
    return console ? console : TerminationWatch::Signal();
}

// The extension as the toolbar sees it: after the first dot of the last
// path component, in upper case ("REPORT.OLD.HTM" gives "OLD.HTM").
std::string UpperExtension(const std::string& path)
{
    const std::string name = fs::path(path).filename().string();
    const std::size_t dot = name.find('.');
    if (dot == std::string::npos)
        return {};
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return extension;
}

// The toolbar's job (PrintFile1) with the settings a dropped file gets.
void ApplyToolbarDefaults(TPrintFile& job, const std::string& file)
{
    job.ViewHeading = "Velm Viewer";
    job.ContentsFont = StoredPrintFont();
    const SettingsFile settings;
    const int columns = settings.readInteger("Velm", "ColCount", 0);
    if (columns >= 0 && columns <= 3)
        job.PageLayout = static_cast<TPageLayout>(pl_1x1 + columns);
    const bool htmAsText = settings.readBool("Velm", "HTMAsText", false);
    job.Input = !htmAsText && IsHtmlFile(file) ? frHTML : frFile;
    job.Filename = file;
    job.HeaderStringCenter = EscapeHeaderFields(file);
}

void ApplyOptions(TPrintFile& job, const CommandOptions& o)
{
    if (o.units == poCentimetres) {
        // Same page, other units: the design lengths are inches.
        constexpr double cm = 2.54;
        job.Units = poCentimetres;
        job.HeaderTop *= cm;
        job.ContentsLeft *= cm;
        job.BorderLeft *= cm;
        job.BorderRight *= cm;
    }
    if (o.layout)
        job.PageLayout = *o.layout;
    if (o.pages)
        job.PagesToPrint = *o.pages;
    if (o.input)
        job.Input = *o.input;
    if (o.font)
        job.ContentsFont.Name = *o.font;
    else if (o.lineNumbers || o.highlight)
        job.ContentsFont.Name = MonospaceFace(); // so that indentation and columns line up
    if (o.fontSize)
        job.ContentsFont.SetSize(*o.fontSize);
    if (o.lineSpacing)
        job.LineSpacing = *o.lineSpacing;
    if (o.header)
        job.HeaderStringCenter = *o.header;
    if (o.headerLeft)
        job.HeaderStringLeft = *o.headerLeft;
    if (o.headerRight)
        job.HeaderStringRight = *o.headerRight;
    if (o.footer)
        job.FooterString = *o.footer;
    if (o.borders) {
        job.BorderLeft = o.borders->first;
        job.BorderRight = o.borders->second;
    }
    if (o.orientation)
        job.Orientation = *o.orientation;
    job.HeaderEnabled = !o.noHeader;
    job.DateTimeStampEnabled = !o.noDate;
    job.PageNumberEnabled = !o.noPageNumber;
    job.OutputTo = o.preview ? poViewer : poPrinter;
    job.LineNumbers = o.lineNumbers;
    job.Highlight = o.highlight.has_value();
    job.HighlightLanguage = o.highlight.value_or("");
    job.Monochrome = o.monochrome;
    job.RefuseBinary = !o.printBinary;
    job.PlayWhileFormatting = true;
    job.HeaderFields = true;
    job.JobTitle = o.jobTitle;
    job.JobUser = o.jobUser;
    job.TabSize = o.tabSize.value_or(0);
    job.FormFeeds = o.formFeed.value_or(false);
    job.PagesPerSheet = o.nup.value_or(1);
    job.FullHtml = o.fullHtml.value_or(true);
    job.HtmlLinks = o.htmlLinks;
    job.HtmlTitleInHeader = o.pageTitleHeader.value_or(!o.header);
}

using MessageSink = std::function<void(const std::string&)>;

// A warning is named by the job's argument; it does not fail the job.
class NamedWarnings {
public:
    explicit NamedWarnings(const std::string& argument) : sink_(ui().showWarning)
    {
        ui().showWarning = [this, argument](const std::string& text) { sink_(argument + ": " + text); };
    }
    ~NamedWarnings() { ui().showWarning = sink_; }
    NamedWarnings(const NamedWarnings&) = delete;
    NamedWarnings& operator=(const NamedWarnings&) = delete;

private:
    MessageSink sink_;
};

// The console's status line names the job's file.
void InstallConsoleStatus(const std::string& label)
{
    ui().createStatus = [label]() -> std::unique_ptr<TPrintStatus> {
        return std::make_unique<ConsoleStatus>(label);
    };
}

// The presenter of every job: its messages go to stderr, and in a window
// (whose presenter is installed already) also to the message box.
void InstallPresenter(bool desktop)
{
    if (!desktop) {
        ui().processMessages = [] {
            // No window to keep alive: Qt's events (system calls each time)
            // at most every 10 ms, however fast sheets go.
            static std::chrono::steady_clock::time_point next{};
            const auto now = std::chrono::steady_clock::now();
            if (now >= next) {
                QCoreApplication::processEvents();
                next = now + std::chrono::milliseconds(10);
            }
        };
        ui().showWarning = Warn;
        ui().showMessage = Complain;
        return;
    }
    ui().showWarning = [boxed = ui().showWarning](const std::string& text) {
        Warn(text);
        boxed(text);
    };
    ui().showMessage = [boxed = ui().showMessage](const std::string& text) {
        Complain(text);
        boxed(text);
    };
}

// Characters no installed face has print as boxes: say which, once per
// job, and what would print them.
void WarnOfUncoveredCharacters(const std::string& argument)
{
    const std::vector<char32_t> missing = takeUncoveredCharacters();
    if (missing.empty())
        return;
    constexpr std::size_t kNamed = 8;
    std::string names, packages;
    for (std::size_t i = 0; i < missing.size(); ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(missing[i]));
        if (i < kNamed)
            names += (i ? " " : "") + std::string(code);
        const char* package = packageCovering(missing[i]);
        if (package && packages.find(package) == std::string::npos)
            packages += (packages.empty() ? "" : " ") + std::string(package);
    }
    if (missing.size() > kNamed)
        names += " ...";
    Warn(argument + ": no installed font has " + names + "; printed as boxes" +
             (packages.empty() ? std::string() : " (install " + packages + ")"));
}

// Whether -o names standard output ("-", /dev/stdout, ...): it then
// carries the PDF, and the report line goes to stderr.
bool NamesStandardOutput(const std::string& path)
{
    struct stat named, out;
    return path == "-"
           || (::stat(path.c_str(), &named) == 0 && ::fstat(STDOUT_FILENO, &out) == 0
               && named.st_dev == out.st_dev && named.st_ino == out.st_ino);
}

// "velm: wrote PATH" and "velm: sent QUEUE-123", one line for each
// document the job delivered (a preview's reprints are several).
void NameOutput(const TDelivery& delivered, bool pdfOnStdout)
{
    if (!delivered.OutputPath.empty())
        std::fprintf(pdfOnStdout ? stderr : stdout, "velm: wrote %s\n",
                     delivered.OutputPath == "-" ? "standard output" : delivered.OutputPath.c_str());
    if (!delivered.JobId.empty())
        std::printf("velm: sent %s\n", delivered.JobId.c_str());
}

ExitCode RunJob(const CommandOptions& o, const std::string& argument, TJobOutcome& outcome)
{
    std::optional<SpooledInput> standardInput;
    try {
        if (argument == kStandardInput)
            standardInput.emplace();
    } catch (const std::exception& e) {
        Complain(std::string("standard input: ") + e.what());
        return kFailed;
    }
    const std::string file = standardInput ? argument : fs::absolute(argument).lexically_normal().string();
    const std::string extension = UpperExtension(file);
    if (extension == "DBF" || extension == "DB") {
        Complain(argument + ": database files are not printed");
        return kFailed;
    }
    TPrintFile job;
    ApplyToolbarDefaults(job, file);
    if (standardInput) {
        job.Input = frFile;
        job.HeaderStringCenter = "(standard input)";
        job.FieldFileName = "(standard input)";
    }
    job.DocumentName = !o.jobTitle.empty() ? o.jobTitle : standardInput ? "stdin" : fs::path(file).filename().string();
    ApplyOptions(job, o);
    if (const std::string problem = job.GeometryProblem(); !problem.empty()) {
        Complain(problem);
        return kUsage;
    }
    const NamedWarnings warnings(argument);
    if (!o.preview) {
        InstallConsoleStatus(argument);
        if (o.pageRange)
            job.PageSelection = [range = *o.pageRange](int page) { return range.Selects(page); };
        job.KeepStoredPages = o.keepPages.has_value();
    }
    // Asked before the job: a regular file behind the name is replaced by it.
    const bool pdfOnStdout = o.output && NamesStandardOutput(*o.output);
    if (o.output)
        Printers::instance().setPdfOutputFile(*o.output);
    TJobReport report;
    // A signal may break off a read or a write: the job was interrupted.
    report.Error = [&argument](const std::string& error) {
        if (!StopSignal())
            Complain(argument + ": " + error);
    };
    // What went out before a stop stays out: the preview's earlier reprints.
    if (gVoice.namesOutput)
        report.Delivered = [pdfOnStdout](const TDelivery& delivered) { NameOutput(delivered, pdfOnStdout); };
    outcome = RunAndReport(
        [&] {
            takeUncoveredCharacters(); // only this job's characters count
            std::error_code sizeUnknown;
            const std::uintmax_t bytes = standardInput ? standardInput->size() : fs::file_size(file, sizeUnknown);
            FormattingFolder where(o.keepPages, sizeUnknown ? 0 : bytes);
            if (standardInput) {
                standardInput->keepIn(where.path());
                job.Filename = standardInput->path();
            }
            TJobOutcome done = job.Execute();
            WarnOfUncoveredCharacters(argument);
            return done;
        },
        report);
    if (outcome.Error && !StopSignal())
        return kFailed;
    if (StopSignal() || outcome.Cancelled) {
        const int pages = outcome.PagesPrinted();
        if (pages == 0)
            Complain(argument + ": interrupted; nothing was printed");
        else
            Complain(format("%s: interrupted; %d %s printed before", argument.c_str(), pages,
                            pages == 1 ? "page was" : "pages were"));
        return kInterrupted;
    }
    // Every message the job showed fails it.
    if (!outcome.Messages.empty())
        return kFailed;
    if (!o.preview && o.pageRange && outcome.PagesFormatted > 0 && outcome.PagesPlayed == 0) {
        Complain(format("--pages selects none of the %d sheets", outcome.PagesFormatted));
        return kFailed;
    }
    if (!o.preview && outcome.Deliveries.empty()) {
        Complain(argument + ": nothing was printed");
        return kFailed;
    }
    return kPrinted;
}

// The paper and copies of the jobs: kPrinted, or the failure said.
ExitCode SetUpPrinter(Printer& printer, const CommandOptions& o)
{
    const bool builtIn = printer.name() == kBuiltInPrinter;
    if (o.copies && builtIn) {
        Complain("--copies asks a CUPS queue for copies; the built-in printer writes one PDF");
        return kUsage;
    }
    try {
        if (o.paper)
            printer.setPaper(*o.paper);
    } catch (const PrinterError& e) {
        Complain(std::string("--paper: ") + e.what());
        return kUsage;
    }
    printer.setCopies(o.copies.value_or(0));
    try {
        // The system's paper, which an unknown name in $PAPERSIZE leaves unknown.
        if (builtIn && !o.paper)
            printer.caps();
    } catch (const PrinterError& e) {
        Complain(e.what());
        return kFailed;
    }
    return kPrinted;
}

// The printer the jobs print on, set up for them: kPrinted, or the failure said.
ExitCode SelectPrinter(const CommandOptions& o)
{
    Printers& printers = Printers::instance();
    const std::string wanted = o.printer ? *o.printer : o.output ? kBuiltInPrinter : "";
    if (wanted.empty())
        printers.setPrinterIndex(-1);
    else if (!printers.selectByName(wanted)) {
        Complain("no printer named '" + wanted + "' (velm --list-printers shows them; is the CUPS server running?)");
        return kFailed;
    }
    return SetUpPrinter(printers.selected(), o);
}

int ListPrinters()
{
    Printers& printers = Printers::instance();
    const std::vector<std::string> names = printers.names();
    const int defaultIndex = printers.defaultIndex();
    for (std::size_t i = 0; i < names.size(); ++i)
        std::printf("%s %s\n", static_cast<int>(i) == defaultIndex ? "*" : " ", names[i].c_str());
    return kPrinted;
}

int RunJobs(const CommandOptions& o, TJobOutcome* last = nullptr)
{
    if (o.listPrinters)
        return ListPrinters();
    if (const ExitCode selected = SelectPrinter(o); selected != kPrinted)
        return selected;
    InstallPresenter(o.preview);
    int result = kPrinted;
    for (const std::string& file : o.files) {
        TJobOutcome outcome;
        const ExitCode code = RunJob(o, file, outcome);
        if (last)
            *last = outcome;
        if (code == kInterrupted) // as a shell reports a process ended by the signal
            return StopSignal() ? 128 + StopSignal() : kInterrupted;
        if (code != kPrinted)
            result = code;
    }
    return result;
}

// Scripts and services often run without a login session: give Qt the
// private runtime folder it would pick itself, without its warning on stderr.
void EnsureRuntimeDirectory()
{
    if (std::getenv("XDG_RUNTIME_DIR"))
        return;
    const std::string folder = "/tmp/runtime-" + std::to_string(::getuid());
    if (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) {
        struct stat st;
        if (::stat(folder.c_str(), &st) == 0 && st.st_uid == ::getuid() && (st.st_mode & 077) == 0)
            setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    }
}

// The desktop program: where it is installed beside this one, else in the
// same folder (a build tree).
std::string DesktopProgram()
{
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return VELM_DESKTOP_PROGRAM;
    self[n] = '\0';
    const fs::path folder = fs::path(self).parent_path();
    const fs::path installed = folder / VELM_DESKTOP_RELATIVE;
    std::error_code error;
    return fs::exists(installed, error) ? installed.string() : (folder / VELM_DESKTOP_PROGRAM).string();
}

// Replaces this process by the desktop program with the same arguments;
// returns only when it cannot start.
int ExecDesktopProgram(char** argv)
{
    const std::string program = DesktopProgram();
    ::execv(program.c_str(), argv);
    Complain("cannot start the desktop program " + program + ": " + std::strerror(errno));
    return kFailed;
}

// Headless jobs need fonts but no screen; a screen there is gives the text
// sizes the toolbar gives. A display named but gone (DISPLAY left from an
// ssh session, a job from cron) must not stop the job, as Qt would: it
// then runs offscreen, at the 96 dpi of no screen.
void ChooseHeadlessPlatform()
{
    if (const char* chosen = std::getenv("QT_QPA_PLATFORM"); chosen && *chosen)
        return;
    const ReachableDisplays displays = reachableDisplays();
    if (displays.x && displays.wayland)
        return; // Qt's own choice between them
    // One that answers and still refuses (X's authorization) leaves Qt offscreen too.
    setenv("QT_QPA_PLATFORM", displays.x ? "xcb;offscreen" : displays.wayland ? "wayland;offscreen" : "offscreen", 1);
}

} // namespace

std::string GeometryProblem(const CommandOptions& o)
{
    TPrintFile job;
    ApplyToolbarDefaults(job, o.files.empty() ? std::string() : o.files.front());
    ApplyOptions(job, o);
    return job.GeometryProblem();
}

int RunHeadlessJobs(const CommandOptions& o, const ConsoleVoice& voice, TJobOutcome* last)
{
    gVoice = voice;
    return RunJobs(o, last);
}

int RunPreviewJobs(const CommandOptions& o) { return RunJobs(o); }

int RunVelm(int argc, char** argv, const WindowedRunner& windowed)
{
    CommandOptions o;
    try {
        o = ParseOptions(argc, argv);
    } catch (const UsageError& e) {
        Complain(e.what());
        std::fputs("Try 'velm --help' for more information.\n", stderr);
        return kUsage;
    }
    if (o.help) {
        std::fputs(kHelpText, stdout);
        return kPrinted;
    }
    if (o.version) {
        std::fputs(kVersionText, stdout);
        return kPrinted;
    }
    // A running toolbar takes the files before anything slow starts here.
    if (!o.desktop && HandFilesToRunningToolbar(argc, argv))
        return kPrinted;
    if ((o.desktop || o.preview) && !windowed)
        return ExecDesktopProgram(argv);
    if (o.highlight && !o.highlight->empty() && LanguageDefinition(*o.highlight, {}).empty())
        Complain("no highlighting known for '" + *o.highlight + "': printed plain");
    EnsureRuntimeDirectory();
    // Qt's notes on faces without tables for a script are not the user's
    // concern: the resolver picks faces itself and warns of what is missing.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.text.font.db.warning=false"));
    std::vector<std::string> outputFolders = {Printers::pdfFolder(), SettingsFile::settingsDirectory()};
    if (o.output && *o.output != "-")
        outputFolders.push_back(fs::path(*o.output).parent_path().string());
    RemoveLeftovers(outputFolders);
    try {
        if (o.desktop || o.preview)
            return windowed(argc, argv, o);
        ChooseHeadlessPlatform();
        // Before the slow start-up: a Ctrl-C then still ends the job cleanly.
        if (!o.listPrinters)
            ConsoleStatus::InstallInterruptHandler();
        QGuiApplication app(argc, argv);
        return RunJobs(o);
    } catch (const std::exception& e) {
        Complain(e.what());
        return kFailed;
    }
}

} // namespace velm
