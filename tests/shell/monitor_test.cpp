// The folder monitor with real files in a real folder. Most cases call the
// tick directly; the writer cases run the real timer against a child process
// that writes in steps when told to.
#include "shell/Unit1.h"
#include "shell/Unit2.h"
#include "shell/Unit4.h"
#include "shell/shell_support.h"

#include "engine/Gdi.h"
#include "platform/system/files.h"

#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <algorithm>
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

// A child process that writes into a folder one command at a time and
// answers each when it is done: "open NAME" (held open as the writer's file),
// "write N TEXT" (lines "TEXT 1" to "TEXT N" into it), "close",
// "put NAME TEXT" (a whole file of one line), "rename OLD NEW".
class Writer {
public:
    explicit Writer(const std::string& folder)
    {
        static const char* const script = R"(cd "$1" || exit 1
while read -r command first rest; do
    case $command in
        open) exec 3>"$first" ;;
        write) i=1; while [ $i -le "$first" ]; do printf '%s %s\n' "$rest" $i >&3; i=$((i + 1)); done ;;
        close) exec 3>&- ;;
        put) printf '%s\n' "$rest" >"$first" ;;
        rename) mv "$first" "$rest" ;;
    esac
    echo done
done)";
        process_.start("sh", {"-c", script, "writer", QString::fromStdString(folder)});
        EXPECT_TRUE(process_.waitForStarted());
    }
    ~Writer()
    {
        process_.closeWriteChannel();
        process_.waitForFinished();
    }
    // Runs one command and waits for its answer.
    void Do(const std::string& command)
    {
        process_.write(QByteArray::fromStdString(command + "\n"));
        while (!process_.canReadLine())
            ASSERT_TRUE(process_.waitForReadyRead()) << "the writer did not answer " << command;
        EXPECT_EQ(process_.readLine(), "done\n");
    }

private:
    QProcess process_;
};

// The real timer, shortened, with the files printed to PDFs.
class MonitorTimerTest : public MonitorTest {
protected:
    void SetUp() override
    {
        MonitorTest::SetUp();
        Set("MonitorView", "0");
        printer = std::make_unique<TestPrinter>(pdfs.path());
        TVelm::MonitorInterval = 20;
        Start();
        ticks = std::make_unique<QSignalSpy>(toolbar.get(), &TVelm::Ticked);
    }
    void TearDown() override
    {
        ticks.reset();
        TVelm::MonitorInterval = 5000;
        MonitorTest::TearDown();
        printer.reset();
    }
    // Waits until n more ticks have looked at the folder; each began after
    // everything the writers were told before.
    void WaitTicks(int n)
    {
        const auto until = ticks->count() + n;
        while (ticks->count() < until)
            ASSERT_TRUE(ticks->wait(30000)) << "the timer stopped ticking";
    }
    // Waits, tick by tick, for n printouts, then two more ticks for any extra.
    void WaitForPrintouts(std::size_t n)
    {
        for (int tick = 0; tick < 100 && filesIn(pdfs.path()).size() < n; ++tick)
            WaitTicks(1);
        WaitTicks(2);
    }
    std::vector<std::string> Printouts() const
    {
        std::vector<std::string> texts;
        for (const std::string& pdf : filesIn(pdfs.path()))
            texts.push_back(PdfText(pdfs.file(pdf)));
        return texts;
    }
    static std::size_t Containing(const std::vector<std::string>& texts, const std::string& text)
    {
        return static_cast<std::size_t>(std::count_if(texts.begin(), texts.end(), [&](const std::string& t) {
            return t.find(text) != std::string::npos;
        }));
    }
    std::size_t PrintoutsWith(const std::string& text) const { return Containing(Printouts(), text); }

    TempDir pdfs;
    std::unique_ptr<TestPrinter> printer;
    std::unique_ptr<QSignalSpy> ticks;
};

// The stored pages' first sheet has no path in its header, so the files
// printed here fill two sheets: the second names the file.
TEST_F(MonitorTimerTest, AFileWrittenOverThreeTicksPrintsOnceWhenComplete)
{
    Writer slow(watched.path());
    slow.Do("open report.txt");
    for (int part = 1; part <= 3; ++part) {
        slow.Do("write 40 part" + std::to_string(part));
        WaitTicks(1);
        EXPECT_TRUE(filesIn(pdfs.path()).empty()) << "printed while open after part " << part;
    }
    // A file that is still being written holds up no other file.
    Writer quick(watched.path());
    quick.Do("put other.txt written whole");
    WaitForPrintouts(1);
    EXPECT_EQ(PrintoutsWith("written whole"), 1u);

    slow.Do("close");
    WaitForPrintouts(2);
    ASSERT_EQ(filesIn(pdfs.path()).size(), 2u);
    const auto texts = Printouts();
    const auto report = std::find_if(texts.begin(), texts.end(), [](const std::string& text) {
        return text.find("report.txt") != std::string::npos;
    });
    ASSERT_NE(report, texts.end());
    for (const char* line : {"part1 1\n", "part2 40\n", "part3 1\n", "part3 40\n"})
        EXPECT_NE(report->find(line), std::string::npos) << line;
}

TEST_F(MonitorTimerTest, AFileWrittenUnderATemporaryNameAndRenamedPrintsOnceUnderItsName)
{
    Writer writer(watched.path());
    writer.Do("open x.tmp");
    writer.Do("write 60 first half");
    WaitTicks(1);
    writer.Do("write 60 second half");
    WaitTicks(1);
    EXPECT_TRUE(filesIn(pdfs.path()).empty());
    writer.Do("close");
    writer.Do("rename x.tmp x.txt");
    WaitForPrintouts(1);
    ASSERT_EQ(filesIn(pdfs.path()).size(), 1u);
    const std::string text = Printouts()[0];
    EXPECT_NE(text.find(watched.file("x.txt")), std::string::npos);
    EXPECT_EQ(text.find("x.tmp"), std::string::npos);
    EXPECT_NE(text.find("second half 60\n"), std::string::npos);
}

TEST_F(MonitorTimerTest, TenFilesWrittenAtOncePrintOnceEach)
{
    Writer writer(watched.path());
    for (int i = 1; i <= 10; ++i)
        writer.Do("put file" + std::to_string(i) + ".txt contents of number " + std::to_string(i) + " end");
    WaitForPrintouts(10);
    EXPECT_EQ(filesIn(pdfs.path()).size(), 10u);
    const auto texts = Printouts();
    for (int i = 1; i <= 10; ++i)
        EXPECT_EQ(Containing(texts, "number " + std::to_string(i) + " end"), 1u) << i;
}

TEST_F(MonitorTimerTest, AFileRewrittenAfterItPrintedPrintsAgainOnce)
{
    Writer writer(watched.path());
    writer.Do("put note.txt first version");
    WaitForPrintouts(1);
    writer.Do("open note.txt");
    writer.Do("write 1 second version");
    WaitTicks(1);
    EXPECT_EQ(filesIn(pdfs.path()).size(), 1u) << "printed while being rewritten";
    writer.Do("close");
    WaitForPrintouts(2);
    EXPECT_EQ(filesIn(pdfs.path()).size(), 2u);
    EXPECT_EQ(PrintoutsWith("first version"), 1u);
    EXPECT_EQ(PrintoutsWith("second version"), 1u);
}

} // namespace
