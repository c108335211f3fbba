#include "platform/system/output_file.h"
#include "platform/core/convert.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace velm {
namespace {

bool failWith(std::string* problem, int error)
{
    if (problem)
        *problem = std::strerror(error);
    return false;
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// The name a write lands on: symbolic links followed to the last one's
// target, which need not exist yet. False with errno set.
bool followLinks(std::string& path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return true;
        char text[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), text, sizeof text - 1);
        if (n < 0)
            return false;
        const std::string link(text, static_cast<std::size_t>(n));
        path = link.front() == '/' ? link : folderOf(path) + "/" + link;
    }
    errno = ELOOP;
    return false;
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// A descriptor for a socket's name: a connection to whoever listens there.
int connectTo(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// Syncs the folder's entries, so that a rename in it reaches the disk.
void syncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

OutputFile::~OutputFile() { discard(); }

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(other.fd_), temporary_(std::move(other.temporary_)), target_(std::move(other.target_))
{
    other.fd_ = -1;
    other.temporary_.clear();
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept
{
    if (this != &other) {
        discard();
        fd_ = other.fd_;
        temporary_ = std::move(other.temporary_);
        target_ = std::move(other.target_);
        other.fd_ = -1;
        other.temporary_.clear();
    }
    return *this;
}

bool OutputFile::open(const std::string& path, std::string* problem)
{
    discard();
    if (path == "-")
        return openStream(path, {}, problem);
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return failWith(problem, EISDIR);
        if (!S_ISREG(st.st_mode))
            return openStream(path, st, problem);
    } else if (errno != ENOENT) {
        return failWith(problem, errno);
    }
    return openReplacing(path, problem);
}

bool OutputFile::openReplacing(const std::string& path, std::string* problem)
{
    target_ = path;
    if (!followLinks(target_))
        return failWith(problem, errno);
    struct stat old;
    const bool existed = ::stat(target_.c_str(), &old) == 0;
    // Short enough for any file system, whatever the target's name.
    const std::string stem = folderOf(target_) + "/." + nameOf(target_).substr(0, 200) + ".velm-"
                             + std::to_string(::getpid()) + "-";
    static std::atomic<unsigned> serial{0};
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temporary_ = stem + std::to_string(serial++);
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        temporary_.clear();
        return failWith(problem, errno);
    }
    ::flock(fd_, LOCK_EX); // a fresh file nobody else holds: never waits
    if (existed) {
        if (::fchmod(fd_, old.st_mode & 07777) != 0) {
            const int error = errno;
            discard();
            return failWith(problem, error);
        }
        // Only root may give a file away; anyone else keeps the file as theirs.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            (void)!::fchown(fd_, old.st_uid, old.st_gid);
    }
    return true;
}

bool OutputFile::openStream(const std::string& path, const struct stat& st, std::string* problem)
{
    struct stat out;
    // Standard output under any of its names (-, /dev/stdout) is the
    // descriptor this process was given: a socket cannot be opened by name.
    if (path == "-" || (::fstat(STDOUT_FILENO, &out) == 0 && sameFile(st, out)))
        fd_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    else if (S_ISSOCK(st.st_mode))
        fd_ = connectTo(path);
    else
        fd_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0)
        return failWith(problem, errno);
    return true;
}

bool OutputFile::write(std::string_view bytes, std::string* problem)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failWith(problem, errno);
        if (n == 0)
            return failWith(problem, ENOSPC);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool OutputFile::commit(std::string* problem)
{
    if (fd_ < 0)
        return failWith(problem, EBADF);
    // Pipes, sockets and most devices cannot be synced: there is nothing to keep.
    if (::fsync(fd_) != 0 && (replacesFile() || (errno != EINVAL && errno != EROFS && errno != ENOTSUP))) {
        const int error = errno;
        discard();
        return failWith(problem, error);
    }
    const int closed = ::close(fd_);
    const int closeError = errno;
    fd_ = -1;
    if (closed != 0) {
        discard();
        return failWith(problem, closeError);
    }
    if (!replacesFile())
        return true;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        discard();
        return failWith(problem, error);
    }
    temporary_.clear();
    syncFolder(folderOf(target_));
    return true;
}

void OutputFile::discard() noexcept
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

bool writeWholeFile(const std::string& path, std::string_view bytes, std::string* problem)
{
    OutputFile file;
    return file.open(path, problem) && file.write(bytes, problem) && file.commit(problem);
}

namespace {

// ".<target>.velm-<pid>-<n>": a writer's temporary file beside its target.
struct TemporaryName {
    std::string target;
    long long pid = 0;
};
std::optional<TemporaryName> parseTemporaryName(std::string_view name)
{
    const std::size_t mark = name.rfind(".velm-");
    if (name.size() < 2 || name[0] != '.' || mark == std::string_view::npos || mark < 2)
        return std::nullopt;
    const std::string_view numbers = name.substr(mark + 6);
    const std::size_t pidDigits = leadingDigits(numbers);
    if (pidDigits == 0 || pidDigits > 10 || numbers[0] == '0' || pidDigits + 1 >= numbers.size() ||
        numbers[pidDigits] != '-' || leadingDigits(numbers.substr(pidDigits + 1)) != numbers.size() - pidDigits - 1)
        return std::nullopt;
    return TemporaryName{std::string(name.substr(1, mark - 1)), std::stoll(std::string(numbers.substr(0, pidDigits)))};
}

// A new file is reserved empty under its final name just before its
// temporary file is made: a writer killed outright leaves it empty beside
// the temporary one. It goes with it when it is still empty and was made
// within a second of it (an empty file of the user's is older).
void removeEmptyReservation(int dirFd, const char* temporary, const std::string& target)
{
    struct statx made, reserved;
    if (::statx(dirFd, temporary, AT_SYMLINK_NOFOLLOW, STATX_BTIME, &made) != 0 || !(made.stx_mask & STATX_BTIME)
        || ::statx(dirFd, target.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &reserved) != 0
        || !S_ISREG(reserved.stx_mode) || reserved.stx_size != 0 || reserved.stx_uid != ::geteuid())
        return;
    const long long gap = static_cast<long long>(made.stx_btime.tv_sec) - reserved.stx_mtime.tv_sec;
    if (gap >= -1 && gap <= 1)
        ::unlinkat(dirFd, target.c_str(), 0);
}

} // namespace

void removeStaleTemporaries(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::optional<TemporaryName> temporary = parseTemporaryName(entry->d_name);
        if (!temporary)
            continue;
        const long long pid = temporary->pid;
        struct stat st;
        if (pid > INT_MAX || ::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)
            || st.st_uid != ::geteuid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;
        // A writer in another PID namespace may carry the same number: it holds the lock.
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            removeEmptyReservation(dirFd, entry->d_name, temporary->target);
            ::unlinkat(dirFd, entry->d_name, 0);
        }
        ::close(fd);
    }
    ::closedir(dir);
}

} // namespace velm
