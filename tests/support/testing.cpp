#include "support/testing.h"

#include "platform/files.h"
#include "platform/printer.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QPointer>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>

namespace fs = std::filesystem;

namespace velm::testing {

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "velm-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

void TempDir::write(const std::string& name, const std::string& bytes) const
{
    std::ofstream out(file(name), std::ios::binary);
    out << bytes;
}

CurrentDir::CurrentDir(const std::string& path) : previous_(currentDirectory())
{
    if (!setCurrentDirectory(path))
        throw std::runtime_error("cannot enter " + path);
}

CurrentDir::~CurrentDir() { setCurrentDirectory(previous_); }

FileSizeLimit::FileSizeLimit(long maxBytes) : previousHandler_(std::signal(SIGXFSZ, SIG_IGN))
{
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = static_cast<rlim_t>(maxBytes);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
        throw std::runtime_error("cannot limit the file size");
}

FileSizeLimit::~FileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
}

TestPrinter::TestPrinter(const std::string& outputFolder, int width, int height, int dpi,
                         const std::string& name)
    : previousIndex_(Printers::instance().printerIndex())
{
    PrinterCaps caps;
    caps.horzRes = width;
    caps.vertRes = height;
    caps.logPixelsX = caps.logPixelsY = dpi;
    caps.horzSizeMm = static_cast<int>(width * 25.4 / dpi + 0.5);
    caps.vertSizeMm = static_cast<int>(height * 25.4 / dpi + 0.5);
    Printers::instance().setPrinterIndex(
        Printers::instance().addTestPrinter(name, caps, outputFolder));
}

TestPrinter::~TestPrinter()
{
    Printers::instance().removeTestPrinters();
    Printers::instance().setPrinterIndex(previousIndex_);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

int run(const std::string& command, std::string* output)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        if (output)
            output->append(buffer, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string settingsFolder() { return std::getenv("VELM_CONFIG_DIR"); }

std::string sourcePath(const std::string& relative) { return std::string(VELM_SOURCE_DIR) + "/" + relative; }

bool waitUntil(const std::function<bool()>& happened, std::chrono::seconds ceiling)
{
    const auto end = std::chrono::steady_clock::now() + ceiling;
    while (!happened()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

bool requireAll()
{
    const char* value = std::getenv("VELM_REQUIRE_ALL");
    return value && std::string(value) == "1";
}

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

int main(int argc, char** argv)
{
    // Private settings and PDF folders for this program, so that no test
    // touches a user's files.
    static velm::testing::TempDir home;
    fs::create_directories(home.file("config"));
    fs::create_directories(home.file("pdf"));
    setenv("VELM_CONFIG_DIR", home.file("config").c_str(), 1);
    setenv("VELM_PDF_DIR", home.file("pdf").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
