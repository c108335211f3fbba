#include "platform/core/codepage.h"

#include <algorithm>

namespace velm {
namespace {

// Windows-1252 0x80..0x9F. The five codes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) keep their Latin-1 control code points,
// as Windows' own conversion does, so no byte is lost.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The code point of the sequence of the given length at bytes[i].
char32_t decodeUtf8(std::string_view bytes, std::size_t i, std::size_t length)
{
    auto cp = static_cast<char32_t>(static_cast<unsigned char>(bytes[i]) & (0xFF >> (length == 1 ? 1 : length + 1)));
    for (std::size_t k = 1; k < length; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
    return cp;
}

} // namespace

std::size_t utf8SequenceLength(std::string_view bytes, std::size_t at)
{
    if (at >= bytes.size())
        return 0;
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[at + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // shorter forms are overlong
        else if (lead == 0xED)
            high = 0x9F; // D800..DFFF are surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90; // overlong
        else if (lead == 0xF4)
            high = 0x8F; // above U+10FFFF
    } else {
        return 0;
    }
    if (length > bytes.size() - at || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((byte(k) & 0xC0) != 0x80)
            return 0;
    return length;
}

char16_t fromCp1252(unsigned char byte)
{
    return byte >= 0x80 && byte <= 0x9F ? kCp1252High[byte - 0x80] : char16_t{byte};
}

int toCp1252(char16_t unit)
{
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF))
        return unit;
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] == unit)
            return 0x80 + i;
    return -1;
}

void appendUtf16(std::u16string& out, char32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

std::u16string toUnicode(std::string_view bytes)
{
    // Plain ASCII, most of what is printed, is the same in both readings.
    std::size_t ascii = 0;
    while (ascii < bytes.size() && static_cast<unsigned char>(bytes[ascii]) < 0x80)
        ++ascii;
    std::u16string out(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(ascii));
    if (ascii == bytes.size())
        return out;
    out.reserve(bytes.size());
    for (std::size_t i = ascii; i < bytes.size();) {
        const std::size_t n = utf8SequenceLength(bytes, i);
        if (n == 0) {
            // One byte that is not UTF-8 makes the whole text single-byte.
            out.clear();
            for (char c : bytes)
                out.push_back(fromCp1252(static_cast<unsigned char>(c)));
            return out;
        }
        appendUtf16(out, decodeUtf8(bytes, i, n));
        i += n;
    }
    return out;
}

char32_t printedCodePoint(char32_t cp)
{
    constexpr char32_t kBackspace = 8, kTab = 9, kLineFeed = 10, kFormFeed = 12, kCarriageReturn = 13, kDelete = 127;
    if (cp == kBackspace || cp == kTab || cp == kLineFeed || cp == kFormFeed || cp == kCarriageReturn)
        return cp;
    if (cp < 0x20)
        return 0x2400 + cp;
    return cp == kDelete ? 0x2421 : cp;
}

std::u16string toPrintable(std::string_view bytes)
{
    std::u16string text = toUnicode(bytes);
    // Controls are single units: no surrogate pair holds one.
    for (char16_t& unit : text)
        if (unit < 0x20 || unit == 0x7F)
            unit = static_cast<char16_t>(printedCodePoint(unit));
    return text;
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp >= 0xD800 && cp <= 0xDFFF)
        cp = 0xFFFD;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string toUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const CodePoint c = codePointAt(text, i);
        i += c.units;
        appendUtf8(out, c.value);
    }
    return out;
}

std::size_t Utf16Decoder::byteOrderMark(std::string_view bytes, bool& bigEndian)
{
    if (bytes.size() < 2)
        return 0;
    const auto first = static_cast<unsigned char>(bytes[0]), second = static_cast<unsigned char>(bytes[1]);
    if ((first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF)) {
        bigEndian = first == 0xFE;
        return 2;
    }
    return 0;
}

void Utf16Decoder::decode(std::string_view bytes, std::string& out)
{
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (oddByte_ < 0) {
            oddByte_ = byte;
            continue;
        }
        const auto unit = static_cast<char16_t>(bigEndian_ ? (oddByte_ << 8) | byte : (byte << 8) | oddByte_);
        oddByte_ = -1;
        if (highSurrogate_ != 0) {
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((char32_t{highSurrogate_} - 0xD800) << 10) + (char32_t{unit} - 0xDC00));
                highSurrogate_ = 0;
                continue;
            }
            appendUtf8(out, 0xFFFD);
            highSurrogate_ = 0;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF)
            highSurrogate_ = unit;
        else
            appendUtf8(out, unit); // a lone low surrogate comes out as U+FFFD
    }
}

void Utf16Decoder::finish(std::string& out)
{
    if (highSurrogate_ != 0 || oddByte_ >= 0)
        appendUtf8(out, 0xFFFD);
    highSurrogate_ = 0;
    oddByte_ = -1;
}

std::size_t utf8SafeCut(std::string_view bytes, std::size_t maxBytes)
{
    if (bytes.size() <= maxBytes)
        return bytes.size();
    // Walk back over at most three continuation bytes to the sequence the
    // cut falls into; cut before it only when it is a well-formed sequence
    // that reaches past the cut. Bytes that are not UTF-8 can be cut anywhere.
    std::size_t start = maxBytes;
    for (int k = 0; k < 3 && start > 0; ++k) {
        auto b = static_cast<unsigned char>(bytes[start]);
        if ((b & 0xC0) != 0x80)
            break;
        --start;
    }
    if (start == maxBytes)
        return maxBytes; // the cut is at the start of a character
    return start + utf8SequenceLength(bytes, start) > maxBytes ? start : maxBytes;
}

std::size_t bytesOfUnits(std::string_view bytes, std::size_t units)
{
    std::size_t at = 0, taken = 0;
    while (at < bytes.size() && taken < units) {
        const std::size_t n = utf8SequenceLength(bytes, at);
        if (n == 0)
            return std::min(units, bytes.size()); // single-byte text: a unit a byte
        at += n;
        taken += n == 4 ? 2 : 1;
    }
    // The rest must be UTF-8 too, or toUnicode reads the whole text a byte at a time.
    for (std::size_t rest = at; rest < bytes.size();) {
        const std::size_t n = utf8SequenceLength(bytes, rest);
        if (n == 0)
            return std::min(units, bytes.size());
        rest += n;
    }
    return at;
}

} // namespace velm
