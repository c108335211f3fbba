#include "app/Windowed.h"

#include "cli/Command.h"
#include "cli/Options.h"
#include "cli/Termination.h"
#include "preview/Presenter.h"
#include "shell/Desktop.h"

#include <QApplication>

namespace velm {

int RunWindowed(int argc, char** argv, const CommandOptions& o)
{
    QApplication app(argc, argv);
    const TerminationWatch watch;
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
