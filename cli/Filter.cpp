// The filter runs the command's headless job on the built-in printer, set
// to the job's paper, in a private folder under the TMPDIR cupsd gives;
// everything it writes stays in that folder, which goes when it ends.
#include "cli/Filter.h"

#include "cli/Command.h"
#include "cli/ConsoleStatus.h"
#include "cli/FilterJob.h"
#include "cli/SpooledInput.h"
#include "engine/PageOutput.h"
#include "engine/SourceStyler.h"
#include "platform/core/errors.h"

#include <QGuiApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace velm {

namespace {

enum ExitCode : int { kDone = 0, kFailed = 1 };

void Report(const char* prefix, const std::string& text) { std::fprintf(stderr, "%s: %s\n", prefix, text.c_str()); }

class JobFolder {
public:
    JobFolder()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velmtopdf-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw FileError("cannot make a job folder in " + fs::path(pattern).parent_path().string());
        path_ = pattern;
    }
    ~JobFolder()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    JobFolder(const JobFolder&) = delete;
    JobFolder& operator=(const JobFolder&) = delete;
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The engine keeps its settings and the printer state in the settings
// file: each job gets a private copy of the system-wide one, or none (the
// built-in defaults). Everything else a job writes also goes to the folder.
void PrepareEnvironment(const JobFolder& folder)
{
    const std::string config = folder.file("config");
    const std::string runtime = folder.file("runtime");
    fs::create_directory(config);
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    const char* chosen = std::getenv("VELM_SYSTEM_SETTINGS");
    const std::string system = chosen && *chosen ? chosen : kSystemSettingsFile;
    std::error_code missing;
    fs::copy_file(system, config + "/Pellido.Ini", missing);
    setenv("VELM_CONFIG_DIR", config.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("TMPDIR", folder.path().c_str(), 1);
    setenv("VELM_PDF_DIR", folder.path().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

// The PDF is the filter's standard output; anything else that would go
// there (the command's "wrote" line) goes to the job log instead.
int TakeStandardOutput()
{
    const int pdf = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (pdf >= 0)
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
    return pdf;
}

bool CopyFileTo(const std::string& path, int fd)
{
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return false;
    char buffer[1 << 16];
    bool ok = true;
    for (std::size_t got; ok && (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
        for (std::size_t done = 0; ok && done < got;) {
            const ssize_t put = ::write(fd, buffer + done, got - done);
            ok = put > 0 || (put < 0 && errno == EINTR);
            done += put > 0 ? static_cast<std::size_t>(put) : 0;
        }
    }
    std::fclose(in);
    return ok;
}

int RunJob(int argc, char** argv, int pdfOut)
{
    const JobFolder folder;
    PrepareEnvironment(folder);
    std::unique_ptr<SpooledInput> standardInput;
    if (argc == 6)
        standardInput = std::make_unique<SpooledInput>(folder.path());
    const std::string input = standardInput ? standardInput->path() : argv[6];
    const char* contentType = std::getenv("CONTENT_TYPE");
    const char* ppd = std::getenv("PPD");
    FilterJob job = ReadFilterJob(argv[3], argv[5], contentType ? contentType : "text/plain", ppd ? ppd : "");
    if (!fs::is_regular_file(input))
        throw FileError("cannot read the document " + input);
    if (LooksBinary(input))
        throw FileError("the document is binary data, not text or HTML; nothing was printed");
    job.options.files = {input};
    job.options.output = folder.file("job.pdf");

    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    const int dpi = Printers::builtInCaps().logPixelsX;
    Printers::instance().keepBuiltInOnly(PaperCaps(job.paper, dpi), MarginPixels(job.paper, dpi));
    if (RunHeadlessJobs(job.options, "ERROR: ") != 0)
        return kFailed;
    if (!CopyFileTo(*job.options.output, pdfOut))
        throw FileError(std::string("cannot write the PDF to standard output: ") + std::strerror(errno));
    Report("INFO", format("Velm formatted %d sheets", LastPrintReport().Sheets));
    return kDone;
}

} // namespace

int RunFilter(int argc, char** argv)
{
    if (argc < 6 || argc > 7) {
        std::fputs("Usage: velmtopdf job-id user title copies options [file]\n", stderr);
        return kFailed;
    }
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
