// Records one page as a standard enhanced metafile, through calls shaped
// like the GDI ones the drawing surface makes. Coordinates are the page's
// own pixels; the header describes that page truthfully (pixels and
// millimetres), so standard readers show the page at its real size.
#pragma once

#include "platform/gdi_types.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velm {

struct PageGeometry {
    int widthPx = 0;
    int heightPx = 0;
    int dpiX = 600;
    int dpiY = 600;
};

// A handle is an object-table index, or stockObject(n) for a stock object.
using GdiHandle = std::uint32_t;
constexpr GdiHandle kNoHandle = 0;
constexpr GdiHandle stockObject(int n) { return 0x80000000u | static_cast<std::uint32_t>(n); }
constexpr bool isStockObject(GdiHandle h) { return (h & 0x80000000u) != 0; }

class EmfRecorder {
public:
    // Starts the page: header, then explicit default state (MM_TEXT,
    // TA_LEFT|TA_TOP, black text, white background, OPAQUE as GDI's fresh DC).
    explicit EmfRecorder(const PageGeometry& page, std::u16string description = u"Velm");
    ~EmfRecorder();
    EmfRecorder(const EmfRecorder&) = delete;
    EmfRecorder& operator=(const EmfRecorder&) = delete;

    GdiHandle createPen(const LogPen& pen);
    GdiHandle createBrush(const LogBrush& brush);
    GdiHandle createFont(const LogFont& font);
    // Selects a pen, brush or font and returns the object of the same kind it
    // replaces (initially the stock BLACK_PEN, WHITE_BRUSH, SYSTEM_FONT).
    GdiHandle selectObject(GdiHandle handle);
    // Frees the table slot; deleting a stock or unknown handle does nothing.
    void deleteObject(GdiHandle handle);

    void setBkMode(int mode);
    void setBkColor(ColorRef color);
    void setTextColor(ColorRef color);
    void setTextAlign(unsigned align);
    void moveTo(int x, int y);
    void lineTo(int x, int y);
    // FillRect: [left, right) x [top, bottom) with the given brush, recorded
    // as a PATCOPY blit between two selections.
    void fillRect(const Rect& rect, GdiHandle brush);
    void rectangle(const Rect& rect);
    // ExtTextOutW at (x, y) with one advance per UTF-16 unit (dx may be
    // empty: then no advance array is written).
    void textOut(int x, int y, std::u16string_view text, const std::vector<int>& dx);

    // Ends the page (EOF, header totals) and returns the file's bytes; the
    // recorder takes no further calls after it.
    std::vector<std::uint8_t> finish();
    // finish() and write the bytes to path in one write; throws
    // std::runtime_error naming the file when it cannot be written.
    void saveTo(const std::string& path);

private:
    struct State;
    std::unique_ptr<State> d;
};

} // namespace velm
