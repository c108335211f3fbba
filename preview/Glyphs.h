// Button glyphs drawn as shapes at whatever size and pixel density a button
// asks for, so they stay crisp at any scale factor: no small picture is
// ever scaled up.
#pragma once

#include <QColor>
#include <QIcon>

#include <functional>

class QPainter;

namespace velm {

// The colour a glyph's part takes in the state drawn: itself, or grey
// for the disabled state.
struct GlyphInk {
    bool Grey = false;
    QColor operator()(QColor Colour) const;
};

// Draws one glyph in a Grid by Grid square (antialiased, scaled to the
// button's pixels).
using GlyphDrawing = std::function<void(QPainter& Painter, const GlyphInk& Ink)>;

// An icon whose every size and state is drawn by Drawing.
QIcon DrawnGlyph(double Grid, GlyphDrawing Drawing);

// The preview's 16 by 16 glyphs, each with its greyed state: "printer",
// "door", "doorclosed", "zoomminus", "zoomplus", "arrowleft", "arrowright".
// An unknown name gives an empty icon.
QIcon Glyph(const char* Name);

} // namespace velm
