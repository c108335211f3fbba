#include "platform/system/display.h"
#include "platform/system/sockets.h"

#include <QGuiApplication>
#include <QScreen>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

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

// A display that does not answer within this is taken as gone.
constexpr int kDisplayTimeoutMs = 2000;

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
        return connectUnixWithin(socket, true, kDisplayTimeoutMs) == 0 ||
               connectUnixWithin(socket, false, kDisplayTimeoutMs) == 0;
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    return connectHostWithin(host, 6000 + number, kDisplayTimeoutMs) == 0;
}

bool waylandReachable()
{
    const char* name = named("WAYLAND_DISPLAY");
    if (!name)
        return false;
    if (name[0] == '/')
        return connectUnixWithin(name, false, kDisplayTimeoutMs) == 0;
    const char* runtime = named("XDG_RUNTIME_DIR");
    return runtime && connectUnixWithin(std::string(runtime) + "/" + name, false, kDisplayTimeoutMs) == 0;
}

} // namespace

ReachableDisplays reachableDisplays() { return {xReachable(), waylandReachable()}; }

} // namespace velm
