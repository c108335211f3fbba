// Helpers shared by the metafile tests: a raw record writer for files the
// recorder would never make (foreign headers, damaged records), a strict
// record walker, and the sample pages.
#pragma once

#include "platform/metafile/emf_recorder.h"
#include "platform/metafile/emf_records.h"
#include "platform/metafile/gdi_types.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace velm::emftest {

using Bytes = std::vector<std::uint8_t>;

inline std::uint32_t word(int v) { return static_cast<std::uint32_t>(v); }
inline std::uint32_t word(float v)
{
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    return u;
}

inline void put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// One complete record from its type and payload words (nSize = 8 + 4 n).
inline Bytes record(std::uint32_t type, std::initializer_list<std::uint32_t> payload)
{
    Bytes r;
    put32(r, type);
    put32(r, static_cast<std::uint32_t>(8 + 4 * payload.size()));
    for (std::uint32_t w : payload)
        put32(r, w);
    return r;
}

// A hand-made file: header of 88, 100 or 108 bytes (no description) and
// then whatever records the test appends; finish() adds EOF and the totals.
class RawEmf {
public:
    explicit RawEmf(int widthPx = 4800, int heightPx = 6600, int widthMm = 203, int heightMm = 279,
                    std::uint32_t headerSize = 108, int micrometresX = 203200, int micrometresY = 279400)
    {
        bytes_.assign(headerSize, 0);
        std::uint8_t* h = bytes_.data();
        emf::storeU32(h, emf::EMR_HEADER);
        emf::storeU32(h + 4, headerSize);
        emf::storeI32(h + 8 + 8, widthPx - 1);
        emf::storeI32(h + 8 + 12, heightPx - 1);
        emf::storeI32(h + 24 + 8, widthMm * 100);
        emf::storeI32(h + 24 + 12, heightMm * 100);
        emf::storeU32(h + 40, emf::kSignature);
        emf::storeU32(h + 44, emf::kVersion);
        emf::storeU16(h + 56, 1);
        emf::storeI32(h + 72, widthPx);
        emf::storeI32(h + 76, heightPx);
        emf::storeI32(h + 80, widthMm);
        emf::storeI32(h + 84, heightMm);
        if (headerSize >= 108) {
            emf::storeI32(h + 100, micrometresX);
            emf::storeI32(h + 104, micrometresY);
        }
        records_ = 1;
    }
    RawEmf& add(const Bytes& r)
    {
        bytes_.insert(bytes_.end(), r.begin(), r.end());
        ++records_;
        return *this;
    }
    RawEmf& add(std::uint32_t type, std::initializer_list<std::uint32_t> payload) { return add(record(type, payload)); }
    RawEmf& handles(std::uint16_t n)
    {
        handles_ = n;
        return *this;
    }
    Bytes finish(bool eof = true)
    {
        Bytes out = bytes_;
        std::uint32_t count = records_;
        if (eof) {
            const Bytes e = record(emf::EMR_EOF, {0, 16, 20});
            out.insert(out.end(), e.begin(), e.end());
            ++count;
        }
        emf::storeU32(out.data() + 48, static_cast<std::uint32_t>(out.size()));
        emf::storeU32(out.data() + 52, count);
        emf::storeU16(out.data() + 56, handles_);
        return out;
    }

private:
    Bytes bytes_;
    std::uint32_t records_ = 0;
    std::uint16_t handles_ = 8;
};

struct WalkedRecord {
    std::size_t offset;
    std::uint32_t type;
    std::uint32_t size;
};

// Every record of a sound file, strictly: fails the test on any bad size.
inline std::vector<WalkedRecord> walk(const Bytes& bytes)
{
    std::vector<WalkedRecord> out;
    std::size_t at = 0;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t type = emf::loadU32(&bytes[at]);
        const std::uint32_t size = emf::loadU32(&bytes[at + 4]);
        if (size < 8 || size % 4 != 0 || size > bytes.size() - at)
            break;
        out.push_back({at, type, size});
        at += size;
    }
    return out;
}

inline const WalkedRecord* find(const std::vector<WalkedRecord>& records, std::uint32_t type, int nth = 0)
{
    for (const WalkedRecord& r : records)
        if (r.type == type && nth-- == 0)
            return &r;
    return nullptr;
}

inline LogFont arial(int height, int weight = 400)
{
    LogFont f;
    f.height = height;
    f.weight = weight;
    f.faceName = u"Arial";
    return f;
}

// How a sample page gets its text advances. The recorder keeps whatever it
// is given, so tests of the format alone use even ones; tests that look at
// the painted text pass the real measure (textAdvances).
using Advances = std::vector<int> (*)(const LogFont&, std::u16string_view);
inline std::vector<int> evenAdvances(const LogFont&, std::u16string_view text)
{
    return std::vector<int>(text.size(), 64);
}

constexpr PageGeometry kPrinterPage{4800, 6600, 600, 600};

// A 600-dpi sheet as the engine records one: "FIRST LINE" near the top,
// "LAST LINE" near the bottom-right, a frame of 6-pixel bands, a grey
// header fill and a box.
inline Bytes samplePage(Advances advances = evenAdvances, const std::u16string& top = u"FIRST LINE",
                        const std::u16string& bottom = u"LAST LINE")
{
    EmfRecorder page(kPrinterPage);
    page.setBkMode(TRANSPARENT);
    page.setBkColor(rgb(192, 192, 192));
    const LogFont font = arial(-88, 700);
    const GdiHandle f = page.createFont(font);
    const GdiHandle oldFont = page.selectObject(f);
    page.textOut(400, 300, top, advances(font, top));
    page.textOut(3600, 6250, bottom, advances(font, bottom));
    const GdiHandle pen = page.createPen({PS_SOLID, 1, rgb(0, 0, 0)});
    const GdiHandle oldPen = page.selectObject(pen);
    // frSingleThick on all sides of the box (200, 200) - (4600, 6400).
    for (int y = 200; y <= 205; ++y) {
        page.moveTo(200, y);
        page.lineTo(4600, y);
    }
    for (int y = 6395; y <= 6400; ++y) {
        page.moveTo(200, y);
        page.lineTo(4600, y);
    }
    for (int x = 200; x <= 205; ++x) {
        page.moveTo(x, 200);
        page.lineTo(x, 6400);
    }
    for (int x = 4595; x <= 4600; ++x) {
        page.moveTo(x, 200);
        page.lineTo(x, 6400);
    }
    const GdiHandle grey = page.createBrush({BS_SOLID, rgb(192, 192, 192), 0});
    page.fillRect({300, 500, 4500, 700}, grey);
    page.selectObject(oldPen);
    page.deleteObject(pen);
    page.selectObject(oldFont);
    page.deleteObject(f);
    page.deleteObject(grey);
    return page.finish();
}

} // namespace velm::emftest
