#include "platform/system/toolbar_socket.h"

#include "platform/system/settings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace velm {

std::string toolbarSocketPath()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || *runtime != '/')
        return {};
    // FNV-1a of the settings folder: the same name in every build.
    std::uint32_t hash = 2166136261u;
    for (const unsigned char c : SettingsFile::settingsDirectory())
        hash = (hash ^ c) * 16777619u;
    char name[40];
    std::snprintf(name, sizeof name, "/velm-toolbar-%08x", static_cast<unsigned>(hash));
    return std::string(runtime) + name;
}

} // namespace velm
