#include "platform/system/mounts.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace velm {
namespace {

bool isPseudoFileSystem(const std::string& type)
{
    static const char* const pseudo[] = {
        "proc", "sysfs", "devtmpfs", "devpts", "tmpfs", "ramfs", "cgroup", "cgroup2", "securityfs",
        "debugfs", "tracefs", "pstore", "bpf", "mqueue", "hugetlbfs", "configfs", "fusectl",
        "autofs", "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs", "squashfs", "fuse.gvfsd-fuse",
        "fuse.portal", "selinuxfs", "overlay_internal"};
    return std::find(std::begin(pseudo), std::end(pseudo), type) != std::end(pseudo);
}

bool isNetworkFileSystem(const std::string& type)
{
    static const char* const network[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "sshfs",
                                          "9p", "afs", "ceph", "glusterfs", "fuse.glusterfs", "davfs",
                                          "fuse.davfs", "ncpfs", "fuse.rclone"};
    return std::find(std::begin(network), std::end(network), type) != std::end(network);
}

bool isSystemFolder(const std::string& mountPoint)
{
    for (const char* prefix : {"/proc", "/sys", "/dev", "/run"})
        if (mountPoint.rfind(prefix, 0) == 0)
            return true;
    return false;
}

std::string firstLineOf(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// A partition's disk tells whether the medium is removable.
bool isRemovableDevice(const std::string& device)
{
    if (device.rfind("/dev/", 0) != 0)
        return false;
    const std::string own = "/sys/class/block/" + device.substr(5);
    std::string flag = firstLineOf(own + "/removable");
    if (flag.empty())
        flag = firstLineOf(own + "/../removable");
    return flag == "1";
}

bool isOctalDigit(char c) { return c >= '0' && c <= '7'; }

// The mount table escapes blanks and backslashes in paths as three octal digits.
std::string unescapeMountField(const std::string& field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctalDigit(field[i + 1]) && isOctalDigit(field[i + 2]) &&
            isOctalDigit(field[i + 3])) {
            out += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

Drive::Kind kindOf(const std::string& device, const std::string& type)
{
    if (isNetworkFileSystem(type))
        return Drive::Network;
    const bool optical = type == "iso9660" || type == "udf" || device.rfind("/dev/sr", 0) == 0;
    return !optical && isRemovableDevice(device) ? Drive::Removable : Drive::Fixed;
}

} // namespace

std::vector<Drive> mountedDrives(const std::string& mountTable)
{
    std::vector<Drive> drives;
    const auto listed = [&](const std::string& point) {
        return std::any_of(drives.begin(), drives.end(), [&](const Drive& d) { return d.mountPoint == point; });
    };
    std::ifstream mounts(mountTable);
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string device, mountPoint, type;
        if (!(fields >> device >> mountPoint >> type))
            continue;
        mountPoint = unescapeMountField(mountPoint);
        if (isPseudoFileSystem(type) || isSystemFolder(mountPoint) || listed(mountPoint))
            continue;
        drives.push_back({mountPoint, kindOf(device, type)});
    }
    if (!listed("/"))
        drives.push_back({"/", Drive::Fixed});
    std::sort(drives.begin(), drives.end(), [](const Drive& a, const Drive& b) { return a.mountPoint < b.mountPoint; });
    return drives;
}

DiskSpace diskSpace(const std::string& path)
{
    struct statvfs fs {};
    if (::statvfs(path.c_str(), &fs) != 0)
        return {};
    return {static_cast<double>(fs.f_bavail) * static_cast<double>(fs.f_frsize),
            static_cast<double>(fs.f_blocks) * static_cast<double>(fs.f_frsize)};
}

} // namespace velm
