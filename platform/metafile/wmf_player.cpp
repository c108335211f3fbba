#include "platform/metafile/wmf_player.h"

#include "platform/core/codepage.h"
#include "platform/metafile/gdi_state.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace velm::wmf {

using namespace gdi;

namespace {

// Thrown by a read past the record's end: the walk reports the record as
// damaged and goes on after it, so no read ever yields invented zeros.
struct Overrun {};

// One record; offsets count from its first parameter.
struct Record {
    std::string_view params;
    std::uint16_t function;

    std::size_t size() const { return params.size(); }
    bool holds(std::uint64_t at, std::uint64_t count, std::uint64_t each) const
    {
        return at <= size() && count <= (size() - at) / each;
    }
    std::uint16_t u16(std::size_t at) const
    {
        if (!holds(at, 1, 2))
            throw Overrun{};
        return loadU16(params, at);
    }
    std::int16_t s16(std::size_t at) const { return static_cast<std::int16_t>(u16(at)); }
    std::uint32_t u32(std::size_t at) const { return u16(at) | (static_cast<std::uint32_t>(u16(at + 2)) << 16); }
    std::uint8_t byte(std::size_t at) const
    {
        if (at >= size())
            throw Overrun{};
        return static_cast<std::uint8_t>(params[at]);
    }
    std::string_view bytes(std::size_t at, std::size_t n) const
    {
        if (!holds(at, n, 1))
            throw Overrun{};
        return params.substr(at, n);
    }
};

DcState initialState(const Rect& box, int width, int height)
{
    DcState dc;
    dc.font.height = -12;
    dc.font.faceName = u"Arial";
    dc.map.mode = MM_ANISOTROPIC;
    dc.map.windowOrgX = box.left;
    dc.map.windowOrgY = box.top;
    dc.map.windowExtX = std::max(1, box.width());
    dc.map.windowExtY = std::max(1, box.height());
    dc.map.viewportExtX = width;
    dc.map.viewportExtY = height;
    dc.map.scaleByExtents();
    return dc;
}

class Player {
public:
    Player(PageDevice& device, int objects, const Rect& box, int width, int height)
        : device_(device), gdi_(device, log_, initialState(box, width, height),
                                static_cast<std::size_t>(std::clamp(objects, 0, 65535)))
    {
    }

    PlayResult run(std::string_view data, std::size_t first);

private:
    using Handler = void (Player::*)(const Record&);
    struct Entry {
        std::uint16_t function = 0;
        std::size_t minParams = 0; // bytes of parameters the handler reads unchecked
        Handler handler = nullptr;
        const char* name = nullptr;
    };
    // Indexed by the function's low byte, which is unique to each record type.
    static constexpr std::array<Entry, 256> makeTable();
    static const std::array<Entry, 256> table_;
    static const Entry* entryFor(std::uint16_t function)
    {
        const Entry& e = table_[function & 0xFF];
        return e.handler && e.function == function ? &e : nullptr;
    }

    DcState& dc() { return gdi_.state(); }
    PointF map(double x, double y) const { return gdi_.state().map.apply(x, y); }
    // Points are stored y before x in most records' fixed parts.
    PointF pointYX(const Record& r, std::size_t at) const { return map(r.s16(at + 2), r.s16(at)); }
    RectF boxAt(const Record& r, std::size_t at) const // bottom, right, top, left
    {
        const PointF a = pointYX(r, at + 4), b = pointYX(r, at);
        return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    }
    double penScale() const { return bounded((gdi_.state().map.scaleX() + gdi_.state().map.scaleY()) / 2); }

    void onEof(const Record&) { stop_ = true; }
    void onSaveDc(const Record&) { gdi_.save(); }
    void onRestoreDc(const Record& r) { gdi_.restore(r.s16(0)); }
    void onSetBkMode(const Record& r) { dc().bkMode = r.s16(0); }
    void onSetPolyFillMode(const Record& r) { dc().fillMode = r.s16(0); }
    void onSetTextAlign(const Record& r) { dc().align = r.u16(0); }
    void onSetBkColor(const Record& r) { dc().bkColor = r.u32(0) & 0xFFFFFF; }
    void onSetTextColor(const Record& r) { dc().textColor = r.u32(0) & 0xFFFFFF; }
    void onSetMapMode(const Record&) {} // the picture is always fitted to its box
    void onWindowOrg(const Record& r);
    void onOffsetWindowOrg(const Record& r);
    void onWindowExt(const Record& r);
    void onViewportOrg(const Record& r);
    void onViewportExt(const Record& r);
    void onMoveTo(const Record& r) { dc().position = pointYX(r, 0); }
    void onLineTo(const Record& r);
    void onRectangle(const Record& r);
    void onRoundRect(const Record& r);
    void onEllipse(const Record& r);
    void onPatBlt(const Record& r);
    void onPoly(const Record& r);
    void onPolyPolygon(const Record& r);
    void onIntersectClip(const Record& r) { gdi_.intersectClip(boxAt(r, 0)); }
    void onTextOut(const Record& r);
    void onExtTextOut(const Record& r);
    void onCreatePen(const Record& r);
    void onCreateBrush(const Record& r);
    void onCreateFont(const Record& r);
    void onCreateOther(const Record&) { add(OtherObject{}); }
    void onSelectObject(const Record& r);
    void onDeleteObject(const Record& r);

    void add(Object object);
    std::vector<PointF> points(const Record& r, std::size_t at, std::size_t count) const;
    void text(PointF origin, std::string_view bytes, std::vector<double> dx);

    PlayLog log_;
    PageDevice& device_;
    GdiState gdi_;
    bool stop_ = false;
};

constexpr std::array<Player::Entry, 256> Player::makeTable()
{
    std::array<Entry, 256> t{};
    auto set = [&t](std::uint16_t function, std::size_t minParams, Handler handler, const char* name) {
        t[function & 0xFF] = Entry{function, minParams, handler, name};
    };
    set(META_EOF, 0, &Player::onEof, "META_EOF");
    set(META_SAVEDC, 0, &Player::onSaveDc, "META_SAVEDC");
    set(META_RESTOREDC, 2, &Player::onRestoreDc, "META_RESTOREDC");
    set(META_SETBKMODE, 2, &Player::onSetBkMode, "META_SETBKMODE");
    set(META_SETMAPMODE, 2, &Player::onSetMapMode, "META_SETMAPMODE");
    set(META_SETPOLYFILLMODE, 2, &Player::onSetPolyFillMode, "META_SETPOLYFILLMODE");
    set(META_SETTEXTALIGN, 2, &Player::onSetTextAlign, "META_SETTEXTALIGN");
    set(META_SETBKCOLOR, 4, &Player::onSetBkColor, "META_SETBKCOLOR");
    set(META_SETTEXTCOLOR, 4, &Player::onSetTextColor, "META_SETTEXTCOLOR");
    set(META_SETWINDOWORG, 4, &Player::onWindowOrg, "META_SETWINDOWORG");
    set(META_OFFSETWINDOWORG, 4, &Player::onOffsetWindowOrg, "META_OFFSETWINDOWORG");
    set(META_SETWINDOWEXT, 4, &Player::onWindowExt, "META_SETWINDOWEXT");
    set(META_SETVIEWPORTORG, 4, &Player::onViewportOrg, "META_SETVIEWPORTORG");
    set(META_SETVIEWPORTEXT, 4, &Player::onViewportExt, "META_SETVIEWPORTEXT");
    set(META_MOVETO, 4, &Player::onMoveTo, "META_MOVETO");
    set(META_LINETO, 4, &Player::onLineTo, "META_LINETO");
    set(META_RECTANGLE, 8, &Player::onRectangle, "META_RECTANGLE");
    set(META_ROUNDRECT, 12, &Player::onRoundRect, "META_ROUNDRECT");
    set(META_ELLIPSE, 8, &Player::onEllipse, "META_ELLIPSE");
    set(META_PATBLT, 12, &Player::onPatBlt, "META_PATBLT");
    set(META_POLYGON, 2, &Player::onPoly, "META_POLYGON");
    set(META_POLYLINE, 2, &Player::onPoly, "META_POLYLINE");
    set(META_POLYPOLYGON, 2, &Player::onPolyPolygon, "META_POLYPOLYGON");
    set(META_INTERSECTCLIPRECT, 8, &Player::onIntersectClip, "META_INTERSECTCLIPRECT");
    set(META_TEXTOUT, 2, &Player::onTextOut, "META_TEXTOUT");
    set(META_EXTTEXTOUT, 8, &Player::onExtTextOut, "META_EXTTEXTOUT");
    set(META_CREATEPENINDIRECT, 10, &Player::onCreatePen, "META_CREATEPENINDIRECT");
    set(META_CREATEBRUSHINDIRECT, 8, &Player::onCreateBrush, "META_CREATEBRUSHINDIRECT");
    set(META_CREATEFONTINDIRECT, 18, &Player::onCreateFont, "META_CREATEFONTINDIRECT");
    set(META_CREATEPALETTE, 0, &Player::onCreateOther, "META_CREATEPALETTE");
    set(META_DIBCREATEPATTERNBRUSH, 0, &Player::onCreateOther, "META_DIBCREATEPATTERNBRUSH");
    set(META_CREATEPATTERNBRUSH, 0, &Player::onCreateOther, "META_CREATEPATTERNBRUSH");
    set(META_CREATEREGION, 0, &Player::onCreateOther, "META_CREATEREGION");
    set(META_SELECTOBJECT, 2, &Player::onSelectObject, "META_SELECTOBJECT");
    set(META_DELETEOBJECT, 2, &Player::onDeleteObject, "META_DELETEOBJECT");
    return t;
}

const std::array<Player::Entry, 256> Player::table_ = Player::makeTable();

PlayResult Player::run(std::string_view data, std::size_t first)
{
    PlayResult& result = log_.result();
    int index = 0;
    for (std::size_t at = first; !stop_;) {
        if (!fits(data, at, RecordHeaderSize)) {
            log_.damaged("the metafile ends without its end record");
            break;
        }
        const std::uint16_t function = loadU16(data, at + 4);
        const Entry* entry = entryFor(function);
        log_.enter(++index, entry ? entry->name : nullptr, function, at);
        const std::uint64_t size = std::uint64_t{loadU32(data, at)} * 2;
        if (size < RecordHeaderSize || !fits(data, at, size)) {
            log_.recordDamaged("has a bad size " + std::to_string(size) + " bytes" +
                               (size >= RecordHeaderSize ? " (past the end of the file)" : ""));
            break;
        }
        ++result.recordsPlayed;
        const Record r{data.substr(at + RecordHeaderSize, size - RecordHeaderSize), function};
        if (!entry) {
            log_.skip(function);
        } else if (r.size() < entry->minParams) {
            log_.recordDamaged("is too short (" + std::to_string(size) + " bytes, needs " +
                               std::to_string(entry->minParams + RecordHeaderSize) + ")");
        } else {
            try {
                (this->*entry->handler)(r);
            } catch (const Overrun&) {
                log_.recordDamaged("holds less data than it says");
            }
        }
        at += size;
    }
    return log_.finish();
}

void Player::onWindowOrg(const Record& r)
{
    dc().map.windowOrgY = r.s16(0);
    dc().map.windowOrgX = r.s16(2);
}

void Player::onOffsetWindowOrg(const Record& r)
{
    dc().map.windowOrgY += r.s16(0);
    dc().map.windowOrgX += r.s16(2);
}

void Player::onWindowExt(const Record& r)
{
    if (r.s16(0) == 0 || r.s16(2) == 0) {
        log_.recordNote("a zero extent is ignored");
        return;
    }
    dc().map.windowExtY = r.s16(0);
    dc().map.windowExtX = r.s16(2);
    dc().map.scaleByExtents();
}

void Player::onViewportOrg(const Record& r)
{
    dc().map.viewportOrgY = r.s16(0);
    dc().map.viewportOrgX = r.s16(2);
}

void Player::onViewportExt(const Record& r)
{
    if (r.s16(0) == 0 || r.s16(2) == 0) {
        log_.recordNote("a zero extent is ignored");
        return;
    }
    dc().map.viewportExtY = r.s16(0);
    dc().map.viewportExtX = r.s16(2);
    dc().map.scaleByExtents();
}

void Player::onLineTo(const Record& r)
{
    const PointF to = pointYX(r, 0);
    device_.line(dc().position, to, dc().pen, penScale());
    dc().position = to;
}

void Player::onRectangle(const Record& r)
{
    const RectF box = boxAt(r, 0);
    device_.rectangle(box.left, box.top, box.right, box.bottom, dc().pen, penScale(), dc().brush);
}

void Player::onRoundRect(const Record& r)
{
    // Drawn square-cornered: the corner size comes first.
    const RectF box = boxAt(r, 4);
    device_.rectangle(box.left, box.top, box.right, box.bottom, dc().pen, penScale(), dc().brush);
}

void Player::onEllipse(const Record& r)
{
    const RectF box = boxAt(r, 0);
    const double cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
    const double rx = (box.right - box.left) / 2, ry = (box.bottom - box.top) / 2;
    std::vector<PointF> outline;
    constexpr int Steps = 64;
    for (int i = 0; i < Steps; ++i) {
        const double t = 2 * M_PI * i / Steps;
        outline.push_back({cx + rx * std::cos(t), cy + ry * std::sin(t)});
    }
    device_.polygon(outline, dc().pen, penScale(), dc().brush, ALTERNATE);
}

void Player::onPatBlt(const Record& r)
{
    // rop (4), height, width, y, x
    const double x = r.s16(10), y = r.s16(8);
    const PointF a = map(x, y), b = map(x + r.s16(6), y + r.s16(4));
    device_.fillRect(std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y), dc().brush);
}

std::vector<PointF> Player::points(const Record& r, std::size_t at, std::size_t count) const
{
    if (!r.holds(at, count, 4))
        throw Overrun{};
    std::vector<PointF> out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        out.push_back(map(r.s16(at + 4 * i), r.s16(at + 4 * i + 2)));
    return out;
}

void Player::onPoly(const Record& r)
{
    const std::vector<PointF> pts = points(r, 2, r.u16(0));
    if (pts.empty())
        return;
    if (r.function == META_POLYGON)
        device_.polygon(pts, dc().pen, penScale(), dc().brush, dc().fillMode);
    else
        device_.polyline(pts, dc().pen, penScale());
}

void Player::onPolyPolygon(const Record& r)
{
    const std::size_t polygons = r.u16(0);
    if (!r.holds(2, polygons, 2))
        throw Overrun{};
    // Every polygon is checked before any is drawn, so a damaged record draws nothing.
    std::vector<std::vector<PointF>> shapes;
    std::size_t at = 2 + 2 * polygons;
    for (std::size_t i = 0; i < polygons; ++i) {
        const std::size_t count = r.u16(2 + 2 * i);
        shapes.push_back(points(r, at, count));
        at += 4 * count;
    }
    for (const auto& shape : shapes)
        if (!shape.empty())
            device_.polygon(shape, dc().pen, penScale(), dc().brush, dc().fillMode);
}

void Player::onTextOut(const Record& r)
{
    // count, string padded to a word, y, x
    const std::size_t count = static_cast<std::size_t>(std::max<int>(0, r.s16(0)));
    const std::string_view bytes = r.bytes(2, count);
    const std::size_t after = 2 + ((count + 1) & ~std::size_t{1});
    text(pointYX(r, after), bytes, {});
}

void Player::onExtTextOut(const Record& r)
{
    // y, x, count, options, [rectangle], string padded to a word, [advances]
    const PointF origin = pointYX(r, 0);
    const std::size_t count = static_cast<std::size_t>(std::max<int>(0, r.s16(4)));
    const std::uint16_t options = r.u16(6);
    std::size_t at = 8 + ((options & 0x0006) ? 8 : 0); // ETO_OPAQUE / ETO_CLIPPED rectangle
    const std::string_view bytes = r.bytes(at, count);
    at += (count + 1) & ~std::size_t{1};
    std::vector<double> dx;
    if (r.holds(at, count, 2)) // the advances are optional
        for (std::size_t i = 0; i < count; ++i)
            dx.push_back(r.s16(at + 2 * i) * dc().map.scaleX());
    text(origin, bytes, std::move(dx));
}

void Player::text(PointF origin, std::string_view bytes, std::vector<double> dx)
{
    TextRun run;
    gdi_.textRun(origin, run);
    run.text = toUnicode(bytes);
    if (dx.size() == run.text.size()) // else units and bytes differ (UTF-8 text): the device spaces it
        run.dx = std::move(dx);
    device_.text(run);
}

void Player::add(Object object)
{
    if (!gdi_.objects().add(std::move(object)))
        log_.recordNote("the object table (" + std::to_string(gdi_.objects().capacity()) +
                        " slots) is full; the object is ignored");
}

void Player::onCreatePen(const Record& r)
{
    // style, width as a point (x used), colour
    add(LogPen{r.u16(0) & PS_STYLE_MASK, std::abs(r.s16(2)), r.u32(6) & 0xFFFFFF});
}

void Player::onCreateBrush(const Record& r)
{
    add(LogBrush{r.u16(0), r.u32(2) & 0xFFFFFF, r.u16(6)});
}

void Player::onCreateFont(const Record& r)
{
    LogFont font;
    font.height = r.s16(0);
    font.width = r.s16(2);
    font.escapement = r.s16(4);
    font.orientation = r.s16(6);
    font.weight = r.s16(8);
    font.italic = r.byte(10) != 0;
    font.underline = r.byte(11) != 0;
    font.strikeOut = r.byte(12) != 0;
    font.charSet = r.byte(13);
    font.pitchAndFamily = r.byte(17);
    // The face name runs to its terminator, at most 32 bytes, or to the record's end.
    const std::string_view face = r.params.substr(18, 32);
    font.faceName = toUnicode(face.substr(0, face.find('\0')));
    add(std::move(font));
}

void Player::onSelectObject(const Record& r)
{
    const std::uint16_t slot = r.u16(0);
    const Object& object = gdi_.objects().at(slot);
    if (std::holds_alternative<std::monostate>(object))
        log_.recordNote("no object " + std::to_string(slot) + " to select");
    else
        gdi_.select(object); // palettes, regions and pattern brushes change nothing drawn
}

void Player::onDeleteObject(const Record& r)
{
    // What is selected stays in effect: the state holds copies.
    const std::uint16_t slot = r.u16(0);
    if (!gdi_.objects().remove(slot))
        log_.recordNote("no object " + std::to_string(slot) + " to delete");
}

} // namespace

PlayResult playRecords(std::string_view data, std::size_t first, PageDevice& device, int objects, const Rect& box,
                       int width, int height)
{
    return Player(device, objects, box, width, height).run(data, first);
}

} // namespace velm::wmf
