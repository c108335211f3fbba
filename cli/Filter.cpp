// The filter runs the command's headless job on the built-in printer, set
// to the job's paper, in a private folder under the TMPDIR cupsd gives;
// everything it writes stays in that folder, which goes when it ends.
#include "cli/Filter.h"

#include "cli/Command.h"
#include "cli/ConsoleStatus.h"
#include "cli/FilterJob.h"
#include "engine/JobFolder.h"
#include "cli/SpooledInput.h"
#include "engine/JobOutcome.h"
#include "engine/FileReader.h"
#include "platform/core/convert.h"
#include "platform/core/errors.h"
#include "platform/system/settings.h"

#include <QGuiApplication>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace velm {

namespace {

enum ExitCode : int { kDone = 0, kFailed = 1 };

void Report(const char* prefix, const std::string& text) { std::fprintf(stderr, "%s: %s\n", prefix, text.c_str()); }

// The engine keeps its settings and the printer state in the settings
// file: each job gets a private copy of the system-wide one, or none (the
// built-in defaults). Everything else a job writes also goes to the folder.
void PrepareEnvironment(const PrivateFolder& folder)
{
    const std::string config = folder.file("config");
    const std::string runtime = folder.file("runtime");
    fs::create_directory(config);
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    const char* chosen = std::getenv("VELM_SYSTEM_SETTINGS");
    const std::string system = chosen && *chosen ? chosen : kSystemSettingsFile;
    // A file the server cannot use is said in the job's log, not skipped unseen.
    if (const std::string damage = SettingsFile(system).damage(); !damage.empty())
        Report("WARNING", "velmtopdf: " + system + ": " + damage + "; ignored");
    std::error_code missing;
    fs::copy_file(system, config + "/Pellido.Ini", missing);
    setenv("VELM_CONFIG_DIR", config.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("TMPDIR", folder.path().c_str(), 1);
    setenv("VELM_PDF_DIR", folder.path().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

// The PDF is the filter's standard output; anything else that would go
// there goes to the job log instead.
int TakeStandardOutput()
{
    const int pdf = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (pdf >= 0)
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
    return pdf;
}

// 0 when all of the file went to fd, else the errno of the failure.
int CopyFileTo(const std::string& path, int fd)
{
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return errno;
    char buffer[1 << 16];
    int error = 0;
    for (std::size_t got; !error && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
        for (std::size_t done = 0; !error && done < got;) {
            const ssize_t put = ::write(fd, buffer + done, got - done);
            if (put > 0)
                done += static_cast<std::size_t>(put);
            else if (put == 0 || errno != EINTR)
                error = put == 0 ? ENOSPC : errno;
        }
    }
    if (!error && std::ferror(in))
        error = EIO;
    std::fclose(in);
    return error;
}

// The job's private folder, with its stored pages and its PDF: in
// memory-backed space when they fit there, since each sheet is a file
// written once and read once, else in the server's temporary folder (also
// when memory-backed space refuses the folder).
void MakeJobFolder(std::optional<PrivateFolder>& folder, std::uintmax_t inputBytes)
{
    if (const std::optional<fs::path> memory = MemoryBackedBase(inputBytes)) {
        try {
            folder.emplace(*memory);
        } catch (const FileError&) {
        }
    }
    if (!folder) {
        const char* tmp = std::getenv("TMPDIR");
        folder.emplace(tmp && *tmp ? tmp : "/tmp");
    }
}

std::string Sheets(int count) { return format(count == 1 ? "%d sheet" : "%d sheets", count); }

int RunJob(int argc, char** argv, int pdfOut)
{
    // Jobs killed outright (kill -9, a crash) leave their folders in the
    // server's temporary folder or in memory-backed space: the next job
    // removes them.
    RemoveLeftovers({});
    std::optional<SpooledInput> standardInput;
    if (argc == 6)
        standardInput.emplace();
    std::error_code sizeUnknown;
    const std::uintmax_t bytes = standardInput ? standardInput->size() : fs::file_size(argv[6], sizeUnknown);
    std::optional<PrivateFolder> folder;
    MakeJobFolder(folder, sizeUnknown ? kUnknownSize : bytes);
    PrepareEnvironment(*folder);
    if (standardInput)
        standardInput->keepIn(folder->path());
    const std::string input = standardInput ? standardInput->path() : argv[6];
    const char* contentType = std::getenv("CONTENT_TYPE");
    const char* ppd = std::getenv("PPD");
    FilterJob job = ReadFilterJob(argv[3], argv[5], contentType ? contentType : "text/plain", ppd ? ppd : "");
    job.options.jobUser = argv[2];
    for (const std::string& warning : job.warnings)
        Report("WARNING", "velmtopdf: " + warning);
    if (!fs::is_regular_file(input))
        throw FileError("cannot read the document " + input);
    // One document never stops the print server: binary data prints as
    // far as it can, its controls as control pictures.
    job.options.printBinary = true;
    if (FileLooksBinary(input))
        Report("WARNING", "velmtopdf: the document looks like binary data, not text; printed as it is");
    job.options.files = {input};
    job.options.output = folder->file("job.pdf");

    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    const int dpi = Printers::layoutDpi();
    Printers::instance().keepBuiltInOnly(PaperCaps(job.paper, dpi), MarginPixels(job.paper, dpi));
    // Borders the paper cannot take are a bad option, which never fails a job.
    if (const std::string problem = job.options.borders ? GeometryProblem(job.options) : ""; !problem.empty()) {
        Report("WARNING", "velmtopdf: velm-borders: " + problem + "; printed with the default borders");
        job.options.borders.reset();
    }
    TJobOutcome outcome;
    if (RunHeadlessJobs(job.options, {"ERROR: ", "WARNING: ", false}, &outcome) != 0)
        return kFailed;
    if (const int error = CopyFileTo(*job.options.output, pdfOut); error == EPIPE) {
        // The next filter stopped reading: the job was cancelled, or that
        // filter failed and says so itself.
        Report("INFO", "velmtopdf: the PDF was not read to its end; the job ends here");
        return kDone;
    } else if (error) {
        throw FileError(std::string("cannot write the PDF to standard output: ") + std::strerror(error));
    }
    Report("INFO", "Velm formatted " + Sheets(outcome.Deliveries.empty() ? 0 : outcome.Deliveries.back().Sheets));
    return kDone;
}

} // namespace

int RunFilter(int argc, char** argv)
{
    if (argc < 6 || argc > 7) {
        std::fputs("Usage: velmtopdf job-id user title copies options [file]\n", stderr);
        return kFailed;
    }
    // A reader that goes away is an error of the write (EPIPE), not the end
    // of the filter with its folder left behind.
    std::signal(SIGPIPE, SIG_IGN);
    const int pdfOut = TakeStandardOutput();
    if (pdfOut < 0) {
        Report("ERROR", "velmtopdf: no standard output for the PDF");
        return kFailed;
    }
    ConsoleStatus::InstallInterruptHandler();
    try {
        return RunJob(argc, argv, pdfOut);
    } catch (const std::exception& e) {
        Report("ERROR", std::string("velmtopdf: ") + e.what());
        return kFailed;
    }
}

} // namespace velm
