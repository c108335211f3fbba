#include "platform/system/display.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

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

} // namespace velm
