#include "cli/ConsoleStatus.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace velm {

namespace {

volatile std::sig_atomic_t gInterrupted = 0; // the signal that asked to stop, else 0

extern "C" void OnInterrupt(int signal)
{
    if (gInterrupted == 0)
        gInterrupted = signal;
    TCancelFlag::StopAll();
}

} // namespace

ConsoleStatus::ConsoleStatus(std::string label)
    : label_(std::move(label)), status_("Preparing Page"), terminal_(isatty(STDERR_FILENO) == 1)
{
}

ConsoleStatus::~ConsoleStatus()
{
    if (terminal_)
        std::fputs("\r\033[K", stderr); // the next line starts clean
}

void ConsoleStatus::Show() { Draw(); }

void ConsoleStatus::SetPage(const std::string& text)
{
    page_ = text;
    Draw();
}

void ConsoleStatus::SetStatus(const std::string& text)
{
    status_ = text;
    Draw();
}

void ConsoleStatus::Draw() const
{
    if (!terminal_)
        return;
    std::fprintf(stderr, "\r\033[Kvelm: %s: %s%s%s", label_.c_str(), status_.c_str(),
                 page_.empty() ? "" : " page ", page_.c_str());
    std::fflush(stderr);
}

void ConsoleStatus::InstallInterruptHandler()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    // Not restarted: a job waiting for its input (a pipe) stops waiting.
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

int ConsoleStatus::InterruptSignal() { return gInterrupted; }

} // namespace velm
