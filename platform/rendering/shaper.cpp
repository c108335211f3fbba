#include "platform/rendering/shaper.h"

#include "platform/core/codepage.h"
#include "platform/rendering/fonts.h"

#include <QByteArray>
#include <QRawFont>
#include <hb-cplusplus.hh>
#include <hb.h>
#include <unicode/ubidi.h>
#include <unicode/ubrk.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <unordered_map>

namespace velm {
namespace {

// HarfBuzz faces kept per thread; past this the cache starts again.
constexpr std::size_t kMaxFaces = 256;
// The longest face name a stored page's LOGFONT holds: a face it cannot
// name could not be played back.
constexpr qsizetype kMaxFaceName = 31;

bool isControl(char16_t u) { return u < 0x20 || (u >= 0x7F && u < 0xA0); }

// Right-to-left letters and digits, marks of direction, embeddings and
// isolates: a line with none of them is all at level 0.
bool asksForBidi(char16_t u)
{
    return (u >= 0x0590 && u <= 0x08FF) || (u >= 0x200E && u <= 0x200F) || (u >= 0x202A && u <= 0x202E) ||
           (u >= 0x2066 && u <= 0x2069) || (u >= 0xFB1D && u <= 0xFDFF) || (u >= 0xFE70 && u <= 0xFEFE) ||
           (u >= 0xD802 && u <= 0xD803) || (u >= 0xD83A && u <= 0xD83B); // U+10800..10FFF, U+1E800..1EFFF
}

bool joinsNeighbours(hb_script_t s)
{
    return s == HB_SCRIPT_COMMON || s == HB_SCRIPT_INHERITED || s == HB_SCRIPT_UNKNOWN;
}

// Scripts the fast path also draws: shaped without kerning and ligatures,
// they look as they do there.
bool plainScript(hb_script_t s)
{
    return s == HB_SCRIPT_LATIN || s == HB_SCRIPT_GREEK || s == HB_SCRIPT_CYRILLIC || joinsNeighbours(s);
}

constexpr hb_feature_t kPlainFeatures[] = {
    {HB_TAG('k', 'e', 'r', 'n'), 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END},
    {HB_TAG('l', 'i', 'g', 'a'), 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END},
};

// Qt gives a face's tables, not its file: HarfBuzz reads them on demand.
hb_blob_t* tableOf(hb_face_t*, hb_tag_t tag, void* user)
{
    if (tag == HB_TAG_NONE)
        return nullptr;
    const char name[4] = {char(tag >> 24), char(tag >> 16), char(tag >> 8), char(tag)};
    auto* table = new QByteArray(static_cast<const QRawFont*>(user)->fontTable(name));
    if (table->isEmpty()) {
        delete table;
        return nullptr;
    }
    return hb_blob_create(table->constData(), static_cast<unsigned>(table->size()), HB_MEMORY_MODE_READONLY, table,
                          [](void* p) { delete static_cast<QByteArray*>(p); });
}

struct HbFace {
    explicit HbFace(const QRawFont& raw)
        : face(hb_face_create_for_tables(tableOf, new QRawFont(raw), [](void* p) { delete static_cast<QRawFont*>(p); })),
          font(hb_font_create(face.get())), unitsPerEm(std::max(1u, hb_face_get_upem(face.get())))
    {
        const int upem = static_cast<int>(unitsPerEm);
        hb_font_set_scale(font.get(), upem, upem); // positions in font units, scaled per size below
    }
    hb::unique_ptr<hb_face_t> face;
    hb::unique_ptr<hb_font_t> font;
    unsigned unitsPerEm;
};

struct RawHash {
    std::size_t operator()(const QRawFont& f) const noexcept { return qHash(f); }
};

// A stretch of the line with one level, script and face.
struct Piece {
    std::uint32_t start = 0, length = 0;
    UBiDiLevel level = 0;
    hb_script_t script = HB_SCRIPT_COMMON;
    std::uint16_t face = 0;
};

// One thread's shaping state: buffers, the bidi object and the HarfBuzz
// faces, reused from line to line.
class ThreadShaper {
public:
    static ThreadShaper& instance()
    {
        thread_local ThreadShaper shaper;
        return shaper;
    }

    void shape(ResolvedFont& font, std::u16string_view text, Direction paragraph, ShapedLine& out)
    {
        const std::size_t n = text.size();
        units_.assign(text.begin(), text.end());
        for (char16_t& u : units_)
            if (isControl(u))
                u = u'\u200B'; // nothing drawn, no room taken, as the fast path does
        const bool bidi = resolveLevels(paragraph, out);
        resolveScripts();
        itemize(font);
        out.advances.assign(n, 0);
        out.runs.resize(pieces_.size());
        for (std::size_t i = 0; i < pieces_.size(); ++i)
            shapePiece(font, pieces_[i], out.runs[i], out.advances);
        if (bidi)
            toVisualOrder(out.runs);
    }

private:
    CodePoint at(std::size_t i) const { return codePointAt(units_, i); }
    bool ignorable(char32_t c) const { return isDefaultIgnorable(c); }

    // Levels by the bidi algorithm, the paragraph level by rules P2-P3;
    // false when the line needs none (all level 0).
    bool resolveLevels(Direction paragraph, ShapedLine& out)
    {
        const std::size_t n = units_.size();
        levels_.assign(n, 0);
        out.rightToLeft = false;
        if (paragraph != Direction::RightToLeft && std::none_of(units_.begin(), units_.end(), asksForBidi))
            return false;
        const UBiDiLevel level = paragraph == Direction::RightToLeft ? 1
                                 : paragraph == Direction::LeftToRight ? 0
                                                                       : UBIDI_DEFAULT_LTR;
        UErrorCode status = U_ZERO_ERROR;
        ubidi_setPara(bidi_.getAlias(), units_.data(), static_cast<int32_t>(n), level, nullptr, &status);
        const UBiDiLevel* levels = U_SUCCESS(status) ? ubidi_getLevels(bidi_.getAlias(), &status) : nullptr;
        if (!levels || U_FAILURE(status))
            return false; // drawn left to right rather than not at all
        std::copy(levels, levels + n, levels_.begin());
        out.rightToLeft = (ubidi_getParaLevel(bidi_.getAlias()) & 1) != 0;
        return true;
    }

    // The script of every unit; Common and Inherited take the script before
    // them at their level, or the one after them when none is before.
    void resolveScripts()
    {
        const std::size_t n = units_.size();
        hb_unicode_funcs_t* funcs = hb_unicode_funcs_get_default();
        scripts_.resize(n);
        for (std::size_t i = 0; i < n;) {
            const CodePoint c = at(i);
            std::fill_n(scripts_.begin() + static_cast<std::ptrdiff_t>(i), c.units, hb_unicode_script(funcs, c.value));
            i += c.units;
        }
        for (std::size_t start = 0; start < n;) {
            std::size_t end = start;
            while (end < n && levels_[end] == levels_[start])
                ++end;
            hb_script_t last = HB_SCRIPT_INVALID;
            for (std::size_t i = start; i < end; ++i) {
                if (joinsNeighbours(scripts_[i]))
                    scripts_[i] = last;
                else
                    last = scripts_[i];
            }
            hb_script_t next = HB_SCRIPT_COMMON;
            for (std::size_t i = end; i-- > start;) {
                if (scripts_[i] == HB_SCRIPT_INVALID)
                    scripts_[i] = next;
                else
                    next = scripts_[i];
            }
            start = end;
        }
    }

    // Pieces of one level and script, each in one face.
    void itemize(ResolvedFont& font)
    {
        pieces_.clear();
        const std::size_t n = units_.size();
        for (std::size_t start = 0; start < n;) {
            std::size_t end = start + 1;
            while (end < n && levels_[end] == levels_[start] && scripts_[end] == scripts_[start])
                ++end;
            chooseFaces(font, Piece{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end - start),
                                    levels_[start], scripts_[start], 0});
            start = end;
        }
    }

    bool nameable(const ResolvedFont& font, std::uint16_t face) const
    {
        return face == 0 || font.fallbackFamily(face).size() <= kMaxFaceName;
    }

    // Where face stops holding the characters from `from` on (ignorable
    // ones need no glyph).
    std::size_t coveredUntil(ResolvedFont& font, std::uint16_t face, std::size_t from, std::size_t end) const
    {
        std::size_t i = from;
        while (i < end) {
            const CodePoint c = at(i);
            if (!ignorable(c.value)) {
                const std::vector<std::uint16_t>& faces = font.facesHolding(c.value);
                if (std::find(faces.begin(), faces.end(), face) == faces.end())
                    break;
            }
            i += c.units;
        }
        return i;
    }

    void addPiece(Piece piece)
    {
        if (!pieces_.empty()) {
            Piece& last = pieces_.back();
            if (last.face == piece.face && last.level == piece.level && last.script == piece.script &&
                last.start + last.length == piece.start) {
                last.length += piece.length;
                return;
            }
        }
        pieces_.push_back(piece);
    }

    // The first face of the fallback order that holds the whole item; else
    // the item is split, each part taking the face that holds most of what
    // follows.
    void chooseFaces(ResolvedFont& font, Piece item)
    {
        const std::size_t end = item.start + item.length;
        for (std::size_t from = item.start; from < end;) {
            std::size_t first = from;
            while (first < end && ignorable(at(first).value))
                first += at(first).units;
            if (first == end) {
                addPiece({static_cast<std::uint32_t>(from), static_cast<std::uint32_t>(end - from), item.level,
                          item.script, pieces_.empty() || from == item.start ? std::uint16_t(0) : pieces_.back().face});
                return;
            }
            const CodePoint c = at(first);
            std::uint16_t best = 0;
            std::size_t bestEnd = 0;
            for (std::uint16_t face : font.facesHolding(c.value)) {
                if (!nameable(font, face))
                    continue;
                const std::size_t until = coveredUntil(font, face, from, end);
                if (until > bestEnd) {
                    best = face;
                    bestEnd = until;
                }
                if (until == end)
                    break;
            }
            if (bestEnd == 0) {
                font.glyph(c.value); // no face has it: the chosen face's box, and the job hears of it
                bestEnd = first + c.units;
            }
            addPiece({static_cast<std::uint32_t>(from), static_cast<std::uint32_t>(bestEnd - from), item.level,
                      item.script, best});
            from = bestEnd;
        }
    }

    HbFace& hbFace(const QRawFont& raw)
    {
        if (lastRaw_ && raw == lastRaw_->first)
            return *lastRaw_->second;
        auto it = faces_.find(raw);
        if (it == faces_.end()) {
            if (faces_.size() >= kMaxFaces)
                faces_.clear();
            it = faces_.emplace(raw, std::make_unique<HbFace>(raw)).first;
        }
        lastRaw_ = &*it;
        return *it->second;
    }

    void shapePiece(ResolvedFont& font, const Piece& piece, ShapedRun& run, std::vector<int>& advances)
    {
        const std::size_t n = units_.size();
        const QRawFont& raw = font.face(piece.face);
        const HbFace& face = hbFace(raw);
        hb_buffer_t* buffer = buffer_.get();
        hb_buffer_clear_contents(buffer);
        hb_buffer_add_utf16(buffer, reinterpret_cast<const std::uint16_t*>(units_.data()), static_cast<int>(n),
                            piece.start, static_cast<int>(piece.length));
        const bool rtl = (piece.level & 1) != 0;
        hb_buffer_set_direction(buffer, rtl ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
        hb_buffer_set_script(buffer, piece.script);
        unsigned flags = HB_BUFFER_FLAG_REMOVE_DEFAULT_IGNORABLES;
        if (piece.start == 0)
            flags |= HB_BUFFER_FLAG_BOT;
        if (piece.start + piece.length == n)
            flags |= HB_BUFFER_FLAG_EOT;
        hb_buffer_set_flags(buffer, static_cast<hb_buffer_flags_t>(flags));
        // A cluster is a grapheme: a mark goes with its base, so that the
        // text layer never gives a mark (which sits above or below the
        // line) to a reader as a character of its own.
        hb_buffer_set_cluster_level(buffer, HB_BUFFER_CLUSTER_LEVEL_MONOTONE_GRAPHEMES);
        const bool plain = plainScript(piece.script);
        hb_shape(face.font.get(), buffer, plain ? kPlainFeatures : nullptr, plain ? std::size(kPlainFeatures) : 0);

        unsigned count = 0;
        const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
        const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, &count);
        const double scale = raw.pixelSize() / face.unitsPerEm;
        const auto px = [scale](hb_position_t v) { return static_cast<int>(std::nearbyint(v * scale)); };
        run.face = piece.face;
        run.level = piece.level;
        run.start = piece.start;
        run.length = piece.length;
        run.glyphs.resize(count);
        for (unsigned k = 0; k < count; ++k) {
            ShapedGlyph& g = run.glyphs[k];
            g.id = info[k].codepoint;
            g.cluster = std::min<std::uint32_t>(info[k].cluster, static_cast<std::uint32_t>(n - 1));
            g.advance = px(pos[k].x_advance);
            g.offsetX = px(pos[k].x_offset);
            g.offsetY = -px(pos[k].y_offset);
            advances[g.cluster] += g.advance;
        }
    }

    // Rule L2: runs from logical to visual order by their levels.
    void toVisualOrder(std::vector<ShapedRun>& runs)
    {
        const std::size_t count = runs.size();
        runLevels_.resize(count);
        order_.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            runLevels_[i] = runs[i].level;
        ubidi_reorderVisual(runLevels_.data(), static_cast<int32_t>(count), order_.data());
        visual_.clear();
        for (std::size_t v = 0; v < count; ++v)
            visual_.push_back(std::move(runs[static_cast<std::size_t>(order_[v])]));
        runs.swap(visual_);
    }

    hb::unique_ptr<hb_buffer_t> buffer_{hb_buffer_create()};
    icu::LocalUBiDiPointer bidi_{ubidi_open()};
    std::unordered_map<QRawFont, std::unique_ptr<HbFace>, RawHash> faces_;
    const std::pair<const QRawFont, std::unique_ptr<HbFace>>* lastRaw_ = nullptr;
    std::u16string units_;
    std::vector<UBiDiLevel> levels_;
    std::vector<hb_script_t> scripts_;
    std::vector<Piece> pieces_;
    std::vector<UBiDiLevel> runLevels_;
    std::vector<int32_t> order_;
    std::vector<ShapedRun> visual_;
};

} // namespace

int ShapedLine::width() const
{
    const long long sum = std::accumulate(advances.begin(), advances.end(), 0LL);
    return static_cast<int>(std::clamp<long long>(sum, -0x7FFFFFFF, 0x7FFFFFFF));
}

bool takesFastPath(std::u16string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char16_t u) { return u < 0x300; });
}

void shapeLine(const LogFont& font, std::u16string_view text, ShapedLine& out, Direction paragraph)
{
    out.runs.clear();
    out.rightToLeft = false;
    ResolvedFont& resolved = resolvedFont(font);
    // The fast path in the same pass that finds out whether it applies:
    // below U+0300 a unit is a character, measured as textAdvances does.
    out.advances.resize(text.size());
    std::size_t i = 0;
    for (; i < text.size() && text[i] < 0x300; ++i)
        out.advances[i] = resolved.advance(text[i]);
    out.fast = i == text.size() && paragraph != Direction::RightToLeft;
    if (!out.fast)
        ThreadShaper::instance().shape(resolved, text, paragraph, out);
}

Direction paragraphDirection(std::u16string_view text)
{
    switch (ubidi_getBaseDirection(text.data(), static_cast<int32_t>(text.size()))) {
    case UBIDI_LTR:
        return Direction::LeftToRight;
    case UBIDI_RTL:
        return Direction::RightToLeft;
    default:
        return Direction::FromText;
    }
}

namespace {

// Characters of scripts that write no spaces between words: a line may
// break beside them wherever ICU allows.
bool breaksBetweenWords(UChar32 c)
{
    switch (u_getIntPropertyValue(c, UCHAR_LINE_BREAK)) {
    case U_LB_COMPLEX_CONTEXT:
    case U_LB_IDEOGRAPHIC:
    case U_LB_CONDITIONAL_JAPANESE_STARTER:
        return true;
    default:
        return false;
    }
}

UChar32 codePointBefore(std::u16string_view text, std::size_t end)
{
    UChar32 c = 0;
    std::size_t at = end;
    U16_PREV(text.data(), 0, at, c);
    return c;
}

} // namespace

void lineBreaks(std::u16string_view text, std::vector<std::uint32_t>& out)
{
    out.clear();
    thread_local icu::LocalUBreakIteratorPointer iterator;
    UErrorCode status = U_ZERO_ERROR;
    if (!iterator.isValid())
        iterator.adoptInstead(ubrk_open(UBRK_LINE, "", nullptr, 0, &status));
    if (iterator.isValid())
        ubrk_setText(iterator.getAlias(), text.data(), static_cast<int32_t>(text.size()), &status);
    if (iterator.isValid() && U_SUCCESS(status)) {
        for (int32_t b = ubrk_following(iterator.getAlias(), 0); b != UBRK_DONE && b < static_cast<int32_t>(text.size());
             b = ubrk_next(iterator.getAlias())) {
            const auto at = static_cast<std::size_t>(b);
            if (text[at - 1] == u' ' || breaksBetweenWords(codePointBefore(text, at)) ||
                breaksBetweenWords(codePointAt(text, at).value))
                out.push_back(static_cast<std::uint32_t>(at));
        }
    }
    out.push_back(static_cast<std::uint32_t>(text.size()));
}

LogFont faceLogFont(const LogFont& font, std::uint16_t face)
{
    if (face == 0)
        return font;
    ResolvedFont& resolved = resolvedFont(font);
    LogFont named = font;
    named.faceName = resolved.fallbackFamily(face).toStdU16String();
    named.height = -resolved.em(); // the em the fallback face was drawn at
    return named;
}

} // namespace velm
