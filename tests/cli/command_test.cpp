// The velm program as a script runs it: real files, the built-in PDF
// printer, the CUPS queues of the test server, exit codes and messages.
#include "platform/core/codepage.h"
#include "platform/metafile/emf_reader.h"
#include "support/logging_device.h"
#include "support/testing.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>
#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace velm {
namespace {

using testing::TempDir;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

using testing::Quote;

// Runs velm with the given arguments (already quoted) in folder `cwd`.
Outcome Velm(const std::string& arguments, const std::string& cwd = fs::temp_directory_path().string(),
             const std::string& environment = "", const std::string& binary = VELM_BINARY)
{
    TempDir capture;
    Outcome o;
    o.status = testing::run("cd " + Quote(cwd) + " && " + environment + " " + Quote(binary) + " "
                            + arguments + " >" + capture.file("out") + " 2>" + capture.file("err"));
    o.out = testing::readFile(capture.file("out"));
    o.err = testing::readFile(capture.file("err"));
    return o;
}

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

int PdfPages(const std::string& pdf)
{
    std::string info;
    testing::run("pdfinfo " + Quote(pdf) + " 2>/dev/null", &info);
    std::smatch m;
    return std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)")) ? std::stoi(m[1]) : -1;
}

std::string PdfText(const std::string& pdf, int first = 0, int last = 0)
{
    std::string text;
    const std::string range = first ? " -f " + std::to_string(first) + " -l " + std::to_string(last) : "";
    testing::run("pdftotext -raw" + range + " " + Quote(pdf) + " - 2>/dev/null", &text);
    return text;
}

// A long real source file, with lines longer than the reader's 250-byte pieces.
std::string LongSourceFile()
{
    std::string path;
    testing::run("find /usr/include -name qopengles2ext.h 2>/dev/null | head -n 1", &path);
    while (!path.empty() && std::isspace(static_cast<unsigned char>(path.back())))
        path.pop_back();
    return path;
}

class Command : public ::testing::Test {
protected:
    Command() { dir_.write("short.txt", "alpha beta gamma\ndelta epsilon\n"); }
    std::string PdfFolder() const { return std::getenv("VELM_PDF_DIR"); }
    std::vector<std::string> PdfsWritten() const { return testing::filesIn(PdfFolder()); }
    TempDir dir_;
};

TEST_F(Command, HelpAndVersionNeedNoPrinter)
{
    const Outcome help = Velm("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--printer=NAME", "--output=FILE.pdf", "--layout", "--pages=all|odd|even",
                               "--keep-pages=DIR", "--list-printers", "--font-size", "--borders"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    const Outcome version = Velm("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("velm ", 0), 0u);
}

TEST_F(Command, CommandLineErrorsExitWithTwoAndSayWhy)
{
    const std::string file = Quote(dir_.file("short.txt"));
    const std::pair<std::string, std::string> cases[] = {
        {"--frobnicate " + file, "unknown option '--frobnicate'"},
        {"--layout=3x3 " + file, "--layout: '3x3' is not one of 1x1, 1x2, 1x3, 1x4, 2x2, 2x4"},
        {"--nup=3 " + file, "--nup: '3' is not one of 1, 2, 4, 8"},
        {"--line-spacing=wide " + file, "'wide' is not a valid floating point value"},
        {"-o a.pdf " + file + " " + file, "--output names one PDF"},
        {"--pages", "option '--pages' needs a value"},
        {"--no-date", "no FILE given"},
        {"-o a.pdf --paper=Foolscap " + file,
         "--paper: unknown paper size 'Foolscap' (known: A3, A4, A5, B5, Letter, Legal, Tabloid)"},
        {"--copies=0 " + file, "--copies: 0 is outside 1 to 999"},
        {"--copies=1.5 " + file, "--copies: '1.5' is not a whole number"},
        {"--copies=2 -o a.pdf " + file, "--copies asks a CUPS queue for copies"},
        {"--copies=2 -P 'Velm PDF' " + file, "the built-in printer writes one PDF"},
    };
    for (const auto& [arguments, message] : cases) {
        const Outcome o = Velm(arguments);
        EXPECT_EQ(o.status, 2) << arguments;
        EXPECT_NE(o.err.find(message), std::string::npos) << arguments << ": " << o.err;
    }
    EXPECT_TRUE(PdfsWritten().empty());
}

TEST_F(Command, ListsThePrintersWithTheDefaultMarked)
{
    const Outcome o = Velm("--list-printers");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(std::regex_search(o.out, std::regex("^[* ] Velm PDF$", std::regex::multiline))) << o.out;
    EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '*'), 1) << o.out;
}

TEST_F(Command, MissingFileIsAFailure)
{
    const Outcome o = Velm(Quote(dir_.file("missing.txt")));
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("Error: File " + dir_.file("missing.txt") + " cannot be opened"), std::string::npos)
        << o.err;
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(PdfsWritten().empty());
}

TEST_F(Command, UnknownPrinterAndUnreachableServerAreFailures)
{
    const std::string file = Quote(dir_.file("short.txt"));
    const Outcome unknown = Velm("-P 'No Such Printer' " + file);
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("no printer named 'No Such Printer'"), std::string::npos) << unknown.err;
    const Outcome down = Velm("-P Velm_Test_PDF " + file, dir_.path(), "CUPS_SERVER=" + dir_.file("no-cupsd.sock"));
    EXPECT_EQ(down.status, 1);
    EXPECT_NE(down.err.find("no printer named 'Velm_Test_PDF'"), std::string::npos) << down.err;
    EXPECT_EQ(unknown.out + down.out, "");
}

// A print server on a socket of its own that counts its callers and hangs
// up on each.
class CountingServer {
public:
    explicit CountingServer(const std::string& path) : listener_(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        ok_ = ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(listener_, 16) == 0;
        thread_ = std::thread([this] {
            while (!done_) {
                pollfd ready{listener_, POLLIN, 0};
                if (::poll(&ready, 1, 20) > 0)
                    if (const int caller = ::accept(listener_, nullptr, nullptr); caller >= 0) {
                        ++callers_;
                        ::close(caller);
                    }
            }
        });
    }
    ~CountingServer()
    {
        done_ = true;
        thread_.join();
        ::close(listener_);
    }
    bool ok() const { return ok_; }
    int callers() const { return callers_; }

private:
    int listener_;
    bool ok_ = false;
    std::atomic<bool> done_{false};
    std::atomic<int> callers_{0};
    std::thread thread_;
};

// A job on the built-in printer, named or implied by -o, never waits on the
// print server's queue list.
TEST_F(Command, TheBuiltInPrinterAsksNoPrintServer)
{
    const CountingServer server(dir_.file("cupsd.sock"));
    ASSERT_TRUE(server.ok());
    const std::string environment = "CUPS_SERVER=" + dir_.file("cupsd.sock");
    const std::string file = Quote(dir_.file("short.txt"));
    for (const std::string& arguments : {"-o " + Quote(dir_.file("a.pdf")) + " " + file, "-P 'Velm PDF' " + file}) {
        const Outcome o = Velm(arguments, dir_.path(), environment);
        EXPECT_EQ(o.status, 0) << arguments << ": " << o.err;
    }
    EXPECT_TRUE(fs::exists(dir_.file("a.pdf")));
    EXPECT_EQ(server.callers(), 0);
    // The server is reachable: a queue list would have called it.
    EXPECT_EQ(Velm("--list-printers", dir_.path(), environment).status, 0);
    EXPECT_GT(server.callers(), 0);
}

TEST_F(Command, UnwritablePdfFolderIsAFailure)
{
    // Below a plain file no folder can be made, not even by root.
    const Outcome o = Velm(Quote(dir_.file("short.txt")), dir_.path(),
                           "VELM_PDF_DIR=" + Quote(dir_.file("short.txt") + "/pdf"));
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("short.txt/pdf"), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
}

// A machine whose fontconfig finds no font at all.
// No font installed, or a Qt platform that makes no fonts from files.
TEST_F(Command, NoFontIsAFailureNotACrash)
{
    dir_.write("empty-fonts.conf", "<fontconfig><cachedir>" + dir_.file("fc-cache") + "</cachedir></fontconfig>\n");
    const std::string conf = dir_.file("empty-fonts.conf");
    const std::pair<std::string, std::string> cases[] = {
        {"FONTCONFIG_FILE=" + Quote(conf), "No font could be loaded for"},
        {"QT_QPA_PLATFORM=minimal", "on Qt's \"minimal\" platform (QT_QPA_PLATFORM)"},
    };
    for (const auto& [environment, message] : cases) {
        const Outcome o = Velm(Quote(dir_.file("short.txt")), dir_.path(), environment);
        EXPECT_EQ(o.status, 1) << environment;
        EXPECT_NE(o.err.find(message), std::string::npos) << o.err;
        EXPECT_TRUE(PdfsWritten().empty());
    }
}

// A headless job needs no screen: a display that is named but gone (no
// server answers there) is no reason to stop it, and it prints as without one.
TEST_F(Command, AJobPrintsWhenItsDisplayIsGone)
{
    const std::string epoch = "SOURCE_DATE_EPOCH=1700000000 env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY";
    const Outcome gone = Velm("-o gone.pdf short.txt", dir_.path(), epoch + " DISPLAY=:987");
    const Outcome none = Velm("-o none.pdf short.txt", dir_.path(), epoch + " -u DISPLAY");
    ASSERT_EQ(gone.status, 0) << gone.err;
    ASSERT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(testing::readFile(dir_.file("gone.pdf")), testing::readFile(dir_.file("none.pdf")));
}

// A job prints whatever state its settings file is in, and says once why
// its page settings were not recorded there. Permissions bind root too
// little: those kinds run as nobody when the test runs as root.
TEST_F(Command, AJobPrintsWhenItsSettingsFileCannotBeWritten)
{
    const bool root = ::geteuid() == 0;
    const std::string asUser = root ? "setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/nonexistent " : "";
    const auto config = [&](const std::string& name) {
        fs::create_directory(dir_.file(name));
        return dir_.file(name);
    };
    fs::create_directory(config("folder") + "/Pellido.Ini");
    for (const auto& [folder, mode] : {std::pair{"readonly", 0444}, {"unreadable", 0}}) {
        const std::string file = config(folder) + "/Pellido.Ini";
        std::ofstream(file) << "[Velm]\n";
        ::chmod(file.c_str(), static_cast<mode_t>(mode));
    }
    fs::create_symlink(dir_.file("gone/Pellido.Ini"), config("dangling") + "/Pellido.Ini");
    ::mkfifo((config("fifo") + "/Pellido.Ini").c_str(), 0600);
    ::chmod(config("lockedfolder").c_str(), 0555);
    ::chmod(dir_.path().c_str(), 0755);
    ::chmod(config("out").c_str(), 0777);
    // The build may lie where nobody cannot reach (root's home): nobody runs a copy.
    const std::string binary = root ? dir_.file("velm") : std::string(VELM_BINARY);
    if (root)
        fs::copy_file(VELM_BINARY, binary);
    const struct {
        std::string folder, user, reason;
    } kinds[] = {
        {"folder", "", "it is a directory"},
        {"readonly", "", "it is read-only"},
        {"dangling", "", "it is a link to " + dir_.file("gone/Pellido.Ini") + " (No such file or directory)"},
        {"fifo", "", "it is not a regular file"},
        {"lockedfolder", asUser, "Permission denied"},
        {"unreadable", asUser, "cannot read it (Permission denied)"},
    };
    for (const auto& kind : kinds) {
        const std::string pdf = dir_.file("out/" + kind.folder + ".pdf");
        const Outcome o = Velm("-o " + Quote(pdf) + " short.txt", dir_.path(),
                               "VELM_CONFIG_DIR=" + Quote(dir_.file(kind.folder)) + " timeout 60 " + kind.user, binary);
        EXPECT_EQ(o.status, 0) << kind.folder << ": " << o.err;
        EXPECT_EQ(o.err, "velm: warning: short.txt: Unable to write to " + dir_.file(kind.folder + "/Pellido.Ini")
                             + ": " + kind.reason + "; the job prints all the same\n");
        EXPECT_NE(PdfText(pdf).find("alpha beta gamma"), std::string::npos) << kind.folder;
    }
}

TEST_F(Command, EveryWordOfALongSourceFilePrintsOnceInOrder)
{
    const std::string source = LongSourceFile();
    if (source.empty())
        VELM_SKIP_MISSING("qt6-base-dev headers are not installed");
    // Header and footer texts stand on every sheet.
    const std::string pdf = dir_.file("long.pdf");
    const Outcome o = Velm("--header-left=HEADMARK -o " + Quote(pdf) + " " + Quote(source), dir_.path());
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "velm: wrote " + pdf + "\n");
    const int sheets = PdfPages(pdf);
    ASSERT_GT(sheets, 40);
    for (int sheet = 1; sheet <= sheets; ++sheet) {
        SCOPED_TRACE(sheet);
        const std::string text = PdfText(pdf, sheet, sheet);
        EXPECT_NE(text.find("HEADMARK"), std::string::npos);
        EXPECT_NE(text.find("Page Footer"), std::string::npos);
        EXPECT_NE(text.find("Printed on "), std::string::npos);
        EXPECT_NE(text.find("Page " + std::to_string(sheet)), std::string::npos);
        if (sheet > 1) {
            EXPECT_NE(text.find(source), std::string::npos) << "the path heads every sheet but the first";
        }
    }

    // The body's words, read in layout order without the header box (whose
    // texts share the first line's rows), are the input's words.
    const std::string bare = dir_.file("bare.pdf");
    const Outcome b = Velm("--no-header -o " + Quote(bare) + " " + Quote(source), dir_.path());
    ASSERT_EQ(b.status, 0) << b.err;
    std::string layout;
    testing::run("pdftotext -layout " + Quote(bare) + " - 2>/dev/null", &layout);
    std::string body;
    std::istringstream lines(layout);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t start = line.find_first_not_of(" \f");
        const std::string trimmed = start == std::string::npos ? "" : line.substr(start);
        if (trimmed.rfind("Page Footer", 0) != 0 && trimmed.rfind("Printed on ", 0) != 0)
            body += trimmed + "\n";
    }
    const std::vector<std::string> printed = Words(body);
    const std::vector<std::string> input = Words(testing::readFile(source));
    ASSERT_EQ(printed.size(), input.size());
    for (std::size_t i = 0; i < input.size(); ++i)
        ASSERT_EQ(printed[i], input[i]) << "word " << i;
}

TEST_F(Command, EachDocumentGetsItsOwnPdfAndTheCallersFolderIsLeftAlone)
{
    // A user's own file with a stored page's name must survive.
    dir_.write("PRN001.EMF", "mine");
    const Outcome first = Velm(Quote(dir_.file("short.txt")), dir_.path());
    const Outcome second = Velm("short.txt", dir_.path());
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_NE(first.out, second.out);
    for (const Outcome* o : {&first, &second}) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(o->out, m, std::regex("velm: wrote (.*\\.pdf)\n"))) << o->out;
        EXPECT_EQ(fs::path(m[1].str()).parent_path(), fs::path(PdfFolder()));
        EXPECT_EQ(Words(PdfText(m[1])).at(0), "alpha") << "the first sheet's header centre is empty";
    }
    EXPECT_EQ(PdfsWritten().size(), 2u);
    EXPECT_EQ(testing::readFile(dir_.file("PRN001.EMF")), "mine");
    EXPECT_EQ(testing::filesIn(dir_.path()), (std::vector<std::string>{"PRN001.EMF", "short.txt"}));
}

TEST_F(Command, PageOptionsReachThePage)
{
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "line " + std::to_string(i) + "\n";
    dir_.write("lines.txt", text);
    const Outcome all = Velm("-o all.pdf lines.txt", dir_.path());
    const Outcome odd = Velm("-o odd.pdf --pages=odd lines.txt", dir_.path());
    const Outcome dense = Velm("-o dense.pdf --layout=2x2 -s 8 --line-spacing=1 --footer=FOOTMARK"
                               " --header=CENTREMARK --no-date --no-page-number lines.txt",
                               dir_.path());
    ASSERT_EQ(all.status + odd.status + dense.status, 0) << all.err << odd.err << dense.err;
    const int sheets = PdfPages(dir_.file("all.pdf"));
    EXPECT_GT(sheets, 4);
    EXPECT_EQ(PdfPages(dir_.file("odd.pdf")), (sheets + 1) / 2);
    // Four cells of 300 short lines: each first-row cell ends at its own bottom.
    EXPECT_EQ(PdfPages(dir_.file("dense.pdf")), 2);
    const std::string dense_text = PdfText(dir_.file("dense.pdf"));
    EXPECT_NE(dense_text.find("FOOTMARK"), std::string::npos);
    EXPECT_NE(dense_text.find("CENTREMARK"), std::string::npos);
    EXPECT_EQ(dense_text.find("Printed on"), std::string::npos);
    EXPECT_FALSE(std::regex_search(dense_text, std::regex("Page \\d")));
}

// Words of a PDF with their boxes, as pdftotext -bbox gives them.
struct PdfWord {
    std::string text;
    double xMin, yMin, xMax;
};
std::vector<PdfWord> PdfWords(const std::string& pdf)
{
    std::string html;
    testing::run("pdftotext -bbox " + Quote(pdf) + " - 2>/dev/null", &html);
    std::vector<PdfWord> words;
    const std::regex word("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\"[^>]*>([^<]*)</word>");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), word); it != std::sregex_iterator(); ++it)
        words.push_back({(*it)[4], std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3])});
    return words;
}

TEST_F(Command, LineNumbersAndHighlightingReachThePdf)
{
    dir_.write("prog.c", "/* one\n   two */\nint main(void) { return 0; }\n");
    const Outcome o = Velm("-o src.pdf -N --highlight prog.c", dir_.path());
    ASSERT_EQ(o.status, 0) << o.err;
    const std::vector<PdfWord> words = PdfWords(dir_.file("src.pdf"));
    auto find = [&words](const std::string& text) {
        const auto it = std::find_if(words.begin(), words.end(), [&](const PdfWord& w) { return w.text == text; });
        return it == words.end() ? PdfWord{"", -1, -1, -1} : *it;
    };
    const PdfWord one = find("1"), two = find("2"), three = find("3"), open = find("/*"), keyword = find("int");
    ASSERT_FALSE(one.text.empty() || two.text.empty() || three.text.empty() || open.text.empty());
    EXPECT_NEAR(one.xMax, three.xMax, 0.5);
    EXPECT_LT(one.xMax, open.xMin);
    EXPECT_NEAR(three.yMin, keyword.yMin, 0.5);
    EXPECT_NEAR(one.yMin, open.yMin, 0.5);

    const Outcome unknown = Velm("-o plain.pdf --highlight=no-such-language prog.c", dir_.path());
    EXPECT_EQ(unknown.status, 0) << unknown.err;
    EXPECT_NE(unknown.err.find("no highlighting known for 'no-such-language'"), std::string::npos) << unknown.err;
}

TEST_F(Command, APipeIsReadOnceWithLineNumbersAndHighlighting)
{
    // Counting the lines first, or looking for binary data, would read the
    // writer's text away, or wait for ever for a second writer.
    ASSERT_EQ(testing::run("mkfifo " + Quote(dir_.file("prog.c"))), 0);
    TempDir capture;
    const int status = testing::run("cd " + Quote(dir_.path()) + " && (printf '/* one */\\nint two;\\n' >prog.c &)"
                                    " && timeout 60 " + Quote(VELM_BINARY) + " -o pipe.pdf -N --highlight prog.c 2>"
                                    + capture.file("err"));
    testing::run("timeout 5 cat " + Quote(dir_.file("prog.c")) + " >/dev/null 2>&1"); // frees a writer left waiting
    ASSERT_EQ(status, 0) << testing::readFile(capture.file("err"));
    std::vector<std::string> words = Words(PdfText(dir_.file("pipe.pdf")));
    words.resize(std::min<std::size_t>(words.size(), 7));
    EXPECT_EQ(words, (std::vector<std::string>{"1", "/*", "one", "*/", "2", "int", "two;"}));
}

TEST_F(Command, PrivateJobFolderHonoursTmpdirAndIsRemoved)
{
    fs::create_directory(dir_.file("tmp"));
    const Outcome chosen = Velm("-o a.pdf short.txt", dir_.path(), "TMPDIR=" + Quote(dir_.file("tmp")));
    ASSERT_EQ(chosen.status, 0) << chosen.err;
    EXPECT_TRUE(testing::filesIn(dir_.file("tmp")).empty());

    const Outcome missing = Velm("-o b.pdf short.txt", dir_.path(), "TMPDIR=" + Quote(dir_.file("gone")));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot make a temporary folder in " + dir_.file("gone")), std::string::npos)
        << missing.err;
    EXPECT_FALSE(fs::exists(dir_.file("b.pdf")));

    // Without TMPDIR a small job may format in memory-backed space; nothing
    // of this job stays behind there. Its folders carry its pid, which the
    // shell records before it becomes velm; other tests' jobs run meanwhile.
    const std::string pidFile = dir_.file("pid");
    const Outcome plain = Velm("-o c.pdf short.txt", dir_.path(),
                               "echo $$ >" + Quote(pidFile) + " && exec env -u TMPDIR");
    ASSERT_EQ(plain.status, 0) << plain.err;
    const std::string pid = Words(testing::readFile(pidFile)).at(0);
    for (const std::string& name : testing::filesIn("/dev/shm"))
        EXPECT_NE(name.rfind("velm-" + pid + "-", 0), 0u) << name << " left behind";
    EXPECT_EQ(PdfPages(dir_.file("c.pdf")), 1);
}

TEST_F(Command, KeepPagesLeavesTheStoredPages)
{
    const Outcome o = Velm("-o kept.pdf --keep-pages=pages short.txt", dir_.path());
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(testing::filesIn(dir_.file("pages")), std::vector<std::string>{"PRN001.EMF"});
    EXPECT_EQ(PdfPages(dir_.file("kept.pdf")), 1);
}

// -o writes through what it names: the tests make their own FIFOs, links
// and device nodes, so that a fault can never replace the system's.
std::string ManyPages()
{
    std::string text;
    for (int line = 1; line <= 4000; ++line)
        text += "line " + std::to_string(line) + " of a file of a hundred pages or so\n";
    return text;
}

// A job prints its pages as they are laid out, never storing them; what it
// prints must be exactly what its stored pages print.
TEST_F(Command, PagesPlayedAsTheyAreLaidOutPrintWhatTheirStoredPagesPrint)
{
    dir_.write("long.txt", ManyPages());
    for (const std::string job : {"short.txt", "long.txt", "--nup=2 long.txt", "--pages=even short.txt",
                                  "--pages=odd --orientation=landscape --nup=8 long.txt"}) {
        const std::string epoch = "SOURCE_DATE_EPOCH=1700000000";
        const Outcome played = Velm("-o played.pdf " + job, dir_.path(), epoch);
        const Outcome stored = Velm("-o stored.pdf --keep-pages=kept " + job, dir_.path(), epoch);
        ASSERT_EQ(played.status, 0) << job << played.err;
        ASSERT_EQ(stored.status, 0) << job << stored.err;
        EXPECT_EQ(testing::readFile(dir_.file("played.pdf")), testing::readFile(dir_.file("stored.pdf"))) << job;
        fs::remove_all(dir_.file("kept"));
    }
}

struct stat LinkStat(const std::string& path)
{
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

bool StartsAPdf(const std::string& bytes) { return bytes.rfind("%PDF-", 0) == 0; }

TEST_F(Command, OutputIntoAFifoReachesItsReader)
{
    const std::string fifo = dir_.file("fifo"), got = dir_.file("got.pdf");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread reader([&] { testing::run("cat " + Quote(fifo) + " > " + Quote(got)); });
    const Outcome o = Velm("-o fifo short.txt", dir_.path());
    const int unblock = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); // when velm never opened it
    if (unblock >= 0)
        ::close(unblock);
    reader.join();
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "velm: wrote " + fifo + "\n");
    EXPECT_TRUE(S_ISFIFO(LinkStat(fifo).st_mode));
    EXPECT_EQ(PdfPages(got), 1);
    EXPECT_EQ(Words(PdfText(got)).at(0), "alpha");
}

TEST_F(Command, OutputThroughALinkWritesItsTargetAndKeepsTheLink)
{
    ASSERT_EQ(::symlink("tgt.pdf", dir_.file("link.pdf").c_str()), 0);
    const Outcome created = Velm("-o link.pdf short.txt", dir_.path());
    EXPECT_EQ(created.status, 0) << created.err;
    EXPECT_EQ(PdfPages(dir_.file("tgt.pdf")), 1) << "a dangling link's target is created";
    dir_.write("short.txt", "second\n");
    const Outcome replaced = Velm("-o link.pdf short.txt", dir_.path());
    EXPECT_EQ(replaced.status, 0) << replaced.err;
    EXPECT_EQ(replaced.out, "velm: wrote " + dir_.file("link.pdf") + "\n");
    EXPECT_TRUE(S_ISLNK(LinkStat(dir_.file("link.pdf")).st_mode));
    EXPECT_EQ(Words(PdfText(dir_.file("tgt.pdf"))).at(0), "second");
    EXPECT_EQ(testing::filesIn(dir_.path()), (std::vector<std::string>{"link.pdf", "short.txt", "tgt.pdf"}));
}

TEST_F(Command, OutputOntoDevicesWritesIntoThemAndAFullOneFails)
{
    const std::string full = dir_.file("full"), null = dir_.file("null");
    if (::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0
        || ::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "making device nodes needs root";
    dir_.write("long.txt", ManyPages()); // its pages fail on a thread of their own
    for (const std::string file : {"short.txt", "long.txt"}) {
        const Outcome o = Velm("-o full " + file, dir_.path());
        EXPECT_EQ(o.status, 1) << file;
        EXPECT_NE(o.err.find("Cannot write PDF file " + full + ": No space left on device"), std::string::npos)
            << o.err;
        EXPECT_EQ(o.out, "");
        EXPECT_TRUE(S_ISCHR(LinkStat(full).st_mode)) << "the device is never replaced";
    }

    const Outcome discarded = Velm("-o null short.txt", dir_.path());
    EXPECT_EQ(discarded.status, 0) << discarded.err;
    EXPECT_EQ(discarded.out, "velm: wrote " + null + "\n");
    EXPECT_TRUE(S_ISCHR(LinkStat(null).st_mode));
}

TEST_F(Command, OutputDashIsStandardOutput)
{
    const Outcome o = Velm("-o - short.txt", dir_.path());
    EXPECT_EQ(o.status, 0) << o.err;
    ASSERT_TRUE(StartsAPdf(o.out)) << o.out.substr(0, 40);
    EXPECT_NE(o.err.find("velm: wrote standard output\n"), std::string::npos) << o.err;
    dir_.write("stdout.pdf", o.out);
    EXPECT_EQ(PdfPages(dir_.file("stdout.pdf")), 1);
    EXPECT_EQ(Words(PdfText(dir_.file("stdout.pdf"))).at(0), "alpha");
    EXPECT_FALSE(fs::exists(dir_.file("-")));

    // Standard output under another name, a pipe here, gets the PDF alone.
    const Outcome piped = Velm("-o /dev/stdout short.txt 2>" + Quote(dir_.file("err")) + " | cat", dir_.path());
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.out.find("velm: wrote"), std::string::npos);
    dir_.write("piped.pdf", piped.out);
    EXPECT_EQ(PdfPages(dir_.file("piped.pdf")), 1);
    EXPECT_EQ(testing::readFile(dir_.file("err")), "velm: wrote /dev/stdout\n");
}

TEST_F(Command, AnExistingPdfIsReplacedWholeOrNotAtAll)
{
    dir_.write("report.pdf", "the old report");
    // Stored pages fit under the limit, the PDF with its fonts does not.
    const Outcome failed = Velm("-o report.pdf short.txt", dir_.path(), "trap '' XFSZ; ulimit -f 8;");
    EXPECT_EQ(failed.status, 1);
    EXPECT_NE(failed.err.find("Cannot write PDF file " + dir_.file("report.pdf") + ": File too large"),
              std::string::npos)
        << failed.err;
    EXPECT_EQ(testing::readFile(dir_.file("report.pdf")), "the old report");
    EXPECT_EQ(testing::filesIn(dir_.path()), (std::vector<std::string>{"report.pdf", "short.txt"}));

    ASSERT_EQ(::chmod(dir_.file("report.pdf").c_str(), 0604), 0);
    const ino_t before = LinkStat(dir_.file("report.pdf")).st_ino;
    const Outcome o = Velm("-o report.pdf short.txt", dir_.path());
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(LinkStat(dir_.file("report.pdf")).st_ino, before) << "renamed into place";
    EXPECT_EQ(LinkStat(dir_.file("report.pdf")).st_mode & 07777, 0604u);
    EXPECT_EQ(PdfPages(dir_.file("report.pdf")), 1);
    EXPECT_EQ(testing::filesIn(dir_.path()), (std::vector<std::string>{"report.pdf", "short.txt"}));
}

// Reads a terminal's output until `wanted` shows or the terminal closes.
std::string ReadTerminal(int terminal, const std::string& wanted = {})
{
    std::string shown;
    char buffer[4096];
    ssize_t n;
    while ((wanted.empty() || shown.find(wanted) == std::string::npos)
           && (n = ::read(terminal, buffer, sizeof buffer)) > 0)
        shown.append(buffer, static_cast<std::size_t>(n));
    return shown;
}

// Ctrl-C in the middle of a job: velm reports its progress on a terminal
// that the test stops reading after the first report, so velm stalls on its
// next reports and cannot end before the signal, however fast it is.
TEST_F(Command, CtrlCAbortsTheJobAndWritesNothing)
{
    std::string big;
    for (int i = 0; i < 200000; ++i)
        big += "a line of a file of some four thousand pages, far more than a terminal holds reports of\n";
    dir_.write("big.txt", big);
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    QProcess velm;
    velm.setWorkingDirectory(QString::fromStdString(dir_.path()));
    velm.setStandardErrorFile(QString::fromLocal8Bit(::ptsname(terminal)));
    velm.start(VELM_BINARY, {"-o", "big.pdf", "big.txt"});
    ASSERT_TRUE(velm.waitForStarted());
    const std::string first = ReadTerminal(terminal, "velm: big.txt:");
    ASSERT_NE(first.find("velm: big.txt:"), std::string::npos) << first;
    ::kill(static_cast<pid_t>(velm.processId()), SIGINT);
    const std::string shown = ReadTerminal(terminal);
    ::close(terminal);
    ASSERT_TRUE(velm.waitForFinished(-1));
    EXPECT_EQ(velm.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(velm.exitCode(), 130) << shown;
    EXPECT_NE(shown.find("interrupted; nothing was printed"), std::string::npos) << shown;
    EXPECT_FALSE(fs::exists(dir_.file("big.pdf")));
    EXPECT_EQ(velm.readAllStandardOutput().toStdString(), "");
}

std::string PdfInfo(const std::string& pdf, const std::string& field)
{
    std::string info;
    testing::run("pdfinfo " + Quote(pdf) + " 2>/dev/null", &info);
    std::smatch m;
    return std::regex_search(info, m, std::regex(field + ":\\s+([^\n]*?)( \\(.*\\))?\n")) ? m[1].str() : "";
}

// The built-in printer's paper: --paper, else $PAPERSIZE, else the file
// $PAPERCONF (or /etc/papersize) names, as libpaper reads them.
TEST_F(Command, BuiltInPrinterPaperFollowsTheOptionAndTheSystem)
{
    dir_.write("a5.conf", "# the system's paper\n  a5  \n");
    dir_.write("odd.conf", "executive\n");
    const std::string conf = "PAPERSIZE= PAPERCONF=" + Quote(dir_.file("a5.conf"));
    const struct {
        std::string environment, arguments, size;
    } cases[] = {
        {"PAPERSIZE=letter", "", "612 x 792 pts"},
        {"PAPERSIZE=Letter", "--paper=a4", "595 x 842 pts"},
        {conf, "", "420 x 595 pts"},
        {conf, "--paper=na_legal_8.5x14in", "612 x 1008 pts"},
        {"PAPERSIZE=A4", "--paper=Tabloid", "792 x 1224 pts"},
    };
    for (const auto& c : cases) {
        const Outcome o = Velm("-o paper.pdf " + c.arguments + " short.txt", dir_.path(), c.environment);
        ASSERT_EQ(o.status, 0) << c.environment << " " << c.arguments << ": " << o.err;
        EXPECT_EQ(PdfInfo(dir_.file("paper.pdf"), "Page size"), c.size) << c.environment << " " << c.arguments;
    }
    const Outcome odd = Velm("-o odd.pdf short.txt", dir_.path(), "PAPERSIZE= PAPERCONF=" + Quote(dir_.file("odd.conf")));
    EXPECT_EQ(odd.status, 1);
    EXPECT_NE(odd.err.find(dir_.file("odd.conf") + ": unknown paper size 'executive' (known: A3, A4, A5, B5, Letter, "
                                                    "Legal, Tabloid)"),
              std::string::npos)
        << odd.err;
    EXPECT_FALSE(fs::exists(dir_.file("odd.pdf")));
}

// Every PDF is titled with its file's name and names Velm and its version.
TEST_F(Command, PdfTitleIsTheFileName)
{
    const Outcome file = Velm("-o file.pdf short.txt", dir_.path());
    const Outcome piped = Velm("-o piped.pdf - <short.txt", dir_.path());
    ASSERT_EQ(file.status + piped.status, 0) << file.err << piped.err;
    std::string version = Velm("--version").out; // "velm 0.1.0\n"
    version = "Velm" + version.substr(4, version.size() - 5);
    for (const auto& [pdf, title] : {std::pair{"file.pdf", "short.txt"}, {"piped.pdf", "stdin"}}) {
        EXPECT_EQ(PdfInfo(dir_.file(pdf), "Title"), title);
        EXPECT_EQ(PdfInfo(dir_.file(pdf), "Creator"), version);
        EXPECT_EQ(PdfInfo(dir_.file(pdf), "Producer"), version);
    }
}

TEST_F(Command, StandardInputAndHtmlByNameAnyCase)
{
    const Outcome piped = Velm("-o piped.pdf - <" + Quote(dir_.file("short.txt")), dir_.path());
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(Words(PdfText(dir_.file("piped.pdf"))).front(), "alpha");
    EXPECT_TRUE(testing::filesIn(dir_.path()) == (std::vector<std::string>{"piped.pdf", "short.txt"}));
    EXPECT_EQ(Velm("- -", dir_.path()).status, 2);

    dir_.write("page.Html", "<html><head><title>T</title></head><body><p>Rendered <b>words</b></p></body></html>\n");
    const Outcome html = Velm("-o html.pdf page.Html", dir_.path());
    const Outcome source = Velm("-o source.pdf --text page.Html", dir_.path());
    ASSERT_EQ(html.status + source.status, 0) << html.err << source.err;
    const std::string rendered = PdfText(dir_.file("html.pdf"));
    EXPECT_NE(rendered.find("Rendered words"), std::string::npos) << rendered;
    EXPECT_EQ(rendered.find("<b>"), std::string::npos) << rendered;
    EXPECT_NE(PdfText(dir_.file("source.pdf")).find("<b>words</b>"), std::string::npos);
}

TEST_F(Command, PagesTakesAListOfSheetsAsThePrintOptionsDialogDoes)
{
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "line " + std::to_string(i) + "\n";
    dir_.write("lines.txt", text);
    const Outcome two = Velm("-o two.pdf --pages=2-3 lines.txt", dir_.path());
    const Outcome order = Velm("-o order.pdf --pages=3,1,3 lines.txt", dir_.path());
    ASSERT_EQ(two.status + order.status, 0) << two.err << order.err;
    EXPECT_EQ(PdfPages(dir_.file("two.pdf")), 2);
    const std::string twoText = PdfText(dir_.file("two.pdf"));
    EXPECT_EQ(twoText.find("Page 1"), std::string::npos);
    EXPECT_LT(twoText.find("Page 2"), twoText.find("Page 3"));
    // Sheets print once each, in ascending order, whatever the list's order.
    EXPECT_EQ(PdfPages(dir_.file("order.pdf")), 2);
    const std::string orderText = PdfText(dir_.file("order.pdf"));
    EXPECT_LT(orderText.find("Page 1"), orderText.find("Page 3"));

    // Open ends, as lp and enscript take them.
    const Outcome from = Velm("-o from.pdf --pages=2- lines.txt", dir_.path());
    const Outcome first = Velm("-o first.pdf --pages=-2 lines.txt", dir_.path());
    ASSERT_EQ(from.status + first.status, 0) << from.err << first.err;
    const int sheets = PdfPages(dir_.file("from.pdf")) + 1;
    EXPECT_GT(sheets, 3);
    EXPECT_NE(PdfText(dir_.file("from.pdf")).find("Page " + std::to_string(sheets)), std::string::npos);
    EXPECT_EQ(PdfPages(dir_.file("first.pdf")), 2);
    EXPECT_EQ(PdfText(dir_.file("first.pdf")).find("Page 3"), std::string::npos);

    // Every item is read before anything is formatted, also after one
    // that selects the first sheets.
    const std::pair<std::string, std::string> refused[] = {
        {"--pages=1,,3", "--pages: '' is not a valid integer value"},
        {"--pages=7 -9", "--pages: '7 ' is not a valid integer value"},
        {"--pages=$FFFFFFFF-2,abc", "--pages: 'abc' is not a valid integer value"},
        {"--pages=-", "--pages: '' is not a valid integer value"},
    };
    for (const auto& [option, message] : refused) {
        const Outcome o = Velm("-o bad.pdf " + Quote(option) + " lines.txt", dir_.path());
        EXPECT_EQ(o.status, 2) << option;
        EXPECT_NE(o.err.find(message), std::string::npos) << option << ": " << o.err;
    }
    const Outcome none = Velm("-o none.pdf --pages=14-7 lines.txt", dir_.path());
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("selects none of the"), std::string::npos) << none.err;
    EXPECT_FALSE(fs::exists(dir_.file("bad.pdf")) || fs::exists(dir_.file("none.pdf")));
}

// Whole finished sheets scaled onto each printed one: GPL-3 takes 15 A4
// sheets one to a sheet, and a half, a quarter, an eighth of them n-up,
// two and eight on the turned paper.
TEST_F(Command, NupScalesFinishedSheetsOntoEachSheet)
{
    const std::string gpl = "/usr/share/common-licenses/GPL-3";
    if (!fs::exists(gpl))
        VELM_SKIP_MISSING("no " + gpl);
    int single = 0;
    for (int n : {1, 2, 4, 8}) {
        const std::string pdf = "nup" + std::to_string(n) + ".pdf";
        const Outcome o = Velm("--paper=A4 -o " + pdf + " --nup=" + std::to_string(n) + " " + gpl, dir_.path());
        ASSERT_EQ(o.status, 0) << n << ": " << o.err;
        if (n == 1)
            single = PdfPages(dir_.file(pdf));
        EXPECT_EQ(PdfPages(dir_.file(pdf)), (single + n - 1) / n) << n;
        EXPECT_EQ(PdfInfo(dir_.file(pdf), "Page size"), n == 2 || n == 8 ? "842 x 595 pts" : "595 x 842 pts") << n;
    }
    EXPECT_EQ(single, 15);
}

// The test server's queues (tests/cups-setup.sh); cups-pdf writes their PDFs.
class CupsQueue : public Command {
protected:
    static bool QueueExists(const std::string& queue)
    {
        return testing::run("lpstat -p " + queue + " >/dev/null 2>&1") == 0;
    }
    static std::string Spool()
    {
        const char* out = std::getenv("VELM_CUPS_OUT");
        return out ? out : "/var/spool/cups-pdf/velm-tests";
    }
    // The PDF cups-pdf writes of the job velm names ("velm: sent QUEUE-12"),
    // once it is complete; empty when velm named none.
    static std::string AwaitPdfOf(const std::string& velmOutput)
    {
        std::smatch id;
        if (!std::regex_search(velmOutput, id, std::regex("velm: sent \\S+-([0-9]+)\n")))
            return {};
        std::string found;
        testing::waitUntil([&] {
            for (const std::string& name : testing::filesIn(Spool()))
                if (name.starts_with("job_" + id[1].str() + "-") && name.ends_with(".pdf")
                    && PdfPages(Spool() + "/" + name) > 0)
                    found = Spool() + "/" + name;
            return !found.empty();
        });
        return found;
    }
};

TEST_F(CupsQueue, PrintsThroughTheServerIntoAPdf)
{
    if (!QueueExists("Velm_Test_PDF"))
        VELM_SKIP_MISSING("no Velm_Test_PDF queue: run tests/cups-setup.sh");
    const Outcome o = Velm("-P Velm_Test_PDF short.txt", dir_.path());
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(std::regex_match(o.out, std::regex("velm: sent Velm_Test_PDF-[0-9]+\n"))) << o.out;
    const std::string pdf = AwaitPdfOf(o.out);
    ASSERT_FALSE(pdf.empty()) << "cups-pdf wrote nothing into " << Spool();
    EXPECT_EQ(PdfPages(pdf), 1);
    // cups-pdf's paper has no margin, so the stamp and the page number, which
    // stand below the printable area, are not on it.
    const std::string text = PdfText(pdf);
    for (const char* word : {"alpha", "epsilon", "Page Footer"})
        EXPECT_NE(text.find(word), std::string::npos) << word << " in " << text;
}

TEST_F(CupsQueue, NupReachesTheQueueAsOneJobOfTurnedSheets)
{
    if (!QueueExists("Velm_Test_PDF"))
        VELM_SKIP_MISSING("no Velm_Test_PDF queue: run tests/cups-setup.sh");
    std::string text;
    for (int i = 1; i <= 150; ++i)
        text += "line " + std::to_string(i) + "\n";
    dir_.write("lines.txt", text); // four sheets of 49 lines and fewer
    const Outcome o = Velm("-P Velm_Test_PDF --nup=2 lines.txt", dir_.path());
    ASSERT_EQ(o.status, 0) << o.err;
    const std::string pdf = AwaitPdfOf(o.out);
    ASSERT_FALSE(pdf.empty()) << o.out;
    // The server turns the landscape sheets onto its portrait media.
    EXPECT_EQ(PdfPages(pdf), 2);
    for (const auto& [sheet, line] : {std::pair{1, " line 1 "}, {1, " line 60 "}, {2, " line 110 "}, {2, " line 149 "}}) {
        const std::string words = " " + std::regex_replace(PdfText(pdf, sheet, sheet), std::regex("\\s+"), " ");
        EXPECT_NE(words.find(line), std::string::npos) << sheet << ": " << line;
    }
}

// The server's attributes of a job ("job-name" -> "a.txt"), read with ipptool.
std::map<std::string, std::string> JobAttributes(const std::string& queue, int job)
{
    std::string out;
    testing::run("ipptool -t -d job_id=" + std::to_string(job) + " ipp://localhost/printers/" + queue + " " +
                     Quote(std::string(VELM_SOURCE_DIR) + "/tests/data/job-attributes.test"),
                 &out);
    std::map<std::string, std::string> attributes;
    const std::regex line("\\s+(\\S+) \\([^)]*\\) = (.*)");
    std::istringstream in(out);
    for (std::string text; std::getline(in, text);)
        if (std::smatch m; std::regex_match(text, m, line))
            attributes[m[1]] = m[2];
    return attributes;
}

// A queue gets only what the user asked for: its own paper (or --paper),
// and the user's lpoptions for sides and the rest; every job is named after
// its file, and velm names the job as lp does.
TEST_F(CupsQueue, JobsKeepTheQueuesAndTheUsersSettings)
{
    if (!QueueExists("Velm_Letter_PDF") || !QueueExists("Velm_Test_PDF"))
        VELM_SKIP_MISSING("no Velm_Letter_PDF queue: run tests/cups-setup.sh");
    if (testing::run("command -v ipptool >/dev/null") != 0)
        VELM_SKIP_MISSING("ipptool is missing: install cups-ipp-utils");
    fs::create_directories(dir_.file("home/.cups"));
    dir_.write("home/.cups/lpoptions", "Dest Velm_Test_PDF sides=two-sided-long-edge\n");
    const std::string user = "HOME=" + Quote(dir_.file("home"));
    const struct {
        std::string environment, arguments, size, sides, copies;
    } cases[] = {
        {"", "-P Velm_Letter_PDF", "612 x 792 pts", "", "1"},
        {user, "-P Velm_Test_PDF", "595 x 842 pts", "two-sided-long-edge", "1"},
        {user, "-P Velm_Test_PDF --paper=Letter --copies=2", "612 x 792 pts", "two-sided-long-edge", "2"},
        {"", "-P Velm_Test_PDF --paper=na_legal_8.5x14in", "612 x 1008 pts", "", "1"},
    };
    for (const auto& c : cases) {
        const Outcome o = Velm(c.arguments + " short.txt", dir_.path(), c.environment);
        std::smatch id;
        ASSERT_TRUE(std::regex_match(o.out, id, std::regex("velm: sent (\\S+)-([0-9]+)\n"))) << o.out << o.err;
        auto attributes = JobAttributes(id[1], std::stoi(id[2]));
        EXPECT_EQ(attributes["job-name"], "short.txt") << c.arguments;
        EXPECT_EQ(attributes["document-name-supplied"], "short.txt") << c.arguments;
        EXPECT_EQ(attributes["sides"], c.sides) << c.arguments;
        EXPECT_EQ(attributes["copies"], c.copies) << c.arguments;
        const std::string pdf = AwaitPdfOf(o.out);
        ASSERT_FALSE(pdf.empty()) << c.arguments;
        EXPECT_EQ(PdfInfo(pdf, "Page size"), c.size) << c.arguments;
        fs::remove(pdf);
    }
}

TEST_F(CupsQueue, GenericQueueGetsTextsWithoutLinesOrBoxes)
{
    if (!QueueExists("Generic_Text_PDF"))
        VELM_SKIP_MISSING("no Generic_Text_PDF queue: run tests/cups-setup.sh");
    const Outcome o = Velm("-P Generic_Text_PDF --keep-pages=pages short.txt", dir_.path());
    ASSERT_EQ(o.status, 0) << o.err;
    LoggingDevice page;
    ASSERT_TRUE(EmfReader::fromFile(dir_.file("pages/PRN001.EMF")).play(page).ok);
    EXPECT_TRUE(page.callsOf("line").empty());
    EXPECT_TRUE(page.callsOf("fill").empty());
    EXPECT_TRUE(page.callsOf("rectangle").empty());
    const auto texts = page.texts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Page Footer"), texts.end());
    const std::string pdf = AwaitPdfOf(o.out);
    ASSERT_FALSE(pdf.empty());
    EXPECT_NE(PdfText(pdf).find("alpha"), std::string::npos);
}

} // namespace
} // namespace velm
