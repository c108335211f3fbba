#include "platform/system/files.h"
#include "platform/system/output_file.h"
#include "platform/system/settings.h"

#include "support/testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace velm {
namespace {

using testing::TempDir;

void setModificationTime(const std::string& path, time_t seconds)
{
    struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

TEST(Files, ExistenceAndDeletion)
{
    TempDir dir;
    dir.write("a.txt", "x");
    EXPECT_TRUE(fileExists(dir.file("a.txt")));
    EXPECT_FALSE(fileExists(dir.path()));
    EXPECT_FALSE(fileExists(dir.file("missing")));
    EXPECT_TRUE(directoryExists(dir.path()));
    EXPECT_FALSE(directoryExists(dir.file("a.txt")));
    EXPECT_TRUE(deleteFile(dir.file("a.txt")));
    EXPECT_FALSE(fileExists(dir.file("a.txt")));
    EXPECT_FALSE(deleteFile(dir.file("a.txt")));
    EXPECT_FALSE(deleteFile(dir.path())); // never a folder
    EXPECT_TRUE(directoryExists(dir.path()));
}

TEST(Files, CurrentDirectoryAndJoin)
{
    TempDir dir;
    const std::string before = currentDirectory();
    ASSERT_TRUE(setCurrentDirectory(dir.path()));
    char real[4096];
    ASSERT_TRUE(realpath(dir.path().c_str(), real));
    EXPECT_EQ(currentDirectory(), real);
    EXPECT_FALSE(setCurrentDirectory(dir.file("missing")));
    EXPECT_FALSE(setCurrentDirectory(""));
    EXPECT_EQ(currentDirectory(), real);
    ASSERT_TRUE(setCurrentDirectory(before));
    EXPECT_EQ(joinPath("/data", "PRN001.EMF"), "/data/PRN001.EMF");
    EXPECT_EQ(joinPath("/", "PRN001.EMF"), "/PRN001.EMF");
    EXPECT_EQ(joinPath("/data/", "x"), "/data/x");
    EXPECT_EQ(joinPath("", "x"), "x");
}

TEST(Files, ReadOnlyHiddenAndDirectory)
{
    TempDir dir;
    dir.write("plain.txt", "x");
    dir.write(".hidden", "x");
    EXPECT_EQ(fileAttributes(dir.file("missing")), faInvalid);
    EXPECT_EQ(fileAttributes(""), faInvalid);
    EXPECT_EQ(fileAttributes(dir.file("plain.txt")) & (faReadOnly | faHidden | faDirectory), 0);
    EXPECT_EQ(fileAttributes(dir.file(".hidden")) & faHidden, faHidden);
    EXPECT_EQ(fileAttributes(dir.path()) & (faDirectory | faArchive), faDirectory);
    EXPECT_EQ(fileAttributes(dir.path() + "/.") & faHidden, 0);

    ASSERT_TRUE(setFileAttributes(dir.file("plain.txt"), faReadOnly | faArchive));
    struct stat st;
    stat(dir.file("plain.txt").c_str(), &st);
    EXPECT_EQ(st.st_mode & S_IWUSR, 0u);
    EXPECT_EQ(fileAttributes(dir.file("plain.txt")) & faReadOnly, faReadOnly);
    ASSERT_TRUE(setFileAttributes(dir.file("plain.txt"), 0));
    stat(dir.file("plain.txt").c_str(), &st);
    EXPECT_NE(st.st_mode & S_IWUSR, 0u);
    EXPECT_EQ(fileAttributes(dir.file("plain.txt")) & faReadOnly, 0);
    // Hidden cannot be set without renaming.
    ASSERT_TRUE(setFileAttributes(dir.file("plain.txt"), faHidden));
    EXPECT_EQ(fileAttributes(dir.file("plain.txt")) & faHidden, 0);
    EXPECT_FALSE(setFileAttributes(dir.file("missing"), 0));
}

TEST(Files, ArchiveAttributeIsEmulated)
{
    TempDir dir;
    const std::string file = dir.file("job.txt");
    dir.write("job.txt", "first");
    EXPECT_EQ(fileAttributes(file) & faArchive, faArchive); // never seen

    ASSERT_TRUE(setFileAttributes(file, 0));
    EXPECT_EQ(fileAttributes(file) & faArchive, 0);
    EXPECT_EQ(fileAttributes(dir.path() + "/./job.txt") & faArchive, 0); // same file, other spelling

    dir.write("job.txt", "second, longer"); // rewritten
    EXPECT_EQ(fileAttributes(file) & faArchive, faArchive);
    ASSERT_TRUE(setFileAttributes(file, 0));
    EXPECT_EQ(fileAttributes(file) & faArchive, 0);

    // Same size, new modification time: written again.
    dir.write("job.txt", "second, LONGER");
    setModificationTime(file, 1000000000);
    EXPECT_EQ(fileAttributes(file) & faArchive, faArchive);
    ASSERT_TRUE(setFileAttributes(file, 0));
    EXPECT_EQ(fileAttributes(file) & faArchive, 0);
    setModificationTime(file, 1000000001);
    EXPECT_EQ(fileAttributes(file) & faArchive, faArchive);

    // Replaced by another file of the same size and time: a new inode.
    ASSERT_TRUE(setFileAttributes(file, 0));
    dir.write("other.txt", "second, LONGER");
    setModificationTime(dir.file("other.txt"), 1000000001);
    ASSERT_EQ(rename(dir.file("other.txt").c_str(), file.c_str()), 0);
    EXPECT_EQ(fileAttributes(file) & faArchive, faArchive);

    // Setting faArchive drops the mark again.
    ASSERT_TRUE(setFileAttributes(file, 0));
    EXPECT_EQ(fileAttributes(file) & faArchive, 0);
    ASSERT_TRUE(setFileAttributes(file, faArchive));
    EXPECT_EQ(fileAttributes(file) & faArchive, faArchive);

    // Clearing read-only and archive together keeps the mark.
    ASSERT_TRUE(setFileAttributes(file, faReadOnly));
    EXPECT_EQ(fileAttributes(file) & (faArchive | faReadOnly), faReadOnly);
}

TEST(Files, MarksTravelWithTheFilesAndTheStoreStaysSmall)
{
    TempDir dir;
    const std::string store = SettingsFile::settingsDirectory() + "/seen-files";
    for (int i = 0; i < 300; ++i) {
        std::string name = "f" + std::to_string(i);
        dir.write(name, "x");
        ASSERT_TRUE(setFileAttributes(dir.file(name), 0));
    }
    for (int i = 0; i < 300; i += 37)
        EXPECT_EQ(fileAttributes(dir.file("f" + std::to_string(i))) & faArchive, 0) << i;
    // A mark never outlives the file it describes: the same name written anew is new.
    deleteFile(dir.file("f1"));
    dir.write("f1", "written again");
    EXPECT_EQ(fileAttributes(dir.file("f1")) & faArchive, faArchive);
    // Where files carry their marks the store is not needed; where they cannot,
    // it holds only the marks of files that still exist.
    const std::string content = testing::readFile(store);
    EXPECT_LE(std::count(content.begin(), content.end(), '\n'), 300);
    EXPECT_EQ(content.find(dir.file("f1") + "\n"), std::string::npos);
    for (const std::string& name : testing::filesIn(SettingsFile::settingsDirectory()))
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
    // Odd names survive.
    const std::string odd = "new\nline \\ name";
    dir.write(odd, "x");
    ASSERT_TRUE(setFileAttributes(dir.file(odd), 0));
    EXPECT_EQ(fileAttributes(dir.file(odd)) & faArchive, 0);
}

TEST(Files, WriteWholeFile)
{
    TempDir dir;
    std::string problem;
    ASSERT_TRUE(writeWholeFile(dir.file("a"), "one", &problem)) << problem;
    EXPECT_EQ(testing::readFile(dir.file("a")), "one");
    ASSERT_TRUE(writeWholeFile(dir.file("a"), "two"));
    EXPECT_EQ(testing::readFile(dir.file("a")), "two");
    ASSERT_EQ(symlink("a", dir.file("link").c_str()), 0);
    ASSERT_TRUE(writeWholeFile(dir.file("link"), "three"));
    EXPECT_EQ(testing::readFile(dir.file("a")), "three");
    struct stat st;
    ASSERT_EQ(lstat(dir.file("link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_FALSE(writeWholeFile(dir.file("missing/a"), "x", &problem));
    EXPECT_FALSE(problem.empty());
    EXPECT_FALSE(writeWholeFile(dir.path(), "x", &problem)); // a folder
    EXPECT_EQ(testing::filesIn(dir.path()), (std::vector<std::string>{"a", "link"}));
    EXPECT_TRUE(makeDirectories(dir.file("x/y/z")));
    EXPECT_TRUE(directoryExists(dir.file("x/y/z")));
    EXPECT_FALSE(makeDirectories(dir.file("a/b"), &problem));
}

// A writer is any open for writing, ours or another process's: the kernel
// counts them all.
TEST(Files, AFileOpenForWritingIsNotDoneUntilClosed)
{
    TempDir dir;
    const std::string path = dir.file("report.txt");
    const int writer = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "part\n", 5), 5);
    EXPECT_EQ(writerState(path), WriterState::Writing);
    WriteWatch watch;
    EXPECT_FALSE(watch.done(path));
    const int reader = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ::close(writer);
    EXPECT_EQ(writerState(path), WriterState::NoWriter); // readers do not count
    ::close(reader);
    EXPECT_TRUE(watch.done(path)); // no need to wait for a second look
    EXPECT_FALSE(watch.done(dir.file("renamed-away.tmp")));
    EXPECT_FALSE(watch.done(dir.path()));
    EXPECT_EQ(writerState(dir.file("missing")), WriterState::Unknown);
}

TEST(Files, WithoutLeasesAFileIsDoneWhenUnchangedSinceThePreviousLook)
{
    TempDir dir;
    const std::string path = dir.file("log.txt");
    dir.write("log.txt", "one\n");
    WriteWatch watch(false);
    EXPECT_FALSE(watch.done(path)); // first seen: it may still grow
    watch.endLook();
    std::ofstream(path, std::ios::app) << "two\n";
    EXPECT_FALSE(watch.done(path));
    watch.endLook();
    EXPECT_TRUE(watch.done(path));
    watch.endLook();
    watch.endLook(); // a look that did not ask about it forgets it
    EXPECT_FALSE(watch.done(path));
    watch.endLook();
    // Rewritten at the same size: the modification time tells.
    setModificationTime(path, 1000000000);
    EXPECT_FALSE(watch.done(path));
    watch.endLook();
    EXPECT_TRUE(watch.done(path));
}

} // namespace
} // namespace velm
