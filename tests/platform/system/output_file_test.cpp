// The one writer of whole files on real files, links, FIFOs, sockets and
// device nodes of the test's own folder.
#include "platform/system/output_file.h"

#include "support/testing.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fcntl.h>
#include <thread>

namespace velm {
namespace {

using testing::TempDir;
using testing::filesIn;
using testing::filler;
using testing::readFile;

struct stat LinkStat(const std::string& path)
{
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

// Everything that arrives on the descriptor until the writer closes it.
std::string ReadToEnd(int fd)
{
    std::string got;
    char buffer[65536];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        got.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return got;
}

TEST(OutputFile, ARegularFileIsReplacedWholeWithItsPermissions)
{
    TempDir dir;
    dir.write("a", "old");
    ASSERT_EQ(::chmod(dir.file("a").c_str(), 0640), 0);
    const ino_t oldInode = LinkStat(dir.file("a")).st_ino;

    OutputFile file;
    std::string problem;
    ASSERT_TRUE(file.open(dir.file("a"), &problem)) << problem;
    EXPECT_TRUE(file.replacesFile());
    ASSERT_TRUE(file.write("new "));
    ASSERT_TRUE(file.write("content"));
    EXPECT_EQ(readFile(dir.file("a")), "old") << "nothing shows before the commit";
    ASSERT_TRUE(file.commit(&problem)) << problem;
    EXPECT_EQ(readFile(dir.file("a")), "new content");
    EXPECT_NE(LinkStat(dir.file("a")).st_ino, oldInode) << "renamed into place, not rewritten";
    EXPECT_EQ(LinkStat(dir.file("a")).st_mode & 07777, 0640u);
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"a"});
}

TEST(OutputFile, LinksAreFollowedEvenWhenTheyDangle)
{
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("sub/target", dir.file("dangling").c_str()), 0);
    ASSERT_EQ(::symlink("dangling", dir.file("chain").c_str()), 0);
    ASSERT_TRUE(writeWholeFile(dir.file("chain"), "through two links"));
    EXPECT_TRUE(S_ISLNK(LinkStat(dir.file("chain")).st_mode));
    EXPECT_TRUE(S_ISLNK(LinkStat(dir.file("dangling")).st_mode));
    EXPECT_EQ(readFile(dir.file("sub/target")), "through two links");
    EXPECT_EQ(filesIn(dir.file("sub")), std::vector<std::string>{"target"});

    ASSERT_EQ(::symlink("loop", dir.file("loop").c_str()), 0);
    std::string problem;
    EXPECT_FALSE(writeWholeFile(dir.file("loop"), "x", &problem));
    EXPECT_EQ(problem, std::strerror(ELOOP));
}

TEST(OutputFile, AFailedOrDroppedWriteLeavesTheOldFileAndNoTemporaryFile)
{
    TempDir dir;
    dir.write("keep", "precious");
    std::string problem;
    {
        testing::FileSizeLimit limit(4096);
        EXPECT_FALSE(writeWholeFile(dir.file("keep"), filler(100000), &problem));
        EXPECT_FALSE(writeWholeFile(dir.file("new"), filler(100000)));
    }
    EXPECT_EQ(problem, std::strerror(EFBIG));
    EXPECT_EQ(readFile(dir.file("keep")), "precious");

    {
        OutputFile dropped;
        ASSERT_TRUE(dropped.open(dir.file("keep")));
        ASSERT_TRUE(dropped.write("half"));
        OutputFile moved = std::move(dropped); // the temporary file goes with it
        EXPECT_FALSE(dropped.isOpen());
        EXPECT_TRUE(moved.isOpen());
    } // destroyed without commit
    EXPECT_EQ(readFile(dir.file("keep")), "precious");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"keep"});

    EXPECT_FALSE(writeWholeFile(dir.path(), "x", &problem));
    EXPECT_EQ(problem, std::strerror(EISDIR));
    EXPECT_FALSE(writeWholeFile(dir.file("no/such/folder"), "x", &problem));
    EXPECT_EQ(problem, std::strerror(ENOENT));
}

TEST(OutputFile, FifosAndSocketsAreWrittenIntoNotReplaced)
{
    TempDir dir;
    const std::string bytes = filler(3 << 20); // far more than a pipe holds
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = ReadToEnd(::open(fifo.c_str(), O_RDONLY)); });
    std::string problem;
    if (!writeWholeFile(fifo, bytes, &problem)) {
        ADD_FAILURE() << problem;
        ::close(::open(fifo.c_str(), O_WRONLY)); // lets the reader go
    }
    reader.join();
    EXPECT_TRUE(received == bytes) << received.size() << " of " << bytes.size() << " bytes";
    EXPECT_TRUE(S_ISFIFO(LinkStat(fifo).st_mode));

    const std::string socketPath = dir.file("socket");
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    received.clear();
    std::thread server([&] { received = ReadToEnd(::accept(listener, nullptr, nullptr)); });
    if (!writeWholeFile(socketPath, bytes, &problem)) {
        ADD_FAILURE() << problem;
        const int client = ::socket(AF_UNIX, SOCK_STREAM, 0); // lets the server go
        ::connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        ::close(client);
    }
    server.join();
    ::close(listener);
    EXPECT_TRUE(received == bytes) << received.size() << " of " << bytes.size() << " bytes";
    EXPECT_TRUE(S_ISSOCK(LinkStat(socketPath).st_mode));
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"fifo", "socket"}));
}

TEST(OutputFile, AFullDeviceIsAFailureAndANullDeviceASuccess)
{
    TempDir dir;
    const std::string full = dir.file("full"), null = dir.file("null");
    if (::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0
        || ::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "making device nodes needs root";
    std::string problem;
    EXPECT_FALSE(writeWholeFile(full, filler(10), &problem));
    EXPECT_EQ(problem, "No space left on device");
    EXPECT_TRUE(S_ISCHR(LinkStat(full).st_mode)) << "the device stays";
    EXPECT_TRUE(writeWholeFile(null, filler(100000), &problem)) << problem;
    EXPECT_TRUE(S_ISCHR(LinkStat(null).st_mode));
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"full", "null"}));
}

} // namespace
} // namespace velm
