// Micro-benchmarks of the engine's hot paths: the line reader, highlighting and word
// wrapping here, stored-page writing, reading and playing in
// hot_paths_emf.cpp. Every case checks what it produced once, so a broken
// set-up reports an error instead of a fast nonsense figure.
// Run as build/bench/hot_paths [--benchmark_filter=REGEX].
#include "bench/hot_paths.h"

#include "engine/FileReader.h"
#include "engine/Gdi.h"
#include "engine/SourceStyler.h"
#include "platform/core/convert.h"
#include "platform/metafile/emf_reader.h"
#include "platform/system/files.h"
#include "support/logging_device.h"
#include "platform/printing/printer.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace velm::bench {

namespace {

std::string gScratch;

std::string ReadWhole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string MakeLicenceText()
{
    std::string text;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/share/common-licenses"))
        if (entry.is_regular_file() && !entry.is_symlink())
            for (char c : ReadWhole(entry.path()))
                if (c == '\n' || (c >= ' ' && c <= '~'))
                    text.push_back(c);
    return text;
}

std::vector<std::string> SplitWords(const std::string& text)
{
    std::vector<std::string> words;
    std::string word;
    for (char c : text + ' ') {
        if (c != ' ' && c != '\n') {
            word.push_back(c);
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    return words;
}

// `bytes` of the licence text repeated, in plain text or as HTML (escaped,
// paragraphs at blank lines, every seventh line in bold).
std::string WriteInput(const std::string& name, std::size_t bytes, bool html)
{
    std::string source;
    if (!html) {
        source = LicenceText();
    } else {
        std::size_t lineNo = 0;
        std::string line;
        for (char c : LicenceText()) {
            if (c != '\n') {
                line += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
                continue;
            }
            source += line.empty() ? "<p>" : ++lineNo % 7 == 0 ? "<b>" + line + "</b>" : line;
            source += '\n';
            line.clear();
        }
    }
    std::string text;
    while (text.size() < bytes)
        text += source;
    text.resize(bytes);
    const std::string path = ScratchFile(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// Characters the reader hands out as pieces: everything but the line ends.
std::size_t PieceBytes(const std::string& path)
{
    const std::string text = ReadWhole(path);
    return text.size() - static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

void ReadWholeFile(benchmark::State& state, bool plainText)
{
    static const std::string plainPath = WriteInput("in5m.txt", 5'000'000, false);
    static const std::string htmlPath = WriteInput("in5m.html", 5'000'000, true);
    const std::string& path = plainText ? plainPath : htmlPath;
    const std::size_t expected = PieceBytes(path);
    TFileReader reader;
    std::string piece;
    std::size_t pieces = 0, total = 0;
    for (auto _ : state) {
        reader.Open(path, plainText);
        while (reader.ReadLine(piece) != 0) {
            total += piece.size();
            ++pieces;
        }
        reader.Close();
    }
    if (total != expected * state.iterations())
        state.SkipWithError("the pieces do not add up to the file");
    state.SetBytesProcessed(static_cast<std::int64_t>(std::filesystem::file_size(path)) * state.iterations());
    state.counters["pieces/s"] = benchmark::Counter(static_cast<double>(pieces), benchmark::Counter::kIsRate);
}

void BM_ReadPlainText(benchmark::State& state) { ReadWholeFile(state, true); }
void BM_ReadHtml(benchmark::State& state) { ReadWholeFile(state, false); }
BENCHMARK(BM_ReadPlainText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadHtml)->Unit(benchmark::kMillisecond)->UseRealTime();

// The C headers every machine with a compiler has, as source lines.
std::vector<std::string> HeaderLines()
{
    std::vector<std::string> lines;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/include"))
        if (entry.is_regular_file() && entry.path().extension() == ".h") {
            std::istringstream in(ReadWhole(entry.path()));
            for (std::string line; std::getline(in, line);)
                lines.push_back(std::move(line));
        }
    return lines;
}

// Highlighting alone: the library's C definition on our matcher, over
// about 5 MB of headers. Every run's text adds up to the lines.
void BM_HighlightC(benchmark::State& state)
{
    static const std::vector<std::string> lines = HeaderLines();
    std::size_t bytes = 0;
    for (const std::string& line : lines)
        bytes += line.size();
    const std::size_t rounds = std::max<std::size_t>(1, 5'000'000 / std::max<std::size_t>(bytes, 1));
    std::size_t styled = 0;
    for (auto _ : state) {
        TSourceStyler styler("c", "");
        for (std::size_t round = 0; round < rounds; ++round)
            for (const std::string& line : lines)
                for (const TStyledRun& run : styler.StyleLine(line))
                    styled += run.Text.size();
    }
    if (styled != bytes * rounds * state.iterations())
        state.SkipWithError("the runs do not add up to the lines");
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes * rounds) * state.iterations());
}
BENCHMARK(BM_HighlightC)->Unit(benchmark::kMillisecond)->UseRealTime();

// A drawing surface as a 1x1 job on the built-in printer sets it up for
// Courier New 10 pt with the default quarter-inch borders and 1.5 spacing.
class JobSurface {
public:
    JobSurface()
    {
        const PrinterCaps caps = Printers::instance().selected().caps();
        PrinterCanvas().Font.PixelsPerInch = caps.logPixelsY;
        gdi_.BeginDocument(clWhite, "hot_paths", 100);
        TFont courier{"Courier New"};
        courier.SetSize(10);
        gdi_.SetFont(courier);
        const int border = UnitsToPixels(0.25, false);
        gdi_.SetTextArea(border + 10, 300, caps.horzRes - border - 10, caps.vertRes - 120);
        const int height = std::abs(PrinterCanvas().Font.Height);
        step_ = roundHalfEven(height * 1.5);
        firstY_ = roundHalfEven(height / 1.5) + 200 + step_;
        gdi_.SetLineHeight(step_);
        y_ = firstY_;
        gdi_.CarriageReturn();
    }
    ~JobSurface()
    {
        gdi_.EndPage();
        deleteFile(PageFileName(gdi_.PageCount()));
    }
    JobSurface(const JobSurface&) = delete;
    JobSurface& operator=(const JobSurface&) = delete;

    TGdi& gdi() { return gdi_; }
    int rows() const { return rows_; }
    int widestRow() const { return gdi_.Right() - gdi_.Left() - 10; }

    // One source line as the cell loop puts it: wrapped rows, then the line
    // break. A full page is stored untimed: writing pages is timed apart.
    void Put(benchmark::State* state, std::string text)
    {
        ++rows_; // the last row; every wrap below moves y on by one row
        for (;;) {
            const int top = y_;
            const bool done = gdi_.PutText(y_, text);
            rows_ += (y_ - top) / step_;
            if (done)
                break;
            TurnPage(state);
        }
        y_ += step_;
        gdi_.CarriageReturn();
        if (y_ > gdi_.Bottom())
            TurnPage(state);
    }

    // The rows of the open page as a reader decodes them.
    std::vector<std::string> StoredRows()
    {
        gdi_.EndPage();
        const std::string file = PageFileName(gdi_.PageCount());
        LoggingDevice log;
        EmfReader::fromFile(file).play(log);
        deleteFile(file);
        gdi_.NewPage();
        y_ = firstY_;
        return log.texts();
    }

private:
    void TurnPage(benchmark::State* state)
    {
        if (state)
            state->PauseTiming();
        gdi_.NewPage();
        deleteFile(PageFileName(gdi_.PageCount() - 1));
        y_ = firstY_;
        if (state)
            state->ResumeTiming();
    }

    TGdi gdi_;
    int step_ = 0, firstY_ = 0, y_ = 0, rows_ = 0;
};

std::string JoinWords(const std::vector<std::string>& rows)
{
    std::string joined;
    for (const std::string& row : rows)
        joined += (joined.empty() ? "" : " ") + row;
    return joined;
}

// The rows a surface stores for `lines` hold the same words, none wider
// than the text area.
bool WrapsFaithfully(JobSurface& surface, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        surface.Put(nullptr, line);
    const std::vector<std::string> rows = surface.StoredRows();
    for (const std::string& row : rows)
        if (surface.gdi().TextWidth(row) > surface.widestRow())
            return false;
    return JoinWords(rows) == JoinWords(lines);
}

void PutLines(benchmark::State& state, std::size_t lineChars)
{
    const std::vector<std::string> lines = WordLines(lineChars, 200);
    JobSurface surface;
    if (!WrapsFaithfully(surface, {lines[0], lines[1]})) {
        state.SkipWithError("the stored rows do not hold the words of the lines");
        return;
    }
    const int rowsBefore = surface.rows();
    std::size_t next = 0, bytes = 0;
    for (auto _ : state) {
        const std::string& line = lines[next++ % lines.size()];
        bytes += line.size();
        surface.Put(&state, line);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["rows/s"] =
        benchmark::Counter(surface.rows() - rowsBefore, benchmark::Counter::kIsRate);
}

void BM_PutText2000CharLines(benchmark::State& state) { PutLines(state, 2000); }
void BM_PutText80CharLines(benchmark::State& state) { PutLines(state, 80); }
BENCHMARK(BM_PutText2000CharLines)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_PutText80CharLines)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Wrapping alone, without recording: a 2000-character line cut into rows.
void BM_TakeWords2000CharLine(benchmark::State& state)
{
    const std::string line = WordLines(2000, 1)[0];
    JobSurface surface;
    TGdi& gdi = surface.gdi();
    std::vector<std::string> rows;
    for (std::string text = line; !text.empty();)
        rows.push_back(gdi.TakeWords(text, surface.widestRow()));
    if (JoinWords(rows) != line || rows.size() < 10) {
        state.SkipWithError("TakeWords lost or kept words");
        return;
    }
    std::size_t taken = 0;
    for (auto _ : state) {
        std::string text = line;
        while (!text.empty()) {
            benchmark::DoNotOptimize(gdi.TakeWords(text, surface.widestRow()));
            ++taken;
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(taken));
    state.SetBytesProcessed(static_cast<std::int64_t>(line.size()) * state.iterations());
}
BENCHMARK(BM_TakeWords2000CharLine)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

const std::string& ScratchFolder() { return gScratch; }

std::string ScratchFile(const std::string& name) { return gScratch + "/" + name; }

const std::string& LicenceText()
{
    static const std::string text = MakeLicenceText();
    return text;
}

const std::vector<std::string>& LicenceWords()
{
    static const std::vector<std::string> words = SplitWords(LicenceText());
    return words;
}

std::vector<std::string> WordLines(std::size_t maxChars, std::size_t count)
{
    const std::vector<std::string>& words = LicenceWords();
    std::vector<std::string> lines;
    std::size_t next = 0;
    while (lines.size() < count) {
        std::string line = words[next++ % words.size()];
        while (line.size() + 1 + words[next % words.size()].size() <= maxChars)
            line += " " + words[next++ % words.size()];
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace velm::bench

int main(int argc, char** argv)
{
    using namespace velm;
    char pattern[] = "/tmp/velm-hot-paths-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("hot_paths: cannot create a scratch folder");
        return 1;
    }
    velm::bench::gScratch = pattern;
    // Never the user's own settings or PDF folder.
    setenv("VELM_CONFIG_DIR", bench::ScratchFile("config").c_str(), 1);
    setenv("VELM_PDF_DIR", bench::ScratchFile("pdf").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::filesystem::create_directories(bench::ScratchFile("config"));
    std::filesystem::create_directories(bench::ScratchFile("pdf"));
    QGuiApplication app(argc, argv);
    setCurrentDirectory(bench::ScratchFolder()); // where stored pages go
    Printers::instance().setPrinterIndex(0);     // the built-in PDF printer

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    setCurrentDirectory("/");
    std::filesystem::remove_all(bench::ScratchFolder());
    return 0;
}
