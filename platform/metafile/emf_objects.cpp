#include "platform/metafile/emf_player.h"

#include <algorithm>
#include <limits>

namespace velm::emf {

using namespace gdi;

LogFont stockFont(const char16_t* face, int height, int weight, std::uint8_t pitchAndFamily)
{
    LogFont f;
    f.faceName = face;
    f.height = height;
    f.weight = weight;
    f.pitchAndFamily = pitchAndFamily;
    return f;
}

// The stock objects as Windows and Wine define them; the fonts by names that
// resolve on Linux (fonts.h). Their sizes are pixels of a 96-dpi display.
Object stockObjectValue(std::uint32_t handle)
{
    switch (handle & ~kStockBit) {
    case WHITE_BRUSH: return LogBrush{BS_SOLID, 0xFFFFFF, 0};
    case LTGRAY_BRUSH: return LogBrush{BS_SOLID, 0xC0C0C0, 0};
    case GRAY_BRUSH: return LogBrush{BS_SOLID, 0x808080, 0};
    case DKGRAY_BRUSH: return LogBrush{BS_SOLID, 0x404040, 0};
    case BLACK_BRUSH: return LogBrush{BS_SOLID, 0x000000, 0};
    case NULL_BRUSH: return LogBrush{BS_NULL, 0, 0};
    case WHITE_PEN: return LogPen{PS_SOLID, 0, 0xFFFFFF};
    case BLACK_PEN: return LogPen{PS_SOLID, 0, 0x000000};
    case NULL_PEN: return LogPen{PS_NULL, 0, 0};
    case 10: return stockFont(u"Courier New", 12, 400, 0x31);   // OEM_FIXED_FONT
    case 11: return stockFont(u"Courier New", 12, 400, 0x31);   // ANSI_FIXED_FONT
    case 12: return stockFont(u"MS Sans Serif", 12, 400, 0x22); // ANSI_VAR_FONT
    case 13: return stockFont(u"MS Sans Serif", 16, 700, 0x22); // SYSTEM_FONT
    case 14: return stockFont(u"MS Sans Serif", 16, 700, 0x22); // DEVICE_DEFAULT_FONT
    case 16: return stockFont(u"Courier New", 16, 400, 0x31);   // SYSTEM_FIXED_FONT
    case 17: return stockFont(u"MS Sans Serif", -11, 400, 0x22); // DEFAULT_GUI_FONT
    case kDcBrush: return LogBrush{BS_SOLID, 0xFFFFFF, 0};
    case kDcPen: return LogPen{PS_SOLID, 0, 0x000000};
    default: return std::monostate{};
    }
}

Object Player::objectFor(std::uint32_t handle) const
{
    if (handle & kStockBit)
        return stockObjectValue(handle);
    return gdi_.objects().at(handle);
}

void Player::store(std::uint32_t index, Object object)
{
    if (index == 0 || index >= kMaxObjects) {
        log_.recordNote("object index " + std::to_string(index) + " ignored");
        return;
    }
    if (index >= declaredHandles_ && !warnedHandles_) {
        warnedHandles_ = true;
        log_.recordNote("object index " + std::to_string(index) + " beyond the header's nHandles " +
                        std::to_string(declaredHandles_));
    }
    gdi_.objects().put(index, std::move(object));
}

void Player::onSelectObject(const Record& r)
{
    const std::uint32_t handle = r.u32(8);
    if (gdi_.select(objectFor(handle)))
        return;
    if (handle != (kStockBit | kDefaultPalette))
        log_.recordNote("no object " + std::to_string(handle) + " to select");
}

void Player::onDeleteObject(const Record& r)
{
    // What is selected stays in effect: the state holds copies.
    const std::uint32_t handle = r.u32(8);
    if (handle & kStockBit)
        return;
    if (!gdi_.objects().remove(handle))
        log_.recordNote("no object " + std::to_string(handle) + " to delete");
}

void Player::onCreatePen(const Record& r)
{
    const std::int32_t width = r.i32(16);
    const LogPen pen{static_cast<int>(r.u32(12) & PS_STYLE_MASK),
                     width < 0 ? (width == std::numeric_limits<std::int32_t>::min() ? 0 : -width) : width,
                     colour(r.u32(24))};
    store(r.u32(8), pen);
}

void Player::onExtCreatePen(const Record& r)
{
    const std::uint32_t offBmi = r.u32(12), cbBmi = r.u32(16), offBits = r.u32(20), cbBits = r.u32(24);
    const std::uint32_t entries = r.u32(48);
    if ((cbBmi && !r.holds(offBmi, cbBmi, 1)) || (cbBits && !r.holds(offBits, cbBits, 1)) ||
        !r.holds(kSizeExtCreatePen, entries, 4)) {
        log_.recordDamaged("has data offsets outside the record");
        return;
    }
    const std::uint32_t style = r.u32(28);
    const std::uint32_t brushStyle = r.u32(36);
    const bool geometric = (style & kPsTypeMask) == kPsGeometric;
    const std::int32_t width = r.i32(32);
    LogPen pen;
    pen.style = static_cast<int>(style & (PS_STYLE_MASK | PS_ENDCAP_MASK | PS_JOIN_MASK));
    // A cosmetic pen is one device pixel whatever its width field says.
    pen.width = geometric ? std::clamp(width, 0, 1 << 24) : 0;
    pen.color = colour(r.u32(40));
    if (brushStyle == BS_NULL)
        pen.style = (pen.style & ~PS_STYLE_MASK) | PS_NULL;
    else if (brushStyle != BS_SOLID && brushStyle != BS_HATCHED)
        log_.recordNote("a pattern pen is drawn solid");
    if ((pen.style & PS_STYLE_MASK) > PS_INSIDEFRAME) // PS_USERSTYLE, PS_ALTERNATE
        pen.style = (pen.style & ~PS_STYLE_MASK) | PS_DOT;
    store(r.u32(8), pen);
}

void Player::onCreateBrush(const Record& r)
{
    const std::uint32_t style = r.u32(12);
    LogBrush brush{static_cast<int>(style), colour(r.u32(16)), static_cast<int>(r.u32(20))};
    if (style > BS_HATCHED) {
        log_.recordNote("brush style " + std::to_string(style) + " drawn solid");
        brush.style = BS_SOLID;
    }
    if (brush.style == BS_HATCHED && (brush.hatch < HS_HORIZONTAL || brush.hatch > HS_DIAGCROSS))
        brush.hatch = HS_CROSS;
    store(r.u32(8), brush);
}

void Player::onCreateFont(const Record& r)
{
    // The LOGFONTW comes first in all three record forms (104, 332, >= 368).
    const std::uint8_t* lf = r.p + 12;
    LogFont f;
    f.height = loadI32(lf);
    f.width = loadI32(lf + 4);
    f.escapement = loadI32(lf + 8);
    f.orientation = loadI32(lf + 12);
    f.weight = loadI32(lf + 16);
    f.italic = lf[20] != 0;
    f.underline = lf[21] != 0;
    f.strikeOut = lf[22] != 0;
    f.charSet = lf[23];
    f.outPrecision = lf[24];
    f.clipPrecision = lf[25];
    f.quality = lf[26];
    f.pitchAndFamily = lf[27];
    // At most 32 units: MS-EMF allows a name without terminator.
    for (std::size_t i = 0; i < kFaceNameUnits; ++i) {
        const char16_t c = loadU16(lf + 28 + 2 * i);
        if (c == 0)
            break;
        f.faceName.push_back(c);
    }
    store(r.u32(8), std::move(f));
}

} // namespace velm::emf
