// The desktop application on SIGTERM: the open preview closes, the job
// unwinds, and its stored pages and job folder are removed.
#include "app/Windowed.h"
#include "cli/Termination.h"
#include "engine/Gdi.h"
#include "preview/Presenter.h"
#include "shell/Unit1.h"
#include "shell/Unit2.h"
#include "shell/Unit4.h"
#include "shell/shell_support.h"

#include <csignal>
#include <filesystem>
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
    const TerminationWatch watch(AbortRunningJob);
    docs.write("notes.txt", "some notes\n");

    // The known point: the preview is open on the job's stored pages.
    std::string folder;
    int storedPages = 0;
    bool raised = false;
    ModalAnswerer answerer([&](QWidget*) {
        if (raised) // still open until the loop sees the signal
            return;
        raised = true;
        folder = currentDirectory();
        storedPages = StoredPageCount();
        std::raise(SIGTERM);
    });
    DropFiles(toolbar, {docs.file("notes.txt")}, 60);

    // Nothing closed the preview but the signal.
    ASSERT_TRUE(raised) << "no preview opened";
    EXPECT_EQ(answerer.Seen.front(), "Velm Viewer");
    EXPECT_EQ(storedPages, 1);
    EXPECT_EQ(std::filesystem::path(folder).filename().string().rfind("velm-" + std::to_string(::getpid()) + "-", 0),
              0u)
        << folder;
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(TerminationWatch::Signal(), SIGTERM);
    EXPECT_TRUE(testing::filesIn(pdfs.path()).empty());
}

} // namespace
} // namespace velm
