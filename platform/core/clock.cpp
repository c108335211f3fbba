#include "platform/core/clock.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace velm {

std::time_t documentTime()
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

} // namespace velm
