// Standard input kept in a file, since the engine reads its input by name.
// The first few megabytes are held in memory, so that the job's folder can
// be chosen by the input's size; the file then goes into that folder, which
// the clean-up after a crash removes with it.
#pragma once

#include <cstdint>
#include <string>

namespace velm {

class SpooledInput {
public:
    // Held in memory at most; a longer input goes on disk.
    static constexpr std::size_t kHeld = 4 << 20;

    // Reads standard input up to kHeld bytes; throws FileError when it cannot.
    SpooledInput();
    ~SpooledInput(); // removes the file
    SpooledInput(const SpooledInput&) = delete;
    SpooledInput& operator=(const SpooledInput&) = delete;

    // The input's size when all of it is held, else kUnknownSize.
    std::uintmax_t size() const;
    // Writes what is held and the rest of standard input into a file in
    // folder; throws FileError naming the reason when it cannot.
    void keepIn(const std::string& folder);
    const std::string& path() const { return path_; }

private:
    std::string held_;
    bool whole_ = false; // held_ is all of standard input
    std::string path_;
};

} // namespace velm
