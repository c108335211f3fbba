// Where a running toolbar listens for files that later starts of velm hand
// it, and the lines they speak: one "View" or "Print", a tab and a full
// path each, then an empty line; the toolbar answers "taken".
#pragma once

#include <string>

namespace velm {

// In $XDG_RUNTIME_DIR, one per settings folder: a velm started with other
// settings is another program and runs on its own. Empty without a
// runtime folder.
std::string toolbarSocketPath();

inline constexpr const char* kHandOverTaken = "taken";

} // namespace velm
