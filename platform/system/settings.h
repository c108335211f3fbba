// The settings file: profile-file semantics (section and key names match
// without regard to case, everything else in the file is kept as it is,
// values are read through a 1024-byte buffer, every write reaches the disk
// at once). Writes are atomic: a temporary file is renamed over the old one.
#pragma once

#include <string>
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

    // Throw FileError "Unable to write to <file>" when the file cannot be written.
    void writeString(const std::string& section, const std::string& key, const std::string& value);
    void writeInteger(const std::string& section, const std::string& key, int value);
    void writeBool(const std::string& section, const std::string& key, bool value);
    // Several keys of one section in one write, as if written one by one.
    void writeStrings(const std::string& section,
                      const std::vector<std::pair<std::string, std::string>>& entries);

    // $VELM_CONFIG_DIR, else $XDG_CONFIG_HOME/velm, else ~/.config/velm.
    static std::string settingsDirectory();

private:
    std::string path_;
};

} // namespace velm
