#include "engine/PageRanges.h"

#include "platform/core/convert.h"

#include <algorithm>
#include <limits>

namespace velm {

namespace {

constexpr std::size_t kMaxItem = 255;
constexpr std::size_t kMaxUpperBound = 20;

// The first item of Rest, which loses it and the comma after it; an item
// is handled as at most 255 characters.
std::string TakeItem(std::string& Rest)
{
    std::string item;
    const std::size_t comma = Rest.find(',');
    if (comma == std::string::npos) {
        item = std::move(Rest);
        Rest.clear();
    } else {
        item = Rest.substr(0, comma);
        Rest.erase(0, comma + 1);
    }
    item.resize(std::min(item.size(), kMaxItem));
    return item;
}

// The pages an item spans; an empty bound of a span is open when
// OpenEnds allows it, else a malformed number.
std::pair<int, int> ItemSpan(const std::string& Item, bool OpenEnds)
{
    const std::size_t dash = Item.find('-');
    if (dash == std::string::npos) {
        const int page = strToInt(Item);
        return {page, page};
    }
    const std::string from = Item.substr(0, dash);
    const std::string to = Item.substr(dash + 1, kMaxUpperBound);
    if (OpenEnds && from.empty() != to.empty())
        return {from.empty() ? 1 : strToInt(from), to.empty() ? std::numeric_limits<int>::max() : strToInt(to)};
    return {strToInt(from), strToInt(to)};
}

} // namespace

bool PageInRange(int Page, const std::string& Range)
{
    std::string rest = Range;
    for (;;) {
        switch (NextRangeItem(Page, rest)) {
        case 0:
            return false;
        case 1:
            return true;
        default:
            break;
        }
    }
}

int NextRangeItem(int Page, std::string& Rest)
{
    if (Rest.empty())
        return 0;
    const auto [from, to] = ItemSpan(TakeItem(Rest), false);
    return from <= Page && Page <= to ? 1 : 2;
}

PageSelection PageSelection::Read(const std::string& Text)
{
    PageSelection selection;
    selection.FText = Text;
    for (std::string rest = Text; !rest.empty();)
        selection.FSpans.push_back(ItemSpan(TakeItem(rest), true));
    return selection;
}

bool PageSelection::Selects(int Page) const
{
    return std::any_of(FSpans.begin(), FSpans.end(),
                       [Page](const auto& span) { return span.first <= Page && Page <= span.second; });
}

} // namespace velm
