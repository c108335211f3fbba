#include "platform/fonts.h"

#include "platform/errors.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unordered_map>

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

QFont baseFont(const QString& family, int weight, bool italic)
{
    QFont font(family);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(italic);
    font.setKerning(false);
    font.setHintingPreference(QFont::PreferNoHinting);
    // Outline faces only, so advances scale linearly with the size. Merging
    // stays on: a character the face lacks is drawn (and measured) in the
    // fallback face Qt picks, the same way both times.
    font.setStyleStrategy(QFont::StyleStrategy(QFont::PreferOutline | QFont::ForceOutline));
    return font;
}

void requireApplication()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw VelmError("Text measurement needs a running QGuiApplication");
}

// Everything measured for one LOGFONT. Advances are cached per code unit
// (per code point for surrogate pairs), a direct table for Latin-1.
struct Measured {
    QFont font;
    std::unique_ptr<QFontMetricsF> metrics;
    int cell = 0;
    std::array<int, 256> latin1;
    std::unordered_map<char32_t, int> others;

    int advance(char32_t codePoint)
    {
        if (codePoint < latin1.size()) {
            int& slot = latin1[codePoint];
            if (slot < 0)
                slot = measure(codePoint);
            return slot;
        }
        auto it = others.find(codePoint);
        if (it != others.end())
            return it->second;
        int value = measure(codePoint);
        others.emplace(codePoint, value);
        return value;
    }

    int measure(char32_t codePoint) const
    {
        qreal width;
        if (codePoint <= 0xFFFF)
            width = metrics->horizontalAdvance(QChar(static_cast<char16_t>(codePoint)));
        else
            width = metrics->horizontalAdvance(QString::fromUcs4(&codePoint, 1));
        return static_cast<int>(std::nearbyint(width));
    }
};

struct FontKey {
    std::u16string face;
    int height;
    int weight;
    bool italic;
    bool underline;
    bool strikeOut;
    bool operator==(const FontKey&) const = default;
};

struct FontKeyHash {
    std::size_t operator()(const FontKey& k) const noexcept
    {
        std::size_t h = std::hash<std::u16string>()(k.face);
        auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
        mix(static_cast<std::size_t>(k.height));
        mix(static_cast<std::size_t>(k.weight));
        mix((k.italic ? 1u : 0u) | (k.underline ? 2u : 0u) | (k.strikeOut ? 4u : 0u));
        return h;
    }
};

struct FaceKey {
    QString family;
    int weight;
    bool italic;
    bool operator==(const FaceKey&) const = default;
};

struct FaceKeyHash {
    std::size_t operator()(const FaceKey& k) const noexcept
    {
        return qHash(k.family) ^ (static_cast<std::size_t>(k.weight) << 1) ^ (k.italic ? 1u : 0u);
    }
};

class FontCache {
public:
    static FontCache& instance()
    {
        static FontCache cache;
        return cache;
    }

    std::mutex mutex;

    // The caller holds the mutex.
    Measured& lookup(const LogFont& lf)
    {
        if (last_ && lastKeyMatches(lf))
            return *last_;
        FontKey key{lf.faceName, lf.height, lf.weight, lf.italic, lf.underline, lf.strikeOut};
        auto it = fonts_.find(key);
        if (it == fonts_.end()) {
            auto entry = std::make_unique<Measured>();
            entry->font = makeFont(lf);
            entry->metrics = std::make_unique<QFontMetricsF>(entry->font);
            entry->cell = static_cast<int>(std::nearbyint(entry->metrics->ascent()))
                + static_cast<int>(std::nearbyint(entry->metrics->descent()));
            entry->latin1.fill(-1);
            it = fonts_.emplace(std::move(key), std::move(entry)).first;
        }
        last_ = it->second.get();
        lastKey_ = &it->first;
        return *last_;
    }

    QFont makeFont(const LogFont& lf)
    {
        QString family = familyFor(lf.faceName);
        int weight = qtWeight(lf.weight);
        QFont font = baseFont(family, weight, lf.italic);
        font.setUnderline(lf.underline);
        font.setStrikeOut(lf.strikeOut);
        font.setPixelSize(emFor(lf.height, family, weight, lf.italic));
        return font;
    }

private:
    bool lastKeyMatches(const LogFont& lf) const
    {
        return lastKey_->height == lf.height && lastKey_->weight == lf.weight
            && lastKey_->italic == lf.italic && lastKey_->underline == lf.underline
            && lastKey_->strikeOut == lf.strikeOut && lastKey_->face == lf.faceName;
    }

    int emFor(int height, const QString& family, int weight, bool italic)
    {
        if (height < 0)
            return static_cast<int>(std::clamp<long long>(-static_cast<long long>(height), kMinEm, kMaxEm));
        int cell = height == 0 ? kDefaultCellHeight : height;
        double em = std::nearbyint(cell / cellPerEm(family, weight, italic));
        return static_cast<int>(std::clamp(em, double(kMinEm), double(kMaxEm)));
    }

    // (ascent + descent) / em of a face, measured once.
    double cellPerEm(const QString& family, int weight, bool italic)
    {
        FaceKey key{family, weight, italic};
        auto it = ratios_.find(key);
        if (it != ratios_.end())
            return it->second;
        QFont font = baseFont(family, weight, italic);
        font.setPixelSize(kReferenceEm);
        QFontMetricsF m(font);
        double ratio = (m.ascent() + m.descent()) / kReferenceEm;
        if (!(ratio > 0.1 && ratio < 10))
            ratio = 1.0; // a face without usable metrics: treat the cell as the em
        ratios_.emplace(std::move(key), ratio);
        return ratio;
    }

    std::unordered_map<FontKey, std::unique_ptr<Measured>, FontKeyHash> fonts_;
    std::unordered_map<FaceKey, double, FaceKeyHash> ratios_;
    Measured* last_ = nullptr;
    const FontKey* lastKey_ = nullptr;
};

} // namespace

std::vector<int> textAdvances(const LogFont& font, std::u16string_view text)
{
    requireApplication();
    std::vector<int> advances(text.size(), 0);
    FontCache& cache = FontCache::instance();
    std::lock_guard lock(cache.mutex);
    Measured& m = cache.lookup(font);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00
            && text[i + 1] <= 0xDFFF) {
            char32_t cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10)
                + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            advances[i] = m.advance(cp);
            ++i; // the low surrogate keeps 0
        } else {
            advances[i] = m.advance(unit);
        }
    }
    return advances;
}

int textWidth(const LogFont& font, std::u16string_view text)
{
    requireApplication();
    FontCache& cache = FontCache::instance();
    std::lock_guard lock(cache.mutex);
    Measured& m = cache.lookup(font);
    long long sum = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t unit = text[i];
        if (unit < 0x100) {
            sum += m.advance(unit);
        } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()
                   && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            char32_t cp = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10)
                + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
            sum += m.advance(cp);
            ++i;
        } else {
            sum += m.advance(unit);
        }
    }
    return static_cast<int>(std::min<long long>(sum, 0x7FFFFFFF));
}

int cellHeight(const LogFont& font)
{
    requireApplication();
    FontCache& cache = FontCache::instance();
    std::lock_guard lock(cache.mutex);
    return cache.lookup(font).cell;
}

QFont qtFontFor(const LogFont& font)
{
    requireApplication();
    FontCache& cache = FontCache::instance();
    std::lock_guard lock(cache.mutex);
    return cache.lookup(font).font;
}

} // namespace velm
