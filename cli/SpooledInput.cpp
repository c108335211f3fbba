#include "cli/SpooledInput.h"

#include "engine/JobFolder.h"
#include "platform/core/errors.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace velm {

namespace {

constexpr std::size_t kChunk = 1 << 16;

// Bytes read into buffer, 0 at the end of the input; -1 with errno set.
ssize_t ReadSome(char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, size);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            if (put == 0)
                errno = ENOSPC;
            return false;
        }
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

// The rest of standard input into fd; false with errno set.
bool CopyRest(int fd)
{
    std::vector<char> buffer(kChunk);
    for (;;) {
        const ssize_t got = ReadSome(buffer.data(), buffer.size());
        if (got == 0)
            return true;
        if (got < 0 || !WriteAll(fd, buffer.data(), static_cast<std::size_t>(got)))
            return false;
    }
}

} // namespace

SpooledInput::SpooledInput()
{
    while (held_.size() < kHeld) {
        const std::size_t start = held_.size();
        held_.resize(std::min(start + kChunk, kHeld));
        const ssize_t got = ReadSome(held_.data() + start, held_.size() - start);
        if (got < 0)
            throw FileError(std::string("cannot read it: ") + std::strerror(errno));
        held_.resize(start + static_cast<std::size_t>(got));
        if (got == 0) {
            whole_ = true;
            break;
        }
    }
}

SpooledInput::~SpooledInput()
{
    if (!path_.empty())
        ::unlink(path_.c_str());
}

std::uintmax_t SpooledInput::size() const { return whole_ ? held_.size() : kUnknownSize; }

void SpooledInput::keepIn(const std::string& folder)
{
    path_ = folder + "/standard-input";
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        path_.clear();
        throw FileError("cannot keep standard input in " + folder + ": " + std::strerror(error));
    }
    bool kept = WriteAll(fd, held_.data(), held_.size()) && (whole_ || CopyRest(fd));
    int error = kept ? 0 : errno;
    if (::close(fd) != 0 && kept) {
        kept = false;
        error = errno;
    }
    std::string().swap(held_);
    if (!kept)
        throw FileError("cannot keep standard input in " + folder + ": " + std::strerror(error));
}

} // namespace velm
