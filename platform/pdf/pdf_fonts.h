// The PDF writer's fonts (pdf_canvas.cpp draws with them): each face at
// each pixel size is one Type0 font, embedded as a subset that keeps glyph
// ids as CIDs, with a ToUnicode map from the characters the glyphs were
// drawn for and /W widths equal to the advances pages record. A face that
// cannot be embedded (no sfnt tables, as a Type 1 face; CFF2 outlines; a
// licence that forbids embedding) is drawn as outlines under invisible text
// of a font whose program has no glyphs, so that its text still reads
// back. Also the PDF number syntax both files write. Not for use outside
// platform/.
#pragma once

#include <QRawFont>

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velm::pdf {

// PDF numbers have no exponent: v rounded to `decimals` places (0..6),
// trailing zeros dropped, clamped to +-1e9. Callers keep NaN away.
void appendNumber(std::string& out, double v, int decimals);
// Half away from zero, inline (the library call costs more than the rest
// of a glyph); |v| must stay well inside the range of long long.
inline long long roundNearest(double v) { return static_cast<long long>(v < 0 ? v - 0.5 : v + 0.5); }
void appendInt(std::string& out, long long v);
// Four upper-case hex digits of v's low 16 bits.
void appendHex4(std::string& out, unsigned v);

// Where finished objects go: "n 0 obj <body> endobj", or a stream whose
// dictionary gets entries plus /Length (and /Filter when compressed).
class ObjectSink {
public:
    virtual ~ObjectSink() = default;
    virtual int allocate() = 0;
    virtual void object(int number, std::string_view body) = 0;
    virtual void stream(int number, std::string_view entries, std::string_view data, bool compress) = 0;
};

struct PdfFace;

// The face at one pixel size: a font of its own (resource /F<index>) with
// its own subset, PostScript name and ToUnicode map, and /W widths equal to
// the advances rounded to whole pixels, as pages record them, so that
// recorded text needs no position adjustments. A converter that turns each
// PDF font into a font program of its own (PDF to PostScript) then finds a
// distinct name in each, and a second distillation keeps them apart.
struct PdfFont {
    // Past kMaxSizes a face's further sizes share one font with the
    // unrounded design widths (sizeQ kAnySize): positions then take TJ
    // adjustments, and a file with endless sizes stays bounded.
    static constexpr long long kAnySize = -1;
    static constexpr std::size_t kMaxSizes = 64;

    const PdfFace* face = nullptr;
    long long sizeQ = 0; // pixel size in 1/1000 pixel, or kAnySize
    int index = 0;       // 1, 2, ... in the order fonts were met
    int fontObject = 0;
    // By glyph id: kUnused, or the character the glyph was first drawn for
    // (kNoChar when none was given).
    static constexpr char32_t kUnused = 0xFFFFFFFF;
    static constexpr char32_t kNoChar = 0;
    std::vector<char32_t> chars;
    // Glyphs that stand for several characters (read in this order) where
    // no single character was given for them.
    std::unordered_map<std::uint32_t, std::u32string> sequences;

    bool rounded() const { return sizeQ != kAnySize; }
    // A glyph's advance in pixels at pixelsPerUnit(size), as this font states it.
    inline double pixelAdvance(std::uint32_t glyph, double perUnit) const;
    void use(std::uint32_t glyph, char32_t c)
    {
        char32_t& slot = chars[glyph];
        if (slot == kUnused || slot == kNoChar)
            slot = c;
    }
    void useSequence(std::uint32_t glyph, const std::u32string& text)
    {
        use(glyph, kNoChar);
        sequences.try_emplace(glyph, text);
    }
};

struct PdfFace {
    int index = 0;        // 1, 2, ... in the order faces were met
    bool outlines = false; // not embeddable: glyphs are drawn as paths, text invisibly over them
    bool cff = false;      // CFF outlines (else TrueType glyf)
    bool measured = false; // no hmtx: advances are Qt's, measured as glyphs are met
    QRawFont raw;          // any size of the face: its tables
    unsigned unitsPerEm = 0;
    // Design units by glyph id (hmtx); kUnmeasured for a glyph of a
    // measured face not met yet.
    static constexpr std::uint16_t kUnmeasured = 0xFFFF;
    std::vector<std::uint16_t> advances;
    std::vector<std::unique_ptr<PdfFont>> sizes; // in the order first drawn
    std::unordered_map<long long, PdfFont*> sizeAt;

    std::size_t glyphCount() const { return advances.size(); }
    double pixelsPerUnit(double size) const { return size / unitsPerEm; }
};

double PdfFont::pixelAdvance(std::uint32_t glyph, double perUnit) const
{
    const double exact = face->advances[glyph] * perUnit;
    return rounded() ? std::nearbyint(exact) : exact;
}

class PdfFontSet {
public:
    PdfFontSet();
    ~PdfFontSet();
    PdfFontSet(const PdfFontSet&) = delete;
    PdfFontSet& operator=(const PdfFontSet&) = delete;

    // The face of a raw font (family and style; every pixel size of it is
    // the same face). O(1): the last font asked for is remembered.
    PdfFace& faceFor(const QRawFont& raw)
    {
        if (last_ && raw == lastRaw_)
            return *last_;
        return lookup(raw);
    }

    // The font of a face at a pixel size (1/1000 pixel); its object number
    // is allocated from the sink the first time. O(1) for the size last used.
    PdfFont& fontFor(PdfFace& face, long long sizeQ, ObjectSink& sink)
    {
        if (lastFont_ && lastFont_->face == &face && lastSizeQ_ == sizeQ)
            return *lastFont_;
        return addSize(face, sizeQ, sink);
    }

    // The advances of glyphs a measured face has not met yet.
    static void measure(PdfFace& face, std::span<const quint32> glyphs);

    bool anyCff() const;
    // /F<index> references of the fonts that drew glyphs, for the resources.
    void appendResources(std::string& out) const;
    // Writes every used face's font objects. A face the subsetter rejects is
    // embedded whole.
    void write(ObjectSink& sink);

private:
    PdfFace& lookup(const QRawFont& raw);
    PdfFont& addSize(PdfFace& face, long long sizeQ, ObjectSink& sink);

    struct RawHash {
        std::size_t operator()(const QRawFont& f) const noexcept { return qHash(f); }
    };
    std::vector<std::unique_ptr<PdfFace>> faces_;
    std::unordered_map<std::string, PdfFace*> byKey_;
    std::unordered_map<QRawFont, PdfFace*, RawHash> byEngine_;
    QRawFont lastRaw_;
    PdfFace* last_ = nullptr;
    PdfFont* lastFont_ = nullptr;
    long long lastSizeQ_ = 0;
    int fontCount_ = 0;
};

} // namespace velm::pdf
