#include "platform/system/settings.h"

#include "platform/core/codepage.h"
#include "platform/core/convert.h"
#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/system/output_file.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
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

bool sameName(std::string_view a, std::string_view b)
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
        if (!sectionName(lines[i].text, &name) || !sameName(name, section))
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

bool readWholeFile(const std::string& path, std::string* content)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    *content = s.str();
    return true;
}

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

std::string SettingsFile::settingsDirectory()
{
    if (const char* dir = std::getenv("VELM_CONFIG_DIR"); dir && *dir)
        return dir;
    // The XDG rules ignore a relative $XDG_CONFIG_HOME.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return joinPath(xdg, "velm");
    return homeDirectory() + "/.config/velm";
}

std::string SettingsFile::readString(const std::string& section, const std::string& key,
                                     const std::string& fallback) const
{
    std::string content;
    if (!readWholeFile(path_, &content))
        return fallback;
    std::vector<Line> lines = splitLines(content);
    std::size_t begin, end;
    if (!findSection(lines, trim(section), &begin, &end))
        return fallback;
    for (std::size_t i = begin + 1; i < end; ++i) {
        std::string_view k, v;
        if (!keyLine(lines[i].text, &k, &v) || !sameName(k, trim(key)))
            continue;
        // The Windows service also drops one pair of enclosing quotes.
        if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
            v = v.substr(1, v.size() - 2);
        return std::string(v.substr(0, utf8SafeCut(v, kValueBuffer - 1)));
    }
    return fallback;
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
            if (!keyLine(lines[i].text, &k, &v) || !sameName(k, keyName))
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
    std::string content;
    const bool exists = readWholeFile(path_, &content);
    if (!exists && fileExists(path_))
        throw FileError(format("Unable to write to %s", path_.c_str()));
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
        throw FileError(format("Unable to write to %s", path_.c_str()));
    if (!writeWholeFile(path_, out, &problem))
        throw FileError(format("Unable to write to %s", path_.c_str()));
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
