// What one tick of the folder monitor costs on a folder of 10,000 files:
// listing the files that carry the archive attribute when all are marked
// (a quiet folder, every tick) and when none is (a burst of new files), and
// deciding whether new files are done being written, by read lease and by
// the stamp rule that serves where leases cannot be had. For comparison,
// one scan of /proc/*/fd, the other way of finding open writers.
#include "platform/system/files.h"
#include "shell/Unit1.h"

#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int FileCount = 10000;

// A folder of FileCount small files, marked as seen or not.
class Folder {
public:
    explicit Folder(bool marked) : dir_(QDir::temp().filePath("velm-bench-XXXXXX"))
    {
        // Marks that files cannot carry go to the settings folder: keep it private.
        setenv("VELM_CONFIG_DIR", dir_.filePath(".config").toLocal8Bit().constData(), 1);
        for (int i = 0; i < FileCount; ++i) {
            const std::string file = velm::joinPath(path(), "file" + std::to_string(i) + ".txt");
            std::ofstream(file) << "a line of text " << i << "\n";
            if (marked)
                velm::setFileAttributes(file, 0);
            paths.push_back(file);
        }
    }
    std::string path() const { return dir_.path().toStdString(); }
    std::vector<std::string> paths;

private:
    QTemporaryDir dir_;
};

void List(benchmark::State& state, bool marked)
{
    const Folder folder(marked);
    velm::TFileListBox list;
    list.Directory = folder.path();
    for (auto _ : state) {
        list.Update();
        benchmark::DoNotOptimize(list.Items.data());
    }
    if (list.Items.size() != (marked ? 0u : static_cast<std::size_t>(FileCount)))
        state.SkipWithError("the list does not hold exactly the unmarked files");
    state.counters["files"] = FileCount;
}

void BM_ListQuietFolder(benchmark::State& state) { List(state, true); }
void BM_ListAllNew(benchmark::State& state) { List(state, false); }

void Done(benchmark::State& state, bool askWriters)
{
    const Folder folder(false);
    velm::WriteWatch watch(askWriters);
    // The files were looked at once before: the stamp rule can decide.
    for (const std::string& path : folder.paths)
        watch.done(path);
    watch.endLook();
    std::size_t done = 0;
    for (auto _ : state) {
        done = 0;
        for (const std::string& path : folder.paths)
            done += watch.done(path) ? 1 : 0;
        watch.endLook();
    }
    if (done != folder.paths.size())
        state.SkipWithError("a closed, unchanged file was not done");
    state.counters["files"] = FileCount;
}

void BM_DoneByLease(benchmark::State& state) { Done(state, true); }
void BM_DoneByStamp(benchmark::State& state) { Done(state, false); }

// Open files of one process, counted by reading where each points.
std::size_t OpenFilesOf(const std::string& process)
{
    const std::string fdFolder = "/proc/" + process + "/fd";
    DIR* fds = opendir(fdFolder.c_str());
    if (!fds)
        return 0;
    std::size_t links = 0;
    char target[4096];
    while (const dirent* fd = readdir(fds))
        if (readlink((fdFolder + "/" + fd->d_name).c_str(), target, sizeof target) > 0)
            ++links;
    closedir(fds);
    return links;
}

// Every open file of every process we may look at, as a writer search would.
void BM_ProcFdScan(benchmark::State& state)
{
    std::size_t links = 0;
    for (auto _ : state) {
        links = 0;
        DIR* proc = opendir("/proc");
        while (const dirent* process = readdir(proc))
            if (std::isdigit(static_cast<unsigned char>(process->d_name[0])))
                links += OpenFilesOf(process->d_name);
        closedir(proc);
    }
    state.counters["open files"] = static_cast<double>(links);
}

} // namespace

BENCHMARK(BM_ListQuietFolder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListAllNew)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DoneByLease)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DoneByStamp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcFdScan)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
