#include "platform/metafile/emf_player.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace velm::emf {

using namespace gdi;

namespace {
// A fresh device context (EMF-REFERENCE.md 3.5).
DcState freshState()
{
    DcState state;
    state.font = stockFont(u"MS Sans Serif", 16, 700, 0x22);
    return state;
}
} // namespace

Player::Player(const PageSpace& space, PageDevice& device, std::uint32_t declaredHandles)
    : space_(space), device_(device), declaredHandles_(declaredHandles),
      gdi_(device, log_, freshState(), kMaxObjects)
{
    pxPerMmX_ = space.widthPx / space.widthMm;
    pxPerMmY_ = space.heightPx / space.heightMm;
}

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
    set(EMR_COMMENT, 12, &Player::onComment, "EMR_COMMENT");
    return t;
}

const std::array<Player::Entry, kLastRecordType + 1> Player::table_ = Player::makeTable();

EmfPlayResult Player::run(const std::vector<std::uint8_t>& bytes, std::size_t end, std::uint32_t declaredBytes,
                          std::uint32_t declaredRecords)
{
    device_.beginPage(space_);
    if (declaredBytes > bytes.size())
        log_.damaged("the file is shorter than its header says (" + std::to_string(bytes.size()) + " of " +
                     std::to_string(declaredBytes) + " bytes)");
    PlayResult& result = log_.result();
    int recordIndex = 0;
    std::size_t offset = 0;
    while (offset < end && !stop_) {
        const std::size_t left = end - offset;
        if (left < 8) {
            log_.damaged("a record at byte " + std::to_string(offset) + " is cut off");
            break;
        }
        const Record r{bytes.data() + offset, loadU32(bytes.data() + offset), loadU32(bytes.data() + offset + 4),
                       offset};
        log_.enter(++recordIndex, r.type <= kLastRecordType ? table_[r.type].name : nullptr, r.type, offset);
        if (r.size < 8 || r.size % 4 != 0 || r.size > left) {
            log_.recordDamaged("has a bad size " + std::to_string(r.size) +
                               (r.size > left ? " (past the end of the file)" : ""));
            break;
        }
        ++result.recordsPlayed;
        const Entry* entry = r.type <= kLastRecordType ? &table_[r.type] : nullptr;
        if (!entry || !entry->handler) {
            log_.skip(r.type);
        } else if (r.size < entry->minSize) {
            log_.recordDamaged("is too short (" + std::to_string(r.size) + " bytes, needs " +
                               std::to_string(entry->minSize) + ")");
        } else if (r.type == EMR_HEADER && offset != 0) {
            log_.recordNote("a second header is ignored");
        } else {
            (this->*entry->handler)(r);
        }
        offset += r.size;
    }
    if (!stop_ && offset >= end && offset != 0)
        log_.damaged("the file ends without an EMR_EOF record");
    else if (stop_ && declaredRecords != static_cast<std::uint32_t>(result.recordsPlayed))
        log_.note("the header counts " + std::to_string(declaredRecords) + " records, the file holds " +
                  std::to_string(result.recordsPlayed));
    device_.endPage();
    return log_.finish();
}

void Player::remap()
{
    Mapping& m = state().map;
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
        log_.recordNote("unknown mapping mode " + std::to_string(mode) + " ignored");
        return;
    }
    Mapping& m = state().map;
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
    Mapping& m = state().map;
    if (m.mode != MM_ISOTROPIC && m.mode != MM_ANISOTROPIC)
        return; // ignored in the fixed modes, as GDI does
    if (r.i32(8) == 0 || r.i32(12) == 0) {
        log_.recordNote("a zero extent is ignored");
        return;
    }
    m.windowExtX = r.i32(8);
    m.windowExtY = r.i32(12);
    remap();
}

void Player::onViewportExt(const Record& r)
{
    Mapping& m = state().map;
    if (m.mode != MM_ISOTROPIC && m.mode != MM_ANISOTROPIC)
        return;
    if (r.i32(8) == 0 || r.i32(12) == 0) {
        log_.recordNote("a zero extent is ignored");
        return;
    }
    m.viewportExtX = r.i32(8);
    m.viewportExtY = r.i32(12);
    remap();
}

void Player::onWindowOrg(const Record& r)
{
    state().map.windowOrgX = r.i32(8);
    state().map.windowOrgY = r.i32(12);
}

void Player::onViewportOrg(const Record& r)
{
    state().map.viewportOrgX = r.i32(8);
    state().map.viewportOrgY = r.i32(12);
}

void Player::onScaleViewportExt(const Record& r)
{
    scaleExtent(r, state().map.viewportExtX, state().map.viewportExtY);
}

void Player::onScaleWindowExt(const Record& r) { scaleExtent(r, state().map.windowExtX, state().map.windowExtY); }

// SCALEVIEWPORTEXTEX and SCALEWINDOWEXTEX: extent := extent * num / denom.
void Player::scaleExtent(const Record& r, double& extentX, double& extentY)
{
    if (state().map.mode != MM_ISOTROPIC && state().map.mode != MM_ANISOTROPIC)
        return;
    const double xNum = r.i32(8), xDenom = r.i32(12), yNum = r.i32(16), yDenom = r.i32(20);
    if (xNum == 0 || xDenom == 0 || yNum == 0 || yDenom == 0) {
        log_.recordNote("a zero factor is ignored");
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
        log_.recordNote("an unusable transform is ignored");
        return;
    }
    state().map.setWorld(*a);
}

void Player::onModifyWorldTransform(const Record& r)
{
    const std::uint32_t mode = r.u32(32);
    Affine world = state().map.world();
    if (mode == 1) { // MWT_IDENTITY
        world = Affine{};
    } else {
        const std::optional<Affine> a = affineAt(r, 8);
        if (!a || mode < 2 || mode > 4) {
            log_.recordNote("an unusable transform is ignored");
            return;
        }
        if (mode == 2) world = a->then(world);      // MWT_LEFTMULTIPLY
        else if (mode == 3) world = world.then(*a); // MWT_RIGHTMULTIPLY
        else world = *a;                            // MWT_SET
    }
    state().map.setWorld(world);
}

void Player::onSetBkMode(const Record& r)
{
    const std::uint32_t mode = r.u32(8);
    if (mode == TRANSPARENT || mode == OPAQUE)
        state().bkMode = static_cast<int>(mode);
    else
        log_.recordNote("unknown background mode " + std::to_string(mode) + " ignored");
}

void Player::onSetPolyFillMode(const Record& r)
{
    const std::uint32_t mode = r.u32(8);
    if (mode == ALTERNATE || mode == WINDING)
        state().fillMode = static_cast<int>(mode);
    else
        log_.recordNote("unknown fill mode " + std::to_string(mode) + " ignored");
}

void Player::onSetRop2(const Record& r)
{
    // Kept for SAVEDC only: the devices draw R2_COPYPEN.
    const std::uint32_t rop = r.u32(8);
    if (rop >= 1 && rop <= 16)
        state().rop2 = static_cast<int>(rop);
}

void Player::onLineTo(const Record& r)
{
    const PointF to = pointAt(r, 8);
    device_.line(state().position, to, state().pen, penScale());
    state().position = to;
}

void Player::onPoly(const Record& r)
{
    const bool small = r.type == EMR_POLYLINE16 || r.type == EMR_POLYGON16;
    const bool closed = r.type == EMR_POLYGON16 || r.type == EMR_POLYGON;
    const std::uint32_t count = r.u32(24);
    if (!r.holds(28, count, small ? 4 : 8)) {
        log_.recordDamaged("holds fewer than its " + std::to_string(count) + " points");
        return;
    }
    if (count < 2)
        return;
    const std::vector<PointF> pts = points(r, 28, count, small);
    if (closed)
        device_.polygon(pts, state().pen, penScale(), state().brush, state().fillMode);
    else
        device_.polyline(pts, state().pen, penScale());
}

void Player::onPolyLineTo(const Record& r)
{
    const bool small = r.type == EMR_POLYLINETO16;
    const std::uint32_t count = r.u32(24);
    if (!r.holds(28, count, small ? 4 : 8)) {
        log_.recordDamaged("holds fewer than its " + std::to_string(count) + " points");
        return;
    }
    if (count == 0)
        return;
    std::vector<PointF> pts = points(r, 28, count, small);
    pts.insert(pts.begin(), state().position);
    device_.polyline(pts, state().pen, penScale());
    state().position = pts.back();
}

void Player::onRectangle(const Record& r)
{
    const RectF box = rectAt(r, 8);
    device_.rectangle(box.left, box.top, box.right, box.bottom, state().pen, penScale(), state().brush);
}

void Player::onSelectClipRegion(const Record& r)
{
    const std::uint32_t cb = r.u32(8), mode = r.u32(12);
    if (!r.holds(16, cb, 1)) {
        log_.recordDamaged("has region data past its end");
        return;
    }
    if (cb == 0) {
        if (mode == kRgnCopy)
            gdi_.setClip(std::nullopt); // the default clip: the whole surface
        return;
    }
    const std::uint32_t count = cb >= kRgnDataHeader ? r.u32(16 + 8) : 0;
    if (cb < kRgnDataHeader || !r.holds(16 + kRgnDataHeader, count, 16) ||
        std::uint64_t(count) * 16 + kRgnDataHeader > cb) {
        log_.recordDamaged("has a bad region");
        return;
    }
    // Region rectangles are device units, i.e. reference pixels; only
    // rectangular regions are kept.
    if (count > 1 || (mode != kRgnCopy && mode != kRgnAnd)) {
        log_.recordNote("a clip region that is no single rectangle is ignored");
        return;
    }
    RectF box{0, 0, 0, 0};
    if (count == 1) {
        const std::size_t at = 16 + kRgnDataHeader;
        box = {double(r.i32(at)), double(r.i32(at + 4)), double(r.i32(at + 8)), double(r.i32(at + 12))};
        if (box.right < box.left) std::swap(box.left, box.right);
        if (box.bottom < box.top) std::swap(box.top, box.bottom);
    }
    if (mode == kRgnAnd && state().clip)
        box = GdiState::intersect(*state().clip, box);
    gdi_.setClip(box);
}

std::vector<PointF> Player::points(const Record& r, std::size_t at, std::uint32_t count, bool small) const
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

} // namespace velm::emf
