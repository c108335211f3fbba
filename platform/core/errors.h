// Errors that reach the user carry their finished message. What the
// platform layer throws is a VelmError (each header says which, where a call
// may), apart from running out of memory and the logic errors of misuse.
#pragma once

#include <stdexcept>
#include <string>

namespace velm {

class VelmError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "'%s' is not a valid integer value" and its floating point twin.
class ConversionError : public VelmError {
public:
    using VelmError::VelmError;
};

// "Printer index out of range", a queue that cannot be reached, ...
class PrinterError : public VelmError {
public:
    using VelmError::VelmError;
};

// "Unable to write to %s" from the settings file, unsaved stored pages, ...
class FileError : public VelmError {
public:
    using VelmError::VelmError;
};

// printf-style formatting into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

} // namespace velm
