// The desktop application on SIGTERM: the open preview closes, the job
// unwinds, and its stored pages and job folder are removed.
#include "app/Windowed.h"
#include "cli/Command.h"
#include "cli/Options.h"
#include "cli/Termination.h"
#include "engine/Gdi.h"
#include "engine/JobOutcome.h"
#include "preview/Cb_view.h"
#include "preview/Pellido.h"
#include "preview/Presenter.h"
#include "shell/Unit1.h"
#include "shell/Unit2.h"
#include "shell/Unit4.h"
#include "shell/shell_support.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace velm {
namespace {

using namespace testing;

class DesktopTermination : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        Set("MonitorEnabled", "0");
        DlgDoubleSided = &pause;
        ConfigureVelm = &configure;
    }
    void TearDown() override
    {
        ConfigureVelm = nullptr;
        DlgDoubleSided = nullptr;
        ShellTest::TearDown();
    }
    TempDir docs, pdfs;
    TestPrinter printer{pdfs.path()};
    TDlgDoubleSided pause;
    TConfigureVelm configure;
};

TEST_F(DesktopTermination, SigtermClosesThePreviewAndRemovesTheStoredPages)
{
    TVelm toolbar;
    InstallDesktopPresenter(); // the real preview window, modal
    const TerminationWatch watch;
    docs.write("notes.txt", "some notes\n");

    // The known point: the preview is open on the job's stored pages.
    std::string folder;
    int storedPages = 0;
    bool raised = false, locked = false;
    ModalAnswerer answerer([&](QWidget*) {
        if (raised) // still open until the loop sees the signal
            return;
        raised = true;
        folder = currentDirectory();
        storedPages = StoredPageCount();
        // Marked and locked as the command's job folders are.
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
        locked = std::filesystem::exists(folder + "/" + kPrivateJobMark) && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        std::raise(SIGTERM);
    });
    DropFiles(toolbar, {docs.file("notes.txt")}, 60);

    // Nothing closed the preview but the signal.
    ASSERT_TRUE(raised) << "no preview opened";
    EXPECT_EQ(answerer.Seen.front(), "Velm Viewer");
    EXPECT_EQ(storedPages, 1);
    EXPECT_TRUE(locked);
    EXPECT_EQ(std::filesystem::path(folder).filename().string().rfind("velm-" + std::to_string(::getpid()) + "-", 0),
              0u)
        << folder;
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(TerminationWatch::Signal(), SIGTERM);
    EXPECT_TRUE(testing::filesIn(pdfs.path()).empty());
}

// Standard output and error of the process into files, for the scope.
class CapturedOutput {
public:
    explicit CapturedOutput(const TempDir& dir) : out_(dir.file("out")), err_(dir.file("err"))
    {
        std::fflush(nullptr);
        saved_[0] = ::dup(1);
        saved_[1] = ::dup(2);
        (void)!std::freopen(out_.c_str(), "w", stdout);
        (void)!std::freopen(err_.c_str(), "w", stderr);
    }
    ~CapturedOutput() { Restore(); }
    void Restore()
    {
        if (saved_[0] < 0)
            return;
        std::fflush(nullptr);
        ::dup2(saved_[0], 1);
        ::dup2(saved_[1], 2);
        ::close(saved_[0]);
        ::close(saved_[1]);
        saved_[0] = saved_[1] = -1;
    }
    std::string Out() const { return testing::readFile(out_); }
    std::string Err() const { return testing::readFile(err_); }

private:
    std::string out_, err_;
    int saved_[2] = {-1, -1};
};

// `velm --preview`: what its reprints delivered stays delivered, and a
// stop afterwards says so instead of "nothing was printed".
TEST_F(DesktopTermination, AStopAfterAReprintSaysWhatWasPrinted)
{
    InstallDesktopPresenter();
    const TerminationWatch watch;
    docs.write("notes.txt", "some notes\n");
    CommandOptions o;
    o.files = {docs.file("notes.txt")};
    o.preview = true;
    o.printer = "Velm Test 600";
    ModalAnswerer answerer([](QWidget* w) {
        if (auto* preview = qobject_cast<TCB_Prev*>(w); preview && !TerminationWatch::Signal()) {
            preview->Print->click(); // one document of the job's one page
            std::raise(SIGTERM);
        }
    });
    TempDir logs;
    CapturedOutput output(logs);
    const int status = RunHeadlessJobs(o, ConsoleVoice{});
    output.Restore();
    EXPECT_EQ(status, 128 + SIGTERM);
    ASSERT_EQ(testing::filesIn(pdfs.path()).size(), 1u) << output.Err();
    EXPECT_NE(output.Err().find("notes.txt: interrupted; 1 page was printed before"), std::string::npos)
        << output.Err();
    EXPECT_NE(output.Out().find("velm: wrote " + pdfs.path()), std::string::npos) << output.Out();
}

// A stop while a reprint sends its pages: the pass ends after the page in
// progress, its document is cancelled, and the job says so.
TEST_F(DesktopTermination, SigtermStopsAReprintBetweenPages)
{
    InstallDesktopPresenter();
    const TerminationWatch watch;
    docs.write("notes.txt", NumberedLines(300));
    CommandOptions o;
    o.files = {docs.file("notes.txt")};
    o.preview = true;
    o.printer = "Velm Test 600";
    bool reprinting = false;
    QTimer atPageTwo;
    QObject::connect(&atPageTwo, &QTimer::timeout, [&reprinting] {
        auto* status = dynamic_cast<TPrintDialog1*>(PrintDialog1);
        if (reprinting && status && status->Page->text() == "2" && !TerminationWatch::Signal())
            std::raise(SIGTERM);
    });
    atPageTwo.start(0);
    ModalAnswerer answerer([&reprinting](QWidget* w) {
        if (auto* preview = qobject_cast<TCB_Prev*>(w); preview && !reprinting) {
            reprinting = true;
            preview->Print->click();
        }
    });
    TempDir logs;
    CapturedOutput output(logs);
    TJobOutcome outcome;
    const int status = RunHeadlessJobs(o, ConsoleVoice{}, &outcome);
    output.Restore();
    EXPECT_EQ(status, 128 + SIGTERM);
    EXPECT_EQ(outcome.Status(), TJobStatus::Cancelled);
    EXPECT_GE(outcome.PagesFormatted, 4);
    EXPECT_EQ(outcome.PagesPlayed, 2) << "stopped after the page in progress";
    EXPECT_TRUE(outcome.Deliveries.empty());
    EXPECT_TRUE(testing::filesIn(pdfs.path()).empty());
    EXPECT_NE(output.Err().find("notes.txt: interrupted; nothing was printed"), std::string::npos) << output.Err();
}

} // namespace
} // namespace velm
