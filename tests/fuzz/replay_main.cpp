// Replays inputs through one harness without libFuzzer, so every harness
// builds and runs in the normal build: each argument is a file or a folder
// (all files under it, in name order). The harnesses change the current
// folder, so the inputs are listed before the first one runs.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void addInputs(const fs::path& argument, std::vector<fs::path>& files)
{
    if (!fs::is_directory(argument)) {
        files.push_back(fs::absolute(argument));
        return;
    }
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(argument))
        if (entry.is_regular_file())
            found.push_back(fs::absolute(entry.path()));
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i)
        addInputs(argv[i], files);
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", file.c_str());
            return 1;
        }
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    return files.empty() ? 1 : 0;
}
