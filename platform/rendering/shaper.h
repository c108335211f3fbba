// One line of text to glyphs, in any script: the one shaper that measuring
// and recording share (beside the font resolver, fonts.h).
//
// A line whose code points are all below U+0300 takes the fast path: one
// glyph per character from the resolver, each advance rounded on its own,
// exactly as textAdvances() measures (the page records such a line as
// plain text). Any other line is shaped:
//   - bidi levels by the Unicode bidi algorithm (ICU), the paragraph
//     direction from the first strong character, only where the line holds
//     a right-to-left or explicit-direction character;
//   - script runs, Common and Inherited characters joining their neighbours
//     of the same level;
//   - one face per run: the first face in the font's fallback order that
//     holds every character of the run, so a word never switches face; a
//     run no face holds whole is split where its faces change;
//   - HarfBuzz per run with the whole line as context; kerning and
//     ligatures off in Latin, Greek, Cyrillic and Common runs, which keeps
//     them as the fast path draws them;
//   - runs in visual order (mirrored brackets in right-to-left runs, digits
//     in their own order).
// Positions are whole pixels, each glyph's rounded on its own, so widths
// add up. Needs a QGuiApplication (as fonts.h); state is per thread.
#pragma once

#include "platform/metafile/gdi_types.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace velm {

struct ShapedGlyph {
    std::uint32_t id = 0;      // glyph index in the run's face
    std::uint32_t cluster = 0; // UTF-16 index in the line of its cluster's first unit
    int advance = 0;           // pixels
    int offsetX = 0;           // from the pen position, pixels (y down)
    int offsetY = 0;
};

struct ShapedRun {
    std::uint16_t face = 0;  // ResolvedFont::face(face) of the line's font
    std::uint8_t level = 0;  // bidi embedding level: odd levels run right to left
    std::uint32_t start = 0; // the run's UTF-16 units in the line
    std::uint32_t length = 0;
    std::vector<ShapedGlyph> glyphs; // visual order, left to right
    bool rightToLeft() const { return (level & 1) != 0; }
};

struct ShapedLine {
    bool fast = true;          // the fast path: no runs, draw the text with `advances`
    bool rightToLeft = false;  // the paragraph direction
    // One per UTF-16 unit, logical order: the fast path's advances, or each
    // cluster's advance on its first unit (0 on the others).
    std::vector<int> advances;
    std::vector<ShapedRun> runs; // shaped lines only, visual order
    int width() const;
};

// True when every unit is below U+0300: no shaping, no bidi.
bool takesFastPath(std::u16string_view text);

// A paragraph's direction: given, or found in the text being shaped.
enum class Direction : std::uint8_t { FromText, LeftToRight, RightToLeft };

// The direction of the paragraph's first strong character (rules P2-P3);
// FromText when it has none.
Direction paragraphDirection(std::u16string_view text);

// Shapes one line in the font (a LOGFONT at its pixel size, as fonts.h
// takes it). out's buffers are reused. Control characters draw nothing and
// take no room; a character no face has is the chosen face's missing-glyph
// box and is noted for takeUncoveredCharacters(). A line of a right-to-left
// paragraph is shaped at that paragraph level even when it holds only
// characters below U+0300 (its neutrals then take the paragraph's side).
void shapeLine(const LogFont& font, std::u16string_view text, ShapedLine& out,
               Direction paragraph = Direction::FromText);

// Where a line of the text may end, as positions after the last unit a line
// keeps, ascending, ending with the text's size: ICU's line breaks (with its
// dictionaries for Thai, Lao, Khmer and Myanmar, which write no spaces
// between words), never inside a grapheme cluster. Between characters of
// scripts written with spaces only the breaks after a space are kept, so
// such text breaks as it always has: whole words at spaces.
void lineBreaks(std::u16string_view text, std::vector<std::uint32_t>& out);

// The LOGFONT that names face `face` of the font, for a stored page: same
// size, weight, style and decorations, the fallback face's family (face 0
// is the font itself).
LogFont faceLogFont(const LogFont& font, std::uint16_t face);

} // namespace velm
