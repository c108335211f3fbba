// The "Print Status" dialog of the headless command: a progress line on
// stderr when stderr is a terminal, and Ctrl-C as "&Abort".
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

    // Installs the SIGINT handler: the first Ctrl-C asks to abort, a second
    // one ends the process as usual.
    static void InstallInterruptHandler();
    // True once Ctrl-C was pressed in this process.
    static bool Interrupted();
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
