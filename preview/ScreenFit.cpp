#include "preview/ScreenFit.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QMainWindow>
#include <QPointer>
#include <QScreen>
#include <QSet>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace velm {

namespace {

QPointer<QWidget> Obstacle;

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

// The height of a window's menu bar, the part that must stay in reach.
int MenuHeight(const QWidget& window)
{
    const auto* main = qobject_cast<const QMainWindow*>(&window);
    const QWidget* menu = main ? main->menuWidget() : nullptr;
    return menu && !menu->isHidden() ? menu->sizeHint().height() : 0;
}

// The top edge (of the frame) at which the window's caption and menu bar
// clear Obstacle, changing as little as it can; Height, the frame's
// height, may come down to Minimum. Returns Top when it is clear or no
// place is.
int ClearTop(const QRect& free, int left, int top, int width, int& height, int minimum, int head)
{
    const QRect keep = Obstacle->frameGeometry();
    const auto clear = [&](int y) { return !QRect(left, y, width, head).intersects(keep); };
    if (clear(top))
        return top;
    for (const int y : {keep.bottom() + 1, keep.top() - head}) {
        const int room = std::min(height, free.bottom() + 1 - y);
        if (y >= free.top() && room >= minimum && clear(y)) {
            height = room;
            return y;
        }
    }
    return top;
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
    int y = std::max(free.top(), std::min(at.y(), free.bottom() + 1 - outer.height()));
    // A window the window manager places is judged where it put it, once framed.
    const bool placed = Window.testAttribute(Qt::WA_Moved) || (Window.windowHandle() && Window.windowHandle()->isExposed());
    if (placed && Obstacle && Obstacle != &Window && Obstacle->isVisible()) {
        int height = outer.height();
        const int frameHeight = frame.top() + frame.bottom();
        const int minimum = std::max(Window.minimumHeight(), Window.minimumSizeHint().height()) + frameHeight;
        y = ClearTop(free, x, y, outer.width(), height, minimum, frame.top() + MenuHeight(Window));
        if (height != outer.height())
            Window.resize(Window.width(), height - frameHeight);
    }
    if (QPoint(x, y) != at)
        Window.move(x, y);
}

void KeepClearOf(QWidget* Window) { Obstacle = Window; }

void KeepWindowsOnScreen()
{
    static ScreenKeeper* keeper = nullptr;
    if (keeper || !qApp)
        return;
    keeper = new ScreenKeeper(qApp);
    qApp->installEventFilter(keeper);
}

} // namespace velm
