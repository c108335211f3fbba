// The "Print Status" dialog of the headless command: a progress line on
// stderr when stderr is a terminal, and Ctrl-C (or SIGTERM, SIGHUP) as "&Abort".
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
    bool Aborted() const override;
    void SetPrintDocument(PrintDocument* document) override { document_ = document; }

    // Installs the handler of SIGINT, SIGTERM and SIGHUP: the first such
    // signal asks to abort, so that the job cleans up; a second one of the
    // same kind ends the process as usual.
    static void InstallInterruptHandler();
    // The first of those signals that arrived in this process, else 0.
    static int InterruptSignal();
    // Called from the message pump: cancels the open document of the
    // status in force at once after a Ctrl-C (a signal handler may not).
    static void HonourInterrupt();

private:
    void Cancel();
    void Draw() const;

    std::string label_;
    std::string page_;
    std::string status_;
    PrintDocument* document_ = nullptr;
    bool aborted_ = false;
    bool terminal_;
    ConsoleStatus* previous_;
};

} // namespace velm
