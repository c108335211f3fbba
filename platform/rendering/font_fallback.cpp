#include "platform/rendering/font_fallback.h"

#include "platform/rendering/fontconfig_handles.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

namespace velm {
namespace {

using fc::CharSet;
using fc::Pattern;

struct Candidate {
    QString family;
    CharSet characters;
};

QString familyOf(FcPattern* font) { return fc::stringOf(font, FC_FAMILY); }

bool usable(FcPattern* font)
{
    FcBool scalable = FcFalse, color = FcFalse;
    FcPatternGetBool(font, FC_SCALABLE, 0, &scalable);
    FcPatternGetBool(font, FC_COLOR, 0, &color);
    // Colour faces hold bitmaps or layers that a PDF font program cannot carry.
    return scalable && !color;
}

// The families a substituted pattern names (the face, its aliases, its
// generic family and the generic family's preferred faces), in order.
std::vector<QString> namedFamilies(FcPattern* pattern)
{
    std::vector<QString> out;
    FcChar8* name = nullptr;
    for (int i = 0; FcPatternGetString(pattern, FC_FAMILY, i, &name) == FcResultMatch; ++i)
        out.push_back(QString::fromUtf8(reinterpret_cast<const char*>(name)));
    return out;
}

// fontconfig ranks the families a pattern does not name in the order their
// folders happen to list them, so one machine's Gujarati came out serif
// beside a sans face and its Urdu in Kufi. Those are ranked here instead,
// by kind of face, the chosen face's own kind first (each kind keeps
// fontconfig's order): a sans face takes UI faces (made for text set
// tight), then sans, then the rest, then serif.
int kindRank(const QString& family, const std::vector<QString>& named)
{
    const bool serif = std::find(named.begin(), named.end(), QStringLiteral("serif")) != named.end();
    const bool mono = std::find(named.begin(), named.end(), QStringLiteral("monospace")) != named.end();
    const bool isSerif = family.contains(QLatin1String("Serif")), isMono = family.contains(QLatin1String("Mono"));
    const bool isUi = family.endsWith(QLatin1String(" UI")), isSans = family.contains(QLatin1String("Sans"));
    if ((serif && isSerif) || (mono && isMono))
        return 0;
    if (isUi)
        return 1;
    if (isSans && !isMono)
        return 2;
    return isSerif ? 4 : 3;
}

} // namespace

QString matchedFamily(const QString& family)
{
    Pattern pattern(FcPatternCreate());
    const QByteArray name = family.toUtf8();
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name.constData()));
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    Pattern match(FcFontMatch(nullptr, pattern.get(), &result));
    const QString found = match ? familyOf(match.get()) : QString();
    return found.isEmpty() ? family : found;
}

namespace {

// Every installed family once, in the order fontconfig ranks them for the
// style (the families it does not name ranked by kind, see kindRank), with
// the character set of its best-ranked face.
std::vector<Candidate> sortedFamilies(const QString& family, int weight, bool italic)
{
    Pattern pattern(FcPatternCreate());
    const QByteArray name = family.toUtf8();
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name.constData()));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    fc::FontSet sorted(FcFontSort(nullptr, pattern.get(), FcFalse, nullptr, &result));
    std::vector<Candidate> out;
    if (!sorted)
        return out;
    for (int i = 0; i < sorted->nfont; ++i) {
        FcPattern* font = sorted->fonts[i];
        FcCharSet* characters = nullptr;
        const QString found = familyOf(font);
        if (found.isEmpty() || found.compare(family, Qt::CaseInsensitive) == 0 || !usable(font) ||
            FcPatternGetCharSet(font, FC_CHARSET, 0, &characters) != FcResultMatch)
            continue;
        if (std::none_of(out.begin(), out.end(), [&](const Candidate& c) { return c.family == found; }))
            out.push_back({found, CharSet(FcCharSetCopy(characters))});
    }
    const std::vector<QString> named = namedFamilies(pattern.get());
    const auto unnamed = std::stable_partition(out.begin(), out.end(), [&](const Candidate& c) {
        return std::find(named.begin(), named.end(), c.family) != named.end();
    });
    std::stable_sort(unnamed, out.end(), [&](const Candidate& a, const Candidate& b) {
        return kindRank(a.family, named) < kindRank(b.family, named);
    });
    return out;
}

class FallbackOrders {
public:
    std::vector<QString> familiesFor(const QString& family, int weight, bool italic, char32_t c)
    {
        std::lock_guard lock(mutex_);
        auto [it, added] = orders_.try_emplace(std::make_tuple(family, weight, italic));
        if (added)
            it->second = sortedFamilies(family, weight, italic);
        std::vector<QString> out;
        for (const Candidate& candidate : it->second)
            if (FcCharSetHasChar(candidate.characters.get(), c))
                out.push_back(candidate.family);
        return out;
    }

private:
    std::mutex mutex_;
    std::map<std::tuple<QString, int, bool>, std::vector<Candidate>> orders_;
};

struct PackageRange {
    char32_t first, last;
    const char* package;
};

// The smallest Debian 12 package that covers most of each range, measured
// with fc-query on the packages' files. The run dependencies come first
// where they cover a range.
constexpr PackageRange kPackages[] = {
    {0x0000, 0x058F, "fonts-dejavu-core"},   {0x0590, 0x05FF, "fonts-noto-core"},
    {0x0600, 0x06FF, "fonts-noto-ui-core"},  {0x0700, 0x074F, "fonts-noto-core"},
    {0x0750, 0x077F, "fonts-noto-ui-core"},  {0x0780, 0x089F, "fonts-noto-core"},
    {0x08A0, 0x0EFF, "fonts-noto-ui-core"},  {0x0F00, 0x0FFF, "fonts-noto-core"},
    {0x1000, 0x109F, "fonts-noto-ui-core"},  {0x10A0, 0x10FF, "fonts-noto-core"},
    {0x1100, 0x11FF, "fonts-noto-cjk"},      {0x1200, 0x177F, "fonts-noto-core"},
    {0x1780, 0x17FF, "fonts-noto-ui-core"},  {0x1800, 0x1CFF, "fonts-noto-core"},
    {0x1D00, 0x2BFF, "fonts-dejavu-core"},   {0x2C00, 0x2E7F, "fonts-noto-core"},
    {0x2E80, 0x2FDF, "fonts-noto-cjk"},      {0x3000, 0x318F, "fonts-wqy-microhei"},
    {0x3190, 0x33FF, "fonts-noto-cjk"},      {0x3400, 0x4DBF, "fonts-noto-cjk"},
    {0x4DC0, 0x4DFF, "fonts-dejavu-core"},   {0x4E00, 0x9FFF, "fonts-wqy-microhei"},
    {0xA000, 0xABFF, "fonts-noto-core"},     {0xAC00, 0xD7AF, "fonts-wqy-microhei"},
    {0xF900, 0xFAFF, "fonts-noto-cjk"},      {0xFB00, 0xFB4F, "fonts-dejavu-core"},
    {0xFB50, 0xFDFF, "fonts-noto-ui-core"},  {0xFE10, 0xFE6F, "fonts-noto-cjk"},
    {0xFE70, 0xFEFF, "fonts-noto-ui-core"},  {0xFF00, 0xFFEF, "fonts-wqy-microhei"},
    {0x10000, 0x1F0FF, "fonts-noto-core"},   {0x1F100, 0x1FAFF, "fonts-symbola"},
};

} // namespace

std::vector<QString> fallbackFamilies(const QString& family, int weight, bool italic, char32_t c)
{
    static FallbackOrders orders;
    return orders.familiesFor(family, weight, italic, c);
}

const char* packageCovering(char32_t c)
{
    const auto* range = std::find_if(std::begin(kPackages), std::end(kPackages),
                                     [c](const PackageRange& r) { return c >= r.first && c <= r.last; });
    return range == std::end(kPackages) ? nullptr : range->package;
}

} // namespace velm
