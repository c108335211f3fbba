// Text measurement on the printer canvas, and the one font resolver that
// measuring and page playback share. A font is described as LOGFONT does
// it, with heights in device pixels of the device being measured for;
// widths come back in the same pixels. The faces "Arial", "Times New
// Roman", "Courier New" and "MS Sans Serif" resolve to installed
// metric-compatible faces; faces are chosen by fontconfig and read from
// their files. Needs a QGuiApplication: every function throws VelmError
// when none exists.
//
// Sizes: faces are set at whole pixel sizes, so a positive (cell) height
// becomes the em height nearest to cell / ((ascent + descent) / em) of the
// face; the cell height then reported may differ from the request by a
// pixel. lfWidth, escapement and orientation do not change widths
// (advances run along the baseline; the engine always asks for width 0).
//
// Characters: one the face lacks comes from the first installed face in
// fontconfig's order for the face that has it; one that no installed face
// has is the face's missing-glyph box, and is noted for
// takeUncoveredCharacters(). Control characters, and default-ignorable ones
// the face lacks, draw nothing and take no room. Results are cached per
// thread, per font and character.
#pragma once

#include "platform/metafile/gdi_types.h"

#include <QRawFont>
#include <QString>

#include <array>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velm {

// Where one character's glyph comes from.
struct Glyph {
    std::uint32_t index = 0;
    std::uint16_t face = 0; // 0: the chosen face, n: its n-th fallback face
    bool drawn = false;     // false: nothing is drawn and no room taken
    bool covered = true;    // false: the missing-glyph box stands in
    double advance = 0;     // pixels, unrounded
};

// One LOGFONT (underline and strike-out aside) resolved to faces at its
// pixel size, with its glyph lookups.
class ResolvedFont {
public:
    explicit ResolvedFont(const LogFont& font);

    // The family fontconfig chose, and the em height in pixels.
    const QString& family() const { return family_; }
    int em() const { return em_; }
    const QRawFont& face(std::uint16_t index) const { return index == 0 ? raw_ : fallbacks_[index - 1u].raw; }
    double ascent() const { return ascent_; }
    double descent() const { return descent_; }
    int cellHeight() const { return cell_; }
    // Underline and strike-out as GDI places them, from the face's own
    // tables: offsets of the strokes' tops from the baseline (positive =
    // below) and their heights.
    struct Strokes {
        double underlineTop = 0, underlineHeight = 1;
        double strikeTop = 0, strikeHeight = 1;
    };
    const Strokes& strokes() const { return strokes_; }

    // Inline for a known character below U+0100 that the face covers:
    // measuring and playback ask once a character.
    Glyph glyph(char32_t c) { return c < latin1_.size() && latin1Covered_[c] ? latin1_[c] : glyphSlow(c); }
    // The advance a page records: the glyph's, rounded on its own.
    int advance(char32_t c) { return c < latin1_.size() && latin1Covered_[c] ? latin1Rounded_[c] : advanceSlow(c); }

    // For the shaper: the faces that hold c, in fallback order (the chosen
    // face first, then fontconfig's order; faces are added on first need),
    // and the family a fallback face (index >= 1) was resolved from.
    const std::vector<std::uint16_t>& facesHolding(char32_t c);
    const QString& fallbackFamily(std::uint16_t face) const { return fallbacks_[face - 1u].family; }

private:
    struct Fallback {
        QString family;
        QRawFont raw;
    };
    Glyph glyphSlow(char32_t c);
    int advanceSlow(char32_t c);
    Glyph resolve(char32_t c);
    Glyph fromFallback(char32_t c);
    // The index of a fallback family's face, added when new; 0 when the table is full.
    std::uint16_t fallbackFace(const QString& family);
    void readDecorations();

    QString family_;
    int weight_ = 400;
    bool italic_ = false;
    int em_ = 0;
    QRawFont raw_;
    std::vector<Fallback> fallbacks_;
    double ascent_ = 0, descent_ = 0;
    int cell_ = 0;
    Strokes strokes_;
    std::array<Glyph, 256> latin1_{};
    std::array<bool, 256> latin1Known_{};
    std::array<bool, 256> latin1Covered_{}; // known and covered: answered inline
    std::array<int, 256> latin1Rounded_{};  // the rounded advance, once known
    std::unordered_map<char32_t, Glyph> others_;
    std::unordered_map<char32_t, std::vector<std::uint16_t>> facesHolding_;
};

// The calling thread's resolution of a font. The reference stays valid
// until the thread's next call.
ResolvedFont& resolvedFont(const LogFont& font);

// Characters that no installed face has, met since the last call, in the
// order first met, each once (at most 64).
std::vector<char32_t> takeUncoveredCharacters();

// Integer advance of every UTF-16 unit, as the page records them: each
// character's design advance at the pixel size, rounded on its own. A
// surrogate pair gets the character's advance on its first unit and 0 on
// its second.
std::vector<int> textAdvances(const LogFont& font, std::u16string_view text);
// Default-ignorable characters (joiners, marks of direction, variation
// selectors, tags): drawn only by a face that has them.
bool isDefaultIgnorable(char32_t c);

// Sum of textAdvances: the width that wrapping and alignment use.
int textWidth(const LogFont& font, std::u16string_view text);

} // namespace velm
