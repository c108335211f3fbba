// User-interface texts by numeric identifier, as the program's own string
// resources hold them.
#pragma once

#include <string>

namespace velm {

// The text stored under id, read through a 1024-character buffer (so at
// most 1023 characters), or builtIn when there is none or it is empty.
std::string LoadText(int id, const std::string& builtIn);

} // namespace velm
