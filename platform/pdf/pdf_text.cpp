#include "platform/pdf/pdf_writer.h"

#include "platform/core/codepage.h"

#include <charconv>
#include <cstring>

namespace velm {
namespace {

// Glyph codes gathered on the stack and appended in one piece: a page
// holds thousands of them.
struct Codes {
    char bytes[512];
    std::size_t size = 0;

    // Two bytes, big-endian, escaped as a literal string needs.
    void put(std::uint32_t glyph, std::string& content)
    {
        if (size > sizeof bytes - 4)
            flush(content);
        for (const char b : {static_cast<char>(glyph >> 8), static_cast<char>(glyph)}) {
            if (b == '(' || b == ')' || b == '\\' || b == '\r') {
                bytes[size++] = '\\';
                bytes[size++] = b == '\r' ? 'r' : b;
            } else {
                bytes[size++] = b;
            }
        }
    }
    // A whole-number TJ adjustment before the next glyph: ")n(".
    void adjust(long long n, std::string& content)
    {
        char digits[24];
        const std::size_t length = static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, n).ptr - digits);
        if (size + length + 2 > sizeof bytes)
            flush(content);
        bytes[size++] = ')';
        std::memcpy(bytes + size, digits, length);
        size += length;
        bytes[size++] = '(';
    }
    void flush(std::string& content)
    {
        content.append(bytes, size);
        size = 0;
    }
};

// A text size in 1/1000 pixel, as fonts are kept apart by size.
long long SizeQ(double pixelSize)
{
    return roundNearest(std::min(pixelSize, kLimit) * 1000);
}

} // namespace

namespace pdf {

void ContentStream::beginText()
{
    if (!textOpen_) {
        out_ += "BT\n";
        textOpen_ = true;
        lineSet_ = false;
    }
}

void ContentStream::moveTo(long long x, long long y)
{
    if (!lineSet_) {
        out_ += "1 0 0 -1 ";
        fixed(x);
        fixed(y);
        out_ += "Tm\n";
        lineSet_ = true;
    } else {
        fixed(x - lineX_);
        fixed(lineY_ - y); // text space is flipped upright
        out_ += "Td\n";
    }
    lineX_ = x;
    lineY_ = y;
}

// The commonest difference between given and natural advances, in
// thousandths of a pixel, among the first few, when at least half of them
// share it (monospace runs are uniform; in proportional ones each glyph
// differs by its own rounding, and a Tc would only change hands); else the
// spacing set now.
long long ContentStream::spacingFor(const GlyphRun& run) const
{
    const auto& positions = run.positions;
    std::array<std::pair<long long, int>, 4> candidates{};
    std::size_t used = 0;
    int pairs = 0;
    bool previousValid = run.valid(0);
    for (std::size_t i = 1; i < std::min<std::size_t>(run.glyphs.size(), 17); ++i) {
        const bool validNow = run.valid(i);
        const bool pair = previousValid && validNow && positions[i].y() == positions[i - 1].y();
        previousValid = validNow;
        if (!pair)
            continue;
        ++pairs;
        const double gap = positions[i].x() - positions[i - 1].x() - run.natural(run.glyphs[i - 1]);
        const long long q = roundNearest(std::clamp(gap, -kLimit, kLimit) * 1000);
        std::size_t k = 0;
        while (k < used && candidates[k].first != q)
            ++k;
        if (k == used && used < candidates.size())
            candidates[used++] = {q, 0};
        if (k < used)
            ++candidates[k].second;
    }
    long long tc = state_.tc;
    int best = 0;
    for (std::size_t k = 0; k < used; ++k)
        if (candidates[k].second > best || (candidates[k].second == best && candidates[k].first == state_.tc)) {
            best = candidates[k].second;
            tc = candidates[k].first;
        }
    return 2 * best < pairs ? state_.tc : tc;
}

void ContentStream::setTextState(int font, long long sizeQ, long long tc, bool invisible)
{
    if (state_.invisible != invisible) {
        state_.invisible = invisible;
        out_ += invisible ? "3 Tr\n" : "0 Tr\n";
    }
    if (state_.font != font || state_.fontSize != sizeQ) {
        state_.font = font;
        state_.fontSize = sizeQ;
        out_ += "/F";
        appendInt(out_, font);
        out_ += ' ';
        num(static_cast<double>(sizeQ) / 1000.0, 3);
        out_ += "Tf\n";
    }
    if (tc != state_.tc) {
        state_.tc = tc;
        num(static_cast<double>(tc) / 1000.0, 3);
        out_ += "Tc\n";
    }
}

// One TJ a baseline: each starts at its first glyph's position, and the
// glyphs after it move by their natural advances plus the spacing, with an
// adjustment where that strays from their positions.
void ContentStream::writeGlyphs(const GlyphRun& run, long long tc)
{
    // TJ adjustments in 1/1000 em, as fine as about a tenth of a pixel needs.
    const double em = run.size / 1000.0; // pixels per 1/1000 text unit
    const int adjustDecimals = run.size <= 100 ? 0 : run.size <= 1000 ? 1 : 2;
    const double step = adjustDecimals == 0 ? 1 : adjustDecimals == 1 ? 0.1 : 0.01;
    const double stepsPerPixel = 1 / (em * step);
    const double spacing = static_cast<double>(tc) / 1000.0;
    bool inRun = false;
    double x = 0; // where the text position stands, in pixels
    double runY = 0;
    std::uint32_t previous = 0;
    Codes codes;
    for (std::size_t i = 0; i < run.glyphs.size(); ++i) {
        if (!run.valid(i))
            continue;
        const QPointF at = run.origin + run.positions[i];
        if (inRun && at.y() != runY) {
            codes.flush(out_);
            out_ += ")]TJ\n";
            inRun = false;
        }
        if (!inRun) {
            const long long xq = roundNearest(at.x() * 100);
            moveTo(xq, roundNearest(at.y() * 100));
            out_ += "[(";
            inRun = true;
            runY = at.y();
            x = static_cast<double>(xq) / 100.0;
        } else {
            x += run.natural(previous) + spacing;
            const double off = (x - at.x()) * stepsPerPixel; // positive moves left
            if (off >= 0.5 || off <= -0.5) {
                const long long steps = roundNearest(off);
                const double n = static_cast<double>(steps) * step;
                if (adjustDecimals == 0) {
                    codes.adjust(steps, out_);
                } else {
                    codes.flush(out_);
                    out_ += ')';
                    appendNumber(out_, n, adjustDecimals);
                    out_ += '(';
                }
                x -= n * em;
            }
        }
        codes.put(run.glyphs[i], out_);
        previous = run.glyphs[i];
    }
    codes.flush(out_);
    if (inRun)
        out_ += ")]TJ\n";
}

void ContentStream::showGlyphs(const GlyphRun& run, const QColor& c, bool invisible)
{
    const long long tc = spacingFor(run);
    beginText();
    fillColor(c);
    setTextState(run.font.index, run.sizeQ, tc, invisible);
    writeGlyphs(run, tc);
}

void ContentStream::beginActualText(std::u16string_view text)
{
    beginText();
    out_ += "/Span<</ActualText<FEFF";
    for (const char16_t u : text)
        appendHex4(out_, u);
    out_ += ">>>BDC\n";
}

void ContentStream::endMarkedContent() { out_ += "EMC\n"; }

} // namespace pdf

void PdfCanvas::Writer::drawOutlines(const QPointF& origin, const QRawFont& font, std::span<const quint32> glyphs,
                                     std::span<const QPointF> positions, const QColor& c)
{
    content.endText();
    content.fillColor(c);
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const QPointF at = origin + positions[i];
        if (!finite(at))
            continue;
        const QPainterPath path = font.pathForGlyph(glyphs[i]).translated(at);
        if (!path.isEmpty())
            content.fill(path, true);
    }
}

void PdfCanvas::Writer::drawText(const QPointF& origin, pdf::PdfFace& face, double pixelSize,
                                 std::span<const quint32> glyphs, std::span<const QPointF> positions,
                                 std::span<const char32_t> chars, const QColor& c, bool invisible)
{
    const long long sizeQ = SizeQ(pixelSize);
    if (sizeQ <= 0)
        return;
    if (face.measured)
        pdf::PdfFontSet::measure(face, glyphs);
    const double size = static_cast<double>(sizeQ) / 1000.0;
    pdf::PdfFont& font = fonts.fontFor(face, sizeQ, *this);
    const pdf::GlyphRun run{origin, glyphs, positions, font, sizeQ, size, face.pixelsPerUnit(size)};
    content.showGlyphs(run, c, invisible);
    for (std::size_t i = 0; i < glyphs.size(); ++i)
        if (run.valid(i))
            font.use(glyphs[i], i < chars.size() ? chars[i] : pdf::PdfFont::kNoChar);
}

void PdfCanvas::Writer::drawFaceGlyphs(const QPointF& origin, const QRawFont& font, pdf::PdfFace& face,
                                       std::span<const quint32> glyphs, std::span<const QPointF> positions,
                                       std::span<const char32_t> chars, const QColor& color)
{
    // Glyph 0 is the missing-glyph box, which PDF readers leave blank as
    // .notdef: it is drawn as its outline.
    for (std::size_t first = 0; first < glyphs.size();) {
        const bool missing = glyphs[first] == 0;
        std::size_t end = first + 1;
        while (end < glyphs.size() && (glyphs[end] == 0) == missing)
            ++end;
        const std::size_t n = end - first;
        if (missing || face.outlines)
            drawOutlines(origin, font, glyphs.subspan(first, n), positions.subspan(first, n), color);
        if (!missing)
            drawText(origin, face, font.pixelSize(), glyphs.subspan(first, n), positions.subspan(first, n),
                     chars.subspan(std::min(first, chars.size()), std::min(n, chars.size() - std::min(first, chars.size()))),
                     color, face.outlines);
        first = end;
    }
}

void PdfCanvas::Writer::drawShaped(const QPointF& origin, const QRawFont& font, pdf::PdfFace& face,
                                   std::span<const quint32> glyphs, std::span<const QPointF> positions,
                                   const TextSource& source, const QColor& color)
{
    const std::size_t n = glyphs.size();
    // Where each cluster's text ends: at the next cluster's start.
    thread_local std::vector<std::uint32_t> starts;
    starts.assign(source.clusters.begin(), source.clusters.end());
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    const auto textOf = [&](std::uint32_t start) {
        const auto next = std::upper_bound(starts.begin(), starts.end(), start);
        const std::size_t end = next == starts.end() ? source.text.size() : *next;
        return std::u16string_view(source.text).substr(start, end - start);
    };
    thread_local std::vector<char32_t> chars;
    thread_local std::u32string cluster;
    chars.assign(n, pdf::PdfFont::kNoChar);
    std::size_t plainFrom = 0; // glyphs not yet drawn, all mapped by ToUnicode
    const auto drawPlain = [&](std::size_t to) {
        if (to > plainFrom)
            drawFaceGlyphs(origin, font, face, glyphs.subspan(plainFrom, to - plainFrom),
                           positions.subspan(plainFrom, to - plainFrom),
                           std::span<const char32_t>(chars).subspan(plainFrom, to - plainFrom), color);
        plainFrom = to;
    };
    for (std::size_t k = 0; k < n;) {
        std::size_t j = k + 1;
        while (j < n && source.clusters[j] == source.clusters[k])
            ++j;
        const std::u16string_view text = textOf(source.clusters[k]);
        cluster.clear();
        for (std::size_t u = 0; u < text.size();) {
            const CodePoint c = codePointAt(text, u);
            cluster += c.value;
            u += c.units;
        }
        const bool boxed = std::any_of(glyphs.begin() + static_cast<std::ptrdiff_t>(k),
                                       glyphs.begin() + static_cast<std::ptrdiff_t>(j), [](quint32 g) { return g == 0; });
        if (j - k == 1 && cluster.size() == 1) {
            chars[k] = cluster[0];
        } else if (source.rightToLeft) {
            std::reverse(cluster.begin(), cluster.end());
            // On the glyph that sits on the line (a mark's glyph above or
            // below it would take the text to a line of its own).
            std::size_t base = k;
            for (std::size_t g = k + 1; g < j; ++g)
                if (std::fabs(positions[g].y()) < std::fabs(positions[base].y()))
                    base = g;
            if (cluster.size() == 1)
                chars[base] = cluster[0];
            else if (const long long sizeQ = SizeQ(font.pixelSize()); sizeQ > 0 && glyphs[base] < face.glyphCount())
                fonts.fontFor(face, sizeQ, *this).useSequence(glyphs[base], cluster);
        } else if (!text.empty() && !boxed) {
            drawPlain(k);
            content.beginActualText(text);
            drawPlain(j);
            content.endMarkedContent();
        }
        k = j;
    }
    drawPlain(n);
}

} // namespace velm
