// Page selections such as "1,2,5,7-14,21": a selection the command line
// accepts (read whole, every item checked) tests any page without error,
// and where the preview's item-by-item test answers, it answers alike.
#include "fuzz/fuzz_support.h"

#include "engine/PageRanges.h"
#include "platform/core/errors.h"

using namespace velm;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::prepare();
    const std::string range = fuzz::bytesOf(data, size);
    PageSelection selection;
    try {
        selection = PageSelection::Read(range);
    } catch (const ConversionError&) {
        return 0;
    }
    for (int page : {-1, 0, 1, 2, 3, 7, 14, 21, 999, 2147483647}) {
        bool itemByItem = false;
        try {
            itemByItem = PageInRange(page, range);
        } catch (const ConversionError&) {
            continue; // an open end, which only a whole selection reads
        }
        if (itemByItem != selection.Selects(page))
            fuzz::fail("the two readings of a selection disagree on page " + std::to_string(page));
    }
    return 0;
}
