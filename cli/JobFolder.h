// The folder a headless job formats in: a private temporary one, named
// velm-<pid>-XXXXXX and locked while its job runs, or the user's
// --keep-pages folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace velm {

// The folder is current for the job's lifetime; a private one is removed
// afterwards. Never the caller's own folder: a job deletes the stored pages
// it finds. Throws FileError when it cannot be made or entered.
class FormattingFolder {
public:
    FormattingFolder(const std::optional<std::string>& keep, std::uintmax_t inputBytes);
    ~FormattingFolder();
    FormattingFolder(const FormattingFolder&) = delete;
    FormattingFolder& operator=(const FormattingFolder&) = delete;

private:
    void Release() noexcept;

    std::string previous_;
    std::string path_;
    bool temporary_ = false;
    int lock_ = -1; // flock held while a private folder is in use
};

// Where a private job folder (or spooled input) goes: TMPDIR when the user
// set it, else memory-backed space for a job whose pages fit, else /tmp.
std::filesystem::path TemporaryBase(std::uintmax_t inputBytes);

// Removes the private folders that velm processes which are gone left in
// the places a job may format in (a process killed outright cannot clean
// up). Only our own empty-but-for-stored-pages folders are touched.
void RemoveStaleJobFolders();

} // namespace velm
