// A Wayland compositor for the window tests: weston drawing into a window
// of an X server of its own (its x11 backend), so that xdotool's pointer
// and keys reach it as a real seat's input and its screen can be read back.
// It is up, and the Qt applications of the test program and its children
// are pointed at it, before the QApplication connects. When a piece is
// missing, problem() says which; the tests skip on it.
#pragma once

#include "support/xvfb.h"

#include <QImage>
#include <QLibraryInfo>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace velm::testing {

class WaylandSession {
public:
    WaylandSession()
    {
        std::string missing;
        for (const char* tool : {"Xvfb", "weston", "xdotool", "import"})
            if (run(std::string("command -v ") + tool + " >/dev/null") != 0)
                missing += std::string(missing.empty() ? "" : ", ") + tool;
        const std::string plugins = QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString();
        if (!std::filesystem::exists(plugins + "/platforms/libqwayland-generic.so"))
            missing += std::string(missing.empty() ? "" : ", ") + "Qt's Wayland platform (qt6-wayland)";
        if (!missing.empty())
            problem_ = "no Wayland compositor to test under: not installed: " + missing;
        else if (std::string failed = StartXvfb(server_); !failed.empty())
            problem_ = "no Wayland compositor to test under: " + failed;
        if (!problem_.empty())
            return;
        // The compositor's socket and the toolbar's live in a runtime folder of the test's own.
        setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
        runtime_.write("weston.ini", "[core]\nidle-time=0\n[shell]\npanel-position=none\nlocking=false\n"
                                     "background-color=0xff404040\nanimation=none\nstartup-animation=none\n");
        compositor_ = Spawn({"weston", "--backend=x11-backend.so", "--use-pixman", "--width=1024", "--height=768",
                             "--socket=velm-test", "--config=" + runtime_.file("weston.ini"),
                             "--log=" + runtime_.file("weston.log")});
        // Up once it listens and its output window is on the X screen.
        if (compositor_ < 0
            || run("timeout 30 sh -c 'until [ -S " + Quote(runtime_.file("velm-test")) + " ] && "
                   "xdotool search --class \"^Weston Compositor$\" >/dev/null 2>&1; do sleep 0.1; done'") != 0) {
            problem_ = "no Wayland compositor to test under: weston did not start: " + readFile(runtime_.file("weston.log"));
            return;
        }
        // A window mapped under the pointer may never hear of it: the pointer
        // leaves the compositor's window and comes back.
        run("xdotool mousemove 1200 1000 mousemove 512 384");
        setenv("WAYLAND_DISPLAY", "velm-test", 1);
        setenv("QT_QPA_PLATFORM", "wayland", 1);
    }
    ~WaylandSession()
    {
        Stop(compositor_);
        Stop(server_);
    }
    const std::string& problem() const { return problem_; }

    // What the compositor shows now: its window is the X screen's only
    // one, at 0,0, so its pixels are the screen's.
    QImage Screen() const
    {
        const std::string shot = runtime_.file("screen.png");
        run("import -window root " + Quote(shot));
        return QImage(QString::fromStdString(shot));
    }

private:
    TempDir runtime_;
    pid_t server_ = -1;
    pid_t compositor_ = -1;
    std::string problem_;
};

inline WaylandSession& Wayland()
{
    static WaylandSession session;
    return session;
}
// Before main, so the QApplication connects to the compositor.
inline const bool kWaylandStarted = (Wayland(), true);

} // namespace velm::testing
