// Internal to the WMF reader: record functions, little-endian loads, and
// the player that walks the records after the header through a checked
// table (function -> minimum parameter size and handler).
#pragma once

#include "platform/metafile/page_device.h"
#include "platform/metafile/play_result.h"

#include <cstdint>
#include <string_view>

namespace velm::wmf {

constexpr std::size_t RecordHeaderSize = 6; // size in words (4), function (2)

enum Function : std::uint16_t {
    META_EOF = 0x0000, META_SAVEDC = 0x001E, META_SETBKMODE = 0x0102, META_SETMAPMODE = 0x0103,
    META_SETPOLYFILLMODE = 0x0106, META_RESTOREDC = 0x0127, META_SELECTOBJECT = 0x012D,
    META_SETTEXTALIGN = 0x012E, META_DELETEOBJECT = 0x01F0, META_SETBKCOLOR = 0x0201,
    META_SETTEXTCOLOR = 0x0209, META_SETWINDOWORG = 0x020B, META_SETWINDOWEXT = 0x020C,
    META_SETVIEWPORTORG = 0x020D, META_SETVIEWPORTEXT = 0x020E, META_OFFSETWINDOWORG = 0x020F,
    META_LINETO = 0x0213, META_MOVETO = 0x0214, META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEFONTINDIRECT = 0x02FB, META_CREATEBRUSHINDIRECT = 0x02FC, META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325, META_INTERSECTCLIPRECT = 0x0416, META_ELLIPSE = 0x0418,
    META_RECTANGLE = 0x041B, META_TEXTOUT = 0x0521, META_POLYPOLYGON = 0x0538, META_ROUNDRECT = 0x061C,
    META_PATBLT = 0x061D, META_EXTTEXTOUT = 0x0A32,
    // Records that create an object we do not draw with; they still take a slot.
    META_CREATEPALETTE = 0x00F7, META_DIBCREATEPATTERNBRUSH = 0x0142, META_CREATEPATTERNBRUSH = 0x01F9,
    META_CREATEREGION = 0x06FF,
};

// Little-endian reads of the headers, which are checked to fit first.
inline std::uint16_t loadU16(std::string_view data, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(data[at]) |
                                      (static_cast<unsigned char>(data[at + 1]) << 8));
}
inline std::int16_t loadI16(std::string_view data, std::size_t at) { return static_cast<std::int16_t>(loadU16(data, at)); }
inline std::uint32_t loadU32(std::string_view data, std::size_t at)
{
    return loadU16(data, at) | (static_cast<std::uint32_t>(loadU16(data, at + 2)) << 16);
}
inline bool fits(std::string_view data, std::size_t at, std::size_t n) { return at <= data.size() && n <= data.size() - at; }

// Plays the records from `first` on, the picture's logical `box` mapped
// onto width x height pixels, with a table of `objects` slots. The caller
// begins and ends the page.
PlayResult playRecords(std::string_view data, std::size_t first, PageDevice& device, int objects, const Rect& box,
                       int width, int height);

} // namespace velm::wmf
