#include "engine/UserInterface.h"

#include <QCoreApplication>

#include <cstdio>

namespace velm {

TPrintStatus* PrintDialog1 = nullptr;

namespace {

// Shows nothing and offers no "&Abort": jobs run by tests and by code that
// installs no presenter stay silent.
class SilentStatus : public TPrintStatus {
public:
    void Show() override {}
    void SetPage(const std::string&) override {}
    void SetStatus(const std::string&) override {}
    void SetCancelFlag(const TCancelFlag&) override {}
    void SetPrintDocument(PrintDocument*) override {}
};

UserInterface DefaultInterface()
{
    UserInterface face;
    face.createStatus = [] { return std::make_unique<SilentStatus>(); };
    face.showMessage = [](const std::string& text) { std::fprintf(stderr, "velm: %s\n", text.c_str()); };
    face.showWarning = [](const std::string& text) { std::fprintf(stderr, "velm: warning: %s\n", text.c_str()); };
    face.processMessages = [] {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
    };
    // No preview window: showPreview stays empty and the job deletes its
    // stored pages itself, so none are left behind unseen.
    return face;
}

} // namespace

UserInterface& ui()
{
    static UserInterface face = DefaultInterface();
    return face;
}

void ProcessMessages()
{
    if (ui().processMessages)
        ui().processMessages();
}

void ShowMessage(const std::string& text)
{
    if (ui().showMessage)
        ui().showMessage(text);
}

void ShowWarning(const std::string& text)
{
    if (ui().showWarning)
        ui().showWarning(text);
}

StatusDialogScope::StatusDialogScope(const TCancelFlag& cancel)
    : dialog_(ui().createStatus ? ui().createStatus() : std::make_unique<SilentStatus>())
{
    dialog_->SetCancelFlag(cancel);
    PrintDialog1 = dialog_.get();
}

StatusDialogScope::~StatusDialogScope()
{
    if (PrintDialog1 == dialog_.get())
        PrintDialog1 = nullptr;
}

} // namespace velm
