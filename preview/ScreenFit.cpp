#include "preview/ScreenFit.h"

#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QGuiApplication>
#include <QScreen>
#include <QSet>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace velm {

namespace {

// The frame a window manager gives a window before it has framed it, so
// that the first fit already leaves room for the caption.
QMargins ExpectedFrame(const QWidget& window)
{
    if (const QWindow* handle = window.windowHandle(); handle && !handle->frameMargins().isNull())
        return handle->frameMargins();
    return {4, 24, 4, 4};
}

bool Placeable(const QWidget& window)
{
    // The application's windows are dialogs and main windows; anything else
    // shown on its own (a bare widget) keeps the size it was given.
    if (!qobject_cast<const QDialog*>(&window) && !qobject_cast<const QMainWindow*>(&window))
        return false;
    const Qt::WindowType type = window.windowType();
    // A frameless window (the toolbar) keeps a place of its own on the screen.
    return window.isWindow() && !(window.windowFlags() & Qt::FramelessWindowHint) && type != Qt::Popup
           && type != Qt::ToolTip && type != Qt::SplashScreen && !(window.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
}

class ScreenKeeper : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow()) {
                FitOnScreen(*widget);
                framed_.remove(widget->windowHandle());
            }
        } else if (event->type() == QEvent::Expose && watched->isWindowType()) {
            // The first exposure follows the framing: the real frame is known now.
            auto* window = static_cast<QWindow*>(watched);
            if (window->isExposed() && !framed_.contains(window)) {
                framed_.insert(window);
                for (QWidget* widget : QApplication::topLevelWidgets())
                    if (widget->windowHandle() == window)
                        FitOnScreen(*widget);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QSet<QWindow*> framed_;
};

} // namespace

void FitOnScreen(QWidget& Window)
{
    if (!Placeable(Window))
        return;
    const QScreen* screen = Window.screen() ? Window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect free = screen->availableGeometry();
    const QMargins frame = ExpectedFrame(Window);
    const QSize room = free.size().shrunkBy(frame);
    const QSize size = Window.size();
    if (size.width() > room.width() || size.height() > room.height())
        Window.resize(std::max(Window.minimumWidth(), std::min(size.width(), room.width())),
                      std::max(Window.minimumHeight(), std::min(size.height(), room.height())));
    // move() places the frame's top left corner.
    const QSize outer = Window.size().grownBy(frame);
    const QPoint at = Window.pos();
    const int x = std::max(free.left(), std::min(at.x(), free.right() + 1 - outer.width()));
    const int y = std::max(free.top(), std::min(at.y(), free.bottom() + 1 - outer.height()));
    if (QPoint(x, y) != at)
        Window.move(x, y);
}

void KeepWindowsOnScreen()
{
    static ScreenKeeper* keeper = nullptr;
    if (keeper || !qApp)
        return;
    keeper = new ScreenKeeper(qApp);
    qApp->installEventFilter(keeper);
}

} // namespace velm
