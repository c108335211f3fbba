// Internal to the metafile readers: the GDI playback state that enhanced and
// Windows metafiles agree on (object table, selections, colours and modes,
// current position, mapping, clip, the SAVEDC stack with its cap) and the
// damage log both report through. How records are decoded, which handles
// name stock objects and how a format maps its coordinates stay in each
// reader.
#pragma once

#include "platform/metafile/page_device.h"
#include "platform/metafile/play_result.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace velm::gdi {

// Coordinates and scales a hostile file can drive to infinity or NaN reach
// the devices as large finite numbers (NaN as 0).
inline double bounded(double v) { return std::fabs(v) < 1e9 ? v : v > 0 ? 1e9 : v < 0 ? -1e9 : 0; }
int boundedInt(double v);

// An object that takes a slot but is never drawn with (a palette, a region,
// a pattern brush).
struct OtherObject {};
using Object = std::variant<std::monostate, LogPen, LogBrush, LogFont, OtherObject>;

// The object table: slots 0 .. capacity - 1, empty ones holding monostate.
// Finding the lowest free slot takes constant time (two levels of
// occupancy bits), so a file that creates objects without end stays linear.
class ObjectTable {
public:
    static constexpr std::size_t kMaxCapacity = 65536; // handles are at most 16 bits wide

    explicit ObjectTable(std::size_t capacity); // clamped to kMaxCapacity
    std::size_t capacity() const { return capacity_; }

    // Stores at a given index, replacing what was there; false beyond the capacity.
    bool put(std::size_t index, Object object);
    // Stores in the lowest free slot, as Windows metafiles number objects;
    // nothing when the table is full.
    std::optional<std::size_t> add(Object object);
    // Empty slots and indexes beyond the table give monostate.
    const Object& at(std::size_t index) const;
    // False when the slot held nothing.
    bool remove(std::size_t index);

private:
    void mark(std::size_t index, bool used);

    std::size_t capacity_;
    std::vector<Object> slots_; // grows on demand up to capacity_
    std::array<std::uint64_t, kMaxCapacity / 64> used_{};
    std::array<std::uint64_t, kMaxCapacity / 64 / 64> fullWords_{};
};

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

// Logical coordinates to reference pixels: world transform, then window to
// viewport. The reader derives sx and sy from its mapping mode.
struct Mapping {
    int mode = MM_TEXT;
    double windowOrgX = 0, windowOrgY = 0, windowExtX = 1, windowExtY = 1;
    double viewportOrgX = 0, viewportOrgY = 0, viewportExtX = 1, viewportExtY = 1;
    double sx = 1, sy = 1; // page-space units to reference pixels

    void setWorld(const Affine& a)
    {
        world_ = a;
        identityWorld_ = a.isIdentity();
    }
    const Affine& world() const { return world_; }
    // sx, sy from the extents, as MM_ANISOTROPIC maps.
    void scaleByExtents()
    {
        sx = viewportExtX / windowExtX;
        sy = viewportExtY / windowExtY;
    }
    PointF apply(double x, double y) const
    {
        double wx = x, wy = y;
        if (!identityWorld_) {
            wx = x * world_.m11 + y * world_.m21 + world_.dx;
            wy = x * world_.m12 + y * world_.m22 + world_.dy;
        }
        return {bounded((wx - windowOrgX) * sx + viewportOrgX), bounded((wy - windowOrgY) * sy + viewportOrgY)};
    }
    // Signed length of a logical unit along each axis, world transform included.
    double unitX() const;
    double unitY() const;
    double scaleX() const { return bounded(unitX() < 0 ? -unitX() : unitX()); }
    double scaleY() const { return bounded(unitY() < 0 ? -unitY() : unitY()); }

private:
    Affine world_;
    bool identityWorld_ = true;
};

// Everything SAVEDC saves (the object table is not part of it).
struct DcState {
    LogPen pen{PS_SOLID, 0, 0};
    LogBrush brush{BS_SOLID, 0xFFFFFF, 0};
    LogFont font;
    ColorRef textColor = 0;
    ColorRef bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    unsigned align = TA_LEFT | TA_TOP;
    int fillMode = ALTERNATE;
    int rop2 = 13; // R2_COPYPEN
    Mapping map;
    PointF position;           // reference pixels
    std::optional<RectF> clip; // reference pixels; none = the whole surface
};

// Damage and notes, each told at the record being played.
class PlayLog {
public:
    static constexpr std::size_t kMaxNotes = 16;

    // The record that later reports are about; name may be null.
    void enter(int index, const char* name, std::uint32_t type, std::size_t offset)
    {
        index_ = index;
        name_ = name;
        type_ = type;
        offset_ = offset;
    }
    // "record 3 (EMR_LINETO) at byte 120"
    std::string where() const;

    // The first damage makes the result not ok; later damage is noted.
    void damaged(std::string what);
    void recordDamaged(const std::string& what) { damaged(where() + " " + what); }
    void note(std::string what);
    void recordNote(const std::string& what) { note(where() + ": " + what); }

    // A record of a type the player does not draw.
    void skip(std::uint32_t type)
    {
        ++result_.recordsSkipped;
        ++skipped_[type];
    }
    // The result, with a note per type skipped.
    PlayResult finish();

    PlayResult& result() { return result_; }

private:
    PlayResult result_;
    std::map<std::uint32_t, int> skipped_;
    int index_ = 0;
    const char* name_ = nullptr;
    std::uint32_t type_ = 0;
    std::size_t offset_ = 0;
};

// The state machine: the current state, the saved ones, and the device's
// clip kept in step with state().clip.
class GdiState {
public:
    static constexpr std::size_t kMaxSavedStates = 1024;

    GdiState(PageDevice& device, PlayLog& log, DcState initial, std::size_t objectCapacity);

    DcState& state() { return state_; }
    const DcState& state() const { return state_; }
    ObjectTable& objects() { return objects_; }
    const ObjectTable& objects() const { return objects_; }

    // Makes a pen, brush or font current; false when the object is none of these.
    bool select(const Object& object);
    // SAVEDC beyond the cap and RESTOREDC beyond the stack are noted and ignored.
    void save();
    void restore(std::int64_t which); // negative: relative to the latest save; positive: a level

    void setClip(std::optional<RectF> clip);
    void intersectClip(const RectF& box) { setClip(state_.clip ? intersect(*state_.clip, box) : box); }
    static RectF intersect(const RectF& a, const RectF& b);

    // Run becomes a text run at `origin` with the current font scaled to
    // reference pixels, colours, background and alignment, and no text yet;
    // its buffers are kept, so a player can reuse one run for all its text.
    void textRun(PointF origin, TextRun& run) const;

private:
    PageDevice& device_;
    PlayLog& log_;
    DcState state_;
    std::vector<DcState> saved_;
    ObjectTable objects_;
};

} // namespace velm::gdi
