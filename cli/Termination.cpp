#include "cli/Termination.h"

#include "engine/JobOutcome.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace velm {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t gWriteEnd = -1;
volatile std::sig_atomic_t gSignal = 0;

// Only async-signal-safe work here: the loop does the rest.
extern "C" void OnTermination(int signal)
{
    gSignal = signal;
    TCancelFlag::StopAll();
    const auto byte = static_cast<unsigned char>(signal);
    if (gWriteEnd >= 0)
        (void)!::write(gWriteEnd, &byte, 1);
}

} // namespace

TerminationWatch::TerminationWatch()
{
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    gWriteEnd = pipe_[1];
    auto* notifier = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TerminationWatch::Terminate);
    struct sigaction action {};
    action.sa_handler = OnTermination;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals)
        sigaction(signal, &action, nullptr);
}

TerminationWatch::~TerminationWatch()
{
    for (int signal : kSignals)
        std::signal(signal, SIG_DFL);
    gWriteEnd = -1;
    for (int fd : pipe_)
        if (fd >= 0)
            ::close(fd);
}

int TerminationWatch::Signal() { return gSignal; }

void TerminationWatch::Terminate()
{
    unsigned char byte = 0;
    while (::read(pipe_[0], &byte, 1) == 1) {
    }
    // A job that formats or prints stops at its next look at its flag,
    // which the handler set; modal windows (the preview among them) close
    // as their loops end. Every loop that runs from now on ends at once,
    // the main loop too should it not have started yet (exec() forgets an
    // earlier exit()).
    auto* leave = new QTimer(this);
    connect(leave, &QTimer::timeout, [] { QCoreApplication::exit(128 + gSignal); });
    leave->start(0);
}

} // namespace velm
