// Text measurement on the printer canvas. A font is described as LOGFONT
// does it, with heights in device pixels of the device being measured for;
// widths come back in the same pixels. The faces "Arial", "Times New Roman",
// "Courier New" and "MS Sans Serif" resolve to installed metric-compatible
// faces. The same resolution is used when pages are played, so what was
// measured is what is printed. Needs a QGuiApplication.
#pragma once

#include "platform/gdi_types.h"

#include <string_view>
#include <vector>

class QFont;

namespace velm {

// Integer advance of every UTF-16 unit, as the page records them.
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
