#include "platform/pdf/pdf_canvas.h"

#include "platform/pdf/pdf_fonts.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>
#include <unistd.h>

namespace velm {

using pdf::appendInt;
using pdf::appendNumber;
using pdf::roundNearest;

namespace {

// Reference pixels beyond this lie off any sheet: clamped, never written as
// numbers PDF readers choke on.
constexpr double kLimit = 1e6;
constexpr std::size_t kFlushAt = 1 << 20;
constexpr int kFontCompression = 6;

bool finite(const QPointF& p) { return std::isfinite(p.x()) && std::isfinite(p.y()); }
double clamped(double v) { return std::clamp(v, -kLimit, kLimit); }

enum class Level { Page, FileClip, Transform, BlockedTransform };

// What the content stream has set, so operators are written only when a
// value changes; q saves it, Q restores it.
struct GState {
    std::uint64_t fill = 0;   // rgb, or a pattern (kPatternBit | id << 24 | rgb)
    std::uint64_t stroke = 0; // rgb
    long long lineWidth = 100; // hundredths of a pixel
    int cap = 0, join = 0;
    long long miter = 1000; // hundredths
    std::string dash = "[]0";
    int font = 0;           // font (face at a size) index, 0 = none
    long long fontSize = 0; // thousandths of a pixel
    long long tc = 0;       // thousandths of a pixel
};
constexpr std::uint64_t kPatternBit = 1ULL << 40;

std::uint64_t rgbOf(const QColor& c) { return c.rgb() & 0xFFFFFFu; }

// c / 255 in three decimals, for rg and RG.
const std::array<std::string, 256>& colorComponents()
{
    static const std::array<std::string, 256> table = [] {
        std::array<std::string, 256> t;
        for (int i = 0; i < 256; ++i)
            appendNumber(t[i], i / 255.0, 3);
        return t;
    }();
    return table;
}

int hatchIndex(Qt::BrushStyle style)
{
    switch (style) {
    case Qt::HorPattern: return 1;
    case Qt::VerPattern: return 2;
    case Qt::CrossPattern: return 3;
    case Qt::FDiagPattern: return 4;
    case Qt::BDiagPattern: return 5;
    case Qt::DiagCrossPattern: return 6;
    default: return 0;
    }
}

// One 8 x 8 cell of a hatch in device pixels, y down, 1-pixel lines; the
// diagonals run past the cell so that neighbouring cells join without notches.
std::string hatchCell(int hatch)
{
    std::string cell;
    if (hatch == 1 || hatch == 3)
        cell += "0 0 8 1 re f\n";
    if (hatch == 2 || hatch == 3)
        cell += "0 0 1 8 re f\n";
    if (hatch >= 4)
        cell += "1 w 0 J\n";
    if (hatch == 4 || hatch == 6)
        cell += "-1 -1 m 9 9 l 7 -1 m 9 1 l -1 7 m 1 9 l S\n";
    if (hatch == 5 || hatch == 6)
        cell += "-1 9 m 9 -1 l -1 1 m 1 -1 l 7 9 m 9 7 l S\n";
    return cell;
}

// zlib streams (FlateDecode) from libdeflate: the same format as zlib's
// at two to three times its speed on page content.
class Deflater {
public:
    Deflater() = default;
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    ~Deflater() { libdeflate_free_compressor(compressor_); }

    // Compresses data into out (replacing it); the reason when it cannot.
    std::optional<std::string> compress(std::string_view data, std::string& out, int level)
    {
        if (level != level_ || !compressor_) {
            libdeflate_free_compressor(compressor_);
            compressor_ = libdeflate_alloc_compressor(level);
            if (!compressor_)
                return "the compressor cannot start";
            level_ = level;
        }
        out.resize(libdeflate_zlib_compress_bound(compressor_, data.size()));
        const std::size_t written =
            libdeflate_zlib_compress(compressor_, data.data(), data.size(), out.data(), out.size());
        if (written == 0)
            return "the compressor failed";
        out.resize(written);
        return std::nullopt;
    }

private:
    libdeflate_compressor* compressor_ = nullptr;
    int level_ = -1;
};

// When the document was made: SOURCE_DATE_EPOCH when it holds a time, so
// that the same input makes the same bytes, else now.
std::time_t creationTime()
{
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
        long long seconds = -1;
        const char* end = epoch + std::strlen(epoch);
        const auto parsed = std::from_chars(epoch, end, seconds);
        if (parsed.ec == std::errc() && parsed.ptr == end && seconds >= 0)
            return static_cast<std::time_t>(seconds);
    }
    return std::time(nullptr);
}

std::string utf16Hex(const std::string& utf8)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "<FEFF";
    for (char16_t u : QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toStdU16String())
        for (int shift = 12; shift >= 0; shift -= 4)
            out += kHex[(u >> shift) & 15];
    return out + ">";
}

} // namespace

struct PdfCanvas::Writer : pdf::ObjectSink {
    int fd;
    std::string out;
    std::uint64_t flushed = 0;
    // Checksums of every byte written: the file's /ID comes from its content.
    std::uint32_t crc = 0, adler = 1;
    std::size_t digested = 0; // bytes of out already in the checksums
    std::string failure; // set once a write failed
    bool finished = false;
    int level = 1;
    Deflater contentDeflater, otherDeflater;
    std::string packed;
    std::vector<std::uint64_t> offsets{0, 0, 0, 0, 0}; // by object number; 1-4 are fixed below
    static constexpr int kCatalog = 1, kPages = 2, kResources = 3, kInfo = 4;
    std::vector<int> pages;
    std::string title, creator;
    pdf::PdfFontSet fonts;
    std::map<std::pair<int, std::string>, int> patterns; // (hatch, sheet matrix) -> object
    std::string patternResources;
    // Patterns first used on the open sheet, (object, hatch): written when it
    // ends, so that drawing never writes to the file.
    std::vector<std::pair<int, int>> newPatterns;

    // The open sheet.
    bool inSheet = false;
    PdfPageBox box;
    std::string sheetMatrix;
    std::string content;
    GState state;
    std::vector<GState> saved;
    std::vector<Level> levels;
    int blocked = 0; // BlockedTransform levels open: nothing is visible
    bool textOpen = false, lineSet = false;
    long long lineX = 0, lineY = 0; // text line start, hundredths of a pixel

    explicit Writer(int f) : fd(f) { out.reserve(kFlushAt + 65536); }

    // ---- Bytes and objects ----------------------------------------------

    [[noreturn]] void fail(const std::string& why)
    {
        failure = why;
        throw PdfWriteError(why);
    }

    // Once a write failed, nothing more is written: every later write
    // reports the first failure again.
    void throwIfFailed() const
    {
        if (!failure.empty())
            throw PdfWriteError(failure);
    }

    void compress(Deflater& deflater, std::string_view data, int compression)
    {
        if (const auto problem = deflater.compress(data, packed, compression))
            fail(*problem);
    }

    void digest()
    {
        const std::size_t fresh = out.size() - digested;
        crc = libdeflate_crc32(crc, out.data() + digested, fresh);
        adler = libdeflate_adler32(adler, out.data() + digested, fresh);
        digested = out.size();
    }

    void flush()
    {
        throwIfFailed();
        digest();
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::write(fd, out.data() + done, out.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                fail(std::strerror(errno));
            if (n == 0)
                fail("the file takes no more data");
            done += static_cast<std::size_t>(n);
        }
        flushed += out.size();
        out.clear();
        digested = 0;
    }

    void maybeFlush()
    {
        if (out.size() >= kFlushAt || !failure.empty())
            flush();
    }

    int allocate() override
    {
        offsets.push_back(0);
        return static_cast<int>(offsets.size()) - 1;
    }

    void open(int number)
    {
        offsets[static_cast<std::size_t>(number)] = flushed + out.size();
        appendInt(out, number);
        out += " 0 obj\n";
    }

    void object(int number, std::string_view body) override
    {
        open(number);
        out += body;
        out += "\nendobj\n";
        maybeFlush();
    }

    void stream(int number, std::string_view entries, std::string_view data, bool compress) override
    {
        if (compress)
            this->compress(otherDeflater, data, kFontCompression);
        writeStream(number, entries, compress ? std::string_view(packed) : data, compress);
    }

    void writeStream(int number, std::string_view entries, std::string_view data, bool compressed)
    {
        open(number);
        out += "<</Length ";
        appendInt(out, static_cast<long long>(data.size()));
        if (compressed)
            out += "/Filter/FlateDecode";
        out += entries;
        out += ">>stream\n";
        out += data;
        out += "\nendstream\nendobj\n";
        maybeFlush();
    }

    // ---- Content syntax -----------------------------------------------------

    void num(double v, int decimals = 2)
    {
        appendNumber(content, v, decimals);
        content += ' ';
    }
    void fixed(long long hundredths)
    {
        appendNumber(content, static_cast<double>(hundredths) / 100.0, 2);
        content += ' ';
    }
    void point(const QPointF& p)
    {
        num(clamped(p.x()));
        num(clamped(p.y()));
    }

    bool drawable() const { return inSheet && blocked == 0; }

    void endText()
    {
        if (textOpen) {
            content += "ET\n";
            textOpen = false;
        }
    }

    void push(Level kind)
    {
        endText();
        content += "q\n";
        saved.push_back(state);
        levels.push_back(kind);
        if (kind == Level::BlockedTransform)
            ++blocked;
    }

    void pop()
    {
        endText();
        content += "Q\n";
        state = saved.back();
        saved.pop_back();
        if (levels.back() == Level::BlockedTransform)
            --blocked;
        levels.pop_back();
    }

    void color(const QColor& c, const char* op, std::uint64_t& current)
    {
        const std::uint64_t rgb = rgbOf(c);
        if (current == rgb)
            return;
        current = rgb;
        const auto& t = colorComponents();
        content += t[static_cast<std::size_t>(c.red())];
        content += ' ';
        content += t[static_cast<std::size_t>(c.green())];
        content += ' ';
        content += t[static_cast<std::size_t>(c.blue())];
        content += op;
    }

    int patternFor(int hatch)
    {
        auto [it, fresh] = patterns.try_emplace({hatch, sheetMatrix}, 0);
        if (fresh) {
            it->second = allocate();
            newPatterns.emplace_back(it->second, hatch);
            patternResources += "/P";
            appendInt(patternResources, it->second);
            patternResources += ' ';
            appendInt(patternResources, it->second);
            patternResources += " 0 R";
        }
        return it->second;
    }

    void writeNewPatterns()
    {
        const std::string entries = "/Type/Pattern/PatternType 1/PaintType 2/TilingType 1/BBox[0 0 8 8]"
                                    "/XStep 8/YStep 8/Resources<<>>/Matrix[" + sheetMatrix + "]";
        for (const auto& [number, hatch] : newPatterns)
            writeStream(number, entries, hatchCell(hatch), false);
        newPatterns.clear();
    }

    // Selects the brush as fill; false when it paints nothing.
    bool paint(const QBrush& brush)
    {
        if (brush.style() == Qt::NoBrush || brush.color().alpha() == 0)
            return false;
        const int hatch = hatchIndex(brush.style());
        if (hatch == 0) {
            color(brush.color(), " rg\n", state.fill);
            return true;
        }
        const int pattern = patternFor(hatch);
        const std::uint64_t key = kPatternBit | static_cast<std::uint64_t>(pattern) << 24 | rgbOf(brush.color());
        if (state.fill == key)
            return true;
        state.fill = key;
        const auto& t = colorComponents();
        content += "/Hp cs ";
        content += t[static_cast<std::size_t>(brush.color().red())] + ' ';
        content += t[static_cast<std::size_t>(brush.color().green())] + ' ';
        content += t[static_cast<std::size_t>(brush.color().blue())];
        content += " /P";
        appendInt(content, pattern);
        content += " scn\n";
        return true;
    }

    void rect(const QRectF& r)
    {
        num(r.x());
        num(r.y());
        num(r.width());
        num(r.height());
        content += "re";
    }

    // The rectangle with finite, clamped edges; empty when it has no area.
    static QRectF sane(const QRectF& area)
    {
        const QRectF r = area.normalized();
        if (!std::isfinite(r.left()) || !std::isfinite(r.right()) || !std::isfinite(r.top()) ||
            !std::isfinite(r.bottom()))
            return {};
        return QRectF(QPointF(clamped(r.left()), clamped(r.top())), QPointF(clamped(r.right()), clamped(r.bottom())));
    }

    void appendPath(const QPainterPath& path)
    {
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            if (e.isMoveTo()) {
                point(e);
                content += "m\n";
            } else if (e.isLineTo()) {
                point(e);
                content += "l\n";
            } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
                point(e);
                point(path.elementAt(i + 1));
                point(path.elementAt(i + 2));
                content += "c\n";
                i += 2;
            }
        }
    }

    static bool finitePath(const QPainterPath& path)
    {
        for (int i = 0; i < path.elementCount(); ++i)
            if (!finite(path.elementAt(i)))
                return false;
        return true;
    }

    void pen(const QPen& p)
    {
        color(p.color(), " RG\n", state.stroke);
        const double width = std::isfinite(p.widthF()) ? std::clamp(p.widthF(), 0.0, kLimit) : 0.0;
        const long long w = roundNearest(width * 100);
        if (w != state.lineWidth) {
            state.lineWidth = w;
            fixed(w);
            content += "w\n";
        }
        const int cap = p.capStyle() == Qt::RoundCap ? 1 : p.capStyle() == Qt::SquareCap ? 2 : 0;
        if (cap != state.cap) {
            state.cap = cap;
            appendInt(content, cap);
            content += " J\n";
        }
        const int join = p.joinStyle() == Qt::RoundJoin ? 1 : p.joinStyle() == Qt::BevelJoin ? 2 : 0;
        if (join != state.join) {
            state.join = join;
            appendInt(content, join);
            content += " j\n";
        }
        // Qt's limit is how far the miter reaches from the joint in widths;
        // PDF's is the whole miter length.
        const double limit = std::isfinite(p.miterLimit()) ? std::clamp(2 * p.miterLimit(), 1.0, 1000.0) : 10.0;
        const long long miter = roundNearest(limit * 100);
        if (join == 0 && miter != state.miter) {
            state.miter = miter;
            fixed(miter);
            content += "M\n";
        }
        std::string dash = "[";
        if (p.style() != Qt::SolidLine) {
            // Qt's dashes are in pen widths, a thinnest pen counting as one pixel.
            const double unit = std::max(width, 1.0);
            for (qreal d : p.dashPattern()) {
                appendNumber(dash, std::isfinite(d) ? std::clamp(d * unit, 0.0, kLimit) : 1.0, 2);
                dash += ' ';
            }
            if (dash.back() == ' ')
                dash.pop_back();
            dash += ']';
            const double offset = p.dashOffset() * unit;
            appendNumber(dash, std::isfinite(offset) ? clamped(offset) : 0.0, 2);
        } else {
            dash += "]0";
        }
        if (dash != state.dash) {
            content += dash;
            content += " d\n";
            state.dash = std::move(dash);
        }
    }

    // ---- Text ---------------------------------------------------------------

    void beginText()
    {
        if (!textOpen) {
            content += "BT\n";
            textOpen = true;
            lineSet = false;
        }
    }

    void moveTo(long long x, long long y)
    {
        if (!lineSet) {
            content += "1 0 0 -1 ";
            fixed(x);
            fixed(y);
            content += "Tm\n";
            lineSet = true;
        } else {
            fixed(x - lineX);
            fixed(lineY - y); // text space is flipped upright
            content += "Td\n";
        }
        lineX = x;
        lineY = y;
    }

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
        void flush(std::string& content)
        {
            content.append(bytes, size);
            size = 0;
        }
    };

    // The glyphs as paths: a face whose tables cannot be embedded still shows.
    void drawOutlines(const QPointF& origin, const QRawFont& font, std::span<const quint32> glyphs,
                      std::span<const QPointF> positions, const QColor& c)
    {
        endText();
        color(c, " rg\n", state.fill);
        for (std::size_t i = 0; i < glyphs.size(); ++i) {
            const QPointF at = origin + positions[i];
            if (!finite(at))
                continue;
            const QPainterPath path = font.pathForGlyph(glyphs[i]).translated(at);
            if (path.isEmpty())
                continue;
            appendPath(path);
            content += "f\n";
        }
    }

    void drawText(const QPointF& origin, pdf::PdfFace& face, double pixelSize, std::span<const quint32> glyphs,
                  std::span<const QPointF> positions, std::span<const char32_t> chars, const QColor& c);
};

void PdfCanvas::Writer::drawText(const QPointF& origin, pdf::PdfFace& face, double pixelSize,
                                 std::span<const quint32> glyphs, std::span<const QPointF> positions,
                                 std::span<const char32_t> chars, const QColor& c)
{
    const long long sizeQ = roundNearest(std::min(pixelSize, kLimit) * 1000);
    if (sizeQ <= 0)
        return;
    const double size = static_cast<double>(sizeQ) / 1000.0;
    const double em = size / 1000.0; // pixels per 1/1000 text unit
    const pdf::PdfFace::Size sized = fonts.sizeFor(face, sizeQ, *this);
    const double perUnit = face.pixelsPerUnit(size);
    const bool rounded = sized.sizeQ != pdf::PdfFace::kAnySize;
    const auto natural = [&](std::uint32_t g) { return face.pixelAdvance(g, perUnit, rounded); };
    // A glyph of the face at a sane place (NaN fails the comparisons too).
    const auto valid = [&](std::size_t i) {
        return glyphs[i] < face.glyphCount() && std::fabs(origin.x() + positions[i].x()) < kLimit &&
               std::fabs(origin.y() + positions[i].y()) < kLimit;
    };

    // Tc: the commonest difference between given and natural advances, in
    // thousandths of a pixel, among the first few (runs are mostly uniform;
    // glyphs that differ get their own adjustment).
    std::array<std::pair<long long, int>, 4> candidates{};
    std::size_t used = 0;
    bool previousValid = valid(0);
    for (std::size_t i = 1; i < std::min<std::size_t>(glyphs.size(), 17); ++i) {
        const bool validNow = valid(i);
        const bool pair = previousValid && validNow && positions[i].y() == positions[i - 1].y();
        previousValid = validNow;
        if (!pair)
            continue;
        const double gap = positions[i].x() - positions[i - 1].x() - natural(glyphs[i - 1]);
        const long long q = roundNearest(std::clamp(gap, -kLimit, kLimit) * 1000);
        std::size_t k = 0;
        while (k < used && candidates[k].first != q)
            ++k;
        if (k == used && used < candidates.size())
            candidates[used++] = {q, 0};
        if (k < used)
            ++candidates[k].second;
    }
    long long tc = state.tc;
    int best = 0;
    for (std::size_t k = 0; k < used; ++k)
        if (candidates[k].second > best || (candidates[k].second == best && candidates[k].first == state.tc)) {
            best = candidates[k].second;
            tc = candidates[k].first;
        }
    beginText();
    color(c, " rg\n", state.fill);
    if (state.font != sized.index || state.fontSize != sizeQ) {
        state.font = sized.index;
        state.fontSize = sizeQ;
        content += "/F";
        appendInt(content, sized.index);
        content += ' ';
        num(size, 3);
        content += "Tf\n";
    }
    if (tc != state.tc) {
        state.tc = tc;
        num(static_cast<double>(tc) / 1000.0, 3);
        content += "Tc\n";
    }

    // TJ adjustments in 1/1000 em, as fine as about a tenth of a pixel needs.
    const int adjustDecimals = size <= 100 ? 0 : size <= 1000 ? 1 : 2;
    const double step = adjustDecimals == 0 ? 1 : adjustDecimals == 1 ? 0.1 : 0.01;
    const double stepsPerPixel = 1 / (em * step);
    const double spacing = static_cast<double>(tc) / 1000.0;
    bool inRun = false;
    double x = 0; // where the text position stands, in pixels
    double runY = 0;
    std::uint32_t previous = 0;
    Codes codes;
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        if (!valid(i))
            continue;
        const QPointF at = origin + positions[i];
        if (inRun && at.y() != runY) {
            codes.flush(content);
            content += ")]TJ\n";
            inRun = false;
        }
        if (!inRun) {
            const long long xq = roundNearest(at.x() * 100);
            moveTo(xq, roundNearest(at.y() * 100));
            content += "[(";
            inRun = true;
            runY = at.y();
            x = static_cast<double>(xq) / 100.0;
        } else {
            x += natural(previous) + spacing;
            const double off = (x - at.x()) * stepsPerPixel; // positive moves left
            if (off >= 0.5 || off <= -0.5) {
                const double n = static_cast<double>(roundNearest(off)) * step;
                codes.flush(content);
                content += ')';
                appendNumber(content, n, adjustDecimals);
                content += '(';
                x -= n * em;
            }
        }
        codes.put(glyphs[i], content);
        face.use(glyphs[i], i < chars.size() ? chars[i] : pdf::PdfFace::kNoChar);
        previous = glyphs[i];
    }
    codes.flush(content);
    if (inRun)
        content += ")]TJ\n";
}

// ---- PdfCanvas --------------------------------------------------------------

PdfCanvas::PdfCanvas(int fd, const std::string& title, const std::string& creator)
    : d(std::make_unique<Writer>(fd))
{
    d->title = title;
    d->creator = creator;
    d->out += "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    d->flush();
}

PdfCanvas::~PdfCanvas() = default;

void PdfCanvas::setCompressionLevel(int level) { d->level = std::clamp(level, 0, 9); }
int PdfCanvas::sheetCount() const { return static_cast<int>(d->pages.size()) + (d->inSheet ? 1 : 0); }
std::uint64_t PdfCanvas::bytesWritten() const { return d->flushed + d->out.size(); }
double PdfCanvas::devicePixel() const { return 1.0; }

void PdfCanvas::startSheet(const PdfPageBox& box)
{
    d->throwIfFailed();
    if (d->finished)
        return;
    finishSheet();
    PdfPageBox b = box;
    const auto usable = [](double v) { return std::isfinite(v) && v > 0 && v < 1e5; };
    if (!usable(b.widthPt) || !usable(b.heightPt)) {
        b.widthPt = 595.28;
        b.heightPt = 841.89;
    }
    if (!usable(b.ptPerPixelX) || !usable(b.ptPerPixelY))
        b.ptPerPixelX = b.ptPerPixelY = 1;
    if (!std::isfinite(b.originXPt) || !std::isfinite(b.originYPt))
        b.originXPt = b.originYPt = 0;
    d->box = b;
    d->inSheet = true;
    d->state = GState{};
    d->saved.clear();
    d->levels.clear();
    d->blocked = 0;
    d->textOpen = false;
    d->content.clear();
    d->content.reserve(1 << 16);
    // Reference pixels, y down, onto points, y up.
    d->sheetMatrix.clear();
    for (double v : {b.ptPerPixelX, 0.0, 0.0, -b.ptPerPixelY, b.originXPt, b.heightPt - b.originYPt}) {
        appendNumber(d->sheetMatrix, std::clamp(v, -kLimit, kLimit), 6);
        d->sheetMatrix += ' ';
    }
    d->sheetMatrix.pop_back();
    d->content += d->sheetMatrix;
    d->content += " cm\n";
}

void PdfCanvas::finishSheet()
{
    d->throwIfFailed();
    if (!d->inSheet)
        return;
    while (!d->levels.empty())
        d->pop();
    d->endText();
    d->inSheet = false;
    d->writeNewPatterns();
    const int contents = d->allocate(), page = d->allocate();
    if (d->level > 0) {
        d->compress(d->contentDeflater, d->content, d->level);
        d->writeStream(contents, "", d->packed, true);
    } else {
        d->writeStream(contents, "", d->content, false);
    }
    std::string body = "<</Type/Page/Parent 2 0 R/MediaBox[0 0 ";
    appendNumber(body, d->box.widthPt, 2);
    body += ' ';
    appendNumber(body, d->box.heightPt, 2);
    body += "]/Resources 3 0 R/Contents ";
    appendInt(body, contents);
    body += " 0 R>>";
    d->object(page, body);
    d->pages.push_back(page);
}

void PdfCanvas::finish()
{
    d->throwIfFailed();
    if (d->finished)
        return;
    // Readers reject an empty page tree: a document without sheets gets a blank one.
    if (d->pages.empty() && !d->inSheet)
        startSheet(PdfPageBox{});
    finishSheet();
    d->finished = true;
    d->fonts.write(*d);

    std::string resources = "<</ProcSet[/PDF/Text]/Font<<";
    d->fonts.appendResources(resources);
    resources += ">>";
    if (!d->patternResources.empty())
        resources += "/Pattern<<" + d->patternResources + ">>/ColorSpace<</Hp[/Pattern/DeviceRGB]>>";
    resources += ">>";
    d->object(Writer::kResources, resources);

    std::string tree = "<</Type/Pages/Kids[";
    for (int page : d->pages) {
        appendInt(tree, page);
        tree += " 0 R ";
    }
    tree += "]/Count ";
    appendInt(tree, static_cast<long long>(d->pages.size()));
    d->object(Writer::kPages, tree + ">>");
    // CFF font programs in OpenType wrappers came with PDF 1.6.
    d->object(Writer::kCatalog,
              std::string("<</Type/Catalog/Pages 2 0 R") + (d->fonts.anyCff() ? "/Version/1.6" : "") + ">>");

    const std::time_t made = creationTime();
    std::tm utc{};
    gmtime_r(&made, &utc);
    char date[32];
    std::strftime(date, sizeof date, "D:%Y%m%d%H%M%SZ", &utc);
    d->object(Writer::kInfo, "<</Title" + utf16Hex(d->title) + "/Creator" + utf16Hex(d->creator) +
                                 "/Producer" + utf16Hex(d->creator) + "/CreationDate(" + date + ")>>");

    const std::uint64_t xref = d->flushed + d->out.size();
    std::string& out = d->out;
    out += "xref\n0 ";
    appendInt(out, static_cast<long long>(d->offsets.size()));
    out += "\n0000000000 65535 f \n";
    for (std::size_t n = 1; n < d->offsets.size(); ++n) {
        char entry[21];
        std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(d->offsets[n]));
        out += entry;
        if (out.size() >= kFlushAt)
            d->flush();
    }
    // The file's identity: what it is made of, all but the trailer.
    d->digest();
    char idHex[40];
    std::snprintf(idHex, sizeof idHex, "%08X%08X%016llX", static_cast<unsigned>(d->crc),
                  static_cast<unsigned>(d->adler), static_cast<unsigned long long>(d->flushed + out.size()));
    out += "trailer\n<</Size ";
    appendInt(out, static_cast<long long>(d->offsets.size()));
    out += "/Root 1 0 R/Info 4 0 R/ID[<" + std::string(idHex) + "><" + idHex + ">]>>\nstartxref\n";
    appendInt(out, static_cast<long long>(xref));
    out += "\n%%EOF\n";
    d->flush();
}

void PdfCanvas::beginPage(const QRectF& page, bool clipToPage)
{
    if (!d->inSheet)
        return;
    endPage();
    d->push(Level::Page);
    const QRectF r = Writer::sane(page);
    if (clipToPage && !r.isNull()) {
        d->rect(r);
        d->content += " W n\n";
    }
    d->push(Level::FileClip);
}

void PdfCanvas::endPage()
{
    if (!d->inSheet || std::find(d->levels.begin(), d->levels.end(), Level::Page) == d->levels.end())
        return;
    Level popped;
    do {
        popped = d->levels.back();
        d->pop();
    } while (popped != Level::Page);
}

void PdfCanvas::intersectClip(const QRectF& box)
{
    if (!d->inSheet || !std::isfinite(box.x()) || !std::isfinite(box.y()) || !std::isfinite(box.width()) ||
        !std::isfinite(box.height()))
        return;
    d->endText();
    // An empty box clips everything away, as an empty clip region does.
    const QRectF r = Writer::sane(box);
    d->rect(r.isValid() ? r : QRectF(clamped(box.x()), clamped(box.y()), 0, 0));
    d->content += " W n\n";
}

void PdfCanvas::resetClip()
{
    if (!d->inSheet || std::find(d->levels.begin(), d->levels.end(), Level::FileClip) == d->levels.end())
        return;
    while (d->levels.back() != Level::FileClip)
        d->pop();
    d->pop();
    d->push(Level::FileClip);
}

void PdfCanvas::pushTransform(const QTransform& t)
{
    if (!d->inSheet)
        return;
    const double m[] = {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()};
    const bool usable = std::all_of(std::begin(m), std::end(m), [](double v) { return std::isfinite(v); }) &&
                        std::fabs(t.m11() * t.m22() - t.m12() * t.m21()) > 1e-12;
    // Nothing drawn under a matrix PDF cannot state shows on the page.
    d->push(usable ? Level::Transform : Level::BlockedTransform);
    if (!usable)
        return;
    for (int i = 0; i < 6; ++i)
        d->num(clamped(m[i]), i < 4 ? 6 : 2);
    d->content += "cm\n";
}

void PdfCanvas::popTransform()
{
    if (d->inSheet && !d->levels.empty() &&
        (d->levels.back() == Level::Transform || d->levels.back() == Level::BlockedTransform))
        d->pop();
}

void PdfCanvas::fillRect(const QRectF& area, const QBrush& brush)
{
    if (!d->drawable())
        return;
    const QRectF r = Writer::sane(area);
    if (!(r.width() > 0) || !(r.height() > 0))
        return;
    d->endText();
    if (!d->paint(brush))
        return;
    d->rect(r);
    d->content += " f\n";
}

void PdfCanvas::fillPath(const QPainterPath& path, const QBrush& brush)
{
    if (!d->drawable() || path.elementCount() < 2 || !Writer::finitePath(path))
        return;
    d->endText();
    if (!d->paint(brush))
        return;
    d->appendPath(path);
    d->content += path.fillRule() == Qt::OddEvenFill ? "f*\n" : "f\n";
}

void PdfCanvas::strokePolyline(const QPolygonF& points, const QPen& pen)
{
    if (!d->drawable() || pen.style() == Qt::NoPen || pen.color().alpha() == 0)
        return;
    QPolygonF kept;
    kept.reserve(points.size());
    std::copy_if(points.begin(), points.end(), std::back_inserter(kept), [](const QPointF& p) { return finite(p); });
    if (kept.size() < 2)
        return;
    const bool closed = kept.size() >= 3 && kept.front() == kept.back();
    d->endText();
    d->pen(pen);
    const qsizetype count = closed ? kept.size() - 1 : kept.size();
    for (qsizetype i = 0; i < count; ++i) {
        d->point(kept[i]);
        d->content += i == 0 ? "m\n" : "l\n";
    }
    d->content += closed ? "h S\n" : "S\n";
}

void PdfCanvas::drawGlyphs(const QPointF& origin, const QRawFont& font, std::span<const quint32> glyphs,
                           std::span<const QPointF> positions, std::span<const char32_t> chars,
                           const QColor& color)
{
    if (!d->drawable() || glyphs.empty() || !font.isValid() || !finite(origin) || color.alpha() == 0)
        return;
    glyphs = glyphs.first(std::min(glyphs.size(), positions.size()));
    pdf::PdfFace& face = d->fonts.faceFor(font);
    // Glyph 0 is the missing-glyph box, which PDF readers leave blank as
    // .notdef: it is drawn as its outline.
    for (std::size_t first = 0; first < glyphs.size();) {
        const bool box = glyphs[first] == 0;
        std::size_t end = first + 1;
        while (end < glyphs.size() && (glyphs[end] == 0) == box)
            ++end;
        const std::size_t n = end - first;
        if (box || face.outlines)
            d->drawOutlines(origin, font, glyphs.subspan(first, n), positions.subspan(first, n), color);
        else
            d->drawText(origin, face, font.pixelSize(), glyphs.subspan(first, n), positions.subspan(first, n),
                        chars.subspan(std::min(first, chars.size()), std::min(n, chars.size() - std::min(first, chars.size()))),
                        color);
        first = end;
    }
}

} // namespace velm
