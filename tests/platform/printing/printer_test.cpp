#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/printing/printer.h"

#include "support/test_printer.h"
#include "support/testing.h"

#include <gtest/gtest.h>


#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <sstream>
#include <unistd.h>

namespace velm {
namespace {

using testing::TempDir;
using testing::filesIn;
using testing::readFile;
using testing::run;
using testing::waitUntil;

// Draws one line of text on the current sheet through the document's device.
void drawText(PrintDocument& document, const PrinterCaps& caps, const std::u16string& text, int y = 600,
              int height = -100)
{
    PageSpace space;
    space.widthPx = caps.horzRes;
    space.heightPx = caps.vertRes;
    space.widthMm = caps.horzSizeMm;
    space.heightMm = caps.vertSizeMm;
    space.frame = Rect{0, 0, caps.horzSizeMm * 100, caps.vertSizeMm * 100};
    document.device().beginPage(space);
    TextRun run;
    run.origin = PointF{600, double(y)};
    run.text = text;
    run.font.faceName = u"Arial";
    run.font.height = height;
    run.bkMode = TRANSPARENT;
    document.device().text(run);
    document.device().endPage();
}

std::string pdfInfo(const std::string& file)
{
    std::string out;
    run("pdfinfo '" + file + "' 2>&1", &out);
    return out;
}

std::string pdfText(const std::string& file)
{
    std::string out;
    run("pdftotext -layout '" + file + "' - 2>&1", &out);
    return out;
}

std::string infoField(const std::string& info, const std::string& field)
{
    std::size_t at = info.find(field + ":");
    if (at == std::string::npos)
        return {};
    std::size_t start = info.find_first_not_of(' ', at + field.size() + 1);
    return info.substr(start, info.find('\n', start) - start);
}

int indexOf(const std::string& name)
{
    std::vector<std::string> names = Printers::instance().names();
    auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

// Sets an environment variable for the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name))
            old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

bool a4Paper()
{
    std::string paper = readFile("/etc/papersize");
    return std::getenv("PAPERSIZE") == nullptr && paper.find("letter") == std::string::npos;
}

TEST(Printers, BuiltInPdfPrinterComesFirst)
{
    Printers& printers = Printers::instance();
    ASSERT_GE(printers.count(), 1);
    EXPECT_EQ(printers.names().at(0), "Velm PDF");
    EXPECT_EQ(printers.at(0).name(), "Velm PDF");
    EXPECT_NE(printers.at(0).name().rfind("Generic", 0), 0u);
    if (!a4Paper())
        GTEST_SKIP() << "this machine's paper is not A4";
    Printer& pdf = printers.at(0);
    PrinterCaps caps = pdf.caps();
    // The printable area of an A4 sheet at 300 dpi (2480 x 3508) inset by a quarter inch.
    EXPECT_EQ(caps.horzRes, 2330);
    EXPECT_EQ(caps.vertRes, 3358);
    EXPECT_EQ(caps.logPixelsX, 300);
    EXPECT_EQ(caps.logPixelsY, 300);
    EXPECT_EQ(caps.horzSizeMm, 197);
    EXPECT_EQ(caps.vertSizeMm, 284);
    EXPECT_EQ(pdf.orientation(), PaperOrientation::Portrait);
    pdf.setOrientation(PaperOrientation::Landscape);
    caps = pdf.caps();
    EXPECT_EQ(pdf.orientation(), PaperOrientation::Landscape);
    EXPECT_EQ(caps.horzRes, 3358);
    EXPECT_EQ(caps.vertRes, 2330);
    EXPECT_EQ(caps.horzSizeMm, 284);
    EXPECT_EQ(caps.vertSizeMm, 197);
    pdf.setOrientation(PaperOrientation::Portrait);
    EXPECT_EQ(pdf.caps().horzRes, 2330);
}

TEST(Printers, DefaultIsTheCupsDefaultElseTheBuiltInPrinter)
{
    Printers& printers = Printers::instance();
    // The server's own client names the default.
    std::string said;
    run("lpstat -d 2>/dev/null", &said);
    const std::string prefix = "system default destination: ";
    const std::string cupsDefault =
        said.rfind(prefix, 0) == 0 ? said.substr(prefix.size(), said.find('\n') - prefix.size()) : "";
    const int expected = cupsDefault.empty() || !printers.queueProblem().empty() ? 0 : indexOf(cupsDefault);
    EXPECT_EQ(printers.defaultIndex(), expected);
    printers.setPrinterIndex(-1);
    EXPECT_EQ(printers.printerIndex(), -1);
    EXPECT_EQ(printers.selected().name(), printers.names().at(static_cast<std::size_t>(expected)));
    EXPECT_EQ(&printers.at(-1), &printers.at(expected));
}

TEST(Printers, IndexOutOfRange)
{
    Printers& printers = Printers::instance();
    const int count = printers.count();
    for (int bad : {count, count + 5, -2, INT_MIN}) {
        try {
            printers.setPrinterIndex(bad);
            ADD_FAILURE() << "no error for " << bad;
        } catch (const PrinterError& e) {
            EXPECT_EQ(std::string(e.what()), "Printer index out of range");
        }
    }
    EXPECT_THROW(printers.at(count), PrinterError);
    printers.setPrinterIndex(count - 1);
    EXPECT_EQ(printers.printerIndex(), count - 1);
    printers.setPrinterIndex(0);
    EXPECT_EQ(printers.selected().name(), "Velm PDF");
    EXPECT_TRUE(printers.selectByName("Velm PDF"));
    EXPECT_EQ(printers.printerIndex(), 0);
    EXPECT_FALSE(printers.selectByName("No such printer"));
    EXPECT_EQ(printers.printerIndex(), 0);
    printers.setPrinterIndex(-1);
}

TEST(Printers, TwoPageDocumentIsARealPdf)
{
    TempDir dir;
    ScopedEnv env("VELM_PDF_DIR", dir.file("out"));
    Printer& pdf = Printers::instance().at(0);
    const PrinterCaps caps = pdf.caps();
    std::unique_ptr<PrintDocument> document = pdf.beginDocument("Velm test document");
    ASSERT_TRUE(document->isOpen());
    EXPECT_EQ(document->sheetCount(), 1);
    drawText(*document, caps, u"Hello from page one");
    document->newPage();
    EXPECT_EQ(document->sheetCount(), 2);
    drawText(*document, caps, u"And this is page two");
    // The footer's 30-pixel stamp reaches below the printable area: it must still reach the paper.
    drawText(*document, caps, u"Below the printable area", caps.vertRes + 10, -30);
    document->end();
    EXPECT_FALSE(document->isOpen());
    document->end();     // a second end does nothing
    document->newPage(); // nor does a page after the end
    EXPECT_EQ(document->sheetCount(), 2);

    const std::string file = document->outputPath();
    EXPECT_EQ(file.rfind(dir.file("out") + "/velm-", 0), 0u) << file;
    EXPECT_EQ(file.substr(file.size() - 4), ".pdf");
    ASSERT_TRUE(fileExists(file));
    const std::string info = pdfInfo(file);
    EXPECT_EQ(infoField(info, "Pages"), "2") << info;
    EXPECT_EQ(infoField(info, "Title"), "Velm test document");
    EXPECT_EQ(infoField(info, "Creator").rfind("Velm ", 0), 0u) << info; // and the version
    if (a4Paper()) {
        EXPECT_EQ(infoField(info, "Page size").substr(0, 13), "595 x 842 pts") << info;
    }
    const std::string text = pdfText(file);
    EXPECT_NE(text.find("Hello from page one"), std::string::npos) << text;
    EXPECT_NE(text.find("And this is page two"), std::string::npos) << text;
    EXPECT_LT(text.find("page one"), text.find("page two"));
    EXPECT_NE(text.find("Below the printable area"), std::string::npos) << text;
    std::string fonts;
    run("pdffonts '" + file + "'", &fonts);
    EXPECT_NE(fonts.find("LiberationSans"), std::string::npos) << fonts;
    // Every font is embedded: the "emb" column says "yes" on every font line.
    const std::size_t header = fonts.find("emb");
    ASSERT_NE(header, std::string::npos) << fonts;
    const std::size_t column = header - fonts.rfind('\n', header) - 1;
    std::istringstream lines(fonts);
    std::string line;
    int fontLines = 0;
    for (int i = 0; std::getline(lines, line); ++i) {
        if (i < 2 || line.empty())
            continue;
        ++fontLines;
        EXPECT_EQ(line.substr(std::min(column, line.size()), 3), "yes") << line;
    }
    EXPECT_GE(fontLines, 1);
}

TEST(Printers, EveryDocumentGetsANewFile)
{
    TempDir dir;
    ScopedEnv env("VELM_PDF_DIR", dir.path());
    // Files that look like ours, for this second and the next ones, stay as they are.
    const auto now = std::time(nullptr);
    for (int s = 0; s < 4; ++s) {
        std::time_t t = now + s;
        std::tm local{};
        localtime_r(&t, &local);
        char name[64];
        std::strftime(name, sizeof name, "velm-%Y%m%d-%H%M%S.pdf", &local);
        dir.write(name, "keep me");
    }
    Printer& pdf = Printers::instance().at(0);
    std::vector<std::string> outputs;
    for (int i = 0; i < 3; ++i) {
        auto document = pdf.beginDocument("doc " + std::to_string(i));
        drawText(*document, pdf.caps(), u"document");
        document->end();
        outputs.push_back(document->outputPath());
    }
    std::sort(outputs.begin(), outputs.end());
    EXPECT_EQ(std::unique(outputs.begin(), outputs.end()), outputs.end());
    EXPECT_EQ(filesIn(dir.path()).size(), 7u);
    int kept = 0;
    for (const std::string& name : filesIn(dir.path()))
        kept += readFile(dir.file(name)) == "keep me";
    EXPECT_EQ(kept, 4);
    for (const std::string& out : outputs)
        EXPECT_EQ(infoField(pdfInfo(out), "Pages"), "1");
}

TEST(Printers, ExactOutputFileIsForTheNextDocumentOnly)
{
    TempDir dir;
    ScopedEnv env("VELM_PDF_DIR", dir.file("folder"));
    Printers& printers = Printers::instance();
    Printer& pdf = printers.at(0);
    const std::string exact = dir.file("report.pdf");
    dir.write("report.pdf", "old content");

    // An aborted document leaves the existing file alone.
    printers.setPdfOutputFile(exact);
    auto aborted = pdf.beginDocument("aborted");
    drawText(*aborted, pdf.caps(), u"never");
    aborted->abort();
    EXPECT_EQ(readFile(exact), "old content");

    printers.setPdfOutputFile(exact);
    auto document = pdf.beginDocument("exact");
    EXPECT_EQ(document->outputPath(), exact);
    drawText(*document, pdf.caps(), u"Written exactly here");
    document->end();
    EXPECT_EQ(infoField(pdfInfo(exact), "Pages"), "1");
    EXPECT_NE(pdfText(exact).find("Written exactly here"), std::string::npos);
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"report.pdf"})); // no partial file left

    auto next = pdf.beginDocument("next");
    next->end();
    EXPECT_EQ(next->outputPath().rfind(dir.file("folder") + "/velm-", 0), 0u) << next->outputPath();

    printers.setPdfOutputFile(dir.file("missing-folder/x.pdf"));
    try {
        pdf.beginDocument("x");
        ADD_FAILURE() << "no error";
    } catch (const PrinterError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot create PDF file " + dir.file("missing-folder/x.pdf") + ": No such file or directory");
    }
    printers.setPdfOutputFile("");
}

TEST(Printers, AbortAndDestroyLeaveNothing)
{
    TempDir dir;
    ScopedEnv env("VELM_PDF_DIR", dir.path());
    Printer& pdf = Printers::instance().at(0);
    auto document = pdf.beginDocument("to abort");
    const std::string file = document->outputPath();
    EXPECT_TRUE(fileExists(file));
    drawText(*document, pdf.caps(), u"gone");
    document->newPage();
    document->abort();
    EXPECT_FALSE(document->isOpen());
    EXPECT_FALSE(fileExists(file));
    drawText(*document, pdf.caps(), u"dropped after the abort"); // must not crash
    document->end();
    EXPECT_FALSE(fileExists(file));
    {
        auto dropped = pdf.beginDocument("dropped");
        drawText(*dropped, pdf.caps(), u"gone too");
    }
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST(Printers, UnwritableFolderIsAClearError)
{
    TempDir dir;
    dir.write("plain", "a file where the folder should be");
    ScopedEnv env("VELM_PDF_DIR", dir.file("plain/pdf"));
    try {
        Printers::instance().at(0).beginDocument("x");
        FAIL() << "no error";
    } catch (const PrinterError& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("Cannot create PDF file " + dir.file("plain/pdf") + "/velm-", 0), 0u) << message;
        EXPECT_NE(message.find(": Not a directory"), std::string::npos) << message;
    }
}

TEST(Printers, PdfFolderDefault)
{
    {
        ScopedEnv env("VELM_PDF_DIR", "/somewhere/pdf");
        EXPECT_EQ(Printers::pdfFolder(), "/somewhere/pdf");
    }
    ScopedEnv none("VELM_PDF_DIR", "");
    ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(Printers::pdfFolder(), "/home/someone/PDF");
}

TEST(Printers, TestPrintersHaveTheirOwnGeometry)
{
    TempDir dir;
    Printers& printers = Printers::instance();
    const int before = printers.count();
    const int selectedBefore = printers.printerIndex();
    std::optional<testing::TestPrinter> test(std::in_place, dir.path(), 4800, 6600, 600, "Generic Test 600");
    EXPECT_EQ(printers.printerIndex(), before);
    EXPECT_EQ(printers.count(), before + 1);
    EXPECT_EQ(printers.names().back(), "Generic Test 600");
    Printer& printer = printers.selected();
    EXPECT_EQ(printer.name(), "Generic Test 600");
    PrinterCaps got = printer.caps();
    EXPECT_EQ(got.horzRes, 4800);
    EXPECT_EQ(got.vertRes, 6600);
    EXPECT_EQ(got.logPixelsY, 600);
    EXPECT_EQ(got.horzSizeMm, 203);

    auto document = printer.beginDocument("geometry");
    drawText(*document, got, u"Eight by eleven inches");
    document->end();
    EXPECT_EQ(document->outputPath().rfind(dir.path() + "/velm-", 0), 0u);
    std::string info = pdfInfo(document->outputPath());
    EXPECT_EQ(infoField(info, "Page size").substr(0, 13), "576 x 792 pts") << info;

    printer.setOrientation(PaperOrientation::Landscape);
    EXPECT_EQ(printer.caps().horzRes, 6600);
    EXPECT_EQ(printer.caps().vertRes, 4800);
    auto landscape = printer.beginDocument("landscape");
    landscape->end();
    info = pdfInfo(landscape->outputPath());
    EXPECT_EQ(infoField(info, "Page size").substr(0, 13), "792 x 576 pts") << info;

    {
        // 300 dpi: the same paper, half the pixels.
        const testing::TestPrinter low(dir.path(), 2400, 3300, 300, "Velm Test 300");
        auto lowDoc = printers.selected().beginDocument("300 dpi");
        lowDoc->end();
        EXPECT_EQ(infoField(pdfInfo(lowDoc->outputPath()), "Page size").substr(0, 13), "576 x 792 pts");
    }
    EXPECT_EQ(printers.count(), before + 1);
    EXPECT_EQ(printers.printerIndex(), before); // the first test printer again

    EXPECT_THROW(testing::TestPrinter(dir.path(), 0, 0), PrinterError);
    test.reset();
    EXPECT_EQ(printers.count(), before);
    EXPECT_EQ(printers.printerIndex(), selectedBefore);
    EXPECT_EQ(printer.name(), "Generic Test 600"); // references stay valid
}

// ---- CUPS ------------------------------------------------------------------

std::string cupsOutputFolder()
{
    const char* out = std::getenv("VELM_CUPS_OUT");
    return out && *out ? out : "/var/spool/cups-pdf/velm-tests";
}

bool queueExists(const std::string& queue) { return run("lpstat -p " + queue + " >/dev/null 2>&1") == 0; }

// The cups-pdf file whose name carries the job title, once it is complete.
std::string waitForCupsPdf(const std::string& title)
{
    std::string found;
    waitUntil([&] {
        for (const std::string& name : filesIn(cupsOutputFolder()))
            if (name.find(title) != std::string::npos && name.size() > 4
                && name.substr(name.size() - 4) == ".pdf") {
                const std::string path = cupsOutputFolder() + "/" + name;
                // cups-pdf writes the file in place; wait until it is complete.
                if (!infoField(pdfInfo(path), "Pages").empty())
                    found = path;
            }
        return !found.empty();
    });
    return found;
}

std::string uniqueTitle(const std::string& stem)
{
    return stem + "-" + std::to_string(::getpid()) + "-" + std::to_string(std::time(nullptr));
}

TEST(CupsPrinters, QueuesAreListedAfterTheBuiltInPrinter)
{
    if (!queueExists("Velm_Test_PDF"))
        VELM_SKIP_MISSING("no CUPS queue Velm_Test_PDF (tests/cups-setup.sh makes it)");
    Printers& printers = Printers::instance();
    printers.refresh();
    EXPECT_EQ(printers.queueProblem(), "");
    const int index = indexOf("Velm_Test_PDF");
    ASSERT_GT(index, 0);
    EXPECT_GT(indexOf("Generic_Text_PDF"), 0);
    EXPECT_EQ(printers.names().front(), "Velm PDF");
    // In the order the server's own client lists them.
    std::string listed;
    ASSERT_EQ(run("lpstat -e", &listed), 0);
    std::vector<std::string> expected = {"Velm PDF"};
    for (std::size_t start = 0, end; (end = listed.find('\n', start)) != std::string::npos; start = end + 1)
        expected.push_back(listed.substr(start, end - start));
    std::vector<std::string> names = printers.names(); // test printers come last
    names.resize(std::min(names.size(), expected.size()));
    EXPECT_EQ(names, expected);
    printers.setPrinterIndex(index);
    EXPECT_TRUE(printers.selectByName("Velm_Test_PDF"));
    EXPECT_EQ(printers.printerIndex(), index);
    printers.refresh(); // the selection follows the queue
    EXPECT_EQ(printers.selected().name(), "Velm_Test_PDF");
    printers.setPrinterIndex(-1);
}

TEST(CupsPrinters, QueueGeometryAt300Dpi)
{
    if (!queueExists("Velm_Test_PDF"))
        VELM_SKIP_MISSING("no CUPS queue Velm_Test_PDF");
    Printer& queue = Printers::instance().at(indexOf("Velm_Test_PDF"));
    const PrinterCaps caps = queue.caps();
    EXPECT_EQ(caps.logPixelsX, 300);
    EXPECT_EQ(caps.logPixelsY, 300);
    // The printable area of a real page: a little less than the paper.
    EXPECT_GT(caps.horzRes, 2000);
    EXPECT_LE(caps.horzRes, 2550);
    EXPECT_GT(caps.vertRes, 3000);
    EXPECT_LE(caps.vertRes, 3508);
    EXPECT_NEAR(caps.horzRes * 25.4 / 300, caps.horzSizeMm, 1.0);
    EXPECT_NEAR(caps.vertRes * 25.4 / 300, caps.vertSizeMm, 1.0);
    queue.setOrientation(PaperOrientation::Landscape);
    EXPECT_EQ(queue.caps().horzRes, caps.vertRes);
    EXPECT_EQ(queue.caps().vertRes, caps.horzRes);
    queue.setOrientation(PaperOrientation::Portrait);
    EXPECT_EQ(queue.caps().horzRes, caps.horzRes);
}

TEST(CupsPrinters, OnePageReachesTheQueue)
{
    if (!queueExists("Velm_Test_PDF"))
        VELM_SKIP_MISSING("no CUPS queue Velm_Test_PDF");
    Printer& queue = Printers::instance().at(indexOf("Velm_Test_PDF"));
    const std::string title = uniqueTitle("velmqueue");
    auto document = queue.beginDocument(title);
    EXPECT_EQ(document->outputPath(), "");
    drawText(*document, queue.caps(), u"Printed through CUPS");
    document->end();
    const std::string file = waitForCupsPdf(title);
    ASSERT_FALSE(file.empty()) << "no PDF from cups-pdf in " << cupsOutputFolder();
    EXPECT_EQ(infoField(pdfInfo(file), "Pages"), "1");
    // cups-pdf runs the job through Ghostscript, which turns the glyphs into
    // a Type 3 font without their letters: the text is there, unreadable.
    const std::string text = pdfText(file);
    EXPECT_GE(std::count_if(text.begin(), text.end(),
                            [](char c) { return c != ' ' && c != '\n' && c != '\f'; }),
              10)
        << text;
    for (const std::string& name : filesIn("/tmp"))
        EXPECT_EQ(name.rfind("velm-print-" + std::to_string(::getpid()) + "-", 0), std::string::npos) << name;
    std::remove(file.c_str());
}

TEST(CupsPrinters, AbortedDocumentNeverReachesTheQueue)
{
    if (!queueExists("Velm_Test_PDF"))
        VELM_SKIP_MISSING("no CUPS queue Velm_Test_PDF");
    Printer& queue = Printers::instance().at(indexOf("Velm_Test_PDF"));
    const std::string aborted = uniqueTitle("velmaborted");
    auto document = queue.beginDocument(aborted);
    drawText(*document, queue.caps(), u"must not print");
    document->abort();
    EXPECT_FALSE(document->isOpen());
    // A job sent after it arrives; the aborted one must not have come before it.
    const std::string marker = uniqueTitle("velmafterabort");
    auto next = queue.beginDocument(marker);
    next->end();
    const std::string file = waitForCupsPdf(marker);
    ASSERT_FALSE(file.empty());
    // The queue prints its jobs in turn: an earlier job would be there now.
    for (const std::string& name : filesIn(cupsOutputFolder()))
        EXPECT_EQ(name.find(aborted), std::string::npos) << name;
    std::remove(file.c_str());
}

TEST(CupsPrinters, UnreachableServerIsAClearErrorNotAHang)
{
    if (!queueExists("Velm_Test_PDF"))
        VELM_SKIP_MISSING("no CUPS queue Velm_Test_PDF");
    Printer& queue = Printers::instance().at(indexOf("Velm_Test_PDF"));
    {
        ScopedEnv env("CUPS_SERVER", "127.0.0.1:1");
        try {
            queue.beginDocument("never");
            FAIL() << "no error";
        } catch (const PrinterError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot print on Velm_Test_PDF: the CUPS server 127.0.0.1:1 "
                                             "cannot be reached (Connection refused)");
        }
    }
    {
        // The server goes away while the document is open: end() reports it.
        auto document = queue.beginDocument("late failure");
        ScopedEnv env("CUPS_SERVER", "127.0.0.1:1");
        try {
            document->end();
            FAIL() << "no error";
        } catch (const PrinterError& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Cannot print on Velm_Test_PDF: the CUPS server", 0), 0u)
                << e.what();
        }
        EXPECT_FALSE(document->isOpen());
    }
}

// Run in a child process whose CUPS client points at a closed port.
TEST(CupsPrinters, NoServerListsOnlyTheBuiltInPrinter)
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    std::string output;
    int status = run(std::string("VELM_CHILD_NO_CUPS=1 CUPS_SERVER=127.0.0.1:1 '") + self
                         + "' --gtest_filter=NoCupsServer.* 2>&1",
                     &output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

TEST(NoCupsServer, OnlyTheBuiltInPrinter)
{
    if (!std::getenv("VELM_CHILD_NO_CUPS"))
        GTEST_SKIP() << "runs in the child process of CupsPrinters.NoServerListsOnlyTheBuiltInPrinter";
    Printers& printers = Printers::instance();
    EXPECT_EQ(printers.names(), std::vector<std::string>{"Velm PDF"});
    EXPECT_EQ(printers.defaultIndex(), 0);
    EXPECT_EQ(printers.queueProblem(), "the CUPS server 127.0.0.1:1 cannot be reached (Connection refused)");
    EXPECT_FALSE(printers.selectByName("Velm_Test_PDF"));
    // The built-in printer still prints.
    TempDir dir;
    ScopedEnv env("VELM_PDF_DIR", dir.path());
    auto document = printers.selected().beginDocument("offline");
    document->end();
    EXPECT_TRUE(fileExists(document->outputPath()));
}

} // namespace
} // namespace velm
