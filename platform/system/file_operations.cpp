#include "platform/system/file_operations.h"

#include "platform/system/files.h"
#include "platform/system/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>
#include <vector>

namespace velm {
namespace {

std::string nameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The same file under two names: one inode of one file system (hard links
// and symbolic links included).
bool sameFile(const std::string& a, const std::string& b)
{
    struct stat first {}, second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

void refuseSelf(const char* verb, const std::string& source, const std::string& target)
{
    if (sameFile(source, target))
        throw SameFileError(format("Cannot %s file %s onto itself", verb, source.c_str()));
}

// Closes a descriptor on every way out of the copy.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

ssize_t readSome(int fd, char* data, std::size_t size)
{
    // A full chunk unless the file ends, so a short read means the end.
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, data + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

} // namespace

std::string absoluteTarget(const std::string& target)
{
    return !target.empty() && target.front() == '/' ? target : joinPath(currentDirectory(), target);
}

std::string resolveTarget(const std::string& source, const std::string& target)
{
    std::string full = absoluteTarget(target);
    if (directoryExists(full))
        full = joinPath(full, nameOf(source));
    return full;
}

bool renameNoReplace(const std::string& source, const std::string& target)
{
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace flag: a hard link fails on an
    // existing target just as well, and the old name is dropped after it.
    if (::link(source.c_str(), target.c_str()) != 0)
        return false;
    ::unlink(source.c_str());
    return true;
}

bool hasAttributes(const std::string& name, int mask)
{
    return (fileAttributes(name) & mask) == mask;
}

void copyFile(const std::string& source, const std::string& target)
{
    const std::string resolved = resolveTarget(source, target);
    refuseSelf("copy", source, resolved);
    Descriptor in{::open(source.c_str(), O_RDONLY | O_CLOEXEC)};
    struct stat info {};
    if (in.fd < 0 || ::fstat(in.fd, &info) != 0 || S_ISDIR(info.st_mode))
        throw FileOpenError(format("Cannot open file %s", source.c_str()));
    // An existing target keeps its content until the whole copy is on disk.
    OutputFile out;
    if (!out.open(resolved))
        throw FileCreateError(format("Cannot create file %s", resolved.c_str()));
    constexpr std::size_t chunkSize = 8192;
    std::vector<char> buffer(chunkSize);
    for (;;) {
        const ssize_t got = readSome(in.fd, buffer.data(), chunkSize);
        if (got < 0)
            throw VelmError(format("Cannot read file %s", source.c_str()));
        if (!out.write(std::string_view(buffer.data(), static_cast<std::size_t>(got))))
            throw VelmError(format("Cannot write file %s", resolved.c_str()));
        if (static_cast<std::size_t>(got) < chunkSize)
            break;
    }
    if (!out.commit())
        throw VelmError(format("Cannot write file %s", resolved.c_str()));
}

void moveFile(const std::string& source, const std::string& target)
{
    const std::string full = absoluteTarget(target);
    refuseSelf("move", source, resolveTarget(source, full));
    if (renameNoReplace(source, full))
        return;
    if (hasAttributes(source, faReadOnly))
        throw FileMoveError(format("Cannot move file %s", source.c_str()));
    copyFile(source, full); // on disk before the source goes
    deleteFile(source);
}

} // namespace velm
