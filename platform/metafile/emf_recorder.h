// Records one page as a standard enhanced metafile, through calls shaped
// like the GDI ones the drawing surface makes. Coordinates are the page's
// own pixels; the header describes that page truthfully (pixels and
// millimetres), so standard readers show the page at its real size.
#pragma once

#include "platform/metafile/gdi_types.h"
#include "platform/metafile/page_device.h"

#include <cstdint>
#include <memory>
#include <span>
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
    // TA_LEFT|TA_TOP, black text, white background, OPAQUE as GDI's fresh DC,
    // ALTERNATE fill, R2_COPYPEN). The header: szlDevice = the page in pixels,
    // szlMillimeters / szlMicrometers = the page from pixels and dpi, frame =
    // the whole page in 0.01 mm, bounds = (0, 0, width - 1, height - 1).
    // The description is stored as "text\0\0" (text may hold "App\0Title");
    // it is cut to what emf2svg 1.1 accepts even on a blank page (about 24
    // units). Throws std::invalid_argument when a size or dpi is not positive.
    explicit EmfRecorder(const PageGeometry& page, std::u16string description = u"Velm");
    ~EmfRecorder();
    EmfRecorder(const EmfRecorder&) = delete;
    EmfRecorder& operator=(const EmfRecorder&) = delete;

    // Each create fills the lowest free table slot and returns its index, or
    // kNoHandle when all 65534 slots are taken (as GDI fails). Pens up to one
    // pixel wide are EMR_CREATEPEN (line style only), wider ones a geometric
    // EMR_EXTCREATEPEN that keeps the cap and join bits of the style. Fonts
    // are 104-byte EMR_EXTCREATEFONTINDIRECTW records; a face name is cut to
    // 31 units.
    GdiHandle createPen(const LogPen& pen);
    GdiHandle createBrush(const LogBrush& brush);
    GdiHandle createFont(const LogFont& font);
    // Selects a pen, brush or font and returns the object of the same kind it
    // replaces (initially the stock BLACK_PEN, WHITE_BRUSH, SYSTEM_FONT). An
    // unknown, free or deleted handle records nothing and returns kNoHandle.
    GdiHandle selectObject(GdiHandle handle);
    // Frees the table slot; deleting a stock or unknown handle does nothing.
    // An object that is still selected stays in effect (readers keep it, as
    // Wine does) and its slot is reused only after something replaces it.
    void deleteObject(GdiHandle handle);

    void setBkMode(int mode);
    void setBkColor(ColorRef color);
    void setTextColor(ColorRef color);
    void setTextAlign(unsigned align);
    void moveTo(int x, int y);
    void lineTo(int x, int y);
    // FillRect: [left, right) x [top, bottom) with the given brush, recorded
    // as a PATCOPY blit between two selections (none when the brush is the
    // selected one). An empty rectangle or a handle that is no brush records
    // nothing.
    void fillRect(const Rect& rect, GdiHandle brush);
    // Rectangle: outlined with the selected pen, filled with the selected brush.
    void rectangle(const Rect& rect);
    // ExtTextOutW at (x, y) with one advance per UTF-16 unit (dx may be
    // empty: then no advance array is written; a shorter dx is padded with
    // 0, extra entries are ignored). GDI's layout: offString 76, offDx after
    // the string padded to 4 bytes.
    void textOut(int x, int y, std::u16string_view text, const std::vector<int>& dx);
    // Shaped text: a private comment naming the source (none when its text
    // is empty), then ExtTextOutW with ETO_GLYPH_INDEX at (x, y): glyph ids
    // of the selected font's face, one advance each (dx, padded or cut as
    // textOut's) and, when dy is not empty, ETO_PDY with one vertical
    // advance each, positive upwards as GDI counts them.
    void glyphsOut(int x, int y, std::span<const std::uint16_t> glyphs, std::span<const int> dx,
                   std::span<const int> dy, const TextSource& source);

    // Ends the page (EOF, header totals nBytes, nRecords, nHandles = 1 +
    // highest slot used) and returns the file's bytes; every later call
    // throws std::logic_error.
    std::vector<std::uint8_t> finish();
    // finish() and write the bytes to path in one write; throws FileError (a
    // std::runtime_error) "Cannot create file <path>" when the file cannot
    // be written whole, and leaves no partial file behind.
    void saveTo(const std::string& path);

private:
    struct State;
    std::unique_ptr<State> d;
};

} // namespace velm
