#include "cli/Handover.h"

#include "platform/system/toolbar_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace velm {

namespace {

// The request for a command line of "--preview" and existing readable
// files only; empty for any other. A file the toolbar could not read would
// be reported in a box, far from the terminal that gave it.
std::string Request(int argc, char** argv)
{
    bool preview = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--preview") {
            preview = true;
            continue;
        }
        if (word.empty() || word[0] == '-' || word.find_first_of("\t\n") != std::string::npos)
            return {};
        char full[PATH_MAX];
        struct stat st;
        if (!realpath(word.c_str(), full) || stat(full, &st) != 0 || !S_ISREG(st.st_mode) || access(full, R_OK) != 0)
            return {};
        files.emplace_back(full);
    }
    if (files.empty())
        return {};
    std::string request;
    for (const std::string& file : files)
        request += std::string(preview ? "View" : "Print") + "\t" + file + "\n";
    return request + "\n";
}

class Socket {
public:
    Socket() : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Socket()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int fd() const { return fd_; }

private:
    int fd_;
};

} // namespace

bool HandFilesToRunningToolbar(int argc, char** argv)
{
    const std::string request = Request(argc, argv);
    const std::string path = toolbarSocketPath();
    if (request.empty() || path.empty())
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const Socket socket;
    if (socket.fd() < 0 || ::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return false;
    for (std::size_t sent = 0; sent < request.size();) {
        const ssize_t n = ::send(socket.fd(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    // The toolbar answers once it has queued the files; one that hangs
    // leaves the command to run them itself.
    std::string answer;
    pollfd wait{socket.fd(), POLLIN, 0};
    while (answer.find('\n') == std::string::npos && ::poll(&wait, 1, 10000) == 1) {
        char buffer[64];
        const ssize_t n = ::recv(socket.fd(), buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    return answer == std::string(kHandOverTaken) + "\n";
}

} // namespace velm
