// Text in the engine is bytes. Bytes that form valid UTF-8 are read as
// UTF-8 (what Linux files hold); anything else as Windows-1252, the
// single-byte code page whose codes the HTML entities use (174 = ®).
#pragma once

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

} // namespace velm
