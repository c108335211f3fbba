// The preview under a real X server and window manager, driven by real
// input events (xdotool): the cases that only show there. A modal preview
// blocks input to every window that is not its own, and keys reach the
// focused widget the window system picks.
//
// The X server and openbox come from support/x_session.h.

#include "preview/Cb_view.h"

#include "preview_support.h"
#include "support/x_session.h"

#include "engine/UserInterface.h"
#include "platform/core/convert.h"
#include "preview/Drawscrn.h"
#include "preview/Pellido.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <utility>

extern char** environ;

using namespace velm;
using namespace velm::testing;

namespace {

// One step of the user: a shell script of xdotool commands, then the check
// of what the window did with the input.
struct Step {
    std::string name;
    std::string script;
    std::function<void()> check;
};

// Runs the steps one after the other while the preview's modal loop runs;
// a step that fails ends the preview, so nothing waits for ever.
class UserDriver {
public:
    UserDriver(TCB_Prev& window, std::vector<Step> steps) : window_(window), steps_(std::move(steps))
    {
        QObject::connect(&process_, &QProcess::finished, [this](int code) { Finished(code); });
    }
    ~UserDriver()
    {
        process_.disconnect();
        process_.waitForFinished(10000);
    }
    void Start() { Next(); }
    std::size_t done() const { return next_; }

private:
    void Next()
    {
        if (next_ == steps_.size())
            return;
        // Every search waits for the window to be mapped, within a bound. A
        // search that meets a window closing under it dies of an X error
        // (BadWindow) and is asked again.
        const std::string prelude = "set -e\n"
                                    "window_named() { until id=$(xdotool search --sync --onlyvisible --name \"$1\" 2>/dev/null"
                                    " | head -1) && [ -n \"$id\" ]; do sleep 0.1; done; echo \"$id\"; }\n"
                                    "W=$(window_named '^Velm Viewer$')\n";
        process_.start("timeout", {"60", "sh", "-c", QString::fromStdString(prelude + steps_[next_].script)});
    }
    void Finished(int code)
    {
        Step& step = steps_[next_];
        if (code != 0) {
            ADD_FAILURE() << step.name << ": the driver failed (" << code << "): "
                          << process_.readAllStandardError().toStdString();
            window_.done(0);
            return;
        }
        step.check();
        ++next_;
        Next();
    }

    TCB_Prev& window_;
    std::vector<Step> steps_;
    QProcess process_;
    std::size_t next_ = 0;
};

// Holds each reprint pass at its first page, with that page's document open
// and messages running as in the printer's abort callback, until the user's
// abort arrives: the pass cannot end before the user acts, and the abort is
// always seen while page 1 is open.
class HoldAtFirstPage {
public:
    HoldAtFirstPage() : previous_(ui().processMessages)
    {
        ui().processMessages = [this] {
            previous_();
            auto* dialog = dynamic_cast<TPrintDialog1*>(PrintDialog1);
            if (dialog && !dialog->Aborted()) {
                EXPECT_TRUE(QTest::qWaitFor([dialog] { return dialog->Aborted(); }, 60000))
                    << "no abort came";
            }
        };
    }
    ~HoldAtFirstPage() { ui().processMessages = previous_; }

private:
    std::function<void()> previous_;
};

const char* const kAbortPass = R"(
S=$(window_named '^Print Status$')
xdotool windowactivate --sync "$S"
%1
while xdotool getwindowname "$S" >/dev/null 2>&1; do sleep 0.1; done
)";

std::string Pass(const std::string& button, const std::string& abort)
{
    return "xdotool windowactivate --sync \"$W\" mousemove --window \"$W\" " + button + " click 1\n"
           + QString(kAbortPass).arg(QString::fromStdString(abort)).toStdString();
}

// The zoom box sits at 75,3 in the second panel, below the 33 pixels of the first.
std::string TypeZoom(const std::string& text)
{
    return "xdotool windowactivate --sync \"$W\" mousemove --window \"$W\" 120 48 click 1 key ctrl+a type '"
           + text + "'\nxdotool key Return\n";
}

int CanvasWidthAt(double percent) { return roundHalfEven(percent * 0.01 * 2400 * 17 / 48); }

TEST(WindowManager, AbortDuringAReprintAndTypedZoomsWithRealInput)
{
    ASSERT_TRUE(Session().problem().empty()) << Session().problem();
    InstallDesktopPresenter();
    ResetSettings();
    TempDir pages;
    TempDir elsewhere;
    CurrentDir restore(elsewhere.path());
    TempDir pdfs;
    TestPrinter printer(pdfs.path(), 2400, 3112, 300);
    WriteStoredPages(pages.path(), 10);
    DescribeStoredPages(pages.path());
    SetPrinterKey("Preview Heading", "Velm Viewer");
    CapturedErrors errors;
    HoldAtFirstPage hold;

    TCB_Prev window;
    const auto pdfCount = [&] { return filesIn(pdfs.path()).size(); };
    const auto zoomShown = [&](const char* entry, double percent) {
        return QTest::qWaitFor([&] {
            return window.PrintPreview->currentIndex() == 9 && window.PrintPreview->itemText(9) == entry
                   && window.DrawIt1->width() == CanvasWidthAt(percent);
        }, 10000);
    };
    // The print buttons "&All" at 225,2 and "&Odd" at 315,2, 88 by 26;
    // "&Abort" at 304,234, 75 by 33 in the status dialog.
    UserDriver user(window, {
        {"Abort clicked during All", Pass("269 15", "xdotool mousemove --window \"$S\" 341 250 click 1"),
         [&] { EXPECT_EQ(pdfCount(), 0u) << "page 1 is cancelled and no other page is sent"; }},
        {"Esc during Odd", Pass("359 15", "xdotool key Escape"),
         [&] { EXPECT_EQ(pdfCount(), 0u) << "page 1 is cancelled and no other page is sent"; }},
        {"typed 120", TypeZoom("120"), [&] { EXPECT_TRUE(zoomShown("120%", 120)); }},
        {"typed abc", TypeZoom("abc"),
         [&] {
             EXPECT_TRUE(QTest::qWaitFor([&] { return !errors.messages.empty(); }, 10000));
             EXPECT_EQ(errors.messages, std::vector<std::string>{"'abc' is not a valid floating point value"});
         }},
        // Esc in the box first: it must not close the preview.
        {"typed 25%", "xdotool windowactivate --sync \"$W\" key Escape\n" + TypeZoom("25%"),
         [&] { EXPECT_TRUE(zoomShown("25 %", 25)); }},
        // "Zoom out" at 25,49 and "Page Right" at 470,49; a pass (its status
        // dialog takes the focus) and the preview active again shows them still.
        {"page 3 at 10% after a pass",
         "xdotool windowactivate --sync \"$W\" mousemove --window \"$W\" 25 49 click 1 mousemove --window \"$W\" 470 49 "
         "click 1 click 1\n" + Pass("359 15", "xdotool key Escape"),
         [&] {
             EXPECT_TRUE(QTest::qWaitFor([&] { return window.isActiveWindow(); }, 10000));
             EXPECT_EQ(window.PrintPreview->currentIndex(), 8);
             EXPECT_EQ(window.DrawIt1->width(), CanvasWidthAt(10));
             EXPECT_EQ(window.DrawIt1->PageNo(), 3);
             EXPECT_EQ(window.PageNo->text(), "3") << "the box shows the page on display";
         }},
        {"Close", "xdotool mousemove --window \"$W\" 54 15 click 1\n", [] {}},
    });
    window.hide();
    window.raise();
    QTimer::singleShot(0, [&] { user.Start(); });
    EXPECT_EQ(window.exec(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return user.done() == 7u; }, 30000)) << user.done() << " steps done";
}

// Two previews in two processes share the settings file, which every job
// rewrites: each prints its own pages, also after the other has closed and
// taken its pages with it.
TEST(WindowManager, TwoPreviewsInTwoProcessesPrintTheirOwnPages)
{
    ASSERT_TRUE(Session().problem().empty()) << Session().problem();
    TempDir work;
    work.write("a.txt", "alpha, the first preview's only line\n");
    std::string bravo;
    for (int i = 1; i <= 300; ++i)
        bravo += "bravo line " + std::to_string(i) + "\n";
    work.write("b.txt", bravo);
    const auto preview = [&](const std::string& file) {
        const std::string pdfs = work.file(file + ".pdfs");
        std::filesystem::create_directory(pdfs);
        return Spawn({"sh", "-c", "VELM_PDF_DIR=" + Quote(pdfs) + " exec " + Quote(VELM_BINARY) + " --preview -P 'Velm PDF' "
                                      + Quote(work.file(file)) + " 2>" + Quote(work.file(file + ".log"))});
    };
    const pid_t a = preview("a.txt");
    const pid_t b = preview("b.txt");
    // A pass of A: its "&All" at 269,15 until A starts printing (a click on
    // a busy preview is dropped), then the end of the pass.
    const std::string pass = "A=" + std::to_string(a) + " PDFS=" + Quote(work.file("a.txt.pdfs")) + R"SH(
window_of() { until id=$(xdotool search --all --onlyvisible --pid "$1" --name '^Velm Viewer$' 2>/dev/null | head -1) && [ -n "$id" ]; do sleep 0.1; done; echo "$id"; }
pdfs() { ls "$PDFS" | grep -c '\.pdf$' || true; }
WA=$(window_of $A)
n=$(pdfs)
until [ "$(pdfs)" -gt "$n" ]; do
  xdotool windowactivate --sync "$WA" mousemove --window "$WA" 269 15 click 1
  for _ in $(seq 20); do [ "$(pdfs)" -gt "$n" ] && break; sleep 0.1; done
done
while xdotool search --all --pid "$A" --name '^Print Status$' >/dev/null 2>&1; do sleep 0.1; done
)SH";
    // B's window shows once B's job has rewritten the settings file.
    const std::string bUp = "until xdotool search --all --onlyvisible --pid " + std::to_string(b)
                            + " --name '^Velm Viewer$' >/dev/null 2>&1; do sleep 0.1; done\n";
    EXPECT_EQ(run("timeout 120 sh -c " + Quote(bUp + pass)), 0) << readFile(work.file("a.txt.log"));
    Stop(b); // closes B's preview, which deletes its pages
    EXPECT_EQ(run("timeout 120 sh -c " + Quote(pass)), 0) << readFile(work.file("a.txt.log"));
    Stop(a);
    const std::vector<std::string> printed = filesIn(work.file("a.txt.pdfs"));
    EXPECT_EQ(printed.size(), 2u) << "one page a pass";
    for (const std::string& pdf : printed) {
        std::string text;
        run("pdftotext " + Quote(work.file("a.txt.pdfs/" + pdf)) + " -", &text);
        EXPECT_NE(text.find("alpha"), std::string::npos) << pdf << ": " << text;
        EXPECT_EQ(text.find("bravo"), std::string::npos) << pdf;
    }
}

} // namespace
