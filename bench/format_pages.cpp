// Formats a text file into stored pages on a 600-dpi, 4800 x 6600 test
// printer and reports how fast: the engine's formatting alone, without any
// printing. Usage: format_pages FILE [1x1|1x2|1x3|1x4|2x2|2x4]
// Run it in a scratch folder: the stored pages are written there and
// deleted when the job ends.
#include "engine/Gdi.h"
#include "engine/PrnFile.h"
#include "engine/UserInterface.h"
#include "support/test_printer.h"

#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>

namespace {

velm::TPageLayout LayoutNamed(const char* name)
{
    const char* const names[] = {"1x1", "1x2", "1x3", "1x4", "2x2", "2x4"};
    for (int i = 0; i < 6; ++i)
        if (std::strcmp(name, names[i]) == 0)
            return static_cast<velm::TPageLayout>(i);
    return velm::pl_1x1;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: format_pages FILE [LAYOUT]\n");
        return 2;
    }
    using namespace velm;
    const testing::TestPrinter printer(".", 4800, 6600, 600, "Bench 600");

    TPrintFile job;
    job.Filename = argv[1];
    job.OutputTo = poViewer; // no preview window: the job deletes its pages
    job.PageLayout = argc > 2 ? LayoutNamed(argv[2]) : pl_1x1;
    int pages = 0;
    job.OnAfterPrint = [&pages](TPrintFile* sender) { pages = sender->Gdi()->PageCount(); };

    const auto start = std::chrono::steady_clock::now();
    try {
        job.Execute();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "format_pages: %s\n", e.what());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("pages %d seconds %.2f pages/s %.0f\n", pages, seconds, seconds > 0 ? pages / seconds : 0.0);
    return pages > 0 ? 0 : 1;
}
