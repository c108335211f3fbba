// Stored pages: recording a dense page to a file, reading it back, and
// playing it onto the built-in PDF printer's document.
#include "bench/hot_paths.h"

#include "platform/core/codepage.h"
#include "platform/metafile/emf_reader.h"
#include "platform/metafile/emf_recorder.h"
#include "platform/rendering/fonts.h"
#include "support/logging_device.h"
#include "platform/printing/printer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace velm::bench {

namespace {

constexpr int kBodyLines = 60;
constexpr int kHeadings = 3;
constexpr int kBoxLines = 5; // four sides of the header box and the footer rule

LogFont Face(const char16_t* name, int height, int weight)
{
    LogFont font;
    font.height = height;
    font.weight = weight;
    font.faceName = name;
    return font;
}

struct Run {
    std::u16string text;
    std::vector<int> dx;
};

Run Measured(const LogFont& font, const std::string& text)
{
    Run run{toUnicode(text), {}};
    run.dx = textAdvances(font, run.text);
    return run;
}

// What a dense page holds, measured once: headings and 80-character body
// lines in Courier New 10 pt at the built-in printer's 600 dpi.
struct DensePageText {
    PageGeometry geometry;
    LogFont heading = Face(u"Arial", -100, 700);
    LogFont body = Face(u"Courier New", -83, 400);
    std::vector<Run> headings;
    std::vector<Run> lines;

    DensePageText()
    {
        const PrinterCaps caps = Printers::instance().selected().caps();
        geometry = {caps.horzRes, caps.vertRes, caps.logPixelsX, caps.logPixelsY};
        for (const char* text : {"hot_paths", "Page Header", "Page 1"})
            headings.push_back(Measured(heading, text));
        for (const std::string& line : WordLines(80, 10 * kBodyLines))
            lines.push_back(Measured(body, line));
    }
};

const DensePageText& Dense()
{
    static const DensePageText text;
    return text;
}

// Draws the page with the body from line `first` on, as the surface draws
// a sheet: a boxed header, the body lines, a footer rule.
void DrawDensePage(EmfRecorder& page, std::size_t first)
{
    const DensePageText& text = Dense();
    const int width = text.geometry.widthPx;
    page.setBkMode(TRANSPARENT);
    const GdiHandle pen = page.createPen(LogPen{PS_SOLID, 1, 0});
    const GdiHandle oldPen = page.selectObject(pen);
    const Point box[] = {{150, 150}, {width - 150, 150}, {width - 150, 290}, {150, 290}, {150, 150}};
    page.moveTo(box[0].x, box[0].y);
    for (int i = 1; i < 5; ++i)
        page.lineTo(box[i].x, box[i].y);

    const GdiHandle heading = page.createFont(text.heading);
    const GdiHandle oldFont = page.selectObject(heading);
    for (int i = 0; i < kHeadings; ++i) {
        const Run& run = text.headings[static_cast<std::size_t>(i)];
        page.textOut(200 + i * (width - 800) / 2, 170, run.text, run.dx);
    }
    const GdiHandle body = page.createFont(text.body);
    page.selectObject(body);
    page.deleteObject(heading);
    for (int i = 0; i < kBodyLines; ++i) {
        const Run& run = text.lines[(first + static_cast<std::size_t>(i)) % text.lines.size()];
        page.textOut(160, 380 + 105 * i, run.text, run.dx);
    }
    page.moveTo(150, text.geometry.heightPx - 200);
    page.lineTo(width - 150, text.geometry.heightPx - 200);
    page.selectObject(oldFont);
    page.deleteObject(body);
    page.selectObject(oldPen);
    page.deleteObject(pen);
}

void SaveDensePage(const std::string& path, std::size_t first)
{
    EmfRecorder page(Dense().geometry);
    DrawDensePage(page, first);
    page.saveTo(path);
}

// Empty when the page decodes soundly to its headings, body lines and box.
std::string DensePageProblem(const std::string& path)
{
    LoggingDevice log;
    const EmfReader reader = EmfReader::fromFile(path);
    const EmfPlayResult result = reader.play(log);
    if (!reader.isValid() || !result.ok)
        return "the stored page is damaged: " + (reader.isValid() ? result.problem : reader.problem());
    int body = 0;
    for (const auto* call : log.callsOf("text"))
        body += call->text.font.height == Dense().body.height && call->text.text.size() > 40;
    if (body != kBodyLines || log.callsOf("text").size() != kBodyLines + kHeadings)
        return "the stored page does not hold its " + std::to_string(kBodyLines) + " body lines";
    if (log.callsOf("line").size() != kBoxLines)
        return "the stored page lost its box";
    return {};
}

const std::string& DensePageFile()
{
    static const std::string path = [] {
        const std::string file = ScratchFile("dense.emf");
        SaveDensePage(file, 0);
        return file;
    }();
    return path;
}

// Takes every call and draws nothing, keeping count so nothing is optimised away.
class CountingDevice : public PageDevice {
public:
    void beginPage(const PageSpace&) override { ++calls; }
    void endPage() override { ++calls; }
    void line(PointF, PointF, const LogPen&, double) override { ++calls; }
    void polyline(const std::vector<PointF>&, const LogPen&, double) override { ++calls; }
    void polygon(const std::vector<PointF>&, const LogPen&, double, const LogBrush&, int) override { ++calls; }
    void fillRect(double, double, double, double, const LogBrush&) override { ++calls; }
    void rectangle(double, double, double, double, const LogPen&, double, const LogBrush&) override { ++calls; }
    void text(const TextRun& run) override
    {
        ++calls;
        ++texts;
        units += run.text.size() + run.dx.size();
    }
    void intersectClip(double, double, double, double) override { ++calls; }
    void resetClip() override { ++calls; }

    std::size_t calls = 0, texts = 0, units = 0;
};

void BM_RecordDensePage(benchmark::State& state)
{
    const std::string path = ScratchFile("recorded.emf");
    SaveDensePage(path, 0);
    const std::string problem = DensePageProblem(path);
    if (!problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(path));
    std::filesystem::remove(path);
    // A new file for every page, as a job stores them; each batch of
    // files is removed untimed.
    constexpr int kBatch = 100;
    const auto file = [](int n) { return ScratchFile("recorded" + std::to_string(n) + ".emf"); };
    const auto removeBatch = [&file] {
        for (int n = 0; n < kBatch; ++n)
            std::filesystem::remove(file(n));
    };
    int page = 0;
    for (auto _ : state) {
        SaveDensePage(file(page % kBatch), static_cast<std::size_t>(page) * kBodyLines);
        if (++page % kBatch == 0) {
            state.PauseTiming();
            removeBatch();
            state.ResumeTiming();
        }
    }
    removeBatch();
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(bytes * state.iterations());
    state.counters["bytes/page"] = static_cast<double>(bytes);
}
BENCHMARK(BM_RecordDensePage)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same page recorded into memory only: the recorder without the file.
void BM_RecordDensePageInMemory(benchmark::State& state)
{
    const std::string path = ScratchFile("in-memory.emf");
    SaveDensePage(path, 0);
    std::string problem = DensePageProblem(path);
    EmfRecorder check(Dense().geometry);
    DrawDensePage(check, 0);
    const std::vector<std::uint8_t> kept = check.finish();
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> stored{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (problem.empty() && kept != stored)
        problem = "the page in memory differs from the stored page";
    std::filesystem::remove(path);
    if (!problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    std::size_t first = 0, bytes = 0;
    for (auto _ : state) {
        EmfRecorder page(Dense().geometry);
        DrawDensePage(page, first);
        bytes += page.finish().size();
        first += kBodyLines;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_RecordDensePageInMemory)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Reading the file and decoding every record, drawing nothing.
void ReadAndPlay(benchmark::State& state, bool fromFile)
{
    const std::string& path = DensePageFile();
    const std::string problem = DensePageProblem(path);
    if (!problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    const EmfReader loaded = EmfReader::fromFile(path);
    CountingDevice device;
    bool sound = true;
    for (auto _ : state) {
        if (fromFile)
            sound &= EmfReader::fromFile(path).play(device).ok;
        else
            sound &= loaded.play(device).ok;
    }
    if (!sound || device.texts != static_cast<std::size_t>(kBodyLines + kHeadings) * state.iterations())
        state.SkipWithError("playback lost text runs");
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(std::filesystem::file_size(path)) * state.iterations());
}

void BM_ReadDensePageFromFile(benchmark::State& state) { ReadAndPlay(state, true); }
void BM_PlayLoadedDensePage(benchmark::State& state) { ReadAndPlay(state, false); }
BENCHMARK(BM_ReadDensePageFromFile)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_PlayLoadedDensePage)->Unit(benchmark::kMicrosecond)->UseRealTime();

// One document per run on the built-in PDF printer, one sheet per
// iteration, as printing stored pages does. Ending the document (writing
// fonts and the file's tail) is reported apart as end_ms.
void BM_PlayDensePageOntoPdf(benchmark::State& state)
{
    const std::string& path = DensePageFile();
    const std::string problem = DensePageProblem(path);
    if (!problem.empty()) {
        state.SkipWithError(problem.c_str());
        return;
    }
    try {
        std::unique_ptr<PrintDocument> document = Printers::instance().selected().beginDocument("hot_paths");
        bool sound = true, firstSheet = true;
        for (auto _ : state) {
            if (!firstSheet)
                document->newPage();
            firstSheet = false;
            sound &= EmfReader::fromFile(path).play(document->device()).ok;
        }
        const auto start = std::chrono::steady_clock::now();
        document->end();
        const std::chrono::duration<double, std::milli> ending = std::chrono::steady_clock::now() - start;
        const std::string pdf = document->outputPath();
        const auto bytes = std::filesystem::exists(pdf) ? std::filesystem::file_size(pdf) : 0;
        std::filesystem::remove(pdf);
        if (!sound || bytes == 0 || document->sheetCount() != state.iterations()) {
            state.SkipWithError("the PDF was not written with one sheet per page");
            return;
        }
        state.SetItemsProcessed(state.iterations());
        state.counters["end_ms"] = ending.count();
        state.counters["PDF bytes/page"] = static_cast<double>(bytes) / static_cast<double>(state.iterations());
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(BM_PlayDensePageOntoPdf)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

} // namespace velm::bench
