#include "preview/Presenter.h"

#include "engine/Gdi.h"
#include "engine/PrnFile.h"
#include "engine/UserInterface.h"
#include "preview/Cb_view.h"
#include "preview/Pellido.h"

#include <QApplication>
#include <QFont>
#include <QMessageBox>

#include <memory>

namespace velm {

namespace {

void ShowPreview(TPrintFile& job)
{
    std::unique_ptr<TCB_Prev> window;
    try {
        window = std::make_unique<TCB_Prev>();
    } catch (...) {
        // The canvas owns the stored pages; without it nothing else would
        // ever delete them.
        DeletePageFiles();
        throw;
    }
    window->hide();
    window->SetViewButton(job.ViewButtonCaption, job.ViewButtonVisible);
    window->raise();
    window->exec();
}

} // namespace

void InstallDesktopPresenter()
{
    // The forms are designed in "MS Sans Serif"; fontconfig alone would
    // pick an unrelated face.
    if (QFont::substitutes("MS Sans Serif").isEmpty())
        QFont::insertSubstitution("MS Sans Serif", "Liberation Sans");
    UserInterface& face = ui();
    face.createStatus = []() -> std::unique_ptr<TPrintStatus> {
        return std::make_unique<TPrintDialog1>();
    };
    face.showMessage = [](const std::string& text) {
        QMessageBox::information(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                                 QString::fromStdString(text), QMessageBox::Ok);
    };
    face.processMessages = [] { QApplication::processEvents(); };
    face.showPreview = ShowPreview;
}

} // namespace velm
