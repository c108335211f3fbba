// What the engine needs from whoever presents it: the desktop (preview/,
// shell/), the headless command (cli/) or a test. The engine never includes
// a widget header; presenters install their implementations here.
#pragma once

#include "engine/JobOutcome.h"

#include <functional>
#include <memory>
#include <string>

namespace velm {

class PrintDocument;
class TPrintFile;

// The "Print Status" dialog as its loops use it.
class TPrintStatus {
public:
    virtual ~TPrintStatus() = default;
    virtual void Show() = 0;                              // non-modal, painted at once
    virtual void SetPage(const std::string& text) = 0;    // the `Page` box
    virtual void SetStatus(const std::string& text) = 0;  // the `Status` line
    // The run's flag, which "&Abort" sets; the loop looks at the flag, never
    // at the dialog.
    virtual void SetCancelFlag(const TCancelFlag& flag) = 0;
    // The open print document that "&Abort" cancels at once, or none.
    virtual void SetPrintDocument(PrintDocument* document) = 0;
};

struct UserInterface {
    // Creates the shared status dialog (stored in PrintDialog1 while it lives).
    std::function<std::unique_ptr<TPrintStatus>()> createStatus;
    // Information box with one OK button.
    std::function<void(const std::string&)> showMessage;
    // Something the user should know that does not stop the job (the
    // command line does not count it as a failure).
    std::function<void(const std::string&)> showWarning;
    // Lets pending window messages run.
    std::function<void()> processMessages;
    // Opens the preview window on the stored pages of `job`, modally, and
    // destroys it (which deletes the pages) when it closes; what its
    // reprints did joins the run's outcome. Empty by default: a preview run
    // then deletes its stored pages itself.
    std::function<void(TPrintFile& job, TJobOutcome& outcome)> showPreview;
};

// The presenter in force; defaults print messages to stderr, show a status
// dialog without "&Abort", run Qt's pending events, and show no preview.
UserInterface& ui();
void ProcessMessages();
void ShowMessage(const std::string& text);
void ShowWarning(const std::string& text);

// The one shared status dialog while a loop holds it, else nullptr.
extern TPrintStatus* PrintDialog1;

// Creates the status dialog through the presenter, gives it the run's
// cancel flag, and keeps PrintDialog1 pointing at it until the returned
// object is destroyed.
class StatusDialogScope {
public:
    explicit StatusDialogScope(const TCancelFlag& cancel);
    ~StatusDialogScope();
    StatusDialogScope(const StatusDialogScope&) = delete;
    StatusDialogScope& operator=(const StatusDialogScope&) = delete;
    TPrintStatus* operator->() const { return dialog_.get(); }
    TPrintStatus& operator*() const { return *dialog_; }

private:
    std::unique_ptr<TPrintStatus> dialog_;
};

} // namespace velm
