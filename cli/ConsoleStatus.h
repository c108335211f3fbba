// The "Print Status" dialog of the headless command: a progress line on
// stderr when stderr is a terminal. Ctrl-C (or SIGTERM, SIGHUP) stops
// every run, as "&Abort" stops one.
#pragma once

#include "engine/UserInterface.h"

#include <string>

namespace velm {

class ConsoleStatus : public TPrintStatus {
public:
    // label names the job on the progress line (the file being printed).
    explicit ConsoleStatus(std::string label);
    ~ConsoleStatus() override;
    ConsoleStatus(const ConsoleStatus&) = delete;
    ConsoleStatus& operator=(const ConsoleStatus&) = delete;

    void Show() override;
    void SetPage(const std::string& text) override;
    void SetStatus(const std::string& text) override;
    void SetCancelFlag(const TCancelFlag&) override {}
    void SetPrintDocument(PrintDocument*) override {}

    // Installs the handler of SIGINT, SIGTERM and SIGHUP: the first such
    // signal stops every run (TCancelFlag::StopAll), so that the job cleans
    // up; a second one of the same kind ends the process as usual.
    static void InstallInterruptHandler();
    // The first of those signals that arrived in this process, else 0.
    static int InterruptSignal();

private:
    void Draw() const;

    std::string label_;
    std::string page_;
    std::string status_;
    bool terminal_;
};

} // namespace velm
