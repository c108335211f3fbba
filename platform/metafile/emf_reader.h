// Decodes an enhanced metafile into calls on a PageDevice. All playback
// state lives here (object table, selections, colours, modes, position,
// mapping, SAVEDC stack). Damaged input is never read out of bounds: a
// record that does not fit is reported and playback stops there; unknown
// records are skipped by their size.
#pragma once

#include "platform/metafile/page_device.h"
#include "platform/metafile/play_result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velm {

using EmfPlayResult = PlayResult;

class EmfReader {
public:
    // Parses the header (88-, 100- or 108-byte forms); isValid() is false
    // when there is no sound header: no " EMF" signature, a bad header size,
    // or no device size in pixels and millimetres.
    explicit EmfReader(std::vector<std::uint8_t> bytes);
    static EmfReader fromFile(const std::string& path); // unreadable: invalid reader

    bool isValid() const { return valid_; }
    const std::string& problem() const { return problem_; }
    const PageSpace& space() const { return space_; }

    // Plays every record onto the device: beginPage(space), the drawing
    // calls, endPage(). Playback starts from the state of a fresh device
    // context (EMF-REFERENCE.md 3.5) and stops at EMR_EOF, at the header's
    // nBytes, or at the first record whose size is bad (< 8, not a multiple
    // of 4, past the end); endPage() is called in every case. A record too
    // short for its type or with offsets outside itself is reported and
    // skipped by its size. An invalid reader plays nothing (no beginPage)
    // and reports its problem. Never throws for any input (nor do devices,
    // page_device.h); does not change
    // the reader, so one reader may play many times.
    EmfPlayResult play(PageDevice& device) const;

private:
    std::vector<std::uint8_t> bytes_;
    PageSpace space_;
    std::size_t end_ = 0;          // where the walk stops: nBytes or the end of the data
    std::uint32_t declaredBytes_ = 0;
    std::uint32_t declaredRecords_ = 0;
    std::uint32_t declaredHandles_ = 0;
    bool valid_ = false;
    std::string problem_;
};

} // namespace velm
