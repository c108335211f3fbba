// Shared test helpers: every test program runs with its own settings folder
// ($VELM_CONFIG_DIR) and PDF folder ($VELM_PDF_DIR) under a fresh temporary
// folder, and a QApplication on the offscreen platform.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace velm::testing {

// A temporary folder removed with everything in it at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
};

// Makes a folder current for the scope and restores the previous one.
class CurrentDir {
public:
    explicit CurrentDir(const std::string& path);
    ~CurrentDir();
    CurrentDir(const CurrentDir&) = delete;
    CurrentDir& operator=(const CurrentDir&) = delete;

private:
    std::string previous_;
};

// Files this process writes cannot grow past maxBytes for the scope: a
// write beyond fails with "File too large" (the signal it would raise is
// ignored), as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(long maxBytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*previousHandler_)(int);
};

std::string readFile(const std::string& path);
// n bytes of the alphabet over and over: a misplaced, repeated or lost
// block shows up.
std::string filler(std::size_t n);
std::vector<std::string> filesIn(const std::string& folder); // sorted names
// The text as one shell word.
std::string Quote(const std::string& text);
// Runs a shell command, returns its exit status and (optionally) its stdout.
int run(const std::string& command, std::string* output = nullptr);
std::string settingsFolder();   // this test program's $VELM_CONFIG_DIR
std::string sourcePath(const std::string& relative); // a file of the source tree

// Polls until `happened` holds, for an event no signal announces (a file that
// another process writes). The ceiling only ends the wait for an event that
// never comes; returns whether it came.
bool waitUntil(const std::function<bool()>& happened, std::chrono::seconds ceiling = std::chrono::seconds(120));

// Makes this program's private folders and reads GoogleTest's arguments;
// each test program's main calls it before making its application.
void prepareTestProgram(int& argc, char** argv);

// True where every test must run (VELM_REQUIRE_ALL=1, as `make check` sets).
bool requireAll();

} // namespace velm::testing

// Skips a test whose tool or service this machine lacks; where every test
// must run, the same test fails instead. Skips right on any machine (a
// permission test run as root) use GTEST_SKIP.
#define VELM_SKIP_MISSING(what)                                                \
    do {                                                                       \
        if (::velm::testing::requireAll())                                     \
            GTEST_FAIL() << what << " (VELM_REQUIRE_ALL=1: this must run)";    \
        GTEST_SKIP() << what;                                                  \
    } while (false)
