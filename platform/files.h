// File services the engine and shell need, with Windows attribute semantics
// mapped onto Linux (read-only = owner may not write, hidden = leading dot,
// archive = written since last marked seen).
#pragma once

#include <string>
#include <string_view>

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

// Joins a folder and a name with "/", leaving an empty folder out.
std::string joinPath(const std::string& folder, const std::string& name);

// Creates a folder and its missing parents; false with the reason in
// *problem (when given) if that fails.
bool makeDirectories(const std::string& path, std::string* problem = nullptr);
// Replaces the file with bytes so that a crash leaves the old or the new
// content, never a mix: a temporary file in the same folder is written,
// flushed to disk and renamed over it. A symbolic link is followed (its
// target is replaced); an existing file keeps its permissions. False with
// the reason in *problem (when given); no temporary file is left behind.
bool writeFileAtomically(const std::string& path, std::string_view bytes,
                         std::string* problem = nullptr);

} // namespace velm
