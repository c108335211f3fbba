// The folders a job formats in: a private temporary one, named
// velm-<pid>-XXXXXX, locked while its job runs and marked as Velm's (the
// toolbar's jobs, the command's and the filter's), or the user's
// --keep-pages folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace velm {

// A private folder velm-<pid>-XXXXXX under base, locked while it lives and
// marked, so that a later start may remove it with all it holds should
// this process be killed outright. Removed with its contents when it goes.
// Throws FileError when it cannot be made.
class PrivateFolder {
public:
    explicit PrivateFolder(const std::filesystem::path& base);
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    int lock_ = -1; // flock held while the folder is in use
};

// Input whose size is not known yet: its job goes on disk.
inline constexpr std::uintmax_t kUnknownSize = std::numeric_limits<std::uintmax_t>::max();

// The folder is current for the job's lifetime; a private one is removed
// afterwards. Never the caller's own folder: a job deletes the stored pages
// it finds. Throws FileError when it cannot be made or entered.
class FormattingFolder {
public:
    FormattingFolder(const std::optional<std::string>& keep, std::uintmax_t inputBytes);
    ~FormattingFolder();
    FormattingFolder(const FormattingFolder&) = delete;
    FormattingFolder& operator=(const FormattingFolder&) = delete;
    const std::string& path() const { return private_ ? private_->path() : *keep_; }

private:
    std::string previous_;
    std::optional<std::string> keep_;
    std::optional<PrivateFolder> private_;
};

// Memory-backed space (the session's runtime folder, /dev/shm) that can
// take the stored pages of a job of inputBytes, else none.
std::optional<std::filesystem::path> MemoryBackedBase(std::uintmax_t inputBytes);

// Where a private job folder goes: TMPDIR when the user set it, else
// memory-backed space for a job whose pages fit, else /tmp.
std::filesystem::path TemporaryBase(std::uintmax_t inputBytes);

// Removes what velm processes that are gone left behind (a process killed
// outright cannot clean up): their private folders in the places a job
// may work in, and their half-written files in the given folders (the PDF
// folder, the settings folder). Nothing of a live process and nothing
// that is not ours is touched.
void RemoveLeftovers(const std::vector<std::string>& outputFolders);

} // namespace velm
