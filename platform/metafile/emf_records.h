// Internal to the metafile writer, reader and their tests: record type
// numbers, fixed record sizes and field offsets of the records Velm writes,
// and little-endian loads and stores. Layouts are those of MS-EMF as
// restated in EMF-REFERENCE.md; every offset counts from the record's first
// byte. Loads take a pointer the caller has already checked against the
// record size; nothing here checks bounds.
#pragma once

#include <cstdint>
#include <cstring>

namespace velm::emf {

enum RecordType : std::uint32_t {
    EMR_HEADER = 1, EMR_POLYBEZIER = 2, EMR_POLYGON = 3, EMR_POLYLINE = 4, EMR_POLYBEZIERTO = 5,
    EMR_POLYLINETO = 6, EMR_POLYPOLYLINE = 7, EMR_POLYPOLYGON = 8,
    EMR_SETWINDOWEXTEX = 9, EMR_SETWINDOWORGEX = 10, EMR_SETVIEWPORTEXTEX = 11,
    EMR_SETVIEWPORTORGEX = 12, EMR_SETBRUSHORGEX = 13, EMR_EOF = 14, EMR_SETPIXELV = 15,
    EMR_SETMAPPERFLAGS = 16, EMR_SETMAPMODE = 17, EMR_SETBKMODE = 18, EMR_SETPOLYFILLMODE = 19,
    EMR_SETROP2 = 20, EMR_SETSTRETCHBLTMODE = 21, EMR_SETTEXTALIGN = 22, EMR_SETCOLORADJUSTMENT = 23,
    EMR_SETTEXTCOLOR = 24, EMR_SETBKCOLOR = 25, EMR_OFFSETCLIPRGN = 26, EMR_MOVETOEX = 27,
    EMR_SETMETARGN = 28, EMR_EXCLUDECLIPRECT = 29, EMR_INTERSECTCLIPRECT = 30,
    EMR_SCALEVIEWPORTEXTEX = 31, EMR_SCALEWINDOWEXTEX = 32, EMR_SAVEDC = 33, EMR_RESTOREDC = 34,
    EMR_SETWORLDTRANSFORM = 35, EMR_MODIFYWORLDTRANSFORM = 36, EMR_SELECTOBJECT = 37,
    EMR_CREATEPEN = 38, EMR_CREATEBRUSHINDIRECT = 39, EMR_DELETEOBJECT = 40, EMR_ANGLEARC = 41,
    EMR_ELLIPSE = 42, EMR_RECTANGLE = 43, EMR_ROUNDRECT = 44, EMR_ARC = 45, EMR_CHORD = 46,
    EMR_PIE = 47, EMR_SELECTPALETTE = 48, EMR_CREATEPALETTE = 49, EMR_SETPALETTEENTRIES = 50,
    EMR_RESIZEPALETTE = 51, EMR_REALIZEPALETTE = 52, EMR_EXTFLOODFILL = 53, EMR_LINETO = 54,
    EMR_ARCTO = 55, EMR_POLYDRAW = 56, EMR_SETARCDIRECTION = 57, EMR_SETMITERLIMIT = 58,
    EMR_BEGINPATH = 59, EMR_ENDPATH = 60, EMR_CLOSEFIGURE = 61, EMR_FILLPATH = 62,
    EMR_STROKEANDFILLPATH = 63, EMR_STROKEPATH = 64, EMR_FLATTENPATH = 65, EMR_WIDENPATH = 66,
    EMR_SELECTCLIPPATH = 67, EMR_ABORTPATH = 68, EMR_COMMENT = 70, EMR_FILLRGN = 71,
    EMR_FRAMERGN = 72, EMR_INVERTRGN = 73, EMR_PAINTRGN = 74, EMR_EXTSELECTCLIPRGN = 75,
    EMR_BITBLT = 76, EMR_STRETCHBLT = 77, EMR_MASKBLT = 78, EMR_PLGBLT = 79,
    EMR_SETDIBITSTODEVICE = 80, EMR_STRETCHDIBITS = 81, EMR_EXTCREATEFONTINDIRECTW = 82,
    EMR_EXTTEXTOUTA = 83, EMR_EXTTEXTOUTW = 84, EMR_POLYBEZIER16 = 85, EMR_POLYGON16 = 86,
    EMR_POLYLINE16 = 87, EMR_POLYBEZIERTO16 = 88, EMR_POLYLINETO16 = 89, EMR_POLYPOLYLINE16 = 90,
    EMR_POLYPOLYGON16 = 91, EMR_POLYDRAW16 = 92, EMR_CREATEMONOBRUSH = 93,
    EMR_CREATEDIBPATTERNBRUSHPT = 94, EMR_EXTCREATEPEN = 95, EMR_POLYTEXTOUTA = 96,
    EMR_POLYTEXTOUTW = 97, EMR_SETICMMODE = 98, EMR_CREATECOLORSPACE = 99,
    EMR_SETCOLORSPACE = 100, EMR_DELETECOLORSPACE = 101, EMR_GLSRECORD = 102,
    EMR_GLSBOUNDEDRECORD = 103, EMR_PIXELFORMAT = 104, EMR_DRAWESCAPE = 105, EMR_EXTESCAPE = 106,
    EMR_SMALLTEXTOUT = 108, EMR_FORCEUFIMAPPING = 109, EMR_NAMEDESCAPE = 110,
    EMR_COLORCORRECTPALETTE = 111, EMR_SETICMPROFILEA = 112, EMR_SETICMPROFILEW = 113,
    EMR_ALPHABLEND = 114, EMR_SETLAYOUT = 115, EMR_TRANSPARENTBLT = 116,
    EMR_GRADIENTFILL = 118, EMR_SETLINKEDUFIS = 119, EMR_SETTEXTJUSTIFICATION = 120,
    EMR_COLORMATCHTOTARGETW = 121, EMR_CREATECOLORSPACEW = 122,
};
constexpr std::uint32_t kLastRecordType = EMR_CREATECOLORSPACEW;

// Header (EMR_HEADER, Extension2 form).
constexpr std::uint32_t kSignature = 0x464D4520; // " EMF"
constexpr std::uint32_t kVersion = 0x00010000;
constexpr std::uint32_t kHeaderSize = 108;        // fixed part Velm writes
constexpr std::uint32_t kHeaderSizeOriginal = 88;
constexpr std::uint32_t kHeaderSizeExtension1 = 100;
namespace header {
constexpr std::size_t bounds = 8, frame = 24, signature = 40, version = 44, bytes = 48,
                      records = 52, handles = 56, reserved = 58, nDescription = 60,
                      offDescription = 64, palEntries = 68, device = 72, millimeters = 80,
                      cbPixelFormat = 88, offPixelFormat = 92, openGL = 96, micrometers = 100;
}

// Fixed record sizes.
constexpr std::uint32_t kSizeEof = 20;
constexpr std::uint32_t kSizeCreatePen = 28;
constexpr std::uint32_t kSizeExtCreatePen = 52;   // without style entries
constexpr std::uint32_t kSizeCreateBrush = 24;
constexpr std::uint32_t kSizeFontW = 104;         // ihFont + LOGFONTW
constexpr std::uint32_t kSizeBitBlt = 100;        // without a source bitmap
constexpr std::uint32_t kSizeRectangle = 24;
constexpr std::uint32_t kSizeTextFixed = 76;      // EXTTEXTOUT up to offDx; the string starts here
constexpr std::uint32_t kSizeTextNoRect = 60;     // the same with ETO_NO_RECT (no rcl)
constexpr std::uint32_t kSizeFillRgn = 32;        // before the RGNDATA
constexpr std::uint32_t kRgnDataHeader = 32;
constexpr std::size_t kLogFontSize = 92;
constexpr std::size_t kFaceNameUnits = 32;

// EMR_EXTTEXTOUTA/W field offsets.
namespace textout {
constexpr std::size_t bounds = 8, graphicsMode = 24, exScale = 28, eyScale = 32, reference = 36,
                      chars = 44, offString = 48, options = 52, rect = 56, offDx = 72,
                      offDxNoRect = 56;
}

// EMR_BITBLT field offsets.
namespace blt {
constexpr std::size_t bounds = 8, xDest = 24, yDest = 28, cxDest = 32, cyDest = 36, rop = 40,
                      xSrc = 44, ySrc = 48, xform = 52, bkColorSrc = 76, usageSrc = 80,
                      offBmiSrc = 84, cbBmiSrc = 88, offBitsSrc = 92, cbBitsSrc = 96;
}

// Raster operations a player can do without a source bitmap.
constexpr std::uint32_t kPatCopy = 0x00F00021;
constexpr std::uint32_t kBlackness = 0x00000042;
constexpr std::uint32_t kWhiteness = 0x00FF0062;

// ExtTextOut options.
constexpr std::uint32_t kEtoOpaque = 0x2;
constexpr std::uint32_t kEtoClipped = 0x4;
constexpr std::uint32_t kEtoGlyphIndex = 0x10;
constexpr std::uint32_t kEtoNoRect = 0x100;
constexpr std::uint32_t kEtoPdy = 0x2000;

// Extended pen type and the mask of the bits a LogPen keeps.
constexpr std::uint32_t kPsGeometric = 0x10000;
constexpr std::uint32_t kPsTypeMask = 0xF0000;

constexpr std::uint32_t kGmCompatible = 1;
constexpr std::uint32_t kR2CopyPen = 13;
constexpr std::uint32_t kAlternate = 1;
constexpr std::uint32_t kRgnAnd = 1;
constexpr std::uint32_t kRgnCopy = 5;
constexpr std::uint32_t kRdhRectangles = 1;

// Stock object numbers beyond those gdi_types.h names.
constexpr std::uint32_t kStockBit = 0x80000000u;
constexpr std::uint32_t kDefaultPalette = 15;
constexpr std::uint32_t kDcBrush = 18;
constexpr std::uint32_t kDcPen = 19;

inline std::uint32_t loadU32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
inline std::int32_t loadI32(const std::uint8_t* p) { return static_cast<std::int32_t>(loadU32(p)); }
inline std::uint16_t loadU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::int16_t loadI16(const std::uint8_t* p) { return static_cast<std::int16_t>(loadU16(p)); }
inline float loadF32(const std::uint8_t* p)
{
    const std::uint32_t bits = loadU32(p);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

inline void storeU32(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline void storeI32(std::uint8_t* p, std::int32_t v) { storeU32(p, static_cast<std::uint32_t>(v)); }
inline void storeU16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void storeF32(std::uint8_t* p, float v)
{
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    storeU32(p, bits);
}

// Bytes a string of n UTF-16 units takes in a record: GDI rounds the unit
// count up to even, which is the 4-byte padding.
constexpr std::uint64_t paddedUtf16Bytes(std::uint64_t units) { return 2 * ((units + 1) & ~std::uint64_t(1)); }

} // namespace velm::emf
