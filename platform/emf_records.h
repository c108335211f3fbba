// Record numbers, fixed sizes and little-endian access for the metafile
// writer and reader.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace velm::emf {

enum RecordType : std::uint32_t {
    EMR_HEADER = 1, EMR_POLYBEZIER = 2, EMR_POLYGON = 3, EMR_POLYLINE = 4,
    EMR_SETWINDOWEXTEX = 9, EMR_SETWINDOWORGEX = 10, EMR_SETVIEWPORTEXTEX = 11,
    EMR_SETVIEWPORTORGEX = 12, EMR_EOF = 14, EMR_SETMAPMODE = 17, EMR_SETBKMODE = 18,
    EMR_SETPOLYFILLMODE = 19, EMR_SETROP2 = 20, EMR_SETTEXTALIGN = 22, EMR_SETTEXTCOLOR = 24,
    EMR_SETBKCOLOR = 25, EMR_MOVETOEX = 27, EMR_INTERSECTCLIPRECT = 30, EMR_SAVEDC = 33,
    EMR_RESTOREDC = 34, EMR_SELECTOBJECT = 37, EMR_CREATEPEN = 38, EMR_CREATEBRUSHINDIRECT = 39,
    EMR_DELETEOBJECT = 40, EMR_RECTANGLE = 43, EMR_LINETO = 54, EMR_FILLRGN = 71, EMR_BITBLT = 76,
    EMR_EXTCREATEFONTINDIRECTW = 82, EMR_EXTTEXTOUTA = 83, EMR_EXTTEXTOUTW = 84,
    EMR_POLYGON16 = 86, EMR_POLYLINE16 = 87, EMR_EXTCREATEPEN = 95,
};

constexpr std::uint32_t kSignature = 0x464D4520;
constexpr std::uint32_t kVersion = 0x00010000;
constexpr std::uint32_t kHeaderSize = 108;
constexpr std::uint32_t kPatCopy = 0x00F00021;
constexpr std::uint32_t kEtoNoRect = 0x100;
constexpr std::uint32_t kEtoPdy = 0x2000;
constexpr std::uint32_t kPsGeometric = 0x10000;
constexpr std::uint32_t kPsEndcapFlat = 0x200;
constexpr std::uint32_t kTaUpdateCp = 1;
constexpr std::size_t kLogFontSize = 92;
constexpr std::size_t kFaceNameUnits = 32;

// Appends little-endian values to a byte vector.
class Writer {
public:
    explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}
    void u32(std::uint32_t v)
    {
        const std::uint8_t b[4] = {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
        out_.insert(out_.end(), b, b + 4);
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void u16(std::uint16_t v) { out_.push_back(std::uint8_t(v)); out_.push_back(std::uint8_t(v >> 8)); }
    void u8(std::uint8_t v) { out_.push_back(v); }
    void f32(float v) { std::uint32_t u; std::memcpy(&u, &v, 4); u32(u); }
    void pad4() { while (out_.size() % 4) out_.push_back(0); }
    std::size_t size() const { return out_.size(); }

private:
    std::vector<std::uint8_t>& out_;
};

inline std::uint32_t readU32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
inline std::int32_t readI32(const std::uint8_t* p) { return static_cast<std::int32_t>(readU32(p)); }
inline std::uint16_t readU16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }
inline std::int16_t readI16(const std::uint8_t* p) { return static_cast<std::int16_t>(readU16(p)); }
inline void patchU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v)
{
    bytes[at] = std::uint8_t(v); bytes[at + 1] = std::uint8_t(v >> 8);
    bytes[at + 2] = std::uint8_t(v >> 16); bytes[at + 3] = std::uint8_t(v >> 24);
}

} // namespace velm::emf
