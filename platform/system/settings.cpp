#include "platform/system/settings.h"

#include "platform/core/codepage.h"
#include "platform/core/convert.h"
#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/system/output_file.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace velm {
namespace {

// GetPrivateProfileString reads into the caller's buffer; Pellido's is 1024
// bytes, so 1023 characters and the terminating zero.
constexpr std::size_t kValueBuffer = 1024;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

struct Line {
    std::string text; // without its line ending
    std::string eol;  // "\n", "\r\n" or "" (last line without one)
};

std::vector<Line> splitLines(const std::string& content)
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t nl = content.find('\n', pos);
        Line line;
        if (nl == std::string::npos) {
            line.text = content.substr(pos);
            pos = content.size();
        } else {
            line.text = content.substr(pos, nl - pos);
            line.eol = "\n";
            pos = nl + 1;
        }
        if (!line.text.empty() && line.text.back() == '\r') {
            line.text.pop_back();
            line.eol = "\r" + line.eol;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// The name of a section header line, or false when the line is none.
bool sectionName(std::string_view line, std::string_view* name)
{
    line = trim(line);
    if (line.empty() || line.front() != '[')
        return false;
    std::size_t close = line.find(']');
    if (close == std::string_view::npos)
        return false;
    *name = trim(line.substr(1, close - 1));
    return true;
}

// Key and value of a "key=value" line; comments and other lines are none.
bool keyLine(std::string_view line, std::string_view* key, std::string_view* value)
{
    std::string_view t = trim(line);
    if (t.empty() || t.front() == ';')
        return false;
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    *key = trim(line.substr(0, eq));
    *value = trim(line.substr(eq + 1));
    return true;
}

// Lines [begin, end) of the first section of that name; begin is the header.
bool findSection(const std::vector<Line>& lines, std::string_view section, std::size_t* begin,
                 std::size_t* end)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view name;
        if (!sectionName(lines[i].text, &name) || !SettingsFile::sameName(name, section))
            continue;
        std::size_t j = i + 1;
        std::string_view other;
        while (j < lines.size() && !sectionName(lines[j].text, &other))
            ++j;
        *begin = i;
        *end = j;
        return true;
    }
    return false;
}

// The file's content; false with errno's reason when it cannot be read.
// Only a regular file is read: a FIFO or a device in its place would keep
// the reader waiting, or never end.
bool readWholeFile(const std::string& path, std::string* content, int* error = nullptr)
{
    const auto fail = [&](int reason) {
        if (error)
            *error = reason;
        return false;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int reason = S_ISDIR(st.st_mode) ? EISDIR : ENOTSUP;
        ::close(fd);
        return fail(reason);
    }
    content->clear();
    char buffer[1 << 14];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            const int reason = got < 0 ? errno : 0;
            ::close(fd);
            return got == 0 || fail(reason);
        }
        content->append(buffer, static_cast<std::size_t>(got));
    }
}

// Why a file cannot be read, in words.
std::string readProblem(int error)
{
    if (error == EISDIR)
        return "it is a directory";
    if (error == ENOTSUP)
        return "it is not a regular file";
    return std::string("cannot read it (") + std::strerror(error) + ")";
}

std::string unableToWrite(const std::string& path, const std::string& reason)
{
    return format("Unable to write to %s", path.c_str()) + ": " + reason;
}

// Held across a read-modify-write of the settings file, so that two
// processes saving at once both keep their keys: an flock on a file
// beside it. A holder that never lets go (a stopped process) costs this
// write, not a hang.
class WriteLock {
public:
    explicit WriteLock(const std::string& path)
        : fd_(::open((folderOf(path) + "/." + nameOf(path) + ".lock").c_str(),
                     O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600))
    {
        using namespace std::chrono;
        const auto giveUp = steady_clock::now() + seconds(10);
        while (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK || steady_clock::now() > giveUp)
                throw FileError(unableToWrite(path, "another program keeps it locked"));
            std::this_thread::sleep_for(milliseconds(5));
        }
    }
    ~WriteLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

private:
    static std::string folderOf(const std::string& path)
    {
        const std::size_t slash = path.find_last_of('/');
        return slash == std::string::npos ? "." : slash == 0 ? "" : path.substr(0, slash);
    }
    static std::string nameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

    int fd_; // no lock file (a read-only folder): the write itself then fails
};

std::string homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/tmp";
}

} // namespace

SettingsFile::SettingsFile(const std::string& fileName)
    : path_(fileName.find('/') == std::string::npos ? joinPath(settingsDirectory(), fileName)
                                                    : fileName)
{
}

bool SettingsFile::sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto x = static_cast<unsigned char>(a[i]);
        auto y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z')
            x = static_cast<unsigned char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<unsigned char>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

std::string SettingsFile::settingsDirectory()
{
    if (const char* dir = std::getenv("VELM_CONFIG_DIR"); dir && *dir)
        return dir;
    // The XDG rules ignore a relative $XDG_CONFIG_HOME.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return joinPath(xdg, "velm");
    return homeDirectory() + "/.config/velm";
}

namespace {

// A value as the Windows service gives it: one pair of enclosing quotes
// dropped, cut to what its buffer holds.
std::string storedValue(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v.substr(0, utf8SafeCut(v, kValueBuffer - 1)));
}

} // namespace

std::string SettingsFile::readString(const std::string& section, const std::string& key,
                                     const std::string& fallback) const
{
    for (const auto& [k, v] : readSection(section))
        if (SettingsFile::sameName(k, trim(key)))
            return v;
    return fallback;
}

std::vector<std::pair<std::string, std::string>> SettingsFile::readSection(const std::string& section) const
{
    std::vector<std::pair<std::string, std::string>> entries;
    std::string content;
    if (!readWholeFile(path_, &content))
        return entries;
    std::vector<Line> lines = splitLines(content);
    std::size_t begin, end;
    if (!findSection(lines, trim(section), &begin, &end))
        return entries;
    for (std::size_t i = begin + 1; i < end; ++i) {
        std::string_view k, v;
        if (keyLine(lines[i].text, &k, &v))
            entries.emplace_back(std::string(k), storedValue(v));
    }
    return entries;
}

int SettingsFile::readInteger(const std::string& section, const std::string& key, int fallback) const
{
    std::string text = readString(section, key, "");
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text = "$" + text.substr(2);
    return strToIntDef(text, fallback);
}

bool SettingsFile::readBool(const std::string& section, const std::string& key, bool fallback) const
{
    return readInteger(section, key, fallback ? 1 : 0) != 0;
}

namespace {

// Ends a line the file left open (no line break, or a lone CR, which the
// reader takes for no break) before another line follows it.
void closeLine(Line& line, const std::string& eol)
{
    if (line.eol.empty())
        line.eol = eol;
    else if (line.eol == "\r")
        line.eol = "\r\n";
}

// Sets key=value in the section of the file's lines, as a profile write does.
void setEntry(std::vector<Line>& lines, const std::string& section, const std::string& key,
              const std::string& value, const std::string& eol)
{
    // A line break in a value would end the line and start a key of its own.
    const std::string stored = value.substr(0, value.find_first_of("\r\n"));
    const std::string_view sectionName_ = trim(section);
    const std::string_view keyName = trim(key);

    std::size_t begin, end;
    if (findSection(lines, sectionName_, &begin, &end)) {
        bool replaced = false;
        std::size_t lastEntry = begin;
        for (std::size_t i = begin + 1; i < end; ++i) {
            if (!trim(lines[i].text).empty())
                lastEntry = i;
            std::string_view k, v;
            if (!keyLine(lines[i].text, &k, &v) || !SettingsFile::sameName(k, keyName))
                continue;
            lines[i].text = std::string(k) + "=" + stored; // the key keeps its spelling
            replaced = true;
            break;
        }
        if (!replaced) {
            closeLine(lines[lastEntry], eol);
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastEntry + 1),
                         Line{std::string(keyName) + "=" + stored, eol});
        }
    } else {
        if (!lines.empty())
            closeLine(lines.back(), eol);
        lines.push_back(Line{"[" + std::string(sectionName_) + "]", eol});
        lines.push_back(Line{std::string(keyName) + "=" + stored, eol});
    }
}

} // namespace

void SettingsFile::writeString(const std::string& section, const std::string& key,
                               const std::string& value)
{
    writeStrings(section, {{key, value}});
}

void SettingsFile::writeStrings(const std::string& section,
                                const std::vector<std::pair<std::string, std::string>>& entries)
{
    const WriteLock lock(path_);
    std::string content;
    int error = 0;
    if (!readWholeFile(path_, &content, &error) && error != ENOENT && error != ENOTDIR)
        throw FileError(unableToWrite(path_, readProblem(error)));
    // Read-only as the owner's write permission says, for root as well.
    struct stat st;
    if (::stat(path_.c_str(), &st) == 0 && (st.st_mode & 0222) == 0)
        throw FileError(unableToWrite(path_, "it is read-only"));
    std::vector<Line> lines = splitLines(content);
    const std::string eol = !lines.empty() && lines.front().eol == "\r\n" ? "\r\n" : "\n";
    for (const auto& [key, value] : entries)
        setEntry(lines, section, key, value, eol);

    std::string out;
    out.reserve(content.size() + 256);
    for (const Line& line : lines)
        out += line.text + line.eol;

    std::string folder = path_.substr(0, path_.find_last_of('/'));
    std::string problem;
    if (!folder.empty() && !directoryExists(folder) && !makeDirectories(folder, &problem))
        throw FileError(unableToWrite(path_, problem));
    if (!writeWholeFile(path_, out, &problem)) {
        char target[4096];
        const ssize_t n = ::readlink(path_.c_str(), target, sizeof target - 1);
        if (n > 0)
            problem = "it is a link to " + std::string(target, static_cast<std::size_t>(n)) + " (" + problem + ")";
        throw FileError(unableToWrite(path_, problem));
    }
}

std::string SettingsFile::damage() const
{
    std::string content;
    int error = 0;
    if (!readWholeFile(path_, &content, &error))
        return error == ENOENT || error == ENOTDIR ? std::string() : readProblem(error);
    std::vector<std::size_t> bad;
    const std::vector<Line> lines = splitLines(content);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = trim(lines[i].text);
        std::string_view name, key, value;
        if (!line.empty() && line.front() != ';' && !sectionName(line, &name)
            && (!keyLine(line, &key, &value) || line.find('\0') != std::string_view::npos))
            bad.push_back(i + 1);
    }
    if (bad.empty())
        return {};
    std::string numbers;
    for (std::size_t i = 0; i < bad.size() && i < 5; ++i)
        numbers += (i ? ", " : "") + std::to_string(bad[i]);
    if (bad.size() > 5)
        numbers += ", ...";
    return (bad.size() == 1 ? "line " + numbers + " is not a setting" : "lines " + numbers + " are not settings");
}

void SettingsFile::writeInteger(const std::string& section, const std::string& key, int value)
{
    writeString(section, key, std::to_string(value));
}

void SettingsFile::writeBool(const std::string& section, const std::string& key, bool value)
{
    writeString(section, key, value ? "1" : "0");
}

} // namespace velm
