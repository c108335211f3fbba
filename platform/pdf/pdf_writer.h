// The PDF canvas's inside (pdf_canvas.cpp draws through it), in two
// objects: the file's (PdfCanvas::Writer: bytes, objects and the
// cross-reference table in pdf_file.cpp, hatch patterns in
// pdf_patterns.cpp, fonts and glyph runs in pdf_text.cpp) and the open
// sheet's content stream (pdf::ContentStream: its operators and the
// graphics state they set, paths in pdf_graphics.cpp, text in
// pdf_text.cpp), which never writes to the file. Not for use outside
// platform/pdf/.
#pragma once

#include "platform/pdf/pdf_canvas.h"
#include "platform/pdf/pdf_fonts.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cmath>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace velm::pdf {

// Reference pixels beyond this lie off any sheet: clamped, never written as
// numbers PDF readers choke on.
constexpr double kLimit = 1e6;
constexpr std::size_t kFlushAt = 1 << 20;
constexpr int kFontCompression = 6;

inline bool finite(const QPointF& p) { return std::isfinite(p.x()) && std::isfinite(p.y()); }
inline double clamped(double v) { return std::clamp(v, -kLimit, kLimit); }

// What a q of the content stream opened: the canvas's page, the clip its
// drawing sets (resetClip undoes it), a transform, or a transform PDF
// cannot state (nothing under it shows).
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
    bool invisible = false; // text render mode 3
};
constexpr std::uint64_t kPatternBit = 1ULL << 40;

inline std::uint64_t rgbOf(const QColor& c) { return c.rgb() & 0xFFFFFFu; }

// c / 255 in three decimals, for rg and RG.
const std::array<std::string, 256>& colorComponents();

// zlib streams (FlateDecode) from libdeflate: the same format as zlib's
// at two to three times its speed on page content.
class Deflater {
public:
    Deflater() = default;
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    ~Deflater() { libdeflate_free_compressor(compressor_); }

    // Compresses data into out (replacing it); the reason when it cannot.
    std::optional<std::string> compress(std::string_view data, std::string& out, int level);

private:
    libdeflate_compressor* compressor_ = nullptr;
    int level_ = -1;
};

// Deflates each sheet's content stream on a second core while the next
// sheet is drawn: the one sheet given last, whose packed bytes take() waits
// for.
class SheetDeflater {
public:
    SheetDeflater() = default;
    SheetDeflater(const SheetDeflater&) = delete;
    SheetDeflater& operator=(const SheetDeflater&) = delete;
    ~SheetDeflater();

    // Starts on data; the sheet given before must have been taken.
    void give(std::string_view data, int level);
    // The packed bytes of the sheet given last (out replaced), or the
    // reason they could not be made.
    std::optional<std::string> take(std::string& out);

private:
    void work();

    Deflater deflater_;
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string in_, out_;
    std::optional<std::string> problem_;
    int level_ = 1;
    bool given_ = false, done_ = false, stopping_ = false;
};

// The rectangle with finite, clamped edges; empty when it has no area.
QRectF saneRect(const QRectF& area);
// Whether PDF can state the matrix: finite and invertible.
bool statable(const QTransform& t);
bool finitePath(const QPainterPath& path);

// Glyphs of one font at one size, placed from an origin.
struct GlyphRun {
    QPointF origin;
    std::span<const quint32> glyphs;
    std::span<const QPointF> positions;
    const PdfFont& font;
    long long sizeQ; // the size Tf states, in thousandths of a pixel
    double size;     // the same in pixels
    double perUnit;  // pixels per design unit at that size

    double natural(std::uint32_t glyph) const { return font.pixelAdvance(glyph, perUnit); }
    // A glyph of the face at a sane place (NaN fails the comparisons too).
    bool valid(std::size_t i) const
    {
        return glyphs[i] < font.face->glyphCount() && std::fabs(origin.x() + positions[i].x()) < kLimit &&
               std::fabs(origin.y() + positions[i].y()) < kLimit;
    }
};

// The open sheet's content stream: the operators a sheet's drawing writes,
// and the graphics state they have set, so that a value is written only
// when it changes. Path operators close an open text object first.
class ContentStream {
public:
    // A new sheet's stream, which begins by mapping reference pixels onto
    // the sheet's points (a "cm" of sheetMatrix).
    void start(const std::string& sheetMatrix);
    // Closes the text object and every level still open.
    void close();
    const std::string& bytes() const { return out_; }

    // ---- Levels and paths (pdf_graphics.cpp) --------------------------------

    // Nothing drawn now shows: a BlockedTransform is open.
    bool blocked() const { return blocked_ > 0; }
    bool has(Level kind) const { return std::find(levels_.begin(), levels_.end(), kind) != levels_.end(); }
    // The innermost level open; none open: std::nullopt.
    std::optional<Level> innermost() const
    {
        return levels_.empty() ? std::nullopt : std::optional<Level>(levels_.back());
    }
    void push(Level kind); // q
    void pop();            // Q
    // Concatenates a matrix of finite numbers (m11 m12 m21 m22 dx dy).
    void transform(const double (&m)[6]);
    void transform(const QTransform& t);
    // Intersects the clip with a sane rectangle.
    void clip(const QRectF& r);
    // Fills with the fill paint: a sane rectangle, a finite path by its
    // rule (nonZero: by the nonzero winding rule whatever its own).
    void fill(const QRectF& r);
    void fill(const QPainterPath& path, bool nonZero = false);
    // Strokes finite points with the pen; closed joins the last to the first.
    void stroke(const QPolygonF& points, bool closed);
    void fillColor(const QColor& c) { color(c, " rg\n", state_.fill); }
    // A hatch pattern object of the file's as the fill, in the colour.
    void fillPattern(int pattern, const QColor& c);
    void pen(const QPen& p);

    // ---- Text (pdf_text.cpp) ------------------------------------------------

    void beginText();
    void endText()
    {
        if (textOpen_) {
            out_ += "ET\n";
            textOpen_ = false;
        }
    }
    // Shows the run's valid glyphs in the colour, invisibly (render mode 3)
    // when asked: one TJ a baseline, at their positions to about a tenth
    // of a pixel.
    void showGlyphs(const GlyphRun& run, const QColor& c, bool invisible);
    // A marked-content span whose text reads back as `text` (in a text object).
    void beginActualText(std::u16string_view text);
    void endMarkedContent();

private:
    void num(double v, int decimals = 2)
    {
        appendNumber(out_, v, decimals);
        out_ += ' ';
    }
    void fixed(long long hundredths)
    {
        appendNumber(out_, static_cast<double>(hundredths) / 100.0, 2);
        out_ += ' ';
    }
    void point(const QPointF& p)
    {
        num(clamped(p.x()));
        num(clamped(p.y()));
    }
    void color(const QColor& c, const char* op, std::uint64_t& current)
    {
        const std::uint64_t rgb = rgbOf(c);
        if (current == rgb)
            return;
        current = rgb;
        const auto& t = colorComponents();
        out_ += t[static_cast<std::size_t>(c.red())];
        out_ += ' ';
        out_ += t[static_cast<std::size_t>(c.green())];
        out_ += ' ';
        out_ += t[static_cast<std::size_t>(c.blue())];
        out_ += op;
    }
    void rect(const QRectF& r);
    void appendPath(const QPainterPath& path);
    // The text line matrix at (x, y), hundredths of a pixel.
    void moveTo(long long x, long long y);
    // The commonest spacing the run's first glyphs ask (Tc).
    long long spacingFor(const GlyphRun& run) const;
    void setTextState(int font, long long sizeQ, long long tc, bool invisible);
    void writeGlyphs(const GlyphRun& run, long long tc);

    std::string out_;
    GState state_;
    std::vector<GState> saved_;
    std::vector<Level> levels_;
    int blocked_ = 0; // BlockedTransform levels open
    bool textOpen_ = false, lineSet_ = false;
    long long lineX_ = 0, lineY_ = 0; // text line start, hundredths of a pixel
};

} // namespace velm::pdf

namespace velm {

using pdf::appendInt;
using pdf::appendNumber;
using pdf::clamped;
using pdf::Deflater;
using pdf::finite;
using pdf::kFlushAt;
using pdf::kFontCompression;
using pdf::kLimit;
using pdf::Level;
using pdf::roundNearest;

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
    Deflater otherDeflater;
    // The sheet that ended last, written when the next one ends (or the
    // document does), so that its deflating overlaps the next sheet's
    // drawing and the file's bytes come in the order of one thread.
    pdf::SheetDeflater sheetDeflater;
    struct EndedSheet {
        int contents = 0, page = 0;
        double widthPt = 0, heightPt = 0;
    };
    std::optional<EndedSheet> ended;
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
    pdf::ContentStream content;

    explicit Writer(int f) : fd(f) { out.reserve(kFlushAt + 65536); }

    bool drawable() const { return inSheet && !content.blocked(); }

    // ---- Bytes and objects (pdf_file.cpp) -----------------------------------

    [[noreturn]] void fail(const std::string& why);
    // Once a write failed, nothing more is written: every later write
    // reports the first failure again.
    void throwIfFailed() const;
    void compress(Deflater& deflater, std::string_view data, int compression);
    void digest();
    void flush();
    void maybeFlush();
    int allocate() override;
    void open(int number);
    void object(int number, std::string_view body) override;
    void stream(int number, std::string_view entries, std::string_view data, bool compress) override;
    void writeStream(int number, std::string_view entries, std::string_view data, bool compressed);
    void writePageObject(const EndedSheet& sheet);
    void writeEndedSheet();
    // The cross-reference table and the trailer, which end the file.
    void writeTrailer();

    // ---- Hatch patterns (pdf_patterns.cpp) ----------------------------------

    int patternFor(int hatch);
    void writeNewPatterns();
    // Selects the brush as fill; false when it paints nothing.
    bool paint(const QBrush& brush);

    // ---- Text (pdf_text.cpp) ------------------------------------------------

    // The glyphs as paths: a face whose tables cannot be embedded still shows.
    void drawOutlines(const QPointF& origin, const QRawFont& font, std::span<const quint32> glyphs,
                      std::span<const QPointF> positions, const QColor& c);
    // Invisible text reads back where outlines show the glyphs.
    void drawText(const QPointF& origin, pdf::PdfFace& face, double pixelSize, std::span<const quint32> glyphs,
                  std::span<const QPointF> positions, std::span<const char32_t> chars, const QColor& c,
                  bool invisible);
    // Glyphs of one face: runs of missing-glyph boxes as outlines, the rest
    // as text (of a face that cannot be embedded: outlines and invisible
    // text).
    void drawFaceGlyphs(const QPointF& origin, const QRawFont& font, pdf::PdfFace& face,
                        std::span<const quint32> glyphs, std::span<const QPointF> positions,
                        std::span<const char32_t> chars, const QColor& c);
    // Shaped glyphs whose text reads back in logical order: a cluster of
    // one glyph for one character through ToUnicode; in a left-to-right run
    // any other cluster in a marked-content span with its /ActualText; in
    // a right-to-left run (whose glyphs readers reverse themselves, spans
    // included) the cluster's characters, reversed, on its first glyph.
    void drawShaped(const QPointF& origin, const QRawFont& font, pdf::PdfFace& face, std::span<const quint32> glyphs,
                    std::span<const QPointF> positions, const TextSource& source, const QColor& c);
};

} // namespace velm
