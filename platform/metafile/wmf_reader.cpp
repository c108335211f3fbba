#include "platform/metafile/wmf_reader.h"

#include "platform/core/codepage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace velm {

namespace {

constexpr std::uint32_t PlaceableKey = 0x9AC6CDD7;
constexpr std::size_t PlaceableSize = 22;
constexpr std::size_t MetaHeaderSize = 18;
constexpr int MaxPictureSide = 4000;

enum Function : std::uint16_t {
    META_EOF = 0x0000, META_SAVEDC = 0x001E, META_SETBKMODE = 0x0102, META_SETMAPMODE = 0x0103,
    META_SETPOLYFILLMODE = 0x0106, META_RESTOREDC = 0x0127, META_SELECTOBJECT = 0x012D,
    META_SETTEXTALIGN = 0x012E, META_DELETEOBJECT = 0x01F0, META_SETBKCOLOR = 0x0201,
    META_SETTEXTCOLOR = 0x0209, META_SETWINDOWORG = 0x020B, META_SETWINDOWEXT = 0x020C,
    META_SETVIEWPORTORG = 0x020D, META_SETVIEWPORTEXT = 0x020E, META_OFFSETWINDOWORG = 0x020F,
    META_LINETO = 0x0213, META_MOVETO = 0x0214, META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEFONTINDIRECT = 0x02FB, META_CREATEBRUSHINDIRECT = 0x02FC, META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325, META_INTERSECTCLIPRECT = 0x0416, META_ELLIPSE = 0x0418,
    META_RECTANGLE = 0x041B, META_TEXTOUT = 0x0521, META_POLYPOLYGON = 0x0538, META_ROUNDRECT = 0x061C,
    META_PATBLT = 0x061D, META_EXTTEXTOUT = 0x0A32,
    // Records that create an object we do not draw with; they still take a slot.
    META_CREATEPALETTE = 0x00F7, META_DIBCREATEPATTERNBRUSH = 0x0142, META_CREATEPATTERNBRUSH = 0x01F9,
    META_CREATEREGION = 0x06FF,
};

// Little-endian reads that never pass the end of the view.
struct Bytes {
    std::string_view data;
    bool fits(std::size_t at, std::size_t n) const { return at <= data.size() && n <= data.size() - at; }
    std::uint16_t u16(std::size_t at) const
    {
        return fits(at, 2) ? static_cast<std::uint16_t>(static_cast<unsigned char>(data[at]) |
                                                        (static_cast<unsigned char>(data[at + 1]) << 8))
                           : 0;
    }
    std::int16_t i16(std::size_t at) const { return static_cast<std::int16_t>(u16(at)); }
    std::uint32_t u32(std::size_t at) const { return u16(at) | (static_cast<std::uint32_t>(u16(at + 2)) << 16); }
};

struct Unused {};
using Object = std::variant<std::monostate, LogPen, LogBrush, LogFont, Unused>;

struct DcState {
    LogPen pen{PS_SOLID, 0, 0};
    LogBrush brush{BS_SOLID, 0xFFFFFF, 0};
    LogFont font;
    ColorRef textColor = 0;
    ColorRef bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    unsigned textAlign = 0;
    int fillMode = 1;
    double winOrgX = 0, winOrgY = 0, winExtX = 1, winExtY = 1;
    double vpOrgX = 0, vpOrgY = 0, vpExtX = 1, vpExtY = 1;
    PointF position;
};

class Player {
public:
    Player(Bytes bytes, PageDevice& device, int objects, const Rect& box, int width, int height)
        : in_(bytes), device_(device), objects_(static_cast<std::size_t>(std::clamp(objects, 0, 65535)))
    {
        dc_.font.height = -12;
        dc_.font.faceName = u"Arial";
        dc_.winOrgX = box.left;
        dc_.winOrgY = box.top;
        dc_.winExtX = std::max(1, box.width());
        dc_.winExtY = std::max(1, box.height());
        dc_.vpExtX = width;
        dc_.vpExtY = height;
    }

    // Plays the record at `at` of `size` bytes; false at the end record.
    bool record(std::size_t at, std::size_t size, std::uint16_t function)
    {
        const std::size_t p = at + 6; // parameters follow size and function
        const std::size_t words = (size - 6) / 2;
        const auto s16 = [&](std::size_t i) { return i < words ? in_.i16(p + 2 * i) : std::int16_t{0}; };
        switch (function) {
        case META_EOF: return false;
        case META_SAVEDC: saved_.push_back(dc_); break;
        case META_RESTOREDC: restore(s16(0)); break;
        case META_SETBKMODE: dc_.bkMode = s16(0); break;
        case META_SETPOLYFILLMODE: dc_.fillMode = s16(0); break;
        case META_SETTEXTALIGN: dc_.textAlign = static_cast<std::uint16_t>(s16(0)); break;
        case META_SETBKCOLOR: dc_.bkColor = in_.u32(p) & 0xFFFFFF; break;
        case META_SETTEXTCOLOR: dc_.textColor = in_.u32(p) & 0xFFFFFF; break;
        case META_SETMAPMODE: break; // the picture is always fitted to its box
        case META_SETWINDOWORG: dc_.winOrgY = s16(0); dc_.winOrgX = s16(1); break;
        case META_OFFSETWINDOWORG: dc_.winOrgY += s16(0); dc_.winOrgX += s16(1); break;
        case META_SETWINDOWEXT:
            if (s16(0) != 0 && s16(1) != 0) {
                dc_.winExtY = s16(0);
                dc_.winExtX = s16(1);
            }
            break;
        case META_SETVIEWPORTORG: dc_.vpOrgY = s16(0); dc_.vpOrgX = s16(1); break;
        case META_SETVIEWPORTEXT:
            if (s16(0) != 0 && s16(1) != 0) {
                dc_.vpExtY = s16(0);
                dc_.vpExtX = s16(1);
            }
            break;
        case META_MOVETO: dc_.position = map(s16(1), s16(0)); break;
        case META_LINETO: {
            const PointF to = map(s16(1), s16(0));
            device_.line(dc_.position, to, dc_.pen, scale());
            dc_.position = to;
            break;
        }
        case META_RECTANGLE:
        case META_ROUNDRECT: {
            const std::size_t base = function == META_ROUNDRECT ? 2 : 0;
            const PointF a = map(s16(base + 3), s16(base + 2)), b = map(s16(base + 1), s16(base + 0));
            device_.rectangle(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y),
                              dc_.pen, scale(), dc_.brush);
            break;
        }
        case META_ELLIPSE: ellipse(map(s16(3), s16(2)), map(s16(1), s16(0))); break;
        case META_PATBLT: {
            const PointF a = map(s16(5), s16(4));
            const PointF b = map(s16(5) + s16(3), s16(4) + s16(2));
            device_.fillRect(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y),
                             dc_.brush);
            break;
        }
        case META_POLYGON:
        case META_POLYLINE: {
            const std::vector<PointF> points = readPoints(p + 2, static_cast<std::uint16_t>(s16(0)), at + size);
            if (points.empty())
                break;
            if (function == META_POLYGON)
                device_.polygon(points, dc_.pen, scale(), dc_.brush, dc_.fillMode);
            else
                device_.polyline(points, dc_.pen, scale());
            break;
        }
        case META_POLYPOLYGON: polyPolygon(p, at + size); break;
        case META_INTERSECTCLIPRECT: {
            const PointF a = map(s16(3), s16(2)), b = map(s16(1), s16(0));
            device_.intersectClip(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y));
            break;
        }
        case META_TEXTOUT: {
            const auto count = static_cast<std::size_t>(std::max<int>(0, s16(0)));
            const std::size_t padded = (count + 1) & ~std::size_t{1};
            if (!in_.fits(p + 2, padded + 4) || p + 2 + padded + 4 > at + size)
                break;
            const std::size_t after = p + 2 + padded;
            text(map(in_.i16(after + 2), in_.i16(after)), in_.data.substr(p + 2, count), {});
            break;
        }
        case META_EXTTEXTOUT: extTextOut(p, at + size); break;
        case META_CREATEPENINDIRECT: {
            LogPen pen;
            pen.style = in_.u16(p) & 0x0F;
            pen.width = std::abs(in_.i16(p + 2));
            pen.color = in_.u32(p + 6) & 0xFFFFFF;
            add(pen);
            break;
        }
        case META_CREATEBRUSHINDIRECT: {
            LogBrush brush;
            brush.style = in_.u16(p);
            brush.color = in_.u32(p + 2) & 0xFFFFFF;
            brush.hatch = in_.u16(p + 6);
            add(brush);
            break;
        }
        case META_CREATEFONTINDIRECT: add(readFont(p, at + size)); break;
        case META_CREATEPALETTE:
        case META_DIBCREATEPATTERNBRUSH:
        case META_CREATEPATTERNBRUSH:
        case META_CREATEREGION: add(Unused{}); break;
        case META_SELECTOBJECT: select(static_cast<std::uint16_t>(s16(0))); break;
        case META_DELETEOBJECT: {
            const auto index = static_cast<std::uint16_t>(s16(0));
            if (index < objects_.size())
                objects_[index] = std::monostate{};
            break;
        }
        default: break; // bitmaps, palettes, escapes: not drawn
        }
        return true;
    }

private:
    double scaleX() const { return dc_.vpExtX / dc_.winExtX; }
    double scaleY() const { return dc_.vpExtY / dc_.winExtY; }
    double scale() const { return (std::abs(scaleX()) + std::abs(scaleY())) / 2; }
    PointF map(double x, double y) const
    {
        return {(x - dc_.winOrgX) * scaleX() + dc_.vpOrgX, (y - dc_.winOrgY) * scaleY() + dc_.vpOrgY};
    }

    void restore(int which)
    {
        // Negative: relative to the latest save; positive: an absolute level.
        const long depth = static_cast<long>(saved_.size());
        const long target = which < 0 ? depth + which : which - 1;
        if (target < 0 || target >= depth)
            return;
        dc_ = saved_[static_cast<std::size_t>(target)];
        saved_.resize(static_cast<std::size_t>(target));
    }

    template <class T> void add(const T& object)
    {
        for (auto& slot : objects_)
            if (std::holds_alternative<std::monostate>(slot)) {
                slot = object;
                return;
            }
    }

    void select(std::uint16_t index)
    {
        if (index >= objects_.size())
            return;
        if (const auto* pen = std::get_if<LogPen>(&objects_[index]))
            dc_.pen = *pen;
        else if (const auto* brush = std::get_if<LogBrush>(&objects_[index]))
            dc_.brush = *brush;
        else if (const auto* font = std::get_if<LogFont>(&objects_[index]))
            dc_.font = *font;
    }

    LogFont readFont(std::size_t p, std::size_t end) const
    {
        LogFont font;
        font.height = in_.i16(p);
        font.width = in_.i16(p + 2);
        font.escapement = in_.i16(p + 4);
        font.orientation = in_.i16(p + 6);
        font.weight = in_.i16(p + 8);
        const auto byte = [&](std::size_t i) { return in_.fits(p + 10 + i, 1) ? static_cast<std::uint8_t>(in_.data[p + 10 + i]) : std::uint8_t{0}; };
        font.italic = byte(0) != 0;
        font.underline = byte(1) != 0;
        font.strikeOut = byte(2) != 0;
        font.charSet = byte(3);
        font.pitchAndFamily = byte(7);
        std::string face;
        for (std::size_t i = p + 18; i < std::min(end, p + 18 + 32) && in_.fits(i, 1) && in_.data[i] != '\0'; ++i)
            face += in_.data[i];
        font.faceName = toUnicode(face);
        return font;
    }

    std::vector<PointF> readPoints(std::size_t at, std::size_t count, std::size_t end) const
    {
        std::vector<PointF> points;
        if (at > end || count > (end - at) / 4)
            return points;
        for (std::size_t i = 0; i < count; ++i)
            points.push_back(map(in_.i16(at + 4 * i), in_.i16(at + 4 * i + 2)));
        return points;
    }

    void polyPolygon(std::size_t p, std::size_t end)
    {
        const std::size_t polygons = in_.u16(p);
        if (p + 2 > end || polygons > (end - p - 2) / 2)
            return;
        std::size_t at = p + 2 + 2 * polygons;
        for (std::size_t i = 0; i < polygons; ++i) {
            const std::size_t count = in_.u16(p + 2 + 2 * i);
            const std::vector<PointF> points = readPoints(at, count, end);
            if (points.size() != count)
                return;
            if (!points.empty())
                device_.polygon(points, dc_.pen, scale(), dc_.brush, dc_.fillMode);
            at += 4 * count;
        }
    }

    void ellipse(PointF a, PointF b)
    {
        const double cx = (a.x + b.x) / 2, cy = (a.y + b.y) / 2;
        const double rx = std::abs(b.x - a.x) / 2, ry = std::abs(b.y - a.y) / 2;
        std::vector<PointF> points;
        constexpr int Steps = 64;
        for (int i = 0; i < Steps; ++i) {
            const double t = 2 * M_PI * i / Steps;
            points.push_back({cx + rx * std::cos(t), cy + ry * std::sin(t)});
        }
        device_.polygon(points, dc_.pen, scale(), dc_.brush, 1);
    }

    void extTextOut(std::size_t p, std::size_t end)
    {
        if (p + 8 > end)
            return;
        const PointF origin = map(in_.i16(p + 2), in_.i16(p));
        const auto count = static_cast<std::size_t>(std::max<int>(0, in_.i16(p + 4)));
        const std::uint16_t options = in_.u16(p + 6);
        std::size_t at = p + 8 + ((options & 0x0006) ? 8 : 0); // ETO_OPAQUE / ETO_CLIPPED rectangle
        if (at > end || count > end - at)
            return;
        const std::string_view bytes = in_.data.substr(at, count);
        at += (count + 1) & ~std::size_t{1};
        std::vector<double> dx;
        if (at <= end && count <= (end - at) / 2)
            for (std::size_t i = 0; i < count; ++i)
                dx.push_back(in_.i16(at + 2 * i) * std::abs(scaleX()));
        text(origin, bytes, std::move(dx));
    }

    void text(PointF origin, std::string_view bytes, std::vector<double> dx)
    {
        TextRun run;
        run.origin = origin;
        run.text = toUnicode(bytes);
        if (dx.size() != run.text.size())
            dx.clear(); // units and bytes differ (UTF-8 text): let the device space it
        run.dx = std::move(dx);
        run.font = dc_.font;
        run.font.height = static_cast<int>(std::lround(dc_.font.height * std::abs(scaleY())));
        run.font.width = static_cast<int>(std::lround(dc_.font.width * std::abs(scaleX())));
        run.color = dc_.textColor;
        run.bkMode = dc_.bkMode;
        run.bkColor = dc_.bkColor;
        run.align = dc_.textAlign;
        device_.text(run);
    }

    Bytes in_;
    PageDevice& device_;
    std::vector<Object> objects_;
    DcState dc_;
    std::vector<DcState> saved_;
};

} // namespace

WmfReader::WmfReader(std::string bytes) : bytes_(std::move(bytes))
{
    const Bytes in{bytes_};
    std::size_t at = 0;
    bool placeable = false;
    if (in.u32(0) == PlaceableKey && in.fits(0, PlaceableSize)) {
        placeable = true;
        box_ = {in.i16(6), in.i16(8), in.i16(10), in.i16(12)};
        if (box_.right < box_.left)
            std::swap(box_.left, box_.right);
        if (box_.bottom < box_.top)
            std::swap(box_.top, box_.bottom);
        const int inch = in.u16(14) ? in.u16(14) : 1440;
        width_ = std::clamp(box_.width() * 96 / inch, 1, MaxPictureSide);
        height_ = std::clamp(box_.height() * 96 / inch, 1, MaxPictureSide);
        at = PlaceableSize;
    }
    const std::uint16_t type = in.u16(at);
    if (!in.fits(at, MetaHeaderSize) || (type != 1 && type != 2) || in.u16(at + 2) != 9) {
        problem_ = "not a Windows metafile";
        return;
    }
    objectCount_ = in.u16(at + 10);
    firstRecord_ = at + MetaHeaderSize;
    if (!placeable) {
        // Without a box the picture covers the window the file sets first.
        box_ = {0, 0, width_, height_};
        for (std::size_t r = firstRecord_; in.fits(r, 6);) {
            const std::size_t size = static_cast<std::size_t>(in.u32(r)) * 2;
            if (size < 6 || !in.fits(r, size) || in.u16(r + 4) == META_EOF)
                break;
            if (in.u16(r + 4) == META_SETWINDOWEXT && in.i16(r + 6) > 0 && in.i16(r + 8) > 0) {
                box_ = {0, 0, in.i16(r + 8), in.i16(r + 6)};
                const double fit = std::min(1.0, 1000.0 / std::max(box_.width(), box_.height()));
                width_ = std::max(1, static_cast<int>(box_.width() * fit));
                height_ = std::max(1, static_cast<int>(box_.height() * fit));
                break;
            }
            r += size;
        }
    }
    valid_ = true;
}

WmfPlayResult WmfReader::play(PageDevice& device) const
{
    WmfPlayResult result;
    if (!valid_) {
        result.ok = false;
        result.problem = problem_;
        return result;
    }
    const Bytes in{bytes_};
    PageSpace space;
    space.widthPx = width_;
    space.heightPx = height_;
    space.widthMm = width_ * 25.4 / 96;
    space.heightMm = height_ * 25.4 / 96;
    space.frame = {0, 0, static_cast<int>(space.widthMm * 100), static_cast<int>(space.heightMm * 100)};
    device.beginPage(space);
    Player player(in, device, objectCount_, box_, width_, height_);
    for (std::size_t at = firstRecord_;;) {
        if (!in.fits(at, 6)) {
            result.ok = false;
            result.problem = "the metafile ends without its end record";
            break;
        }
        const std::size_t size = static_cast<std::size_t>(in.u32(at)) * 2;
        if (size < 6 || !in.fits(at, size)) {
            result.ok = false;
            result.problem = "a record runs past the end of the file";
            break;
        }
        ++result.recordsPlayed;
        if (!player.record(at, size, in.u16(at + 4)))
            break;
        at += size;
    }
    device.resetClip();
    device.endPage();
    return result;
}

} // namespace velm
