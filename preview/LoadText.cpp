#include "preview/LoadText.h"

#include <map>

namespace velm {

namespace {

// The program's string resources. It carries no texts under the caption
// identifiers, so the built-in English captions show; a translation adds
// its entries here.
const std::map<int, std::string>& StringResources()
{
    static const std::map<int, std::string> table;
    return table;
}

constexpr std::size_t kBufferSize = 1024;

} // namespace

std::string LoadText(int id, const std::string& builtIn)
{
    const auto found = StringResources().find(id);
    if (found == StringResources().end() || found->second.empty())
        return builtIn;
    return found->second.substr(0, kBufferSize - 1);
}

} // namespace velm
