// Decodes a Windows metafile (WMF, with or without the placeable header)
// into calls on a PageDevice, so pictures play through the same devices as
// stored pages. All playback state lives here (object table, selections,
// colours, modes, position, window mapping, SAVEDC stack). Damaged input is
// never read out of bounds: a record that does not fit stops playback there;
// unknown records and bitmaps are skipped by their size.
#pragma once

#include "platform/metafile/page_device.h"

#include <string>
#include <string_view>

namespace velm {

struct WmfPlayResult {
    bool ok = true;           // false: damaged; played as far as it was sound
    std::string problem;
    int recordsPlayed = 0;
};

class WmfReader {
public:
    // Parses the headers; isValid() is false when there is no sound header.
    explicit WmfReader(std::string bytes);

    bool isValid() const { return valid_; }
    const std::string& problem() const { return problem_; }
    // The picture's size in pixels at 96 per inch (the placeable header's
    // box, else the window extent the file sets, else 640 x 480).
    int width() const { return width_; }
    int height() const { return height_; }

    // beginPage with the picture's space, the drawing calls in picture
    // pixels, endPage. An invalid reader plays nothing and reports it.
    // Never throws for any input.
    WmfPlayResult play(PageDevice& device) const;

private:
    std::string bytes_;
    std::size_t firstRecord_ = 0;
    int objectCount_ = 0;
    Rect box_;       // logical window the picture covers
    int width_ = 640;
    int height_ = 480;
    bool valid_ = false;
    std::string problem_;
};

} // namespace velm
