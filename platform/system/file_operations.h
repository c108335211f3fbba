// Copy and move of single files that lose nothing. Paths use "/"; a
// relative target is taken from the process's current directory, and a
// target naming an existing folder receives the source's file name in it.
#pragma once

#include "platform/core/errors.h"

#include <string>

namespace velm {

// "Cannot open file %s": the source cannot be read.
class FileOpenError : public VelmError {
public:
    using VelmError::VelmError;
};
// "Cannot create file %s": the target cannot be written.
class FileCreateError : public VelmError {
public:
    using VelmError::VelmError;
};
// "Cannot move file %s": a read-only or missing source on the copy path.
class FileMoveError : public VelmError {
public:
    using VelmError::VelmError;
};
// "Cannot copy file %s onto itself" (or move): the target is the source
// itself under some name; nothing was touched.
class SameFileError : public VelmError {
public:
    using VelmError::VelmError;
};

// Copies in fixed-size chunks. Throws FileOpenError, FileCreateError,
// SameFileError, or VelmError ("Cannot read file %s", "Cannot write file %s")
// on a failed read or write. The copy goes to a temporary file beside the
// target that is synced and renamed into place: a failed copy leaves an
// existing target whole and no partial file (a device or FIFO target is
// written into).
void copyFile(const std::string& source, const std::string& target);
// Renames when the target does not exist and lies on the same file system;
// otherwise copies and deletes the source once the copy is on disk. Throws
// FileMoveError for a read-only or missing source, and as copyFile.
void moveFile(const std::string& source, const std::string& target);
// The file system's rename with the rule that an existing target makes it
// fail (it is never replaced). False on any failure.
bool renameNoReplace(const std::string& source, const std::string& target);
// True when every bit of mask (FileAttribute) is set; a failed query counts
// as all bits set.
bool hasAttributes(const std::string& name, int mask);
// Target made absolute from the current directory.
std::string absoluteTarget(const std::string& target);
// Target made absolute and, when it is a folder, the source's name in it.
std::string resolveTarget(const std::string& source, const std::string& target);

} // namespace velm
