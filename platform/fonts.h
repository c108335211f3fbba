// Text measurement on the printer canvas. A font is described as LOGFONT
// does it, with heights in device pixels of the device being measured for;
// widths come back in the same pixels. The faces "Arial", "Times New Roman",
// "Courier New" and "MS Sans Serif" resolve to installed metric-compatible
// faces. The same resolution is used when pages are played, so what was
// measured is what is printed. Needs a QGuiApplication: every function
// throws VelmError when none exists.
//
// Sizes: Qt takes whole pixel sizes, so a positive (cell) height becomes the
// em height nearest to cell / ((ascent + descent) / em) of the face; the
// cell height Qt then reports may differ from the request by a pixel.
// lfWidth, escapement and orientation do not change widths (advances run
// along the baseline; the engine always asks for width 0). A character the
// face lacks is measured in the fallback face Qt draws it with. Results are
// cached per font and code unit; the functions are safe to call from any
// thread that may use QFont.
#pragma once

#include "platform/gdi_types.h"

#include <string_view>
#include <vector>

class QFont;

namespace velm {

// Integer advance of every UTF-16 unit, as the page records them: each
// character's design advance at the pixel size, rounded on its own. A
// surrogate pair gets the character's advance on its first unit and 0 on
// its second.
std::vector<int> textAdvances(const LogFont& font, std::u16string_view text);
// Sum of textAdvances: the width that wrapping and alignment use.
int textWidth(const LogFont& font, std::u16string_view text);
// Ascent + descent in pixels for the font (the cell height).
int cellHeight(const LogFont& font);

// The Qt font for a LOGFONT at its pixel size (negative: em height,
// positive: cell height, 0: 16 pixels cell height). Kerning and hinting off,
// so advances scale linearly and add up.
QFont qtFontFor(const LogFont& font);

} // namespace velm
