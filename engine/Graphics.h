// The toolkit-style font and brush objects the print job is configured with.
#pragma once

#include "platform/metafile/gdi_types.h"

#include <cstdint>
#include <string>

namespace velm {

// A colour value: RGB as 0x00BBGGRR, or a system colour (negative).
using TColor = std::int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clWindowText = static_cast<TColor>(0x80000008u);
constexpr bool isSystemColor(TColor c) { return c < 0; }
// A system colour resolved to its RGB value; RGB values stay as they are.
TColor ColorToRGB(TColor color);

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// Height is in pixels of PixelsPerInch (negative: character height,
// positive: cell height); Size is the point size that height stands for.
struct TFont {
    std::string Name = "MS Sans Serif";
    int Height = -11;
    TColor Color = clWindowText;
    unsigned Style = 0;
    int PixelsPerInch = 96;

    int Size() const;            // -Height * 72 / PixelsPerInch, rounded
    void SetSize(int points);    // Height := -points * PixelsPerInch / 72, rounded
    bool Has(TFontStyle s) const { return (Style & s) != 0; }
    bool operator==(const TFont&) const = default;
};

// The print font the configuration dialog keeps in the settings file
// ([Velm] FontName, FontSize, FontColor, FontStyle), for jobs of the
// toolbar, the watched folder and the command line.
TFont StoredPrintFont();

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
    bool operator==(const TBrush&) const = default;
};

} // namespace velm
