#include "platform/emf_reader.h"

#include "platform/codepage.h"
#include "platform/emf_records.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <variant>

namespace velm {

using namespace emf;

namespace {

constexpr std::size_t kMaxObjects = 65536; // a hostile index never allocates more

struct Mapping {
    int mode = MM_TEXT;
    PointF windowOrg, viewportOrg;
    PointF windowExt{1, 1}, viewportExt{1, 1};
};

using Object = std::variant<std::monostate, LogPen, LogBrush, LogFont>;

struct DcState {
    LogPen pen{PS_SOLID, 0, 0};
    LogBrush brush{BS_SOLID, 0xFFFFFF, 0};
    LogFont font;
    ColorRef textColor = 0;
    ColorRef bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    unsigned align = 0;
    int fillMode = 1;
    Mapping map;
    PointF position;
    std::optional<std::array<double, 4>> clip; // in reference pixels
};

std::optional<Object> stock(std::uint32_t handle)
{
    switch (handle & 0x7FFFFFFFu) {
    case WHITE_BRUSH: return LogBrush{BS_SOLID, 0xFFFFFF, 0};
    case LTGRAY_BRUSH: return LogBrush{BS_SOLID, 0xC0C0C0, 0};
    case GRAY_BRUSH: return LogBrush{BS_SOLID, 0x808080, 0};
    case DKGRAY_BRUSH: return LogBrush{BS_SOLID, 0x404040, 0};
    case BLACK_BRUSH: return LogBrush{BS_SOLID, 0, 0};
    case NULL_BRUSH: return LogBrush{BS_NULL, 0, 0};
    case WHITE_PEN: return LogPen{PS_SOLID, 0, 0xFFFFFF};
    case BLACK_PEN: return LogPen{PS_SOLID, 0, 0};
    case NULL_PEN: return LogPen{PS_NULL, 0, 0};
    case 0x12: return LogBrush{BS_SOLID, 0xFFFFFF, 0};
    case 0x13: return LogPen{PS_SOLID, 0, 0};
    case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x0E: case 0x10: case 0x11: {
        LogFont f;
        f.height = (handle & 0x7FFFFFFFu) == 0x11 ? -11 : 16;
        f.faceName = u"MS Sans Serif";
        return f;
    }
    default: return std::nullopt;
    }
}

// Plays one file's records; every access is checked against the record size.
class Player {
public:
    Player(const std::vector<std::uint8_t>& bytes, const PageSpace& space, PageDevice& device)
        : bytes_(bytes), space_(space), device_(device)
    {
        state_.font.faceName = u"MS Sans Serif";
        state_.font.height = 16;
    }

    EmfPlayResult run(std::size_t first)
    {
        EmfPlayResult result;
        device_.beginPage(space_);
        std::size_t offset = first;
        const std::size_t end = bytes_.size();
        while (offset < end) {
            if (end - offset < 8)
                return fail(result, "truncated record at byte " + std::to_string(offset));
            const std::uint32_t type = readU32(&bytes_[offset]);
            const std::uint32_t size = readU32(&bytes_[offset + 4]);
            if (size < 8 || size % 4 != 0 || size > end - offset)
                return fail(result, "record " + std::to_string(type) + " at byte " + std::to_string(offset) +
                                        " has a bad size " + std::to_string(size));
            rec_ = &bytes_[offset];
            size_ = size;
            if (type == EMR_EOF)
                break;
            if (!dispatch(type))
                return fail(result, "record " + std::to_string(type) + " at byte " + std::to_string(offset) +
                                        " is too short for its contents");
            ++result.recordsPlayed;
            offset += size;
        }
        device_.endPage();
        return result;
    }

private:
    EmfPlayResult fail(EmfPlayResult& result, std::string problem)
    {
        result.ok = false;
        result.problem = std::move(problem);
        device_.endPage();
        return result;
    }

    bool has(std::size_t bytes) const { return size_ >= bytes; }
    std::uint32_t u32(std::size_t at) const { return readU32(rec_ + at); }
    std::int32_t i32(std::size_t at) const { return readI32(rec_ + at); }

    // Logical units to reference pixels under the current mapping.
    double scaleX() const { return scales().x; }
    double scaleY() const { return scales().y; }
    PointF scales() const
    {
        const Mapping& m = state_.map;
        const double pxPerMmX = space_.widthMm > 0 ? space_.widthPx / space_.widthMm : 1;
        const double pxPerMmY = space_.heightMm > 0 ? space_.heightPx / space_.heightMm : 1;
        switch (m.mode) {
        case 2: return {pxPerMmX * 0.1, -pxPerMmY * 0.1};
        case 3: return {pxPerMmX * 0.01, -pxPerMmY * 0.01};
        case 4: return {pxPerMmX * 0.254, -pxPerMmY * 0.254};
        case 5: return {pxPerMmX * 0.0254, -pxPerMmY * 0.0254};
        case 6: return {pxPerMmX * 25.4 / 1440, -pxPerMmY * 25.4 / 1440};
        case MM_ISOTROPIC:
        case MM_ANISOTROPIC: {
            if (m.windowExt.x == 0 || m.windowExt.y == 0)
                return {1, 1};
            double sx = m.viewportExt.x / m.windowExt.x;
            double sy = m.viewportExt.y / m.windowExt.y;
            if (m.mode == MM_ISOTROPIC) {
                const double s = std::min(std::fabs(sx), std::fabs(sy));
                sx = std::copysign(s, sx);
                sy = std::copysign(s, sy);
            }
            return {sx, sy};
        }
        default: return {1, 1};
        }
    }
    PointF map(double x, double y) const
    {
        const Mapping& m = state_.map;
        const PointF s = scales();
        return {(x - m.windowOrg.x) * s.x + m.viewportOrg.x, (y - m.windowOrg.y) * s.y + m.viewportOrg.y};
    }
    PointF mapAt(std::size_t at) const { return map(i32(at), i32(at + 4)); }
    double penScale() const { return std::fabs(scaleX()); }

    std::optional<LogBrush> brushAt(std::uint32_t handle) const
    {
        const Object object = objectFor(handle);
        if (const auto* b = std::get_if<LogBrush>(&object))
            return *b;
        return std::nullopt;
    }
    Object objectFor(std::uint32_t handle) const
    {
        if (handle & 0x80000000u)
            return stock(handle).value_or(std::monostate{});
        return handle < objects_.size() ? objects_[handle] : Object{};
    }
    void store(std::uint32_t index, Object object)
    {
        if (index == 0 || index >= kMaxObjects)
            return;
        if (index >= objects_.size())
            objects_.resize(index + 1);
        objects_[index] = std::move(object);
    }

    bool dispatch(std::uint32_t type);
    bool text(bool wide);
    bool poly(bool closed, bool small);
    bool fillRegion();
    bool blit();
    void applyClip()
    {
        device_.resetClip();
        if (state_.clip) {
            const auto& c = *state_.clip;
            device_.intersectClip(c[0], c[1], c[2], c[3]);
        }
    }

    const std::vector<std::uint8_t>& bytes_;
    const PageSpace& space_;
    PageDevice& device_;
    const std::uint8_t* rec_ = nullptr;
    std::size_t size_ = 0;
    DcState state_;
    std::vector<DcState> saved_;
    std::vector<Object> objects_;
};

bool Player::dispatch(std::uint32_t type)
{
    switch (type) {
    case EMR_HEADER:
        return true;
    case EMR_SETMAPMODE:
        if (!has(12)) return false;
        state_.map.mode = static_cast<int>(u32(8));
        return true;
    case EMR_SETWINDOWEXTEX:
    case EMR_SETVIEWPORTEXTEX:
    case EMR_SETWINDOWORGEX:
    case EMR_SETVIEWPORTORGEX: {
        if (!has(16)) return false;
        const PointF p{static_cast<double>(i32(8)), static_cast<double>(i32(12))};
        Mapping& m = state_.map;
        (type == EMR_SETWINDOWEXTEX ? m.windowExt : type == EMR_SETVIEWPORTEXTEX ? m.viewportExt
         : type == EMR_SETWINDOWORGEX ? m.windowOrg : m.viewportOrg) = p;
        return true;
    }
    case EMR_SETBKMODE: if (!has(12)) return false; state_.bkMode = static_cast<int>(u32(8)); return true;
    case EMR_SETPOLYFILLMODE: if (!has(12)) return false; state_.fillMode = static_cast<int>(u32(8)); return true;
    case EMR_SETTEXTALIGN: if (!has(12)) return false; state_.align = u32(8); return true;
    case EMR_SETTEXTCOLOR: if (!has(12)) return false; state_.textColor = u32(8) & 0xFFFFFF; return true;
    case EMR_SETBKCOLOR: if (!has(12)) return false; state_.bkColor = u32(8) & 0xFFFFFF; return true;
    case EMR_MOVETOEX: if (!has(16)) return false; state_.position = mapAt(8); return true;
    case EMR_LINETO: {
        if (!has(16)) return false;
        const PointF to = mapAt(8);
        device_.line(state_.position, to, state_.pen, penScale());
        state_.position = to;
        return true;
    }
    case EMR_SAVEDC:
        if (saved_.size() < 1024)
            saved_.push_back(state_);
        return true;
    case EMR_RESTOREDC: {
        if (!has(12)) return false;
        const std::int32_t relative = i32(8);
        if (relative < 0 && static_cast<std::size_t>(-static_cast<std::int64_t>(relative)) <= saved_.size()) {
            saved_.resize(saved_.size() - static_cast<std::size_t>(-static_cast<std::int64_t>(relative)) + 1);
            state_ = saved_.back();
            saved_.pop_back();
            applyClip();
        }
        return true;
    }
    case EMR_INTERSECTCLIPRECT: {
        if (!has(24)) return false;
        const PointF a = mapAt(8), b = mapAt(16);
        std::array<double, 4> box{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
        if (state_.clip) {
            const auto& c = *state_.clip;
            box = {std::max(box[0], c[0]), std::max(box[1], c[1]), std::min(box[2], c[2]), std::min(box[3], c[3])};
        }
        state_.clip = box;
        applyClip();
        return true;
    }
    case EMR_SELECTOBJECT: {
        if (!has(12)) return false;
        const Object object = objectFor(u32(8));
        if (const auto* p = std::get_if<LogPen>(&object)) state_.pen = *p;
        else if (const auto* b = std::get_if<LogBrush>(&object)) state_.brush = *b;
        else if (const auto* f = std::get_if<LogFont>(&object)) state_.font = *f;
        return true;
    }
    case EMR_DELETEOBJECT:
        // What is selected stays in effect: the state holds copies.
        if (!has(12)) return false;
        if (!(u32(8) & 0x80000000u) && u32(8) < objects_.size())
            objects_[u32(8)] = std::monostate{};
        return true;
    case EMR_CREATEPEN:
        if (!has(28)) return false;
        store(u32(8), LogPen{static_cast<int>(u32(12) & 0xF), i32(16), u32(24) & 0xFFFFFF});
        return true;
    case EMR_EXTCREATEPEN: {
        if (!has(52)) return false;
        const int style = u32(36) == BS_NULL ? PS_NULL : static_cast<int>(u32(28) & 0xF);
        store(u32(8), LogPen{style, static_cast<int>(u32(32)), u32(40) & 0xFFFFFF});
        return true;
    }
    case EMR_CREATEBRUSHINDIRECT:
        if (!has(24)) return false;
        store(u32(8), LogBrush{static_cast<int>(u32(12)), u32(16) & 0xFFFFFF, static_cast<int>(u32(20))});
        return true;
    case EMR_EXTCREATEFONTINDIRECTW: {
        if (!has(12 + kLogFontSize)) return false;
        const std::uint8_t* lf = rec_ + 12;
        LogFont f;
        f.height = readI32(lf); f.width = readI32(lf + 4);
        f.escapement = readI32(lf + 8); f.orientation = readI32(lf + 12); f.weight = readI32(lf + 16);
        f.italic = lf[20] != 0; f.underline = lf[21] != 0; f.strikeOut = lf[22] != 0; f.charSet = lf[23];
        f.outPrecision = lf[24]; f.clipPrecision = lf[25]; f.quality = lf[26]; f.pitchAndFamily = lf[27];
        for (std::size_t i = 0; i < kFaceNameUnits; ++i) {
            const char16_t c = readU16(lf + 28 + 2 * i);
            if (!c) break;
            f.faceName.push_back(c);
        }
        store(u32(8), f);
        return true;
    }
    case EMR_RECTANGLE: {
        if (!has(24)) return false;
        const PointF a = mapAt(8), b = mapAt(16);
        device_.rectangle(a.x, a.y, b.x, b.y, state_.pen, penScale(), state_.brush);
        return true;
    }
    case EMR_POLYLINE16: return poly(false, true);
    case EMR_POLYGON16: return poly(true, true);
    case EMR_POLYLINE: return poly(false, false);
    case EMR_POLYGON: return poly(true, false);
    case EMR_BITBLT: return blit();
    case EMR_FILLRGN: return fillRegion();
    case EMR_EXTTEXTOUTW: return text(true);
    case EMR_EXTTEXTOUTA: return text(false);
    default:
        return true; // records this player does not draw are skipped by their size
    }
}

bool Player::poly(bool closed, bool small)
{
    if (!has(28)) return false;
    const std::uint64_t count = u32(24);
    const std::uint64_t each = small ? 4 : 8;
    if (count * each > size_ - 28) return false;
    std::vector<PointF> points;
    points.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = rec_ + 28 + i * each;
        points.push_back(small ? map(readI16(p), readI16(p + 2)) : map(readI32(p), readI32(p + 4)));
    }
    if (closed)
        device_.polygon(points, state_.pen, penScale(), state_.brush, state_.fillMode);
    else
        device_.polyline(points, state_.pen, penScale());
    return true;
}

bool Player::blit()
{
    if (!has(100)) return false;
    const std::uint32_t rop = u32(40);
    const std::uint32_t bitmapBytes = u32(96);
    if (bitmapBytes != 0)
        return true; // pictures are not part of our pages; skipped
    std::optional<LogBrush> brush;
    if (rop == kPatCopy) brush = state_.brush;
    else if (rop == 0x00000042) brush = LogBrush{BS_SOLID, 0, 0};
    else if (rop == 0x00FF0062) brush = LogBrush{BS_SOLID, 0xFFFFFF, 0};
    if (!brush) return true;
    const PointF a = mapAt(24);
    const PointF b = map(static_cast<double>(i32(24)) + i32(32), static_cast<double>(i32(28)) + i32(36));
    device_.fillRect(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y), *brush);
    return true;
}

bool Player::fillRegion()
{
    if (!has(64)) return false;
    const std::uint64_t count = u32(40);
    if (count * 16 > size_ - 64) return false;
    const std::optional<LogBrush> brush = brushAt(u32(28));
    if (!brush) return true;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 64 + 16 * i;
        const PointF a = mapAt(at), b = mapAt(at + 8);
        device_.fillRect(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y), *brush);
    }
    return true;
}

bool Player::text(bool wide)
{
    if (!has(56)) return false;
    const std::uint64_t chars = u32(44);
    const std::uint64_t offString = u32(48);
    const std::uint32_t options = u32(52);
    const std::size_t dxField = (options & kEtoNoRect) ? 56 : 72;
    if (!has(dxField + 4)) return false;
    const std::uint64_t offDx = u32(dxField);
    const std::uint64_t unit = wide ? 2 : 1;
    if (chars > size_ || offString > size_ || chars * unit > size_ - offString) return false;
    const std::uint64_t perChar = (options & kEtoPdy) ? 8 : 4;
    if (offDx != 0 && (offDx > size_ || chars * perChar > size_ - offDx)) return false;

    TextRun run;
    if (wide)
        for (std::size_t i = 0; i < chars; ++i)
            run.text.push_back(readU16(rec_ + offString + 2 * i));
    else
        run.text = toUnicode(std::string_view(reinterpret_cast<const char*>(rec_ + offString), chars));
    const PointF s = scales();
    double advance = 0;
    if (offDx != 0) {
        // One advance per UTF-16 unit; a single-byte record's advances are per byte.
        std::vector<double> dx;
        for (std::size_t i = 0; i < chars; ++i)
            dx.push_back(readI32(rec_ + offDx + perChar * i) * std::fabs(s.x));
        if (dx.size() == run.text.size())
            run.dx = std::move(dx);
        for (double d : run.dx) advance += d;
    }
    if (state_.align & kTaUpdateCp) {
        run.origin = state_.position;
        state_.position.x += advance;
    } else {
        run.origin = mapAt(36);
    }
    run.font = state_.font;
    run.font.height = static_cast<int>(std::lround(state_.font.height * std::fabs(s.y)));
    run.font.width = static_cast<int>(std::lround(state_.font.width * std::fabs(s.x)));
    run.color = state_.textColor;
    run.bkMode = state_.bkMode;
    run.bkColor = state_.bkColor;
    run.align = state_.align;
    run.scaleX = s.x;
    run.scaleY = s.y;
    device_.text(run);
    return true;
}

} // namespace

EmfReader::EmfReader(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes))
{
    if (bytes_.size() < 88) {
        problem_ = "not a metafile: too short for a header";
        return;
    }
    const std::uint8_t* h = bytes_.data();
    const std::uint32_t size = readU32(h + 4);
    if (readU32(h) != EMR_HEADER || readU32(h + 40) != kSignature) {
        problem_ = "not an enhanced metafile";
        return;
    }
    if (size < 88 || size % 4 != 0 || size > bytes_.size()) {
        problem_ = "the metafile header has a bad size";
        return;
    }
    // The header's own extent: the description and pixel format may follow
    // any of the three header forms.
    std::size_t effective = size;
    const std::uint32_t nDescription = readU32(h + 60), offDescription = readU32(h + 64);
    if (offDescription >= 88 && offDescription < effective &&
        static_cast<std::uint64_t>(nDescription) * 2 <= size - offDescription)
        effective = offDescription;
    if (effective >= 100) {
        const std::uint32_t offPixelFormat = readU32(h + 92), cbPixelFormat = readU32(h + 88);
        if (offPixelFormat >= 88 && offPixelFormat < effective && cbPixelFormat <= size - offPixelFormat)
            effective = offPixelFormat;
    }
    space_.frame = {readI32(h + 24), readI32(h + 28), readI32(h + 32), readI32(h + 36)};
    space_.widthPx = readI32(h + 72);
    space_.heightPx = readI32(h + 76);
    space_.widthMm = readI32(h + 80);
    space_.heightMm = readI32(h + 84);
    if (effective >= 108 && readI32(h + 100) > 0 && readI32(h + 104) > 0) {
        space_.widthMm = readI32(h + 100) / 1000.0;
        space_.heightMm = readI32(h + 104) / 1000.0;
    }
    if (space_.widthPx <= 0 || space_.heightPx <= 0 || space_.widthMm <= 0 || space_.heightMm <= 0) {
        problem_ = "the metafile header describes no device";
        return;
    }
    headerSize_ = size;
    valid_ = true;
}

EmfReader EmfReader::fromFile(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) {
        EmfReader reader({});
        reader.problem_ = "cannot open " + path;
        return reader;
    }
    // One read of the whole page.
    if (std::fseek(in, 0, SEEK_END) == 0) {
        const long length = std::ftell(in);
        if (length > 0) {
            bytes.resize(static_cast<std::size_t>(length));
            std::rewind(in);
            bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
        }
    }
    std::fclose(in);
    return EmfReader(std::move(bytes));
}

EmfPlayResult EmfReader::play(PageDevice& device) const
{
    if (!valid_)
        return {false, problem_, 0};
    Player player(bytes_, space_, device);
    return player.run(headerSize_);
}

} // namespace velm
