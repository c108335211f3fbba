// The command's private job folders: a job stopped by a signal removes its
// folder, and a start removes the folders that killed jobs left, but
// nothing of another live job and nothing that is not a job folder.
#include "support/testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace velm {
namespace {

using testing::TempDir;

using testing::Quote;

// Starts velm with `arguments` in `folder` under the given TMPDIR; the
// process id is velm's own.
pid_t StartShell(const std::string& script)
{
    const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
    pid_t pid = -1;
    return posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) == 0 ? pid : -1;
}

pid_t StartVelm(const std::string& arguments, const std::string& folder, const std::string& tmp)
{
    return StartShell("cd " + Quote(folder) + " && TMPDIR=" + Quote(tmp) + " exec " + Quote(VELM_BINARY) + " "
                      + arguments + " >out.log 2>err.log");
}

// A velm job whose input is a FIFO the test holds open: the job stays in
// its folder, reading, until the test closes the FIFO or stops the job.
class JobOnFifo {
public:
    JobOnFifo(const std::string& options, const std::string& folder, const std::string& tmp)
        : fifo_(folder + "/input.txt")
    {
        if (mkfifo(fifo_.c_str(), 0600) != 0 || (pid_ = StartVelm(options + " input.txt", folder, tmp)) <= 0)
            return;
        watcher_ = std::thread([this] {
            siginfo_t info{};
            waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT);
            // Should velm end without opening the FIFO, the open below returns.
            const int reader = ::open(fifo_.c_str(), O_RDONLY | O_NONBLOCK);
            if (reader >= 0)
                ::close(reader);
        });
        // Returns once velm opened its input for reading.
        writer_ = ::open(fifo_.c_str(), O_WRONLY);
    }
    ~JobOnFifo()
    {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        CloseInput();
        ::unlink(fifo_.c_str());
    }
    JobOnFifo(const JobOnFifo&) = delete;
    JobOnFifo& operator=(const JobOnFifo&) = delete;

    pid_t Pid() const { return pid_; }
    bool Reading() const { return writer_ >= 0; }
    bool Write(const std::string& text) const
    {
        return ::write(writer_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
    void Signal(int signal) const { ::kill(pid_, signal); }
    void CloseInput()
    {
        if (writer_ >= 0)
            ::close(writer_);
        writer_ = -1;
    }
    // The exit status, as a shell reports it.
    int Wait()
    {
        int status = 0;
        if (status_ < 0 && waitpid(pid_, &status, 0) == pid_)
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (watcher_.joinable())
            watcher_.join();
        return status_;
    }

private:
    std::string fifo_;
    pid_t pid_ = -1;
    int writer_ = -1;
    int status_ = -1;
    std::thread watcher_;
};

class JobFolders : public ::testing::Test {
protected:
    JobFolders() { fs::create_directory(tmp()); }
    std::string tmp() const { return dir_.file("tmp"); }
    TempDir dir_;
};

TEST_F(JobFolders, TerminationSignalsRemoveTheJobFolderAndWriteNothing)
{
    for (const char* options : {"-o out.pdf", "--preview"}) {
        for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
            SCOPED_TRACE(std::string(options) + " " + strsignal(signal));
            JobOnFifo job(options, dir_.path(), tmp());
            ASSERT_TRUE(job.Reading());
            ASSERT_TRUE(job.Write("the first line of a long input\n"));
            // The job reads its input inside its private folder, named by its pid.
            const std::vector<std::string> folders = testing::filesIn(tmp());
            ASSERT_EQ(folders.size(), 1u);
            EXPECT_EQ(folders[0].rfind("velm-" + std::to_string(job.Pid()) + "-", 0), 0u) << folders[0];

            job.Signal(signal);
            // The preview keeps reading through a signal; the end of the input lets it go on.
            job.CloseInput();
            EXPECT_EQ(job.Wait(), 128 + signal) << testing::readFile(dir_.file("err.log"));
            EXPECT_TRUE(testing::filesIn(tmp()).empty());
            EXPECT_FALSE(fs::exists(dir_.file("out.pdf")));
            EXPECT_NE(testing::readFile(dir_.file("err.log")).find("interrupted"), std::string::npos)
                << testing::readFile(dir_.file("err.log"));
        }
    }
}

// The pid of a process that has ended.
pid_t EndedProcess()
{
    const char* argv[] = {"/bin/true", nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/true", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return pid;
}

TEST_F(JobFolders, AStartRemovesOnlyTheFoldersOfEndedJobs)
{
    const std::string dead = std::to_string(EndedProcess());
    const std::string live = std::to_string(::getpid());
    const auto folder = [&](const std::string& name, std::vector<std::string> files) {
        fs::create_directory(tmp() + "/" + name);
        for (const std::string& file : files)
            dir_.write("tmp/" + name + "/" + file, "x");
    };
    folder("velm-" + dead + "-aB3dE6", {"PRN001.EMF", "PRN002.EMF", ".PRN003.EMF.tmp-12-0"});
    folder("velm-" + dead + "-marked", {".velm-job", "standard-input", "job.pdf"}); // all of it a job's
    fs::create_directories(tmp() + "/velm-" + dead + "-marked/config/velm");
    folder("velm-" + dead + "-empty1", {});
    folder("velm-" + dead + "-notes1", {"PRN001.EMF", "notes.txt"}); // not only stored pages
    folder("velm-" + live + "-alive1", {"PRN001.EMF"});              // its process runs
    folder("velm-" + dead + "-locked", {"PRN001.EMF"});              // held by a live process
    folder("velm-" + dead, {"PRN001.EMF"});                          // not our name
    folder("velm-test-abcdef", {});
    folder("elsewhere", {"PRN001.EMF"});
    fs::create_directory_symlink(tmp() + "/elsewhere", tmp() + "/velm-" + dead + "-link01");
    dir_.write("tmp/velm-" + dead + "-file01", "a file, not a folder");
    const int lock = ::open((tmp() + "/velm-" + dead + "-locked").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);

    // Half-written files of killed writers in the PDF folder and beside -o's file.
    const std::string pdfs = std::getenv("VELM_PDF_DIR");
    const std::vector<std::string> partial = {pdfs + "/.velm-20250101-120000.pdf.velm-" + dead + "-3",
                                              dir_.file(".out.pdf.velm-" + dead + "-0"),
                                              dir_.file(".draft.pdf.velm-" + dead + "-2")};
    const std::vector<std::string> others = {pdfs + "/.mine.pdf.velm-" + live + "-0", pdfs + "/.held.pdf.velm-" + dead + "-1",
                                             pdfs + "/.notes.velm-draft"};
    // The new PDF's name, reserved empty just before its temporary file, goes
    // with it; an empty file of the user's, older than it, stays.
    std::ofstream(pdfs + "/velm-20250101-120000.pdf");
    std::ofstream(dir_.file("draft.pdf"));
    fs::last_write_time(dir_.file("draft.pdf"), fs::file_time_type::clock::now() - std::chrono::hours(1));
    for (const std::string& file : partial)
        std::ofstream(file) << "%PDF-1.7 half";
    for (const std::string& file : others)
        std::ofstream(file) << "x";
    const int held = ::open(others[1].c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    dir_.write("short.txt", "alpha\n");
    const pid_t velm = StartVelm("-o out.pdf short.txt", dir_.path(), tmp());
    int status = 0;
    ASSERT_EQ(waitpid(velm, &status, 0), velm);
    ::close(lock);
    EXPECT_EQ(WEXITSTATUS(status), 0) << testing::readFile(dir_.file("err.log"));

    std::vector<std::string> kept = {"elsewhere", "velm-" + dead, "velm-" + dead + "-file01",
                                     "velm-" + dead + "-link01", "velm-" + dead + "-locked",
                                     "velm-" + dead + "-notes1", "velm-" + live + "-alive1", "velm-test-abcdef"};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(testing::filesIn(tmp()), kept);
    for (const char* name : {"-notes1", "-locked"})
        EXPECT_FALSE(testing::filesIn(tmp() + "/velm-" + dead + name).empty()) << name;
    EXPECT_EQ(testing::filesIn(tmp() + "/elsewhere"), std::vector<std::string>{"PRN001.EMF"});
    ::close(held);
    for (const std::string& file : partial)
        EXPECT_FALSE(fs::exists(file)) << file;
    EXPECT_FALSE(fs::exists(pdfs + "/velm-20250101-120000.pdf"));
    EXPECT_TRUE(fs::exists(dir_.file("draft.pdf")));
    for (const std::string& file : others) {
        EXPECT_TRUE(fs::exists(file)) << file;
        fs::remove(file);
    }
}

// Standard input is kept inside the job's folder, on disk (the default
// /tmp, not memory-backed space) once it passes a few megabytes, so that a
// job killed outright leaves it to the clean-up of the next start.
TEST_F(JobFolders, AStandardInputSpoolGoesWithItsKilledJob)
{
    // 200 MB: long enough to be killed while it is read or formatted,
    // bounded should it ever be spooled into memory again.
    const std::string script = "cd " + Quote(dir_.path()) + " || exit; unset TMPDIR; yes 'a long pipe of text' | "
                               + "head -c 200000000 | " + Quote(VELM_BINARY) + " -o out.pdf - 2>err.log & "
                               + "echo $! >velm.pid; wait";
    const pid_t shell = StartShell(script);
    pid_t velm = 0;
    ASSERT_TRUE(testing::waitUntil([&] {
        velm = std::atoi(testing::readFile(dir_.file("velm.pid")).c_str());
        return velm > 0;
    }));
    struct Killer {
        pid_t pid;
        ~Killer() { ::kill(pid, SIGKILL); }
    } killer{velm};
    std::string spool;
    const std::string prefix = "velm-" + std::to_string(velm) + "-";
    EXPECT_TRUE(testing::waitUntil([&] {
        for (const std::string& name : testing::filesIn("/tmp")) {
            std::error_code missing;
            if (name.starts_with(prefix) && fs::file_size("/tmp/" + name + "/standard-input", missing) > (8u << 20))
                spool = "/tmp/" + name;
        }
        return !spool.empty();
    })) << "no spool grew in a job folder in /tmp";
    ::kill(velm, SIGKILL);
    int status = 0;
    waitpid(shell, &status, 0);
    if (spool.empty())
        return;

    dir_.write("short.txt", "alpha\n");
    const pid_t next = StartShell("cd " + Quote(dir_.path()) + " && unset TMPDIR && exec " + Quote(VELM_BINARY)
                                  + " -o next.pdf short.txt >/dev/null");
    ASSERT_EQ(waitpid(next, &status, 0), next);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(fs::exists(spool)) << "the next start removes it";
}

} // namespace
} // namespace velm
