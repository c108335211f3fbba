#include "platform/system/mounts.h"

#include "support/testing.h"

#include <gtest/gtest.h>

namespace velm {
namespace {

using testing::TempDir;

std::vector<std::string> MountPoints(const std::vector<Drive>& drives)
{
    std::vector<std::string> points;
    for (const Drive& d : drives)
        points.push_back(d.mountPoint);
    return points;
}

TEST(MountedDrives, TheRootFolderIsADriveEvenWhereTheMountTableLeavesItOut)
{
    TempDir tables;
    // As in a chroot: the host's mounts, not the root folder.
    tables.write("chroot", "proc /proc proc rw 0 0\n"
                           "/dev/velm-no-disk /srv/my\\040files ext4 rw 0 0\n"
                           "server:/share /mnt/share nfs4 rw 0 0\n");
    const std::vector<Drive> drives = mountedDrives(tables.file("chroot"));
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].mountPoint, "/");
    EXPECT_EQ(drives[0].kind, Drive::Fixed);
    EXPECT_EQ(drives[1].mountPoint, "/mnt/share");
    EXPECT_EQ(drives[1].kind, Drive::Network);
    EXPECT_EQ(drives[2].mountPoint, "/srv/my files");

    // Listed, the root folder keeps its own kind and comes once.
    tables.write("nfsroot", "server:/root / nfs rw 0 0\n");
    const std::vector<Drive> listed = mountedDrives(tables.file("nfsroot"));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].kind, Drive::Network);
    EXPECT_EQ(mountedDrives(tables.file("missing")).size(), 1u) << "no table at all";
}

TEST(MountedDrives, SystemMountsDamagedLinesAndRepeatsAreLeftOut)
{
    TempDir tables;
    tables.write("mounts", "/dev/sda1 / ext4 rw 0 0\n"
                           "tmpfs /tmp tmpfs rw 0 0\n"
                           "/dev/sda2 /run/media/usb vfat rw 0 0\n"
                           "/dev/sda3 /dev/shm/disk ext4 rw 0 0\n"
                           "sysfs /sys/kernel sysfs rw 0 0\n"
                           "half-a-line /home\n"
                           "\n"
                           "/dev/sda4 /home ext4 rw 0 0\n"
                           "/dev/sda5 /home ext4 rw 0 0\n"
                           "/dev/sr0 /media/cd iso9660 ro 0 0\n"
                           "/dev/sdb1 /data/a\\\\b\\04x\\134 xfs rw 0 0\n");
    const std::vector<Drive> drives = mountedDrives(tables.file("mounts"));
    EXPECT_EQ(MountPoints(drives),
              (std::vector<std::string>{"/", "/data/a\\\\b\\04x\\", "/home", "/media/cd"}))
        << "only three octal digits make an escape";
    EXPECT_EQ(drives[3].kind, Drive::Fixed) << "an optical disc shows as a fixed drive";
}

TEST(DiskSpace, AnExistingFolderHasSpaceAMissingOneNone)
{
    TempDir dir;
    const DiskSpace space = diskSpace(dir.path());
    EXPECT_GT(space.totalBytes, 0);
    EXPECT_GE(space.freeBytes, 0);
    EXPECT_LE(space.freeBytes, space.totalBytes);
    const DiskSpace missing = diskSpace(dir.file("missing/folder"));
    EXPECT_EQ(missing.freeBytes, -1);
    EXPECT_EQ(missing.totalBytes, -1);
}

} // namespace
} // namespace velm
