// Internal to the EMF reader: the player that walks an enhanced metafile's
// records through a checked table (type -> minimum size and handler) onto
// a PageDevice. Its handlers live in emf_player.cpp (walk, mapping, modes,
// drawing, clip), emf_objects.cpp (object records) and emf_reader.cpp (text,
// bitmap and region records).
#pragma once

#include "platform/metafile/emf_reader.h"
#include "platform/metafile/emf_records.h"
#include "platform/metafile/gdi_state.h"

#include <array>

namespace velm::emf {

constexpr std::uint32_t kMaxObjects = 65536; // nHandles is 16 bits: no sound file needs more

// A high byte of 1 is a palette index (we keep no palette: black); 2 is a
// palette-relative RGB, usable as it is.
inline ColorRef colour(std::uint32_t v) { return (v >> 24) == 1 ? 0 : v & 0xFFFFFF; }

LogFont stockFont(const char16_t* face, int height, int weight, std::uint8_t pitchAndFamily);
gdi::Object stockObjectValue(std::uint32_t handle);

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
    Player(const PageSpace& space, PageDevice& device, std::uint32_t declaredHandles);

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

    gdi::DcState& state() { return gdi_.state(); }
    const gdi::DcState& state() const { return gdi_.state(); }

    // Mapping.
    void remap();
    PointF map(double x, double y) const { return state().map.apply(x, y); }
    PointF pointAt(const Record& r, std::size_t at) const { return map(r.i32(at), r.i32(at + 4)); }
    // A logical rectangle in reference pixels, normalised.
    RectF rectAt(const Record& r, std::size_t at) const
    {
        const PointF a = pointAt(r, at), b = pointAt(r, at + 8);
        return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    }
    double penScale() const { return state().map.scaleX(); }

    // Objects.
    gdi::Object objectFor(std::uint32_t handle) const;
    void store(std::uint32_t index, gdi::Object object);

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
    void onSetTextAlign(const Record& r) { state().align = r.u32(8); }
    void onSetTextColor(const Record& r) { state().textColor = colour(r.u32(8)); }
    void onSetBkColor(const Record& r) { state().bkColor = colour(r.u32(8)); }
    void onMoveTo(const Record& r) { state().position = pointAt(r, 8); }
    void onLineTo(const Record& r);
    void onPoly(const Record& r);
    void onPolyLineTo(const Record& r);
    void onRectangle(const Record& r);
    void onIntersectClip(const Record& r) { gdi_.intersectClip(rectAt(r, 8)); }
    void onSelectClipRegion(const Record& r);
    void onSaveDc(const Record&) { gdi_.save(); }
    void onRestoreDc(const Record& r) { gdi_.restore(r.i32(8)); }
    void onSelectObject(const Record& r);
    void onDeleteObject(const Record& r);
    void onCreatePen(const Record& r);
    void onExtCreatePen(const Record& r);
    void onCreateBrush(const Record& r);
    void onCreateFont(const Record& r);
    void onBitBlt(const Record& r);
    void onFillRegion(const Record& r);
    void onText(const Record& r);
    void onComment(const Record& r);

    void fill(const RectF& box, const LogBrush& brush)
    {
        if (box.right > box.left && box.bottom > box.top)
            device_.fillRect(box.left, box.top, box.right, box.bottom, brush);
    }
    std::vector<PointF> points(const Record& r, std::size_t at, std::uint32_t count, bool small) const;

    const PageSpace& space_;
    PageDevice& device_;
    std::uint32_t declaredHandles_;
    double pxPerMmX_ = 1, pxPerMmY_ = 1;
    gdi::PlayLog log_;
    gdi::GdiState gdi_;
    TextRun textRun_; // one for every text record, so its buffers are reused
    TextSource source_; // named by a comment for the text record that follows it
    bool sourcePending_ = false;
    bool stop_ = false;
    bool warnedHandles_ = false;
};

} // namespace velm::emf
