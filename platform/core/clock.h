// The time a document is made at.
#pragma once

#include <ctime>

namespace velm {

// SOURCE_DATE_EPOCH when it holds a time (seconds since 1970), so that the
// same input makes the same pages and bytes; else now, or, while a
// DocumentTimeScope is open, the time it opened at. Never throws.
std::time_t documentTime();

// One time for a job from its first sheet to its PDF: every "Printed on"
// stamp and the file's date agree, however long the job takes. Scopes nest
// (the outermost one's time holds); one thread's jobs at a time.
class DocumentTimeScope {
public:
    DocumentTimeScope();
    ~DocumentTimeScope();
    DocumentTimeScope(const DocumentTimeScope&) = delete;
    DocumentTimeScope& operator=(const DocumentTimeScope&) = delete;
};

} // namespace velm
