// Shaped lines onto a stored page: what the drawing surface calls to
// record text that shapeLine() measured, so that the page draws exactly
// what was measured.
#pragma once

#include "platform/metafile/emf_recorder.h"
#include "platform/rendering/shaper.h"

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace velm {

// One run of a shaped line as a page records it: glyph ids and the steps
// from each glyph's place to the next one's (GDI counts vertical steps
// upwards; none when no glyph leaves the baseline), with its logical text.
struct ShapedRunRecord {
    std::vector<std::uint16_t> glyphs;
    std::vector<int> dx, dy;
    TextSource source;
};

// Where a run of a shaped line goes: its first glyph's place and the font
// that draws it (the line's font, or one naming the fallback face).
struct PlacedShapedRun {
    const ShapedRunRecord& record;
    const LogFont& font;
    bool fallbackFace;
    int x, y;
};

// The runs of `line` (shapeLine of `text` in `font`, not the fast path)
// with the line's top left at (x, y), in visual order, each handed to
// `use`; the line's width. A run in a fallback face sits on the chosen
// face's baseline.
int placeShapedLine(int x, int y, const LogFont& font, std::u16string_view text, const ShapedLine& line,
                    const std::function<void(const PlacedShapedRun&)>& use);

// Records `line` (shapeLine of `text` in `font`, which must be the page's
// selected font) with its top left at (x, y), as the page's TA_LEFT |
// TA_TOP text is placed. A fast line is one text record with its advances,
// exactly as before shaping existed. A shaped line is recorded run by run
// as placeShapedLine places them, each run as a private comment with its
// logical text and cluster map followed by glyph-index text (ETO_PDY where
// marks sit above or below the baseline); a run in a fallback face is
// drawn in a font that names that face, selected for the run only.
// Returns the width recorded.
int recordShapedLine(EmfRecorder& page, int x, int y, const LogFont& font, std::u16string_view text,
                     const ShapedLine& line);

} // namespace velm
