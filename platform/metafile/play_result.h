// What playing a metafile found: both readers report in this form.
#pragma once

#include <string>
#include <vector>

namespace velm {

struct PlayResult {
    bool ok = true;           // false: the file was damaged; played as far as it was sound
    std::string problem;      // what was wrong (the first damage), for logs and tests
    int recordsPlayed = 0;    // records walked, header and end record included
    int recordsSkipped = 0;   // of those, records of types this player does not draw
    // Oddities that were tolerated without making the file damaged (unknown
    // record types, invalid handles, RESTOREDC beyond the stack, object
    // indexes beyond the header's count, later damage after the first), at
    // most 16.
    std::vector<std::string> notes;
};

} // namespace velm
