// The folder monitor with real files in a real folder; the tick is called
// directly instead of waiting for the timer.
#include "shell/Unit1.h"
#include "shell/Unit2.h"
#include "shell/Unit4.h"
#include "shell/shell_support.h"

#include "engine/Gdi.h"
#include "platform/files.h"

#include <QDir>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <memory>

using namespace velm;
using namespace velm::testing;
namespace fs = std::filesystem;

namespace {

class MonitorTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        configure = std::make_unique<TConfigureVelm>();
        ConfigureVelm = configure.get();
    }
    void TearDown() override
    {
        toolbar.reset();
        ConfigureVelm = nullptr;
        ShellTest::TearDown();
    }
    void Start() { toolbar = std::make_unique<TVelm>(); }
    std::vector<std::string> Handled() const
    {
        std::vector<std::string> names;
        for (const PreviewSeen& p : Previews)
            names.push_back(fs::path(p.Filename).filename().string());
        return names;
    }
    using Names = std::vector<std::string>;

    std::unique_ptr<TConfigureVelm> configure;
    std::unique_ptr<TVelm> toolbar;
};

TEST_F(MonitorTest, NewAndRewrittenFilesAreHandledOnceEach)
{
    watched.write("old.txt", "was here before\n");
    Start();
    EXPECT_TRUE(toolbar->Timer1->isActive());
    EXPECT_EQ(toolbar->Timer1->interval(), 5000);
    toolbar->Timer1Timer();
    EXPECT_TRUE(Previews.empty());

    watched.write("new.txt", "copied in\n");
    toolbar->Timer1Timer();
    EXPECT_EQ(Handled(), Names{"new.txt"});
    toolbar->Timer1Timer();
    EXPECT_EQ(Handled(), Names{"new.txt"});

    watched.write("new.txt", "copied in, then rewritten\n");
    toolbar->Timer1Timer();
    EXPECT_EQ(Handled(), (Names{"new.txt", "new.txt"}));
    EXPECT_EQ(Previews.back().Filename, watched.file("new.txt"));
}

TEST_F(MonitorTest, PageImageNamesAreSkippedButMarked)
{
    Start();
    for (const char* name : {"PRN001.WMF", "prn7.wmf", "PRN001.TXT", "PR.WMF", "PRN001.EMF", "PRN1000.EMF",
                             "DATA.DBF", ".hidden.txt"})
        watched.write(name, "content\n");
    toolbar->Timer1Timer();
    EXPECT_EQ(Handled(), (Names{"PR.WMF", "PRN001.TXT"}));
    EXPECT_EQ(fileAttributes(watched.file("PRN001.WMF")) & faArchive, 0);
    EXPECT_EQ(fileAttributes(watched.file("PRN001.EMF")) & faArchive, 0);
    EXPECT_EQ(fileAttributes(watched.file("DATA.DBF")) & faArchive, 0);
    toolbar->Timer1Timer();
    EXPECT_EQ(Previews.size(), 2u);
}

TEST_F(MonitorTest, MonitorViewFalsePrintsAndReadOnlyIsCleared)
{
    TempDir pdfs;
    TestPrinter printer(pdfs.path());
    Set("MonitorView", "0");
    Start();
    watched.write("locked.txt", "read only\n");
    fs::permissions(watched.file("locked.txt"), fs::perms::owner_read | fs::perms::group_read);
    ASSERT_NE(fileAttributes(watched.file("locked.txt")) & faReadOnly, 0);

    toolbar->Timer1Timer();
    EXPECT_TRUE(Previews.empty());
    EXPECT_EQ(filesIn(pdfs.path()).size(), 1u);
    EXPECT_EQ(fileAttributes(watched.file("locked.txt")) & (faReadOnly | faArchive), 0);
}

TEST_F(MonitorTest, MissingFolderWarnsOnceAndFallsBackToTmpInHome)
{
    Set("MonitorDir", watched.file("gone"));
    ModalAnswerer answerer;
    Start();
    EXPECT_EQ(answerer.Seen, Names{"Cannot find directory " + watched.file("gone")});
    EXPECT_EQ(Get("MonitorDir"), "c:\\tmp");
    const std::string fallback = home.file("tmp");
    EXPECT_TRUE(directoryExists(fallback));
    EXPECT_EQ(toolbar->DirectoryListBox1.Directory, fallback);

    std::ofstream(fallback + "/late.txt") << "written after start\n";
    toolbar->Timer1Timer();
    EXPECT_EQ(Handled(), Names{"late.txt"});
    EXPECT_EQ(answerer.Seen.size(), 1u);
}

// A new account: no MonitorDir yet and no ~/tmp. The warning names the
// folder that was looked for, not the setting's "c:\tmp".
TEST_F(MonitorTest, FirstStartNamesTheFolderItLookedFor)
{
    std::remove(SettingsFile().path().c_str());
    ModalAnswerer answerer;
    Start();
    EXPECT_EQ(answerer.Seen, Names{"Cannot find directory " + home.file("tmp")});
    EXPECT_TRUE(directoryExists(home.file("tmp")));
}

TEST_F(MonitorTest, FolderRemovedWhileWatchingIsReportedOnceUntilItReturns)
{
    Start();
    ModalAnswerer answerer;
    fs::remove_all(watched.path());
    for (int tick = 0; tick < 3; ++tick)
        toolbar->Timer1Timer();
    EXPECT_EQ(answerer.Seen, Names{"Cannot find directory " + watched.path()});
    EXPECT_TRUE(toolbar->Timer1->isActive());

    fs::create_directories(watched.path());
    watched.write("back.txt", "the folder is back\n");
    toolbar->Timer1Timer();
    EXPECT_EQ(Handled(), Names{"back.txt"});

    fs::remove_all(watched.path());
    toolbar->Timer1Timer();
    toolbar->Timer1Timer();
    EXPECT_EQ(answerer.Seen.size(), 2u);
    fs::create_directories(watched.path()); // for the fixture's clean-up
}

TEST_F(MonitorTest, DisabledMonitorNeverTicks)
{
    Set("MonitorEnabled", "0");
    Start();
    EXPECT_FALSE(toolbar->Timer1->isActive());
    watched.write("ignored.txt", "nobody looks\n");
    // The folder is still checked and its files marked at start.
    EXPECT_EQ(toolbar->DirectoryListBox1.Directory, watched.path());
    Set("MonitorEnabled", "1");
    toolbar->StartMonitor();
    EXPECT_TRUE(toolbar->Timer1->isActive());
    toolbar->Timer1Timer();
    EXPECT_TRUE(Previews.empty()); // marked as seen by the restart
}

TEST_F(MonitorTest, JobsNeverStoreTheirPagesInTheWatchedFolder)
{
    Start();
    std::vector<std::string> namesDuringJob;
    int storedPages = 0;
    OnPreview = [&](TPrintFile&) {
        namesDuringJob = filesIn(watched.path());
        storedPages = StoredPageCount();
        toolbar->Timer1Timer(); // a tick while the pages exist
    };
    watched.write("job.txt", LongLines(120));
    {
        CurrentDir inWatched(watched.path()); // even with the watched folder current
        toolbar->Timer1Timer();
    }
    EXPECT_EQ(Handled(), Names{"job.txt"});
    EXPECT_GE(storedPages, 2);
    EXPECT_EQ(namesDuringJob, Names{"job.txt"});
    EXPECT_NE(Previews[0].Folder, watched.path());
    toolbar->Timer1Timer();
    EXPECT_EQ(Previews.size(), 1u);
}

TEST_F(MonitorTest, TickDuringAnOpenPreviewWaitsForItToClose)
{
    Start();
    int pagesBefore = -1, pagesAfter = -1;
    std::size_t previewsDuringTick = 0;
    OnPreview = [&](TPrintFile& job) {
        if (job.Filename != watched.file("first.txt"))
            return;
        pagesBefore = StoredPageCount();
        watched.write("second.txt", "arrives while the preview is open\n");
        toolbar->Timer1Timer();
        previewsDuringTick = Previews.size();
        pagesAfter = StoredPageCount();
    };
    watched.write("first.txt", "first file\n");
    toolbar->Timer1Timer();
    EXPECT_EQ(previewsDuringTick, 1u);
    EXPECT_EQ(pagesBefore, 1);
    EXPECT_EQ(pagesAfter, 1);
    EXPECT_NE(fileAttributes(watched.file("second.txt")) & faArchive, 0);

    toolbar->Timer1Timer();
    EXPECT_EQ(Handled(), (Names{"first.txt", "second.txt"}));
}

TEST_F(MonitorTest, ClosingTheConfigurationMarksTheFilesOfTheNewFolder)
{
    Start();
    TempDir other;
    other.write("there.txt", "present before the dialog closed\n");
    ModalAnswerer answerer([&](QWidget*) {
        configure->DirectoryListBox1->SetDirectory(other.path());
        configure->OKBtn->click();
    });
    toolbar->Configure->trigger();
    EXPECT_EQ(answerer.Seen, Names{"Configure Velm!"});
    EXPECT_EQ(Get("MonitorDir"), other.path());
    EXPECT_EQ(toolbar->DirectoryListBox1.Directory, other.path());
    toolbar->Timer1Timer();
    EXPECT_TRUE(Previews.empty());
    other.write("new.txt", "after\n");
    toolbar->Timer1Timer();
    EXPECT_EQ(Handled(), Names{"new.txt"});
}

} // namespace
