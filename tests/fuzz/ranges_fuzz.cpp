// Page selections such as "1,2,5,7-14,21": a selection the command line
// accepts (every item read for page -1) selects any page without error.
#include "fuzz/fuzz_support.h"

#include "platform/core/errors.h"
#include "preview/Drawscrn.h"

using namespace velm;

namespace {

bool accepted(const std::string& range)
{
    try {
        TDrawIt::PageInRange(-1, range);
        return true;
    } catch (const ConversionError&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::prepare();
    const std::string range = fuzz::bytesOf(data, size);
    if (!accepted(range))
        return 0;
    try {
        for (int page : {0, 1, 2, 7, 14, 21, 999, 2147483647})
            TDrawIt::PageInRange(page, range);
    } catch (const ConversionError& e) {
        fuzz::fail(std::string("an accepted selection failed later: ") + e.what());
    }
    return 0;
}
