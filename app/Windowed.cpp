#include "app/Windowed.h"

#include "cli/Command.h"
#include "cli/Options.h"
#include "cli/Termination.h"
#include "engine/UserInterface.h"
#include "preview/Pellido.h"
#include "preview/Presenter.h"
#include "shell/Desktop.h"

#include <QApplication>

namespace velm {

void AbortRunningJob()
{
    if (auto* dialog = dynamic_cast<TPrintDialog1*>(PrintDialog1))
        dialog->CancelBtnClick();
}

int RunWindowed(int argc, char** argv, const CommandOptions& o)
{
    QApplication app(argc, argv);
    const TerminationWatch watch(AbortRunningJob);
    int code;
    if (o.desktop) {
        code = RunDesktop(argc, argv);
    } else {
        InstallDesktopPresenter();
        code = RunPreviewJobs(o);
    }
    return TerminationWatch::Signal() ? 128 + TerminationWatch::Signal() : code;
}

} // namespace velm
