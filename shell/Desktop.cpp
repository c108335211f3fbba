#include "shell/Desktop.h"

#include "engine/UserInterface.h"
#include "preview/Presenter.h"
#include "platform/system/toolbar_socket.h"
#include "shell/About.h"
#include "shell/Unit1.h"
#include "shell/Unit2.h"
#include "shell/Unit4.h"
#include "shell/ToolbarServer.h"
#include "shell/Unit5.h"
#include "shell/Velmwin.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPointer>
#include <QWindow>

#include <exception>
#include <memory>
#include <optional>

namespace velm {

namespace {

// Sets a form's global for its lifetime, so nothing reaches a destroyed form.
template <class Form>
class Instance {
public:
    Instance(Form*& global, std::unique_ptr<Form> form) : global_(global), form_(std::move(form))
    {
        global_ = form_.get();
    }
    ~Instance() { global_ = nullptr; }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    Form* operator->() const { return form_.get(); }

private:
    Form*& global_;
    std::unique_ptr<Form> form_;
};

// A preview is modal, so the toolbar takes no drop or click while one is
// open; at its place on top it would only cover the maximised preview's
// "&Close" and "&Add nl". It steps aside until the preview closes.
void HideToolbarDuringPreviews()
{
    // Under Wayland the toolbar is never on top, and a window shown again
    // goes wherever the compositor puts it: there it stays where it is.
    if (OnWayland())
        return;
    ui().showPreview = [show = ui().showPreview](TPrintFile& job, TJobOutcome& outcome) {
        struct Aside {
            QPointer<TVelm> toolbar{Velm && Velm->isVisible() ? Velm : nullptr};
            Aside() { if (toolbar) toolbar->hide(); }
            ~Aside() { if (toolbar) toolbar->show(); }
        } aside;
        show(job, outcome);
    };
}

// A window manager maps a new window some time after show(): until it is
// exposed it cannot paint, and the forms built next would keep the splash
// from ever showing. Waits for the exposure, within a bound.
void ShowAndPaint(QWidget& form)
{
    form.show();
    QDeadlineTimer deadline(2000);
    // Clicks wait for the event loop: the forms they open are built next.
    while (!(form.windowHandle() && form.windowHandle()->isExposed()) && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 50);
    form.repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

int RunForms(QApplication& app)
{
    InstallDesktopPresenter();
    HideToolbarDuringPreviews();
    // The toolbar is a tool window and the other forms are hidden most of
    // the time: closing the toolbar, and only that, ends the application.
    app.setQuitOnLastWindowClosed(false);

    Instance<TVelm> toolbar(Velm, std::make_unique<TVelm>());
    QObject::connect(toolbar.operator->(), &TVelm::Closed, &app, &QApplication::quit);
    toolbar->show();

    TForm5 splash;
    Instance<TDlgDoubleSided> pause(DlgDoubleSided, std::make_unique<TDlgDoubleSided>());
    ShowAndPaint(splash);

    const auto browser = std::make_unique<TVelmWindow>(); // sets VelmWindow itself
    Instance<TConfigureVelm> configure(ConfigureVelm, std::make_unique<TConfigureVelm>());
    Instance<TAboutBox> about(AboutBox, std::make_unique<TAboutBox>());
    splash.hide();
    // Later starts of velm hand their files to this toolbar, once every
    // form it may open exists.
    TToolbarServer door;
    QObject::connect(&door, &TToolbarServer::FileHandedOver, toolbar.operator->(), &TVelm::TakeHandedFile);
    door.Listen(toolbarSocketPath());
    return app.exec();
}

} // namespace

int RunDesktop(int argc, char** argv)
{
    std::optional<QApplication> ownApp;
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app)
        app = &ownApp.emplace(argc, argv);
    QApplication::setApplicationName("velm");
    QApplication::setApplicationVersion(VelmVersion());
    try {
        return RunForms(*app);
    } catch (const std::exception& e) {
        ShowMessageBox(QMessageBox::Critical, QString::fromUtf8(e.what()));
        return 1;
    }
}

} // namespace velm
