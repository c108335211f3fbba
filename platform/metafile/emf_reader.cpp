#include "platform/metafile/emf_reader.h"

#include "platform/core/codepage.h"
#include "platform/metafile/emf_player.h"
#include "platform/metafile/emf_text_source.h"

#include <algorithm>
#include <cmath>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <optional>
#include <utility>

namespace velm {

using namespace emf;

// The text, bitmap and region records.
namespace emf {

using namespace gdi;

void Player::onBitBlt(const Record& r)
{
    const std::uint32_t offBmi = r.u32(blt::offBmiSrc), cbBmi = r.u32(blt::cbBmiSrc);
    const std::uint32_t offBits = r.u32(blt::offBitsSrc), cbBits = r.u32(blt::cbBitsSrc);
    if ((cbBmi && !r.holds(offBmi, cbBmi, 1)) || (cbBits && !r.holds(offBits, cbBits, 1))) {
        log_.recordDamaged("has bitmap offsets outside the record");
        return;
    }
    const std::uint32_t rop = r.u32(blt::rop);
    LogBrush brush;
    if (rop == kPatCopy)
        brush = state().brush;
    else if (rop == kBlackness)
        brush = LogBrush{BS_SOLID, 0x000000, 0};
    else if (rop == kWhiteness)
        brush = LogBrush{BS_SOLID, 0xFFFFFF, 0};
    else {
        log_.recordNote(cbBits ? "bitmaps are not played" : "raster operation not played");
        return;
    }
    const double x = r.i32(blt::xDest), y = r.i32(blt::yDest);
    const PointF a = map(x, y), b = map(x + r.i32(blt::cxDest), y + r.i32(blt::cyDest));
    fill({std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)}, brush);
}

void Player::onFillRegion(const Record& r)
{
    const std::uint32_t cb = r.u32(24);
    const std::uint32_t count = r.holds(kSizeFillRgn, kRgnDataHeader, 1) ? r.u32(kSizeFillRgn + 8) : 0;
    if (!r.holds(kSizeFillRgn, cb, 1) || cb < kRgnDataHeader ||
        std::uint64_t(count) * 16 + kRgnDataHeader > cb) {
        log_.recordDamaged("has a bad region");
        return;
    }
    const Object object = objectFor(r.u32(28));
    const auto* brush = std::get_if<LogBrush>(&object);
    if (!brush) {
        log_.recordNote("no brush " + std::to_string(r.u32(28)));
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i)
        fill(rectAt(r, kSizeFillRgn + kRgnDataHeader + 16 * std::size_t(i)), *brush);
}

void Player::onText(const Record& r)
{
    const bool named = std::exchange(sourcePending_, false); // a source names the next text record only
    const bool wide = r.type == EMR_EXTTEXTOUTW;
    const std::uint32_t options = r.u32(textout::options);
    const bool noRect = options & kEtoNoRect;
    if (!noRect && r.size < kSizeTextFixed) {
        log_.recordDamaged("is too short for its rectangle");
        return;
    }
    const std::uint32_t chars = r.u32(textout::chars);
    const std::uint32_t offString = r.u32(textout::offString);
    const std::uint32_t offDx = r.u32(noRect ? textout::offDxNoRect : textout::offDx);
    const bool pdy = options & kEtoPdy;
    if ((chars && !r.holds(offString, chars, wide ? 2 : 1)) || (offDx && !r.holds(offDx, chars, pdy ? 8 : 4))) {
        log_.recordDamaged("has text or advances outside the record");
        return;
    }
    RectF box;
    if (!noRect)
        box = rectAt(r, textout::rect);
    const bool opaqueBox = !noRect && (options & kEtoOpaque);
    if (opaqueBox)
        fill(box, LogBrush{BS_SOLID, state().bkColor, 0});
    if (chars == 0)
        return;

    const bool updateCp = state().align & TA_UPDATECP;
    TextRun& run = textRun_;
    gdi_.textRun(updateCp ? state().position : pointAt(r, textout::reference), run);
    run.text.resize(chars);
    run.glyphIndex = (options & kEtoGlyphIndex) != 0;
    const std::uint8_t* s = r.p + offString;
    if (wide)
        for (std::size_t i = 0; i < chars; ++i)
            run.text[i] = loadU16(s + 2 * i);
    else if (run.glyphIndex) // glyph ids are numbers, in no code page
        std::copy(s, s + chars, run.text.begin());
    else
        for (std::size_t i = 0; i < chars; ++i)
            run.text[i] = fromCp1252(s[i]);
    if (run.glyphIndex && named && source_.clusters.size() == chars)
        std::swap(run.source, source_);
    double advance = 0;
    if (offDx) {
        const double kx = state().map.unitX(), ky = state().map.unitY();
        run.dx.resize(chars);
        if (pdy)
            run.dy.resize(chars);
        const std::uint8_t* a = r.p + offDx;
        for (std::size_t i = 0; i < chars; ++i) {
            run.dx[i] = bounded(loadI32(a + (pdy ? 8 : 4) * i) * kx);
            if (pdy) // GDI counts them upwards, whatever the mapping
                run.dy[i] = bounded(-loadI32(a + 8 * i + 4) * std::fabs(ky));
            advance += run.dx[i];
        }
        advance = bounded(advance);
    }
    const unsigned horizontal = state().align & TA_CENTER;
    if (updateCp) {
        if (offDx == 0)
            log_.recordNote("TA_UPDATECP text without advances does not move the position");
        else if (horizontal == TA_LEFT)
            state().position.x = bounded(state().position.x + advance);
        else if (horizontal == TA_RIGHT)
            state().position.x = bounded(state().position.x - advance);
    }

    const bool clipped = !noRect && (options & kEtoClipped);
    if (clipped) {
        const std::optional<RectF> before = state().clip;
        gdi_.intersectClip(box);
        device_.text(run);
        gdi_.setClip(before);
    } else {
        device_.text(run);
    }
}

void Player::onComment(const Record& r)
{
    const std::uint32_t size = r.u32(8);
    if (!r.holds(12, size, 1)) {
        log_.recordDamaged("has data past its end");
        return;
    }
    sourcePending_ = decodeTextSource(r.p + 12, size, source_);
    if (!sourcePending_)
        log_.skip(r.type); // another program's (EMF+ drawing among them): not played
}

} // namespace emf

EmfReader::EmfReader(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes))
{
    const std::size_t length = bytes_.size();
    if (length == 0) {
        problem_ = "not a metafile: the file is empty";
        return;
    }
    const std::uint8_t* h = bytes_.data();
    if (length < 8 || loadU32(h) != EMR_HEADER) {
        problem_ = "not an enhanced metafile: it does not start with a header record";
        return;
    }
    if (length < kHeaderSizeOriginal) {
        problem_ = "not an enhanced metafile: too short for a header";
        return;
    }
    if (loadU32(h + header::signature) != kSignature) {
        problem_ = "not an enhanced metafile: no \" EMF\" signature";
        return;
    }
    const std::uint32_t size = loadU32(h + 4);
    if (size < kHeaderSizeOriginal || size % 4 != 0 || size > length) {
        problem_ = "the metafile header has a bad size (" + std::to_string(size) + ")";
        return;
    }
    // The header's fixed part ends where its variable data begins: the
    // description and pixel format may follow any of the three forms.
    std::uint64_t effective = size;
    const std::uint64_t nDescription = loadU32(h + header::nDescription);
    const std::uint64_t offDescription = loadU32(h + header::offDescription);
    if (offDescription >= kHeaderSizeOriginal && offDescription <= size && nDescription <= (size - offDescription) / 2)
        effective = std::min(effective, offDescription);
    if (effective >= kHeaderSizeExtension1) {
        const std::uint64_t cbPixelFormat = loadU32(h + header::cbPixelFormat);
        const std::uint64_t offPixelFormat = loadU32(h + header::offPixelFormat);
        if (offPixelFormat >= kHeaderSizeOriginal && offPixelFormat <= size && cbPixelFormat <= size - offPixelFormat)
            effective = std::min(effective, offPixelFormat);
    }
    space_.frame = {loadI32(h + header::frame), loadI32(h + header::frame + 4), loadI32(h + header::frame + 8),
                    loadI32(h + header::frame + 12)};
    space_.widthPx = loadI32(h + header::device);
    space_.heightPx = loadI32(h + header::device + 4);
    space_.widthMm = loadI32(h + header::millimeters);
    space_.heightMm = loadI32(h + header::millimeters + 4);
    if (effective >= kHeaderSize && loadI32(h + header::micrometers) > 0 && loadI32(h + header::micrometers + 4) > 0) {
        space_.widthMm = loadI32(h + header::micrometers) / 1000.0;
        space_.heightMm = loadI32(h + header::micrometers + 4) / 1000.0;
    }
    if (space_.widthPx <= 0 || space_.heightPx <= 0) {
        problem_ = "the metafile header gives no device size in pixels";
        return;
    }
    if (space_.widthMm <= 0 || space_.heightMm <= 0) {
        problem_ = "the metafile header gives no device size in millimetres";
        return;
    }
    declaredBytes_ = loadU32(h + header::bytes);
    declaredRecords_ = loadU32(h + header::records);
    declaredHandles_ = loadU16(h + header::handles);
    // Trailing bytes beyond nBytes are not part of the picture.
    end_ = declaredBytes_ >= size && declaredBytes_ <= length ? declaredBytes_ : length;
    valid_ = true;
}

EmfReader EmfReader::fromFile(const std::string& path)
{
    const auto invalid = [](std::string problem) {
        EmfReader reader({});
        reader.problem_ = std::move(problem);
        return reader;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return invalid("cannot open " + path);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return invalid("cannot open " + path + ": not a file");
    }
    // One read of the whole page (a short read only near the end of a
    // file that shrinks meanwhile: what was read is what is played).
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return invalid("cannot read " + path);
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(done);
    return EmfReader(std::move(bytes));
}

EmfPlayResult EmfReader::play(PageDevice& device) const
{
    if (!valid_) {
        EmfPlayResult result;
        result.ok = false;
        result.problem = problem_;
        return result;
    }
    Player player(space_, device, declaredHandles_);
    return player.run(bytes_, end_, declaredBytes_, declaredRecords_);
}

} // namespace velm
