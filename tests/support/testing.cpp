#include "support/testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;

namespace velm::testing {

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "velm-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

void TempDir::write(const std::string& name, const std::string& bytes) const
{
    std::ofstream out(file(name), std::ios::binary);
    out << bytes;
}

CurrentDir::CurrentDir(const std::string& path) : previous_(fs::current_path().string())
{
    std::error_code ec;
    fs::current_path(path, ec);
    if (ec)
        throw std::runtime_error("cannot enter " + path);
}

CurrentDir::~CurrentDir()
{
    std::error_code ignored;
    fs::current_path(previous_, ignored);
}

FileSizeLimit::FileSizeLimit(long maxBytes) : previousHandler_(std::signal(SIGXFSZ, SIG_IGN))
{
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = static_cast<rlim_t>(maxBytes);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
        throw std::runtime_error("cannot limit the file size");
}

FileSizeLimit::~FileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string filler(std::size_t n)
{
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

int run(const std::string& command, std::string* output)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        if (output)
            output->append(buffer, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string settingsFolder() { return std::getenv("VELM_CONFIG_DIR"); }

std::string sourcePath(const std::string& relative) { return std::string(VELM_SOURCE_DIR) + "/" + relative; }

bool waitUntil(const std::function<bool()>& happened, std::chrono::seconds ceiling)
{
    const auto end = std::chrono::steady_clock::now() + ceiling;
    while (!happened()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

bool requireAll()
{
    const char* value = std::getenv("VELM_REQUIRE_ALL");
    return value && std::string(value) == "1";
}

// Private settings and PDF folders for this program, so that no test
// touches a user's files; then GoogleTest's own arguments.
void prepareTestProgram(int& argc, char** argv)
{
    static TempDir home;
    fs::create_directories(home.file("config"));
    fs::create_directories(home.file("pdf"));
    setenv("VELM_CONFIG_DIR", home.file("config").c_str(), 1);
    setenv("VELM_PDF_DIR", home.file("pdf").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
}

} // namespace velm::testing
