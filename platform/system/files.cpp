#include "platform/system/files.h"

#include "platform/system/output_file.h"
#include "platform/system/settings.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace velm {
namespace {

void setProblem(std::string* problem, const std::string& text)
{
    if (problem)
        *problem = text;
}

// ---- the archive-attribute emulation -------------------------------------

using Mark = FileStamp;

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
    bool ok = writeWholeFile(store, out);
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

WriterState writerState(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return WriterState::Unknown;
    // A writer opening the file while the lease is held breaks it with a
    // signal; SIGIO, the default, would end Velm, SIGURG is ignored.
    ::fcntl(fd, F_SETSIG, SIGURG);
    const bool leased = ::fcntl(fd, F_SETLEASE, F_RDLCK) == 0;
    const int error = errno;
    if (leased)
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
    ::close(fd);
    if (leased)
        return WriterState::NoWriter;
    return error == EAGAIN ? WriterState::Writing : WriterState::Unknown;
}

bool WriteWatch::done(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const WriterState state = askWriters_ ? writerState(path) : WriterState::Unknown;
    if (state != WriterState::Unknown)
        return state == WriterState::NoWriter;
    const FileStamp now = markOf(st);
    current_[path] = now;
    const auto before = previous_.find(path);
    return before != previous_.end() && before->second == now;
}

void WriteWatch::endLook()
{
    previous_ = std::move(current_);
    current_.clear();
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

} // namespace velm
