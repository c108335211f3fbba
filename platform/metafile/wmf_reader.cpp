#include "platform/metafile/wmf_reader.h"

#include "platform/metafile/wmf_player.h"

#include <algorithm>

namespace velm {

using namespace wmf;

namespace {

constexpr std::uint32_t PlaceableKey = 0x9AC6CDD7;
constexpr std::size_t PlaceableSize = 22;
constexpr std::size_t MetaHeaderSize = 18;
constexpr int MaxPictureSide = 4000;

} // namespace

WmfReader::WmfReader(std::string bytes) : bytes_(std::move(bytes))
{
    const std::string_view in = bytes_;
    std::size_t at = 0;
    bool placeable = false;
    if (fits(in, 0, PlaceableSize) && loadU32(in, 0) == PlaceableKey) {
        placeable = true;
        box_ = {loadI16(in, 6), loadI16(in, 8), loadI16(in, 10), loadI16(in, 12)};
        if (box_.right < box_.left)
            std::swap(box_.left, box_.right);
        if (box_.bottom < box_.top)
            std::swap(box_.top, box_.bottom);
        const int inch = loadU16(in, 14) ? loadU16(in, 14) : 1440;
        width_ = std::clamp(box_.width() * 96 / inch, 1, MaxPictureSide);
        height_ = std::clamp(box_.height() * 96 / inch, 1, MaxPictureSide);
        at = PlaceableSize;
    }
    if (!fits(in, at, MetaHeaderSize) || (loadU16(in, at) != 1 && loadU16(in, at) != 2) ||
        loadU16(in, at + 2) != 9) {
        problem_ = "not a Windows metafile";
        return;
    }
    objectCount_ = loadU16(in, at + 10);
    firstRecord_ = at + MetaHeaderSize;
    if (!placeable)
        fitWindow();
    valid_ = true;
}

void WmfReader::fitWindow()
{
    // Without a box the picture covers the window the file sets first.
    const std::string_view in = bytes_;
    box_ = {0, 0, width_, height_};
    for (std::size_t r = firstRecord_; fits(in, r, RecordHeaderSize);) {
        const std::uint64_t size = std::uint64_t{loadU32(in, r)} * 2;
        if (size < RecordHeaderSize || !fits(in, r, size) || loadU16(in, r + 4) == META_EOF)
            return;
        if (loadU16(in, r + 4) == META_SETWINDOWEXT && size >= RecordHeaderSize + 4 && loadI16(in, r + 6) > 0 &&
            loadI16(in, r + 8) > 0) {
            box_ = {0, 0, loadI16(in, r + 8), loadI16(in, r + 6)};
            const double fit = std::min(1.0, 1000.0 / std::max(box_.width(), box_.height()));
            width_ = std::max(1, static_cast<int>(box_.width() * fit));
            height_ = std::max(1, static_cast<int>(box_.height() * fit));
            return;
        }
        r += size;
    }
}

WmfPlayResult WmfReader::play(PageDevice& device) const
{
    if (!valid_) {
        WmfPlayResult result;
        result.ok = false;
        result.problem = problem_;
        return result;
    }
    PageSpace space;
    space.widthPx = width_;
    space.heightPx = height_;
    space.widthMm = width_ * 25.4 / 96;
    space.heightMm = height_ * 25.4 / 96;
    space.frame = {0, 0, static_cast<int>(space.widthMm * 100), static_cast<int>(space.heightMm * 100)};
    device.beginPage(space);
    WmfPlayResult result = playRecords(bytes_, firstRecord_, device, objectCount_, box_, width_, height_);
    device.resetClip();
    device.endPage();
    return result;
}

} // namespace velm
