// Decodes an enhanced metafile into calls on a PageDevice. All playback
// state lives here (object table, selections, colours, modes, position,
// mapping, SAVEDC stack). Damaged input is never read out of bounds: a
// record that does not fit is reported and playback stops there; unknown
// records are skipped by their size.
#pragma once

#include "platform/page_device.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velm {

struct EmfPlayResult {
    bool ok = true;           // false: the file was damaged; played as far as it was sound
    std::string problem;      // what was wrong, for logs and tests
    int recordsPlayed = 0;
};

class EmfReader {
public:
    // Parses the header; isValid() is false when there is no sound header.
    explicit EmfReader(std::vector<std::uint8_t> bytes);
    static EmfReader fromFile(const std::string& path); // unreadable: invalid reader

    bool isValid() const { return valid_; }
    const std::string& problem() const { return problem_; }
    const PageSpace& space() const { return space_; }

    // Plays every record onto the device: beginPage(space), the drawing
    // calls, endPage(). An invalid reader plays nothing and reports it.
    EmfPlayResult play(PageDevice& device) const;

private:
    std::vector<std::uint8_t> bytes_;
    PageSpace space_;
    std::size_t headerSize_ = 0;
    bool valid_ = false;
    std::string problem_;
};

} // namespace velm
