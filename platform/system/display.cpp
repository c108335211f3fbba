#include "platform/system/display.h"

#include <QGuiApplication>
#include <QScreen>

#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace velm {

DisplayMetrics displayMetrics()
{
    DisplayMetrics metrics; // the virtual 1024 x 768 display at 96 dpi
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return metrics;
    // The offscreen and minimal platforms invent a screen; layouts must not
    // depend on what they invent.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return metrics;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return metrics;
    const QRect geometry = screen->geometry();
    if (geometry.width() <= 0 || geometry.height() <= 0)
        return metrics;
    metrics.widthPx = geometry.width();
    metrics.heightPx = geometry.height();
    const int dpiX = static_cast<int>(std::lround(screen->logicalDotsPerInchX()));
    const int dpiY = static_cast<int>(std::lround(screen->logicalDotsPerInchY()));
    if (dpiX > 0 && dpiY > 0) {
        metrics.logPixelsX = dpiX;
        metrics.logPixelsY = dpiY;
    }
    return metrics;
}

namespace {

const char* named(const char* variable)
{
    const char* value = std::getenv(variable);
    return value && *value ? value : nullptr;
}

// Whether a server listens on the Unix socket at path (in Linux's abstract
// namespace when abstract): a connection is opened and closed, nothing said.
bool unixSocketAnswers(const std::string& path, bool abstract)
{
    sockaddr_un address{};
    const std::size_t offset = abstract ? 1 : 0;
    if (path.empty() || path.size() + offset >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool reached = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    ::close(fd);
    return reached;
}

bool tcpAnswers(const std::string& host, int port)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    bool reached = false;
    for (const addrinfo* a = found; a && !reached; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        reached = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0;
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return reached;
}

// DISPLAY as X names a server: [protocol/][host]:number[.screen]; no host
// (or "unix") is the local socket, a host its TCP port 6000 + number. Only
// the socket is tried: a connection of X's own costs as much as Qt's.
bool xReachable()
{
    const char* display = named("DISPLAY");
    if (!display)
        return false;
    const std::string name = display;
    const std::size_t colon = name.rfind(':');
    if (colon == std::string::npos || colon + 1 >= name.size() || !std::isdigit(static_cast<unsigned char>(name[colon + 1])))
        return false;
    const int number = std::atoi(name.c_str() + colon + 1);
    std::string host = name.substr(0, colon);
    if (const std::size_t slash = host.find('/'); slash != std::string::npos)
        host.erase(0, slash + 1);
    if (host.empty() || host == "unix") {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        return unixSocketAnswers(socket, true) || unixSocketAnswers(socket, false);
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return tcpAnswers(host, 6000 + number);
}

bool waylandReachable()
{
    const char* name = named("WAYLAND_DISPLAY");
    if (!name)
        return false;
    if (name[0] == '/')
        return unixSocketAnswers(name, false);
    const char* runtime = named("XDG_RUNTIME_DIR");
    return runtime && unixSocketAnswers(std::string(runtime) + "/" + name, false);
}

} // namespace

ReachableDisplays reachableDisplays() { return {xReachable(), waylandReachable()}; }

} // namespace velm
