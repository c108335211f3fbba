// Internal to the metafile writer and reader: the private comment that goes
// just before each glyph-index text record Velm writes, naming the run's
// logical text and cluster map (TextSource), so that a reader can give the
// text back. Readers that do not know it skip it, as every comment.
// The comment's data (little-endian, after EMR_COMMENT's cbData):
//   0  "Velm"                  4  uint32 kind, 1: a text source
//   8  uint32 flags, 1: right to left
//   12 uint32 units of text    16 uint32 glyphs
//   20 the text, UTF-16, zero-padded to 4 bytes
//   .. uint32 per glyph: the index in the text of its cluster's first unit
#pragma once

#include "platform/metafile/page_device.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velm::emf {

std::vector<std::uint8_t> encodeTextSource(const TextSource& source);

// True when the data is a text source whose clusters all lie inside its
// text; out holds it then (its buffers are reused).
bool decodeTextSource(const std::uint8_t* data, std::size_t size, TextSource& out);

} // namespace velm::emf
