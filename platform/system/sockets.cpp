#include "platform/system/sockets.h"

#include <cerrno>
#include <cstddef>
#include <cstring>

#include <netdb.h>
#include <poll.h>
#include <sys/un.h>
#include <unistd.h>

namespace velm {

int connectWithin(int family, const sockaddr* address, socklen_t length, int timeoutMs)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    int result = 0;
    if (::connect(fd, address, length) != 0) {
        if (errno != EINPROGRESS) {
            result = errno;
        } else {
            pollfd p{fd, POLLOUT, 0};
            int n;
            do
                n = ::poll(&p, 1, timeoutMs);
            while (n < 0 && errno == EINTR);
            if (n == 0) {
                result = ETIMEDOUT;
            } else if (n < 0) {
                result = errno;
            } else {
                int error = 0;
                socklen_t size = sizeof error;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
                result = error;
            }
        }
    }
    ::close(fd);
    return result;
}

int connectUnixWithin(const std::string& path, bool abstract, int timeoutMs)
{
    sockaddr_un address{};
    const std::size_t offset = abstract ? 1 : 0; // the abstract name follows a NUL
    if (path.empty() || path.size() + offset >= sizeof address.sun_path)
        return ENAMETOOLONG;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const auto length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
    return connectWithin(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), length, timeoutMs);
}

int connectHostWithin(const std::string& host, int port, int timeoutMs, std::string* lookup)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int gai = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found); gai != 0) {
        if (lookup)
            *lookup = gai_strerror(gai);
        return EHOSTUNREACH;
    }
    int error = ECONNREFUSED;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        error = connectWithin(a->ai_family, a->ai_addr, a->ai_addrlen, timeoutMs);
        if (error == 0)
            break;
    }
    ::freeaddrinfo(found);
    return error;
}

} // namespace velm
