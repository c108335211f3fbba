// The PDF canvas's inside (pdf_canvas.cpp draws through it), one seam a
// file: bytes, objects and the cross-reference table (pdf_file.cpp), the
// content stream's graphics state and paths (pdf_graphics.cpp), hatch
// patterns (pdf_patterns.cpp) and text (pdf_text.cpp). Not for use outside
// platform/pdf/.
#pragma once

#include "platform/pdf/pdf_canvas.h"
#include "platform/pdf/pdf_fonts.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
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

} // namespace velm::pdf

namespace velm {

using pdf::appendInt;
using pdf::appendNumber;
using pdf::clamped;
using pdf::colorComponents;
using pdf::Deflater;
using pdf::finite;
using pdf::GState;
using pdf::kFlushAt;
using pdf::kFontCompression;
using pdf::kLimit;
using pdf::kPatternBit;
using pdf::Level;
using pdf::rgbOf;
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
    // The cross-reference table and the trailer, which end the file.
    void writeTrailer();

    // ---- Content syntax and graphics state (pdf_graphics.cpp) ---------------

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

    void push(Level kind);
    void pop();
    // Whether PDF can state the matrix (finite, invertible); concat writes it.
    static bool statable(const QTransform& t);
    void concat(const QTransform& t);

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

    void rect(const QRectF& r);
    // The rectangle with finite, clamped edges; empty when it has no area.
    static QRectF sane(const QRectF& area);
    void appendPath(const QPainterPath& path);
    static bool finitePath(const QPainterPath& path);
    void pen(const QPen& p);

    // ---- Hatch patterns (pdf_patterns.cpp) ----------------------------------

    int patternFor(int hatch);
    void writeNewPatterns();
    // Selects the brush as fill; false when it paints nothing.
    bool paint(const QBrush& brush);

    // ---- Text (pdf_text.cpp) ------------------------------------------------

    void beginText();
    void moveTo(long long x, long long y);
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
