// A raw Windows metafile writer for tests: headers (with or without the
// placeable box) and records from their function and parameter words, or
// from raw bytes for records that lie about their size.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace velm::wmftest {

inline void put16(std::string& b, int v)
{
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>((v >> 8) & 0xFF));
}

inline void put32(std::string& b, std::uint32_t v)
{
    put16(b, static_cast<int>(v & 0xFFFF));
    put16(b, static_cast<int>(v >> 16));
}

class RawWmf {
public:
    // Records follow the 18-byte header; objects is the table size it declares.
    explicit RawWmf(int objects = 8) : objects_(objects) {}

    // A placeable header: the picture covers this logical box at `inch` units per inch.
    RawWmf& placeable(int left, int top, int right, int bottom, int inch = 1440)
    {
        placeable_.clear();
        put32(placeable_, 0x9AC6CDD7);
        put16(placeable_, 0);
        for (int v : {left, top, right, bottom, inch})
            put16(placeable_, v);
        put32(placeable_, 0);
        put16(placeable_, 0); // checksum: not checked by readers
        return *this;
    }

    // A record of 3 + words.size() words.
    RawWmf& add(int function, std::initializer_list<int> words)
    {
        std::string params;
        for (int w : words)
            put16(params, w);
        return addBytes(function, params);
    }
    // A record whose parameters are these bytes, padded to a word.
    RawWmf& addBytes(int function, std::string params)
    {
        if (params.size() % 2)
            params.push_back('\0');
        std::string r;
        put32(r, static_cast<std::uint32_t>(3 + params.size() / 2));
        put16(r, function);
        return addRaw(r + params);
    }
    // Bytes as given: a record may claim any size.
    RawWmf& addRaw(std::string_view record)
    {
        records_ += record;
        return *this;
    }

    // The whole file, with an end record when `withEnd`.
    std::string finish(bool withEnd = true) const
    {
        std::string body = records_;
        if (withEnd) {
            put32(body, 3);
            put16(body, 0);
        }
        std::string header;
        put16(header, 1);  // in memory
        put16(header, 9);  // header size in words
        put16(header, 0x0300);
        put32(header, static_cast<std::uint32_t>((18 + body.size()) / 2));
        put16(header, objects_);
        put32(header, 0); // largest record: not checked by readers
        put16(header, 0);
        return placeable_ + header + body;
    }

private:
    int objects_;
    std::string placeable_;
    std::string records_;
};

// Function numbers the tests use.
enum : int {
    META_SAVEDC = 0x001E, META_RESTOREDC = 0x0127, META_SELECTOBJECT = 0x012D, META_DELETEOBJECT = 0x01F0,
    META_SETTEXTCOLOR = 0x0209, META_SETWINDOWEXT = 0x020C, META_LINETO = 0x0213, META_MOVETO = 0x0214,
    META_CREATEPENINDIRECT = 0x02FA, META_CREATEFONTINDIRECT = 0x02FB, META_CREATEBRUSHINDIRECT = 0x02FC,
    META_POLYGON = 0x0324, META_POLYLINE = 0x0325, META_INTERSECTCLIPRECT = 0x0416, META_RECTANGLE = 0x041B,
    META_TEXTOUT = 0x0521, META_DIBBITBLT = 0x0940, META_CREATEPALETTE = 0x00F7,
};

} // namespace velm::wmftest
