// Page selections such as "1,2,5,7-14,21": items separated by commas, each
// a page number or a span A-B split at its first "-", the numbers read as
// the platform's integer conversion reads them. The preview tests them
// item by item as it goes; the command line and the filter read a
// selection whole before any work.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace velm {

// Whether Range selects Page. Items are read left to right only until one
// selects Page; a malformed item throws ConversionError when it is reached.
bool PageInRange(int Page, const std::string& Range);
// Takes the first item off Rest: 0 no item left, 1 it selects Page, 2 not.
int NextRangeItem(int Page, std::string& Rest);

// A selection read whole: every item is checked at once, and a span may be
// open at one end ("14-" is page 14 and on, "-3" the first three pages).
class PageSelection {
public:
    // Throws ConversionError naming the first malformed item.
    static PageSelection Read(const std::string& Text);
    bool Selects(int Page) const;
    const std::string& Text() const { return FText; }

private:
    std::string FText;
    std::vector<std::pair<int, int>> FSpans; // first and last page, inclusive
};

} // namespace velm
