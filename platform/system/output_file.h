// The one way Velm writes a whole file: a PDF, a saved page of the browser,
// a copied file, the settings. What the name stands for decides how:
// - a regular file, or a name not taken yet: a temporary file beside it is
//   written, synced and renamed into place, so that a failure or a crash
//   leaves the old content whole (and the temporary file, locked while it
//   is written, for removeStaleTemporaries). A symbolic link is
//   followed (also when it dangles): the file it points to is written and
//   the link stays. A replaced file keeps its permissions and owner.
// - anything else (a character or block device, a FIFO, a socket) and "-",
//   standard output: written straight into, never replaced. Opening a FIFO
//   waits for its reader.
// A failed write, a full disk included, is reported as a failure: a false
// return with the reason, never an exception.
#pragma once

#include <string>
#include <string_view>

#include <sys/stat.h>

namespace velm {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile(); // discards what was not committed
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // False with the reason in *problem (when given); nothing is created then.
    bool open(const std::string& path, std::string* problem = nullptr);
    bool isOpen() const { return fd_ >= 0; }
    // Where the bytes go until commit(); -1 when not open.
    int fd() const { return fd_; }
    bool write(std::string_view bytes, std::string* problem = nullptr);
    // Puts the file in place: synced and renamed over the target, or, for a
    // stream, closed. False with the reason; a replaced file then keeps its
    // old content.
    bool commit(std::string* problem = nullptr);
    // Drops what was written: the temporary file goes and the target keeps
    // its old content. What a stream received stays received.
    void discard() noexcept;
    // True while a temporary file stands in for the target.
    bool replacesFile() const { return !temporary_.empty(); }

private:
    bool openReplacing(const std::string& path, std::string* problem);
    bool openStream(const std::string& path, const struct stat& st, std::string* problem);

    int fd_ = -1;
    std::string temporary_; // empty when writing straight into the target
    std::string target_;    // what the temporary file becomes
};

// Writes bytes as one whole file by the rules above; false with the reason.
bool writeWholeFile(const std::string& path, std::string_view bytes, std::string* problem = nullptr);

// Removes the temporary files in folder that writers killed outright left
// (".NAME.velm-PID-N" of this user, whose process is gone and whose lock
// nobody holds). Problems are skipped.
void removeStaleTemporaries(const std::string& folder);

} // namespace velm
