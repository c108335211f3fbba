#include "engine/JobFolder.h"

#include "engine/Gdi.h"
#include "platform/core/convert.h"
#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/system/output_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysinfo.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace velm {

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The memory-backed folders a job may format in: the session's runtime
// folder, else /dev/shm.
std::vector<std::string> MemoryBackedFolders()
{
    std::vector<std::string> folders;
    if (const std::string session = Environment("XDG_RUNTIME_DIR"); !session.empty())
        folders.push_back(session);
    folders.push_back("/dev/shm");
    return folders;
}


// The process that made a private folder "velm-<pid>-XXXXXX", else 0.
pid_t OwnerOf(const std::string& name)
{
    const std::string_view rest = std::string_view(name).substr(name.starts_with("velm-") ? 5 : name.size());
    const std::size_t digits = leadingDigits(rest);
    if (digits == 0 || digits > 9 || rest[0] == '0' || rest.size() != digits + 7 || rest[digits] != '-' ||
        !std::all_of(rest.end() - 6, rest.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
        return 0;
    return static_cast<pid_t>(std::stol(std::string(rest.substr(0, digits))));
}

// Made first in every private folder: whatever else it holds is Velm's.
constexpr const char* kMark = kPrivateJobMark;

// What a job of an earlier version wrote in an unmarked folder: stored
// pages and their temporary twins.
bool IsStoredPageName(const std::string& name)
{
    std::string_view rest = name;
    if (rest.starts_with('.'))
        rest.remove_prefix(1);
    if (!rest.starts_with("PRN"))
        return false;
    rest.remove_prefix(3);
    const std::size_t digits = leadingDigits(rest);
    if (digits < 3 || !rest.substr(digits).starts_with(".EMF"))
        return false;
    rest.remove_prefix(digits + 4);
    if (rest.empty())
        return true;
    // A temporary twin: ".tmp-<pid>-<n>".
    if (!rest.starts_with(".tmp-"))
        return false;
    rest.remove_prefix(5);
    const std::size_t pid = leadingDigits(rest);
    return pid > 0 && pid + 1 < rest.size() && rest[pid] == '-' && leadingDigits(rest.substr(pid + 1)) == rest.size() - pid - 1;
}

// A folder that is marked, or holds nothing but stored pages.
bool HoldsOnlyJobFiles(const fs::path& folder)
{
    std::error_code error;
    if (fs::is_regular_file(fs::symlink_status(folder / kMark, error)))
        return true;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (!IsStoredPageName(it->path().filename().string()))
            return false;
    return !error;
}

// Removes `folder` when it is ours, its process is gone, nobody holds its
// lock (a process in another PID namespace may share the pid) and it holds
// nothing but a job's files.
void RemoveIfStale(const fs::path& folder)
{
    const pid_t owner = OwnerOf(folder.filename().string());
    struct stat st;
    if (owner == 0 || owner == ::getpid() || ::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != ::getuid() || ::kill(owner, 0) == 0 || errno != ESRCH)
        return;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && HoldsOnlyJobFiles(folder)) {
        std::error_code ignored;
        fs::remove_all(folder, ignored); // links inside are removed, never followed
    }
    ::close(fd);
}

} // namespace

// Every sheet is a file written once and read once, and creating a file
// on a disk file system can cost a millisecond: a memory-backed folder is
// used when the job's pages take at most a quarter of its free space and
// an eighth of the free memory.
std::optional<fs::path> MemoryBackedBase(std::uintmax_t inputBytes)
{
    // A stored sheet is about ten times the text printed on it.
    const std::uintmax_t pagesBytes =
        inputBytes > kUnknownSize / 10 ? kUnknownSize : std::max<std::uintmax_t>(inputBytes, 1 << 20) * 10;
    struct sysinfo memory;
    if (::sysinfo(&memory) != 0 || static_cast<std::uintmax_t>(memory.freeram) * memory.mem_unit / 8 < pagesBytes)
        return std::nullopt;
    for (const std::string& candidate : MemoryBackedFolders()) {
        struct statfs fsInfo;
        if (::statfs(candidate.c_str(), &fsInfo) == 0 && fsInfo.f_type == TMPFS_MAGIC &&
            ::access(candidate.c_str(), W_OK | X_OK) == 0 &&
            static_cast<std::uintmax_t>(fsInfo.f_bavail) * fsInfo.f_bsize / 4 >= pagesBytes)
            return candidate;
    }
    return std::nullopt;
}

// A TMPDIR the user set, or a large job, gets the temporary folder.
fs::path TemporaryBase(std::uintmax_t inputBytes)
{
    if (const std::string chosen = Environment("TMPDIR"); !chosen.empty())
        return chosen;
    return MemoryBackedBase(inputBytes).value_or("/tmp");
}

PrivateFolder::PrivateFolder(const fs::path& base)
{
    std::string pattern = (base / ("velm-" + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
        throw FileError("cannot make a temporary folder in " + base.string() + ": " + std::strerror(errno));
    path_ = pattern;
    lock_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock_ >= 0)
        ::flock(lock_, LOCK_EX);
    const int mark = ::open(file(kMark).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (mark >= 0)
        ::close(mark);
}

PrivateFolder::~PrivateFolder()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    if (lock_ >= 0)
        ::close(lock_);
}

FormattingFolder::FormattingFolder(const std::optional<std::string>& keep, std::uintmax_t inputBytes)
    : previous_(currentDirectory()), keep_(keep)
{
    if (keep)
        fs::create_directories(*keep);
    else
        private_.emplace(TemporaryBase(inputBytes));
    if (!setCurrentDirectory(path()))
        throw FileError("cannot enter " + path());
}

FormattingFolder::~FormattingFolder() { setCurrentDirectory(previous_); }

void RemoveLeftovers(const std::vector<std::string>& outputFolders)
{
    std::vector<std::string> places = {Environment("TMPDIR"), "/tmp"};
    for (const std::string& folder : MemoryBackedFolders())
        places.push_back(folder);
    std::sort(places.begin(), places.end());
    places.erase(std::unique(places.begin(), places.end()), places.end());
    for (const std::string& place : places) {
        if (place.empty())
            continue;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(place, ignored))
            RemoveIfStale(entry.path());
    }
    for (const std::string& folder : outputFolders)
        removeStaleTemporaries(folder);
}

} // namespace velm
