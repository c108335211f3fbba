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
CodePoint codePointAt(std::u16string_view text, std::size_t at);
// Appends cp (at most U+10FFFF) as one unit or a surrogate pair.
void appendUtf16(std::u16string& out, char32_t cp);

} // namespace velm
