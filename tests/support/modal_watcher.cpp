#include "support/modal_watcher.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QPointer>

namespace velm::testing {

ModalWatcher::ModalWatcher(std::function<void(QWidget*)> ready) : ready_(std::move(ready))
{
    QCoreApplication::instance()->installEventFilter(this);
}

bool ModalWatcher::eventFilter(QObject* watched, QEvent* event)
{
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || !w->isWindow() || !w->isModal())
        return false;
    if (event->type() == QEvent::Show)
        Expect(w);
    else if (event->type() == QEvent::WindowActivate && waiting_.count(w))
        Ready(w, &Waiting::active);
    return false;
}

void ModalWatcher::Expect(QWidget* w)
{
    Waiting& waiting = waiting_[w] = Waiting{};
    auto* files = qobject_cast<QFileDialog*>(w);
    auto* model = files ? files->findChild<QFileSystemModel*>() : nullptr;
    if (!model)
        return;
    // The listing comes through the event loop that showing the dialog starts.
    waiting.listed = false;
    connect(model, &QFileSystemModel::directoryLoaded, this, [this, files](const QString& path) {
        if (waiting_.count(files) && QFileInfo(path).canonicalFilePath() == files->directory().canonicalPath())
            Ready(files, &Waiting::listed);
    });
}

void ModalWatcher::Ready(QWidget* w, bool Waiting::*happened)
{
    Waiting& waiting = waiting_[w];
    waiting.*happened = true;
    if (!waiting.active || !waiting.listed)
        return;
    waiting_.erase(w);
    // Queued, so that the activation's own handling (the focus) comes first.
    QMetaObject::invokeMethod(
        this, [this, window = QPointer<QWidget>(w)] { if (window) ready_(window); }, Qt::QueuedConnection);
}

} // namespace velm::testing
