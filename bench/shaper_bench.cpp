// The shaper alone, line by line, Arial at 10 points on 300 dpi:
//   BM_AsciiTodaysPath   5 MB of ASCII (the licences in /usr/share/common-licenses) measured the
//                        way lines were measured before shaping (textAdvances)
//   BM_AsciiShaper       the same lines through shapeLine (the fast path)
//   BM_ComplexShaper     5 MB of translated lines in 32 scripts and mixed directions
//                        (tests/data/scripts/catalogues.tsv) through shapeLine
// Each reports input bytes per second; the first two run side by side.
#include "platform/core/codepage.h"
#include "platform/rendering/fonts.h"
#include "platform/rendering/shaper.h"

#include <QGuiApplication>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace velm {
namespace {

constexpr std::size_t kBytes = 5 * 1000 * 1000;

LogFont Arial()
{
    LogFont f;
    f.faceName = u"Arial";
    f.height = -42;
    return f;
}

struct Corpus {
    std::vector<std::u16string> lines;
    std::size_t bytes = 0;
};

// Lines repeated until they make up 5 MB of UTF-8.
Corpus Repeated(const std::vector<std::string>& source)
{
    Corpus c;
    for (std::size_t i = 0; c.bytes < kBytes && !source.empty(); ++i) {
        const std::string& line = source[i % source.size()];
        c.lines.push_back(toUnicode(line));
        c.bytes += line.size() + 1;
    }
    return c;
}

const Corpus& Ascii()
{
    static const Corpus corpus = [] {
        std::vector<std::string> lines;
        for (const auto& entry : std::filesystem::directory_iterator("/usr/share/common-licenses")) {
            std::ifstream in(entry.path());
            for (std::string line; std::getline(in, line);)
                if (!line.empty() && std::all_of(line.begin(), line.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
                    lines.push_back(line);
        }
        return Repeated(lines);
    }();
    return corpus;
}

const Corpus& Complex()
{
    static const Corpus corpus = [] {
        std::vector<std::string> lines;
        std::ifstream in(VELM_SOURCE_DIR "/tests/data/scripts/catalogues.tsv");
        for (std::string row; std::getline(in, row);)
            if (!row.empty() && row[0] != '#')
                lines.push_back(row.substr(row.rfind('\t') + 1));
        return Repeated(lines);
    }();
    return corpus;
}

void Report(benchmark::State& state, const Corpus& corpus, std::size_t units)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * corpus.bytes));
    state.counters["lines"] = static_cast<double>(corpus.lines.size());
    state.counters["units/line"] = static_cast<double>(units) / static_cast<double>(corpus.lines.size());
}

void BM_AsciiTodaysPath(benchmark::State& state)
{
    const Corpus& corpus = Ascii();
    std::size_t units = 0;
    for (auto _ : state) {
        units = 0;
        for (const std::u16string& line : corpus.lines) {
            const std::vector<int> advances = textAdvances(Arial(), line);
            units += advances.size();
            benchmark::DoNotOptimize(advances.data());
        }
    }
    Report(state, corpus, units);
}

void Shape(benchmark::State& state, const Corpus& corpus)
{
    ShapedLine shaped;
    std::size_t units = 0;
    for (auto _ : state) {
        units = 0;
        for (const std::u16string& line : corpus.lines) {
            shapeLine(Arial(), line, shaped);
            units += shaped.advances.size();
            benchmark::DoNotOptimize(shaped.advances.data());
        }
    }
    Report(state, corpus, units);
}

void BM_AsciiShaper(benchmark::State& state) { Shape(state, Ascii()); }
void BM_ComplexShaper(benchmark::State& state) { Shape(state, Complex()); }

BENCHMARK(BM_AsciiTodaysPath)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AsciiShaper)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ComplexShaper)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace velm

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
