// Where a character comes from when the chosen face lacks it: the installed
// faces in fontconfig's order for that face, and, when none has it, the
// Debian package that would (for the command's warning).
#pragma once

#include <QString>

#include <vector>

namespace velm {

// Families that hold character c, best first, as fontconfig sorts the
// installed outline faces for the given family and style (the family
// itself and colour faces left out). Empty when no installed face has it.
// Safe from any thread; each style's order is computed once, on first need.
std::vector<QString> fallbackFamilies(const QString& family, int weight, bool italic, char32_t c);

// The installed family fontconfig chooses for a name or a generic family
// ("monospace", "serif"), so that pages record a real face; the name
// itself when fontconfig has no match.
QString matchedFamily(const QString& family);

// The Debian package whose faces cover c (measured on Debian 12), or
// nullptr when none is known.
const char* packageCovering(char32_t c);

} // namespace velm
