// Child processes for the window tests, and an X server of their own.
#pragma once

#include "support/testing.h"

#include <csignal>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
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

// Starts Xvfb (1280 by 1024) on the first free display, which it names on a
// pipe, and sets DISPLAY once it accepts clients. Returns what went wrong,
// or nothing.
inline std::string StartXvfb(pid_t& server)
{
    int ready[2];
    if (pipe(ready) != 0)
        return "no pipe";
    server = Spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
    close(ready[1]);
    std::string display;
    char c;
    while (read(ready[0], &c, 1) == 1 && c != '\n')
        display += c;
    close(ready[0]);
    if (server < 0 || display.empty())
        return "Xvfb did not start";
    setenv("DISPLAY", (":" + display).c_str(), 1);
    if (run("timeout 30 sh -c 'until xdotool getdisplaygeometry >/dev/null 2>&1; do sleep 0.1; done'") != 0)
        return "Xvfb does not accept clients";
    return {};
}

} // namespace velm::testing
