// The mounted file systems a user keeps files on, and their space.
#pragma once

#include <string>
#include <vector>

namespace velm {

// A mounted file system and the kind of medium it lies on.
struct Drive {
    enum Kind { Removable, Fixed, Network };
    std::string mountPoint;
    Kind kind = Fixed;
};

// The mounted file systems from a mount table in the format of
// /proc/self/mounts, sorted by mount point. Pseudo file systems and those
// under /proc, /sys, /dev and /run are left out; a mount point listed twice
// comes once. Optical discs count as fixed. The root folder is always one of
// them, even where the table leaves it out or cannot be read (a chroot, a
// container).
std::vector<Drive> mountedDrives(const std::string& mountTable = "/proc/self/mounts");

// Free space (for an unprivileged user) and total size of the file system
// holding path, in bytes; both -1 when it cannot be queried.
struct DiskSpace {
    double freeBytes = -1;
    double totalBytes = -1;
};
DiskSpace diskSpace(const std::string& path);

} // namespace velm
