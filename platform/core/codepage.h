// Text in the engine is bytes. Bytes that form valid UTF-8 are read as
// UTF-8 (what Linux files hold); anything else as Windows-1252, the
// single-byte code page whose codes the HTML entities use (174 = ®).
// This is the one place that knows the code page, the UTF-8 rule and
// surrogate pairs, so that cutting, measuring and decoding cannot drift.
// Nothing here throws: every byte sequence has a reading.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velm {

std::u16string toUnicode(std::string_view bytes);
// The character a code point prints as. The C0 controls that mean nothing
// on a page (all but backspace, tab, line feed, form feed and carriage
// return) and DEL become their control pictures (U+2400 + code, DEL
// U+2421), so that no byte vanishes; every other code point stays itself.
char32_t printedCodePoint(char32_t cp);
// toUnicode with every character as printedCodePoint gives it: the text
// that is measured and drawn.
std::u16string toPrintable(std::string_view bytes);
// Windows-1252 one byte at a time: the character of a byte, and the byte of
// a character (-1 when the code page has none). The five codes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) are the C1 controls of the
// same number both ways, so no byte is lost.
char16_t fromCp1252(unsigned char byte);
int toCp1252(char16_t unit);
std::string toUtf8(std::u16string_view text);
// Length of the longest prefix of at most maxBytes that does not end inside
// a UTF-8 sequence (for cutting pieces without splitting a character).
std::size_t utf8SafeCut(std::string_view bytes, std::size_t maxBytes);
// The number of bytes that toUnicode(bytes) reads into its first `units`
// units (a prefix that ends inside a surrogate pair takes the pair).
std::size_t bytesOfUnits(std::string_view bytes, std::size_t units);

// Length of the well-formed UTF-8 sequence starting at bytes[at], 0 when
// there is none: no overlong forms, no surrogates, nothing above U+10FFFF,
// no sequence cut short by the end. The one rule for decoding and cutting.
std::size_t utf8SequenceLength(std::string_view bytes, std::size_t at);

struct CodePoint {
    char32_t value;
    std::size_t units; // 1, or 2 for a surrogate pair
};
// The code point starting at text[at] (at < text.size()): a surrogate pair
// is one; any other unit, a lone surrogate included, stands for itself.
// Inline: text playback asks once a character.
inline CodePoint codePointAt(std::u16string_view text, std::size_t at)
{
    const char32_t unit = text[at];
    if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF)
        return {0x10000 + ((unit - 0xD800) << 10) + (char32_t{text[at + 1]} - 0xDC00), 2};
    return {unit, 1};
}
// Appends cp (at most U+10FFFF) as one unit or a surrogate pair.
void appendUtf16(std::u16string& out, char32_t cp);
// Appends cp as UTF-8; a surrogate code point, which UTF-8 cannot carry,
// as U+FFFD.
void appendUtf8(std::string& out, char32_t cp);

// UTF-16 bytes of either order to UTF-8, block by block: a character split
// between two blocks is kept for the next. Whatever does not decode (a
// lone surrogate, an odd last byte) becomes U+FFFD, so nothing is dropped.
class Utf16Decoder {
public:
    explicit Utf16Decoder(bool bigEndian) : bigEndian_(bigEndian) {}
    void decode(std::string_view bytes, std::string& out);
    void finish(std::string& out); // at the end of the input
    // The byte-order mark at the head of bytes: 2 (its length) with the
    // order, or 0 when bytes do not begin with one.
    static std::size_t byteOrderMark(std::string_view bytes, bool& bigEndian);

private:
    bool bigEndian_;
    int oddByte_ = -1;          // the first byte of a unit, when a block ended inside it
    char16_t highSurrogate_ = 0; // waiting for its low half
};

} // namespace velm
