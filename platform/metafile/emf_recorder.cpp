#include "platform/metafile/emf_recorder.h"

#include "platform/metafile/emf_records.h"
#include "platform/metafile/emf_text_source.h"
#include "platform/core/errors.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velm {

using namespace emf;

namespace {

enum class Kind : std::uint8_t { None, Pen, Brush, Font };

// Slot states: a deleted object that is still selected keeps its slot until
// it is replaced, so a new object never shares an index with one in effect.
enum class Slot : std::uint8_t { Free, Live, Deleted };

constexpr std::uint32_t kMaxSlot = 0xFFFE; // nHandles is 16 bits

Kind stockKind(GdiHandle h)
{
    const std::uint32_t n = h & ~kStockBit;
    if (n <= NULL_BRUSH || n == kDcBrush)
        return Kind::Brush;
    if (n <= NULL_PEN || n == kDcPen)
        return Kind::Pen;
    if (n >= 10 && n <= 17 && n != kDefaultPalette)
        return Kind::Font;
    return Kind::None;
}

// Records needed after the header on any page: the seven state records and EOF.
constexpr std::uint64_t kInitialStateBytes = 7 * 12;

// emf2svg 1.1 reads both description strings with a bound of 4 bytes per
// unit past their start and refuses the file when that passes the end, so
// the description must fit even the smallest page Velm writes.
std::u16string storedDescription(std::u16string text)
{
    if (text.size() > 64)
        text.resize(64);
    for (;;) {
        while (!text.empty() && text.back() == u'\0')
            text.pop_back();
        const std::uint64_t units = text.size() + 2;
        const std::uint64_t firstString = std::min(text.find(u'\0'), text.size());
        const std::uint64_t smallestFile = kHeaderSize + paddedUtf16Bytes(units) + kInitialStateBytes + kSizeEof;
        if (kHeaderSize + 2 + 2 * firstString + 4 * units <= smallestFile)
            break;
        text.pop_back();
    }
    text.append(2, u'\0');
    return text;
}

std::int32_t rounded(double v) { return static_cast<std::int32_t>(std::lround(v)); }

} // namespace

struct EmfRecorder::State {
    PageGeometry page;
    std::vector<std::uint8_t> bytes;
    std::uint32_t records = 0;
    std::vector<Kind> kinds{Kind::None}; // index 0 is the metafile itself
    std::vector<Slot> slots{Slot::Live};
    std::uint32_t highestSlot = 0;
    GdiHandle pen = stockObject(BLACK_PEN);
    GdiHandle brush = stockObject(WHITE_BRUSH);
    GdiHandle font = stockObject(SYSTEM_FONT);
    float exScale = 0;
    float eyScale = 0;
    bool finished = false;

    // Appends one zeroed record of `size` bytes with its type and size set;
    // the pointer is valid until the next append.
    std::uint8_t* append(RecordType type, std::uint64_t size)
    {
        if (finished)
            throw std::logic_error("EmfRecorder: the page is already finished");
        if (size > std::numeric_limits<std::uint32_t>::max())
            throw std::length_error("EmfRecorder: record too large");
        const std::size_t start = bytes.size();
        bytes.resize(start + static_cast<std::size_t>(size));
        std::uint8_t* p = bytes.data() + start;
        storeU32(p, type);
        storeU32(p + 4, static_cast<std::uint32_t>(size));
        ++records;
        return p;
    }
    void value(RecordType type, std::uint32_t v) { storeU32(append(type, 12) + 8, v); }

    // An ExtTextOutW of n units in GDI's layout (offString 76, offDx after
    // the string padded to 4 bytes) with `perUnit` advances a unit (0: no
    // array, 2: dx and dy pairs) from dx and dy, missing ones 0. Returns
    // where the n units of the string go.
    std::uint8_t* text(int x, int y, std::uint64_t n, int perUnit, std::uint32_t options, std::span<const int> dx,
                       std::span<const int> dy)
    {
        const std::uint64_t offDx = kSizeTextFixed + paddedUtf16Bytes(n);
        std::uint8_t* p = append(EMR_EXTTEXTOUTW, offDx + 4 * static_cast<std::uint64_t>(perUnit) * n);
        // Bounds are "not computed" (0,0,-1,-1): the recorder measures
        // nothing and players ignore them.
        storeI32(p + textout::bounds + 8, -1);
        storeI32(p + textout::bounds + 12, -1);
        storeU32(p + textout::graphicsMode, kGmCompatible);
        storeF32(p + textout::exScale, exScale);
        storeF32(p + textout::eyScale, eyScale);
        storeI32(p + textout::reference, x);
        storeI32(p + textout::reference + 4, y);
        storeU32(p + textout::chars, static_cast<std::uint32_t>(n));
        storeU32(p + textout::offString, kSizeTextFixed);
        storeU32(p + textout::options, options);
        storeI32(p + textout::rect + 8, -1);
        storeI32(p + textout::rect + 12, -1);
        storeU32(p + textout::offDx, perUnit ? static_cast<std::uint32_t>(offDx) : 0);
        std::uint8_t* a = p + offDx;
        for (std::size_t i = 0; perUnit && i < std::min<std::size_t>(dx.size(), n); ++i)
            storeI32(a + 4 * static_cast<std::size_t>(perUnit) * i, dx[i]);
        for (std::size_t i = 0; perUnit == 2 && i < std::min<std::size_t>(dy.size(), n); ++i)
            storeI32(a + 8 * i + 4, dy[i]);
        return p + kSizeTextFixed;
    }
    void point(RecordType type, int x, int y)
    {
        std::uint8_t* p = append(type, 16);
        storeI32(p + 8, x);
        storeI32(p + 12, y);
    }

    std::uint32_t takeSlot(Kind kind)
    {
        std::uint32_t i = 1;
        while (i < slots.size() && slots[i] != Slot::Free)
            ++i;
        if (i > kMaxSlot)
            return 0;
        if (i == slots.size()) {
            slots.push_back(Slot::Free);
            kinds.push_back(Kind::None);
        }
        slots[i] = Slot::Live;
        kinds[i] = kind;
        highestSlot = std::max(highestSlot, i);
        return i;
    }
    Kind liveKind(GdiHandle h) const
    {
        if (isStockObject(h))
            return stockKind(h);
        return h != 0 && h < slots.size() && slots[h] == Slot::Live ? kinds[h] : Kind::None;
    }
    GdiHandle* selectionFor(Kind kind)
    {
        switch (kind) {
        case Kind::Pen: return &pen;
        case Kind::Brush: return &brush;
        case Kind::Font: return &font;
        default: return nullptr;
        }
    }
    bool isSelected(GdiHandle h) const { return h == pen || h == brush || h == font; }
    void released(GdiHandle h)
    {
        if (!isStockObject(h) && h < slots.size() && slots[h] == Slot::Deleted)
            slots[h] = Slot::Free;
    }
};

EmfRecorder::EmfRecorder(const PageGeometry& page, std::u16string description) : d(std::make_unique<State>())
{
    if (page.widthPx <= 0 || page.heightPx <= 0 || page.dpiX <= 0 || page.dpiY <= 0)
        throw std::invalid_argument("EmfRecorder: page size and resolution must be positive");
    d->page = page;
    d->bytes.reserve(64 * 1024);
    // GDI's exScale for MM_TEXT: 0.01 mm per logical unit.
    d->exScale = static_cast<float>(2540.0 / page.dpiX);
    d->eyScale = static_cast<float>(2540.0 / page.dpiY);

    const std::u16string text = storedDescription(std::move(description));
    const std::uint64_t size = kHeaderSize + paddedUtf16Bytes(text.size());
    std::uint8_t* h = d->append(EMR_HEADER, size);
    storeI32(h + header::bounds + 8, page.widthPx - 1);
    storeI32(h + header::bounds + 12, page.heightPx - 1);
    storeI32(h + header::frame + 8, std::max(1, rounded(page.widthPx * 2540.0 / page.dpiX)));
    storeI32(h + header::frame + 12, std::max(1, rounded(page.heightPx * 2540.0 / page.dpiY)));
    storeU32(h + header::signature, kSignature);
    storeU32(h + header::version, kVersion);
    storeU16(h + header::handles, 1);
    storeU32(h + header::nDescription, static_cast<std::uint32_t>(text.size()));
    storeU32(h + header::offDescription, kHeaderSize);
    storeI32(h + header::device, page.widthPx);
    storeI32(h + header::device + 4, page.heightPx);
    storeI32(h + header::millimeters, std::max(1, rounded(page.widthPx * 25.4 / page.dpiX)));
    storeI32(h + header::millimeters + 4, std::max(1, rounded(page.heightPx * 25.4 / page.dpiY)));
    storeI32(h + header::micrometers, std::max(1, rounded(page.widthPx * 25400.0 / page.dpiX)));
    storeI32(h + header::micrometers + 4, std::max(1, rounded(page.heightPx * 25400.0 / page.dpiY)));
    for (std::size_t i = 0; i < text.size(); ++i)
        storeU16(h + kHeaderSize + 2 * i, text[i]);

    // A fresh device context's state, written out so that every reader
    // starts the page the same way (readers differ in what they assume).
    d->value(EMR_SETMAPMODE, MM_TEXT);
    d->value(EMR_SETBKMODE, OPAQUE);
    d->value(EMR_SETTEXTALIGN, TA_LEFT | TA_TOP);
    d->value(EMR_SETTEXTCOLOR, rgb(0, 0, 0));
    d->value(EMR_SETBKCOLOR, rgb(255, 255, 255));
    d->value(EMR_SETPOLYFILLMODE, kAlternate);
    d->value(EMR_SETROP2, kR2CopyPen);
}

EmfRecorder::~EmfRecorder() = default;

GdiHandle EmfRecorder::createPen(const LogPen& pen)
{
    if (d->finished)
        throw std::logic_error("EmfRecorder: the page is already finished");
    const std::uint32_t slot = d->takeSlot(Kind::Pen);
    if (slot == 0)
        return kNoHandle;
    const auto style = static_cast<std::uint32_t>(pen.style);
    if (pen.width <= 1) {
        std::uint8_t* p = d->append(EMR_CREATEPEN, kSizeCreatePen);
        storeU32(p + 8, slot);
        storeU32(p + 12, style & PS_STYLE_MASK);
        storeI32(p + 16, std::max(0, pen.width));
        storeU32(p + 24, pen.color);
    } else {
        // Wide pens as geometric pens: emf2svg draws EMR_CREATEPEN widths as 1 pixel.
        std::uint8_t* p = d->append(EMR_EXTCREATEPEN, kSizeExtCreatePen);
        storeU32(p + 8, slot);
        storeU32(p + 28, kPsGeometric | (style & (PS_STYLE_MASK | PS_ENDCAP_MASK | PS_JOIN_MASK)));
        storeI32(p + 32, pen.width);
        storeU32(p + 36, BS_SOLID);
        storeU32(p + 40, pen.color);
    }
    return slot;
}

GdiHandle EmfRecorder::createBrush(const LogBrush& brush)
{
    if (d->finished)
        throw std::logic_error("EmfRecorder: the page is already finished");
    const std::uint32_t slot = d->takeSlot(Kind::Brush);
    if (slot == 0)
        return kNoHandle;
    std::uint8_t* p = d->append(EMR_CREATEBRUSHINDIRECT, kSizeCreateBrush);
    storeU32(p + 8, slot);
    storeU32(p + 12, static_cast<std::uint32_t>(brush.style));
    storeU32(p + 16, brush.color);
    storeU32(p + 20, static_cast<std::uint32_t>(brush.hatch));
    return slot;
}

GdiHandle EmfRecorder::createFont(const LogFont& font)
{
    if (d->finished)
        throw std::logic_error("EmfRecorder: the page is already finished");
    const std::uint32_t slot = d->takeSlot(Kind::Font);
    if (slot == 0)
        return kNoHandle;
    std::uint8_t* p = d->append(EMR_EXTCREATEFONTINDIRECTW, kSizeFontW);
    storeU32(p + 8, slot);
    std::uint8_t* lf = p + 12;
    storeI32(lf, font.height);
    storeI32(lf + 4, font.width);
    storeI32(lf + 8, font.escapement);
    storeI32(lf + 12, font.orientation);
    storeI32(lf + 16, font.weight);
    lf[20] = font.italic;
    lf[21] = font.underline;
    lf[22] = font.strikeOut;
    lf[23] = font.charSet;
    lf[24] = font.outPrecision;
    lf[25] = font.clipPrecision;
    lf[26] = font.quality;
    lf[27] = font.pitchAndFamily;
    // 31 units and a terminator (the rest stays zero, as readers may look).
    const std::size_t units = std::min(font.faceName.size(), kFaceNameUnits - 1);
    for (std::size_t i = 0; i < units; ++i)
        storeU16(lf + 28 + 2 * i, font.faceName[i]);
    return slot;
}

GdiHandle EmfRecorder::selectObject(GdiHandle handle)
{
    if (d->finished)
        throw std::logic_error("EmfRecorder: the page is already finished");
    GdiHandle* current = d->selectionFor(d->liveKind(handle));
    if (!current)
        return kNoHandle;
    d->value(EMR_SELECTOBJECT, handle);
    const GdiHandle previous = *current;
    *current = handle;
    if (previous != handle)
        d->released(previous);
    return previous;
}

void EmfRecorder::deleteObject(GdiHandle handle)
{
    if (d->finished)
        throw std::logic_error("EmfRecorder: the page is already finished");
    if (isStockObject(handle) || handle == 0 || handle >= d->slots.size() || d->slots[handle] != Slot::Live)
        return;
    d->value(EMR_DELETEOBJECT, handle);
    d->slots[handle] = d->isSelected(handle) ? Slot::Deleted : Slot::Free;
}

void EmfRecorder::setBkMode(int mode) { d->value(EMR_SETBKMODE, static_cast<std::uint32_t>(mode)); }
void EmfRecorder::setBkColor(ColorRef color) { d->value(EMR_SETBKCOLOR, color); }
void EmfRecorder::setTextColor(ColorRef color) { d->value(EMR_SETTEXTCOLOR, color); }
void EmfRecorder::setTextAlign(unsigned align) { d->value(EMR_SETTEXTALIGN, align); }
void EmfRecorder::moveTo(int x, int y) { d->point(EMR_MOVETOEX, x, y); }
void EmfRecorder::lineTo(int x, int y) { d->point(EMR_LINETO, x, y); }

void EmfRecorder::fillRect(const Rect& rect, GdiHandle brush)
{
    if (d->finished)
        throw std::logic_error("EmfRecorder: the page is already finished");
    if (rect.right <= rect.left || rect.bottom <= rect.top || d->liveKind(brush) != Kind::Brush)
        return;
    const GdiHandle previous = d->brush;
    const bool switchBrush = previous != brush;
    if (switchBrush)
        selectObject(brush);
    std::uint8_t* p = d->append(EMR_BITBLT, kSizeBitBlt);
    storeI32(p + blt::bounds, rect.left);
    storeI32(p + blt::bounds + 4, rect.top);
    storeI32(p + blt::bounds + 8, rect.right - 1);
    storeI32(p + blt::bounds + 12, rect.bottom - 1);
    storeI32(p + blt::xDest, rect.left);
    storeI32(p + blt::yDest, rect.top);
    storeI32(p + blt::cxDest, rect.width());
    storeI32(p + blt::cyDest, rect.height());
    storeU32(p + blt::rop, kPatCopy);
    storeF32(p + blt::xform, 1.0f);      // eM11
    storeF32(p + blt::xform + 12, 1.0f); // eM22; the rest of the identity is zero
    if (switchBrush)
        selectObject(previous);
}

void EmfRecorder::rectangle(const Rect& rect)
{
    std::uint8_t* p = d->append(EMR_RECTANGLE, kSizeRectangle);
    storeI32(p + 8, rect.left);
    storeI32(p + 12, rect.top);
    storeI32(p + 16, rect.right);
    storeI32(p + 20, rect.bottom);
}

void EmfRecorder::textOut(int x, int y, std::u16string_view text, const std::vector<int>& dx)
{
    std::uint8_t* s = d->text(x, y, text.size(), dx.empty() ? 0 : 1, 0, dx, {});
    for (char16_t c : text) {
        storeU16(s, c);
        s += 2;
    }
}

void EmfRecorder::glyphsOut(int x, int y, std::span<const std::uint16_t> glyphs, std::span<const int> dx,
                            std::span<const int> dy, const TextSource& source)
{
    if (!source.text.empty()) {
        const std::vector<std::uint8_t> data = encodeTextSource(source);
        std::uint8_t* p = d->append(EMR_COMMENT, 12 + data.size());
        storeU32(p + 8, static_cast<std::uint32_t>(data.size()));
        std::copy(data.begin(), data.end(), p + 12);
    }
    const bool pdy = !dy.empty();
    std::uint8_t* s = d->text(x, y, glyphs.size(), pdy ? 2 : 1, kEtoGlyphIndex | (pdy ? kEtoPdy : 0), dx, dy);
    for (std::uint16_t g : glyphs) {
        storeU16(s, g);
        s += 2;
    }
}

std::vector<std::uint8_t> EmfRecorder::finish()
{
    std::uint8_t* p = d->append(EMR_EOF, kSizeEof);
    storeU32(p + 12, 16); // offPalEntries, as GDI writes it with no palette
    storeU32(p + 16, kSizeEof);
    d->finished = true;
    std::vector<std::uint8_t> bytes = std::move(d->bytes);
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("EmfRecorder: a page larger than 4 GB cannot be stored");
    storeU32(bytes.data() + header::bytes, static_cast<std::uint32_t>(bytes.size()));
    storeU32(bytes.data() + header::records, d->records);
    storeU16(bytes.data() + header::handles, static_cast<std::uint16_t>(d->highestSlot + 1));
    return bytes;
}

void EmfRecorder::saveTo(const std::string& path)
{
    const std::vector<std::uint8_t> bytes = finish();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throw FileError("Cannot create file " + path);
    struct stat made {};
    const bool regular = ::fstat(fd, &made) == 0 && S_ISREG(made.st_mode);
    // The page goes to the kernel in one write.
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        done += ok ? static_cast<std::size_t>(n) : 0;
    }
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        // A part of a page must not pass for a stored page; a device that
        // was written into is not the page's to remove.
        if (regular)
            ::unlink(path.c_str());
        throw FileError("Cannot create file " + path);
    }
}

} // namespace velm
