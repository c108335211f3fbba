// SIGINT, SIGTERM and SIGHUP in the windowed modes (the desktop and the
// command's preview): instead of dying with stored pages on disk, the
// application aborts the job in progress and leaves every loop it runs, so
// the job folders and an open preview's pages are removed on the way out.
#pragma once

#include <QObject>

namespace velm {

class TerminationWatch : public QObject {
public:
    // Installs the handlers; a QCoreApplication must exist. A signal stops
    // every run (TCancelFlag::StopAll) at its next look.
    TerminationWatch();
    ~TerminationWatch() override; // restores the default actions
    TerminationWatch(const TerminationWatch&) = delete;
    TerminationWatch& operator=(const TerminationWatch&) = delete;

    // The signal that asked the application to end, else 0.
    static int Signal();

private:
    void Terminate();

    int pipe_[2] = {-1, -1}; // written by the signal handler, read in the loop
};

} // namespace velm
