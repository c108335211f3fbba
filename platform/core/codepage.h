// Text in the engine is bytes. Bytes that form valid UTF-8 are read as
// UTF-8 (what Linux files hold); anything else as Windows-1252, the
// single-byte code page whose codes the HTML entities use (174 = ®).
// Nothing here throws: every byte sequence has a reading.
#pragma once

#include <string>
#include <string_view>

namespace velm {

std::u16string toUnicode(std::string_view bytes);
std::string toUtf8(std::u16string_view text);
// Length of the longest prefix of at most maxBytes that does not end inside
// a UTF-8 sequence (for cutting pieces without splitting a character).
std::size_t utf8SafeCut(std::string_view bytes, std::size_t maxBytes);

} // namespace velm
