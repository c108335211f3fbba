// The desktop windows under a real X server and window manager, driven by
// real input (xdotool): edits kept across activations, the Copy dialog's
// first keys, the file list following other programs, and a running
// toolbar in a process of its own that takes real drags, the files of
// later starts of velm, and tells of its prints on a session bus with a
// notification service of the test's own.
#include "shell/Chgdlg.h"
#include "shell/PrintNotice.h"
#include "shell/Velmwin.h"

#include "engine/PageOutput.h"
#include "shell/shell_support.h"
#include "support/x_session.h"

#include <QComboBox>
#include <QDBusConnection>
#include <QDrag>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QVariantMap>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <memory>

namespace velm {
namespace {

using namespace velm::testing;

// A session bus of the test's own, its address set before Qt first asks
// for one.
class BusSession {
public:
    BusSession()
    {
        int ready[2];
        if (pipe(ready) != 0)
            return;
        daemon_ = Spawn({"dbus-daemon", "--session", "--nofork", "--print-address=" + std::to_string(ready[1])});
        close(ready[1]);
        std::string address;
        char c;
        while (read(ready[0], &c, 1) == 1 && c != '\n')
            address += c;
        close(ready[0]);
        if (!address.empty())
            setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        else
            problem_ = "dbus-daemon did not start";
    }
    ~BusSession() { Stop(daemon_); }
    const std::string& problem() const { return problem_; }

private:
    pid_t daemon_ = -1;
    std::string problem_;
};

BusSession& Bus()
{
    static BusSession bus;
    return bus;
}
const bool kBusStarted = (Bus(), true);

// The desktop's notification service, as far as the toolbar uses it.
class Notifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        QString summary, body;
        QStringList actions;
    };
    std::vector<Shown> shown;

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int)
    {
        shown.push_back({summary, body, actions});
        return static_cast<uint>(shown.size());
    }
    QStringList GetCapabilities() { return {"actions", "body"}; }

signals:
    void ActionInvoked(uint id, const QString& key);
};

// Runs a script of xdotool commands while this process goes on answering
// its windows; true when it ended well.
const char* const kPrelude = "set -e\n"
                             "window_named() { until id=$(xdotool search --sync --onlyvisible --name \"$1\" 2>/dev/null"
                             " | head -1) && [ -n \"$id\" ]; do sleep 0.1; done; echo \"$id\"; }\n"
                             "window_of() { until id=$(xdotool search --all --onlyvisible --pid \"$1\" --name \"$2\" 2>/dev/null"
                             " | head -1) && [ -n \"$id\" ]; do sleep 0.1; done; echo \"$id\"; }\n";

bool Drive(const std::string& script, std::string* out = nullptr)
{
    QProcess process;
    process.start("timeout", {"60", "sh", "-c", QString::fromStdString(kPrelude + script)});
    const bool ended = QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 70000);
    if (out)
        *out = process.readAllStandardOutput().toStdString();
    EXPECT_TRUE(ended && process.exitCode() == 0) << script << "\n" << process.readAllStandardError().toStdString();
    return ended && process.exitCode() == 0;
}

class DesktopTest : public ShellTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Session().problem().empty()) << Session().problem();
        ASSERT_TRUE(Bus().problem().empty()) << Bus().problem();
        ShellTest::SetUp();
        here = std::make_unique<CurrentDir>(files.path());
    }
    void TearDown() override
    {
        here.reset();
        ShellTest::TearDown();
    }
    TempDir files;
    std::unique_ptr<CurrentDir> here;
};

TEST_F(DesktopTest, AnEditLivesThroughActivationsUntilTheUserSaysOtherwise)
{
    files.write("A.TXT", "alpha\n");
    files.write("B.TXT", "bravo\n");
    TVelmWindow w;
    w.show();
    w.OpenFile(files.file("A.TXT"), true);
    QWidget other;
    other.setWindowTitle("Another program");
    other.resize(200, 100);
    other.show();
    const QPoint editor = w.MemoRich->mapTo(&w, QPoint(40, 10));
    const std::string browser = "B=$(window_named '^VelmWindow$')\n";
    ASSERT_TRUE(Drive(browser + "xdotool windowactivate --sync \"$B\" mousemove --window \"$B\" " + std::to_string(editor.x())
                      + " " + std::to_string(editor.y()) + " click 1 key ctrl+End type 'edited'\n"
                      + "O=$(window_named '^Another program$')\nxdotool windowactivate --sync \"$O\"\n"
                      + "xdotool windowactivate --sync \"$B\"\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.isActiveWindow() && w.MemoRich->toPlainText() == "alpha\nedited"; }));
    EXPECT_TRUE(w.MemoRich->document()->isModified()) << "activation must not forget the edit";

    // Cancel in the question: B is not opened and the edit stays.
    const std::string question = "Q=$(window_named '^Velm for Windows 95$')\nxdotool windowactivate --sync \"$Q\" key ";
    QTimer::singleShot(0, [&] { w.OpenFile(files.file("B.TXT"), true); });
    ASSERT_TRUE(Drive(question + "Escape\nwhile xdotool getwindowname \"$Q\" >/dev/null 2>&1; do sleep 0.1; done\n"));
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeModalWidget() == nullptr; }));
    EXPECT_EQ(w.MemoRich->toPlainText(), "alpha\nedited");
    EXPECT_EQ(w.Label2->text().toStdString(), files.file("A.TXT"));
    EXPECT_EQ(w.WindowList->currentText().toStdString(), files.file("A.TXT"));

    // Save, then Cancel in Save As: still not opened.
    QTimer::singleShot(0, [&] { w.OpenFile(files.file("B.TXT"), true); });
    ASSERT_TRUE(Drive(question + "Return\nS=$(window_named '^Save As$')\nxdotool windowactivate --sync \"$S\" key Escape\n"));
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeModalWidget() == nullptr; }));
    EXPECT_EQ(w.MemoRich->toPlainText(), "alpha\nedited");
    EXPECT_EQ(readFile(files.file("A.TXT")), "alpha\n");

    // Save and Save As under the page's own name: saved, then B opens.
    QTimer::singleShot(0, [&] { w.OpenFile(files.file("B.TXT"), true); });
    ASSERT_TRUE(Drive(question + "Return\nS=$(window_named '^Save As$')\nxdotool windowactivate --sync \"$S\" key Return\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.MemoRich->toPlainText() == "bravo\n"; }));
    EXPECT_EQ(readFile(files.file("A.TXT")), "alpha\nedited");
    EXPECT_EQ(w.Label2->text().toStdString(), files.file("B.TXT"));

    // The file list follows another program's files; F5 reads it again.
    ASSERT_EQ(run("sh -c 'echo new > " + Quote(files.file("C.TXT")) + "; rm " + Quote(files.file("A.TXT")) + "'"), 0);
    const auto listed = [&] {
        QStringList names;
        for (int i = 0; i < w.FileList->count(); ++i)
            names << w.FileList->item(i)->text();
        return names;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed() == QStringList{"B.TXT", "C.TXT"}; })) << listed().join(' ').toStdString();
}

TEST_F(DesktopTest, TheCopyDialogTakesTheTargetFirstAndRefusesAnEmptyOne)
{
    files.write("A.TXT", "alpha\n");
    TVelmWindow w;
    w.show();
    w.FileList->setCurrentRow(0);
    QTimer::singleShot(0, [&] { w.Copy1->trigger(); });
    // Return at once: refused with a word; then the name typed straight
    // away, and Yes to the question.
    ASSERT_TRUE(Drive("D=$(window_named '^Copy$')\nxdotool windowactivate --sync \"$D\" key Return\n"
                      "M=$(window_named '^Velm for Windows 95$')\nxdotool windowactivate --sync \"$M\" key Return\n"
                      "while xdotool getwindowname \"$M\" >/dev/null 2>&1; do sleep 0.1; done\n"
                      "xdotool windowactivate --sync \"$D\" type 'C.TXT'\nxdotool key Return\n"
                      "Q=$(window_named '^Velm for Windows 95$')\nxdotool windowactivate --sync \"$Q\" key alt+y\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(files.file("C.TXT")); }));
    EXPECT_EQ(readFile(files.file("C.TXT")), "alpha\n");
}

// Drags a list of URLs from a window of this process when pressed.
class DragSource : public QWidget {
public:
    QList<QUrl> urls;
    std::optional<Qt::DropAction> result;
    Qt::DropAction answered = Qt::IgnoreAction;

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setUrls(urls);
        drag->setMimeData(mime);
        connect(drag, &QDrag::actionChanged, this, [this](Qt::DropAction action) {
            answered = action;
            // The script lets go once the target has answered.
            if (action != Qt::IgnoreAction)
                std::ofstream(answeredFlag).put('\n');
        });
        result = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
    }

public:
    std::string answeredFlag;
};

TEST_F(DesktopTest, OneRunningToolbarTakesDragsAndLaterStartsAndTellsWhereItPrinted)
{
    Notifications service;
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "test-notifications");
    ASSERT_TRUE(bus.isConnected());

    // Without a service the notice goes to the status line.
    {
        QString status;
        TPrintNotice notice([&](const QString& text) { status = text; });
        TDelivery report;
        report.Sheets = 2;
        report.OutputPath = home.file("PDF/x.pdf");
        notice.Tell("/data/x.txt", report);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !status.isEmpty(); }));
        EXPECT_EQ(status, "Printed x.txt: 2 pages to ~/PDF/x.pdf");
    }
    ASSERT_TRUE(bus.registerObject("/org/freedesktop/Notifications", &service,
                                   QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
    ASSERT_TRUE(bus.registerService("org.freedesktop.Notifications"));

    TempDir place;
    for (const char* folder : {"runtime", "pdf", "bin"})
        std::filesystem::create_directory(place.file(folder));
    chmod(place.file("runtime").c_str(), 0700);
    place.write("bin/xdg-open", "#!/bin/sh\necho \"$@\" >> " + Quote(place.file("opened")) + "\n");
    chmod(place.file("bin/xdg-open").c_str(), 0755);
    files.write("a.txt", "alpha, previewed by the running toolbar\n");
    files.write("b.txt", "bravo, printed by the running toolbar\n");
    files.write("c.txt", "charlie, dropped on the print button\n");
    Set("MonitorEnabled", "0");
    // Twice the scale on a 1280 by 1024 screen: 640 by 512 logical pixels,
    // less than the browser's design height.
    const std::string env = "XDG_RUNTIME_DIR=" + Quote(place.file("runtime")) + " VELM_PDF_DIR=" + Quote(place.file("pdf"))
                            + " CUPS_SERVER=" + Quote(place.file("no-cups")) + " PATH=" + Quote(place.file("bin")) + ":$PATH"
                            + " QT_SCALE_FACTOR=2 ";
    const pid_t toolbar = Spawn({"sh", "-c", "exec env " + env + Quote(VELM_BINARY) + " 2>" + Quote(place.file("log"))});
    const std::string of = "P=" + std::to_string(toolbar) + "\nT=$(window_of $P '^Velm for Windows 95$')\n";
    const auto pdfs = [&] { return filesIn(place.file("pdf")).size(); };
    const auto later = [&](const std::string& arguments) {
        return run("cd " + Quote(files.path()) + " && timeout 60 env " + env + Quote(VELM_BINARY) + " "
                                    + arguments);
    };

    // The edit button (77..102 logical, twice that on the screen) opens the
    // browser, which fits, its menu bar below the toolbar on top.
    std::string geometry;
    ASSERT_TRUE(Drive(of + "xdotool mousemove --window \"$T\" 178 28 click 1\nB=$(window_of $P '^VelmWindow$')\n"
                           "xdotool getwindowgeometry --shell \"$B\"\nxdotool getwindowgeometry --shell --prefix TOOLBAR_ \"$T\"\n",
                      &geometry))
        << readFile(place.file("log"));
    const auto value = [&](const std::string& key) {
        const auto at = geometry.find(key + "=");
        return at == std::string::npos ? -1 : std::atoi(geometry.c_str() + at + key.size() + 1);
    };
    EXPECT_GE(value("Y"), 0) << geometry;
    EXPECT_GE(value("X"), 0) << geometry;
    EXPECT_LE(value("Y") + value("HEIGHT"), 1024) << geometry;
    EXPECT_LE(value("X") + value("WIDTH"), 1280) << geometry;
    EXPECT_GE(value("Y"), value("TOOLBAR_Y") + value("TOOLBAR_HEIGHT")) << geometry;

    // A later `velm --preview FILE` hands its file over and ends; the
    // toolbar previews it and steps aside meanwhile.
    EXPECT_EQ(later("--preview a.txt"), 0);
    ASSERT_TRUE(Drive("P=" + std::to_string(toolbar) + "\nV=$(window_of $P '^Velm Viewer$')\n"
                           "if xdotool search --all --onlyvisible --pid $P --name '^Velm for Windows 95$' >/dev/null; then exit 3; fi\n"
                           "xdotool windowactivate --sync \"$V\" mousemove --window \"$V\" 108 30 click 1\n"
                           "while xdotool getwindowname \"$V\" >/dev/null 2>&1; do sleep 0.1; done\n"
                           "window_of $P '^Velm for Windows 95$' >/dev/null\n"))
        << readFile(place.file("log"));

    // A later `velm FILE` prints through the toolbar, which says so; the
    // notification's action opens the PDF.
    EXPECT_EQ(later("b.txt"), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.shown.size() == 1; }, 60000)) << readFile(place.file("log"));
    ASSERT_EQ(pdfs(), 1u);
    const std::string pdf = place.file("pdf/" + filesIn(place.file("pdf"))[0]);
    EXPECT_EQ(service.shown[0].summary, "Printed b.txt");
    EXPECT_EQ(service.shown[0].body.toStdString(), "1 page to " + pdf);
    EXPECT_TRUE(service.shown[0].actions.contains("default"));
    emit service.ActionInvoked(1, "default");
    EXPECT_TRUE(QTest::qWaitFor([&] { return readFile(place.file("opened")).find(pdf) != std::string::npos; }, 30000))
        << readFile(place.file("opened"));

    // Command-line printing with an option stays a process of its own.
    EXPECT_EQ(later("-o " + Quote(place.file("own.pdf")) + " b.txt >/dev/null"), 0);
    EXPECT_TRUE(std::filesystem::exists(place.file("own.pdf")));
    EXPECT_EQ(pdfs(), 1u);

    // A real drag of a local file onto the print button: taken as a copy
    // and printed. One that carries a web address is refused whole.
    DragSource source;
    source.setWindowTitle("Drag source");
    source.resize(120, 80);
    source.answeredFlag = place.file("answered");
    source.show();
    const std::string drag = of + "S=$(window_named '^Drag source$')\n"
                                  "xdotool windowactivate --sync \"$S\" mousemove --window \"$S\" 60 40 mousedown 1\n"
                                  "xdotool mousemove --window \"$S\" 70 45 mousemove --window \"$T\" 70 20 mousemove --window \"$T\" 78 28\n";
    source.urls = {QUrl::fromLocalFile(QString::fromStdString(files.file("c.txt")))};
    ASSERT_TRUE(Drive(drag + "until [ -e " + Quote(source.answeredFlag) + " ]; do sleep 0.1; done\nxdotool mouseup 1\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return source.result.has_value(); }));
    EXPECT_EQ(*source.result, Qt::CopyAction) << "the drag source must never delete what it dragged";
    std::string windows; // what stands in the way, should the print not come
    EXPECT_TRUE(QTest::qWaitFor([&] { return pdfs() == 2u; }, 60000) ||
                run("xdotool search --onlyvisible --name . getwindowname %@", &windows) < 0)
        << readFile(place.file("log")) << "windows on screen:\n" << windows;

    // The answer of the first drag must not stand for this one's.
    source.result.reset();
    source.answered = Qt::IgnoreAction;
    source.urls = {QUrl::fromLocalFile(QString::fromStdString(files.file("c.txt"))), QUrl("https://example.org/page.html")};
    ASSERT_TRUE(Drive(drag + "xdotool mousemove --window \"$T\" 80 26 mousemove --window \"$T\" 78 28 mouseup 1\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return source.result.has_value(); }));
    EXPECT_EQ(*source.result, Qt::IgnoreAction);
    EXPECT_EQ(source.answered, Qt::IgnoreAction);

    Stop(toolbar);
    EXPECT_EQ(pdfs(), 2u);
}

} // namespace
} // namespace velm

#include "desktop_test.moc"
