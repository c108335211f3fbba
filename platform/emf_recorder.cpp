#include "platform/emf_recorder.h"

#include "platform/emf_records.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace velm {

using namespace emf;

namespace {

enum class Kind { None, Pen, Brush, Font };

Kind stockKind(GdiHandle h)
{
    const std::uint32_t n = h & 0x7FFFFFFFu;
    if (n <= NULL_BRUSH || n == 0x12)
        return Kind::Brush;
    if (n <= NULL_PEN || n == 0x13)
        return Kind::Pen;
    if (n >= 0x0A && n <= 0x11 && n != 0x0F)
        return Kind::Font;
    return Kind::None;
}

} // namespace

struct EmfRecorder::State {
    std::vector<std::uint8_t> bytes;
    std::uint32_t records = 0;
    std::vector<Kind> slots{Kind::None}; // index 0 is the metafile itself
    std::uint32_t highestSlot = 0;
    GdiHandle pen = stockObject(BLACK_PEN);
    GdiHandle brush = stockObject(WHITE_BRUSH);
    GdiHandle font = stockObject(SYSTEM_FONT);
    bool finished = false;

    // Starts a record; returns the offset of its size field for end().
    std::size_t begin(RecordType type)
    {
        if (finished)
            throw std::logic_error("metafile page already finished");
        const std::size_t start = bytes.size();
        Writer w(bytes);
        w.u32(type);
        w.u32(0);
        return start;
    }
    void end(std::size_t start)
    {
        Writer(bytes).pad4();
        patchU32(bytes, start + 4, static_cast<std::uint32_t>(bytes.size() - start));
        ++records;
    }
    void simple(RecordType type, std::uint32_t value)
    {
        const auto at = begin(type);
        Writer(bytes).u32(value);
        end(at);
    }
    void point(RecordType type, int x, int y)
    {
        const auto at = begin(type);
        Writer w(bytes);
        w.i32(x);
        w.i32(y);
        end(at);
    }
    std::uint32_t freeSlot(Kind kind)
    {
        for (std::uint32_t i = 1; i < slots.size(); ++i)
            if (slots[i] == Kind::None) {
                slots[i] = kind;
                return i;
            }
        slots.push_back(kind);
        const auto index = static_cast<std::uint32_t>(slots.size() - 1);
        highestSlot = std::max(highestSlot, index);
        return index;
    }
    Kind kindOf(GdiHandle h) const
    {
        if (isStockObject(h))
            return stockKind(h);
        return h < slots.size() ? slots[h] : Kind::None;
    }
};

EmfRecorder::EmfRecorder(const PageGeometry& page, std::u16string description) : d(std::make_unique<State>())
{
    d->bytes.reserve(64 * 1024);
    if (page.widthPx <= 0 || page.heightPx <= 0 || page.dpiX <= 0 || page.dpiY <= 0)
        throw std::invalid_argument("page geometry must be positive");
    const double widthMm = page.widthPx * 25.4 / page.dpiX;
    const double heightMm = page.heightPx * 25.4 / page.dpiY;
    description.append(u"\0\0", 2);

    const auto at = d->begin(EMR_HEADER);
    Writer w(d->bytes);
    w.i32(0); w.i32(0); w.i32(page.widthPx - 1); w.i32(page.heightPx - 1);          // rclBounds
    w.i32(0); w.i32(0);                                                              // rclFrame, 0.01 mm
    w.i32(static_cast<int>(std::lround(widthMm * 100)) - 1);
    w.i32(static_cast<int>(std::lround(heightMm * 100)) - 1);
    w.u32(kSignature);
    w.u32(kVersion);
    w.u32(0);                                                                        // nBytes, patched
    w.u32(0);                                                                        // nRecords, patched
    w.u16(1);                                                                        // nHandles, patched
    w.u16(0);
    w.u32(static_cast<std::uint32_t>(description.size()));
    w.u32(kHeaderSize);                                                              // offDescription
    w.u32(0);                                                                        // nPalEntries
    w.i32(page.widthPx); w.i32(page.heightPx);                                       // szlDevice
    w.i32(static_cast<int>(std::lround(widthMm))); w.i32(static_cast<int>(std::lround(heightMm)));
    w.u32(0); w.u32(0); w.u32(0);                                                    // no pixel format, no OpenGL
    w.i32(static_cast<int>(std::lround(widthMm * 1000)));                            // szlMicrometers
    w.i32(static_cast<int>(std::lround(heightMm * 1000)));
    for (char16_t c : description)
        w.u16(c);
    d->end(at);

    // A fresh device context's state, written out so that every reader
    // starts the page the same way.
    d->simple(EMR_SETMAPMODE, MM_TEXT);
    d->simple(EMR_SETBKMODE, OPAQUE);
    d->simple(EMR_SETTEXTALIGN, 0);
    d->simple(EMR_SETTEXTCOLOR, 0);
    d->simple(EMR_SETBKCOLOR, 0xFFFFFF);
    d->simple(EMR_SETPOLYFILLMODE, 1);
    d->simple(EMR_SETROP2, 13);
}

EmfRecorder::~EmfRecorder() = default;

GdiHandle EmfRecorder::createPen(const LogPen& pen)
{
    const std::uint32_t slot = d->freeSlot(Kind::Pen);
    Writer w(d->bytes);
    if (pen.width <= 1) {
        const auto at = d->begin(EMR_CREATEPEN);
        w.u32(slot);
        w.u32(static_cast<std::uint32_t>(pen.style));
        w.i32(pen.width);
        w.i32(0);
        w.u32(pen.color);
        d->end(at);
    } else {
        // Wide pens as geometric pens: some readers draw plain pens 1 pixel wide.
        const auto at = d->begin(EMR_EXTCREATEPEN);
        w.u32(slot);
        w.u32(0); w.u32(0); w.u32(0); w.u32(0);                    // no pattern bitmap
        w.u32(kPsGeometric | kPsEndcapFlat | static_cast<std::uint32_t>(pen.style));
        w.u32(static_cast<std::uint32_t>(pen.width));
        w.u32(BS_SOLID);
        w.u32(pen.color);
        w.u32(0);
        w.u32(0);                                                  // no style entries
        d->end(at);
    }
    return slot;
}

GdiHandle EmfRecorder::createBrush(const LogBrush& brush)
{
    const std::uint32_t slot = d->freeSlot(Kind::Brush);
    const auto at = d->begin(EMR_CREATEBRUSHINDIRECT);
    Writer w(d->bytes);
    w.u32(slot);
    w.u32(static_cast<std::uint32_t>(brush.style));
    w.u32(brush.color);
    w.u32(static_cast<std::uint32_t>(brush.hatch));
    d->end(at);
    return slot;
}

GdiHandle EmfRecorder::createFont(const LogFont& font)
{
    const std::uint32_t slot = d->freeSlot(Kind::Font);
    const auto at = d->begin(EMR_EXTCREATEFONTINDIRECTW);
    Writer w(d->bytes);
    w.u32(slot);
    w.i32(font.height); w.i32(font.width); w.i32(font.escapement); w.i32(font.orientation);
    w.i32(font.weight);
    w.u8(font.italic); w.u8(font.underline); w.u8(font.strikeOut); w.u8(font.charSet);
    w.u8(font.outPrecision); w.u8(font.clipPrecision); w.u8(font.quality); w.u8(font.pitchAndFamily);
    // 31 units and a terminator: longer names are cut, as the record allows no more.
    for (std::size_t i = 0; i < kFaceNameUnits; ++i)
        w.u16(i < font.faceName.size() && i < kFaceNameUnits - 1 ? font.faceName[i] : 0);
    d->end(at);
    return slot;
}

GdiHandle EmfRecorder::selectObject(GdiHandle handle)
{
    const Kind kind = d->kindOf(handle);
    GdiHandle* current = kind == Kind::Pen ? &d->pen : kind == Kind::Brush ? &d->brush
                       : kind == Kind::Font ? &d->font : nullptr;
    if (!current)
        return kNoHandle;
    d->simple(EMR_SELECTOBJECT, handle);
    const GdiHandle previous = *current;
    *current = handle;
    return previous;
}

void EmfRecorder::deleteObject(GdiHandle handle)
{
    if (isStockObject(handle) || handle == 0 || handle >= d->slots.size() || d->slots[handle] == Kind::None)
        return;
    d->simple(EMR_DELETEOBJECT, handle);
    d->slots[handle] = Kind::None;
}

void EmfRecorder::setBkMode(int mode) { d->simple(EMR_SETBKMODE, static_cast<std::uint32_t>(mode)); }
void EmfRecorder::setBkColor(ColorRef color) { d->simple(EMR_SETBKCOLOR, color); }
void EmfRecorder::setTextColor(ColorRef color) { d->simple(EMR_SETTEXTCOLOR, color); }
void EmfRecorder::setTextAlign(unsigned align) { d->simple(EMR_SETTEXTALIGN, align); }
void EmfRecorder::moveTo(int x, int y) { d->point(EMR_MOVETOEX, x, y); }
void EmfRecorder::lineTo(int x, int y) { d->point(EMR_LINETO, x, y); }

void EmfRecorder::fillRect(const Rect& rect, GdiHandle brush)
{
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        return;
    const GdiHandle previous = selectObject(brush);
    const auto at = d->begin(EMR_BITBLT);
    Writer w(d->bytes);
    w.i32(rect.left); w.i32(rect.top); w.i32(rect.right - 1); w.i32(rect.bottom - 1);
    w.i32(rect.left); w.i32(rect.top); w.i32(rect.width()); w.i32(rect.height());
    w.u32(kPatCopy);
    w.i32(0); w.i32(0);                                            // source origin
    w.f32(1); w.f32(0); w.f32(0); w.f32(1); w.f32(0); w.f32(0);    // identity source transform
    w.u32(0); w.u32(0);                                            // background colour, usage
    w.u32(0); w.u32(0); w.u32(0); w.u32(0);                        // no source bitmap
    d->end(at);
    if (previous != kNoHandle)
        selectObject(previous);
}

void EmfRecorder::rectangle(const Rect& rect)
{
    const auto at = d->begin(EMR_RECTANGLE);
    Writer w(d->bytes);
    w.i32(rect.left); w.i32(rect.top); w.i32(rect.right); w.i32(rect.bottom);
    d->end(at);
}

void EmfRecorder::textOut(int x, int y, std::u16string_view text, const std::vector<int>& dx)
{
    const auto n = static_cast<std::uint32_t>(text.size());
    const bool withDx = !dx.empty();
    const std::uint32_t stringBytes = (2 * n + 3) & ~3u;
    const std::uint32_t offDx = withDx ? 76 + stringBytes : 0;
    int width = 0;
    for (std::size_t i = 0; withDx && i < n; ++i)
        width += i < dx.size() ? dx[i] : 0;

    const auto at = d->begin(EMR_EXTTEXTOUTW);
    Writer w(d->bytes);
    w.i32(x); w.i32(y); w.i32(x + std::max(width, 1) - 1); w.i32(y);  // bounds, not used by players
    w.u32(1);                                                         // GM_COMPATIBLE
    w.f32(0); w.f32(0);
    w.i32(x); w.i32(y);
    w.u32(n);
    w.u32(76);                                                        // offString
    w.u32(0);                                                         // options
    w.i32(0); w.i32(0); w.i32(-1); w.i32(-1);                         // no clip rectangle
    w.u32(offDx);
    for (char16_t c : text)
        w.u16(c);
    w.pad4();
    for (std::size_t i = 0; withDx && i < n; ++i)
        w.i32(i < dx.size() ? dx[i] : 0);
    d->end(at);
}

std::vector<std::uint8_t> EmfRecorder::finish()
{
    const auto at = d->begin(EMR_EOF);
    Writer w(d->bytes);
    w.u32(0);
    w.u32(16);
    w.u32(20);
    d->end(at);
    d->finished = true;
    std::vector<std::uint8_t> bytes = std::move(d->bytes);
    patchU32(bytes, 48, static_cast<std::uint32_t>(bytes.size()));
    patchU32(bytes, 52, d->records);
    const auto handles = static_cast<std::uint16_t>(std::min<std::uint32_t>(d->highestSlot + 1, 0xFFFF));
    bytes[56] = static_cast<std::uint8_t>(handles);
    bytes[57] = static_cast<std::uint8_t>(handles >> 8);
    return bytes;
}

void EmfRecorder::saveTo(const std::string& path)
{
    const std::vector<std::uint8_t> bytes = finish();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    bool ok = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    const int error = errno;
    if (out && std::fclose(out) != 0)
        ok = false;
    if (!ok) {
        std::remove(path.c_str());
        throw std::runtime_error("Cannot create file " + path + ": " + std::strerror(error));
    }
}

} // namespace velm
