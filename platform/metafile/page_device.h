// The narrow drawing interface that metafile playback talks to. The reader
// keeps all GDI state (objects, colours, modes, position, mapping) and hands
// every call its full parameters, so a device mirrors no state of its own.
#pragma once

#include "platform/metafile/gdi_types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velm {

// What a page's header says about the space its records are drawn in.
struct PageSpace {
    int widthPx = 0;      // reference device size in pixels (szlDevice)
    int heightPx = 0;
    double widthMm = 0;   // the same in millimetres (szlMicrometers / 1000 when present)
    double heightMm = 0;
    Rect frame;           // picture frame in 0.01 mm, as stored (inclusive)
};

// Coordinates are reference-device pixels after the file's own mapping,
// so fractions appear only when a file scales with MM_ANISOTROPIC.
struct PointF {
    double x = 0;
    double y = 0;
    bool operator==(const PointF&) const = default;
};

struct RectF {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    bool operator==(const RectF&) const = default;
};

// What a run of glyphs shows: its logical text and, for each glyph, the
// index in that text of the first unit of the glyph's cluster (a cluster's
// text runs up to the next cluster's start).
struct TextSource {
    std::u16string text;
    std::vector<std::uint32_t> clusters;
    bool rightToLeft = false;
    bool operator==(const TextSource&) const = default;
};

struct TextRun {
    PointF origin;                 // reference point as the alignment defines it
    std::u16string text;           // characters, or glyph ids when glyphIndex is set
    bool glyphIndex = false;       // ETO_GLYPH_INDEX: ids of the glyphs of the font's face
    TextSource source;             // glyph-index text whose page names its source; empty otherwise
    std::vector<double> dx;        // advance of each unit; empty when the file gave none
    std::vector<double> dy;        // vertical advance of each unit, down (ETO_PDY); usually empty
    LogFont font;                  // height already in reference pixels
    ColorRef color = 0;
    int bkMode = OPAQUE;
    ColorRef bkColor = 0xFFFFFF;
    unsigned align = 0;            // TA_* flags
    double scaleX = 1.0;           // file mapping scale (absolute); font and dx already carry it
    double scaleY = 1.0;
};

// Drawing calls never throw: the readers promise playback that never does.
class PageDevice {
public:
    virtual ~PageDevice() = default;

    virtual void beginPage(const PageSpace& space) = 0;
    virtual void endPage() = 0;

    // A pen line from `from` up to `to` (GDI leaves the end pixel unset).
    virtual void line(PointF from, PointF to, const LogPen& pen, double penScale) = 0;
    virtual void polyline(const std::vector<PointF>& points, const LogPen& pen, double penScale) = 0;
    virtual void polygon(const std::vector<PointF>& points, const LogPen& pen, double penScale,
                         const LogBrush& brush, int fillMode) = 0;
    // [left, right) x [top, bottom) in reference pixels; no outline.
    virtual void fillRect(double left, double top, double right, double bottom,
                          const LogBrush& brush) = 0;
    // Outlined with the pen, filled with the brush, as EMR_RECTANGLE.
    virtual void rectangle(double left, double top, double right, double bottom,
                           const LogPen& pen, double penScale, const LogBrush& brush) = 0;
    virtual void text(const TextRun& run) = 0;
    // Clip to the intersection of the current clip and this box; reset() drops it.
    virtual void intersectClip(double left, double top, double right, double bottom) = 0;
    virtual void resetClip() = 0;
};

} // namespace velm
