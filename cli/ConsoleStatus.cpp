#include "cli/ConsoleStatus.h"

#include "platform/printing/printer.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace velm {

namespace {

volatile std::sig_atomic_t gInterrupted = 0; // the signal that asked to stop, else 0
ConsoleStatus* gCurrent = nullptr;

extern "C" void OnInterrupt(int signal)
{
    if (gInterrupted == 0)
        gInterrupted = signal;
}

} // namespace

ConsoleStatus::ConsoleStatus(std::string label)
    : label_(std::move(label)), status_("Preparing Page"), terminal_(isatty(STDERR_FILENO) == 1),
      previous_(gCurrent)
{
    gCurrent = this;
}

ConsoleStatus::~ConsoleStatus()
{
    gCurrent = previous_;
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

bool ConsoleStatus::Aborted() const { return aborted_ || gInterrupted != 0; }

void ConsoleStatus::Cancel()
{
    if (document_ && document_->isOpen())
        document_->abort();
    aborted_ = true;
    SetStatus("Interrupted...Please Wait");
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

void ConsoleStatus::HonourInterrupt()
{
    if (gInterrupted && gCurrent && !gCurrent->aborted_)
        gCurrent->Cancel();
}

} // namespace velm
