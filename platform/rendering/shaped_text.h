// Shaped lines onto a stored page: what the drawing surface calls to
// record text that shapeLine() measured, so that the page draws exactly
// what was measured.
#pragma once

#include "platform/metafile/emf_recorder.h"
#include "platform/rendering/shaper.h"

#include <string_view>

namespace velm {

// Records `line` (shapeLine of `text` in `font`, which must be the page's
// selected font) with its top left at (x, y), as the page's TA_LEFT |
// TA_TOP text is placed. A fast line is one text record with its advances,
// exactly as before shaping existed. A shaped line is recorded run by run
// in visual order, each run as a private comment with its logical text and
// cluster map followed by glyph-index text (ETO_PDY where marks sit above
// or below the baseline); a run in a fallback face is drawn in a font that
// names that face, selected for the run only, on the chosen face's
// baseline. Returns the width recorded.
int recordShapedLine(EmfRecorder& page, int x, int y, const LogFont& font, std::u16string_view text,
                     const ShapedLine& line);

} // namespace velm
