// A real X server and window manager for the window tests: Xvfb on a free
// display and openbox on it, up before the QApplication connects (during
// static initialisation), and child processes started and stopped. A
// missing tool fails the test; it never skips.
#pragma once

#include "support/testing.h"

#include <csignal>
#include <cstdlib>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace velm::testing {

inline pid_t Spawn(const std::vector<std::string>& command)
{
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    return posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

inline void Stop(pid_t pid)
{
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
}

// Xvfb on the first free display (it names it on a pipe once it accepts
// clients) and openbox on it, up before Qt connects.
class XSession {
public:
    XSession()
    {
        for (const char* tool : {"Xvfb", "openbox", "xdotool"})
            if (run(std::string("command -v ") + tool + " >/dev/null") != 0)
                problem_ += std::string(tool) + " is not installed; ";
        if (!problem_.empty())
            return;
        int ready[2];
        if (pipe(ready) != 0) {
            problem_ = "no pipe";
            return;
        }
        server_ = Spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", "1280x1024x24",
                         "-nolisten", "tcp"});
        close(ready[1]);
        std::string display;
        char c;
        while (read(ready[0], &c, 1) == 1 && c != '\n')
            display += c;
        close(ready[0]);
        if (server_ < 0 || display.empty()) {
            problem_ = "Xvfb did not start";
            return;
        }
        setenv("DISPLAY", (":" + display).c_str(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        if (run("timeout 30 sh -c 'until xdotool getdisplaygeometry >/dev/null 2>&1; do sleep 0.1; done'") != 0) {
            problem_ = "Xvfb does not accept clients";
            return;
        }
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
