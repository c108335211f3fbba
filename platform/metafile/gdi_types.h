// Plain value types shared by the metafile writer, reader and players.
#pragma once

#include <cstdint>
#include <string>

namespace velm {

// 0x00BBGGRR, red in the low byte, as metafiles store colours.
using ColorRef = std::uint32_t;
constexpr ColorRef rgb(int r, int g, int b)
{
    return static_cast<ColorRef>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int redOf(ColorRef c) { return static_cast<int>(c & 0xFF); }
constexpr int greenOf(ColorRef c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int blueOf(ColorRef c) { return static_cast<int>((c >> 16) & 0xFF); }

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// Half-open like every device rectangle: [left, right) x [top, bottom).
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

enum PenStyle : int { PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5, PS_INSIDEFRAME = 6 };
// Above the line style (style & PS_STYLE_MASK) a LogPen's style may carry the
// end-cap and join bits of an extended pen. 0 in both is what GDI gives a
// wide CreatePen pen: round caps, round joins. They matter only for pens
// wider than one pixel.
constexpr int PS_STYLE_MASK = 0x0F;
constexpr int PS_ENDCAP_ROUND = 0x000, PS_ENDCAP_SQUARE = 0x100, PS_ENDCAP_FLAT = 0x200, PS_ENDCAP_MASK = 0xF00;
constexpr int PS_JOIN_ROUND = 0x0000, PS_JOIN_BEVEL = 0x1000, PS_JOIN_MITER = 0x2000, PS_JOIN_MASK = 0xF000;
enum BrushStyle : int { BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2 };
enum HatchStyle : int { HS_HORIZONTAL = 0, HS_VERTICAL = 1, HS_FDIAGONAL = 2, HS_BDIAGONAL = 3, HS_CROSS = 4, HS_DIAGCROSS = 5 };
enum BkMode : int { TRANSPARENT = 1, OPAQUE = 2 };
enum MapMode : int {
    MM_TEXT = 1, MM_LOMETRIC = 2, MM_HIMETRIC = 3, MM_LOENGLISH = 4, MM_HIENGLISH = 5, MM_TWIPS = 6,
    MM_ISOTROPIC = 7, MM_ANISOTROPIC = 8,
};
enum PolyFillMode : int { ALTERNATE = 1, WINDING = 2 };
// SetTextAlign flags: horizontal part = align & 6, vertical part = align & 24.
enum TextAlign : unsigned {
    TA_NOUPDATECP = 0, TA_UPDATECP = 1, TA_LEFT = 0, TA_RIGHT = 2, TA_CENTER = 6,
    TA_TOP = 0, TA_BOTTOM = 8, TA_BASELINE = 24, TA_RTLREADING = 0x100,
};

struct LogPen {
    int style = PS_SOLID;
    int width = 0; // 0 = one device pixel whatever the scale
    ColorRef color = 0;
    bool operator==(const LogPen&) const = default;
};

struct LogBrush {
    int style = BS_SOLID;
    ColorRef color = 0xFFFFFF;
    int hatch = 0;
    bool operator==(const LogBrush&) const = default;
};

// LOGFONT: a negative height is the em height, a positive one the cell
// height (ascent + descent), 0 the default size.
struct LogFont {
    int height = 0;
    int width = 0;
    int escapement = 0;
    int orientation = 0;
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::uint8_t charSet = 0;
    std::uint8_t outPrecision = 0;
    std::uint8_t clipPrecision = 0;
    std::uint8_t quality = 0;
    std::uint8_t pitchAndFamily = 0;
    std::u16string faceName; // at most 31 units are stored
    bool operator==(const LogFont&) const = default;
};

// Stock objects as GDI numbers them (select with stockObject()).
enum StockObject : int {
    WHITE_BRUSH = 0, LTGRAY_BRUSH = 1, GRAY_BRUSH = 2, DKGRAY_BRUSH = 3, BLACK_BRUSH = 4,
    NULL_BRUSH = 5, WHITE_PEN = 6, BLACK_PEN = 7, NULL_PEN = 8, SYSTEM_FONT = 13,
    DEFAULT_GUI_FONT = 17,
};

} // namespace velm
