// The settings file: profile-file semantics (section and key names match
// without regard to case, everything else in the file is kept as it is,
// values are read through a 1024-byte buffer, every write reaches the disk
// at once). Writes are atomic: a temporary file is renamed over the old one,
// and two processes that write at once both keep their keys. Only a regular
// file is read: anything else in its place reads as no file.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velm {

class SettingsFile {
public:
    // A bare name lives in settingsDirectory(); a name with a "/" is used as is.
    explicit SettingsFile(const std::string& fileName = "Pellido.Ini");

    const std::string& path() const { return path_; }

    std::string readString(const std::string& section, const std::string& key,
                           const std::string& fallback) const;
    // "0x"/"0X" with more than two characters reads as hexadecimal, otherwise
    // decimal; text that is not a number gives the fallback.
    int readInteger(const std::string& section, const std::string& key, int fallback) const;
    bool readBool(const std::string& section, const std::string& key, bool fallback) const;
    // Every key of the section in file order, each value as readString
    // gives it (one read of the file, so the values belong together).
    std::vector<std::pair<std::string, std::string>> readSection(const std::string& section) const;

    // Throw FileError "Unable to write to <file>: <reason>" when the file
    // cannot be written: it cannot be read first, it is read-only (no write
    // permission for its owner), a directory, a link to where no file can
    // be made, in a folder that cannot take it, or locked for 10 seconds.
    void writeString(const std::string& section, const std::string& key, const std::string& value);
    void writeInteger(const std::string& section, const std::string& key, int value);
    void writeBool(const std::string& section, const std::string& key, bool value);
    // Several keys of one section in one write, as if written one by one.
    void writeStrings(const std::string& section,
                      const std::vector<std::pair<std::string, std::string>>& entries);

    // What makes the file unsound for reading, in words ("it is a
    // directory", "lines 3, 7 are not settings"); empty when it is sound or
    // missing.
    std::string damage() const;

    // $VELM_CONFIG_DIR, else $XDG_CONFIG_HOME/velm, else ~/.config/velm.
    static std::string settingsDirectory();
    // Whether two section or key names are the same (ASCII letters match
    // without regard to case, as the Windows service matches them).
    static bool sameName(std::string_view a, std::string_view b);

private:
    std::string path_;
};

} // namespace velm
