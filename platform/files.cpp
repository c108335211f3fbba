#include "platform/files.h"

#include "platform/settings.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace velm {
namespace {

std::string errnoText(int error) { return std::strerror(error); }

void setProblem(std::string* problem, const std::string& text)
{
    if (problem)
        *problem = text;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string folderOf(const std::string& path)
{
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// ---- the archive-attribute emulation -------------------------------------

struct Mark {
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const Mark&) const = default;
};

Mark markOf(const struct stat& st)
{
    return Mark{static_cast<std::uint64_t>(st.st_ino), static_cast<std::int64_t>(st.st_size),
                static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}

// Paths may hold any byte but NUL; the store is line based.
std::string escapePath(const std::string& path)
{
    std::string out;
    for (char c : path) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string unescapePath(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char next = text[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

using MarkMap = std::map<std::string, Mark>;

std::string storePath() { return joinPath(SettingsFile::settingsDirectory(), "seen-files"); }

MarkMap parseStore(const std::string& content)
{
    MarkMap marks;
    std::istringstream in(content);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Mark m;
        if (!(fields >> m.inode >> m.size >> m.mtimeNs))
            continue;
        std::string rest;
        std::getline(fields, rest);
        if (rest.size() < 2 || rest[0] != ' ')
            continue;
        marks[unescapePath(std::string_view(rest).substr(1))] = m;
    }
    return marks;
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The folder monitor asks for the attributes of every file of its folder
// every few seconds: the parsed store is kept until the store file changes.
class MarkCache {
public:
    std::optional<Mark> find(const std::string& path)
    {
        std::lock_guard lock(mutex_);
        const std::string store = storePath();
        struct stat st;
        if (::stat(store.c_str(), &st) != 0) {
            marks_.clear();
            loadedFrom_.clear();
            return std::nullopt;
        }
        Mark version = markOf(st);
        if (store != loadedFrom_ || version != loadedVersion_) {
            marks_ = parseStore(readAll(store));
            loadedFrom_ = store;
            loadedVersion_ = version;
        }
        auto it = marks_.find(path);
        if (it == marks_.end())
            return std::nullopt;
        return it->second;
    }

    void forget()
    {
        std::lock_guard lock(mutex_);
        loadedFrom_.clear();
    }

private:
    std::mutex mutex_;
    MarkMap marks_;
    std::string loadedFrom_;
    Mark loadedVersion_;
};

MarkCache& markCache()
{
    static MarkCache cache;
    return cache;
}

// The path a mark is kept under: the same file reached by another spelling
// shares its mark.
std::string markKey(const std::string& path)
{
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved))
        return resolved;
    return std::filesystem::absolute(path).lexically_normal().string();
}

// Records (mark) or drops (no mark) the mark of one file, rewriting the
// store with only the marks that still describe their files.
bool updateStore(const std::string& key, const std::optional<Mark>& mark)
{
    const std::string folder = SettingsFile::settingsDirectory();
    if (!directoryExists(folder) && !makeDirectories(folder))
        return false;
    const std::string store = storePath();
    // Two Velm processes (desktop and command) may mark files at once.
    int lock = ::open((store + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lock >= 0)
        ::flock(lock, LOCK_EX);
    MarkMap marks = parseStore(readAll(store));
    if (mark)
        marks[key] = *mark;
    else
        marks.erase(key);
    std::string out;
    for (const auto& [path, m] : marks) {
        struct stat st;
        if (path != key && (::stat(path.c_str(), &st) != 0 || markOf(st) != m))
            continue;
        out += std::to_string(m.inode) + " " + std::to_string(m.size) + " "
            + std::to_string(m.mtimeNs) + " " + escapePath(path) + "\n";
    }
    bool ok = writeFileAtomically(store, out);
    if (lock >= 0)
        ::close(lock); // releases the lock
    markCache().forget();
    return ok;
}

// The mark travels with the file as an extended attribute where the file
// system has them: marking then costs one call however many files were
// marked before (a long job marks every stored page it writes). The store
// serves file systems without them.
constexpr const char* kMarkAttribute = "user.velm.seen";

std::string markText(const Mark& m)
{
    return std::to_string(m.inode) + " " + std::to_string(m.size) + " " + std::to_string(m.mtimeNs);
}

std::optional<Mark> attributeMark(const std::string& path, bool* supported)
{
    char buffer[96];
    const ssize_t n = ::getxattr(path.c_str(), kMarkAttribute, buffer, sizeof buffer - 1);
    *supported = n >= 0 || errno == ENODATA;
    if (n <= 0)
        return std::nullopt;
    buffer[n] = 0;
    Mark m;
    unsigned long long inode = 0;
    long long size = 0, mtime = 0;
    if (std::sscanf(buffer, "%llu %lld %lld", &inode, &size, &mtime) != 3)
        return std::nullopt;
    m.inode = inode;
    m.size = size;
    m.mtimeNs = mtime;
    return m;
}

bool markedInStore(const std::string& key) { return markCache().find(key).has_value(); }

// Records or drops a mark, on the file itself when it can hold one.
bool recordMark(const std::string& path, const std::optional<Mark>& mark)
{
    const std::string key = markKey(path);
    const bool stored = markedInStore(key);
    bool attributeDone;
    if (mark) {
        const std::string text = markText(*mark);
        attributeDone = ::setxattr(path.c_str(), kMarkAttribute, text.data(), text.size(), 0) == 0;
    } else {
        attributeDone = ::removexattr(path.c_str(), kMarkAttribute) == 0 || errno == ENODATA;
    }
    if (attributeDone)
        return stored ? updateStore(key, std::nullopt) : true;
    return updateStore(key, mark);
}

bool isHiddenName(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.size() > 1 && name[0] == '.' && name != "..";
}

} // namespace

bool fileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool inputExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode));
}

bool directoryExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool deleteFile(const std::string& path)
{
    struct stat st;
    // DeleteFile removes files, never folders.
    if (::lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    return ::unlink(path.c_str()) == 0;
}

std::string currentDirectory()
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::current_path(ec);
    return ec ? std::string() : p.string();
}

bool setCurrentDirectory(const std::string& path) { return !path.empty() && ::chdir(path.c_str()) == 0; }

int fileAttributes(const std::string& path)
{
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return faInvalid;
    int attributes = 0;
    if (S_ISDIR(st.st_mode))
        attributes |= faDirectory;
    if (!(st.st_mode & S_IWUSR))
        attributes |= faReadOnly;
    if (isHiddenName(path))
        attributes |= faHidden;
    if (S_ISREG(st.st_mode)) {
        bool supported = false;
        std::optional<Mark> mark = attributeMark(path, &supported);
        if (!mark && !supported)
            mark = markCache().find(markKey(path));
        if (!mark || *mark != markOf(st))
            attributes |= faArchive;
    }
    return attributes;
}

bool setFileAttributes(const std::string& path, int attributes)
{
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return false;
    mode_t mode = st.st_mode & 07777;
    mode_t wanted = (attributes & faReadOnly) ? (mode & ~S_IWUSR) : (mode | S_IWUSR);
    if (wanted != mode && ::chmod(path.c_str(), wanted) != 0)
        return false;
    if (!S_ISREG(st.st_mode))
        return true;
    // chmod changes the inode's change time only, so the mark taken from the
    // earlier stat still describes the file.
    if (attributes & faArchive)
        return recordMark(path, std::nullopt);
    return recordMark(path, markOf(st));
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    if (folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

bool makeDirectories(const std::string& path, std::string* problem)
{
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec) {
        setProblem(problem, ec.message());
        return false;
    }
    if (!directoryExists(path)) {
        setProblem(problem, "not a folder");
        return false;
    }
    return true;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, std::string* problem)
{
    std::string target = path;
    struct stat st;
    bool existed = false;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved))
            target = resolved;
    }
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            setProblem(problem, "not a regular file");
            return false;
        }
        existed = true;
    }
    const std::string folder = folderOf(target);
    static std::atomic<unsigned> counter{0};
    std::string slashName = target.substr(target.find_last_of('/') + 1);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = joinPath(folder, "." + slashName + ".tmp-" + std::to_string(::getpid()) + "-"
                                    + std::to_string(counter++));
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        setProblem(problem, errnoText(errno));
        return false;
    }
    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temp.c_str());
        setProblem(problem, errnoText(error));
        return false;
    };
    if (existed && ::fchmod(fd, st.st_mode & 07777) != 0)
        return fail(errno);
    if (!writeAll(fd, bytes))
        return fail(errno);
    if (::fsync(fd) != 0)
        return fail(errno);
    if (::close(fd) != 0) {
        int error = errno;
        ::unlink(temp.c_str());
        setProblem(problem, errnoText(error));
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        int error = errno;
        ::unlink(temp.c_str());
        setProblem(problem, errnoText(error));
        return false;
    }
    // The rename itself reaches the disk with the folder's entry.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

} // namespace velm
