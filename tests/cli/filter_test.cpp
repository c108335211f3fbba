// The velmtopdf CUPS filter: called as cupsd calls it (no home, no
// display, a TMPDIR of its own), then through the test server itself.
#include "cli/FilterJob.h"
#include "cli/SpooledInput.h"
#include "support/pdf_words.h"
#include "support/testing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <regex>
#include <set>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace velm {
namespace {

using testing::TempDir;

using testing::Quote;

int PdfPages(const std::string& pdf)
{
    std::string info;
    testing::run("pdfinfo " + Quote(pdf) + " 2>/dev/null", &info);
    std::smatch m;
    return std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)")) ? std::stoi(m[1]) : -1;
}

std::string PdfSize(const std::string& pdf)
{
    std::string info;
    testing::run("pdfinfo " + Quote(pdf) + " 2>/dev/null", &info);
    std::smatch m;
    return std::regex_search(info, m, std::regex("Page size:\\s+(\\S+ x \\S+)")) ? m[1].str() : "";
}

std::string PdfText(const std::string& pdf)
{
    std::string text;
    testing::run("pdftotext -raw " + Quote(pdf) + " - 2>/dev/null", &text);
    return text;
}

std::string Lines(int count)
{
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += "line number " + std::to_string(i) + "\n";
    return text;
}

class Filter : public ::testing::Test {
protected:
    Filter() { fs::create_directory(dir_.file("tmp")); }

    struct Run {
        int status = -1;
        std::string err;
        std::string pdf;
    };
    // velmtopdf job-id user title copies options [file], in the environment
    // cupsd gives a filter: no HOME, no DISPLAY.
    Run Call(const std::string& title, const std::string& options, const std::string& file,
             const std::string& environment = "CONTENT_TYPE=text/plain", const std::string& input = "")
    {
        Run r;
        r.pdf = dir_.file("out" + std::to_string(++calls_) + ".pdf");
        const std::string command = "env -i PATH=/usr/bin:/bin TMPDIR=" + Quote(dir_.file("tmp")) + " " +
                                    environment + " " + Quote(VELM_FILTER) + " 7 alice " + Quote(title) +
                                    " 1 " + Quote(options) + (file.empty() ? "" : " " + Quote(file)) +
                                    (input.empty() ? "" : " <" + Quote(input)) + " >" + Quote(r.pdf) +
                                    " 2>" + Quote(dir_.file("err"));
        r.status = testing::run(command);
        r.err = testing::readFile(dir_.file("err"));
        return r;
    }
    bool TmpIsEmpty() const { return testing::filesIn(dir_.file("tmp")).empty(); }

    TempDir dir_;
    int calls_ = 0;
};

TEST_F(Filter, TextFromFileOrStandardInputGetsVelmsPage)
{
    dir_.write("job.txt", Lines(120));
    const Run file = Call("Quarterly Report", "", dir_.file("job.txt"));
    const Run piped = Call("Quarterly Report", "", "", "CONTENT_TYPE=text/plain", dir_.file("job.txt"));
    ASSERT_EQ(file.status, 0) << file.err;
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_NE(file.err.find("INFO: "), std::string::npos) << file.err;
    for (const Run* r : {&file, &piped}) {
        const std::string text = PdfText(r->pdf);
        EXPECT_GT(PdfPages(r->pdf), 1);
        // The title heads every sheet after the first.
        EXPECT_NE(text.find("Quarterly Report"), std::string::npos) << text;
        EXPECT_NE(text.find("Printed on"), std::string::npos);
        EXPECT_NE(text.find("Page 2"), std::string::npos);
        for (int i = 1; i <= 120; ++i)
            EXPECT_NE(text.find("line number " + std::to_string(i) + "\n"), std::string::npos) << i;
    }
    EXPECT_TRUE(TmpIsEmpty());
}

// The "Printed on" line of a PDF.
std::string StampOf(const std::string& pdf)
{
    std::smatch m;
    const std::string text = PdfText(pdf);
    return std::regex_search(text, m, std::regex("Printed on .*? at [0-9:]+( UTC)?")) ? m[0].str() : "";
}

// The filter and the command stamp a job alike: in the job's language
// (cupsd gives the filter LANG from the job's attributes-natural-language),
// else in one fixed form.
TEST_F(Filter, DateStampReadsAsTheCommandsInTheJobsLanguage)
{
    dir_.write("job.txt", Lines(3));
    const struct {
        std::string language, stamp;
    } cases[] = {
        {"", "Printed on 2026-12-09 at 05:31:26"},
        {"LANG=C", "Printed on 2026-12-09 at 05:31:26"},
        {"LANG=de_DE.UTF-8", "Printed on 09.12.26 at 05:31:26 UTC"},
        {"LC_ALL=fr_FR.UTF-8 LANG=de_DE.UTF-8", "Printed on 09/12/2026 at 05:31:26 UTC"},
    };
    const std::string clock = "TZ=UTC SOURCE_DATE_EPOCH=1796794286 ";
    for (const auto& c : cases) {
        const Run filter = Call("Stamp", "", dir_.file("job.txt"), clock + c.language + " CONTENT_TYPE=text/plain");
        ASSERT_EQ(filter.status, 0) << filter.err;
        const std::string pdf = dir_.file("command.pdf");
        ASSERT_EQ(testing::run("env -i PATH=/usr/bin:/bin HOME=" + Quote(dir_.path()) + " VELM_CONFIG_DIR=" +
                               Quote(dir_.file("config")) + " " + clock + c.language + " " + Quote(VELM_BINARY) +
                               " -o " + Quote(pdf) + " " + Quote(dir_.file("job.txt")) + " >/dev/null"),
                  0);
        EXPECT_EQ(StampOf(filter.pdf), c.stamp) << c.language;
        EXPECT_EQ(StampOf(pdf), c.stamp) << c.language;
    }
}

// What the fonts cannot show is a warning in the job's log, never an error.
TEST_F(Filter, MissingGlyphsAreAWarning)
{
    dir_.write("private.txt", "private use \xee\x80\x80 here\n");
    const Run r = Call("Private", "", dir_.file("private.txt"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("WARNING: " + dir_.file("private.txt") + ": no installed font has U+E000"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("ERROR"), std::string::npos) << r.err;
}

// Print queues distil the filter's PDF again, through PostScript back to
// PDF: every font, one per face and size, keeps a name of its own there, so
// the text reads back exactly as before, whatever the contents face and size.
TEST_F(Filter, TextReadsWholeAfterASecondDistillation)
{
    if (testing::run("command -v pdftocairo >/dev/null && command -v ps2pdf >/dev/null") != 0)
        VELM_SKIP_MISSING("pdftocairo or ps2pdf is not installed");
    dir_.write("job.txt", Lines(120) + "some text with ll tt\n");
    for (const char* options : {"", "velm-font='Liberation Mono' velm-font-size=9",
                                "velm-font='DejaVu Serif' velm-font-size=13 velm-header-left=Left"}) {
        const Run r = Call("Filter Title", options, dir_.file("job.txt"));
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string ps = r.pdf + ".ps", again = r.pdf + ".again.pdf";
        ASSERT_EQ(testing::run("pdftocairo -ps " + Quote(r.pdf) + " " + Quote(ps) + " && ps2pdf " + Quote(ps) + " " +
                               Quote(again)),
                  0)
            << options;
        const std::string text = PdfText(r.pdf);
        EXPECT_NE(text.find("Filter Title"), std::string::npos) << options << "\n" << text;
        EXPECT_NE(text.find("line number 120\n"), std::string::npos) << options;
        EXPECT_EQ(PdfText(again), text) << options;
    }
}

TEST_F(Filter, HtmlIsRenderedAndVelmOptionsApply)
{
    dir_.write("page", "<html><head><title>T</title></head><body><p>Rendered <b>words</b></p></body></html>\n");
    const Run html = Call("Web", "velm-no-date velm-footer=FOOTMARK", dir_.file("page"), "CONTENT_TYPE=text/html");
    ASSERT_EQ(html.status, 0) << html.err;
    const std::string text = PdfText(html.pdf);
    EXPECT_NE(text.find("Rendered words"), std::string::npos) << text;
    EXPECT_EQ(text.find("<b>"), std::string::npos);
    EXPECT_NE(text.find("FOOTMARK"), std::string::npos);
    EXPECT_EQ(text.find("Printed on"), std::string::npos);

    dir_.write("job.txt", Lines(300));
    const Run one = Call("t", "", dir_.file("job.txt"));
    const Run two = Call("t", "velm-layout=1x2", dir_.file("job.txt"));
    const Run nup = Call("t", "velm-nup=4", dir_.file("job.txt"));
    ASSERT_EQ(one.status + two.status + nup.status, 0) << one.err << two.err << nup.err;
    EXPECT_LT(PdfPages(two.pdf), PdfPages(one.pdf));
    EXPECT_EQ(PdfPages(nup.pdf), (PdfPages(one.pdf) + 3) / 4);
}

TEST_F(Filter, PaperAndOrientationComeFromTheJobAndThePpd)
{
    dir_.write("job.txt", Lines(5));
    const std::string ppd = "PPD=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd";
    if (!fs::exists("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"))
        GTEST_SKIP() << "printer-driver-cups-pdf is not installed";
    const Run letter = Call("t", "media=Letter", dir_.file("job.txt"), ppd + " CONTENT_TYPE=text/plain");
    const Run landscape = Call("t", "PageSize=A4 orientation-requested=4", dir_.file("job.txt"));
    const Run legal = Call("t", "media=na_legal_8.5x14in landscape", dir_.file("job.txt"));
    ASSERT_EQ(letter.status + landscape.status + legal.status, 0) << letter.err << landscape.err << legal.err;
    EXPECT_EQ(PdfSize(letter.pdf), "612 x 792");
    EXPECT_EQ(PdfSize(landscape.pdf), "842 x 595");
    EXPECT_EQ(PdfSize(legal.pdf), "1008 x 612");
}

TEST_F(Filter, SystemWideSettingsAreReadAndNeverWritten)
{
    dir_.write("system.ini", "[Velm]\nColCount=1\n");
    const std::string before = testing::readFile(dir_.file("system.ini"));
    dir_.write("job.txt", Lines(300));
    const Run plain = Call("t", "", dir_.file("job.txt"));
    const Run columns = Call("t", "", dir_.file("job.txt"),
                             "CONTENT_TYPE=text/plain VELM_SYSTEM_SETTINGS=" + Quote(dir_.file("system.ini")));
    ASSERT_EQ(plain.status + columns.status, 0) << plain.err << columns.err;
    EXPECT_LT(PdfPages(columns.pdf), PdfPages(plain.pdf));
    EXPECT_EQ(testing::readFile(dir_.file("system.ini")), before);
}

// The filter fails only for what nobody could print; a bad or unknown
// option is left out with a warning and the job prints.
TEST_F(Filter, OnlyUnreadableInputFailsTheJob)
{
    dir_.write("empty", "");
    dir_.write("latin1", "caf\xe9 cr\xe8me\n");
    dir_.write("job.txt", Lines(3));
    dir_.write("binary", std::string("\x7f" "ELF\2\1\1\0\0\0 some readable bytes\n", 30));
    const std::pair<const char*, const char*> ignored[] = {
        {"velm-layout=3x3", "WARNING: velmtopdf: velm-layout: '3x3' is not one of"},
        {"velm-nup=3", "WARNING: velmtopdf: velm-nup: '3' is not one of 1, 2, 4, 8; ignored"},
        {"velm-colour=red", "WARNING: velmtopdf: unknown option 'velm-colour'; ignored"},
        {"velm-font-size=huge velm-no-date", "WARNING: velmtopdf: velm-font-size: 'huge' is not a valid"},
    };
    for (const auto& [options, warning] : ignored) {
        const Run r = Call("t", options, dir_.file("job.txt"));
        EXPECT_EQ(r.status, 0) << options << ": " << r.err;
        EXPECT_NE(r.err.find(warning), std::string::npos) << options << ": " << r.err;
        EXPECT_EQ(r.err.find("ERROR"), std::string::npos) << options << ": " << r.err;
        EXPECT_NE(PdfText(r.pdf).find("line number 3"), std::string::npos) << options;
    }
    // One document never stops the server: binary data prints, with a warning.
    const Run binary = Call("t", "", dir_.file("binary"));
    EXPECT_EQ(binary.status, 0) << binary.err;
    EXPECT_NE(binary.err.find("WARNING: velmtopdf: the document looks like binary data"), std::string::npos)
        << binary.err;
    EXPECT_EQ(PdfPages(binary.pdf), 1);
    // Borders the paper cannot take: a warning, and the default borders.
    const Run borders = Call("t", "velm-borders=10,10", dir_.file("job.txt"));
    EXPECT_EQ(borders.status, 0) << borders.err;
    EXPECT_NE(borders.err.find("WARNING: velmtopdf: velm-borders: borders of 10.00 in and 10.00 in leave 0.00 in "
                               "of text width per column; at least 1.00 in is needed; printed with the default "
                               "borders"),
              std::string::npos)
        << borders.err;
    EXPECT_NE(PdfText(borders.pdf).find("line number 1\nline number 2\nline number 3"), std::string::npos);
    const Run missing = Call("t", "", dir_.file("absent"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("ERROR: "), std::string::npos);
    for (const char* name : {"empty", "latin1"}) {
        const Run r = Call("t", "", dir_.file(name));
        EXPECT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_EQ(PdfPages(r.pdf), 1) << name;
        // A CUPS prefix on every line, and no name of a file that is gone.
        EXPECT_NE(r.err.find("INFO: Velm formatted 1 sheet\n"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("velm: wrote"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Call("t", "", "", "CONTENT_TYPE=text/plain", "/dev/null").status, 0);
    EXPECT_NE(testing::run(Quote(VELM_FILTER) + " only three args 2>/dev/null"), 0);
    EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(Filter, ADamagedSystemSettingsFileIsLoggedAndIgnored)
{
    dir_.write("system.ini", "[Velm]\nColCount=1\n\x01\x02 not a setting\n");
    dir_.write("job.txt", Lines(3));
    fs::create_directory(dir_.file("folder.ini"));
    const Run damaged = Call("t", "", dir_.file("job.txt"),
                             "CONTENT_TYPE=text/plain VELM_SYSTEM_SETTINGS=" + Quote(dir_.file("system.ini")));
    const Run folder = Call("t", "", dir_.file("job.txt"),
                            "CONTENT_TYPE=text/plain VELM_SYSTEM_SETTINGS=" + Quote(dir_.file("folder.ini")));
    ASSERT_EQ(damaged.status + folder.status, 0) << damaged.err << folder.err;
    EXPECT_NE(damaged.err.find("WARNING: velmtopdf: " + dir_.file("system.ini") + ": line 3 is not a setting"),
              std::string::npos) << damaged.err;
    EXPECT_NE(folder.err.find("WARNING: velmtopdf: " + dir_.file("folder.ini") + ": it is a directory"),
              std::string::npos) << folder.err;
}

// The filter as a process of its own, with its standard output a pipe of
// the test's; returns its pid.
pid_t StartFilter(const std::string& tmp, const std::string& input, int out)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const std::string tmpdir = "TMPDIR=" + tmp;
    const char* argv[] = {VELM_FILTER, "7", "alice", "t", "1", "", nullptr};
    const char* env[] = {"PATH=/usr/bin:/bin", tmpdir.c_str(), "CONTENT_TYPE=text/plain", nullptr};
    pid_t pid = -1;
    posix_spawn(&pid, VELM_FILTER, &actions, nullptr, const_cast<char**>(argv), const_cast<char**>(env));
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int ExitStatus(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// cupsd closes the filter's output when a job is cancelled; a filter
// killed outright leaves its folder to the next one.
TEST_F(Filter, NoFolderOutlivesAClosedOutputOrAKill)
{
    dir_.write("job.txt", Lines(300));
    int closed[2];
    ASSERT_EQ(pipe(closed), 0);
    ::close(closed[0]); // nobody will read the PDF
    const pid_t cancelled = StartFilter(dir_.file("tmp"), dir_.file("job.txt"), closed[1]);
    ::close(closed[1]);
    EXPECT_EQ(ExitStatus(cancelled), 0);
    EXPECT_TRUE(TmpIsEmpty()) << testing::filesIn(dir_.file("tmp"))[0];

    // Killed while it reads a standard input that never ends: more than
    // memory holds, so that its folder is the server's.
    ASSERT_EQ(mkfifo(dir_.file("endless").c_str(), 0600), 0);
    const int writer = ::open(dir_.file("endless").c_str(), O_RDWR); // held open: no end of input
    const int sink = ::open("/dev/null", O_WRONLY);
    const pid_t killed = StartFilter(dir_.file("tmp"), dir_.file("endless"), sink);
    const std::string head(SpooledInput::kHeld + 1, 'x');
    ASSERT_EQ(::write(writer, head.data(), head.size()), static_cast<ssize_t>(head.size()));
    ASSERT_TRUE(testing::waitUntil([&] {
        for (const std::string& name : testing::filesIn(dir_.file("tmp")))
            if (fs::exists(dir_.file("tmp/" + name + "/config")))
                return true;
        return false;
    })) << "the filter made no folder";
    ::kill(killed, SIGKILL);
    EXPECT_EQ(ExitStatus(killed), 128 + SIGKILL);
    ::close(writer);
    ::close(sink);
    EXPECT_FALSE(TmpIsEmpty());
    const Run next = Call("t", "", dir_.file("job.txt"));
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_TRUE(TmpIsEmpty()) << testing::filesIn(dir_.file("tmp"))[0];
}

TEST(FilterJob, TitleHeadsThePageUnlessVelmHeaderIsGiven)
{
    const FilterJob plain = ReadFilterJob("My Job", "copies=2 page-ranges=2 number-up=2", "text/plain", "");
    EXPECT_EQ(plain.options.header, "My Job");
    EXPECT_EQ(plain.options.input, frFile);
    EXPECT_EQ(plain.options.orientation, Portrait);
    const FilterJob own = ReadFilterJob("My Job", "velm-header=Mine velm-no-page-number=false velm-no-date=true",
                                        "text/html", "");
    EXPECT_EQ(own.options.header, "Mine");
    EXPECT_EQ(own.options.input, frHTML);
    EXPECT_FALSE(own.options.noPageNumber);
    EXPECT_TRUE(own.options.noDate);
}

// Plain text as a text filter prints it unless the job says otherwise;
// HTML keeps its own faces.
TEST(FilterJob, TextGetsTabStopsFormFeedsAndAMonospaceBodyByDefault)
{
    struct Case {
        const char* options;
        const char* type;
        int tabSize;
        bool formFeed;
        std::optional<std::string> font;
        const char* warning;
    };
    const Case cases[] = {
        {"", "text/plain", 8, true, MonospaceFace(), ""},
        {"velm-tab-size=4 velm-form-feed=off velm-font=Arial", "text/plain", 4, false, "Arial", ""},
        {"velm-form-feed=true", "text/html", 8, true, std::nullopt, ""},
        {"velm-tab-size=0", "text/plain", 8, true, MonospaceFace(), "velm-tab-size: '0' is not a whole number"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const FilterJob job = ReadFilterJob("t", c.options, c.type, "");
        EXPECT_EQ(job.options.tabSize, c.tabSize);
        EXPECT_EQ(job.options.formFeed, c.formFeed);
        EXPECT_EQ(job.options.font, c.font);
        EXPECT_EQ(job.warnings.empty() ? "" : job.warnings[0].substr(0, std::strlen(c.warning)), c.warning);
    }
}

TEST(FilterJob, PaperPixelsKeepTheMargin)
{
    FilterPaper a4{595.28, 841.89, 18, false};
    const PrinterCaps caps = PaperCaps(a4, 600);
    EXPECT_EQ(MarginPixels(a4, 600), 150);
    EXPECT_EQ(caps.horzRes, 4961 - 300);
    EXPECT_EQ(caps.vertRes, 7016 - 300);
    EXPECT_EQ(caps.logPixelsX, 600);
}

// Through the test server (tests/cups-setup.sh with the build folder):
// lp of text and HTML on the cups-pdf queue Velm_Filter_PDF.
class FilterInCups : public Filter {
protected:
    void SetUp() override
    {
        std::string serverbin;
        testing::run("cups-config --serverbin", &serverbin);
        serverbin.erase(serverbin.find_last_not_of("\n") + 1);
        if (testing::run("lpstat -p Velm_Filter_PDF >/dev/null 2>&1") != 0 ||
            !fs::exists(serverbin + "/filter/velmtopdf"))
            VELM_SKIP_MISSING("no Velm_Filter_PDF queue with velmtopdf: run tests/cups-setup.sh build");
        for (const std::string& name : testing::filesIn(Spool()))
            earlier_.insert(name);
    }
    static std::string Spool()
    {
        const char* out = std::getenv("VELM_CUPS_OUT");
        return out ? out : "/var/spool/cups-pdf/velm-tests";
    }
    // Submits a job; returns its number (0 when lp refused it).
    static int Submit(const std::string& arguments)
    {
        std::string out;
        testing::run("lp -d Velm_Filter_PDF " + arguments + " 2>&1", &out);
        std::smatch m;
        return std::regex_search(out, m, std::regex("Velm_Filter_PDF-(\\d+)")) ? std::stoi(m[1]) : 0;
    }
    // The job's state as lpstat reports it once the server is done with it:
    // "completed", or "stopped" with its message; polled (at most ten
    // minutes, the test's own limit).
    static std::string AwaitEnd(int job)
    {
        const std::string id = "Velm_Filter_PDF-" + std::to_string(job);
        for (int poll = 0; poll < 6000; ++poll) {
            std::string completed, pending;
            testing::run("lpstat -W completed -o Velm_Filter_PDF", &completed);
            if (std::regex_search(completed, std::regex(id + "\\s")))
                return "completed";
            testing::run("lpstat -l -o Velm_Filter_PDF", &pending);
            const std::size_t at = pending.find(id + " ");
            if (at != std::string::npos && pending.find("job-completed-with-errors", at) != std::string::npos)
                return "stopped: " + pending.substr(at);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return "still pending";
    }
    // AwaitEnd, and a job that did not complete is cancelled, so that it
    // holds up nothing after the test.
    static std::string AwaitCompletion(int job)
    {
        const std::string end = AwaitEnd(job);
        if (end != "completed")
            testing::run("cancel Velm_Filter_PDF-" + std::to_string(job) + " 2>/dev/null");
        return end;
    }
    // A restarted server may number jobs anew: files of earlier runs that
    // carry the same number are not this job's.
    std::string PdfOf(int job) const
    {
        for (const std::string& name : testing::filesIn(Spool()))
            if (name.starts_with("job_" + std::to_string(job) + "-") && name.ends_with(".pdf") &&
                !earlier_.count(name))
                return Spool() + "/" + name;
        return {};
    }

    std::set<std::string> earlier_;
};

TEST_F(FilterInCups, LpOfTextAndHtmlGetsVelmsLayout)
{
    dir_.write("notes.txt", Lines(120));
    dir_.write("page.html", "<html><head><title>T</title></head><body><p>Rendered <b>words</b></p></body></html>\n");
    const int text = Submit("-t 'Filter Title' " + Quote(dir_.file("notes.txt")));
    const int html = Submit("-t Web " + Quote(dir_.file("page.html")));
    const int twoUp = Submit("-t Two -o velm-layout=1x2 " + Quote(dir_.file("notes.txt")));
    const int second = Submit("-t Second -o page-ranges=2 " + Quote(dir_.file("notes.txt")));
    // Open ranges, as lp users write them.
    const int fromTwo = Submit("-o page-ranges=2- " + Quote(dir_.file("notes.txt")));
    const int firstTwo = Submit("-o page-ranges=-2 " + Quote(dir_.file("notes.txt")));
    ASSERT_TRUE(text && html && twoUp && second && fromTwo && firstTwo);
    for (int job : {text, html, twoUp, second, fromTwo, firstTwo})
        ASSERT_EQ(AwaitEnd(job), "completed") << job;
    const std::string textPdf = PdfOf(text);
    const std::string words = PdfText(textPdf);
    // cups-pdf has distilled the filter's PDF again: the title still reads whole.
    EXPECT_NE(words.find("Filter Title"), std::string::npos) << words;
    EXPECT_NE(words.find("Printed on"), std::string::npos);
    EXPECT_NE(words.find("Page 3"), std::string::npos);
    for (int i = 1; i <= 120; ++i)
        EXPECT_NE(words.find("line number " + std::to_string(i) + "\n"), std::string::npos) << i;
    const std::string rendered = PdfText(PdfOf(html));
    EXPECT_NE(rendered.find("Rendered words"), std::string::npos) << rendered;
    EXPECT_EQ(rendered.find("<b>"), std::string::npos);
    EXPECT_LT(PdfPages(PdfOf(twoUp)), PdfPages(textPdf));
    EXPECT_EQ(PdfPages(PdfOf(second)), 1);
    EXPECT_NE(PdfText(PdfOf(second)).find("Page 2"), std::string::npos);
    EXPECT_EQ(PdfPages(PdfOf(fromTwo)), PdfPages(textPdf) - 1);
    EXPECT_EQ(PdfText(PdfOf(fromTwo)).find("line number 1\n"), std::string::npos);
    EXPECT_EQ(PdfPages(PdfOf(firstTwo)), 2);
}

// No document stops the print server's queue: one with a NUL byte in its
// text and one with options the filter cannot use complete.
TEST_F(FilterInCups, NoDocumentStopsTheQueue)
{
    dir_.write("nul.txt", Lines(600) + std::string("before\0after\nline two\n", 23));
    dir_.write("notes.txt", Lines(3));
    const int nul = Submit(Quote(dir_.file("nul.txt")));
    const int badOption = Submit("-o velm-layout=3x3 -o velm-nonsense=1 " + Quote(dir_.file("notes.txt")));
    ASSERT_TRUE(nul && badOption);
    EXPECT_EQ(AwaitCompletion(nul), "completed");
    EXPECT_EQ(AwaitCompletion(badOption), "completed");
    EXPECT_NE(PdfText(PdfOf(nul)).find("line number 600\nbefore"), std::string::npos);
    EXPECT_NE(PdfText(PdfOf(badOption)).find("line number 3"), std::string::npos);
}

// One document never stops the print server: binary data prints; a man
// page's overstrike is no binary data, and prints bold.
TEST_F(FilterInCups, BinaryDataAndOverstrikeCompleteTheJob)
{
    dir_.write("binary", std::string("\x7f" "ELF\2\1\1\0\0\0 some readable bytes\n", 30));
    dir_.write("ls.man", "N\bNA\bAM\bME\bE\n       ls - list directory contents\n");
    const int binary = Submit("-o document-format=text/plain " + Quote(dir_.file("binary")));
    const int man = Submit("-o document-format=text/plain " + Quote(dir_.file("ls.man")));
    ASSERT_TRUE(binary && man);
    for (const int job : {binary, man}) {
        EXPECT_EQ(AwaitCompletion(job), "completed") << job;
    }
    EXPECT_NE(PdfText(PdfOf(binary)).find("some readable bytes"), std::string::npos);
    const std::string pdf = PdfOf(man);
    EXPECT_NE(PdfText(pdf).find("NAME\nls - list directory contents"), std::string::npos) << PdfText(pdf);
    std::string fonts;
    testing::run("pdffonts " + Quote(pdf), &fonts);
    EXPECT_NE(fonts.find("Bold"), std::string::npos) << fonts;
}

// A text filter's conventions: a man page as nroff writes it prints bold,
// tabs stand on 8-column stops of the monospace body, and form feeds start
// pages.
TEST_F(FilterInCups, ManPagesTabsAndFormFeedsPrintAsTextToolsPrintThem)
{
    std::string man;
    if (testing::run("MAN_KEEP_FORMATTING=1 MANPAGER=cat man ls 2>/dev/null", &man) != 0 ||
        man.find('\b') == std::string::npos)
        man = "N\bNA\bAM\bME\bE\n       ls - list directory contents\n";
    dir_.write("ls.man", man);
    dir_.write("tabs.txt", "00000000\n0000000000000000\n\tone\nab\ttwo\n\t\tthree\n");
    dir_.write("pages.txt", "first\n\f\nsecond\fthird\n\f");
    const int manJob = Submit("-o document-format=text/plain " + Quote(dir_.file("ls.man")));
    const int tabs = Submit(Quote(dir_.file("tabs.txt")));
    const int pages = Submit(Quote(dir_.file("pages.txt")));
    ASSERT_TRUE(manJob && tabs && pages);
    for (const int job : {manJob, tabs, pages})
        ASSERT_EQ(AwaitCompletion(job), "completed") << job;
    EXPECT_NE(PdfText(PdfOf(manJob)).find("NAME\nls - list directory contents"), std::string::npos);
    EXPECT_NE(testing::PdfFonts(PdfOf(manJob)).find("Mono-Bold"), std::string::npos)
        << testing::PdfFonts(PdfOf(manJob));
    const std::vector<testing::PdfSheet> sheets = testing::ReadPdfSheets(PdfOf(tabs));
    ASSERT_EQ(sheets.size(), 1u);
    const auto x = [&](const std::string& text, bool end) {
        const testing::PdfWord* w = testing::FindWord(sheets[0], text);
        EXPECT_TRUE(w) << text;
        return w ? (end ? w->xMax : w->xMin) : 0.0;
    };
    EXPECT_NEAR(x("one", false), x("00000000", true), 0.5);
    EXPECT_NEAR(x("two", false), x("00000000", true), 0.5);
    EXPECT_NEAR(x("three", false), x("0000000000000000", true), 0.5);
    const std::vector<testing::PdfSheet> paged = testing::ReadPdfSheets(PdfOf(pages));
    ASSERT_EQ(paged.size(), 3u);
    const char* first[] = {"first", "second", "third"};
    for (std::size_t i = 0; i < paged.size(); ++i)
        EXPECT_TRUE(testing::FindWord(paged[i], first[i])) << i;
}

} // namespace
} // namespace velm
