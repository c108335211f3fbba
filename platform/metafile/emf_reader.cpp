#include "platform/metafile/emf_reader.h"

#include "platform/metafile/emf_records.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <limits>
#include <map>
#include <optional>
#include <variant>

namespace velm {

using namespace emf;

namespace {

constexpr std::uint32_t kMaxObjects = 65536; // nHandles is 16 bits: no sound file needs more
constexpr std::size_t kMaxSavedStates = 1024;
constexpr std::size_t kMaxNotes = 16;

// Windows-1252 for 0x80..0x9F; the other bytes are their own code points.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Coordinates and scales a hostile file can drive to infinity or NaN reach
// the devices as large finite numbers (NaN as 0).
double bounded(double v) { return std::fabs(v) < 1e9 ? v : v > 0 ? 1e9 : v < 0 ? -1e9 : 0; }
int boundedInt(double v) { return static_cast<int>(std::fabs(v) < (1 << 24) ? std::lround(v) : v > 0 ? (1 << 24) : v < 0 ? -(1 << 24) : 0); }

char16_t fromCp1252(std::uint8_t b) { return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b); }

// A high byte of 1 is a palette index (we keep no palette: black); 2 is a
// palette-relative RGB, usable as it is.
ColorRef colour(std::uint32_t v) { return (v >> 24) == 1 ? 0 : v & 0xFFFFFF; }

using Object = std::variant<std::monostate, LogPen, LogBrush, LogFont>;

LogFont stockFont(const char16_t* face, int height, int weight, std::uint8_t pitchAndFamily)
{
    LogFont f;
    f.faceName = face;
    f.height = height;
    f.weight = weight;
    f.pitchAndFamily = pitchAndFamily;
    return f;
}

// The stock objects as Windows and Wine define them; the fonts by names that
// resolve on Linux (fonts.h). Their sizes are pixels of a 96-dpi display.
Object stockObjectValue(std::uint32_t handle)
{
    switch (handle & ~kStockBit) {
    case WHITE_BRUSH: return LogBrush{BS_SOLID, 0xFFFFFF, 0};
    case LTGRAY_BRUSH: return LogBrush{BS_SOLID, 0xC0C0C0, 0};
    case GRAY_BRUSH: return LogBrush{BS_SOLID, 0x808080, 0};
    case DKGRAY_BRUSH: return LogBrush{BS_SOLID, 0x404040, 0};
    case BLACK_BRUSH: return LogBrush{BS_SOLID, 0x000000, 0};
    case NULL_BRUSH: return LogBrush{BS_NULL, 0, 0};
    case WHITE_PEN: return LogPen{PS_SOLID, 0, 0xFFFFFF};
    case BLACK_PEN: return LogPen{PS_SOLID, 0, 0x000000};
    case NULL_PEN: return LogPen{PS_NULL, 0, 0};
    case 10: return stockFont(u"Courier New", 12, 400, 0x31);   // OEM_FIXED_FONT
    case 11: return stockFont(u"Courier New", 12, 400, 0x31);   // ANSI_FIXED_FONT
    case 12: return stockFont(u"MS Sans Serif", 12, 400, 0x22); // ANSI_VAR_FONT
    case 13: return stockFont(u"MS Sans Serif", 16, 700, 0x22); // SYSTEM_FONT
    case 14: return stockFont(u"MS Sans Serif", 16, 700, 0x22); // DEVICE_DEFAULT_FONT
    case 16: return stockFont(u"Courier New", 16, 400, 0x31);   // SYSTEM_FIXED_FONT
    case 17: return stockFont(u"MS Sans Serif", -11, 400, 0x22); // DEFAULT_GUI_FONT
    case kDcBrush: return LogBrush{BS_SOLID, 0xFFFFFF, 0};
    case kDcPen: return LogPen{PS_SOLID, 0, 0x000000};
    default: return std::monostate{};
    }
}

struct Affine {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
    bool isIdentity() const { return m11 == 1 && m12 == 0 && m21 == 0 && m22 == 1 && dx == 0 && dy == 0; }
    // this then next
    Affine then(const Affine& n) const
    {
        return {m11 * n.m11 + m12 * n.m21, m11 * n.m12 + m12 * n.m22, m21 * n.m11 + m22 * n.m21,
                m21 * n.m12 + m22 * n.m22, dx * n.m11 + dy * n.m21 + n.dx, dx * n.m12 + dy * n.m22 + n.dy};
    }
};

struct Mapping {
    int mode = MM_TEXT;
    double windowOrgX = 0, windowOrgY = 0, windowExtX = 1, windowExtY = 1;
    double viewportOrgX = 0, viewportOrgY = 0, viewportExtX = 1, viewportExtY = 1;
    Affine world;
    // Derived: page-space units to reference pixels.
    double sx = 1, sy = 1;
};

// Everything SAVEDC saves (the object table is not part of it).
struct DcState {
    LogPen pen{PS_SOLID, 0, 0};
    LogBrush brush{BS_SOLID, 0xFFFFFF, 0};
    LogFont font = stockFont(u"MS Sans Serif", 16, 700, 0x22);
    ColorRef textColor = 0;
    ColorRef bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    unsigned align = TA_LEFT | TA_TOP;
    int fillMode = ALTERNATE;
    int rop2 = static_cast<int>(kR2CopyPen);
    Mapping map;
    PointF position; // reference pixels
    std::optional<RectF> clip; // reference pixels; none = the whole surface
};

struct Record {
    const std::uint8_t* p;
    std::uint32_t type;
    std::uint32_t size;
    std::size_t offset;

    std::uint32_t u32(std::size_t at) const { return loadU32(p + at); }
    std::int32_t i32(std::size_t at) const { return loadI32(p + at); }
    // [offset, offset + count * each) lies inside the record; 64-bit, so no overflow.
    bool holds(std::uint64_t at, std::uint64_t count, std::uint64_t each) const
    {
        return at <= size && count <= (size - at) / (each ? each : 1);
    }
};

class Player {
public:
    Player(const PageSpace& space, PageDevice& device, std::uint32_t declaredHandles)
        : space_(space), device_(device), declaredHandles_(declaredHandles)
    {
        pxPerMmX_ = space.widthPx / space.widthMm;
        pxPerMmY_ = space.heightPx / space.heightMm;
    }

    EmfPlayResult run(const std::vector<std::uint8_t>& bytes, std::size_t end, std::uint32_t declaredBytes,
                      std::uint32_t declaredRecords);

private:
    using Handler = void (Player::*)(const Record&);
    struct Entry {
        std::uint32_t minSize = 0;
        Handler handler = nullptr;
        const char* name = nullptr;
    };
    static constexpr std::array<Entry, kLastRecordType + 1> makeTable();
    static const std::array<Entry, kLastRecordType + 1> table_;

    // Reporting.
    void damaged(std::string what)
    {
        if (result_.ok) {
            result_.ok = false;
            result_.problem = std::move(what);
        } else {
            note(std::move(what));
        }
    }
    void damaged(const Record& r, const std::string& what)
    {
        damaged(describe(r) + " " + what);
    }
    void note(std::string what)
    {
        if (result_.notes.size() < kMaxNotes)
            result_.notes.push_back(std::move(what));
    }
    std::string describe(const Record& r) const
    {
        const char* name = r.type <= kLastRecordType ? table_[r.type].name : nullptr;
        return "record " + std::to_string(recordIndex_) + " (" +
               (name ? std::string(name) : "type " + std::to_string(r.type)) + ") at byte " +
               std::to_string(r.offset);
    }

    // Mapping.
    void remap();
    PointF map(double x, double y) const
    {
        const Mapping& m = state_.map;
        double wx = x, wy = y;
        if (!identityWorld_) {
            wx = x * m.world.m11 + y * m.world.m21 + m.world.dx;
            wy = x * m.world.m12 + y * m.world.m22 + m.world.dy;
        }
        return {bounded((wx - m.windowOrgX) * m.sx + m.viewportOrgX), bounded((wy - m.windowOrgY) * m.sy + m.viewportOrgY)};
    }
    PointF pointAt(const Record& r, std::size_t at) const { return map(r.i32(at), r.i32(at + 4)); }
    // A logical rectangle in reference pixels, normalised.
    RectF rectAt(const Record& r, std::size_t at) const
    {
        const PointF a = pointAt(r, at), b = pointAt(r, at + 8);
        return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    }
    double scaleX() const { return bounded(std::fabs(state_.map.sx) * std::hypot(state_.map.world.m11, state_.map.world.m12)); }
    double scaleY() const { return bounded(std::fabs(state_.map.sy) * std::hypot(state_.map.world.m21, state_.map.world.m22)); }
    double penScale() const { return scaleX(); }

    // Objects.
    Object objectFor(std::uint32_t handle) const
    {
        if (handle & kStockBit)
            return stockObjectValue(handle);
        return handle < objects_.size() ? objects_[handle] : Object{};
    }
    void store(const Record& r, std::uint32_t index, Object object)
    {
        if (index == 0 || index >= kMaxObjects) {
            note(describe(r) + ": object index " + std::to_string(index) + " ignored");
            return;
        }
        if (index >= declaredHandles_ && !warnedHandles_) {
            warnedHandles_ = true;
            note(describe(r) + ": object index " + std::to_string(index) + " beyond the header's nHandles " +
                 std::to_string(declaredHandles_));
        }
        if (index >= objects_.size())
            objects_.resize(index + 1);
        objects_[index] = std::move(object);
    }

    // Clip: the device mirrors state_.clip.
    void setClip(std::optional<RectF> clip)
    {
        if (clip == state_.clip)
            return;
        // A clip inside the current one is one more intersection on the device.
        const bool narrowing = clip && (!state_.clip || (clip->left >= state_.clip->left &&
                                                         clip->top >= state_.clip->top &&
                                                         clip->right <= state_.clip->right &&
                                                         clip->bottom <= state_.clip->bottom));
        state_.clip = clip;
        if (!narrowing)
            device_.resetClip();
        if (clip)
            device_.intersectClip(clip->left, clip->top, clip->right, clip->bottom);
    }
    static RectF intersect(const RectF& a, const RectF& b)
    {
        RectF r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
        if (r.right < r.left) r.right = r.left;
        if (r.bottom < r.top) r.bottom = r.top;
        return r;
    }
    void restore(DcState saved)
    {
        const std::optional<RectF> clip = saved.clip;
        saved.clip = state_.clip;
        state_ = std::move(saved);
        identityWorld_ = state_.map.world.isIdentity();
        setClip(clip);
    }

    // Handlers, one per record type (table_ says which and how large).
    void onHeader(const Record&) {}
    void onEof(const Record&) { stop_ = true; }
    void onSetMapMode(const Record& r);
    void onWindowExt(const Record& r);
    void onViewportExt(const Record& r);
    void onWindowOrg(const Record& r);
    void onViewportOrg(const Record& r);
    void onScaleViewportExt(const Record& r);
    void onScaleWindowExt(const Record& r);
    void scaleExtent(const Record& r, double& extentX, double& extentY);
    void onSetWorldTransform(const Record& r);
    void onModifyWorldTransform(const Record& r);
    void onSetBkMode(const Record& r);
    void onSetPolyFillMode(const Record& r);
    void onSetRop2(const Record& r);
    void onSetTextAlign(const Record& r) { state_.align = r.u32(8); }
    void onSetTextColor(const Record& r) { state_.textColor = colour(r.u32(8)); }
    void onSetBkColor(const Record& r) { state_.bkColor = colour(r.u32(8)); }
    void onMoveTo(const Record& r) { state_.position = pointAt(r, 8); }
    void onLineTo(const Record& r);
    void onPoly(const Record& r);
    void onPolyLineTo(const Record& r);
    void onRectangle(const Record& r);
    void onIntersectClip(const Record& r);
    void onSelectClipRegion(const Record& r);
    void onSaveDc(const Record& r);
    void onRestoreDc(const Record& r);
    void onSelectObject(const Record& r);
    void onDeleteObject(const Record& r);
    void onCreatePen(const Record& r);
    void onExtCreatePen(const Record& r);
    void onCreateBrush(const Record& r);
    void onCreateFont(const Record& r);
    void onBitBlt(const Record& r);
    void onFillRegion(const Record& r);
    void onText(const Record& r);

    void fill(const RectF& box, const LogBrush& brush)
    {
        if (box.right > box.left && box.bottom > box.top)
            device_.fillRect(box.left, box.top, box.right, box.bottom, brush);
    }
    std::vector<PointF> points(const Record& r, std::size_t at, std::uint32_t count, bool small) const
    {
        std::vector<PointF> out;
        out.reserve(count);
        const std::size_t each = small ? 4 : 8;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* q = r.p + at + i * each;
            out.push_back(small ? map(loadI16(q), loadI16(q + 2)) : map(loadI32(q), loadI32(q + 4)));
        }
        return out;
    }

    const PageSpace& space_;
    PageDevice& device_;
    std::uint32_t declaredHandles_;
    double pxPerMmX_ = 1, pxPerMmY_ = 1;
    DcState state_;
    bool identityWorld_ = true;
    std::vector<DcState> saved_;
    std::vector<Object> objects_;
    EmfPlayResult result_;
    int recordIndex_ = 0;
    bool stop_ = false;
    bool warnedHandles_ = false;
    std::map<std::uint32_t, int> skippedTypes_;
};

constexpr std::array<Player::Entry, kLastRecordType + 1> Player::makeTable()
{
    std::array<Entry, kLastRecordType + 1> t{};
    auto set = [&t](std::uint32_t type, std::uint32_t minSize, Handler handler, const char* name) {
        t[type] = Entry{minSize, handler, name};
    };
    set(EMR_HEADER, kHeaderSizeOriginal, &Player::onHeader, "EMR_HEADER");
    set(EMR_EOF, kSizeEof, &Player::onEof, "EMR_EOF");
    set(EMR_SETMAPMODE, 12, &Player::onSetMapMode, "EMR_SETMAPMODE");
    set(EMR_SETWINDOWEXTEX, 16, &Player::onWindowExt, "EMR_SETWINDOWEXTEX");
    set(EMR_SETWINDOWORGEX, 16, &Player::onWindowOrg, "EMR_SETWINDOWORGEX");
    set(EMR_SETVIEWPORTEXTEX, 16, &Player::onViewportExt, "EMR_SETVIEWPORTEXTEX");
    set(EMR_SETVIEWPORTORGEX, 16, &Player::onViewportOrg, "EMR_SETVIEWPORTORGEX");
    set(EMR_SCALEVIEWPORTEXTEX, 24, &Player::onScaleViewportExt, "EMR_SCALEVIEWPORTEXTEX");
    set(EMR_SCALEWINDOWEXTEX, 24, &Player::onScaleWindowExt, "EMR_SCALEWINDOWEXTEX");
    set(EMR_SETWORLDTRANSFORM, 32, &Player::onSetWorldTransform, "EMR_SETWORLDTRANSFORM");
    set(EMR_MODIFYWORLDTRANSFORM, 36, &Player::onModifyWorldTransform, "EMR_MODIFYWORLDTRANSFORM");
    set(EMR_SETBKMODE, 12, &Player::onSetBkMode, "EMR_SETBKMODE");
    set(EMR_SETPOLYFILLMODE, 12, &Player::onSetPolyFillMode, "EMR_SETPOLYFILLMODE");
    set(EMR_SETROP2, 12, &Player::onSetRop2, "EMR_SETROP2");
    set(EMR_SETTEXTALIGN, 12, &Player::onSetTextAlign, "EMR_SETTEXTALIGN");
    set(EMR_SETTEXTCOLOR, 12, &Player::onSetTextColor, "EMR_SETTEXTCOLOR");
    set(EMR_SETBKCOLOR, 12, &Player::onSetBkColor, "EMR_SETBKCOLOR");
    set(EMR_MOVETOEX, 16, &Player::onMoveTo, "EMR_MOVETOEX");
    set(EMR_LINETO, 16, &Player::onLineTo, "EMR_LINETO");
    set(EMR_POLYLINE16, 28, &Player::onPoly, "EMR_POLYLINE16");
    set(EMR_POLYGON16, 28, &Player::onPoly, "EMR_POLYGON16");
    set(EMR_POLYLINE, 28, &Player::onPoly, "EMR_POLYLINE");
    set(EMR_POLYGON, 28, &Player::onPoly, "EMR_POLYGON");
    set(EMR_POLYLINETO16, 28, &Player::onPolyLineTo, "EMR_POLYLINETO16");
    set(EMR_POLYLINETO, 28, &Player::onPolyLineTo, "EMR_POLYLINETO");
    set(EMR_RECTANGLE, kSizeRectangle, &Player::onRectangle, "EMR_RECTANGLE");
    set(EMR_INTERSECTCLIPRECT, 24, &Player::onIntersectClip, "EMR_INTERSECTCLIPRECT");
    set(EMR_EXTSELECTCLIPRGN, 16, &Player::onSelectClipRegion, "EMR_EXTSELECTCLIPRGN");
    set(EMR_SAVEDC, 8, &Player::onSaveDc, "EMR_SAVEDC");
    set(EMR_RESTOREDC, 12, &Player::onRestoreDc, "EMR_RESTOREDC");
    set(EMR_SELECTOBJECT, 12, &Player::onSelectObject, "EMR_SELECTOBJECT");
    set(EMR_DELETEOBJECT, 12, &Player::onDeleteObject, "EMR_DELETEOBJECT");
    set(EMR_CREATEPEN, kSizeCreatePen, &Player::onCreatePen, "EMR_CREATEPEN");
    set(EMR_EXTCREATEPEN, kSizeExtCreatePen, &Player::onExtCreatePen, "EMR_EXTCREATEPEN");
    set(EMR_CREATEBRUSHINDIRECT, kSizeCreateBrush, &Player::onCreateBrush, "EMR_CREATEBRUSHINDIRECT");
    set(EMR_EXTCREATEFONTINDIRECTW, kSizeFontW, &Player::onCreateFont, "EMR_EXTCREATEFONTINDIRECTW");
    set(EMR_BITBLT, kSizeBitBlt, &Player::onBitBlt, "EMR_BITBLT");
    set(EMR_FILLRGN, kSizeFillRgn, &Player::onFillRegion, "EMR_FILLRGN");
    set(EMR_EXTTEXTOUTA, kSizeTextNoRect, &Player::onText, "EMR_EXTTEXTOUTA");
    set(EMR_EXTTEXTOUTW, kSizeTextNoRect, &Player::onText, "EMR_EXTTEXTOUTW");
    return t;
}

const std::array<Player::Entry, kLastRecordType + 1> Player::table_ = Player::makeTable();

EmfPlayResult Player::run(const std::vector<std::uint8_t>& bytes, std::size_t end, std::uint32_t declaredBytes,
                          std::uint32_t declaredRecords)
{
    device_.beginPage(space_);
    if (declaredBytes > bytes.size())
        damaged("the file is shorter than its header says (" + std::to_string(bytes.size()) + " of " +
                std::to_string(declaredBytes) + " bytes)");
    std::size_t offset = 0;
    while (offset < end && !stop_) {
        const std::size_t left = end - offset;
        if (left < 8) {
            damaged("a record at byte " + std::to_string(offset) + " is cut off");
            break;
        }
        const Record r{bytes.data() + offset, loadU32(bytes.data() + offset), loadU32(bytes.data() + offset + 4),
                       offset};
        ++recordIndex_;
        if (r.size < 8 || r.size % 4 != 0 || r.size > left) {
            damaged(r, "has a bad size " + std::to_string(r.size) +
                           (r.size > left ? " (past the end of the file)" : ""));
            break;
        }
        ++result_.recordsPlayed;
        const Entry* entry = r.type <= kLastRecordType ? &table_[r.type] : nullptr;
        if (!entry || !entry->handler) {
            ++result_.recordsSkipped;
            ++skippedTypes_[r.type];
        } else if (r.size < entry->minSize) {
            damaged(r, "is too short (" + std::to_string(r.size) + " bytes, needs " +
                           std::to_string(entry->minSize) + ")");
        } else if (r.type == EMR_HEADER && offset != 0) {
            note(describe(r) + ": a second header is ignored");
        } else {
            (this->*entry->handler)(r);
        }
        offset += r.size;
    }
    if (!stop_ && offset >= end && offset != 0)
        damaged("the file ends without an EMR_EOF record");
    else if (stop_ && declaredRecords != static_cast<std::uint32_t>(result_.recordsPlayed))
        note("the header counts " + std::to_string(declaredRecords) + " records, the file holds " +
             std::to_string(result_.recordsPlayed));
    for (const auto& [type, count] : skippedTypes_)
        note("skipped " + std::to_string(count) + " record" + (count == 1 ? "" : "s") + " of type " +
             std::to_string(type));
    device_.endPage();
    return result_;
}

void Player::remap()
{
    Mapping& m = state_.map;
    switch (m.mode) {
    case MM_LOMETRIC: m.sx = pxPerMmX_ * 0.1; m.sy = -pxPerMmY_ * 0.1; break;
    case MM_HIMETRIC: m.sx = pxPerMmX_ * 0.01; m.sy = -pxPerMmY_ * 0.01; break;
    case MM_LOENGLISH: m.sx = pxPerMmX_ * 0.254; m.sy = -pxPerMmY_ * 0.254; break;
    case MM_HIENGLISH: m.sx = pxPerMmX_ * 0.0254; m.sy = -pxPerMmY_ * 0.0254; break;
    case MM_TWIPS: m.sx = pxPerMmX_ * 25.4 / 1440; m.sy = -pxPerMmY_ * 25.4 / 1440; break;
    case MM_ISOTROPIC:
    case MM_ANISOTROPIC: {
        m.sx = m.viewportExtX / m.windowExtX;
        m.sy = m.viewportExtY / m.windowExtY;
        if (m.mode == MM_ISOTROPIC) {
            // Equal physical scale on both axes: the smaller one wins.
            const double mx = std::fabs(m.sx) / pxPerMmX_, my = std::fabs(m.sy) / pxPerMmY_;
            const double s = std::min(mx, my);
            m.sx = std::copysign(s * pxPerMmX_, m.sx);
            m.sy = std::copysign(s * pxPerMmY_, m.sy);
        }
        break;
    }
    default: m.sx = m.sy = 1; break;
    }
}

void Player::onSetMapMode(const Record& r)
{
    const std::uint32_t mode = r.u32(8);
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC) {
        note(describe(r) + ": unknown mapping mode " + std::to_string(mode) + " ignored");
        return;
    }
    Mapping& m = state_.map;
    m.mode = static_cast<int>(mode);
    // As GDI: MM_ISOTROPIC starts from MM_LOMETRIC's extents, MM_ANISOTROPIC
    // keeps the current ones.
    if (mode == MM_ISOTROPIC) {
        m.windowExtX = space_.widthMm * 10;
        m.windowExtY = space_.heightMm * 10;
        m.viewportExtX = space_.widthPx;
        m.viewportExtY = -space_.heightPx;
    } else if (mode == MM_TEXT) {
        m.windowExtX = m.windowExtY = m.viewportExtX = m.viewportExtY = 1;
    }
    remap();
}

void Player::onWindowExt(const Record& r)
{
    Mapping& m = state_.map;
    if (m.mode != MM_ISOTROPIC && m.mode != MM_ANISOTROPIC)
        return; // ignored in the fixed modes, as GDI does
    if (r.i32(8) == 0 || r.i32(12) == 0) {
        note(describe(r) + ": a zero extent is ignored");
        return;
    }
    m.windowExtX = r.i32(8);
    m.windowExtY = r.i32(12);
    remap();
}

void Player::onViewportExt(const Record& r)
{
    Mapping& m = state_.map;
    if (m.mode != MM_ISOTROPIC && m.mode != MM_ANISOTROPIC)
        return;
    if (r.i32(8) == 0 || r.i32(12) == 0) {
        note(describe(r) + ": a zero extent is ignored");
        return;
    }
    m.viewportExtX = r.i32(8);
    m.viewportExtY = r.i32(12);
    remap();
}

void Player::onWindowOrg(const Record& r)
{
    state_.map.windowOrgX = r.i32(8);
    state_.map.windowOrgY = r.i32(12);
}

void Player::onViewportOrg(const Record& r)
{
    state_.map.viewportOrgX = r.i32(8);
    state_.map.viewportOrgY = r.i32(12);
}

void Player::onScaleViewportExt(const Record& r)
{
    scaleExtent(r, state_.map.viewportExtX, state_.map.viewportExtY);
}

void Player::onScaleWindowExt(const Record& r) { scaleExtent(r, state_.map.windowExtX, state_.map.windowExtY); }

// SCALEVIEWPORTEXTEX and SCALEWINDOWEXTEX: extent := extent * num / denom.
void Player::scaleExtent(const Record& r, double& extentX, double& extentY)
{
    if (state_.map.mode != MM_ISOTROPIC && state_.map.mode != MM_ANISOTROPIC)
        return;
    const double xNum = r.i32(8), xDenom = r.i32(12), yNum = r.i32(16), yDenom = r.i32(20);
    if (xNum == 0 || xDenom == 0 || yNum == 0 || yDenom == 0) {
        note(describe(r) + ": a zero factor is ignored");
        return;
    }
    extentX = extentX * xNum / xDenom;
    extentY = extentY * yNum / yDenom;
    remap();
}

namespace {
std::optional<Affine> affineAt(const Record& r, std::size_t at)
{
    Affine a{loadF32(r.p + at), loadF32(r.p + at + 4), loadF32(r.p + at + 8),
             loadF32(r.p + at + 12), loadF32(r.p + at + 16), loadF32(r.p + at + 20)};
    for (double v : {a.m11, a.m12, a.m21, a.m22, a.dx, a.dy})
        if (!std::isfinite(v))
            return std::nullopt;
    if (a.m11 * a.m22 - a.m12 * a.m21 == 0)
        return std::nullopt; // not invertible: GDI refuses it
    return a;
}
} // namespace

void Player::onSetWorldTransform(const Record& r)
{
    const std::optional<Affine> a = affineAt(r, 8);
    if (!a) {
        note(describe(r) + ": an unusable transform is ignored");
        return;
    }
    state_.map.world = *a;
    identityWorld_ = a->isIdentity();
}

void Player::onModifyWorldTransform(const Record& r)
{
    const std::uint32_t mode = r.u32(32);
    Affine& world = state_.map.world;
    if (mode == 1) { // MWT_IDENTITY
        world = Affine{};
    } else {
        const std::optional<Affine> a = affineAt(r, 8);
        if (!a || mode < 2 || mode > 4) {
            note(describe(r) + ": an unusable transform is ignored");
            return;
        }
        if (mode == 2) world = a->then(world);      // MWT_LEFTMULTIPLY
        else if (mode == 3) world = world.then(*a); // MWT_RIGHTMULTIPLY
        else world = *a;                            // MWT_SET
    }
    identityWorld_ = world.isIdentity();
}

void Player::onSetBkMode(const Record& r)
{
    const std::uint32_t mode = r.u32(8);
    if (mode == TRANSPARENT || mode == OPAQUE)
        state_.bkMode = static_cast<int>(mode);
    else
        note(describe(r) + ": unknown background mode " + std::to_string(mode) + " ignored");
}

void Player::onSetPolyFillMode(const Record& r)
{
    const std::uint32_t mode = r.u32(8);
    if (mode == ALTERNATE || mode == WINDING)
        state_.fillMode = static_cast<int>(mode);
    else
        note(describe(r) + ": unknown fill mode " + std::to_string(mode) + " ignored");
}

void Player::onSetRop2(const Record& r)
{
    // Kept for SAVEDC only: the devices draw R2_COPYPEN.
    const std::uint32_t rop = r.u32(8);
    if (rop >= 1 && rop <= 16)
        state_.rop2 = static_cast<int>(rop);
}

void Player::onLineTo(const Record& r)
{
    const PointF to = pointAt(r, 8);
    device_.line(state_.position, to, state_.pen, penScale());
    state_.position = to;
}

void Player::onPoly(const Record& r)
{
    const bool small = r.type == EMR_POLYLINE16 || r.type == EMR_POLYGON16;
    const bool closed = r.type == EMR_POLYGON16 || r.type == EMR_POLYGON;
    const std::uint32_t count = r.u32(24);
    if (!r.holds(28, count, small ? 4 : 8)) {
        damaged(r, "holds fewer than its " + std::to_string(count) + " points");
        return;
    }
    if (count < 2)
        return;
    const std::vector<PointF> pts = points(r, 28, count, small);
    if (closed)
        device_.polygon(pts, state_.pen, penScale(), state_.brush, state_.fillMode);
    else
        device_.polyline(pts, state_.pen, penScale());
}

void Player::onPolyLineTo(const Record& r)
{
    const bool small = r.type == EMR_POLYLINETO16;
    const std::uint32_t count = r.u32(24);
    if (!r.holds(28, count, small ? 4 : 8)) {
        damaged(r, "holds fewer than its " + std::to_string(count) + " points");
        return;
    }
    if (count == 0)
        return;
    std::vector<PointF> pts = points(r, 28, count, small);
    pts.insert(pts.begin(), state_.position);
    device_.polyline(pts, state_.pen, penScale());
    state_.position = pts.back();
}

void Player::onRectangle(const Record& r)
{
    const RectF box = rectAt(r, 8);
    device_.rectangle(box.left, box.top, box.right, box.bottom, state_.pen, penScale(), state_.brush);
}

void Player::onIntersectClip(const Record& r)
{
    const RectF box = rectAt(r, 8);
    setClip(state_.clip ? intersect(*state_.clip, box) : box);
}

void Player::onSelectClipRegion(const Record& r)
{
    const std::uint32_t cb = r.u32(8), mode = r.u32(12);
    if (!r.holds(16, cb, 1)) {
        damaged(r, "has region data past its end");
        return;
    }
    if (cb == 0) {
        if (mode == kRgnCopy)
            setClip(std::nullopt); // the default clip: the whole surface
        return;
    }
    const std::uint32_t count = cb >= kRgnDataHeader ? r.u32(16 + 8) : 0;
    if (cb < kRgnDataHeader || !r.holds(16 + kRgnDataHeader, count, 16) ||
        std::uint64_t(count) * 16 + kRgnDataHeader > cb) {
        damaged(r, "has a bad region");
        return;
    }
    // Region rectangles are device units, i.e. reference pixels; only
    // rectangular regions are kept.
    if (count > 1 || (mode != kRgnCopy && mode != kRgnAnd)) {
        note(describe(r) + ": a clip region that is no single rectangle is ignored");
        return;
    }
    RectF box{0, 0, 0, 0};
    if (count == 1) {
        const std::size_t at = 16 + kRgnDataHeader;
        box = {double(r.i32(at)), double(r.i32(at + 4)), double(r.i32(at + 8)), double(r.i32(at + 12))};
        if (box.right < box.left) std::swap(box.left, box.right);
        if (box.bottom < box.top) std::swap(box.top, box.bottom);
    }
    if (mode == kRgnAnd && state_.clip)
        box = intersect(*state_.clip, box);
    setClip(box);
}

void Player::onSaveDc(const Record& r)
{
    if (saved_.size() >= kMaxSavedStates) {
        note(describe(r) + ": more than " + std::to_string(kMaxSavedStates) + " saved states; ignored");
        return;
    }
    saved_.push_back(state_);
}

void Player::onRestoreDc(const Record& r)
{
    const std::int64_t n = r.i32(8);
    // Negative: relative to the latest save (MS-EMF); positive: an absolute
    // level, which Windows also accepts.
    const std::int64_t level = n < 0 ? static_cast<std::int64_t>(saved_.size()) + n : n - 1;
    if (n == 0 || level < 0 || level >= static_cast<std::int64_t>(saved_.size())) {
        note(describe(r) + ": RESTOREDC " + std::to_string(n) + " with " + std::to_string(saved_.size()) +
             " saved states ignored");
        return;
    }
    DcState restored = std::move(saved_[static_cast<std::size_t>(level)]);
    saved_.resize(static_cast<std::size_t>(level));
    restore(std::move(restored));
}

void Player::onSelectObject(const Record& r)
{
    const std::uint32_t handle = r.u32(8);
    const Object object = objectFor(handle);
    if (const auto* pen = std::get_if<LogPen>(&object))
        state_.pen = *pen;
    else if (const auto* brush = std::get_if<LogBrush>(&object))
        state_.brush = *brush;
    else if (const auto* font = std::get_if<LogFont>(&object))
        state_.font = *font;
    else if (handle != (kStockBit | kDefaultPalette))
        note(describe(r) + ": no object " + std::to_string(handle) + " to select");
}

void Player::onDeleteObject(const Record& r)
{
    // What is selected stays in effect: the state holds copies.
    const std::uint32_t handle = r.u32(8);
    if (handle & kStockBit)
        return;
    if (handle < objects_.size() && !std::holds_alternative<std::monostate>(objects_[handle]))
        objects_[handle] = std::monostate{};
    else
        note(describe(r) + ": no object " + std::to_string(handle) + " to delete");
}

void Player::onCreatePen(const Record& r)
{
    const std::int32_t width = r.i32(16);
    const LogPen pen{static_cast<int>(r.u32(12) & PS_STYLE_MASK),
                     width < 0 ? (width == std::numeric_limits<std::int32_t>::min() ? 0 : -width) : width,
                     colour(r.u32(24))};
    store(r, r.u32(8), pen);
}

void Player::onExtCreatePen(const Record& r)
{
    const std::uint32_t offBmi = r.u32(12), cbBmi = r.u32(16), offBits = r.u32(20), cbBits = r.u32(24);
    const std::uint32_t entries = r.u32(48);
    if ((cbBmi && !r.holds(offBmi, cbBmi, 1)) || (cbBits && !r.holds(offBits, cbBits, 1)) ||
        !r.holds(kSizeExtCreatePen, entries, 4)) {
        damaged(r, "has data offsets outside the record");
        return;
    }
    const std::uint32_t style = r.u32(28);
    const std::uint32_t brushStyle = r.u32(36);
    const bool geometric = (style & kPsTypeMask) == kPsGeometric;
    const std::int32_t width = r.i32(32);
    LogPen pen;
    pen.style = static_cast<int>(style & (PS_STYLE_MASK | PS_ENDCAP_MASK | PS_JOIN_MASK));
    // A cosmetic pen is one device pixel whatever its width field says.
    pen.width = geometric ? std::clamp(width, 0, 1 << 24) : 0;
    pen.color = colour(r.u32(40));
    if (brushStyle == BS_NULL)
        pen.style = (pen.style & ~PS_STYLE_MASK) | PS_NULL;
    else if (brushStyle != BS_SOLID && brushStyle != BS_HATCHED)
        note(describe(r) + ": a pattern pen is drawn solid");
    if ((pen.style & PS_STYLE_MASK) > PS_INSIDEFRAME) // PS_USERSTYLE, PS_ALTERNATE
        pen.style = (pen.style & ~PS_STYLE_MASK) | PS_DOT;
    store(r, r.u32(8), pen);
}

void Player::onCreateBrush(const Record& r)
{
    const std::uint32_t style = r.u32(12);
    LogBrush brush{static_cast<int>(style), colour(r.u32(16)), static_cast<int>(r.u32(20))};
    if (style > BS_HATCHED) {
        note(describe(r) + ": brush style " + std::to_string(style) + " drawn solid");
        brush.style = BS_SOLID;
    }
    if (brush.style == BS_HATCHED && (brush.hatch < HS_HORIZONTAL || brush.hatch > HS_DIAGCROSS))
        brush.hatch = HS_CROSS;
    store(r, r.u32(8), brush);
}

void Player::onCreateFont(const Record& r)
{
    // The LOGFONTW comes first in all three record forms (104, 332, >= 368).
    const std::uint8_t* lf = r.p + 12;
    LogFont f;
    f.height = loadI32(lf);
    f.width = loadI32(lf + 4);
    f.escapement = loadI32(lf + 8);
    f.orientation = loadI32(lf + 12);
    f.weight = loadI32(lf + 16);
    f.italic = lf[20] != 0;
    f.underline = lf[21] != 0;
    f.strikeOut = lf[22] != 0;
    f.charSet = lf[23];
    f.outPrecision = lf[24];
    f.clipPrecision = lf[25];
    f.quality = lf[26];
    f.pitchAndFamily = lf[27];
    // At most 32 units: MS-EMF allows a name without terminator.
    for (std::size_t i = 0; i < kFaceNameUnits; ++i) {
        const char16_t c = loadU16(lf + 28 + 2 * i);
        if (c == 0)
            break;
        f.faceName.push_back(c);
    }
    store(r, r.u32(8), std::move(f));
}

void Player::onBitBlt(const Record& r)
{
    const std::uint32_t offBmi = r.u32(blt::offBmiSrc), cbBmi = r.u32(blt::cbBmiSrc);
    const std::uint32_t offBits = r.u32(blt::offBitsSrc), cbBits = r.u32(blt::cbBitsSrc);
    if ((cbBmi && !r.holds(offBmi, cbBmi, 1)) || (cbBits && !r.holds(offBits, cbBits, 1))) {
        damaged(r, "has bitmap offsets outside the record");
        return;
    }
    const std::uint32_t rop = r.u32(blt::rop);
    LogBrush brush;
    if (rop == kPatCopy)
        brush = state_.brush;
    else if (rop == kBlackness)
        brush = LogBrush{BS_SOLID, 0x000000, 0};
    else if (rop == kWhiteness)
        brush = LogBrush{BS_SOLID, 0xFFFFFF, 0};
    else {
        note(describe(r) + (cbBits ? ": bitmaps are not played" : ": raster operation not played"));
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
        damaged(r, "has a bad region");
        return;
    }
    const Object object = objectFor(r.u32(28));
    const auto* brush = std::get_if<LogBrush>(&object);
    if (!brush) {
        note(describe(r) + ": no brush " + std::to_string(r.u32(28)));
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i)
        fill(rectAt(r, kSizeFillRgn + kRgnDataHeader + 16 * std::size_t(i)), *brush);
}

void Player::onText(const Record& r)
{
    const bool wide = r.type == EMR_EXTTEXTOUTW;
    const std::uint32_t options = r.u32(textout::options);
    const bool noRect = options & kEtoNoRect;
    if (!noRect && r.size < kSizeTextFixed) {
        damaged(r, "is too short for its rectangle");
        return;
    }
    const std::uint32_t chars = r.u32(textout::chars);
    const std::uint32_t offString = r.u32(textout::offString);
    const std::uint32_t offDx = r.u32(noRect ? textout::offDxNoRect : textout::offDx);
    const bool pdy = options & kEtoPdy;
    if ((chars && !r.holds(offString, chars, wide ? 2 : 1)) || (offDx && !r.holds(offDx, chars, pdy ? 8 : 4))) {
        damaged(r, "has text or advances outside the record");
        return;
    }
    RectF box;
    if (!noRect)
        box = rectAt(r, textout::rect);
    const bool opaqueBox = !noRect && (options & kEtoOpaque);
    if (opaqueBox)
        fill(box, LogBrush{BS_SOLID, state_.bkColor, 0});
    if (chars == 0)
        return;
    if (options & kEtoGlyphIndex) {
        note(describe(r) + ": glyph-index text is not played");
        return;
    }

    TextRun run;
    run.text.resize(chars);
    const std::uint8_t* s = r.p + offString;
    for (std::size_t i = 0; i < chars; ++i)
        run.text[i] = wide ? loadU16(s + 2 * i) : fromCp1252(s[i]);
    const Mapping& m = state_.map;
    double advance = 0;
    if (offDx) {
        const double kx = m.sx * (identityWorld_ ? 1 : std::hypot(m.world.m11, m.world.m12));
        const double ky = m.sy * (identityWorld_ ? 1 : std::hypot(m.world.m21, m.world.m22));
        run.dx.resize(chars);
        if (pdy)
            run.dy.resize(chars);
        const std::uint8_t* a = r.p + offDx;
        for (std::size_t i = 0; i < chars; ++i) {
            run.dx[i] = bounded(loadI32(a + (pdy ? 8 : 4) * i) * kx);
            if (pdy)
                run.dy[i] = bounded(loadI32(a + 8 * i + 4) * ky);
            advance += run.dx[i];
        }
        advance = bounded(advance);
    }
    const unsigned horizontal = state_.align & TA_CENTER;
    if (state_.align & TA_UPDATECP) {
        run.origin = state_.position;
        if (offDx == 0)
            note(describe(r) + ": TA_UPDATECP text without advances does not move the position");
        else if (horizontal == TA_LEFT)
            state_.position.x = bounded(state_.position.x + advance);
        else if (horizontal == TA_RIGHT)
            state_.position.x = bounded(state_.position.x - advance);
    } else {
        run.origin = pointAt(r, textout::reference);
    }
    run.scaleX = scaleX();
    run.scaleY = scaleY();
    run.font = state_.font;
    run.font.height = boundedInt(state_.font.height * run.scaleY);
    run.font.width = boundedInt(state_.font.width * run.scaleX);
    run.color = state_.textColor;
    run.bkMode = state_.bkMode;
    run.bkColor = state_.bkColor;
    run.align = state_.align;

    const bool clipped = !noRect && (options & kEtoClipped);
    if (clipped) {
        const std::optional<RectF> before = state_.clip;
        setClip(state_.clip ? intersect(*state_.clip, box) : box);
        device_.text(run);
        setClip(before);
    } else {
        device_.text(run);
    }
}

} // namespace

RectF frameInPixels(const PageSpace& space)
{
    const double kx = space.widthMm > 0 ? space.widthPx / (space.widthMm * 100) : 0;
    const double ky = space.heightMm > 0 ? space.heightPx / (space.heightMm * 100) : 0;
    return {space.frame.left * kx, space.frame.top * ky, space.frame.right * kx, space.frame.bottom * ky};
}

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
