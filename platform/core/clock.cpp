#include "platform/core/clock.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace velm {

namespace {

std::time_t now()
{
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
        long long seconds = -1;
        const char* end = epoch + std::strlen(epoch);
        const auto parsed = std::from_chars(epoch, end, seconds);
        if (parsed.ec == std::errc() && parsed.ptr == end && seconds >= 0)
            return static_cast<std::time_t>(seconds);
    }
    return std::time(nullptr);
}

int gScopes = 0;
std::time_t gHeld = 0;

} // namespace

std::time_t documentTime() { return gScopes > 0 ? gHeld : now(); }

DocumentTimeScope::DocumentTimeScope()
{
    if (gScopes++ == 0)
        gHeld = now();
}

DocumentTimeScope::~DocumentTimeScope() { --gScopes; }

} // namespace velm
