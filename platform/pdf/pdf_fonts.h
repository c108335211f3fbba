// The PDF writer's fonts (pdf_canvas.cpp draws with them): each face is
// one Type0 font, embedded once as a subset that keeps glyph ids as CIDs,
// with a ToUnicode map from the characters the glyphs were drawn for and
// /W widths equal to the program's own advances. Also the PDF number syntax
// both files write. Not for use outside platform/.
#pragma once

#include <QRawFont>

#include <cstdint>
#include <functional>
#include <memory>
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

struct PdfFace {
    int index = 0;        // 1, 2, ... in the order faces were met
    bool outlines = false; // tables unreadable: glyphs are drawn as paths
    bool cff = false;      // CFF outlines (else TrueType glyf)
    QRawFont raw;          // any size of the face: its tables
    unsigned unitsPerEm = 0;
    std::vector<std::uint16_t> advances; // design units by glyph id (hmtx)
    // By glyph id: kUnused, or the character the glyph was first drawn for
    // (kNoChar when none was given).
    static constexpr char32_t kUnused = 0xFFFFFFFF;
    static constexpr char32_t kNoChar = 0;
    std::vector<char32_t> chars;
    // Glyphs that stand for several characters (read in this order) where
    // no single character was given for them.
    std::unordered_map<std::uint32_t, std::u32string> sequences;

    // One font (resource /F<index>) for every size the face is drawn at:
    // converters that turn each PDF font into a font program of its own
    // give them all the program's one name, and a second distillation then
    // mixes up the glyphs of same-named fonts. 0 until the face draws text.
    int fontObject = 0;

    std::size_t glyphCount() const { return advances.size(); }
    // A glyph's advance in pixels at pixelsPerUnit(size), as the font states it.
    double pixelsPerUnit(double size) const { return size / unitsPerEm; }
    double pixelAdvance(std::uint32_t glyph, double perUnit) const { return advances[glyph] * perUnit; }
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

    // The face's font object, allocated from the sink the first time.
    int fontFor(PdfFace& face, ObjectSink& sink)
    {
        if (face.fontObject == 0)
            face.fontObject = sink.allocate();
        return face.fontObject;
    }

    bool anyCff() const;
    // /F<index> references of the fonts that drew glyphs, for the resources.
    void appendResources(std::string& out) const;
    // Writes every used face's font objects. A face the subsetter rejects is
    // embedded whole.
    void write(ObjectSink& sink);

private:
    PdfFace& lookup(const QRawFont& raw);

    struct RawHash {
        std::size_t operator()(const QRawFont& f) const noexcept { return qHash(f); }
    };
    std::vector<std::unique_ptr<PdfFace>> faces_;
    std::unordered_map<std::string, PdfFace*> byKey_;
    std::unordered_map<QRawFont, PdfFace*, RawHash> byEngine_;
    QRawFont lastRaw_;
    PdfFace* last_ = nullptr;
};

} // namespace velm::pdf
