#include "preview/Presenter.h"

#include "engine/Gdi.h"
#include "engine/PrnFile.h"
#include "engine/UserInterface.h"
#include "preview/Cb_view.h"
#include "preview/Drawscrn.h"
#include "preview/Pellido.h"
#include "preview/ScreenFit.h"

#include <QApplication>
#include <QFont>
#include <QMessageBox>

#include <memory>

namespace velm {

namespace {

void ShowPreview(TPrintFile& job, TJobOutcome& outcome)
{
    std::unique_ptr<TCB_Prev> window;
    try {
        // The stored pages of the job's run; without one, as the settings describe them.
        window = std::make_unique<TCB_Prev>(job.Gdi() ? job.Gdi()->StoredJob() : TStoredJob::FromSettings());
    } catch (...) {
        // The canvas owns the stored pages; without it nothing else would
        // ever delete them.
        DeletePageFiles();
        throw;
    }
    window->hide();
    window->DrawIt1->ReportInto(&outcome);
    window->SetViewButton(job.ViewButtonCaption, job.ViewButtonVisible);
    window->raise();
    window->exec();
}

} // namespace

QString ApplicationTitle() { return QStringLiteral("Velm for Windows 95"); }

QMessageBox::StandardButton ShowMessageBox(QMessageBox::Icon Icon, const QString& Text,
                                           QMessageBox::StandardButtons Buttons,
                                           QMessageBox::StandardButton Default)
{
    QMessageBox box(Icon, ApplicationTitle(), Text, Buttons, QApplication::activeWindow(), DialogBorder);
    box.setDefaultButton(Default);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void ShowErrorBox(const std::string& text)
{
    ShowMessageBox(QMessageBox::Critical, QString::fromStdString(text));
}

void InstallDesktopPresenter()
{
    // The forms are designed in "MS Sans Serif"; fontconfig alone would
    // pick an unrelated face.
    if (QFont::substitutes("MS Sans Serif").isEmpty())
        QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");
    KeepWindowsOnScreen();
    UserInterface& face = ui();
    face.createStatus = []() -> std::unique_ptr<TPrintStatus> {
        // A modal window (the preview during a reprint) blocks input to
        // every window but its own children: "&Abort" must be one of them.
        return std::make_unique<TPrintDialog1>(QApplication::activeModalWidget());
    };
    face.showMessage = [](const std::string& text) {
        ShowMessageBox(QMessageBox::Information, QString::fromStdString(text));
    };
    face.showWarning = [](const std::string& text) {
        ShowMessageBox(QMessageBox::Warning, QString::fromStdString(text));
    };
    face.processMessages = [] { QApplication::processEvents(); };
    face.showPreview = ShowPreview;
}

} // namespace velm
