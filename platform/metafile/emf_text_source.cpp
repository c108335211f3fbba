#include "platform/metafile/emf_text_source.h"

#include "platform/metafile/emf_records.h"

#include <algorithm>

namespace velm::emf {
namespace {

constexpr std::uint8_t kIdentifier[4] = {'V', 'e', 'l', 'm'};
constexpr std::uint32_t kKindTextSource = 1;
constexpr std::uint32_t kRightToLeft = 1;
constexpr std::size_t kFixed = 20;

} // namespace

std::vector<std::uint8_t> encodeTextSource(const TextSource& source)
{
    const std::size_t units = source.text.size(), glyphs = source.clusters.size();
    const std::size_t textBytes = static_cast<std::size_t>(paddedUtf16Bytes(units));
    std::vector<std::uint8_t> data(kFixed + textBytes + 4 * glyphs, 0);
    std::uint8_t* p = data.data();
    std::copy(std::begin(kIdentifier), std::end(kIdentifier), p);
    storeU32(p + 4, kKindTextSource);
    storeU32(p + 8, source.rightToLeft ? kRightToLeft : 0);
    storeU32(p + 12, static_cast<std::uint32_t>(units));
    storeU32(p + 16, static_cast<std::uint32_t>(glyphs));
    for (std::size_t i = 0; i < units; ++i)
        storeU16(p + kFixed + 2 * i, source.text[i]);
    for (std::size_t i = 0; i < glyphs; ++i)
        storeU32(p + kFixed + textBytes + 4 * i, source.clusters[i]);
    return data;
}

bool decodeTextSource(const std::uint8_t* data, std::size_t size, TextSource& out)
{
    if (size < kFixed || !std::equal(std::begin(kIdentifier), std::end(kIdentifier), data) ||
        loadU32(data + 4) != kKindTextSource)
        return false;
    const std::uint64_t units = loadU32(data + 12), glyphs = loadU32(data + 16);
    const std::uint64_t textBytes = paddedUtf16Bytes(units);
    if (textBytes > size - kFixed || glyphs > (size - kFixed - textBytes) / 4)
        return false;
    const std::uint8_t* clusters = data + kFixed + textBytes;
    for (std::uint64_t i = 0; i < glyphs; ++i)
        if (loadU32(clusters + 4 * i) >= units)
            return false;
    out.rightToLeft = (loadU32(data + 8) & kRightToLeft) != 0;
    out.text.resize(static_cast<std::size_t>(units));
    for (std::size_t i = 0; i < out.text.size(); ++i)
        out.text[i] = loadU16(data + kFixed + 2 * i);
    out.clusters.resize(static_cast<std::size_t>(glyphs));
    for (std::size_t i = 0; i < out.clusters.size(); ++i)
        out.clusters[i] = loadU32(clusters + 4 * i);
    return true;
}

} // namespace velm::emf
