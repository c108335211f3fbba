#include "platform/rendering/fonts.h"
#include "platform/core/codepage.h"

#include "platform/core/errors.h"
#include "platform/rendering/face_files.h"
#include "platform/rendering/font_fallback.h"
#include "platform/rendering/sfnt.h"

#include <QFont>
#include <QGuiApplication>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <unordered_map>
#include <utility>

namespace velm {
namespace {

// GDI never gets below one pixel or above what a page can hold; the clamp
// also keeps |INT_MIN| and absurd heights from reaching Qt.
constexpr int kMinEm = 1;
constexpr int kMaxEm = 16384;
// LOGFONT height 0 asks for the default size: a 16-pixel cell.
constexpr int kDefaultCellHeight = 16;
// Size at which the cell-to-em ratio of a face is measured. Without hinting
// Qt reports design metrics, so the ratio is exact to a few parts in 10^5.
constexpr int kReferenceEm = 2048;

QString familyFor(std::u16string_view face)
{
    QString name = QString::fromUtf16(face.data(), static_cast<qsizetype>(face.size())).trimmed();
    struct Substitute {
        const char* windowsFace;
        const char* installedFace;
    };
    // fonts-liberation2 carries metric-compatible twins of the Windows faces;
    // "MS Sans Serif" is a bitmap face that fontconfig would send to DejaVu.
    static constexpr Substitute table[] = {
        {"Arial", "Liberation Sans"},
        {"Times New Roman", "Liberation Serif"},
        {"Courier New", "Liberation Mono"},
        {"MS Sans Serif", "Liberation Sans"},
    };
    if (name.isEmpty())
        return QStringLiteral("Liberation Sans");
    for (const Substitute& s : table)
        if (name.compare(QLatin1String(s.windowsFace), Qt::CaseInsensitive) == 0)
            return QLatin1String(s.installedFace);
    return name;
}

int qtWeight(int lfWeight)
{
    if (lfWeight <= 0) // FW_DONTCARE
        return 400;
    return std::clamp(lfWeight, 1, 1000);
}

// Qt's own matching, for the faces it cannot read from their files.
QFont baseFont(const QString& family, int weight, bool italic)
{
    QFont font(family);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(italic);
    font.setKerning(false);
    font.setHintingPreference(QFont::PreferNoHinting);
    // Outline faces only, so advances scale linearly with the size. No
    // merging: the resolver picks the faces for missing characters itself.
    font.setStyleStrategy(QFont::StyleStrategy(QFont::PreferOutline | QFont::ForceOutline | QFont::NoFontMerging));
    return font;
}

void requireApplication()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw VelmError("Text measurement needs a running QGuiApplication");
}

// Characters that take no room: controls, and the default-ignorable ones
// (joiners, marks of direction, variation selectors, tags) when the face
// lacks them.
bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }
bool isIgnorable(char32_t c)
{
    return c == 0x00AD || c == 0x034F || c == 0x061C || (c >= 0x115F && c <= 0x1160) || (c >= 0x17B4 && c <= 0x17B5) ||
           (c >= 0x180B && c <= 0x180F) || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x206F) || c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF ||
           c == 0xFFA0 || (c >= 0x1BCA0 && c <= 0x1BCA3) || (c >= 0x1D173 && c <= 0x1D17A) ||
           (c >= 0xE0000 && c <= 0xE0FFF);
}

// The glyph of c in raw, or 0.
std::uint32_t glyphIndex(const QRawFont& raw, char32_t c)
{
    if (!raw.supportsCharacter(static_cast<uint>(c)))
        return 0;
    QChar units[2];
    int count = 1;
    if (c > 0xFFFF) {
        units[0] = QChar::highSurrogate(c);
        units[1] = QChar::lowSurrogate(c);
        count = 2;
    } else {
        units[0] = QChar(static_cast<char16_t>(c));
    }
    quint32 glyphs[2] = {0, 0};
    int n = 2;
    return raw.glyphIndexesForChars(units, count, glyphs, &n) && n >= 1 ? glyphs[0] : 0;
}

double advanceOf(const QRawFont& raw, std::uint32_t glyph)
{
    QPointF advance;
    raw.advancesForGlyphIndexes(&glyph, &advance, 1);
    return advance.x();
}

// Characters no face has, for the job's warning.
class Uncovered {
public:
    static Uncovered& instance()
    {
        static Uncovered uncovered;
        return uncovered;
    }
    void note(char32_t c)
    {
        std::lock_guard lock(mutex_);
        if (found_.size() < kKept && std::find(found_.begin(), found_.end(), c) == found_.end())
            found_.push_back(c);
    }
    std::vector<char32_t> take()
    {
        std::lock_guard lock(mutex_);
        return std::exchange(found_, {});
    }

private:
    static constexpr std::size_t kKept = 64;
    std::mutex mutex_;
    std::vector<char32_t> found_;
};

struct FontKey {
    std::u16string face;
    int height;
    int weight;
    bool italic;
    bool operator==(const FontKey&) const = default;
};

struct FontKeyHash {
    std::size_t operator()(const FontKey& k) const noexcept
    {
        std::size_t h = std::hash<std::u16string>()(k.face);
        auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
        mix(static_cast<std::size_t>(k.height));
        mix(static_cast<std::size_t>(k.weight));
        mix(k.italic ? 1u : 0u);
        return h;
    }
};

// A face at the reference em, with its cell-to-em ratio.
struct Reference {
    QRawFont raw;
    double cellPerEm = 1.0;
};

// One thread's fonts (QFont and QRawFont belong to the thread that uses
// them). A page with endless sizes is bounded: past kMaxFonts the cache
// starts again.
class FontCache {
public:
    static FontCache& forThisThread()
    {
        thread_local FontCache cache;
        return cache;
    }

    ResolvedFont& lookup(const LogFont& lf)
    {
        // Text switches among a few faces (plain, bold, italic) all the time.
        for (std::size_t i = 0; i < recent_.size() && recent_[i].font; ++i)
            if (keyMatches(*recent_[i].key, lf)) {
                std::rotate(recent_.begin(), recent_.begin() + static_cast<std::ptrdiff_t>(i),
                            recent_.begin() + static_cast<std::ptrdiff_t>(i) + 1);
                return *recent_[0].font;
            }
        FontKey key{lf.faceName, lf.height, lf.weight, lf.italic};
        auto it = fonts_.find(key);
        if (it == fonts_.end()) {
            if (fonts_.size() >= kMaxFonts) {
                fonts_.clear();
                recent_ = {};
            }
            it = fonts_.emplace(std::move(key), std::make_unique<ResolvedFont>(lf)).first;
        }
        std::rotate(recent_.begin(), recent_.end() - 1, recent_.end());
        recent_[0] = {&it->first, it->second.get()};
        return *recent_[0].font;
    }

    // The face for a family and style at an em, with the family it was
    // chosen as.
    std::pair<QString, QRawFont> face(const QString& family, int weight, bool italic, int em)
    {
        const FaceFile file = matchFace(family, weight, italic);
        QRawFont raw = reference(file, weight, italic).raw;
        raw.setPixelSize(em);
        return {file.family.isEmpty() ? family : file.family, raw};
    }

    int emFor(int height, const QString& family, int weight, bool italic)
    {
        if (height < 0)
            return static_cast<int>(std::clamp<long long>(-static_cast<long long>(height), kMinEm, kMaxEm));
        const int cell = height == 0 ? kDefaultCellHeight : height;
        const double ratio = reference(matchFace(family, weight, italic), weight, italic).cellPerEm;
        const double em = std::nearbyint(cell / ratio);
        return static_cast<int>(std::clamp(em, double(kMinEm), double(kMaxEm)));
    }

private:
    static constexpr std::size_t kMaxFonts = 512;

    static bool keyMatches(const FontKey& key, const LogFont& lf)
    {
        return key.height == lf.height && key.weight == lf.weight && key.italic == lf.italic && key.face == lf.faceName;
    }

    // Each face once at the reference em: its ratio, and the face that
    // other sizes are made from without asking fontconfig again.
    const Reference& reference(const FaceFile& file, int weight, bool italic)
    {
        auto [it, added] = references_.try_emplace(std::make_pair(file.path, file.index));
        Reference& found = it->second;
        if (!added)
            return found;
        found.raw = loadFace(file, kReferenceEm);
        // Qt's matching is asked only for an installed face (with no face
        // at all it makes a stand-in that no PDF can name).
        if (!found.raw.isValid() && !file.path.isEmpty()) {
            QFont font = baseFont(file.family, weight, italic);
            font.setPixelSize(kReferenceEm);
            found.raw = QRawFont::fromFont(font);
        }
        const double ratio = (found.raw.ascent() + found.raw.descent()) / kReferenceEm;
        // A face without usable metrics: treat the cell as the em.
        found.cellPerEm = ratio > 0.1 && ratio < 10 ? ratio : 1.0;
        return found;
    }

    std::unordered_map<FontKey, std::unique_ptr<ResolvedFont>, FontKeyHash> fonts_;
    std::map<std::pair<QByteArray, int>, Reference> references_;
    struct Recent {
        const FontKey* key = nullptr;
        ResolvedFont* font = nullptr;
    };
    std::array<Recent, 4> recent_{}; // the last fonts looked up, latest first
};

} // namespace

ResolvedFont::ResolvedFont(const LogFont& lf) : weight_(qtWeight(lf.weight)), italic_(lf.italic)
{
    FontCache& cache = FontCache::forThisThread();
    const QString requested = familyFor(lf.faceName);
    em_ = cache.emFor(lf.height, requested, weight_, italic_);
    std::tie(family_, raw_) = cache.face(requested, weight_, italic_, em_);
    if (!raw_.isValid())
        throw VelmError("No font could be loaded for \"" + requested.toStdString() + "\" (fc-list lists the fonts installed)");
    ascent_ = raw_.ascent();
    descent_ = raw_.descent();
    cell_ = static_cast<int>(std::nearbyint(ascent_)) + static_cast<int>(std::nearbyint(descent_));
    readDecorations();
}

void ResolvedFont::readDecorations()
{
    using sfnt::s16;
    const double scale = raw_.unitsPerEm() > 0 ? raw_.pixelSize() / raw_.unitsPerEm() : 0;
    // post: underlinePosition (top of the stroke, negative below the
    // baseline) and underlineThickness; Qt's own values otherwise.
    const QByteArray post = raw_.fontTable("post");
    if (scale > 0 && post.size() >= 12 && s16(post, 10) > 0) {
        strokes_.underlineTop = -s16(post, 8) * scale;
        strokes_.underlineHeight = s16(post, 10) * scale;
    } else {
        strokes_.underlineTop = raw_.underlinePosition();
        strokes_.underlineHeight = std::max(1.0, raw_.lineThickness());
    }
    // OS/2: yStrikeoutSize and yStrikeoutPosition (top of the stroke above the baseline).
    const QByteArray os2 = raw_.fontTable("OS/2");
    if (scale > 0 && os2.size() >= 30 && s16(os2, 26) > 0) {
        strokes_.strikeHeight = s16(os2, 26) * scale;
        strokes_.strikeTop = -s16(os2, 28) * scale;
    } else {
        strokes_.strikeHeight = strokes_.underlineHeight;
        strokes_.strikeTop = -ascent_ / 3;
    }
}

Glyph ResolvedFont::glyphSlow(char32_t c)
{
    Glyph* slot;
    if (c < latin1_.size()) {
        slot = &latin1_[c];
        if (!latin1Known_[c]) {
            *slot = resolve(c);
            latin1Rounded_[c] = static_cast<int>(std::nearbyint(slot->advance));
            latin1Known_[c] = true;
            latin1Covered_[c] = slot->covered;
        }
    } else {
        auto it = others_.find(c);
        if (it == others_.end())
            it = others_.emplace(c, resolve(c)).first;
        slot = &it->second;
    }
    if (!slot->covered)
        Uncovered::instance().note(c); // every job that meets it hears of it
    return *slot;
}

int ResolvedFont::advanceSlow(char32_t c) { return static_cast<int>(std::nearbyint(glyphSlow(c).advance)); }

Glyph ResolvedFont::resolve(char32_t c)
{
    if (isControl(c))
        return {};
    if (const std::uint32_t index = glyphIndex(raw_, c))
        return {index, 0, true, true, advanceOf(raw_, index)};
    if (isIgnorable(c))
        return {};
    return fromFallback(c);
}

Glyph ResolvedFont::fromFallback(char32_t c)
{
    for (const QString& family : fallbackFamilies(family_, weight_, italic_, c)) {
        const std::uint16_t face = fallbackFace(family);
        if (face == 0)
            break;
        // Qt may pick another face of the family than fontconfig ranked.
        if (const std::uint32_t index = glyphIndex(this->face(face), c))
            return {index, face, true, true, advanceOf(this->face(face), index)};
    }
    return {0, 0, true, false, advanceOf(raw_, 0)};
}

std::uint16_t ResolvedFont::fallbackFace(const QString& family)
{
    auto it = std::find_if(fallbacks_.begin(), fallbacks_.end(), [&](const Fallback& f) { return f.family == family; });
    if (it == fallbacks_.end()) {
        if (fallbacks_.size() >= 0xFFFE)
            return 0;
        fallbacks_.push_back({family, FontCache::forThisThread().face(family, weight_, italic_, em_).second});
        it = fallbacks_.end() - 1;
    }
    return static_cast<std::uint16_t>(it - fallbacks_.begin() + 1);
}

const std::vector<std::uint16_t>& ResolvedFont::facesHolding(char32_t c)
{
    auto [it, added] = facesHolding_.try_emplace(c);
    if (!added)
        return it->second;
    std::vector<std::uint16_t>& faces = it->second;
    if (glyphIndex(raw_, c))
        faces.push_back(0);
    for (const QString& family : fallbackFamilies(family_, weight_, italic_, c)) {
        const std::uint16_t face = fallbackFace(family);
        if (face == 0)
            break;
        if (glyphIndex(this->face(face), c))
            faces.push_back(face);
    }
    return faces;
}

ResolvedFont& resolvedFont(const LogFont& font)
{
    requireApplication();
    return FontCache::forThisThread().lookup(font);
}

std::vector<char32_t> takeUncoveredCharacters() { return Uncovered::instance().take(); }

bool isDefaultIgnorable(char32_t c) { return isIgnorable(c); }

std::vector<int> textAdvances(const LogFont& font, std::u16string_view text)
{
    std::vector<int> advances(text.size(), 0);
    ResolvedFont& resolved = resolvedFont(font);
    for (std::size_t i = 0; i < text.size();) {
        const CodePoint c = codePointAt(text, i);
        advances[i] = resolved.advance(c.value); // a low surrogate keeps 0
        i += c.units;
    }
    return advances;
}

int textWidth(const LogFont& font, std::u16string_view text)
{
    ResolvedFont& resolved = resolvedFont(font);
    long long sum = 0;
    for (std::size_t i = 0; i < text.size();) {
        const CodePoint c = codePointAt(text, i);
        sum += resolved.advance(c.value);
        i += c.units;
    }
    return static_cast<int>(std::min<long long>(sum, 0x7FFFFFFF));
}


} // namespace velm
