#include "engine/Graphics.h"

#include "platform/core/convert.h"
#include "platform/system/settings.h"

namespace velm {

namespace {

// The system colours as a Windows 95 desktop shows them by default, indexed
// by the colour number in the low byte of a system colour value.
constexpr ColorRef kSystemColors[] = {
    rgb(192, 192, 192), // scroll bar
    rgb(0, 128, 128),   // desktop
    rgb(0, 0, 128),     // active caption
    rgb(128, 128, 128), // inactive caption
    rgb(192, 192, 192), // menu
    rgb(255, 255, 255), // window
    rgb(0, 0, 0),       // window frame
    rgb(0, 0, 0),       // menu text
    rgb(0, 0, 0),       // window text
    rgb(255, 255, 255), // caption text
    rgb(192, 192, 192), // active border
    rgb(192, 192, 192), // inactive border
    rgb(128, 128, 128), // application workspace
    rgb(0, 0, 128),     // highlight
    rgb(255, 255, 255), // highlight text
    rgb(192, 192, 192), // button face
    rgb(128, 128, 128), // button shadow
    rgb(128, 128, 128), // grey text
    rgb(0, 0, 0),       // button text
    rgb(192, 192, 192), // inactive caption text
    rgb(255, 255, 255), // button highlight
    rgb(0, 0, 0),       // 3-D dark shadow
    rgb(192, 192, 192), // 3-D light
    rgb(0, 0, 0),       // tooltip text
    rgb(255, 255, 225), // tooltip background
};

} // namespace

TColor ColorToRGB(TColor color)
{
    if (!isSystemColor(color))
        return color;
    const auto index = static_cast<std::size_t>(static_cast<std::uint32_t>(color) & 0xFFu);
    // An unknown colour number reads as black, as the system answers it.
    if (index >= std::size(kSystemColors))
        return clBlack;
    return static_cast<TColor>(kSystemColors[index]);
}

int TFont::Size() const
{
    return roundHalfEven(-static_cast<double>(Height) * 72.0 / PixelsPerInch);
}

void TFont::SetSize(int points)
{
    Height = roundHalfEven(-static_cast<double>(points) * PixelsPerInch / 72.0);
}


TFont StoredPrintFont()
{
    const SettingsFile ini;
    TFont font{"Arial", -13, clBlack, 0, 96};
    font.Name = ini.readString("Velm", "FontName", "Arial");
    font.Color = strToIntDef(ini.readString("Velm", "FontColor", "0"), 0);
    font.SetSize(ini.readInteger("Velm", "FontSize", 10));
    const std::string style = ini.readString("Velm", "FontStyle", "000");
    const auto flag = [&](std::size_t i, TFontStyle s) { return style.size() > i && style[i] == '1' ? s : 0u; };
    font.Style = flag(0, fsBold) | flag(1, fsItalic) | flag(2, fsUnderline);
    return font;
}

} // namespace velm
