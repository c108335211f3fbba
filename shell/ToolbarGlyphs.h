// The toolbar's button glyphs, drawn as shapes at whatever size and pixel
// density a button asks for, so they stay crisp at any scale factor.
#pragma once

#include <QIcon>

namespace velm {

// "drag", "print", "view" or "edit"; the disabled state is drawn grey.
QIcon ToolbarGlyph(const QString& Name);

} // namespace velm
