#include "platform/rendering/shaped_text.h"

#include "platform/rendering/fonts.h"

#include <cmath>
#include <vector>

namespace velm {
namespace {

// A run's record, the first glyph's place from the pen (y down) and the
// pen's advance.
struct RunRecord : ShapedRunRecord {
    int firstX = 0, firstY = 0;
    int advance = 0;
};

void fill(RunRecord& out, std::u16string_view text, const ShapedRun& run)
{
    const std::size_t n = run.glyphs.size();
    out.glyphs.resize(n);
    out.dx.resize(n);
    out.dy.assign(n, 0);
    out.source.text.assign(text.substr(run.start, run.length));
    out.source.clusters.resize(n);
    out.source.rightToLeft = run.rightToLeft();
    bool vertical = false;
    int pen = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const ShapedGlyph& g = run.glyphs[i];
        out.glyphs[i] = g.id <= 0xFFFF ? static_cast<std::uint16_t>(g.id) : 0;
        out.source.clusters[i] = g.cluster >= run.start ? std::min(g.cluster - run.start, run.length - 1) : 0;
        const int x = pen + g.offsetX;
        pen += g.advance;
        const bool last = i + 1 == n;
        const int nextX = last ? pen : pen + run.glyphs[i + 1].offsetX;
        const int nextY = last ? 0 : run.glyphs[i + 1].offsetY;
        out.dx[i] = nextX - x;
        out.dy[i] = g.offsetY - nextY;
        vertical = vertical || g.offsetY != 0;
    }
    if (!vertical)
        out.dy.clear();
    out.firstX = n ? run.glyphs[0].offsetX : 0;
    out.firstY = n ? run.glyphs[0].offsetY : 0;
    out.advance = pen;
}

} // namespace

int placeShapedLine(int x, int y, const LogFont& font, std::u16string_view text, const ShapedLine& line,
                    const std::function<void(const PlacedShapedRun&)>& use)
{
    thread_local RunRecord record;
    ResolvedFont& chosen = resolvedFont(font);
    const double ascent = chosen.ascent();
    int pen = x;
    for (const ShapedRun& run : line.runs) {
        if (run.glyphs.empty())
            continue;
        fill(record, text, run);
        if (run.face == 0) {
            use({record, font, false, pen + record.firstX, y + record.firstY});
        } else {
            const LogFont named = faceLogFont(font, run.face);
            // The page places text by its cell's top: the fallback face's
            // cell is moved so that both share the chosen face's baseline.
            const int top = y + static_cast<int>(std::nearbyint(ascent - resolvedFont(named).ascent()));
            use({record, named, true, pen + record.firstX, top + record.firstY});
        }
        pen += record.advance;
    }
    return pen - x;
}

int recordShapedLine(EmfRecorder& page, int x, int y, const LogFont& font, std::u16string_view text,
                     const ShapedLine& line)
{
    if (line.fast) {
        if (!text.empty())
            page.textOut(x, y, text, line.advances);
        return line.width();
    }
    return placeShapedLine(x, y, font, text, line, [&page](const PlacedShapedRun& run) {
        const ShapedRunRecord& r = run.record;
        if (!run.fallbackFace) {
            page.glyphsOut(run.x, run.y, r.glyphs, r.dx, r.dy, r.source);
            return;
        }
        const GdiHandle handle = page.createFont(run.font);
        const GdiHandle previous = page.selectObject(handle);
        if (previous != kNoHandle) {
            page.glyphsOut(run.x, run.y, r.glyphs, r.dx, r.dy, r.source);
            page.selectObject(previous);
        }
        page.deleteObject(handle);
    });
}

} // namespace velm
