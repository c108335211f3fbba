// Time to paint one dense stored page on the preview canvas: a full page of
// text with header and footer, formatted by a real job, read from disk,
// played and scaled on every paint as the canvas does.
#include "engine/PrnFile.h"
#include "engine/UserInterface.h"
#include "platform/system/files.h"
#include "platform/system/settings.h"
#include "preview/Drawscrn.h"
#include "preview/Presenter.h"

#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string gFolder;

// Formats the page once, leaving it stored as a preview job would.
void FormatDensePage()
{
    velm::TStringList lines;
    for (int i = 0; i < 200; ++i)
        lines.Lines.push_back("Line " + std::to_string(i)
                              + ": the quick brown fox jumps over the lazy dog, 0123456789.");
    velm::TPrintFile job;
    job.Input = velm::frTMemo;
    job.Memo = &lines;
    job.OutputTo = velm::poViewer;
    velm::ui().showPreview = [](velm::TPrintFile&, velm::TJobOutcome&) {}; // keep the pages
    job.Execute();
}

void PaintAt(benchmark::State& state, double percent)
{
    velm::TDrawIt canvas;
    canvas.SetZoom(percent);
    QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        canvas.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["width"] = canvas.width();
}

void BM_PaintStoredPage100(benchmark::State& state) { PaintAt(state, 100); }
void BM_PaintStoredPage300(benchmark::State& state) { PaintAt(state, 300); }
BENCHMARK(BM_PaintStoredPage100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintStoredPage300)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    char pattern[] = "/tmp/velm-bench-XXXXXX";
    gFolder = mkdtemp(pattern);
    setenv("VELM_CONFIG_DIR", gFolder.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    velm::InstallDesktopPresenter();
    velm::setCurrentDirectory(gFolder);
    FormatDensePage();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(gFolder);
    return 0;
}
