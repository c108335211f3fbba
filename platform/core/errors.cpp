#include "platform/core/errors.h"

#include <cstdarg>
#include <cstdio>

namespace velm {

std::string format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    char small[256];
    int n = std::vsnprintf(small, sizeof small, fmt, args);
    va_end(args);
    std::string result;
    if (n < 0) {
        result = fmt; // an encoding error: the pattern is the best we have
    } else if (static_cast<std::size_t>(n) < sizeof small) {
        result.assign(small, static_cast<std::size_t>(n));
    } else {
        result.resize(static_cast<std::size_t>(n));
        std::vsnprintf(result.data(), result.size() + 1, fmt, again);
    }
    va_end(again);
    return result;
}

} // namespace velm
