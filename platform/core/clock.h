// The time a document is made at.
#pragma once

#include <ctime>

namespace velm {

// SOURCE_DATE_EPOCH when it holds a time (seconds since 1970), so that the
// same input makes the same pages and bytes; else now. Never throws.
std::time_t documentTime();

} // namespace velm
