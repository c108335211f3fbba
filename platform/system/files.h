// File services the engine and shell need, with Windows attribute semantics
// mapped onto Linux (read-only = owner may not write, hidden = leading dot,
// archive = written since last marked seen).
// Nothing here throws: failures are return values.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace velm {

enum FileAttribute : int {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faDirectory = 0x10,
    faArchive = 0x20,
};
constexpr int faInvalid = -1; // attribute query failed: callers treat it as "all bits set"

bool fileExists(const std::string& path);      // a regular file (not a folder)
bool inputExists(const std::string& path);     // anything readable as a file: a regular file or a pipe
bool directoryExists(const std::string& path);
bool deleteFile(const std::string& path);      // false when it could not be removed

std::string currentDirectory();
bool setCurrentDirectory(const std::string& path);

// Attribute word of a file or folder; faInvalid when it cannot be queried.
// faArchive (regular files only) is set when the file was never marked seen
// or was written since: its inode, size or modification time differ from
// the mark. The marks live in SettingsFile::settingsDirectory()/seen-files,
// one line per file; a file that is gone loses its mark at the next rewrite.
int fileAttributes(const std::string& path);
// Sets read-only from the word (faReadOnly clears the owner's write
// permission, its absence grants it); clearing faArchive marks the file as
// seen (its modification time, size and inode are remembered), setting it
// drops the mark. Hidden cannot be set or cleared without renaming and is
// ignored. False when the file is missing or a change could not be made.
bool setFileAttributes(const std::string& path, int attributes);

// What a file was like when looked at: a writer changes at least one of these.
struct FileStamp {
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// Whether some process holds a regular file open for writing. Asked by
// taking a read lease for a moment, which the kernel refuses while any
// writer has the file open: one open and two fcntl calls, however many
// processes run. Unknown where no lease can be had: a file we may not read,
// a file of another owner (without CAP_LEASE), a file system without leases.
enum class WriterState { NoWriter, Writing, Unknown };
WriterState writerState(const std::string& path);

// Decides, look by look (the folder monitor's ticks), whether files are done
// being written. A file is done when no process has it open for writing;
// where that cannot be asked, when its stamp is the same as at the previous
// look. A file that is gone is not done.
class WriteWatch {
public:
    // askWriters false: the stamp rule alone, as for files without leases.
    explicit WriteWatch(bool askWriters = true) : askWriters_(askWriters) {}
    bool done(const std::string& path);
    // Ends a look: stamps of files not asked about during it are dropped.
    void endLook();

private:
    bool askWriters_;
    std::map<std::string, FileStamp> previous_, current_;
};

// Joins a folder and a name with "/", leaving an empty folder out.
std::string joinPath(const std::string& folder, const std::string& name);

// Creates a folder and its missing parents; false with the reason in
// *problem (when given) if that fails.
bool makeDirectories(const std::string& path, std::string* problem = nullptr);

} // namespace velm
