#include "cli/SpooledInput.h"

#include "platform/core/errors.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <unistd.h>

namespace velm {

namespace {

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool CopyStandardInput(int fd)
{
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (got == 0)
            return true;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || !WriteAll(fd, buffer.data(), static_cast<std::size_t>(got)))
            return false;
    }
}

} // namespace

SpooledInput::SpooledInput(const std::string& folder)
{
    std::string pattern = folder + "/velm-stdin-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        throw FileError("cannot make a temporary file in " + folder);
    path_ = pattern;
    const bool copied = CopyStandardInput(fd);
    if (::close(fd) != 0 || !copied) {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
        throw FileError("cannot keep standard input in " + folder);
    }
}

SpooledInput::~SpooledInput()
{
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

} // namespace velm
