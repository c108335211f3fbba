// Big-endian fields of a font table (QRawFont::fontTable): the one reader
// of sfnt tables. A field that reaches past the table's end reads as 0, so
// a short or damaged table never reads out of bounds.
#pragma once

#include <QByteArray>

#include <cstdint>

namespace velm::sfnt {

inline std::uint16_t u16(const QByteArray& table, qsizetype at)
{
    if (at < 0 || at + 2 > table.size())
        return 0;
    return static_cast<std::uint16_t>((static_cast<std::uint8_t>(table[at]) << 8) |
                                      static_cast<std::uint8_t>(table[at + 1]));
}

inline std::int16_t s16(const QByteArray& table, qsizetype at) { return static_cast<std::int16_t>(u16(table, at)); }

inline std::uint32_t u32(const QByteArray& table, qsizetype at)
{
    return (static_cast<std::uint32_t>(u16(table, at)) << 16) | u16(table, at + 2);
}

} // namespace velm::sfnt
