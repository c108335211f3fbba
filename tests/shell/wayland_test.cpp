// The toolbar under a Wayland compositor (weston), driven by a real
// pointer: the compositor moves it by its handle, a preview leaves it
// where the user put it, and the About box says that it cannot stay on top.
#include "shell/About.h"

#include "shell/shell_support.h"
#include "support/wayland_session.h"

#include <QGuiApplication>
#include <QLabel>

namespace velm {
namespace {

using namespace velm::testing;
using namespace std::chrono_literals;

// Where the compositor shows pixels of one colour: their bounding box.
QRect Where(QRgb colour)
{
    const QImage screen = Wayland().Screen().convertToFormat(QImage::Format_RGB32);
    QRect box;
    for (int y = 0; y < screen.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(screen.constScanLine(y));
        for (int x = 0; x < screen.width(); ++x)
            if (qRgb(qRed(line[x]), qGreen(line[x]), qBlue(line[x])) == colour)
                box |= QRect(x, y, 1, 1);
    }
    return box;
}

std::string Text(const QRect& r)
{
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x"
           + std::to_string(r.height());
}

// The compositor's window is the X screen's only one, at 0,0.
int Click(const QPoint& at, const std::string& then = "click 1")
{
    return run("xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) + " " + then);
}

// Acts until what it should bring about shows: a program still starting,
// or a window still being maximised, drops or misplaces the first tries.
bool Retried(const std::function<void()>& act, const std::function<bool()>& shown)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        act();
        if (waitUntil(shown, 3s))
            return true;
    }
    return false;
}

using WaylandToolbar = ShellTest;

TEST_F(WaylandToolbar, MovesByItsHandleThroughTheCompositorAndStaysThereThroughPreviews)
{
    if (!Wayland().problem().empty())
        VELM_SKIP_MISSING(Wayland().problem());
    ASSERT_TRUE(OnWayland()) << QGuiApplication::platformName().toStdString();
    {
        TAboutBox about;
        QStringList said;
        for (const QLabel* label : about.findChildren<QLabel*>())
            if (label->isVisibleTo(&about))
                said << label->text();
        EXPECT_TRUE(said.join(' ').contains("cannot stay on top")) << said.join('|').toStdString();
    }

    TempDir files;
    files.write("a.txt", "alpha, previewed while the toolbar runs\n");
    Set("MonitorEnabled", "0");
    const std::string log = files.file("log");
    const struct Running {
        pid_t pid;
        ~Running() { Stop(pid); }
    } toolbar{Spawn({"sh", "-c", "exec " + Quote(VELM_BINARY) + " 2>" + Quote(log)})};
    // The panel's aqua shows from 2,2 in the toolbar, around its four buttons.
    const QRgb aqua = qRgb(0, 255, 255);
    QRect was;
    ASSERT_TRUE(waitUntil([&] { return (was = Where(aqua)).isValid(); }, 60s)) << readFile(log);

    // A press on the handle (14,14 in the toolbar) and a drag by 150, 120
    // towards the middle of the 1024 by 768 screen, wherever the compositor put it.
    const QPoint handle = was.topLeft() + QPoint(12, 12);
    const QPoint by(handle.x() < 512 ? 150 : -150, handle.y() < 384 ? 120 : -120);
    const std::string drag = " mousedown 1; for step in 1 2 3 4 5 6; do xdotool mousemove_relative -- "
                             + std::to_string(by.x() / 6) + " " + std::to_string(by.y() / 6) + "; done; xdotool mouseup 1";
    const QRect moved = was.translated(by);
    QRect now;
    EXPECT_TRUE(Retried([&] { Click(handle, drag); }, [&] { return (now = Where(aqua)) == moved; }))
        << "at " << Text(now) << ", not " << Text(moved) << "\n" << readFile(log);

    // A later start's preview, closed by its "&Close" (54,15 in the window,
    // whose page area starts 65 lower): the toolbar has not jumped.
    EXPECT_EQ(run("cd " + Quote(files.path()) + " && timeout 60 " + Quote(VELM_BINARY) + " --preview a.txt"), 0);
    const QRgb previewBackground = qRgb(7, 109, 171);
    ASSERT_TRUE(waitUntil([&] { return Where(previewBackground).isValid(); }, 60s)) << readFile(log);
    EXPECT_TRUE(Retried([&] { Click(Where(previewBackground).topLeft() + QPoint(54, 15 - 65)); },
                        [&] { return !Where(previewBackground).isValid(); }));
    EXPECT_EQ(Text(Where(aqua)), Text(moved));
}

} // namespace
} // namespace velm
