// Standard input kept in a private file, since the engine reads its input
// by name.
#pragma once

#include <string>

namespace velm {

class SpooledInput {
public:
    // Copies all of standard input into a new file in folder; throws
    // FileError when it cannot.
    explicit SpooledInput(const std::string& folder);
    ~SpooledInput(); // removes the file
    SpooledInput(const SpooledInput&) = delete;
    SpooledInput& operator=(const SpooledInput&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace velm
