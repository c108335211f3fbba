// A real X server and window manager for the window tests: Xvfb on a free
// display and openbox on it, up before the QApplication connects (during
// static initialisation), and child processes started and stopped. A
// missing tool fails the test; it never skips.
#pragma once

#include "support/xvfb.h"

#include <cstdlib>
#include <functional>
#include <unistd.h>
#include <utility>

namespace velm::testing {

// Xvfb and openbox on it, up before Qt connects.
class XSession {
public:
    XSession()
    {
        for (const char* tool : {"Xvfb", "openbox", "xdotool"})
            if (run(std::string("command -v ") + tool + " >/dev/null") != 0)
                problem_ += std::string(tool) + " is not installed; ";
        if (!problem_.empty())
            return;
        problem_ = StartXvfb(server_);
        if (!problem_.empty())
            return;
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        // A loaded machine sometimes sees openbox give up on a display that
        // has just come up; a second start then finds it.
        for (int attempt = 0; attempt < 3 && !ManagerUp(); ++attempt)
            Stop(std::exchange(manager_, -1));
        if (manager_ < 0)
            problem_ = "openbox did not start";
    }
    ~XSession()
    {
        Stop(manager_);
        Stop(server_);
    }
    const std::string& problem() const { return problem_; }

private:
    // The current desktop is known once a window manager manages the
    // screen; a manager that exits first has failed.
    bool ManagerUp()
    {
        manager_ = Spawn({"openbox", "--sm-disable"});
        for (int poll = 0; manager_ > 0 && poll < 300; ++poll) {
            if (waitpid(manager_, nullptr, WNOHANG) == manager_) {
                manager_ = -1;
                return false;
            }
            if (run("xdotool get_desktop >/dev/null 2>&1") == 0)
                return true;
            usleep(100000);
        }
        return false;
    }

    pid_t server_ = -1;
    pid_t manager_ = -1;
    std::string problem_;
};

inline XSession& Session()
{
    static XSession session;
    return session;
}
// Before main, so DISPLAY is set when the QApplication is made.
inline const bool kSessionStarted = (Session(), true);

} // namespace velm::testing
