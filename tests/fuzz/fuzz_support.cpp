#include "fuzz/fuzz_support.h"

#include <QGuiApplication>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include <unistd.h>

namespace fs = std::filesystem;

namespace velm::fuzz {
namespace {

std::string makeFolder()
{
    std::string pattern = (fs::temp_directory_path() / "velm-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    return pattern;
}

// A Qt warning means a call Qt refused, so a page drawn otherwise than
// asked: a finding like a crash.
void failOnWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        fail("Qt: " + message.toStdString());
}

void removeFolder()
{
    std::error_code ignored;
    fs::remove_all(prepare(), ignored);
}

std::string setUp()
{
    const std::string folder = makeFolder();
    fs::create_directories(folder + "/config");
    fs::create_directories(folder + "/pdf");
    fs::create_directories(folder + "/tmp");
    fs::create_directories(folder + "/runtime");
    fs::permissions(folder + "/runtime", fs::perms::owner_all);
    setenv("VELM_CONFIG_DIR", (folder + "/config").c_str(), 1);
    setenv("VELM_PDF_DIR", (folder + "/pdf").c_str(), 1);
    setenv("TMPDIR", (folder + "/tmp").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (folder + "/runtime").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The application lives for the process: Qt's fonts need it.
    static int argc = 1;
    static char name[] = "velm-fuzz";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
    qInstallMessageHandler(failOnWarnings);
    return folder;
}

} // namespace

const std::string& prepare()
{
    static const std::string folder = setUp();
    static const bool cleanup = std::atexit(removeFolder) == 0;
    (void)cleanup;
    return folder;
}

void fail(const std::string& what)
{
    std::fprintf(stderr, "velm-fuzz: %s\n", what.c_str());
    std::abort();
}

} // namespace velm::fuzz
