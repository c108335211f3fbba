// Copy and move on real files: whole copies, refusals, and failures that
// lose nothing.
#include "platform/system/file_operations.h"

#include "platform/system/files.h"

#include "support/testing.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace velm {
namespace {

using testing::CurrentDir;
using testing::TempDir;
using testing::filesIn;
using testing::filler;
using testing::readFile;

dev_t DeviceOf(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_dev : 0;
}

TEST(CopyFile, CopiesWholeFilesIntoFoldersAndRelativeNames)
{
    TempDir from, to;
    for (std::size_t size : {0u, 1u, 8191u, 8192u, 8193u, 3u * 8192u + 5u}) {
        const std::string name = "F" + std::to_string(size) + ".BIN";
        from.write(name, filler(size));
        copyFile(from.file(name), to.path()); // an existing folder
        EXPECT_EQ(readFile(to.file(name)), filler(size)) << size;
    }
    CurrentDir here(to.path());
    from.write("A.TXT", "alpha");
    copyFile(from.file("A.TXT"), "NEW.TXT");
    EXPECT_EQ(readFile(to.file("NEW.TXT")), "alpha");
    to.write("OLD.TXT", "a much longer old content");
    copyFile(from.file("A.TXT"), "OLD.TXT");
    EXPECT_EQ(readFile(to.file("OLD.TXT")), "alpha") << "an existing target is replaced whole";
}

TEST(CopyFile, ReportsTheFileItCannotOpenOrCreate)
{
    TempDir dir;
    try {
        copyFile(dir.file("MISSING"), dir.file("X"));
        FAIL() << "no error";
    } catch (const FileOpenError& e) {
        EXPECT_STREQ(e.what(), ("Cannot open file " + dir.file("MISSING")).c_str());
    }
    EXPECT_FALSE(fileExists(dir.file("X")));
    dir.write("A", "a");
    try {
        copyFile(dir.file("A"), dir.file("NO/SUCH/B"));
        FAIL() << "no error";
    } catch (const FileCreateError& e) {
        EXPECT_STREQ(e.what(), ("Cannot create file " + dir.file("NO/SUCH/B")).c_str());
    }
}

TEST(CopyAndMove, OntoItselfIsRefusedAndTheFileKept)
{
    TempDir dir;
    dir.write("A.TXT", "precious");
    CurrentDir here(dir.path());
    ::symlink(dir.file("A.TXT").c_str(), dir.file("LINK.TXT").c_str());
    ::link(dir.file("A.TXT").c_str(), dir.file("HARD.TXT").c_str());
    for (const std::string& target : {dir.file("A.TXT"), std::string("A.TXT"), dir.path(), std::string("."),
                                      dir.file("LINK.TXT"), dir.file("HARD.TXT")}) {
        EXPECT_THROW(copyFile(dir.file("A.TXT"), target), SameFileError) << target;
        EXPECT_THROW(moveFile(dir.file("A.TXT"), target), SameFileError) << target;
        EXPECT_EQ(readFile(dir.file("A.TXT")), "precious") << target;
    }
    try {
        copyFile(dir.file("A.TXT"), dir.path());
    } catch (const SameFileError& e) {
        EXPECT_STREQ(e.what(), ("Cannot copy file " + dir.file("A.TXT") + " onto itself").c_str());
    }
}

TEST(MoveFile, RenamesOnTheSameFileSystemAndFallsBackIntoFolders)
{
    TempDir dir;
    dir.write("A.TXT", "alpha");
    moveFile(dir.file("A.TXT"), dir.file("B.TXT"));
    EXPECT_FALSE(fileExists(dir.file("A.TXT")));
    EXPECT_EQ(readFile(dir.file("B.TXT")), "alpha");

    ASSERT_EQ(::mkdir(dir.file("SUB").c_str(), 0755), 0);
    moveFile(dir.file("B.TXT"), dir.file("SUB"));
    EXPECT_FALSE(fileExists(dir.file("B.TXT")));
    EXPECT_EQ(readFile(dir.file("SUB/B.TXT")), "alpha");

    // The rename never replaces an existing target; the copy path does.
    dir.write("C.TXT", "new");
    dir.write("D.TXT", "old");
    EXPECT_FALSE(renameNoReplace(dir.file("C.TXT"), dir.file("D.TXT")));
    EXPECT_EQ(readFile(dir.file("D.TXT")), "old");
    moveFile(dir.file("C.TXT"), dir.file("D.TXT"));
    EXPECT_EQ(readFile(dir.file("D.TXT")), "new");
    EXPECT_FALSE(fileExists(dir.file("C.TXT")));
}

TEST(MoveFile, ReadOnlyFileAcrossFileSystemsIsNotMoved)
{
    TempDir here;
    const std::string other = "/dev/shm";
    if (!directoryExists(other) || DeviceOf(other) == DeviceOf(here.path()) || ::access(other.c_str(), W_OK) != 0)
        VELM_SKIP_MISSING("needs /dev/shm writable on another file system than " << here.path());
    here.write("RO.TXT", "stay");
    ASSERT_TRUE(setFileAttributes(here.file("RO.TXT"), faReadOnly));
    const std::string target = other + "/velm-move-test-" + std::to_string(::getpid());
    try {
        moveFile(here.file("RO.TXT"), target);
        FAIL() << "moved";
    } catch (const FileMoveError& e) {
        EXPECT_STREQ(e.what(), ("Cannot move file " + here.file("RO.TXT")).c_str());
    }
    EXPECT_EQ(readFile(here.file("RO.TXT")), "stay");
    EXPECT_FALSE(fileExists(target));

    here.write("RW.TXT", "go");
    moveFile(here.file("RW.TXT"), target);
    EXPECT_FALSE(fileExists(here.file("RW.TXT")));
    EXPECT_EQ(readFile(target), "go");
    deleteFile(target);

    EXPECT_THROW(moveFile(here.file("GONE.TXT"), target), FileMoveError) << "a missing source counts as read-only";
    EXPECT_TRUE(hasAttributes(here.file("GONE.TXT"), faReadOnly | faHidden));
}

TEST(CopyAndMove, AFailedCopyLosesNothing)
{
    TempDir dir;
    dir.write("BIG.BIN", filler(5 * 8192));
    dir.write("OLD.BIN", "the old target");
    ::symlink("OLD.BIN", dir.file("LINK.BIN").c_str());
    {
        // The disk fills up half-way through the copy.
        testing::FileSizeLimit limit(3 * 8192);
        for (const char* target : {"OLD.BIN", "LINK.BIN", "NEW.BIN"}) {
            try {
                copyFile(dir.file("BIG.BIN"), dir.file(target));
                ADD_FAILURE() << "copied onto " << target;
            } catch (const VelmError& e) {
                EXPECT_STREQ(e.what(), ("Cannot write file " + dir.file(target)).c_str());
            }
        }
    }
    EXPECT_EQ(readFile(dir.file("OLD.BIN")), "the old target");
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"BIG.BIN", "LINK.BIN", "OLD.BIN"}))
        << "no partial file";

    // A copy onto a link writes its target and keeps the link.
    copyFile(dir.file("BIG.BIN"), dir.file("LINK.BIN"));
    EXPECT_EQ(readFile(dir.file("OLD.BIN")), filler(5 * 8192));
    struct stat link {};
    ASSERT_EQ(::lstat(dir.file("LINK.BIN").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
}

TEST(MoveFile, AFailedCopyAcrossFileSystemsKeepsTheSource)
{
    TempDir here;
    const std::string other = "/dev/shm";
    if (!directoryExists(other) || DeviceOf(other) == DeviceOf(here.path()) || ::access(other.c_str(), W_OK) != 0)
        VELM_SKIP_MISSING("needs /dev/shm writable on another file system than " << here.path());
    here.write("BIG.BIN", filler(5 * 8192));
    const std::string target = other + "/velm-move-test-" + std::to_string(::getpid());
    {
        testing::FileSizeLimit limit(3 * 8192);
        EXPECT_THROW(moveFile(here.file("BIG.BIN"), target), VelmError);
    }
    EXPECT_EQ(readFile(here.file("BIG.BIN")), filler(5 * 8192));
    EXPECT_FALSE(fileExists(target));
}

} // namespace
} // namespace velm
