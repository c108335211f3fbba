// Overstrike as terminals and nroff write it: "X\bX" is a bold X, "_\bX"
// an underlined X, "_\bX\bX" both. Any other backspace removes nothing and
// prints nothing.
#pragma once

#include <string>

namespace velm {

struct TStruckRun {
    std::string Text; // the characters as they print, without backspaces
    bool Bold = false;
    bool Underline = false;
};

// Takes the longest run of characters in one style off the front of Line.
TStruckRun TakeStruckRun(std::string& Line);
// Text written back in overstrike, so that it reads again as this run.
std::string Restrike(const TStruckRun& Run);
// Line with its overstrikes resolved to the characters they print.
std::string Unstrike(std::string Line);

} // namespace velm
